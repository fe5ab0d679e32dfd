// bench: tandry_platform_ui
// Rendering:
// - a 320 × 480 screen of bars, rows and controls at scale 2, each frame
//   drawn anew with the deterministic text engine (target ≤ 30 ms a frame),
//   then with Pango (printed beside it), and a frame from kept backings;
// - 64 tiles of 256 × 256 drawn by 2 workers against 1 (target ≥ 1.6× on
//   two cores).

#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/Slider.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Switch.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/Window.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

void setUp()
{
    if (!core::RunLoop::hasMainThread())
        core::RunLoop::setMainThread();
}

std::shared_ptr<ui::View> makeScreen()
{
    auto root = ui::View::create({ 0, 0, 320, 480 });
    root->setBackgroundColor(ui::StandardColors::groupTableViewBackground());
    auto bar = ui::View::create({ 0, 0, 320, 44 });
    bar->setBackgroundColor(gfx::Color::rgb255(240, 240, 244));
    auto title = ui::Label::create({ 100, 0, 120, 44 }, "Files");
    title->setTextAlignment(gfx::TextAlignment::Center);
    title->setBackgroundColor(ui::StandardColors::clear());
    bar->addSubview(title);
    auto back = ui::Button::create(ui::Button::Type::RoundedRect, { 6, 7, 60, 30 });
    back->setTitle("Back", ui::Control::Normal);
    bar->addSubview(back);
    root->addSubview(bar);
    for (int row = 0; row < 8; ++row) {
        auto cell = ui::Label::create({ 10, 54 + float(row) * 44, 300, 43 }, "Document " + std::to_string(row + 1));
        root->addSubview(cell);
    }
    auto toggle = ui::Switch::create({ 10, 420, 0, 0 });
    toggle->setOn(true);
    root->addSubview(toggle);
    auto slider = ui::Slider::create({ 120, 422, 190, 23 });
    slider->setValue(0.5f);
    root->addSubview(slider);
    auto field = ui::TextField::create({ 10, 450, 300, 26 });
    field->setBorderStyle(ui::TextField::BorderStyle::RoundedRect);
    field->setPlaceholder("Search");
    root->addSubview(field);
    return root;
}

void markAll(ui::View& view)
{
    view.setNeedsDisplay();
    for (auto& subview : view.subviews())
        markAll(*subview);
}

void BM_RenderScreen(benchmark::State& state)
{
    setUp();
    bool pango = state.range(0) == 1;
    bool redraw = state.range(1) == 1;
    gfx::setTextEngine(pango ? gfx::makePangoTextEngine() : nullptr);
    auto screen = makeScreen();
    ui::RenderOptions options;
    options.scale = 2;
    for (auto _ : state) {
        if (redraw)
            markAll(*screen);
        auto picture = ui::Renderer::renderImage(*screen, options);
        benchmark::DoNotOptimize(picture.get());
    }
    gfx::setTextEngine(nullptr);
    state.SetLabel(std::string(pango ? "pango" : "deterministic") + (redraw ? ", all redrawn" : ", kept backings"));
}
BENCHMARK(BM_RenderScreen)->Args({ 0, 1 })->Args({ 1, 1 })->Args({ 0, 0 })->Unit(benchmark::kMillisecond);

class BusyTiles : public ui::TiledLayer {
public:
    void drawInContext(gfx::Context& context) override
    {
        gfx::Rect clip = context.clipBoundingBox();
        for (int i = 0; i < 200; ++i) {
            float t = float(i) / 200;
            context.setFillColor(t, 1 - t, 0.5f, 0.5f);
            context.fillEllipseInRect({ clip.minX() + t * clip.width() * 0.8f, clip.minY() + std::fmod(t * 7, 1.0f) * clip.height() * 0.8f,
                clip.width() * 0.2f, clip.height() * 0.2f });
        }
    }
};

void BM_DrawTiles(benchmark::State& state)
{
    setUp();
    ui::TiledLayer::setWorkerCount(int(state.range(0)));
    auto window = ui::Window::create({ 0, 0, 2048, 2048 });
    auto layer = std::make_shared<BusyTiles>();
    layer->setBounds({ 0, 0, 2048, 2048 });
    layer->setAnchorPoint({ 0, 0 });
    window->layer().addSublayer(layer);
    for (auto _ : state) {
        layer->setNeedsDisplay();
        layer->renderVisibleTilesSynchronously();
    }
    state.counters["tiles"] = double(layer->visibleTiles().size());
    layer->removeFromSuperlayer();
    ui::TiledLayer::setWorkerCount(2);
}
BENCHMARK(BM_DrawTiles)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

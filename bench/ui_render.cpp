// bench: tandry_platform_ui
// Rendering:
// - the 320 × 480 golden screen (bars and rows) at scale 2, each frame
//   drawn anew with the deterministic text engine (target ≤ 30 ms a frame),
//   then with Pango (printed beside it), and a frame from kept backings;
// - 64 tiles of 256 × 256 drawn by 2 workers against 1 (target ≥ 1.6× on
//   two cores).

#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/TableViewDataSource.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cmath>
#include <filesystem>

namespace {

void setUp()
{
    if (core::RunLoop::hasMainThread())
        return;
    core::RunLoop::setMainThread();
    // The toolkit's texts ("Back", "Edit") are looked up under a home.
    std::string home = TANDRY_SOURCE_DIR "/build/bench/ui-render";
    std::filesystem::create_directories(home);
    core::paths::setHome(home);
}

class Rows : public ui::TableViewDataSource {
public:
    int numberOfRows(ui::TableView&, int) override { return 3; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override
    {
        auto cell = table.dequeueReusableCell("row");
        if (!cell)
            cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, "row");
        const char* titles[] = { "Documents", "Photos", "Music" };
        cell->textLabel().setText(titles[path.row]);
        cell->setAccessoryType(path.row == 2 ? ui::TableViewCell::Accessory::Checkmark
                                             : ui::TableViewCell::Accessory::DisclosureIndicator);
        return cell;
    }
};

// The golden screen: a navigation bar ("Back", "Files", "Edit"), three rows
// and a toolbar.
std::shared_ptr<ui::View> makeScreen(const std::shared_ptr<Rows>& rows)
{
    auto root = ui::View::create({ 0, 0, 320, 480 });
    root->setBackgroundColor(ui::StandardColors::white());
    auto bar = ui::NavigationBar::create({ 0, 20, 320, 44 });
    auto files = ui::NavigationItem::create("Files");
    files->setRightBarButtonItem(ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Edit));
    bar->setItems({ ui::NavigationItem::create(), files });
    root->addSubview(bar);
    auto table = ui::TableView::create({ 0, 64, 320, 372 });
    table->setDataSource(rows);
    root->addSubview(table);
    auto toolbar = ui::Toolbar::create({ 0, 436, 320, 44 });
    toolbar->setItems({ ui::BarButtonItem::space(), ui::BarButtonItem::create("Share"), ui::BarButtonItem::space() });
    root->addSubview(toolbar);
    table->reloadData();
    root->layoutIfNeeded();
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
    auto rows = std::make_shared<Rows>();
    auto screen = makeScreen(rows);
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
    ui::TiledLayer::setWorkerCountForTesting(int(state.range(0)));
    auto window = ui::Window::create({ 0, 0, 2048, 2048 });
    auto layer = std::make_shared<BusyTiles>();
    layer->setBounds({ 0, 0, 2048, 2048 });
    layer->setAnchorPoint({ 0, 0 });
    window->layer().addSublayer(layer);
    for (auto _ : state) {
        layer->setNeedsDisplay();
        layer->renderVisibleTilesSynchronouslyForTesting();
    }
    state.counters["tiles"] = double(layer->visibleTiles().size());
    layer->removeFromSuperlayer();
    ui::TiledLayer::setWorkerCountForTesting(2);
}
BENCHMARK(BM_DrawTiles)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

[[maybe_unused]] const bool targets = bench::atEnd([] {
    using bench::runSeconds;
    bench::atMost("golden screen redrawn at scale 2", runSeconds("BM_RenderScreen/0/1") * 1000, 30, "ms",
        fmt::format("with Pango {:.1f} ms, from kept backings {:.1f} ms", runSeconds("BM_RenderScreen/1/1") * 1000,
            runSeconds("BM_RenderScreen/0/0") * 1000));
    bench::atLeast("64 tiles by 2 workers / by 1", runSeconds("BM_DrawTiles/1") / runSeconds("BM_DrawTiles/2"), 1.6, "x");
});

} // namespace

#include "Platform/UI/Renderer.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/PangoTextEngine.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/LayerInPlaceDrawing.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/StandardViewDrawing.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fmt/format.h>

namespace ui {

namespace {

// The last picture of the screen (or of whatever was rendered last) and
// how its pixels map from root points: transitions start from it.
struct PreviousFrame {
    std::shared_ptr<gfx::Image> image;
    const Layer* root = nullptr; // null: the screen
    float scale = 1;
    gfx::Point origin;
};
PreviousFrame previousFrame;
const Layer* currentRoot = nullptr;
float currentScale = 1;
// Drawing only into given rectangles: leaves wholly outside are skipped.
bool clipping = false;

// The engine every real-text render uses: made once, so that what it has
// found and shaped (fonts, widths, lines) serves the next picture too
// instead of asking fontconfig again for each one.
std::shared_ptr<gfx::TextEngine> realTextEngine()
{
    static auto* engine = new std::shared_ptr<gfx::TextEngine>(gfx::makePangoTextEngine());
    return *engine;
}

// Switches to real glyphs for one render when asked (or by environment),
// unless real glyphs are already in use.
class TextEngineScope {
public:
    explicit TextEngineScope(bool real)
    {
        const char* chosen = std::getenv("TANDRY_TEXT_ENGINE");
        if (!real && !(chosen && std::string_view(chosen) == "pango"))
            return;
        m_previous = gfx::textEngine();
        if (dynamic_cast<gfx::PangoTextEngine*>(m_previous.get()))
            return;
        gfx::setTextEngine(realTextEngine());
        m_active = true;
    }
    ~TextEngineScope()
    {
        if (m_active)
            gfx::setTextEngine(m_previous);
    }

private:
    std::shared_ptr<gfx::TextEngine> m_previous;
    bool m_active = false;
};

void addRoundedRect(gfx::Context& context, const gfx::Rect& rect, float radius)
{
    StandardViewDrawing::addRoundedRect(context, rect, radius);
}

// Where a picture of `size` goes in `bounds` under a gravity.
gfx::Rect placeContents(const gfx::Rect& bounds, gfx::Size size, const std::string& gravity)
{
    if (gravity == "resize" || size.width <= 0 || size.height <= 0)
        return bounds;
    if (gravity == "resizeAspect" || gravity == "resizeAspectFill") {
        float sx = bounds.width() / size.width, sy = bounds.height() / size.height;
        float s = gravity == "resizeAspect" ? std::min(sx, sy) : std::max(sx, sy);
        size = { size.width * s, size.height * s };
        return { bounds.midX() - size.width / 2, bounds.midY() - size.height / 2, size.width, size.height };
    }
    float x = bounds.midX() - size.width / 2, y = bounds.midY() - size.height / 2;
    if (gravity.find("left") != std::string::npos || gravity.find("Left") != std::string::npos)
        x = bounds.minX();
    if (gravity.find("right") != std::string::npos || gravity.find("Right") != std::string::npos)
        x = bounds.maxX() - size.width;
    if (gravity.rfind("top", 0) == 0)
        y = bounds.minY();
    if (gravity.rfind("bottom", 0) == 0)
        y = bounds.maxY() - size.height;
    return { x, y, size.width, size.height };
}

double timeOf(const RenderOptions& options)
{
    if (options.time)
        return *options.time;
    return core::RunLoop::hasMainThread() ? core::RunLoop::main().clock()->monotonic() : 0;
}

void renderLayer(Layer& layer, gfx::Context& context, double time, bool placed);

// The layer's area of the previous frame, as a picture of its bounds, as
// fine as that frame showed it: a layer drawn smaller than its bounds (a
// large photo zoomed to fit) takes a picture of the pixels it covered, not
// of its whole size at the screen's scale.
std::shared_ptr<gfx::Image> pictureFromPreviousFrame(const Layer& layer, const LayerState& state)
{
    if (!previousFrame.image || previousFrame.root != currentRoot)
        return nullptr;
    // Root points → this layer's bounds.
    gfx::AffineTransform toRoot = layer.transformToRoot();
    if (currentRoot)
        toRoot = toRoot.concatenating(currentRoot->transformToRoot().inverted());
    double shown = std::sqrt(std::fabs(double(toRoot.a) * toRoot.d - double(toRoot.b) * toRoot.c));
    double scale = double(previousFrame.scale) * (std::isfinite(shown) && shown > 0 ? std::min(shown, 1.0) : 1.0);
    // Never more pixels than a few frames' worth, whatever the layer's size.
    gfx::Size frame = previousFrame.image->size();
    double most = 4 * double(frame.width) * frame.height * double(previousFrame.scale) * previousFrame.scale;
    double area = double(state.bounds.width()) * state.bounds.height();
    if (area * scale * scale > most)
        scale = std::sqrt(most / area);
    auto context = gfx::makeImageContext(state.bounds.size, float(scale));
    if (!context)
        return nullptr;
    context->translateCTM(-state.bounds.origin.x, -state.bounds.origin.y);
    context->concatCTM(toRoot.inverted());
    gfx::Size size = previousFrame.image->size();
    context->drawImage({ previousFrame.origin.x, previousFrame.origin.y, size.width, size.height },
        *previousFrame.image);
    return context->makeImage();
}

void drawBody(Layer& layer, gfx::Context& context, double time, const LayerState& state)
{
    const gfx::Rect& b = state.bounds;
    float radius = state.cornerRadius;
    const gfx::Color& background = state.backgroundColor;
    if (background.isPattern() || background.alpha() > 0) {
        // Pattern tiles start at the layer's origin.
        gfx::Point phase = context.userSpaceToDeviceSpaceTransform().apply(b.origin);
        context.saveGState();
        context.setPatternPhase(phase);
        context.setFillColor(background);
        context.beginPath();
        addRoundedRect(context, b, radius);
        context.fillPath();
        context.restoreGState();
    }
    if (layer.masksToBounds()) {
        context.beginPath();
        addRoundedRect(context, b, radius);
        context.clip();
    }
    if (auto* tiled = dynamic_cast<TiledLayer*>(&layer)) {
        tiled->drawTiles(context, time);
        for (auto& sublayer : std::vector<std::shared_ptr<Layer>>(layer.sublayers()))
            renderLayer(*sublayer, context, time, true);
        return;
    }
    // A view's own drawing follows the scale drawn at and its size.
    if (layer.view() && layer.contentsScale() != currentScale)
        layer.setContentsScale(currentScale);
    // In place only into a space that runs down, as pictures are drawn: in
    // one that rises a view's lines would stack upward.
    if (LayerInPlaceDrawing::contains(&layer) && context.isFlipped()) {
        if (auto& contents = layer.contents())
            context.drawImage(placeContents(b, contents->size(), layer.contentsGravity()), *contents);
        context.saveGState();
        context.clipToRect(b);
        layer.drawInContext(context);
        context.restoreGState();
    } else {
        if (layer.backingImage() && layer.backingBounds() != b)
            layer.setNeedsDisplay(); // resized or scrolled since it was drawn
        layer.displayIfNeeded();
        // Undecodable contents draw nothing (the image logs that once).
        if (auto& contents = layer.contents())
            context.drawImage(placeContents(b, contents->size(), layer.contentsGravity()), *contents);
        if (auto& backing = layer.backingImage())
            context.drawImage(b, *backing);
    }
    for (auto& sublayer : std::vector<std::shared_ptr<Layer>>(layer.sublayers()))
        renderLayer(*sublayer, context, time, true);
}

// Where the layer and its sublayers can put paint, in the layer's space. A
// see-through layer is drawn as a group into a picture of the
// current clip: clipped to this first (with a margin, so the clip's own
// edge falls where nothing is drawn), a cell's faded label costs a picture
// of the label, not of the whole screen.
gfx::Rect drawnExtent(const Layer& layer, const LayerState& state, double time)
{
    gfx::Rect extent = state.bounds;
    if (layer.masksToBounds())
        return extent;
    if (auto& contents = layer.contents())
        extent = extent.unionRect(placeContents(state.bounds, contents->size(), layer.contentsGravity()));
    for (auto& sublayer : layer.sublayers()) {
        if (sublayer->isHidden())
            continue;
        LayerState sub = sublayer->presentationAt(time);
        if (sub.opacity <= 0)
            continue;
        extent = extent.unionRect(sub.transformToSuperlayer().apply(drawnExtent(*sublayer, sub, time)));
    }
    return extent;
}

// The running transition on the layer, if any, with its progress.
std::shared_ptr<LayerAnimation> runningTransition(const Layer& layer, double time, float* progress)
{
    for (auto& key : layer.animationKeys()) {
        auto animation = layer.animationForKey(key);
        if (!animation || animation->transitionType.empty())
            continue;
        if (auto p = animation->progressAt(time)) {
            *progress = *p;
            return animation;
        }
    }
    return nullptr;
}

void renderLayer(Layer& layer, gfx::Context& context, double time, bool placed)
{
    if (layer.isHidden())
        return;
    LayerState state = layer.presentationAt(time);
    if (state.opacity <= 0)
        return;
    context.saveGState();
    if (placed)
        context.concatCTM(state.transformToSuperlayer());
    if (clipping && layer.sublayers().empty() && !state.bounds.intersects(context.clipBoundingBox())) {
        context.restoreGState();
        // Not drawn, but perhaps soon on screen: its tiles ahead are asked for.
        if (auto* tiled = dynamic_cast<TiledLayer*>(&layer); tiled && tiled->drawsTilesAhead())
            tiled->enroll();
        return;
    }
    bool group = state.opacity < 1;
    if (group) {
        context.clipToRect(drawnExtent(layer, state, time).insetBy(-2, -2));
        context.beginTransparencyLayer();
    }

    float progress = 0;
    auto transition = runningTransition(layer, time, &progress);
    if (!transition) {
        drawBody(layer, context, time, state);
    } else {
        if (!transition->startPictureTaken) {
            transition->startPictureTaken = true;
            transition->startPicture = pictureFromPreviousFrame(layer, state);
        }
        const gfx::Rect& b = state.bounds;
        const std::string& type = transition->transitionType;
        const std::string& subtype = transition->transitionSubtype;
        // Where the new picture comes from.
        float dx = 0, dy = 0;
        if (subtype == "fromRight") dx = b.width();
        else if (subtype == "fromLeft") dx = -b.width();
        else if (subtype == "fromTop") dy = -b.height();
        else dy = b.height();
        if (subtype != "fromTop" && subtype != "fromBottom")
            dy = 0;
        context.saveGState();
        context.clipToRect(b);
        auto drawOld = [&](float ox, float oy) {
            if (transition->startPicture)
                context.drawImage(b.offsetBy(ox, oy), *transition->startPicture);
        };
        auto drawNew = [&](float ox, float oy, float alpha) {
            context.saveGState();
            context.translateCTM(ox, oy);
            // Moving pictures are scaled with the quick filter (a photo's
            // first frame costs a twentieth); the frame after the
            // transition draws them finely again.
            context.setInterpolationQuality(gfx::InterpolationQuality::Low);
            context.beginTransparencyLayer();
            drawBody(layer, context, time, state);
            context.endTransparencyLayer(alpha);
            context.restoreGState();
        };
        float rest = 1 - progress;
        if (type == "push") {
            drawOld(-dx * progress, -dy * progress);
            drawNew(dx * rest, dy * rest, 1);
        } else if (type == "moveIn") {
            drawOld(0, 0);
            drawNew(dx * rest, dy * rest, 1);
        } else if (type == "reveal") {
            drawNew(0, 0, 1);
            drawOld(-dx * progress, -dy * progress);
        } else {
            drawOld(0, 0);
            drawNew(0, 0, progress);
        }
        context.restoreGState();
    }
    if (group)
        context.endTransparencyLayer(state.opacity);
    context.restoreGState();
}

bool checkSize(gfx::Size size, float scale, core::Error* error)
{
    double w = std::ceil(double(size.width) * scale), h = std::ceil(double(size.height) * scale);
    if (!(scale > 0) || !(w >= 1) || !(h >= 1) || w > Renderer::MaximumSide || h > Renderer::MaximumSide) {
        core::setError(error, core::Error(core::Error::POSIXDomain, EINVAL,
            fmt::format("Cannot render {} × {} points at scale {}.", size.width, size.height, scale)));
        return false;
    }
    return true;
}

void remember(const gfx::BitmapContext& context, const Layer* root, float scale, gfx::Point origin)
{
    previousFrame.image = context.makeImage();
    previousFrame.root = root;
    previousFrame.scale = scale;
    previousFrame.origin = origin;
}

} // namespace

void Renderer::render(Layer& layer, gfx::Context& context, const RenderOptions& options)
{
    requireMainThread("Renderer::render");
    TextEngineScope text(options.realText);
    const Layer* saved = std::exchange(currentRoot, &layer);
    float savedScale = std::exchange(currentScale, std::max(1.0f, context.contentScale()));
    context.saveGState();
    layer.layoutIfNeeded();
    renderLayer(layer, context, timeOf(options), false);
    context.restoreGState();
    currentRoot = saved;
    currentScale = savedScale;
    if (!saved)
        TiledLayer::queueTilesAheadOfAll();
}

void Renderer::render(View& view, gfx::Context& context, const RenderOptions& options)
{
    view.layoutIfNeeded();
    context.saveGState();
    gfx::Rect b = view.layer().presentation().bounds;
    context.translateCTM(-b.origin.x, -b.origin.y);
    render(view.layer(), context, options);
    context.restoreGState();
}

void Renderer::renderScreen(gfx::Context& context, const RenderOptions& options)
{
    requireMainThread("Renderer::renderScreen");
    TextEngineScope text(options.realText);
    const Layer* saved = std::exchange(currentRoot, nullptr);
    float savedScale = std::exchange(currentScale, std::max(1.0f, context.contentScale()));
    double time = timeOf(options);
    context.saveGState();
    bool savedClipping = clipping;
    if (!options.clip.empty()) {
        context.beginPath();
        for (auto& rect : options.clip)
            context.addRect(rect);
        context.clip();
        clipping = true;
    }
    auto windows = Window::windowsFrontToBack();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        Window& window = **it;
        window.layoutIfNeeded();
        renderLayer(window.layer(), context, time, true);
    }
    if (auto* application = Application::shared()) {
        // Grey by default, black in the black styles (half see-through in
        // the translucent one), fading as the status bar hides or shows.
        float alpha = application->statusBarAlphaAt(time);
        if (alpha > 0) {
            auto style = application->statusBarStyle();
            gfx::Color color = style == Application::StatusBarStyle::Default ? gfx::Color::white(0.15f)
                : style == Application::StatusBarStyle::BlackTranslucent  ? gfx::Color::white(0, 0.5f)
                                                                          : gfx::Color::white(0);
            context.saveGState();
            context.setFillColor(color.colorWithAlphaComponent(color.alpha() * alpha));
            context.fillRect(application->statusBarFrameWhenShown());
            context.restoreGState();
        }
    }
    clipping = savedClipping;
    context.restoreGState();
    currentRoot = saved;
    currentScale = savedScale;
    TiledLayer::queueTilesAheadOfAll();
}

std::unique_ptr<gfx::BitmapContext> Renderer::renderImage(View& view, const RenderOptions& options, core::Error* error)
{
    view.layoutIfNeeded();
    gfx::Size size = view.bounds().size;
    if (!checkSize(size, options.scale, error))
        return nullptr;
    auto context = gfx::makeImageContext(size, options.scale);
    if (!context)
        return nullptr;
    render(view, *context, options);
    remember(*context, &view.layer(), options.scale, view.bounds().origin);
    return context;
}

std::unique_ptr<gfx::BitmapContext> Renderer::renderImage(Layer& layer, const RenderOptions& options, core::Error* error)
{
    gfx::Rect b = layer.bounds();
    if (!checkSize(b.size, options.scale, error))
        return nullptr;
    auto context = gfx::makeImageContext(b.size, options.scale);
    if (!context)
        return nullptr;
    context->translateCTM(-b.origin.x, -b.origin.y);
    render(layer, *context, options);
    remember(*context, &layer, options.scale, b.origin);
    return context;
}

std::unique_ptr<gfx::BitmapContext> Renderer::renderScreenImage(const RenderOptions& options, core::Error* error)
{
    gfx::Rect b = Screen::main()->bounds();
    if (!checkSize(b.size, options.scale, error))
        return nullptr;
    auto context = gfx::makeImageContext(b.size, options.scale);
    if (!context)
        return nullptr;
    context->translateCTM(-b.origin.x, -b.origin.y);
    renderScreen(*context, options);
    remember(*context, nullptr, options.scale, b.origin);
    return context;
}

bool Renderer::renderToPNGForTesting(View& view, const std::string& path, float scale, core::Error* error)
{
    RenderOptions options;
    options.scale = scale;
    auto image = renderImage(view, options, error);
    return image && image->writePNG(path, error);
}

bool Renderer::renderScreenToPNG(const std::string& path, const RenderOptions& options, core::Error* error)
{
    auto image = renderScreenImage(options, error);
    return image && image->writePNG(path, error);
}

bool Renderer::drawView(View& view, gfx::Context& context)
{
    bool drew = StandardViewDrawing::draw(view, context);
    Layer& layer = view.layer();
    layer.m_baseDrawCalled = false;
    view.draw(context, view.bounds());
    return drew || !layer.m_baseDrawCalled;
}

void Renderer::setPreviousScreenFrame(std::shared_ptr<gfx::Image> image, float scale)
{
    previousFrame.image = std::move(image);
    previousFrame.root = nullptr;
    previousFrame.scale = scale;
    previousFrame.origin = Screen::main()->bounds().origin;
}

void Renderer::resetForTesting()
{
    previousFrame = {};
    currentRoot = nullptr;
}

} // namespace ui

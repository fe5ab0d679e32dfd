#include "Platform/Web/LivePlace.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/WebView.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace web {

namespace {

// Below this opacity nothing shows; below the other the page is faded.
constexpr float InvisibleAlpha = 0.01f;
constexpr float OpaqueAlpha = 0.99f;
// Room for rounding when covers meet the page's edges.
constexpr float EdgeSlack = 0.5f;

// A layer as it shows at one moment, mapped into the window.
struct Shown {
    ui::LayerState state;
    // The layer's space to the window's, a running push or move-in included.
    gfx::AffineTransform toWindow;
};

// The offset a push or move-in transition running on `layer` draws its
// new content at, none when none runs; `other` is set when a transition of
// another kind (a fade, a reveal) runs, which draws the old picture over or
// fades the new one.
std::optional<gfx::Point> transitionOffset(const ui::Layer& layer, const ui::LayerState& state, double time, bool& other)
{
    for (const auto& key : layer.animationKeys()) {
        auto animation = layer.animationForKey(key);
        if (!animation || animation->transitionType.empty())
            continue;
        auto progress = animation->progressAt(time);
        if (!progress)
            continue;
        const std::string& type = animation->transitionType;
        if (type != "push" && type != "moveIn") {
            other = true;
            return std::nullopt;
        }
        const std::string& subtype = animation->transitionSubtype;
        float rest = 1 - *progress;
        const gfx::Size& size = state.bounds.size;
        if (subtype == "fromRight")
            return gfx::Point(size.width * rest, 0);
        if (subtype == "fromLeft")
            return gfx::Point(-size.width * rest, 0);
        if (subtype == "fromTop")
            return gfx::Point(0, -size.height * rest);
        if (subtype == "fromBottom")
            return gfx::Point(0, size.height * rest);
        return gfx::Point(0, 0);
    }
    return std::nullopt;
}

// Whether the transform only moves (quarter turns allowed: a turned
// interface turns the whole screen, and the window follows).
bool onlyMoves(const gfx::AffineTransform& t)
{
    auto near = [](float value, float target) { return std::abs(value - target) < 1e-3f; };
    bool straight = near(t.b, 0) && near(t.c, 0) && near(std::abs(t.a), 1) && near(std::abs(t.d), 1);
    bool quarter = near(t.a, 0) && near(t.d, 0) && near(std::abs(t.b), 1) && near(std::abs(t.c), 1);
    return straight || quarter;
}

// The bounds of a layer, shown as at `time` below a layer mapped by
// `parentToWindow`; nothing when it does not show.
std::optional<gfx::Rect> shownRect(const ui::Layer& layer, const gfx::AffineTransform& parentToWindow, double time)
{
    if (layer.isHidden())
        return std::nullopt;
    ui::LayerState state = layer.presentationAt(time);
    if (state.opacity <= InvisibleAlpha)
        return std::nullopt;
    return state.transformToSuperlayer().concatenating(parentToWindow).apply(state.bounds);
}

} // namespace

void LivePlace::applyCover(gfx::Rect cover, gfx::Rect& clip, bool& covered)
{
    cover = cover.intersection(clip);
    if (cover.isEmpty() || clip.isEmpty())
        return;
    bool acrossX = cover.minX() <= clip.minX() + EdgeSlack && cover.maxX() >= clip.maxX() - EdgeSlack;
    bool acrossY = cover.minY() <= clip.minY() + EdgeSlack && cover.maxY() >= clip.maxY() - EdgeSlack;
    if (acrossX && acrossY) {
        covered = true;
        return;
    }
    if (acrossX && cover.minY() <= clip.minY() + EdgeSlack)
        clip = { clip.x(), cover.maxY(), clip.width(), clip.maxY() - cover.maxY() };
    else if (acrossX && cover.maxY() >= clip.maxY() - EdgeSlack)
        clip = { clip.x(), clip.y(), clip.width(), cover.minY() - clip.minY() };
    else if (acrossY && cover.minX() <= clip.minX() + EdgeSlack)
        clip = { cover.maxX(), clip.y(), clip.maxX() - cover.maxX(), clip.height() };
    else if (acrossY && cover.maxX() >= clip.maxX() - EdgeSlack)
        clip = { clip.x(), clip.y(), cover.minX() - clip.minX(), clip.height() };
    else
        covered = true;
}

LivePlace LivePlace::of(const WebView& view)
{
    return of(view, core::RunLoop::main().clock()->monotonic());
}

LivePlace LivePlace::of(const WebView& view, double time)
{
    LivePlace place;
    ui::Window* window = view.window();
    if (!window) {
        place.hidden = true;
        return place;
    }
    const ui::Layer* top = &window->layer();
    std::vector<const ui::Layer*> chain;
    for (const ui::Layer* layer = &view.layer(); layer && layer != top; layer = layer->superlayer())
        chain.push_back(layer);
    if (chain.empty() || chain.back()->superlayer() != top) {
        place.hidden = true;
        return place;
    }

    // From the window down to the view: each layer as it shows, what clips
    // it on the way and how much it is faded.
    std::vector<Shown> shown(chain.size());
    gfx::AffineTransform above;
    // Nothing shows outside the window.
    gfx::Rect clip = top->bounds();
    float opacity = window->alpha();
    bool hidden = window->isHidden();
    bool covered = false;
    for (size_t i = chain.size(); i-- > 0;) {
        const ui::Layer& layer = *chain[i];
        Shown& entry = shown[i];
        entry.state = layer.presentationAt(time);
        hidden = hidden || layer.isHidden();
        opacity *= entry.state.opacity;
        entry.toWindow = entry.state.transformToSuperlayer().concatenating(above);
        bool otherTransition = false;
        if (auto offset = transitionOffset(layer, entry.state, time, otherTransition)) {
            // The new content slides in over the old, cut at the layer's bounds.
            clip = clip.intersection(entry.toWindow.apply(entry.state.bounds));
            entry.toWindow = gfx::AffineTransform::translation(offset->x, offset->y).concatenating(entry.toWindow);
        }
        covered = covered || otherTransition;
        if (layer.masksToBounds())
            clip = clip.intersection(entry.toWindow.apply(entry.state.bounds));
        above = entry.toWindow;
    }
    const gfx::AffineTransform& toWindow = shown.front().toWindow;
    covered = covered || !onlyMoves(toWindow);
    hidden = hidden || opacity <= InvisibleAlpha;
    covered = covered || opacity < OpaqueAlpha;

    // The live page sits where the page begins and is cut at the view's
    // edges, so views above the page in the scroll view stay in sight.
    gfx::Rect bounds = shown.front().state.bounds;
    gfx::Rect local = bounds;
    float documentTop = view.documentViewFrame().y();
    local.origin.y += std::max(0.f, documentTop - view.scrollView().contentOffset().y);
    place.frame = toWindow.apply(local);
    clip = clip.intersection(place.frame).intersection(toWindow.apply(bounds));
    bool scrolledOut = clip.isEmpty();

    // Later siblings of the view and of its ancestors draw above it.
    for (size_t i = 0; i < chain.size() && !clip.isEmpty(); ++i) {
        const ui::Layer& layer = *chain[i];
        const ui::Layer& parent = *layer.superlayer();
        gfx::AffineTransform parentToWindow = i + 1 < chain.size() ? shown[i + 1].toWindow : gfx::AffineTransform();
        const auto& siblings = parent.sublayers();
        auto at = std::find_if(siblings.begin(), siblings.end(), [&](const auto& s) { return s.get() == &layer; });
        for (auto it = at == siblings.end() ? at : std::next(at); it != siblings.end(); ++it)
            if (auto rect = shownRect(**it, parentToWindow, time))
                applyCover(*rect, clip, covered);
    }
    // The view's own content over the page: subviews of its own, and what
    // lies in the scroll view beside the page (not its scroll indicators).
    const ui::ScrollView& scroll = view.scrollView();
    for (const auto& subview : view.subviews()) {
        if (subview.get() == &scroll)
            continue;
        if (auto rect = shownRect(subview->layer(), toWindow, time))
            applyCover(*rect, clip, covered);
    }
    if (scroll.superview() == &view) {
        gfx::AffineTransform scrollToWindow
            = scroll.layer().presentationAt(time).transformToSuperlayer().concatenating(toWindow);
        for (const auto& subview : scroll.subviews()) {
            if (subview.get() == &view.documentView() || !subview->isUserInteractionEnabled())
                continue;
            if (auto rect = shownRect(subview->layer(), scrollToWindow, time))
                applyCover(*rect, clip, covered);
        }
    }

    // Windows in front: their views (an alert, a dimming view) cover the page.
    gfx::AffineTransform windowFromScreen = top->transformToRoot().inverted();
    for (const auto& other : ui::Window::windowsFrontToBack()) {
        if (other.get() == window)
            break;
        if (other->isHidden() || other->alpha() <= InvisibleAlpha)
            continue;
        gfx::AffineTransform otherToWindow = other->layer().transformToRoot().concatenating(windowFromScreen);
        // An alert's window dims all below it.
        if (other->backgroundColor().alpha() > InvisibleAlpha)
            applyCover(otherToWindow.apply(other->bounds()), clip, covered);
        for (const auto& subview : other->subviews())
            if (auto rect = shownRect(subview->layer(), otherToWindow, time))
                applyCover(*rect, clip, covered);
    }
    if (auto* application = ui::Application::shared(); application && application->statusBarAlphaAt(time) > 0)
        applyCover(windowFromScreen.apply(application->statusBarFrameWhenShown()), clip, covered);

    // Cut away whole by what lies over it, the page is covered.
    covered = covered || (clip.isEmpty() && !scrolledOut);
    place.clip = clip.isNull() ? gfx::Rect() : clip;
    place.hidden = hidden || scrolledOut;
    place.covered = covered && !place.hidden;

    bool found = false;
    window->visitDescendants([&](const std::shared_ptr<ui::View>& descendant) {
        if (descendant.get() == &view)
            found = true;
        else if (!found && dynamic_cast<WebView*>(descendant.get()))
            ++place.order;
    });
    return place;
}

} // namespace web

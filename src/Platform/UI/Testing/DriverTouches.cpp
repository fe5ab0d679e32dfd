#include "Platform/UI/Testing/DriverTouches.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/Slider.h"
#include "Platform/UI/Switch.h"
#include "Platform/UI/Testing/DriverSteps.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

namespace ui::testing {

namespace {

double touchNow()
{
    return core::RunLoop::main().clock()->monotonic();
}

} // namespace

DriverTouches::DriverTouches() = default;

DriverTouches::~DriverTouches() = default;

void DriverTouches::reset()
{
    m_fingers.clear();
}

gfx::Point DriverTouches::centerOnScreen(const View& view)
{
    gfx::Rect b = view.bounds();
    return view.layer().transformToRoot().apply(gfx::Point { b.midX(), b.midY() });
}

gfx::Point DriverTouches::tapPoint(const View& view) const
{
    gfx::Rect b = view.bounds();
    return tapPoint(view, { b.midX(), b.midY() });
}

gfx::Point DriverTouches::tapPoint(const View& view, gfx::Point pointInView) const
{
    drivenApplication().layoutPendingViews();
    for (const View* v = &view; v; v = v->superview())
        if (v->isHidden())
            failStep(fmt::format("cannot touch {}: {} is hidden", view.className(), v == &view ? "it" : v->className()),
                { &view, v });
    if (!view.window())
        failStep(fmt::format("cannot touch {}: it is in no window", view.className()), { &view });
    gfx::Point point = view.layer().transformToRoot().apply(pointInView);
    for (auto& window : Window::windowsFrontToBack()) {
        if (window->isHidden())
            continue;
        gfx::Point local = window->layer().transformToSuperlayer().inverted().apply(point);
        View* hit = window->hitTest(local, nullptr);
        if (!hit)
            continue;
        if (!hit->isDescendantOfView(&view))
            failStep(fmt::format("cannot touch {}: {} would get the touch", view.className(), hit->className()),
                { &view, hit });
        return point;
    }
    failStep(fmt::format("cannot touch {}: its centre is outside every window", view.className()), { &view });
}

void DriverTouches::send(const std::vector<std::shared_ptr<Touch>>& touches)
{
    drivenApplication().sendEvent(Event::touches(touches));
    settle();
}

std::vector<int> DriverTouches::touchDown(const std::vector<gfx::Point>& points)
{
    // A person touches screens that stand still: a touch begun while a
    // window's screens slide reaches nothing, so the slide ends first.
    for (int step = 0; step < 20; ++step) {
        auto windows = Window::windowsFrontToBack();
        if (std::none_of(windows.begin(), windows.end(), [](auto& w) { return !w->isHidden() && w->isTransitioning(); }))
            break;
        wait(0.05);
    }
    std::vector<int> fingers;
    std::vector<std::shared_ptr<Touch>> touches;
    for (gfx::Point p : points) {
        auto touch = Touch::create(p, touchNow());
        int finger = m_nextFinger++;
        m_fingers[finger] = touch;
        fingers.push_back(finger);
        touches.push_back(touch);
    }
    send(touches);
    return fingers;
}

void DriverTouches::touchMove(const std::vector<std::pair<int, gfx::Point>>& moves)
{
    std::vector<std::shared_ptr<Touch>> touches;
    for (auto& [finger, p] : moves) {
        auto it = m_fingers.find(finger);
        if (it == m_fingers.end())
            throw core::Exception(DriverFailure, fmt::format("finger {} is not down", finger));
        it->second->update(Touch::Phase::Moved, p, touchNow());
        touches.push_back(it->second);
    }
    send(touches);
}

void DriverTouches::touchUp(const std::vector<int>& fingers)
{
    lift(fingers, Touch::Phase::Ended);
}

void DriverTouches::touchCancel(const std::vector<int>& fingers)
{
    lift(fingers, Touch::Phase::Cancelled);
}

void DriverTouches::lift(const std::vector<int>& fingers, Touch::Phase phase)
{
    std::vector<std::shared_ptr<Touch>> touches;
    for (int finger : fingers) {
        auto it = m_fingers.find(finger);
        if (it == m_fingers.end())
            throw core::Exception(DriverFailure, fmt::format("finger {} is not down", finger));
        it->second->update(phase, it->second->locationOnScreen(), touchNow());
        touches.push_back(it->second);
        m_fingers.erase(it);
    }
    send(touches);
}

void DriverTouches::wait(double seconds)
{
    core::RunLoop::main().advance(seconds);
}

void DriverTouches::hover(std::optional<gfx::Point> point)
{
    drivenApplication().pointer().setHoverLocation(point);
}

void DriverTouches::tap(const View& view)
{
    tap(tapPoint(view));
}

void DriverTouches::tap(gfx::Point point)
{
    bool inside = false;
    for (auto& window : Window::windowsFrontToBack())
        if (!window->isHidden() && window->frame().contains(point))
            inside = true;
    if (!inside)
        failStep(fmt::format("cannot tap ({}, {}): outside every window", point.x, point.y), {});
    auto fingers = touchDown({ point });
    touchUp(fingers);
}

void DriverTouches::doubleTap(const View& view)
{
    gfx::Point point = tapPoint(view);
    tap(point);
    wait(0.1);
    tap(point);
}

void DriverTouches::longPress(const View& view, double seconds)
{
    auto fingers = touchDown({ tapPoint(view) });
    // Held in a scroll view's content, the press starts when the content
    // gets the touch.
    if (m_fingers.at(fingers[0])->isContentDelayed())
        wait(ScrollView::ContentTouchDelay);
    wait(seconds);
    touchUp(fingers);
}

void DriverTouches::drag(gfx::Point from, gfx::Point to, int steps, double duration)
{
    steps = std::max(1, steps);
    auto fingers = touchDown({ from });
    for (int i = 1; i <= steps; ++i) {
        wait(duration / steps);
        float t = float(i) / float(steps);
        touchMove({ { fingers[0], { from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t } } });
    }
    touchUp(fingers);
}

void DriverTouches::drag(const View& view, float dx, float dy, int steps, double duration)
{
    gfx::Point from = tapPoint(view);
    drag(from, { from.x + dx, from.y + dy }, steps, duration);
}

void DriverTouches::dragAndHold(const View& view, float dx, float dy, int steps)
{
    gfx::Point from = tapPoint(view);
    steps = std::max(1, steps);
    auto fingers = touchDown({ from });
    for (int i = 1; i <= steps; ++i) {
        wait(0.02);
        float t = float(i) / float(steps);
        touchMove({ { fingers[0], { from.x + dx * t, from.y + dy * t } } });
    }
    wait(0.2);
    touchUp(fingers);
}

void DriverTouches::fling(const View& view, float dx, float dy, float speed, int steps)
{
    float distance = std::hypot(dx, dy);
    drag(view, dx, dy, steps, speed > 0 ? distance / speed : 0.1);
}

void DriverTouches::pinch(const View& view, float scale, int steps, double duration)
{
    gfx::Point c = tapPoint(view);
    gfx::Rect frame = view.convertRect(view.bounds(), nullptr);
    float half = std::max(5.0f, std::min(50.0f, frame.width() / 4));
    steps = std::max(1, steps);
    auto fingers = touchDown({ { c.x - half, c.y }, { c.x + half, c.y } });
    for (int i = 1; i <= steps; ++i) {
        wait(duration / steps);
        float d = half * (1 + (scale - 1) * float(i) / float(steps));
        touchMove({ { fingers[0], { c.x - d, c.y } }, { fingers[1], { c.x + d, c.y } } });
    }
    touchUp(fingers);
}

void DriverTouches::swipe(const View& view, unsigned direction, float distance, double duration)
{
    gfx::Point from = tapPoint(view);
    float dx = (direction & 1) ? distance : (direction & 2) ? -distance : 0;
    float dy = (direction & 8) ? distance : (direction & 4) ? -distance : 0;
    // In the view's directions, whichever way the interface is turned.
    gfx::Rect b = view.bounds();
    gfx::Point to = view.layer().transformToRoot().apply(gfx::Point { b.midX() + dx, b.midY() + dy });
    drag(from, to, 5, duration);
}

void DriverTouches::tapAt(const View& view, gfx::Point pointInView)
{
    tap(tapPoint(view, pointInView));
}

void DriverTouches::toggle(const Switch& control)
{
    tap(control);
}

void DriverTouches::slide(const Slider& slider, float value, int steps)
{
    gfx::Rect b = slider.bounds();
    gfx::Rect track = slider.trackRectForBounds(b);
    gfx::Rect from = slider.thumbRectForBounds(b, track, slider.value());
    gfx::Rect to = slider.thumbRectForBounds(b, track, value);
    gfx::Point start = tapPoint(slider, { from.midX(), from.midY() });
    gfx::Point end = slider.layer().transformToRoot().apply(gfx::Point { to.midX(), to.midY() });
    drag(start, end, steps, 0.2);
}

void DriverTouches::tapSegment(const SegmentedControl& control, size_t segment)
{
    gfx::Rect r = control.rectForSegment(segment);
    tapAt(control, { r.midX(), r.midY() });
}

} // namespace ui::testing

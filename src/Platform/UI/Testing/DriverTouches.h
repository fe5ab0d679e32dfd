#pragma once

// The test driver's fingers: every touch goes through
// Application::sendEvent as one event of the fingers it names, and the
// gestures a person makes (taps, presses, drags, flings, pinches, swipes)
// and the controls worked by them are sequences of those events with the
// test clock moved between them. It keeps the fingers that are down, and
// refuses a touch that would not reach the view it is meant for. A desktop
// pointer's hover is set here too.

#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/Touch.h"

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace ui {
class SegmentedControl;
class Slider;
class Switch;
class View;
} // namespace ui

namespace ui::testing {

class DriverTouches {
public:
    DriverTouches();
    ~DriverTouches();
    DriverTouches(const DriverTouches&) = delete;
    DriverTouches& operator=(const DriverTouches&) = delete;

    // Lifts nothing, forgets the fingers down.
    void reset();

    // Points are on the screen; views are touched at their centre.
    void tap(const View& view);
    void tap(gfx::Point point);
    void doubleTap(const View& view);
    // Held `seconds` after the view gets the touch (a scroll view's content
    // gets it ContentTouchDelay later).
    void longPress(const View& view, double seconds = 0.6);
    // Down at `from`, `steps` moves over `duration`, up at `to`.
    void drag(gfx::Point from, gfx::Point to, int steps = 10, double duration = 0.2);
    // From the view's centre by (dx, dy).
    void drag(const View& view, float dx, float dy, int steps = 10, double duration = 0.2);
    // A drag held still before lifting, so nothing coasts afterwards.
    void dragAndHold(const View& view, float dx, float dy, int steps = 10);
    // A drag lifted while moving at `speed` points per second.
    void fling(const View& view, float dx, float dy, float speed, int steps = 10);
    // Two fingers about the view's centre, their distance times `scale`.
    void pinch(const View& view, float scale, int steps = 10, double duration = 0.3);
    // Direction bits as the swipe recognizer's (right 1, left 2, up 4, down
    // 8), in the view's own directions.
    void swipe(const View& view, unsigned direction, float distance = 100, double duration = 0.2);

    // Raw multi-finger sequences: each call is one event of the fingers it
    // names; `wait` moves the clock between them.
    std::vector<int> touchDown(const std::vector<gfx::Point>& points);
    void touchMove(const std::vector<std::pair<int, gfx::Point>>& moves);
    void touchUp(const std::vector<int>& fingers);
    void touchCancel(const std::vector<int>& fingers);
    void wait(double seconds);
    // A desktop pointer hovering at `point` (on the screen), or gone from
    // the window.
    void hover(std::optional<gfx::Point> point);

    // Controls, through touches.
    void tapAt(const View& view, gfx::Point pointInView);
    void toggle(const Switch& control);
    // Drags the thumb from where it is to where `value` sits.
    void slide(const Slider& slider, float value, int steps = 10);
    void tapSegment(const SegmentedControl& control, size_t segment);

    // The screen point at the centre of the view (or at a point of it),
    // failing when a tap there would not reach it.
    gfx::Point tapPoint(const View& view) const;
    gfx::Point tapPoint(const View& view, gfx::Point pointInView) const;
    // The screen point at the view's centre.
    static gfx::Point centerOnScreen(const View& view);

private:
    void send(const std::vector<std::shared_ptr<Touch>>& touches);
    // Ends (or cancels) the fingers' touches and forgets them.
    void lift(const std::vector<int>& fingers, Touch::Phase phase);

    std::map<int, std::shared_ptr<Touch>> m_fingers;
    int m_nextFinger = 1;
};

} // namespace ui::testing

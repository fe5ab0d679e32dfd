#pragma once

// Routes a window's touch events: first to the gesture recognizers of the
// hit view and its ancestors, then to the hit view's touch methods, and
// settles the contest between recognizers (failure requirements, exclusion,
// cancelling the view's touches, holding back touch ends while a recognizer
// may still want them). A touch that lands in the content of a scroll view
// that delays content touches reaches the scroll view's recognizers (and
// those above) at once, and the content (its view and the recognizers
// inside it) only when the delay passes or the finger lifts, so that a drag
// never reaches a row. One per process, main thread only.

#include "Platform/UI/Responder.h"

#include <memory>

namespace ui {

class Event;
class GestureRecognizer;
class Touch;
class Window;

class TouchRouter {
public:
    static void route(Window& window, const Event& event);

    // Called by recognizers.
    static bool isActive(const GestureRecognizer& recognizer);
    static bool mayBegin(GestureRecognizer& recognizer);
    static void stateChanged(GestureRecognizer& recognizer, bool recognizedNow);
    static void cancelViewTouches(GestureRecognizer& recognizer);
    static void deactivate(GestureRecognizer& recognizer);
    // Resets finished recognizers whose touches are up and hands held touch
    // ends to their views once no recognizer may still want them.
    static void settle();
    // Ends a scroll view's hold on a touch: the content hears it begin
    // (nothing when a recognizer took it meanwhile).
    static void releaseContent(const std::shared_ptr<Touch>& touch);

    static void resetForTesting();
};

} // namespace ui

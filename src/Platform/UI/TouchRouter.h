#pragma once

// Routes a window's touch events: first to the gesture recognizers of the
// hit view and its ancestors, then to the hit view's touch methods, and
// settles the contest between recognizers (failure requirements, exclusion,
// cancelling the view's touches, holding back touch ends while a recognizer
// may still want them). One per process, main thread only.

#include "Platform/UI/Responder.h"

namespace ui {

class Event;
class GestureRecognizer;
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

    static void resetForTesting();
};

} // namespace ui

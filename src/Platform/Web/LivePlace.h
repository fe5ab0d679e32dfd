#pragma once

// Where a web view's live page stands in its window at one moment, as the
// screen shows it then (running animations sampled, a push or move-in
// transition of the view or an ancestor followed): the page's frame and the
// part of it that shows, in the window's coordinates; whether it shows at
// all; whether the toolkit must show its picture instead; and its place
// among the window's web views.
//
// Content drawn above the page must show and take its clicks. A cover across
// the page's whole width at its top or bottom (a bar), or its whole height
// at a side (the landscape status bar), cuts the part that shows; anything
// else over it covers it: later siblings of the view or of an ancestor,
// the view's own subviews, the views of windows in front (an alert, a
// sheet's dimming view, a popover) and the status bar. An animation that
// scales, turns or fades the page, or a transition other than a push or
// move-in on the way, covers it too. Main thread only.

#include "Platform/Graphics/Geometry.h"

namespace web {

class WebView;

struct LivePlace {
    gfx::Rect frame;
    gfx::Rect clip;
    bool hidden = false;
    bool covered = false;
    int order = 0;

    // At the run loop clock's time.
    static LivePlace of(const WebView& view);
    static LivePlace of(const WebView& view, double time);

    // Takes `cover` (window coordinates) off `clip`: cut when it lies across
    // an edge, else `covered` is set. Public for tests.
    static void applyCover(gfx::Rect cover, gfx::Rect& clip, bool& covered);
};

} // namespace web

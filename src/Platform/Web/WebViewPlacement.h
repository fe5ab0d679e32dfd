#pragma once

// Where a web view shows live: the desktop window's host places the
// engine's own widget over the web view's frame instead of the snapshots.
// The host provides placements per window (setProvider); a web view moving
// into such a window hands its widget over (attach), tells it where it sits
// on every layout (place) and takes it back when it leaves (detach), the
// page, its history and scroll place kept. Main thread only.

#include "Platform/Graphics/Geometry.h"

#include <functional>
#include <memory>

namespace ui {
class Window;
}

namespace web {

class WebViewPlacement {
public:
    virtual ~WebViewPlacement() = default;

    // Takes the engine's widget (a GtkWidget, untyped here) into the window.
    virtual void attach(void* widget) = 0;
    // Its frame in the window's coordinates (points); the part of it not
    // clipped away by the views around it; whether it shows; its place among
    // the window's web views (0 at the back).
    virtual void place(const gfx::Rect& frame, const gfx::Rect& clip, bool hidden, int order) = 0;
    // Gives the widget back; it is attached nowhere afterwards.
    virtual void detach(void* widget) = 0;
    // Tells `handler` of each click on the live page (button 1 pressed and
    // released in place, the `clicks`th in a row), seen before the page gets
    // it, at its point in the window's coordinates.
    using ClickHandler = std::function<void(gfx::Point windowPoint, int clicks)>;
    virtual void setClickHandler(ClickHandler handler) { (void)handler; }
    // What the view runs to place itself again when its place may have
    // changed without a layout of its own (bars shown over it, an ancestor
    // moved); the host asks for it after the window's changes.
    virtual void setPlaceRequest(std::function<void()> request) { (void)request; }

    // The placement for a web view in `window`; none shows it through
    // snapshots.
    using Provider = std::function<std::shared_ptr<WebViewPlacement>(ui::Window& window)>;
    static void setProvider(Provider provider);
    static std::shared_ptr<WebViewPlacement> placementFor(ui::Window& window);
};

} // namespace web

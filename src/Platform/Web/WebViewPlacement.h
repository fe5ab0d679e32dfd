#pragma once

// Where a web view shows live: the desktop window's host places the
// engine's own widget over the web view's frame instead of the snapshots.
// The host provides placements per window (setProvider); a web view moving
// into such a window hands its widget over (attach), tells it where it sits
// on every layout and every frame of an animation (follow, which places it)
// and takes it back when it leaves (detach), the page, its history and
// scroll place kept.
//
// While the toolkit's content covers the page (or an animation scales,
// turns or fades it) the widget gives way to the page's picture, which the
// window draws under the cover: a fresh one is asked for and the widget
// stays until it has come, at most CoverWait seconds. Uncovered, the widget
// shows again as it was. A page that was not showing gives way at once.
// Main thread only.

#include "Platform/Graphics/Geometry.h"
#include "Platform/Web/LivePlace.h"

#include <functional>
#include <memory>

namespace ui {
class Window;
}

namespace web {

class WebViewPlacement : public std::enable_shared_from_this<WebViewPlacement> {
public:
    static constexpr double CoverWait = 0.1;

    virtual ~WebViewPlacement() = default;

    // Places the widget as `place` says: hidden, live, or covered (see above).
    void follow(const LivePlace& place);
    // What the view runs to take a fresh picture of its page; `done` runs
    // once the view shows it.
    void setSnapshotRequest(std::function<void(std::function<void()> done)> request)
    {
        m_snapshotRequest = std::move(request);
    }
    // Whether the page's picture shows in the widget's place now (covered,
    // the fresh picture come or the wait over).
    bool isShowingPicture() const { return m_cover == Cover::Picture; }
    // Whether the widget itself shows now (the page's picture is not seen).
    bool isWidgetShown() const { return m_widgetShown; }

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

private:
    enum class Cover { None, Waiting, Picture };
    void pictureReady(uint64_t cover);

    std::function<void(std::function<void()>)> m_snapshotRequest;
    LivePlace m_last;
    Cover m_cover = Cover::None;
    // Counts covers, so that a late picture of an earlier one is ignored.
    uint64_t m_covers = 0;
    bool m_widgetShown = false;
};

} // namespace web

#pragma once

// A web view's page live in the desktop window: the engine's widget in a
// clipping container of the window's overlay, over the part of the view
// that shows (its frame cut by clipping ancestors), mapped like the
// screen's picture, hidden with the view, stacked among the window's pages
// in tree order. One per web view. Main thread only.

#include "Platform/Web/WebViewPlacement.h"

#include <functional>
#include <optional>

namespace ui {

class ScreenFit;

class LivePlacement : public web::WebViewPlacement {
public:
    // A zoom of the person's over the page (Ctrl and the wheel, a
    // touchpad's pinch: a GdkEvent*), its place turned into the drawing
    // area's: the window's, as over any other view.
    using ZoomHandler = std::function<void(void* event)>;

    // `overlay`: the window's GtkOverlay; `fit`: how the screen sits in it now.
    LivePlacement(void* overlay, std::function<ScreenFit()> fit, ZoomHandler zoom = {});
    ~LivePlacement() override;

    void attach(void* widget) override;
    void place(const gfx::Rect& frame, const gfx::Rect& clip, bool hidden, int order) override;
    void detach(void* widget) override;
    void setClickHandler(ClickHandler handler) override { m_clicked = std::move(handler); }
    void setPlaceRequest(std::function<void()> request) override { m_placeRequest = std::move(request); }
    // The window changed: the view places its page again.
    void refresh()
    {
        if (m_placeRequest && m_widget)
            m_placeRequest();
    }

    // The window goes: the widget leaves the overlay (its page keeps it)
    // and later calls do nothing.
    void release();

    // The part of the screen (points) the page covers while its widget
    // shows; nothing while it does not.
    const std::optional<gfx::Rect>& shownClip() const { return m_shownClip; }

    // The clipping container (a GtkLayout), for tests.
    void* container() const { return m_container; }

private:
    void clicked(int clicks, double x, double y);
    // Ctrl and the wheel and a touchpad's pinch are the view's zoom, never
    // WebKit's scroll or its own pinch (a scale of its own beside the view's).
    bool pageEvent(void* event);

    // What was last given to GTK, in the area's pixels: the container, the
    // page in it, and the order.
    struct Placed {
        int x = -1, y = -1, width = -1, height = -1;
        int pageX = -1, pageY = -1, pageWidth = -1, pageHeight = -1;
        int order = -1;
    };

    void* m_overlay;
    void* m_container = nullptr;
    // The capture-phase click gesture on the container (a GtkGesture).
    void* m_clickGesture = nullptr;
    ClickHandler m_clicked;
    std::function<void()> m_placeRequest;
    // Where the container stands in the drawing area.
    gfx::Point m_containerOrigin;
    Placed m_placed;
    std::optional<gfx::Rect> m_shownClip;
    void* m_widget = nullptr;
    unsigned long m_eventHandler = 0;
    std::function<ScreenFit()> m_fit;
    ZoomHandler m_zoom;
};

} // namespace ui

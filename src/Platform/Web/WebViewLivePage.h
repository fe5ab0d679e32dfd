#pragma once

// Whether a web view's page shows live in its window, and the hand-off that
// makes it so: moving into a window whose host gives a WebViewPlacement, the
// view's page attaches its widget to it (leaving, it detaches); the
// placement hears where the view sits at each layout and whenever the host
// asks, asks the view for a fresh picture when the page is covered, and
// tells of clicks on the live page, which reach the tap recognizers of the
// view and its ancestors. A change of the window's own subviews (a sheet or
// an alert over the page) lays the view out again. Owned by the web view,
// which hands itself in.

#include "Platform/Core/Observable.h"
#include "Platform/Graphics/Geometry.h"

#include <memory>

namespace ui {
class View;
}

namespace web {

class WebView;
class WebViewPlacement;

class WebViewLivePage {
public:
    bool isLive() const { return bool(m_placement); }
    // Whether the engine's widget shows now and so takes the clicks on it
    // (not while the page's picture shows in its place).
    bool showsWidget() const;
    // The view is in its window now (or none): whether the placement changed.
    bool windowChanged(WebView& view);
    // Tells the placement where the view sits now.
    void place(WebView& view);

private:
    // A click on the live page, told to the tap recognizers around `view`.
    static void clicked(ui::View& view, gfx::Point windowPoint, int clicks);

    std::shared_ptr<WebViewPlacement> m_placement;
    core::Observation m_windowSubviewsObservation;
};

} // namespace web

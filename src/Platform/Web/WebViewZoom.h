#pragma once

// How a web view's page is zoomed and sized: the zoom the app asks for times
// the fit (a page wider than the view zoomed out to the view's width, not
// below a least zoom, fitted afresh after each load and each new width),
// told to the page only when it changes; the view's size and the screen's
// scale told to the page only when they change. Owned by the web view,
// which hands in its page (none before it is made).

#include "Platform/Graphics/Geometry.h"

namespace web {

class WebPage;
struct PageMetrics;

class WebViewZoom {
public:
    explicit WebViewZoom(double minimumFit) : m_minimumFit(minimumFit) { }

    bool scalesPageToFit() const { return m_scalesPageToFit; }
    void setScalesPageToFit(bool scales, WebPage* page);
    double zoomLevel() const { return m_zoomLevel; }
    // Not a finite positive level: ignored.
    void setZoomLevel(double level, WebPage* page);
    // The zoom the page is shown at now.
    double pageZoom() const { return m_zoomLevel * m_fit; }

    // A new page: it hears its geometry and zoom at the next change.
    void pageMade();
    void setGeometry(WebPage* page, gfx::Size size, float scale);
    // A new load: fitted afresh.
    void loadStarted(WebPage* page);
    // The page's size came: a page wider than `viewWidth` is zoomed out.
    void fit(WebPage* page, const PageMetrics& metrics, float viewWidth);

private:
    void apply(WebPage* page);

    double m_minimumFit;
    bool m_scalesPageToFit = false;
    double m_zoomLevel = 1;
    double m_fit = 1;
    double m_applied = 0;
    gfx::Size m_pageSize;
    float m_pageScale = 0;
};

} // namespace web

#include "Platform/Web/WebViewZoom.h"

#include "Platform/Web/PageMessage.h"
#include "Platform/Web/WebPage.h"

#include <algorithm>
#include <cmath>

namespace web {

void WebViewZoom::setScalesPageToFit(bool scales, WebPage* page)
{
    if (m_scalesPageToFit == scales)
        return;
    m_scalesPageToFit = scales;
    m_fit = 1;
    apply(page);
}

void WebViewZoom::setZoomLevel(double level, WebPage* page)
{
    if (!(level > 0) || !std::isfinite(level))
        return;
    m_zoomLevel = level;
    apply(page);
}

void WebViewZoom::apply(WebPage* page)
{
    if (!page)
        return;
    double zoom = pageZoom();
    if (zoom == m_applied)
        return;
    m_applied = zoom;
    page->setPageZoom(zoom);
}

void WebViewZoom::pageMade()
{
    m_pageSize = {};
    m_pageScale = 0;
    m_applied = 0;
}

void WebViewZoom::setGeometry(WebPage* page, gfx::Size size, float scale)
{
    if (!page)
        return;
    if (size == m_pageSize && scale == m_pageScale)
        return;
    bool widthChanged = size.width != m_pageSize.width;
    m_pageSize = size;
    m_pageScale = scale;
    page->setGeometry(size, scale);
    if (m_scalesPageToFit && widthChanged) {
        m_fit = 1;
        apply(page);
    }
    apply(page);
}

void WebViewZoom::loadStarted(WebPage* page)
{
    if (m_scalesPageToFit && m_fit != 1) {
        m_fit = 1;
        apply(page);
    }
}

void WebViewZoom::fit(WebPage* page, const PageMetrics& metrics, float viewWidth)
{
    if (m_scalesPageToFit && metrics.contentWidth > metrics.viewportWidth + 0.5 && metrics.contentWidth > 0) {
        double fit = std::clamp(double(viewWidth) / (metrics.contentWidth * m_zoomLevel), m_minimumFit, 1.0);
        if (fit < m_fit - 1e-3) {
            m_fit = fit;
            apply(page);
        }
    }
}

} // namespace web

#include "Viewers/PDF/VKDocumentViewVertical.h"

#include "Kit/ScrollViewAdditions.h"
#include "Kit/VKGeometry.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Viewers/PDF/VKDocumentViewDataSource.h"
#include "Viewers/PDF/VKDocumentViewDelegate.h"
#include "Viewers/PDF/VKScrollTrackView.h"
#include "Viewers/PDF/VKScrollView.h"

#include <cmath>
#include <limits>

namespace {

// Sizes the data source gives that are not numbers, infinite or negative
// count as 0.
float saneLength(float value)
{
    return std::isfinite(value) && value > 0 ? value : 0;
}

} // namespace

std::shared_ptr<VKDocumentViewVertical> VKDocumentViewVertical::create(const gfx::Rect& frame)
{
    auto view = std::make_shared<VKDocumentViewVertical>();
    view->setUp(frame);
    return view;
}

void VKDocumentViewVertical::setUp(const gfx::Rect& frame)
{
    setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    // Sized before the scroll view comes, so that it does not grow with it.
    VKDocumentView::setFrame(frame);
    m_scrollView = VKScrollView::create(gfx::Rect(0, 0, frame.width(), frame.height()));
    m_scrollView->setVerticalLock(true);
    m_scrollView->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    m_scrollView->setDelegate(std::static_pointer_cast<ui::ScrollViewDelegate>(sharedAs<VKDocumentViewVertical>()));
    addSubview(m_scrollView);
    float fit = frame.width() / VKDocumentViewNaturalWidth;
    if (fit > 0 && std::isfinite(fit)) {
        m_scrollView->setMaximumZoomScale(std::max(VKDocumentViewMaximumZoomScale, fit));
        m_scrollView->setMinimumZoomScale(fit);
        m_scrollView->setZoomScale(fit);
    }
    m_contentView = ui::View::create(frame);
    m_contentView->setOpaque(false);
    m_scrollView->setContentView(m_contentView);
}

VKDocumentViewVertical::~VKDocumentViewVertical()
{
    if (m_scrollView)
        m_scrollView->setDelegate({});
}

ui::ScrollView* VKDocumentViewVertical::scrollView() const
{
    return m_scrollView.get();
}

void VKDocumentViewVertical::setFrame(const gfx::Rect& frame)
{
    if (!m_scrollView) {
        VKDocumentView::setFrame(frame);
        return;
    }
    float fit = frame.width() / VKDocumentViewNaturalWidth;
    float oldFit = this->frame().width() / VKDocumentViewNaturalWidth;
    gfx::Point centre = vkNormalizedCenterOffset(*m_scrollView);
    // The zoom's place between fitting the width and the maximum (below 0
    // when zoomed out further), so that a turn keeps a fitted width fitted.
    float range = m_scrollView->maximumZoomScale() - oldFit;
    float zoom = oldFit > 0 && range > 0 ? (m_scrollView->zoomScale() - oldFit) / range : 0;
    bool resized = frame.size != this->frame().size;
    VKDocumentView::setFrame(frame);
    // Moved without a new size: the reading position stays as it is.
    if (!(fit > 0) || !std::isfinite(fit) || !resized)
        return;
    updateZoomLimits();
    float maximum = m_scrollView->maximumZoomScale();
    m_scrollView->setZoomScale(fit + zoom * (maximum - fit));
    vkSetNormalizedCenterOffset(*m_scrollView, centre);
}

void VKDocumentViewVertical::updateZoomLimits()
{
    gfx::Size size = bounds().size;
    float fit = size.width / VKDocumentViewNaturalWidth;
    if (!(fit > 0) || !std::isfinite(fit))
        return;
    // Below fitting the width down to where the tallest page, with the
    // border above and below it, fits the height: a whole page in view.
    float tallest = 0;
    for (const gfx::Rect& frame : m_pageFrames)
        tallest = std::max(tallest, frame.height());
    float whole = size.height / (VKDocumentViewNaturalWidth * (tallest + 2 * VKDocumentViewBorderScale));
    float minimum = whole > 0 && std::isfinite(whole) ? std::min(fit, whole) : fit;
    m_scrollView->setMaximumZoomScale(std::max(VKDocumentViewMaximumZoomScale, fit));
    m_scrollView->setMinimumZoomScale(minimum);
}

void VKDocumentViewVertical::setContentHeight(float height)
{
    float z = m_scrollView->zoomScale();
    m_contentView->setBounds(gfx::Rect(0, 0, VKDocumentViewNaturalWidth, height));
    m_contentView->setTransform(gfx::AffineTransform::scale(z, z));
    m_contentView->setCenter({ VKDocumentViewNaturalWidth * z / 2, height * z / 2 });
    m_scrollView->setContentSize({ VKDocumentViewNaturalWidth * z, height * z });
}

void VKDocumentViewVertical::reloadData()
{
    VKDocumentView::reloadData();
    size_t n = m_numPages;
    auto source = dataSource();
    std::vector<gfx::Rect> frames;
    std::vector<double> tops;
    double bottom = 0;
    if (n > 0 && source) {
        frames.resize(n);
        // Tops are summed, scaled and kept in double: a float of them is
        // points off by the ten-thousandth page.
        tops.resize(n);
        const float b = VKDocumentViewBorderScale;
        double y = 0;
        float widest = 0;
        for (size_t i = 0; i < n; ++i) {
            gfx::Size size = source->documentViewSizeForPageAtIndex(*this, i);
            float w = saneLength(size.width), h = saneLength(size.height);
            frames[i] = gfx::Rect(0, 0, w, h);
            tops[i] = y;
            y += h;
            if (w > widest)
                widest = w;
        }
        float s = widest != 0 ? (1 - 2 * b) / widest : 0;
        for (size_t i = 0; i < n; ++i) {
            gfx::Rect f = frames[i];
            tops[i] = double(b) * double(i + 1) + tops[i] * s;
            frames[i] = gfx::Rect(b + (widest - f.width()) * (s * 0.5f), float(tops[i]), f.width() * s, f.height() * s);
        }
        bottom = tops.back() + frames.back().height();
    }
    m_pageFrames = std::move(frames);
    m_pageTops = std::move(tops);
    float height = float(std::round(double(VKDocumentViewNaturalWidth) * (bottom + VKDocumentViewBorderScale)));
    updateZoomLimits();
    if (m_scrollView->zoomScale() < m_scrollView->minimumZoomScale())
        m_scrollView->setZoomScale(m_scrollView->minimumZoomScale());
    setContentHeight(height);
    m_foremostPageIndex = core::kNotFound;
    m_visiblePageRange = core::Range();
    setNeedsLayout();
}

gfx::Rect VKDocumentViewVertical::frameForPageAtIndex(size_t index) const
{
    if (index >= m_pageFrames.size())
        return gfx::Rect(0, 0, 0, 0);
    float z = m_scrollView->zoomScale();
    float k = z > 0 ? m_scrollView->contentSize().width / z : VKDocumentViewNaturalWidth;
    const gfx::Rect& u = m_pageFrames[index];
    return gfx::Rect(std::roundf(u.minX() * k), float(std::round(m_pageTops[index] * k)), std::roundf(u.width() * k),
        std::roundf(u.height() * k));
}

core::Range VKDocumentViewVertical::pagesNearVerticalPosition(float y) const
{
    if (m_pageFrames.empty())
        return core::Range();
    long lo = 0, hi = long(m_pageFrames.size()) - 1;
    while (hi - lo >= 2) {
        long mid = (lo + hi) / 2;
        if (frameForPageAtIndex(size_t(mid)).minY() > y)
            hi = mid;
        else
            lo = mid;
    }
    return core::Range { size_t(lo), size_t(hi - lo + 1) };
}

core::Range VKDocumentViewVertical::pagesIntersectingRect(const gfx::Rect& rect) const
{
    core::Range near = pagesNearVerticalPosition(rect.minY());
    if (near.location == core::kNotFound || near.length == 0)
        return core::Range();
    size_t n = m_pageFrames.size();
    size_t start = near.location;
    if (!frameForPageAtIndex(start).intersects(rect) && start + 1 < n)
        ++start;
    if (!frameForPageAtIndex(start).intersects(rect))
        return core::Range();
    size_t count = 0;
    while (start + count < n && frameForPageAtIndex(start + count).intersects(rect))
        ++count;
    return core::Range { start, count };
}

size_t VKDocumentViewVertical::indexofPageNearestPoint(gfx::Point point) const
{
    core::Range near = pagesNearVerticalPosition(point.y);
    if (near.location == core::kNotFound || near.length == 0)
        return core::kNotFound;
    float best = std::numeric_limits<float>::infinity();
    size_t index = near.location;
    while (index < near.location + near.length) {
        float d = VKPointManhattanDistanceToEdgeOfCGRect(point, frameForPageAtIndex(index));
        if (!(d < best))
            break;
        best = d;
        ++index;
    }
    return index - 1;
}

void VKDocumentViewVertical::layoutSubviews()
{
    VKDocumentView::layoutSubviews();
    if (!m_scrollView)
        return;
    centreNarrowContent();
    float z = m_scrollView->zoomScale();
    gfx::Point o = m_scrollView->contentOffset();
    gfx::Rect b = m_scrollView->bounds();
    gfx::Rect v(o.x / z, o.y / z, b.width() / z, b.height() / z);
    m_visiblePageRange = pagesIntersectingRect(v);
    core::Range near = m_visiblePageRange.length > 0 ? pagesIntersectingRect(v.insetBy(0, -v.height())) : core::Range();
    size_t foremost = core::kNotFound;
    if (near.length > 0) {
        float bestShare = 0;
        auto delegate = this->delegate();
        for (size_t i = near.location; i < near.location + near.length; ++i) {
            gfx::Rect f = frameForPageAtIndex(i);
            if (f.isEmpty())
                continue;
            gfx::Rect seen = v.intersection(f);
            float share = seen.isNull() ? 0 : (seen.width() * seen.height()) / (f.width() * f.height());
            if (share > bestShare) {
                bestShare = share;
                foremost = i;
            }
            auto view = viewForPageAtIndex(i);
            if (!view)
                continue;
            view->setFrame(f);
            if (!view->superview()) {
                if (delegate)
                    delegate->documentViewWillAddPageView(*this, *view, i);
                m_contentView->addSubview(view);
            }
        }
    }
    if (foremost == core::kNotFound)
        foremost = indexofPageNearestPoint({ o.x / z + b.width() / (2 * z), o.y / z + b.height() / (2 * z) });
    if (foremost != m_foremostPageIndex) {
        m_foremostPageIndex = foremost;
        updateCurrentIndexRange(core::Range { foremost, 1 });
    }
    trimCache(near);
}

void VKDocumentViewVertical::centreNarrowContent()
{
    // Zoomed out below the width's fit, the pages stand in the middle.
    gfx::Size content = m_scrollView->contentSize();
    float width = m_scrollView->bounds().width();
    float x = content.width < width ? std::round((width - content.width) * 0.5f) : 0;
    gfx::Point centre = m_contentView->center();
    if (centre.x != x + content.width / 2)
        m_contentView->setCenter({ x + content.width / 2, centre.y });
}

float VKDocumentViewVertical::contentZoom() const
{
    return m_scrollView->zoomScale();
}

void VKDocumentViewVertical::setContentZoom(float zoom)
{
    if (zoom > 0 && std::isfinite(zoom))
        m_scrollView->setZoomScale(zoom);
}

gfx::Point VKDocumentViewVertical::normalisedOffset() const
{
    gfx::Point o = m_scrollView->contentOffset();
    gfx::Size size = m_scrollView->contentSize();
    return { size.width != 0 ? o.x / size.width : 0, size.height != 0 ? o.y / size.height : 0 };
}

void VKDocumentViewVertical::scrollToNormalisedOffset(gfx::Point offset, bool animated, bool displayScrollIndicators)
{
    gfx::Size size = m_scrollView->contentSize();
    m_scrollView->setContentOffset({ offset.x * size.width, offset.y * size.height }, animated);
    if (displayScrollIndicators)
        m_scrollView->flashScrollIndicators();
}

bool VKDocumentViewVertical::handleSingleTapRecognized(ui::GestureRecognizer& recognizer)
{
    return handleSingleTapAtPoint(recognizer.locationInView(this));
}

bool VKDocumentViewVertical::handleSingleTapAtPoint(gfx::Point p)
{
    if (!pagingEnabled())
        return false;
    gfx::Point o = m_scrollView->contentOffset();
    float h = m_scrollView->bounds().height();
    const float T = VKDocumentViewTapRegionWidth;
    int direction;
    float y;
    if (p.y < T) {
        direction = 1;
        y = std::max(o.y - h + T, 0.0f);
    } else if (bounds().height() - p.y < T) {
        direction = -1;
        // Content shorter than the view stays at its top.
        y = std::max(std::min(o.y + h - T, m_scrollView->contentSize().height - h), 0.0f);
    } else {
        return false;
    }
    if (y == o.y) {
        if (auto delegate = this->delegate())
            delegate->documentViewDidIgnorePaging(*this, direction);
        return true;
    }
    m_scrollView->setContentOffset({ o.x, y }, true);
    return true;
}

void VKDocumentViewVertical::doubleTapRecognized(ui::GestureRecognizer& recognizer)
{
    zoomOutAroundPoint(recognizer.locationInView(this), true);
}

void VKDocumentViewVertical::zoomOutAroundPoint(gfx::Point point, bool animated)
{
    gfx::Point q = convertPoint(point, m_scrollView.get());
    gfx::Rect line(0, q.y, m_scrollView->contentSize().width, 0);
    gfx::Rect enclosing = VKZoomRectToEncloseRect(m_scrollView->bounds(), line);
    m_scrollView->zoomToRect(VKRectScale(enclosing, 1 / m_scrollView->zoomScale()), animated);
}

void VKDocumentViewVertical::zoomToScaledRect(const gfx::Rect& rect, bool animated)
{
    gfx::Rect r = convertRect(rect, m_scrollView.get());
    m_scrollView->zoomToRect(VKRectScale(r, 1 / m_scrollView->zoomScale()), animated);
}

void VKDocumentViewVertical::scrollToPageAtIndex(size_t index, const gfx::Rect& anchor, bool animated)
{
    if (index >= m_pageFrames.size())
        return;
    gfx::Rect f = VKRectScale(frameForPageAtIndex(index), m_scrollView->zoomScale());
    gfx::Rect target = VKRectInRectFromAnchorRect(anchor, f);
    vkScrollToEncloseRect(*m_scrollView, target, VKDocumentViewNaturalWidth * VKDocumentViewBorderScale, animated);
}

void VKDocumentViewVertical::setToolbarContentInsets(const gfx::EdgeInsets& insets)
{
    VKDocumentView::setToolbarContentInsets(insets);
    m_scrollView->setContentInset(insets);
    m_scrollView->setScrollIndicatorInsets(insets);
}

void VKDocumentViewVertical::setThumbnailsEnabled(bool enabled)
{
    VKDocumentView::setThumbnailsEnabled(enabled);
    if (enabled && scrollTrackView())
        scrollTrackView()->setEdge(VKScrollTrackView::Right);
    performLayout();
}

bool VKDocumentViewVertical::shouldFlushCachedPageAtIndex(size_t index) const
{
    return index - m_visiblePageRange.location >= m_visiblePageRange.length;
}

void VKDocumentViewVertical::willFlushCachedPageView(ui::View& view)
{
    view.removeFromSuperview();
}

ui::View* VKDocumentViewVertical::viewForZooming(ui::ScrollView&)
{
    return m_contentView.get();
}

void VKDocumentViewVertical::willBeginDragging(ui::ScrollView& view)
{
    if (auto delegate = this->delegate())
        delegate->documentViewScrollViewWillBeginDragging(*this, view);
}

void VKDocumentViewVertical::didScroll(ui::ScrollView&)
{
    setNeedsLayout();
}

void VKDocumentViewVertical::didZoom(ui::ScrollView&)
{
    setNeedsLayout();
}

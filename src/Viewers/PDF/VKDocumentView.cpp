#include "Viewers/PDF/VKDocumentView.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/LongPressGestureRecognizer.h"
#include "Viewers/PDF/VKDocumentViewDataSource.h"
#include "Viewers/PDF/VKDocumentViewDelegate.h"
#include "Viewers/PDF/VKOverlayView.h"
#include "Viewers/PDF/VKScrollTrackView.h"

#include "Kit/VKGeometry.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace {

// "Page %d of %d" with its numbers, whatever the translation's order.
std::string pageOfPages(size_t page, size_t count)
{
    std::string text = core::localized("Page %d of %d");
    for (size_t value : { page, count }) {
        size_t at = text.find("%d");
        if (at == std::string::npos)
            break;
        text.replace(at, 2, std::to_string(value));
    }
    return text;
}

} // namespace

std::pair<gfx::Rect, gfx::Rect> VKRectDivide(const gfx::Rect& rect, float amount, int edge)
{
    bool horizontal = edge == 0 || edge == 2;
    float extent = horizontal ? rect.width() : rect.height();
    amount = std::clamp(amount, 0.0f, std::max(0.0f, extent));
    float rest = extent - amount;
    float x = rect.minX(), y = rect.minY(), w = rect.width(), h = rect.height();
    switch (edge) {
    case 0:
        return { gfx::Rect(x, y, amount, h), gfx::Rect(x + amount, y, rest, h) };
    case 1:
        return { gfx::Rect(x, y, w, amount), gfx::Rect(x, y + amount, w, rest) };
    case 2:
        return { gfx::Rect(x + rest, y, amount, h), gfx::Rect(x, y, rest, h) };
    default:
        return { gfx::Rect(x, y + rest, w, amount), gfx::Rect(x, y, w, rest) };
    }
}

VKDocumentView::VKDocumentView()
{
    m_memoryWarning = core::NotificationCenter::defaultCenter().observe(
        ui::Application::didReceiveMemoryWarningNotification, nullptr, [this](const core::Notification&) { flushCache(); });
}

VKDocumentView::~VKDocumentView()
{
    if (m_longPressRecognizer)
        m_longPressRecognizer->setDelegate({});
}

void VKDocumentView::setDataSource(VKDocumentViewDataSource* dataSource)
{
    m_dataSource = dataSource;
    reloadData();
}

void VKDocumentView::reloadData()
{
    auto source = dataSource();
    m_numPages = source ? source->numberOfPagesInDocumentView(*this) : 0;
    if (m_overlayView && source)
        m_overlayView->setMaxDepth(source->maxDepthForDocumentView(*this));
}

void VKDocumentView::logAbstract(const char* method) const
{
    std::string name = std::string("-[VKDocumentView ") + method + "]";
    core::log("{} Please implement {}", name, name);
}

void VKDocumentView::scrollToNormalisedOffset(gfx::Point, bool, bool) { }

void VKDocumentView::zoomOutAroundPoint(gfx::Point, bool)
{
    logAbstract("zoomOutAroundPoint:animated:");
}

void VKDocumentView::zoomToScaledRect(const gfx::Rect&, bool)
{
    logAbstract("zoomToScaledRect:animated:");
}

void VKDocumentView::scrollToPageAtIndex(size_t, const gfx::Rect&, bool)
{
    logAbstract("scrollToPageAtIndex:anchorRect:animated:");
}

bool VKDocumentView::handleSingleTapRecognized(ui::GestureRecognizer&)
{
    return false;
}

gfx::Rect VKDocumentView::frameForPageAtIndex(size_t index) const
{
    auto source = dataSource();
    if (!source || index >= m_numPages)
        return gfx::Rect(0, 0, 0, 0);
    gfx::Size size = source->documentViewSizeForPageAtIndex(const_cast<VKDocumentView&>(*this), index);
    if (!(size.width > 0) || !std::isfinite(size.width) || !(size.height > 0) || !std::isfinite(size.height))
        return gfx::Rect(0, 0, 0, 0);
    float scale = VKDocumentViewNaturalWidth / size.width;
    // A hostile box (a sliver of a page a mile high) may overflow.
    if (!std::isfinite(size.height * scale))
        return gfx::Rect(0, 0, 0, 0);
    return gfx::Rect(0, 0, VKDocumentViewNaturalWidth, size.height * scale);
}

std::shared_ptr<ui::View> VKDocumentView::viewForPageAtIndex(size_t index)
{
    if (auto it = m_cachedPageViews.find(index); it != m_cachedPageViews.end())
        return it->second;
    auto source = dataSource();
    if (!source || index >= m_numPages)
        return nullptr;
    auto view = source->documentViewViewForPageAtIndex(*this, index);
    if (!view)
        return nullptr;
    view->setFrame(frameForPageAtIndex(index));
    m_cachedPageViews[index] = view;
    return view;
}

std::vector<size_t> VKDocumentView::cachedPageIndexes() const
{
    std::vector<size_t> indexes;
    for (auto& [index, view] : m_cachedPageViews)
        indexes.push_back(index);
    return indexes;
}

std::vector<std::shared_ptr<ui::View>> VKDocumentView::cachedPageViews() const
{
    std::vector<std::shared_ptr<ui::View>> views;
    for (auto& [index, view] : m_cachedPageViews)
        views.push_back(view);
    return views;
}

void VKDocumentView::flushCache()
{
    for (auto it = m_cachedPageViews.begin(); it != m_cachedPageViews.end();) {
        if (shouldFlushCachedPageAtIndex(it->first)) {
            auto view = it->second;
            willFlushCachedPageView(*view);
            it = m_cachedPageViews.erase(it);
        } else {
            ++it;
        }
    }
}

void VKDocumentView::trimCache(core::Range visible)
{
    if (visible.length == 0 || visible.location == core::kNotFound)
        return;
    size_t keep = 2 * (visible.length + 2);
    if (m_cachedPageViews.size() <= keep)
        return;
    size_t first = visible.location >= 2 ? visible.location - 2 : 0;
    size_t last = visible.location + visible.length + 1;
    auto distance = [&](size_t index) { return index < first ? first - index : index > last ? index - last : 0; };
    std::vector<size_t> candidates;
    for (auto& [index, view] : m_cachedPageViews)
        if (distance(index) > 0 && shouldFlushCachedPageAtIndex(index))
            candidates.push_back(index);
    std::sort(candidates.begin(), candidates.end(), [&](size_t a, size_t b) { return distance(a) > distance(b); });
    for (size_t index : candidates) {
        auto it = m_cachedPageViews.find(index);
        auto view = it->second;
        willFlushCachedPageView(*view);
        m_cachedPageViews.erase(it);
    }
}

void VKDocumentView::updateCurrentIndexRange(core::Range range)
{
    m_currentIndexRange = range;
    core::NotificationCenter::defaultCenter().post(VKDocumentViewPageRangeDidChangeNotification, sharedAs<core::Object>());
}

void VKDocumentView::setToolbarInsets(const gfx::EdgeInsets& insets)
{
    m_toolbarInsets = insets;
    if (m_scrollTrackView)
        m_scrollTrackView->setShowsPlaceholder(insets != gfx::EdgeInsets {});
    performLayout();
}

void VKDocumentView::setToolbarContentInsets(const gfx::EdgeInsets& insets)
{
    m_toolbarContentInsets = insets;
}

void VKDocumentView::setThumbnailsEnabled(bool enabled)
{
    if (!enabled) {
        if (m_overlayView)
            m_overlayView->removeFromSuperview();
        if (m_scrollTrackView)
            m_scrollTrackView->removeFromSuperview();
        if (m_longPressRecognizer) {
            m_longPressRecognizer->setDelegate({});
            removeGestureRecognizer(m_longPressRecognizer.get());
        }
        m_overlayView.reset();
        m_scrollTrackView.reset();
        m_longPressRecognizer.reset();
        return;
    }
    if (m_overlayView)
        return;
    m_overlayView = VKOverlayView::create(gfx::Rect(0, 0, 0, 0));
    m_overlayView->setHidden(true);
    addSubview(m_overlayView);
    m_scrollTrackView = VKScrollTrackView::create(gfx::Rect(0, 0, 0, 0));
    m_scrollTrackView->setActiveColor(gfx::Color::white(1, 0.4f));
    m_scrollTrackView->setPlaceholderColor(gfx::Color::white(0, 0.3f));
    m_scrollTrackView->setShowsPlaceholder(m_toolbarInsets != gfx::EdgeInsets {});
    addSubview(m_scrollTrackView);
    m_longPressRecognizer = std::make_shared<ui::LongPressGestureRecognizer>();
    m_longPressRecognizer->setMinimumPressDuration(LongPressDuration);
    m_longPressRecognizer->setDelegate(std::static_pointer_cast<ui::GestureRecognizerDelegate>(sharedAs<VKDocumentView>()));
    m_longPressRecognizer->addTarget(sharedAs<core::Object>(), "longPressRecognized", [this](ui::GestureRecognizer& recognizer) {
        longPressRecognized(recognizer);
    });
    addGestureRecognizer(m_longPressRecognizer);
    if (auto source = dataSource())
        m_overlayView->setMaxDepth(source->maxDepthForDocumentView(*this));
}

void VKDocumentView::setFrame(const gfx::Rect& frame)
{
    gfx::Rect old = this->frame();
    ui::View::setFrame(frame);
    if (old != frame)
        performLayout();
}

std::string VKDocumentView::debugText() const
{
    if (m_currentIndexRange.location == core::kNotFound)
        return fmt::format("pages none zoom {:.2f}", contentZoom());
    size_t first = m_currentIndexRange.location;
    size_t last = first + std::max<size_t>(m_currentIndexRange.length, 1) - 1;
    return fmt::format("pages {}-{} zoom {:.2f} offset {:.3f}", first + 1, last + 1, contentZoom(), normalisedOffset().y);
}

void VKDocumentView::layoutSubviews()
{
    ui::View::layoutSubviews();
    performLayout();
}

void VKDocumentView::performLayout()
{
    if (!m_overlayView || !m_scrollTrackView)
        return;
    bringSubviewToFront(m_overlayView.get());
    bringSubviewToFront(m_scrollTrackView.get());
    gfx::Rect b = bounds();
    gfx::Rect r = b.insetBy(m_toolbarInsets);
    int edge = m_scrollTrackView->edge();
    auto [strip, rest] = VKRectDivide(r, VKHitRegionWidth + 5.0f, edge);
    auto [outer, track] = VKRectDivide(strip, 5.0f, edge);
    m_scrollTrackView->setFrame(track);
    m_overlayView->setFrame(b);
    m_overlayView->setToolbarInsets(VKEdgeInsetsFromRectToRect(b, rest));
}

bool VKDocumentView::shouldBegin(ui::GestureRecognizer& recognizer)
{
    if (&recognizer != m_longPressRecognizer.get() || !m_scrollTrackView)
        return true;
    return m_scrollTrackView->showsPlaceholder() && m_scrollTrackView->frame().contains(recognizer.locationInView(this));
}

size_t VKDocumentView::trackIndex(ui::GestureRecognizer& recognizer) const
{
    float value = m_scrollTrackView->valueForPoint(recognizer.locationInView(m_scrollTrackView.get()));
    size_t index = size_t(std::floor(double(value) * double(m_numPages)));
    return std::min(index, m_numPages - 1);
}

bool VKDocumentView::isLongPressGestureInActiveRegion(ui::GestureRecognizer& recognizer) const
{
    int edge = m_scrollTrackView->edge();
    gfx::Rect b = bounds();
    float depth = (edge == 0 || edge == 2 ? b.width() : b.height()) * 0.25f;
    gfx::Rect region = VKRectDivide(b, depth, edge).first;
    gfx::Point p = recognizer.locationInView(this);
    return p.x >= region.minX() && p.x <= region.maxX() && p.y >= region.minY() && p.y <= region.maxY();
}

void VKDocumentView::longPressRecognized(ui::GestureRecognizer& recognizer)
{
    // Without pages there is nothing to scrub to.
    if (!m_scrollTrackView || !m_overlayView || m_numPages == 0)
        return;
    size_t index = trackIndex(recognizer);
    switch (recognizer.state()) {
    case ui::GestureRecognizer::State::Began:
        m_overlayPageIndex = index;
        populateOverlay();
        m_overlayView->setHidden(false);
        m_scrollTrackView->setActive(true);
        break;
    case ui::GestureRecognizer::State::Changed:
        if (isLongPressGestureInActiveRegion(recognizer)) {
            m_overlayPageIndex = index;
            populateOverlay();
        } else {
            m_overlayView->setContentHidden(true);
        }
        break;
    case ui::GestureRecognizer::State::Ended: {
        m_overlayView->setHidden(true);
        m_scrollTrackView->setActive(false);
        if (!isLongPressGestureInActiveRegion(recognizer))
            break;
        gfx::Point p = recognizer.locationInView(m_scrollTrackView.get());
        gfx::Rect b = m_scrollTrackView->bounds();
        bool beyond = false;
        switch (m_scrollTrackView->edge()) {
        case 0: beyond = p.x < b.minX(); break;
        case 1: beyond = p.y < b.minY() + 4.0f; break;
        case 2: beyond = p.x > b.maxX(); break;
        default: beyond = p.y > b.maxY() - 4.0f; break;
        }
        if (!beyond)
            scrollToPageAtIndex(m_overlayPageIndex, gfx::Rect(0, 0, 0, 0), true);
        break;
    }
    case ui::GestureRecognizer::State::Cancelled:
        m_overlayView->setHidden(true);
        m_scrollTrackView->setActive(false);
        break;
    default:
        break;
    }
}

void VKDocumentView::populateOverlay()
{
    auto source = dataSource();
    if (!m_overlayView || !source || m_overlayPageIndex >= m_numPages)
        return;
    size_t k = m_overlayPageIndex;
    m_overlayView->setContentHidden(false);
    m_overlayView->setUpperText(pageOfPages(k + 1, m_numPages));
    m_overlayView->setLowerText(source->documentViewTitleForPageAtIndex(*this, k));
    m_overlayView->setImagePlaceholderSize(source->documentViewThumbnailSizeForIndex(*this, k));
    m_overlayView->setImage(source->documentViewThumbnailImageForIndex(*this, k, VKOverlayView::imageLength()));
}

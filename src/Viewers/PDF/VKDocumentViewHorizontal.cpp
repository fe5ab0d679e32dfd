#include "Viewers/PDF/VKDocumentViewHorizontal.h"

#include "Kit/ColorAdditions.h"
#include "Kit/ScrollViewAdditions.h"
#include "Kit/VKGeometry.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/StandardColors.h"
#include "Viewers/PDF/VKCenteringScrollView.h"
#include "Viewers/PDF/VKDocumentViewDataSource.h"
#include "Viewers/PDF/VKDocumentViewDelegate.h"
#include "Viewers/PDF/VKPagingView.h"
#include "Viewers/PDF/VKScrollPagingViewCell.h"
#include "Viewers/PDF/VKScrollTrackView.h"

#include <algorithm>
#include <cmath>

namespace {

float unit(float value)
{
    return std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f;
}

} // namespace

std::shared_ptr<VKDocumentViewHorizontal> VKDocumentViewHorizontal::create(const gfx::Rect& frame)
{
    std::shared_ptr<VKDocumentViewHorizontal> view(new VKDocumentViewHorizontal());
    view->setUp(frame);
    return view;
}

void VKDocumentViewHorizontal::setUp(const gfx::Rect& frame)
{
    setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    setAutoresizesSubviews(true);
    VKDocumentView::setFrame(frame);
    setBackgroundColor(vkScrollViewTexturedBackgroundColor());
    m_pagingView = VKPagingView::create(bounds());
    m_pagingView->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    m_pagingView->setBackgroundColor(ui::StandardColors::clear());
    m_pagingView->setDataSource(this);
    m_pagingView->setPagingDelegate(this);
    addSubview(m_pagingView);
}

VKDocumentViewHorizontal::~VKDocumentViewHorizontal()
{
    // The pager may outlive its layout: from here on it asks nothing.
    if (m_pagingView)
        m_pagingView->detach();
    m_currentPageCell.reset();
}

ui::ScrollView* VKDocumentViewHorizontal::scrollView() const
{
    return m_pagingView.get();
}

void VKDocumentViewHorizontal::reloadData()
{
    VKDocumentView::reloadData();
    if (m_pagingView)
        m_pagingView->reloadData();
}

void VKDocumentViewHorizontal::flushCache()
{
    VKDocumentView::flushCache();
    if (m_pagingView)
        m_pagingView->reloadData();
}

void VKDocumentViewHorizontal::setThumbnailsEnabled(bool enabled)
{
    VKDocumentView::setThumbnailsEnabled(enabled);
    if (enabled && scrollTrackView())
        scrollTrackView()->setEdge(VKScrollTrackView::Bottom);
    performLayout();
}

void VKDocumentViewHorizontal::setToolbarContentInsets(const gfx::EdgeInsets& insets)
{
    VKDocumentView::setToolbarContentInsets(insets);
    m_pagingView->setToolbarContentInsets(insets);
}

core::Range VKDocumentViewHorizontal::pagesOfCell(size_t cell) const
{
    return { cell, 1 };
}

std::shared_ptr<VKScrollPagingViewCell> VKDocumentViewHorizontal::currentScrollCell(size_t index) const
{
    return std::dynamic_pointer_cast<VKScrollPagingViewCell>(m_pagingView->currentCellForPageAtIndex(index));
}

gfx::Size VKDocumentViewHorizontal::naturalPageSize(size_t page) const
{
    auto source = dataSource();
    if (!source)
        return {};
    gfx::Size size = source->documentViewSizeForPageAtIndex(const_cast<VKDocumentViewHorizontal&>(*this), page);
    if (!(size.width > 0) || !(size.height > 0) || !std::isfinite(size.width) || !std::isfinite(size.height))
        return {};
    float height = size.height * VKDocumentViewNaturalWidth / size.width;
    if (!std::isfinite(height) || !(height > 0))
        return {};
    return { VKDocumentViewNaturalWidth, height };
}

float VKDocumentViewHorizontal::contentZoom() const
{
    auto cell = currentPageCell();
    return cell ? cell->scrollView().zoomScale() : 0;
}

void VKDocumentViewHorizontal::setContentZoom(float zoom)
{
    if (auto cell = currentPageCell(); cell && zoom > 0 && std::isfinite(zoom))
        cell->scrollView().setZoomScale(zoom);
}

// Pager data source and delegate

size_t VKDocumentViewHorizontal::numberOfPagesInPagingView(VKPagingView&)
{
    return numPages();
}

std::shared_ptr<VKScrollPagingViewCell> VKDocumentViewHorizontal::cellForPagingView(VKPagingView& pagingView)
{
    if (auto cell = std::dynamic_pointer_cast<VKScrollPagingViewCell>(pagingView.dequeueReusableCellWithIdentifier({})))
        return cell;
    auto cell = VKScrollPagingViewCell::create();
    cell->scrollView().setDelegate(std::static_pointer_cast<ui::ScrollViewDelegate>(sharedAs<VKDocumentViewHorizontal>()));
    return cell;
}

std::shared_ptr<VKPagingViewCell> VKDocumentViewHorizontal::singlePageCell(VKPagingView& pagingView, size_t page)
{
    auto cell = cellForPagingView(pagingView);
    auto& scrollView = cell->scrollView();
    scrollView.setContentView(viewForPageAtIndex(page));
    gfx::Size natural = naturalPageSize(page);
    if (natural.width != 0 || natural.height != 0)
        scrollView.setNaturalContentSize(natural);
    return cell;
}

std::shared_ptr<VKPagingViewCell> VKDocumentViewHorizontal::pagingViewCellForPageAtIndex(VKPagingView& pagingView, size_t index)
{
    return singlePageCell(pagingView, index);
}

void VKDocumentViewHorizontal::pagingViewWillAddCell(VKPagingView&, VKPagingViewCell& cell, size_t index)
{
    auto* scrollCell = dynamic_cast<VKScrollPagingViewCell*>(&cell);
    auto delegate = this->delegate();
    if (!scrollCell || !delegate || !scrollCell->scrollView().contentView())
        return;
    delegate->documentViewWillAddPageView(*this, *scrollCell->scrollView().contentView(), pagesOfCell(index).location);
}

void VKDocumentViewHorizontal::pagingViewDidSettleOnPageAtIndex(VKPagingView& pagingView, size_t index)
{
    if (index != m_currentPageCellIndex) {
        if (auto left = currentScrollCell(m_currentPageCellIndex))
            vkSetNormalizedZoomScale(left->scrollView(), 0);
    }
    m_currentPageCellIndex = index;
    m_currentPageCell = std::dynamic_pointer_cast<VKScrollPagingViewCell>(pagingView.cellForPageAtIndex(index));
    trimPageCache();
}

void VKDocumentViewHorizontal::pagingViewPageAtIndexDidBecomeForemost(VKPagingView&, size_t index)
{
    updateCurrentIndexRange(pagesOfCell(index));
    trimPageCache();
}

void VKDocumentViewHorizontal::willBeginDragging(ui::ScrollView& view)
{
    if (auto delegate = this->delegate())
        delegate->documentViewScrollViewWillBeginDragging(*this, view);
}

// Cache

void VKDocumentViewHorizontal::trimPageCache()
{
    m_trimming = true;
    trimCache(currentIndexRange());
    m_trimming = false;
}

bool VKDocumentViewHorizontal::shouldFlushCachedPageAtIndex(size_t index) const
{
    auto within = [index](core::Range r) { return r.location != core::kNotFound && index >= r.location && index < r.end(); };
    // A view in a cell that shows would come back as a second view.
    if (m_trimming && m_pagingView) {
        for (auto& [cell, view] : m_pagingView->currentCells())
            if (within(pagesOfCell(cell)))
                return false;
    }
    return !within(pagesOfCell(m_currentPageCellIndex));
}

// Taps and zooming

bool VKDocumentViewHorizontal::handleSingleTapRecognized(ui::GestureRecognizer& recognizer)
{
    return handleSingleTapAtPoint(recognizer.locationInView(this));
}

bool VKDocumentViewHorizontal::handleSingleTapAtPoint(gfx::Point p)
{
    if (!pagingEnabled())
        return false;
    const float T = VKDocumentViewTapRegionWidth;
    size_t cells = m_pagingView->numberOfPages();
    size_t current = m_currentPageCellIndex;
    if (p.x < T) {
        if (current == 0) {
            if (auto delegate = this->delegate())
                delegate->documentViewDidIgnorePaging(*this, 1);
        } else {
            m_pagingView->scrollToPageAtIndex(current - 1, nullptr, true);
        }
        return true;
    }
    if (bounds().width() - p.x < T) {
        if (current + 1 >= cells) {
            if (auto delegate = this->delegate())
                delegate->documentViewDidIgnorePaging(*this, -1);
        } else {
            m_pagingView->scrollToPageAtIndex(current + 1, nullptr, true);
        }
        return true;
    }
    return false;
}

void VKDocumentViewHorizontal::doubleTapRecognized(ui::GestureRecognizer& recognizer)
{
    if (auto cell = currentPageCell())
        cell->doubleTapRecognized(recognizer);
}

void VKDocumentViewHorizontal::zoomOutAroundPoint(gfx::Point, bool animated)
{
    if (auto cell = currentPageCell())
        cell->scrollView().setZoomScale(cell->scrollView().minimumZoomScale(), animated);
}

void VKDocumentViewHorizontal::zoomToScaledRect(const gfx::Rect& rect, bool animated)
{
    auto cell = currentPageCell();
    if (!cell)
        return;
    auto& scrollView = cell->scrollView();
    gfx::Rect r = convertRect(rect, &scrollView);
    scrollView.zoomToRect(VKRectScale(r, 1 / scrollView.zoomScale()), animated);
}

// Positions

void VKDocumentViewHorizontal::scrollToPageAtIndex(size_t index, const gfx::Rect& anchor, bool animated)
{
    if (index >= numPages()) {
        core::log("VKDocumentViewHorizontal: no page {} of {} to scroll to", index, numPages());
        return;
    }
    scrollToCellAtIndex(cellOfPage(index), anchor, animated);
}

void VKDocumentViewHorizontal::scrollToCellAtIndex(size_t index, const gfx::Rect& anchor, bool animated)
{
    if (index >= m_pagingView->numberOfPages())
        return;
    auto cell = std::dynamic_pointer_cast<VKScrollPagingViewCell>(m_pagingView->cellForPageAtIndex(index));
    if (cell && !anchor.isEmpty() && cell->scrollView().contentView()) {
        auto& scrollView = cell->scrollView();
        float zoom = scrollView.zoomScale();
        gfx::Rect target = VKRectScale(VKRectInRectFromAnchorRect(anchor, scrollView.contentView()->bounds()), zoom);
        vkScrollToEncloseRect(scrollView, target, VKDocumentViewNaturalWidth * VKDocumentViewBorderScale * zoom, animated);
    }
    m_currentPageCellIndex = index;
    m_currentPageCell = cell;
    m_pagingView->scrollToPageAtIndex(index, cell, animated);
}

gfx::Point VKDocumentViewHorizontal::singleNormalisedOffset(size_t page) const
{
    auto cell = currentPageCell();
    if (!cell)
        return { 0, numPages() ? float(double(page) / double(numPages())) : 0.0f };
    auto& scrollView = cell->scrollView();
    gfx::Point o = scrollView.contentOffset();
    gfx::Size size = scrollView.contentSize();
    float x = size.width != 0 ? unit(o.x / size.width) : 0;
    float fy = size.height != 0 ? unit(o.y / size.height) : 0;
    if (numPages() == 0)
        return { x, 0 };
    return { x, float((double(fy) + double(page)) / double(numPages())) };
}

gfx::Point VKDocumentViewHorizontal::normalisedOffset() const
{
    core::Range pages = pagesOfCell(m_currentPageCellIndex);
    auto cell = currentPageCell();
    if (pages.length < 2 || !cell)
        return singleNormalisedOffset(pages.location == core::kNotFound ? 0 : pages.location);
    // A spread: x across both pages, y on the page the point lies on.
    auto& scrollView = cell->scrollView();
    gfx::Point o = scrollView.contentOffset();
    gfx::Size size = scrollView.contentSize();
    float x = size.width != 0 ? 2 * unit(o.x / size.width) : 0;
    double y = (size.height != 0 ? unit(o.y / size.height) : 0) + double(pages.location);
    if (x >= 1) {
        x -= 1;
        y += 1;
    }
    return { x, numPages() ? float(y / double(numPages())) : 0.0f };
}

void VKDocumentViewHorizontal::scrollToNormalisedOffset(gfx::Point offset, bool animated, bool displayScrollIndicators)
{
    size_t n = numPages();
    if (n == 0 || m_pagingView->numberOfPages() == 0)
        return;
    double t = double(unit(offset.y)) * double(n);
    // Stored offsets are single precision: a page's top may come back a
    // hair below its index.
    double tolerance = std::max(1e-4, double(n) * 2e-7);
    size_t page = std::min(size_t(std::floor(t + tolerance)), n - 1);
    float fraction = unit(float(t - double(page)));
    size_t cellIndex = cellOfPage(page);
    core::Range pages = pagesOfCell(cellIndex);
    float x = unit(offset.x);
    if (pages.length == 2)
        x = x * 0.5f + (page == pages.location ? 0.0f : 0.5f);
    scrollToPageAtIndex(page, gfx::Rect(0, 0, 0, 0), animated);
    auto cell = currentScrollCell(cellIndex);
    if (!cell)
        return;
    auto& scrollView = cell->scrollView();
    gfx::Size size = scrollView.contentSize();
    gfx::Point target = VKCroppedContentOffset({ x * size.width, fraction * size.height }, size,
        scrollView.bounds().size, scrollView.contentInset());
    scrollView.setContentOffset(target, animated);
    if (displayScrollIndicators)
        scrollView.flashScrollIndicators();
}

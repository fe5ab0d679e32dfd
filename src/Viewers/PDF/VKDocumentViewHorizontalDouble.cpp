#include "Viewers/PDF/VKDocumentViewHorizontalDouble.h"

#include "Kit/VKGeometry.h"
#include "Platform/Core/Log.h"
#include "Viewers/PDF/VKCenteringScrollView.h"
#include "Viewers/PDF/VKDocumentViewDataSource.h"
#include "Viewers/PDF/VKDocumentViewDelegate.h"
#include "Viewers/PDF/VKDoublePageView.h"
#include "Viewers/PDF/VKPagingView.h"
#include "Viewers/PDF/VKScrollPagingViewCell.h"

#include <cmath>

std::shared_ptr<VKDocumentViewHorizontalDouble> VKDocumentViewHorizontalDouble::create(const gfx::Rect& frame)
{
    std::shared_ptr<VKDocumentViewHorizontalDouble> view(new VKDocumentViewHorizontalDouble());
    view->setUp(frame);
    return view;
}

void VKDocumentViewHorizontalDouble::setSingleFirstPage(bool single)
{
    if (single == m_singleFirstPage)
        return;
    size_t page = pagesOfCell(m_currentPageCellIndex).location;
    m_singleFirstPage = single;
    std::vector<size_t> cells;
    for (auto& [index, cell] : m_pagingView->currentCells())
        cells.push_back(index);
    for (size_t index : cells)
        m_pagingView->removeCellForPageAtIndexNumber(index);
    m_currentPageCell.reset();
    m_pagingView->reloadData();
    if (page != core::kNotFound && page < numPages())
        scrollToPageAtIndex(page, gfx::Rect(0, 0, 0, 0), false);
}

size_t VKDocumentViewHorizontalDouble::cellIndexForPageIndex(size_t page) const
{
    return (page + (m_singleFirstPage ? 1 : 0)) / 2;
}

core::Range VKDocumentViewHorizontalDouble::pageIndexRangeForCellIndex(size_t cell) const
{
    if (m_singleFirstPage && cell == 0)
        return { 0, 1 };
    size_t first = 2 * cell - (m_singleFirstPage ? 1 : 0);
    return { first, first + 1 < numPages() ? size_t(2) : size_t(1) };
}

size_t VKDocumentViewHorizontalDouble::numberOfPagesInPagingView(VKPagingView&)
{
    return numPages() == 0 ? 0 : cellIndexForPageIndex(numPages() + 1);
}

std::shared_ptr<VKPagingViewCell> VKDocumentViewHorizontalDouble::pagingViewCellForPageAtIndex(VKPagingView& pagingView,
    size_t index)
{
    core::Range pages = pageIndexRangeForCellIndex(index);
    if (pages.length < 2)
        return singlePageCell(pagingView, pages.location);
    auto cell = cellForPagingView(pagingView);
    auto spread = VKDoublePageView::create(gfx::Rect(0, 0, 0, 0));
    spread->setLeftView(viewForPageAtIndex(pages.location));
    spread->setRightView(viewForPageAtIndex(pages.location + 1));
    if (auto source = dataSource()) {
        spread->setLeftNaturalSize(source->documentViewSizeForPageAtIndex(*this, pages.location));
        spread->setRightNaturalSize(source->documentViewSizeForPageAtIndex(*this, pages.location + 1));
    }
    auto& scrollView = cell->scrollView();
    scrollView.setContentView(spread);
    gfx::Size natural = spread->naturalSize();
    const float width = 2 * VKDocumentViewNaturalWidth;
    if (natural.width > 0 && natural.height > 0)
        scrollView.setNaturalContentSize({ width, natural.height * width / natural.width });
    return cell;
}

void VKDocumentViewHorizontalDouble::pagingViewWillAddCell(VKPagingView& pagingView, VKPagingViewCell& cell, size_t index)
{
    auto* scrollCell = dynamic_cast<VKScrollPagingViewCell*>(&cell);
    auto* spread = scrollCell ? dynamic_cast<VKDoublePageView*>(scrollCell->scrollView().contentView().get()) : nullptr;
    if (!spread) {
        VKDocumentViewHorizontal::pagingViewWillAddCell(pagingView, cell, index);
        return;
    }
    auto delegate = this->delegate();
    if (!delegate)
        return;
    size_t first = pageIndexRangeForCellIndex(index).location;
    if (spread->leftView())
        delegate->documentViewWillAddPageView(*this, *spread->leftView(), first);
    if (spread->rightView())
        delegate->documentViewWillAddPageView(*this, *spread->rightView(), first + 1);
}

void VKDocumentViewHorizontalDouble::scrollToPageAtIndex(size_t index, const gfx::Rect& anchor, bool animated)
{
    if (index >= numPages()) {
        core::log("VKDocumentViewHorizontalDouble: no page {} of {} to scroll to", index, numPages());
        return;
    }
    size_t cellIndex = cellIndexForPageIndex(index);
    core::Range pages = pageIndexRangeForCellIndex(cellIndex);
    gfx::Rect spreadAnchor = anchor;
    if (pages.length == 2 && !anchor.isEmpty()) {
        auto cell = std::dynamic_pointer_cast<VKScrollPagingViewCell>(m_pagingView->cellForPageAtIndex(cellIndex));
        auto* spread = cell ? dynamic_cast<VKDoublePageView*>(cell->scrollView().contentView().get()) : nullptr;
        ui::View* page = spread ? (index == pages.location ? spread->leftView() : spread->rightView()).get() : nullptr;
        if (spread && page) {
            spread->layoutIfNeeded();
            spreadAnchor = VKAnchorRectFromRectInRect(VKRectInRectFromAnchorRect(anchor, page->frame()), spread->bounds());
        } else {
            spreadAnchor = gfx::Rect(0, 0, 0, 0);
        }
    }
    scrollToCellAtIndex(cellIndex, spreadAnchor, animated);
}

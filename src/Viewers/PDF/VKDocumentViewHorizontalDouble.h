#pragma once

// The double-page horizontal layout: facing pages side by side in one
// cell, the first page alone or not. A cell c shows pages from 2c − f (f is
// 1 when the first page stands alone), two of them while both exist; the
// pager, the current index and edge paging count cells, while flushing and
// anchors count pages. A document without pages has no cells.

#include "Viewers/PDF/VKDocumentViewHorizontal.h"

class VKDocumentViewHorizontalDouble : public VKDocumentViewHorizontal {
public:
    static std::shared_ptr<VKDocumentViewHorizontalDouble> create(const gfx::Rect& frame);

    bool singleFirstPage() const { return m_singleFirstPage; }
    // Rebuilds the cells, keeping the first page of the current cell in view.
    void setSingleFirstPage(bool single);
    size_t cellIndexForPageIndex(size_t page) const;
    core::Range pageIndexRangeForCellIndex(size_t cell) const;

    // The anchor is moved from page space into the spread's.
    void scrollToPageAtIndex(size_t index, const gfx::Rect& anchor, bool animated) override;

    size_t numberOfPagesInPagingView(VKPagingView& pagingView) override;
    std::shared_ptr<VKPagingViewCell> pagingViewCellForPageAtIndex(VKPagingView& pagingView, size_t index) override;
    // The left page's view, then the right one's.
    void pagingViewWillAddCell(VKPagingView& pagingView, VKPagingViewCell& cell, size_t index) override;

protected:
    VKDocumentViewHorizontalDouble() = default;
    core::Range pagesOfCell(size_t cell) const override { return pageIndexRangeForCellIndex(cell); }
    size_t cellOfPage(size_t page) const override { return cellIndexForPageIndex(page); }

private:
    bool m_singleFirstPage = true;
};

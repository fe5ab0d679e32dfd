#pragma once

// The single-page horizontal layout: a strip of cells on a recycling pager,
// one page per screen, each page zoomable and centred in its cell's
// scroll view and turned by a swipe or a tap near the left or right edge.
// The pager, the current index and edge paging count cells; in this layout
// a cell is a page, in the double layout (a subclass) a spread.

#include "Platform/UI/ScrollView.h"
#include "Viewers/PDF/VKDocumentView.h"
#include "Viewers/PDF/VKPagingViewDataSource.h"
#include "Viewers/PDF/VKPagingViewDelegate.h"

class VKPagingView;
class VKScrollPagingViewCell;

class VKDocumentViewHorizontal : public VKDocumentView,
                                 public VKPagingViewDataSource,
                                 public VKPagingViewDelegate,
                                 public ui::ScrollViewDelegate {
public:
    static std::shared_ptr<VKDocumentViewHorizontal> create(const gfx::Rect& frame);
    ~VKDocumentViewHorizontal() override;

    VKPagingView& pagingView() const { return *m_pagingView; }
    std::shared_ptr<VKScrollPagingViewCell> currentPageCell() const { return m_currentPageCell.lock(); }
    size_t currentPageCellIndex() const { return m_currentPageCellIndex; }

    void reloadData() override;
    void flushCache() override;
    void setThumbnailsEnabled(bool enabled) override;
    void setToolbarContentInsets(const gfx::EdgeInsets& insets) override;
    ui::ScrollView* scrollView() const override;
    float contentZoom() const override;
    void setContentZoom(float zoom) override;
    gfx::Point normalisedOffset() const override;
    // Page and fraction clamped to the document (no number counts as 0).
    void scrollToNormalisedOffset(gfx::Point offset, bool animated, bool displayScrollIndicators) override;
    bool handleSingleTapRecognized(ui::GestureRecognizer& recognizer) override;
    // Edge paging at a point of this view; whether the tap was used.
    bool handleSingleTapAtPoint(gfx::Point point);
    void doubleTapRecognized(ui::GestureRecognizer& recognizer) override;
    void zoomOutAroundPoint(gfx::Point point, bool animated) override;
    void zoomToScaledRect(const gfx::Rect& rect, bool animated) override;
    // A page past the last is logged and ignored.
    void scrollToPageAtIndex(size_t index, const gfx::Rect& anchor, bool animated) override;
    bool shouldFlushCachedPageAtIndex(size_t index) const override;

    // VKPagingViewDataSource
    size_t numberOfPagesInPagingView(VKPagingView& pagingView) override;
    std::shared_ptr<VKPagingViewCell> pagingViewCellForPageAtIndex(VKPagingView& pagingView, size_t index) override;
    // VKPagingViewDelegate
    void pagingViewWillAddCell(VKPagingView& pagingView, VKPagingViewCell& cell, size_t index) override;
    bool respondsToCellWillAppear() const override { return true; }
    void pagingViewDidSettleOnPageAtIndex(VKPagingView& pagingView, size_t index) override;
    void pagingViewPageAtIndexDidBecomeForemost(VKPagingView& pagingView, size_t index) override;
    // ui::ScrollViewDelegate of every cell's scroll view.
    void willBeginDragging(ui::ScrollView& view) override;

    // A reusable cell of the pager, else a new one whose scroll view this
    // layout delegates.
    std::shared_ptr<VKScrollPagingViewCell> cellForPagingView(VKPagingView& pagingView);

protected:
    VKDocumentViewHorizontal() = default;
    void setUp(const gfx::Rect& frame);
    // The one-page cell of page `page` (a cell index of the pager: `cell`).
    std::shared_ptr<VKPagingViewCell> singlePageCell(VKPagingView& pagingView, size_t page);
    // The pages a cell shows, and the cell of a page.
    virtual core::Range pagesOfCell(size_t cell) const;
    virtual size_t cellOfPage(size_t page) const { return page; }
    // The one-page reading of a normalised offset for a page.
    gfx::Point singleNormalisedOffset(size_t page) const;
    // Scrolls to page `page` of cell `cell` at a fraction of the content.
    void scrollCellToOffset(size_t page, size_t cell, gfx::Point fractions, bool animated, bool indicators);
    // Scrolls the pager to cell `cell`, the anchor given in the cell's
    // content view's unit space.
    void scrollToCellAtIndex(size_t cell, const gfx::Rect& anchor, bool animated);
    // Drops cached views beyond the near ones, never one in a current cell.
    void trimPageCache();
    std::shared_ptr<VKScrollPagingViewCell> currentScrollCell(size_t index) const;
    // The page's natural size at width 320 (zero for a size not usable).
    gfx::Size naturalPageSize(size_t page) const;

    std::shared_ptr<VKPagingView> m_pagingView;
    std::weak_ptr<VKScrollPagingViewCell> m_currentPageCell;
    size_t m_currentPageCellIndex = 0;
    bool m_trimming = false;
};

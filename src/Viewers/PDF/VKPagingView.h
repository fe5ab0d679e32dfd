#pragma once

// A horizontal pager that shows one page per bounds width and recycles its
// cells as a table does: the data source hands out cells by page index, the
// pager keeps those of the visible pages and their next neighbours and
// pools the rest by reuse identifier. Slot i spans i × W to (i + 1) × W of
// the content, W being the pager's own bounds width; a cell fills its slot
// less `inset` on the left and on the right, so that neighbouring cells
// show a gap of twice the inset while the pager, as wide as a cell plus
// both insets, does not clip them. Main thread only.

#include "Platform/Core/Range.h"
#include "Platform/UI/ScrollView.h"

namespace core {
class Timer;
}

#include <map>
#include <memory>
#include <string>
#include <vector>

class VKPagingViewCell;
class VKPagingViewDataSource;
class VKPagingViewDelegate;

class VKPagingView : public ui::ScrollView {
public:
    static constexpr float DefaultInset = 10.0f;

    // The pager spans the cell frame widened by `inset` on either side.
    static std::shared_ptr<VKPagingView> createWithCellFrame(const gfx::Rect& cellFrame, float inset);
    static std::shared_ptr<VKPagingView> create(const gfx::Rect& cellFrame);
    ~VKPagingView() override;

    // The source and the delegate are the pager's owner, which lets go of
    // them (detach) before it goes.
    VKPagingViewDataSource* dataSource() const { return m_dataSource; }
    // Each stores and reloads.
    void setDataSource(VKPagingViewDataSource* dataSource);
    VKPagingViewDelegate* pagingDelegate() const { return m_pagingDelegate; }
    void setPagingDelegate(VKPagingViewDelegate* delegate);
    // Forgets the source and the delegate, asking nothing again.
    void detach()
    {
        m_dataSource = nullptr;
        m_pagingDelegate = nullptr;
    }

    size_t numberOfPages() const { return m_numberOfPages; }
    float inset() const { return m_inset; }
    void reloadData();
    // A pooled cell of that identifier, once, after prepareForReuse.
    std::shared_ptr<VKPagingViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier);
    // The page's current cell, else one from the data source, framed, given
    // the insets, announced and added; none when the source gives none.
    std::shared_ptr<VKPagingViewCell> cellForPageAtIndex(size_t index);
    // The page's current cell only; never makes one.
    std::shared_ptr<VKPagingViewCell> currentCellForPageAtIndex(size_t index) const;
    const std::map<size_t, std::shared_ptr<VKPagingViewCell>>& currentCells() const { return m_currentCells; }
    size_t numberOfReusableCellsForTesting() const;
    // Out of the current cells and the view tree, into the pool when it has
    // an identifier.
    void removeCellForPageAtIndexNumber(size_t index);
    core::Range visibleRangeForContentOffset(gfx::Point offset) const;
    // With a cell: the page's cell becomes `cell` and is never recycled until
    // the next call; without: no page is spared. Then scrolls to the page.
    void scrollToPageAtIndex(size_t index, std::shared_ptr<VKPagingViewCell> cell, bool animated);
    size_t scrollToIndex() const { return m_scrollToIndex; }
    const gfx::EdgeInsets& toolbarContentInsets() const { return m_toolbarContentInsets; }
    void setToolbarContentInsets(const gfx::EdgeInsets& insets);
    // The frame of page slot `index` less the insets.
    gfx::Rect frameForCellAtIndex(size_t index) const;

    void setFrame(const gfx::Rect& frame) override;
    void layoutSubviews() override;
    // The vertical wheel turns a page (one a burst, or one every
    // WheelTurnInterval while it goes on); the horizontal wheel moves the
    // pages and, once it rests, ends on a whole page.
    bool wheelEvent(const ui::Event& event) override;
    static constexpr float WheelPageTravel = 40;
    static constexpr double WheelTurnInterval = 0.6;
    static constexpr double WheelRestDelay = 0.25;

private:
    void wheelDidRest();

    std::map<std::string, std::vector<std::shared_ptr<VKPagingViewCell>>> m_reusableCells;
    std::map<size_t, std::shared_ptr<VKPagingViewCell>> m_currentCells;
    VKPagingViewDataSource* m_dataSource = nullptr;
    VKPagingViewDelegate* m_pagingDelegate = nullptr;
    size_t m_numberOfPages = 0;
    float m_inset = DefaultInset;
    core::Range m_lastVisibleRange;
    size_t m_lastSteadyLocation = core::kNotFound;
    size_t m_foremostPageIndex = core::kNotFound;
    size_t m_scrollToIndex = core::kNotFound;
    gfx::EdgeInsets m_toolbarContentInsets;
    // The wheel: vertical travel towards the next turn, when the last turn
    // and the last event came, the page a horizontal burst started on and
    // the timer that waits for it to rest.
    float m_wheelTravel = 0;
    double m_lastWheelTurn = -1;
    double m_lastWheelEvent = -1;
    double m_wheelStartPage = -1;
    std::shared_ptr<core::Timer> m_wheelRest;
};

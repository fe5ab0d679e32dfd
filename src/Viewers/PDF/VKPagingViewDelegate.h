#pragma once

// What the horizontal pager tells its delegate: cells entering the view
// tree, pages coming into and going out of view, the page it came to rest
// on and the page that shows most. All are optional. Appearances and
// disappearances are sent only to a delegate that says it wants them,
// because asking for them makes the pager create the cells concerned.

#include <cstddef>

class VKPagingView;
class VKPagingViewCell;

class VKPagingViewDelegate {
public:
    virtual ~VKPagingViewDelegate() = default;
    // Before the cell enters the pager's view tree.
    virtual void pagingViewWillAddCell(VKPagingView&, VKPagingViewCell&, size_t index) { (void)index; }
    virtual bool respondsToCellWillAppear() const { return false; }
    virtual void pagingViewCellWillAppear(VKPagingView&, VKPagingViewCell&, size_t index) { (void)index; }
    virtual bool respondsToCellDidDisappear() const { return false; }
    virtual void pagingViewCellDidDisappear(VKPagingView&, VKPagingViewCell&, size_t index) { (void)index; }
    // Exactly one page shows, and it is another than last time.
    virtual void pagingViewDidSettleOnPageAtIndex(VKPagingView&, size_t index) { (void)index; }
    virtual void pagingViewPageAtIndexDidBecomeForemost(VKPagingView&, size_t index) { (void)index; }
};

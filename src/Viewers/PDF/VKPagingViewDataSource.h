#pragma once

// What the horizontal pager asks of the one that fills it: how many pages
// there are and the cell that shows a page.

#include <cstddef>
#include <memory>

class VKPagingView;
class VKPagingViewCell;

class VKPagingViewDataSource {
public:
    virtual ~VKPagingViewDataSource() = default;
    virtual size_t numberOfPagesInPagingView(VKPagingView& pagingView) = 0;
    // A cell for the page (dequeued or new), or none: the slot stays empty.
    virtual std::shared_ptr<VKPagingViewCell> pagingViewCellForPageAtIndex(VKPagingView& pagingView, size_t index) = 0;
};

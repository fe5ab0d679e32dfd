#pragma once

// What a layout view tells the viewer: drags, paging it could not do, and
// page views about to enter the view tree.

#include <cstddef>

namespace ui {
class ScrollView;
class View;
}
class VKDocumentView;

class VKDocumentViewDelegate {
public:
    virtual ~VKDocumentViewDelegate() = default;
    virtual void documentViewScrollViewWillBeginDragging(VKDocumentView& view, ui::ScrollView& scrollView) = 0;
    // 1: paging back at the first page; −1: paging on at the last.
    virtual void documentViewDidIgnorePaging(VKDocumentView& view, int direction) = 0;
    // Before the page view first enters the view tree.
    virtual void documentViewWillAddPageView(VKDocumentView& view, ui::View& pageView, size_t index) = 0;
};

#include "Viewers/PDF/VKSelfDelegatingScrollView.h"

std::shared_ptr<VKSelfDelegatingScrollView> VKSelfDelegatingScrollView::create(const gfx::Rect& frame)
{
    auto view = ui::View::make<VKSelfDelegatingScrollView>(frame);
    view->becomeOwnDelegate();
    return view;
}

VKSelfDelegatingScrollView::~VKSelfDelegatingScrollView()
{
    ui::ScrollView::setDelegate({});
    m_outerDelegate.reset();
}

void VKSelfDelegatingScrollView::becomeOwnDelegate()
{
    ui::ScrollView::setDelegate(sharedAs<VKSelfDelegatingScrollView>());
}

void VKSelfDelegatingScrollView::setDelegate(std::weak_ptr<ui::ScrollViewDelegate> delegate)
{
    m_outerDelegate = std::move(delegate);
}

void VKSelfDelegatingScrollView::didScroll(ui::ScrollView& view)
{
    if (auto outer = delegate())
        outer->didScroll(view);
}

void VKSelfDelegatingScrollView::willBeginDragging(ui::ScrollView& view)
{
    if (auto outer = delegate())
        outer->willBeginDragging(view);
}

void VKSelfDelegatingScrollView::didEndDragging(ui::ScrollView& view, bool willDecelerate)
{
    if (auto outer = delegate())
        outer->didEndDragging(view, willDecelerate);
}

void VKSelfDelegatingScrollView::willBeginDecelerating(ui::ScrollView& view)
{
    if (auto outer = delegate())
        outer->willBeginDecelerating(view);
}

void VKSelfDelegatingScrollView::didEndDecelerating(ui::ScrollView& view)
{
    if (auto outer = delegate())
        outer->didEndDecelerating(view);
}

void VKSelfDelegatingScrollView::didEndScrollingAnimation(ui::ScrollView& view)
{
    if (auto outer = delegate())
        outer->didEndScrollingAnimation(view);
}

ui::View* VKSelfDelegatingScrollView::viewForZooming(ui::ScrollView& view)
{
    auto outer = delegate();
    return outer ? outer->viewForZooming(view) : nullptr;
}

void VKSelfDelegatingScrollView::willBeginZooming(ui::ScrollView& view, ui::View* zoomed)
{
    if (auto outer = delegate())
        outer->willBeginZooming(view, zoomed);
}

void VKSelfDelegatingScrollView::didZoom(ui::ScrollView& view)
{
    if (auto outer = delegate())
        outer->didZoom(view);
}

void VKSelfDelegatingScrollView::didEndZooming(ui::ScrollView& view, ui::View* zoomed, float scale)
{
    if (auto outer = delegate())
        outer->didEndZooming(view, zoomed, scale);
}

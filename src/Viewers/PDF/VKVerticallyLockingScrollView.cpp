#include "Viewers/PDF/VKVerticallyLockingScrollView.h"

#include "Viewers/PDF/VKScrollView.h"

std::shared_ptr<VKVerticallyLockingScrollView> VKVerticallyLockingScrollView::create(const gfx::Rect& frame)
{
    auto view = ui::View::make<VKVerticallyLockingScrollView>(frame);
    view->becomeOwnDelegate();
    return view;
}

void VKVerticallyLockingScrollView::willBeginDragging(ui::ScrollView& view)
{
    m_dragBeginOffset = contentOffset();
    VKSelfDelegatingScrollView::willBeginDragging(view);
}

void VKVerticallyLockingScrollView::setContentOffset(gfx::Point offset)
{
    if (m_locked && (isDragging() || isDecelerating()) && !isZooming())
        offset = VKVerticallyLockedOffset(offset, m_dragBeginOffset);
    else if (isZooming())
        m_dragBeginOffset = offset;
    ui::ScrollView::setContentOffset(offset);
}

#include "Viewers/PDF/VKScrollView.h"

#include <cmath>

gfx::Point VKVerticallyLockedOffset(gfx::Point offset, gfx::Point dragBegin)
{
    float dy = std::fabs(offset.y - dragBegin.y);
    if (dy > 0 && std::fabs(offset.x - dragBegin.x) / dy < VKScrollView::VerticalLockRatio)
        offset.x = dragBegin.x;
    return offset;
}

std::shared_ptr<VKScrollView> VKScrollView::create(const gfx::Rect& frame)
{
    auto view = ui::View::make<VKScrollView>(frame);
    view->becomeOwnDelegate();
    return view;
}

void VKScrollView::setContentView(std::shared_ptr<ui::View> view)
{
    if (view == m_contentView)
        return;
    if (m_contentView)
        m_contentView->removeFromSuperview();
    m_contentView = std::move(view);
    if (m_contentView)
        addSubview(m_contentView);
}

ui::View* VKScrollView::viewForZooming(ui::ScrollView& view)
{
    if (m_contentView)
        return m_contentView.get();
    return VKSelfDelegatingScrollView::viewForZooming(view);
}

void VKScrollView::willBeginDragging(ui::ScrollView& view)
{
    m_dragBeginOffset = contentOffset();
    VKSelfDelegatingScrollView::willBeginDragging(view);
}

void VKScrollView::setContentOffset(gfx::Point offset)
{
    if (m_verticalLock && (isDragging() || isDecelerating()) && !isZooming())
        offset = VKVerticallyLockedOffset(offset, m_dragBeginOffset);
    else if (isZooming())
        m_dragBeginOffset = offset;
    ui::ScrollView::setContentOffset(offset);
}

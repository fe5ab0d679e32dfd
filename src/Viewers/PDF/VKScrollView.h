#pragma once

// The PDF viewer's zooming scroll view: its own delegate passing every
// message on (VKSelfDelegatingScrollView), an optional content view that it
// zooms, and an optional vertical lock that keeps the horizontal offset of
// the drag's start while a drag or its coast moves mostly vertically.

#include "Viewers/PDF/VKSelfDelegatingScrollView.h"

class VKScrollView : public VKSelfDelegatingScrollView {
public:
    // Below this ratio of horizontal to vertical travel the lock holds.
    static constexpr float VerticalLockRatio = 0.25f;

    static std::shared_ptr<VKScrollView> create(const gfx::Rect& frame = {});

    const std::shared_ptr<ui::View>& contentView() const { return m_contentView; }
    // The old content view leaves the view tree; the new one is added.
    void setContentView(std::shared_ptr<ui::View> view);
    bool verticalLock() const { return m_verticalLock; }
    void setVerticalLock(bool lock) { m_verticalLock = lock; }
    gfx::Point dragBeginOffset() const { return m_dragBeginOffset; }

    // The content view; else the outer delegate's answer.
    ui::View* viewForZooming(ui::ScrollView& view) override;
    // Notes the drag's start, then tells the outer delegate.
    void willBeginDragging(ui::ScrollView& view) override;
    void setContentOffset(gfx::Point offset) override;
    using ui::ScrollView::setContentOffset;

private:
    std::shared_ptr<ui::View> m_contentView;
    gfx::Point m_dragBeginOffset;
    bool m_verticalLock = false;
};

// The vertical lock's rule, shared with VKVerticallyLockingScrollView: the
// offset to apply for `offset` given the drag's start.
gfx::Point VKVerticallyLockedOffset(gfx::Point offset, gfx::Point dragBegin);

#pragma once

// A scroll view that holds the horizontal offset while a drag is mostly
// vertical, for callers that want the lock without VKScrollView's content
// view. It shares the rule with VKScrollView.

#include "Viewers/PDF/VKSelfDelegatingScrollView.h"

class VKVerticallyLockingScrollView : public VKSelfDelegatingScrollView {
public:
    static std::shared_ptr<VKVerticallyLockingScrollView> create(const gfx::Rect& frame = {});

    bool locked() const { return m_locked; }
    void setLocked(bool locked) { m_locked = locked; }

    void willBeginDragging(ui::ScrollView& view) override;
    void setContentOffset(gfx::Point offset) override;
    using ui::ScrollView::setContentOffset;

private:
    gfx::Point m_dragBeginOffset;
    bool m_locked = false;
};

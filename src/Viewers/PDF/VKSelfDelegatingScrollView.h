#pragma once

// A scroll view that is its own toolkit delegate and hands every delegate
// message on to an outer delegate, held weakly. Subclasses answer some
// messages themselves first (VKScrollView); what the outer delegate does
// not override keeps the toolkit's default answer.

#include "Platform/UI/ScrollView.h"

#include <memory>

class VKSelfDelegatingScrollView : public ui::ScrollView, public ui::ScrollViewDelegate {
public:
    static std::shared_ptr<VKSelfDelegatingScrollView> create(const gfx::Rect& frame = {});
    ~VKSelfDelegatingScrollView() override;

    // The outer delegate. Setting it leaves the view its own toolkit
    // delegate.
    std::shared_ptr<ui::ScrollViewDelegate> delegate() const { return m_outerDelegate.lock(); }
    void setDelegate(std::weak_ptr<ui::ScrollViewDelegate> delegate);

    void didScroll(ui::ScrollView&) override;
    void willBeginDragging(ui::ScrollView&) override;
    void didEndDragging(ui::ScrollView&, bool willDecelerate) override;
    void willBeginDecelerating(ui::ScrollView&) override;
    void didEndDecelerating(ui::ScrollView&) override;
    void didEndScrollingAnimation(ui::ScrollView&) override;
    ui::View* viewForZooming(ui::ScrollView&) override;
    void willBeginZooming(ui::ScrollView&, ui::View* view) override;
    void didZoom(ui::ScrollView&) override;
    void didEndZooming(ui::ScrollView&, ui::View* view, float scale) override;

protected:
    // Makes the view its own toolkit delegate (after construction, when it
    // can be shared).
    void becomeOwnDelegate();

private:
    std::weak_ptr<ui::ScrollViewDelegate> m_outerDelegate;
};

#pragma once

// A web view's scroll view: every change of its bounds (offset or size;
// from drags, the page or code) is put to the web view before it is made
// (scrollViewShouldChangeBounds, false drops it) and told to it after
// (scrollViewDidChangeBounds). Changes it makes while one is under way go
// through unasked. The web view owns it and forgets itself on leaving.

#include "Platform/UI/ScrollView.h"

namespace web {

class WebView;

class WebViewScrollView : public ui::ScrollView {
public:
    explicit WebViewScrollView(WebView* owner) : m_owner(owner) { }
    void forgetOwner() { m_owner = nullptr; }

    void setContentOffset(gfx::Point offset) override;
    using ui::ScrollView::setContentOffset;
    void setBounds(const gfx::Rect& bounds) override;
    void setFrame(const gfx::Rect& frame) override;

private:
    template<typename Apply> void change(const gfx::Rect& to, Apply apply);

    WebView* m_owner;
    bool m_changing = false;
};

} // namespace web

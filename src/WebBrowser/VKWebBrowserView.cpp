#include "WebBrowser/VKWebBrowserView.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/UI/ScrollView.h"
#include "WebBrowser/VKWebBrowserController.h"
#include "WebBrowser/VKWebNavigationView.h"

#include <algorithm>

std::shared_ptr<VKWebBrowserView> VKWebBrowserView::create(const gfx::Rect& frame)
{
    auto view = View::make<VKWebBrowserView>(frame);
    view->setDocumentViewFrame(view->documentViewFrame());
    view->m_didInit = true;
    view->updateScrollSubrect();
    return view;
}

std::shared_ptr<VKWebBrowserController> VKWebBrowserView::webBrowserController() const
{
    return std::dynamic_pointer_cast<VKWebBrowserController>(delegate());
}

void VKWebBrowserView::armBoundsBlock()
{
    m_boundsBlocked = true;
    std::weak_ptr<VKWebBrowserView> weak = std::static_pointer_cast<VKWebBrowserView>(shared_from_this());
    core::RunLoop::main().post([weak] {
        if (auto self = weak.lock())
            self->m_boundsBlocked = false;
    });
}

void VKWebBrowserView::updateScrollSubrect()
{
    scrollView().setScrollIndicatorInsets({ VKWebNavigationView::DefaultHeight, 0, 0, 0 });
}

void VKWebBrowserView::setFrame(const gfx::Rect& frame)
{
    WebView::setFrame(frame);
    if (m_didInit)
        updateScrollSubrect();
}

void VKWebBrowserView::setDocumentViewFrame(const gfx::Rect& frame)
{
    gfx::Rect below = frame;
    below.origin.y = VKWebNavigationView::DefaultHeight;
    WebView::setDocumentViewFrame(below);
}

bool VKWebBrowserView::scrollViewShouldChangeBounds(const gfx::Rect&)
{
    // The page's own place is always followed: dropping it would show a
    // place the page is not at.
    if (isFollowingPage())
        return true;
    return !std::exchange(m_boundsBlocked, false);
}

void VKWebBrowserView::scrollViewDidChangeBounds(const gfx::Rect& bounds)
{
    for (const auto& subview : scrollView().subviews()) {
        auto* bar = dynamic_cast<VKWebNavigationView*>(subview.get());
        if (!bar)
            continue;
        gfx::Rect frame = bar->frame();
        frame.origin.x = bounds.x();
        if (bar->isLoading())
            frame.origin.y = std::max(bounds.y(), 0.f);
        bar->setFrame(frame);
    }
}

#pragma once

// The browser's web view: the page starts 60 points down its scroll view,
// below the browser's bar, which lives in the scrolled content. While a
// page loads the bar follows every change of the scroll view's bounds to
// stay at the top of what shows; a finished load drops the next bounds
// change made by a drag or by code in the same pass of the main loop
// (armBoundsBlock; the page's own place is always followed, and a block
// left unused goes with the pass, so it never eats a later drag or the
// scroll to the bar). The scroll indicator stays below the bar.

#include "Platform/Web/WebView.h"

#include <memory>

class VKWebBrowserController;

class VKWebBrowserView : public web::WebView {
public:
    static std::shared_ptr<VKWebBrowserView> create(const gfx::Rect& frame = {});

    // The delegate when it is a browser controller.
    std::shared_ptr<VKWebBrowserController> webBrowserController() const;

    // Who handles the page's link and image sheets, and whether a held image
    // offers saving.
    std::shared_ptr<VKWebBrowserController> interactionDelegate() const { return m_interactionDelegate.lock(); }
    void setInteractionDelegate(std::weak_ptr<VKWebBrowserController> controller)
    {
        m_interactionDelegate = std::move(controller);
    }
    bool allowsImageSheet() const { return m_allowsImageSheet; }
    void setAllowsImageSheet(bool allows) { m_allowsImageSheet = allows; }

    // The next change of the scroll view's bounds in this pass is dropped.
    void armBoundsBlock();
    bool isBoundsBlockArmed() const { return m_boundsBlocked; }

    // The scroll indicator inset below the bar.
    void updateScrollSubrect();

    // WebView.
    void setFrame(const gfx::Rect& frame) override;
    void setDocumentViewFrame(const gfx::Rect& frame) override;
    bool scrollViewShouldChangeBounds(const gfx::Rect& bounds) override;
    void scrollViewDidChangeBounds(const gfx::Rect& bounds) override;

private:
    std::weak_ptr<VKWebBrowserController> m_interactionDelegate;
    bool m_allowsImageSheet = false;
    bool m_boundsBlocked = false;
    bool m_didInit = false;
};

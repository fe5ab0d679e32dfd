#pragma once

// The browser's web view: the page starts 60 points down its scroll view,
// below the browser's bar, which lives in the scrolled content. While a
// page loads the bar follows every change of the scroll view's bounds to
// stay at the top of what shows; a finished load drops the next bounds
// change made by a drag or by code in the same pass of the main loop
// (armBoundsBlock; the page's own place is always followed, and a block
// left unused goes with the pass, so it never eats a later drag or the
// scroll to the bar). The scroll indicator stays below the bar.
//
// A held link or image gets the sheet the device's web view would show
// (showBrowserSheet: Open and Copy for a link, Save Image for an image when
// the view allows it), adjusted first for the browser (Download, sheet
// 1001); actOnBrowserSheet does what the device would for a choice.

#include "Platform/UI/ActionSheet.h"
#include "Platform/Web/WebView.h"
#include "Platform/Web/WebViewDelegate.h"

#include <memory>
#include <vector>

class VKWebBrowserController;

class VKWebBrowserView : public web::WebView, public ui::ActionSheetDelegate {
public:
    // The longest suggested name of a saved image, in bytes.
    static constexpr size_t MaximumImageNameLength = 255;

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

    // Shows the sheet for a held element (nothing for an element it has no
    // sheet for) and remembers what its buttons do.
    void showBrowserSheet(const web::ElementInfo& info);
    // What the sheet's button at `index` does: open or copy the link, save
    // the image; the cancel index and unknown ones do nothing.
    void actOnBrowserSheet(int index);
    // The sheet shown last, while it shows.
    std::shared_ptr<ui::ActionSheet> browserSheet() const { return m_browserSheet.lock(); }
    // Hands the first image to the browser's download delegate with its
    // suggested name (the last path component of its "alt" text).
    void saveImages(const std::vector<web::ElementInfo>& images);
    // The name an image's "alt" text suggests; none for an empty one.
    static std::optional<std::string> suggestedImageName(const std::string& alt);

    // The sheet's delegate: the device's own handling of a choice.
    void clickedButton(ui::ActionSheet& sheet, int index) override;

    // WebView.
    void setFrame(const gfx::Rect& frame) override;
    void setDocumentViewFrame(const gfx::Rect& frame) override;
    bool scrollViewShouldChangeBounds(const gfx::Rect& bounds) override;
    void scrollViewDidChangeBounds(const gfx::Rect& bounds) override;

private:
    enum class SheetAction { None, Open, Copy, SaveImage };

    std::weak_ptr<VKWebBrowserController> m_interactionDelegate;
    std::weak_ptr<ui::ActionSheet> m_browserSheet;
    web::ElementInfo m_sheetElement;
    std::vector<SheetAction> m_sheetActions;
    bool m_allowsImageSheet = false;
    bool m_boundsBlocked = false;
    bool m_didInit = false;
};

// Gives a held link's sheet a Download button when the view is the browser's
// and its controller has a download delegate: the sheet of an address with a
// scheme, with at most three buttons and a cancel button among them. The
// controller becomes its delegate (tag 1001); the cancel button is retitled
// "Download" and a new "Cancel" becomes the cancel button. Any other sheet
// stays as it is.
void VKWebDocumentViewAdjustActionSheet(VKWebBrowserView& view, ui::ActionSheet& sheet);

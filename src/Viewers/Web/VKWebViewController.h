#pragma once

// The web-document viewer: every document no other viewer claims, in a web
// view inside the paged document frame. HTML loads by file URL, with links
// and back and forward; other text shows as plain text; RTF and RTFD are
// converted to HTML on a worker; document packages of the office suites
// are zipped first (the zip is what shows and what is mailed). The viewer
// decides which links may load in it (the documents of the public folder,
// and of the private one outside guest mode), asks a small script of the
// page whether a tap hit a link before the frame takes the tap, hides the
// bars while a form field has the focus, and prints through a second,
// hidden web view. Its printing, its back and forward control and its
// question whether a tap hit a link are parts of their own.

#include "Shell/VKWindowObserver.h"
#include "Viewers/Document/VKDocumentViewController.h"
#include "Viewers/Web/VKWebBackForward.h"
#include "Viewers/Web/VKWebDocumentConverter.h"
#include "Viewers/Web/VKWebLinkPolicy.h"
#include "Viewers/Web/VKWebLinkTap.h"
#include "Viewers/Web/VKWebView.h"
#include "Viewers/Web/VKWebViewerPrinting.h"

#include "Platform/UI/AlertView.h"
#include "Platform/Web/WebViewDelegate.h"

#include <memory>
#include <optional>
#include <string>

namespace core {
class Thread;
class Timer;
}
class VKWindow;

class VKWebViewController : public VKDocumentViewController,
                            public web::WebViewDelegate,
                            public VKWebViewDelegate,
                            public VKWindowObserver,
                            public ui::AlertViewDelegate {
public:
    static constexpr const char* DisableDataDetectorsKey = "VKDocumentDisableDataDetectors";
    static constexpr const char* ZipThreadName = "VKPackageZip";
    // Defines VKFindAnchorAtPoint(x, y) in the page: true over a link, else "x, y".
    static constexpr const char* FindAnchorScript
        = "function VKFindAnchorAtPoint(x,y) {var e = document.elementFromPoint(x,y); while (e) { if (e.tagName == "
          "'A') { return true; } e = e.parentNode; } return '' + x + ', ' + y; }";
    static constexpr const char* MetaTagsScript
        = "(function(){var m=document.getElementsByTagName('meta'); if(m) { for(var i=0;i<m.length;++i) {var "
          "n=m[i]; if(n.getAttribute('name')=='format-detection' && n.getAttribute('content')=='telephone=no') "
          "return 'telephone=no';}} return '';})();";
    // The page's answer to a tap counts as "no link" after this long; a
    // later answer naming a link puts the bars back as they were.
    static constexpr double TapScriptTimeout = 0.5;
    static constexpr double LoadIndicatorDelay = 0.25;
    static constexpr double FollowedLinkBarsHideDelay = 0.5;
    // A document still loading this long after its load began (a picture
    // or script whose server never answers) is shown as it stands.
    static constexpr double SlowLoadTimeout = 10;
    static constexpr float BackForwardSegmentWidth = 40;

    static std::shared_ptr<VKWebViewController> create(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController);

    ~VKWebViewController() override;

    VKWebView* webView() const { return m_webView.get(); }
    const std::shared_ptr<VKFileResource>& tempResource() const { return m_tempResource; }
    void setTempResource(std::shared_ptr<VKFileResource> resource);
    // Deletes the temporary zip (logged when that fails).
    void removeTempResource();

    // The frame's contract.
    gfx::Point contentOffset() override;
    void setContentOffset(gfx::Point offset) override;
    gfx::Size contentSize() override;
    ui::View* verticalScrollIndicator() override;
    void loadContentView() override;
    bool contentScalesWithBounds() const override { return true; }
    bool shouldSingleTapHideUI() const override;
    bool formInputActive() const { return m_formInputActive; }
    // The page starts below the top bar while the bars show.
    void setUIHidden(bool hidden, bool animated) override;
    void didRotate(ui::Orientation fromOrientation) override;

    void emailFile(const std::shared_ptr<core::Object>& sender) override;
    void actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag) override;

    // Printing through a hidden web view that loads the document again.
    void printFile(const std::shared_ptr<core::Object>&) { m_printing.start(); }
    std::shared_ptr<ui::PrintFormatter> printFormatter() override;
    VKWebView* printingView() const { return m_printing.view(); }
    VKAlertView* printingAlertView() const { return m_printing.alert(); }
    using VKViewController::clickedButton;
    void clickedButton(ui::AlertView& alert, int) override { m_printing.alertClicked(alert); }

    // The web view's delegate.
    bool shouldStartLoad(web::WebView& view, const core::URLRequest& request, web::NavigationType type) override;
    void didFinishLoad(web::WebView& view) override;
    void didFailLoad(web::WebView& view, const core::Error& error) override;
    void decidePolicyForResponse(web::WebView& view, const core::HTTPURLResponse& response,
        const core::URLRequest& request, const std::shared_ptr<web::WebPolicyListener>& listener) override;
    void webViewDidStartScrolling(VKWebView& webView, ui::ScrollView& scrollView) override;
    void webViewDidChangeContentSize(VKWebView& webView) override;
    void didChangeEditingFocus(web::WebView& view, bool editing) override;
    void checkHTMLMetaTags();

    // The window: a form field's input view hides the bars.
    void handleSendEvent(const ui::Event& event, VKWindow& window) override;
    void windowDidAddSubview(VKWindow& window, ui::View& subview) override;
    void windowWillRemoveSubview(VKWindow& window, ui::View& subview) override;
    void setFormInputActive(bool active);

    // Back and forward, for HTML documents.
    std::shared_ptr<ui::BarButtonItem> backForwardHTMLControlItem() { return m_backForward.item(); }
    ui::SegmentedControl* backForwardControl() const { return m_backForward.control(); }
    void webViewGoBackOrForward(int segment) { m_backForward.go(segment); }

    // The package zip's answer on the main thread: the zip's request, or
    // nothing when zipping failed.
    void tempResourceCreationDidEnd(const std::optional<core::URLRequest>& request);

    // Office documents: converted by LibreOffice, the output shown by file
    // URL (it counts as the document itself and goes with the viewer).
    static bool isConvertedType(const std::string& mimeType) { return VKWebDocumentConverter::isOfficeType(mimeType); }
    void convertDocument();
    void documentConversionDidEnd(VKWebDocumentConverter::Outcome outcome);
    bool isConverting() const { return m_conversion != nullptr; }
    const std::string& conversionOutputPath() const { return m_conversionOutput; }

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void viewDidUnload() override;

protected:
    void singleTapGestureRecognized(ui::GestureRecognizer& recognizer) override;

private:
    friend class VKWebViewerPrinting;
    friend class VKWebLinkTap;

    bool isHTML() const;
    // Loads the document into `view` as its kind asks (not the packages).
    void loadDocument(VKWebView& view);
    // In guest mode a page reads only public files (and this viewer's
    // conversion output), in frames and pictures too.
    void keepToGuestFolders(web::WebView& view) const;
    void compressPackageResource();
    VKWebLinkPolicy linkPolicy() const;
    void continueSingleTap(gfx::Point pointInView);
    // The page named a link only after the tap was taken as hitting none.
    void restoreUIAfterLateLinkAnswer(bool uiWasHidden);
    void observeWindow();
    void stopObservingWindow();
    void releaseLoadReferences();
    // The first load ended (or was given up as too slow): the page shows.
    void firstLoadDidEnd();
    void loadTooSlow();
    // The content fails: the alert (unless one shows already), no content,
    // delete and the sheet usable.
    void dropContent(bool showAlert);
    void cancelConversion();
    void updatePageTop();

    VKWebBackForward m_backForward { *this };
    VKWebViewerPrinting m_printing { *this };
    VKWebLinkTap m_linkTap { *this };
    std::shared_ptr<VKFileResource> m_tempResource;
    std::shared_ptr<VKWindow> m_window;

    std::shared_ptr<VKWebView> m_webView;
    // Changed on the main thread only: the observer calls this directly
    // (see core::Observation).
    core::Observation m_offsetObservation;
    // Held until the first load ends, so late answers find both.
    std::shared_ptr<VKWebViewController> m_selfReference;
    std::shared_ptr<VKWebView> m_webViewReference;
    std::shared_ptr<core::Thread> m_zipThread;
    std::shared_ptr<core::Timer> m_slowLoadTimer;
    std::shared_ptr<VKWebDocumentConverter::Conversion> m_conversion;
    std::string m_conversionFolder;
    std::string m_conversionOutput;
    // Answers of a load that was superseded are dropped.
    unsigned m_zipGeneration = 0;
    bool m_formInputActive = false;
};

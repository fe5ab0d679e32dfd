#pragma once

// The in-application web browser: a web view with the browser's bar at the
// top of the page. It turns what is typed into page loads or web searches,
// retries an unknown one-word host with ".com", records visited pages in the
// history, shows the bookmark screens and the type-ahead list, reports load
// failures, and hands downloads to its download delegate.
//
// A load runs: request start (loadingRequest) → load start (the bar loading,
// slid into sight) → finish or failure → load end (title, padlock, address,
// history) → one second later the loading end (the bar back at the page's
// top unless its field is being edited). A load stopped by the user is
// never reported as failed.
//
// It answers the page's questions: a site's sign-in gets the authentication
// sheet unless the stored credential answers it; a response of a type the
// browser does not show itself is offered for Open or Download (sheet 1002);
// the sheet of a held link gains Download (sheet 1001).
//
// It holds its parts as members, each with a reference to it (what hands a
// part out as a delegate shares the browser): the sign-ins (VKWebSignIns),
// the bar's field editing with the type-ahead list (VKWebBarEditing), the
// bookmark screens (VKWebBookmarkScreens) and the sheets that hand a
// response or a link to the download delegate (VKWebOfferSheets); a failed
// load is answered by VKWebLoadFailure, the bar moved by VKWebBarMotion and
// the loads' history entries kept by VKWebVisits.

#include "Platform/Core/Observation.h"
#include "Platform/Core/Timer.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/ViewController.h"
#include "Platform/Web/WebViewDelegate.h"
#include "WebBrowser/VKWebAuthenticationController.h"
#include "WebBrowser/VKWebBrowserControllerDownloadDelegate.h"
#include "WebBrowser/VKWebOfferSheets.h"
#include "WebBrowser/VKWebVisits.h"

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace ui {
class ScrollView;
}
class VKWebBookmarksViewController;
class VKWebBrowserView;
class VKWebHistorySearchController;
class VKWebNavigationView;

class VKWebBrowserControllerUIDelegate {
public:
    virtual ~VKWebBrowserControllerUIDelegate() = default;
    // Close was tapped.
    virtual void webBrowserControllerDidEnd(VKWebBrowserController& browser) { (void)browser; }
    // After every finished load, before its load end.
    virtual void webBrowserControllerDidFinishLoad(VKWebBrowserController& browser) { (void)browser; }
    // At the start of every load the user asked for and at every load end:
    // the delegate sets its back and forward buttons from the web view.
    virtual bool supportsUpdateBackForwardControls() const { return false; }
    virtual void webBrowserControllerUpdateBackForwardControls(VKWebBrowserController& browser) { (void)browser; }
    // The browser's view will appear (the delegate may load its stored
    // request when `request()` is none).
    virtual void webBrowserControllerWillAppear(VKWebBrowserController& browser) { (void)browser; }
};

class VKWebBrowserController : public ui::ViewController,
                               public web::WebViewDelegate,
                               public ui::ActionSheetDelegate {
public:
    // The tags of the adjusted link sheet and of the offer of a response.
    static constexpr int LinkSheetTag = 1001;
    static constexpr int MIMETypeSheetTag = 1002;
    // A challenge that failed this often is answered without a credential.
    static constexpr int MaximumAuthenticationFailures = 6;
    static constexpr double AuthenticationPresentDelay = 0.5;

    // A request property: the user chose to show the resource rather than
    // download it.
    static constexpr const char* OpenDownloadProperty = "VKWebBrowserControllerOpenDownload";
    // The user default naming the search site (host and optional port).
    static constexpr const char* SearchHostKey = "VKWebSearchHost";
    static constexpr double LoadingEndDelay = 1.0;
    static constexpr unsigned NoNavigationType = ~0u;
    static constexpr const char* LoadingAnimation = "VKWebNavigationViewLoading";
    static constexpr const char* MoveToTopAnimation = "VKWebNavigationViewMoveToTop";
    static constexpr const char* ScrollToTopAnimation = "ScrollToTop";

    static std::shared_ptr<VKWebBrowserController> webBrowserController();
    VKWebBrowserController();
    ~VKWebBrowserController() override;

    static void setMutableRequestIsOpen(core::URLRequest& request);
    static bool isOpenRequest(const core::URLRequest& request);
    // The types the browser shows itself, and the type a response is taken for.
    static const std::set<std::string>& theStandardWebMIMETypes() { return VKWebOfferSheets::theStandardWebMIMETypes(); }
    static std::string effectiveMIMEType(const std::string& mimeType, const core::URL& url)
    {
        return VKWebOfferSheets::effectiveMIMEType(mimeType, url);
    }

    // Commands.
    void loadRequest(const core::URLRequest& request);
    void stopLoading();
    void reload();
    const std::optional<core::URLRequest>& request() const { return m_canonicalRequest; }
    void startDownloadWithRequest(const core::URLRequest& request);
    // Loads the search site's results for `text` ("/m" for none); false
    // when no URL can be made of it.
    bool performWebSearchWithText(const std::string& text);
    // The search address for `text`, none when none can be made.
    static std::optional<core::URL> searchURL(const std::string& text);
    void handleClose();

    void showBookmarksViewController();
    void saveBookmark();
    void dismissHistoryController();
    // The shown (or about to be shown) authentication sheet.
    std::shared_ptr<VKWebAuthenticationController> authenticationControllerForTesting() const;

    void moveNavigationViewToTopAnimated(bool animated);
    void updateBackForwardControls();
    void handleWebViewLoadEndWithSuccess(bool success);
    void handleLoadingDidEnd();
    bool isUserInitiatedRequest(const core::URLRequest& request, unsigned navigationType) const;

    // State.
    VKWebNavigationView* navigationView() const { return m_navigationView.get(); }
    // The type-ahead list while a field of the bar is edited.
    VKWebHistorySearchController* historyController() const;
    VKWebBrowserView* webView() const { return m_webView.get(); }
    std::shared_ptr<VKWebBrowserControllerDownloadDelegate> downloadDelegate() const { return m_downloadDelegate.lock(); }
    void setDownloadDelegate(std::weak_ptr<VKWebBrowserControllerDownloadDelegate> delegate)
    {
        m_downloadDelegate = std::move(delegate);
    }
    std::shared_ptr<VKWebBrowserControllerUIDelegate> uiDelegate() const { return m_uiDelegate.lock(); }
    void setUIDelegate(std::weak_ptr<VKWebBrowserControllerUIDelegate> delegate) { m_uiDelegate = std::move(delegate); }
    bool didCancelLoad() const { return m_didCancelLoad; }
    void setDidCancelLoad(bool cancelled) { m_didCancelLoad = cancelled; }
    const std::optional<core::URLRequest>& canonicalRequest() const { return m_canonicalRequest; }
    void setCanonicalRequest(std::optional<core::URLRequest> request) { m_canonicalRequest = std::move(request); }
    const std::optional<core::URLRequest>& loadingRequest() const { return m_loadingRequest; }
    void setLoadingRequest(std::optional<core::URLRequest> request) { m_loadingRequest = std::move(request); }
    unsigned loadingNavigationType() const { return m_loadingNavigationType; }
    const std::string& lastSearchQuery() const;
    void setLastSearchQuery(std::string query);
    bool viewTransitionActive() const { return m_viewTransitionActive; }
    // Whether the loading end is waiting for its second.
    bool isLoadingEndPending() const { return m_loadingEndTimer && m_loadingEndTimer->isValid(); }

    // ViewController.
    void loadView() override;
    void viewDidUnload() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    bool shouldAutorotate(ui::Orientation) override { return true; }

    // WebViewDelegate.
    bool shouldStartLoad(web::WebView& view, const core::URLRequest& request, web::NavigationType type) override;
    void didStartLoad(web::WebView& view) override;
    void didFinishLoad(web::WebView& view) override;
    void didFailLoad(web::WebView& view, const core::Error& error) override;
    void decidePolicyForResponse(web::WebView& view, const core::HTTPURLResponse& response,
        const core::URLRequest& request, const std::shared_ptr<web::WebPolicyListener>& listener) override;
    void didReceiveAuthenticationChallenge(web::WebView& view,
        const std::shared_ptr<web::AuthenticationChallenge>& challenge) override;
    void didCancelAuthenticationChallenge(web::WebView& view,
        const std::shared_ptr<web::AuthenticationChallenge>& challenge) override;
    void elementActions(web::WebView& view, const web::ElementInfo& info) override;

    // Sheets 1001 and 1002.
    void clickedButton(ui::ActionSheet& sheet, int index) override;

    // The bookmarks list's choices, as its delegate takes them.
    void webBookmarksViewControllerDidSelectURL(VKWebBookmarksViewController& list, const std::optional<core::URL>& url);
    void webBookmarksViewControllerDidSelectAddBookmark(VKWebBookmarksViewController& list);

    // For its parts: what shows of its screens (its navigation
    // controller's visible one, else the deepest presented over it), where
    // it presents from, the page's address back into the field, an alert.
    ui::ViewController* visibleController();
    ui::ViewController& presenter();
    // A pointer to one of the browser's parts that keeps the browser, and so
    // the part, alive: what a part hands out as a delegate.
    template<typename Part> std::shared_ptr<Part> sharing(Part& part) { return { shared_from_this(), &part }; }
    void restoreLocationFieldURL();
    static void showAlert(const std::string& title, const std::string& message);

private:
    std::shared_ptr<VKWebBrowserController> sharedSelf();
    // The address of the page on screen, else the canonical one.
    std::optional<core::URL> currentURL() const;
    void cancelLoadingEnd();
    ui::ScrollView& scroller() const;
    // The page's title came after its load ended: the bar and the history
    // take it.
    void titleDidChange();
    struct Parts;
    Parts& parts();

    std::shared_ptr<VKWebNavigationView> m_navigationView;
    std::weak_ptr<VKWebBrowserControllerDownloadDelegate> m_downloadDelegate;
    std::weak_ptr<VKWebBrowserControllerUIDelegate> m_uiDelegate;
    bool m_didCancelLoad = false;
    // didCancelLoad was set for an offered response: it lasts until the
    // load's failure or the next load start.
    bool m_cancelledForOffer = false;
    std::optional<core::URLRequest> m_canonicalRequest;
    std::optional<core::URLRequest> m_loadingRequest;
    unsigned m_loadingNavigationType = NoNavigationType;
    std::shared_ptr<VKWebBrowserView> m_webView;
    bool m_viewTransitionActive = false;
    std::shared_ptr<core::Timer> m_loadingEndTimer;
    std::unique_ptr<Parts> m_parts;
    core::Observation m_stateObservation;
    VKWebVisits m_visits;
    // The page that ended well last, and whether the load ending now was
    // offered instead of shown: the field then goes back to that page.
    std::optional<core::URL> m_shownURL;
    bool m_offered = false;
};

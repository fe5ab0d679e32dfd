#include "WebBrowser/VKWebBrowserController.h"

#include "Shell/Interface/ScreenAdditions.h"
#include "Kit/URLAdditions.h"
#include "Platform/Core/ASCII.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/PercentEscape.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UTF8.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/Web/WebPolicyListener.h"
#include "WebBrowser/VKBarButton.h"
#include "WebBrowser/VKWebBarEditing.h"
#include "WebBrowser/VKWebBarMotion.h"
#include "WebBrowser/VKWebBookmarkScreens.h"
#include "WebBrowser/VKWebBrowserView.h"
#include "WebBrowser/VKWebDocumentTitle.h"
#include "WebBrowser/VKWebHistory.h"
#include "WebBrowser/VKWebLoadFailure.h"
#include "WebBrowser/VKWebLocationField.h"
#include "WebBrowser/VKWebOfferSheets.h"
#include "WebBrowser/VKWebSignIns.h"
#include "WebBrowser/VKWebVisits.h"

namespace {

void setNetworkActivity(bool visible)
{
    if (auto application = ui::Application::shared())
        application->setNetworkActivityIndicatorVisible(visible);
}

bool isSecureScheme(const std::string& scheme)
{
    return core::ascii::equalIgnoringCase(scheme, "https") || core::ascii::equalIgnoringCase(scheme, "ftps");
}

} // namespace

struct VKWebBrowserController::Parts {
    explicit Parts(VKWebBrowserController& browser)
        : signIns(browser)
        , barEditing(browser)
        , bookmarkScreens(browser)
        , offerSheets(browser)
    {
    }

    VKWebSignIns signIns;
    VKWebBarEditing barEditing;
    VKWebBookmarkScreens bookmarkScreens;
    VKWebOfferSheets offerSheets;
};

std::shared_ptr<VKWebBrowserController> VKWebBrowserController::webBrowserController()
{
    return std::make_shared<VKWebBrowserController>();
}

VKWebBrowserController::VKWebBrowserController() = default;

VKWebBrowserController::~VKWebBrowserController()
{
    m_stateObservation.reset();
    cancelLoadingEnd();
    if (m_webView)
        m_webView->setDelegate({});
    if (m_navigationView)
        m_navigationView->setDelegate({});
}

std::shared_ptr<VKWebBrowserController> VKWebBrowserController::sharedSelf()
{
    return std::static_pointer_cast<VKWebBrowserController>(shared_from_this());
}

void VKWebBrowserController::setMutableRequestIsOpen(core::URLRequest& request)
{
    request.setProperty(OpenDownloadProperty, core::Value(true));
}

bool VKWebBrowserController::isOpenRequest(const core::URLRequest& request)
{
    const core::Value& value = request.property(OpenDownloadProperty);
    return value.isBool() && value.toBool();
}

// --- View -----------------------------------------------------------------------

void VKWebBrowserController::loadView()
{
    auto application = ui::Application::shared();
    gfx::Rect frame = application ? application->applicationFrame() : gfx::Rect { 0, 20, 320, 460 };
    auto root = ui::View::create(frame);
    auto self = sharedSelf();

    m_webView = VKWebBrowserView::create({ 0, 0, frame.width(), frame.height() });
    m_webView->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    m_webView->setScalesPageToFit(true);
    m_webView->setDelegate(std::static_pointer_cast<web::WebViewDelegate>(self));
    m_webView->setInteractionDelegate(self);
    m_webView->setAllowsImageSheet(true);
    m_stateObservation = m_webView->observeState([this](const web::PageState& old, const web::PageState& now) {
        if (old.title != now.title)
            titleDidChange();
    });
    root->addSubview(m_webView);

    auto screen = ui::Screen::main();
    float width = screen && application ? boundsForOrientation(*screen, application->statusBarOrientation()).width()
                                        : frame.width();
    m_navigationView = VKWebNavigationView::create({ 0, 0, width, VKWebNavigationView::DefaultHeight });
    m_navigationView->setAutoresizingMask(ui::View::FlexibleWidth);
    m_navigationView->closeButton().addTarget(self, "handleClose",
        [this](ui::Control&, const ui::Event*) { handleClose(); }, ui::Control::TouchUpInside);
    m_navigationView->locationField().addTarget(self, "stopLoading",
        [this](ui::Control&, const ui::Event*) { stopLoading(); }, VKWebLocationField::StopEvent);
    m_navigationView->locationField().addTarget(self, "reload",
        [this](ui::Control&, const ui::Event*) { reload(); }, VKWebLocationField::ReloadEvent);
    m_navigationView->setDelegate(sharing(parts().barEditing));
    // The bar lives in the page's scrolled content: it scrolls away with the
    // page unless moved.
    m_webView->scrollView().addSubview(m_navigationView);
    m_navigationView->setFrame(m_navigationView->frame());
    setView(root);
}

void VKWebBrowserController::viewDidUnload()
{
    cancelLoadingEnd();
    m_stateObservation.reset();
    if (m_webView)
        m_webView->setDelegate({});
    dismissHistoryController();
    m_navigationView.reset();
    m_webView.reset();
    ui::ViewController::viewDidUnload();
}

void VKWebBrowserController::viewWillAppear(bool animated)
{
    m_viewTransitionActive = true;
    ui::ViewController::viewWillAppear(animated);
    if (auto delegate = uiDelegate())
        delegate->webBrowserControllerWillAppear(*this);
}

void VKWebBrowserController::viewDidAppear(bool animated)
{
    ui::ViewController::viewDidAppear(animated);
    m_viewTransitionActive = false;
}

void VKWebBrowserController::viewWillDisappear(bool animated)
{
    m_viewTransitionActive = true;
    ui::ViewController::viewWillDisappear(animated);
}

void VKWebBrowserController::viewDidDisappear(bool animated)
{
    ui::ViewController::viewDidDisappear(animated);
    m_viewTransitionActive = false;
}

ui::ScrollView& VKWebBrowserController::scroller() const
{
    return m_webView->scrollView();
}

// --- Commands -------------------------------------------------------------------

void VKWebBrowserController::loadRequest(const core::URLRequest& request)
{
    view();
    m_navigationView->locationField().setReloadEnabled(true);
    m_canonicalRequest = request;
    m_webView->loadRequest(request);
}

void VKWebBrowserController::stopLoading()
{
    m_didCancelLoad = true;
    if (m_webView)
        m_webView->stopLoading();
}

void VKWebBrowserController::reload()
{
    if (m_webView)
        m_webView->reload();
}

void VKWebBrowserController::startDownloadWithRequest(const core::URLRequest& request)
{
    if (auto delegate = downloadDelegate())
        delegate->webBrowserControllerHandleDownloadForRequest(*this, request);
    VKWebHistory::sharedWebHistory()->addURL(request.url(), std::nullopt);
    m_canonicalRequest = m_webView ? m_webView->request() : std::nullopt;
}

std::optional<core::URL> VKWebBrowserController::searchURL(const std::string& text)
{
    std::string host = core::UserDefaults::standard()->stringForKey(SearchHostKey);
    if (host.empty())
        return std::nullopt;
    // The text is one query value: everything but the unreserved characters
    // is escaped, so "&", "+", "=" and "#" reach the search as typed.
    if (text.empty())
        return core::URL::parse("http://" + host + "/m");
    std::string query = core::percentEscape(core::utf8::sanitized(text), core::EscapeSet::Component);
    return core::URL::parse("http://" + host + "/m/search?q=" + query);
}

bool VKWebBrowserController::performWebSearchWithText(const std::string& text)
{
    auto url = searchURL(text);
    if (!url)
        return false;
    loadRequest(core::URLRequest(*url));
    return true;
}

void VKWebBrowserController::handleClose()
{
    if (auto delegate = uiDelegate())
        delegate->webBrowserControllerDidEnd(*this);
}

void VKWebBrowserController::showAlert(const std::string& title, const std::string& message)
{
    ui::AlertView::create(title, message, {}, core::localized("OK"))->show();
}

// --- Its screens and parts -----------------------------------------------------------

ui::ViewController* VKWebBrowserController::visibleController()
{
    if (auto* navigation = navigationController())
        return navigation->visibleViewController();
    ui::ViewController* visible = this;
    while (visible->modalViewController())
        visible = visible->modalViewController();
    if (auto* navigation = dynamic_cast<ui::NavigationController*>(visible))
        return navigation->visibleViewController();
    return visible;
}

ui::ViewController& VKWebBrowserController::presenter()
{
    if (auto* navigation = navigationController())
        return *navigation;
    return *this;
}

// Made at first use.
VKWebBrowserController::Parts& VKWebBrowserController::parts()
{
    if (!m_parts)
        m_parts = std::make_unique<Parts>(*this);
    return *m_parts;
}

void VKWebBrowserController::showBookmarksViewController()
{
    parts().bookmarkScreens.showBookmarks();
}

void VKWebBrowserController::saveBookmark()
{
    parts().bookmarkScreens.saveBookmark();
}

void VKWebBrowserController::webBookmarksViewControllerDidSelectURL(VKWebBookmarksViewController& list,
    const std::optional<core::URL>& url)
{
    auto keep = sharedSelf();
    parts().bookmarkScreens.webBookmarksViewControllerDidSelectURL(list, url);
}

void VKWebBrowserController::webBookmarksViewControllerDidSelectAddBookmark(VKWebBookmarksViewController& list)
{
    parts().bookmarkScreens.webBookmarksViewControllerDidSelectAddBookmark(list);
}

VKWebHistorySearchController* VKWebBrowserController::historyController() const
{
    return m_parts ? m_parts->barEditing.historyController() : nullptr;
}

void VKWebBrowserController::dismissHistoryController()
{
    if (m_parts)
        m_parts->barEditing.dismissHistoryController();
}

const std::string& VKWebBrowserController::lastSearchQuery() const
{
    static const std::string none;
    return m_parts ? m_parts->barEditing.lastSearchQuery() : none;
}

void VKWebBrowserController::setLastSearchQuery(std::string query)
{
    parts().barEditing.setLastSearchQuery(std::move(query));
}

std::shared_ptr<VKWebAuthenticationController> VKWebBrowserController::authenticationControllerForTesting() const
{
    return m_parts ? m_parts->signIns.sheet() : nullptr;
}

// --- Loads ----------------------------------------------------------------------

bool VKWebBrowserController::isUserInitiatedRequest(const core::URLRequest& request, unsigned navigationType) const
{
    if (navigationType != unsigned(web::NavigationType::Other))
        return true;
    auto referrer = request.header("Referer");
    if (!referrer || referrer->empty())
        return true;
    return !m_navigationView || m_navigationView->titleLabel().text().empty();
}

bool VKWebBrowserController::shouldStartLoad(web::WebView&, const core::URLRequest& request, web::NavigationType type)
{
    if (isAppleRegisteredURL(request.url())) {
        if (auto application = ui::Application::shared())
            application->openURL(request.url());
        return false;
    }
    m_loadingRequest = request;
    m_loadingNavigationType = unsigned(type);
    if (isUserInitiatedRequest(request, m_loadingNavigationType) && !(m_canonicalRequest && *m_canonicalRequest == request))
        m_canonicalRequest = request;
    return true;
}

void VKWebBrowserController::cancelLoadingEnd()
{
    if (m_loadingEndTimer)
        m_loadingEndTimer->invalidate();
    m_loadingEndTimer.reset();
}

void VKWebBrowserController::didStartLoad(web::WebView&)
{
    cancelLoadingEnd();
    if (std::exchange(m_cancelledForOffer, false))
        m_didCancelLoad = false;
    m_offered = false;
    m_visits.loadStarted();
    setNetworkActivity(true);
    auto& bar = *m_navigationView;
    VKWebBarMotion::slideIntoSight(bar, scroller().bounds().y());
    bar.setLoading(true);
    if (m_loadingRequest && isUserInitiatedRequest(*m_loadingRequest, m_loadingNavigationType)) {
        bar.locationField().setURL(m_loadingRequest->url());
        bar.titleLabel().setText(core::localized("Loading...", "WebBrowser"));
        bar.setSecure(false);
        updateBackForwardControls();
    }
}

void VKWebBrowserController::didFinishLoad(web::WebView&)
{
    auto keep = sharedSelf();
    m_webView->armBoundsBlock();
    m_webView->updateScrollSubrect();
    m_canonicalRequest = m_webView->request();
    if (auto delegate = uiDelegate())
        delegate->webBrowserControllerDidFinishLoad(*this);
    if (m_webView)
        handleWebViewLoadEndWithSuccess(true);
}

std::optional<core::URL> VKWebBrowserController::currentURL() const
{
    if (m_offered)
        return m_shownURL;
    if (m_webView && m_webView->request() && !m_webView->request()->url().absoluteString().empty())
        return m_webView->request()->url();
    if (m_canonicalRequest)
        return m_canonicalRequest->url();
    return std::nullopt;
}

void VKWebBrowserController::restoreLocationFieldURL()
{
    m_navigationView->locationField().setURL(currentURL());
}

void VKWebBrowserController::handleWebViewLoadEndWithSuccess(bool success)
{
    if (!m_webView)
        return;
    std::optional<core::URL> url;
    if (m_webView->request())
        url = m_webView->request()->url();
    std::string title = documentTitle(*m_webView);
    m_visits.loadEnded(url, title, success);
    if (success)
        m_shownURL = url;
    else if (m_offered)
        // The offered file never showed: the page before stays.
        url = m_shownURL;
    auto& bar = *m_navigationView;
    bar.titleLabel().setText(title);
    // The screen is named by its page, as the desktop window's title shows it.
    setTitle(title);
    bar.setSecure(url && isSecureScheme(url->scheme()));
    updateBackForwardControls();
    if (!bar.locationField().isEditing() && url && !url->absoluteString().empty())
        bar.locationField().setURL(url);
    cancelLoadingEnd();
    m_loadingEndTimer = core::RunLoop::main().schedule(sharedSelf(), LoadingEndDelay, false, [](VKWebBrowserController& self, core::Timer&) {
        self.handleLoadingDidEnd();
    });
}

void VKWebBrowserController::titleDidChange()
{
    if (!m_webView || !m_navigationView || !m_webView->request() || !m_visits.isEndedPage(m_webView->request()->url()))
        return;
    std::string title = documentTitle(*m_webView);
    m_navigationView->titleLabel().setText(title);
    setTitle(title);
    m_visits.titleChanged(title);
}

void VKWebBrowserController::handleLoadingDidEnd()
{
    m_loadingEndTimer.reset();
    if (!m_navigationView)
        return;
    m_navigationView->setLoading(false);
    m_didCancelLoad = false;
    m_loadingRequest.reset();
    m_loadingNavigationType = NoNavigationType;
    setNetworkActivity(false);
    if (!m_navigationView->locationField().isFirstResponder())
        moveNavigationViewToTopAnimated(true);
}

void VKWebBrowserController::moveNavigationViewToTopAnimated(bool animated)
{
    if (m_navigationView)
        VKWebBarMotion::moveToTop(*m_navigationView, animated);
}

void VKWebBrowserController::updateBackForwardControls()
{
    auto delegate = uiDelegate();
    if (delegate && delegate->supportsUpdateBackForwardControls())
        delegate->webBrowserControllerUpdateBackForwardControls(*this);
}

void VKWebBrowserController::didFailLoad(web::WebView&, const core::Error& error)
{
    core::log("webView didFailLoadWithError: {}", error.description());
    auto keep = sharedSelf();
    if (std::exchange(m_cancelledForOffer, false)) {
        // The failure of a response offered instead of shown.
        m_didCancelLoad = false;
        handleWebViewLoadEndWithSuccess(false);
        return;
    }
    VKWebLoadFailure::answer(*this, error);
}

// --- Sign-ins ---------------------------------------------------------------------

void VKWebBrowserController::didReceiveAuthenticationChallenge(web::WebView&,
    const std::shared_ptr<web::AuthenticationChallenge>& challenge)
{
    parts().signIns.challengeReceived(challenge);
}

void VKWebBrowserController::didCancelAuthenticationChallenge(web::WebView&,
    const std::shared_ptr<web::AuthenticationChallenge>& challenge)
{
    auto keep = sharedSelf();
    parts().signIns.challengeCancelled(challenge);
    handleWebViewLoadEndWithSuccess(false);
}

// --- Responses the browser does not show ------------------------------------------

void VKWebBrowserController::decidePolicyForResponse(web::WebView&, const core::HTTPURLResponse& response,
    const core::URLRequest& request, const std::shared_ptr<web::WebPolicyListener>& listener)
{
    if (VKWebOfferSheets::shows(response, request, m_webView.get())) {
        listener->use();
        return;
    }
    // The failure the engine reports for the ignored response is not one to
    // tell: didCancelLoad holds until it comes (or the next load starts).
    m_didCancelLoad = true;
    m_cancelledForOffer = true;
    m_offered = true;
    listener->ignore();
    parts().offerSheets.offerResponse(request);
}

void VKWebBrowserController::clickedButton(ui::ActionSheet& sheet, int index)
{
    auto keep = sharedSelf();
    parts().offerSheets.clickedButton(sheet, index);
}

// --- Held links and images ----------------------------------------------------------

void VKWebBrowserController::elementActions(web::WebView&, const web::ElementInfo& info)
{
    if (m_webView)
        m_webView->showBrowserSheet(info);
}

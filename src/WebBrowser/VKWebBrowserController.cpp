#include "WebBrowser/VKWebBrowserController.h"

#include "Shell/Interface/ScreenAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/VKNavigationController.h"
#include "Kit/CSRegex.h"
#include "Kit/DateAdditions.h"
#include "Kit/MIMETypes.h"
#include "Kit/URLAdditions.h"
#include "Platform/Core/ASCII.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/PercentEscape.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UTF8.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Net/CredentialStorage.h"
#include "Platform/Net/URLError.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/Web/AuthenticationChallenge.h"
#include "Platform/Web/WebError.h"
#include "Platform/Web/WebPolicyListener.h"
#include "WebBrowser/VKBarButton.h"
#include "WebBrowser/VKWebBookmarks.h"
#include "WebBrowser/VKWebBrowserView.h"
#include "WebBrowser/VKWebDocumentTitle.h"
#include "WebBrowser/VKWebHistory.h"
#include "WebBrowser/VKWebLocationField.h"
#include "WebBrowser/VKWebTypedAddress.h"

#include <algorithm>

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

// Whether the engine's address of a failed load is the one asked for: the
// engine writes an empty path as "/", the host in lower case and no
// default port.
bool isSameAddress(const core::URL& a, const core::URL& b)
{
    if (a == b)
        return true;
    auto path = [](const core::URL& url) {
        std::string escaped = url.escapedPath();
        return escaped.empty() ? std::string("/") : escaped;
    };
    auto port = [](const core::URL& url) {
        return url.port().value_or(net::CredentialStorage::defaultPort(core::ascii::lowercased(url.scheme())));
    };
    return core::ascii::equalIgnoringCase(a.scheme(), b.scheme()) && core::ascii::equalIgnoringCase(a.host(), b.host())
        && port(a) == port(b) && path(a) == path(b) && a.hasQuery() == b.hasQuery() && a.query() == b.query();
}

// The request an offer's sheet carries to its choice.
class OfferedRequest : public core::Object {
public:
    explicit OfferedRequest(core::URLRequest request) : request(std::move(request)) { }
    core::URLRequest request;
};

} // namespace

std::shared_ptr<VKWebBrowserController> VKWebBrowserController::webBrowserController()
{
    return std::make_shared<VKWebBrowserController>();
}

VKWebBrowserController::VKWebBrowserController() = default;

VKWebBrowserController::~VKWebBrowserController()
{
    m_stateObservation.reset();
    cancelLoadingEnd();
    if (m_presentTimer)
        m_presentTimer->invalidate();
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

const std::set<std::string>& VKWebBrowserController::theStandardWebMIMETypes()
{
    static const std::set<std::string> types { "text/html", "application/xhtml+xml", "image/gif", "image/jpg",
        "image/jpeg", "image/png", "image/tiff" };
    return types;
}

std::string VKWebBrowserController::effectiveMIMEType(const std::string& mimeType, const core::URL& url)
{
    if (mimeType != "text/html")
        return mimeType;
    std::string name = core::path::lastPathComponent(url.path());
    if (core::path::pathExtension(name).empty())
        return mimeType;
    // A server that calls every file a page is overruled by the file's name.
    std::string byName = MIMEGetTypeForExtension(name);
    return byName.find('/') != std::string::npos ? byName : mimeType;
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
    m_navigationView->setDelegate(std::static_pointer_cast<VKWebNavigationViewDelegate>(self));
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

std::string VKWebBrowserController::searchHostPrefix()
{
    std::string host = core::ascii::lowercased(core::UserDefaults::standard()->stringForKey(SearchHostKey));
    if (auto url = core::URL::parse("http://" + host))
        host = url->host();
    size_t dot = host.rfind('.');
    return dot == std::string::npos ? host : host.substr(0, dot + 1);
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

// --- Bookmarks and the type-ahead list ---------------------------------------------

namespace {

// What shows of the browser's screens: its navigation controller's visible
// controller, else the deepest screen presented over it.
ui::ViewController* visibleController(ui::ViewController& browser)
{
    if (auto* navigation = browser.navigationController())
        return navigation->visibleViewController();
    ui::ViewController* visible = &browser;
    while (visible->modalViewController())
        visible = visible->modalViewController();
    if (auto* navigation = dynamic_cast<ui::NavigationController*>(visible))
        return navigation->visibleViewController();
    return visible;
}

ui::ViewController& presenter(ui::ViewController& browser)
{
    if (auto* navigation = browser.navigationController())
        return *navigation;
    return browser;
}

} // namespace

void VKWebBrowserController::showBookmarksViewController()
{
    if (m_navigationView)
        m_navigationView->cancelEditing();
    auto self = sharedSelf();
    auto list = VKWebBookmarksViewController::initWithBookmarksDelegate(
        std::static_pointer_cast<VKWebBookmarksViewControllerDelegate>(self));
    auto cancel = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Cancel);
    cancel->addTarget(self, "dismissBookmarksController", [this](ui::BarButtonItem&) { dismissBookmarksController(); });
    list->navigationItem().setLeftBarButtonItem(cancel);
    list->setAddCellEnabled(true);
    presentModalViewController(VKNavigationController::create(list), true);
}

void VKWebBrowserController::showAddBookmarkViewController()
{
    if (m_navigationView)
        m_navigationView->cancelEditing();
    ui::ViewController* list = presenter(*this).modalViewController();
    if (!list)
        return;
    auto self = sharedSelf();
    std::optional<core::URL> url = m_canonicalRequest ? std::optional(m_canonicalRequest->url()) : std::nullopt;
    auto form = VKWebAddBookmarkViewController::initWithURL(url,
        m_webView ? std::optional(documentTitle(*m_webView)) : std::nullopt);
    form->setAddBookmarkDelegate(std::static_pointer_cast<VKWebAddBookmarkViewControllerDelegate>(self));
    auto save = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Save);
    save->addTarget(self, "saveBookmark", [this](ui::BarButtonItem&) { saveBookmark(); });
    auto cancel = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Cancel);
    cancel->addTarget(self, "dismissBookmarksController", [this](ui::BarButtonItem&) { dismissBookmarksController(); });
    form->navigationItem().setRightBarButtonItem(save);
    form->navigationItem().setLeftBarButtonItem(cancel);
    list->presentModalViewController(VKNavigationController::create(form), true);
}

void VKWebBrowserController::saveBookmark()
{
    if (auto* form = dynamic_cast<VKWebAddBookmarkViewController*>(visibleController(*this)))
        VKWebBookmarks::sharedWebBookmarks()->addBookmark(form->bookmark());
    dismissBookmarksController();
}

void VKWebBrowserController::dismissBookmarksController()
{
    if (visibleController(*this) != this)
        presenter(*this).dismissModalViewController(true);
}

void VKWebBrowserController::dismissHistoryController()
{
    if (!m_historyController)
        return;
    auto list = std::exchange(m_historyController, nullptr);
    if (list->isViewLoaded())
        list->view()->removeFromSuperview();
}

void VKWebBrowserController::dismissAuthenticationController()
{
    if (m_presentTimer)
        m_presentTimer->invalidate();
    auto sheet = m_authenticationController.lock();
    m_authenticationController.reset();
    if (sheet) {
        // Only the sheet goes: a screen it was presented over (the
        // bookmarks) stays.
        ui::ViewController* shown = sheet->navigationController()
            ? static_cast<ui::ViewController*>(sheet->navigationController())
            : sheet.get();
        if (shown->presentingViewController() && !shown->modalViewController())
            shown->dismissModalViewController(true);
    }
    answerNextWaitingChallenge();
}

namespace {

// The screen to present over: the deepest one presented over the browser's
// stack (presenting from a screen that presents one already would throw).
ui::ViewController& deepestPresenter(ui::ViewController& browser)
{
    ui::ViewController* deepest = &presenter(browser);
    while (deepest->modalViewController())
        deepest = deepest->modalViewController();
    return *deepest;
}

} // namespace

void VKWebBrowserController::presentModalViewControllerAfterDelay(const std::shared_ptr<ui::ViewController>& controller,
    double delay)
{
    if (m_presentTimer)
        m_presentTimer->invalidate();
    std::weak_ptr<VKWebBrowserController> weak = sharedSelf();
    m_presentTimer = core::RunLoop::main().schedule(delay, false, [weak, controller](core::Timer&) {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_presentTimer.reset();
        if (!controller->presentingViewController())
            deepestPresenter(*self).presentModalViewController(controller, true);
    });
}

void VKWebBrowserController::webHistorySearchControllerDidSelectHistoryURL(VKWebHistorySearchController&,
    const core::URL& url)
{
    auto keep = sharedSelf();
    if (m_navigationView->isSearching()) {
        performWebSearchWithText(url.absoluteString());
    } else {
        m_navigationView->locationField().setURL(url);
        loadRequest(core::URLRequest(url));
    }
    endFieldEditing();
}

void VKWebBrowserController::webHistorySearchControllerCancelled(VKWebHistorySearchController&)
{
    endFieldEditing();
}

void VKWebBrowserController::endFieldEditing()
{
    if (m_navigationView)
        m_navigationView->cancelEditing();
}

void VKWebBrowserController::webBookmarksViewControllerDidSelectURL(VKWebBookmarksViewController&,
    const std::optional<core::URL>& url)
{
    auto keep = sharedSelf();
    dismissBookmarksController();
    if (url) {
        view();
        m_navigationView->locationField().setURL(*url);
        loadRequest(core::URLRequest(*url));
    }
}

void VKWebBrowserController::webBookmarksViewControllerDidSelectAddBookmark(VKWebBookmarksViewController&)
{
    showAddBookmarkViewController();
}

void VKWebBrowserController::webBookmarksViewControllerDidCancel(VKWebBookmarksViewController&)
{
    dismissBookmarksController();
}

void VKWebBrowserController::webAddBookmarkViewControllerDidAccept(VKWebAddBookmarkViewController&)
{
    saveBookmark();
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
    m_endedURL.reset();
    setNetworkActivity(true);
    auto& bar = *m_navigationView;
    float top = scroller().bounds().y();
    gfx::Rect frame = bar.frame();
    if (top > VKWebNavigationView::DefaultHeight && frame.y() != top) {
        // The bar comes down into sight from just above what shows.
        ui::ViewAnimation::performWithoutAnimation([&] {
            bar.setFrame({ frame.x(), top - VKWebNavigationView::DefaultHeight, frame.width(), frame.height() });
        });
        ui::ViewAnimation::begin(LoadingAnimation);
        ui::ViewAnimation::setCurve(ui::ViewAnimation::Curve::EaseOut);
        bar.setFrame({ frame.x(), top, frame.width(), frame.height() });
        ui::ViewAnimation::commit();
    }
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
    if (success && url && !core::ascii::equalIgnoringCase(title, "404 not found"))
        VKWebHistory::sharedWebHistory()->addURL(*url, title);
    m_endedURL = url;
    if (success)
        m_shownURL = url;
    else if (m_offered)
        // The offered file never showed: the page before stays.
        url = m_shownURL;
    m_endedWell = success;
    auto& bar = *m_navigationView;
    bar.titleLabel().setText(title);
    bar.setSecure(url && isSecureScheme(url->scheme()));
    updateBackForwardControls();
    if (!bar.locationField().isEditing() && url && !url->absoluteString().empty())
        bar.locationField().setURL(url);
    cancelLoadingEnd();
    std::weak_ptr<VKWebBrowserController> weak = sharedSelf();
    m_loadingEndTimer = core::RunLoop::main().schedule(LoadingEndDelay, false, [weak](core::Timer&) {
        if (auto self = weak.lock())
            self->handleLoadingDidEnd();
    });
}

void VKWebBrowserController::titleDidChange()
{
    // The engine may tell a page's title only after its load ended.
    if (!m_endedURL || !m_webView || !m_navigationView || !m_webView->request()
        || !(m_webView->request()->url() == *m_endedURL))
        return;
    std::string title = documentTitle(*m_webView);
    m_navigationView->titleLabel().setText(title);
    if (!m_endedWell)
        return;
    auto history = VKWebHistory::sharedWebHistory();
    if (!core::ascii::equalIgnoringCase(title, "404 not found")) {
        history->addURL(*m_endedURL, title);
        return;
    }
    core::Date midnight = dateAtMidnightToday();
    for (const auto& item : history->allItems())
        if (item.URL == m_endedURL->absoluteString() && !(item.date < midnight))
            history->removeItem(item);
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
    if (!m_navigationView)
        return;
    auto& bar = *m_navigationView;
    gfx::Rect frame = bar.frame();
    if (frame.y() <= 0)
        return;
    if (animated) {
        ui::ViewAnimation::begin(MoveToTopAnimation);
        ui::ViewAnimation::setCurve(ui::ViewAnimation::Curve::EaseIn);
        ui::ViewAnimation::setDuration(std::min(1.0, frame.y() * 0.2 / VKWebNavigationView::DefaultHeight));
    }
    bar.setFrame({ frame.x(), 0, frame.width(), frame.height() });
    if (animated)
        ui::ViewAnimation::commit();
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
    std::optional<core::URL> failing;
    auto found = error.userInfo().find(net::URLError::FailingURLKey);
    if (found != error.userInfo().end() && found->second.isString())
        failing = core::URL::parse(found->second.toString());

    ui::ViewController* visible = visibleController(*this);
    bool covered = visible != this;
    bool urlDomain = error.domain() == net::URLErrorDomain;
    if (std::exchange(m_cancelledForOffer, false)) {
        // The failure of a response offered instead of shown.
        m_didCancelLoad = false;
        handleWebViewLoadEndWithSuccess(false);
        return;
    }
    if (m_didCancelLoad || covered || (urlDomain && error.code() == net::URLError::Cancelled)
        || (m_canonicalRequest && failing && !isSameAddress(*failing, m_canonicalRequest->url()))) {
        handleWebViewLoadEndWithSuccess(false);
        return;
    }

    if (urlDomain && error.code() == net::URLError::CannotFindHost && failing) {
        std::string host = failing->host();
        bool hasDomain = matchedByPattern(host, "\\.[a-z]{2,}$", CSRegex::IgnoreCase);
        if (!hasDomain && failing->path().size() < 2 && !failing->port() && failing->query().empty()) {
            // A single word: the same scheme and host with ".com", once.
            if (auto retry = core::URL::parse(failing->scheme() + "://" + host + ".com")) {
                loadRequest(core::URLRequest(*retry));
                return;
            }
        } else {
            std::string prefix = searchHostPrefix();
            if (!(!prefix.empty() && core::ascii::lowercased(host).starts_with(prefix))
                && performWebSearchWithText(m_navigationView->locationField().text()))
                return;
        }
    }

    std::string title;
    std::optional<std::string> message;
    if (urlDomain || error.domain() == web::WebError::Domain) {
        title = failing ? failing->host() : std::string();
        if (m_canonicalRequest && isOpenRequest(*m_canonicalRequest)) {
            if (error.code() == web::WebError::CannotShowMIMEType) {
                message = core::localized("Failed to open URL", "WebBrowser");
            } else if (error.code() == web::WebError::FrameLoadInterruptedByPolicyChange) {
                return;
            } else {
                handleWebViewLoadEndWithSuccess(false);
                return;
            }
        } else if (error.code() == web::WebError::FrameLoadInterruptedByPolicyChange) {
            message = core::localized("Page load failed", "WebBrowser");
        } else {
            message = error.localizedDescription();
        }
    } else {
        title = core::localized("Load Error", "WebBrowser");
        message = error.localizedDescription();
    }
    if (message)
        showAlert(title, *message);
    handleWebViewLoadEndWithSuccess(false);
}

// --- The bar's field -------------------------------------------------------------

void VKWebBrowserController::navigationFieldDidBeginEditing(ui::TextField& field, bool isSearch)
{
    if (isSearch) {
        field.setText(m_lastSearchQuery);
    } else {
        auto& location = m_navigationView->locationField();
        location.setText(location.URL() ? location.URL()->absoluteString() : std::string());
    }
    auto& scroll = scroller();
    gfx::Rect bounds = scroll.bounds();
    ui::ViewAnimation::begin(ScrollToTopAnimation);
    scroll.setBounds({ bounds.x(), 0, bounds.width(), bounds.height() });
    ui::ViewAnimation::commit();
    scroll.setScrollEnabled(false);
    if (!m_historyController) {
        m_historyController = VKWebHistorySearchController::create();
        m_historyController->setHistoryDelegate(std::static_pointer_cast<VKWebHistorySearchControllerDelegate>(sharedSelf()));
        m_historyController->setFullscreen(true);
        gfx::Rect area = m_webView->bounds();
        area.origin.y += VKWebNavigationView::DefaultHeight;
        area.size.height = std::max(0.f, area.height() - VKWebNavigationView::DefaultHeight);
        auto list = m_historyController->view();
        list->setFrame(area);
        list->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        m_webView->addSubview(list);
    }
}

void VKWebBrowserController::navigationFieldWillChangeText(ui::TextField&, const std::string& text, bool)
{
    if (m_historyController)
        m_historyController->setItemFilter(text);
}

void VKWebBrowserController::navigationFieldDidAcceptEditing(ui::TextField& field, bool isSearch)
{
    auto keep = sharedSelf();
    auto& location = m_navigationView->locationField();
    std::string text = field.text();
    if (text.empty() && &field == &location) {
        restoreLocationFieldURL();
        return;
    }
    if (isSearch) {
        m_lastSearchQuery = text;
        performWebSearchWithText(text);
        return;
    }
    auto url = VKWebURLFromTypedAddress(text);
    if (!url) {
        if (!performWebSearchWithText(text))
            showAlert(core::localized("Load Error", "WebBrowser"), "");
        return;
    }
    location.setURL(*url);
    if (m_webView->request() && m_webView->request()->url() == *url)
        return;
    loadRequest(core::URLRequest(*url));
}

void VKWebBrowserController::navigationFieldDidEndEditing(ui::TextField&)
{
    auto keep = sharedSelf();
    bool loading = m_webView->isLoading();
    if (!loading)
        restoreLocationFieldURL();
    scroller().setScrollEnabled(true);
    dismissHistoryController();
    if (!loading)
        moveNavigationViewToTopAnimated(true);
}

// --- Sign-ins ---------------------------------------------------------------------

void VKWebBrowserController::didReceiveAuthenticationChallenge(web::WebView&,
    const std::shared_ptr<web::AuthenticationChallenge>& challenge)
{
    if (challenge->previousFailureCount() >= MaximumAuthenticationFailures) {
        challenge->continueWithoutCredential();
        return;
    }
    const auto& proposed = challenge->proposedCredential();
    if (proposed && !proposed->password.empty() && challenge->previousFailureCount() == 0) {
        challenge->useCredential(*proposed, web::AuthenticationChallenge::Persistence::ForSession);
        return;
    }
    // A sheet shown or on its way keeps its challenge: this one waits.
    if (m_authenticationController.lock()) {
        m_waitingChallenges.push_back(challenge);
        return;
    }
    presentAuthenticationSheet(challenge, presenter(*this).modalViewController() || m_viewTransitionActive);
}

void VKWebBrowserController::presentAuthenticationSheet(const std::shared_ptr<web::AuthenticationChallenge>& challenge,
    bool delayed)
{
    auto self = sharedSelf();
    auto sheet = VKWebAuthenticationController::initWithAuthenticationChallenge(challenge,
        std::static_pointer_cast<VKWebAuthenticationControllerDelegate>(self));
    m_authenticationController = sheet;
    auto navigation = VKNavigationController::create(sheet);
    if (delayed)
        presentModalViewControllerAfterDelay(navigation, AuthenticationPresentDelay);
    else
        presenter(*this).presentModalViewController(navigation, true);
}

void VKWebBrowserController::answerNextWaitingChallenge()
{
    if (m_authenticationController.lock())
        return;
    // What the sheet before stored answers the waiting challenges of its
    // place that nothing failed for yet; the engine's dropped ones go.
    std::vector<std::pair<std::shared_ptr<web::AuthenticationChallenge>, web::AuthenticationChallenge::Credential>> answered;
    std::erase_if(m_waitingChallenges, [&](const std::shared_ptr<web::AuthenticationChallenge>& challenge) {
        if (challenge->isAnswered() || challenge->isCancelled())
            return true;
        if (challenge->previousFailureCount() != 0)
            return false;
        auto stored = net::CredentialStorage::shared().credential(
            web::AuthenticationChallenge::storageSpace(challenge->protectionSpace()));
        if (!stored || stored->password.empty())
            return false;
        answered.emplace_back(challenge, *stored);
        return true;
    });
    for (const auto& [challenge, credential] : answered)
        challenge->useCredential(credential, web::AuthenticationChallenge::Persistence::ForSession);
    if (m_authenticationController.lock())
        return;
    if (m_waitingChallenges.empty())
        return;
    auto next = m_waitingChallenges.front();
    m_waitingChallenges.pop_front();
    // The sheet before is still on its way out.
    presentAuthenticationSheet(next, true);
}

void VKWebBrowserController::didCancelAuthenticationChallenge(web::WebView&,
    const std::shared_ptr<web::AuthenticationChallenge>& challenge)
{
    auto keep = sharedSelf();
    std::erase(m_waitingChallenges, challenge);
    handleWebViewLoadEndWithSuccess(false);
}

void VKWebBrowserController::webAuthenticationControllerDidEnd(VKWebAuthenticationController& sheet)
{
    auto keep = sharedSelf();
    if (const auto& challenge = sheet.challenge())
        challenge->useCredential({ sheet.username(), sheet.password() },
            web::AuthenticationChallenge::Persistence::ForSession);
    m_authenticationController = std::static_pointer_cast<VKWebAuthenticationController>(sheet.shared_from_this());
    dismissAuthenticationController();
}

void VKWebBrowserController::webAuthenticationControllerDidCancel(VKWebAuthenticationController& sheet)
{
    auto keep = sharedSelf();
    m_didCancelLoad = true;
    if (const auto& challenge = sheet.challenge())
        challenge->cancel();
    m_authenticationController = std::static_pointer_cast<VKWebAuthenticationController>(sheet.shared_from_this());
    dismissAuthenticationController();
}

// --- Responses the browser does not show ------------------------------------------

void VKWebBrowserController::decidePolicyForResponse(web::WebView&, const core::HTTPURLResponse& response,
    const core::URLRequest& request, const std::shared_ptr<web::WebPolicyListener>& listener)
{
    std::string type = effectiveMIMEType(response.mimeType(), request.url());
    // The engine hands back the page's request without the app's marks: the
    // load the web view runs carries them.
    bool open = isOpenRequest(request)
        || (m_webView && m_webView->isLoading() && m_webView->request() && isOpenRequest(*m_webView->request()));
    if (theStandardWebMIMETypes().count(type) || open) {
        listener->use();
        return;
    }
    // The failure the engine reports for the ignored response is not one to
    // tell: didCancelLoad holds until it comes (or the next load starts).
    m_didCancelLoad = true;
    m_cancelledForOffer = true;
    m_offered = true;
    listener->ignore();
    offerResponse(request);
}

void VKWebBrowserController::offerResponse(const core::URLRequest& request)
{
    ui::View* host = navigationController() ? navigationController()->view().get() : view().get();
    if (!host || !host->window()) {
        core::log("VKWebBrowserController: no window to offer {} in", request.url().absoluteString());
        return;
    }
    auto sheet = VKActionSheet::create(request.url().absoluteString(),
        std::static_pointer_cast<ui::ActionSheetDelegate>(sharedSelf()), core::localized("Cancel"), std::nullopt,
        { core::localized("Open"), core::localized("Download") });
    sheet->setTag(MIMETypeSheetTag);
    sheet->setUserInfo(core::Value(std::make_shared<OfferedRequest>(request)));
    sheet->showInView(*host);
}

void VKWebBrowserController::clickedButton(ui::ActionSheet& sheet, int index)
{
    auto keep = sharedSelf();
    if (sheet.tag() == LinkSheetTag)
        linkSheetClickedButton(sheet, index);
    else if (sheet.tag() == MIMETypeSheetTag)
        MIMETypeSheetClickedButton(sheet, index);
}

void VKWebBrowserController::MIMETypeSheetClickedButton(ui::ActionSheet& sheet, int index)
{
    auto* offer = dynamic_cast<VKActionSheet*>(&sheet);
    auto offered = offer ? offer->userInfo().objectAs<OfferedRequest>() : nullptr;
    if (!offered)
        return;
    if (index == sheet.cancelButtonIndex()) {
        handleWebViewLoadEndWithSuccess(false);
    } else if (index == 0) {
        core::URLRequest request = offered->request;
        setMutableRequestIsOpen(request);
        // The resource is asked for again as the page's own, not as a
        // link from the page that offered it.
        if (request.header("Referer"))
            request.setHeader("Referer", "");
        loadRequest(request);
    } else if (index == 1) {
        startDownloadWithRequest(offered->request);
    }
}

// --- Held links and images ----------------------------------------------------------

void VKWebBrowserController::elementActions(web::WebView&, const web::ElementInfo& info)
{
    if (m_webView)
        m_webView->showBrowserSheet(info);
}

void VKWebBrowserController::linkSheetClickedButton(ui::ActionSheet& sheet, int index)
{
    auto url = core::URL::parse(sheet.title());
    bool download = index >= 0 && index < sheet.numberOfButtons()
        && sheet.buttonTitle(index) == core::localized("Download");
    bool handled = false;
    if (index == 0 && url) {
        core::URLRequest request(*url);
        setMutableRequestIsOpen(request);
        loadRequest(request);
        handled = true;
    } else if (download) {
        if (url)
            startDownloadWithRequest(core::URLRequest(*url));
        else
            core::log("Warning, nil URL for download: {}", sheet.title());
        handled = true;
    }
    if (m_webView)
        m_webView->actOnBrowserSheet(handled ? sheet.cancelButtonIndex() : index);
}

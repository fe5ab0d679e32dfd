#include "Platform/Web/WebView.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Net/URLError.h"
#include "Platform/UI/LongPressGestureRecognizer.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/LivePlace.h"
#include "Platform/Web/WebDialogView.h"
#include "Platform/Web/WebDocumentView.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebError.h"
#include "Platform/Web/WebPage.h"
#include "Platform/Web/WebPolicyListener.h"
#include "Platform/Web/WebPrintFormatter.h"
#include "Platform/Web/WebSnapshot.h"
#include "Platform/Web/WebViewDelegate.h"
#include "Platform/Web/WebViewPlacement.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace web {

namespace {

bool isKnownScheme(const std::string& scheme)
{
    static const char* const known[] = { "http", "https", "file", "about", "data", "blob" };
    return std::any_of(std::begin(known), std::end(known),
        [&](const char* name) { return core::ascii::equalIgnoringCase(scheme, name); });
}

// The path with its links resolved as far as it exists, so that a link in
// the home cannot lead out of it.
std::string resolvedPath(const std::string& path)
{
    std::string standardized = core::path::standardizingPath(path);
    std::string existing = standardized;
    std::string rest;
    while (!existing.empty() && existing != "/") {
        if (char* real = realpath(existing.c_str(), nullptr)) {
            std::string result = std::string(real) + rest;
            std::free(real);
            return result;
        }
        size_t slash = existing.rfind('/');
        rest = existing.substr(slash) + rest;
        existing = slash == 0 ? "/" : existing.substr(0, slash);
    }
    return standardized;
}

} // namespace

class WebView::RecognizerDelegate : public ui::GestureRecognizerDelegate {
public:
    // The view's taps and presses never keep the app's own recognizers out.
    bool shouldRecognizeSimultaneously(ui::GestureRecognizer&, ui::GestureRecognizer&) override { return true; }
};

// The web view's scroll view: every change of its bounds is put to the web
// view before it is made, and told after.
class WebView::HookedScrollView : public ui::ScrollView {
public:
    explicit HookedScrollView(WebView* owner)
        : m_owner(owner)
    {
    }
    void forgetOwner() { m_owner = nullptr; }

    void setContentOffset(gfx::Point offset) override
    {
        gfx::Rect to = bounds();
        to.origin = offset;
        change(to, [&] { ScrollView::setContentOffset(offset); });
    }
    void setBounds(const gfx::Rect& bounds) override
    {
        change(bounds, [&] { ScrollView::setBounds(bounds); });
    }
    void setFrame(const gfx::Rect& frame) override
    {
        change({ bounds().origin, frame.size }, [&] { ScrollView::setFrame(frame); });
    }

private:
    template<typename Apply> void change(const gfx::Rect& to, Apply apply)
    {
        gfx::Rect from = bounds();
        if (m_changing || !m_owner || to == from) {
            apply();
            return;
        }
        if (!m_owner->scrollViewShouldChangeBounds(to))
            return;
        m_changing = true;
        apply();
        m_changing = false;
        if (m_owner && bounds() != from)
            m_owner->scrollViewDidChangeBounds(bounds());
    }

    WebView* m_owner;
    bool m_changing = false;
};

std::shared_ptr<WebView> WebView::create(const gfx::Rect& frame)
{
    return View::make<WebView>(frame);
}

WebView::WebView()
    : m_scrollView(View::make<HookedScrollView>({}, this))
    , m_documentView(std::make_shared<WebDocumentView>())
    , m_recognizerDelegate(std::make_shared<RecognizerDelegate>())
{
    setBackgroundColor(gfx::Color::white(1));
    setAutoresizesSubviews(true);
    m_scrollView->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    m_scrollView->setBackgroundColor(gfx::Color::white(1));
    m_scrollView->addSubview(m_documentView);
    addSubview(m_scrollView);
    m_offsetObservation = m_scrollView->observeContentOffset(
        [this](const gfx::Point&, const gfx::Point& offset) { contentOffsetChanged(offset); });
}

WebView::~WebView()
{
    m_offsetObservation.reset();
    static_cast<HookedScrollView&>(*m_scrollView).forgetOwner();
    if (m_page)
        m_page->setClient({});
}

std::shared_ptr<WebView> WebView::sharedSelf()
{
    return std::static_pointer_cast<WebView>(shared_from_this());
}

WebPage& WebView::page()
{
    if (!m_page) {
        m_page = WebEngine::current()->makePage();
        auto self = sharedSelf();
        m_page->setClient(std::shared_ptr<WebPageClient>(self, static_cast<WebPageClient*>(this)));
        m_page->setUserAgent(userAgent());
        if (m_fileFolders)
            applyFileFolders();
        m_pageSize = {};
        m_pageScale = 0;
        m_appliedZoom = 0;
        updateGeometry();
        auto press = ui::LongPressGestureRecognizer::create();
        press->setDelegate(m_recognizerDelegate);
        press->addTarget(self, "webViewLongPressed", [this](ui::GestureRecognizer& recognizer) { longPressed(recognizer); });
        m_scrollView->addGestureRecognizer(press);
        // A press held long enough is a long press, never also a click.
        auto tap = ui::TapGestureRecognizer::create();
        tap->setCancelsTouchesInView(false);
        tap->setDelegate(m_recognizerDelegate);
        tap->requireToFail(press);
        tap->addTarget(self, "webViewTapped", [this](ui::GestureRecognizer& recognizer) { tapped(recognizer); });
        m_scrollView->addGestureRecognizer(tap);
    }
    return *m_page;
}

ui::View& WebView::documentView() const
{
    return *m_documentView;
}

gfx::Rect WebView::documentViewFrame() const
{
    gfx::Size content = m_scrollView->contentSize();
    return { 0, m_documentTop, content.width, std::max(0.f, content.height - m_documentTop) };
}

void WebView::setDocumentViewFrame(const gfx::Rect& frame)
{
    float top = frame.y();
    if (!std::isfinite(top) || top < 0)
        top = 0;
    m_documentTop = top;
    gfx::Size page = frame.size;
    if (!std::isfinite(page.width) || !std::isfinite(page.height))
        page = {};
    m_scrollView->setContentSize({ std::max(0.f, page.width), std::max(0.f, page.height) + top });
    placeDocument();
}

void WebView::placeDocument()
{
    if (auto& snapshot = m_documentView->snapshot())
        m_documentView->setFrame({ gfx::Point { snapshot->offset().x, snapshot->offset().y + m_documentTop }, snapshot->size() });
    if (m_placement && window())
        setNeedsLayout();
}

std::optional<gfx::Point> WebView::pagePoint(gfx::Point pointInView) const
{
    float pageTop = std::max(0.f, m_documentTop - m_scrollView->contentOffset().y);
    if (pointInView.y < pageTop)
        return std::nullopt;
    return gfx::Point(pointInView.x, pointInView.y - pageTop);
}

std::optional<core::URL> WebView::url() const
{
    std::string text = m_state.get().url;
    if (text.empty())
        return std::nullopt;
    return core::URL::parse(text);
}

bool WebView::isReadableFile(const std::string& path)
{
    std::string file = resolvedPath(path);
    std::string home = core::paths::home();
    if (!home.empty() && core::path::isWithin(file, resolvedPath(home)))
        return true;
    auto bundle = core::Bundle::main();
    return bundle && !bundle->bundlePath().empty() && core::path::isWithin(file, resolvedPath(bundle->bundlePath()));
}

std::optional<core::Error> WebView::refusal(const core::URL& url) const
{
    if (!isKnownScheme(url.scheme()))
        return net::URLError::make(net::URLError::UnsupportedURL, url);
    if (url.isFileURL() && !isReadableFile(url.filePath()))
        return net::URLError::make(net::URLError::NoPermissionsToReadFile, url);
    return std::nullopt;
}

std::optional<core::Error> WebView::loadRefusal(const core::URL& url) const
{
    if (auto refused = refusal(url))
        return refused;
    if (url.isFileURL() && m_fileFolders) {
        std::string file = resolvedPath(url.filePath());
        bool inside = std::any_of(m_fileFolders->begin(), m_fileFolders->end(),
            [&](const std::string& folder) { return core::path::isWithin(file, resolvedPath(folder)); });
        if (!inside)
            return net::URLError::make(net::URLError::NoPermissionsToReadFile, url);
    }
    return std::nullopt;
}

void WebView::setFileFolders(std::optional<std::vector<std::string>> folders)
{
    m_fileFolders = std::move(folders);
    if (m_page)
        applyFileFolders();
}

void WebView::applyFileFolders()
{
    if (!m_fileFolders) {
        m_page->setFileFolders(std::nullopt);
        return;
    }
    // Pages name files by the paths they were loaded from, links unresolved:
    // each folder counts under both its written and its real path.
    std::vector<std::string> folders;
    for (const auto& folder : *m_fileFolders) {
        for (std::string path : { core::path::standardizingPath(folder), resolvedPath(folder) }) {
            if (std::find(folders.begin(), folders.end(), path) == folders.end())
                folders.push_back(path);
        }
    }
    m_page->setFileFolders(folders);
}

void WebView::failSoon(const core::Error& error)
{
    std::weak_ptr<WebView> weak = sharedSelf();
    core::RunLoop::main().post([weak, error] {
        auto self = weak.lock();
        if (!self)
            return;
        if (auto delegate = self->delegate())
            delegate->didFailLoad(*self, error);
    });
}

void WebView::loadRequest(const core::URLRequest& request)
{
    if (auto refused = loadRefusal(request.url())) {
        failSoon(*refused);
        return;
    }
    auto& engine = page();
    m_approved.reset();
    m_appRequest = std::make_pair(engine.normalizedURL(request.url().absoluteString()), request);
    engine.loadRequest(request);
    m_loadTimeout.start(request, m_appRequest->first);
}

void WebView::loadApproved(const core::URLRequest& request)
{
    if (auto refused = loadRefusal(request.url())) {
        failSoon(*refused);
        return;
    }
    auto& engine = page();
    m_appRequest.reset();
    m_approved = std::make_pair(engine.normalizedURL(request.url().absoluteString()), request);
    engine.loadRequest(request);
    m_loadTimeout.start(request, m_approved->first);
}

void WebView::loadTimedOut(const core::Error& error)
{
    m_loadActive = false;
    m_allowed.clear();
    page().stopLoading();
    if (auto delegate = this->delegate())
        delegate->didFailLoad(*this, error);
}

void WebView::loadHTMLString(std::string_view html, const std::optional<core::URL>& baseURL)
{
    if (baseURL) {
        if (auto refused = refusal(*baseURL)) {
            failSoon(*refused);
            return;
        }
    }
    m_appRequest.reset();
    m_loadTimeout.stop();
    page().loadHTML(std::string(html), baseURL ? baseURL->absoluteString() : std::string());
}

void WebView::loadData(const core::Data& data, std::string_view mimeType, std::string_view textEncodingName,
    const std::optional<core::URL>& baseURL)
{
    if (baseURL) {
        if (auto refused = refusal(*baseURL)) {
            failSoon(*refused);
            return;
        }
    }
    m_appRequest.reset();
    m_loadTimeout.stop();
    std::string encoding(textEncodingName);
    if (encoding.empty() && mimeType.substr(0, 5) == "text/")
        encoding = "UTF-8";
    page().loadData(data, std::string(mimeType), encoding, baseURL ? baseURL->absoluteString() : std::string());
}

void WebView::stopLoading()
{
    m_loadTimeout.stop();
    page().stopLoading();
}

void WebView::reload()
{
    page().reload();
}

void WebView::goBack()
{
    page().goBack();
}

void WebView::goForward()
{
    page().goForward();
}

void WebView::setScalesPageToFit(bool scales)
{
    if (m_scalesPageToFit == scales)
        return;
    m_scalesPageToFit = scales;
    m_fitZoom = 1;
    applyZoom();
}

void WebView::setZoomLevel(double level)
{
    if (!(level > 0) || !std::isfinite(level))
        return;
    m_zoomLevel = level;
    applyZoom();
}

void WebView::applyZoom()
{
    if (!m_page)
        return;
    double zoom = pageZoom();
    if (zoom == m_appliedZoom)
        return;
    m_appliedZoom = zoom;
    m_page->setPageZoom(zoom);
}

void WebView::evaluateJavaScript(std::string_view script, ScriptCompletion completion)
{
    page().evaluateJavaScript(std::string(script), std::move(completion));
}

std::shared_ptr<WebPrintFormatter> WebView::printFormatter()
{
    return WebPrintFormatter::create(sharedSelf());
}

void WebView::printToPDF(const std::string& path, std::function<void(const core::Error* error)> completion)
{
    page().printToPDF(path, std::move(completion));
}

std::string WebView::userAgent() const
{
    if (!m_customUserAgent.empty())
        return m_customUserAgent;
    std::string agent = m_page ? m_page->defaultUserAgent() : WebEngine::current()->defaultUserAgent();
    if (auto bundle = core::Bundle::main()) {
        std::string name = bundle->objectForInfoDictionaryKey("CFBundleName").toString();
        std::string version = bundle->objectForInfoDictionaryKey("CFBundleShortVersionString").toString();
        if (bundle->objectForInfoDictionaryKey("CFBundleName").isString()
            && bundle->objectForInfoDictionaryKey("CFBundleShortVersionString").isString())
            agent += " " + name + "/" + version;
    }
    return agent;
}

void WebView::setCustomUserAgent(std::string userAgent)
{
    m_customUserAgent = std::move(userAgent);
    if (m_page)
        m_page->setUserAgent(this->userAgent());
}

void WebView::updateSnapshot(std::function<void()> completion)
{
    page().updateSnapshot(std::move(completion));
}

void WebView::setFrame(const gfx::Rect& frame)
{
    View::setFrame(frame);
    updateGeometry();
}

void WebView::setBounds(const gfx::Rect& bounds)
{
    View::setBounds(bounds);
    updateGeometry();
}

void WebView::didMoveToWindow()
{
    View::didMoveToWindow();
    if (window())
        page(); // shown: the page exists, with the view's size, taps and presses
    auto placement = window() ? WebViewPlacement::placementFor(*window()) : nullptr;
    if (placement == m_placement)
        return;
    if (m_placement && m_page)
        m_page->detach();
    m_placement = placement;
    if (m_placement && !page().attach(m_placement))
        m_placement.reset();
    m_windowSubviewsObservation.reset();
    if (m_placement) {
        std::weak_ptr<WebView> weak = sharedSelf();
        m_windowSubviewsObservation = core::NotificationCenter::defaultCenter().observe(
            ui::Window::subviewsDidChangeNotification, window()->shared_from_this(), [weak](const core::Notification&) {
                if (auto self = weak.lock())
                    self->setNeedsLayout();
            });
        m_placement->setClickHandler([weak](gfx::Point windowPoint, int clicks) {
            if (auto self = weak.lock())
                self->liveClicked(windowPoint, clicks);
        });
        m_placement->setPlaceRequest([weak] {
            if (auto self = weak.lock(); self && self->m_placement && self->window())
                self->placeLive();
        });
        m_placement->setSnapshotRequest([weak](std::function<void()> done) {
            if (auto self = weak.lock())
                self->updateSnapshot(std::move(done));
        });
    }
    setNeedsLayout();
}

void WebView::liveClicked(gfx::Point windowPoint, int clicks)
{
    // The tap recognizers of this view and its ancestors (the view's own,
    // which would click the page again, sit on its scroll view).
    std::vector<std::shared_ptr<ui::TapGestureRecognizer>> taps;
    for (View* view = this; view; view = view->superview()) {
        for (const auto& recognizer : view->gestureRecognizers()) {
            if (auto tap = std::dynamic_pointer_cast<ui::TapGestureRecognizer>(recognizer))
                taps.push_back(tap);
        }
    }
    for (const auto& tap : taps)
        tap->recognizeClick(windowPoint, clicks);
}

void WebView::layoutSubviews()
{
    m_scrollView->setFrame(bounds());
    updateGeometry();
    if (m_placement && window())
        placeLive();
}

void WebView::placeLive()
{
    m_placement->follow(LivePlace::of(*this));
}

void WebView::updateGeometry()
{
    if (!m_page)
        return;
    gfx::Size size = bounds().size;
    float scale = gfx::Screen::main().scale();
    if (size == m_pageSize && scale == m_pageScale)
        return;
    bool widthChanged = size.width != m_pageSize.width;
    m_pageSize = size;
    m_pageScale = scale;
    m_page->setGeometry(size, scale);
    if (m_scalesPageToFit && widthChanged) {
        m_fitZoom = 1;
        applyZoom();
    }
    applyZoom();
}

// --- The engine's reports ---------------------------------------------------

void WebView::pageNavigation(const PageNavigation& navigation)
{
    core::URLRequest request = navigation.request;
    const std::string address = request.url().absoluteString();
    bool preapproved = false;
    if (!navigation.isNewWindow && !navigation.isRedirect && navigation.type == NavigationType::Other) {
        if (m_approved && m_approved->first == address) {
            request = m_approved->second;
            preapproved = true;
            m_approved.reset();
        } else if (m_appRequest && m_appRequest->first == address) {
            request = m_appRequest->second;
            m_appRequest.reset();
        }
    }
    // The delegate hears of every navigation, also to places the engine
    // never goes (a "mailto:" link is the app's to handle); what it allows
    // there fails as a load the app asked for would.
    auto delegate = this->delegate();
    bool allowed = preapproved || !delegate || delegate->shouldStartLoad(*this, request, navigation.type);
    if (auto refused = allowed ? refusal(request.url()) : std::nullopt) {
        page().answerNavigation(navigation.decision, false);
        if (delegate)
            delegate->didFailLoad(*this, *refused);
        return;
    }
    if (navigation.isNewWindow) {
        page().answerNavigation(navigation.decision, false);
        if (!allowed)
            return;
        std::shared_ptr<WebView> target = delegate ? delegate->createWebView(*this, request) : nullptr;
        (target ? target : sharedSelf())->loadApproved(request);
        return;
    }
    if (allowed)
        m_allowed[address] = request;
    page().answerNavigation(navigation.decision, allowed);
}

void WebView::pageDidStartLoad(const std::string& url)
{
    auto allowed = m_allowed.find(url);
    if (allowed != m_allowed.end()) {
        m_request = allowed->second;
        m_allowed.erase(allowed);
    } else if (auto parsed = core::URL::parse(url)) {
        m_request = core::URLRequest(*parsed);
    }
    // Another page, or a redirect: the timed request had its answer or
    // will not have one.
    m_loadTimeout.loadStarted(url);
    if (m_loadActive)
        return; // a redirect of the running load
    m_loadActive = true;
    m_newPage = true;
    // The page that had the focused field goes.
    pageEditingFocus(false);
    if (m_scalesPageToFit && m_fitZoom != 1) {
        m_fitZoom = 1;
        applyZoom();
    }
    if (auto delegate = this->delegate())
        delegate->didStartLoad(*this);
}

void WebView::pageDidFinishLoad()
{
    m_loadTimeout.stop();
    if (!std::exchange(m_loadActive, false))
        return;
    m_allowed.clear();
    if (auto delegate = this->delegate())
        delegate->didFinishLoad(*this);
}

void WebView::pageDidFailLoad(const core::Error& error)
{
    m_loadTimeout.stop();
    if (!std::exchange(m_loadActive, false))
        return;
    m_allowed.clear();
    if (auto delegate = this->delegate())
        delegate->didFailLoad(*this, error);
}

void WebView::pageResponse(const PageResponse& response)
{
    m_loadTimeout.stop(); // the main document answered
    std::weak_ptr<WebPage> weakPage = m_page;
    uint64_t decision = response.decision;
    auto listener = std::make_shared<WebPolicyListener>(
        [weakPage, decision](bool use) {
            if (auto page = weakPage.lock())
                page->answerResponse(decision, use);
        },
        response.canShow);
    if (auto delegate = this->delegate())
        delegate->decidePolicyForResponse(*this, response.response, response.request, listener);
}

void WebView::pageChallenge(const std::shared_ptr<AuthenticationChallenge>& challenge)
{
    if (auto delegate = this->delegate())
        delegate->didReceiveAuthenticationChallenge(*this, challenge);
}

void WebView::pageChallengeCancelled(const std::shared_ptr<AuthenticationChallenge>& challenge)
{
    if (auto delegate = this->delegate())
        delegate->didCancelAuthenticationChallenge(*this, challenge);
}

void WebView::pageStateChanged(const PageState& state)
{
    // WebKit may name a link's address only once the load is under way: the
    // request follows the page's address (the app's own request, properties
    // kept, when it is that address).
    if (m_loadActive && m_page && !state.url.empty()
        && (!m_request || m_page->normalizedURL(m_request->url().absoluteString()) != state.url)) {
        auto allowed = m_allowed.find(state.url);
        if (allowed != m_allowed.end()) {
            m_request = allowed->second;
            m_allowed.erase(allowed);
        } else if (auto parsed = core::URL::parse(state.url)) {
            m_request = core::URLRequest(*parsed);
        }
    }
    m_state.set(state);
}

void WebView::pageMetrics(const PageMetrics& metrics)
{
    m_metrics = metrics;
    if (m_scalesPageToFit && metrics.contentWidth > metrics.viewportWidth + 0.5 && metrics.contentWidth > 0) {
        double fit = std::clamp(double(bounds().size.width) / (metrics.contentWidth * m_zoomLevel), MinimumFitZoom, 1.0);
        if (fit < m_fitZoom - 1e-3) {
            m_fitZoom = fit;
            applyZoom();
        }
    }
    applyMetrics();
}

void WebView::applyMetrics()
{
    if (!m_metrics)
        return;
    double zoom = pageZoom();
    m_applyingPageScroll = true;
    setDocumentViewFrame({ 0, m_documentTop, float(m_metrics->contentWidth * zoom), float(m_metrics->contentHeight * zoom) });
    if (m_pendingScrolls == 0 && !m_scrollView->isTracking() && !m_scrollView->isDragging()
        && !m_scrollView->isDecelerating()) {
        gfx::Point page { float(m_metrics->scrollX * zoom), float(m_metrics->scrollY * zoom) };
        float current = m_scrollView->contentOffset().y;
        float y = 0;
        if (page.y > 0)
            y = page.y + m_documentTop;
        else if (!m_newPage && current > 0 && current <= m_documentTop)
            y = current; // the page at its top, part of what lies above it in sight
        if (page.y <= 0)
            m_newPage = false;
        m_scrollView->setContentOffset({ page.x, y });
    }
    m_applyingPageScroll = false;
}

void WebView::contentOffsetChanged(gfx::Point offset)
{
    if (m_documentTop > 0 && m_placement && window())
        setNeedsLayout(); // the live page's top follows
    if (m_applyingPageScroll || !m_page)
        return;
    double zoom = pageZoom();
    float pageY = std::max(0.f, offset.y - m_documentTop);
    if (m_documentTop > 0 && pageY == 0 && m_metrics && m_metrics->scrollY == 0 && m_metrics->scrollX * zoom == offset.x)
        return; // moving over what lies above the page: the page stays at its top
    ++m_pendingScrolls;
    std::weak_ptr<WebView> weak = sharedSelf();
    m_page->scrollTo({ float(offset.x / zoom), float(pageY / zoom) }, [weak] {
        if (auto self = weak.lock())
            self->m_pendingScrolls = std::max(0, self->m_pendingScrolls - 1);
    });
}

void WebView::pageSnapshot(const std::shared_ptr<const WebSnapshot>& snapshot)
{
    m_documentView->setSnapshot(snapshot);
    placeDocument();
}

void WebView::pageElementActions(const ElementInfo& info)
{
    if (auto delegate = this->delegate())
        delegate->elementActions(*this, info);
}

void WebView::pageScriptError(const PageScriptError& error)
{
    core::log("JavaScript error: {} ({}:{})", error.message, error.sourceURL, error.line);
    if (auto delegate = this->delegate())
        delegate->didReportJavaScriptError(*this, error.message, error.sourceURL, error.line);
}

void WebView::pageEditingFocus(bool editing)
{
    if (editing == m_editingFocused)
        return;
    m_editingFocused = editing;
    if (auto delegate = this->delegate())
        delegate->didChangeEditingFocus(*this, editing);
}

void WebView::pageDialog(PageDialog dialog)
{
    std::string host;
    if (auto address = url())
        host = address->host();
    WebDialogView::show(std::move(dialog), host);
}

void WebView::tapped(ui::GestureRecognizer& recognizer)
{
    if (recognizer.state() != ui::GestureRecognizer::Recognized || !m_page || m_placement)
        return;
    if (auto point = pagePoint(recognizer.locationInView(this)))
        m_page->tap(*point);
}

void WebView::longPressed(ui::GestureRecognizer& recognizer)
{
    if (recognizer.state() != ui::GestureRecognizer::State::Began || !m_page || m_placement)
        return;
    gfx::Point point = recognizer.locationInView(this);
    auto inPage = pagePoint(point);
    if (!inPage)
        return;
    std::weak_ptr<WebView> weak = sharedSelf();
    m_page->elementAt(*inPage, [weak, point](const ElementInfo& found) {
        auto self = weak.lock();
        if (!self || found.isEmpty())
            return;
        ElementInfo info = found;
        info.point = point;
        if (auto delegate = self->delegate())
            delegate->elementActions(*self, info);
    });
}

} // namespace web

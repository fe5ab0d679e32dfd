#include "Platform/Web/WebView.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/LongPressGestureRecognizer.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/WebDialogView.h"
#include "Platform/Web/WebDocumentView.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebError.h"
#include "Platform/Web/WebPage.h"
#include "Platform/Web/WebPolicyListener.h"
#include "Platform/Web/WebPrintFormatter.h"
#include "Platform/Web/WebSnapshot.h"
#include "Platform/Web/WebViewDelegate.h"
#include "Platform/Web/WebViewScrollView.h"

#include <algorithm>
#include <cmath>

namespace web {

class WebView::RecognizerDelegate : public ui::GestureRecognizerDelegate {
public:
    // The view's taps and presses never keep the app's own recognizers out.
    bool shouldRecognizeSimultaneously(ui::GestureRecognizer&, ui::GestureRecognizer&) override { return true; }
};

std::shared_ptr<WebView> WebView::create(const gfx::Rect& frame)
{
    return View::make<WebView>(frame);
}

WebView::WebView()
    : m_scrollView(View::make<WebViewScrollView>({}, this))
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
    static_cast<WebViewScrollView&>(*m_scrollView).forgetOwner();
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
        if (m_files.folders())
            m_page->setFileFolders(m_files.pageFolders());
        m_zoom.pageMade();
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
    if (m_live.isLive() && window())
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
    return WebFileAccess::isReadableFile(path);
}

void WebView::setFileFolders(std::optional<std::vector<std::string>> folders)
{
    m_files.setFolders(std::move(folders));
    if (m_page)
        m_page->setFileFolders(m_files.pageFolders());
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
    load(request, false);
}

void WebView::load(const core::URLRequest& request, bool approved)
{
    if (auto refused = m_files.loadRefusal(request.url())) {
        failSoon(*refused);
        return;
    }
    auto& engine = page();
    std::string address = engine.normalizedURL(request.url().absoluteString());
    m_navigation.appLoads(address, request, approved);
    engine.loadRequest(request);
    m_loadTimeout.start(request, std::move(address));
}

void WebView::loadTimedOut(const core::Error& error)
{
    m_navigation.stopLoad();
    page().stopLoading();
    if (auto delegate = this->delegate())
        delegate->didFailLoad(*this, error);
}

void WebView::loadHTMLString(std::string_view html, const std::optional<core::URL>& baseURL)
{
    if (baseURL) {
        if (auto refused = WebFileAccess::refusal(*baseURL)) {
            failSoon(*refused);
            return;
        }
    }
    m_navigation.forgetAppLoad();
    m_loadTimeout.stop();
    page().loadHTML(std::string(html), baseURL ? baseURL->absoluteString() : std::string());
}

void WebView::loadData(const core::Data& data, std::string_view mimeType, std::string_view textEncodingName,
    const std::optional<core::URL>& baseURL)
{
    if (baseURL) {
        if (auto refused = WebFileAccess::refusal(*baseURL)) {
            failSoon(*refused);
            return;
        }
    }
    m_navigation.forgetAppLoad();
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

bool WebView::trustServerCertificate(const std::string& host)
{
    return page().trustServerCertificate(host);
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
    m_zoom.setScalesPageToFit(scales, m_page.get());
}

void WebView::setZoomLevel(double level)
{
    m_zoom.setZoomLevel(level, m_page.get());
}

bool WebView::wheelEvent(const ui::Event& event)
{
    if (event.type() != ui::Event::Type::Zoom || !std::isfinite(event.zoomScale()) || !(event.zoomScale() > 0))
        return View::wheelEvent(event);
    gfx::Point anchor = layer().transformToRoot().inverted().apply(event.scrollLocation());
    zoomBy(event.zoomScale(), anchor);
    return true;
}

bool WebView::performKeyCommand(ui::KeyCommand command)
{
    switch (command) {
    case ui::KeyCommand::ZoomIn:
        zoomBy(KeyZoomStep, {});
        return true;
    case ui::KeyCommand::ZoomOut:
        zoomBy(1 / KeyZoomStep, {});
        return true;
    case ui::KeyCommand::ZoomReset:
        zoomBy(1 / zoomLevel(), {});
        return true;
    default:
        return View::performKeyCommand(command);
    }
}

void WebView::zoomBy(double scale, gfx::Point anchor)
{
    double before = pageZoom();
    double level = std::clamp(zoomLevel() * scale, MinimumZoomLevel, MaximumZoomLevel);
    if (std::abs(level - zoomLevel()) < 1e-6)
        return;
    setZoomLevel(level);
    // The page's point under the anchor (CSS pixels) stays under it; the
    // page keeps its scroll within its bounds.
    double shift = 1 / before - 1 / pageZoom();
    auto point = pagePoint(anchor);
    if (m_page && m_metrics && point && std::isfinite(shift) && (point->x > 0 || point->y > 0)) {
        m_metrics->scrollX = std::max(0.0, m_metrics->scrollX + point->x * shift);
        m_metrics->scrollY = std::max(0.0, m_metrics->scrollY + point->y * shift);
        scrollPage({ float(m_metrics->scrollX), float(m_metrics->scrollY) });
    }
    applyMetrics();
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
    if (m_live.windowChanged(*this))
        setNeedsLayout();
}

void WebView::layoutSubviews()
{
    m_scrollView->setFrame(bounds());
    updateGeometry();
    if (m_live.isLive() && window())
        m_live.place(*this);
}

void WebView::updateGeometry()
{
    m_zoom.setGeometry(m_page.get(), bounds().size, gfx::Screen::main().scale());
}

// --- The engine's reports ---------------------------------------------------

void WebView::pageNavigation(const PageNavigation& navigation)
{
    const std::string address = navigation.request.url().absoluteString();
    auto [request, preapproved] = m_navigation.requestFor(navigation);
    // The delegate hears of every navigation, also to places the engine
    // never goes (a "mailto:" link is the app's to handle); what it allows
    // there fails as a load the app asked for would.
    auto delegate = this->delegate();
    bool allowed = preapproved || !delegate || delegate->shouldStartLoad(*this, request, navigation.type);
    if (auto refused = allowed ? WebFileAccess::refusal(request.url()) : std::nullopt) {
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
        (target ? target : sharedSelf())->load(request, true);
        return;
    }
    if (allowed)
        m_navigation.allow(address, request);
    page().answerNavigation(navigation.decision, allowed);
}

void WebView::pageDidStartLoad(const std::string& url)
{
    // Another page, or a redirect: the timed request had its answer or
    // will not have one.
    m_loadTimeout.loadStarted(url);
    if (!m_navigation.loadStarted(url))
        return; // a redirect of the running load
    m_newPage = true;
    // The page that had the focused field goes.
    pageEditingFocus(false);
    m_zoom.loadStarted(m_page.get());
    if (auto delegate = this->delegate())
        delegate->didStartLoad(*this);
}

void WebView::pageDidFinishLoad()
{
    m_loadTimeout.stop();
    if (!m_navigation.loadEnded())
        return;
    if (auto delegate = this->delegate())
        delegate->didFinishLoad(*this);
}

void WebView::pageDidFailLoad(const core::Error& error)
{
    m_loadTimeout.stop();
    if (!m_navigation.loadEnded())
        return;
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
    if (m_page)
        m_navigation.pageAddressChanged(state.url, [&](const std::string& url) { return m_page->normalizedURL(url); });
    m_state.set(state);
}

void WebView::pageMetrics(const PageMetrics& metrics)
{
    m_metrics = metrics;
    m_zoom.fit(m_page.get(), metrics, bounds().size.width);
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
    if (m_documentTop > 0 && m_live.isLive() && window())
        setNeedsLayout(); // the live page's top follows
    if (m_applyingPageScroll || !m_page)
        return;
    double zoom = pageZoom();
    float pageY = std::max(0.f, offset.y - m_documentTop);
    if (m_documentTop > 0 && pageY == 0 && m_metrics && m_metrics->scrollY == 0 && m_metrics->scrollX * zoom == offset.x)
        return; // moving over what lies above the page: the page stays at its top
    scrollPage({ float(offset.x / zoom), float(pageY / zoom) });
}

void WebView::scrollPage(gfx::Point place)
{
    ++m_pendingScrolls;
    std::weak_ptr<WebView> weak = sharedSelf();
    m_page->scrollTo(place, [weak] {
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
    // A tap the view sees fell where the live widget does not show (its
    // picture shows under content over it): the page is told of it.
    if (recognizer.state() != ui::GestureRecognizer::Recognized || !m_page || m_live.showsWidget())
        return;
    if (auto point = pagePoint(recognizer.locationInView(this)))
        m_page->tap(*point);
}

void WebView::longPressed(ui::GestureRecognizer& recognizer)
{
    if (recognizer.state() != ui::GestureRecognizer::State::Began || !m_page || m_live.showsWidget())
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

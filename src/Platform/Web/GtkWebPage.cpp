#include "Platform/Web/GtkWebPage.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/URL.h"
#include "Platform/Net/URLError.h"
#include "Platform/Web/GtkCookieSync.h"
#include "Platform/Web/GtkFileFolderRule.h"
#include "Platform/Web/GtkLoadRetry.h"
#include "Platform/Web/GtkPagePictures.h"
#include "Platform/Web/GtkSignInQuestions.h"
#include "Platform/Web/GtkWebEngineState.h"
#include "Platform/Web/GtkWebPageSupport.h"
#include "Platform/Web/GtkWebPrinting.h"
#include "Platform/Web/WebError.h"
#include "Platform/Web/WebViewPlacement.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <fstream>
#include <gtk/gtk.h>
#include <sstream>
#include <webkit2/webkit2.h>

namespace web {

namespace {

// The view's own script, read once from the bundle.
const std::string& bridgeScript()
{
    static const std::string script = [] {
        auto bundle = core::Bundle::main();
        std::string path = bundle ? bundle->pathForResource("page-bridge", "js", "Web") : std::string();
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        if (text.str().empty())
            core::log("Warning, the web view's page script is missing from the bundle");
        return text.str();
    }();
    return script;
}

// A number as a script literal (never "nan" or "inf").
std::string scriptNumber(double value)
{
    return fmt::format("{:.3f}", std::isfinite(value) ? value : 0.0);
}

} // namespace

GtkWebPage::GtkWebPage(std::shared_ptr<GtkWebEngine> engine)
    : m_engine(std::move(engine))
{
}

std::weak_ptr<GtkWebPage> GtkWebPage::weakSelf()
{
    return std::static_pointer_cast<GtkWebPage>(shared_from_this());
}

void GtkWebPage::start()
{
    auto& state = m_engine->state();
    m_content = webkit_user_content_manager_new();
    connectMessages();
    webkit_user_content_manager_register_script_message_handler_in_world(m_content, MESSAGE_HANDLER_NAME, OWN_WORLD_NAME);
    WebKitUserScript* script = webkit_user_script_new_for_world(bridgeScript().c_str(),
        WEBKIT_USER_CONTENT_INJECT_TOP_FRAME, WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, OWN_WORLD_NAME, nullptr,
        nullptr);
    webkit_user_content_manager_add_script(m_content, script);
    webkit_user_script_unref(script);

    WebKitSettings* settings = state.makeSettings();
    m_view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", state.context, "settings", settings,
        "user-content-manager", m_content, nullptr));
    g_object_unref(settings);
    g_object_ref_sink(m_view);
    auto deliverReport = [this](PageReport report) { deliver(std::move(report)); };
    m_pictures = std::make_shared<GtkPagePictures>(m_view, deliverReport);
    m_fileRule = std::make_shared<GtkFileFolderRule>(m_content, deliverReport);
    m_signIns = std::make_shared<GtkSignInQuestions>(deliverReport, m_stopRequested);
    m_retry = std::make_unique<GtkLoadRetry>(m_view);
    m_window = gtk_offscreen_window_new();
    gtk_container_add(GTK_CONTAINER(m_window), GTK_WIDGET(m_view));
    setGeometry({ 320, 480 }, 1);
    gtk_widget_show_all(m_window);
    state.pages[m_view] = weakSelf();
    connectSignals();
}

GtkWebPage::~GtkWebPage()
{
    if (!m_view)
        return;
    dropPending();
    for (unsigned long handler : m_viewHandlers)
        g_signal_handler_disconnect(m_view, handler);
    g_signal_handler_disconnect(m_content, m_messageHandler);
    g_signal_handler_disconnect(webkit_web_view_get_back_forward_list(m_view), m_historyHandler);
    if (m_placement)
        m_placement->detach(m_view);
    webkit_web_view_stop_loading(m_view);
    if (m_untrusted)
        g_object_unref(m_untrusted);
    for (auto& [host, certificate] : m_trusted)
        g_object_unref(certificate);
    gtk_widget_destroy(m_window);
    WebKitWebView* view = m_view;
    g_object_unref(m_view);
    g_object_unref(m_content);
    m_engine->pageDidClose(view);
}

void GtkWebPage::dropPending()
{
    for (auto& [id, decision] : m_decisions) {
        webkit_policy_decision_ignore(decision);
        g_object_unref(decision);
    }
    m_decisions.clear();
    m_offers.clear();
    m_unshowable.clear();
    m_signIns->dropAll();
    m_pictures.reset();
    m_unresponsiveTimer.cancel();
    m_retry->reset();
}

uint64_t GtkWebPage::holdDecision(WebKitPolicyDecision* decision)
{
    uint64_t id = m_nextDecision++;
    m_decisions[id] = WEBKIT_POLICY_DECISION(g_object_ref(decision));
    return id;
}

void GtkWebPage::publishState()
{
    PageState state;
    const char* uri = webkit_web_view_get_uri(m_view);
    const char* title = webkit_web_view_get_title(m_view);
    state.url = uri ? uri : "";
    state.title = title ? title : "";
    state.loading = webkit_web_view_is_loading(m_view);
    state.progress = webkit_web_view_get_estimated_load_progress(m_view);
    state.canGoBack = webkit_web_view_can_go_back(m_view);
    state.canGoForward = webkit_web_view_can_go_forward(m_view);
    deliver([state](WebPageClient& client) { client.pageStateChanged(state); });
}

// --- Loads ------------------------------------------------------------------

void GtkWebPage::loadRequest(const core::URLRequest& request)
{
    if (heldForRule([this, request] { loadRequest(request); }))
        return;
    cancelRetry();
    WebKitURIRequest* uriRequest = webkit_uri_request_new(request.url().absoluteString().c_str());
    if (SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(uriRequest)) {
        for (const auto& [name, value] : request.headers().fields()) {
            // An empty referrer means none: nothing is sent.
            if (value.empty() && g_ascii_strcasecmp(name.c_str(), "Referer") == 0)
                continue;
            soup_message_headers_replace(headers, name.c_str(), value.c_str());
        }
    }
    if (request.method() != "GET" || !request.body().empty() || !request.bodyFilePath().empty())
        core::log("Warning, a web view loads {} {} as GET without a body", request.method(),
            request.url().absoluteString());
    webkit_web_view_load_request(m_view, uriRequest);
    g_object_unref(uriRequest);
}

void GtkWebPage::loadHTML(const std::string& html, const std::string& baseURL)
{
    if (heldForRule([this, html, baseURL] { loadHTML(html, baseURL); }))
        return;
    webkit_web_view_load_html(m_view, html.c_str(), baseURL.empty() ? nullptr : baseURL.c_str());
}

void GtkWebPage::loadData(const core::Data& data, const std::string& mimeType, const std::string& textEncodingName,
    const std::string& baseURL)
{
    if (heldForRule([this, data, mimeType, textEncodingName, baseURL] {
            loadData(data, mimeType, textEncodingName, baseURL);
        }))
        return;
    cancelRetry();
    GBytes* bytes = g_bytes_new(data.bytes(), data.size());
    webkit_web_view_load_bytes(m_view, bytes, mimeType.empty() ? nullptr : mimeType.c_str(),
        textEncodingName.empty() ? nullptr : textEncodingName.c_str(), baseURL.empty() ? nullptr : baseURL.c_str());
    g_bytes_unref(bytes);
}

void GtkWebPage::stopLoading()
{
    m_fileRule->dropWaitingLoads();
    cancelRetry();
    if (m_loading)
        m_stopRequested = true;
    m_signIns->cancelOpen();
    webkit_web_view_stop_loading(m_view);
}

void GtkWebPage::reload()
{
    if (heldForRule([this] { reload(); }))
        return;
    cancelRetry();
    webkit_web_view_reload(m_view);
}

void GtkWebPage::goBack()
{
    if (heldForRule([this] { goBack(); }))
        return;
    cancelRetry();
    webkit_web_view_go_back(m_view);
}

void GtkWebPage::goForward()
{
    if (heldForRule([this] { goForward(); }))
        return;
    cancelRetry();
    webkit_web_view_go_forward(m_view);
}

std::string GtkWebPage::normalizedURL(const std::string& url) const
{
    WebKitURIRequest* request = webkit_uri_request_new(url.c_str());
    const char* uri = webkit_uri_request_get_uri(request);
    std::string normal = uri ? uri : url;
    g_object_unref(request);
    return normal;
}

void GtkWebPage::answerNavigation(uint64_t decision, bool allow)
{
    auto it = m_decisions.find(decision);
    if (it == m_decisions.end())
        return;
    WebKitPolicyDecision* held = it->second;
    m_decisions.erase(it);
    if (!allow) {
        webkit_policy_decision_ignore(held);
        g_object_unref(held);
        return;
    }
    std::string uri;
    if (WEBKIT_IS_NAVIGATION_POLICY_DECISION(held)) {
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(held));
        uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    }
    // net's cookies for the address go to WebKit before the request leaves.
    m_engine->state().cookies->prepare(uri, [held] {
        webkit_policy_decision_use(held);
        g_object_unref(held);
    });
}

void GtkWebPage::answerResponse(uint64_t decision, bool use)
{
    auto it = m_decisions.find(decision);
    if (it != m_decisions.end()) {
        WebKitPolicyDecision* held = it->second;
        m_decisions.erase(it);
        bool unshowable = m_unshowable.erase(decision) > 0;
        if (use && unshowable) {
            // The engine would turn it into a download: the load fails as
            // one that cannot show its content.
            m_cannotShow = true;
            use = false;
        }
        if (use)
            webkit_policy_decision_use(held);
        else
            webkit_policy_decision_ignore(held);
        g_object_unref(held);
        return;
    }
    auto offer = m_offers.find(decision);
    if (offer == m_offers.end())
        return;
    core::URLRequest request = std::move(offer->second);
    m_offers.erase(offer);
    if (use)
        loadRequest(request);
}

void GtkWebPage::offerDownload(WebKitURIResponse* response, WebKitURIRequest* request)
{
    uint64_t id = m_nextDecision++;
    core::URLRequest urlRequest = requestFrom(request);
    m_offers[id] = urlRequest;
    PageResponse offer { id, responseFrom(response), urlRequest, false };
    deliver([offer](WebPageClient& client) { client.pageResponse(offer); });
}

// --- Scripts ----------------------------------------------------------------

void GtkWebPage::evaluateJavaScript(const std::string& script, ScriptCompletion completion)
{
    struct ScriptCall {
        std::weak_ptr<GtkWebPage> page;
        ScriptCompletion completion;
    };
    webkit_web_view_evaluate_javascript(
        m_view, script.c_str(), gssize(script.size()), nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<ScriptCall> call(static_cast<ScriptCall*>(data));
            GError* error = nullptr;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
            std::string text;
            std::optional<core::Error> failure;
            if (value) {
                if (!jsc_value_is_undefined(value) && !jsc_value_is_null(value)) {
                    char* string = jsc_value_to_string(value);
                    text = string ? string : "";
                    g_free(string);
                }
                g_object_unref(value);
            } else {
                failure = WebError::scriptException(error ? error->message : "");
            }
            if (error)
                g_error_free(error);
            // Whatever the script changed shows in a picture a little later.
            if (auto page = call->page.lock())
                page->m_pictures->schedule(100);
            core::RunLoop::main().post([completion = std::move(call->completion), text, failure] {
                if (completion)
                    completion(text, failure ? &*failure : nullptr);
            });
        },
        new ScriptCall { weakSelf(), std::move(completion) });
}

// --- Geometry, input and pictures ---------------------------------------------

void GtkWebPage::setGeometry(gfx::Size size, float scale)
{
    m_size = size;
    m_scale = scale > 0 ? scale : 1;
    gfx::Size pixels { std::max(1.0f, std::ceil(size.width * m_scale)), std::max(1.0f, std::ceil(size.height * m_scale)) };
    if (pixels != m_pixels) {
        m_pixels = pixels;
        gtk_widget_set_size_request(GTK_WIDGET(m_view), int(pixels.width), int(pixels.height));
        gtk_window_resize(GTK_WINDOW(m_window), int(pixels.width), int(pixels.height));
        // At once, not on GTK's next pass: a load started now would lay its
        // page out and paint it at the size before (the web process takes
        // the size the view has when it starts), and only seconds later
        // at this one.
        if (!m_placement)
            gtk_container_check_resize(GTK_CONTAINER(m_window));
    }
    webkit_web_view_set_zoom_level(m_view, m_zoom * m_scale);
    m_pictures->setZoom(m_zoom, m_scale);
}

void GtkWebPage::setPageZoom(double zoom)
{
    if (!(zoom > 0))
        return;
    m_zoom = zoom;
    webkit_web_view_set_zoom_level(m_view, m_zoom * m_scale);
    m_pictures->setZoom(m_zoom, m_scale);
    m_pictures->schedule(0);
}

void GtkWebPage::scrollTo(gfx::Point offset, std::function<void()> done)
{
    evaluateInOwnWorld(m_view, fmt::format("__tandry.scrollTo({}, {})", scriptNumber(offset.x), scriptNumber(offset.y)),
        weakSelf(), [done = std::move(done)](JSCValue*) {
            if (done)
                core::RunLoop::main().post(done);
        });
}

void GtkWebPage::sendButton(gfx::Point point, unsigned button)
{
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(m_view));
    if (!window)
        return;
    GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_window_get_display(window)));
    double x = point.x * m_scale;
    double y = point.y * m_scale;
    auto send = [&](GdkEventType type) {
        GdkEvent* event = gdk_event_new(type);
        m_eventTime += 50;
        if (type == GDK_MOTION_NOTIFY) {
            event->motion.window = GDK_WINDOW(g_object_ref(window));
            event->motion.x = x;
            event->motion.y = y;
            event->motion.time = m_eventTime;
        } else {
            event->button.window = GDK_WINDOW(g_object_ref(window));
            event->button.x = x;
            event->button.y = y;
            event->button.button = button;
            event->button.time = m_eventTime;
            if (type == GDK_BUTTON_RELEASE)
                event->button.state = button == 1 ? GDK_BUTTON1_MASK : GDK_BUTTON3_MASK;
        }
        gdk_event_set_device(event, pointer);
        gtk_widget_event(GTK_WIDGET(m_view), event);
        gdk_event_free(event);
    };
    send(GDK_MOTION_NOTIFY);
    send(GDK_BUTTON_PRESS);
    send(GDK_BUTTON_RELEASE);
}

void GtkWebPage::tap(gfx::Point point)
{
    // An unmapped widget (a live page whose picture shows in its place)
    // drops the events it is sent: the page clicks where the tap fell.
    if (!gtk_widget_get_mapped(GTK_WIDGET(m_view))) {
        double zoom = m_zoom > 0 ? m_zoom : 1;
        evaluateInOwnWorld(m_view,
            fmt::format("__tandry.clickAt({}, {})", scriptNumber(point.x / zoom), scriptNumber(point.y / zoom)),
            weakSelf(), [](JSCValue*) { });
        return;
    }
    sendButton(point, 1);
}

void GtkWebPage::elementAt(gfx::Point point, ElementCompletion completion)
{
    double zoom = m_zoom > 0 ? m_zoom : 1;
    evaluateInOwnWorld(m_view,
        fmt::format("__tandry.elementAt({}, {})", scriptNumber(point.x / zoom), scriptNumber(point.y / zoom)),
        weakSelf(), [completion = std::move(completion), point](JSCValue* value) {
            ElementInfo info = elementInfoFrom(value);
            info.point = point;
            core::RunLoop::main().post([completion, info] { completion(info); });
        });
}

void GtkWebPage::updateSnapshot(std::function<void()> done)
{
    m_pictures->update(std::move(done));
}

void GtkWebPage::responsivenessChanged()
{
    if (webkit_web_view_get_is_web_process_responsive(m_view))
        m_unresponsiveTimer.cancel();
    else if (!m_unresponsiveTimer.isRunning())
        m_unresponsiveTimer.start(UnresponsiveLimitMilliseconds, [this] { unresponsiveTooLong(); });
}

void GtkWebPage::unresponsiveTooLong()
{
    if (webkit_web_view_get_is_web_process_responsive(m_view))
        return;
    core::log("Warning, a web content process has not answered for {} s: it is ended", UnresponsiveLimitMilliseconds / 1000);
    webkit_web_view_terminate_web_process(m_view);
}

void GtkWebPage::cancelRetry()
{
    auto url = m_retry->cancelWaiting();
    if (!url)
        return;
    // Between two tries nothing loads: the load ends here, as stopped.
    if (m_loading && !m_failed) {
        auto failure = net::URLError::make(net::URLError::Cancelled, *url);
        deliver([failure](WebPageClient& client) { client.pageDidFailLoad(failure); });
    }
    m_loading = false;
    m_failed = false;
}

// --- Printing -----------------------------------------------------------------

void GtkWebPage::printToPDF(const std::string& path, PrintCompletion completion)
{
    printWebViewToPDF(m_view, path, std::move(completion));
}

GtkPrintSettings* GtkWebPage::pdfFileSettings(const std::string& path)
{
    return web::pdfFileSettings(path);
}

void GtkWebPage::print(GtkPrintSettings* settings, GtkPageSetup* setup, PrintCompletion completion)
{
    printWebView(m_view, settings, setup, std::move(completion));
}

// --- Agent and placement --------------------------------------------------------

std::string GtkWebPage::defaultUserAgent() const
{
    return m_engine->defaultUserAgent();
}

void GtkWebPage::setUserAgent(const std::string& userAgent)
{
    m_userAgent = userAgent;
    webkit_settings_set_user_agent(webkit_web_view_get_settings(m_view), userAgent.c_str());
}

// --- File folders -------------------------------------------------------------

void GtkWebPage::setFileFolders(const std::optional<std::vector<std::string>>& folders)
{
    m_fileRule->setFolders(folders);
}

bool GtkWebPage::heldForRule(std::function<void()> load)
{
    return m_fileRule->holds(std::move(load));
}

bool GtkWebPage::attach(const std::shared_ptr<WebViewPlacement>& placement)
{
    if (!placement)
        return false;
    if (m_placement)
        detach();
    gtk_container_remove(GTK_CONTAINER(m_window), GTK_WIDGET(m_view));
    m_placement = placement;
    m_placement->attach(m_view);
    return true;
}

void GtkWebPage::detach()
{
    if (!m_placement)
        return;
    auto placement = std::move(m_placement);
    placement->detach(m_view);
    gtk_container_add(GTK_CONTAINER(m_window), GTK_WIDGET(m_view));
    gtk_widget_show(GTK_WIDGET(m_view));
    setGeometry(m_size, m_scale);
    m_pictures->schedule(0);
}

bool GtkWebPage::trustServerCertificate(const std::string& host)
{
    if (!m_untrusted || host.empty() || host != m_untrustedHost)
        return false;
    m_engine->state().allowForHost(m_untrusted, host);
    m_trusted.emplace_back(host, std::exchange(m_untrusted, nullptr));
    m_untrustedHost.clear();
    return true;
}

} // namespace web

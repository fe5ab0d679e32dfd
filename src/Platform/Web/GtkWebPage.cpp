#include "Platform/Web/GtkWebPage.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Web/AuthenticationChallenge.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/UUID.h"
#include "Platform/Net/URLError.h"
#include "Platform/Web/GtkCookieSync.h"
#include "Platform/Web/GtkWebEngineState.h"
#include "Platform/Web/GtkWebPageSupport.h"
#include "Platform/Web/WebError.h"
#include "Platform/Web/WebSnapshot.h"
#include "Platform/Web/WebViewPlacement.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// The display's frame: the page's pictures, and the places they show, come
// no oftener.
constexpr int64_t FrameMicroseconds = 1'000'000 / 60;

template<typename Completion> struct Call {
    std::weak_ptr<GtkWebPage> page;
    Completion completion;
};

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
    m_engine->state().pages.erase(m_view);
    webkit_web_view_stop_loading(m_view);
    gtk_widget_destroy(m_window);
    g_object_unref(m_view);
    g_object_unref(m_content);
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
    for (auto& pending : m_challenges) {
        g_signal_handler_disconnect(pending.request, pending.cancelledHandler);
        if (auto challenge = pending.challenge.lock())
            challenge->loadDidEnd();
        webkit_authentication_request_cancel(pending.request);
        g_object_unref(pending.request);
    }
    m_challenges.clear();
    if (m_snapshotTimer)
        g_source_remove(m_snapshotTimer);
    m_snapshotTimer = 0;
    m_snapshotLater = 0;
    if (m_metricsTimer)
        g_source_remove(m_metricsTimer);
    m_metricsTimer = 0;
    if (m_heldChallengeTimer)
        g_source_remove(m_heldChallengeTimer);
    m_heldChallengeTimer = 0;
    if (m_unresponsiveTimer)
        g_source_remove(m_unresponsiveTimer);
    m_unresponsiveTimer = 0;
    if (m_retryTimer)
        g_source_remove(m_retryTimer);
    m_retryTimer = 0;
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
    m_loadsAwaitingRule.clear();
    cancelRetry();
    if (m_loading)
        m_stopRequested = true;
    // Questions still open end with the load, told to the client now rather
    // than whenever the engine gets to them.
    std::vector<WebKitAuthenticationRequest*> open;
    for (const auto& pending : m_challenges)
        open.push_back(WEBKIT_AUTHENTICATION_REQUEST(g_object_ref(pending.request)));
    for (auto* request : open) {
        webkit_authentication_request_cancel(request);
        g_object_unref(request);
    }
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
    using ScriptCall = Call<ScriptCompletion>;
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
                page->scheduleSnapshot(100);
            core::RunLoop::main().post([completion = std::move(call->completion), text, failure] {
                if (completion)
                    completion(text, failure ? &*failure : nullptr);
            });
        },
        new ScriptCall { weakSelf(), std::move(completion) });
}

void GtkWebPage::evaluateInOwnWorld(const std::string& script, std::function<void(void* value)> done)
{
    using WorldCall = Call<std::function<void(void*)>>;
    webkit_web_view_evaluate_javascript(
        m_view, script.c_str(), gssize(script.size()), OWN_WORLD_NAME, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<WorldCall> call(static_cast<WorldCall*>(data));
            GError* error = nullptr;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
            if (error)
                g_error_free(error);
            if (call->page.lock())
                call->completion(value);
            if (value)
                g_object_unref(value);
        },
        new WorldCall { weakSelf(), std::move(done) });
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
}

void GtkWebPage::setPageZoom(double zoom)
{
    if (!(zoom > 0))
        return;
    m_zoom = zoom;
    webkit_web_view_set_zoom_level(m_view, m_zoom * m_scale);
    scheduleSnapshot(0);
}

void GtkWebPage::scrollTo(gfx::Point offset, std::function<void()> done)
{
    evaluateInOwnWorld(fmt::format("__tandry.scrollTo({}, {})", scriptNumber(offset.x), scriptNumber(offset.y)),
        [done = std::move(done)](void*) {
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
    sendButton(point, 1);
}

void GtkWebPage::elementAt(gfx::Point point, ElementCompletion completion)
{
    double zoom = m_zoom > 0 ? m_zoom : 1;
    evaluateInOwnWorld(fmt::format("__tandry.elementAt({}, {})", scriptNumber(point.x / zoom), scriptNumber(point.y / zoom)),
        [completion = std::move(completion), point](void* value) {
            ElementInfo info = elementInfoFrom(static_cast<JSCValue*>(value));
            info.point = point;
            core::RunLoop::main().post([completion, info] { completion(info); });
        });
}

void GtkWebPage::updateSnapshot(std::function<void()> done)
{
    // A picture being taken may show the page before the change that asks
    // for this one: the asker waits for the next.
    if (m_snapshotRunning) {
        m_snapshotWanted = true;
        if (done)
            m_nextSnapshotWaiters.push_back(std::move(done));
        return;
    }
    if (done)
        m_snapshotWaiters.push_back(std::move(done));
    takeSnapshot();
}

void GtkWebPage::scheduleSnapshot(unsigned delayMilliseconds, bool paced)
{
    // None starts sooner than a frame after the last began. Asks due within
    // a frame of the one already due are that one; a sooner one goes first
    // and a later one is kept for after it (a script's changes are pictured
    // once they are drawn, however often the page scrolls meanwhile). A
    // paced ask is answered by any picture due after it is made, so it is
    // never kept for later.
    int64_t now = g_get_monotonic_time();
    int64_t due = std::max(now + int64_t(delayMilliseconds) * 1000, m_snapshotStarted + FrameMicroseconds);
    if (m_snapshotTimer) {
        if (due >= m_snapshotDue) {
            if (!paced && due > m_snapshotDue + FrameMicroseconds)
                m_snapshotLater = std::max(m_snapshotLater, due);
            return;
        }
        if (!m_snapshotPaced)
            m_snapshotLater = std::max(m_snapshotLater, m_snapshotDue);
        g_source_remove(m_snapshotTimer);
    }
    m_snapshotDue = due;
    m_snapshotPaced = paced;
    startTimer(&GtkWebPage::m_snapshotTimer, unsigned((due - now + 999) / 1000), &GtkWebPage::snapshotDue);
}

void GtkWebPage::snapshotDue()
{
    m_snapshotPaced = false;
    int64_t later = std::exchange(m_snapshotLater, 0);
    updateSnapshot(nullptr);
    if (later > 0)
        scheduleSnapshot(unsigned(std::max<int64_t>(0, later - g_get_monotonic_time()) / 1000));
}

void GtkWebPage::startTimer(unsigned GtkWebPage::*timer, unsigned milliseconds, void (GtkWebPage::*fire)())
{
    struct Firing {
        std::weak_ptr<GtkWebPage> page;
        unsigned GtkWebPage::*timer;
        void (GtkWebPage::*fire)();
    };
    this->*timer = g_timeout_add_full(
        G_PRIORITY_DEFAULT, milliseconds,
        [](gpointer data) -> gboolean {
            auto* firing = static_cast<Firing*>(data);
            if (auto page = firing->page.lock()) {
                (*page).*(firing->timer) = 0;
                ((*page).*(firing->fire))();
            }
            return G_SOURCE_REMOVE;
        },
        new Firing { weakSelf(), timer, fire }, [](gpointer data) { delete static_cast<Firing*>(data); });
}

void GtkWebPage::responsivenessChanged()
{
    if (webkit_web_view_get_is_web_process_responsive(m_view)) {
        if (m_unresponsiveTimer)
            g_source_remove(m_unresponsiveTimer);
        m_unresponsiveTimer = 0;
    } else if (!m_unresponsiveTimer) {
        startTimer(&GtkWebPage::m_unresponsiveTimer, UnresponsiveLimitMilliseconds, &GtkWebPage::unresponsiveTooLong);
    }
}

void GtkWebPage::unresponsiveTooLong()
{
    if (webkit_web_view_get_is_web_process_responsive(m_view))
        return;
    core::log("Warning, a web content process has not answered for {} s: it is ended", UnresponsiveLimitMilliseconds / 1000);
    webkit_web_view_terminate_web_process(m_view);
}

void GtkWebPage::scheduleMetrics()
{
    if (m_metricsTimer)
        return;
    int64_t now = g_get_monotonic_time();
    int64_t due = std::max(now, m_metricsTold + FrameMicroseconds);
    startTimer(&GtkWebPage::m_metricsTimer, unsigned((due - now + 999) / 1000), &GtkWebPage::metricsDue);
}

void GtkWebPage::metricsDue()
{
    if (!m_reportedMetrics || m_reportedMetrics == m_deliveredMetrics)
        return;
    PageMetrics place = *m_reportedMetrics;
    m_deliveredMetrics = place;
    m_metricsTold = g_get_monotonic_time();
    deliver([place](WebPageClient& client) { client.pageMetrics(place); });
}

void GtkWebPage::scheduleRestingSnapshot()
{
    if (m_snapshotTimer)
        g_source_remove(m_snapshotTimer);
    m_snapshotTimer = 0;
    scheduleSnapshot(RestingSnapshotDelay);
}

void GtkWebPage::startRetry()
{
    m_retryPending = false;
    m_retrying = true;
    if (m_retryDelay == 0) {
        webkit_web_view_load_uri(m_view, m_retryURL.c_str());
        return;
    }
    startTimer(&GtkWebPage::m_retryTimer, m_retryDelay, &GtkWebPage::retryDue);
}

void GtkWebPage::retryDue()
{
    webkit_web_view_load_uri(m_view, m_retryURL.c_str());
}

void GtkWebPage::cancelRetry()
{
    if (!m_retryTimer)
        return;
    // Between two tries nothing loads: the load ends here, as stopped.
    g_source_remove(m_retryTimer);
    m_retryTimer = 0;
    m_retrying = false;
    auto url = urlFrom(m_retryURL.c_str()).value_or(core::URL());
    m_retryURL.clear();
    if (m_loading && !m_failed) {
        auto failure = net::URLError::make(net::URLError::Cancelled, url);
        deliver([failure](WebPageClient& client) { client.pageDidFailLoad(failure); });
    }
    m_loading = false;
    m_failed = false;
}

void GtkWebPage::scheduleHeldChallenges()
{
    // A question held for a load's start that never comes (a frame's, or a
    // request of a page already loaded) is asked a moment later all the same.
    if (m_heldChallengeTimer)
        return;
    startTimer(&GtkWebPage::m_heldChallengeTimer, 300, &GtkWebPage::deliverHeldChallenges);
}

void GtkWebPage::takeSnapshot()
{
    m_snapshotRunning = true;
    m_snapshotWanted = false;
    m_snapshotStarted = g_get_monotonic_time();
    // Where the page is scrolled now, then the picture of that place.
    evaluateInOwnWorld("__tandry.place()", [this](void* value) {
        std::optional<PageMetrics> place;
        if (auto metrics = PageMessage::parse(valueFrom(static_cast<JSCValue*>(value))))
            if (auto* found = std::get_if<PageMetrics>(&*metrics))
                place = *found;
        if (!place)
            place = m_reportedMetrics; // a page without the script yet, or one that failed to answer
        using SnapshotCall = Call<std::optional<PageMetrics>>;
        webkit_web_view_get_snapshot(
            m_view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                std::unique_ptr<SnapshotCall> call(static_cast<SnapshotCall*>(data));
                cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
                if (auto page = call->page.lock())
                    page->snapshotDone(surface, call->completion);
                if (surface)
                    cairo_surface_destroy(surface);
            },
            new SnapshotCall { weakSelf(), place });
    });
}

void GtkWebPage::snapshotDone(void* surface, std::optional<PageMetrics> place)
{
    if (place == m_deliveredMetrics) {
        place.reset(); // the view knows it
    } else {
        m_deliveredMetrics = place;
        m_metricsTold = g_get_monotonic_time();
    }
    std::shared_ptr<const WebSnapshot> snapshot;
    if (surface) {
        PageMetrics at = m_deliveredMetrics.value_or(PageMetrics {});
        snapshot = std::make_shared<const WebSnapshot>(
            surface, gfx::Point { float(at.scrollX * m_zoom), float(at.scrollY * m_zoom) }, m_scale);
    }
    if (place || snapshot)
        // In one pass, the picture first: the scroll view never moves to a
        // place its picture does not show.
        deliver([place, snapshot](WebPageClient& client) {
            if (snapshot)
                client.pageSnapshot(snapshot);
            if (place)
                client.pageMetrics(*place);
        });
    for (auto& waiter : std::exchange(m_snapshotWaiters, {}))
        core::RunLoop::main().post(std::move(waiter));
    m_snapshotRunning = false;
    if (m_snapshotWanted) {
        m_snapshotWaiters = std::exchange(m_nextSnapshotWaiters, {});
        takeSnapshot();
    }
}

// --- Printing -----------------------------------------------------------------

void GtkWebPage::printToPDF(const std::string& path, PrintCompletion completion)
{
    // Written beside the target under a name of its own, renamed when whole.
    std::string folder = core::path::deletingLastPathComponent(path);
    std::string temporary = core::path::appendingPathComponent(folder.empty() ? "." : folder,
        "." + core::uuidString() + ".printing.pdf");
    GtkPrintSettings* settings = pdfFileSettings(temporary);
    print(settings, nullptr, [temporary, path, completion = std::move(completion)](const core::Error* failed) {
        std::optional<core::Error> error;
        if (failed)
            error = *failed;
        else if (std::rename(temporary.c_str(), path.c_str()) != 0)
            error = core::Error::posix(errno);
        if (error)
            std::remove(temporary.c_str());
        if (completion)
            completion(error ? &*error : nullptr);
    });
    g_object_unref(settings);
}

GtkPrintSettings* GtkWebPage::pdfFileSettings(const std::string& path)
{
    GtkPrintSettings* settings = gtk_print_settings_new();
    gtk_print_settings_set_printer(settings, "Print to File");
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
    g_free(uri);
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
    return settings;
}

void GtkWebPage::print(GtkPrintSettings* settings, GtkPageSetup* setup, PrintCompletion completion)
{
    struct PrintJob {
        PrintCompletion completion;
        std::optional<core::Error> error;
    };
    auto* job = new PrintJob { std::move(completion), std::nullopt };
    WebKitPrintOperation* operation = webkit_print_operation_new(m_view);
    if (settings)
        webkit_print_operation_set_print_settings(operation, settings);
    if (setup)
        webkit_print_operation_set_page_setup(operation, setup);
    g_signal_connect(operation, "failed", G_CALLBACK(+[](WebKitPrintOperation*, GError* error, gpointer data) {
        static_cast<PrintJob*>(data)->error = core::Error(core::Error::CocoaDomain, 512,
            std::string("The page could not be printed: ") + (error ? error->message : ""));
    }), job);
    g_signal_connect(operation, "finished", G_CALLBACK(+[](WebKitPrintOperation* operation, gpointer data) {
        std::unique_ptr<PrintJob> job(static_cast<PrintJob*>(data));
        core::RunLoop::main().post([completion = std::move(job->completion), error = job->error] {
            if (completion)
                completion(error ? &*error : nullptr);
        });
        g_object_unref(operation);
    }), job);
    webkit_print_operation_print(operation);
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
    webkit_user_content_manager_remove_all_filters(m_content);
    unsigned generation = ++m_ruleGeneration;
    m_ruleFailed = false;
    if (!folders) {
        m_ruleMaking = 0;
        auto loads = std::move(m_loadsAwaitingRule);
        m_loadsAwaitingRule.clear();
        for (auto& load : loads)
            load();
        return;
    }
    m_ruleMaking = generation;
    std::string rules = fileFolderRules(*folders);
    // Compiled rules are kept by WebKit in a folder of the home's tmp, under
    // a name that is their own digest, so a rule made again is reused.
    std::string storePath = core::path::appendingPathComponent(core::paths::temporaryDirectory(), "WebContentRules");
    char* digest = g_compute_checksum_for_string(G_CHECKSUM_SHA256, rules.c_str(), gssize(rules.size()));
    std::string identifier = std::string("folders-") + digest;
    g_free(digest);
    WebKitUserContentFilterStore* store = webkit_user_content_filter_store_new(storePath.c_str());
    GBytes* source = g_bytes_new(rules.data(), rules.size());
    struct Making {
        std::weak_ptr<GtkWebPage> page;
        unsigned generation;
    };
    webkit_user_content_filter_store_save(
        store, identifier.c_str(), source, nullptr,
        [](GObject* object, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Making> making(static_cast<Making*>(data));
            GError* error = nullptr;
            WebKitUserContentFilter* rule = webkit_user_content_filter_store_save_finish(
                WEBKIT_USER_CONTENT_FILTER_STORE(object), result, &error);
            std::string message = error ? error->message : "";
            if (error)
                g_error_free(error);
            if (auto page = making->page.lock())
                page->ruleMade(making->generation, rule, message);
            if (rule)
                webkit_user_content_filter_unref(rule);
        },
        new Making { weakSelf(), generation });
    g_bytes_unref(source);
    g_object_unref(store);
}

bool GtkWebPage::heldForRule(std::function<void()> load)
{
    if (m_ruleFailed) {
        // Without the rule the page could read any file: nothing loads.
        auto failure = net::URLError::make(net::URLError::NoPermissionsToReadFile, core::URL());
        deliver([failure](WebPageClient& client) { client.pageDidFailLoad(failure); });
        return true;
    }
    if (!m_ruleMaking)
        return false;
    m_loadsAwaitingRule.push_back(std::move(load));
    return true;
}

void GtkWebPage::ruleMade(unsigned generation, WebKitUserContentFilter* rule, const std::string& error)
{
    if (generation != m_ruleMaking)
        return;
    m_ruleMaking = 0;
    auto loads = std::move(m_loadsAwaitingRule);
    m_loadsAwaitingRule.clear();
    if (!rule) {
        core::log("Warning, the web view's file rule could not be made: {}", error);
        m_ruleFailed = true;
    } else {
        webkit_user_content_manager_add_filter(m_content, rule);
    }
    for (auto& load : loads)
        load();
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
    scheduleSnapshot(0);
}

} // namespace web

// The GTK engine's page: what it does with WebKit's signals. Each handler
// keeps what must be answered (decisions, sign-ins, dialogs) by reference
// and hands a report to the view for a later pass; WebKit never decides
// alone, never downloads, never shows a menu, a dialog or its own error page.

#include "Platform/Web/GtkWebPage.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/URL.h"
#include "Platform/Net/URLError.h"
#include "Platform/Web/GtkLoadRetry.h"
#include "Platform/Web/GtkPagePictures.h"
#include "Platform/Web/GtkSignInQuestions.h"
#include "Platform/Web/GtkWebEngineState.h"
#include "Platform/Web/GtkWebPageSupport.h"
#include "Platform/Web/PageMessage.h"
#include "Platform/Web/ServerCertificate.h"
#include "Platform/Web/WebError.h"
#include "Platform/Web/WebViewPlacement.h"

#include <algorithm>

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace web {

namespace {

NavigationType navigationType(WebKitNavigationAction* action)
{
    if (webkit_navigation_action_is_redirect(action))
        return NavigationType::Other;
    int type = int(webkit_navigation_action_get_navigation_type(action));
    return type >= 0 && type <= int(NavigationType::Other) ? NavigationType(type) : NavigationType::Other;
}

// A page's script dialog held until the view's alert answers it; closed as
// refused when the answer never comes.
struct HeldDialog {
    WebKitScriptDialog* dialog;
    bool answered = false;

    explicit HeldDialog(WebKitScriptDialog* held) : dialog(webkit_script_dialog_ref(held)) { }
    ~HeldDialog()
    {
        if (!answered)
            webkit_script_dialog_close(dialog);
        webkit_script_dialog_unref(dialog);
    }
    void answer(bool confirmed, const std::string& text)
    {
        if (answered)
            return;
        answered = true;
        switch (webkit_script_dialog_get_dialog_type(dialog)) {
        case WEBKIT_SCRIPT_DIALOG_CONFIRM:
        case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
            webkit_script_dialog_confirm_set_confirmed(dialog, confirmed);
            break;
        case WEBKIT_SCRIPT_DIALOG_PROMPT:
            if (confirmed)
                webkit_script_dialog_prompt_set_text(dialog, text.c_str());
            break;
        default:
            break;
        }
        webkit_script_dialog_close(dialog);
    }
};

std::string isoDate(GDateTime* date)
{
    if (!date)
        return {};
    gchar* text = g_date_time_format_iso8601(date);
    std::string result = text ? text : "";
    g_free(text);
    g_date_time_unref(date);
    return result;
}

std::string ownedText(gchar* text)
{
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

ServerCertificate describeCertificate(GTlsCertificate* certificate, GTlsCertificateFlags flags, const std::string& host)
{
    ServerCertificate shown;
    shown.host = host;
    shown.subject = ownedText(g_tls_certificate_get_subject_name(certificate));
    shown.issuer = ownedText(g_tls_certificate_get_issuer_name(certificate));
    shown.validFrom = isoDate(g_tls_certificate_get_not_valid_before(certificate));
    shown.validUntil = isoDate(g_tls_certificate_get_not_valid_after(certificate));
    GByteArray* der = nullptr;
    g_object_get(certificate, "certificate", &der, nullptr);
    if (der) {
        std::string hex = ownedText(g_compute_checksum_for_data(G_CHECKSUM_SHA256, der->data, der->len));
        for (size_t i = 0; i < hex.size(); ++i) {
            if (i && i % 2 == 0)
                shown.sha256 += ':';
            shown.sha256 += hex[i] >= 'a' && hex[i] <= 'f' ? char(hex[i] - 'a' + 'A') : hex[i];
        }
        g_byte_array_unref(der);
    }
    const std::pair<GTlsCertificateFlags, const char*> words[] = { { G_TLS_CERTIFICATE_UNKNOWN_CA, "Unknown issuer" },
        { G_TLS_CERTIFICATE_BAD_IDENTITY, "Issued for another site" }, { G_TLS_CERTIFICATE_NOT_ACTIVATED, "Not yet valid" },
        { G_TLS_CERTIFICATE_EXPIRED, "Expired" }, { G_TLS_CERTIFICATE_REVOKED, "Revoked" },
        { G_TLS_CERTIFICATE_INSECURE, "Insecure" }, { G_TLS_CERTIFICATE_GENERIC_ERROR, "Not valid" } };
    for (const auto& [flag, word] : words)
        if (flags & flag)
            shown.problems.emplace_back(word);
    return shown;
}

} // namespace

struct GtkWebPage::Signals {
    static GtkWebPage& page(gpointer data) { return *static_cast<GtkWebPage*>(data); }

    static gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
        gpointer data)
    {
        auto& self = page(data);
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
            auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
            WebKitURIResponse* uriResponse = webkit_response_policy_decision_get_response(response);
            SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(uriResponse);
            const char* disposition = headers ? soup_message_headers_get_one(headers, "Content-Disposition") : nullptr;
            bool attachment = disposition
                && core::ascii::lowercased(core::ascii::trimmed(disposition)).rfind("attachment", 0) == 0;
            bool canShow = webkit_response_policy_decision_is_mime_type_supported(response) && !attachment;
            if (!webkit_response_policy_decision_is_main_frame_main_resource(response)) {
                // Frames show what they can; nothing is ever downloaded.
                if (canShow)
                    webkit_policy_decision_use(decision);
                else
                    webkit_policy_decision_ignore(decision);
                return TRUE;
            }
            uint64_t held = self.holdDecision(decision);
            if (!canShow)
                self.m_unshowable.insert(held);
            PageResponse question { held, responseFrom(uriResponse),
                requestFrom(webkit_response_policy_decision_get_request(response)), canShow };
            self.deliver([question](WebPageClient& client) { client.pageResponse(question); });
            return TRUE;
        }
        WebKitNavigationAction* action
            = webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        WebKitURIRequest* request = webkit_navigation_action_get_request(action);
        const char* uri = webkit_uri_request_get_uri(request);
        if (self.m_retry->isRetrying(uri)) {
            webkit_policy_decision_use(decision);
            return TRUE;
        }
        if (!urlFrom(uri)) {
            webkit_policy_decision_ignore(decision);
            return TRUE;
        }
        PageNavigation question { self.holdDecision(decision), requestFrom(request), navigationType(action),
            bool(webkit_navigation_action_is_redirect(action)), type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION };
        self.deliver([question](WebPageClient& client) { client.pageNavigation(question); });
        return TRUE;
    }

    static void loadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data)
    {
        auto& self = page(data);
        const char* uri = webkit_web_view_get_uri(view);
        std::string address = uri ? uri : "";
        switch (event) {
        case WEBKIT_LOAD_STARTED:
            self.cancelRetry(); // another load, if one came before a waiting try
            self.m_started = true;
            if (self.m_retry->isRetrying()) {
                self.m_signIns->deliverHeld();
                return; // the same load, tried again
            }
            self.m_loading = true;
            self.m_failed = false;
            self.m_cannotShow = false;
            self.m_signIns->forgetFailures();
            self.m_retry->loadStarted();
            self.deliver([address](WebPageClient& client) { client.pageDidStartLoad(address); });
            self.m_signIns->deliverHeld();
            break;
        case WEBKIT_LOAD_REDIRECTED:
            self.deliver([address](WebPageClient& client) { client.pageDidStartLoad(address); });
            break;
        case WEBKIT_LOAD_COMMITTED:
            self.m_pictures->documentCommitted();
            break;
        case WEBKIT_LOAD_FINISHED:
            self.m_started = false;
            self.m_signIns->loadEnded();
            if (self.m_retry->attemptEnded())
                return; // tried again
            self.m_stopRequested = false;
            if (self.m_loading && !self.m_failed)
                self.deliver([](WebPageClient& client) { client.pageDidFinishLoad(); });
            self.m_loading = false;
            self.m_failed = false;
            self.m_pictures->schedule(0);
            break;
        }
        self.publishState();
    }

    // Answered TRUE: WebKit's own error page never shows.
    static gboolean loadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer data)
    {
        auto& self = page(data);
        // Races inside WebKit, not ours, cancel loads nobody stopped; such a
        // load is tried again, as the same load, a couple of times before its
        // failure is told:
        // - The sign-in race: the network process's "authenticate" reaches
        //   the view before the web process's load start (two channels with
        //   no order between them), and the view cancels its open sign-in
        //   question as it announces the start; the load then fails with
        //   "Load request cancelled" (WebKitNetworkError 302). Seen in 2 of
        //   15 runs of the sign-in test without this retry, as authenticate,
        //   cancel, start, failure.
        // - The speculative-connection race: a connection the network
        //   process opened ahead of the load fails its handshake and the load
        //   on it ends with G_IO_ERROR_CANCELLED ("Operation was cancelled").
        bool cancelled = (error->domain == G_IO_ERROR && error->code == G_IO_ERROR_CANCELLED)
            || (error->domain == WEBKIT_NETWORK_ERROR && error->code == WEBKIT_NETWORK_ERROR_CANCELLED);
        bool unexplained = error->domain == G_IO_ERROR || self.m_signIns->earlyQuestionCancelled();
        if (cancelled && unexplained && self.m_loading && !self.m_failed && !self.m_stopRequested && uri
            && self.m_retry->againAfterCancel(uri)) {
            self.m_signIns->forgetFailures();
            return TRUE;
        }
        auto url = urlFrom(uri).value_or(core::URL());
        core::Error failure = std::exchange(self.m_cannotShow, false)
            ? WebError::make(WebError::CannotShowMIMEType, url)
            : WebError::fromEngine(g_quark_to_string(error->domain), error->code, error->message ? error->message : "", url);
        if (self.m_loading && !self.m_failed) {
            self.m_failed = true;
            self.deliver([failure](WebPageClient& client) { client.pageDidFailLoad(failure); });
        }
        return TRUE;
    }

    static gboolean loadFailedWithTLSErrors(WebKitWebView*, gchar* uri, GTlsCertificate* certificate,
        GTlsCertificateFlags flags, gpointer data)
    {
        auto& self = page(data);
        auto url = urlFrom(uri).value_or(core::URL());
        bool trusted = std::any_of(self.m_trusted.begin(), self.m_trusted.end(), [&](const auto& entry) {
            return entry.first == url.host() && certificate && g_tls_certificate_is_same(entry.second, certificate);
        });
        if (self.m_retry->mayRetryCertificate()
            && (trusted || self.m_engine->state().allowCertificate(certificate, url.host()))) {
            // Accepted: the load starts over once this attempt has ended. The
            // acceptance goes to the network process on a channel of its own,
            // the load through the web process, and the load can arrive first
            // and fail the same way (seen in 1 of 15 runs of the certificate
            // test with one try only): WebKit's race, so a second try, a
            // moment later, is allowed.
            self.m_retry->againAfterCertificate(uri);
            return TRUE;
        }
        if (self.m_loading && !self.m_failed) {
            self.m_failed = true;
            auto failure = net::URLError::make(net::URLError::ServerCertificateUntrusted, url);
            if (certificate && !url.host().empty()) {
                // Kept so that the person may trust it for its host.
                if (self.m_untrusted)
                    g_object_unref(self.m_untrusted);
                self.m_untrusted = G_TLS_CERTIFICATE(g_object_ref(certificate));
                self.m_untrustedHost = url.host();
                failure.setUserInfoValue(ServerCertificate::Key, describeCertificate(certificate, flags, url.host()).toValue());
            }
            self.deliver([failure](WebPageClient& client) { client.pageDidFailLoad(failure); });
        }
        return TRUE;
    }

    static void stateChanged(GObject*, GParamSpec*, gpointer data) { page(data).publishState(); }
    static void historyChanged(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer, gpointer data)
    {
        page(data).publishState();
    }

    static gboolean authenticate(WebKitWebView* view, WebKitAuthenticationRequest* request, gpointer data)
    {
        auto& self = page(data);
        self.m_signIns->ask(request, webkit_web_view_get_uri(view), self.m_started);
        return TRUE;
    }

    static gboolean scriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data)
    {
        auto& self = page(data);
        PageDialog shown;
        switch (webkit_script_dialog_get_dialog_type(dialog)) {
        case WEBKIT_SCRIPT_DIALOG_ALERT:
            shown.kind = PageDialog::Kind::Alert;
            break;
        case WEBKIT_SCRIPT_DIALOG_CONFIRM:
            shown.kind = PageDialog::Kind::Confirm;
            break;
        case WEBKIT_SCRIPT_DIALOG_PROMPT:
            shown.kind = PageDialog::Kind::Prompt;
            shown.defaultText = PageMessage::boundedText(webkit_script_dialog_prompt_get_default_text(dialog) ?: "");
            break;
        case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
            shown.kind = PageDialog::Kind::BeforeUnload;
            break;
        }
        shown.message = PageMessage::boundedText(webkit_script_dialog_get_message(dialog) ?: "");
        auto held = std::make_shared<HeldDialog>(dialog);
        shown.answer = [held](bool confirmed, const std::string& text) { held->answer(confirmed, text); };
        self.deliver([shown = std::move(shown)](WebPageClient& client) mutable { client.pageDialog(std::move(shown)); });
        return TRUE;
    }

    // The window's right click: the link or image under it goes to the
    // view; WebKit's menu never shows.
    static gboolean contextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent* event, WebKitHitTestResult*,
        gpointer data)
    {
        auto& self = page(data);
        gdouble x = 0;
        gdouble y = 0;
        if (!event || !gdk_event_get_coords(event, &x, &y))
            return TRUE;
        gfx::Point point { float(x / self.m_scale), float(y / self.m_scale) };
        std::weak_ptr<GtkWebPage> weak = self.weakSelf();
        self.elementAt(point, [weak](const ElementInfo& info) {
            auto alive = weak.lock();
            if (alive && !info.isEmpty())
                alive->deliver([info](WebPageClient& client) { client.pageElementActions(info); });
        });
        return TRUE;
    }

    static gboolean permissionRequest(WebKitWebView*, WebKitPermissionRequest* request, gpointer)
    {
        webkit_permission_request_deny(request);
        return TRUE;
    }

    static gboolean fileChooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer)
    {
        webkit_file_chooser_request_cancel(request);
        return TRUE;
    }

    static gboolean colorChooser(WebKitWebView*, WebKitColorChooserRequest* request, gpointer)
    {
        webkit_color_chooser_request_cancel(request);
        return TRUE;
    }

    static gboolean refuse(WebKitWebView*, gpointer) { return TRUE; }
    static gboolean refusePrint(WebKitWebView*, WebKitPrintOperation*, gpointer) { return TRUE; }
    static gboolean refuseNotification(WebKitWebView*, WebKitNotification*, gpointer) { return TRUE; }

    // A window opened without a navigation decision (window.open from a
    // script that was allowed to): put to the view as a new window.
    static GtkWidget* create(WebKitWebView*, WebKitNavigationAction* action, gpointer data)
    {
        auto& self = page(data);
        PageNavigation question { 0, requestFrom(webkit_navigation_action_get_request(action)),
            navigationType(action), false, true };
        self.deliver([question](WebPageClient& client) { client.pageNavigation(question); });
        return nullptr;
    }

    static void webProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer data)
    {
        auto& self = page(data);
        core::log("Warning, a web content process ended ({})",
            reason == WEBKIT_WEB_PROCESS_CRASHED ? "crashed" : "terminated");
        if (self.m_loading && !self.m_failed) {
            auto url = urlFrom(webkit_web_view_get_uri(view)).value_or(core::URL());
            auto failure = net::URLError::make(net::URLError::Unknown, url, "The web content process ended unexpectedly.");
            self.deliver([failure](WebPageClient& client) { client.pageDidFailLoad(failure); });
        }
        self.m_loading = false;
        self.m_failed = false;
        self.m_started = false;
        self.cancelRetry();
        self.m_retry->reset();
        self.publishState();
    }

    static void scriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data)
    {
        auto& self = page(data);
        auto message = PageMessage::parse(valueFrom(webkit_javascript_result_get_js_value(result)));
        if (!message)
            return; // malformed: dropped
        if (auto* metrics = std::get_if<PageMetrics>(&*message)) {
            // Shown live, the page's picture is not seen.
            self.m_pictures->placeReported(*metrics, self.m_placement && self.m_placement->isWidgetShown(),
                self.m_loading);
        } else if (auto* error = std::get_if<PageScriptError>(&*message)) {
            PageScriptError reported = *error;
            self.deliver([reported](WebPageClient& client) { client.pageScriptError(reported); });
        } else if (auto* focus = std::get_if<PageEditingFocus>(&*message)) {
            bool editing = focus->editing;
            self.deliver([editing](WebPageClient& client) { client.pageEditingFocus(editing); });
        }
    }

    static void sizeAllocated(GtkWidget*, GdkRectangle*, gpointer data) { page(data).m_pictures->schedule(0); }
    static void responsiveness(WebKitWebView*, GParamSpec*, gpointer data) { page(data).responsivenessChanged(); }
};

void GtkWebPage::connectMessages()
{
    m_messageHandler = g_signal_connect(m_content, "script-message-received::" MESSAGE_HANDLER_NAME,
        G_CALLBACK(Signals::scriptMessage), this);
}

void GtkWebPage::connectSignals()
{
    auto connect = [&](const char* signal, GCallback callback) {
        m_viewHandlers.push_back(g_signal_connect(m_view, signal, callback, this));
    };
    connect("decide-policy", G_CALLBACK(Signals::decidePolicy));
    connect("load-changed", G_CALLBACK(Signals::loadChanged));
    connect("load-failed", G_CALLBACK(Signals::loadFailed));
    connect("load-failed-with-tls-errors", G_CALLBACK(Signals::loadFailedWithTLSErrors));
    connect("notify::title", G_CALLBACK(Signals::stateChanged));
    connect("notify::uri", G_CALLBACK(Signals::stateChanged));
    connect("notify::estimated-load-progress", G_CALLBACK(Signals::stateChanged));
    connect("notify::is-loading", G_CALLBACK(Signals::stateChanged));
    connect("authenticate", G_CALLBACK(Signals::authenticate));
    connect("script-dialog", G_CALLBACK(Signals::scriptDialog));
    connect("context-menu", G_CALLBACK(Signals::contextMenu));
    connect("permission-request", G_CALLBACK(Signals::permissionRequest));
    connect("run-file-chooser", G_CALLBACK(Signals::fileChooser));
    connect("run-color-chooser", G_CALLBACK(Signals::colorChooser));
    connect("print", G_CALLBACK(Signals::refusePrint));
    connect("show-notification", G_CALLBACK(Signals::refuseNotification));
    connect("enter-fullscreen", G_CALLBACK(Signals::refuse));
    connect("create", G_CALLBACK(Signals::create));
    connect("web-process-terminated", G_CALLBACK(Signals::webProcessTerminated));
    connect("size-allocate", G_CALLBACK(Signals::sizeAllocated));
    connect("notify::is-web-process-responsive", G_CALLBACK(Signals::responsiveness));
    m_historyHandler = g_signal_connect(webkit_web_view_get_back_forward_list(m_view), "changed",
        G_CALLBACK(Signals::historyChanged), this);
}

} // namespace web

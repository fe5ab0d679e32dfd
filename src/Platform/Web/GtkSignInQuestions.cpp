#include "Platform/Web/GtkSignInQuestions.h"

#include "Platform/Core/URL.h"
#include "Platform/Net/CredentialStorage.h"
#include "Platform/Web/AuthenticationChallenge.h"
#include "Platform/Web/WebPageClient.h"

#include <algorithm>
#include <fmt/format.h>
#include <webkit2/webkit2.h>

namespace web {

namespace {

std::string authenticationMethod(WebKitAuthenticationScheme scheme)
{
    switch (scheme) {
    case WEBKIT_AUTHENTICATION_SCHEME_HTTP_BASIC:
        return "Basic";
    case WEBKIT_AUTHENTICATION_SCHEME_HTTP_DIGEST:
        return "Digest";
    case WEBKIT_AUTHENTICATION_SCHEME_HTML_FORM:
        return "HTMLForm";
    case WEBKIT_AUTHENTICATION_SCHEME_NTLM:
        return "NTLM";
    case WEBKIT_AUTHENTICATION_SCHEME_NEGOTIATE:
        return "Negotiate";
    default:
        return "Default";
    }
}

} // namespace

GtkSignInQuestions::GtkSignInQuestions(DeliverReport deliver, bool& stopRequested)
    : m_deliver(std::move(deliver))
    , m_stopRequested(stopRequested)
{
}

GtkSignInQuestions::~GtkSignInQuestions()
{
    dropAll();
}

void GtkSignInQuestions::ask(WebKitAuthenticationRequest* request, const char* pageURI, bool started)
{
    WebKitAuthenticationScheme scheme = webkit_authentication_request_get_scheme(request);
    if (scheme == WEBKIT_AUTHENTICATION_SCHEME_CLIENT_CERTIFICATE_REQUESTED
        || scheme == WEBKIT_AUTHENTICATION_SCHEME_CLIENT_CERTIFICATE_PIN_REQUESTED
        || scheme == WEBKIT_AUTHENTICATION_SCHEME_SERVER_TRUST_EVALUATION_REQUESTED) {
        // No certificates to offer: the load goes on without one.
        webkit_authentication_request_authenticate(request, nullptr);
        return;
    }
    AuthenticationChallenge::ProtectionSpace space;
    space.host = webkit_authentication_request_get_host(request) ?: "";
    space.port = int(webkit_authentication_request_get_port(request));
    space.realm = webkit_authentication_request_get_realm(request) ?: "";
    space.authenticationMethod = authenticationMethod(scheme);
    space.isProxy = webkit_authentication_request_is_for_proxy(request);
    if (WebKitSecurityOrigin* origin = webkit_authentication_request_get_security_origin(request)) {
        space.protocol = webkit_security_origin_get_protocol(origin) ?: "";
        webkit_security_origin_unref(origin);
    }
    if (space.protocol.empty()) {
        auto url = urlFrom(pageURI);
        space.protocol = url ? url->scheme() : "http";
    }
    // Per space and load; WebKit's own word that this is a second try
    // counts too.
    std::string key = fmt::format("{}\n{}\n{}\n{}\n{}", space.host, space.port, space.realm,
        space.authenticationMethod, space.isProxy);
    int failures = m_failures[key]++;
    if (failures == 0 && webkit_authentication_request_is_retry(request))
        failures = m_failures[key] = 1;
    auto proposed = net::CredentialStorage::shared().credential(AuthenticationChallenge::storageSpace(space));

    Pending pending;
    pending.id = m_nextID++;
    pending.request = WEBKIT_AUTHENTICATION_REQUEST(g_object_ref(request));
    std::weak_ptr<GtkSignInQuestions> weak = weak_from_this();
    auto challenge = std::make_shared<AuthenticationChallenge>(space, failures, proposed,
        [weak, id = pending.id](const AuthenticationChallenge::Answer& answer) {
            if (auto alive = weak.lock())
                alive->answer(id, int(answer.disposition), answer.credential.user, answer.credential.password,
                    int(answer.persistence));
        });
    pending.challenge = challenge;
    pending.cancelledHandler = g_signal_connect(request, "cancelled", G_CALLBACK(cancelled), this);
    pending.early = !started;
    pending.delivered = started;
    if (!pending.delivered)
        pending.held = challenge;
    m_pending.push_back(pending);
    if (pending.delivered) {
        m_deliver([challenge](WebPageClient& client) { client.pageChallenge(challenge); });
    } else if (!m_heldTimer.isRunning()) {
        // A question held for a load's start that never comes (a frame's, or
        // a request of a page already loaded) is asked a moment later all
        // the same.
        m_heldTimer.start(300, [this] { deliverHeld(); });
    }
}

void GtkSignInQuestions::cancelled(WebKitAuthenticationRequest* request, void* data)
{
    auto& self = *static_cast<GtkSignInQuestions*>(data);
    for (auto& pending : self.m_pending) {
        if (pending.request != request)
            continue;
        if (pending.early && !self.m_stopRequested)
            self.m_earlyCancelled = true;
        if (!pending.delivered) {
            if (pending.held)
                pending.held->loadDidEnd();
            break; // never asked: nothing to take back
        }
        if (auto challenge = pending.challenge.lock()) {
            challenge->loadDidEnd();
            self.m_deliver([challenge](WebPageClient& client) { client.pageChallengeCancelled(challenge); });
        }
        break;
    }
    self.forget(request);
}

void GtkSignInQuestions::answer(uint64_t id, int disposition, const std::string& user, const std::string& password,
    int persistence)
{
    auto it = std::find_if(m_pending.begin(), m_pending.end(), [&](const Pending& pending) { return pending.id == id; });
    if (it == m_pending.end())
        return; // the load ended first
    WebKitAuthenticationRequest* request = WEBKIT_AUTHENTICATION_REQUEST(g_object_ref(it->request));
    forget(request);
    switch (AuthenticationChallenge::Disposition(disposition)) {
    case AuthenticationChallenge::Disposition::UseCredential: {
        // Kept for the session at most: the context stores nothing.
        WebKitCredential* credential = webkit_credential_new(user.c_str(), password.c_str(),
            persistence == 0 ? WEBKIT_CREDENTIAL_PERSISTENCE_NONE : WEBKIT_CREDENTIAL_PERSISTENCE_FOR_SESSION);
        webkit_authentication_request_authenticate(request, credential);
        webkit_credential_free(credential);
        break;
    }
    case AuthenticationChallenge::Disposition::ContinueWithoutCredential:
        webkit_authentication_request_authenticate(request, nullptr);
        break;
    case AuthenticationChallenge::Disposition::Cancel:
        // The app ends the load: the cancellation that follows is no
        // engine's whim to try again.
        m_stopRequested = true;
        webkit_authentication_request_cancel(request);
        break;
    }
    g_object_unref(request);
}

void GtkSignInQuestions::deliverHeld()
{
    for (auto& pending : m_pending) {
        if (pending.delivered)
            continue;
        pending.delivered = true;
        if (auto challenge = std::move(pending.held))
            m_deliver([challenge](WebPageClient& client) { client.pageChallenge(challenge); });
    }
}

void GtkSignInQuestions::cancelOpen()
{
    std::vector<WebKitAuthenticationRequest*> open;
    for (const auto& pending : m_pending)
        open.push_back(WEBKIT_AUTHENTICATION_REQUEST(g_object_ref(pending.request)));
    for (auto* request : open) {
        webkit_authentication_request_cancel(request);
        g_object_unref(request);
    }
}

void GtkSignInQuestions::dropAll()
{
    for (auto& pending : m_pending) {
        g_signal_handler_disconnect(pending.request, pending.cancelledHandler);
        if (auto challenge = pending.challenge.lock())
            challenge->loadDidEnd();
        webkit_authentication_request_cancel(pending.request);
        g_object_unref(pending.request);
    }
    m_pending.clear();
    m_heldTimer.cancel();
}

void GtkSignInQuestions::forget(WebKitAuthenticationRequest* request)
{
    auto it = std::find_if(m_pending.begin(), m_pending.end(),
        [&](const Pending& pending) { return pending.request == request; });
    if (it == m_pending.end())
        return;
    g_signal_handler_disconnect(it->request, it->cancelledHandler);
    g_object_unref(it->request);
    m_pending.erase(it);
}

} // namespace web

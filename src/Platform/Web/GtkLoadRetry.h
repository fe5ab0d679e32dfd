#pragma once

// A GTK page's load tried again, as the same load, once the attempt has
// ended: after the engine cancelled it by itself (WebKit's own races, twice
// at most, 0.25 s and then 0.5 s later) or after its certificate was
// accepted (at once, and once more 0.3 s later). Between two tries nothing
// loads. Owned by the page; WebKit's types are only declared here.

#include "Platform/Core/URL.h"
#include "Platform/Web/GtkTimeout.h"

#include <optional>
#include <string>

typedef struct _WebKitWebView WebKitWebView;

namespace web {

class GtkLoadRetry {
public:
    explicit GtkLoadRetry(WebKitWebView* view);

    // A new load: no tries yet.
    void loadStarted();
    // Whether the load is being tried again (at `uri`: the engine's own
    // navigation for the try).
    bool isRetrying() const { return m_retrying; }
    bool isRetrying(const char* uri) const { return m_retrying && uri && m_url == uri; }
    // The engine cancelled the load at `uri` by itself: whether it is tried
    // again (not after two tries).
    bool againAfterCancel(const std::string& uri);
    // Whether the load may start over after its certificate is accepted,
    // and that it does.
    bool mayRetryCertificate() const { return m_certificateRetries < 2; }
    void againAfterCertificate(const std::string& uri);
    // The attempt ended: whether a try follows (started now or after its
    // delay); otherwise the load is over and nothing is tried.
    bool attemptEnded();
    // Cancels a try waiting for its delay: the address it was for, which
    // the page ends as stopped; nothing when none waits.
    std::optional<core::URL> cancelWaiting();
    // Nothing is tried any more (the web process ended).
    void reset();

private:
    void retry(const std::string& uri, unsigned delayMilliseconds);

    WebKitWebView* m_view;
    std::string m_url;
    bool m_pending = false;
    unsigned m_delay = 0;
    GtkTimeout m_timer;
    bool m_retrying = false;
    int m_certificateRetries = 0;
    int m_engineRetries = 0;
};

} // namespace web

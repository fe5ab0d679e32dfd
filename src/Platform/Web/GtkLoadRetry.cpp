#include "Platform/Web/GtkLoadRetry.h"

#include "Platform/Web/GtkWebPageSupport.h"

#include <webkit2/webkit2.h>

namespace web {

GtkLoadRetry::GtkLoadRetry(WebKitWebView* view)
    : m_view(view)
{
}

void GtkLoadRetry::loadStarted()
{
    m_engineRetries = 0;
    m_certificateRetries = 0;
}

bool GtkLoadRetry::againAfterCancel(const std::string& uri)
{
    if (m_engineRetries >= 2)
        return false;
    ++m_engineRetries;
    // A moment later each time: what the engine was still busy with (a
    // handshake of a slow server) has ended by then.
    retry(uri, 250 * unsigned(m_engineRetries));
    return true;
}

void GtkLoadRetry::againAfterCertificate(const std::string& uri)
{
    retry(uri, m_certificateRetries++ ? 300 : 0);
}

void GtkLoadRetry::retry(const std::string& uri, unsigned delayMilliseconds)
{
    m_url = uri;
    m_pending = true;
    m_delay = delayMilliseconds;
}

bool GtkLoadRetry::attemptEnded()
{
    if (!m_pending) {
        m_retrying = false;
        m_url.clear();
        return false;
    }
    m_pending = false;
    m_retrying = true;
    if (m_delay == 0)
        webkit_web_view_load_uri(m_view, m_url.c_str());
    else
        m_timer.start(m_delay, [this] { webkit_web_view_load_uri(m_view, m_url.c_str()); });
    return true;
}

std::optional<core::URL> GtkLoadRetry::cancelWaiting()
{
    if (!m_timer.isRunning())
        return std::nullopt;
    m_timer.cancel();
    m_retrying = false;
    auto url = urlFrom(m_url.c_str()).value_or(core::URL());
    m_url.clear();
    return url;
}

void GtkLoadRetry::reset()
{
    m_timer.cancel();
    m_pending = false;
    m_retrying = false;
    m_url.clear();
}

} // namespace web

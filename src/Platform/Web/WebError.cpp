#include "Platform/Web/WebError.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/URL.h"
#include "Platform/Net/URLError.h"

#include <gio/gio.h>
#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

namespace web {

namespace {

std::string_view description(int code)
{
    switch (code) {
    case WebError::CannotShowMIMEType:
        return "Content with the specified MIME type can’t be shown";
    case WebError::CannotShowURL:
        return "The URL can’t be shown";
    case WebError::FrameLoadInterruptedByPolicyChange:
        return "Frame load interrupted";
    case WebError::CannotUseRestrictedPort:
        return "Not allowed to use restricted network port";
    default:
        return "The operation couldn’t be completed.";
    }
}

int urlErrorCode(std::string_view domain, int code)
{
    using net::URLError;
    if (domain == "g-resolver-error-quark")
        return URLError::CannotFindHost;
    if (domain == "g-io-error-quark") {
        switch (code) {
        case G_IO_ERROR_HOST_NOT_FOUND:
            return URLError::CannotFindHost;
        case G_IO_ERROR_CONNECTION_REFUSED:
        case G_IO_ERROR_HOST_UNREACHABLE:
        case G_IO_ERROR_NETWORK_UNREACHABLE:
            return URLError::CannotConnectToHost;
        case G_IO_ERROR_TIMED_OUT:
            return URLError::TimedOut;
        case G_IO_ERROR_NOT_FOUND:
        case G_IO_ERROR_IS_DIRECTORY:
            return URLError::FileDoesNotExist;
        case G_IO_ERROR_PERMISSION_DENIED:
            return URLError::NoPermissionsToReadFile;
        case G_IO_ERROR_CANCELLED:
            return URLError::Cancelled;
        case G_IO_ERROR_BROKEN_PIPE:
        case G_IO_ERROR_NOT_CONNECTED:
            return URLError::NetworkConnectionLost;
        default:
            return URLError::Unknown;
        }
    }
    if (domain == "g-tls-error-quark")
        return code == G_TLS_ERROR_BAD_CERTIFICATE ? URLError::ServerCertificateUntrusted
                                                   : URLError::SecureConnectionFailed;
    if (domain == "WebKitNetworkError") {
        switch (code) {
        case WEBKIT_NETWORK_ERROR_CANCELLED:
            return URLError::Cancelled;
        case WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST:
            return URLError::FileDoesNotExist;
        case WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL:
            return URLError::UnsupportedURL;
        default:
            return URLError::Unknown;
        }
    }
    if (domain == "soup-session-error-quark" && code == SOUP_SESSION_ERROR_TOO_MANY_REDIRECTS)
        return URLError::HTTPTooManyRedirects;
    return URLError::Unknown;
}

} // namespace

core::Error WebError::make(int code, const core::URL& url)
{
    core::Error error(Domain, code, core::localized(description(code), "WebKit"));
    error.setUserInfoValue(net::URLError::FailingURLKey, core::Value(url.absoluteString()));
    error.setUserInfoValue(net::URLError::FailingURLStringKey, core::Value(url.absoluteString()));
    return error;
}

core::Error WebError::fromEngine(std::string_view engineDomain, int engineCode, std::string_view message,
    const core::URL& url)
{
    if (engineDomain == "WebKitPolicyError" && engineCode >= CannotShowMIMEType && engineCode <= CannotUseRestrictedPort)
        return make(engineCode, url);
    int code = urlErrorCode(engineDomain, engineCode);
    // Only the codes without a text of their own keep the engine's words.
    if (code == net::URLError::Unknown)
        return net::URLError::make(code, url, message.empty() ? std::string_view("unknown error") : message);
    return net::URLError::make(code, url);
}

core::Error WebError::needsDisplay(const core::URL& url)
{
    return net::URLError::make(net::URLError::Unknown, url, core::localized("Web content needs a display", "WebKit"));
}

core::Error WebError::scriptException(std::string_view engineMessage)
{
    // "http://host/page:1:24: Error: boom" → "Error: boom"
    std::string_view text = engineMessage;
    for (size_t at = text.find(": "); at != std::string_view::npos; at = text.find(": ", at + 1)) {
        std::string_view head = text.substr(0, at);
        size_t lastColon = head.rfind(':');
        if (lastColon == std::string_view::npos)
            break;
        size_t secondColon = head.rfind(':', lastColon - 1);
        auto digits = [](std::string_view part) {
            return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
        };
        if (lastColon > 0 && secondColon != std::string_view::npos && digits(head.substr(lastColon + 1))
            && digits(head.substr(secondColon + 1, lastColon - secondColon - 1))) {
            text = text.substr(at + 2);
            break;
        }
    }
    return core::Error(Domain, JavaScriptExceptionOccurred, std::string(text));
}

} // namespace web

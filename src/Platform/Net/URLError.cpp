#include "Platform/Net/URLError.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/URL.h"

namespace net {

std::string_view URLError::defaultDescription(int code)
{
    switch (code) {
    case Cancelled:
        return "cancelled";
    case BadURL:
        return "bad URL";
    case TimedOut:
        return "The request timed out.";
    case UnsupportedURL:
        return "unsupported URL";
    case CannotFindHost:
        return "A server with the specified hostname could not be found.";
    case CannotConnectToHost:
        return "Could not connect to the server.";
    case NetworkConnectionLost:
        return "The network connection was lost.";
    case HTTPTooManyRedirects:
        return "too many HTTP redirects";
    case BadServerResponse:
        return "bad server response";
    case CannotParseResponse:
        return "cannot parse response";
    case FileDoesNotExist:
        return "The requested resource does not exist.";
    case NoPermissionsToReadFile:
        return "The resource could not be read because of insufficient permissions.";
    case SecureConnectionFailed:
        return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case ServerCertificateUntrusted:
        return "The certificate for this server is invalid.";
    default:
        return "unknown error";
    }
}

core::Error URLError::make(int code, const core::URL& url, std::string_view description)
{
    const std::string text = description.empty() ? core::localized(defaultDescription(code), "URLLoading")
                                                 : std::string(description);
    core::Error error(URLErrorDomain, code, text);
    error.setUserInfoValue(FailingURLKey, core::Value(url.absoluteString()));
    error.setUserInfoValue(FailingURLStringKey, core::Value(url.absoluteString()));
    return error;
}

} // namespace net

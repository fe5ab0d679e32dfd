#pragma once

#include "Platform/Core/Error.h"

#include <string_view>

namespace core {
class URL;
}

namespace net {

// The domain of URL loading failures, under the name the system's stored
// errors and callers compare against.
inline constexpr const char* URLErrorDomain = "NSURLErrorDomain";

// Failures of URL loading: codes in URLErrorDomain and the errors carrying
// them, with the failing URL in the user info.
class URLError {
public:
    enum Code : int {
        Unknown = -1,
        Cancelled = -999,
        BadURL = -1000,
        TimedOut = -1001,
        UnsupportedURL = -1002,
        CannotFindHost = -1003,
        CannotConnectToHost = -1004,
        NetworkConnectionLost = -1005,
        HTTPTooManyRedirects = -1007,
        BadServerResponse = -1011,
        CannotParseResponse = -1017,
        FileDoesNotExist = -1100,
        NoPermissionsToReadFile = -1102,
        SecureConnectionFailed = -1200,
        ServerCertificateUntrusted = -1202,
    };

    static constexpr const char* FailingURLKey = "NSErrorFailingURLKey";
    static constexpr const char* FailingURLStringKey = "NSErrorFailingURLStringKey";

    // An error of the domain with the failing URL's absolute string under
    // both keys and the description: `description` when given, else the
    // localized text for the code.
    static core::Error make(int code, const core::URL& url, std::string_view description = {});
    // The English text for a code the loader reports ("The request timed out.").
    static std::string_view defaultDescription(int code);
};

} // namespace net

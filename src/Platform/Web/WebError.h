#pragma once

// The failures a web view reports, in the system's terms: NSURLErrorDomain
// codes for what went wrong on the network or with a file (net::URLError),
// "WebKitErrorDomain" for what the view refused to show, both with the
// failing URL under NSErrorFailingURLKey.

#include "Platform/Core/Error.h"

#include <string_view>

namespace core {
class URL;
}

namespace web {

class WebError {
public:
    static constexpr const char* Domain = "WebKitErrorDomain";
    enum Code : int {
        // A script threw; the description is the exception's message.
        JavaScriptExceptionOccurred = 4,
        CannotShowMIMEType = 100,
        CannotShowURL = 101,
        FrameLoadInterruptedByPolicyChange = 102,
        CannotUseRestrictedPort = 103,
    };

    static core::Error make(int code, const core::URL& url);
    // What the engine reported (its error domain's name, code and text) for
    // a load of `url`: host not found, refused, timed out, certificate,
    // unknown scheme, missing file and cancelled become their URL error
    // codes, the policy refusals this domain's; the rest is NSURLErrorUnknown
    // with the engine's text.
    static core::Error fromEngine(std::string_view engineDomain, int engineCode, std::string_view message,
        const core::URL& url);
    // Loads where no display lets web content run.
    static core::Error needsDisplay(const core::URL& url);
    // A script's failure: the engine's text without the "source:line:column: "
    // it puts in front.
    static core::Error scriptException(std::string_view engineMessage);
};

} // namespace web

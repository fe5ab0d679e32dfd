#pragma once

#include "WebDAV/WebDAVResource.h"

#include "Platform/Core/Result.h"
#include "Platform/Core/URL.h"

#include <cerrno>

#include <optional>
#include <string>
#include <string_view>

class HTTPConnection;
class WebDAVResponse;

// How a response ended: what the connection still has to do with it.
enum class WebDAVResponseEnd {
    // Send the response, then read the next request.
    KeepOpen,
    // Send the response, then close.
    Close,
    // Nothing: the response wrote everything itself.
    WroteItself,
};

// What a method response asks of the connection that made it: the server's
// path mapping, the members of a collection (the virtual roots for "/"),
// the upload-session cookie, and the end of the response.
class WebDAVResponseDelegate {
public:
    virtual ~WebDAVResponseDelegate() = default;

    // The server's base URL, for absolute "Location" values; nothing when
    // the server has no host name.
    virtual std::optional<core::URL> localHost() = 0;
    virtual std::optional<std::string> localPathForURI(const core::URL& uri) = 0;
    virtual std::optional<core::URL> URIForLocalPath(const std::string& path) = 0;
    // Puts (or clears) the upload-session cookie on the response.
    virtual void webDAVResponse(WebDAVResponse& response, const core::URL& setSessionIdCookieForURI) = 0;
    // Nothing for depth "0".
    virtual std::optional<WebDAVResourceList> webDAVResponse(WebDAVResponse& response,
        const WebDAVResource& subresourcesForResource, std::string_view toDepth) = 0;
    // Whether a client may change the URI (not the root, not a virtual root).
    virtual bool isMutableURI(const core::URL& uri) = 0;
    // The response is complete; `end` says what is left to send.
    virtual void webDAVResponseDidEnd(WebDAVResponse& response, WebDAVResponseEnd end) = 0;

    // The connection behind the response, for responses that write to its
    // socket themselves or need its standard headers; nothing without one.
    virtual HTTPConnection* connectionForWebDAVResponse(WebDAVResponse&) { return nullptr; }
    // Answers the request's "Expect": 0 without one, 100 after sending the
    // interim 100, else 417.
    virtual int processExpectHeader() { return 0; }
    // Asks for the request body's next piece, which comes to the response's
    // requestBodyDid... calls (HTTPConnection::readRequestBody); ENOTCONN
    // when there is no connection to read it from.
    virtual core::Result<void> readRequestBody(WebDAVResponse&) { return core::Error::posix(ENOTCONN); }
};

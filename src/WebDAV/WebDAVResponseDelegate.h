#pragma once

#include "WebDAV/WebDAVResource.h"

#include "Platform/Core/Result.h"
#include "Platform/Core/URL.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// An answer a response formatted itself, for the connection to write in
// place of the response's message (which it then never sends).
struct WebDAVPreparedAnswer {
    // The whole head, its blank line and the body's first bytes, in one
    // buffer. Empty: the head is the response's own message, given the
    // connection's standard headers, and `first` leaves with it.
    std::string head;
    std::string first;
    // The rest of the body, written as it is (never copied into the head).
    std::string rest;
    // A file streamed after the head from its start (the connection takes
    // the descriptor): `fileLength` bytes, each turn within `pieceTimeout`.
    int fd = -1;
    uint64_t fileLength = 0;
    double pieceTimeout = 0;
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

    // Whether the server's roots hold a path with every link resolved;
    // without a server to ask, every path is served.
    virtual bool isServedRealPath(const std::string&) { return true; }
    // The server's virtual roots; none for a server of one root.
    virtual std::vector<core::URL> virtualRootURIs() { return {}; }
    // "https" or "http" as the server is secure or not; nothing when unknown.
    virtual std::optional<std::string> serverScheme() { return std::nullopt; }
    // Whether a request let in without credentials (it named an open area)
    // writes to a destination that needs them and brought none that hold:
    // then the connection has answered it with the challenge itself, and the
    // response ends as one that wrote itself.
    virtual bool challengedForDestination(const core::URL&, const core::URL&) { return false; }

    // Whether a prepared answer can go at once: the client is there and the
    // request's body was read whole (else the message path answers, and
    // closes after).
    virtual bool canSendPrepared() { return false; }
    // The connection's standard headers onto a head being formatted as text.
    virtual void appendStandardHeaders(std::string&) { }
    // Writes a prepared answer. Without a file the response ends with it (as
    // one that wrote itself). With one the response runs on until the file's
    // last write is reported to it (onSocketDidWriteDataWithTag with a final
    // tag), or ends at once, closing, when the client is gone (as it does
    // without a connection); a request body left unread makes the
    // connection close after the file.
    virtual void sendPrepared(WebDAVResponse& response, WebDAVPreparedAnswer answer)
    {
        if (answer.fd >= 0)
            ::close(answer.fd);
        webDAVResponseDidEnd(response, WebDAVResponseEnd::Close);
    }
    // Answers the request's "Expect": 0 without one, 100 after sending the
    // interim 100, else 417.
    virtual int processExpectHeader() { return 0; }
    // Asks for the request body's next piece, which comes to the response's
    // requestBodyDid... calls (HTTPConnection::readRequestBody); ENOTCONN
    // when there is no connection to read it from.
    virtual core::Result<void> readRequestBody(WebDAVResponse&) { return core::Error::posix(ENOTCONN); }
};

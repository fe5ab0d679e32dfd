#pragma once

#include <string_view>

// What takes a request's body from the connection, one piece at a time:
// the connection reads the socket for the next piece only when the reader
// asks for it (HTTPConnection::readRequestBody), so a reader that is slow to
// store a piece slows the client rather than fill memory.
class HTTPRequestBodyReader {
public:
    virtual ~HTTPRequestBodyReader() = default;

    // The next bytes of the body, de-chunked, never empty.
    virtual void requestBodyDidRead(std::string_view bytes) = 0;
    // Every byte of the body arrived.
    virtual void requestBodyDidEnd() = 0;
    // The body broke its chunked framing: the request is refused with 400.
    virtual void requestBodyDidFail() = 0;
};

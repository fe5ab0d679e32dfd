#pragma once

#include "HTTP/HTTPRequestBodyReader.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class HTTPConnection;

// Gathers a request's body whole for a method that needs all of it at once
// (an XML body, TRACE's echo), through the connection's body reading: at
// the end the body goes into the request and `then` runs. The method bounds
// a known length before it asks (the body is held in memory); a chunked body
// that passes the limit is answered 413, one that breaks its framing 400,
// and the connection closes.
class HTTPBodyGatherer : public HTTPRequestBodyReader, public std::enable_shared_from_this<HTTPBodyGatherer> {
public:
    // The connection owns the gatherer and outlives it.
    HTTPBodyGatherer(HTTPConnection& connection, uint64_t limit, std::function<void()> then);

    void requestBodyDidRead(std::string_view bytes) override;
    void requestBodyDidEnd() override;
    void requestBodyDidFail() override;

private:
    HTTPConnection& m_connection;
    uint64_t m_limit = 0;
    std::string m_body;
    std::function<void()> m_then;
};

#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/HTTPURLResponse.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace net {

class URLConnection;

// One thing that happened to a load, queued by whatever carries it out
// (curl, the test fake) and handed to the delegate later, outside the
// carrier's own callbacks.
struct URLLoadEvent {
    // Resend: the carrier would send the request again on a fresh
    // connection (a kept-alive one closed before any answer).
    enum class Kind { Response, Data, SentBody, Finish, Failure, Resend };
    explicit URLLoadEvent(Kind kind) : kind(kind) { }

    Kind kind;
    std::optional<core::HTTPURLResponse> response;
    std::string data;
    int64_t written = 0;
    int64_t totalWritten = 0;
    int64_t totalExpected = 0;
    core::Error error;
};

// What carries out a connection's load. It feeds the connection's event
// queue and holds the connection alive from start() until it ends or is
// stopped.
class URLLoad {
public:
    virtual ~URLLoad() = default;
    virtual void start(const std::shared_ptr<URLConnection>& connection) = 0;
    // Ends the load at once, without further events (cancel).
    virtual void stop() = 0;
};

} // namespace net

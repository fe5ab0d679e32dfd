#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/URLRequest.h"

#include <functional>
#include <memory>
#include <string>

namespace core {
class Timer;
}

namespace web {

// The time-out of a request loaded into a web view. The engine applies none
// of its own, so the main document must answer within the request's
// interval; otherwise `expired` hears the time-out error a URL load gives
// (NSURLErrorDomain −1001) and the view stops the load. Main thread only.
class LoadTimeout {
public:
    explicit LoadTimeout(std::function<void(const core::Error&)> expired);
    ~LoadTimeout();
    LoadTimeout(const LoadTimeout&) = delete;
    LoadTimeout& operator=(const LoadTimeout&) = delete;

    // Times `request`, loaded at the engine's `address`, instead of any
    // request timed before.
    void start(const core::URLRequest& request, std::string address);
    // A load started: one of another address means the timed one is not
    // coming (a link followed meanwhile).
    void loadStarted(const std::string& address);
    // The answer came, or the load ended or was given up.
    void stop();

private:
    std::function<void(const core::Error&)> m_expired;
    std::shared_ptr<core::Timer> m_timer;
    std::string m_address;
};

} // namespace web

#pragma once

#include <memory>

struct AvahiPoll;

namespace core {
class RunLoop;
}

namespace net {

// Avahi's main-loop abstraction over a core::RunLoop: its descriptor
// watches become descriptor sources and its timeouts the loop's timers, all
// in the common modes. Every Avahi callback thus runs on that loop's thread.
// Outlives every Avahi object made with it.
class AvahiRunLoopPoll {
public:
    explicit AvahiRunLoopPoll(core::RunLoop& loop);
    ~AvahiRunLoopPoll();
    AvahiRunLoopPoll(const AvahiRunLoopPoll&) = delete;
    AvahiRunLoopPoll& operator=(const AvahiRunLoopPoll&) = delete;

    const ::AvahiPoll* api() const;

    struct Impl;

private:
    std::unique_ptr<Impl> m;
};

} // namespace net

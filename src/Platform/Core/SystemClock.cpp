#include "Platform/Core/SystemClock.h"

#include <ctime>

namespace core {

std::shared_ptr<SystemClock> SystemClock::shared()
{
    static const auto clock = std::make_shared<SystemClock>();
    return clock;
}

Date SystemClock::now() const
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return Date::fromUnixTime(static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9);
}

int64_t SystemClock::monotonicNanoseconds() const
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace core

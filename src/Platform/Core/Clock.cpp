#include "Platform/Core/Clock.h"

#include "Platform/Core/SystemClock.h"

#include <atomic>
#include <cmath>
#include <limits>

namespace core {

namespace {

std::atomic<std::shared_ptr<Clock>> installed;

Date installedNow()
{
    return Clock::current()->now();
}

} // namespace

Clock::~Clock() = default;

std::shared_ptr<Clock> Clock::current()
{
    if (auto clock = installed.load())
        return clock;
    return SystemClock::shared();
}

void Clock::setCurrent(std::shared_ptr<Clock> clock)
{
    bool system = !clock || clock == SystemClock::shared();
    installed.store(system ? nullptr : std::move(clock));
    // The system clock is what Date reads by itself; skip the indirection.
    Date::setNowFunction(system ? nullptr : &installedNow);
}

int64_t Clock::nanoseconds(double seconds)
{
    if (!(seconds > 0))
        return 0;
    double ns = std::round(seconds * 1e9);
    if (ns >= static_cast<double>(std::numeric_limits<int64_t>::max() / 4))
        return std::numeric_limits<int64_t>::max() / 4;
    return static_cast<int64_t>(ns);
}

} // namespace core

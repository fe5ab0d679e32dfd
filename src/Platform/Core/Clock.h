#pragma once

#include "Platform/Core/Date.h"

#include <cstdint>
#include <memory>

namespace core {

// Where the process reads time: the wall date (Date::now()) and a monotonic
// count for timers and time-outs. The program runs on the SystemClock; tests
// install a ManualClock so that every delay is stepped, never slept.
class Clock {
public:
    virtual ~Clock();

    virtual Date now() const = 0;
    // Monotonic time in nanoseconds. Whole nanoseconds keep sums of stepped
    // delays exact (0.29 s + 0.01 s reaches a 0.3 s timer).
    virtual int64_t monotonicNanoseconds() const = 0;
    double monotonic() const { return static_cast<double>(monotonicNanoseconds()) / 1e9; }
    // A manual clock only moves when told; run loops never wait for its timers.
    virtual bool isManual() const { return false; }

    // The process clock; the SystemClock unless another was installed.
    static std::shared_ptr<Clock> current();
    // Installs `clock` (nullptr: the SystemClock) and routes Date::now() to it.
    static void setCurrent(std::shared_ptr<Clock> clock);

    // Seconds (negative and NaN count as 0) as nanoseconds, saturating.
    static int64_t nanoseconds(double seconds);
};

} // namespace core

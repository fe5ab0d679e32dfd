#pragma once

#include "Platform/Core/Clock.h"

#include <mutex>

namespace core {

// The tests' clock: stands still until advanced. It starts at
// 2011-06-01 12:00:00 UTC so that dates in tests are fixed.
class ManualClock : public Clock {
public:
    static constexpr Date StartDate = Date::fromUnixTime(1306929600.0);

    static std::shared_ptr<ManualClock> create();

    Date now() const override;
    int64_t monotonicNanoseconds() const override;
    bool isManual() const override { return true; }

    // Moves the wall date and the monotonic time on by `seconds` (negative
    // and NaN count as 0: time never runs backwards).
    void advance(double seconds);
    void advanceNanoseconds(int64_t nanoseconds);
    // Sets the wall date only, as a user changing the device's date would;
    // timers keep their monotonic schedule.
    void setNow(Date date);

private:
    mutable std::mutex m_mutex;
    Date m_wallBase = StartDate;
    int64_t m_wallNanoseconds = 0;
    int64_t m_monotonicNanoseconds = int64_t(1000) * 1000000000;
};

} // namespace core

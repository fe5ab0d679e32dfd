#pragma once

#include "Platform/Core/Clock.h"

namespace core {

// The real clock: CLOCK_REALTIME for dates, CLOCK_MONOTONIC for timers.
class SystemClock : public Clock {
public:
    static std::shared_ptr<SystemClock> shared();

    Date now() const override;
    int64_t monotonicNanoseconds() const override;
};

} // namespace core

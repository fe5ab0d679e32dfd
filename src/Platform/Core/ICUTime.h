#pragma once

#include "Platform/Core/Date.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace core::icutime {

// The conversions between Date and ICU's time (milliseconds since 1970) that
// the zone, calendar and formatter code share. ICU's calendars misbehave
// outside their supported range (roughly ±5.8 million years) and on NaN, so
// times are clamped into it and NaN has no ICU time at all.
inline std::optional<double> millis(Date date)
{
    constexpr double minimum = -184303902528000000.0;
    constexpr double maximum = 183882168921600000.0;
    double value = date.timeIntervalSince1970() * 1000.0;
    if (std::isnan(value))
        return std::nullopt;
    return std::clamp(value, minimum, maximum);
}

inline Date date(double millis)
{
    return Date::fromUnixTime(millis / 1000.0);
}

} // namespace core::icutime

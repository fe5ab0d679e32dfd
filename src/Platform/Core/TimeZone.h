#pragma once

#include "Platform/Core/Date.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// A geographic or fixed-offset time zone ("Europe/Berlin", "UTC",
// "GMT+01:00"). An immutable value: copies share the zone and may be used
// from any thread.
//
// The process keeps one default zone that calendars and date formatters take
// when none is given. Change it only through setDefaultTimeZoneForTesting(): ICU caches
// its own default on first use and never looks at $TZ again, so setting the
// environment afterwards has no effect.
class TimeZone {
public:
    static TimeZone utc();
    // A zone by its identifier; nothing for an identifier the zone database
    // does not know.
    static std::optional<TimeZone> named(std::string_view identifier);

    // The zone of the machine ($TZ, else /etc/localtime), read once and kept
    // until resetSystemTimeZoneForTesting().
    static TimeZone systemTimeZone();
    static void resetSystemTimeZoneForTesting();

    // The zone the process works in: the system zone unless set.
    static TimeZone defaultTimeZone();
    static void setDefaultTimeZoneForTesting(const TimeZone& zone);

    const std::string& name() const;

    bool operator==(const TimeZone& other) const { return name() == other.name(); }

    // The ICU zone behind it; defined where ICU is included.
    struct Impl;

private:
    explicit TimeZone(std::shared_ptr<const Impl> impl) : m_impl(std::move(impl)) { }
    std::shared_ptr<const Impl> m_impl;
};

} // namespace core

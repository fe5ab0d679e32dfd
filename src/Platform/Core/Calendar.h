#pragma once

#include "Platform/Core/Date.h"
#include "Platform/Core/TimeZone.h"

#include <memory>
#include <optional>

namespace core {

// A date as a calendar in some zone shows it.
struct DateComponents {
    int year = 0;
    int month = 0;   // 1 = January
    int day = 0;     // of the month, from 1
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 0; // 1 = Sunday ... 7 = Saturday; ignored when making a date

    bool operator==(const DateComponents&) const = default;
};

// The Gregorian calendar in a time zone: what wall-clock date a moment is,
// which moment a wall-clock date is, and how many calendar days lie between
// two moments. Copies share one ICU calendar behind a lock, so a calendar may
// be used from several threads.
class Calendar {
public:
    // The calendar in the default time zone as it is now.
    static Calendar current();
    explicit Calendar(const TimeZone& zone);

    const TimeZone& timeZone() const;

    // Whole seconds; all zero for a date that is not a number.
    DateComponents components(Date date) const;

    // The moment of a wall-clock date. Fields out of range carry over (month
    // 13 is January of the next year, second 60 the next minute); a time the
    // zone skips (the hour lost to daylight saving time) moves forward to
    // the first valid moment, a time it repeats takes the earlier one.
    // Nothing when a field is beyond any sensible range.
    std::optional<Date> date(const DateComponents& components) const;

    // The first moment of the date's day: normally midnight, the end of the
    // gap where the zone skips midnight.
    Date startOfDay(Date date) const;

    // Calendar days from `from` to `to`: 23:59 to 00:01 the next day is one
    // day, however long the days between them are. Negative when `to` is
    // earlier.
    int calendarDaysBetween(Date from, Date to) const;

    struct Impl;

private:
    std::shared_ptr<Impl> m_impl;
};

} // namespace core

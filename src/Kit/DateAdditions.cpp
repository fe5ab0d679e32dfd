#include "Kit/DateAdditions.h"

#include "Platform/Core/Calendar.h"
#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/Localized.h"

#include <mutex>

bool isAfterDate(core::Date date, core::Date other)
{
    return date > other;
}

bool isBeforeDate(core::Date date, core::Date other)
{
    return date < other;
}

core::Date dateAtMidnightToday()
{
    return core::Calendar::current().startOfDay(core::Date::now());
}

std::string descriptionWithNaturalLanguageUsingAbbreviation(core::Date date, VKDateAbbreviation abbreviation,
    bool ignoreTime)
{
    const core::Date now = core::Date::now();
    const core::Calendar calendar = core::Calendar::current();
    const int days = calendar.calendarDaysBetween(date, now);
    const bool shortMonths = abbreviation != VKDateAbbreviation::None;
    const std::string time = ignoreTime ? "" : " HH:mm";

    std::string pattern;
    if (days == 0)
        pattern = core::DateFormatter::quote(core::localized("Today")) + time;
    else if (days == 1)
        pattern = core::DateFormatter::quote(core::localized("Yesterday")) + time;
    else if (days >= 2 && days <= 6)
        pattern = (abbreviation == VKDateAbbreviation::MonthsAndWeekdays ? "EEE" : "EEEE") + time;
    else if (days >= 7 && calendar.components(date).year == calendar.components(now).year)
        pattern = (shortMonths ? "d MMM" : "d MMMM") + time;
    else
        pattern = shortMonths ? "d MMM yyyy" : "d MMMM yyyy";

    // One formatter for the process, given the pattern, the default locale
    // and the default zone on each call under one lock.
    static std::mutex mutex;
    static core::DateFormatter formatter;
    std::lock_guard lock(mutex);
    formatter.setPattern(pattern);
    if (formatter.locale() != core::DateFormatter::defaultLocale())
        formatter.setLocale(core::DateFormatter::defaultLocale());
    if (!(formatter.timeZone() == calendar.timeZone()))
        formatter.setTimeZone(calendar.timeZone());
    return formatter.format(date);
}

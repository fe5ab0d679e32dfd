#include "Platform/Core/Calendar.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/ICUTime.h"

#include <fmt/format.h>
#include <mutex>
#include <unicode/gregocal.h>
#include <unicode/timezone.h>

namespace core {

struct Calendar::Impl {
    explicit Impl(const TimeZone& timeZone) : zone(timeZone)
    {
        UErrorCode status = U_ZERO_ERROR;
        auto* icuZone = icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone.name()));
        calendar = std::make_unique<icu::GregorianCalendar>(icuZone, icu::Locale::getRoot(), status);
        if (U_FAILURE(status))
            throw Exception(Exception::InternalInconsistency, fmt::format("cannot make a calendar: {}", u_errorName(status)));
        calendar->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
        calendar->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
    }

    // The calendar set to the date, or nothing for a date ICU cannot take.
    // The caller holds the lock.
    icu::Calendar* at(Date date)
    {
        auto millis = icutime::millis(date);
        if (!millis)
            return nullptr;
        UErrorCode status = U_ZERO_ERROR;
        calendar->setTime(*millis, status);
        return U_SUCCESS(status) ? calendar.get() : nullptr;
    }

    TimeZone zone;
    std::mutex mutex;
    std::unique_ptr<icu::GregorianCalendar> calendar;
};

namespace {

// Keeps lenient arithmetic inside ICU's 32-bit field computations.
constexpr int MaximumField = 1000000;

struct CurrentCalendar {
    std::mutex mutex;
    std::optional<Calendar> calendar;
};

} // namespace

Calendar Calendar::current()
{
    // One calendar serves every caller until the default zone changes.
    static CurrentCalendar shared;
    TimeZone zone = TimeZone::defaultTimeZone();
    std::lock_guard lock(shared.mutex);
    if (!shared.calendar || !(shared.calendar->timeZone() == zone))
        shared.calendar = Calendar(zone);
    return *shared.calendar;
}

Calendar::Calendar(const TimeZone& zone)
    : m_impl(std::make_shared<Impl>(zone))
{
}

const TimeZone& Calendar::timeZone() const
{
    return m_impl->zone;
}

DateComponents Calendar::components(Date date) const
{
    std::lock_guard lock(m_impl->mutex);
    auto* calendar = m_impl->at(date);
    if (!calendar)
        return {};
    UErrorCode status = U_ZERO_ERROR;
    DateComponents result {
        .year = calendar->get(UCAL_EXTENDED_YEAR, status),
        .month = calendar->get(UCAL_MONTH, status) + 1,
        .day = calendar->get(UCAL_DATE, status),
        .hour = calendar->get(UCAL_HOUR_OF_DAY, status),
        .minute = calendar->get(UCAL_MINUTE, status),
        .second = calendar->get(UCAL_SECOND, status),
        .weekday = calendar->get(UCAL_DAY_OF_WEEK, status),
    };
    return U_SUCCESS(status) ? result : DateComponents {};
}

std::optional<Date> Calendar::date(const DateComponents& components) const
{
    for (int field : { components.year, components.month, components.day, components.hour, components.minute, components.second }) {
        if (field < -MaximumField || field > MaximumField)
            return std::nullopt;
    }
    std::lock_guard lock(m_impl->mutex);
    auto& calendar = *m_impl->calendar;
    calendar.clear();
    calendar.set(UCAL_EXTENDED_YEAR, components.year);
    calendar.set(UCAL_MONTH, components.month - 1);
    calendar.set(UCAL_DATE, components.day);
    calendar.set(UCAL_HOUR_OF_DAY, components.hour);
    calendar.set(UCAL_MINUTE, components.minute);
    calendar.set(UCAL_SECOND, components.second);
    UErrorCode status = U_ZERO_ERROR;
    UDate millis = calendar.getTime(status);
    if (U_FAILURE(status))
        return std::nullopt;
    return icutime::date(millis);
}

Date Calendar::startOfDay(Date date) const
{
    std::lock_guard lock(m_impl->mutex);
    auto* calendar = m_impl->at(date);
    if (!calendar)
        return date;
    calendar->set(UCAL_HOUR_OF_DAY, 0);
    calendar->set(UCAL_MINUTE, 0);
    calendar->set(UCAL_SECOND, 0);
    calendar->set(UCAL_MILLISECOND, 0);
    UErrorCode status = U_ZERO_ERROR;
    UDate millis = calendar->getTime(status);
    return U_SUCCESS(status) ? icutime::date(millis) : date;
}

int Calendar::calendarDaysBetween(Date from, Date to) const
{
    std::lock_guard lock(m_impl->mutex);
    UErrorCode status = U_ZERO_ERROR;
    auto* calendar = m_impl->at(from);
    int32_t first = calendar ? calendar->get(UCAL_JULIAN_DAY, status) : 0;
    calendar = calendar ? m_impl->at(to) : nullptr;
    int32_t last = calendar ? calendar->get(UCAL_JULIAN_DAY, status) : 0;
    return calendar && U_SUCCESS(status) ? last - first : 0;
}

} // namespace core

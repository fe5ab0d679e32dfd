#include "Kit/HTTPDates.h"

#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/TimeZone.h"

#include <cmath>
#include <ctime>
#include <optional>
#include <fmt/format.h>

namespace {

const core::TimeZone& gmt()
{
    static const core::TimeZone zone = core::TimeZone::named("GMT").value_or(core::TimeZone::utc());
    return zone;
}

// Made on first use and kept for the life of the process; a formatter locks
// itself, so one instance serves every thread.
const core::DateFormatter& rfc1123Output()
{
    static const core::DateFormatter formatter("E, dd MMM yyyy HH:mm:ss 'GMT'", "en", gmt());
    return formatter;
}

const core::DateFormatter& rfc1123Parser()
{
    static const core::DateFormatter formatter("E, dd MMMM yyyy HH:mm:ss zzz", "en", gmt());
    return formatter;
}

const core::DateFormatter& iso8601Zulu()
{
    static const core::DateFormatter formatter("yyyy-MM-dd'T'HH:mm:ss'Z'", "en", core::TimeZone::utc());
    return formatter;
}

const core::DateFormatter& iso8601Offset()
{
    static const core::DateFormatter formatter("yyyy-MM-dd'T'HH:mm:ssZ", "en", core::TimeZone::utc());
    return formatter;
}

// The UTC fields of a date in years 1583 to 9999, which machine dates write
// directly: every response carries one or two of them, and a PROPFIND one
// per listed item. Dates before (the Julian calendar) and wider years go to
// ICU.
std::optional<std::tm> directFields(core::Date date)
{
    const double seconds = std::floor(date.timeIntervalSince1970());
    std::tm fields {};
    if (!std::isfinite(seconds) || std::fabs(seconds) >= 3e11)
        return std::nullopt;
    const auto time = static_cast<std::time_t>(seconds);
    if (!gmtime_r(&time, &fields) || fields.tm_year < 1583 - 1900 || fields.tm_year > 9999 - 1900)
        return std::nullopt;
    return fields;
}

} // namespace

std::string RFC1123String(core::Date date)
{
    static constexpr const char* days[] { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
    static constexpr const char* months[] { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct",
        "Nov", "Dec" };
    if (auto fields = directFields(date)) {
        return fmt::format("{}, {:02} {} {:04} {:02}:{:02}:{:02} GMT", days[fields->tm_wday], fields->tm_mday,
            months[fields->tm_mon], fields->tm_year + 1900, fields->tm_hour, fields->tm_min, fields->tm_sec);
    }
    return rfc1123Output().format(date);
}

std::optional<core::Date> dateWithRFC1123String(std::string_view text)
{
    return rfc1123Parser().parse(text);
}

std::string ISO8601String(core::Date date)
{
    if (auto fields = directFields(date)) {
        return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", fields->tm_year + 1900, fields->tm_mon + 1,
            fields->tm_mday, fields->tm_hour, fields->tm_min, fields->tm_sec);
    }
    return iso8601Zulu().format(date);
}

std::optional<core::Date> dateWithISO8601String(std::string_view text)
{
    if (auto date = iso8601Zulu().parse(text))
        return date;
    return iso8601Offset().parse(text);
}

#include "Kit/HTTPDates.h"

#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/TimeZone.h"

#include <cmath>
#include <ctime>
#include <optional>
#include <string>

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

// The obsolete forms HTTP still lets clients send.
const core::DateFormatter& rfc850Parser()
{
    static const core::DateFormatter formatter("EEEE, dd-MMM-yy HH:mm:ss zzz", "en", gmt());
    return formatter;
}

const core::DateFormatter& asctimeParser()
{
    static const core::DateFormatter formatter("EEE MMM dd HH:mm:ss yyyy", "en", gmt());
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

// Writes `value` as `width` decimal digits.
void appendDigits(std::string& text, int value, int width)
{
    char digits[4];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    text.append(digits, static_cast<size_t>(width));
}

// "HH:MM:SS"
void appendClock(std::string& text, const std::tm& fields)
{
    appendDigits(text, fields.tm_hour, 2);
    text += ':';
    appendDigits(text, fields.tm_min, 2);
    text += ':';
    appendDigits(text, fields.tm_sec, 2);
}

} // namespace

std::string RFC1123String(core::Date date)
{
    static constexpr const char* days[] { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
    static constexpr const char* months[] { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct",
        "Nov", "Dec" };
    if (auto fields = directFields(date)) {
        // Written by hand: a listing writes one per item.
        std::string text;
        text.reserve(29);
        text.append(days[fields->tm_wday]).append(", ");
        appendDigits(text, fields->tm_mday, 2);
        text.append(" ").append(months[fields->tm_mon]).append(" ");
        appendDigits(text, fields->tm_year + 1900, 4);
        text += ' ';
        appendClock(text, *fields);
        text.append(" GMT");
        return text;
    }
    return rfc1123Output().format(date);
}

std::optional<core::Date> dateWithRFC1123String(std::string_view text)
{
    return rfc1123Parser().parse(text);
}

std::optional<core::Date> dateWithHTTPDateString(std::string_view text)
{
    if (auto date = dateWithRFC1123String(text))
        return date;
    if (auto date = rfc850Parser().parse(text))
        return date;
    // asctime pads a day below 10 with a space: "Nov  6".
    std::string padded(text);
    if (padded.size() > 9 && padded.compare(7, 2, "  ") == 0)
        padded[8] = '0';
    return asctimeParser().parse(padded);
}

std::string ISO8601String(core::Date date)
{
    if (auto fields = directFields(date)) {
        std::string text;
        text.reserve(20);
        appendDigits(text, fields->tm_year + 1900, 4);
        text += '-';
        appendDigits(text, fields->tm_mon + 1, 2);
        text += '-';
        appendDigits(text, fields->tm_mday, 2);
        text += 'T';
        appendClock(text, *fields);
        text += 'Z';
        return text;
    }
    return iso8601Zulu().format(date);
}

std::optional<core::Date> dateWithISO8601String(std::string_view text)
{
    if (auto date = iso8601Zulu().parse(text))
        return date;
    return iso8601Offset().parse(text);
}

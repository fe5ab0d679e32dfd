#include "Kit/HTTPDates.h"

#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/TimeZone.h"

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

} // namespace

std::string RFC1123String(core::Date date)
{
    return rfc1123Output().format(date);
}

std::optional<core::Date> dateWithRFC1123String(std::string_view text)
{
    return rfc1123Parser().parse(text);
}

std::string ISO8601String(core::Date date)
{
    return iso8601Zulu().format(date);
}

std::optional<core::Date> dateWithISO8601String(std::string_view text)
{
    if (auto date = iso8601Zulu().parse(text))
        return date;
    return iso8601Offset().parse(text);
}

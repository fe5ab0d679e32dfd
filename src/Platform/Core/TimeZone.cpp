#include "Platform/Core/TimeZone.h"

#include "Platform/Core/ICUTime.h"

#include <cstdlib>
#include <fmt/format.h>
#include <mutex>
#include <unicode/timezone.h>

namespace core {

struct TimeZone::Impl {
    std::string name;
    std::unique_ptr<const icu::TimeZone> zone;
};

namespace {

constexpr size_t MaximumIdentifierLength = 128;
constexpr int MaximumOffset = 18 * 3600;

// Takes an ICU zone; nothing when ICU did not recognise what it was made from
// (it answers "Etc/Unknown" rather than failing).
std::shared_ptr<const TimeZone::Impl> adopt(icu::TimeZone* zone)
{
    std::unique_ptr<const icu::TimeZone> owned(zone);
    if (!owned || *owned == icu::TimeZone::getUnknown())
        return nullptr;
    icu::UnicodeString id;
    owned->getID(id);
    std::string name;
    id.toUTF8String(name);
    return std::make_shared<const TimeZone::Impl>(TimeZone::Impl { std::move(name), std::move(owned) });
}

struct Defaults {
    std::mutex mutex;
    std::optional<TimeZone> system;
    std::optional<TimeZone> current;
};

Defaults& defaults()
{
    static Defaults instance;
    return instance;
}

// The standard offset and the daylight-saving amount, in milliseconds.
std::pair<int32_t, int32_t> offsets(const icu::TimeZone& zone, Date date)
{
    auto millis = icutime::millis(date);
    int32_t raw = 0;
    int32_t daylight = 0;
    UErrorCode status = U_ZERO_ERROR;
    if (millis)
        zone.getOffset(*millis, false, raw, daylight, status);
    if (!millis || U_FAILURE(status))
        return { 0, 0 };
    return { raw, daylight };
}

} // namespace

TimeZone TimeZone::utc()
{
    static const TimeZone zone(adopt(icu::TimeZone::createTimeZone("UTC")));
    return zone;
}

std::optional<TimeZone> TimeZone::named(std::string_view identifier)
{
    if (identifier.empty() || identifier.size() > MaximumIdentifierLength)
        return std::nullopt;
    auto impl = adopt(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(icu::StringPiece(identifier.data(), identifier.size()))));
    if (!impl)
        return std::nullopt;
    return TimeZone(std::move(impl));
}

std::optional<TimeZone> TimeZone::forSecondsFromGMT(int seconds)
{
    if (seconds < -MaximumOffset || seconds > MaximumOffset)
        return std::nullopt;
    int magnitude = std::abs(seconds);
    // ICU's custom identifiers ("GMT+01:30", "GMT-00:00:15") make the zone
    // and name it in one go.
    std::string id = fmt::format("GMT{}{:02}:{:02}", seconds < 0 ? '-' : '+', magnitude / 3600, magnitude / 60 % 60);
    if (magnitude % 60)
        id += fmt::format(":{:02}", magnitude % 60);
    return named(id);
}

TimeZone TimeZone::systemTimeZone()
{
    auto& state = defaults();
    std::lock_guard lock(state.mutex);
    if (!state.system) {
        auto impl = adopt(icu::TimeZone::detectHostTimeZone());
        state.system = impl ? TimeZone(std::move(impl)) : utc();
    }
    return *state.system;
}

void TimeZone::resetSystemTimeZone()
{
    auto& state = defaults();
    std::lock_guard lock(state.mutex);
    state.system.reset();
}

TimeZone TimeZone::defaultTimeZone()
{
    {
        auto& state = defaults();
        std::lock_guard lock(state.mutex);
        if (state.current)
            return *state.current;
    }
    TimeZone system = systemTimeZone();
    auto& state = defaults();
    std::lock_guard lock(state.mutex);
    if (!state.current)
        state.current = system;
    return *state.current;
}

void TimeZone::setDefaultTimeZone(const TimeZone& zone)
{
    auto& state = defaults();
    std::lock_guard lock(state.mutex);
    state.current = zone;
    // Keeps ICU's own default in step for anything that asks ICU directly.
    icu::TimeZone::setDefault(*zone.m_impl->zone);
}

void TimeZone::resetDefaultTimeZone()
{
    setDefaultTimeZone(systemTimeZone());
}

const std::string& TimeZone::name() const
{
    return m_impl->name;
}

int TimeZone::secondsFromGMT(Date date) const
{
    auto [raw, daylight] = offsets(*m_impl->zone, date);
    return (raw + daylight) / 1000;
}

bool TimeZone::isDaylightSavingTime(Date date) const
{
    return offsets(*m_impl->zone, date).second != 0;
}

} // namespace core

#include "Platform/Core/TimeZone.h"

#include <mutex>
#include <unicode/timezone.h>

namespace core {

struct TimeZone::Impl {
    std::string name;
    std::unique_ptr<const icu::TimeZone> zone;
};

namespace {

constexpr size_t MaximumIdentifierLength = 128;

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

void TimeZone::resetSystemTimeZoneForTesting()
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

void TimeZone::setDefaultTimeZoneForTesting(const TimeZone& zone)
{
    auto& state = defaults();
    std::lock_guard lock(state.mutex);
    state.current = zone;
    // Keeps ICU's own default in step for anything that asks ICU directly.
    icu::TimeZone::setDefault(*zone.m_impl->zone);
}

const std::string& TimeZone::name() const
{
    return m_impl->name;
}

} // namespace core

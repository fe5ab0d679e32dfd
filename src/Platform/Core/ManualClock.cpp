#include "Platform/Core/ManualClock.h"

namespace core {

std::shared_ptr<ManualClock> ManualClock::create()
{
    return std::make_shared<ManualClock>();
}

Date ManualClock::now() const
{
    std::lock_guard lock(m_mutex);
    return m_wallBase.addingTimeInterval(static_cast<double>(m_wallNanoseconds) / 1e9);
}

int64_t ManualClock::monotonicNanoseconds() const
{
    std::lock_guard lock(m_mutex);
    return m_monotonicNanoseconds;
}

void ManualClock::advance(double seconds)
{
    advanceNanoseconds(nanoseconds(seconds));
}

void ManualClock::advanceNanoseconds(int64_t nanoseconds)
{
    if (nanoseconds <= 0)
        return;
    std::lock_guard lock(m_mutex);
    m_wallNanoseconds += nanoseconds;
    m_monotonicNanoseconds += nanoseconds;
}

void ManualClock::setNow(Date date)
{
    std::lock_guard lock(m_mutex);
    m_wallBase = date;
    m_wallNanoseconds = 0;
}

} // namespace core

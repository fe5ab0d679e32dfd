#include "Platform/Core/Timer.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/RunLoop.h"

namespace core {

Timer::Timer(const Private&, std::weak_ptr<RunLoop> loop, double interval, bool repeats, std::string mode,
    std::function<void(Timer&)> fire)
    : m_loop(std::move(loop))
    , m_interval(interval)
    , m_intervalNanoseconds(Clock::nanoseconds(interval))
    , m_repeats(repeats)
    , m_mode(std::move(mode))
    , m_fire(std::make_shared<std::function<void(Timer&)>>(std::move(fire)))
{
}

void Timer::invalidate()
{
    if (!m_valid)
        return;
    auto loop = m_loop.lock();
    if (loop)
        loop->checkOwner("Timer::invalidate");
    m_valid = false;
    if (loop)
        loop->timerInvalidated(*this);
    auto fire = std::move(m_fire); // released here, unless it is running (the loop holds it then)
}

} // namespace core

#include "Platform/UI/ClockAnimation.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/RunLoop.h"

#include <algorithm>
#include <cmath>

namespace ui {

namespace {

double now()
{
    return core::RunLoop::main().clock()->monotonic();
}

} // namespace

std::shared_ptr<ClockAnimation> ClockAnimation::start(double duration, std::function<void(double)> step,
    std::function<void()> done)
{
    auto animation = std::make_shared<ClockAnimation>();
    animation->m_begin = now();
    animation->m_duration = std::max(0.0, duration);
    animation->m_step = std::move(step);
    animation->m_done = std::move(done);
    animation->scheduleNext();
    return animation;
}

// Each step is due at a whole multiple of the step time from the start, so
// rounding never adds or drops a step over a long run.
void ClockAnimation::scheduleNext()
{
    int total = std::max(1, int(std::ceil(m_duration * StepsPerSecond - 1e-9)));
    double due = m_stepsDone + 1 >= total ? m_begin + m_duration : m_begin + (m_stepsDone + 1) / StepsPerSecond;
    core::RunLoop::main().performAfter(shared_from_this(), std::max(0.0, due - now()), [](ClockAnimation& self) {
        self.fire();
    });
}

void ClockAnimation::fire()
{
    if (!m_running)
        return;
    auto keep = shared_from_this();
    ++m_stepsDone;
    int total = std::max(1, int(std::ceil(m_duration * StepsPerSecond - 1e-9)));
    double fraction = m_stepsDone >= total ? 1.0 : std::min(1.0, (now() - m_begin) / m_duration);
    if (m_step)
        m_step(fraction);
    if (!m_running)
        return;
    if (m_stepsDone >= total) {
        m_running = false;
        if (m_done)
            m_done();
        return;
    }
    scheduleNext();
}

void ClockAnimation::finish()
{
    if (!m_running)
        return;
    auto keep = shared_from_this();
    m_running = false;
    if (m_step)
        m_step(1.0);
    if (m_done)
        m_done();
}

} // namespace ui

#include "Platform/Media/ClockSink.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"

#include <algorithm>
#include <cmath>

namespace media {

ClockSink::ClockSink()
    : m_alive(std::make_shared<bool>(true))
{
}

bool ClockSink::open(const Format& format, Client* client, std::string*)
{
    m_format = format;
    m_client = client;
    m_loop = core::RunLoop::current().shared_from_this();
    return true;
}

void ClockSink::close()
{
    flush();
    m_client = nullptr;
}

double ClockSink::now() const
{
    auto loop = m_loop.lock();
    return loop ? loop->clock()->monotonic() : core::Clock::current()->monotonic();
}

void ClockSink::start()
{
    if (m_running)
        return;
    m_running = true;
    m_frontStartedAt = now();
    schedule();
}

void ClockSink::pause()
{
    if (!m_running)
        return;
    if (!m_entries.empty())
        m_frontPlayed = std::min(m_entries.front().frames,
            m_frontPlayed + int64_t(std::floor((now() - m_frontStartedAt) * m_format.sampleRate)));
    m_running = false;
    if (m_timer)
        m_timer->invalidate();
    m_timer.reset();
}

void ClockSink::flush()
{
    m_epoch++;
    if (m_timer)
        m_timer->invalidate();
    m_timer.reset();
    m_entries.clear();
    m_running = false;
    m_finishedFrames = 0;
    m_frontPlayed = 0;
}

int64_t ClockSink::framesConsumed() const
{
    int64_t played = m_finishedFrames + m_frontPlayed;
    if (m_running && !m_entries.empty() && m_pace == Pace::Clock)
        played += std::min(m_entries.front().frames - m_frontPlayed,
            int64_t(std::floor((now() - m_frontStartedAt) * m_format.sampleRate + 1e-6)));
    return played;
}

void ClockSink::bufferQueued(uint64_t bufferID, int64_t frames)
{
    const bool wasIdle = m_entries.empty();
    m_entries.push_back({ bufferID, std::max<int64_t>(frames, 0) });
    if (wasIdle && m_running) {
        m_frontStartedAt = now();
        schedule();
    }
}

// The front buffer ends when its remaining frames have played.
void ClockSink::schedule()
{
    if (m_timer)
        m_timer->invalidate();
    m_timer.reset();
    auto loop = m_loop.lock();
    if (!m_running || m_entries.empty() || !loop || m_pace == Pace::AsDecoded)
        return;
    const auto& front = m_entries.front();
    const double remaining = double(front.frames - m_frontPlayed) / m_format.sampleRate;
    std::weak_ptr<bool> alive = m_alive;
    m_timer = loop->schedule(std::max(remaining, 0.0), false, [this, alive](core::Timer&) {
        if (alive.lock())
            finishFront();
    }, core::RunLoop::CommonModes);
}

void ClockSink::finishFront()
{
    if (m_entries.empty())
        return;
    const Entry front = m_entries.front();
    m_entries.pop_front();
    m_finishedFrames += front.frames;
    m_frontPlayed = 0;
    m_frontStartedAt = now();
    m_timer.reset();
    schedule();
    if (m_client)
        m_client->sinkDidPlay(front.id);
}

void ClockSink::bufferDecoded(uint64_t epoch, uint64_t bufferID, const int16_t* samples, size_t frames)
{
    if (epoch != m_epoch.load())
        return;
    samplesDecoded(samples, frames);
    if (m_pace != Pace::AsDecoded)
        return;
    auto loop = m_loop.lock();
    if (!loop)
        return;
    std::weak_ptr<bool> alive = m_alive;
    loop->post([this, alive, epoch, bufferID] {
        if (!alive.lock() || epoch != m_epoch.load() || m_entries.empty() || m_entries.front().id != bufferID)
            return;
        if (m_running)
            finishFront();
    });
}

} // namespace media

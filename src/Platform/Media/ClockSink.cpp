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
    m_decoded.clear();
    m_frontDue = false;
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
    if (!m_running || m_entries.empty() || !loop || m_frontDue)
        return;
    if (m_pace == Pace::AsDecoded) {
        if (m_decoded.count(m_entries.front().id))
            finishFront();
        return;
    }
    const auto& front = m_entries.front();
    const double remaining = double(front.frames - m_frontPlayed) / m_format.sampleRate;
    std::weak_ptr<bool> alive = m_alive;
    m_timer = loop->schedule(std::max(remaining, 0.0), false, [this, alive](core::Timer&) {
        if (alive.lock())
            frontTimeIsUp();
    }, core::RunLoop::CommonModes);
}

void ClockSink::frontTimeIsUp()
{
    m_timer.reset();
    if (m_entries.empty())
        return;
    if (waitsForSamples() && !m_decoded.count(m_entries.front().id)) {
        m_frontDue = true;
        return;
    }
    finishFront();
}

void ClockSink::finishFront()
{
    if (m_entries.empty())
        return;
    const Entry front = m_entries.front();
    m_entries.pop_front();
    m_decoded.erase(front.id);
    m_frontDue = false;
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
    if (m_pace != Pace::AsDecoded && !waitsForSamples())
        return;
    auto loop = m_loop.lock();
    if (!loop)
        return;
    std::weak_ptr<bool> alive = m_alive;
    loop->post([this, alive, epoch, bufferID] {
        if (alive.lock() && epoch == m_epoch.load())
            decoded(epoch, bufferID);
    });
}

void ClockSink::decoded(uint64_t, uint64_t bufferID)
{
    m_decoded.insert(bufferID);
    if (m_entries.empty() || m_entries.front().id != bufferID)
        return;
    if (m_frontDue || (m_pace == Pace::AsDecoded && m_running))
        finishFront();
}

} // namespace media

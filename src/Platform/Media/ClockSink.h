#pragma once

#include "Platform/Media/AudioSink.h"

#include <deque>
#include <memory>
#include <set>

namespace core {
class RunLoop;
class Timer;
} // namespace core

namespace media {

// A sink without a device: a buffer of N frames plays in N ÷ rate seconds
// of the run loop's clock (the manual clock in tests, the real one in the
// program when there is no sound device). Subclasses decide what becomes of
// the samples. Alternatively it plays each buffer as soon as it is decoded,
// for measuring the decoding itself.
class ClockSink : public AudioSink {
public:
    enum class Pace { Clock, AsDecoded };

    bool open(const Format& format, Client* client, std::string* reason) override;
    void close() override;
    void start() override;
    void pause() override;
    void flush() override;
    void setVolume(float volume) override { m_volume.store(volume); }
    int64_t framesConsumed() const override;
    void bufferQueued(uint64_t bufferID, int64_t frames) override;
    void bufferDecoded(uint64_t epoch, uint64_t bufferID, const int16_t* samples, size_t frames) override;

    void setPace(Pace pace) { m_pace = pace; }
    bool isStarted() const { return m_running; }
    float volume() const { return m_volume.load(); }

protected:
    ClockSink();
    // The decoded samples of a buffer (the decoding thread).
    virtual void samplesDecoded(const int16_t*, size_t) { }
    // A sink that keeps the samples counts a buffer as played only once
    // they arrived, so that stopping after the last buffer loses none.
    virtual bool waitsForSamples() const { return false; }
    const Format& format() const { return m_format; }

private:
    struct Entry {
        uint64_t id;
        int64_t frames;
    };
    void schedule();
    void frontTimeIsUp();
    void finishFront();
    void decoded(uint64_t epoch, uint64_t bufferID);
    double now() const;

    std::shared_ptr<bool> m_alive;
    Format m_format;
    Client* m_client = nullptr;
    std::weak_ptr<core::RunLoop> m_loop;
    Pace m_pace = Pace::Clock;
    std::deque<Entry> m_entries;
    std::shared_ptr<core::Timer> m_timer;
    // Buffers whose samples arrived; the front's time ran out before them.
    std::set<uint64_t> m_decoded;
    bool m_frontDue = false;
    bool m_running = false;
    // Frames of finished buffers and of the front buffer before the last
    // (re)start, and when that was.
    int64_t m_finishedFrames = 0;
    int64_t m_frontPlayed = 0;
    double m_frontStartedAt = 0;
    std::atomic<float> m_volume { 1.0f };
};

} // namespace media

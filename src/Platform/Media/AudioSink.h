#pragma once

#include "Platform/Media/AudioFormat.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace media {

// Posted on the main thread each time an output queue finds no sound
// device and plays into a null sink instead (silently, in real time).
inline constexpr const char* SoundOutputUnavailableNotification = "media.SoundOutputUnavailable";

// A volume as every player takes it: 0 to 1, a NaN as silence.
inline float clampedVolume(float volume)
{
    return volume >= 1.0f ? 1.0f : volume > 0.0f ? volume : 0.0f;
}

// Where an output queue's sound goes. The queue tells its sink, on the
// queue's run loop, how many frames each enqueued buffer holds, and hands
// it the buffer's decoded samples from its decoding thread; the sink tells
// the queue, on the run loop, when each buffer has been played. Buffers
// are played in the order they were queued.
class AudioSink {
public:
    struct Format {
        double sampleRate = 0;
        uint32_t channels = 0;
    };
    class Client {
    public:
        virtual ~Client() = default;
        // The buffer has been played (the queue's run loop).
        virtual void sinkDidPlay(uint64_t bufferID) = 0;
    };

    virtual ~AudioSink();

    // The run loop's thread. False when the sink cannot play the format
    // (no device); `reason` says why.
    virtual bool open(const Format& format, Client* client, std::string* reason = nullptr) = 0;
    virtual void close() = 0;
    virtual void start() = 0;
    virtual void pause() = 0;
    // Drops everything queued and counts frames from 0 again.
    virtual void flush() = 0;
    virtual void setVolume(float volume) = 0;
    // Frames played since the last flush.
    virtual int64_t framesConsumed() const = 0;
    // A buffer of `frames` frames (as its packets say) follows the ones
    // before; its samples come through bufferDecoded.
    virtual void bufferQueued(uint64_t bufferID, int64_t frames) = 0;

    // The decoding thread: the buffer's samples, interleaved. `epoch`
    // counts the flushes the buffer was queued after; samples of an older
    // epoch are dropped. May wait for room.
    virtual void bufferDecoded(uint64_t epoch, uint64_t bufferID, const int16_t* samples, size_t frames) = 0;
    // The flushes so far; a buffer queued now carries this epoch.
    uint64_t epoch() const { return m_epoch.load(); }

    // The sink a new queue gets: in the program the sound device (SDL),
    // in tests a null sink on the run loop's clock.
    using Factory = std::function<std::shared_ptr<AudioSink>()>;
    static std::shared_ptr<AudioSink> makeDefault();
    static void setDefaultFactoryForTesting(Factory factory);

protected:
    std::atomic<uint64_t> m_epoch { 0 };
};

} // namespace media

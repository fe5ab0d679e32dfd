#pragma once

#include "Platform/Media/AudioSink.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace core {
class RunLoop;
}

namespace media {

// The sound device through SDL's audio subsystem (and only that one: no
// video). SDL's callback reads a small ring of 16-bit samples that the
// queue's decoding thread keeps filled, applies the volume, and reports each
// buffer whose last sample it passed to the run loop. The device is opened
// and closed on the run loop's (the main) thread. SDL is told to leave the
// process's signal handlers alone, so SIGINT and SIGTERM still end the
// program through its run loop.
class SDLAudioSink final : public AudioSink, public std::enable_shared_from_this<SDLAudioSink> {
public:
    static std::shared_ptr<SDLAudioSink> create();
    ~SDLAudioSink() override;

    bool open(const Format& format, Client* client, std::string* reason) override;
    void close() override;
    void start() override;
    void pause() override;
    void flush() override;
    void setVolume(float volume) override;
    int64_t framesConsumed() const override;
    void bufferQueued(uint64_t bufferID, int64_t frames) override;
    void bufferDecoded(uint64_t epoch, uint64_t bufferID, const int16_t* samples, size_t frames) override;

    // The program's output gain over every sink's own volume (the volume
    // slider of the players): 0 to 1, for the run only.
    static void setMasterGain(float gain);
    static float masterGain();

    // The driver SDL chose ("pulseaudio", "disk", ...); empty before open.
    const std::string& driverName() const { return m_driver; }
    // Frames of room in the ring.
    static constexpr size_t RingFrames = 16384;

    struct Shared;

private:
    SDLAudioSink();

    std::shared_ptr<Shared> m_shared;
    uint32_t m_device = 0;
    std::string m_driver;
    bool m_subsystemStarted = false;
};

} // namespace media

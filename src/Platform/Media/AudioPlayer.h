#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/URL.h"
#include "Platform/Media/AudioFormat.h"

#include <deque>
#include <memory>
#include <vector>

namespace core {
class FileHandle;
}

namespace media {

class AudioFileStream;
class AudioQueue;
struct AudioQueueBuffer;
class AudioPlayer;

class AudioPlayerDelegate {
public:
    virtual ~AudioPlayerDelegate() = default;
    virtual void audioPlayerDidFinishPlaying(AudioPlayer&, bool successfully) = 0;
    virtual void audioPlayerDecodeErrorDidOccur(AudioPlayer&, const core::Error& error) = 0;
};

// Plays a local audio file through an output queue, with the duration, the
// playing position, looping and volume a local player offers. The file is
// read in pieces on the run loop as the queue asks for more; a file whose
// index follows its audio (an MP4 made without "faststart") plays too,
// since the reader can move in it.
//
// Errors: a file that cannot be opened is a POSIX error; one that is not
// audio this system reads, or whose audio breaks off, is an error in
// "NSOSStatusErrorDomain" with the parser's status as its code.
class AudioPlayer : public core::Object {
public:
    static constexpr const char* OSStatusErrorDomain = "NSOSStatusErrorDomain";

    static std::shared_ptr<AudioPlayer> create(const core::URL& url, core::Error* error = nullptr);
    ~AudioPlayer() override;

    // Makes the queue and fills its first buffers; false when it cannot.
    bool prepareToPlay();
    bool play();
    void pause();
    // Stops and lets the queue go; the position stays, and play() goes on
    // from it.
    void stop();

    bool isPlaying() const { return m_playing; }
    const core::URL& url() const { return m_url; }
    double duration() const { return m_duration; }
    double currentTime() const;
    void setCurrentTime(double time);
    float volume() const { return m_volume; }
    void setVolume(float volume);
    // 0: play once; n: n more times; negative: until stopped.
    int numberOfLoops() const { return m_numberOfLoops; }
    void setNumberOfLoops(int loops) { m_numberOfLoops = loops; }
    const AudioStreamBasicDescription& format() const { return m_format; }

    void setDelegate(std::weak_ptr<AudioPlayerDelegate> delegate) { m_delegate = std::move(delegate); }

    std::string description() const override;

    struct Private;
    AudioPlayer(const Private&, core::URL url);

private:
    bool open(core::Error* error);
    void measureDuration();
    void packetsFound(uint32_t bytes, uint32_t packets, const void* data, const AudioStreamPacketDescription* descriptions);
    bool makeQueue();
    void fill();
    void enqueueCurrent();
    void bufferDone(AudioQueueBuffer* buffer);
    void seekToPacket(int64_t packet);
    void finish();
    void fail(Status status);
    AudioQueueBuffer* freeBuffer();

    core::URL m_url;
    std::weak_ptr<AudioPlayerDelegate> m_delegate;
    std::shared_ptr<core::FileHandle> m_file;
    std::unique_ptr<AudioFileStream> m_stream;
    AudioStreamBasicDescription m_format;
    std::vector<uint8_t> m_cookie;
    int64_t m_dataOffset = 0;
    double m_duration = 0;
    bool m_ready = false;
    Status m_parseStatus = 0;

    std::shared_ptr<AudioQueue> m_queue;
    uint32_t m_bufferSize = 0;
    std::vector<AudioQueueBuffer*> m_free;
    AudioQueueBuffer* m_current = nullptr;
    std::vector<AudioStreamPacketDescription> m_descriptions;
    // Frames enqueued since the queue's clock started, and where a loop
    // went back to the start (in those frames).
    int64_t m_framesEnqueued = 0;
    std::deque<int64_t> m_loopStarts;
    double m_startTime = 0;
    bool m_endOfFile = false;
    bool m_discontinuity = false;
    int m_loopsPlayed = 0;

    bool m_playing = false;
    float m_volume = 1.0f;
    int m_numberOfLoops = 0;
};

} // namespace media

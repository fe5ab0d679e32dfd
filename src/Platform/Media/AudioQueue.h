#pragma once

#include "Platform/Media/AudioFormat.h"
#include "Platform/Media/AudioSink.h"

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace core {
class RunLoop;
}

namespace media {

class DecodeWorker;

// One buffer of an output queue: its bytes and the descriptions of the
// packets in them. The queue owns it; its client fills it between the
// output callback that returns it and the next enqueue.
struct AudioQueueBuffer {
    uint32_t audioDataBytesCapacity = 0;
    void* audioData = nullptr;
    uint32_t audioDataByteSize = 0;
    void* userData = nullptr;
};

// An output queue for one stream description, on the run loop of the thread
// that makes it: the client enqueues buffers of packets; a decoding thread
// turns them into 16-bit samples for the sink (the sound device, or a clock
// sink in tests); when a buffer has been played the output callback hands
// it back on the run loop. Sample time counts the frames the sink consumed
// and starts at 0 again after a stop.
class AudioQueue : public std::enable_shared_from_this<AudioQueue>, private AudioSink::Client {
public:
    using OutputCallback = std::function<void(AudioQueue&, AudioQueueBuffer*)>;

    // nullptr, with a status, when no decoder reads the format. Without a
    // sink the default one (AudioSink::makeDefault); a sink that cannot
    // open (no device) is replaced by a null sink, logged once a run (the
    // notification goes out each time).
    static std::shared_ptr<AudioQueue> newOutput(const AudioStreamBasicDescription& format, OutputCallback callback,
        Status* status = nullptr, std::shared_ptr<AudioSink> sink = nullptr);
    // Tests start each with the missing device not yet logged.
    static void resetForTesting();
    ~AudioQueue() override;

    Status allocateBuffer(uint32_t capacity, AudioQueueBuffer** buffer);
    // Hands the buffer to the queue with its packets' descriptions (none
    // for constant-bit-rate data).
    Status enqueueBuffer(AudioQueueBuffer* buffer, uint32_t descriptionCount,
        const AudioStreamPacketDescription* descriptions);

    Status start();
    Status pause();
    // At once: what is queued is dropped and every enqueued buffer comes
    // back through the output callback before this returns. Otherwise the
    // queue stops after playing what is queued.
    Status stop(bool immediately);
    // Stops at once and lets the sink and the decoding thread go; the queue
    // answers errors afterwards.
    Status dispose();

    // 'aqrn' (uint32, read only) and 'aqmc' (the decoder's magic cookie).
    Status getProperty(FourCharCode propertyID, uint32_t* ioSize, void* data) const;
    Status setProperty(FourCharCode propertyID, const void* data, uint32_t size);

    Status setVolume(float volume);
    Status volume(float* volume) const;
    // Frames played since the start (the last stop set it back to 0).
    Status currentSampleTime(double* sampleTime) const;

    bool isRunning() const { return m_running; }
    bool isPaused() const { return m_paused; }
    const AudioStreamBasicDescription& format() const { return m_format; }
    const std::shared_ptr<AudioSink>& sink() const { return m_sink; }
    size_t enqueuedCount() const { return m_enqueued.size(); }

    struct Private;
    AudioQueue(const Private&, const AudioStreamBasicDescription& format, OutputCallback callback,
        std::shared_ptr<AudioSink> sink);

private:
    struct Entry {
        uint64_t id;
        AudioQueueBuffer* buffer;
    };
    void sinkDidPlay(uint64_t bufferID) override;
    void returnAll();
    int64_t framesIn(const AudioQueueBuffer& buffer, uint32_t descriptionCount,
        const AudioStreamPacketDescription* descriptions) const;

    AudioStreamBasicDescription m_format;
    OutputCallback m_callback;
    std::shared_ptr<AudioSink> m_sink;
    std::unique_ptr<DecodeWorker> m_worker;
    std::vector<std::unique_ptr<AudioQueueBuffer>> m_buffers;
    std::vector<std::unique_ptr<uint8_t[]>> m_storage;
    std::deque<Entry> m_enqueued;
    std::vector<uint8_t> m_cookie;
    uint64_t m_nextID = 1;
    float m_volume = 1.0f;
    bool m_running = false;
    bool m_paused = false;
    bool m_stopping = false;
    bool m_disposed = false;
};

} // namespace media

#pragma once

#include "Platform/Core/Object.h"
#include "Platform/Core/Observable.h"
#include "Platform/Media/AudioFormat.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace media {
class AudioQueue;
struct AudioQueueBuffer;
} // namespace media

class AQAudioQueue;
class AQAudioQueueBuffer;

class AQAudioQueueDelegate {
public:
    virtual ~AQAudioQueueDelegate() = default;
    // Fewer buffers than the minimum are queued while the queue runs.
    virtual void audioQueueBuffersDidUnderrun(AQAudioQueue&) = 0;
};

// The engine's output queue: a platform queue on the current run loop with a
// pool of buffers, reused through a free set and made only when the set is
// empty. Played buffers come back on the run loop, where a queue that runs
// short tells its delegate.
class AQAudioQueue : public core::Object {
public:
    static constexpr uint32_t minimumBufferCount = 2;

    // nullptr (logged) when no output queue can be made for the description.
    static std::shared_ptr<AQAudioQueue> create(const media::AudioStreamBasicDescription& description,
        uint32_t bufferSize);
    ~AQAudioQueue() override;

    void start();
    void pause();
    // At once by default; otherwise after what is queued has played.
    void stop(bool immediately = true);
    bool isRunning() const;
    bool isPaused() const { return m_queuePaused; }
    float volume() const;
    void setVolume(float volume);
    double currentSampleTime() const;

    uint32_t bufferSize() const { return m_bufferSize; }
    uint32_t enqueuedBufferCount() const { return m_enqueuedBufferCount.get(); }
    // Observers hear every change of the count.
    core::Observable<uint32_t>& enqueuedBufferCountObservable() { return m_enqueuedBufferCount; }
    // Every buffer made so far.
    size_t bufferCount() const { return m_bufferLookup.size(); }
    const std::shared_ptr<media::AudioQueue>& audioQueueRef() const { return m_audioQueueRef; }
    AQAudioQueueDelegate* delegate() const { return m_delegate; }
    // Not retained.
    void setDelegate(AQAudioQueueDelegate* delegate) { m_delegate = delegate; }

    // A free buffer, made when none is free.
    std::shared_ptr<AQAudioQueueBuffer> availableBuffer();
    void enqueueBuffer(const AQAudioQueueBuffer& buffer);
    // A played buffer comes back (the output callback).
    void recycleBuffer(media::AudioQueueBuffer* buffer);
    // A buffer that was taken but will not be enqueued goes back to the free set.
    void returnBuffer(const std::shared_ptr<AQAudioQueueBuffer>& buffer);

    std::string description() const override;

    struct Private;
    AQAudioQueue(const Private&, uint32_t bufferSize);

private:
    std::shared_ptr<media::AudioQueue> m_audioQueueRef;
    std::unordered_map<media::AudioQueueBuffer*, std::shared_ptr<AQAudioQueueBuffer>> m_bufferLookup;
    std::vector<std::shared_ptr<AQAudioQueueBuffer>> m_availableBuffers;
    core::Observable<uint32_t> m_enqueuedBufferCount { 0 };
    uint32_t m_bufferSize;
    bool m_queuePaused = false;
    AQAudioQueueDelegate* m_delegate = nullptr;
};

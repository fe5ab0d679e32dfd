#include "Audio/AQAudioQueue.h"

#include "Platform/Core/Log.h"
#include "Platform/Media/AudioQueue.h"
#include "Audio/AQAudioQueueBuffer.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

struct AQAudioQueue::Private { };

std::shared_ptr<AQAudioQueue> AQAudioQueue::create(const media::AudioStreamBasicDescription& description,
    uint32_t bufferSize)
{
    auto queue = std::make_shared<AQAudioQueue>(Private(), bufferSize);
    std::weak_ptr<AQAudioQueue> weak = queue;
    media::Status status = 0;
    queue->m_audioQueueRef = media::AudioQueue::newOutput(description,
        [weak](media::AudioQueue&, media::AudioQueueBuffer* buffer) {
            if (auto self = weak.lock())
                self->recycleBuffer(buffer);
        },
        &status);
    if (!queue->m_audioQueueRef) {
        core::log("AudioQueueNewOutput failed with error: {}", status);
        return nullptr;
    }
    return queue;
}

AQAudioQueue::AQAudioQueue(const Private&, uint32_t bufferSize)
    : m_bufferSize(bufferSize)
{
}

AQAudioQueue::~AQAudioQueue()
{
    m_delegate = nullptr;
    if (m_audioQueueRef) {
        m_audioQueueRef->stop(true);
        m_audioQueueRef->dispose();
    }
}

std::string AQAudioQueue::description() const
{
    return fmt::format("<AQAudioQueue {}> {} buffers of {} bytes, {} enqueued", fmt::ptr(this), m_bufferLookup.size(),
        m_bufferSize, enqueuedBufferCount());
}

std::shared_ptr<AQAudioQueueBuffer> AQAudioQueue::availableBuffer()
{
    if (!m_availableBuffers.empty()) {
        auto buffer = m_availableBuffers.back();
        m_availableBuffers.pop_back();
        return buffer;
    }
    auto buffer = AQAudioQueueBuffer::create(*this);
    if (buffer)
        m_bufferLookup[buffer->audioQueueBufferRef()] = buffer;
    return buffer;
}

void AQAudioQueue::returnBuffer(const std::shared_ptr<AQAudioQueueBuffer>& buffer)
{
    if (!buffer)
        return;
    buffer->reset();
    if (std::find(m_availableBuffers.begin(), m_availableBuffers.end(), buffer) == m_availableBuffers.end())
        m_availableBuffers.push_back(buffer);
}

void AQAudioQueue::enqueueBuffer(const AQAudioQueueBuffer& buffer)
{
    const media::Status status = m_audioQueueRef->enqueueBuffer(buffer.audioQueueBufferRef(),
        buffer.numPacketDescriptions(), buffer.packetDescriptions());
    if (status) {
        core::log("AudioQueueEnqueueBuffer failed with error: {}", status);
        return;
    }
    m_enqueuedBufferCount.set(m_enqueuedBufferCount.get() + 1);
}

void AQAudioQueue::recycleBuffer(media::AudioQueueBuffer* ref)
{
    auto found = m_bufferLookup.find(ref);
    if (found == m_bufferLookup.end())
        return;
    auto self = shared_from_this();
    const auto buffer = found->second;
    buffer->reset();
    m_availableBuffers.push_back(buffer);
    m_enqueuedBufferCount.set(m_enqueuedBufferCount.get() - std::min<uint32_t>(m_enqueuedBufferCount.get(), 1));
    if (isRunning() && enqueuedBufferCount() < minimumBufferCount && m_delegate)
        m_delegate->audioQueueBuffersDidUnderrun(*this);
}

void AQAudioQueue::start()
{
    const media::Status status = m_audioQueueRef->start();
    if (status) {
        core::log("AudioQueueStart failed with error: {}", status);
        return;
    }
    m_queuePaused = false;
    if (enqueuedBufferCount() < minimumBufferCount && m_delegate)
        m_delegate->audioQueueBuffersDidUnderrun(*this);
}

void AQAudioQueue::pause()
{
    if (!isRunning())
        return;
    m_queuePaused = true;
    if (const media::Status status = m_audioQueueRef->pause())
        core::log("AudioQueuePause failed with error: {}", status);
}

void AQAudioQueue::stop(bool immediately)
{
    // Buffers queued before the first start are given back too: a seek
    // must not play them.
    if (!isRunning() && enqueuedBufferCount() == 0)
        return;
    m_queuePaused = false;
    if (const media::Status status = m_audioQueueRef->stop(immediately))
        core::log("AudioQueueStop failed with error: {}", status);
}

bool AQAudioQueue::isRunning() const
{
    uint32_t running = 0;
    uint32_t size = sizeof running;
    if (m_audioQueueRef->getProperty(media::queueProperty::IsRunning, &size, &running)) {
        core::log("Warning, get property kAudioQueueProperty_IsRunning failed");
        return false;
    }
    return running == 1;
}

float AQAudioQueue::volume() const
{
    float volume = 0;
    return m_audioQueueRef->volume(&volume) ? 0.0f : volume;
}

void AQAudioQueue::setVolume(float volume)
{
    volume = media::clampedVolume(volume);
    if (m_audioQueueRef->setVolume(volume))
        core::log("Warning, AQAudioQueue failed to set volume: {:f}", volume);
}

double AQAudioQueue::currentSampleTime() const
{
    double time = 0;
    m_audioQueueRef->currentSampleTime(&time);
    return time;
}

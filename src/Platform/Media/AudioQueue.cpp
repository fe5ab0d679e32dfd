#include "Platform/Media/AudioQueue.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Media/DecodeWorker.h"
#include "Platform/Media/LinearPCMConverter.h"
#include "Platform/Media/NullSink.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace media {

struct AudioQueue::Private { };

namespace {

// Whether the missing sound device was logged this run.
std::atomic<bool> toldNoSoundDevice = false;

// A buffer larger than this is refused (the stream engine's largest is a
// second of 8-channel 384 kHz 64-bit audio, well below).
constexpr uint32_t MaximumBufferCapacity = 64u << 20;

bool playable(const AudioStreamBasicDescription& format)
{
    if (format.sampleRate <= 0 || format.sampleRate > MaximumSampleRate || format.channelsPerFrame < 1
        || format.channelsPerFrame > MaximumChannels)
        return false;
    if (format.isLinearPCM())
        return LinearPCMConverter::create(format) != nullptr;
    if (format.formatID == formatID::MPEGLayer3)
        return format.channelsPerFrame <= 2 && format.framesPerPacket;
    return format.formatID == formatID::MPEG4AAC;
}

} // namespace

std::shared_ptr<AudioQueue> AudioQueue::newOutput(const AudioStreamBasicDescription& format, OutputCallback callback,
    Status* status, std::shared_ptr<AudioSink> sink)
{
    if (!callback || !playable(format)) {
        if (status)
            *status = callback ? status::UnsupportedDataFormat : status::InvalidParameter;
        return nullptr;
    }
    if (!sink)
        sink = AudioSink::makeDefault();
    auto queue = std::make_shared<AudioQueue>(Private(), format, std::move(callback), sink);
    const AudioSink::Format sinkFormat { format.sampleRate, format.channelsPerFrame };
    std::string reason;
    if (!sink->open(sinkFormat, queue.get(), &reason)) {
        if (!toldNoSoundDevice.exchange(true))
            core::log("Warning, no sound device ({}); audio plays silently", reason);
        core::NotificationCenter::defaultCenter().postOnMainThread(SoundOutputUnavailableNotification);
        queue->m_sink = NullSink::create();
        queue->m_sink->open(sinkFormat, queue.get(), nullptr);
    }
    queue->m_worker = std::make_unique<DecodeWorker>(format, queue->m_sink);
    if (status)
        *status = status::NoError;
    return queue;
}

void AudioQueue::resetForTesting()
{
    toldNoSoundDevice = false;
}

AudioQueue::AudioQueue(const Private&, const AudioStreamBasicDescription& format, OutputCallback callback,
    std::shared_ptr<AudioSink> sink)
    : m_format(format)
    , m_callback(std::move(callback))
    , m_sink(std::move(sink))
{
}

AudioQueue::~AudioQueue()
{
    dispose();
}

Status AudioQueue::allocateBuffer(uint32_t capacity, AudioQueueBuffer** buffer)
{
    if (!buffer)
        return status::InvalidParameter;
    *buffer = nullptr;
    if (m_disposed)
        return status::QueueDisposalPending;
    if (!capacity || capacity > MaximumBufferCapacity)
        return status::QueueInvalidParameter;
    auto storage = std::make_unique<uint8_t[]>(capacity);
    auto made = std::make_unique<AudioQueueBuffer>();
    made->audioDataBytesCapacity = capacity;
    made->audioData = storage.get();
    *buffer = made.get();
    m_storage.push_back(std::move(storage));
    m_buffers.push_back(std::move(made));
    return status::NoError;
}

int64_t AudioQueue::framesIn(const AudioQueueBuffer& buffer, uint32_t descriptionCount,
    const AudioStreamPacketDescription* descriptions) const
{
    if (!descriptionCount || !descriptions) {
        if (m_format.bytesPerPacket)
            return int64_t(buffer.audioDataByteSize / m_format.bytesPerPacket) * std::max<uint32_t>(m_format.framesPerPacket, 1);
        return 0;
    }
    int64_t frames = 0;
    for (uint32_t i = 0; i < descriptionCount; i++)
        frames += descriptions[i].variableFramesInPacket ? descriptions[i].variableFramesInPacket : m_format.framesPerPacket;
    return frames;
}

Status AudioQueue::enqueueBuffer(AudioQueueBuffer* buffer, uint32_t descriptionCount,
    const AudioStreamPacketDescription* descriptions)
{
    if (m_disposed)
        return status::QueueDisposalPending;
    const bool ours = std::any_of(m_buffers.begin(), m_buffers.end(), [&](const auto& b) { return b.get() == buffer; });
    if (!buffer || !ours)
        return status::QueueInvalidBuffer;
    if (!buffer->audioDataByteSize)
        return status::QueueBufferEmpty;
    if (buffer->audioDataByteSize > buffer->audioDataBytesCapacity)
        return status::QueueInvalidParameter;
    const bool queued = std::any_of(m_enqueued.begin(), m_enqueued.end(), [&](const Entry& e) { return e.buffer == buffer; });
    if (queued)
        return status::QueueInvalidBuffer;

    const uint64_t id = m_nextID++;
    m_enqueued.push_back({ id, buffer });
    DecodeWorker::Job job;
    job.epoch = m_sink->epoch();
    job.bufferID = id;
    const auto* bytes = static_cast<const uint8_t*>(buffer->audioData);
    job.bytes.assign(bytes, bytes + buffer->audioDataByteSize);
    if (descriptionCount && descriptions)
        job.descriptions.assign(descriptions, descriptions + descriptionCount);
    m_sink->bufferQueued(id, framesIn(*buffer, descriptionCount, descriptions));
    m_worker->submit(std::move(job));
    return status::NoError;
}

Status AudioQueue::start()
{
    if (m_disposed)
        return status::QueueDisposalPending;
    m_stopping = false;
    m_paused = false;
    m_sink->start();
    m_running = true;
    return status::NoError;
}

Status AudioQueue::pause()
{
    if (m_disposed)
        return status::QueueDisposalPending;
    if (m_running && !m_paused) {
        m_paused = true;
        m_sink->pause();
    }
    return status::NoError;
}

// Every enqueued buffer goes back to the client, oldest first.
void AudioQueue::returnAll()
{
    auto self = shared_from_this();
    while (!m_enqueued.empty()) {
        const Entry entry = m_enqueued.front();
        m_enqueued.pop_front();
        if (m_callback)
            m_callback(*this, entry.buffer);
    }
}

Status AudioQueue::stop(bool immediately)
{
    if (m_disposed)
        return status::QueueDisposalPending;
    if (!immediately && m_running && !m_enqueued.empty()) {
        m_stopping = true;
        return status::NoError;
    }
    auto self = shared_from_this();
    m_stopping = false;
    m_paused = false;
    m_worker->flush();
    m_sink->flush();
    m_running = false;
    returnAll();
    return status::NoError;
}

Status AudioQueue::dispose()
{
    if (m_disposed)
        return status::NoError;
    if (m_worker) {
        m_stopping = false;
        m_worker->flush();
        m_sink->flush();
        m_running = false;
        m_enqueued.clear();
        m_worker.reset();
    }
    m_disposed = true;
    if (m_sink)
        m_sink->close();
    m_callback = nullptr;
    return status::NoError;
}

void AudioQueue::sinkDidPlay(uint64_t bufferID)
{
    if (m_disposed || m_enqueued.empty() || m_enqueued.front().id != bufferID)
        return;
    auto self = shared_from_this();
    const Entry entry = m_enqueued.front();
    m_enqueued.pop_front();
    if (m_callback)
        m_callback(*this, entry.buffer);
    if (m_stopping && m_enqueued.empty() && !m_disposed)
        stop(true);
}

Status AudioQueue::getProperty(FourCharCode propertyID, uint32_t* ioSize, void* data) const
{
    if (!ioSize || !data)
        return status::InvalidParameter;
    if (propertyID == queueProperty::IsRunning) {
        if (*ioSize < sizeof(uint32_t))
            return status::BadPropertySize;
        const uint32_t running = m_running ? 1 : 0;
        std::memcpy(data, &running, sizeof running);
        *ioSize = sizeof running;
        return status::NoError;
    }
    if (propertyID == queueProperty::MagicCookie) {
        if (*ioSize < m_cookie.size())
            return status::BadPropertySize;
        std::memcpy(data, m_cookie.data(), m_cookie.size());
        *ioSize = uint32_t(m_cookie.size());
        return status::NoError;
    }
    if (propertyID == queueProperty::StreamDescription) {
        if (*ioSize < sizeof m_format)
            return status::BadPropertySize;
        std::memcpy(data, &m_format, sizeof m_format);
        *ioSize = sizeof m_format;
        return status::NoError;
    }
    return status::QueueInvalidProperty;
}

Status AudioQueue::setProperty(FourCharCode propertyID, const void* data, uint32_t size)
{
    if (m_disposed)
        return status::QueueDisposalPending;
    if (propertyID != queueProperty::MagicCookie)
        return status::QueueInvalidProperty;
    if ((!data && size) || size > (1u << 20))
        return status::InvalidParameter;
    const auto* bytes = static_cast<const uint8_t*>(data);
    m_cookie.assign(bytes, bytes + size);
    m_worker->setCookie(m_cookie);
    return status::NoError;
}

Status AudioQueue::setVolume(float volume)
{
    if (m_disposed)
        return status::QueueDisposalPending;
    m_volume = clampedVolume(volume);
    m_sink->setVolume(m_volume);
    return status::NoError;
}

Status AudioQueue::volume(float* volume) const
{
    if (!volume)
        return status::InvalidParameter;
    *volume = m_volume;
    return status::NoError;
}

Status AudioQueue::currentSampleTime(double* sampleTime) const
{
    if (!sampleTime)
        return status::InvalidParameter;
    if (m_disposed)
        return status::QueueDisposalPending;
    *sampleTime = double(m_sink->framesConsumed());
    return status::NoError;
}

} // namespace media

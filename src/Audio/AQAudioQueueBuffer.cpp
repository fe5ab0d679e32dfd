#include "Audio/AQAudioQueueBuffer.h"

#include "Platform/Core/Log.h"
#include "Platform/Media/AudioQueue.h"
#include "Audio/AQAudioQueue.h"

#include <cstring>
#include <fmt/format.h>

struct AQAudioQueueBuffer::Private { };

std::shared_ptr<AQAudioQueueBuffer> AQAudioQueueBuffer::create(AQAudioQueue& queue)
{
    media::AudioQueueBuffer* buffer = nullptr;
    const media::Status status = queue.audioQueueRef()->allocateBuffer(queue.bufferSize(), &buffer);
    if (status || !buffer) {
        const std::string code = media::fourCCString(uint32_t(status));
        core::log("AudioQueueAllocateBuffer failed with error {:4.4} ({})", code, status);
        return nullptr;
    }
    return std::make_shared<AQAudioQueueBuffer>(Private(), queue.audioQueueRef(), buffer, queue.bufferSize());
}

AQAudioQueueBuffer::AQAudioQueueBuffer(const Private&, std::shared_ptr<media::AudioQueue> queue,
    media::AudioQueueBuffer* buffer, uint32_t bufferSize)
    : m_queue(std::move(queue))
    , m_audioQueueBufferRef(buffer)
    , m_bufferSize(bufferSize)
{
}

std::string AQAudioQueueBuffer::description() const
{
    return fmt::format("<AQAudioQueueBuffer {}> {} of {} bytes, {} packets", fmt::ptr(this), byteSize(), m_bufferSize,
        numPacketDescriptions());
}

uint32_t AQAudioQueueBuffer::byteSize() const
{
    return m_audioQueueBufferRef->audioDataByteSize;
}

bool AQAudioQueueBuffer::addData(std::string_view data)
{
    auto* buffer = m_audioQueueBufferRef;
    if (uint64_t(buffer->audioDataByteSize) + data.size() > m_bufferSize)
        return false;
    std::memcpy(static_cast<uint8_t*>(buffer->audioData) + buffer->audioDataByteSize, data.data(), data.size());
    buffer->audioDataByteSize += uint32_t(data.size());
    return true;
}

bool AQAudioQueueBuffer::addPacketData(std::string_view data, uint32_t numFrames)
{
    media::AudioStreamPacketDescription description;
    description.startOffset = m_audioQueueBufferRef->audioDataByteSize;
    description.variableFramesInPacket = numFrames;
    description.dataByteSize = uint32_t(data.size());
    if (!addData(data))
        return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&description);
    m_packetDescriptions.insert(m_packetDescriptions.end(), bytes, bytes + sizeof description);
    return true;
}

void AQAudioQueueBuffer::reset()
{
    m_audioQueueBufferRef->audioDataByteSize = 0;
    m_packetDescriptions.clear();
}

const media::AudioStreamPacketDescription* AQAudioQueueBuffer::packetDescriptions() const
{
    if (m_packetDescriptions.empty())
        return nullptr;
    return reinterpret_cast<const media::AudioStreamPacketDescription*>(m_packetDescriptions.data());
}

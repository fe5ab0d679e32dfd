#pragma once

#include "Platform/Core/Object.h"
#include "Platform/Media/AudioFormat.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace media {
class AudioQueue;
struct AudioQueueBuffer;
} // namespace media

class AQAudioQueue;

// One buffer of the engine's output queue, with the descriptions of the
// packets copied into it (16 bytes each: start offset, frames, size).
class AQAudioQueueBuffer : public core::Object {
public:
    // nullptr (logged) when the queue cannot allocate one.
    static std::shared_ptr<AQAudioQueueBuffer> create(AQAudioQueue& queue);

    // Copies the bytes after those already in; false, and nothing copied,
    // when they do not fit.
    bool addData(std::string_view data);
    // The same for one packet, whose description is appended when it fits.
    bool addPacketData(std::string_view data, uint32_t numFrames);
    void reset();

    media::AudioQueueBuffer* audioQueueBufferRef() const { return m_audioQueueBufferRef; }
    // The first description, or nullptr when there is none.
    const media::AudioStreamPacketDescription* packetDescriptions() const;
    uint32_t numPacketDescriptions() const { return uint32_t(m_packetDescriptions.size() / 16); }
    uint32_t bufferSize() const { return m_bufferSize; }
    uint32_t byteSize() const;

    std::string description() const override;

    struct Private;
    AQAudioQueueBuffer(const Private&, std::shared_ptr<media::AudioQueue> queue, media::AudioQueueBuffer* buffer,
        uint32_t bufferSize);

private:
    // Keeps the platform queue, and with it the buffer's memory, alive.
    std::shared_ptr<media::AudioQueue> m_queue;
    media::AudioQueueBuffer* m_audioQueueBufferRef;
    std::vector<uint8_t> m_packetDescriptions;
    uint32_t m_bufferSize;
};

#include "Audio/AQAudioFileStream.h"

#include "Platform/Core/Log.h"
#include "Platform/Media/AudioFileStream.h"

#include <cmath>
#include <fmt/format.h>
#include <vector>

struct AQAudioFileStream::Private { };

std::shared_ptr<AQAudioFileStream> AQAudioFileStream::create(AQAudioFileStreamDelegate* delegate,
    media::FourCharCode fileTypeHint)
{
    auto stream = std::make_shared<AQAudioFileStream>(Private(), delegate);
    AQAudioFileStream* target = stream.get();
    media::Status status = 0;
    stream->m_audioFileStream = media::AudioFileStream::open(
        [target](media::AudioFileStream&, media::FourCharCode id, uint32_t&) { target->fileStreamDidFindProperty(id); },
        [target](uint32_t bytes, uint32_t packets, const void* data, const media::AudioStreamPacketDescription* d) {
            target->packetsFound(bytes, packets, data, d);
        },
        fileTypeHint, &status);
    if (!stream->m_audioFileStream) {
        core::log("AudioFileStreamOpen failed with error: {}", status);
        return nullptr;
    }
    return stream;
}

AQAudioFileStream::AQAudioFileStream(const Private&, AQAudioFileStreamDelegate* delegate)
    : m_delegate(delegate)
{
}

AQAudioFileStream::~AQAudioFileStream()
{
    m_delegate = nullptr;
}

std::string AQAudioFileStream::description() const
{
    return fmt::format("<AQAudioFileStream {}> ready {}", fmt::ptr(this), m_readyToProducePackets);
}

void AQAudioFileStream::parseData(std::string_view data)
{
    const media::Status status = m_audioFileStream->parseBytes(data.data(), data.size(), m_flags);
    m_flags = 0;
    if (status)
        core::log("AudioFileStreamParseBytes error: {}", media::fourCCString(uint32_t(status)));
}

void AQAudioFileStream::expectDiscontinuity()
{
    m_flags = media::AudioFileStream::Discontinuity;
}

void AQAudioFileStream::fileStreamDidFindProperty(media::FourCharCode propertyID)
{
    if (propertyID == media::property::DataOffset) {
        int64_t offset = 0;
        if (getFileStreamProperty(propertyID, &offset, sizeof offset))
            m_dataOffset = uint64_t(offset);
        return;
    }
    if (propertyID == media::property::ReadyToProducePackets) {
        m_readyToProducePackets = true;
        media::AudioStreamBasicDescription description {};
        if (getFileStreamProperty(media::property::DataFormat, &description, sizeof description)) {
            m_basicDescription = description;
            if (m_delegate)
                m_delegate->fileStreamReadyToProducePackets(*this, m_basicDescription);
        }
    }
}

// With descriptions, one call per packet, in order; without, the whole run.
void AQAudioFileStream::packetsFound(uint32_t bytes, uint32_t packets, const void* data,
    const media::AudioStreamPacketDescription* descriptions)
{
    if (!m_delegate)
        return;
    const auto* base = static_cast<const char*>(data);
    if (!descriptions) {
        m_delegate->didFindData(*this, std::string_view(base, bytes));
        return;
    }
    for (uint32_t i = 0; i < packets && m_delegate; i++) {
        const auto& d = descriptions[i];
        m_delegate->didFindPacketData(*this, std::string_view(base + d.startOffset, d.dataByteSize),
            d.variableFramesInPacket);
    }
}

bool AQAudioFileStream::getFileStreamProperty(media::FourCharCode propertyID, void* value, uint32_t size) const
{
    uint32_t needed = 0;
    media::Status status = m_audioFileStream->getPropertyInfo(propertyID, &needed);
    if (!status && needed > size)
        status = media::status::BadPropertySize;
    if (!status) {
        uint32_t ioSize = needed;
        status = m_audioFileStream->getProperty(propertyID, &ioSize, value);
    }
    if (status) {
        core::log("Warning, AudioFileStreamGetProperty failed for: {}", media::fourCCString(propertyID));
        return false;
    }
    return true;
}

std::optional<core::Data> AQAudioFileStream::magicCookie() const
{
    uint32_t size = 0;
    if (m_audioFileStream->getPropertyInfo(media::property::MagicCookieData, &size) || !size)
        return std::nullopt;
    std::vector<uint8_t> cookie(size);
    uint32_t ioSize = size;
    if (m_audioFileStream->getProperty(media::property::MagicCookieData, &ioSize, cookie.data())) {
        core::log("Warning, AudioFileStreamGetProperty failed for: {}", media::fourCCString(media::property::MagicCookieData));
        return std::nullopt;
    }
    return core::Data(cookie.data(), ioSize);
}

double AQAudioFileStream::averageBytesPerPacket() const
{
    return propertyOrZero<double>(media::property::AverageBytesPerPacket);
}

uint32_t AQAudioFileStream::bitRate() const
{
    return propertyOrZero<uint32_t>(media::property::BitRate);
}

uint32_t AQAudioFileStream::maximumPacketSize() const
{
    return propertyOrZero<uint32_t>(media::property::MaximumPacketSize);
}

uint64_t AQAudioFileStream::audioByteCount() const
{
    return propertyOrZero<uint64_t>(media::property::AudioDataByteCount);
}

double AQAudioFileStream::estimatedTimeForByteOffset(int64_t byteOffset) const
{
    const double rate = m_basicDescription.sampleRate;
    if (!m_readyToProducePackets || !(rate > 0))
        return -1.0;
    media::AudioBytePacketTranslation bytes;
    bytes.byte = byteOffset;
    if (!getFileStreamProperty(media::property::ByteToPacket, &bytes, sizeof bytes))
        return -1.0;
    media::AudioFramePacketTranslation frames;
    frames.packet = bytes.packet;
    if (!getFileStreamProperty(media::property::PacketToFrame, &frames, sizeof frames))
        return -1.0;
    return double(frames.frame) / rate;
}

int64_t AQAudioFileStream::audioDataByteOffsetForSeekTime(double seekTime) const
{
    const double rate = m_basicDescription.sampleRate;
    if (!(rate > 0) || !(seekTime >= 0) || !std::isfinite(seekTime))
        return -1;
    media::AudioFramePacketTranslation frames;
    frames.frame = int64_t(uint64_t(seekTime * rate));
    if (!getFileStreamProperty(media::property::FrameToPacket, &frames, sizeof frames))
        return -1;
    int64_t offset = 0;
    uint32_t flags = 0;
    const media::Status status = m_audioFileStream->seek(frames.packet, &offset, &flags);
    if (status) {
        core::log("AudioFileStreamSeek failed: {}", status);
        return -1;
    }
    return offset;
}

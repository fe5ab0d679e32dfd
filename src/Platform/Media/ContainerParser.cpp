#include "Platform/Media/ContainerParser.h"

#include <algorithm>
#include <cmath>

namespace media {

ContainerParser::~ContainerParser() = default;

void ContainerParser::announce(FourCharCode propertyID)
{
    m_stream.announce(propertyID);
}

void ContainerParser::becomeReady()
{
    if (m_info.ready)
        return;
    announce(property::FileFormat);
    announce(property::DataFormat);
    if (!m_info.magicCookie.empty())
        announce(property::MagicCookieData);
    if (m_info.audioDataByteCount >= 0)
        announce(property::AudioDataByteCount);
    if (m_info.audioDataPacketCount >= 0)
        announce(property::AudioDataPacketCount);
    announce(property::DataOffset);
    m_info.ready = true;
    announce(property::ReadyToProducePackets);
}

bool ContainerParser::acceptable(const AudioStreamBasicDescription& format)
{
    return format.sampleRate > 0 && format.sampleRate <= MaximumSampleRate && format.channelsPerFrame >= 1
        && format.channelsPerFrame <= MaximumChannels;
}

void ContainerParser::addPacket(const uint8_t* packet, uint32_t size, uint32_t frames)
{
    if (m_batch.empty())
        m_batchStart = packet;
    AudioStreamPacketDescription description;
    description.startOffset = packet - m_batchStart;
    description.variableFramesInPacket = frames;
    description.dataByteSize = size;
    m_batch.push_back(description);
    m_batchEnd = std::max(m_batchEnd, packet + size);
    m_info.parsedPackets++;
    m_info.parsedPacketBytes += size;
    m_info.maximumPacketSize = std::max(m_info.maximumPacketSize, size);
}

void ContainerParser::flushPackets()
{
    if (m_batch.empty())
        return;
    // Cleared first: the handler may parse again (a seek from inside it).
    auto batch = std::move(m_batch);
    m_batch.clear();
    const uint8_t* start = m_batchStart;
    const auto bytes = uint32_t(m_batchEnd - m_batchStart);
    m_batchStart = m_batchEnd = nullptr;
    m_stream.deliver(start, bytes, batch.data(), uint32_t(batch.size()));
}

void ContainerParser::deliverFrames(const uint8_t* data, uint32_t bytes)
{
    if (!bytes)
        return;
    const uint32_t bytesPerPacket = std::max<uint32_t>(m_info.format.bytesPerPacket, 1);
    m_info.parsedPackets += bytes / bytesPerPacket;
    m_info.parsedPacketBytes += bytes;
    m_stream.deliver(data, bytes, nullptr, bytes / bytesPerPacket);
}

// Constant bytes per packet translate exactly; otherwise by the average
// packet size, an estimate.
Status ContainerParser::bytesToPacket(AudioBytePacketTranslation& translation) const
{
    const auto& format = m_info.format;
    if (translation.byte < 0)
        return status::InvalidParameter;
    if (format.bytesPerPacket) {
        translation.packet = translation.byte / format.bytesPerPacket;
        translation.byteOffsetInPacket = uint32_t(translation.byte % format.bytesPerPacket);
        translation.flags = 0;
        return status::NoError;
    }
    const double average = m_info.averagePacketSize();
    if (average <= 0)
        return status::DataUnavailable;
    const double packets = double(translation.byte) / average;
    translation.packet = saturatingInt64(packets);
    translation.byteOffsetInPacket = uint32_t((packets - std::floor(packets)) * average);
    translation.flags = BytePacketTranslationFlagIsEstimate;
    return status::NoError;
}

Status ContainerParser::packetToFrame(AudioFramePacketTranslation& translation) const
{
    const uint32_t framesPerPacket = m_info.format.framesPerPacket;
    if (!framesPerPacket || translation.packet < 0)
        return status::UnsupportedProperty;
    if (translation.packet > (INT64_MAX - translation.frameOffsetInPacket) / framesPerPacket)
        return status::InvalidPacketOffset;
    translation.frame = translation.packet * framesPerPacket + translation.frameOffsetInPacket;
    return status::NoError;
}

Status ContainerParser::frameToPacket(AudioFramePacketTranslation& translation) const
{
    const uint32_t framesPerPacket = m_info.format.framesPerPacket;
    if (!framesPerPacket || translation.frame < 0)
        return status::UnsupportedProperty;
    translation.packet = translation.frame / framesPerPacket;
    translation.frameOffsetInPacket = uint32_t(translation.frame % framesPerPacket);
    return status::NoError;
}

Status ContainerParser::seek(int64_t packet, int64_t& byteOffset, uint32_t& flags) const
{
    if (packet < 0)
        return status::InvalidPacketOffset;
    const auto& format = m_info.format;
    if (format.bytesPerPacket) {
        byteOffset = packet * format.bytesPerPacket;
        flags = 0;
        return status::NoError;
    }
    const double average = m_info.averagePacketSize();
    if (average <= 0)
        return status::DataUnavailable;
    byteOffset = saturatingInt64(double(packet) * average);
    flags = AudioFileStream::OffsetIsEstimated;
    return status::NoError;
}

ContainerParser::Result ContainerParser::parseTablePackets(const PacketTable& table, size_t& next,
    const uint8_t* data, size_t size, uint64_t position)
{
    Result result;
    size_t off = 0;
    while (next < table.count() && off < size) {
        const uint64_t here = position + off;
        const uint64_t start = table.offset(next);
        if (start < here) {
            // Came in after the packet's start (a discontinuity): go on
            // with the next whole one.
            next = table.indexAtOrAfter(here);
            continue;
        }
        if (start > here) {
            const uint64_t gap = start - here;
            if (gap >= size - off) {
                result.skip = gap - (size - off);
                off = size;
                break;
            }
            off += size_t(gap);
            continue;
        }
        const uint32_t length = table.size(next);
        if (size - off < length)
            break;
        addPacket(data + off, length, table.frames(next));
        off += length;
        next++;
    }
    flushPackets();
    // Whatever follows the last packet is not audio.
    if (next >= table.count())
        off = size;
    result.consumed = off;
    if (!off && !result.skip)
        result.needed = next < table.count() ? table.size(next) : 1;
    return result;
}

Status ContainerParser::tableBytesToPacket(const PacketTable& table, int64_t dataOffset, AudioBytePacketTranslation& t)
{
    if (t.byte < 0 || table.empty())
        return status::InvalidParameter;
    const uint64_t position = uint64_t(dataOffset + t.byte);
    size_t index = table.indexHolding(position);
    if (index >= table.count())
        index = 0;
    t.packet = int64_t(index);
    t.byteOffsetInPacket = uint32_t(std::min<uint64_t>(position - std::min(position, table.offset(index)), UINT32_MAX));
    t.flags = 0;
    // Past the last packet: counted on by the average.
    if (position >= table.offset(table.count() - 1) + table.size(table.count() - 1)) {
        const double average = double(table.span()) / double(table.count());
        t.packet = average > 0 ? saturatingInt64(double(t.byte) / average) : int64_t(table.count());
        t.byteOffsetInPacket = 0;
        t.flags = BytePacketTranslationFlagIsEstimate;
    }
    return status::NoError;
}

Status ContainerParser::tablePacketToFrame(const PacketTable& table, AudioFramePacketTranslation& t)
{
    if (t.packet < 0)
        return status::InvalidParameter;
    if (size_t(t.packet) < table.count())
        t.frame = table.firstFrame(size_t(t.packet)) + t.frameOffsetInPacket;
    else if (table.constantFrames() && t.packet <= (INT64_MAX - t.frameOffsetInPacket) / table.constantFrames())
        t.frame = t.packet * table.constantFrames() + t.frameOffsetInPacket;
    else
        return status::InvalidPacketOffset;
    return status::NoError;
}

Status ContainerParser::tableFrameToPacket(const PacketTable& table, AudioFramePacketTranslation& t)
{
    if (t.frame < 0 || table.empty())
        return status::InvalidParameter;
    if (t.frame >= table.totalFrames() && table.constantFrames()) {
        t.packet = t.frame / table.constantFrames();
        t.frameOffsetInPacket = uint32_t(t.frame % table.constantFrames());
        return status::NoError;
    }
    const size_t index = table.indexOfFrame(t.frame);
    t.packet = int64_t(index);
    t.frameOffsetInPacket = uint32_t(t.frame - table.firstFrame(index));
    return status::NoError;
}

Status ContainerParser::tableSeek(const PacketTable& table, int64_t dataOffset, int64_t packet, int64_t& byteOffset)
{
    if (packet < 0 || size_t(packet) >= table.count())
        return status::InvalidPacketOffset;
    byteOffset = int64_t(table.offset(size_t(packet))) - dataOffset;
    return status::NoError;
}

} // namespace media

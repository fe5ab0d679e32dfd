#include "Platform/Media/AudioFileStream.h"

#include "Platform/Media/AIFFParser.h"
#include "Platform/Media/CAFParser.h"
#include "Platform/Media/ContainerParser.h"
#include "Platform/Media/MP4Parser.h"
#include "Platform/Media/MPEGAudioParser.h"
#include "Platform/Media/WaveParser.h"

#include <algorithm>
#include <cstring>

namespace media {

struct AudioFileStream::Private { };

namespace {

// Enough of a file's start to tell its container.
constexpr size_t SniffLength = 12;

bool isMP4BoxType(const uint8_t* p)
{
    static constexpr const char* types[] = { "ftyp", "moov", "mdat", "free", "skip", "wide", "pnot" };
    for (const char* type : types) {
        if (std::memcmp(p, type, 4) == 0)
            return true;
    }
    return false;
}

template<typename T> Status answer(const T& value, uint32_t* ioSize, void* data)
{
    if (!ioSize || !data)
        return status::InvalidParameter;
    if (*ioSize < sizeof(T))
        return status::BadPropertySize;
    std::memcpy(data, &value, sizeof(T));
    *ioSize = sizeof(T);
    return status::NoError;
}

template<typename T> Status readInput(T& value, const uint32_t* ioSize, const void* data)
{
    if (!ioSize || !data)
        return status::InvalidParameter;
    if (*ioSize < sizeof(T))
        return status::BadPropertySize;
    std::memcpy(&value, data, sizeof(T));
    return status::NoError;
}

} // namespace

std::unique_ptr<AudioFileStream> AudioFileStream::open(PropertyListener listener, PacketsHandler packets,
    FourCharCode fileTypeHint, Status* status)
{
    if (!listener || !packets) {
        if (status)
            *status = status::InvalidParameter;
        return nullptr;
    }
    if (status)
        *status = status::NoError;
    return std::make_unique<AudioFileStream>(Private(), std::move(listener), std::move(packets), fileTypeHint);
}

AudioFileStream::AudioFileStream(const Private&, PropertyListener listener, PacketsHandler packets, FourCharCode hint)
    : m_listener(std::move(listener))
    , m_packets(std::move(packets))
    , m_hint(hint)
    , m_info(std::make_unique<StreamInfo>())
{
}

AudioFileStream::~AudioFileStream() = default;

void AudioFileStream::setSourceIsSeekable(bool seekable)
{
    m_seekable = seekable;
    if (m_parser)
        m_parser->setSourceIsSeekable(seekable);
}

int64_t AudioFileStream::requestedOffset() const
{
    return m_parser ? m_parser->requestedOffset() : -1;
}

void AudioFileStream::announce(FourCharCode propertyID)
{
    uint32_t flags = 0;
    m_listener(*this, propertyID, flags);
}

void AudioFileStream::deliver(const uint8_t* data, uint32_t bytes, const AudioStreamPacketDescription* descriptions,
    uint32_t count)
{
    m_packets(bytes, count, data, descriptions);
}

Status AudioFileStream::parseBytes(const void* data, size_t size, uint32_t flags)
{
    if (m_failure)
        return m_failure;
    if (flags & Discontinuity) {
        uint64_t position = m_position + m_pending.size() + m_skip;
        if (m_seekPosition >= 0)
            position = uint64_t(m_seekPosition);
        else if (requestedOffset() >= 0)
            position = uint64_t(requestedOffset());
        m_pending.clear();
        m_skip = 0;
        m_needed = 0;
        m_seekPosition = -1;
        m_position = position;
        if (m_parser)
            m_parser->discontinuity(position);
    }
    auto input = static_cast<const uint8_t*>(data);
    size_t left = data ? size : 0;

    // Bytes of a body being skipped never reach the parser.
    if (m_pending.empty() && m_skip) {
        const auto skipped = size_t(std::min<uint64_t>(m_skip, left));
        m_skip -= skipped;
        m_position += skipped;
        input += skipped;
        left -= skipped;
    }
    if (!left)
        return status::NoError;

    if (m_pending.empty()) {
        size_t used = 0;
        const Status result = run(input, left, used);
        if (result)
            return result;
        if (used < left) {
            const uint64_t skipped = std::min<uint64_t>(m_skip, left - used);
            m_skip -= skipped;
            m_position += skipped;
            used += size_t(skipped);
            m_pending.assign(input + used, input + left);
        }
        return status::NoError;
    }

    m_pending.insert(m_pending.end(), input, input + left);
    if (m_pending.size() < m_needed)
        return status::NoError;
    // The run may add to the pending bytes through a nested parse; work on
    // a copy of the pointer range that stays valid.
    std::vector<uint8_t> pending;
    pending.swap(m_pending);
    size_t used = 0;
    const Status result = run(pending.data(), pending.size(), used);
    if (result)
        return result;
    if (used < pending.size()) {
        const uint64_t skipped = std::min<uint64_t>(m_skip, pending.size() - used);
        m_skip -= skipped;
        m_position += skipped;
        used += size_t(skipped);
        pending.erase(pending.begin(), pending.begin() + ptrdiff_t(used));
        pending.insert(pending.end(), m_pending.begin(), m_pending.end());
        m_pending.swap(pending);
    }
    return status::NoError;
}

// Runs the container's parser (choosing it first) over contiguous bytes
// starting at m_position, until it consumed them all or needs more.
Status AudioFileStream::run(const uint8_t* data, size_t size, size_t& used)
{
    used = 0;
    m_needed = 0;
    while (used < size) {
        if (m_skip) {
            const auto skipped = size_t(std::min<uint64_t>(m_skip, size - used));
            m_skip -= skipped;
            m_position += skipped;
            used += skipped;
            continue;
        }
        if (!m_parser) {
            bool needMore = false;
            const Status chosen = choose(data + used, size - used, needMore);
            if (chosen) {
                m_failure = chosen;
                return chosen;
            }
            if (needMore) {
                m_needed = SniffLength;
                return status::NoError;
            }
            continue;
        }
        const auto result = m_parser->parse(data + used, size - used, m_position);
        if (result.status) {
            m_failure = result.status;
            return result.status;
        }
        used += result.consumed;
        m_position += result.consumed;
        m_skip += result.skip;
        if (!result.consumed && !result.skip) {
            if (result.needed > MaximumTableSize + MaximumHeaderChunkSize) {
                m_failure = status::UnsupportedDataFormat;
                return m_failure;
            }
            m_needed = result.needed;
            return status::NoError;
        }
    }
    return status::NoError;
}

// Chooses the parser from the first bytes, skipping ID3v2 tags before them.
Status AudioFileStream::choose(const uint8_t* p, size_t size, bool& needMore)
{
    needMore = false;
    if (size >= 3 && std::memcmp(p, "ID3", 3) == 0) {
        if (size < 10) {
            needMore = true;
            return status::NoError;
        }
        const bool syncsafe = !(p[6] & 0x80) && !(p[7] & 0x80) && !(p[8] & 0x80) && !(p[9] & 0x80);
        if (syncsafe && p[3] != 0xFF) {
            const uint64_t body = uint64_t(p[6]) << 21 | uint64_t(p[7]) << 14 | uint64_t(p[8]) << 7 | p[9];
            m_skip += 10 + body + ((p[5] & 0x10) ? 10 : 0);
            return status::NoError;
        }
    }
    if (size < SniffLength) {
        // Short of a header: wait, unless the bytes already start an MPEG frame.
        if (size < 2 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) {
            needMore = true;
            return status::NoError;
        }
    }
    auto& info = *m_info;
    std::unique_ptr<ContainerParser> parser;
    if (size >= SniffLength && std::memcmp(p, "RIFF", 4) == 0 && std::memcmp(p + 8, "WAVE", 4) == 0)
        parser = std::make_unique<WaveParser>(*this, info);
    else if (size >= SniffLength && std::memcmp(p, "FORM", 4) == 0
        && (std::memcmp(p + 8, "AIFF", 4) == 0 || std::memcmp(p + 8, "AIFC", 4) == 0))
        parser = std::make_unique<AIFFParser>(*this, info);
    else if (size >= SniffLength && std::memcmp(p, "caff", 4) == 0)
        parser = std::make_unique<CAFParser>(*this, info);
    else if (size >= SniffLength && isMP4BoxType(p + 4))
        parser = std::make_unique<MP4Parser>(*this, info, m_hint == fileType::MPEG4 ? fileType::MPEG4 : fileType::M4A);
    else if (p[0] == 0xFF && (p[1] & 0xF6) == 0xF0)
        parser = std::make_unique<MPEGAudioParser>(*this, info, MPEGAudioParser::ADTS);
    else if (p[0] == 0xFF && (p[1] & 0xE6) == 0xE2)
        parser = std::make_unique<MPEGAudioParser>(*this, info, MPEGAudioParser::Layer3);
    else if (m_hint == fileType::WAVE || m_hint == fileType::AIFF || m_hint == fileType::AIFC
        || m_hint == fileType::CAF || m_hint == fileType::M4A || m_hint == fileType::MPEG4)
        return status::UnsupportedFileType;
    else
        // Anything else is searched for frames of the hinted kind.
        parser = std::make_unique<MPEGAudioParser>(*this, info,
            m_hint == fileType::ADTS ? MPEGAudioParser::ADTS : MPEGAudioParser::Layer3);
    parser->setSourceIsSeekable(m_seekable);
    m_parser = std::move(parser);
    return status::NoError;
}

Status AudioFileStream::getPropertyInfo(FourCharCode propertyID, uint32_t* size, bool* writable) const
{
    if (writable)
        *writable = false;
    const auto& info = *m_info;
    uint32_t length = 0;
    switch (propertyID) {
    case property::ReadyToProducePackets:
    case property::FileFormat:
    case property::MaximumPacketSize:
    case property::BitRate:
        length = sizeof(uint32_t);
        break;
    case property::DataFormat:
        if (!info.hasFormat)
            return status::ValueUnknown;
        length = sizeof(AudioStreamBasicDescription);
        break;
    case property::MagicCookieData:
        if (info.magicCookie.empty())
            return status::ValueUnknown;
        length = uint32_t(info.magicCookie.size());
        break;
    case property::AudioDataByteCount:
    case property::AudioDataPacketCount:
    case property::DataOffset:
        length = sizeof(int64_t);
        break;
    case property::AverageBytesPerPacket:
        length = sizeof(double);
        break;
    case property::PacketTableInfo:
        length = sizeof(AudioFilePacketTableInfo);
        break;
    case property::ByteToPacket:
        length = sizeof(AudioBytePacketTranslation);
        break;
    case property::PacketToFrame:
    case property::FrameToPacket:
        length = sizeof(AudioFramePacketTranslation);
        break;
    default:
        return status::UnsupportedProperty;
    }
    if (size)
        *size = length;
    return status::NoError;
}

Status AudioFileStream::getProperty(FourCharCode propertyID, uint32_t* ioSize, void* data) const
{
    const auto& info = *m_info;
    const auto& format = info.format;
    const double average = info.averagePacketSize();

    switch (propertyID) {
    case property::ReadyToProducePackets:
        return answer(uint32_t(info.ready ? 1 : 0), ioSize, data);
    case property::FileFormat:
        if (!info.fileType)
            return status::ValueUnknown;
        return answer(uint32_t(info.fileType), ioSize, data);
    case property::DataFormat:
        if (!info.hasFormat)
            return status::ValueUnknown;
        return answer(format, ioSize, data);
    case property::MagicCookieData: {
        if (info.magicCookie.empty())
            return status::ValueUnknown;
        if (!ioSize || !data)
            return status::InvalidParameter;
        if (*ioSize < info.magicCookie.size())
            return status::BadPropertySize;
        std::memcpy(data, info.magicCookie.data(), info.magicCookie.size());
        *ioSize = uint32_t(info.magicCookie.size());
        return status::NoError;
    }
    case property::AudioDataByteCount:
        if (info.audioDataByteCount < 0)
            return status::ValueUnknown;
        return answer(uint64_t(info.audioDataByteCount), ioSize, data);
    case property::AudioDataPacketCount:
        if (info.audioDataPacketCount < 0)
            return status::ValueUnknown;
        return answer(uint64_t(info.audioDataPacketCount), ioSize, data);
    case property::DataOffset:
        if (info.dataOffset < 0)
            return status::ValueUnknown;
        return answer(int64_t(info.dataOffset), ioSize, data);
    case property::MaximumPacketSize:
        if (!info.hasFormat)
            return status::ValueUnknown;
        return answer(uint32_t(format.bytesPerPacket ? format.bytesPerPacket : info.maximumPacketSize), ioSize, data);
    case property::AverageBytesPerPacket:
        if (average <= 0)
            return status::ValueUnknown;
        return answer(average, ioSize, data);
    case property::BitRate: {
        uint32_t rate = info.bitRate;
        if (!rate && average > 0 && format.framesPerPacket && format.sampleRate > 0)
            rate = uint32_t(std::min(average * 8 * format.sampleRate / format.framesPerPacket + 0.5, double(UINT32_MAX)));
        if (!rate)
            return status::ValueUnknown;
        return answer(rate, ioSize, data);
    }
    case property::PacketTableInfo:
        if (!info.packetTableInfo)
            return status::ValueUnknown;
        return answer(*info.packetTableInfo, ioSize, data);
    case property::ByteToPacket: {
        AudioBytePacketTranslation translation;
        if (Status error = readInput(translation, ioSize, data))
            return error;
        if (!m_parser || !info.hasFormat)
            return status::ValueUnknown;
        if (Status error = m_parser->bytesToPacket(translation))
            return error;
        return answer(translation, ioSize, data);
    }
    case property::PacketToFrame:
    case property::FrameToPacket: {
        AudioFramePacketTranslation translation;
        if (Status error = readInput(translation, ioSize, data))
            return error;
        if (!m_parser || !info.hasFormat)
            return status::ValueUnknown;
        const Status error = propertyID == property::PacketToFrame ? m_parser->packetToFrame(translation)
                                                                    : m_parser->frameToPacket(translation);
        if (error)
            return error;
        return answer(translation, ioSize, data);
    }
    default:
        return status::UnsupportedProperty;
    }
}

Status AudioFileStream::seek(int64_t packetOffset, int64_t* dataByteOffset, uint32_t* flags)
{
    if (!dataByteOffset || !flags)
        return status::InvalidParameter;
    if (!m_parser || !m_info->ready)
        return status::IllegalOperation;
    int64_t offset = 0;
    uint32_t seekFlags = 0;
    if (Status error = m_parser->seek(packetOffset, offset, seekFlags))
        return error;
    *dataByteOffset = offset;
    *flags = seekFlags;
    m_seekPosition = m_info->dataOffset + offset;
    return status::NoError;
}

std::string fourCCString(FourCharCode code)
{
    char text[4] = { char(code >> 24), char(code >> 16), char(code >> 8), char(code) };
    for (char c : text) {
        if (c < 0x20 || c > 0x7E)
            return std::to_string(int32_t(code));
    }
    return std::string(text, 4);
}

} // namespace media

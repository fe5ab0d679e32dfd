#include "Platform/Media/MPEGAudioParser.h"

#include <algorithm>
#include <cstring>

namespace media {

namespace {

constexpr uint16_t Layer3BitRates[2][16] = {
    { 0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0 }, // MPEG-1
    { 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0 }, // MPEG-2 and 2.5
};
constexpr uint32_t Layer3Rates[4][3] = {
    { 11025, 12000, 8000 }, // MPEG-2.5
    { 0, 0, 0 },
    { 22050, 24000, 16000 }, // MPEG-2
    { 44100, 48000, 32000 }, // MPEG-1
};
constexpr uint32_t ADTSRates[16] = { 96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000,
    7350, 0, 0, 0 };

} // namespace

MPEGAudioParser::MPEGAudioParser(AudioFileStream& stream, StreamInfo& info, Kind kind)
    : ContainerParser(stream, info)
    , m_kind(kind)
{
    m_info.fileType = kind == ADTS ? fileType::ADTS : fileType::MP3;
}

MPEGAudioParser::Header MPEGAudioParser::layer3Header(const uint8_t* p)
{
    Header h;
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return h;
    const unsigned version = (p[1] >> 3) & 3;
    const unsigned layer = (p[1] >> 1) & 3;
    const unsigned bitRateIndex = p[2] >> 4;
    const unsigned rateIndex = (p[2] >> 2) & 3;
    if (version == 1 || layer != 1 || bitRateIndex == 0 || bitRateIndex == 15 || rateIndex == 3)
        return h;
    const bool mpeg1 = version == 3;
    h.sampleRate = Layer3Rates[version][rateIndex];
    h.bitRate = Layer3BitRates[mpeg1 ? 0 : 1][bitRateIndex] * 1000u;
    const unsigned padding = (p[2] >> 1) & 1;
    h.size = (mpeg1 ? 144 : 72) * h.bitRate / h.sampleRate + padding;
    h.frames = mpeg1 ? 1152 : 576;
    const bool mono = (p[3] >> 6) == 3;
    h.channels = mono ? 1 : 2;
    const unsigned sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    h.sideInfoEnd = 4 + ((p[1] & 1) ? 0 : 2) + sideInfo;
    h.signature = uint32_t(p[1] & 0xFE) << 8 | (p[2] & 0x0C);
    h.valid = h.size > h.sideInfoEnd;
    return h;
}

MPEGAudioParser::Header MPEGAudioParser::adtsHeader(const uint8_t* p)
{
    Header h;
    if (p[0] != 0xFF || (p[1] & 0xF6) != 0xF0)
        return h;
    h.objectType = (p[2] >> 6) + 1u;
    h.samplingIndex = (p[2] >> 2) & 0xF;
    h.channelConfiguration = uint32_t(p[2] & 1) << 2 | p[3] >> 6;
    const uint32_t length = uint32_t(p[3] & 3) << 11 | uint32_t(p[4]) << 3 | p[5] >> 5;
    const uint32_t headerLength = (p[1] & 1) ? 7 : 9;
    h.sampleRate = ADTSRates[h.samplingIndex];
    if (!h.sampleRate || length <= headerLength)
        return h;
    h.size = length;
    h.frames = 1024 * ((p[6] & 3) + 1u);
    // Channel configuration 7 is 7.1; 0 leaves the layout to the stream.
    h.channels = h.channelConfiguration == 7 ? 8 : h.channelConfiguration;
    h.signature = uint32_t(p[1] & 0xF6) << 16 | uint32_t(p[2] & 0xFD) << 8 | (p[3] & 0xC0);
    h.valid = true;
    return h;
}

void MPEGAudioParser::setFormat(const Header& h)
{
    AudioStreamBasicDescription format;
    format.sampleRate = h.sampleRate;
    format.channelsPerFrame = h.channels;
    if (m_kind == ADTS) {
        format.formatID = formatID::MPEG4AAC;
        format.formatFlags = h.objectType;
        format.framesPerPacket = 1024;
        // The decoder's configuration, as an MPEG-4 AudioSpecificConfig.
        const uint32_t config = h.objectType << 11 | h.samplingIndex << 7 | h.channelConfiguration << 3;
        m_info.magicCookie = { uint8_t(config >> 8), uint8_t(config) };
        m_info.maximumPacketSize = 8191;
    } else {
        format.formatID = formatID::MPEGLayer3;
        format.framesPerPacket = h.frames;
        // The largest frame the stream's rate allows (320 or 160 kbit/s, padded).
        const bool mpeg1 = h.frames == 1152;
        m_info.maximumPacketSize = (mpeg1 ? 144 * 320000 : 72 * 160000) / h.sampleRate + 1;
        // A Xing tag marks a variable rate; Info and untagged streams keep the header's.
        m_info.bitRate = m_variable ? 0 : h.bitRate;
    }
    m_info.format = format;
    m_info.hasFormat = true;
}

bool MPEGAudioParser::readTag(const uint8_t* frame, const Header& h, uint64_t position)
{
    if (m_kind != Layer3)
        return false;
    const uint8_t* end = frame + h.size;
    const uint8_t* tag = frame + h.sideInfoEnd;
    if (tag + 8 <= end && (std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Info", 4) == 0)) {
        m_variable = std::memcmp(tag, "Xing", 4) == 0;
        const uint32_t flags = be32(tag + 4);
        const uint8_t* p = tag + 8;
        if ((flags & 1) && p + 4 <= end) {
            m_tagFrames = be32(p);
            p += 4;
        }
        if ((flags & 2) && p + 4 <= end) {
            m_tagBytes = be32(p);
            p += 4;
        }
        if ((flags & 4) && p + 100 <= end) {
            std::memcpy(m_table.data(), p, 100);
            m_hasTable = m_tagFrames > 0 && m_tagBytes > h.size;
        }
        m_tagFramePosition = position;
        return true;
    }
    tag = frame + 36;
    if (tag + 26 <= end && std::memcmp(tag, "VBRI", 4) == 0) {
        m_tagBytes = be32(tag + 10);
        m_tagFrames = be32(tag + 14);
        m_tagFramePosition = position;
        m_variable = true;
        return true;
    }
    return false;
}

ContainerParser::Result MPEGAudioParser::parse(const uint8_t* data, size_t size, uint64_t position)
{
    Result result;
    const size_t headerBytes = headerLength();
    size_t off = 0;
    auto stop = [&](size_t needed) {
        flushPackets();
        if (off)
            result.consumed = off;
        else
            result.needed = needed;
        return result;
    };

    while (true) {
        if (size - off < headerBytes)
            return stop(headerBytes);
        const uint8_t* p = data + off;
        const Header h = header(p);
        const bool fits = h.valid && (!m_synced || h.signature == m_signature);
        if (!fits) {
            // Lost: look for the next sync byte.
            m_synced = false;
            m_trustNext = false;
            const void* next = std::memchr(p + 1, 0xFF, size - off - 1);
            off = next ? size_t(static_cast<const uint8_t*>(next) - data) : size;
            if (!next) {
                flushPackets();
                result.consumed = off;
                return result;
            }
            continue;
        }
        if (!m_synced) {
            // A frame found by searching counts when the next header
            // follows it; a tagged first frame speaks for itself.
            if (size - off < h.size + headerBytes) {
                const bool tagged = size - off >= h.size && !m_info.ready && readTag(p, h, position + off);
                if (!tagged && !m_trustNext)
                    return stop(h.size + headerBytes);
            }
            bool confirmed = m_trustNext;
            if (!confirmed && size - off >= h.size + headerBytes) {
                const Header next = header(p + h.size);
                confirmed = next.valid && next.signature == h.signature;
            }
            if (!confirmed && size - off >= h.size && !m_info.ready)
                confirmed = readTag(p, h, position + off);
            if (!confirmed) {
                m_trustNext = false;
                const void* next = std::memchr(p + 1, 0xFF, size - off - 1);
                off = next ? size_t(static_cast<const uint8_t*>(next) - data) : size;
                continue;
            }
            m_synced = true;
            m_signature = h.signature;
        }
        if (size - off < h.size)
            return stop(h.size);

        if (!m_info.ready) {
            if (m_kind == ADTS && (h.channelConfiguration == 0 || h.objectType > 4)) {
                result.status = status::UnsupportedDataFormat;
                return result;
            }
            const bool tag = readTag(p, h, position + off);
            setFormat(h);
            if (tag) {
                m_info.dataOffset = int64_t(position + off + h.size);
                if (m_tagFrames > 0)
                    m_info.audioDataPacketCount = m_tagFrames;
                if (m_tagBytes > h.size)
                    m_info.audioDataByteCount = int64_t(m_tagBytes - h.size);
                if (m_tagFrames > 0 && m_tagBytes > h.size)
                    m_info.averageBytesPerPacket = double(m_tagBytes - h.size) / double(m_tagFrames);
            } else {
                m_info.dataOffset = int64_t(position + off);
            }
            becomeReady();
            if (tag) {
                off += h.size;
                m_trustNext = true;
                continue;
            }
        }
        addPacket(p, h.size, h.frames);
        off += h.size;
        m_trustNext = true;
    }
}

void MPEGAudioParser::discontinuity(uint64_t)
{
    m_synced = false;
    m_trustNext = false;
}

// With a Xing table the offset comes from the table (per cent of the frames
// to 256ths of the bytes, interpolated); otherwise by the average frame.
Status MPEGAudioParser::seek(int64_t packet, int64_t& byteOffset, uint32_t& flags) const
{
    if (packet < 0)
        return status::InvalidPacketOffset;
    if (!m_hasTable)
        return ContainerParser::seek(packet, byteOffset, flags);
    double percent = std::clamp(double(packet) * 100.0 / double(m_tagFrames), 0.0, 100.0);
    const int index = std::min(int(percent), 99);
    const double first = m_table[size_t(index)];
    const double second = index < 99 ? m_table[size_t(index) + 1] : 256.0;
    const double scaled = first + (second - first) * (percent - index);
    const auto fromTag = int64_t(scaled / 256.0 * double(m_tagBytes));
    byteOffset = std::max<int64_t>(0, int64_t(m_tagFramePosition) + fromTag - m_info.dataOffset);
    flags = AudioFileStream::OffsetIsEstimated;
    return status::NoError;
}

} // namespace media

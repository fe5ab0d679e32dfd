#include "Platform/Media/WaveParser.h"

#include <cstring>

namespace media {

namespace {

constexpr uint16_t FormatPCM = 1;
constexpr uint16_t FormatFloat = 3;
constexpr uint16_t FormatExtensible = 0xFFFE;
// The tail every standard subformat GUID shares after its 16-bit format code.
constexpr uint8_t GUIDTail[14] = { 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 };

} // namespace

WaveParser::WaveParser(AudioFileStream& stream, StreamInfo& info)
    : ChunkParser(stream, info)
{
    m_info.fileType = fileType::WAVE;
}

ChunkParser::ChunkHeader WaveParser::readChunkHeader(const uint8_t* p) const
{
    ChunkHeader chunk;
    chunk.id = be32(p);
    chunk.size = le32(p + 4);
    // Writers that could not go back leave the audio's length open.
    if (chunk.id == audioChunk() && (chunk.size == 0xFFFFFFFF || chunk.size == 0))
        chunk.size = ToEndOfFile;
    return chunk;
}

size_t WaveParser::bodyLimit(FourCharCode id) const
{
    return id == fourCC("fmt ") ? 4096 : 0;
}

Status WaveParser::readChunk(FourCharCode id, const uint8_t* p, size_t size)
{
    if (id != fourCC("fmt "))
        return status::NoError;
    if (size < 16)
        return status::InvalidFile;
    uint16_t tag = le16(p);
    const uint32_t channels = le16(p + 2);
    const uint32_t rate = le32(p + 4);
    const uint32_t blockAlign = le16(p + 12);
    const uint32_t bits = le16(p + 14);
    if (tag == FormatExtensible) {
        if (size < 40 || std::memcmp(p + 26, GUIDTail, sizeof GUIDTail) != 0)
            return status::UnsupportedDataFormat;
        tag = le16(p + 24);
    }
    AudioStreamBasicDescription format;
    format.formatID = formatID::LinearPCM;
    format.sampleRate = rate;
    format.channelsPerFrame = channels;
    format.bitsPerChannel = bits;
    format.framesPerPacket = 1;
    const uint32_t sampleBytes = (bits + 7) / 8;
    if (tag == FormatPCM && (bits == 8 || bits == 16 || bits == 24 || bits == 32))
        format.formatFlags = (bits > 8 ? formatFlag::IsSignedInteger : 0) | formatFlag::IsPacked;
    else if (tag == FormatFloat && (bits == 32 || bits == 64))
        format.formatFlags = formatFlag::IsFloat | formatFlag::IsPacked;
    else
        return status::UnsupportedDataFormat;
    if (!acceptable(format) || blockAlign != channels * sampleBytes)
        return status::UnsupportedDataFormat;
    format.bytesPerFrame = format.bytesPerPacket = blockAlign;
    m_info.format = format;
    m_info.hasFormat = true;
    m_info.bitRate = rate * blockAlign * 8;
    return status::NoError;
}

} // namespace media

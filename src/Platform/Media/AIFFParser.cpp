#include "Platform/Media/AIFFParser.h"

#include <cmath>
#include <cstring>

namespace media {

namespace {

// The 80-bit extended float of the sample rate.
double extended(const uint8_t* p)
{
    const int exponent = int(be16(p) & 0x7FFF);
    const uint64_t mantissa = be64(p + 2);
    if (!exponent && !mantissa)
        return 0;
    if (exponent == 0x7FFF)
        return 0;
    const double value = std::ldexp(double(mantissa), exponent - 16383 - 63);
    return (p[0] & 0x80) ? -value : value;
}

} // namespace

AIFFParser::AIFFParser(AudioFileStream& stream, StreamInfo& info)
    : ChunkParser(stream, info)
{
    m_info.fileType = fileType::AIFF;
}

Status AIFFParser::readFileHeader(const uint8_t* p)
{
    m_compressed = std::memcmp(p + 8, "AIFC", 4) == 0;
    m_info.fileType = m_compressed ? fileType::AIFC : fileType::AIFF;
    return status::NoError;
}

ChunkParser::ChunkHeader AIFFParser::readChunkHeader(const uint8_t* p) const
{
    return { be32(p), be32(p + 4) };
}

size_t AIFFParser::bodyLimit(FourCharCode id) const
{
    return id == fourCC("COMM") ? 4096 : 0;
}

Status AIFFParser::readAudioChunkPrefix(const uint8_t* p, uint64_t& skip)
{
    skip = be32(p);
    return status::NoError;
}

Status AIFFParser::readChunk(FourCharCode id, const uint8_t* p, size_t size)
{
    if (id != fourCC("COMM"))
        return status::NoError;
    if (size < 18 || (m_compressed && size < 22))
        return status::InvalidFile;
    const uint32_t channels = be16(p);
    const uint32_t bits = be16(p + 6);
    const double rate = extended(p + 8);
    const FourCharCode compression = m_compressed ? be32(p + 18) : fourCC("NONE");

    AudioStreamBasicDescription format;
    format.formatID = formatID::LinearPCM;
    format.sampleRate = rate;
    format.channelsPerFrame = channels;
    format.framesPerPacket = 1;
    if (compression == fourCC("NONE") || compression == fourCC("twos") || compression == fourCC("sowt")) {
        if (bits < 1 || bits > 32)
            return status::UnsupportedDataFormat;
        // Samples sit in whole bytes, left-justified.
        format.bitsPerChannel = (bits + 7) / 8 * 8;
        format.formatFlags = formatFlag::IsSignedInteger | formatFlag::IsPacked;
        if (compression != fourCC("sowt") && format.bitsPerChannel > 8)
            format.formatFlags |= formatFlag::IsBigEndian;
    } else if (compression == fourCC("fl32") || compression == fourCC("FL32")) {
        format.bitsPerChannel = 32;
        format.formatFlags = formatFlag::IsFloat | formatFlag::IsBigEndian | formatFlag::IsPacked;
    } else if (compression == fourCC("fl64") || compression == fourCC("FL64")) {
        format.bitsPerChannel = 64;
        format.formatFlags = formatFlag::IsFloat | formatFlag::IsBigEndian | formatFlag::IsPacked;
    } else {
        return status::UnsupportedDataFormat;
    }
    if (!acceptable(format))
        return status::UnsupportedDataFormat;
    format.bytesPerFrame = format.bytesPerPacket = channels * format.bitsPerChannel / 8;
    m_info.format = format;
    m_info.hasFormat = true;
    m_info.bitRate = uint32_t(rate * format.bytesPerFrame * 8);
    return status::NoError;
}

} // namespace media

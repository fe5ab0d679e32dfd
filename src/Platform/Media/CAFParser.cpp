#include "Platform/Media/CAFParser.h"

#include <cstring>

namespace media {

namespace {

constexpr uint32_t CAFIsFloat = 1;
constexpr uint32_t CAFIsLittleEndian = 2;

// One number of the packet table: 7 bits a byte, high bit set on all but
// the last. False when the bytes end first or it overflows 32 bits.
bool readVariable(const uint8_t*& p, const uint8_t* end, uint32_t& value)
{
    uint64_t result = 0;
    for (int i = 0; i < 5 && p < end; i++) {
        const uint8_t byte = *p++;
        result = result << 7 | (byte & 0x7F);
        if (!(byte & 0x80)) {
            if (result > UINT32_MAX)
                return false;
            value = uint32_t(result);
            return true;
        }
    }
    return false;
}

double bigEndianDouble(const uint8_t* p)
{
    const uint64_t bits = be64(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

CAFParser::CAFParser(AudioFileStream& stream, StreamInfo& info)
    : ChunkParser(stream, info)
{
    m_info.fileType = fileType::CAF;
}

Status CAFParser::readFileHeader(const uint8_t* p)
{
    return be16(p + 4) == 1 ? status::NoError : status::UnsupportedFileType;
}

ChunkParser::ChunkHeader CAFParser::readChunkHeader(const uint8_t* p) const
{
    ChunkHeader chunk;
    chunk.id = be32(p);
    const auto size = int64_t(be64(p + 4));
    chunk.size = size < 0 ? ToEndOfFile : uint64_t(size);
    return chunk;
}

size_t CAFParser::bodyLimit(FourCharCode id) const
{
    if (id == fourCC("desc"))
        return 256;
    if (id == fourCC("kuki"))
        return AudioFileStream::MaximumHeaderChunkSize;
    if (id == fourCC("pakt"))
        return AudioFileStream::MaximumTableSize;
    return 0;
}

Status CAFParser::readChunk(FourCharCode id, const uint8_t* body, size_t size)
{
    if (id == fourCC("desc"))
        return readDescription(body, size);
    if (id == fourCC("kuki")) {
        m_info.magicCookie.assign(body, body + size);
        return status::NoError;
    }
    if (id == fourCC("pakt"))
        return readPacketTable(body, size);
    return status::NoError;
}

Status CAFParser::readDescription(const uint8_t* p, size_t size)
{
    if (size < 32)
        return status::InvalidFile;
    AudioStreamBasicDescription format;
    format.sampleRate = bigEndianDouble(p);
    format.formatID = be32(p + 8);
    const uint32_t flags = be32(p + 12);
    format.bytesPerPacket = be32(p + 16);
    format.framesPerPacket = be32(p + 20);
    format.channelsPerFrame = be32(p + 24);
    format.bitsPerChannel = be32(p + 28);
    if (!acceptable(format))
        return status::UnsupportedDataFormat;
    if (format.formatID == formatID::LinearPCM) {
        const uint32_t bits = format.bitsPerChannel;
        const bool isFloat = flags & CAFIsFloat;
        if ((isFloat && bits != 32 && bits != 64) || (!isFloat && (bits < 8 || bits > 32 || bits % 8))
            || format.framesPerPacket != 1 || format.bytesPerPacket != format.channelsPerFrame * bits / 8)
            return status::UnsupportedDataFormat;
        format.formatFlags = (isFloat ? formatFlag::IsFloat : formatFlag::IsSignedInteger) | formatFlag::IsPacked
            | ((flags & CAFIsLittleEndian) || bits == 8 ? 0 : formatFlag::IsBigEndian);
        format.bytesPerFrame = format.bytesPerPacket;
        m_info.bitRate = uint32_t(format.sampleRate * format.bytesPerFrame * 8);
    } else if (format.formatID == formatID::MPEG4AAC) {
        if (format.bytesPerPacket)
            return status::UnsupportedDataFormat;
        format.formatFlags = flags;
        format.bytesPerFrame = 0;
        format.bitsPerChannel = 0;
    } else {
        return status::UnsupportedDataFormat;
    }
    m_info.format = format;
    m_info.hasFormat = true;
    return status::NoError;
}

Status CAFParser::readPacketTable(const uint8_t* p, size_t size)
{
    if (size < 24 || !m_info.hasFormat)
        return status::InvalidFile;
    // Read once: walking on after the audio meets the table again.
    if (m_hasTable)
        return status::NoError;
    const uint64_t packets = be64(p);
    const auto validFrames = int64_t(be64(p + 8));
    const auto priming = int32_t(be32(p + 16));
    const auto remainder = int32_t(be32(p + 20));
    if (validFrames > 0)
        m_info.packetTableInfo = AudioFilePacketTableInfo { validFrames, priming, remainder };
    m_info.audioDataPacketCount = int64_t(packets);
    if (!usesTable())
        return status::NoError;
    // Every entry takes a byte at least; the table's size bounds the count.
    if (packets > size - 24 || packets * PacketTable::BytesPerPacket > AudioFileStream::MaximumTableSize)
        return status::UnsupportedDataFormat;
    m_table = PacketTable();
    m_table.reserve(size_t(packets));
    const uint8_t* cursor = p + 24;
    const uint8_t* end = p + size;
    uint64_t offset = 0;
    for (uint64_t i = 0; i < packets; i++) {
        uint32_t bytes = m_info.format.bytesPerPacket;
        uint32_t frames = m_info.format.framesPerPacket;
        if (!bytes && !readVariable(cursor, end, bytes))
            return status::InvalidFile;
        if (!frames && !readVariable(cursor, end, frames))
            return status::InvalidFile;
        m_table.add(offset, bytes, frames);
        offset += bytes;
    }
    m_hasTable = true;
    if (m_audioSeen) {
        // The audio was passed over (a seekable source): start it now and ask for it.
        startTable(audioStart());
        m_requested = int64_t(audioStart());
    }
    return status::NoError;
}

void CAFParser::startTable(uint64_t start)
{
    m_table.setBase(start);
    m_next = 0;
    m_info.dataOffset = int64_t(start);
    m_info.audioDataByteCount = int64_t(m_table.span());
    m_info.maximumPacketSize = m_table.largest();
    becomeReady();
}

Status CAFParser::audioWillStart(uint64_t start, uint64_t end)
{
    m_audioSeen = true;
    if (!m_info.hasFormat)
        return status::InvalidFile;
    if (!usesTable())
        return ChunkParser::audioWillStart(start, end);
    if (!m_hasTable)
        return status::NotOptimized;
    startTable(start);
    return status::NoError;
}

ContainerParser::Result CAFParser::parseAudio(const uint8_t* data, size_t size, uint64_t position)
{
    if (!usesTable())
        return ChunkParser::parseAudio(data, size, position);
    return parseTablePackets(m_table, m_next, data, size, position);
}

void CAFParser::discontinuity(uint64_t position)
{
    ChunkParser::discontinuity(position);
    m_requested = -1;
    if (m_hasTable)
        m_next = m_table.indexAtOrAfter(position);
}

Status CAFParser::bytesToPacket(AudioBytePacketTranslation& t) const
{
    return usesTable() ? tableBytesToPacket(m_table, m_info.dataOffset, t) : ChunkParser::bytesToPacket(t);
}

Status CAFParser::packetToFrame(AudioFramePacketTranslation& t) const
{
    return usesTable() ? tablePacketToFrame(m_table, t) : ChunkParser::packetToFrame(t);
}

Status CAFParser::frameToPacket(AudioFramePacketTranslation& t) const
{
    return usesTable() ? tableFrameToPacket(m_table, t) : ChunkParser::frameToPacket(t);
}

Status CAFParser::seek(int64_t packet, int64_t& byteOffset, uint32_t& flags) const
{
    if (!usesTable())
        return ChunkParser::seek(packet, byteOffset, flags);
    flags = 0;
    return tableSeek(m_table, m_info.dataOffset, packet, byteOffset);
}

} // namespace media

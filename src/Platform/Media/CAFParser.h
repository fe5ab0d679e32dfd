#pragma once

#include "Platform/Media/ChunkParser.h"
#include "Platform/Media/PacketTable.h"

namespace media {

// CAF: linear PCM, and AAC with its cookie ('kuki') and packet table
// ('pakt'). A table that follows the audio cannot be streamed.
class CAFParser final : public ChunkParser {
public:
    CAFParser(AudioFileStream& stream, StreamInfo& info);

    void discontinuity(uint64_t position) override;
    Status bytesToPacket(AudioBytePacketTranslation& t) const override;
    Status packetToFrame(AudioFramePacketTranslation& t) const override;
    Status frameToPacket(AudioFramePacketTranslation& t) const override;
    Status seek(int64_t packet, int64_t& byteOffset, uint32_t& flags) const override;
    int64_t requestedOffset() const override { return m_requested; }

protected:
    size_t fileHeaderSize() const override { return 8; }
    Status readFileHeader(const uint8_t* p) override;
    size_t chunkHeaderSize() const override { return 12; }
    ChunkHeader readChunkHeader(const uint8_t* p) const override;
    bool padsChunks() const override { return false; }
    FourCharCode audioChunk() const override { return fourCC("data"); }
    size_t audioChunkPrefixSize() const override { return 4; }
    size_t bodyLimit(FourCharCode id) const override;
    Status readChunk(FourCharCode id, const uint8_t* body, size_t size) override;
    Status audioWillStart(uint64_t audioStart, uint64_t audioEnd) override;
    Result parseAudio(const uint8_t* data, size_t size, uint64_t position) override;

private:
    bool usesTable() const { return !m_info.format.bytesPerPacket; }
    Status readDescription(const uint8_t* p, size_t size);
    Status readPacketTable(const uint8_t* p, size_t size);
    void startTable(uint64_t audioStart);

    bool m_hasTable = false;
    bool m_audioSeen = false;
    PacketTable m_table;
    size_t m_next = 0;
    int64_t m_requested = -1;
};

} // namespace media

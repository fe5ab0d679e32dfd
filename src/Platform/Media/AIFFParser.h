#pragma once

#include "Platform/Media/ChunkParser.h"

namespace media {

// AIFF (big-endian integers) and AIFC ('NONE' and 'twos' big-endian,
// 'sowt' little-endian, 'fl32' and 'fl64' big-endian floats).
class AIFFParser final : public ChunkParser {
public:
    AIFFParser(AudioFileStream& stream, StreamInfo& info);

protected:
    size_t fileHeaderSize() const override { return 12; }
    Status readFileHeader(const uint8_t* p) override;
    size_t chunkHeaderSize() const override { return 8; }
    ChunkHeader readChunkHeader(const uint8_t* p) const override;
    FourCharCode audioChunk() const override { return fourCC("SSND"); }
    size_t audioChunkPrefixSize() const override { return 8; }
    Status readAudioChunkPrefix(const uint8_t* p, uint64_t& skip) override;
    size_t bodyLimit(FourCharCode id) const override;
    Status readChunk(FourCharCode id, const uint8_t* body, size_t size) override;

private:
    bool m_compressed = false;
};

} // namespace media

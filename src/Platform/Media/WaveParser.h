#pragma once

#include "Platform/Media/ChunkParser.h"

namespace media {

// RIFF WAVE: PCM of 8 to 32 bits, 32- and 64-bit float, and the extensible
// format carrying either.
class WaveParser final : public ChunkParser {
public:
    WaveParser(AudioFileStream& stream, StreamInfo& info);

protected:
    size_t fileHeaderSize() const override { return 12; }
    Status readFileHeader(const uint8_t*) override { return status::NoError; }
    size_t chunkHeaderSize() const override { return 8; }
    ChunkHeader readChunkHeader(const uint8_t* p) const override;
    FourCharCode audioChunk() const override { return fourCC("data"); }
    size_t bodyLimit(FourCharCode id) const override;
    Status readChunk(FourCharCode id, const uint8_t* body, size_t size) override;
};

} // namespace media

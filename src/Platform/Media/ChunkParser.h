#pragma once

#include "Platform/Media/ContainerParser.h"

#include <string_view>

namespace media {

// Files made of chunks around one audio chunk (WAV, AIFF, CAF): the file's
// header, then chunks that are read whole (bounded), skipped unseen, or
// streamed as audio. A container fills in the format from its chunks and
// says where the audio begins.
class ChunkParser : public ContainerParser {
public:
    using ContainerParser::ContainerParser;

    Result parse(const uint8_t* data, size_t size, uint64_t position) override;
    void discontinuity(uint64_t position) override;

protected:
    static constexpr uint64_t ToEndOfFile = UINT64_MAX;

    struct ChunkHeader {
        FourCharCode id = 0;
        uint64_t size = 0; // ToEndOfFile when the file does not say
    };

    virtual size_t fileHeaderSize() const = 0;
    virtual Status readFileHeader(const uint8_t* p) = 0;
    virtual size_t chunkHeaderSize() const = 0;
    virtual ChunkHeader readChunkHeader(const uint8_t* p) const = 0;
    // Chunks are padded to an even length (RIFF, IFF).
    virtual bool padsChunks() const { return true; }
    // The audio chunk, and the bytes at its start that precede the audio.
    virtual FourCharCode audioChunk() const = 0;
    virtual size_t audioChunkPrefixSize() const { return 0; }
    // Reads the prefix; sets `skip` to bytes to pass over before the audio.
    virtual Status readAudioChunkPrefix(const uint8_t*, uint64_t& skip) { skip = 0; return status::NoError; }
    // Whether the chunk's body is read whole, and at most how large it may be.
    virtual size_t bodyLimit(FourCharCode id) const = 0;
    virtual Status readChunk(FourCharCode id, const uint8_t* body, size_t size) = 0;
    // Before the audio starts: the format must be known; a container whose
    // packets need a table it has not read yet answers NotOptimized.
    virtual Status audioWillStart(uint64_t audioStart, uint64_t audioEnd);
    // Audio bytes from `position` on, inside the audio chunk; by default
    // whole frames of constant-size packets.
    virtual Result parseAudio(const uint8_t* data, size_t size, uint64_t position);

    uint64_t audioStart() const { return m_audioStart; }
    uint64_t audioEnd() const { return m_audioEnd; }

private:
    enum class State { FileHeader, ChunkHeader, Body, AudioPrefix, Audio };
    State m_state = State::FileHeader;
    ChunkHeader m_chunk;
    uint64_t m_chunkStart = 0;
    uint64_t m_audioStart = 0;
    uint64_t m_audioEnd = ToEndOfFile;
    uint64_t m_padding = 0;
};

} // namespace media

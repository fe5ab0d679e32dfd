#include "Platform/Media/ChunkParser.h"

#include <algorithm>
#include <utility>

namespace media {

ContainerParser::Result ChunkParser::parse(const uint8_t* data, size_t size, uint64_t position)
{
    Result result;
    switch (m_state) {
    case State::FileHeader:
        if (size < fileHeaderSize()) {
            result.needed = fileHeaderSize();
            return result;
        }
        result.status = readFileHeader(data);
        result.consumed = fileHeaderSize();
        m_state = State::ChunkHeader;
        return result;

    case State::ChunkHeader: {
        if (size < chunkHeaderSize()) {
            result.needed = chunkHeaderSize();
            return result;
        }
        m_chunk = readChunkHeader(data);
        m_chunkStart = position + chunkHeaderSize();
        result.consumed = chunkHeaderSize();
        m_padding = padsChunks() && m_chunk.size != ToEndOfFile ? (m_chunk.size & 1) : 0;
        if (m_chunk.id == audioChunk()) {
            if (m_chunk.size != ToEndOfFile && m_chunk.size < audioChunkPrefixSize()) {
                result.status = status::InvalidFile;
                return result;
            }
            m_state = State::AudioPrefix;
            return result;
        }
        const size_t limit = bodyLimit(m_chunk.id);
        if (m_chunk.size == ToEndOfFile) {
            // Only audio may run to the end of the file.
            result.status = status::InvalidFile;
            return result;
        }
        if (limit && m_chunk.size > limit) {
            result.status = status::UnsupportedDataFormat;
            return result;
        }
        if (limit)
            m_state = State::Body;
        else
            result.skip = m_chunk.size + m_padding;
        return result;
    }

    case State::Body:
        if (size < m_chunk.size) {
            result.needed = size_t(m_chunk.size);
            return result;
        }
        result.status = readChunk(m_chunk.id, data, size_t(m_chunk.size));
        result.consumed = size_t(m_chunk.size);
        result.skip = m_padding;
        m_state = State::ChunkHeader;
        return result;

    case State::AudioPrefix: {
        const size_t prefix = audioChunkPrefixSize();
        if (size < prefix) {
            result.needed = prefix;
            return result;
        }
        uint64_t skip = 0;
        result.status = readAudioChunkPrefix(data, skip);
        if (result.status)
            return result;
        const uint64_t chunkEnd = m_chunk.size == ToEndOfFile ? ToEndOfFile : m_chunkStart + m_chunk.size;
        m_audioStart = std::min(m_chunkStart + prefix + skip, chunkEnd);
        m_audioEnd = chunkEnd;
        result.status = audioWillStart(m_audioStart, m_audioEnd);
        if (result.status == status::NotOptimized && m_seekable && chunkEnd != ToEndOfFile) {
            // The table follows: pass over the audio for now, come back
            // when asked (requestedOffset).
            result.status = status::NoError;
            result.consumed = prefix;
            result.skip = chunkEnd - (position + prefix) + m_padding;
            m_state = State::ChunkHeader;
            return result;
        }
        if (result.status)
            return result;
        result.consumed = prefix;
        result.skip = skip;
        m_state = State::Audio;
        return result;
    }

    case State::Audio: {
        if (position >= m_audioEnd) {
            // Chunks after the audio are walked (and skipped) as before it.
            m_state = State::ChunkHeader;
            result.skip = std::exchange(m_padding, 0);
            return result.skip ? result : parse(data, size, position);
        }
        const size_t inChunk = size_t(std::min<uint64_t>(size, m_audioEnd - position));
        result = parseAudio(data, inChunk, position);
        return result;
    }
    }
    return result;
}

void ChunkParser::discontinuity(uint64_t position)
{
    // A discontinuity lands in the audio (a seek) or, before the audio was
    // reached, restarts the walk where the reader says.
    if (m_info.ready && position >= m_audioStart && position < m_audioEnd)
        m_state = State::Audio;
}

Status ChunkParser::audioWillStart(uint64_t audioStart, uint64_t audioEnd)
{
    if (!m_info.hasFormat)
        return status::InvalidFile;
    m_info.dataOffset = int64_t(audioStart);
    const auto& format = m_info.format;
    if (audioEnd != ToEndOfFile) {
        m_info.audioDataByteCount = int64_t(audioEnd - audioStart);
        if (format.bytesPerPacket)
            m_info.audioDataPacketCount = m_info.audioDataByteCount / format.bytesPerPacket;
    }
    m_info.maximumPacketSize = format.bytesPerPacket;
    becomeReady();
    return status::NoError;
}

ContainerParser::Result ChunkParser::parseAudio(const uint8_t* data, size_t size, uint64_t position)
{
    Result result;
    const uint32_t frame = std::max<uint32_t>(m_info.format.bytesPerPacket, 1);
    // Realign after a discontinuity that fell inside a frame.
    const uint64_t into = (position - m_audioStart) % frame;
    if (into) {
        const uint64_t skip = frame - into;
        if (skip >= size) {
            result.consumed = size;
            result.skip = skip - size;
            return result;
        }
        result.consumed = size_t(skip);
        return result;
    }
    const size_t whole = size - size % frame;
    if (!whole) {
        result.needed = frame;
        return result;
    }
    // At most 1 MiB in one call, so a reader's piece never becomes one huge run.
    const size_t piece = std::min(whole, std::max<size_t>(frame, (size_t(1) << 20) / frame * frame));
    deliverFrames(data, uint32_t(piece));
    result.consumed = piece;
    return result;
}

} // namespace media

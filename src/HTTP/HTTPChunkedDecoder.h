#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Takes a chunked request body apart as it arrives, in pieces cut anywhere:
// size lines (hexadecimal, with extensions ignored), the data of each chunk,
// the line end after it, up to the last, empty chunk. The trailer after the
// last chunk is not read; whoever reads the body closes the connection
// rather than take it for the next request.
//
// Anything that is not exactly that framing fails the body for good: a size
// that is not hexadecimal or lies past 2^63 - 1, anything but blanks and an
// extension after it, a size line longer than MaxSizeLine, chunk data not
// followed by its line end. A reader that guessed instead would end the body
// somewhere else than a peer in front of it did.
class HTTPChunkedDecoder {
public:
    static constexpr size_t MaxSizeLine = 1024;
    static constexpr uint64_t MaxChunkSize = uint64_t(INT64_MAX);

    // Decodes `input`, appending chunk data to `output`. Answers how many
    // input bytes belong to the body: all of them, unless the last chunk (or
    // a failure) came first.
    size_t decode(std::string_view input, std::string& output);

    bool isDone() const { return m_state == State::Done; }
    bool hasFailed() const { return m_state == State::Failed; }
    // Chunk data decoded so far.
    uint64_t decodedLength() const { return m_decodedLength; }

    // A size line without its line end: the chunk size, or nothing when the
    // line is not one.
    static std::optional<uint64_t> chunkSize(std::string_view line);

private:
    enum class State { SizeLine, Data, DataCR, DataLF, Done, Failed };

    size_t fail(size_t consumed);

    State m_state = State::SizeLine;
    // The part of a size line received so far.
    std::string m_line;
    uint64_t m_remaining = 0;
    uint64_t m_decodedLength = 0;
};

// fuzz: tandry_http
// Chunked request bodies (PUT) arrive cut anywhere. Decoding the same bytes
// in any split must give the same outcome, data and count of bytes taken
// as decoding them whole, and that outcome must be the one a plain reading
// of the framing gives: the data of every chunk and nothing else, never
// more than the sizes announced so far, and a body that ends exactly after
// its last, empty chunk's size line (the trailer is not the body's).
//
// Input: one byte that seeds the split points, then the body.

#include "FuzzCheck.h"
#include "HTTP/HTTPChunkedDecoder.h"
#include "Platform/Core/ASCII.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

enum class Outcome { Done, Failed, Incomplete };

struct Reading {
    Outcome outcome = Outcome::Incomplete;
    std::string data;
    // Where the body ends (Done) or the framing broke (Failed).
    size_t end = 0;
    // The sizes of the chunks begun, added up.
    uint64_t announced = 0;
};

// A size line without its CR LF: hex digits (at least one, the value no more
// than 2^63 - 1), blanks, then nothing or ";" and an extension free of
// control characters.
std::optional<uint64_t> sizeOfLine(std::string_view line)
{
    if (line.size() > HTTPChunkedDecoder::MaxSizeLine)
        return std::nullopt;
    size_t at = 0;
    uint64_t size = 0;
    for (int digit; at < line.size() && (digit = core::ascii::hexDigitValue(line[at])) >= 0; ++at) {
        if (size > (uint64_t(INT64_MAX) - uint64_t(digit)) / 16)
            return std::nullopt;
        size = size * 16 + uint64_t(digit);
    }
    if (at == 0)
        return std::nullopt;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
        ++at;
    if (at == line.size())
        return size;
    if (line[at] != ';')
        return std::nullopt;
    for (; at < line.size(); ++at) {
        const auto c = static_cast<unsigned char>(line[at]);
        if ((c < 0x20 && c != '\t') || c == 0x7F)
            return std::nullopt;
    }
    return size;
}

// The whole body read at once, by the framing's plain rules.
Reading read(std::string_view body)
{
    Reading reading;
    size_t at = 0;
    for (;;) {
        const size_t newline = body.find('\n', at);
        if (newline == std::string_view::npos) {
            // A size line still arriving may not outgrow its limit.
            if (body.size() - at > HTTPChunkedDecoder::MaxSizeLine + 1)
                reading.outcome = Outcome::Failed;
            return reading;
        }
        std::string_view line = body.substr(at, newline - at);
        if (line.size() > HTTPChunkedDecoder::MaxSizeLine + 1 || line.empty() || line.back() != '\r') {
            reading.outcome = Outcome::Failed;
            return reading;
        }
        auto size = sizeOfLine(line.substr(0, line.size() - 1));
        at = newline + 1;
        if (!size) {
            reading.outcome = Outcome::Failed;
            return reading;
        }
        if (*size == 0) {
            reading.outcome = Outcome::Done;
            reading.end = at;
            return reading;
        }
        reading.announced += *size;
        const size_t available = body.size() - at;
        if (*size > available) {
            reading.data.append(body.substr(at));
            return reading;
        }
        reading.data.append(body.substr(at, size_t(*size)));
        at += size_t(*size);
        for (char expected : { '\r', '\n' }) {
            if (at == body.size())
                return reading;
            if (body[at] != expected) {
                reading.outcome = Outcome::Failed;
                return reading;
            }
            ++at;
        }
    }
}

Outcome outcomeOf(const HTTPChunkedDecoder& decoder)
{
    return decoder.isDone() ? Outcome::Done : decoder.hasFailed() ? Outcome::Failed : Outcome::Incomplete;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 65536)
        return 0;
    uint32_t state = data[0] * 2654435761u + 1;
    const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);

    HTTPChunkedDecoder whole;
    std::string wholeData;
    const size_t wholeTaken = whole.decode(body, wholeData);
    FUZZ_CHECK(wholeTaken <= body.size());
    FUZZ_CHECK(wholeData.size() == whole.decodedLength());

    const Reading expected = read(body);
    FUZZ_CHECK(outcomeOf(whole) == expected.outcome);
    FUZZ_CHECK(wholeData == expected.data || expected.outcome == Outcome::Failed);
    FUZZ_CHECK(whole.decodedLength() <= expected.announced || expected.outcome == Outcome::Failed);
    if (expected.outcome == Outcome::Done)
        FUZZ_CHECK(wholeTaken == expected.end);
    if (expected.outcome == Outcome::Incomplete)
        FUZZ_CHECK(wholeTaken == body.size());

    // The same bytes in pieces, fed the way a reader does: everything that
    // arrives, until the body ends or fails.
    HTTPChunkedDecoder pieces;
    std::string piecesData;
    size_t piecesTaken = 0;
    size_t at = 0;
    while (at < body.size() && !pieces.isDone() && !pieces.hasFailed()) {
        state = state * 1103515245u + 12345u;
        const size_t spread = (state >> 8) % 4 == 0 ? 1200 : 9;
        const size_t length = std::min<size_t>(body.size() - at, 1 + (state >> 16) % spread);
        const size_t taken = pieces.decode(body.substr(at, length), piecesData);
        FUZZ_CHECK(taken <= length);
        FUZZ_CHECK(taken == length || pieces.isDone() || pieces.hasFailed());
        piecesTaken += taken;
        at += length;
    }
    FUZZ_CHECK(outcomeOf(pieces) == outcomeOf(whole));
    FUZZ_CHECK(piecesData.size() == pieces.decodedLength());
    if (!whole.hasFailed()) {
        FUZZ_CHECK(piecesData == wholeData);
        FUZZ_CHECK(piecesTaken == wholeTaken);
    }

    // A decoder that ended takes nothing more.
    if (whole.isDone() || whole.hasFailed()) {
        std::string more;
        FUZZ_CHECK(whole.decode("5\r\nhello\r\n", more) == 0 && more.empty());
    }
    return 0;
}

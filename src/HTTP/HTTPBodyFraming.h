#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace net {
class HttpMessage;
}

// How a request's body is delimited, read from its head alone: no body, a
// length, or chunked, or the status to refuse the request with because its
// head cannot be trusted to say. A server and whatever stands in front of
// it must agree on where one request ends, or the rest of a body is taken
// for the next request; so every doubtful length is refused rather than
// guessed at, and the connection closes after the refusal.
//
// Kept apart from the connection so that the rules can be tested (and
// fuzzed) on their own.
struct HTTPBodyFraming {
    enum class Kind { None, Length, Chunked };

    Kind kind = Kind::None;
    // The body's length for Kind::Length.
    uint64_t length = 0;
    // 0, or the status that refuses the request (400, 501).
    int refusal = 0;
    // Chunked with a Content-Length beside it: the length is ignored, and
    // the connection closes after the answer (the two disagreed about the
    // framing, so nothing after this request is trusted).
    bool closeAfterAnswer = false;

    // The largest length a body may announce.
    static constexpr uint64_t MaxLength = uint64_t(INT64_MAX);

    // The framing of a request head.
    static HTTPBodyFraming forRequest(const net::HttpMessage& head);
    // The same from the two header values (nothing: the header is absent;
    // repeated headers joined with ", ").
    static HTTPBodyFraming forHeaders(std::optional<std::string_view> transferEncoding,
        std::optional<std::string_view> contentLength);

    // A Content-Length value: one decimal length, or a list of equal ones
    // ("5, 5"); nothing for anything else (signs, blanks inside, hex, an
    // empty value or element, differing elements, a value past MaxLength).
    static std::optional<uint64_t> contentLength(std::string_view value);
    // A plain run of decimal digits no larger than MaxLength ("007" is 7).
    static std::optional<uint64_t> decimalLength(std::string_view text);
};

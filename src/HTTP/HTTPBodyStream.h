#pragma once

#include "HTTP/HTTPBodyFraming.h"
#include "HTTP/HTTPChunkedDecoder.h"

#include <cstdint>
#include <string>
#include <string_view>

// The body of one request as its reader takes it, without the socket: the
// bytes that came with the head first, then what each read brings, cut to
// the announced length or de-chunked. Each call answers what the
// connection does next: hand the reader bytes, tell it the body ended or
// failed, or read the socket (once, for the reader's next piece).
class HTTPBodyStream {
public:
    struct Step {
        enum class Kind { Deliver, End, Fail, Read };
        Kind kind = Kind::Read;
        // Deliver: the body's next bytes (never empty), in the read handed
        // to didRead() or in the stream; they stay valid until the stream
        // takes the next read.
        std::string_view bytes;
        // Read: exactly this many bytes of a body of known length; 0 for a
        // chunked body (whatever arrives, up to `pieceLength`).
        uint64_t readLength = 0;
    };

    HTTPBodyStream() = default;
    // `bytesWithHead`: what arrived after the head (for a known length, no
    // more than the body).
    HTTPBodyStream(const HTTPBodyFraming& framing, std::string_view bytesWithHead, uint64_t pieceLength);

    // What follows the reader's asking for the next piece.
    Step next();
    // What follows bytes read from the socket for it.
    Step didRead(std::string_view raw);

private:
    Step take(std::string_view raw);
    Step readOrEnd() const;

    HTTPBodyFraming m_framing;
    std::string m_bytesWithHead;
    bool m_tookBytesWithHead = false;
    uint64_t m_pieceLength = 0;
    // Bytes of a body of known length taken so far.
    uint64_t m_taken = 0;
    HTTPChunkedDecoder m_chunks;
    // The chunk data of the last read.
    std::string m_decoded;
};

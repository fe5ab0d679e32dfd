#include "HTTP/HTTPBodyStream.h"

#include "Platform/Core/Assert.h"

#include <algorithm>
#include <utility>

namespace {

using Step = HTTPBodyStream::Step;

Step step(Step::Kind kind, std::string_view bytes = {}, uint64_t readLength = 0)
{
    Step made;
    made.kind = kind;
    made.bytes = bytes;
    made.readLength = readLength;
    return made;
}

} // namespace

HTTPBodyStream::HTTPBodyStream(const HTTPBodyFraming& framing, std::string_view bytesWithHead, uint64_t pieceLength)
    : m_framing(framing), m_bytesWithHead(bytesWithHead), m_pieceLength(pieceLength)
{
    TANDRY_ASSERT(pieceLength > 0);
}

HTTPBodyStream::Step HTTPBodyStream::next()
{
    if (!m_tookBytesWithHead) {
        m_tookBytesWithHead = true;
        if (!m_bytesWithHead.empty())
            return take(m_bytesWithHead);
    }
    if (m_chunks.hasFailed())
        return step(Step::Kind::Fail);
    return readOrEnd();
}

HTTPBodyStream::Step HTTPBodyStream::didRead(std::string_view raw)
{
    return take(raw);
}

HTTPBodyStream::Step HTTPBodyStream::readOrEnd() const
{
    switch (m_framing.kind) {
    case HTTPBodyFraming::Kind::None:
        return step(Step::Kind::End);
    case HTTPBodyFraming::Kind::Length:
        if (m_taken >= m_framing.length)
            return step(Step::Kind::End);
        return step(Step::Kind::Read, {}, std::min(m_framing.length - m_taken, m_pieceLength));
    case HTTPBodyFraming::Kind::Chunked:
        if (m_chunks.isDone())
            return step(Step::Kind::End);
        return step(Step::Kind::Read);
    }
    return step(Step::Kind::End);
}

HTTPBodyStream::Step HTTPBodyStream::take(std::string_view raw)
{
    std::string_view bytes;
    switch (m_framing.kind) {
    case HTTPBodyFraming::Kind::None:
        break;
    case HTTPBodyFraming::Kind::Length:
        // Bytes past the announced length belong to no body.
        raw = raw.substr(0, std::min<uint64_t>(raw.size(), m_framing.length - m_taken));
        m_taken += raw.size();
        bytes = raw;
        break;
    case HTTPBodyFraming::Kind::Chunked:
        // What follows the last chunk (the trailer) is left unread: the
        // connection closes after the answer rather than take it for the
        // next request.
        m_decoded.clear();
        if (!m_chunks.isDone())
            m_chunks.decode(raw, m_decoded);
        if (m_chunks.hasFailed())
            return step(Step::Kind::Fail);
        bytes = m_decoded;
        break;
    }
    if (bytes.empty())
        return readOrEnd();
    return step(Step::Kind::Deliver, bytes);
}

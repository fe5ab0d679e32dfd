#include "HTTP/AsyncReadPacket.h"

#include <algorithm>
#include <cstring>

namespace {

// A length read's buffer starts no bigger than this and then doubles with
// what has arrived.
constexpr uint64_t FirstLengthRoom = 1024 * 1024;

} // namespace

AsyncReadPacket::AsyncReadPacket(Kind kind, double timeout, long tag, size_t chunkSize)
    : AsyncPacket(timeout, tag)
    , chunkSize(chunkSize ? chunkSize : DefaultChunkSize)
    , m_kind(kind)
{
}

size_t AsyncReadPacket::prepareRoom()
{
    uint64_t target = 0;
    switch (m_kind) {
    case Kind::AllAvailable:
        target = bytesDone + chunkSize;
        break;
    case Kind::ToTerminator:
        target = bytesDone + chunkSize;
        if (maxLength)
            target = std::min(target, std::max(maxLength, bytesDone));
        break;
    case Kind::ToLength: {
        const uint64_t missing = length - bytesDone;
        if (buffer.size() > bytesDone)
            return static_cast<size_t>(std::min<uint64_t>(buffer.size() - bytesDone, missing));
        target = bytesDone + std::min(missing, std::max(bytesDone, FirstLengthRoom));
        break;
    }
    }
    if (buffer.size() < target)
        buffer.resize(static_cast<size_t>(target));
    return buffer.size() > bytesDone ? buffer.size() - static_cast<size_t>(bytesDone) : 0;
}

size_t AsyncReadPacket::lastTerminatorEnd(size_t from) const
{
    const size_t done = static_cast<size_t>(bytesDone);
    if (term.empty() || done < term.size())
        return std::string::npos;
    from = std::min(from, done);
    // Backwards from the end: the last terminator in the window wins.
    for (size_t start = done - term.size() + 1; start-- > from;) {
        if (std::memcmp(buffer.data() + start, term.data(), term.size()) == 0)
            return start + term.size();
    }
    return std::string::npos;
}

bool AsyncReadPacket::isFull() const
{
    if (m_kind == Kind::ToLength)
        return bytesDone >= length;
    return m_kind == Kind::ToTerminator && maxLength && bytesDone >= maxLength;
}

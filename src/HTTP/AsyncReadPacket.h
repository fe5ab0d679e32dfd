#pragma once

#include "HTTP/AsyncPacket.h"
#include "Platform/Core/Data.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A read request of the socket: whatever one stream read delivers, the bytes
// up to and including a terminator, or an exact number of bytes. The buffer
// grows as bytes arrive, never ahead of them by more than it already holds
// (so a peer announcing a huge length gets no huge allocation).
class AsyncReadPacket : public AsyncPacket {
public:
    enum class Kind { AllAvailable, ToTerminator, ToLength };
    static constexpr size_t DefaultChunkSize = 2048;

    AsyncReadPacket(Kind kind, double timeout, long tag, size_t chunkSize = DefaultChunkSize);

    Kind kind() const { return m_kind; }
    bool readAllAvailableData() const { return m_kind == Kind::AllAvailable; }

    // The bytes received so far, then room for more (size() >= bytesDone).
    std::string buffer;
    // Terminator reads: the terminator and the most bytes to gather without
    // finding it (0: no limit).
    std::string term;
    uint64_t maxLength = 0;
    // Length reads: the length.
    uint64_t length = 0;
    size_t chunkSize;

    // Makes room for the next stream read after bytesDone and returns its
    // size (0 when the read may take no more).
    size_t prepareRoom();
    // Terminator reads: the end of the last terminator found in the bytes
    // from `from` up to bytesDone, or npos.
    size_t lastTerminatorEnd(size_t from) const;
    // Whether the read holds all it may: its length, or its most bytes.
    bool isFull() const;
    // The total for progress: the length of a length read, else 0.
    uint64_t total() const { return m_kind == Kind::ToLength ? length : 0; }

private:
    Kind m_kind;
};

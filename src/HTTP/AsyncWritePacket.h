#pragma once

#include "HTTP/AsyncPacket.h"
#include "Platform/Core/Data.h"

#include <cstddef>

// A write request of the socket: the caller's bytes (shared, not copied),
// written as far as the stream takes them, or a chunk at a time.
class AsyncWritePacket : public AsyncPacket {
public:
    AsyncWritePacket(core::Data buffer, size_t chunkSize, double timeout, long tag);

    core::Data buffer;
    // 0: as much as the stream takes per write.
    size_t chunkSize;

    // The bytes for the next write call.
    size_t nextLength() const;
    bool isDone() const { return bytesDone >= buffer.size(); }
};

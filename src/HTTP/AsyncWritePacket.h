#pragma once

#include "HTTP/AsyncPacket.h"
#include "Platform/Core/Data.h"

#include <cstddef>
#include <cstdint>

// A write request of the socket: the caller's bytes (shared, not copied),
// written as far as the stream takes them, or a chunk at a time; or a byte
// range of an open file, sent from the file without a copy in memory.
class AsyncWritePacket : public AsyncPacket {
public:
    AsyncWritePacket(core::Data buffer, size_t chunkSize, double timeout, long tag);
    // Keeps its own duplicate of the descriptor, so that the caller may close
    // the file while the write waits in the queue; or, taking it, the
    // descriptor itself.
    AsyncWritePacket(int fileDescriptor, uint64_t offset, uint64_t length, double timeout, long tag, bool take = false);
    ~AsyncWritePacket();
    AsyncWritePacket(const AsyncWritePacket&) = delete;
    AsyncWritePacket& operator=(const AsyncWritePacket&) = delete;

    core::Data buffer;
    // 0: as much as the stream takes per write.
    size_t chunkSize = 0;
    // What follows continues these bytes: a plain socket may hold them back.
    bool moreFollows = false;

    // The file of a file write (-1 for bytes), and why it could not be
    // duplicated (an errno; the write then fails when it starts).
    int fileDescriptor = -1;
    int fileError = 0;
    uint64_t fileOffset = 0;
    uint64_t fileLength = 0;

    bool isFile() const { return fileDescriptor >= 0 || fileError != 0; }
    uint64_t length() const { return isFile() ? fileLength : buffer.size(); }
    // The bytes for the next write call.
    size_t nextLength() const;
    bool isDone() const { return bytesDone >= length(); }
};

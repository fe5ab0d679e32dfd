#pragma once

#include "HTTP/AsyncSocketQueue.h"
#include "HTTP/AsyncWritePacket.h"

#include <cstddef>
#include <memory>
#include <sys/types.h>

class AsyncSocket;

// The socket's writing side: the queue of write requests and the one being
// served, written as far as the stream takes them whenever it has room.
// File writes go out with sendfile on a plain stream; under TLS through one
// buffer per socket (made at the first such write), refilled only when the
// stream took all of it, since a refused record is offered again as is. A
// finished write is told to the delegate; writes queued inside that callback
// are sent once it returns, and the next dequeue runs one pass later, keyed
// by the socket. The socket owns it (and so outlives it), closes on its
// errors and closes after the last write when asked to.
class AsyncSocketWriter : public AsyncSocketQueue<AsyncWritePacket> {
public:
    static constexpr const char* DequeueStep = "maybeDequeueWrite";

    explicit AsyncSocketWriter(AsyncSocket& socket) : m_socket(socket) { }
    AsyncSocketWriter(const AsyncSocketWriter&) = delete;
    AsyncSocketWriter& operator=(const AsyncSocketWriter&) = delete;

    void enqueue(std::unique_ptr<AsyncWritePacket> packet);
    // Makes the first queued write current when none is.
    void maybeDequeue();
    // Writes the current request while the stream has room.
    void sendBytes();
    // Drops every write (the socket closes).
    void clear();

private:
    ssize_t sendFilePiece(AsyncWritePacket& packet);

    AsyncSocket& m_socket;
    // File bytes read for TLS and not yet taken by the stream, and why a
    // file write failed (an errno).
    std::unique_ptr<char[]> m_fileBuffer;
    size_t m_fileBufferStart = 0;
    size_t m_fileBufferEnd = 0;
    int m_fileError = 0;
};

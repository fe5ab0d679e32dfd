#pragma once

#include "HTTP/AsyncReadPacket.h"
#include "HTTP/AsyncSocketQueue.h"
#include "Platform/Core/Data.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class AsyncSocket;
namespace core {
class Timer;
}

// The socket's reading side: the queue of read requests, the one being
// served, and the bytes received past the end of a finished read (or put
// back by `unread`), which the next read takes first. It reads the socket's
// stream as bytes arrive and hands each finished read to the delegate; reads
// queued inside that callback start once it returns, one after the other,
// never nested in it. The next dequeue, a read completed from leftover bytes
// and the close at the peer's end run one pass later, keyed by the socket.
// The socket owns it (and so outlives it) and closes on its errors.
class AsyncSocketReader : public AsyncSocketQueue<AsyncReadPacket> {
public:
    static constexpr const char* DequeueStep = "maybeDequeueRead";
    static constexpr const char* ReadEndStep = "closeAtReadEnd";
    static constexpr const char* CompleteFromLeftoverStep = "completeFromLeftover";

    explicit AsyncSocketReader(AsyncSocket& socket) : m_socket(socket) { }
    ~AsyncSocketReader();
    AsyncSocketReader(const AsyncSocketReader&) = delete;
    AsyncSocketReader& operator=(const AsyncSocketReader&) = delete;

    // The socket's reads, once it takes them.
    void readAllAvailable(size_t chunkSize, double timeout, long tag);
    void readToData(const core::Data& term, double timeout, uint64_t maxLength, long tag);
    void readToLength(uint64_t length, double timeout, long tag);
    void unread(const core::Data& bytes);
    // The deadline (seconds since 1970, 0 for none) of the current read and
    // of those that follow.
    void setDeadline(int64_t deadline);

    // Makes the first queued read current when none is.
    void maybeDequeue();
    // Takes what the stream has for the current read.
    void bytesAvailable();
    // The peer's stream ended while nobody read: the next read that needs
    // bytes closes the socket.
    void setReadEnded() { m_readEnded = true; }
    // The current read's bytes go back in front of the leftover bytes, for
    // a read from inside the will-disconnect callback.
    void recoverUnreadData();
    // Drops every read and the leftover bytes (the socket closes).
    void clear();

private:
    void queue(std::unique_ptr<AsyncReadPacket> packet);
    void startCurrent();
    void completeFromLeftover();
    void closeAtReadEnd();
    void finishCurrent();
    void deliver(core::Data data, long tag);
    void scheduleDequeue();
    // A long length read wakes for batches rather than every arrival: the
    // socket's low-water mark is the bytes it still misses, up to
    // LowWaterCap (1 for other reads). Bytes held below the mark (a slow or
    // paused sender) are taken within LowWaterFlush seconds all the same,
    // so partial reads still report them and time-outs still see them.
    void followLowWater();
    void flushHeldBytes();

    static constexpr uint64_t LowWaterFrom = 64 * 1024;
    static constexpr size_t LowWaterCap = 256 * 1024;
    static constexpr double LowWaterFlush = 0.05;

    AsyncSocket& m_socket;
    // Bytes received beyond the end of a finished read, for the next one.
    std::string m_leftover;
    // The peer's stream ended while nobody read (it may wait for an answer).
    bool m_readEnded = false;
    int64_t m_deadline = 0;
    // Repeats while the mark is above 1.
    std::shared_ptr<core::Timer> m_flushTimer;
};

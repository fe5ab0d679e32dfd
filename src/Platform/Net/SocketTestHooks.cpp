#include "Platform/Net/SocketTestHooks.h"

#include <algorithm>
#include <atomic>

namespace net {

namespace {

std::atomic<size_t> byteCap { 0 };
std::atomic<int> readError { 0 };
std::atomic<int> writeError { 0 };
std::atomic<int> acceptError { 0 };

} // namespace

void SocketTestHooks::setByteCap(size_t cap) { byteCap = cap; }
void SocketTestHooks::failNextRead(int error) { readError = error; }
void SocketTestHooks::failNextWrite(int error) { writeError = error; }
void SocketTestHooks::failNextAccept(int error) { acceptError = error; }

void SocketTestHooks::reset()
{
    byteCap = 0;
    readError = 0;
    writeError = 0;
    acceptError = 0;
}

size_t SocketTestHooks::capped(size_t length)
{
    const size_t cap = byteCap.load(std::memory_order_relaxed);
    return cap ? std::min(cap, length) : length;
}

int SocketTestHooks::takeReadError()
{
    return readError.load(std::memory_order_relaxed) ? readError.exchange(0) : 0;
}

int SocketTestHooks::takeWriteError()
{
    return writeError.load(std::memory_order_relaxed) ? writeError.exchange(0) : 0;
}

int SocketTestHooks::takeAcceptError()
{
    return acceptError.load(std::memory_order_relaxed) ? acceptError.exchange(0) : 0;
}

} // namespace net

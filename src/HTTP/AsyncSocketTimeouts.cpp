#include "HTTP/AsyncSocketTimeouts.h"

#include "HTTP/AsyncSocket.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"

#include <memory>
#include <mutex>
#include <vector>

namespace {

std::mutex liveMutex;
AsyncSocket* firstLive = nullptr;

} // namespace

void AsyncSocketTimeouts::enter(AsyncSocket& socket)
{
    std::lock_guard lock(liveMutex);
    socket.m_nextLive = firstLive;
    if (firstLive)
        firstLive->m_previousLive = &socket;
    firstLive = &socket;
}

void AsyncSocketTimeouts::leave(AsyncSocket& socket)
{
    std::lock_guard lock(liveMutex);
    if (socket.m_previousLive)
        socket.m_previousLive->m_nextLive = socket.m_nextLive;
    else
        firstLive = socket.m_nextLive;
    if (socket.m_nextLive)
        socket.m_nextLive->m_previousLive = socket.m_previousLive;
}

void AsyncSocketTimeouts::startSweeping()
{
    // Both belong to the loop (and centre) of the thread that first needed
    // them.
    static std::weak_ptr<core::Timer> timer;
    // Never destroyed: the notification centre may go first at exit.
    static auto* observation = new core::Observation();
    std::lock_guard lock(liveMutex);
    if (auto existing = timer.lock(); !existing || !existing->isValid()) {
        timer = core::RunLoop::current().schedule(AsyncSocket::TimeoutSweepInterval, true, [](core::Timer&) {
            core::NotificationCenter::defaultCenter().post(AsyncSocket::TimeoutNotification);
        });
        *observation = core::NotificationCenter::defaultCenter().observe(AsyncSocket::TimeoutNotification, nullptr,
            [](const core::Notification&) { sweep(); });
    }
}

bool AsyncSocketTimeouts::hasExpired(const AsyncSocket& socket)
{
    const AsyncPacket* read = socket.m_reader.current();
    const AsyncPacket* write = socket.m_writer.current();
    return (read && read->hasExpired()) || (write && write->hasExpired());
}

void AsyncSocketTimeouts::sweep()
{
    // The expired first, then their checks: a check may close sockets and
    // so change the list.
    std::vector<std::weak_ptr<AsyncSocket>> expired;
    {
        std::lock_guard lock(liveMutex);
        for (AsyncSocket* socket = firstLive; socket; socket = socket->m_nextLive) {
            if (hasExpired(*socket))
                expired.push_back(std::static_pointer_cast<AsyncSocket>(socket->weak_from_this().lock()));
        }
    }
    for (auto& weak : expired) {
        if (auto socket = weak.lock())
            check(*socket);
    }
}

template<class Side>
bool AsyncSocketTimeouts::expire(AsyncSocket& socket, Side& side, const char* postponing, int64_t code)
{
    if (!side.current() || !side.current()->hasExpired())
        return false;
    auto delegate = socket.delegate();
    if (delegate && !delegate->onSocketShouldTimeout(socket)) {
        core::log(postponing);
        if (side.current())
            side.current()->restartTimeout();
        return false;
    }
    side.dropCurrent();
    const core::Error error = AsyncSocket::errorWithCode(code);
    socket.closeWithError(&error);
    return true;
}

void AsyncSocketTimeouts::check(AsyncSocket& socket)
{
    auto keep = socket.self();
    if (!expire(socket, socket.m_reader, "Postponing read timeout", AsyncSocket::ReadTimeoutError))
        expire(socket, socket.m_writer, "Postponing write timeout", AsyncSocket::WriteTimeoutError);
}

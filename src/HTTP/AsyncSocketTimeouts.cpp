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
AsyncSocketTimeouts* firstLive = nullptr;

} // namespace

AsyncSocketTimeouts::AsyncSocketTimeouts(AsyncSocket& socket)
    : m_socket(socket)
{
    std::lock_guard lock(liveMutex);
    m_next = firstLive;
    if (firstLive)
        firstLive->m_previous = this;
    firstLive = this;
}

void AsyncSocketTimeouts::leave()
{
    std::lock_guard lock(liveMutex);
    if (!m_listed)
        return;
    if (m_previous)
        m_previous->m_next = m_next;
    else
        firstLive = m_next;
    if (m_next)
        m_next->m_previous = m_previous;
    m_previous = m_next = nullptr;
    m_listed = false;
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

bool AsyncSocketTimeouts::hasExpired() const
{
    const AsyncPacket* read = m_socket.m_reader.current();
    const AsyncPacket* write = m_socket.m_writer.current();
    return (read && read->hasExpired()) || (write && write->hasExpired());
}

void AsyncSocketTimeouts::sweep()
{
    // The expired first, then their checks: a check may close sockets and
    // so change the list.
    std::vector<std::weak_ptr<AsyncSocket>> expired;
    {
        std::lock_guard lock(liveMutex);
        for (AsyncSocketTimeouts* entry = firstLive; entry; entry = entry->m_next) {
            if (entry->hasExpired())
                expired.push_back(std::static_pointer_cast<AsyncSocket>(entry->m_socket.weak_from_this().lock()));
        }
    }
    for (auto& weak : expired) {
        if (auto socket = weak.lock())
            socket->m_timeouts.check();
    }
}

template<class Side>
bool AsyncSocketTimeouts::expire(Side& side, const char* postponing, int64_t code)
{
    if (!side.current() || !side.current()->hasExpired())
        return false;
    auto delegate = m_socket.delegate();
    if (delegate && !delegate->onSocketShouldTimeout(m_socket)) {
        core::log(postponing);
        if (side.current())
            side.current()->restartTimeout();
        return false;
    }
    side.dropCurrent();
    const core::Error error = AsyncSocket::errorWithCode(code);
    m_socket.closeWithError(&error);
    return true;
}

void AsyncSocketTimeouts::check()
{
    auto keep = m_socket.self();
    if (!expire(m_socket.m_reader, "Postponing read timeout", AsyncSocket::ReadTimeoutError))
        expire(m_socket.m_writer, "Postponing write timeout", AsyncSocket::WriteTimeoutError);
}

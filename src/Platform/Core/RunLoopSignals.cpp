#include "Platform/Core/RunLoopSignals.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/ExceptionReporter.h"

#include <cerrno>
#include <cstring>
#include <fmt/format.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace core {

RunLoopSignals::RunLoopSignals(int epollFd)
    : m_epollFd(epollFd)
{
    sigemptyset(&m_blockedByLoop);
}

RunLoopSignals::~RunLoopSignals()
{
    if (m_signalFd >= 0)
        close(m_signalFd);
}

void RunLoopSignals::set(int signal, std::function<void()> handler)
{
    if (handler) {
        sigset_t one;
        sigset_t before;
        sigemptyset(&one);
        sigaddset(&one, signal);
        pthread_sigmask(SIG_BLOCK, &one, &before);
        if (!sigismember(&before, signal))
            sigaddset(&m_blockedByLoop, signal);
        m_handlers[signal] = std::move(handler);
        updateSignalMask();
        return;
    }
    if (!m_handlers.erase(signal))
        return;
    updateSignalMask();
    unblockSignal(signal);
}

bool RunLoopSignals::runArrived()
{
    if (m_signalFd < 0)
        return false;
    bool worked = false;
    signalfd_siginfo info;
    while (read(m_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        auto it = m_handlers.find(static_cast<int>(info.ssi_signo));
        if (it == m_handlers.end())
            continue;
        worked = true;
        auto handler = it->second;
        ExceptionReporter::guard("a signal handler", handler);
    }
    return worked;
}

std::map<int, std::function<void()>> RunLoopSignals::takeAll()
{
    auto handlers = std::move(m_handlers);
    m_handlers.clear();
    updateSignalMask();
    for (auto& [signal, handler] : handlers)
        unblockSignal(signal);
    return handlers;
}

void RunLoopSignals::updateSignalMask()
{
    if (m_handlers.empty()) {
        if (m_signalFd >= 0) {
            epoll_ctl(m_epollFd, EPOLL_CTL_DEL, m_signalFd, nullptr);
            close(m_signalFd);
            m_signalFd = -1;
        }
        return;
    }
    sigset_t mask;
    sigemptyset(&mask);
    for (auto& [signal, handler] : m_handlers)
        sigaddset(&mask, signal);
    bool fresh = m_signalFd < 0;
    int fd = signalfd(m_signalFd, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd < 0)
        throw Exception(Exception::InternalInconsistency, fmt::format("RunLoop: signalfd failed: {}", strerror(errno)));
    m_signalFd = fd;
    if (fresh) {
        epoll_event event {};
        event.events = EPOLLIN;
        event.data.u64 = EpollId;
        epoll_ctl(m_epollFd, EPOLL_CTL_ADD, m_signalFd, &event);
    }
}

void RunLoopSignals::unblockSignal(int signal)
{
    if (!sigismember(&m_blockedByLoop, signal))
        return;
    sigset_t pending;
    sigpending(&pending);
    // A pending signal would take its default action on unblocking.
    if (sigismember(&pending, signal))
        return;
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    sigdelset(&m_blockedByLoop, signal);
}

} // namespace core

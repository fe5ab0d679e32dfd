#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <signal.h>

namespace core {

// The signal handlers of one run loop: the handled signals are blocked in
// the loop's thread and read from a signalfd in the loop's epoll set (made
// with the first handler, closed with the last). A signal the loop blocked
// is unblocked again when its handler goes, unless it is pending (it would
// take its default action). The loop owns it and runs the handlers in the
// pass after a signal arrived.
class RunLoopSignals {
public:
    // The signalfd's id in the epoll set.
    static constexpr uint64_t EpollId = 2;

    explicit RunLoopSignals(int epollFd);
    ~RunLoopSignals();
    RunLoopSignals(const RunLoopSignals&) = delete;
    RunLoopSignals& operator=(const RunLoopSignals&) = delete;

    // RunLoop::setSignalHandler: an empty handler removes it.
    void set(int signal, std::function<void()> handler);
    // Runs the handlers of the signals that arrived; whether any ran.
    bool runArrived();
    // Every handler, taken out with its signals unblocked.
    std::map<int, std::function<void()>> takeAll();

private:
    void updateSignalMask();
    void unblockSignal(int signal);

    int m_epollFd;
    int m_signalFd = -1;
    std::map<int, std::function<void()>> m_handlers;
    sigset_t m_blockedByLoop;
};

} // namespace core

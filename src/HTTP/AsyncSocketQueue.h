#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

// What the socket's reading and writing sides share: their queue of
// requests, the one being served, and the delegate callbacks in progress. A
// request that becomes current inside a completion callback waits for it to
// return (`m_waiting`) and is then served from the outermost completion, one
// after the other, so that callbacks never nest.
template<class Packet>
class AsyncSocketQueue {
public:
    // True when no request is queued or served.
    bool isIdle() const { return !m_current && m_queue.empty(); }
    Packet* current() const { return m_current.get(); }
    void dropCurrent() { m_current.reset(); }
    size_t queuedCount() const { return m_queue.size(); }

protected:
    // Counts a delegate callback in progress, also when it throws.
    struct CallbackScope {
        explicit CallbackScope(unsigned& depth) : depth(depth) { ++depth; }
        ~CallbackScope() { --depth; }
        unsigned& depth;
    };

    // Makes the first queued request current, its time-out restarted; false
    // when one is current already or none waits.
    bool takeNext()
    {
        if (m_current || m_queue.empty())
            return false;
        m_current = std::move(m_queue.front());
        m_queue.erase(m_queue.begin());
        m_current->restartTimeout();
        return true;
    }
    // A request made current inside a callback waits for it to return.
    bool waitsForCallback()
    {
        if (m_callbackDepth == 0)
            return false;
        m_waiting = true;
        return true;
    }
    // Serves the requests that became current inside callbacks, unless a
    // callback is still running or an outer call serves them already.
    template<class Open, class Serve>
    void serveWaiting(Open open, Serve serve)
    {
        if (m_callbackDepth > 0 || m_runningWaiting)
            return;
        m_runningWaiting = true;
        while (m_waiting && m_current && open()) {
            m_waiting = false;
            serve();
        }
        m_waiting = false;
        m_runningWaiting = false;
    }
    void clearRequests()
    {
        m_queue.clear();
        m_current.reset();
        m_waiting = false;
    }

    std::vector<std::unique_ptr<Packet>> m_queue;
    std::unique_ptr<Packet> m_current;
    unsigned m_callbackDepth = 0;
    bool m_waiting = false;
    bool m_runningWaiting = false;
};

#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace core {

// Guards one observer callback against the end of its observation: once
// close() returns, no call starts, and calls running on other threads have
// finished. A callback may end its own observation (close() then does not
// wait for itself).
class ObserverGate {
public:
    // Marks a call as running; false once closed (do not call then).
    bool enter();
    void leave();
    void close();

    // Runs `call` inside enter()/leave(); returns whether it ran.
    template<typename F> bool run(F&& call)
    {
        if (!enter())
            return false;
        struct Leave {
            ObserverGate* gate;
            ~Leave() { gate->leave(); }
        } leave { this };
        call();
        return true;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    bool m_closed = false;
    std::vector<std::thread::id> m_running;
};

// The token of an observation (of a settings key, a notification, a
// property). Dropping it ends the observation with the ObserverGate rules.
// Move-only.
//
// An owner that keeps its token as a member, and whose notices come only on
// its own thread, may have the observer call it directly (capture `this`):
// the token goes with the owner and no call starts after that. Notices from
// another thread are different: dropping the token waits for a call running
// there, but the owner's destructor has begun by then, so such an observer
// must hold its owner weakly.
class Observation {
public:
    Observation() = default;
    Observation(std::shared_ptr<ObserverGate> gate, std::function<void()> remove);
    Observation(Observation&& other) noexcept;
    Observation& operator=(Observation&& other) noexcept;
    Observation(const Observation&) = delete;
    Observation& operator=(const Observation&) = delete;
    ~Observation();

    // Ends the observation now (the destructor does the same).
    void reset();
    bool isActive() const { return m_gate != nullptr; }

private:
    std::shared_ptr<ObserverGate> m_gate;
    std::function<void()> m_remove;
};

} // namespace core

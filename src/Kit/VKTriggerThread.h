#pragma once

#include "Kit/RALatchTrigger.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace core {
class Thread;
}

// A worker thread that sleeps on a latch of its own: wait() until someone
// signals, cancel() flags it and wakes it so that it sees the flag.
class VKTriggerThread : public std::enable_shared_from_this<VKTriggerThread> {
public:
    // Starts `entry` on a new detached thread; the entry gets the thread's
    // object, which it keeps for as long as it runs.
    static std::shared_ptr<VKTriggerThread> detach(std::string name, std::function<void(VKTriggerThread&)> entry);

    void wait() { m_trigger.wait(); }
    void signal() { m_trigger.signal(); }
    void cancel();
    bool isCancelled() const { return m_cancelled.load(); }

    VKTriggerThread(const VKTriggerThread&) = delete;
    VKTriggerThread& operator=(const VKTriggerThread&) = delete;

private:
    VKTriggerThread() = default;

    RALatchTrigger m_trigger;
    std::atomic<bool> m_cancelled { false };
    std::mutex m_mutex;
    std::shared_ptr<core::Thread> m_thread;
};

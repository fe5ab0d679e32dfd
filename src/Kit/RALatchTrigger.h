#pragma once

#include <condition_variable>
#include <mutex>

// The wake-up of a sleeping worker: a latch that is either set or clear.
// signal() sets it and never blocks; signals that arrive while it is set
// coalesce into one. wait() blocks until it is set and clears it, so one
// waiter wakes once per set.
class RALatchTrigger {
public:
    RALatchTrigger() = default;
    RALatchTrigger(const RALatchTrigger&) = delete;
    RALatchTrigger& operator=(const RALatchTrigger&) = delete;

    void signal();
    void wait();

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_set = false;
};

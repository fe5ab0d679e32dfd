#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace test {

// The calls a fake received, as one line each ("locksForURI /a"), in order;
// safe to record from any thread.
class CallRecorder {
public:
    void record(std::string call)
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    std::vector<std::string> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_calls.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

} // namespace test

#include "Kit/RALatchTrigger.h"

void RALatchTrigger::signal()
{
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
    }
    m_condition.notify_one();
}

void RALatchTrigger::wait()
{
    std::unique_lock lock(m_mutex);
    m_condition.wait(lock, [this] { return m_set; });
    m_set = false;
}

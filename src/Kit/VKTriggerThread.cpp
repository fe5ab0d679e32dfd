#include "Kit/VKTriggerThread.h"

#include "Platform/Core/Thread.h"

std::shared_ptr<VKTriggerThread> VKTriggerThread::detach(std::string name, std::function<void(VKTriggerThread&)> entry)
{
    std::shared_ptr<VKTriggerThread> trigger(new VKTriggerThread());
    auto thread = core::Thread::detach(std::move(name), [trigger, entry = std::move(entry)] { entry(*trigger); });
    std::lock_guard lock(trigger->m_mutex);
    trigger->m_thread = std::move(thread);
    return trigger;
}

void VKTriggerThread::cancel()
{
    m_cancelled = true;
    std::shared_ptr<core::Thread> thread;
    {
        std::lock_guard lock(m_mutex);
        thread = m_thread;
    }
    if (thread)
        thread->cancel();
    m_trigger.signal();
}

#pragma once

#include <memory>
#include <mutex>

// The base of a hook interface: where its implementation is wired in at
// start-up (and replaced per test). The current hooks are read and written
// under a mutex, so that worker threads always see a whole one.
template<typename Hooks> class VKHookSlot {
public:
    static std::shared_ptr<Hooks> current()
    {
        auto& slot = state();
        std::lock_guard lock(slot.mutex);
        return slot.hooks;
    }
    static void setCurrent(std::shared_ptr<Hooks> hooks)
    {
        auto& slot = state();
        std::lock_guard lock(slot.mutex);
        slot.hooks = std::move(hooks);
    }

private:
    struct State {
        std::mutex mutex;
        std::shared_ptr<Hooks> hooks;
    };
    static State& state()
    {
        static State slot;
        return slot;
    }
};

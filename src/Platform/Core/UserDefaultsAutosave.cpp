#include "Platform/Core/UserDefaultsAutosave.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"

#include <atomic>

namespace core {

void UserDefaultsAutosave::attach(const std::shared_ptr<UserDefaults>& defaults)
{
    auto pending = std::make_shared<std::atomic<bool>>(false);
    std::weak_ptr<UserDefaults> weak = defaults;
    defaults->setChangeHandler([weak, pending] {
        NotificationCenter::defaultCenter().post(UserDefaults::didChangeNotification);
        if (!RunLoop::hasMainThread() || pending->exchange(true))
            return;
        auto schedule = [weak, pending] {
            RunLoop::main().performAfter(Delay, [weak, pending] {
                // Cleared before the write: a change made while it runs schedules the next one.
                pending->store(false);
                if (auto defaults = weak.lock())
                    defaults->synchronize();
            });
        };
        if (RunLoop::main().isCurrent())
            schedule();
        else
            RunLoop::main().post(schedule);
    });
}

} // namespace core

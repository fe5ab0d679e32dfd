#pragma once

#include "Platform/Core/Observation.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace core {

// The observers of one thing, called in registration order on the notifying
// thread over a snapshot: an observer added during a notification is not
// called for it, one removed by an earlier observer is not called at all.
// Each registration is an Observation token (see ObserverGate for the rules).
// The tokens outlive the list harmlessly.
template<typename... Args> class ObserverList {
public:
    using Callback = std::function<void(Args...)>;

    ObserverList() : m_shared(std::make_shared<Shared>()) { }
    ObserverList(const ObserverList&) = delete;
    ObserverList& operator=(const ObserverList&) = delete;

    Observation add(Callback callback)
    {
        auto entry = std::make_shared<Entry>();
        entry->gate = std::make_shared<ObserverGate>();
        entry->callback = std::move(callback);
        {
            std::lock_guard lock(m_shared->mutex);
            m_shared->entries.push_back(entry);
        }
        std::weak_ptr<Shared> weakShared = m_shared;
        std::weak_ptr<Entry> weakEntry = entry;
        return Observation(entry->gate, [weakShared, weakEntry] {
            auto shared = weakShared.lock();
            auto gone = weakEntry.lock();
            if (!shared || !gone)
                return;
            std::lock_guard lock(shared->mutex);
            std::erase(shared->entries, gone);
        });
    }

    void notify(Args... args) const
    {
        std::vector<std::shared_ptr<Entry>> snapshot;
        {
            std::lock_guard lock(m_shared->mutex);
            snapshot = m_shared->entries;
        }
        for (auto& entry : snapshot)
            entry->gate->run([&] { entry->callback(args...); });
    }

    bool isEmpty() const
    {
        std::lock_guard lock(m_shared->mutex);
        return m_shared->entries.empty();
    }

private:
    struct Entry {
        std::shared_ptr<ObserverGate> gate;
        Callback callback;
    };
    struct Shared {
        std::mutex mutex;
        std::vector<std::shared_ptr<Entry>> entries;
    };
    std::shared_ptr<Shared> m_shared;
};

} // namespace core

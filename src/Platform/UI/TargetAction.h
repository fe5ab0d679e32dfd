#pragma once

// Target/action pairs of controls and gesture recognizers. The target is
// held weakly: a dead target's action is skipped, a pair made without a
// target always runs. The action's name serves introspection and the test
// driver ("tap the item whose action is …").

#include "Platform/Core/Exception.h"
#include "Platform/Core/Object.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {

template<typename... Args> class TargetActionList {
public:
    using Action = std::function<void(Args...)>;

    struct Entry {
        std::weak_ptr<core::Object> target;
        bool hasTarget = false;
        std::string action;
        Action function;
        unsigned events = 0;
    };

    // An empty action name throws NSInvalidArgumentException.
    void add(const std::shared_ptr<core::Object>& target, std::string action, Action function, unsigned events)
    {
        if (action.empty() || !function)
            throw core::Exception(core::Exception::InvalidArgument, "addTarget: an action needs a name and a function");
        for (auto& entry : m_entries) {
            if (entry.action == action && sameTarget(entry, target.get())) {
                entry.events |= events;
                entry.function = std::move(function);
                return;
            }
        }
        m_entries.push_back({ target, target != nullptr, std::move(action), std::move(function), events });
    }

    // Removes the events from the pairs of `target` (null: every target)
    // named `action` (empty: every action).
    void remove(const core::Object* target, std::string_view action, unsigned events)
    {
        for (auto& entry : m_entries)
            if ((!target || sameTarget(entry, target)) && (action.empty() || entry.action == action))
                entry.events &= ~events;
        std::erase_if(m_entries, [](const Entry& entry) { return entry.events == 0; });
    }

    // Calls the live pairs registered for any of `events`, in the order added.
    void send(unsigned events, Args... args) const
    {
        auto entries = m_entries;
        for (auto& entry : entries) {
            if (!(entry.events & events))
                continue;
            std::shared_ptr<core::Object> alive = entry.target.lock();
            if (entry.hasTarget && !alive)
                continue;
            entry.function(args...);
        }
    }

    std::vector<std::shared_ptr<core::Object>> allTargets() const
    {
        std::vector<std::shared_ptr<core::Object>> targets;
        for (auto& entry : m_entries) {
            auto target = entry.target.lock();
            if (!target)
                continue;
            if (std::find(targets.begin(), targets.end(), target) == targets.end())
                targets.push_back(std::move(target));
        }
        return targets;
    }

    std::vector<std::string> actions(const core::Object* target, unsigned events) const
    {
        std::vector<std::string> names;
        for (auto& entry : m_entries)
            if ((entry.events & events) && sameTarget(entry, target))
                names.push_back(entry.action);
        return names;
    }

    unsigned allEvents() const
    {
        unsigned events = 0;
        for (auto& entry : m_entries)
            events |= entry.events;
        return events;
    }

    const std::vector<Entry>& entries() const { return m_entries; }

private:
    static bool sameTarget(const Entry& entry, const core::Object* target)
    {
        if (!target)
            return !entry.hasTarget;
        return entry.hasTarget && entry.target.lock().get() == target;
    }

    std::vector<Entry> m_entries;
};

} // namespace ui

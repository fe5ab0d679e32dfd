#pragma once

#include "Platform/Core/ObserverList.h"

#include <mutex>
#include <optional>
#include <utility>

namespace core {

// An observable property (what the device's key-value observing gave the
// system). get() and set() work from any thread; a set() that changes the
// value calls the observers with (old, new) on the setting thread, an equal
// value calls nobody. Properties that depend on others are wired by their
// owners (observe the source, set the dependent).
template<typename T> class Observable {
public:
    using Observer = std::function<void(const T& oldValue, const T& newValue)>;

    explicit Observable(T initial = T()) : m_value(std::move(initial)) { }
    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;

    T get() const
    {
        std::lock_guard lock(m_mutex);
        return m_value;
    }

    // Returns whether the value changed.
    bool set(T value)
    {
        // Values without a default (fonts) can be observed too.
        std::optional<T> old;
        {
            std::lock_guard lock(m_mutex);
            if (m_value == value)
                return false;
            old.emplace(std::exchange(m_value, value));
        }
        m_observers.notify(*old, value);
        return true;
    }

    Observation observe(Observer observer) { return m_observers.add(std::move(observer)); }

private:
    mutable std::mutex m_mutex;
    T m_value;
    ObserverList<const T&, const T&> m_observers;
};

} // namespace core

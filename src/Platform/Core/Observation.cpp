#include "Platform/Core/Observation.h"

#include <algorithm>

namespace core {

bool ObserverGate::enter()
{
    std::lock_guard lock(m_mutex);
    if (m_closed)
        return false;
    m_running.push_back(std::this_thread::get_id());
    return true;
}

void ObserverGate::leave()
{
    std::lock_guard lock(m_mutex);
    auto it = std::find(m_running.begin(), m_running.end(), std::this_thread::get_id());
    if (it != m_running.end())
        m_running.erase(it);
    m_idle.notify_all();
}

void ObserverGate::close()
{
    std::unique_lock lock(m_mutex);
    m_closed = true;
    auto self = std::this_thread::get_id();
    // Wait for calls on other threads; our own (we are inside the callback) cannot finish first.
    m_idle.wait(lock, [&] {
        return std::all_of(m_running.begin(), m_running.end(), [&](std::thread::id id) { return id == self; });
    });
}

Observation::Observation(std::shared_ptr<ObserverGate> gate, std::function<void()> remove)
    : m_gate(std::move(gate))
    , m_remove(std::move(remove))
{
}

Observation::Observation(Observation&& other) noexcept
    : m_gate(std::move(other.m_gate))
    , m_remove(std::move(other.m_remove))
{
}

Observation& Observation::operator=(Observation&& other) noexcept
{
    if (this != &other) {
        reset();
        m_gate = std::move(other.m_gate);
        m_remove = std::move(other.m_remove);
    }
    return *this;
}

Observation::~Observation()
{
    reset();
}

void Observation::reset()
{
    auto gate = std::move(m_gate);
    auto remove = std::move(m_remove);
    m_gate = nullptr;
    m_remove = nullptr;
    if (!gate)
        return;
    gate->close();
    if (remove)
        remove();
}

} // namespace core

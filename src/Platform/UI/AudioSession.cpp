#include "Platform/UI/AudioSession.h"

#include "Platform/Core/MainThread.h"
#include "Platform/UI/Checks.h"

namespace ui {

AudioSession& AudioSession::shared()
{
    static AudioSession session;
    return session;
}

bool AudioSession::initialize(Listener listener)
{
    std::lock_guard lock(m_mutex);
    if (m_initialized)
        return false;
    m_initialized = true;
    m_listener = std::move(listener);
    return true;
}

bool AudioSession::isInitializedForTesting() const
{
    std::lock_guard lock(m_mutex);
    return m_initialized;
}

void AudioSession::setCategory(std::string category)
{
    requireMainThread("AudioSession::setCategory");
    m_category = std::move(category);
}

void AudioSession::setActive(bool active)
{
    requireMainThread("AudioSession::setActive");
    m_active = active;
}

void AudioSession::interruption(bool begins)
{
    Listener listener;
    {
        std::lock_guard lock(m_mutex);
        listener = m_listener;
    }
    if (!listener)
        return;
    core::performOnMainThread([listener = std::move(listener), begins] {
        listener(begins ? BeginInterruption : EndInterruption);
    });
}

void AudioSession::resetForTesting()
{
    std::lock_guard lock(m_mutex);
    m_initialized = false;
    m_listener = nullptr;
    m_category = categorySoloAmbient;
    m_active = false;
}

} // namespace ui

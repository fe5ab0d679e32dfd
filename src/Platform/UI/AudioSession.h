#pragma once

// The application's audio session: its category, whether it is active, and
// the interruptions the device announces (a call, an alarm). Initialised
// once with a listener; interruptions reach the listener on the main thread,
// whichever thread reported them. Headless: nothing here touches a sound
// device.

#include <functional>
#include <mutex>
#include <string>

namespace ui {

class AudioSession {
public:
    enum InterruptionState { EndInterruption = 0, BeginInterruption = 1 };
    using Listener = std::function<void(int state)>;

    static constexpr const char* categoryAmbient = "AmbientSound";
    static constexpr const char* categorySoloAmbient = "SoloAmbientSound";
    static constexpr const char* categoryMediaPlayback = "MediaPlayback";
    static constexpr const char* categoryRecord = "RecordAudio";
    static constexpr const char* categoryPlayAndRecord = "PlayAndRecord";

    static AudioSession& shared();

    // Takes the interruption listener; false (ignored) after the first call.
    bool initialize(Listener listener);
    bool isInitializedForTesting() const;

    const std::string& category() const { return m_category; }
    void setCategory(std::string category);
    bool isActive() const { return m_active; }
    void setActive(bool active);

    // The device reports an interruption: the listener hears 1 on begin and
    // 0 on end, on the main thread (in a later pass when reported there).
    void interruption(bool begins);

    void resetForTesting();

private:
    mutable std::mutex m_mutex;
    bool m_initialized = false;
    Listener m_listener;
    std::string m_category = categorySoloAmbient;
    bool m_active = false;
};

} // namespace ui

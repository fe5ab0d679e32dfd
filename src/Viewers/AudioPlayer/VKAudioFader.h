#pragma once

#include <memory>

namespace core {
class Timer;
}
class VKAudioPlayer;

// What the fader asks of the screen that owns it: the player whose volume
// it steps, and playing and stopping as the screen does them.
class VKAudioFaderHost {
public:
    virtual ~VKAudioFaderHost() = default;
    virtual const std::shared_ptr<VKAudioPlayer>& audioPlayer() const = 0;
    virtual void play() = 0;
    virtual void stop() = 0;
};

// The audio player's fades: a fade in plays at volume 0 and steps up by a
// tenth every tenth of a second; a fade out steps down and stops the
// player at 0 (at once when it is already silent). Starting a fade the
// other way ends the running one. The screen holds it as a member and
// gives itself as the host, so the host outlives it; its timer ends with it.
class VKAudioFader {
public:
    static constexpr double TimerInterval = 0.1;
    static constexpr float Step = 0.1f;

    explicit VKAudioFader(VKAudioFaderHost& host) : m_host(host) { }
    ~VKAudioFader();
    VKAudioFader(const VKAudioFader&) = delete;
    VKAudioFader& operator=(const VKAudioFader&) = delete;

    void start(bool fadeOut);
    void end();
    bool isFadingIn() const { return m_timer && !m_fadeOut; }
    bool isFadingOut() const { return m_timer && m_fadeOut; }

private:
    void timerDidFire();

    VKAudioFaderHost& m_host;
    std::shared_ptr<core::Timer> m_timer;
    bool m_fadeOut = false;
};

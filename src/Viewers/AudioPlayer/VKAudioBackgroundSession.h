#pragma once

#include <memory>

namespace media {
class AudioPlayer;
}

// The audio player's background keep-alive: the bundle's "silence.mp3",
// looping at volume 0 while the application is inactive after playing, so
// that playing on in the background is not cut short. The screen owns it,
// pauses and resumes it with the track, and stops it when it closes or
// the track fails.
class VKAudioBackgroundSession {
public:
    VKAudioBackgroundSession() = default;
    ~VKAudioBackgroundSession();
    VKAudioBackgroundSession(const VKAudioBackgroundSession&) = delete;
    VKAudioBackgroundSession& operator=(const VKAudioBackgroundSession&) = delete;

    // Starts once; without the file or a player it says so in the log.
    void start();
    void stop();
    void pause();
    void play();
    bool isRunning() const { return m_player != nullptr; }
    const std::shared_ptr<media::AudioPlayer>& player() const { return m_player; }

private:
    std::shared_ptr<media::AudioPlayer> m_player;
};

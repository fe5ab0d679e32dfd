#pragma once

// A local sound file the stream engine cannot read (Ogg Vorbis or Opus,
// FLAC, Matroska or WebM audio), played by the platform's media framework
// as a movie without a picture, behind the same few calls as the local
// player. Its duration is known at once (asked of the file); the end and a
// failure come to `ended`. Main thread only.

#include "Platform/Core/Observation.h"

#include <functional>
#include <memory>
#include <string>

namespace media {
class MoviePlayerController;
}

class VKMediaFilePlayer {
public:
    // Told once: true at the end of the sound, false when it cannot play.
    using Ended = std::function<void(bool successfully)>;

    // Nothing when the framework finds no sound in the file.
    static std::unique_ptr<VKMediaFilePlayer> create(const std::string& path, Ended ended);
    ~VKMediaFilePlayer();

    bool play();
    void pause();
    // Back to the start.
    void stop();
    bool isPlaying() const;
    double duration() const;
    double currentTime() const;
    void setCurrentTime(double time);

private:
    VKMediaFilePlayer() = default;

    std::shared_ptr<media::MoviePlayerController> m_player;
    double m_duration = 0;
    Ended m_ended;
    core::Observation m_finish;
    core::Observation m_loaded;
    bool m_toldNoSoundOutput = false;
};

#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Observable.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/Media/AudioPlayer.h"
#include "Audio/AQAudioStreamPlayer.h"

#include <memory>
#include <optional>
#include <string>

class VKAudioPlayer;
class VKMediaFilePlayer;

class VKAudioPlayerDelegate {
public:
    virtual ~VKAudioPlayerDelegate() = default;
    virtual void audioPlayerDidFinishPlaying(VKAudioPlayer&, bool successfully) = 0;
    virtual void audioPlayerErrorDidOccur(VKAudioPlayer&, const core::Error& error) = 0;
};

// One player whatever the source: a file URL plays through the local player
// (or, when the stream engine cannot read its kind of sound, through the
// platform's media framework), anything else (a cloud file's streaming
// request) through the stream engine. Each operation goes to whichever backend was made, and both
// backends' news reach one delegate, naming this player.
//
// The player comes back even when its backend could not be made; the error
// out says why, and the player then does nothing.
class VKAudioPlayer : public core::Object,
                      public AQAudioStreamPlayerDelegate,
                      public media::AudioPlayerDelegate {
public:
    static std::shared_ptr<VKAudioPlayer> initWithURLRequest(const core::URLRequest& request, core::Error* error = nullptr);
    static std::shared_ptr<VKAudioPlayer> initWithURL(const core::URL& url, core::Error* error = nullptr);
    ~VKAudioPlayer() override;

    bool prepareToPlay();
    bool play();
    void pause();
    void stop();

    core::URL url() const;
    bool isPlaying() const;
    bool isBuffering() const { return m_buffering.get(); }
    // Follows the stream player's buffering; always false for a file.
    core::Observable<bool>& bufferingObservable() { return m_buffering; }
    bool isStreamingPlayer() const { return !m_audioPlayer && m_streamPlayer; }
    double duration() const;
    double availableDuration() const;
    double currentTime() const;
    void setCurrentTime(double time);
    float volume() const;
    void setVolume(float volume);
    std::optional<std::string> streamDestinationPath() const;
    void setStreamDestinationPath(std::string path);
    std::weak_ptr<VKAudioPlayerDelegate> delegate() const { return m_delegate; }
    void setDelegate(std::weak_ptr<VKAudioPlayerDelegate> delegate) { m_delegate = std::move(delegate); }

    // The backends (one of them is made; mediaFilePlayer for sound files
    // the stream engine cannot read).
    const std::shared_ptr<media::AudioPlayer>& audioPlayer() const { return m_audioPlayer; }
    const std::shared_ptr<AQAudioStreamPlayer>& streamPlayer() const { return m_streamPlayer; }
    VKMediaFilePlayer* mediaFilePlayer() const { return m_mediaPlayer.get(); }

    std::string description() const override;

    struct Private;
    VKAudioPlayer(const Private&, core::URLRequest request);

private:
    void audioStreamPlayerDidPreload(AQAudioStreamPlayer&) override;
    void audioStreamPlayerDidFinishPlaying(AQAudioStreamPlayer&, bool successfully) override;
    void audioStreamPlayerErrorDidOccur(AQAudioStreamPlayer&, const core::Error& error) override;
    void audioPlayerDidFinishPlaying(media::AudioPlayer&, bool successfully) override;
    void audioPlayerDecodeErrorDidOccur(media::AudioPlayer&, const core::Error& error) override;
    void mediaPlayerDidEnd(bool successfully);
    std::shared_ptr<VKAudioPlayer> self() { return std::static_pointer_cast<VKAudioPlayer>(shared_from_this()); }

    core::URLRequest m_request;
    std::shared_ptr<media::AudioPlayer> m_audioPlayer;
    std::shared_ptr<AQAudioStreamPlayer> m_streamPlayer;
    std::unique_ptr<VKMediaFilePlayer> m_mediaPlayer;
    std::weak_ptr<VKAudioPlayerDelegate> m_delegate;
    core::Observable<bool> m_buffering { false };
    core::Observation m_bufferingObservation;
};

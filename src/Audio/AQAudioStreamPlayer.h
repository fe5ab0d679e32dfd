#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/ObservationBag.h"
#include "Platform/Core/Observable.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/Net/URLConnectionDelegate.h"
#include "Audio/AQAudioFileStream.h"
#include "Audio/AQAudioQueue.h"

#include <memory>
#include <string>

namespace core {
class FileHandle;
class Notification;
} // namespace core

namespace net {
class URLConnection;
}

class AQAudioQueueBuffer;
class AQAudioStreamPlayer;

class AQAudioStreamPlayerDelegate {
public:
    virtual ~AQAudioStreamPlayerDelegate() = default;
    virtual void audioStreamPlayerDidPreload(AQAudioStreamPlayer&) = 0;
    virtual void audioStreamPlayerDidFinishPlaying(AQAudioStreamPlayer&, bool successfully) = 0;
    virtual void audioStreamPlayerErrorDidOccur(AQAudioStreamPlayer&, const core::Error& error) = 0;
};

// Plays an audio file that arrives over HTTP while it downloads. With a
// known length the download goes to a file (the destination path, or a
// temporary file deleted with the player), the header is parsed as it
// arrives and the packets are then read from the file as the queue needs
// them; without one the bytes are parsed as they come. Everything runs on
// the run loop of the thread that made the player (the main thread).
//
// The end of the audio plays out before success is reported: the packets
// still in the buffer being filled are queued, and the report comes when
// the queue has played everything.
class AQAudioStreamPlayer : public core::Object,
                            public AQAudioFileStreamDelegate,
                            public AQAudioQueueDelegate,
                            public net::URLConnectionDelegate {
public:
    // nullptr, with the URL error -1002 "Unable to handle request", for a
    // request the URL loader does not take.
    static std::shared_ptr<AQAudioStreamPlayer> initWithURLRequest(const core::URLRequest& request,
        core::Error* error = nullptr);
    ~AQAudioStreamPlayer() override;

    // The parser's hint for a URL path extension (compared as written).
    static media::FourCharCode audioFileTypeForExtension(const std::string& extension);

    // Starts the download when none runs, then plays; answers whether a
    // download exists (or has completed).
    bool play();
    void pause();
    void stop();

    double currentTime() const;
    // Within the downloaded part only; later times are ignored with a warning.
    void setCurrentTime(double time);
    double estimatedDuration() const;
    double estimatedAvailableDuration() const;
    core::Observable<double>& estimatedAvailableDurationObservable() { return m_estimatedAvailableDuration; }
    float volume() const;
    void setVolume(float volume);
    bool isPlaying() const { return m_playing.get(); }
    bool isBuffering() const { return m_buffering.get(); }
    core::Observable<bool>& playingObservable() { return m_playing; }
    core::Observable<bool>& bufferingObservable() { return m_buffering; }
    const core::URLRequest& urlRequest() const { return m_urlRequest; }
    const std::string& destinationPath() const { return m_destinationPath; }
    void setDestinationPath(std::string path) { m_destinationPath = std::move(path); }
    // The delegate is the player's owner, which lets go of it before it goes.
    AQAudioStreamPlayerDelegate* delegate() const { return m_delegate; }
    void setDelegate(AQAudioStreamPlayerDelegate* delegate) { m_delegate = delegate; }

    // For the screen above and for tests: the parts the player is made of.
    const std::shared_ptr<AQAudioQueue>& audioQueue() const { return m_audioQueue; }
    const std::shared_ptr<AQAudioFileStream>& audioFileStream() const { return m_audioFileStream; }
    const std::string& temporaryFilePath() const { return m_temporaryFilePath; }

    void audioInterruptionDidBegin(const core::Notification& notification);
    void audioInterruptionDidEnd(const core::Notification& notification);
    void applicationWillTerminate(const core::Notification& notification);

    std::string description() const override;

    struct Private;
    AQAudioStreamPlayer(const Private&, const core::URLRequest& request);

private:
    // URL loading.
    void didReceiveResponse(net::URLConnection&, const core::HTTPURLResponse& response) override;
    void didReceiveData(net::URLConnection&, const core::Data& data) override;
    void didFinishLoading(net::URLConnection&) override;
    void didFailWithError(net::URLConnection&, const core::Error& error) override;
    // Parsing.
    void didFindData(AQAudioFileStream&, std::string_view data) override;
    void didFindPacketData(AQAudioFileStream&, std::string_view data, uint32_t numFrames) override;
    void fileStreamReadyToProducePackets(AQAudioFileStream&,
        const media::AudioStreamBasicDescription& basicDescription) override;
    // The queue.
    void audioQueueBuffersDidUnderrun(AQAudioQueue&) override;

    void addToBuffer(std::string_view data, bool isPacket, uint32_t numFrames);
    void feedQueue();
    // The audio ended: queue what is left and report once it has played.
    void playOut();
    void finishPlaying(bool successfully);
    void startQueueOnNextPass();
    void restartFromTheBeginning();
    void setBuffering(bool buffering) { m_buffering.set(buffering); }
    std::shared_ptr<AQAudioStreamPlayer> self() { return std::static_pointer_cast<AQAudioStreamPlayer>(shared_from_this()); }
    void updateAvailableDuration();
    void cancelWithError(const core::Error& error);
    void cancelWithErrorCode(int code, const std::string& localizedDescription);
    void removeTemporaryFile();

    AQAudioStreamPlayerDelegate* m_delegate = nullptr;
    core::URLRequest m_urlRequest;
    std::shared_ptr<net::URLConnection> m_connection;
    int64_t m_expectedContentLength = 0;
    int64_t m_actualContentLength = 0;
    std::shared_ptr<AQAudioFileStream> m_audioFileStream;
    std::shared_ptr<AQAudioQueue> m_audioQueue;
    std::shared_ptr<AQAudioQueueBuffer> m_currentBuffer;
    core::Observable<bool> m_playing { false };
    core::Observable<bool> m_buffering { false };
    core::Observable<double> m_estimatedAvailableDuration { 0.0 };
    bool m_wasPlayingAtInterruption = false;
    bool m_playingOut = false;
    bool m_loadFinished = false;
    std::string m_temporaryFilePath;
    std::string m_destinationPath;
    std::shared_ptr<core::FileHandle> m_writingHandle;
    std::shared_ptr<core::FileHandle> m_readingHandle;
    double m_seekTime = 0;
    float m_volume = 1.0f;
    core::ObservationBag m_notifications;
    core::Observation m_terminationObservation;
};

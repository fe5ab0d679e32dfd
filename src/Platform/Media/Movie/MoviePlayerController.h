#pragma once

// The device's movie player: a file played by a MovieEngine into a
// MovieView, with the device's states, times and notifications. Load state,
// playback state and the end arrive as notifications with the player as
// sender; the finish carries its reason and, for failures, an error of
// MoviePlayerErrorDomain code 1 without a description (the screen says its
// own sentence; the engine's words go to the log). Times are seconds; −1
// is "unset". Main thread only.

#include "Platform/Core/Error.h"
#include "Platform/Core/Notification.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/RegularFile.h"
#include "Platform/Media/Movie/MovieEngine.h"

#include <memory>
#include <optional>
#include <string>

namespace core {
class Timer;
}

namespace media {

class MovieView;

inline constexpr const char* MoviePlayerLoadStateDidChangeNotification = "media.MoviePlayerLoadStateDidChange";
inline constexpr const char* MoviePlayerPlaybackStateDidChangeNotification = "media.MoviePlayerPlaybackStateDidChange";
inline constexpr const char* MoviePlayerErrorDomain = "media.MoviePlayerErrorDomain";

// Bits.
enum MovieLoadState : int {
    MovieLoadStateUnknown = 0,
    MovieLoadStatePlayable = 1,
    MovieLoadStatePlaythroughOK = 2,
    MovieLoadStateStalled = 4,
};
enum class MoviePlaybackState : int {
    Stopped = 0,
    Playing = 1,
    Paused = 2,
    Interrupted = 3,
    SeekingForward = 4,
    SeekingBackward = 5,
};
enum class MovieFinishReason : int { PlaybackEnded = 0, PlaybackError = 1, UserExited = 2 };

// Why playback ended and, when it failed, the error.
struct MovieFinish {
    MovieFinishReason reason = MovieFinishReason::PlaybackEnded;
    std::optional<core::Error> error;
};
inline constexpr core::NoticeName<MovieFinish> MoviePlayerPlaybackDidFinishNotification { "media.MoviePlayerPlaybackDidFinish" };
enum class MovieControlStyle : int { None = 0, Embedded = 1, Fullscreen = 2 };

class MoviePlayerController : public core::Object, private MovieEngineClient {
public:
    // While seeking the position moves by rate × this every this many seconds.
    static constexpr double SeekStepInterval = 0.25;

    // A player for the file at `path`, loading at once; nothing when it is
    // no regular file (a FIFO or device is never handed on, nor waited for),
    // or, with a `folder`, when the file it opens (links resolved) lies
    // outside that folder (`error` says why). The media library reads the
    // file opened here, through its descriptor, so the item checked is the
    // item played.
    static std::shared_ptr<MoviePlayerController> create(
        const std::string& path, const std::string& folder = {}, core::Error* error = nullptr);
    explicit MoviePlayerController(std::string path);
    ~MoviePlayerController() override;

    const std::string& contentPath() const { return m_path; }
    // The picture and, in full-screen style, the player's own controls.
    const std::shared_ptr<MovieView>& view();

    MovieControlStyle controlStyle() const { return m_controlStyle; }
    void setControlStyle(MovieControlStyle style);
    bool shouldAutoplay() const { return m_shouldAutoplay; }
    void setShouldAutoplay(bool autoplay);
    // Kept for the callers; sound always goes the program's one way.
    bool useApplicationAudioSession() const { return m_useApplicationAudioSession; }
    void setUseApplicationAudioSession(bool use) { m_useApplicationAudioSession = use; }
    bool allowsAirPlay() const { return m_allowsAirPlay; }
    void setAllowsAirPlay(bool allows) { m_allowsAirPlay = allows; }

    int loadState() const { return m_loadState; }
    MoviePlaybackState playbackState() const { return m_playbackState; }
    double currentPlaybackTime() const;
    void setCurrentPlaybackTime(double seconds);
    double initialPlaybackTime() const { return m_initialPlaybackTime; }
    void setInitialPlaybackTime(double seconds) { m_initialPlaybackTime = seconds; }
    double endPlaybackTime() const { return m_endPlaybackTime; }
    void setEndPlaybackTime(double seconds) { m_endPlaybackTime = seconds; }
    double duration() const { return m_duration; }
    // MovieMediaType bits; 0 while unknown.
    int mediaTypes() const { return m_mediaTypes; }
    // 0 paused or stopped, 1 playing, the speed while seeking.
    double currentPlaybackRateForTesting() const;
    void setCurrentPlaybackRate(double rate);

    void prepareToPlay();
    void play();
    void pause();
    void stop();
    void beginSeekingForward();
    void beginSeekingBackward();
    void endSeeking();
    bool isPreparedToPlay() const { return m_loadState != MovieLoadStateUnknown; }
    // Played to the end and not played or moved since: the last frame shows,
    // play() starts again from the beginning and a position before the end
    // leaves the end, paused there.
    bool hasEnded() const { return m_atEnd; }

    // Done in the full-screen controls: stops and finishes as the user's.
    void userDidExit();

    // The view was laid out: frames are limited to its pixels.
    void movieViewDidResize();

    // False when the movie plays without a sound device (known once
    // playable): its sound is dropped, the picture goes on.
    bool hasSoundOutput() const;

    // Frames shown, and frames replaced before they could be shown.
    uint64_t presentedFrames() const;
    uint64_t droppedFrames() const;

private:
    void movieEngineDidPreroll(double duration, int mediaTypes) override;
    void movieEngineDidPresentFrame(const std::shared_ptr<gfx::Image>& frame) override;
    void movieEngineDidReachEnd() override;
    void movieEngineDidFail(const std::string& message) override;

    void setLoadState(int state);
    void setPlaybackState(MoviePlaybackState state);
    void finish(MovieFinishReason reason, bool failed);
    void beginSeeking(MoviePlaybackState direction);
    void seekStep();
    void endSeekTimer();
    void updateFrameLimit();

    std::string m_path;
    // Opened before the engine, which reads it, and closed after it.
    std::optional<core::fs::RegularFile> m_file;
    std::unique_ptr<MovieEngine> m_engine;
    gfx::Size m_frameLimit;
    std::shared_ptr<MovieView> m_view;
    MovieControlStyle m_controlStyle = MovieControlStyle::Fullscreen;
    bool m_shouldAutoplay = true;
    bool m_useApplicationAudioSession = true;
    bool m_allowsAirPlay = false;
    bool m_failed = false;
    bool m_atEnd = false;
    int m_loadState = MovieLoadStateUnknown;
    MoviePlaybackState m_playbackState = MoviePlaybackState::Stopped;
    MoviePlaybackState m_stateBeforeSeeking = MoviePlaybackState::Paused;
    double m_initialPlaybackTime = -1;
    double m_endPlaybackTime = -1;
    double m_duration = 0;
    int m_mediaTypes = MovieMediaTypeNone;
    double m_seekRate = 0;
    // Where the next seeking step starts, and a time set before the file
    // could seek.
    double m_seekPosition = 0;
    double m_pendingTime = -1;
    double m_lastTime = 0;
    std::shared_ptr<core::Timer> m_seekTimer;
};

} // namespace media

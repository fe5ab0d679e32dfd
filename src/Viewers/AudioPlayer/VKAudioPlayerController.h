#pragma once

#include "Shell/VKAudioPlayerRemoteControl.h"
#include "App/Viewers/VKViewController.h"
#include "Audio/VKAudioPlayer.h"
#include "Viewers/AudioPlayer/VKAudioBackgroundSession.h"
#include "Viewers/AudioPlayer/VKAudioFader.h"
#include "Viewers/AudioPlayer/VKAudioPlayModes.h"
#include "Viewers/AudioPlayer/VKAudioPlayerBar.h"
#include "Viewers/AudioPlayer/VKAudioPlayerRegistry.h"
#include "Viewers/AudioPlayer/VKAudioPlaylist.h"
#include "Viewers/AudioPlayer/VKAudioProgress.h"

#include <memory>
#include <string>
#include <vector>

class VKAudioPlayerView;

// The screen of an audio file (and of a movie that holds only sound). It
// plays the file through VKAudioPlayer (streaming a cloud file whose local
// copy is missing or incomplete, which becomes the local copy), keeps the
// audio files of the file's folder as a playlist with previous and next,
// repeat modes and shuffle, stores the position per file, plays on in the
// background with a silent keep-alive, and answers the remote control
// through the window.
//
// Which screen the window's remote control and the shell's questions reach
// (the most recent one, or the class-wide one) is VKAudioPlayerRegistry's.
// Its other parts: the playlist with its order and steps (VKAudioPlaylist), the
// time slider, labels and their timer (VKAudioProgress), the fades
// (VKAudioFader), the background keep-alive (VKAudioBackgroundSession),
// where tracks and their positions come from (VKAudioTrackSource), the
// shuffle and repeat settings (VKAudioPlayModes) and the bottom bar
// (VKAudioPlayerBar).
class VKAudioPlayerController : public VKViewController,
                                public VKAudioPlayerDelegate,
                                public VKAudioPlayerRemoteControl,
                                public VKAudioFaderHost,
                                public VKAudioProgressHost,
                                public VKAudioPlayerBarHost {
public:
    // The repeat modes ("VKAudioRepeatMode").
    using RepeatMode = VKAudioPlaylist::RepeatMode;
    using enum VKAudioPlaylist::RepeatMode;
    static constexpr const char* RepeatModeKey = VKAudioPlayModes::RepeatModeKey;
    static constexpr const char* ShuffleKey = VKAudioPlayModes::ShuffleKey;
    // Past this much played, previous restarts the track.
    static constexpr double RestartThreshold = 3.0;

    static std::shared_ptr<VKAudioPlayerController> create(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController);

    static std::shared_ptr<VKAudioPlayerController> mostRecentAudioPlayer() { return VKAudioPlayerRegistry::mostRecent(); }
    static void setMostRecentAudioPlayer(const std::shared_ptr<VKAudioPlayerController>& controller)
    {
        VKAudioPlayerRegistry::setMostRecent(controller);
    }
    // Made on first request, without a file.
    static std::shared_ptr<VKAudioPlayerController> sharedAudioPlayerController() { return VKAudioPlayerRegistry::shared(); }
    // The class-wide screen when it exists, the most recent one otherwise:
    // whether it plays.
    static bool isAnyPlaying() { return VKAudioPlayerRegistry::isAnyPlaying(); }
    // Forgets the class-wide values (tests).
    static void resetForTesting() { VKAudioPlayerRegistry::reset(); }

    ~VKAudioPlayerController() override;

    void initWithResource(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController) override;

    VKAudioPlayerView* audioPlayerView() const override;
    const std::shared_ptr<VKAudioPlayer>& audioPlayer() const override { return m_audioPlayer; }

    bool isShuffleEnabled() const { return VKAudioPlayModes::isShuffleEnabled(); }
    void setShuffleEnabled(bool enabled) { VKAudioPlayModes::setShuffleEnabled(enabled, audioPlayerView()); }
    int repeatMode() const { return VKAudioPlayModes::repeatMode(); }
    void setRepeatMode(int mode) { VKAudioPlayModes::setRepeatMode(mode, audioPlayerView()); }
    void toggleShuffle();
    void cycleRepeatMode();

    // The playlist (the folder's audio files) and the order it plays in
    // (shuffled with the current track first when shuffle is on).
    const std::vector<std::shared_ptr<VKFileResource>>& playlistResources();
    const std::vector<std::shared_ptr<VKFileResource>>& sortedPlaylistResources();
    bool playlistNeedsRebuild() const { return m_playlist.needsRebuild(); }
    std::shared_ptr<VKFileResource> getNextResource();
    std::shared_ptr<VKFileResource> getPreviousResource();

    // Playback. A sender is present when a toolbar button was used; the
    // remote control and the end of a track pass none.
    void play() override;
    void pause() override;
    void stop() override;
    void togglePlay(const std::shared_ptr<core::Object>& sender) override;
    void handleNext(const std::shared_ptr<core::Object>& sender) override;
    void handlePrevious(const std::shared_ptr<core::Object>& sender) override;
    void showDocumentActionSheet(const std::shared_ptr<core::Object>& sender) override
    {
        VKViewController::showDocumentActionSheet(sender);
    }
    void handleEnd();
    bool isPlaying() const override;
    double currentTime() const;
    void setCurrentTime(double time);
    void playAndFadeIn();
    void fadeOutAndStop();
    bool isFadingIn() const { return m_fader.isFadingIn(); }
    bool isFadingOut() const { return m_fader.isFadingOut(); }

    // The remote control's commands.
    bool hasResource() const override { return resource() != nullptr; }
    void togglePlay() override { togglePlay(nullptr); }
    void handleNext() override { handleNext(nullptr); }
    void handlePrevious() override { handlePrevious(nullptr); }

    // The time slider: dragging shows the time it stands for, lifting the
    // finger seeks there.
    void updateCurrentTime() { m_progress.sliderDidMove(); }
    void updateCurrentTimeTouchUpEvent() { m_progress.sliderDidLift(); }
    void updateTimeSliderAndLabels(double seconds) { m_progress.show(seconds); }
    static std::string stringForTimeInterval(double seconds) { return VKAudioProgress::stringForTimeInterval(seconds); }
    void updatePlaylistInfo();
    void updatePlayButton();
    bool isPlaybackTimerRunning() const { return m_progress.isTimerRunning(); }
    bool isBackgroundSessionRunning() const { return m_background.isRunning(); }
    const std::shared_ptr<media::AudioPlayer>& backgroundPlayer() const { return m_background.player(); }

    // The base's entry points.
    void loadContentView() override;
    void contentViewDidLoad() override;
    void startCloudFileFetch() override;
    void cloudFileFetchWillStartDownload(const core::Notification&) override { }
    void cloudFileFetchFailed(const core::Notification&) override { }
    bool shouldSingleTapHideUI() const override { return false; }
    std::vector<std::shared_ptr<ui::BarButtonItem>> createToolbarItems() override;
    void setResource(const std::shared_ptr<VKFileResource>& resource) override;
    void storePersistentState() override;
    void resourceWillBeDeleted(const std::string& path) override;
    void resourceDidMove(const VKResourceMove& move) override;
    void actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag) override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void didRotate(ui::Orientation fromOrientation) override;

    void audioPlayerDidFinishPlaying(VKAudioPlayer& player, bool successfully) override;
    void audioPlayerErrorDidOccur(VKAudioPlayer& player, const core::Error& error) override;

    void applicationWillResignActive();
    void applicationDidBecomeActive();
    void audioInterruptionDidBegin();
    void audioInterruptionDidEnd();
    void soundOutputUnavailable();
    void startBackgroundSession() { m_background.start(); }
    void stopBackgroundSession() { m_background.stop(); }

private:
    void createAudioPlayerForResource(const std::shared_ptr<VKFileResource>& resource, bool restoreOffset, bool startPlayback);
    void tearDownAudioPlayer();
    void audioPlayerDidLoad();
    void applyControlInsets();
    void closeScreen();
    // The current track once the playlist is gathered afresh when marked.
    VKAudioPlaylist::Current currentTrack();
    void follow(const VKAudioPlaylist::Step& step, bool byButton);
    void showBuffering(bool animated);
    bool isSharedController() const { return VKAudioPlayerRegistry::isShared(this); }
    void performOnNextPass(void (VKAudioPlayerController::*step)());
    std::weak_ptr<VKAudioPlayerController> weakSelf();

    std::shared_ptr<VKAudioPlayer> m_audioPlayer;
    // Why the track's file could not be read, said when playing is asked.
    core::Error m_unreadable;
    core::Observation m_bufferingObservation;
    VKAudioPlaylist m_playlist;
    VKAudioProgress m_progress { *this };
    VKAudioFader m_fader { *this };
    VKAudioBackgroundSession m_background;
    bool m_wasPlayingAtInterruption = false;
    bool m_didEmailFile = false;
    bool m_applicationInactive = false;
    bool m_toldNoSoundOutput = false;
    VKAudioPlayerBar m_bar;
    std::vector<core::Observation> m_observations;
};

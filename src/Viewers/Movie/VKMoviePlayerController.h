#pragma once

#include "App/Viewers/VKViewController.h"
#include "Platform/UI/AlertView.h"

#include <memory>

namespace media {
class MoviePlayerController;
struct MovieFinish;
}
namespace ui {
class Label;
class Window;
} // namespace ui
class VKMovieControls;

// The screen of a movie with a picture: the platform player full screen
// with its own controls, resumed at the file's stored position ("offset",
// seconds) and storing it when leaving. With a second screen it offers to
// play there; the device then shows VKMovieControls. Reaching the end keeps
// the last frame with the player's controls, whose Play plays it again, and
// forgets the file's position; a failure says so in an
// alert; the player's Done pops the screen. A file found to hold sound and
// no picture once the player has read it is handed to the audio screen,
// which takes this screen's place: the choice of viewer never reads the
// file on the main thread.
class VKMoviePlayerController : public VKViewController, public ui::AlertViewDelegate {
public:
    static constexpr int TVOutAlertTag = 3001;
    // Seconds after a second screen went before the bars hide again.
    static constexpr double TVOutDisconnectHideDelay = 1.0;
    // How close the position must be to the end for load state 0 to mean
    // the movie ended.
    static constexpr double EndTolerance = 0.001;
    // The no-sound notice's height and its margins.
    static constexpr float NoticeHeight = 30;
    static constexpr float NoticeMargin = 12;

    static std::shared_ptr<VKMoviePlayerController> create(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController);

    ~VKMoviePlayerController() override;

    const std::shared_ptr<media::MoviePlayerController>& movieController() const { return m_movieController; }
    const std::shared_ptr<ui::Window>& tvoutWindow() const { return m_tvoutWindow; }
    const std::shared_ptr<VKMovieControls>& tvoutControls() const { return m_tvoutControls; }
    bool isUsingTVOut() const { return m_tvoutWindow != nullptr; }
    double startPlaybackTime() const;
    double endPlaybackTime() const;

    void loadContentView() override;
    void storePersistentState() override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    bool shouldSingleTapShowUI() const override;
    bool shouldSingleTapHideUI() const override { return false; }
    std::vector<std::shared_ptr<ui::BarButtonItem>> createToolbarItems() override { return {}; }
    // The bars only: the status bar is shown on its own occasions.
    bool isUIHidden() const override;
    void setUIHidden(bool hidden, bool animated) override;
    std::optional<gfx::Color> preferredBackgroundColor() const override;
    bool shouldBegin(ui::GestureRecognizer& recognizer) override;
    // The space bar (the page-down command it makes) plays and pauses,
    // Left and Right seek back and on by SeekKeyStep, Return shows or hides
    // the player's controls.
    bool performKeyCommand(ui::KeyCommand command) override;
    static constexpr double SeekKeyStep = 10;
    void clickedButton(ui::AlertView& alert, int index) override;

    void moviePlayerLoadStateDidChange(const core::Notification& notification);
    void moviePlayerDidFinish(const media::MovieFinish& finish);
    void screenDidConnect(const core::Notification& notification);
    void screenDidDisconnect(const core::Notification& notification);

    void resumeFromLastOffset();
    void setCurrentPlaybackTimeDelayed(double seconds);
    // "No sound output is available" within the player's controls, once the
    // player found no sound device for a movie with sound; it plays on
    // silently. Null until then.
    ui::Label* noSoundOutputNotice() const { return m_noSoundOutputNotice.get(); }
    void promptUserForTVDisplay();
    // Stores the position, stops the movie and lets go of it.
    void removeMovieControllerStatusBarWorkaroundHack();
    void popMoviePlayerControllerDelayed();

private:
    void observeNotifications();
    void stopObserving();
    void showStatusBar();
    void putMovieViewIntoContentView();
    void tearDownTVOut();
    void showNoSoundOutputNoticeIfNeeded();
    void showEnd();
    // The picture (or the second screen's question) and the resumed play,
    // once the movie is playable and the screen has come in.
    void showLoadedMovie();
    // Replaces this screen with the audio screen on the same file; false
    // when this screen is not on top or no audio screen is made.
    bool handOverToAudioPlayer();
    bool isResourceAudioOnly() const;
    // The player knows its streams and none is a picture.
    bool isKnownWithoutPicture() const;
    std::weak_ptr<VKMoviePlayerController> weakSelf();

    std::shared_ptr<media::MoviePlayerController> m_movieController;
    std::shared_ptr<ui::Window> m_tvoutWindow;
    std::shared_ptr<VKMovieControls> m_tvoutControls;
    std::vector<core::Observation> m_movieObservations;
    std::shared_ptr<ui::AlertView> m_tvoutAlert;
    std::shared_ptr<ui::Label> m_noSoundOutputNotice;
    // Between the end of the screen's coming in and its leaving.
    bool m_appeared = false;
    bool m_showWhenAppeared = false;
};

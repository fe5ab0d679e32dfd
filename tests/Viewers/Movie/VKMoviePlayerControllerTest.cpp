// The movie screen on the fake engine and the manual clock: loading,
// resuming, the end, the user's Done, failures, leaving, and the second
// screen with the device's controls.

#include "MovieTestCase.h"

#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Media/Movie/GStreamerMovieEngine.h"
#include "Platform/Media/Movie/MoviePlayerController.h"
#include "Platform/Media/Movie/MovieView.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ScreenWindows.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/Window.h"
#include "Viewers/Movie/VKMovieControls.h"

#include "Shell/VKApplication.h"
#include "App/Viewers/VKFileInfoViewController.h"
#include "Support/Command.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using media::MovieControlStyle;
using media::MoviePlaybackState;
using test::FakeMovieEngine;

class VKMoviePlayerControllerTest : public test::MovieTestCase {
protected:
    VKFileSettingsManager& settings() { return *VKFileSettingsManager::defaultManager(); }
    std::string moviePath() { return movie()->path(); }
    FakeMovieEngine& engine() { return *FakeMovieEngine::last(); }
};

// A missing file, a FIFO (never waited for), a link to a movie outside the
// home and a file the user may not read are never handed to the media
// library, and the alert says why.
TEST_F(VKMoviePlayerControllerTest, WhatIsNoRegularFileOfTheHomeCannotBeDisplayed)
{
    makeFile("Movies/locked.mp4", "movie");
    core::FileTestHooks::setOpenFileHook(
        [&](const std::string& opened) { return opened == pathInHome("Movies/locked.mp4") ? EACCES : 0; });
    makeFile("Movies/gone.mp4", "soon gone");
    auto gone = movie("gone.mp4");
    std::filesystem::remove(gone->path());
    ASSERT_EQ(::mkfifo(pathInHome("Movies/pipe.mp4").c_str(), 0600), 0);
    std::filesystem::path outside = std::filesystem::temp_directory_path() / fmt::format("tandry-outside-{}", ::getpid());
    std::filesystem::create_directories(outside);
    struct Cleanup {
        std::filesystem::path folder;
        ~Cleanup() { std::filesystem::remove_all(folder); }
    } cleanup { outside };
    ASSERT_FALSE(core::path::isWithin(outside.string(), home()));
    std::ofstream((outside / "film.mp4").string()) << "movie";
    std::filesystem::create_symlink(outside / "film.mp4", pathInHome("Movies/link.mp4"));
    int made = FakeMovieEngine::liveCount();
    const std::pair<const char*, const char*> cases[] = { { "gone.mp4", "no such file or directory" },
        { "pipe.mp4", "it is not a regular file" }, { "link.mp4", "it is a link that leads out of Tandry's home" },
        { "locked.mp4", "permission denied" } };
    for (auto [name, reason] : cases) {
        SCOPED_TRACE(name);
        auto screen = VKMoviePlayerController::create(name == std::string("gone.mp4") ? gone : movie(name), host);
        navigation->pushViewController(screen, false);
        runLoop();
        EXPECT_EQ(screen->movieController(), nullptr);
        EXPECT_EQ(driver.alert()->message(), fmt::format("Unable to display \"{}\": {}", name, reason));
        driver.pressAlertButton("OK");
        navigation->popViewController(false);
        runLoop();
    }
    EXPECT_EQ(FakeMovieEngine::liveCount(), made);
}

// While the screen comes in, the folder it leaves lies over it: the picture,
// its sound and the hidden bars wait for the end of the push.
TEST_F(VKMoviePlayerControllerTest, TheMovieWaitsForItsScreenToComeIn)
{
    auto screen = VKMoviePlayerController::create(movie(), host);
    navigation->pushViewController(screen, true);
    runLoop();
    auto movie = screen->movieController();
    ASSERT_TRUE(movie && movie->isPreparedToPlay());
    EXPECT_FALSE(movie->view()->superview());
    EXPECT_NE(movie->playbackState(), MoviePlaybackState::Playing);
    EXPECT_FALSE(barsHidden());
    advance(ui::NavigationController::TransitionDuration);
    runLoop();
    EXPECT_TRUE(movie->view()->superview());
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
    EXPECT_TRUE(barsHidden());
}

TEST_F(VKMoviePlayerControllerTest, APlayableMovieFillsTheScreenAndResumes)
{
    settings().setContentOffset(30, moviePath());
    auto screen = open();
    auto movie = screen->movieController();
    ASSERT_TRUE(movie);
    EXPECT_EQ(screen->contentView()->backgroundColor(), gfx::Color(0, 0, 0, 1));
    EXPECT_EQ(movie->view()->superview(), screen->contentView().get());
    EXPECT_EQ(movie->view()->frame(), screen->contentView()->bounds());
    EXPECT_EQ(movie->controlStyle(), MovieControlStyle::Fullscreen);
    EXPECT_EQ(toolbarAlpha(), 0.0f);
    EXPECT_TRUE(barsHidden());
    EXPECT_TRUE(screen->contentDidLoad());
    EXPECT_NEAR(movie->currentPlaybackTime(), 30, 1e-6);
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
    EXPECT_TRUE(movie->shouldAutoplay());
    EXPECT_FALSE(screen->shouldSingleTapShowUI());
    EXPECT_FALSE(screen->shouldSingleTapHideUI());

    // The movie view follows the content view when it turns.
    driver.rotate(ui::Orientation::LandscapeLeft);
    runLoop();
    EXPECT_EQ(movie->view()->frame(), screen->contentView()->bounds());
    play(1);
    EXPECT_NEAR(movie->currentPlaybackTime(), 31, 0.05);
    EXPECT_GT(movie->presentedFrames(), 25u);
}

TEST_F(VKMoviePlayerControllerTest, WithoutASoundDeviceTheControlsSaySoAndThePicturePlaysOn)
{
    auto screen = open();
    EXPECT_FALSE(screen->noSoundOutputNotice()) << "with sound";
    navigation->popViewController(false);
    runLoop();

    FakeMovieEngine::script().soundOutput = false;
    screen = open();
    auto* notice = screen->noSoundOutputNotice();
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->text(), "No sound output is available");
    auto* view = screen->movieController()->view().get();
    EXPECT_EQ(notice->superview(), view->controlsView()) << "with the controls, not over the picture";
    EXPECT_THROW(driver.alert(), std::exception) << "no alert";
    driver.rotate(ui::Orientation::LandscapeLeft);
    runLoop();
    gfx::Rect frame = notice->convertRect(notice->bounds(), view);
    EXPECT_TRUE(view->bounds().contains(frame));
    EXPECT_NEAR(frame.midX(), view->bounds().midX(), 1);
    EXPECT_LT(frame.maxY(), view->playButton()->convertRect(view->playButton()->bounds(), view).minY());
    play(1);
    EXPECT_EQ(screen->movieController()->playbackState(), MoviePlaybackState::Playing);
}

TEST_F(VKMoviePlayerControllerTest, ATruncatedWebMPlaysWhatItHasOrSaysItCannot)
{
    if (!test::hasProgram("gst-launch-1.0"))
        GTEST_SKIP() << "no GStreamer tools";
    std::string full = pathInHome("Movies/full.webm");
    ASSERT_EQ(test::runCommand({ "gst-launch-1.0", "-q", "videotestsrc", "num-buffers=60", "!",
                  "video/x-raw,width=160,height=120,framerate=30/1", "!", "vp8enc", "deadline=1", "!", "webmmux", "!",
                  "filesink", "location=" + full })
                  .status,
        0);
    std::string bytes = readFile(full);
    makeFile("Movies/half.webm", bytes.substr(0, bytes.size() / 2));
    makeFile("Movies/head.webm", bytes.substr(0, 300));
    // The real player, on real time.
    FakeMovieEngine::uninstall();
    struct Reinstall {
        ~Reinstall() { FakeMovieEngine::install(); }
    } reinstall;
    auto& loop = core::RunLoop::main();

    // Half a film plays to where it was cut and ends as a film does.
    auto screen = open("half.webm");
    ASSERT_TRUE(loop.runUntil([&] { return screen->contentDidLoad(); }, 30));
    ASSERT_TRUE(loop.runUntil([&] { return screen->movieController()->hasEnded(); }, 30));
    EXPECT_TRUE(screen->movieController()->view()->frameImageForTesting()) << "the last frame stays";
    EXPECT_TRUE(screen->movieController()->view()->areControlsVisible());
    EXPECT_THROW(driver.alert(), std::exception);
    navigation->popViewController(false);
    runLoop();

    // Its first bytes alone never preroll: the player gives up on them.
    screen = open("head.webm");
    loop.runUntil([&] { return !driver.shownChoices().empty(); }, 2);
    advance(media::GStreamerMovieEngine::PrerollTimeout);
    ASSERT_TRUE(loop.runUntil([&] { return !driver.shownChoices().empty(); }, 30));
    EXPECT_EQ(driver.alert()->message(), "Tandry encountered an error playing \"head.webm\"");
    driver.pressAlertButton("OK");
    navigation->popViewController(false);
    runLoop();
}

TEST_F(VKMoviePlayerControllerTest, TheStoredPositionIsResumedWithinTheMovie)
{
    struct Case {
        float stored;
        double duration;
        double expected;
    };
    for (const auto& c : { Case { 30, 60, 30 }, Case { 60, 60, 0 }, Case { 75, 60, 0 }, Case { 12, 0, 12 } }) {
        SCOPED_TRACE(::testing::Message() << c.stored << " of " << c.duration);
        FakeMovieEngine::script().duration = c.duration;
        settings().setContentOffset(c.stored, moviePath());
        auto screen = open();
        auto movie = screen->movieController();
        ASSERT_TRUE(movie);
        EXPECT_NEAR(movie->currentPlaybackTime(), c.expected, 1e-6);
        navigation->popViewController(false);
        runLoop();
    }
}

// The choice of viewer reads no file; once the player has read it, a movie
// without a picture goes to the audio screen in the movie screen's place,
// its stored position kept for that screen.
TEST_F(VKMoviePlayerControllerTest, SoundWithoutPictureGoesToTheAudioScreen)
{
    std::vector<std::shared_ptr<VKViewController>> made;
    struct Unregister {
        ~Unregister() { VKViewController::setViewerFactory(VKViewerKind::Audio, {}); }
    } unregister;
    VKViewController::setViewerFactory(VKViewerKind::Audio, [&made](const auto& resource, const auto& folder) {
        made.push_back(VKFileInfoViewController::create(resource, folder));
        return made.back();
    });
    settings().setContentOffset(30, moviePath());
    FakeMovieEngine::script().mediaTypes = media::MovieMediaTypeAudio;
    auto screen = open();
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(navigation->topViewController(), made[0].get());
    EXPECT_EQ(navigation->viewControllers().size(), 2u);
    EXPECT_EQ(made[0]->resource()->path(), moviePath());
    EXPECT_EQ(made[0]->folderController(), host);
    EXPECT_EQ(screen->movieController(), nullptr);
    EXPECT_EQ(FakeMovieEngine::liveCount(), 0);
    EXPECT_EQ(toolbarAlpha(), 1.0f);
    EXPECT_FLOAT_EQ(settings().contentOffsetForFile(moviePath()), 30);
}

TEST_F(VKMoviePlayerControllerTest, AMovieThatWaitsIsHandledWhenItBecomesPlayable)
{
    FakeMovieEngine::script().prerollsByItself = false;
    auto screen = open();
    EXPECT_FALSE(screen->contentDidLoad());
    EXPECT_FALSE(barsHidden());
    EXPECT_EQ(screen->movieController()->view()->superview(), nullptr);
    engine().preroll();
    runLoop();
    EXPECT_TRUE(screen->contentDidLoad());
    EXPECT_TRUE(barsHidden());
    EXPECT_EQ(screen->movieController()->playbackState(), MoviePlaybackState::Playing);
}

TEST_F(VKMoviePlayerControllerTest, TheSpaceBarPlaysAndPausesArrowsSeekAndReturnTogglesTheControls)
{
    FakeMovieEngine::script().duration = 60;
    settings().setContentOffset(5, moviePath());
    auto screen = open();
    auto movie = screen->movieController();
    ASSERT_TRUE(movie);
    EXPECT_TRUE(driver.key(ui::KeyCommand::PageDown));
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Paused);
    driver.key(ui::KeyCommand::PageDown);
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
    EXPECT_TRUE(driver.key(ui::KeyCommand::Left));
    EXPECT_NEAR(movie->currentPlaybackTime(), 0, 0.05) << "not before the start";
    driver.key(ui::KeyCommand::Right);
    driver.key(ui::KeyCommand::Right);
    EXPECT_NEAR(movie->currentPlaybackTime(), 20, 0.05);
    bool shown = movie->view()->areControlsVisible();
    EXPECT_TRUE(driver.key(ui::KeyCommand::Return));
    EXPECT_NE(movie->view()->areControlsVisible(), shown);
}

// The end keeps the last frame with the player's controls, which stay, and
// their Play (or the space bar) plays the movie again from the start.
TEST_F(VKMoviePlayerControllerTest, TheEndKeepsTheLastFrameWithTheControlsAndPlaysAgain)
{
    FakeMovieEngine::script().duration = 3;
    settings().setContentOffset(1, moviePath());
    auto screen = open();
    ASSERT_TRUE(barsHidden());
    application().setStatusBarHidden(true);
    auto movie = screen->movieController();
    play(2.5);
    ASSERT_EQ(screen->movieController(), movie);
    EXPECT_TRUE(movie->hasEnded());
    auto& view = *movie->view();
    EXPECT_TRUE(view.superview()) << "the picture stays on the screen";
    ASSERT_TRUE(view.frameImageForTesting());
    EXPECT_TRUE(view.areControlsVisible());
    advance(media::MovieView::ControlsHideDelay + 1);
    EXPECT_TRUE(view.areControlsVisible()) << "nothing plays: they stay";
    EXPECT_FALSE(application().isStatusBarHidden());
    EXPECT_FALSE(screen->shouldSingleTapShowUI()) << "a tap is the player's";
    EXPECT_FALSE(screen->shouldSingleTapHideUI());
    EXPECT_FALSE(settings().hasSettingsForFile(moviePath()));
    EXPECT_TRUE(isOnTop(*screen));
    driver.tap(*view.playButton());
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
    EXPECT_NEAR(movie->currentPlaybackTime(), 0, 0.05) << "again from the start";
    play(3.5);
    EXPECT_TRUE(movie->hasEnded()) << "and to the end once more";
    EXPECT_TRUE(driver.key(ui::KeyCommand::Left));
    EXPECT_FALSE(movie->hasEnded());
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Paused);
    EXPECT_NEAR(movie->currentPlaybackTime(), 0, 0.05) << "ten seconds back, within the movie";
    EXPECT_TRUE(driver.key(ui::KeyCommand::PageDown));
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
    // The next opening starts at the beginning.
    navigation->popViewController(false);
    runLoop();
    auto again = open();
    EXPECT_NEAR(again->movieController()->currentPlaybackTime(), 0, 1e-6);
}

TEST_F(VKMoviePlayerControllerTest, DoneInThePlayersControlsPopsTheScreen)
{
    settings().setContentOffset(5, moviePath());
    auto screen = open();
    auto movie = screen->movieController();
    auto* movieView = movie->view().get();
    play(2);
    movieView->setControlsVisible(true);
    ASSERT_TRUE(movieView->doneButton());
    driver.tap(*movieView->doneButton());
    EXPECT_EQ(screen->movieController(), nullptr);
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Stopped);
    // The position reached was stored before the player stopped.
    EXPECT_NEAR(settings().contentOffsetForFile(moviePath()), 7, 0.15);
    runLoop();
    EXPECT_FALSE(isOnTop(*screen));
    EXPECT_FALSE(application().isStatusBarHidden());
    EXPECT_EQ(toolbarAlpha(), 1.0f);
}

TEST_F(VKMoviePlayerControllerTest, AFailureSaysSoAndDisablesTheBookmarks)
{
    FakeMovieEngine::script().prerollsByItself = false;
    auto screen = open();
    auto bookmarks = ui::BarButtonItem::create("Bookmarks");
    bookmarks->addTarget(nullptr, VKViewController::ShowBookmarksAction, [](ui::BarButtonItem&) { });
    screen->setToolbarItems({ bookmarks });
    engine().fail("no decoder");
    runLoop();
    EXPECT_FALSE(barsHidden());
    EXPECT_FALSE(bookmarks->isEnabled());
    auto alert = driver.alert();
    EXPECT_EQ(alert->title(), "Warning");
    EXPECT_EQ(alert->message(), "Tandry encountered an error playing \"c.mp4\"");
    EXPECT_TRUE(logContains("Movie playback failed with error: "));
    driver.pressAlertButton("OK");
    EXPECT_TRUE(isOnTop(*screen));
}

TEST_F(VKMoviePlayerControllerTest, NotificationsWithoutTheirKeysChangeNothing)
{
    auto screen = open();
    auto movie = screen->movieController();
    core::NotificationCenter::defaultCenter().post(media::MoviePlayerPlaybackDidFinishNotification.name, movie);
    core::NotificationCenter::defaultCenter().post(media::MoviePlayerLoadStateDidChangeNotification, movie);
    core::NotificationCenter::defaultCenter().post(ui::Screen::didDisconnectNotification);
    runLoop();
    EXPECT_EQ(screen->movieController(), movie);
    EXPECT_TRUE(isOnTop(*screen));
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
}

TEST_F(VKMoviePlayerControllerTest, LeavingStoresThePositionOrForgetsItAtTheEnd)
{
    auto screen = open();
    auto movie = screen->movieController();
    play(12);
    navigation->popViewController(false);
    runLoop();
    EXPECT_NEAR(settings().contentOffsetForFile(moviePath()), 12, 0.15);
    EXPECT_EQ(toolbarAlpha(), 1.0f);
    EXPECT_FALSE(movie->shouldAutoplay());
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Stopped);
    EXPECT_FALSE(application().isStatusBarHidden());

    screen = open();
    movie = screen->movieController();
    movie->setCurrentPlaybackTime(60);
    navigation->popViewController(false);
    runLoop();
    EXPECT_FALSE(settings().hasSettingsForFile(moviePath()));
}

TEST_F(VKMoviePlayerControllerTest, AFileTrashedWhilePlayingPlaysOnAndKeepsNothing)
{
    auto screen = open();
    auto movie = screen->movieController();
    play(3);
    core::NotificationCenter::defaultCenter().post(VKFolderControllerWillDeleteResourceNotification, nullptr, { moviePath() });
    play(2);
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
    EXPECT_NEAR(movie->currentPlaybackTime(), 5, 0.05);
    navigation->popViewController(false);
    runLoop();
    EXPECT_FALSE(settings().hasSettingsForFile(moviePath()));
}

TEST_F(VKMoviePlayerControllerTest, ARefusedStoreIsLogged)
{
    auto screen = open();
    play(2);
    screen->storePersistentState();
    // The settings database refuses every new position from now on.
    auto result = test::runCommand({ "sqlite3", VKFileSettingsManager::databasePath(),
        "CREATE TRIGGER refuse BEFORE UPDATE OF offset ON Settings BEGIN SELECT RAISE(ABORT, 'no'); END;" });
    ASSERT_EQ(result.status, 0) << result.output;
    play(2);
    navigation->popViewController(false);
    runLoop();
    EXPECT_TRUE(logContains("Warning, setContentOffset failed: " + moviePath()));
    EXPECT_TRUE(isOnTop(*screen) == false);
}

// ---- The second screen --------------------------------------------------------

class VKMoviePlayerTVOutTest : public VKMoviePlayerControllerTest {
protected:
    std::shared_ptr<ui::Screen> connectTV() { return driver.connectScreen({ 0, 0, 1280, 720 }, 1); }
    // Opens the movie, connects the TV and answers "Use TV".
    std::shared_ptr<ui::Screen> playOnTV(std::shared_ptr<VKMoviePlayerController>& screen)
    {
        screen = open();
        auto tv = connectTV();
        runLoop();
        driver.pressAlertButton("Use TV");
        runLoop();
        return tv;
    }
};

TEST_F(VKMoviePlayerTVOutTest, WithASecondScreenTheMovieWaitsForTheAnswer)
{
    auto tv = connectTV();
    settings().setContentOffset(20, moviePath());
    auto screen = VKMoviePlayerController::create(movie(), host);
    navigation->pushViewController(screen, false);
    core::RunLoop::main().runOnce();
    core::RunLoop::main().runOnce();
    EXPECT_TRUE(screen->contentDidLoad());
    EXPECT_EQ(screen->movieController()->view()->superview(), nullptr);
    runLoop();
    auto alert = driver.alert();
    EXPECT_EQ(alert->title(), "");
    EXPECT_EQ(alert->message(), "Display on TV");
    EXPECT_EQ(alert->tag(), VKMoviePlayerController::TVOutAlertTag);
    driver.pressAlertButton("No");
    runLoop();
    auto movie = screen->movieController();
    EXPECT_EQ(movie->view()->superview(), screen->contentView().get());
    EXPECT_FALSE(screen->isUsingTVOut());
    EXPECT_NEAR(movie->currentPlaybackTime(), 20, 1e-6);
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
    EXPECT_TRUE(barsHidden());
}

TEST_F(VKMoviePlayerTVOutTest, UseTVPutsThePictureThereAndTheControlsHere)
{
    auto screen = open();
    auto movie = screen->movieController();
    play(3);
    auto tv = connectTV();
    runLoop();
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Paused);
    driver.pressAlertButton("Use TV");
    runLoop();
    ASSERT_TRUE(screen->isUsingTVOut());
    EXPECT_EQ(ui::screenOfWindow(*screen->tvoutWindow()), tv);
    EXPECT_EQ(movie->view()->window(), screen->tvoutWindow().get());
    EXPECT_EQ(movie->view()->frame(), tv->bounds());
    EXPECT_EQ(movie->controlStyle(), MovieControlStyle::None);
    EXPECT_EQ(movie->view()->controlsView(), nullptr);
    ASSERT_TRUE(screen->tvoutControls());
    EXPECT_EQ(screen->tvoutControls()->view()->superview(), screen->contentView().get());
    EXPECT_EQ(screen->tvoutControls()->view()->frame(), screen->contentView()->bounds());
    EXPECT_FALSE(application().isStatusBarHidden());
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
    EXPECT_FALSE(screen->shouldBegin(*screen->singleTapGestureRecognizer()));

    screen->setUIHidden(false, false);
    driver.disconnectScreen(tv);
    runLoop();
    EXPECT_FALSE(screen->isUsingTVOut());
    EXPECT_EQ(screen->tvoutControls(), nullptr);
    EXPECT_EQ(movie->view()->superview(), screen->contentView().get());
    EXPECT_EQ(movie->controlStyle(), MovieControlStyle::Fullscreen);
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
    EXPECT_FALSE(barsHidden());
    advance(1.1);
    EXPECT_TRUE(barsHidden());
}

TEST_F(VKMoviePlayerTVOutTest, APausedMovieStaysPausedWhenTheScreenGoes)
{
    std::shared_ptr<VKMoviePlayerController> screen;
    auto tv = playOnTV(screen);
    auto movie = screen->movieController();
    movie->pause();
    driver.disconnectScreen(tv);
    runLoop();
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Paused);
}

TEST_F(VKMoviePlayerTVOutTest, ASystemCancelledPromptIsIgnored)
{
    auto screen = open();
    auto movie = screen->movieController();
    auto tv = connectTV();
    runLoop();
    auto alert = driver.alert();
    alert->setTag(VKAlertViewTagSystemCancelled);
    alert->dismiss(alert->firstOtherButtonIndex(), false);
    runLoop();
    EXPECT_FALSE(screen->isUsingTVOut());
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Paused);
}

TEST_F(VKMoviePlayerTVOutTest, DoneRotationAndDisconnectInOnePass)
{
    std::shared_ptr<VKMoviePlayerController> screen;
    auto tv = playOnTV(screen);
    auto movie = screen->movieController();
    core::NotificationCenter::defaultCenter().post(media::MoviePlayerPlaybackDidFinishNotification, movie,
        { media::MovieFinishReason::UserExited, std::nullopt });
    driver.rotate(ui::Orientation::LandscapeRight);
    driver.disconnectScreen(tv);
    runLoop();
    EXPECT_FALSE(isOnTop(*screen));
}

} // namespace

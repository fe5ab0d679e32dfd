// The audio player screen: the playlist and its labels, repeat, previous
// and shuffle, the stored position, failures, fades, the background and
// interruptions, and the remote control through the window.

#include "AudioPlayerTestCase.h"

#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKResourceMoveNotifications.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Media/AudioSink.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Toolbar.h"
#include "Support/Media/AudioFixtures.h"
#include "Viewers/AudioPlayer/VKAudioPlayerView.h"
#include "Viewers/AudioPlayer/VKAudioSlider.h"

#include <climits>
#include <unistd.h>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using AudioScreen = VKAudioPlayerController;

class VKAudioPlayerControllerTest : public test::AudioPlayerTestCase {
protected:
    void SetUp() override
    {
        AudioPlayerTestCase::SetUp();
        if (s_track.empty())
            GTEST_SKIP() << "sox or lame missing";
    }
    void setRepeat(int mode) { core::UserDefaults::standard()->set(AudioScreen::RepeatModeKey, core::Value(mode)); }
    void setShuffle(bool on) { core::UserDefaults::standard()->set(AudioScreen::ShuffleKey, core::Value(on)); }
    std::string name(const std::shared_ptr<VKFileResource>& resource) { return resource ? resource->name() : "(none)"; }
    std::vector<std::string> names(const std::vector<std::shared_ptr<VKFileResource>>& list)
    {
        std::vector<std::string> result;
        for (const auto& entry : list)
            result.push_back(entry->baseName());
        return result;
    }
    // Lets the track run out from one second before its end.
    void playToEnd(AudioScreen& screen)
    {
        screen.setCurrentTime(19);
        play(2.5);
    }
};

TEST_F(VKAudioPlayerControllerTest, OpeningPlaysTheTrackWithItsPositionInTheFolder)
{
    makeTracks(5);
    auto screen = open(2);
    EXPECT_TRUE(screen->isPlaying());
    EXPECT_EQ(trackName(*screen), "Track 2.mp3");
    EXPECT_EQ(playlistInfo(*screen), "2 of 5");
    EXPECT_EQ(AudioScreen::mostRecentAudioPlayer(), screen);
    EXPECT_TRUE(hooks->isAudioPlayerPlaying());
    auto item = screen->findBarButtonItemWithAction("togglePlay");
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->isEnabled());
    EXPECT_TRUE(screen->audioPlayerView()->timeSlider()->isEnabled());
    // The groups stand between the bars.
    auto* view = screen->audioPlayerView();
    EXPECT_EQ(view->controlInsets().top, navigation->navigationBar().frame().height() + 20);
    EXPECT_EQ(view->controlInsets().bottom, navigation->toolbar().frame().height());

    // Without a sound device the controls say so, with no alert to answer
    // for each track, and the screen plays on.
    for (int i = 0; i < 2; ++i)
        core::NotificationCenter::defaultCenter().post(media::SoundOutputUnavailableNotification);
    runLoop();
    EXPECT_TRUE(driver.shownChoices().empty());
    ASSERT_TRUE(view->noticeLabel());
    EXPECT_EQ(view->noticeLabel()->text(), "No sound output is available");
    EXPECT_EQ(view->noticeLabel()->superview(), view);
    EXPECT_LT(view->noticeLabel()->frame().maxY(), view->trackName()->frame().y());
    EXPECT_TRUE(screen->isPlaying());

    // Leaving the screen stops it and nothing answers for it any more.
    driver.tapBack();
    runLoop();
    EXPECT_FALSE(screen->isPlaying());
    screen.reset();
    runLoop();
    EXPECT_FALSE(hooks->isAudioPlayerPlaying());
}

TEST_F(VKAudioPlayerControllerTest, AFileTheFolderDoesNotListIsAddedInNameOrder)
{
    makeTracks(10, { 10, 2, 1 });
    auto screen = open(3);
    EXPECT_EQ(names(screen->playlistResources()), (std::vector<std::string> { "Track 1", "Track 2", "Track 3", "Track 10" }));
    EXPECT_EQ(playlistInfo(*screen), "3 of 4");
}

TEST_F(VKAudioPlayerControllerTest, TimesShowHoursOnlyWhenThereAreAny)
{
    EXPECT_EQ(AudioScreen::stringForTimeInterval(3723), "01:02:03");
    EXPECT_EQ(AudioScreen::stringForTimeInterval(123), "02:03");
    EXPECT_EQ(AudioScreen::stringForTimeInterval(-5), "-00:05");
    EXPECT_EQ(AudioScreen::stringForTimeInterval(-3723), "-01:02:03");
    EXPECT_EQ(AudioScreen::stringForTimeInterval(0), "00:00");
    EXPECT_EQ(AudioScreen::stringForTimeInterval(NAN), "00:00");
}

TEST_F(VKAudioPlayerControllerTest, TheEndOfATrackFollowsTheRepeatMode)
{
    makeTracks(3);
    // Off: on to the next, and the screen closes after the last.
    auto screen = open(2);
    playToEnd(*screen);
    EXPECT_EQ(name(screen->resource()), "Track 3.mp3");
    EXPECT_TRUE(screen->isPlaying());
    playToEnd(*screen);
    EXPECT_FALSE(isOnScreen(*screen));

    // All: wraps to the first.
    setRepeat(AudioScreen::RepeatAll);
    screen = open(3);
    playToEnd(*screen);
    EXPECT_EQ(name(screen->resource()), "Track 1.mp3");
    EXPECT_TRUE(screen->isPlaying());

    // Track: the same again.
    setRepeat(AudioScreen::RepeatTrack);
    playToEnd(*screen);
    EXPECT_EQ(name(screen->resource()), "Track 1.mp3");
    EXPECT_TRUE(screen->isPlaying());
    EXPECT_LT(screen->currentTime(), 3);
}

TEST_F(VKAudioPlayerControllerTest, RepeatAllWithOneTrackReplaysIt)
{
    makeTracks(1);
    setRepeat(AudioScreen::RepeatAll);
    auto screen = open(1);
    playToEnd(*screen);
    EXPECT_TRUE(isOnScreen(*screen));
    EXPECT_TRUE(screen->isPlaying());
    EXPECT_LT(screen->currentTime(), 3);
}

TEST_F(VKAudioPlayerControllerTest, SingleTrackClosesAtTheEndAndOnTheRemotesNextButNotTheToolbars)
{
    makeTracks(3);
    setRepeat(AudioScreen::SingleTrack);
    auto screen = open(1);
    driver.tapBarItem("handleNext");
    runLoop();
    EXPECT_EQ(name(screen->resource()), "Track 2.mp3");
    EXPECT_TRUE(isOnScreen(*screen));
    driver.remoteControl(ui::Event::RemoteControlNextTrack);
    runLoop();
    EXPECT_FALSE(isOnScreen(*screen));

    screen = open(1);
    playToEnd(*screen);
    EXPECT_FALSE(isOnScreen(*screen));
}

TEST_F(VKAudioPlayerControllerTest, PreviousRestartsPastThreeSecondsElseMovesOrCloses)
{
    makeTracks(3);
    auto screen = open(2);
    play(4);
    driver.tapBarItem("handlePrevious");
    runLoop();
    EXPECT_EQ(name(screen->resource()), "Track 2.mp3");
    EXPECT_LT(screen->currentTime(), 1);

    driver.tapBarItem("handlePrevious");
    runLoop();
    EXPECT_EQ(name(screen->resource()), "Track 1.mp3");

    // At the first track: repeat all goes to the last, off closes.
    setRepeat(AudioScreen::RepeatAll);
    driver.tapBarItem("handlePrevious");
    runLoop();
    EXPECT_EQ(name(screen->resource()), "Track 3.mp3");
    setRepeat(AudioScreen::RepeatOff);
    driver.tapBarItem("handlePrevious");
    runLoop();
    driver.tapBarItem("handlePrevious");
    runLoop();
    driver.tapBarItem("handlePrevious");
    runLoop();
    EXPECT_FALSE(isOnScreen(*screen));
}

TEST_F(VKAudioPlayerControllerTest, TheToolbarRestoresTheNeighboursPositionTheRemoteDoesNot)
{
    makeTracks(3);
    VKFileSettingsManager::defaultManager()->setContentOffset(16.5f, track(2)->path());
    auto screen = open(1);
    driver.tapBarItem("handleNext");
    runLoop();
    EXPECT_NEAR(screen->currentTime(), 16.5, 0.6);

    VKFileSettingsManager::defaultManager()->setContentOffset(17.5f, track(3)->path());
    driver.remoteControl(ui::Event::RemoteControlNextTrack);
    runLoop();
    EXPECT_EQ(name(screen->resource()), "Track 3.mp3");
    EXPECT_LT(screen->currentTime(), 1);
}

TEST_F(VKAudioPlayerControllerTest, ShuffleKeepsTheCurrentTrackFirstAndTwoOthersInOrder)
{
    makeTracks(3);
    setShuffle(true);
    auto screen = open(2);
    EXPECT_EQ(names(screen->sortedPlaylistResources()), (std::vector<std::string> { "Track 2", "Track 1", "Track 3" }));
    EXPECT_EQ(playlistInfo(*screen), "1 of 3");
    // Toggling goes back to the folder's order.
    driver.tap(*screen->audioPlayerView()->shuffleButton());
    runLoop();
    EXPECT_FALSE(screen->isShuffleEnabled());
    EXPECT_EQ(playlistInfo(*screen), "2 of 3");
}

TEST_F(VKAudioPlayerControllerTest, ShuffleWithManyTracksMixesTheOthers)
{
    makeTracks(10);
    setShuffle(true);
    auto screen = open(5);
    auto list = names(screen->sortedPlaylistResources());
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list.front(), "Track 5");
    auto sorted = list;
    std::sort(sorted.begin() + 1, sorted.end(), [](const auto& a, const auto& b) {
        return std::stoi(a.substr(6)) < std::stoi(b.substr(6));
    });
    EXPECT_NE(list, sorted);
}

TEST_F(VKAudioPlayerControllerTest, TheRepeatButtonCyclesThroughFourModes)
{
    makeTracks(2);
    auto screen = open(1);
    auto& button = *screen->audioPlayerView()->repeatButton();
    std::vector<int> modes;
    for (int i = 0; i < 4; ++i) {
        driver.tap(button);
        modes.push_back(screen->repeatMode());
    }
    EXPECT_EQ(modes, (std::vector<int> { 1, 2, 3, 0 }));
    // A stored value outside the modes (a hand-edited settings file) reads
    // as off, and the button goes on from there.
    for (int64_t stored : { int64_t(INT_MAX), int64_t(1) << 40, int64_t(-7) }) {
        core::UserDefaults::standard()->set(AudioScreen::RepeatModeKey, core::Value(stored));
        EXPECT_EQ(screen->repeatMode(), AudioScreen::RepeatOff);
        driver.tap(button);
        EXPECT_EQ(screen->repeatMode(), AudioScreen::RepeatAll);
    }
}

TEST_F(VKAudioPlayerControllerTest, OnlyPositionsPastFifteenSecondsAndBeforeTheEndAreKept)
{
    makeTracks(1);
    auto settings = VKFileSettingsManager::defaultManager();
    const std::string path = track(1)->path();
    auto screen = open(1);
    screen->setCurrentTime(15.5);
    screen->pause();
    EXPECT_NEAR(settings->contentOffsetForFile(path), 15.5, 0.2);
    screen->setCurrentTime(15.0);
    screen->pause();
    EXPECT_FALSE(settings->hasSettingsForFile(path));
    settings->setContentOffset(16, path);
    screen->setCurrentTime(screen->audioPlayer()->duration());
    screen->storePersistentState();
    EXPECT_FALSE(settings->hasSettingsForFile(path));
    // A track that finishes forgets its position.
    settings->setContentOffset(16, path);
    screen->play();
    playToEnd(*screen);
    EXPECT_FALSE(settings->hasSettingsForFile(path));
}

TEST_F(VKAudioPlayerControllerTest, AFileThatMakesNoPlayerDisablesTheControlsAndSaysSoOnPlay)
{
    makeFile("Music/Broken.mp3", "");
    auto screen = open(VKFileResource::resourceWithPath(pathInHome("Music/Broken.mp3")));
    EXPECT_TRUE(logContains("Warning, VKAudioPlayer failed to load: "));
    EXPECT_FALSE(screen->audioPlayer());
    EXPECT_FALSE(screen->findBarButtonItemWithAction("togglePlay")->isEnabled());
    EXPECT_FALSE(screen->audioPlayerView()->timeSlider()->isEnabled());
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->message(), "Unable to play \"Broken.mp3\"");
    EXPECT_FALSE(AudioScreen::mostRecentAudioPlayer());
    driver.pressAlertButton("OK");

    // A link out of the home is never read, and the alert says why.
    ASSERT_EQ(symlink(s_track.c_str(), pathInHome("Music/Outside.mp3").c_str()), 0);
    open(VKFileResource::resourceWithPath(pathInHome("Music/Outside.mp3")));
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->message(), "Unable to play \"Outside.mp3\": it is a link that leads out of Tandry's home");
}

TEST_F(VKAudioPlayerControllerTest, FadesStepTheVolumeOverAboutASecond)
{
    makeTracks(1);
    auto screen = open(1);
    screen->pause();
    screen->playAndFadeIn();
    EXPECT_TRUE(screen->isFadingIn());
    EXPECT_TRUE(screen->isPlaying());
    EXPECT_EQ(screen->audioPlayer()->volume(), 0);
    play(0.5);
    EXPECT_NEAR(screen->audioPlayer()->volume(), 0.5, 0.11);
    play(0.8);
    EXPECT_FALSE(screen->isFadingIn());
    EXPECT_EQ(screen->audioPlayer()->volume(), 1);

    screen->fadeOutAndStop();
    EXPECT_TRUE(screen->isFadingOut());
    play(1.3);
    EXPECT_FALSE(screen->isFadingOut());
    EXPECT_FALSE(screen->isPlaying());

    // Play ends a fade.
    screen->playAndFadeIn();
    screen->play();
    EXPECT_FALSE(screen->isFadingIn());
    EXPECT_EQ(screen->audioPlayer()->volume(), 1);
}

TEST_F(VKAudioPlayerControllerTest, TheBackgroundKeepsASilentLoopAndInterruptionsPauseAndResume)
{
    makeTracks(1);
    auto screen = open(1);
    ASSERT_TRUE(screen->isPlaybackTimerRunning());
    application().resignActive();
    EXPECT_FALSE(screen->isPlaybackTimerRunning());
    ASSERT_TRUE(screen->isBackgroundSessionRunning());
    EXPECT_EQ(screen->backgroundPlayer()->numberOfLoops(), -1);
    EXPECT_EQ(screen->backgroundPlayer()->volume(), 0);
    // The toggle pauses both.
    screen->togglePlay();
    EXPECT_FALSE(screen->isPlaying());
    EXPECT_FALSE(screen->backgroundPlayer()->isPlaying());
    screen->togglePlay();
    EXPECT_TRUE(screen->backgroundPlayer()->isPlaying());

    application().becomeActive();
    EXPECT_FALSE(screen->isBackgroundSessionRunning());
    EXPECT_TRUE(screen->isPlaybackTimerRunning());

    driver.audioInterruption(true);
    runLoop();
    EXPECT_FALSE(screen->isPlaying());
    driver.audioInterruption(false);
    runLoop();
    EXPECT_TRUE(screen->isPlaying());
}

TEST_F(VKAudioPlayerControllerTest, TheRemoteControlReachesTheMostRecentScreen)
{
    makeTracks(2);
    auto screen = open(1);
    driver.remoteControl(ui::Event::RemoteControlPause);
    EXPECT_FALSE(screen->isPlaying());
    driver.remoteControl(ui::Event::RemoteControlPlay);
    EXPECT_TRUE(screen->isPlaying());
    driver.remoteControl(ui::Event::RemoteControlTogglePlayPause);
    EXPECT_FALSE(screen->isPlaying());
    driver.remoteControl(ui::Event::RemoteControlTogglePlayPause);
    EXPECT_TRUE(screen->isPlaying());
    driver.remoteControl(ui::Event::RemoteControlStop);
    EXPECT_FALSE(screen->isPlaying());
    driver.remoteControl(ui::Event::RemoteControlNextTrack);
    runLoop();
    EXPECT_EQ(name(screen->resource()), "Track 2.mp3");
    driver.remoteControl(ui::Event::RemoteControlPreviousTrack);
    runLoop();
    EXPECT_EQ(name(screen->resource()), "Track 1.mp3");
    EXPECT_TRUE(screen->isPlaying());

    // Asking whether audio plays never makes the class-wide screen.
    EXPECT_TRUE(hooks->isAudioPlayerPlaying());
    EXPECT_TRUE(AudioScreen::isAnyPlaying());

    driver.tapBack();
    runLoop();
    EXPECT_FALSE(hooks->isAudioPlayerPlaying());
    // With no screen the event goes on without harm.
    AudioScreen::setMostRecentAudioPlayer(nullptr);
    driver.remoteControl(ui::Event::RemoteControlPlay);
    EXPECT_FALSE(screen->isPlaying());
}

TEST_F(VKAudioPlayerControllerTest, DeletingOrMovingInTheFolderMarksARebuildAndKeepsTheFile)
{
    makeTracks(2);
    auto screen = open(1);
    auto& center = core::NotificationCenter::defaultCenter();
    center.post(VKFolderControllerWillDeleteResourceNotification, nullptr, {});
    EXPECT_FALSE(screen->playlistNeedsRebuild());
    center.post(VKFolderControllerWillDeleteResourceNotification, nullptr, { track(1)->path() });
    EXPECT_FALSE(screen->playlistNeedsRebuild());
    center.post(VKFolderControllerWillDeleteResourceNotification, nullptr, { pathInHome("Music") });
    EXPECT_TRUE(screen->playlistNeedsRebuild());
    EXPECT_EQ(name(screen->resource()), "Track 1.mp3");
    // Only the class-wide screen gathers its list afresh.
    EXPECT_EQ(screen->playlistResources().size(), 2u);
    EXPECT_FALSE(screen->playlistNeedsRebuild());

    center.post(VKFolderControllerDidMoveResourceNotification, nullptr,
        { track(2)->path(), pathInHome("Elsewhere/Track 2.mp3") });
    EXPECT_TRUE(screen->playlistNeedsRebuild());
    EXPECT_EQ(name(screen->resource()), "Track 1.mp3");
}

TEST_F(VKAudioPlayerControllerTest, DraggingTheTimeSliderShowsTheTimeAndSeeksOnLifting)
{
    makeTracks(1);
    auto screen = open(1);
    screen->pause();
    auto* view = screen->audioPlayerView();
    auto& slider = *view->timeSlider();
    gfx::Rect thumb = slider.virtualThumbRect();
    gfx::Point start = slider.convertPoint({ thumb.midX(), thumb.midY() }, nullptr);
    gfx::Rect track = slider.trackRectForBounds(slider.bounds());
    gfx::Point middle = slider.convertPoint({ track.x() + track.width() / 2, thumb.midY() }, nullptr);
    auto fingers = driver.touchDown({ start });
    driver.wait(0.1);
    driver.touchMove({ { fingers[0], middle } });
    EXPECT_EQ(view->timeElapsedLabel()->text(), "00:10");
    EXPECT_LT(screen->currentTime(), 1);
    driver.wait(0.1);
    driver.touchUp(fingers);
    EXPECT_NEAR(screen->currentTime(), 10, 0.6);
}

} // namespace

// The device's controls during TV out, on the fake engine and the manual
// clock: the times and the timeline, the play image, the seek buttons and
// scrubbing.

#include "Viewers/Movie/VKMovieControls.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Media/Movie/MoviePlayerController.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Slider.h"
#include "Platform/UI/Window.h"
#include "Support/Movie/FakeMovieEngine.h"
#include "Support/UITestCase.h"
#include "Viewers/AudioPlayer/VKSlider.h"

namespace {

using media::MoviePlaybackState;
using test::FakeMovieEngine;

gfx::Point inWindow(const ui::View& view)
{
    return view.superview()->convertPoint(view.center(), nullptr);
}

class VKMovieControlsTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        FakeMovieEngine::install();
        movie = media::MoviePlayerController::create(makeFile("c.mp4", "movie"));
        movie->setShouldAutoplay(false);
        runLoop();
        controls = VKMovieControls::create(movie);
        controls->view()->setFrame(window().bounds());
        window().addSubview(controls->view());
        runLoop();
    }
    void TearDown() override
    {
        controls.reset();
        movie.reset();
        runLoop();
        FakeMovieEngine::uninstall();
        UITestCase::TearDown();
    }
    std::string start() { return controls->startTimeLabel()->text(); }
    std::string end() { return controls->endTimeLabel()->text(); }
    // The thumb's centre, and a point of the track, in the window.
    gfx::Point thumb()
    {
        auto& slider = static_cast<VKSlider&>(*controls->timelineSlider());
        gfx::Rect rect = slider.virtualThumbRect();
        return slider.convertPoint({ rect.origin.x + rect.size.width / 2, rect.origin.y + rect.size.height / 2 }, nullptr);
    }
    gfx::Point track(float value)
    {
        auto& slider = *controls->timelineSlider();
        gfx::Rect track = slider.trackRectForBounds(slider.bounds());
        return slider.convertPoint({ track.origin.x + track.size.width * value, slider.bounds().size.height / 2 }, nullptr);
    }
    std::shared_ptr<gfx::Image> playImage() { return controls->playButton()->imageForState(ui::Control::Normal); }

    std::shared_ptr<media::MoviePlayerController> movie;
    std::shared_ptr<VKMovieControls> controls;
};

TEST_F(VKMovieControlsTest, TimesAlwaysShowHours)
{
    EXPECT_EQ(VKMovieControls::stringForTimeInterval(65), "00:01:05");
    EXPECT_EQ(VKMovieControls::stringForTimeInterval(-5), "-00:00:05");
    EXPECT_EQ(VKMovieControls::stringForTimeInterval(3723.9), "01:02:03");
    EXPECT_EQ(VKMovieControls::stringForTimeInterval(0), "00:00:00");
}

TEST_F(VKMovieControlsTest, TheTimerKeepsTheTimelineCurrent)
{
    movie->setCurrentPlaybackTime(15);
    advance(0.1);
    EXPECT_EQ(start(), "00:00:15");
    EXPECT_EQ(end(), "-00:00:45");
    EXPECT_FLOAT_EQ(controls->timelineSlider()->value(), 0.25f);
    movie->setCurrentPlaybackTime(55);
    advance(0.1);
    EXPECT_EQ(end(), "-00:00:05");
    // A slider being dragged is left alone.
    driver.touchDown({ thumb() });
    ASSERT_TRUE(controls->timelineSlider()->isTracking());
    movie->setCurrentPlaybackTime(30);
    advance(0.3);
    EXPECT_EQ(end(), "-00:00:05");
}

TEST_F(VKMovieControlsTest, NothingMovesWithoutADuration)
{
    controls.reset();
    movie.reset();
    FakeMovieEngine::script().duration = 0;
    movie = media::MoviePlayerController::create(pathInHome("c.mp4"));
    runLoop();
    controls = VKMovieControls::create(movie);
    advance(0.5);
    EXPECT_EQ(start(), "");
    EXPECT_EQ(end(), "");
}

TEST_F(VKMovieControlsTest, ThePlayButtonFollowsTheStateAndToggles)
{
    EXPECT_EQ(playImage(), ui::Images::imageNamed("VKButtonBarPlay.png"));
    driver.tap(*controls->playButton());
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
    EXPECT_EQ(playImage(), ui::Images::imageNamed("VKButtonBarPause.png"));
    movie->beginSeekingForward();
    EXPECT_EQ(playImage(), ui::Images::imageNamed("VKButtonBarPause.png"));
    // Toggling while seeking ends the seeking first, then pauses.
    driver.tap(*controls->playButton());
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Paused);
    EXPECT_EQ(playImage(), ui::Images::imageNamed("VKButtonBarPlay.png"));
}

TEST_F(VKMovieControlsTest, HoldingASeekButtonSeeksUntilReleased)
{
    movie->setCurrentPlaybackTime(30);
    movie->play();
    auto& forward = *controls->seekForwardButton();
    auto fingers = driver.touchDown({ inWindow(forward) });
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::SeekingForward);
    EXPECT_DOUBLE_EQ(movie->currentPlaybackRateForTesting(), 2.0);
    advance(1.0);
    EXPECT_NEAR(movie->currentPlaybackTime(), 32, 1e-6);
    driver.touchUp(fingers);
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
    EXPECT_DOUBLE_EQ(movie->currentPlaybackRateForTesting(), 1.0);

    // Backward at the rate the controls set is still backward.
    auto& backward = *controls->seekBackwardButton();
    double before = movie->currentPlaybackTime();
    fingers = driver.touchDown({ inWindow(backward) });
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::SeekingBackward);
    advance(0.5);
    EXPECT_NEAR(movie->currentPlaybackTime(), before - 1.0, 1e-6);
    driver.touchUp(fingers);
}

TEST_F(VKMovieControlsTest, ADoubleTapOnASeekButtonJumpsToTheEnds)
{
    movie->setCurrentPlaybackTime(30);
    driver.doubleTap(*controls->seekBackwardButton());
    runLoop();
    EXPECT_NEAR(movie->currentPlaybackTime(), 0, 1e-6);
    driver.doubleTap(*controls->seekForwardButton());
    runLoop();
    EXPECT_NEAR(movie->currentPlaybackTime(), 60, 1e-6);
}

TEST_F(VKMovieControlsTest, ScrubbingSeeksAfterAPauseOrOnRelease)
{
    auto& slider = *controls->timelineSlider();
    auto fingers = driver.touchDown({ thumb() });
    driver.touchMove({ { fingers[0], track(0.5f) } });
    EXPECT_TRUE(controls->isScrubbingPending());
    advance(0.06);
    driver.touchMove({ { fingers[0], track(0.75f) } });
    advance(0.06);
    EXPECT_NEAR(movie->currentPlaybackTime(), 0, 1e-6);
    advance(0.05);
    double scrubbed = 60 * double(slider.value());
    EXPECT_NEAR(scrubbed, 45, 3);
    EXPECT_NEAR(movie->currentPlaybackTime(), scrubbed, 1e-6);
    driver.touchUp(fingers);
    EXPECT_FALSE(controls->isScrubbingPending());
    EXPECT_NEAR(movie->currentPlaybackTime(), scrubbed, 1e-6);

    // Lifting the finger before the pause is over seeks at once, once.
    slider.setValue(0.25f);
    controls->updateCurrentTime();
    controls->updateCurrentTimeTouchUpEvent();
    EXPECT_FALSE(controls->isScrubbingPending());
    EXPECT_NEAR(movie->currentPlaybackTime(), 15, 1e-6);
}

TEST_F(VKMovieControlsTest, InvalidatingLeavesNothingRunning)
{
    EXPECT_TRUE(controls->isPlaybackTimerRunning());
    controls->invalidate();
    EXPECT_FALSE(controls->isPlaybackTimerRunning());
    EXPECT_EQ(controls->view()->superview(), nullptr);
    EXPECT_EQ(controls->movieController(), nullptr);
}

} // namespace

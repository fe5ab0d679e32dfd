// The movie player's model and its view on the fake engine and the manual
// clock: seeking, the rate, the full-screen controls and their timing.

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Media/Movie/MoviePlayerController.h"
#include "Platform/Media/Movie/MovieView.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Slider.h"
#include "Platform/UI/Window.h"
#include "Support/Movie/FakeMovieEngine.h"
#include "Support/NotificationRecorder.h"
#include "Support/UITestCase.h"

namespace {

using media::MovieControlStyle;
using media::MoviePlaybackState;
using test::FakeMovieEngine;

class MoviePlayerControllerTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        FakeMovieEngine::install();
        movie = media::MoviePlayerController::create(makeFile("c.mp4", "movie"));
        movie->setShouldAutoplay(false);
        runLoop();
    }
    void TearDown() override
    {
        if (movie && movie->view()->superview())
            movie->view()->removeFromSuperview();
        movie.reset();
        runLoop();
        EXPECT_EQ(FakeMovieEngine::liveCount(), 0);
        FakeMovieEngine::uninstall();
        UITestCase::TearDown();
    }
    media::MovieView& show()
    {
        auto view = movie->view();
        view->setFrame(window().bounds());
        window().addSubview(view);
        runLoop();
        return *view;
    }
    std::shared_ptr<media::MoviePlayerController> movie;
};

TEST_F(MoviePlayerControllerTest, SeekingMovesThePositionUntilItEnds)
{
    movie->setCurrentPlaybackTime(10);
    movie->play();
    movie->beginSeekingForward();
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::SeekingForward);
    advance(1.0);
    EXPECT_NEAR(movie->currentPlaybackTime(), 12, 1e-6);
    // A rate set while seeking is the speed; the direction stays.
    movie->setCurrentPlaybackRate(4.0);
    advance(0.5);
    EXPECT_NEAR(movie->currentPlaybackTime(), 14, 1e-6);
    movie->endSeeking();
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
    EXPECT_DOUBLE_EQ(movie->currentPlaybackRateForTesting(), 1.0);

    movie->pause();
    movie->beginSeekingBackward();
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::SeekingBackward);
    advance(0.25);
    EXPECT_NEAR(movie->currentPlaybackTime(), 13.5, 1e-6);
    advance(0.5);
    EXPECT_NEAR(movie->currentPlaybackTime(), 12.5, 1e-6);
    movie->setCurrentPlaybackRate(2.0);
    advance(0.25);
    EXPECT_NEAR(movie->currentPlaybackTime(), 12.0, 1e-6);
    // Never before the start.
    advance(10);
    EXPECT_NEAR(movie->currentPlaybackTime(), 0, 1e-6);
    movie->endSeeking();
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Paused);
    EXPECT_DOUBLE_EQ(movie->currentPlaybackRateForTesting(), 0.0);
}

TEST_F(MoviePlayerControllerTest, TheEndComesInOrder)
{
    std::vector<std::string> events;
    auto& center = core::NotificationCenter::defaultCenter();
    std::vector<core::Observation> observations;
    for (const char* name : { media::MoviePlayerLoadStateDidChangeNotification,
             media::MoviePlayerPlaybackStateDidChangeNotification, media::MoviePlayerPlaybackDidFinishNotification.name })
        observations.push_back(center.observe(name, movie, [&, name](const core::Notification& notification) {
            auto finish = notification.payload<media::MovieFinish>();
            events.push_back(std::string(name) + " " + std::to_string(movie->loadState()) + " "
                + std::to_string(int(movie->playbackState())) + " " + std::to_string(movie->currentPlaybackTime()) + " "
                + (finish ? std::to_string(int(finish->reason)) : ""));
        }));
    movie->setCurrentPlaybackTime(59);
    movie->play();
    events.clear();
    advance(1.1);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0], std::string(media::MoviePlayerPlaybackStateDidChangeNotification) + " 3 0 60.000000 ");
    EXPECT_EQ(events[1], std::string(media::MoviePlayerLoadStateDidChangeNotification) + " 0 0 60.000000 ");
    EXPECT_EQ(events[2], std::string(media::MoviePlayerPlaybackDidFinishNotification.name) + " 0 0 60.000000 0");
    // Playing again starts over.
    movie->play();
    EXPECT_EQ(movie->loadState(), 3);
    EXPECT_NEAR(movie->currentPlaybackTime(), 0, 1e-6);
}

TEST_F(MoviePlayerControllerTest, TheFullScreenControlsShowHideAndFinish)
{
    auto& view = show();
    ASSERT_TRUE(view.controlsView());
    EXPECT_TRUE(view.areControlsVisible());
    EXPECT_EQ(view.elapsedLabel()->text(), "0:00");
    EXPECT_EQ(view.remainingLabel()->text(), "-1:00");
    driver.tap(*view.playButton());
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Playing);
    // They hide four seconds after the last touch while playing.
    advance(3.9);
    EXPECT_TRUE(view.areControlsVisible());
    EXPECT_EQ(view.elapsedLabel()->text(), "0:04");
    advance(0.2);
    EXPECT_FALSE(view.areControlsVisible());
    driver.tap(view);
    EXPECT_TRUE(view.areControlsVisible());
    driver.tap(*view.playButton());
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Paused);
    advance(10);
    EXPECT_TRUE(view.areControlsVisible());
    driver.tap(view);
    EXPECT_FALSE(view.areControlsVisible());
    driver.tap(view);

    std::vector<media::MovieFinishReason> finished;
    auto observation = core::NotificationCenter::defaultCenter().observe(media::MoviePlayerPlaybackDidFinishNotification,
        movie, [&](const media::MovieFinish& finish) { finished.push_back(finish.reason); });
    driver.tap(*view.doneButton());
    EXPECT_EQ(finished, std::vector<media::MovieFinishReason> { media::MovieFinishReason::UserExited });
    EXPECT_EQ(movie->playbackState(), MoviePlaybackState::Stopped);
}

TEST_F(MoviePlayerControllerTest, TheScrubberSeeksOnRelease)
{
    auto& view = show();
    // While held, the times show where the thumb points; the movie stays.
    auto& scrubber = *view.scrubber();
    gfx::Rect track = scrubber.trackRectForBounds(scrubber.bounds());
    auto thumbAt = [&](float value) {
        gfx::Rect thumb = scrubber.thumbRectForBounds(scrubber.bounds(), track, value);
        return scrubber.layer().transformToRoot().apply(gfx::Point { thumb.midX(), thumb.midY() });
    };
    auto finger = driver.touchDown({ thumbAt(0) });
    driver.touchMove({ { finger.front(), thumbAt(0.25f) } });
    EXPECT_EQ(view.elapsedLabel()->text(), "0:15");
    EXPECT_EQ(view.remainingLabel()->text(), "-0:45");
    EXPECT_EQ(movie->currentPlaybackTime(), 0);
    driver.touchUp(finger);
    runLoop();
    EXPECT_NEAR(movie->currentPlaybackTime(), 15, 1.5);

    driver.slide(*view.scrubber(), 0.5f);
    runLoop();
    EXPECT_NEAR(movie->currentPlaybackTime(), 30, 1.5);
}

TEST_F(MoviePlayerControllerTest, StyleNoneDrawsNoControls)
{
    auto& view = show();
    movie->setControlStyle(MovieControlStyle::None);
    EXPECT_EQ(view.controlsView(), nullptr);
    driver.tap(view);
    EXPECT_EQ(view.controlsView(), nullptr);
    movie->setControlStyle(MovieControlStyle::Fullscreen);
    EXPECT_TRUE(view.areControlsVisible());
}

// Frames are no larger than the screen either way round until the picture
// has a size, then no larger than its pixels, following it as it turns.
TEST_F(MoviePlayerControllerTest, FramesAreNoLargerThanThePicture)
{
    ASSERT_TRUE(FakeMovieEngine::last());
    gfx::Size limit = FakeMovieEngine::last()->maximumFrameSize();
    EXPECT_GT(limit.width, 0);
    EXPECT_EQ(limit.width, limit.height);
    auto& view = show();
    float scale = ui::Screen::main()->scale();
    EXPECT_EQ(FakeMovieEngine::last()->maximumFrameSize(),
        gfx::Size(view.bounds().size.width * scale, view.bounds().size.height * scale));
    view.setFrame({ 0, 0, 480, 320 });
    runLoop();
    EXPECT_EQ(FakeMovieEngine::last()->maximumFrameSize(), gfx::Size(480 * scale, 320 * scale));
}

TEST_F(MoviePlayerControllerTest, TimesInTheControls)
{
    EXPECT_EQ(media::MovieView::timeString(65, false), "1:05");
    EXPECT_EQ(media::MovieView::timeString(3723, false), "1:02:03");
    EXPECT_EQ(media::MovieView::timeString(5, true), "-0:05");
    EXPECT_EQ(media::MovieView::timeString(-3, false), "0:00");
}

} // namespace

// The audio screen's view and sliders: the thumb-only touch area of
// VKSlider, its paced drag and where the finger lifts, and the view's
// layout of the time row and the groups between the bars.

#include "Viewers/AudioPlayer/VKAudioPlayerView.h"
#include "Viewers/AudioPlayer/VKAudioSlider.h"
#include "Viewers/AudioPlayer/VKVolumeView.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Value.h"
#include "Platform/Media/SDLAudioSink.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <gtest/gtest.h>

namespace {

class VKAudioPlayerViewTest : public test::UITestCase {
protected:
    // A 300-point slider on a white root, its events written down.
    std::shared_ptr<VKAudioSlider> addSlider()
    {
        auto slider = VKAudioSlider::create({ 10, 100, 300, 44 });
        window().addSubview(slider);
        auto recorder = std::make_shared<core::Object>();
        holder = recorder;
        slider->addTarget(recorder, "changed", [this](ui::Control& c, const ui::Event*) {
            events.push_back("changed " + std::to_string(static_cast<ui::Slider&>(c).value()));
        }, ui::Control::ValueChanged);
        slider->addTarget(recorder, "inside", [this](ui::Control&, const ui::Event*) { events.push_back("up inside"); },
            ui::Control::TouchUpInside);
        slider->addTarget(recorder, "outside", [this](ui::Control&, const ui::Event*) { events.push_back("up outside"); },
            ui::Control::TouchUpOutside);
        return slider;
    }
    gfx::Point onScreen(const ui::View& view, gfx::Point point) { return view.convertPoint(point, nullptr); }

    std::shared_ptr<core::Object> holder;
    std::vector<std::string> events;
};

TEST_F(VKAudioPlayerViewTest, TheSliderAnswersOnlyAroundItsThumb)
{
    auto slider = addSlider();
    gfx::Rect thumb = slider->thumbRectForBounds(slider->bounds(), slider->trackRectForBounds(slider->bounds()), 0);
    gfx::Rect area = slider->virtualThumbRect();
    // The 23-point thumb grows to 40 × 40 about its centre.
    EXPECT_EQ(area.width(), 40);
    EXPECT_EQ(area.height(), 40);
    EXPECT_FLOAT_EQ(area.midX(), thumb.midX());
    EXPECT_FLOAT_EQ(area.midY(), thumb.midY());
    EXPECT_EQ(slider->hitTest({ area.midX(), area.midY() }), slider.get());
    EXPECT_EQ(slider->hitTest({ 200, area.midY() }), nullptr);
    // A tap on the track far from the thumb moves nothing.
    driver.tap(onScreen(*slider, { 200, area.midY() }));
    EXPECT_EQ(slider->value(), 0);
    EXPECT_TRUE(events.empty());
    slider->setHidden(true);
    EXPECT_EQ(slider->hitTest({ area.midX(), area.midY() }), nullptr);
}

TEST_F(VKAudioPlayerViewTest, DragStepsArePacedAndTheLiftSaysWhereItEnded)
{
    auto slider = addSlider();
    gfx::Rect area = slider->virtualThumbRect();
    gfx::Rect track = slider->trackRectForBounds(slider->bounds());
    auto fingers = driver.touchDown({ onScreen(*slider, { area.midX(), area.midY() }) });
    driver.wait(0.1);
    driver.touchMove({ { fingers[0], onScreen(*slider, { track.x() + track.width() / 2, area.midY() }) } });
    // Within 0.05 s of the last step: ignored.
    driver.wait(0.01);
    driver.touchMove({ { fingers[0], onScreen(*slider, { track.x() + track.width() * 0.75f, area.midY() }) } });
    EXPECT_FLOAT_EQ(slider->value(), 0.5f);
    driver.wait(0.1);
    // Past the end: clamped.
    driver.touchMove({ { fingers[0], onScreen(*slider, { track.maxX() + 50, area.midY() }) } });
    EXPECT_FLOAT_EQ(slider->value(), 1.0f);
    // The thumb is under the finger's x, but the finger went down the screen.
    driver.wait(0.1);
    driver.touchUp(fingers);
    EXPECT_EQ(events.back(), "up outside");
    EXPECT_EQ(std::count(events.begin(), events.end(), "changed 0.500000"), 1);

    events.clear();
    area = slider->virtualThumbRect();
    fingers = driver.touchDown({ onScreen(*slider, { area.midX(), area.midY() }) });
    driver.wait(0.1);
    driver.touchUp(fingers);
    EXPECT_EQ(events, (std::vector<std::string> { "up inside" }));
}

TEST_F(VKAudioPlayerViewTest, TheTimeRowFitsItsLabelsAndTheInsetsPlaceTheGroups)
{
    auto view = VKAudioPlayerView::create({ 0, 0, 320, 480 });
    window().addSubview(view);
    view->timeElapsedLabel()->setText("01:02:03");
    view->timeRemainingLabel()->setText("-01:02:03");
    float remainingRight = view->timeRemainingLabel()->frame().maxX();
    float elapsedX = view->timeElapsedLabel()->frame().x();
    gfx::Rect volume = view->volumeControlGroup()->frame();
    gfx::Rect name = view->trackName()->frame();
    view->setNeedsLayout();
    view->layoutIfNeeded();

    auto* remaining = view->timeRemainingLabel();
    float fitted = remaining->sizeThatFits(remaining->frame().size).width;
    EXPECT_FLOAT_EQ(remaining->frame().width(), fitted + 5);
    EXPECT_FLOAT_EQ(remaining->frame().maxX(), remainingRight);
    EXPECT_FLOAT_EQ(view->timeElapsedLabel()->frame().x(), elapsedX);
    EXPECT_FLOAT_EQ(view->timeElapsedLabel()->frame().width(), fitted + 5);
    EXPECT_FLOAT_EQ(view->timeSlider()->frame().x(), view->timeElapsedLabel()->frame().maxX() + 4);
    EXPECT_FLOAT_EQ(view->timeSlider()->frame().maxX(), remaining->frame().x() - 4);
    // No insets: the groups stay where the layout put them.
    EXPECT_EQ(view->volumeControlGroup()->frame(), volume);
    EXPECT_EQ(view->trackName()->frame(), name);

    view->setControlInsets({ 64, 0, 44, 0 });
    EXPECT_EQ(view->timeControlsGroup()->frame().y(), 64);
    EXPECT_EQ(view->volumeControlGroup()->frame().maxY(), 480 - 44);
    EXPECT_EQ(view->trackName()->frame().maxY(), view->volumeControlGroup()->frame().y() - 10);
}

TEST_F(VKAudioPlayerViewTest, BufferingFadesTheNoteAndTheSpinnerTogether)
{
    auto view = VKAudioPlayerView::create({ 0, 0, 320, 480 });
    EXPECT_FALSE(view->isBuffering());
    EXPECT_EQ(view->bufferingLabel()->text(), "Buffering...");
    view->setBuffering(true, true);
    EXPECT_TRUE(view->isBuffering());
    EXPECT_EQ(view->bufferingIndicator()->alpha(), 1);
    EXPECT_TRUE(view->bufferingIndicator()->isAnimating());
    view->setBuffering(false);
    EXPECT_FALSE(view->isBuffering());
    EXPECT_EQ(view->bufferingIndicator()->alpha(), 0);
}

TEST_F(VKAudioPlayerViewTest, TheBackgroundFollowsTheComingOrientation)
{
    auto view = VKAudioPlayerView::create({ 0, 0, 320, 480 });
    auto portrait = ui::Images::imageNamed("AudioBackgroundPortrait.png");
    auto landscape = ui::Images::imageNamed("AudioBackgroundLandscape.png");
    ASSERT_TRUE(portrait && landscape);
    EXPECT_EQ(view->layer().contents(), portrait);
    auto post = [](ui::Orientation orientation) {
        core::NotificationCenter::defaultCenter().post(ui::Application::willChangeStatusBarOrientationNotification, nullptr,
            { orientation });
    };
    post(ui::Orientation::LandscapeLeft);
    EXPECT_EQ(view->layer().contents(), landscape);
    post(ui::Orientation::PortraitUpsideDown);
    EXPECT_EQ(view->layer().contents(), portrait);
    post(ui::Orientation::LandscapeRight);
    EXPECT_EQ(view->layer().contents(), landscape);
    post(ui::Orientation::Unknown);
    EXPECT_EQ(view->layer().contents(), portrait);
}

TEST_F(VKAudioPlayerViewTest, TheVolumeSliderSetsTheMasterGainAndShowsNoRouteButton)
{
    auto volume = VKVolumeView::create({ 10, 200, 300, 44 });
    volume->setShowsRouteButton(true);
    EXPECT_FALSE(volume->showsRouteButton());
    volume->slider()->setValue(0.25f);
    volume->slider()->sendActions(ui::Control::ValueChanged);
    EXPECT_FLOAT_EQ(media::SDLAudioSink::masterGain(), 0.25f);
    media::SDLAudioSink::setMasterGain(2);
    EXPECT_FLOAT_EQ(media::SDLAudioSink::masterGain(), 1.0f);
}

} // namespace

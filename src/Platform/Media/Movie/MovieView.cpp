#include "Platform/Media/Movie/MovieView.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Media/Movie/MoviePlayerController.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Slider.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/Touch.h"

#include <cmath>
#include <fmt/format.h>

namespace media {

namespace {

const gfx::Color kBarColor(0, 0, 0, 0.6f);

std::shared_ptr<ui::Label> makeTimeLabel(gfx::TextAlignment alignment)
{
    auto label = ui::Label::create();
    label->setFont(ui::Fonts::boldSystemFont(13));
    label->setTextColor(gfx::Color::white(1));
    label->setBackgroundColor(gfx::Color(0, 0, 0, 0));
    label->setTextAlignment(alignment);
    return label;
}

} // namespace

MovieView::MovieView()
{
    setBackgroundColor(gfx::Color(0, 0, 0, 1));
    setClipsToBounds(true);
    m_picture = ui::View::create();
    m_picture->setUserInteractionEnabled(false);
    m_picture->layer().setContentsGravity("resizeAspect");
    m_picture->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    addSubview(m_picture);
}

MovieView::~MovieView()
{
    cancelHide();
    stopTimeTimer();
}

void MovieView::setFrameImage(const std::shared_ptr<gfx::Image>& frame)
{
    m_picture->layer().setContents(frame);
}

const std::shared_ptr<gfx::Image>& MovieView::frameImageForTesting() const
{
    return m_picture->layer().contents();
}

void MovieView::layoutSubviews()
{
    gfx::Rect b = bounds();
    m_picture->setFrame(b);
    if (auto movie = player())
        movie->movieViewDidResize();
    if (!m_controls)
        return;
    m_controls->setFrame(b);
    float width = b.size.width;
    // A view that lies under the status bar keeps its top bar below it,
    // where the bar's buttons can be touched.
    float top = 0;
    if (auto* application = ui::Application::shared(); application && window()) {
        gfx::Rect under = application->statusBarFrameWhenShown().intersection(convertRect(b, nullptr));
        top = under.isEmpty() ? 0 : std::round(std::min(under.width(), under.height()));
    }
    m_topBar->setFrame({ 0, top, width, BarHeight });
    m_doneButton->setFrame({ 6, 0, 64, BarHeight });
    float labelWidth = 62;
    m_elapsedLabel->setFrame({ 74, 0, labelWidth - 8, BarHeight });
    m_remainingLabel->setFrame({ width - labelWidth - 4, 0, labelWidth, BarHeight });
    float sliderLeft = 74 + labelWidth - 2;
    m_scrubber->setFrame({ sliderLeft, 0, std::max(0.0f, width - labelWidth - 10 - sliderLeft), BarHeight });
    float boxWidth = 88;
    m_bottomBar->setFrame({ std::round((width - boxWidth) / 2), b.size.height - BarHeight - 16, boxWidth, BarHeight });
    m_playButton->setFrame({ 0, 0, boxWidth, BarHeight });
}

void MovieView::setShowsControls(bool shows)
{
    if (shows == m_showsControls)
        return;
    m_showsControls = shows;
    if (shows)
        makeControls();
    else
        removeControls();
}

void MovieView::makeControls()
{
    m_controls = ui::View::create(bounds());
    m_controls->setBackgroundColor(gfx::Color(0, 0, 0, 0));
    m_topBar = ui::View::create();
    m_topBar->setBackgroundColor(kBarColor);
    m_bottomBar = ui::View::create();
    m_bottomBar->setBackgroundColor(kBarColor);
    m_bottomBar->layer().setCornerRadius(8);

    m_doneButton = ui::Button::create(ui::Button::Type::Custom);
    m_doneButton->setTitle(core::localized("Done"), ui::Control::Normal);
    m_doneButton->setTitleColor(gfx::Color::white(1), ui::Control::Normal);
    m_doneButton->titleLabel().setFont(ui::Fonts::boldSystemFont(15));
    m_doneButton->addTarget(shared_from_this(), "done", [this](ui::Control&, const ui::Event*) {
        if (auto player = this->player())
            player->userDidExit();
    }, ui::Control::TouchUpInside);

    m_elapsedLabel = makeTimeLabel(gfx::TextAlignment::Right);
    m_remainingLabel = makeTimeLabel(gfx::TextAlignment::Left);
    m_scrubber = ui::Slider::create();
    m_scrubber->setContinuous(true);
    m_scrubber->addTarget(shared_from_this(), "scrub", [this](ui::Control& control, const ui::Event*) {
        auto player = this->player();
        if (!player)
            return;
        touched();
        double duration = player->duration();
        if (duration > 0)
            player->setCurrentPlaybackTime(duration * double(static_cast<ui::Slider&>(control).value()));
        updateTimes();
    }, ui::Control::TouchUpInside | ui::Control::TouchUpOutside);
    m_scrubber->addTarget(shared_from_this(), "drag", [this](ui::Control&, const ui::Event*) {
        touched();
        updateTimes();
    }, ui::Control::ValueChanged);

    m_playButton = ui::Button::create(ui::Button::Type::Custom);
    m_playButton->addTarget(shared_from_this(), "togglePlay", [this](ui::Control&, const ui::Event*) {
        auto player = this->player();
        if (!player)
            return;
        if (player->playbackState() == MoviePlaybackState::Playing)
            player->pause();
        else
            player->play();
        touched();
    }, ui::Control::TouchUpInside);

    m_topBar->addSubview(m_doneButton);
    m_topBar->addSubview(m_elapsedLabel);
    m_topBar->addSubview(m_scrubber);
    m_topBar->addSubview(m_remainingLabel);
    m_bottomBar->addSubview(m_playButton);
    m_controls->addSubview(m_topBar);
    m_controls->addSubview(m_bottomBar);
    addSubview(m_controls);

    m_tap = ui::TapGestureRecognizer::create();
    m_tap->addTarget(shared_from_this(), "toggleControls", [this](ui::GestureRecognizer& recognizer) {
        if (recognizer.state() == ui::GestureRecognizer::Recognized)
            toggleControls();
    });
    m_tap->setDelegate(std::static_pointer_cast<ui::GestureRecognizerDelegate>(sharedAs<MovieView>()));
    addGestureRecognizer(m_tap);
    setNeedsLayout();
    playerStateDidChange();
    updateTimes();
    startTimeTimer();
    scheduleHide();
}

void MovieView::removeControls()
{
    cancelHide();
    stopTimeTimer();
    if (m_tap)
        removeGestureRecognizer(m_tap.get());
    if (m_controls)
        m_controls->removeFromSuperview();
    m_tap = nullptr;
    m_controls = m_topBar = m_bottomBar = nullptr;
    m_doneButton = m_playButton = nullptr;
    m_scrubber = nullptr;
    m_elapsedLabel = m_remainingLabel = nullptr;
}

bool MovieView::shouldReceiveTouch(ui::GestureRecognizer&, const ui::Touch& touch)
{
    for (ui::View* view = touch.view().get(); view && view != this; view = view->superview())
        if (dynamic_cast<ui::Control*>(view))
            return false;
    return true;
}

bool MovieView::areControlsVisible() const
{
    return m_controls && !m_controls->isHidden();
}

void MovieView::setControlsVisible(bool visible)
{
    if (!m_controls)
        return;
    m_controls->setHidden(!visible);
    if (visible) {
        updateTimes();
        startTimeTimer();
        scheduleHide();
    } else {
        cancelHide();
        stopTimeTimer();
    }
}

void MovieView::toggleControls()
{
    setControlsVisible(!areControlsVisible());
}

void MovieView::touched()
{
    scheduleHide();
}

void MovieView::scheduleHide()
{
    cancelHide();
    auto player = this->player();
    if (!areControlsVisible() || !player || player->playbackState() != MoviePlaybackState::Playing)
        return;
    m_hideTimer = core::RunLoop::main().schedule(sharedAs<MovieView>(), ControlsHideDelay, false, [](MovieView& self, core::Timer&) {
        self.m_hideTimer = nullptr;
        auto player = self.player();
        if (player && player->playbackState() == MoviePlaybackState::Playing && !self.m_scrubber->isTracking())
            self.setControlsVisible(false);
    });
}

void MovieView::cancelHide()
{
    if (m_hideTimer)
        m_hideTimer->invalidate();
    m_hideTimer = nullptr;
}

void MovieView::startTimeTimer()
{
    if (m_timeTimer)
        return;
    m_timeTimer = core::RunLoop::main().schedule(sharedAs<MovieView>(), TimeUpdateInterval, true, [](MovieView& self, core::Timer&) {
        self.updateTimes();
    });
}

void MovieView::stopTimeTimer()
{
    if (m_timeTimer)
        m_timeTimer->invalidate();
    m_timeTimer = nullptr;
}

void MovieView::playerStateDidChange()
{
    if (!m_playButton)
        return;
    auto player = this->player();
    bool playing = player && player->playbackState() == MoviePlaybackState::Playing;
    m_playButton->setImage(ui::Images::imageNamed(playing ? "VKButtonBarPause.png" : "VKButtonBarPlay.png"),
        ui::Control::Normal);
    scheduleHide();
}

void MovieView::updateTimes()
{
    auto player = this->player();
    if (!m_scrubber || !player)
        return;
    double duration = player->duration();
    // While the thumb is held the times are those it points at, where the
    // release will seek.
    bool held = m_scrubber->isTracking() && duration > 0;
    double current = held ? duration * double(m_scrubber->value()) : player->currentPlaybackTime();
    m_elapsedLabel->setText(timeString(current, false));
    m_remainingLabel->setText(timeString(std::max(0.0, duration - current), true));
    if (duration > 0 && !m_scrubber->isTracking())
        m_scrubber->setValue(float(std::clamp(current / duration, 0.0, 1.0)));
}

std::string MovieView::timeString(double seconds, bool negative)
{
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    long total = long(std::floor(seconds + 0.5));
    long h = total / 3600, m = (total % 3600) / 60, s = total % 60;
    std::string sign = negative ? "-" : "";
    if (h > 0)
        return fmt::format("{}{}:{:02}:{:02}", sign, h, m, s);
    return fmt::format("{}{}:{:02}", sign, m, s);
}

} // namespace media

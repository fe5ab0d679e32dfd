#include "Viewers/Movie/VKMovieControls.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Media/Movie/MoviePlayerController.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Viewers/AudioPlayer/VKSlider.h"

#include <cmath>
#include <fmt/format.h>

using media::MoviePlaybackState;

namespace {

constexpr float kPanelWidth = 300;
constexpr float kPanelHeight = 132;
constexpr float kLabelWidth = 70;
constexpr float kButtonWidth = 64;
constexpr float kButtonHeight = 44;

std::shared_ptr<ui::Label> timeLabel(const gfx::Rect& frame, gfx::TextAlignment alignment)
{
    auto label = ui::Label::create(frame);
    label->setFont(ui::Fonts::boldSystemFont(13));
    label->setTextColor(gfx::Color::white(1));
    label->setBackgroundColor(gfx::Color(0, 0, 0, 0));
    label->setTextAlignment(alignment);
    return label;
}

std::shared_ptr<ui::Button> imageButton(const gfx::Rect& frame, const char* image)
{
    auto button = ui::Button::create(ui::Button::Type::Custom, frame);
    button->setImage(ui::Images::imageNamed(image), ui::Control::Normal);
    button->setShowsTouchWhenHighlighted(true);
    return button;
}

} // namespace

std::shared_ptr<VKMovieControls> VKMovieControls::create(const std::shared_ptr<media::MoviePlayerController>& movieController)
{
    auto controls = std::make_shared<VKMovieControls>();
    controls->initWithMoviePlayerController(movieController);
    return controls;
}

VKMovieControls::~VKMovieControls()
{
    invalidate();
}

void VKMovieControls::initWithMoviePlayerController(const std::shared_ptr<media::MoviePlayerController>& movieController)
{
    m_movieController = movieController;
    loadLayout();
    std::weak_ptr<VKMovieControls> weak = sharedAs<VKMovieControls>();
    auto& center = core::NotificationCenter::defaultCenter();
    for (const char* name : { media::MoviePlayerPlaybackStateDidChangeNotification, media::MoviePlayerLoadStateDidChangeNotification })
        m_observations.push_back(center.observe(name, movieController, [weak](const core::Notification& notification) {
            if (auto self = weak.lock())
                self->moviePlayerDidUpdate(notification);
        }));
    m_playbackTimer = core::RunLoop::main().schedule(sharedAs<VKMovieControls>(), PlaybackTimerInterval, true, [](VKMovieControls& self, core::Timer&) {
        self.playbackTimerDidFire();
    });
    updateTVOutControls();
    updateTimeline();
}

// The "MovieControls" layout: a black view over the content with a panel
// centred in it, the timeline above the three buttons.
void VKMovieControls::loadLayout()
{
    std::weak_ptr<VKMovieControls> weak = sharedAs<VKMovieControls>();
    m_view = ui::View::create({ 0, 0, kPanelWidth + 20, kPanelHeight + 20 });
    m_view->setBackgroundColor(gfx::Color(0, 0, 0, 1));
    m_view->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    auto panel = ui::View::create({ 10, 10, kPanelWidth, kPanelHeight });
    panel->setBackgroundColor(gfx::Color::white(1, 0.12f));
    panel->layer().setCornerRadius(10);
    panel->setAutoresizingMask(ui::View::FlexibleLeftMargin | ui::View::FlexibleRightMargin | ui::View::FlexibleTopMargin
        | ui::View::FlexibleBottomMargin);
    m_view->addSubview(panel);

    float rowY = 18;
    m_startTimeLabel = timeLabel({ 4, rowY, kLabelWidth, 40 }, gfx::TextAlignment::Center);
    m_endTimeLabel = timeLabel({ kPanelWidth - kLabelWidth - 4, rowY, kLabelWidth, 40 }, gfx::TextAlignment::Center);
    m_timelineSlider = VKSlider::create({ kLabelWidth + 6, rowY, kPanelWidth - 2 * kLabelWidth - 12, 40 });
    m_timelineSlider->setContinuous(true);
    m_timelineSlider->addTarget(shared_from_this(), "updateCurrentTime:", [this](ui::Control&, const ui::Event*) {
        updateCurrentTime();
    }, ui::Control::ValueChanged);
    m_timelineSlider->addTarget(shared_from_this(), "updateCurrentTimeTouchUpEvent:", [this](ui::Control&, const ui::Event*) {
        updateCurrentTimeTouchUpEvent();
    }, ui::Control::TouchUpInside | ui::Control::TouchUpOutside);

    float buttonsY = kPanelHeight - kButtonHeight - 18;
    float centre = kPanelWidth / 2;
    m_seekBackwardButton = imageButton({ centre - kButtonWidth * 1.5f - 12, buttonsY, kButtonWidth, kButtonHeight },
        "VKButtonBarSeekBackward.png");
    m_playButton = imageButton({ centre - kButtonWidth / 2, buttonsY, kButtonWidth, kButtonHeight }, "VKButtonBarPlay.png");
    m_seekForwardButton = imageButton({ centre + kButtonWidth / 2 + 12, buttonsY, kButtonWidth, kButtonHeight },
        "VKButtonBarSeekForward.png");
    m_playButton->addTarget(shared_from_this(), "togglePlay:", [this](ui::Control&, const ui::Event*) {
        togglePlay();
    }, ui::Control::TouchUpInside);
    for (const auto& button : { m_seekBackwardButton, m_seekForwardButton }) {
        bool forward = button == m_seekForwardButton;
        button->addTarget(shared_from_this(), "beginSeeking:", [this](ui::Control& sender, const ui::Event*) {
            beginSeeking(static_cast<ui::Button*>(&sender));
        }, ui::Control::TouchDown);
        button->addTarget(shared_from_this(), "endSeeking:", [this](ui::Control&, const ui::Event*) {
            endSeeking();
        }, ui::Control::TouchUpInside | ui::Control::TouchUpOutside | ui::Control::TouchCancel);
        button->addTarget(shared_from_this(), forward ? "seekToEnd:" : "seekToStart:", [this, forward](ui::Control&, const ui::Event*) {
            forward ? seekToEnd() : seekToStart();
        }, ui::Control::TouchDownRepeat);
    }
    for (const auto& view : std::initializer_list<std::shared_ptr<ui::View>> { m_startTimeLabel, m_timelineSlider,
             m_endTimeLabel, m_seekBackwardButton, m_playButton, m_seekForwardButton })
        panel->addSubview(view);
}

void VKMovieControls::invalidate()
{
    m_observations.clear();
    if (m_playbackTimer)
        m_playbackTimer->invalidate();
    m_playbackTimer = nullptr;
    cancelScrubbingTimer();
    if (m_view)
        m_view->removeFromSuperview();
    m_movieController = nullptr;
}

double VKMovieControls::startPlaybackTime(const media::MoviePlayerController* movie)
{
    if (!movie || movie->initialPlaybackTime() == -1)
        return 0;
    return movie->initialPlaybackTime();
}

double VKMovieControls::endPlaybackTime(const media::MoviePlayerController* movie)
{
    if (!movie)
        return 0;
    if (movie->endPlaybackTime() != -1)
        return movie->endPlaybackTime();
    return startPlaybackTime(movie) + movie->duration();
}

double VKMovieControls::startPlaybackTime() const
{
    return startPlaybackTime(m_movieController.get());
}

double VKMovieControls::endPlaybackTime() const
{
    return endPlaybackTime(m_movieController.get());
}

bool VKMovieControls::isPlaying() const
{
    if (!m_movieController)
        return false;
    auto state = m_movieController->playbackState();
    return state != MoviePlaybackState::Stopped && state != MoviePlaybackState::Paused;
}

void VKMovieControls::moviePlayerDidUpdate(const core::Notification&)
{
    updateTVOutControls();
}

void VKMovieControls::playbackTimerDidFire()
{
    if (m_timelineSlider && !m_timelineSlider->isTracking())
        updateTimeline();
}

void VKMovieControls::updateTVOutControls()
{
    if (m_playButton)
        m_playButton->setImage(ui::Images::imageNamed(isPlaying() ? "VKButtonBarPause.png" : "VKButtonBarPlay.png"),
            ui::Control::Normal);
}

void VKMovieControls::togglePlay()
{
    if (!m_movieController)
        return;
    m_movieController->endSeeking();
    if (isPlaying())
        m_movieController->pause();
    else
        m_movieController->play();
}

void VKMovieControls::seekToStart()
{
    if (m_movieController)
        m_movieController->setCurrentPlaybackTime(startPlaybackTime());
}

void VKMovieControls::seekToEnd()
{
    if (m_movieController)
        m_movieController->setCurrentPlaybackTime(endPlaybackTime());
}

void VKMovieControls::beginSeeking(ui::Button* sender)
{
    if (!m_movieController)
        return;
    if (sender && sender == m_seekForwardButton.get())
        m_movieController->beginSeekingForward();
    else
        m_movieController->beginSeekingBackward();
    m_movieController->setCurrentPlaybackRate(SeekingRate);
}

void VKMovieControls::endSeeking()
{
    if (!m_movieController)
        return;
    m_movieController->setCurrentPlaybackRate(1.0);
    m_movieController->endSeeking();
}

void VKMovieControls::updateTimeline()
{
    if (!m_movieController || m_movieController->duration() == 0)
        return;
    double current = m_movieController->currentPlaybackTime();
    m_startTimeLabel->setText(stringForTimeInterval(std::round(current - startPlaybackTime())));
    m_endTimeLabel->setText(stringForTimeInterval(current - endPlaybackTime()));
    m_timelineSlider->setValue(float((current - startPlaybackTime()) / m_movieController->duration()));
}

void VKMovieControls::updateCurrentTime()
{
    if (!m_movieController || m_movieController->duration() == 0)
        return;
    cancelScrubbingTimer();
    m_scrubbingTimer = core::RunLoop::main().schedule(sharedAs<VKMovieControls>(), ScrubbingDelay, false, [](VKMovieControls& self, core::Timer&) {
        self.m_scrubbingTimer = nullptr;
        self.updateCurrentTimeWhileScrubbing();
    });
}

void VKMovieControls::updateCurrentTimeWhileScrubbing()
{
    if (!m_movieController)
        return;
    m_movieController->setCurrentPlaybackTime(
        startPlaybackTime() + m_movieController->duration() * double(m_timelineSlider->value()));
    updateTimeline();
}

void VKMovieControls::updateCurrentTimeTouchUpEvent()
{
    // A seek still waiting when the finger lifts goes now: a quick flick
    // must not be lost.
    bool pending = isScrubbingPending();
    cancelScrubbingTimer();
    if (pending)
        updateCurrentTimeWhileScrubbing();
}

void VKMovieControls::cancelScrubbingTimer()
{
    if (m_scrubbingTimer)
        m_scrubbingTimer->invalidate();
    m_scrubbingTimer = nullptr;
}

std::string VKMovieControls::stringForTimeInterval(double seconds)
{
    if (!std::isfinite(seconds))
        seconds = 0;
    double a = std::fabs(seconds);
    double h = std::floor(a / 3600);
    double m = std::floor(std::fmod(a, 3600) / 60);
    double s = std::floor(a - 3600 * h - 60 * m);
    return fmt::format("{}{:02}:{:02}:{:02}", seconds < 0 ? "-" : "", int(h), int(m), int(s));
}

#include "Viewers/AudioPlayer/VKAudioProgress.h"

#include "Audio/VKAudioPlayer.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/UI/Label.h"
#include "Viewers/AudioPlayer/VKAudioPlayerView.h"
#include "Viewers/AudioPlayer/VKAudioSlider.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

VKAudioProgress::~VKAudioProgress()
{
    if (m_timer)
        m_timer->invalidate();
}

std::string VKAudioProgress::stringForTimeInterval(double seconds)
{
    if (!std::isfinite(seconds))
        seconds = 0;
    double a = std::fabs(seconds);
    int h = int(std::floor(a / 3600));
    int m = int(std::floor(std::fmod(a, 3600) / 60));
    int s = int(std::floor(a - 3600.0 * h - 60.0 * m));
    const char* prefix = seconds < 0 ? "-" : "";
    if (h >= 1)
        return fmt::format("{}{:02d}:{:02d}:{:02d}", prefix, h, m, s);
    return fmt::format("{}{:02d}:{:02d}", prefix, m, s);
}

double VKAudioProgress::usableDuration(double duration)
{
    return std::isfinite(duration) && duration > 0 ? duration : 0;
}

double VKAudioProgress::durationOf(VKAudioPlayer* player)
{
    return player ? usableDuration(player->duration()) : 0;
}

void VKAudioProgress::show(double seconds)
{
    auto* view = m_host.audioPlayerView();
    if (!view)
        return;
    double t = std::isfinite(seconds) ? std::round(seconds) : 0;
    double duration = durationOf(m_host.audioPlayer().get());
    view->timeElapsedLabel()->setText(stringForTimeInterval(t));
    view->timeRemainingLabel()->setText(stringForTimeInterval(t - duration));
    if (duration > 0) {
        view->timeSlider()->setValue(float(std::clamp(t / duration, 0.0, 1.0)));
        view->timeSlider()->setEnabled(true);
    } else {
        view->timeSlider()->setValue(0);
    }
    view->setNeedsLayout();
    view->layoutIfNeeded();
}

void VKAudioProgress::sliderDidMove()
{
    auto* view = m_host.audioPlayerView();
    double duration = durationOf(m_host.audioPlayer().get());
    if (view && duration != 0)
        show(view->timeSlider()->value() * duration);
}

void VKAudioProgress::sliderDidLift()
{
    auto* view = m_host.audioPlayerView();
    double duration = durationOf(m_host.audioPlayer().get());
    double time = view ? view->timeSlider()->value() * duration : 0;
    if (view && duration != 0 && time >= 0)
        m_host.audioPlayer()->setCurrentTime(time);
}

void VKAudioProgress::startTimer()
{
    // The timer ends with the display, which ends with its host.
    m_timer = core::RunLoop::main().schedule(TimerInterval, true, [this](core::Timer&) {
        const auto* player = m_host.audioPlayer().get();
        if (!player || !player->isPlaying())
            return;
        auto* view = m_host.audioPlayerView();
        if (view && !view->timeSlider()->isTracking())
            show(player->currentTime());
    });
}

void VKAudioProgress::endTimer()
{
    if (m_timer)
        m_timer->invalidate();
    m_timer.reset();
}

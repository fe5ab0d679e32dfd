#pragma once

// The device's controls while the picture plays on a second screen: the
// elapsed and the remaining time (always with hours) around a timeline
// slider, play/pause between seek buttons that rewind or fast-forward while
// held and jump to the start or the end on a double tap. Built from the
// "MovieControls" layout in code; a 0.1 s timer keeps it current while the
// slider is not being dragged, and dragging seeks live, 0.1 s after the
// last move.

#include "Platform/Core/Notification.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Observation.h"

#include <memory>
#include <string>
#include <vector>

namespace core {
class Timer;
}
namespace media {
class MoviePlayerController;
}
namespace ui {
class Button;
class Label;
class Slider;
class View;
} // namespace ui

class VKMovieControls : public core::Object {
public:
    static constexpr double PlaybackTimerInterval = 0.1;
    static constexpr double ScrubbingDelay = 0.1;
    static constexpr double SeekingRate = 2.0;

    static std::shared_ptr<VKMovieControls> create(const std::shared_ptr<media::MoviePlayerController>& movieController);
    ~VKMovieControls() override;
    void initWithMoviePlayerController(const std::shared_ptr<media::MoviePlayerController>& movieController);
    // Stops observing and timing, and takes the view off screen.
    void invalidate();

    const std::shared_ptr<media::MoviePlayerController>& movieController() const { return m_movieController; }
    const std::shared_ptr<ui::View>& view() const { return m_view; }
    ui::Button* playButton() const { return m_playButton.get(); }
    ui::Button* seekBackwardButton() const { return m_seekBackwardButton.get(); }
    ui::Button* seekForwardButton() const { return m_seekForwardButton.get(); }
    ui::Label* startTimeLabel() const { return m_startTimeLabel.get(); }
    ui::Label* endTimeLabel() const { return m_endTimeLabel.get(); }
    ui::Slider* timelineSlider() const { return m_timelineSlider.get(); }
    bool isPlaybackTimerRunning() const { return m_playbackTimer != nullptr; }
    bool isScrubbingPending() const { return m_scrubbingTimer != nullptr; }

    // The layout's actions.
    void togglePlay();
    void seekToStart();
    void seekToEnd();
    void beginSeeking(ui::Button* sender);
    void endSeeking();
    void updateCurrentTime();
    void updateCurrentTimeTouchUpEvent();

    void moviePlayerDidUpdate(const core::Notification& notification);
    void playbackTimerDidFire();
    void updateTVOutControls();
    void updateTimeline();
    void updateCurrentTimeWhileScrubbing();
    void cancelScrubbingTimer();
    static std::string stringForTimeInterval(double seconds);
    double startPlaybackTime() const;
    double endPlaybackTime() const;
    // The movie's initial time (0 when unset), and its end time (start +
    // duration when unset); the movie screen counts the same way.
    static double startPlaybackTime(const media::MoviePlayerController* movie);
    static double endPlaybackTime(const media::MoviePlayerController* movie);

private:
    void loadLayout();
    bool isPlaying() const;

    std::shared_ptr<media::MoviePlayerController> m_movieController;
    std::shared_ptr<core::Timer> m_playbackTimer;
    std::vector<core::Observation> m_observations;
    std::shared_ptr<core::Timer> m_scrubbingTimer;
    std::shared_ptr<ui::View> m_view;
    std::shared_ptr<ui::Button> m_playButton;
    std::shared_ptr<ui::Button> m_seekBackwardButton;
    std::shared_ptr<ui::Button> m_seekForwardButton;
    std::shared_ptr<ui::Label> m_startTimeLabel;
    std::shared_ptr<ui::Label> m_endTimeLabel;
    std::shared_ptr<ui::Slider> m_timelineSlider;
};

#pragma once

#include <memory>
#include <string>

namespace core {
class Timer;
}
class VKAudioPlayer;
class VKAudioPlayerView;

// What the progress display asks of the screen that owns it.
class VKAudioProgressHost {
public:
    virtual ~VKAudioProgressHost() = default;
    virtual VKAudioPlayerView* audioPlayerView() const = 0;
    virtual const std::shared_ptr<VKAudioPlayer>& audioPlayer() const = 0;
};

// The audio player's time slider and its two labels (elapsed, and the
// remaining time as a negative one), and the timer that moves them while
// the track plays and the finger is off the slider. Dragging the slider
// only moves the labels; lifting the finger seeks. The screen holds it as
// a member, gives itself as the host and starts and ends the timer, which
// ends with it.
class VKAudioProgress {
public:
    static constexpr double TimerInterval = 0.5;

    explicit VKAudioProgress(VKAudioProgressHost& host) : m_host(host) { }
    ~VKAudioProgress();
    VKAudioProgress(const VKAudioProgress&) = delete;
    VKAudioProgress& operator=(const VKAudioProgress&) = delete;

    // "mm:ss", or "h:mm:ss" from an hour, with "-" before a negative one;
    // NaN is 0.
    static std::string stringForTimeInterval(double seconds);
    // A duration as the screen takes it: NaN and negative ones are none.
    static double usableDuration(double duration);
    static double durationOf(VKAudioPlayer* player);

    void show(double seconds);
    // The slider moved by the finger; the finger lifted.
    void sliderDidMove();
    void sliderDidLift();

    void startTimer();
    void endTimer();
    bool isTimerRunning() const { return m_timer != nullptr; }

private:
    VKAudioProgressHost& m_host;
    std::shared_ptr<core::Timer> m_timer;
};

#pragma once

// The movie player's view: the newest frame as its picture layer's
// contents, fitted and centred on black, and in the full-screen style the
// player's own controls over it: Done at the top left, the elapsed and the
// remaining time around a scrubber that seeks on release, play/pause
// centred at the bottom, on translucent black. A tap shows or hides them;
// while playing they hide ControlsHideDelay after the last touch.

#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/View.h"

#include <memory>

namespace core {
class Timer;
}
namespace gfx {
class Image;
}
namespace ui {
class Button;
class Label;
class Slider;
class TapGestureRecognizer;
} // namespace ui

namespace media {

class MoviePlayerController;

class MovieView : public ui::View, public ui::GestureRecognizerDelegate {
public:
    static constexpr double ControlsHideDelay = 4.0;
    static constexpr double TimeUpdateInterval = 0.25;
    static constexpr float BarHeight = 44;

    MovieView();
    ~MovieView() override;

    void setPlayer(const std::weak_ptr<MoviePlayerController>& player) { m_player = player; }
    void setFrameImage(const std::shared_ptr<gfx::Image>& frame);
    const std::shared_ptr<gfx::Image>& frameImageForTesting() const;
    ui::View& pictureView() const { return *m_picture; }

    // The full-screen style's controls exist only while this is on.
    void setShowsControls(bool shows);
    bool showsControls() const { return m_showsControls; }
    bool areControlsVisible() const;
    void setControlsVisible(bool visible);
    void toggleControls();

    void playerStateDidChange();
    void updateTimes();

    ui::Button* doneButton() const { return m_doneButton.get(); }
    ui::Button* playButton() const { return m_playButton.get(); }
    ui::Slider* scrubber() const { return m_scrubber.get(); }
    ui::Label* elapsedLabel() const { return m_elapsedLabel.get(); }
    ui::Label* remainingLabel() const { return m_remainingLabel.get(); }
    ui::View* controlsView() const { return m_controls.get(); }

    void layoutSubviews() override;
    // Touches on the controls are theirs, not the tap's.
    bool shouldReceiveTouch(ui::GestureRecognizer& recognizer, const ui::Touch& touch) override;

    // "1:05", "1:02:03", "-0:05".
    static std::string timeString(double seconds, bool negative);

private:
    void makeControls();
    void removeControls();
    void touched();
    void scheduleHide();
    void cancelHide();
    void startTimeTimer();
    void stopTimeTimer();
    std::shared_ptr<MoviePlayerController> player() const { return m_player.lock(); }

    std::weak_ptr<MoviePlayerController> m_player;
    std::shared_ptr<ui::View> m_picture;
    bool m_showsControls = false;
    std::shared_ptr<ui::View> m_controls;
    std::shared_ptr<ui::View> m_topBar;
    std::shared_ptr<ui::View> m_bottomBar;
    std::shared_ptr<ui::Button> m_doneButton;
    std::shared_ptr<ui::Button> m_playButton;
    std::shared_ptr<ui::Slider> m_scrubber;
    std::shared_ptr<ui::Label> m_elapsedLabel;
    std::shared_ptr<ui::Label> m_remainingLabel;
    std::shared_ptr<ui::TapGestureRecognizer> m_tap;
    std::shared_ptr<core::Timer> m_hideTimer;
    std::shared_ptr<core::Timer> m_timeTimer;
};

} // namespace media

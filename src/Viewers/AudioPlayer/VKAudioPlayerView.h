#pragma once

#include "Platform/Core/Observation.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/Orientation.h"
#include "Platform/UI/View.h"

namespace ui {
class ActivityIndicator;
class Button;
class Label;
class Slider;
} // namespace ui
class VKAudioSlider;
class VKVolumeView;

// The audio screen's content: a dark background that follows the interface
// orientation, the time row (elapsed, slider, remaining) with the repeat
// button, the playlist position and the shuffle button under it at the
// top, the track name above the volume slider at the bottom, and the
// "Buffering..." note with its spinner in the middle.
//
// The layout is built here in code (the screen binds the controls to its
// actions); layoutSubviews fits the time labels to their text and, once
// the screen has set the bar insets, keeps the groups between the bars.
class VKAudioPlayerView : public ui::View {
public:
    static constexpr float TimeLabelPadding = 5;
    static constexpr float TimeSliderGap = 4;
    static constexpr float TrackNameGap = 10;

    // The view with its layout ("AudioPlayer"), buffering off.
    static std::shared_ptr<VKAudioPlayerView> create(const gfx::Rect& frame);
    ~VKAudioPlayerView() override;

    VKVolumeView* volumeSlider() const { return m_volumeSlider.get(); }
    VKAudioSlider* timeSlider() const { return m_timeSlider.get(); }
    ui::Label* timeElapsedLabel() const { return m_timeElapsedLabel.get(); }
    ui::Label* timeRemainingLabel() const { return m_timeRemainingLabel.get(); }
    ui::Label* trackName() const { return m_trackName.get(); }
    ui::Label* playlistInfo() const { return m_playlistInfo.get(); }
    ui::Button* shuffleButton() const { return m_shuffleButton.get(); }
    ui::Button* repeatButton() const { return m_repeatButton.get(); }
    ui::View* timeControlsGroup() const { return m_timeControlsGroup.get(); }
    ui::View* volumeControlGroup() const { return m_volumeControlGroup.get(); }
    ui::Label* bufferingLabel() const { return m_bufferingLabel.get(); }
    ui::ActivityIndicator* bufferingIndicator() const { return m_bufferingIndicator.get(); }

    const gfx::EdgeInsets& controlInsets() const { return m_controlInsets; }
    void setControlInsets(const gfx::EdgeInsets& insets);

    // A line over the track name that stays with the controls (no sound
    // output, say); empty text takes it away.
    void setNotice(const std::string& text);
    ui::Label* noticeLabel() const { return m_noticeLabel.get(); }

    bool isBuffering() const;
    void setBuffering(bool buffering) { setBuffering(buffering, false); }
    void setBuffering(bool buffering, bool animated);

    void orientationWillChange(ui::Orientation orientation);
    void layoutSubviews() override;


private:
    void commonInit();
    void buildLayout();
    void awakeFromNib();
    void setBackgroundForLandscape(bool landscape);

    std::shared_ptr<VKVolumeView> m_volumeSlider;
    std::shared_ptr<VKAudioSlider> m_timeSlider;
    std::shared_ptr<ui::Label> m_timeElapsedLabel, m_timeRemainingLabel, m_trackName, m_playlistInfo, m_bufferingLabel;
    std::shared_ptr<ui::Label> m_noticeLabel;
    std::shared_ptr<ui::Button> m_shuffleButton, m_repeatButton;
    std::shared_ptr<ui::View> m_timeControlsGroup, m_volumeControlGroup;
    std::shared_ptr<ui::ActivityIndicator> m_bufferingIndicator;
    gfx::EdgeInsets m_controlInsets;
    core::Observation m_orientationObservation;
};

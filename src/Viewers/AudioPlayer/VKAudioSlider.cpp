#include "Viewers/AudioPlayer/VKAudioSlider.h"

#include "Platform/UI/Images.h"

std::shared_ptr<VKAudioSlider> VKAudioSlider::create(const gfx::Rect& frame)
{
    auto slider = View::make<VKAudioSlider>(frame);
    slider->setupCustomImages();
    return slider;
}

void VKAudioSlider::setupCustomImages()
{
    setThumbImage(ui::StretchableImage(ui::Images::imageNamed("AudioSliderThumb.png")), Normal);
    setMinimumTrackImage(ui::StretchableImage(ui::Images::imageNamed("AudioSliderMinimumTrack.png"), TrackLeftCap, 0), Normal);
    setMaximumTrackImage(ui::StretchableImage(ui::Images::imageNamed("AudioSliderMaximumTrack.png"), TrackLeftCap, 0), Normal);
}

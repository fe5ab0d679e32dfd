#pragma once

#include "Viewers/AudioPlayer/VKSlider.h"

// The audio screen's time slider: its own knob and tracks, the tracks
// stretched past a 4-point left cap.
class VKAudioSlider : public VKSlider {
public:
    static constexpr int TrackLeftCap = 4;

    static std::shared_ptr<VKAudioSlider> create(const gfx::Rect& frame = {});
    void setupCustomImages();
};

#pragma once

#include "Platform/UI/View.h"

namespace ui {
class Slider;
}

// The volume control of the players: a slider that sets the program's
// output gain for the run. There is no choice of audio route on this
// system, so the route button never shows, whatever is asked.
class VKVolumeView : public ui::View {
public:
    static std::shared_ptr<VKVolumeView> create(const gfx::Rect& frame);

    ui::Slider* slider() const { return m_slider.get(); }
    bool showsRouteButton() const { return false; }
    void setShowsRouteButton(bool) { }
    void layoutSubviews() override;


private:
    std::shared_ptr<ui::Slider> m_slider;
};

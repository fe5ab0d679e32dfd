#pragma once

// The picture-backed button of the browser's bar: style 1 the plain one
// (Cancel), style 2 the blue "done" one (Close); any other style has no
// background. Its title is bold at the small system size, inset 8 points
// on both sides; it fits its title and its background's height.

#include "Platform/UI/Button.h"

#include <memory>

class VKBarButton : public ui::Button {
public:
    enum Style { Default = 1, Done = 2 };

    static std::shared_ptr<VKBarButton> buttonWithStyle(int style);
    static gfx::EdgeInsets titleEdgeInsets() { return { 0, 8, 0, 8 }; }

    VKBarButton();

    gfx::Size sizeThatFits(gfx::Size size) const override;
};

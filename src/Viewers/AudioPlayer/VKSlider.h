#pragma once

#include "Platform/UI/Slider.h"

// A slider that only answers touches on its thumb, grown to a finger's
// size, so that a touch on the rest of the track reaches the views behind
// it; while dragged it takes at most one value step every 0.05 seconds.
// Lifting the finger inside the grown thumb counts as touch-up-inside.
class VKSlider : public ui::Slider {
public:
    static constexpr float MinimumTouchSide = 40;
    static constexpr double MinimumDragInterval = 0.05;

    static std::shared_ptr<VKSlider> create(const gfx::Rect& frame = {});

    // The thumb for the current bounds and value, grown about its centre to
    // at least 40 × 40 points.
    gfx::Rect virtualThumbRect() const;

    ui::View* hitTest(gfx::Point point, const ui::Event* event = nullptr) override;
    bool beginTracking(const ui::Touch& touch, const ui::Event& event) override;
    bool continueTracking(const ui::Touch& touch, const ui::Event& event) override;
    bool isWithinTolerance(gfx::Point point) const override;

private:
    double m_lastTouchTimestamp = 0;
};

#pragma once

// Recognizes a quick stroke in one of its directions: at least 50 points
// along it within 0.5 s of touch-down, with less sideways travel than along.
// Directions are those of the recognizer's view (a turned interface turns
// them with it).

#include "Platform/UI/GestureRecognizer.h"

namespace ui {

class SwipeGestureRecognizer : public GestureRecognizer {
public:
    enum Direction : unsigned { Right = 1, Left = 2, Up = 4, Down = 8 };
    static constexpr float MinimumDistance = 50;
    static constexpr double MaximumDuration = 0.5;

    static std::shared_ptr<SwipeGestureRecognizer> create() { return std::make_shared<SwipeGestureRecognizer>(); }

    unsigned direction() const { return m_direction; }
    void setDirection(unsigned direction) { m_direction = direction & 15; }
    int numberOfTouchesRequired() const { return m_touchesRequired; }
    void setNumberOfTouchesRequired(int touches) { m_touchesRequired = std::max(1, touches); }

    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;

private:
    bool travelled() const;

    unsigned m_direction = Right;
    int m_touchesRequired = 1;
    gfx::Point m_start;
};

} // namespace ui

#pragma once

// Recognizes two fingers moving apart or together: the scale is the
// fingers' distance over their distance at touch-down. Begins once the
// distance changed by more than 8 points, ends when a finger lifts.

#include "Platform/UI/GestureRecognizer.h"

namespace ui {

class PinchGestureRecognizer : public GestureRecognizer {
public:
    static constexpr float Hysteresis = 8;

    static std::shared_ptr<PinchGestureRecognizer> create() { return std::make_shared<PinchGestureRecognizer>(); }

    float scale() const { return m_scale; }
    void setScale(float scale);
    // Scale per second.
    float velocity() const { return m_velocity; }

    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void reset() override;

private:
    float currentDistance() const;

    float m_initialDistance = 0;
    float m_scale = 1;
    float m_scaleBase = 1; // the scale set by setScale, times the raw ratio
    float m_velocity = 0;
    double m_lastTime = 0;
};

} // namespace ui

#pragma once

// Recognizes a finger held down: begins once it stayed down for the minimum
// duration without drifting more than the allowable movement, changes as it
// moves, ends when it lifts.

#include "Platform/UI/GestureRecognizer.h"

namespace ui {

class LongPressGestureRecognizer : public GestureRecognizer {
public:
    static std::shared_ptr<LongPressGestureRecognizer> create() { return std::make_shared<LongPressGestureRecognizer>(); }

    double minimumPressDuration() const { return m_minimumPressDuration; }
    void setMinimumPressDuration(double seconds) { m_minimumPressDuration = seconds; }
    float allowableMovement() const { return m_allowableMovement; }
    void setAllowableMovement(float points) { m_allowableMovement = points; }
    int numberOfTouchesRequired() const { return m_touchesRequired; }
    void setNumberOfTouchesRequired(int touches) { m_touchesRequired = std::max(1, touches); }

    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;

private:
    double m_minimumPressDuration = 0.5;
    float m_allowableMovement = 10;
    int m_touchesRequired = 1;
    gfx::Point m_start;
};

} // namespace ui

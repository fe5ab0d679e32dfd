#pragma once

// Recognizes a drag: begins once the fingers moved more than 10 points,
// changes with every move and ends when they lift, with the velocity of the
// last movement.

#include "Platform/UI/GestureRecognizer.h"

namespace ui {

class PanGestureRecognizer : public GestureRecognizer {
public:
    static constexpr float Hysteresis = 10;

    static std::shared_ptr<PanGestureRecognizer> create() { return std::make_shared<PanGestureRecognizer>(); }

    size_t minimumNumberOfTouches() const { return m_minimumTouches; }
    void setMinimumNumberOfTouches(size_t touches) { m_minimumTouches = std::max<size_t>(1, touches); }
    size_t maximumNumberOfTouches() const { return m_maximumTouches; }
    void setMaximumNumberOfTouches(size_t touches) { m_maximumTouches = touches; }

    // Since the gesture began, in `view`'s space (null: the window's).
    gfx::Point translationInView(const View* view) const;
    // Points per second.
    gfx::Point velocityInView(const View* view) const;

    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void reset() override;

private:
    gfx::Point toView(gfx::Point windowVector, const View* view) const;

    size_t m_minimumTouches = 1;
    size_t m_maximumTouches = SIZE_MAX;
    gfx::Point m_start;     // window space
    gfx::Point m_last;      // window space
    double m_lastTime = 0;
    gfx::Point m_velocity;  // window space
};

} // namespace ui

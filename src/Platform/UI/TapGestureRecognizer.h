#pragma once

// Recognizes taps: the required number of fingers down and up, the required
// number of times, each tap starting within 0.35 s of the last and 44 points
// of the first, none moving more than 10 points.

#include "Platform/UI/GestureRecognizer.h"

namespace ui {

class TapGestureRecognizer : public GestureRecognizer {
public:
    static constexpr double MaximumTapInterval = 0.35;
    static constexpr float MaximumTapDistance = 44;
    static constexpr float AllowableMovement = 10;

    static std::shared_ptr<TapGestureRecognizer> create() { return std::make_shared<TapGestureRecognizer>(); }

    int numberOfTapsRequired() const { return m_tapsRequired; }
    void setNumberOfTapsRequired(int taps) { m_tapsRequired = std::max(1, taps); }
    int numberOfTouchesRequired() const { return m_touchesRequired; }
    void setNumberOfTouchesRequired(int touches) { m_touchesRequired = std::max(1, touches); }

    // A click of the pointer that reached a live web page rather than the
    // toolkit, the `clicks`th in a row, at a point of the window: recognized
    // at once when it is this recognizer's gesture (one finger, that many
    // taps). Touch handlers hear nothing of it.
    void recognizeClick(gfx::Point windowLocation, int clicks);

    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void reset() override;

private:
    int m_tapsRequired = 1;
    int m_touchesRequired = 1;
    int m_taps = 0;
    size_t m_fingersDown = 0;
    gfx::Point m_firstLocation;
    gfx::Point m_tapStart;
};

} // namespace ui

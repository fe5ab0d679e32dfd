#pragma once

// A slider: a value between a minimum and a maximum set by dragging its
// thumb along the track. Continuous sliders send value-changed on every
// move, others once when the finger lifts. Track and thumb rectangles are
// overridable.

#include "Platform/UI/Control.h"
#include "Platform/UI/Images.h"

namespace ui {

class Slider : public Control {
public:
    static constexpr float ThumbSize = 23;
    static constexpr float TrackHeight = 9;

    static std::shared_ptr<Slider> create(const gfx::Rect& frame = {});

    float value() const { return m_value; }
    // Clamped to the range; NaN throws.
    virtual void setValue(float value, bool animated = false);
    float minimumValue() const { return m_minimum; }
    float maximumValue() const { return m_maximum; }
    bool isContinuous() const { return m_continuous; }
    void setContinuous(bool continuous) { m_continuous = continuous; }
    void setThumbImage(StretchableImage image, unsigned state);
    void setMinimumTrackImage(StretchableImage image, unsigned state);
    void setMaximumTrackImage(StretchableImage image, unsigned state);

    virtual gfx::Rect trackRectForBounds(const gfx::Rect& bounds) const;
    virtual gfx::Rect thumbRectForBounds(const gfx::Rect& bounds, const gfx::Rect& trackRect, float value) const;
    // The value a thumb centred at `x` stands for.
    float valueForThumbCenter(float x) const;

    bool beginTracking(const Touch& touch, const Event& event) override;
    bool continueTracking(const Touch& touch, const Event& event) override;
    void endTracking(const Touch* touch, const Event* event) override;
    std::string debugText() const override;

private:
    float m_value = 0;
    float m_minimum = 0;
    float m_maximum = 1;
    bool m_continuous = true;
    bool m_changed = false;
    float m_grabOffset = 0;
    std::map<unsigned, StretchableImage> m_thumbImages, m_minimumTrackImages, m_maximumTrackImages;
};

} // namespace ui

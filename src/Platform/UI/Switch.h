#pragma once

// An on/off switch, always 94 × 27 points. A tap toggles it and sends
// value-changed once; setOn in code sends nothing.

#include "Platform/UI/Control.h"

namespace ui {

class Switch : public Control {
public:
    static constexpr gfx::Size Size { 94, 27 };

    static std::shared_ptr<Switch> create(const gfx::Rect& frame = {});

    bool isOn() const { return m_on; }
    virtual void setOn(bool on, bool animated = false);

    // Turns it over as a tap does, value-changed included.
    void toggle(const Event* event = nullptr);

    void setFrame(const gfx::Rect& frame) override;
    gfx::Size sizeThatFits(gfx::Size size) const override;
    void endTracking(const Touch* touch, const Event* event) override;
    std::string debugText() const override { return m_on ? "on" : "off"; }

private:
    bool m_on = false;
};

} // namespace ui

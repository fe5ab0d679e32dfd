#pragma once

// The on-screen keyboard as a model: it comes up when a text input becomes
// first responder and goes down when the last one resigns, posting the
// will/did show and hide notifications with its begin and end frames (screen
// coordinates), the animation's duration (0.3 s) and curve (0). Focus moving
// from one text input to another keeps it up and posts will-show and
// did-show with duration 0. Heights: phone 216 (162 in landscape), tablet
// 264 (352 in landscape). Main thread only.

#include "Platform/Core/Value.h"
#include "Platform/Graphics/Geometry.h"

namespace ui {

class Keyboard {
public:
    static constexpr const char* willShowNotification = "ui.KeyboardWillShow";
    static constexpr const char* didShowNotification = "ui.KeyboardDidShow";
    static constexpr const char* willHideNotification = "ui.KeyboardWillHide";
    static constexpr const char* didHideNotification = "ui.KeyboardDidHide";
    // User-info keys: frames as rectValue(), duration in seconds, curve number.
    static constexpr const char* frameBeginUserInfoKey = "ui.KeyboardFrameBegin";
    static constexpr const char* frameEndUserInfoKey = "ui.KeyboardFrameEnd";
    static constexpr const char* animationDurationUserInfoKey = "ui.KeyboardAnimationDuration";
    static constexpr const char* animationCurveUserInfoKey = "ui.KeyboardAnimationCurve";
    static constexpr double AnimationDuration = 0.3;

    static Keyboard& shared();

    bool isVisible() const { return m_visible; }
    // Where the keyboard is (or would be) on the screen in the current
    // interface orientation.
    gfx::Rect frame() const;
    static float height(bool tablet, bool landscape);

    // Called on first-responder changes: `moving` when focus goes from one
    // text input straight to another.
    void show(bool moving);
    void hide();

    // A hardware keyboard (a desktop's): the news still go out, but the
    // keyboard stays below the screen, so nothing makes room for it.
    bool isHardware() const { return m_hardware; }
    void setHardware(bool hardware) { m_hardware = hardware; }

    static core::Value rectValue(const gfx::Rect& rect);
    static gfx::Rect rectFromValue(const core::Value& value);

    void resetForTesting();

private:
    gfx::Rect offscreenFrame() const;
    void post(const char* name, const gfx::Rect& begin, const gfx::Rect& end, double duration);

    bool m_visible = false;
    bool m_hardware = false;
    uint64_t m_generation = 0;
};

} // namespace ui

#pragma once

// The on-screen keyboard as a model: it comes up when a text input becomes
// first responder and goes down when the last one resigns, posting the
// will/did show and hide notifications with its begin and end frames (screen
// coordinates), the animation's duration (0.3 s) and curve (0). Focus moving
// from one text input to another keeps it up and posts will-show and
// did-show with duration 0. Heights: phone 216 (162 in landscape), tablet
// 264 (352 in landscape). Main thread only.

#include "Platform/Core/Notification.h"
#include "Platform/Graphics/Geometry.h"

namespace ui {

class Keyboard {
public:
    // What each of the four notices carries: frames on the screen, the
    // animation's duration in seconds and its curve's number.
    struct Change {
        gfx::Rect frameBegin;
        gfx::Rect frameEnd;
        double animationDuration = 0;
        int animationCurve = 0;
    };
    static constexpr core::NoticeName<Change> willShowNotification { "ui.KeyboardWillShow" };
    static constexpr core::NoticeName<Change> didShowNotification { "ui.KeyboardDidShow" };
    static constexpr core::NoticeName<Change> willHideNotification { "ui.KeyboardWillHide" };
    static constexpr core::NoticeName<Change> didHideNotification { "ui.KeyboardDidHide" };
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

    void resetForTesting();

private:
    gfx::Rect offscreenFrame() const;
    void post(core::NoticeName<Change> name, const gfx::Rect& begin, const gfx::Rect& end, double duration);

    bool m_visible = false;
    bool m_hardware = false;
    uint64_t m_generation = 0;
};

} // namespace ui

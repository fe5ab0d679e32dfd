#pragma once

// An input event: touches, motion, a remote-control command, or a scroll or
// zoom (a wheel or touchpad under a pointer), stamped with the run loop's
// clock. Types and subtypes keep the device's numbers; scroll and zoom are
// our own.

#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/Responder.h"

#include <memory>
#include <vector>

namespace ui {

class GestureRecognizer;
class View;
class Window;

class Event {
public:
    enum class Type { Touches = 0, Motion = 1, RemoteControl = 2, Scroll = 3, Zoom = 4 };
    enum Subtype {
        None = 0,
        MotionShake = 1,
        RemoteControlPlay = 100,
        RemoteControlPause = 101,
        RemoteControlStop = 102,
        RemoteControlTogglePlayPause = 103,
        RemoteControlNextTrack = 104,
        RemoteControlPreviousTrack = 105,
        RemoteControlBeginSeekingBackward = 106,
        RemoteControlEndSeekingBackward = 107,
        RemoteControlBeginSeekingForward = 108,
        RemoteControlEndSeekingForward = 109,
    };

    // A touch event over these touches, stamped now.
    static Event touches(TouchSet touches);
    static Event motion(int subtype);
    static Event remoteControl(int subtype);
    // A scroll at `location` (screen points) moving the content under it by
    // `delta` points (positive: towards larger offsets).
    static Event scroll(gfx::Point location, gfx::Point delta);
    // A zoom at `location` (screen points) by `scale` (above 1: closer), as
    // Ctrl and the wheel or a pinch on a touchpad ask.
    static Event zoom(gfx::Point location, float scale);

    Type type() const { return m_type; }
    int subtype() const { return m_subtype; }
    gfx::Point scrollLocation() const { return m_scrollLocation; }
    gfx::Point scrollDelta() const { return m_scrollDelta; }
    float zoomScale() const { return m_zoomScale; }
    double timestamp() const { return m_timestamp; }

    const TouchSet& allTouches() const { return m_touches; }
    TouchSet touchesForView(const View* view) const;
    TouchSet touchesForWindow(const Window* window) const;

private:
    Event(Type type, int subtype, TouchSet touches);
    Type m_type;
    int m_subtype;
    double m_timestamp;
    TouchSet m_touches;
    gfx::Point m_scrollLocation;
    gfx::Point m_scrollDelta;
    float m_zoomScale = 1;
};

} // namespace ui

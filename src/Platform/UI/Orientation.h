#pragma once

// Orientations with the device's numbers: interface orientations 1–4 (3 is
// the home button on the right, the content turned +π/2), which device
// orientations share, plus 0 unknown, 5 face up and 6 face down for the
// device.

namespace ui {

enum class Orientation {
    Unknown = 0,
    Portrait = 1,
    PortraitUpsideDown = 2,
    LandscapeRight = 3, // home button on the right
    LandscapeLeft = 4,  // home button on the left
    FaceUp = 5,
    FaceDown = 6,
};

inline bool isInterfaceOrientation(Orientation o)
{
    return o >= Orientation::Portrait && o <= Orientation::LandscapeLeft;
}

inline bool isLandscape(Orientation o)
{
    return o == Orientation::LandscapeRight || o == Orientation::LandscapeLeft;
}

// The content's rotation for an interface orientation, in radians.
inline float rotationAngle(Orientation o)
{
    constexpr float pi = 3.14159265358979323846f;
    switch (o) {
    case Orientation::PortraitUpsideDown:
        return pi;
    case Orientation::LandscapeRight:
        return pi / 2;
    case Orientation::LandscapeLeft:
        return -pi / 2;
    default:
        return 0;
    }
}

} // namespace ui

#pragma once

// Screens that tests look at: the main screen and the key window set to a
// device's size, and the screen rendered with real text for a person to
// look at (tests keep them under build/screens/).

#include "Platform/Graphics/Geometry.h"

#include <string>

namespace ui {
class Window;
namespace testing {
class Driver;
}
} // namespace ui

namespace test {

struct DeviceScreen {
    std::string name; // "phone", "tablet"
    gfx::Size size;   // upright, in points
    float scale;      // of the pictures taken
    bool tablet;
};

inline const DeviceScreen phoneScreen { "phone", { 320, 480 }, 2, false };
inline const DeviceScreen tabletScreen { "tablet", { 768, 1024 }, 1, true };

// The main screen (bounds and scale), the idiom and the key window take the
// device's upright size.
void useDeviceScreen(ui::Window& window, const DeviceScreen& device);

// Checks what a person would see laid out (every shown label whole inside
// its window unless a clipping view cuts it, no label over another beside
// it), then renders the screen with real text to <directory>/<name>.png
// (the directory made when missing); a failure to write fails the test.
void saveScreen(ui::testing::Driver& driver, const std::string& directory, const std::string& name, float scale);

} // namespace test

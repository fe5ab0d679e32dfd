#pragma once

// Where the desktop window stands between runs: its frame (position and
// size in the desktop's logical pixels, as the window manager gives them)
// kept in the settings as it moves and resizes, and given back at the next
// opening on a monitor that exists then. Plain values, no GTK.

#include "Platform/Graphics/Geometry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

class WindowPlace {
public:
    // The setting: "x y width height", whole pixels.
    static constexpr const char* FrameKey = "DesktopWindowFrame";
    // How much of a frame must lie on a monitor's work area for the frame
    // to stay there: enough to grab and see the window.
    static constexpr float GraspWidth = 120;
    static constexpr float GraspHeight = 80;

    // Nothing for text that is not four whole numbers with a positive size
    // (a damaged or foreign setting), or absurd numbers.
    static std::optional<gfx::Rect> parse(std::string_view text);
    static std::string format(const gfx::Rect& frame);

    // The frame to open at, given the monitors' work areas (the primary
    // first): the saved frame on the work area it lies on most, when enough
    // of it does, moved and shrunk to fit wholly inside it; else the saved
    // size (shrunk likewise) centred on the primary one, as after a monitor
    // was removed or the screen became smaller. Never below `minimum`
    // unless the area itself is smaller. Nothing without work areas.
    static std::optional<gfx::Rect> restore(const gfx::Rect& saved, const std::vector<gfx::Rect>& workAreas,
        gfx::Size minimum);
};

} // namespace ui

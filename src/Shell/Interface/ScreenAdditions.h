#pragma once

// Screen geometry for an interface orientation, the screen's density, the
// largest bundled picture that fits the screen, and whether the status bar
// lies along a long side. Screen coordinates never turn, so a landscape
// orientation swaps widths and heights.

#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Orientation.h"

#include <memory>
#include <string>
#include <vector>

namespace ui {
class Application;
class Screen;
} // namespace ui

gfx::Rect boundsForOrientation(const ui::Screen& screen, ui::Orientation orientation);
// The room the interface has in that orientation: its bounds less the
// status bar along the top while the status bar shows.
gfx::Rect applicationFrameForOrientation(const ui::Screen& screen, ui::Orientation orientation);
// The middle of the bounds, as they stand or for the orientation.
gfx::Point center(const ui::Screen& screen);
gfx::Point centerForOrientation(const ui::Screen& screen, ui::Orientation orientation);
// Pixels per point; 1 where a screen tells none.
float vkScale(const ui::Screen& screen);
bool vkIsRetinaDisplay(const ui::Screen& screen);
// Of the bundle's images by these names, the largest whose longer side is
// shorter than the screen's shorter side; none when none is.
std::shared_ptr<gfx::Image> vkLargestFittingImageFromNames(const ui::Screen& screen, const std::vector<std::string>& names);

bool isStatusBarOrientationLandscape(const ui::Application& application);

#pragma once

// The measures the system's bars, tables and screens share, in points.

#include "Platform/Graphics/Geometry.h"

// A toolbar (and its buttons) in a portrait and in a landscape status-bar
// orientation.
inline constexpr float VKToolbarDefaultHeight = 44;
inline constexpr float VKToolbarSmallHeight = 32;
inline constexpr float VKStatusBarHeight = 20;
// How far a grouped table's cells stand in from its sides (width) and from
// the rows around them (height).
inline constexpr gfx::Size VKTableViewGroupedCellMargin { 10, 0 };
// The content of a modal popover (the folder picker's).
inline constexpr gfx::Size VKModalPopoverContentSize { 320, 500 };

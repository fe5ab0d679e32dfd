#pragma once

// Background colours drawn once and shared: the grey-and-white checkerboard
// behind transparent pictures, and the textured backdrop. Colours are
// values (equal patterns tile the same image), so they serve as keys.

#include "Platform/Graphics/Color.h"

namespace gfx {
class Context;
}

// A 12-point cell of four 6-point squares: white at the origin corner and
// the opposite one, grey 0.8 in the others; the same pattern on every call.
gfx::Color vkCheckerboardBackgroundColor();
// The bundle's "UIStockImageScrollViewTexturedBackgroundColor.png" tiled at
// its own size.
gfx::Color vkScrollViewTexturedBackgroundColor();

// The cells' drawing: one checkerboard cell, and the texture image at the
// origin at its own size.
void VKDrawCheckerboard(gfx::Context& context);
void VKDrawScrollViewTextured(gfx::Context& context);

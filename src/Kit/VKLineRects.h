#pragma once

// Line rectangles from the glyph rectangles of a page: glyphs on one row with
// the same height and small gaps merge into one rectangle, and lines starting
// at the same left edge get a common width, so that a text column shows as a
// block. Rectangles travel packed: x, y, w, h as floats, 16 bytes each.

#include "Platform/Core/Data.h"
#include "Platform/Graphics/Geometry.h"

// In-place sorts of the inclusive range [first, last]: by y, h, x, w and by
// x, y, w, h. Equal rectangles may end in any order.
void VKRectQuicksortByRow(gfx::Rect* first, gfx::Rect* last);
void VKRectQuicksortByColumn(gfx::Rect* first, gfx::Rect* last);

// The line rectangles of packed glyph rectangles; a trailing partial
// rectangle is ignored and the input is left unchanged.
core::Data VKLineRectsFromGlyphRects(const core::Data& glyphRects);

#pragma once

#include "Platform/Graphics/Font.h"

#include <string>
#include <string_view>

// Text and paths shortened with an ellipsis (U+2026) to fit a width in a
// font, as labels and cells show names. A text fits when its one-line width
// is at most `width`. Cuts fall between code points.

// The text when it fits; otherwise the longest start of it that fits with
// an ellipsis after it, at least one character shorter than the text, or
// the ellipsis alone.
std::string stringByTailTruncatingStringWithFont(std::string_view text, const gfx::Font& font, float width);

// The path's components joined by `separator`, shortened to fit: first the
// folder names are cut down step by step (the longest first, keeping their
// starts), then all but the nearest folder give way to an ellipsis, then that
// one too, then the folders vanish; the last component (the item's own name)
// is only tail-truncated at the very end.
std::string pathComponentsJoinedByString(std::string_view path, std::string_view separator, float width,
    const gfx::Font& font);

#pragma once

// The Link data detector of a text view: the runs of a text that are links,
// the address each opens, a line drawn with its links in the link colour and
// underlined, and the link under a point of a line. It keeps nothing: the
// view asks it about the paragraphs (or segments of a long one) that show.

#include "Platform/Core/Range.h"
#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/TextLayout.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {
class Context;
}

namespace ui {

class TextViewLinks {
public:
    // Runs from "http://", "https://", "ftp://", "mailto:" or "www." at the
    // start of a word to the next space, less closing punctuation, as UTF-8
    // byte ranges.
    static std::vector<core::Range> ranges(std::string_view text);
    // The address of a link run ("www." ones as http).
    static std::string address(std::string_view run);
    static gfx::Color color();
    // `line` starts at byte `lineStart` of the text `links` were found in;
    // it is drawn at `at` in `textColor`, its links in the link colour.
    static void drawLine(gfx::Context& context, std::string_view line, size_t lineStart,
        const std::vector<core::Range>& links, gfx::Point at, const gfx::Font& font, const gfx::Color& textColor);
    // The address of the link of `text` whose part on `line` spans `x`
    // (measured from the line's start).
    static std::optional<std::string> addressAt(std::string_view text, TextLayout::Span line, float x,
        const gfx::Font& font);
};

} // namespace ui

#pragma once

// The toolkit's fonts and text measurement. Sizes are the device's: labels
// 17, buttons 18, the system size 14, the small one 12. Measurements go
// through gfx::TextEngine (deterministic in tests) and are rounded up to
// whole points, as the device's are.

#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/TextEngine.h"

#include <string_view>

namespace ui {

class Fonts {
public:
    static constexpr float LabelFontSize = 17;
    static constexpr float ButtonFontSize = 18;
    static constexpr float SystemFontSize = 14;
    static constexpr float SmallSystemFontSize = 12;

    static gfx::Font systemFont(float size) { return gfx::Font::systemFont(size); }
    static gfx::Font boldSystemFont(float size) { return gfx::Font::boldSystemFont(size); }
    static float lineHeight(const gfx::Font& font);

    // One line.
    static gfx::Size sizeOfString(std::string_view text, const gfx::Font& font);
    // One line no wider than `width`, cut as `mode` says.
    static gfx::Size sizeOfString(std::string_view text, const gfx::Font& font, float width, gfx::LineBreakMode mode);
    // Wrapped in `size` (height 0: unbounded).
    static gfx::Size sizeOfString(std::string_view text, const gfx::Font& font, gfx::Size size, gfx::LineBreakMode mode);
    // One line in `width`, the font shrunk by whole points down to
    // `minimumSize` until the text fits; `actualSize` answers the size used.
    static gfx::Size sizeOfString(std::string_view text, const gfx::Font& font, float minimumSize, float* actualSize,
        float width, gfx::LineBreakMode mode);
};

} // namespace ui

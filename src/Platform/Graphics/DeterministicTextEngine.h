#pragma once

// The default text engine: widths from the fonts' deterministic metric,
// ascender 0.8, descender 0.2 and line height 1.2 × the size, and every
// visible glyph drawn as a filled box, so that measurements and pictures are
// the same on every machine.

#include "Platform/Graphics/TextEngine.h"

namespace gfx {

class DeterministicTextEngine : public TextEngine {
public:
    float widthOfString(std::string_view text, const Font& font) override;
    FontMetrics metrics(const Font& font) override;

protected:
    void drawLine(Context& context, std::string_view line, float x, float y, const Font& font) override;
};

} // namespace gfx

#include "Platform/Graphics/DeterministicTextEngine.h"

#include "Platform/Core/CodePoints.h"
#include "Platform/Graphics/Context.h"

namespace gfx {

float DeterministicTextEngine::widthOfString(std::string_view text, const Font& font)
{
    return font.widthOfString(text);
}

FontMetrics DeterministicTextEngine::metrics(const Font& font)
{
    float size = font.pointSize();
    return { 0.8f * size, 0.2f * size, 1.2f * size };
}

void DeterministicTextEngine::drawLine(Context& context, std::string_view line, float x, float y, const Font& font)
{
    // A box per glyph: a tenth of the advance clear on each side, from the
    // baseline up to 0.7 × the size.
    const float size = font.pointSize();
    const float baseline = y + 0.8f * size;
    double pen = x;
    core::forEachCodePoint(line, [&](const core::CodePoint& point, size_t) {
        char32_t c = point.valid ? point.value : 0xFFFD;
        float advance = font.advanceOfCodePoint(c);
        if (advance > 0 && c != ' ' && c != '\t' && c != 0xA0 && c != 0x3000)
            context.fillRect(Rect(float(pen + 0.1 * advance), baseline - 0.7f * size, 0.8f * advance, 0.7f * size));
        pen += advance;
    });
}

std::shared_ptr<TextEngine> makeDeterministicTextEngine()
{
    return std::make_shared<DeterministicTextEngine>();
}

} // namespace gfx

#include "Platform/UI/Fonts.h"

#include <algorithm>
#include <cmath>

namespace ui {

namespace {

gfx::Size roundedUp(gfx::Size size)
{
    // Against float noise: 42.50001 must not become 43 when 42.5 would.
    auto up = [](float v) { return std::ceil(v - 1e-4f); };
    return { up(size.width), up(size.height) };
}

} // namespace

float Fonts::lineHeight(const gfx::Font& font)
{
    return gfx::textEngine()->metrics(font).lineHeight;
}

gfx::Size Fonts::sizeOfString(std::string_view text, const gfx::Font& font)
{
    return roundedUp(gfx::textEngine()->sizeOfString(text, font));
}

gfx::Size Fonts::sizeOfString(std::string_view text, const gfx::Font& font, float width, gfx::LineBreakMode mode)
{
    return roundedUp(gfx::textEngine()->sizeOfString(text, font, width, mode));
}

gfx::Size Fonts::sizeOfString(std::string_view text, const gfx::Font& font, gfx::Size size, gfx::LineBreakMode mode)
{
    return roundedUp(gfx::textEngine()->sizeOfString(text, font, size, mode));
}

gfx::Size Fonts::sizeOfString(std::string_view text, const gfx::Font& font, float minimumSize, float* actualSize,
    float width, gfx::LineBreakMode mode)
{
    auto engine = gfx::textEngine();
    float size = font.pointSize();
    float floor = std::min(minimumSize, size);
    // The largest whole size at or above the minimum whose line fits.
    while (size > floor && engine->widthOfString(text, font.fontWithSize(size)) > width)
        size = std::max(floor, std::ceil(size) - 1);
    if (actualSize)
        *actualSize = size;
    return roundedUp(engine->sizeOfString(text, font.fontWithSize(size), width, mode));
}

} // namespace ui

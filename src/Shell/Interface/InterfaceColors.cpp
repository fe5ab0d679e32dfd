#include "Shell/Interface/InterfaceColors.h"

#include "Platform/Core/Log.h"

#include <charconv>
#include <cstdint>

gfx::Color whiteTextShadowColor()
{
    return gfx::Color::rgb255(70, 85, 104);
}

gfx::Color iPadGroupTableViewBackgroundColor()
{
    return gfx::Color::rgb255(225, 228, 233);
}

gfx::Color iPadBarButtonItemDarkTextColor()
{
    return gfx::Color::rgb255(113, 120, 128);
}

gfx::Color iPadBarButtonItemDarkTextShadowColor()
{
    return gfx::Color::white(0.92f);
}

gfx::Color iPadBarButtonItemTintColor()
{
    return gfx::Color::rgb255(152, 157, 164);
}

gfx::Color iPadPopoverBorderColor()
{
    return gfx::Color::rgb255(10, 18, 38);
}

gfx::Color documentBorderColor()
{
    return gfx::Color::rgb255(172, 178, 187);
}

gfx::Color tableViewCellTextValueColor()
{
    return gfx::Color::rgb255(50, 80, 133);
}

gfx::Color tableViewCellMarkedBackgroundColor()
{
    return gfx::Color::rgb255(233, 240, 250);
}

std::optional<gfx::Color> colorWithHexString(std::string_view text, float alpha)
{
    if (text.size() != 7 || text[0] != '#')
        return std::nullopt;
    // Exactly six digits, no sign, no prefix: the whole rest must be read.
    std::string_view digits = text.substr(1);
    uint32_t value = 0;
    auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (failure != std::errc() || end != digits.data() + digits.size()) {
        core::log("UIColor, invalid hex string: {}", text);
        return std::nullopt;
    }
    return gfx::Color(float((value >> 16) & 0xFF) / 255.0f, float((value >> 8) & 0xFF) / 255.0f,
        float(value & 0xFF) / 255.0f, alpha);
}

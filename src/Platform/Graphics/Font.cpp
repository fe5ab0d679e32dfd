#include "Platform/Graphics/Font.h"

#include "Platform/Core/CodePoints.h"

#include <unicode/uchar.h>

#include <array>
#include <cmath>

namespace gfx {

namespace {

    // The families the system names in its layouts and documents.
    constexpr std::array kFamilies { "Helvetica", "Helvetica Neue", "Arial", "Courier", "Courier New", "Georgia",
        "Times New Roman", "Verdana", "Trebuchet MS", "Marker Felt", "American Typewriter" };

    const char* knownFamily(std::string_view family)
    {
        for (const char* known : kFamilies) {
            if (family == known)
                return known;
        }
        return nullptr;
    }

    float sanitizedSize(float size) { return std::isfinite(size) && size > 0 ? size : 0; }

    // Advances count in twentieths of the point size, so that widths add up
    // exactly before the one scaling.
    constexpr int kUnitsPerSize = 20;

    int advanceUnits(char32_t c, bool valid, bool bold)
    {
        const int plain = bold ? 11 : 10;
        if (!valid)
            return plain;
        int32_t width = u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_EAST_ASIAN_WIDTH);
        if (width == U_EA_WIDE || width == U_EA_FULLWIDTH)
            return kUnitsPerSize;
        if (U_GET_GC_MASK(static_cast<UChar32>(c)) & (U_GC_MN_MASK | U_GC_ME_MASK))
            return 0;
        return plain;
    }

} // namespace

Font::Font(std::string family, float size, bool bold)
    : m_family(std::move(family))
    , m_size(sanitizedSize(size))
    , m_bold(bold)
{
}

Font Font::systemFont(float size)
{
    return Font(SystemFamily, size, false);
}

Font Font::boldSystemFont(float size)
{
    return Font(SystemFamily, size, true);
}

Font Font::fontWithName(std::string_view name, float size)
{
    bool bold = false;
    std::string_view family = name;
    for (std::string_view suffix : { "-Bold", "-BoldMT", " Bold" }) {
        if (family.size() > suffix.size() && family.ends_with(suffix)) {
            family.remove_suffix(suffix.size());
            bold = true;
            break;
        }
    }
    if (const char* known = knownFamily(family))
        return Font(known, size, bold);
    return systemFont(size);
}

std::string Font::fontName() const
{
    return m_bold ? m_family + "-Bold" : m_family;
}

Font Font::fontWithSize(float size) const
{
    return Font(m_family, size, m_bold);
}

float Font::advanceOfCodePoint(char32_t c) const
{
    return static_cast<float>(static_cast<double>(advanceUnits(c, true, m_bold)) * m_size / kUnitsPerSize);
}

float Font::widthOfString(std::string_view text) const
{
    int64_t units = 0;
    core::forEachCodePoint(text, [&](const core::CodePoint& point, size_t) {
        units += advanceUnits(point.value, point.valid, m_bold);
    });
    return static_cast<float>(static_cast<double>(units) * m_size / kUnitsPerSize);
}

} // namespace gfx

#include "Platform/Graphics/Color.h"

#include "Platform/Graphics/Image.h"

#include <bit>
#include <cstdint>

namespace gfx {

Color Color::patternWithImage(std::shared_ptr<Image> image)
{
    Color color(0, 0, 0, 1);
    color.m_pattern = std::move(image);
    return color;
}

Color Color::colorWithAlphaComponent(float alpha) const
{
    Color color = *this;
    color.m_alpha = alpha;
    return color;
}

bool Color::operator==(const Color& other) const
{
    return m_red == other.m_red && m_green == other.m_green && m_blue == other.m_blue && m_alpha == other.m_alpha
        && m_pattern == other.m_pattern;
}

size_t Color::hash() const
{
    // 0.0 and -0.0 are equal, so they must hash alike.
    auto bits = [](float value) -> uint64_t { return std::bit_cast<uint32_t>(value == 0 ? 0.0f : value); };
    uint64_t h = bits(m_red) * 0x9E3779B97F4A7C15ull;
    h ^= bits(m_green) + 0x7F4A7C159E3779B9ull + (h << 6) + (h >> 2);
    h ^= bits(m_blue) + 0x94D049BB133111EBull + (h << 6) + (h >> 2);
    h ^= bits(m_alpha) + 0xBF58476D1CE4E5B9ull + (h << 6) + (h >> 2);
    h ^= std::hash<const void*>()(m_pattern.get());
    return size_t(h);
}

} // namespace gfx

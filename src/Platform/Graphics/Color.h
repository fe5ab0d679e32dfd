#pragma once

// A colour for drawing: red, green, blue and alpha from 0 to 1, or a pattern
// that repeats an image (backgrounds behind transparent pictures, textures).
// Colours are values; equal colours hash alike, so they can key tables.

#include <cstddef>
#include <functional>
#include <memory>

namespace gfx {

class Image;

class Color {
public:
    // Transparent black.
    Color() = default;
    Color(float red, float green, float blue, float alpha = 1)
        : m_red(red)
        , m_green(green)
        , m_blue(blue)
        , m_alpha(alpha)
    {
    }
    static Color white(float white, float alpha = 1) { return Color(white, white, white, alpha); }
    // Components from 0 to 255, as the system's tables give them.
    static Color rgb255(int red, int green, int blue, float alpha = 1)
    {
        return Color(float(red) / 255.0f, float(green) / 255.0f, float(blue) / 255.0f, alpha);
    }
    // Tiles the image from the origin of the context's own space, upright,
    // at the image's size in points. Nothing painted without an image.
    static Color patternWithImage(std::shared_ptr<Image> image);

    float red() const { return m_red; }
    float green() const { return m_green; }
    float blue() const { return m_blue; }
    float alpha() const { return m_alpha; }
    bool isPattern() const { return m_pattern != nullptr; }
    const std::shared_ptr<Image>& patternImage() const { return m_pattern; }

    Color colorWithAlphaComponent(float alpha) const;

    // Patterns are equal when they tile the same image object.
    bool operator==(const Color& other) const;
    size_t hash() const;

private:
    float m_red = 0, m_green = 0, m_blue = 0, m_alpha = 0;
    std::shared_ptr<Image> m_pattern;
};

} // namespace gfx

template<> struct std::hash<gfx::Color> {
    size_t operator()(const gfx::Color& color) const { return color.hash(); }
};

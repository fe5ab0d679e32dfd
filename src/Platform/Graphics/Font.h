#pragma once

#include <string>
#include <string_view>

namespace gfx {

// A font: family, point size and weight. Text is measured with a
// deterministic metric, the same on every machine, so that layouts,
// truncations and their tests never depend on installed fonts:
//
//   each code point advances 0.5 × size (0.55 × size in bold);
//   East Asian wide and full-width code points advance 1.0 × size;
//   combining marks (nonspacing and enclosing) advance 0;
//   a byte that is not part of well-formed UTF-8 counts as one code point.
//
// Text is laid out, measured and drawn through gfx::TextEngine: its default
// engine uses this metric, the Pango engine real glyphs.
class Font {
public:
    // The system font's family.
    static constexpr const char* SystemFamily = "Helvetica";

    static Font systemFont(float size);
    static Font boldSystemFont(float size);
    // A font by its name ("Helvetica-Bold", "Courier", "Georgia"); a name
    // the system does not know gives the system font of that size.
    static Font fontWithName(std::string_view name, float size);

    const std::string& familyName() const { return m_family; }
    // The name fontWithName() takes: the family, "-Bold" for bold faces.
    std::string fontName() const;
    float pointSize() const { return m_size; }
    bool isBold() const { return m_bold; }
    Font fontWithSize(float size) const;

    // The width of the text set on one line (line breaks measure like any
    // other character).
    float widthOfString(std::string_view text) const;
    // The advance of one code point.
    float advanceOfCodePoint(char32_t c) const;

    bool operator==(const Font& other) const = default;

private:
    Font(std::string family, float size, bool bold);

    std::string m_family;
    float m_size = 0;
    bool m_bold = false;
};

} // namespace gfx

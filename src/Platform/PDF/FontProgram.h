#pragma once

// What text extraction needs of a font program embedded in a document: the
// glyph name of each code of the program's own (built-in) encoding. Type 1
// programs keep that encoding in their cleartext part, CFF programs as a
// standard or custom encoding over their charset; both are read with
// FreeType, one reader per call, so calls on several threads never meet.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace pdf {

class FontProgram {
public:
    // Programs longer than this are not read.
    static constexpr size_t kMaximumBytes = size_t(16) << 20;

    using GlyphNames = std::array<std::string, 256>;

    // The glyph names of codes 0 to 255 ("" where the encoding leaves a
    // code empty or names .notdef); nothing when the bytes are no Type 1,
    // CFF or OpenType program with glyph names and a built-in encoding.
    static std::optional<GlyphNames> builtInEncoding(std::string_view bytes);
};

} // namespace pdf

#include "Platform/PDF/FontProgram.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace pdf {

namespace {

// Glyph names longer than this are cut; PostScript names are at most 127.
constexpr size_t kMaximumGlyphName = 127;

struct Library {
    FT_Library library = nullptr;
    Library() { FT_Init_FreeType(&library); }
    ~Library()
    {
        if (library)
            FT_Done_FreeType(library);
    }
};

struct Face {
    FT_Face face = nullptr;
    ~Face()
    {
        if (face)
            FT_Done_Face(face);
    }
};

// The charmap that holds the program's own encoding: FreeType gives a
// custom one for a program that defines its encoding, the standard or
// expert one for a program that names those, beside the Unicode map it
// derives from glyph names (which says nothing about codes).
FT_CharMap builtInCharmap(FT_Face face)
{
    for (FT_Encoding wanted : { FT_ENCODING_ADOBE_CUSTOM, FT_ENCODING_ADOBE_STANDARD, FT_ENCODING_ADOBE_EXPERT,
             FT_ENCODING_ADOBE_LATIN_1 }) {
        for (int i = 0; i < face->num_charmaps; ++i) {
            if (face->charmaps[i]->encoding == wanted)
                return face->charmaps[i];
        }
    }
    return nullptr;
}

} // namespace

std::optional<FontProgram::GlyphNames> FontProgram::builtInEncoding(std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > kMaximumBytes)
        return std::nullopt;
    Library library;
    if (!library.library)
        return std::nullopt;
    Face face;
    if (FT_New_Memory_Face(library.library, reinterpret_cast<const FT_Byte*>(bytes.data()), FT_Long(bytes.size()), 0,
            &face.face)
        || !FT_HAS_GLYPH_NAMES(face.face))
        return std::nullopt;
    FT_CharMap charmap = builtInCharmap(face.face);
    if (!charmap || FT_Set_Charmap(face.face, charmap))
        return std::nullopt;
    GlyphNames names;
    char buffer[kMaximumGlyphName + 1];
    for (FT_ULong code = 0; code < 256; ++code) {
        FT_UInt glyph = FT_Get_Char_Index(face.face, code);
        if (glyph == 0)
            continue;
        buffer[0] = '\0';
        if (FT_Get_Glyph_Name(face.face, glyph, buffer, sizeof buffer))
            continue;
        std::string_view name(buffer);
        if (name != ".notdef")
            names[code] = name;
    }
    return names;
}

} // namespace pdf

#pragma once

#include <string>
#include <string_view>

namespace rtf {

// What the bytes of a font mean: the code page its character set names in
// the font table, or, for the symbol fonts, a table of pictures and signs of
// its own.

// The name a code page is opened by (core::TextConverter): the Mac code
// pages as glibc or ICU spell them, UTF-8 by its name, every other as "CP"
// and its number.
std::string codePageName(unsigned codePage);

// The code page of a font character set (the number after "\fcharset"), or
// 0 for the ANSI and default sets and for numbers no code page belongs to:
// their bytes are in the document's code page.
unsigned codePageOfCharset(int charset);

// The symbol fonts, whose bytes (and the private-use characters U+F020 to
// U+F0FF that stand for them in Unicode) are signs rather than letters.
enum class SymbolEncoding {
    None, // a font of letters
    Symbol, // the Symbol font, and symbol fonts this reader has no table for
    Wingdings,
    Unmapped, // pictures without Unicode characters: written as nothing
};

// The encoding of a font given its character set and name: the symbol
// character set (2), or a symbol font named as such without it.
SymbolEncoding symbolEncodingOfFont(int charset, std::string_view name);

// The character a byte (0x20 to 0xFF) shows under a symbol font, or 0 when
// it shows nothing a reader could use.
char32_t symbolCharacter(SymbolEncoding encoding, int byte);

} // namespace rtf

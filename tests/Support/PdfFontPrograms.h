#pragma once

// Small font programs to embed in test documents, made byte by byte: a bare
// CFF program (what a PDF embeds as FontFile3 /Type1C) and a Type 1 program
// (FontFile, cleartext then the eexec-encrypted part), each with its own
// built-in encoding of the given glyph names. Their glyphs draw nothing and
// advance 500 units; text extraction reads only the names.

#include <string>
#include <utility>
#include <vector>

namespace test {

class PdfFontPrograms {
public:
    // Code and glyph name pairs of the built-in encoding.
    using Encoding = std::vector<std::pair<int, std::string>>;

    // A CFF program with a custom encoding and charset.
    static std::string cff(const Encoding& encoding, const std::string& fontName = "TestCFF");

    struct Type1 {
        std::string bytes;
        // The lengths of the cleartext part, the encrypted part and the
        // trailer of zeros (FontFile's Length1, Length2 and Length3).
        size_t length1 = 0, length2 = 0, length3 = 0;
    };
    // A Type 1 program whose /Encoding array names the glyphs.
    static Type1 type1(const Encoding& encoding, const std::string& fontName = "TestTypeOne");
};

} // namespace test

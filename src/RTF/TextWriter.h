#pragma once

#include "RTF/FontEncodings.h"

#include <array>
#include <string>
#include <string_view>

namespace rtf {

class GenericConverter;
struct GroupState;
struct OutputTags;

// The document's text as it is written: text words (capitals, small
// capitals, long runs that may break anywhere, runs of characters the tag set
// writes as themselves), hexadecimal characters decoded through the code
// pages or a symbol font, and the counts of the line and run written so far
// that make a blank opening a line, and blanks in a row, non-breaking. Held by one
// converter, which it writes through.
class TextWriter {
public:
    explicit TextWriter(GenericConverter& converter);
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    // A conversion starts: the characters the tag set writes as themselves.
    void startDocument(const OutputTags& tags);
    // A text word, or what is left of one after skipped fallback characters.
    void printText(GroupState& group, std::string_view text);
    // A hexadecimal character (its text without the backslash).
    void printHex(GroupState& group, std::string_view name);
    // The HTML for one text character, empty for nothing. Never points into
    // storage shared between conversions.
    std::string_view translate(const OutputTags* tags, int charset, int ch);

    // A new line or paragraph starts the counts again.
    void resetCounters()
    {
        m_line_chars = 0;
        m_run_chars = 0;
    }
    // One more character, written by a keyword.
    void countCharacter();
    // The end of a conversion: no run of blanks goes on.
    void clear() { m_nbsp_run = false; }

private:
    // The HTML of a character decoded from code-page bytes.
    void printDecoded(GroupState& group, std::string_view html);
    // A text character under a symbol font.
    void printSymbol(SymbolEncoding encoding, int byte);
    // The HTML of a byte under a symbol font: its sign, or in a list's
    // marker a bullet where the font's table has none.
    std::string symbolHTML(SymbolEncoding encoding, int byte) const;

    GenericConverter& m_converter;
    bool m_nbsp_run = false;
    int m_line_chars = 0;
    int m_run_chars = 0;
    bool m_bad_hex_logged = false;
    // Characters the tag set writes as themselves.
    std::array<bool, 256> m_plain {};
};

} // namespace rtf

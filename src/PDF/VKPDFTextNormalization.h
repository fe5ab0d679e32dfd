#pragma once

// How extracted characters become the page text that people copy and
// search: composed (NFC), with accents that fonts draw as glyphs of their
// own (TeX sets ü as a diaeresis placed over a u) joined to their letter.

#include <string>
#include <string_view>

class VKPDFTextNormalization {
public:
    // The combining mark of a spacing accent character (U+00A8 diaeresis
    // gives U+0308), or 0 when `accent` is none.
    static char16_t combiningFormOfAccent(char16_t accent);
    // The letter with the accent's mark, composed: "u" and U+00A8 give "ü".
    // A dotless i or j takes the mark as i or j (TeX accents \i and \j).
    static std::u16string accented(std::u16string_view letter, char16_t accent);
    // Whether an accent may sit on this text: one letter.
    static bool takesAccent(std::u16string_view text);
};

#pragma once

namespace rtf {

class GenericConverter;
class Word;

// The characters that control words stand for: escaped braces and
// backslashes, quotation marks, dashes, bullets, spaces, tabs and breaks,
// and Unicode characters (\u, with its fallback count \uc), keeping the high
// half of a surrogate pair until its low half comes. Held by one converter,
// which it writes through.
class SpecialCharacters {
public:
    explicit SpecialCharacters(GenericConverter& converter);
    SpecialCharacters(const SpecialCharacters&) = delete;
    SpecialCharacters& operator=(const SpecialCharacters&) = delete;

    // Writes a character by its code point; control characters other than
    // tab and line ends are the replacement character.
    void outputUnicode(int codePoint);
    // A high surrogate whose low half never came is the replacement
    // character.
    void flushSurrogate();
    // Forgets a waiting high surrogate.
    void clear() { m_high_surrogate = 0; }

    static bool cmd_slash(GenericConverter*, const Word*, bool, short);
    static bool cmd_opening_brace(GenericConverter*, const Word*, bool, short);
    static bool cmd_closing_brace(GenericConverter*, const Word*, bool, short);
    static bool cmd_nonbreaking_space(GenericConverter*, const Word*, bool, short);
    static bool cmd_optional_hyphen(GenericConverter*, const Word*, bool, short);
    static bool cmd_nonbreaking_hyphen(GenericConverter*, const Word*, bool, short);
    static bool cmd_tab(GenericConverter*, const Word*, bool, short);
    static bool cmd_line(GenericConverter*, const Word*, bool, short);
    static bool cmd_page(GenericConverter*, const Word*, bool, short);
    static bool cmd_sect(GenericConverter*, const Word*, bool, short);
    static bool cmd_bullet(GenericConverter*, const Word*, bool, short);
    static bool cmd_emdash(GenericConverter*, const Word*, bool, short);
    static bool cmd_endash(GenericConverter*, const Word*, bool, short);
    static bool cmd_lquote(GenericConverter*, const Word*, bool, short);
    static bool cmd_rquote(GenericConverter*, const Word*, bool, short);
    static bool cmd_ldblquote(GenericConverter*, const Word*, bool, short);
    static bool cmd_rdblquote(GenericConverter*, const Word*, bool, short);
    static bool cmd_u(GenericConverter*, const Word*, bool, short);
    static bool cmd_uc(GenericConverter*, const Word*, bool, short);

private:
    // A special character's text; `count` also when the tag set has none.
    void outputCharacter(const char* text, bool count);

    GenericConverter& m_converter;
    // A high surrogate from \u waiting for its low half.
    int m_high_surrogate = 0;
};

} // namespace rtf

// Special characters and Unicode characters.

#include "RTF/SpecialCharacters.h"

#include "RTF/GenericConverter.h"
#include "RTF/GenericConverterHelpers.h"
#include "RTF/OutputTags.h"

namespace rtf {

using namespace detail;

namespace {

    bool isHighSurrogate(int c)
    {
        return c >= 0xD800 && c <= 0xDBFF;
    }

    bool isLowSurrogate(int c)
    {
        return c >= 0xDC00 && c <= 0xDFFF;
    }

} // namespace

SpecialCharacters::SpecialCharacters(GenericConverter& converter)
    : m_converter(converter)
{
}

void SpecialCharacters::outputCharacter(const char* text, bool count)
{
    if (text && *text) {
        m_converter.starting_character();
        m_converter.OutputString(text);
        count = true;
    }
    if (count) {
        m_converter.m_text.countCharacter();
    }
}

void SpecialCharacters::outputUnicode(int codePoint)
{
    // Control characters other than tab and line ends have no place in HTML.
    if (codePoint < 32 && codePoint != 9 && codePoint != 10 && codePoint != 13)
        codePoint = 0xFFFD;
    m_converter.starting_character();
    m_converter.OutputFormatString(m_converter.tags().unicode_char, codePoint);
}

void SpecialCharacters::flushSurrogate()
{
    if (m_high_surrogate) {
        m_high_surrogate = 0;
        outputUnicode(0xFFFD);
    }
}

bool SpecialCharacters::cmd_slash(GenericConverter* c, const Word*, bool, short)
{
    c->m_special.outputCharacter("\\", true);
    return false;
}

bool SpecialCharacters::cmd_opening_brace(GenericConverter* c, const Word*, bool, short)
{
    c->m_special.outputCharacter("{", true);
    return false;
}

bool SpecialCharacters::cmd_closing_brace(GenericConverter* c, const Word*, bool, short)
{
    c->m_special.outputCharacter("}", true);
    return false;
}

#define RTF_CHARACTER_HANDLER(name, slot, countAlways)                          \
    bool SpecialCharacters::name(GenericConverter* c, const Word*, bool, short) \
    {                                                                           \
        c->m_special.outputCharacter(c->tags().slot, countAlways);              \
        return false;                                                           \
    }

RTF_CHARACTER_HANDLER(cmd_lquote, lquote, true)
RTF_CHARACTER_HANDLER(cmd_rquote, rquote, true)
RTF_CHARACTER_HANDLER(cmd_ldblquote, ldblquote, true)
RTF_CHARACTER_HANDLER(cmd_rdblquote, rdblquote, true)
RTF_CHARACTER_HANDLER(cmd_endash, endash, true)
RTF_CHARACTER_HANDLER(cmd_emdash, emdash, true)
RTF_CHARACTER_HANDLER(cmd_nonbreaking_hyphen, nonbreaking_hyphen, true)
RTF_CHARACTER_HANDLER(cmd_optional_hyphen, optional_hyphen, true)
RTF_CHARACTER_HANDLER(cmd_bullet, bullet, false)
RTF_CHARACTER_HANDLER(cmd_nonbreaking_space, nonbreaking_space, false)

#undef RTF_CHARACTER_HANDLER

bool SpecialCharacters::cmd_tab(GenericConverter* c, const Word*, bool, short)
{
    const char* space = c->tags().space;
    if (space && *space) {
        c->starting_character();
        for (int i = 0; i < 4; ++i)
            c->OutputString(space);
    }
    return false;
}

bool SpecialCharacters::cmd_line(GenericConverter* c, const Word*, bool, short)
{
    c->OutputString(c->tags().line_break);
    c->m_text.resetCounters();
    return false;
}

bool SpecialCharacters::cmd_page(GenericConverter* c, const Word*, bool, short)
{
    c->OutputString(c->tags().page_break);
    c->m_text.resetCounters();
    return false;
}

bool SpecialCharacters::cmd_sect(GenericConverter* c, const Word*, bool, short)
{
    c->OutputString(c->tags().section_break);
    return false;
}

bool SpecialCharacters::cmd_u(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (!has_param || param == 0)
        return false;
    int codePoint = param < 0 ? param + 65536 : param;
    if (codePoint == 8232) { // line separator
        c->m_special.flushSurrogate();
        c->OutputString(c->tags().line_break);
        c->m_text.resetCounters();
    } else if (isHighSurrogate(codePoint)) {
        // Characters beyond the first plane come as two halves; the first
        // waits for the second.
        c->m_special.flushSurrogate();
        c->m_special.m_high_surrogate = codePoint;
    } else if (isLowSurrogate(codePoint)) {
        int high = c->m_special.m_high_surrogate;
        c->m_special.m_high_surrogate = 0;
        c->m_special.outputUnicode(high ? 0x10000 + ((high - 0xD800) << 10) + (codePoint - 0xDC00) : 0xFFFD);
    } else if (codePoint >= 0xF020 && codePoint <= 0xF0FF && c->font_decoder().symbol != SymbolEncoding::None) {
        // A symbol font's sign at its byte plus U+F000, in a private area
        // no font of the reader's shows: the sign's own character or nothing
        // (a bullet in a list's marker).
        if (char32_t character = symbolCharacter(c->font_decoder().symbol, codePoint - 0xF000))
            c->m_special.outputUnicode(static_cast<int>(character));
        else if (c->in_list_text())
            c->m_special.outputUnicode(0x2022);
        else
            c->m_special.flushSurrogate();
    } else if (codePoint >= 0xE000 && codePoint <= 0xF8FF && c->in_list_text()) {
        // A list's marker in a private area, its symbol font not in force
        // there: a bullet is what it shows.
        c->m_special.outputUnicode(0x2022);
    } else {
        c->m_special.outputUnicode(codePoint);
    }
    // The characters that stand in for it are not written.
    if (c->m_chain)
        c->m_chain->skip = c->m_chain->uc;
    return false;
}

bool SpecialCharacters::cmd_uc(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (has_param && param >= 0 && c->m_chain)
        c->m_chain->uc = param;
    return false;
}

} // namespace rtf

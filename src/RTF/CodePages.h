#pragma once

#include "Platform/Core/TextConverter.h"
#include "RTF/FontEncodings.h"

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace rtf {

class GenericConverter;
class Word;

// What the bytes of a document mean: the document's character set and code
// page (\ansi, \ansicpg, \mac, \pc, \pca), the font table with each font's
// character set (\fonttbl, \deff), the code pages of fonts opened when first
// needed, the bytes of a character not yet complete, and the language in
// force (\deflang, \lang) with its letters. Held by one converter, whose
// log it writes to.
class CodePages {
public:
    // What the bytes written under a font mean: a code page of the font's
    // own, a symbol table, or (neither) the document's code page.
    struct FontDecoder {
        core::TextConverter* converter = nullptr;
        SymbolEncoding symbol = SymbolEncoding::None;
    };

    explicit CodePages(GenericConverter& converter);
    CodePages(const CodePages&) = delete;
    CodePages& operator=(const CodePages&) = delete;

    // 1 for ANSI, 2 for the document's code page (converted by
    // documentCodePage()).
    int charset() const { return m_charset; }
    // Any other character set leaves bytes without a translation: the
    // conversion fails.
    void setCharset(int charset) { m_charset = charset; }
    core::TextConverter& documentCodePage() { return m_iconv; }
    // Font number to name, and one font's name (null when not in the table).
    const std::map<int, std::string>& fonts() const { return m_fonts; }
    const std::string* fontName(int number) const;

    // The decoder of a font (-1 for the document's default font), kept until
    // the font table changes.
    FontDecoder decoder(int font);
    // The converter of the bytes under a decoder: the font's code page or
    // the document's; none for the ANSI table.
    core::TextConverter* codePage(const FontDecoder& decoder);
    // The converter whose character is incomplete, null when none is.
    core::TextConverter* pendingConverter() const { return m_pending_count > 0 ? m_pending_converter : nullptr; }
    // Adds a byte to the pending bytes of a code page and converts them,
    // appending the character's HTML to `html` when one is complete. False,
    // with the pending bytes dropped and a log line, when they make no
    // character.
    bool decodeByte(core::TextConverter& converter, int byte, std::string& html);
    // Pending bytes that will not be completed are dropped, with a log line.
    void dropPending();

    // The language in force; \plain and \pard\plain go back to the default.
    int language() const { return m_lang; }
    void resetLanguage() { m_lang = m_default_lang; }
    // Byte 128 to 255 of a language's code page in UTF-8, empty for none.
    std::string_view languageLetter(int codePage, int ch);

    // Forgets the font table and the code pages; the character set and the
    // languages stay.
    void clear();

    // Character sets and code pages.
    static bool cmd_ansi(GenericConverter*, const Word*, bool, short);
    static bool cmd_ansicpg(GenericConverter*, const Word*, bool, short);
    static bool cmd_mac(GenericConverter*, const Word*, bool, short);
    static bool cmd_pc(GenericConverter*, const Word*, bool, short);
    static bool cmd_pca(GenericConverter*, const Word*, bool, short);
    static bool cmd_fonttbl(GenericConverter*, const Word*, bool, short);
    static bool cmd_deff(GenericConverter*, const Word*, bool, short);

    // Languages.
    static bool cmd_deflang(GenericConverter*, const Word*, bool, short);
    static bool cmd_lang(GenericConverter*, const Word*, bool, short);

private:
    FontDecoder findDecoder(int font);

    GenericConverter& m_converter;
    int m_charset = 1;
    core::TextConverter m_iconv; // the document's code page to UTF-8
    std::map<int, std::string> m_fonts; // font number to name
    std::map<int, int> m_font_charsets; // font number to its \fcharset, -1 for none
    int m_default_font = -1; // \deff
    // The code pages of fonts, opened when first needed (closed when they
    // cannot be).
    std::map<unsigned, core::TextConverter> m_code_pages;
    // Bytes that begin a character not yet complete, and the converter they
    // belong to; a character may come in several hexadecimal characters,
    // even in neighbouring groups.
    std::array<char, 12> m_pending {};
    size_t m_pending_count = 0;
    core::TextConverter* m_pending_converter = nullptr;
    // The decoder of the font last asked for, until the font table changes.
    FontDecoder m_decoder;
    int m_decoder_font = -1;
    bool m_decoder_known = false;
    int m_default_lang = 0;
    int m_lang = 0;
    // Bytes 128 to 255 of a language's code page in UTF-8, made on first use.
    std::map<int, std::array<std::string, 128>> m_letters;
};

} // namespace rtf

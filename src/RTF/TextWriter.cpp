// The document's text: text words, hexadecimal characters and what their
// bytes mean, symbol fonts' signs, non-breaking blanks and long runs.

#include "RTF/TextWriter.h"

#include "RTF/Exception.h"
#include "RTF/GenericConverter.h"
#include "RTF/GenericConverterHelpers.h"
#include "RTF/OutputTags.h"

namespace rtf {

using namespace detail;

TextWriter::TextWriter(GenericConverter& converter)
    : m_converter(converter)
{
}

void TextWriter::startDocument(const OutputTags& tags)
{
    m_bad_hex_logged = false;
    for (int c = 0; c < 256; ++c) {
        const char* written = c > ' ' && c < 127 && tags.ascii_table ? tags.ascii_table[c - 32] : nullptr;
        m_plain[static_cast<size_t>(c)] = written && written[0] == c && written[1] == '\0';
    }
}

void TextWriter::countCharacter()
{
    m_line_chars = counted(m_line_chars, 1);
    m_run_chars = counted(m_run_chars, 1);
}

void TextWriter::printText(GroupState& chain, std::string_view text)
{
    GenericConverter& converter = m_converter;
    CodePages& codePages = converter.m_codePages;
    const OutputTags& t = converter.tags();
    CodePages::FontDecoder decoder = converter.font_decoder();
    // Double-byte code pages let a trail byte in the ASCII range stand as
    // itself after its lead byte's hexadecimal character.
    while (codePages.pendingConverter() && !text.empty() && codePages.codePage(decoder) == codePages.pendingConverter()) {
        std::string character;
        if (!codePages.decodeByte(*codePages.pendingConverter(), static_cast<unsigned char>(text[0]), character))
            break;
        text.remove_prefix(1);
        printDecoded(chain, character);
    }
    if (text.empty())
        return;
    converter.starting_character();
    // Counted before translating, so that a blank opening a line sees
    // itself and becomes a non-breaking space.
    m_line_chars = counted(m_line_chars, text.size());
    m_run_chars = text[0] == ' ' ? 0 : counted(m_run_chars, text.size());
    converter.OutputString(t.text_begin);

    int limit = converter.m_body_width == 0 ? 100 : converter.m_body_width / 10;
    bool longRun = m_run_chars > limit;
    if (longRun)
        converter.OutputString(t.long_run_begin);

    // Tag sets without small capitals of their own get upper case, the
    // lower-case letters in smaller type.
    const bool smallCaps = converter.m_attributes.smallCaps() && t.simulate_small_caps;
    bool lowerRun = false;
    if (smallCaps && isLower(static_cast<unsigned char>(text[0]))) {
        converter.OutputString(t.small_caps_begin);
        lowerRun = true;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!converter.m_attributes.caps() && !smallCaps && decoder.symbol == SymbolEncoding::None && m_plain[c]) {
            // A run of characters the tag set writes as themselves, at once.
            size_t end = i + 1;
            while (end < text.size() && m_plain[static_cast<unsigned char>(text[end])])
                ++end;
            m_nbsp_run = false;
            converter.OutputString(text.substr(i, end - i));
            i = end - 1;
            continue;
        }
        if (converter.m_attributes.caps() || smallCaps)
            c = toUpper(c);
        // Bytes 128 to 255 standing unescaped in text have no code page: dropped.
        if (decoder.symbol != SymbolEncoding::None && c > 32 && c <= 127)
            printSymbol(decoder.symbol, c);
        else if (c >= 32 && c <= 127)
            converter.OutputString(translate(&t, codePages.charset(), c));
        if (smallCaps) {
            bool nextLower = i + 1 < text.size() && isLower(static_cast<unsigned char>(text[i + 1]));
            if (nextLower && !lowerRun) {
                converter.OutputString(t.small_caps_begin);
                lowerRun = true;
            } else if (!nextLower && lowerRun) {
                converter.OutputString(t.small_caps_end);
                lowerRun = false;
            }
        }
    }
    if (longRun)
        converter.OutputString(t.long_run_end);
    converter.OutputString(t.text_end);
}

void TextWriter::printHex(GroupState& chain, std::string_view name)
{
    GenericConverter& c = m_converter;
    CodePages& codePages = c.m_codePages;
    if (name.size() != 3 || !isHexDigit(name[1]) || !isHexDigit(name[2])) {
        // Not a character: nothing is made up for it.
        if (!m_bad_hex_logged) {
            m_bad_hex_logged = true;
            c.warn("Warning, \\' without two hexadecimal digits");
        }
        return;
    }
    int byte = hexValue(name[1]) * 16 + hexValue(name[2]);

    CodePages::FontDecoder decoder = c.font_decoder();
    std::string converted;
    std::string_view result;
    if (decoder.symbol != SymbolEncoding::None) {
        codePages.dropPending();
        converted = symbolHTML(decoder.symbol, byte);
        result = converted;
    } else if (byte == 0xB7 && c.in_list_text()) {
        // The Symbol font's bullet, its font left out of the marker.
        codePages.dropPending();
        result = "\u2022";
    } else if (core::TextConverter* converter = codePages.codePage(decoder)) {
        codePages.decodeByte(*converter, byte, converted);
        result = converted;
    } else {
        codePages.dropPending();
        result = translate(&c.tags(), codePages.charset(), byte);
    }
    printDecoded(chain, result);
}

void TextWriter::printDecoded(GroupState& chain, std::string_view html)
{
    GenericConverter& c = m_converter;
    const OutputTags& t = c.tags();
    if (!html.empty())
        c.starting_character();
    if (!chain.paragraph_open && chain.hasStyle()) {
        c.start_paragraph(chain.style());
        chain.paragraph_open = true;
    }
    if (!html.empty()) {
        c.OutputString(t.text_begin);
        c.OutputString(html);
        c.OutputString(t.text_end);
    }
}

std::string_view TextWriter::translate(const OutputTags* tags, int charset, int ch)
{
    if (ch >= 32 && ch <= 127) {
        if (ch == ' ' && (m_nbsp_run || m_line_chars < 2)) {
            m_nbsp_run = true;
            return tags->space ? tags->space : "";
        }
        m_nbsp_run = false;
        const char* text = tags->ascii_table ? tags->ascii_table[ch - 32] : nullptr;
        return text ? text : "";
    }
    if (charset != 1)
        throw Exception(Exception::kOutputError, "invalid character set value, cannot translate character");
    if (ch < tags->ansi_first || ch > tags->ansi_last || ch < 128 || ch > 255)
        return {};
    if (int lang = m_converter.m_codePages.language(); lang != 0) {
        auto language = tags->language_tables.find(lang);
        if (language != tags->language_tables.end() && language->second.flags[ch - 128] == 0) {
            // The language's own letter, in its own code page.
            std::string_view letter = m_converter.m_codePages.languageLetter(language->second.codePage, ch);
            if (!letter.empty())
                return letter;
        }
    }
    const char* text = tags->ansi_table ? tags->ansi_table[ch - tags->ansi_first] : nullptr;
    return text ? text : "";
}

void TextWriter::printSymbol(SymbolEncoding encoding, int byte)
{
    m_nbsp_run = false;
    m_converter.OutputString(symbolHTML(encoding, byte));
}

std::string TextWriter::symbolHTML(SymbolEncoding encoding, int byte) const
{
    std::string html = detail::symbolHTML(encoding, byte);
    if (html.empty() && byte > 0x20 && m_converter.in_list_text())
        html = "\u2022";
    return html;
}

} // namespace rtf

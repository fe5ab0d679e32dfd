// The document's code page, the font table and what a font's bytes mean.

#include "RTF/CodePages.h"

#include "Platform/Core/Log.h"
#include "RTF/GenericConverter.h"
#include "RTF/GenericConverterHelpers.h"

#include <algorithm>

namespace rtf {

using namespace detail;

namespace {

    // A font table entry's number: "\f" and a digit, then digits.
    bool fontNumber(const std::string& text, int& number)
    {
        if (text.size() < 3 || text[0] != '\\' || text[1] != 'f' || !isDigit(text[2]))
            return false;
        number = saturatingAtoi(std::string_view(text).substr(2));
        return true;
    }

    bool isNameWord(const Word* word)
    {
        const std::string& text = word->GetCommand();
        return !text.empty() && text[0] != '\\';
    }

    // A font's character set: "\fcharset" and its number.
    bool fontCharset(const std::string& text, int& charset)
    {
        constexpr std::string_view keyword = "\\fcharset";
        if (text.size() <= keyword.size() || text.compare(0, keyword.size(), keyword) != 0 || !isDigit(text[keyword.size()]))
            return false;
        charset = saturatingAtoi(std::string_view(text).substr(keyword.size()));
        return true;
    }

} // namespace

CodePages::CodePages(GenericConverter& converter)
    : m_converter(converter)
{
}

const std::string* CodePages::fontName(int number) const
{
    auto font = m_fonts.find(number);
    return font == m_fonts.end() ? nullptr : &font->second;
}

void CodePages::clear()
{
    m_fonts.clear();
    m_iconv.close();
    m_font_charsets.clear();
    m_default_font = -1;
    m_code_pages.clear();
    m_decoder_known = false;
    m_pending_count = 0;
    m_pending_converter = nullptr;
}

bool CodePages::cmd_ansi(GenericConverter* converter, const Word*, bool, short)
{
    converter->m_codePages.setCharset(1);
    return false;
}

bool CodePages::cmd_ansicpg(GenericConverter* converter, const Word*, bool, short param)
{
    converter->m_codePages.m_iconv.close();
    // Code pages above 32767 (65001 for UTF-8) arrive as negative 16-bit
    // parameters; they are unsigned numbers.
    unsigned codePage = static_cast<unsigned short>(param);
    converter->m_codePages.m_iconv = core::TextConverter::toUTF8(codePageName(codePage));
    if (!converter->m_codePages.m_iconv) {
        core::log("iconv_open failed: 0xffffffffffffffff");
        return false;
    }
    converter->m_codePages.setCharset(2);
    return false;
}

bool CodePages::cmd_mac(GenericConverter* converter, const Word* word, bool, short)
{
    return cmd_ansicpg(converter, word, true, 10000);
}

bool CodePages::cmd_pc(GenericConverter* converter, const Word* word, bool, short)
{
    return cmd_ansicpg(converter, word, true, 437);
}

bool CodePages::cmd_pca(GenericConverter* converter, const Word* word, bool, short)
{
    return cmd_ansicpg(converter, word, true, 850);
}

bool CodePages::cmd_fonttbl(GenericConverter* converter, const Word* word, bool, short)
{
    const Word* current = converter->destination(word);
    while (current) {
        bool grouped = current->GetChild() != nullptr;
        const Word* first = grouped ? current->GetChild() : current;
        int number = 0;
        if (!fontNumber(first->GetCommand(), number)) {
            current = current->GetNext();
            continue;
        }
        // An entry in its own group is read to the group's end; one in the
        // table's own chain ends at the first name word ending in ";".
        std::string name;
        int charset = -1;
        const Word* last = current;
        for (const Word* part = first->GetNext(); part; part = part->GetNext()) {
            if (!isNameWord(part)) {
                fontCharset(part->GetCommand(), charset);
                continue;
            }
            name += part->GetCommand();
            if (!grouped && name.back() == ';') {
                last = part;
                break;
            }
            if (!grouped)
                last = part;
        }
        name = GenericConverter::trim_string(name);
        size_t semicolon = name.rfind(';');
        if (semicolon != std::string::npos)
            name.erase(semicolon);
        converter->m_codePages.m_fonts[number] = std::move(name);
        converter->m_codePages.m_font_charsets[number] = charset;
        converter->m_codePages.m_decoder_known = false;
        current = last->GetNext();
    }
    return true;
}

bool CodePages::cmd_deff(GenericConverter* converter, const Word*, bool has_param, short param)
{
    if (has_param)
        converter->m_codePages.m_default_font = param;
    return false;
}

CodePages::FontDecoder CodePages::decoder(int font)
{
    if (font < 0)
        font = m_default_font;
    if (!m_decoder_known || font != m_decoder_font) {
        m_decoder = findDecoder(font);
        m_decoder_font = font;
        m_decoder_known = true;
    }
    return m_decoder;
}

CodePages::FontDecoder CodePages::findDecoder(int font)
{
    auto charset = m_font_charsets.find(font);
    if (charset == m_font_charsets.end())
        return {};
    auto name = m_fonts.find(font);
    SymbolEncoding symbol = symbolEncodingOfFont(charset->second, name == m_fonts.end() ? std::string_view() : name->second);
    if (symbol != SymbolEncoding::None)
        return { nullptr, symbol };
    unsigned codePage = codePageOfCharset(charset->second);
    if (codePage == 0)
        return {};
    auto found = m_code_pages.find(codePage);
    if (found == m_code_pages.end()) {
        found = m_code_pages.emplace(codePage, core::TextConverter::toUTF8(codePageName(codePage))).first;
        if (!found->second)
            m_converter.warn("iconv_open failed: 0xffffffffffffffff");
    }
    // A code page that cannot be opened leaves the document's.
    if (!found->second)
        return {};
    return { &found->second, SymbolEncoding::None };
}

core::TextConverter* CodePages::codePage(const FontDecoder& decoder)
{
    if (decoder.converter)
        return decoder.converter;
    return m_charset == 2 ? &m_iconv : nullptr;
}

bool CodePages::decodeByte(core::TextConverter& converter, int byte, std::string& html)
{
    if (m_pending_converter != &converter)
        dropPending();
    if (!converter) {
        m_converter.warn("iconv err: E2BIG");
        return false;
    }
    m_pending_converter = &converter;
    m_pending[m_pending_count++] = static_cast<char>(byte);
    char out[10];
    auto step = converter.convert(std::string_view(m_pending.data(), m_pending_count), out, sizeof out);
    using Status = core::TextConverter::Status;
    bool failed = step.status == Status::Invalid || step.status == Status::OutputFull;
    if (!failed) {
        std::copy(m_pending.begin() + static_cast<std::ptrdiff_t>(step.consumed),
            m_pending.begin() + static_cast<std::ptrdiff_t>(m_pending_count), m_pending.begin());
        m_pending_count -= step.consumed;
        // A sequence still incomplete after twelve bytes never ends.
        if (step.status == Status::Incomplete && m_pending_count == m_pending.size())
            failed = true;
    }
    if (failed) {
        m_converter.warn(step.status == Status::OutputFull ? "iconv err: E2BIG" : "iconv err: EILSEQ");
        m_pending_count = 0;
        converter.reset();
        return false;
    }
    // The code page's characters are text: markup escaped, control
    // characters dropped.
    appendEscaped(html, std::string_view(out, step.produced), true);
    return true;
}

void CodePages::dropPending()
{
    if (m_pending_count == 0)
        return;
    // The start of a character whose end never came.
    m_converter.warn("iconv err: EINVAL");
    m_pending_count = 0;
    if (m_pending_converter)
        m_pending_converter->reset();
}

bool CodePages::cmd_deflang(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (has_param)
        c->m_codePages.m_default_lang = c->m_codePages.m_lang = param;
    return false;
}

bool CodePages::cmd_lang(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (has_param)
        c->m_codePages.m_lang = param;
    return false;
}

std::string_view CodePages::languageLetter(int codePage, int ch)
{
    auto found = m_letters.find(codePage);
    if (found == m_letters.end()) {
        std::array<std::string, 128> letters;
        core::TextConverter decoder = core::TextConverter::toUTF8("CP" + std::to_string(codePage));
        for (int byte = 128; decoder && byte < 256; ++byte) {
            char in = static_cast<char>(byte);
            char out[8];
            auto step = decoder.convert(std::string_view(&in, 1), out, sizeof out);
            if (step.status == core::TextConverter::Status::Ok)
                letters[byte - 128].assign(out, step.produced);
            decoder.reset();
        }
        found = m_letters.emplace(codePage, std::move(letters)).first;
    }
    return found->second[ch - 128];
}

} // namespace rtf

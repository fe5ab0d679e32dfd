// Character sets, code pages and the font table: what the bytes of the
// document's hexadecimal characters mean under the font in force.

#include "RTF/GenericConverter.h"

#include "Platform/Core/Log.h"
#include "RTF/GenericConverterHelpers.h"
#include "RTF/OutputTags.h"

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

bool GenericConverter::cmd_ansi(GenericConverter* converter, const Word*, bool, short)
{
    converter->m_charset = 1;
    return false;
}

bool GenericConverter::cmd_ansicpg(GenericConverter* converter, const Word*, bool, short param)
{
    converter->m_iconv.close();
    // Code pages above 32767 (65001 for UTF-8) arrive as negative 16-bit
    // parameters; they are unsigned numbers.
    unsigned codePage = static_cast<unsigned short>(param);
    converter->m_iconv = core::TextConverter::toUTF8(codePageName(codePage));
    if (!converter->m_iconv) {
        core::log("iconv_open failed: 0xffffffffffffffff");
        return false;
    }
    converter->m_charset = 2;
    return false;
}

bool GenericConverter::cmd_mac(GenericConverter* converter, const Word* word, bool, short)
{
    return cmd_ansicpg(converter, word, true, 10000);
}

bool GenericConverter::cmd_pc(GenericConverter* converter, const Word* word, bool, short)
{
    return cmd_ansicpg(converter, word, true, 437);
}

bool GenericConverter::cmd_pca(GenericConverter* converter, const Word* word, bool, short)
{
    return cmd_ansicpg(converter, word, true, 850);
}

bool GenericConverter::cmd_fonttbl(GenericConverter* converter, const Word* word, bool, short)
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
        name = trim_string(name);
        size_t semicolon = name.rfind(';');
        if (semicolon != std::string::npos)
            name.erase(semicolon);
        converter->m_fonts[number] = std::move(name);
        converter->m_font_charsets[number] = charset;
        converter->m_decoder_known = false;
        current = last->GetNext();
    }
    return true;
}

bool GenericConverter::cmd_deff(GenericConverter* converter, const Word*, bool has_param, short param)
{
    if (has_param)
        converter->m_default_font = param;
    return false;
}

GenericConverter::FontDecoder GenericConverter::font_decoder()
{
    int font = m_chain && m_chain->font >= 0 ? m_chain->font : m_default_font;
    if (!m_decoder_known || font != m_decoder_font) {
        m_decoder = find_decoder(font);
        m_decoder_font = font;
        m_decoder_known = true;
    }
    return m_decoder;
}

GenericConverter::FontDecoder GenericConverter::find_decoder(int font)
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
            warn("iconv_open failed: 0xffffffffffffffff");
    }
    // A code page that cannot be opened leaves the document's.
    if (!found->second)
        return {};
    return { &found->second, SymbolEncoding::None };
}

core::TextConverter* GenericConverter::code_page(const FontDecoder& decoder)
{
    if (decoder.converter)
        return decoder.converter;
    return m_charset == 2 ? &m_iconv : nullptr;
}

bool GenericConverter::decode_byte(core::TextConverter& converter, int byte, std::string& html)
{
    if (m_pending_converter != &converter)
        drop_pending();
    if (!converter) {
        warn("iconv err: E2BIG");
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
        warn(step.status == Status::OutputFull ? "iconv err: E2BIG" : "iconv err: EILSEQ");
        m_pending_count = 0;
        converter.reset();
        return false;
    }
    // The code page's characters are text: markup escaped, control
    // characters dropped.
    appendEscaped(html, std::string_view(out, step.produced), true);
    return true;
}

void GenericConverter::drop_pending()
{
    if (m_pending_count == 0)
        return;
    // The start of a character whose end never came.
    warn("iconv err: EINVAL");
    m_pending_count = 0;
    if (m_pending_converter)
        m_pending_converter->reset();
}

void GenericConverter::print_symbol(SymbolEncoding encoding, int byte)
{
    m_nbsp_run = false;
    OutputString(symbol_html(encoding, byte));
}

std::string GenericConverter::symbol_html(SymbolEncoding encoding, int byte) const
{
    std::string html = symbolHTML(encoding, byte);
    if (html.empty() && byte > 0x20 && in_list_text())
        html = "\u2022";
    return html;
}

} // namespace rtf

#include "Viewers/RTF/GenericConverter.h"

#include "Platform/Core/Log.h"

#include <climits>
#include <cstdint>
#include <mutex>

namespace rtf {

namespace {

    bool isDigit(char c)
    {
        return c >= '0' && c <= '9';
    }

    // The decimal value at the start of text, as atoi reads it, but saturated at
    // the limits of int instead of overflowing.
    int saturatingAtoi(std::string_view text)
    {
        size_t i = 0;
        while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
            ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            negative = text[i++] == '-';
        int64_t value = 0;
        for (; i < text.size() && isDigit(text[i]); ++i) {
            value = value * 10 + (text[i] - '0');
            if (value > int64_t(INT_MAX) + 1)
                value = int64_t(INT_MAX) + 1;
        }
        if (negative)
            return static_cast<int>(-value);
        return static_cast<int>(std::min<int64_t>(value, INT_MAX));
    }

    // The name each code page is opened by: the Mac code pages as glibc or ICU
    // spell them (those neither knows keep a name that fails to open), UTF-8 by
    // its name, every other as "CP" and its number.
    std::string codePageName(unsigned codePage)
    {
        static const struct {
            unsigned codePage;
            const char* name;
        } kNames[] = {
            { 10000, "MACINTOSH" },
            { 10005, "MacHebrew" },
            { 10006, "x-mac-greek" },
            { 10007, "MACCYRILLIC" },
            { 10010, "MacRomania" },
            { 10017, "MACUKRAINIAN" },
            { 10021, "MacThai" },
            { 10029, "MAC-CENTRALEUROPE" },
            { 10079, "MAC-IS" },
            { 10081, "x-mac-turkish" },
            { 10082, "MacCroatian" },
            { 65001, "UTF-8" },
        };
        for (const auto& entry : kNames) {
            if (entry.codePage == codePage)
                return entry.name;
        }
        return "CP" + std::to_string(codePage);
    }

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

    std::once_flag handlersFilled;

} // namespace

std::map<std::string, GenericConverter::Handler> GenericConverter::m_handlers;

GenericConverter::GenericConverter()
{
    // Filled once, before any two conversions can read it at the same time.
    std::call_once(handlersFilled, RegisterCommandHandlers);
}

GenericConverter::~GenericConverter() = default;

int GenericConverter::HandleRTFCommand(const std::string& keyword, const Word* word, bool has_param, short param)
{
    auto found = m_handlers.find(keyword);
    if (found == m_handlers.end())
        return 2;
    return found->second(this, word, has_param, param) ? 0 : 1;
}

std::string GenericConverter::extract_cmd_param(std::string_view text, short* param)
{
    size_t start = 0;
    while (start < text.size() && !isDigit(text[start]) && text[start] != '-')
        ++start;
    if (start == text.size())
        return {};
    if (param)
        *param = static_cast<short>(saturatingAtoi(text.substr(start)));
    return std::string(text.substr(0, start));
}

std::string GenericConverter::trim_string(const std::string& text)
{
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

void GenericConverter::Cleanup()
{
    m_attr_stacks.clear();
    m_attrs = nullptr;
    m_nbsp_run = false;
    m_colors.clear();
    m_fonts.clear();
    m_iconv.close();
}

void GenericConverter::RegisterCommandHandlers()
{
    static const std::pair<const char*, Handler> kTable[] = {
        // Groups that are not written.
        { "header", cmd_header },
        { "headerl", cmd_headerl },
        { "headerr", cmd_headerr },
        { "headerf", cmd_headerf },
        { "footer", cmd_footer },
        { "footerl", cmd_footerl },
        { "footerr", cmd_footerr },
        { "footerf", cmd_footerf },
        { "pict", cmd_pict },
        { "macpict", cmd_macpict },
        { "jpegblip", cmd_jpegblip },
        { "pngblip", cmd_pngblip },
        { "pnmetafile", cmd_pnmetafile },
        { "wmetafile", cmd_wmetafile },
        { "wbmbitspixel", cmd_wbmbitspixel },
        { "picw", cmd_picw },
        { "pich", cmd_pich },
        { "xe", cmd_xe },
        { "tc", cmd_tc },
        { "tcn", cmd_tcn },
        { "*", cmd_ignore },
        { "hl", cmd_ignore },
        { "stylesheet", cmd_ignore },
        // No effect.
        { "rtf", cmd_rtf },
        { "s", cmd_s },
        { "shp", cmd_shp },
        { "bin", cmd_bin },
        // Destinations read and then skipped.
        { "fonttbl", cmd_fonttbl },
        { "colortbl", cmd_colortbl },
        { "info", cmd_info },
        { "field", cmd_field },
        { "NeXTGraphic", cmd_NeXTGraphic },
        // Character sets.
        { "ansi", cmd_ansi },
        { "ansicpg", cmd_ansicpg },
        { "mac", cmd_mac },
        { "pc", cmd_pc },
        { "pca", cmd_pca },
        // Languages.
        { "deflang", cmd_deflang },
        { "lang", cmd_lang },
        { "plain", cmd_plain },
        // Character attributes.
        { "b", cmd_b },
        { "i", cmd_i },
        { "ul", cmd_ul },
        { "uld", cmd_uld },
        { "ulw", cmd_ulw },
        { "ulth", cmd_ulth },
        { "ulwave", cmd_ulwave },
        { "uldb", cmd_uldb },
        { "uldash", cmd_uldash },
        { "uldashd", cmd_uldashd },
        { "uldashdd", cmd_uldashdd },
        { "ulnone", cmd_ulnone },
        { "strike", cmd_strike },
        { "striked", cmd_striked },
        { "strikedl", cmd_strikedl },
        { "shad", cmd_shad },
        { "outl", cmd_outl },
        { "impr", cmd_impr },
        { "super", cmd_super },
        { "up", cmd_up },
        { "sub", cmd_sub },
        { "dn", cmd_dn },
        { "nosupersub", cmd_nosupersub },
        { "caps", cmd_caps },
        { "scaps", cmd_scaps },
        { "fs", cmd_fs },
        { "cf", cmd_cf },
        { "cb", cmd_cb },
        { "highlight", cmd_highlight },
        { "f", cmd_f },
        { "embo", cmd_emboss },
        { "expand", cmd_expand },
        { "expnd", cmd_expand },
        // Font families.
        { "fnil", cmd_fnil },
        { "froman", cmd_froman },
        { "fswiss", cmd_fswiss },
        { "fmodern", cmd_fmodern },
        { "fscript", cmd_fscript },
        { "fdecor", cmd_fdecor },
        { "ftech", cmd_ftech },
        // Special characters.
        { "\\", cmd_slash },
        { "{", cmd_opening_brace },
        { "}", cmd_closing_brace },
        { "~", cmd_nonbreaking_space },
        { "-", cmd_optional_hyphen },
        { "_", cmd_nonbreaking_hyphen },
        { "tab", cmd_tab },
        { "line", cmd_line },
        { "page", cmd_page },
        { "sect", cmd_sect },
        { "bullet", cmd_bullet },
        { "emdash", cmd_emdash },
        { "endash", cmd_endash },
        { "lquote", cmd_lquote },
        { "rquote", cmd_rquote },
        { "ldblquote", cmd_ldblquote },
        { "rdblquote", cmd_rdblquote },
        { "u", cmd_u },
        { "uc", cmd_uc },
        // Tables and page.
        { "intbl", cmd_intbl },
        { "paperw", cmd_paperw },
    };
    for (const auto& [keyword, handler] : kTable)
        m_handlers[keyword] = handler;
}

bool GenericConverter::cmd_ignore(GenericConverter*, const Word*, bool, short)
{
    return true;
}

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
    const Word* current = word ? word->GetNext() : nullptr;
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
        const Word* last = current;
        for (const Word* part = first->GetNext(); part; part = part->GetNext()) {
            if (!isNameWord(part))
                continue;
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
        current = last->GetNext();
    }
    return true;
}

bool GenericConverter::cmd_intbl(GenericConverter* converter, const Word*, bool, short)
{
    converter->m_in_table += 1;
    return false;
}

// Handlers whose behaviour comes with the attribute, destination and special
// character code: registered now with the result the table gives them, inert
// until then.
#define RTF_INERT_HANDLER(name, result)                                      \
    bool GenericConverter::name(GenericConverter*, const Word*, bool, short) \
    {                                                                        \
        return result;                                                       \
    }

// Groups that are not written, and keywords without effect.
RTF_INERT_HANDLER(cmd_header, true)
RTF_INERT_HANDLER(cmd_headerl, true)
RTF_INERT_HANDLER(cmd_headerr, true)
RTF_INERT_HANDLER(cmd_headerf, true)
RTF_INERT_HANDLER(cmd_footer, true)
RTF_INERT_HANDLER(cmd_footerl, true)
RTF_INERT_HANDLER(cmd_footerr, true)
RTF_INERT_HANDLER(cmd_footerf, true)
RTF_INERT_HANDLER(cmd_pict, true)
RTF_INERT_HANDLER(cmd_macpict, true)
RTF_INERT_HANDLER(cmd_jpegblip, true)
RTF_INERT_HANDLER(cmd_pngblip, true)
RTF_INERT_HANDLER(cmd_pnmetafile, true)
RTF_INERT_HANDLER(cmd_wmetafile, true)
RTF_INERT_HANDLER(cmd_wbmbitspixel, true)
RTF_INERT_HANDLER(cmd_picw, true)
RTF_INERT_HANDLER(cmd_pich, true)
RTF_INERT_HANDLER(cmd_xe, true)
RTF_INERT_HANDLER(cmd_tc, true)
RTF_INERT_HANDLER(cmd_tcn, true)
RTF_INERT_HANDLER(cmd_rtf, false)
RTF_INERT_HANDLER(cmd_s, false)
RTF_INERT_HANDLER(cmd_shp, false)
RTF_INERT_HANDLER(cmd_bin, false)

// Still to come.
RTF_INERT_HANDLER(cmd_colortbl, true)
RTF_INERT_HANDLER(cmd_info, true)
RTF_INERT_HANDLER(cmd_field, true)
RTF_INERT_HANDLER(cmd_NeXTGraphic, true)
RTF_INERT_HANDLER(cmd_deflang, false)
RTF_INERT_HANDLER(cmd_lang, false)
RTF_INERT_HANDLER(cmd_plain, false)
RTF_INERT_HANDLER(cmd_b, false)
RTF_INERT_HANDLER(cmd_i, false)
RTF_INERT_HANDLER(cmd_ul, false)
RTF_INERT_HANDLER(cmd_uld, false)
RTF_INERT_HANDLER(cmd_ulw, false)
RTF_INERT_HANDLER(cmd_ulth, false)
RTF_INERT_HANDLER(cmd_ulwave, false)
RTF_INERT_HANDLER(cmd_uldb, false)
RTF_INERT_HANDLER(cmd_uldash, false)
RTF_INERT_HANDLER(cmd_uldashd, false)
RTF_INERT_HANDLER(cmd_uldashdd, false)
RTF_INERT_HANDLER(cmd_ulnone, false)
RTF_INERT_HANDLER(cmd_strike, false)
RTF_INERT_HANDLER(cmd_striked, false)
RTF_INERT_HANDLER(cmd_strikedl, false)
RTF_INERT_HANDLER(cmd_shad, false)
RTF_INERT_HANDLER(cmd_outl, false)
RTF_INERT_HANDLER(cmd_emboss, false)
RTF_INERT_HANDLER(cmd_impr, false)
RTF_INERT_HANDLER(cmd_super, false)
RTF_INERT_HANDLER(cmd_up, false)
RTF_INERT_HANDLER(cmd_sub, false)
RTF_INERT_HANDLER(cmd_dn, false)
RTF_INERT_HANDLER(cmd_nosupersub, false)
RTF_INERT_HANDLER(cmd_caps, false)
RTF_INERT_HANDLER(cmd_scaps, false)
RTF_INERT_HANDLER(cmd_fs, false)
RTF_INERT_HANDLER(cmd_expand, false)
RTF_INERT_HANDLER(cmd_cf, false)
RTF_INERT_HANDLER(cmd_cb, false)
RTF_INERT_HANDLER(cmd_highlight, false)
RTF_INERT_HANDLER(cmd_f, false)
RTF_INERT_HANDLER(cmd_fnil, false)
RTF_INERT_HANDLER(cmd_froman, false)
RTF_INERT_HANDLER(cmd_fswiss, false)
RTF_INERT_HANDLER(cmd_fmodern, false)
RTF_INERT_HANDLER(cmd_fscript, false)
RTF_INERT_HANDLER(cmd_fdecor, false)
RTF_INERT_HANDLER(cmd_ftech, false)
RTF_INERT_HANDLER(cmd_slash, false)
RTF_INERT_HANDLER(cmd_opening_brace, false)
RTF_INERT_HANDLER(cmd_closing_brace, false)
RTF_INERT_HANDLER(cmd_nonbreaking_space, false)
RTF_INERT_HANDLER(cmd_optional_hyphen, false)
RTF_INERT_HANDLER(cmd_nonbreaking_hyphen, false)
RTF_INERT_HANDLER(cmd_tab, false)
RTF_INERT_HANDLER(cmd_line, false)
RTF_INERT_HANDLER(cmd_page, false)
RTF_INERT_HANDLER(cmd_sect, false)
RTF_INERT_HANDLER(cmd_bullet, false)
RTF_INERT_HANDLER(cmd_emdash, false)
RTF_INERT_HANDLER(cmd_endash, false)
RTF_INERT_HANDLER(cmd_lquote, false)
RTF_INERT_HANDLER(cmd_rquote, false)
RTF_INERT_HANDLER(cmd_ldblquote, false)
RTF_INERT_HANDLER(cmd_rdblquote, false)
RTF_INERT_HANDLER(cmd_u, false)
RTF_INERT_HANDLER(cmd_uc, false)
RTF_INERT_HANDLER(cmd_paperw, false)

#undef RTF_INERT_HANDLER

} // namespace rtf

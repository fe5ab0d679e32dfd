#include "RTF/GenericConverter.h"

#include "RTF/GenericConverterHelpers.h"
#include "RTF/OutputTags.h"

#include <mutex>

namespace rtf {

using namespace detail;

namespace {

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
    m_font_charsets.clear();
    m_default_font = -1;
    m_code_pages.clear();
    m_decoder_known = false;
    m_pending_count = 0;
    m_pending_converter = nullptr;
    m_chains.clear();
    m_chain = nullptr;
    m_high_surrogate = 0;
    m_reader = nullptr;
    m_input = nullptr;
    m_current = nullptr;
    m_rest_read = false;
    m_destination.reset();
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
        { "nonshppict", cmd_nonshppict },
        { "*", cmd_ignore },
        { "hl", cmd_ignore },
        { "stylesheet", cmd_ignore },
        // No effect.
        { "rtf", cmd_rtf },
        { "s", cmd_s },
        { "shp", cmd_shp },
        { "bin", cmd_bin },
        { "shppict", cmd_shppict },
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
        { "deff", cmd_deff },
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

bool GenericConverter::cmd_intbl(GenericConverter* converter, const Word*, bool, short)
{
    converter->m_in_table += 1;
    return false;
}

// Groups that are not written, and keywords without effect.
#define RTF_INERT_HANDLER(name, result)                                      \
    bool GenericConverter::name(GenericConverter*, const Word*, bool, short) \
    {                                                                        \
        return result;                                                       \
    }

RTF_INERT_HANDLER(cmd_header, true)
RTF_INERT_HANDLER(cmd_headerl, true)
RTF_INERT_HANDLER(cmd_headerr, true)
RTF_INERT_HANDLER(cmd_headerf, true)
RTF_INERT_HANDLER(cmd_footer, true)
RTF_INERT_HANDLER(cmd_footerl, true)
RTF_INERT_HANDLER(cmd_footerr, true)
RTF_INERT_HANDLER(cmd_footerf, true)
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
RTF_INERT_HANDLER(cmd_shppict, false)
RTF_INERT_HANDLER(cmd_nonshppict, true)

#undef RTF_INERT_HANDLER

} // namespace rtf

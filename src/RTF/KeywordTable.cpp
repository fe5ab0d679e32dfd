#include "RTF/KeywordTable.h"

#include "RTF/AttributeStacks.h"
#include "RTF/CodePages.h"
#include "RTF/Destinations.h"
#include "RTF/GenericConverter.h"
#include "RTF/SpecialCharacters.h"
#include "RTF/TableState.h"

#include <mutex>
#include <utility>

namespace rtf {

namespace {

    std::once_flag handlersFilled;

} // namespace

std::map<std::string, KeywordTable::Handler> KeywordTable::m_handlers;

void KeywordTable::fill()
{
    std::call_once(handlersFilled, registerHandlers);
}

void KeywordTable::registerHandlers()
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
        { "pict", Destinations::cmd_pict },
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
        { "*", Destinations::cmd_ignore },
        { "hl", Destinations::cmd_ignore },
        { "stylesheet", Destinations::cmd_ignore },
        // No effect.
        { "rtf", cmd_rtf },
        { "s", cmd_s },
        { "shp", cmd_shp },
        { "bin", cmd_bin },
        { "shppict", cmd_shppict },
        // Destinations read and then skipped.
        { "fonttbl", CodePages::cmd_fonttbl },
        { "colortbl", Destinations::cmd_colortbl },
        { "info", Destinations::cmd_info },
        { "field", Destinations::cmd_field },
        { "NeXTGraphic", Destinations::cmd_NeXTGraphic },
        // Character sets.
        { "ansi", CodePages::cmd_ansi },
        { "ansicpg", CodePages::cmd_ansicpg },
        { "mac", CodePages::cmd_mac },
        { "pc", CodePages::cmd_pc },
        { "pca", CodePages::cmd_pca },
        { "deff", CodePages::cmd_deff },
        // Languages.
        { "deflang", CodePages::cmd_deflang },
        { "lang", CodePages::cmd_lang },
        { "plain", AttributeStacks::cmd_plain },
        // Character attributes.
        { "b", AttributeStacks::cmd_b },
        { "i", AttributeStacks::cmd_i },
        { "ul", AttributeStacks::cmd_ul },
        { "uld", AttributeStacks::cmd_uld },
        { "ulw", AttributeStacks::cmd_ulw },
        { "ulth", AttributeStacks::cmd_ulth },
        { "ulwave", AttributeStacks::cmd_ulwave },
        { "uldb", AttributeStacks::cmd_uldb },
        { "uldash", AttributeStacks::cmd_uldash },
        { "uldashd", AttributeStacks::cmd_uldashd },
        { "uldashdd", AttributeStacks::cmd_uldashdd },
        { "ulnone", AttributeStacks::cmd_ulnone },
        { "strike", AttributeStacks::cmd_strike },
        { "striked", AttributeStacks::cmd_striked },
        { "strikedl", AttributeStacks::cmd_strikedl },
        { "shad", AttributeStacks::cmd_shad },
        { "outl", AttributeStacks::cmd_outl },
        { "impr", AttributeStacks::cmd_impr },
        { "super", AttributeStacks::cmd_super },
        { "up", AttributeStacks::cmd_up },
        { "sub", AttributeStacks::cmd_sub },
        { "dn", AttributeStacks::cmd_dn },
        { "nosupersub", AttributeStacks::cmd_nosupersub },
        { "caps", AttributeStacks::cmd_caps },
        { "scaps", AttributeStacks::cmd_scaps },
        { "fs", AttributeStacks::cmd_fs },
        { "cf", AttributeStacks::cmd_cf },
        { "cb", AttributeStacks::cmd_cb },
        { "highlight", AttributeStacks::cmd_highlight },
        { "f", AttributeStacks::cmd_f },
        { "embo", AttributeStacks::cmd_emboss },
        { "expand", AttributeStacks::cmd_expand },
        { "expnd", AttributeStacks::cmd_expand },
        // Font families.
        { "fnil", AttributeStacks::cmd_fnil },
        { "froman", AttributeStacks::cmd_froman },
        { "fswiss", AttributeStacks::cmd_fswiss },
        { "fmodern", AttributeStacks::cmd_fmodern },
        { "fscript", AttributeStacks::cmd_fscript },
        { "fdecor", AttributeStacks::cmd_fdecor },
        { "ftech", AttributeStacks::cmd_ftech },
        // Special characters.
        { "\\", SpecialCharacters::cmd_slash },
        { "{", SpecialCharacters::cmd_opening_brace },
        { "}", SpecialCharacters::cmd_closing_brace },
        { "~", SpecialCharacters::cmd_nonbreaking_space },
        { "-", SpecialCharacters::cmd_optional_hyphen },
        { "_", SpecialCharacters::cmd_nonbreaking_hyphen },
        { "tab", SpecialCharacters::cmd_tab },
        { "line", SpecialCharacters::cmd_line },
        { "page", SpecialCharacters::cmd_page },
        { "sect", SpecialCharacters::cmd_sect },
        { "bullet", SpecialCharacters::cmd_bullet },
        { "emdash", SpecialCharacters::cmd_emdash },
        { "endash", SpecialCharacters::cmd_endash },
        { "lquote", SpecialCharacters::cmd_lquote },
        { "rquote", SpecialCharacters::cmd_rquote },
        { "ldblquote", SpecialCharacters::cmd_ldblquote },
        { "rdblquote", SpecialCharacters::cmd_rdblquote },
        { "u", SpecialCharacters::cmd_u },
        { "uc", SpecialCharacters::cmd_uc },
        // Tables and page.
        { "intbl", TableState::cmd_intbl },
        { "paperw", GenericConverter::cmd_paperw },
    };
    for (const auto& [keyword, handler] : kTable)
        m_handlers[keyword] = handler;
}

// Groups that are not written, and keywords without effect.
#define RTF_INERT_HANDLER(name, result)                                  \
    bool KeywordTable::name(GenericConverter*, const Word*, bool, short) \
    {                                                                    \
        return result;                                                   \
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

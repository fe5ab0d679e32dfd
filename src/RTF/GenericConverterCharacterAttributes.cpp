// Handlers of character attributes, font faces and languages.

#include "RTF/GenericConverter.h"

#include "RTF/GenericConverterHelpers.h"
#include "RTF/OutputTags.h"

#include <algorithm>

namespace rtf {

using namespace detail;

namespace {

    // Longer font names are cut: no face list needs more, and each group
    // writes the faces in force again.
    constexpr size_t kMaxFaceLength = 256;

    // Keywords that switch an attribute on, or off with a parameter of 0.
    bool toggle(GenericConverter* converter, bool has_param, short param, int kind, std::string value = {})
    {
        if (has_param && param == 0)
            converter->attr_pop(kind);
        else
            converter->attr_push(kind, std::move(value));
        return false;
    }

    bool pushColor(GenericConverter* c, const std::vector<Color>& colors, bool has_param, short param, int kind)
    {
        if (!has_param || param < 0 || static_cast<size_t>(param) >= colors.size())
            return false;
        const Color& color = colors[static_cast<size_t>(param)];
        char value[8];
        std::snprintf(value, sizeof value, "#%02x%02x%02x", color.r, color.g, color.b);
        c->attr_push(kind, value);
        return false;
    }

} // namespace

bool GenericConverter::cmd_b(GenericConverter* c, const Word*, bool has_param, short param)
{
    return toggle(c, has_param, param, Bold);
}

bool GenericConverter::cmd_i(GenericConverter* c, const Word*, bool has_param, short param)
{
    return toggle(c, has_param, param, Italic);
}

bool GenericConverter::cmd_ul(GenericConverter* c, const Word* word, bool has_param, short param)
{
    if (has_param && param == 0)
        return cmd_ulnone(c, word, has_param, param);
    c->attr_push(Underline, {});
    return false;
}

#define RTF_PUSH_HANDLER(name, kind)                                           \
    bool GenericConverter::name(GenericConverter* c, const Word*, bool, short) \
    {                                                                          \
        c->attr_push(kind, {});                                                \
        return false;                                                          \
    }

RTF_PUSH_HANDLER(cmd_uld, DottedUnderline)
RTF_PUSH_HANDLER(cmd_ulw, WordUnderline)
RTF_PUSH_HANDLER(cmd_ulth, ThickUnderline)
RTF_PUSH_HANDLER(cmd_ulwave, WaveUnderline)
RTF_PUSH_HANDLER(cmd_uldb, DoubleUnderline)
RTF_PUSH_HANDLER(cmd_uldash, DashUnderline)
RTF_PUSH_HANDLER(cmd_uldashd, DashDotUnderline)
RTF_PUSH_HANDLER(cmd_uldashdd, DashDotDotUnderline)

#undef RTF_PUSH_HANDLER

bool GenericConverter::cmd_ulnone(GenericConverter* c, const Word*, bool, short)
{
    if (!c->m_attrs)
        return false;
    for (int kind : { Underline, DoubleUnderline, DashUnderline, DashDotUnderline, DashDotDotUnderline, WordUnderline,
             WaveUnderline, ThickUnderline, DottedUnderline })
        c->attrstack_unexpress_all_of_kind_and_remove(*c->m_attrs, kind);
    return false;
}

#define RTF_TOGGLE_HANDLER(name, kind)                                                         \
    bool GenericConverter::name(GenericConverter* c, const Word*, bool has_param, short param) \
    {                                                                                          \
        return toggle(c, has_param, param, kind);                                              \
    }

RTF_TOGGLE_HANDLER(cmd_strike, Strike)
RTF_TOGGLE_HANDLER(cmd_striked, DoubleStrike)
RTF_TOGGLE_HANDLER(cmd_strikedl, DoubleStrike)
RTF_TOGGLE_HANDLER(cmd_shad, Shadow)
RTF_TOGGLE_HANDLER(cmd_outl, Outline)
RTF_TOGGLE_HANDLER(cmd_impr, Engrave)
RTF_TOGGLE_HANDLER(cmd_super, Superscript)
RTF_TOGGLE_HANDLER(cmd_up, Superscript)
RTF_TOGGLE_HANDLER(cmd_sub, Subscript)
RTF_TOGGLE_HANDLER(cmd_dn, Subscript)

#undef RTF_TOGGLE_HANDLER

bool GenericConverter::cmd_emboss(GenericConverter* c, const Word*, bool has_param, short param)
{
    return toggle(c, has_param, param, Emboss, std::to_string(param));
}

bool GenericConverter::cmd_nosupersub(GenericConverter* c, const Word*, bool, short)
{
    std::string size;
    if (c->attr_read() == FontSize) {
        size = c->attr_read_params();
        c->attr_pop(FontSize);
    }
    c->attr_pop(Superscript);
    c->attr_pop(Subscript);
    if (!size.empty())
        c->attr_push(FontSize, size);
    return false;
}

bool GenericConverter::cmd_caps(GenericConverter* c, const Word*, bool, short)
{
    if (c->m_caps)
        c->attr_pop(AllCaps);
    else
        c->attr_push(AllCaps, {});
    return false;
}

bool GenericConverter::cmd_scaps(GenericConverter* c, const Word*, bool, short)
{
    if (c->m_scaps)
        c->attr_pop(SmallCaps);
    else
        c->attr_push(SmallCaps, {});
    return false;
}

bool GenericConverter::cmd_fs(GenericConverter* c, const Word* word, bool has_param, short)
{
    if (!has_param || !word)
        return false;
    // Half-points, read whole: a size past any real one is the largest one,
    // not one wrapped into 16 bits (and so negative).
    std::string_view text = word->GetCommand();
    size_t digits = text.find_first_of("0123456789-");
    int points = digits == std::string_view::npos ? 0 : saturatingAtoi(text.substr(digits)) / 2;
    c->attr_push(FontSize, std::to_string(std::clamp(points, -kMaxFontPoints, kMaxFontPoints)));
    return false;
}

bool GenericConverter::cmd_expand(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (!has_param)
        return false;
    if (param == 0)
        c->attr_pop(LetterSpacing);
    else
        c->attr_push(LetterSpacing, std::to_string(param / 4)); // quarter-points
    return false;
}

bool GenericConverter::cmd_cf(GenericConverter* c, const Word*, bool has_param, short param)
{
    return pushColor(c, c->m_colors, has_param, param, Foreground);
}

bool GenericConverter::cmd_cb(GenericConverter* c, const Word*, bool has_param, short param)
{
    return pushColor(c, c->m_colors, has_param, param, Background);
}

bool GenericConverter::cmd_highlight(GenericConverter* c, const Word*, bool has_param, short param)
{
    return pushColor(c, c->m_colors, has_param, param, Background);
}

bool GenericConverter::cmd_f(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (!has_param)
        return false;
    // The font also says what its bytes mean, for the rest of the group.
    if (c->m_chain)
        c->m_chain->font = param;
    auto font = c->m_fonts.find(param);
    if (font == c->m_fonts.end()) {
        c->warn("Warning: Invalid font number");
        return false;
    }
    // The face goes into an attribute value: written escaped.
    std::string face;
    appendEscaped(face, std::string_view(font->second).substr(0, kMaxFaceLength), false);
    c->attr_push(FontFace, std::move(face));
    return false;
}

#define RTF_FAMILY_HANDLER(name, faces)                                        \
    bool GenericConverter::name(GenericConverter* c, const Word*, bool, short) \
    {                                                                          \
        c->attr_push(FontFace, faces);                                         \
        return false;                                                          \
    }

RTF_FAMILY_HANDLER(cmd_fnil, "serif,Times,TimesRoman,TimesNewRoman")
RTF_FAMILY_HANDLER(cmd_froman, "serif,Times,Palatino")
RTF_FAMILY_HANDLER(cmd_fswiss, "sans-serif,Helvetica,Arial")
RTF_FAMILY_HANDLER(cmd_fmodern, "fixed,Courier,Verdana")
RTF_FAMILY_HANDLER(cmd_fscript, "Cursive,ZapfChancery")
RTF_FAMILY_HANDLER(cmd_fdecor, "ZapfChancery")
RTF_FAMILY_HANDLER(cmd_ftech, "Symbol")

#undef RTF_FAMILY_HANDLER

bool GenericConverter::cmd_plain(GenericConverter* c, const Word*, bool, short)
{
    c->m_lang = c->m_default_lang;
    if (c->m_chain)
        c->m_chain->font = -1;
    c->attr_pop_all();
    return false;
}

bool GenericConverter::cmd_deflang(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (has_param)
        c->m_default_lang = c->m_lang = param;
    return false;
}

bool GenericConverter::cmd_lang(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (has_param)
        c->m_lang = param;
    return false;
}

} // namespace rtf

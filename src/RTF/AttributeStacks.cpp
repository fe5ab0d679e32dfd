#include "RTF/AttributeStacks.h"

#include "RTF/GenericConverter.h"
#include "RTF/GenericConverterHelpers.h"
#include "RTF/OutputTags.h"

#include <algorithm>
#include <cstdio>

namespace rtf {

using namespace detail;

namespace {

    // The tag pair of an attribute kind; formatted kinds fill in their
    // parameter.
    struct KindTags {
        const char* OutputTags::*begin = nullptr;
        const char* OutputTags::*end = nullptr;
    };

    KindTags kindTags(int kind)
    {
        switch (kind) {
        case Bold:
            return { &OutputTags::bold_begin, &OutputTags::bold_end };
        case Italic:
            return { &OutputTags::italic_begin, &OutputTags::italic_end };
        case Underline:
        case WordUnderline:
        case ThickUnderline:
        case WaveUnderline:
        case DoubleUnderline:
        case DashUnderline:
        case DashDotUnderline:
        case DashDotDotUnderline:
            return { &OutputTags::underline_begin, &OutputTags::underline_end };
        case DottedUnderline:
            return { &OutputTags::dotted_underline_begin, &OutputTags::dotted_underline_end };
        case FontFace:
            return { &OutputTags::font_face_begin, &OutputTags::font_face_end };
        case Foreground:
            return { &OutputTags::foreground_begin, &OutputTags::foreground_end };
        case Background:
            return { &OutputTags::background_begin, &OutputTags::background_end };
        case Shadow:
            return { &OutputTags::shadow_begin, &OutputTags::shadow_end };
        case Outline:
            return { &OutputTags::outline_begin, &OutputTags::outline_end };
        case Emboss:
            return { &OutputTags::emboss_begin, &OutputTags::emboss_end };
        case Engrave:
            return { &OutputTags::engrave_begin, &OutputTags::engrave_end };
        case Superscript:
            return { &OutputTags::superscript_begin, &OutputTags::superscript_end };
        case Subscript:
            return { &OutputTags::subscript_begin, &OutputTags::subscript_end };
        case Strike:
            return { &OutputTags::strike_begin, &OutputTags::strike_end };
        case DoubleStrike:
            return { &OutputTags::double_strike_begin, &OutputTags::double_strike_end };
        case LetterSpacing:
            return { &OutputTags::letter_spacing_begin, &OutputTags::letter_spacing_end };
        default:
            return {};
        }
    }

    bool isFormattedKind(int kind)
    {
        return kind == FontFace || kind == Foreground || kind == Background || kind == LetterSpacing;
    }

    // One of the eight fixed sizes, for tag sets without a point size.
    int fontStep(int points)
    {
        static const int kLimits[7] = { 8, 10, 12, 14, 18, 24, 36 };
        int step = 0;
        while (step < 7 && points > kLimits[step])
            ++step;
        return step;
    }

    // Longer font names are cut: no face list needs more, and each group
    // writes the faces in force again.
    constexpr size_t kMaxFaceLength = 256;

    // Keywords that switch an attribute on, or off with a parameter of 0.
    bool toggle(AttributeStacks& attributes, bool has_param, short param, int kind, std::string value = {})
    {
        if (has_param && param == 0)
            attributes.pop(kind);
        else
            attributes.push(kind, std::move(value));
        return false;
    }

    bool pushColor(AttributeStacks& attributes, const std::vector<Color>& colors, bool has_param, short param, int kind)
    {
        if (!has_param || param < 0 || static_cast<size_t>(param) >= colors.size())
            return false;
        const Color& color = colors[static_cast<size_t>(param)];
        char value[8];
        std::snprintf(value, sizeof value, "#%02x%02x%02x", color.r, color.g, color.b);
        attributes.push(kind, value);
        return false;
    }

} // namespace

AttributeStacks::AttributeStacks(GenericConverter& converter)
    : m_converter(converter)
{
}

void AttributeStacks::express(bool on, int kind, const std::string& param)
{
    const OutputTags& t = m_converter.tags();
    switch (kind) {
    case FontSize:
        fontSize(on, t, saturatingAtoi(param));
        return;
    case AllCaps:
        m_caps = on ? 1 : 0;
        return;
    case SmallCaps:
        m_scaps = on ? 1 : 0;
        // Shown by the tag set's own small capitals where it has them.
        if (!t.simulate_small_caps && t.small_caps_begin && t.small_caps_end)
            m_converter.OutputString(on ? t.small_caps_begin : t.small_caps_end);
        return;
    default:
        break;
    }
    KindTags pair = kindTags(kind);
    if (!pair.begin)
        return;
    if (!on)
        m_converter.OutputString(t.*pair.end);
    else if (isFormattedKind(kind))
        m_converter.OutputFormatString(t.*pair.begin, param.c_str());
    else
        m_converter.OutputString(t.*pair.begin);
}

void AttributeStacks::fontSize(bool on, const OutputTags& tags, int size)
{
    if (tags.font_size_begin) {
        if (on)
            m_converter.OutputFormatString(tags.font_size_begin, size);
        else
            m_converter.OutputString(tags.font_size_end);
        return;
    }
    int step = fontStep(size);
    m_converter.OutputString(on ? tags.font_steps_begin[step] : tags.font_steps_end[step]);
}

void AttributeStacks::push(int kind, std::string param)
{
    if (!m_attrs)
        return;
    m_converter.starting_body();
    m_converter.m_table.startingText();
    if (m_attrs->size() >= kMaxAttributes) {
        // Fold to the last entry of each kind: closed and reopened, the
        // text looks the same.
        unexpressAll();
        std::vector<Attribute> kept;
        bool seen[32] = {};
        for (size_t i = 0; i < m_attrs->size(); ++i) {
            Attribute& entry = (*m_attrs)[i];
            int slot = entry.first >= 0 && entry.first < 32 ? entry.first : 0;
            if (!seen[slot]) {
                seen[slot] = true;
                kept.push_back(std::move(entry));
            }
        }
        m_attrs->clear();
        for (auto entry = kept.rbegin(); entry != kept.rend(); ++entry)
            m_attrs->push(std::move(*entry));
        expressAll();
    }
    m_attrs->push({ kind, std::move(param) });
    express(true, kind, m_attrs->top().second);
}

bool AttributeStacks::pop(int kind)
{
    if (!m_attrs || m_attrs->empty())
        return false;
    if (m_attrs->top().first == kind) {
        express(false, kind, m_attrs->top().second);
        m_attrs->pop();
        return true;
    }
    // Below the top: only its own closing tag; those above stay open.
    for (size_t i = 1; i < m_attrs->size(); ++i) {
        if ((*m_attrs)[i].first == kind) {
            express(false, kind, (*m_attrs)[i].second);
            m_attrs->erase(i);
            break;
        }
    }
    return false;
}

int AttributeStacks::topKind() const
{
    return m_attrs && !m_attrs->empty() ? m_attrs->top().first : 0;
}

std::string AttributeStacks::topParam() const
{
    return m_attrs && !m_attrs->empty() ? m_attrs->top().second : std::string();
}

void AttributeStacks::popAll()
{
    m_caps = 0;
    m_scaps = 0;
    if (!m_attrs)
        return;
    while (!m_attrs->empty()) {
        express(false, m_attrs->top().first, m_attrs->top().second);
        m_attrs->pop();
    }
}

void AttributeStacks::dropAll()
{
    if (m_attrs)
        m_attrs->clear();
}

void AttributeStacks::pushStack()
{
    // A group starts with the attributes of the group around it, whose tags
    // are open already.
    Stack inherited = m_attrs ? *m_attrs : Stack();
    m_stacks.push(std::move(inherited));
    m_attrs = &m_stacks.top();
}

void AttributeStacks::dropStack()
{
    if (!m_attrs)
        return;
    popAll();
    m_stacks.pop();
    m_attrs = m_stacks.empty() ? nullptr : &m_stacks.top();
    expressAll();
}

void AttributeStacks::expressAll()
{
    if (!m_attrs)
        return;
    for (size_t i = m_attrs->size(); i-- > 0;)
        express(true, (*m_attrs)[i].first, (*m_attrs)[i].second);
}

void AttributeStacks::unexpressAll()
{
    if (!m_attrs)
        return;
    for (size_t i = 0; i < m_attrs->size(); ++i)
        express(false, (*m_attrs)[i].first, (*m_attrs)[i].second);
}

void AttributeStacks::removeKind(int kind)
{
    Stack& stack = *m_attrs;
    for (size_t i = stack.size(); i-- > 0;) {
        if (stack[i].first == kind) {
            express(false, kind, stack[i].second);
            stack.erase(i);
        }
    }
}

void AttributeStacks::clear()
{
    m_stacks.clear();
    m_attrs = nullptr;
}

bool AttributeStacks::cmd_b(GenericConverter* c, const Word*, bool has_param, short param)
{
    return toggle(c->m_attributes, has_param, param, Bold);
}

bool AttributeStacks::cmd_i(GenericConverter* c, const Word*, bool has_param, short param)
{
    return toggle(c->m_attributes, has_param, param, Italic);
}

bool AttributeStacks::cmd_ul(GenericConverter* c, const Word* word, bool has_param, short param)
{
    if (has_param && param == 0)
        return cmd_ulnone(c, word, has_param, param);
    c->m_attributes.push(Underline, {});
    return false;
}

#define RTF_PUSH_HANDLER(name, kind)                                          \
    bool AttributeStacks::name(GenericConverter* c, const Word*, bool, short) \
    {                                                                         \
        c->m_attributes.push(kind, {});                                       \
        return false;                                                         \
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

bool AttributeStacks::cmd_ulnone(GenericConverter* c, const Word*, bool, short)
{
    AttributeStacks& attributes = c->m_attributes;
    if (!attributes.m_attrs)
        return false;
    for (int kind : { Underline, DoubleUnderline, DashUnderline, DashDotUnderline, DashDotDotUnderline, WordUnderline,
             WaveUnderline, ThickUnderline, DottedUnderline })
        attributes.removeKind(kind);
    return false;
}

#define RTF_TOGGLE_HANDLER(name, kind)                                                        \
    bool AttributeStacks::name(GenericConverter* c, const Word*, bool has_param, short param) \
    {                                                                                         \
        return toggle(c->m_attributes, has_param, param, kind);                               \
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

bool AttributeStacks::cmd_emboss(GenericConverter* c, const Word*, bool has_param, short param)
{
    return toggle(c->m_attributes, has_param, param, Emboss, std::to_string(param));
}

bool AttributeStacks::cmd_nosupersub(GenericConverter* c, const Word*, bool, short)
{
    std::string size;
    if (c->m_attributes.topKind() == FontSize) {
        size = c->m_attributes.topParam();
        c->m_attributes.pop(FontSize);
    }
    c->m_attributes.pop(Superscript);
    c->m_attributes.pop(Subscript);
    if (!size.empty())
        c->m_attributes.push(FontSize, size);
    return false;
}

bool AttributeStacks::cmd_caps(GenericConverter* c, const Word*, bool, short)
{
    if (c->m_attributes.caps())
        c->m_attributes.pop(AllCaps);
    else
        c->m_attributes.push(AllCaps, {});
    return false;
}

bool AttributeStacks::cmd_scaps(GenericConverter* c, const Word*, bool, short)
{
    if (c->m_attributes.smallCaps())
        c->m_attributes.pop(SmallCaps);
    else
        c->m_attributes.push(SmallCaps, {});
    return false;
}

bool AttributeStacks::cmd_fs(GenericConverter* c, const Word* word, bool has_param, short)
{
    if (!has_param || !word)
        return false;
    // Half-points, read whole: a size past any real one is the largest one,
    // not one wrapped into 16 bits (and so negative).
    std::string_view text = word->GetCommand();
    size_t digits = text.find_first_of("0123456789-");
    int points = digits == std::string_view::npos ? 0 : saturatingAtoi(text.substr(digits)) / 2;
    c->m_attributes.push(FontSize, std::to_string(std::clamp(points, -GenericConverter::kMaxFontPoints, GenericConverter::kMaxFontPoints)));
    return false;
}

bool AttributeStacks::cmd_expand(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (!has_param)
        return false;
    if (param == 0)
        c->m_attributes.pop(LetterSpacing);
    else
        c->m_attributes.push(LetterSpacing, std::to_string(param / 4)); // quarter-points
    return false;
}

bool AttributeStacks::cmd_cf(GenericConverter* c, const Word*, bool has_param, short param)
{
    return pushColor(c->m_attributes, c->m_destinations.colors(), has_param, param, Foreground);
}

bool AttributeStacks::cmd_cb(GenericConverter* c, const Word*, bool has_param, short param)
{
    return pushColor(c->m_attributes, c->m_destinations.colors(), has_param, param, Background);
}

bool AttributeStacks::cmd_highlight(GenericConverter* c, const Word*, bool has_param, short param)
{
    return pushColor(c->m_attributes, c->m_destinations.colors(), has_param, param, Background);
}

bool AttributeStacks::cmd_f(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (!has_param)
        return false;
    // The font also says what its bytes mean, for the rest of the group.
    if (c->m_chain)
        c->m_chain->font = param;
    const std::string* font = c->m_codePages.fontName(param);
    if (!font) {
        c->warn("Warning: Invalid font number");
        return false;
    }
    // The face goes into an attribute value: written escaped.
    std::string face;
    appendEscaped(face, std::string_view(*font).substr(0, kMaxFaceLength), false);
    c->m_attributes.push(FontFace, std::move(face));
    return false;
}

#define RTF_FAMILY_HANDLER(name, faces)                                       \
    bool AttributeStacks::name(GenericConverter* c, const Word*, bool, short) \
    {                                                                         \
        c->m_attributes.push(FontFace, faces);                                \
        return false;                                                         \
    }

RTF_FAMILY_HANDLER(cmd_fnil, "serif,Times,TimesRoman,TimesNewRoman")
RTF_FAMILY_HANDLER(cmd_froman, "serif,Times,Palatino")
RTF_FAMILY_HANDLER(cmd_fswiss, "sans-serif,Helvetica,Arial")
RTF_FAMILY_HANDLER(cmd_fmodern, "fixed,Courier,Verdana")
RTF_FAMILY_HANDLER(cmd_fscript, "Cursive,ZapfChancery")
RTF_FAMILY_HANDLER(cmd_fdecor, "ZapfChancery")
RTF_FAMILY_HANDLER(cmd_ftech, "Symbol")

#undef RTF_FAMILY_HANDLER

bool AttributeStacks::cmd_plain(GenericConverter* c, const Word*, bool, short)
{
    c->m_codePages.resetLanguage();
    if (c->m_chain)
        c->m_chain->font = -1;
    c->m_attributes.popAll();
    return false;
}

} // namespace rtf

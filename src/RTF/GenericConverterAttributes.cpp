// The attribute stacks: one per open group, and the tags each kind writes.

#include "RTF/GenericConverter.h"

#include "RTF/GenericConverterHelpers.h"
#include "RTF/OutputTags.h"

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

} // namespace

void GenericConverter::attr_express(bool on, int kind, const std::string& param)
{
    const OutputTags& t = tags();
    switch (kind) {
    case FontSize:
        op_fontsize(on, &t, saturatingAtoi(param));
        return;
    case AllCaps:
        m_caps = on ? 1 : 0;
        return;
    case SmallCaps:
        m_scaps = on ? 1 : 0;
        // Shown by the tag set's own small capitals where it has them.
        if (!t.simulate_small_caps && t.small_caps_begin && t.small_caps_end)
            OutputString(on ? t.small_caps_begin : t.small_caps_end);
        return;
    default:
        break;
    }
    KindTags pair = kindTags(kind);
    if (!pair.begin)
        return;
    if (!on)
        OutputString(t.*pair.end);
    else if (isFormattedKind(kind))
        OutputFormatString(t.*pair.begin, param.c_str());
    else
        OutputString(t.*pair.begin);
}

void GenericConverter::op_fontsize(bool on, const OutputTags* tags, int size)
{
    if (tags->font_size_begin) {
        if (on)
            OutputFormatString(tags->font_size_begin, size);
        else
            OutputString(tags->font_size_end);
        return;
    }
    int step = fontStep(size);
    OutputString(on ? tags->font_steps_begin[step] : tags->font_steps_end[step]);
}

void GenericConverter::attr_push(int kind, std::string param)
{
    if (!m_attrs)
        return;
    starting_body();
    starting_text();
    if (m_attrs->size() >= kMaxAttributes) {
        // Fold to the last entry of each kind: closed and reopened, the
        // text looks the same.
        attrstack_unexpress_all();
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
        attrstack_express_all();
    }
    m_attrs->push({ kind, std::move(param) });
    attr_express(true, kind, m_attrs->top().second);
}

bool GenericConverter::attr_pop(int kind)
{
    if (!m_attrs || m_attrs->empty())
        return false;
    if (m_attrs->top().first == kind) {
        attr_express(false, kind, m_attrs->top().second);
        m_attrs->pop();
        return true;
    }
    // Below the top: only its own closing tag; those above stay open.
    for (size_t i = 1; i < m_attrs->size(); ++i) {
        if ((*m_attrs)[i].first == kind) {
            attr_express(false, kind, (*m_attrs)[i].second);
            m_attrs->erase(i);
            break;
        }
    }
    return false;
}

int GenericConverter::attr_read() const
{
    return m_attrs && !m_attrs->empty() ? m_attrs->top().first : 0;
}

std::string GenericConverter::attr_read_params() const
{
    return m_attrs && !m_attrs->empty() ? m_attrs->top().second : std::string();
}

void GenericConverter::attr_pop_all()
{
    m_caps = 0;
    m_scaps = 0;
    if (!m_attrs)
        return;
    while (!m_attrs->empty()) {
        attr_express(false, m_attrs->top().first, m_attrs->top().second);
        m_attrs->pop();
    }
}

void GenericConverter::attr_drop_all()
{
    if (m_attrs)
        m_attrs->clear();
}

void GenericConverter::attrstack_push()
{
    // A group starts with the attributes of the group around it, whose tags
    // are open already.
    AttributeStack inherited = m_attrs ? *m_attrs : AttributeStack();
    m_attr_stacks.push(std::move(inherited));
    m_attrs = &m_attr_stacks.top();
}

void GenericConverter::attrstack_drop()
{
    if (!m_attrs)
        return;
    attr_pop_all();
    m_attr_stacks.pop();
    m_attrs = m_attr_stacks.empty() ? nullptr : &m_attr_stacks.top();
    attrstack_express_all();
}

void GenericConverter::attrstack_express_all()
{
    if (!m_attrs)
        return;
    for (size_t i = m_attrs->size(); i-- > 0;)
        attr_express(true, (*m_attrs)[i].first, (*m_attrs)[i].second);
}

void GenericConverter::attrstack_unexpress_all()
{
    if (!m_attrs)
        return;
    for (size_t i = 0; i < m_attrs->size(); ++i)
        attr_express(false, (*m_attrs)[i].first, (*m_attrs)[i].second);
}

void GenericConverter::attrstack_unexpress_all_of_kind_and_remove(AttributeStack& stack, int kind)
{
    for (size_t i = stack.size(); i-- > 0;) {
        if (stack[i].first == kind) {
            attr_express(false, kind, stack[i].second);
            stack.erase(i);
        }
    }
}

} // namespace rtf

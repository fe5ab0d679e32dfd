#include "Viewers/RTF/GenericConverter.h"

#include "Platform/Core/Log.h"
#include "Viewers/RTF/Exception.h"
#include "Viewers/RTF/OutputTags.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
    m_chains.clear();
    m_chain = nullptr;
    m_high_surrogate = 0;
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

#undef RTF_INERT_HANDLER

namespace {

    // Paragraph properties, in the order a chain keeps their declarations.
    enum Property : size_t { Alignment,
        FirstIndent,
        LeftIndent,
        RightIndent,
        SpaceBefore,
        SpaceAfter };

    // Attribute kinds.
    enum Kind : int {
        Bold = 1,
        Italic = 2,
        Underline = 3,
        DottedUnderline = 4,
        WordUnderline = 5,
        ThickUnderline = 6,
        WaveUnderline = 7,
        DoubleUnderline = 8,
        DashUnderline = 9,
        DashDotUnderline = 10,
        DashDotDotUnderline = 11,
        FontSize = 12,
        FontFace = 14,
        Foreground = 15,
        Background = 16,
        AllCaps = 17,
        SmallCaps = 18,
        Shadow = 19,
        Outline = 20,
        Emboss = 21,
        Engrave = 22,
        Superscript = 23,
        Subscript = 24,
        Strike = 25,
        DoubleStrike = 26,
        LetterSpacing = 27,
    };

    // Longer font names are cut: no face list needs more, and each group
    // writes the faces in force again.
    constexpr size_t kMaxFaceLength = 256;

    const char* const kMonths[12] = { "January", "February", "March", "April", "May", "June", "July",
        "August", "September", "October", "November", "December" };

    bool isLower(unsigned char c)
    {
        return c >= 'a' && c <= 'z';
    }

    unsigned char toUpper(unsigned char c)
    {
        return isLower(c) ? static_cast<unsigned char>(c - 32) : c;
    }

    bool startsWith(std::string_view text, std::string_view prefix)
    {
        return text.substr(0, prefix.size()) == prefix;
    }

    // A tag with one integer filled in.
    std::string formatted(const char* format, int value)
    {
        if (!format)
            return {};
        char buffer[256];
        int length = std::snprintf(buffer, sizeof buffer, format, value);
        if (length <= 0)
            return {};
        return std::string(buffer, std::min<size_t>(static_cast<size_t>(length), sizeof buffer - 1));
    }

    // A hexadecimal digit as the reader has always taken it: any character
    // gives a value, kept to 8 bits by the caller.
    int hexValue(char c)
    {
        int lower = (c >= 'A' && c <= 'Z') ? c + 32 : static_cast<unsigned char>(c);
        return lower <= '9' ? lower - 48 : lower - 87;
    }

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

    // Adds to a character count without overflowing on absurd runs.
    int counted(int count, size_t more)
    {
        return static_cast<int>(std::min<int64_t>(int64_t(count) + int64_t(std::min<size_t>(more, INT_MAX)), INT_MAX / 2));
    }

    bool isBlank(std::string_view text)
    {
        return text.find_first_not_of(' ') == std::string_view::npos;
    }

    bool isHighSurrogate(int c)
    {
        return c >= 0xD800 && c <= 0xDBFF;
    }

    bool isLowSurrogate(int c)
    {
        return c >= 0xDC00 && c <= 0xDFFF;
    }

    // A group whose words a reader without its destination must skip.
    bool isIgnorable(const Word* group)
    {
        const Word* first = group->GetChild();
        return first && first->GetCommand() == "\\*";
    }

    // The text of a field instruction: its text words and blanks, inline or
    // in subgroups, with the doubled backslashes of switches undone.
    std::string instructionText(const Word* first)
    {
        std::string text;
        std::vector<const Word*> pending { first };
        while (!pending.empty()) {
            const Word* word = pending.back();
            pending.pop_back();
            if (!word)
                continue;
            pending.push_back(word->GetNext());
            if (word->GetChild()) {
                if (!isIgnorable(word))
                    pending.push_back(word->GetChild());
                continue;
            }
            const std::string& part = word->GetCommand();
            if (part.empty())
                continue;
            if (part[0] != '\\') {
                text += part;
            } else if (part == "\\\\") {
                text += '\\';
            } else if (part.size() == 2 && std::isalpha(static_cast<unsigned char>(part[1]))) {
                text += ' ';
                text += part; // a switch written with a single backslash
                text += ' ';
            } else if (part.size() == 4 && part[1] == '\'') {
                int byte = (hexValue(part[2]) * 16 + hexValue(part[3])) & 0xFF;
                if (byte >= 32 && byte < 127)
                    text += static_cast<char>(byte);
            }
        }
        return text;
    }

    // Splits an instruction into words: blanks separate them, quotes hold
    // blanks inside one, and a switch ("\l") is a word of its own.
    std::vector<std::string> instructionWords(std::string_view text)
    {
        std::vector<std::string> words;
        size_t at = 0;
        while (at < text.size()) {
            char c = text[at];
            if (c == ' ') {
                ++at;
            } else if (c == '"') {
                size_t end = text.find('"', at + 1);
                if (end == std::string_view::npos)
                    end = text.size();
                words.emplace_back(text.substr(at + 1, end - at - 1));
                at = end + 1;
            } else if (c == '\\') {
                size_t end = at + 1;
                while (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end])))
                    ++end;
                words.emplace_back(text.substr(at, end - at));
                at = end;
            } else {
                size_t end = text.find_first_of(" \"", at);
                if (end == std::string_view::npos)
                    end = text.size();
                words.emplace_back(text.substr(at, end - at));
                at = end;
            }
        }
        return words;
    }

    // The target of a HYPERLINK instruction: its address, "#" and the
    // location of "\l"; empty for other fields.
    std::string hyperlinkTarget(const Word* instruction)
    {
        std::vector<std::string> words = instructionWords(instructionText(instruction));
        if (words.empty() || words[0].size() != 9)
            return {};
        for (size_t i = 0; i < 9; ++i) {
            if (toUpper(static_cast<unsigned char>(words[0][i])) != "HYPERLINK"[i])
                return {};
        }
        std::string address;
        std::string location;
        for (size_t i = 1; i < words.size(); ++i) {
            const std::string& word = words[i];
            if (word.size() >= 2 && word[0] == '\\') {
                // Switches with an argument: location, tip, target frame.
                if (i + 1 < words.size() && (word == "\\l" || word == "\\o" || word == "\\t")) {
                    if (word == "\\l" && location.empty())
                        location = words[i + 1];
                    ++i;
                }
                continue;
            }
            if (address.empty())
                address = word;
        }
        if (!location.empty())
            return address + "#" + location;
        return address;
    }

    // Appends text that comes from the document: & < > " escaped, control
    // characters dropped, and bytes beyond ASCII kept only when they are
    // known to be UTF-8.
    void appendEscaped(std::string& out, std::string_view text, bool utf8)
    {
        for (char ch : text) {
            unsigned char c = static_cast<unsigned char>(ch);
            if (c == '&')
                out += "&amp;";
            else if (c == '<')
                out += "&lt;";
            else if (c == '>')
                out += "&gt;";
            else if (c == '"')
                out += "&quot;";
            else if ((c >= 32 && c <= 126) || (utf8 && c >= 128))
                out += ch;
        }
    }

    // Printable ASCII of the text; the rest is dropped.
    std::string printable(std::string_view text)
    {
        std::string result;
        for (char c : text) {
            if (c >= 32 && c <= 126)
                result += c;
        }
        return result;
    }

    // Links that would run a script when followed are not written as links.
    bool isScriptLink(std::string_view href)
    {
        size_t start = href.find_first_not_of(' ');
        if (start == std::string_view::npos)
            return false;
        std::string scheme;
        for (size_t i = start; i < href.size() && href[i] != ':' && scheme.size() < 16; ++i)
            scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(href[i])));
        return scheme == "javascript" || scheme == "vbscript";
    }

    // Whether a field result writes any text.
    bool holdsText(const Word* first)
    {
        std::vector<const Word*> pending { first };
        while (!pending.empty()) {
            const Word* word = pending.back();
            pending.pop_back();
            for (; word; word = word->GetNext()) {
                if (word->GetChild()) {
                    if (!isIgnorable(word))
                        pending.push_back(word->GetChild());
                    continue;
                }
                const std::string& text = word->GetCommand();
                if (text.empty())
                    continue;
                if (text[0] != '\\') {
                    if (!isBlank(text))
                        return true;
                } else if (text.size() > 2 && (text[1] == '\'' || (text[1] == 'u' && (isDigit(text[2]) || text[2] == '-')))) {
                    return true;
                }
            }
        }
        return false;
    }

    const OutputTags& noTags()
    {
        static const OutputTags none;
        return none;
    }

} // namespace

const OutputTags& GenericConverter::tags() const
{
    return m_tags ? *m_tags : noTags();
}

void GenericConverter::Chain::declare(size_t property, std::string declaration)
{
    if (declaration.empty())
        return;
    if (declarations[property].empty())
        order[declarationCount++] = static_cast<uint8_t>(property);
    declarations[property] = std::move(declaration);
}

std::string GenericConverter::Chain::style() const
{
    std::string result;
    for (size_t i = 0; i < declarationCount; ++i)
        result += declarations[order[i]];
    return result;
}

// --- The walk ---

void GenericConverter::ConvertWordTree(const OutputTags* tags, Word* root, bool omit_info)
{
    m_info_flag = omit_info;
    m_tags = tags;
    m_warnings = 0;
    const OutputTags& t = this->tags();
    OutputString(t.document_begin);
    OutputString(t.head_begin);
    OutputString(t.charset_meta);
    OutputString(t.style_begin);
    OutputString(t.style_end);
    m_in_header = true;
    m_body_started = false;
    m_table_open = false;
    m_caps = 0;
    word_print_core(root);
    attr_pop_all();
    OutputString(t.body_end);
    OutputString(t.document_end);
    patch_body_width();
    Cleanup();
    m_info_flag = false;
    m_tags = nullptr;
}

void GenericConverter::word_print_core(Word* first)
{
    const OutputTags& t = tags();

    // A group entered after the table's last row closes the table; one
    // entered with table text pending opens it.
    if (m_in_table == 0 && m_table_open) {
        if (!m_cell_closed) {
            attr_pop_all();
            OutputString(t.cell_end);
        }
        if (!m_row_closed)
            OutputString(t.row_end);
        OutputString(t.table_end);
        m_table_open = m_row_open = m_cell_open = m_row_closed = m_cell_closed = false;
    } else if (m_in_table != 0 && !m_table_open) {
        m_table_open = true;
        m_row_open = m_cell_open = m_row_closed = m_cell_closed = false;
        attrstack_push();
        starting_body();
        OutputString(t.table_begin);
    }
    attrstack_push();

    Chain* outer = m_chain;
    Chain& chain = m_chains.emplace_back();
    chain.uc = outer ? outer->uc : 1;
    m_chain = &chain;

    for (Word* word = first; word; word = word->GetNext()) {
        const std::string& text = word->GetCommand();
        if (text.empty()) {
            chain.skip = 0; // a group boundary ends the fallback
            if (!chain.paragraph_open && chain.hasStyle()) {
                start_paragraph(chain.style());
                chain.paragraph_open = true;
            }
            if (word->GetChild())
                word_print_core(word->GetChild());
            continue;
        }
        if (chain.skip > 0 && (text[0] == '\\' || text[0] == ' ')) {
            --chain.skip;
        } else if (text[0] == '\\') {
            if (print_control(chain, word))
                break;
        } else if (text[0] == ' ' && m_in_header) {
            // Blanks before the body are layout of the file, not text.
        } else {
            std::string_view run = text;
            if (chain.skip > 0) {
                size_t skipped = std::min(run.size(), static_cast<size_t>(chain.skip));
                run.remove_prefix(skipped);
                chain.skip -= static_cast<int>(skipped);
            }
            if (!run.empty())
                print_text(chain, run);
        }
        word->Clear();
    }

    flush_surrogate();
    if (chain.paragraph_open) {
        OutputString(t.paragraph_end);
        reset_counters();
    }
    if (chain.cell_ended)
        attr_drop_all(); // the cell end closed them already
    else
        attr_pop_all();
    attrstack_drop();

    m_chains.pop_back();
    m_chain = outer;
}

bool GenericConverter::print_control(Chain& chain, Word* word)
{
    const OutputTags& t = tags();
    std::string_view name = std::string_view(word->GetCommand()).substr(1);

    if (name == "pard") {
        if (m_in_table > 0)
            --m_in_table;
        const Word* next = word->GetNext();
        if (next && next->GetCommand() == "\\plain") {
            m_lang = m_default_lang;
            attr_pop_all();
        }
        if (chain.paragraph_open)
            OutputString(t.paragraph_end);
        chain.paragraph_open = false;
        reset_counters();
        chain.declarations = {};
        chain.declarationCount = 0;
    }

    static const std::pair<std::string_view, const char * OutputTags::*> kAlignments[] = {
        { "ql", &OutputTags::align_left },
        { "qr", &OutputTags::align_right },
        { "qj", &OutputTags::align_justify },
        { "qc", &OutputTags::align_center },
    };
    for (const auto& [keyword, tag] : kAlignments) {
        if (name == keyword) {
            chain.declare(Alignment, t.*tag ? t.*tag : "");
            return false;
        }
    }

    // Only "\-" and control words with a number carry a parameter; "\-"
    // then has no keyword and reaches no handler.
    bool has_param = name.find_first_of("0123456789-") != std::string_view::npos;
    short param = 0;
    std::string keyword = has_param ? extract_cmd_param(name, &param) : std::string();
    if (has_param) {
        static const struct {
            const char* keyword;
            const char* OutputTags::*tag;
            Property property;
        } kIndents[] = {
            { "fi", &OutputTags::first_indent, FirstIndent },
            { "li", &OutputTags::left_indent, LeftIndent },
            { "ri", &OutputTags::right_indent, RightIndent },
            { "sb", &OutputTags::space_before, SpaceBefore },
            { "sa", &OutputTags::space_after, SpaceAfter },
        };
        for (const auto& indent : kIndents) {
            if (keyword == indent.keyword) {
                chain.declare(indent.property, formatted(t.*indent.tag, param / 20));
                return false;
            }
        }
    }

    if (name == "par") {
        OutputString(chain.paragraph_open ? t.paragraph_end : t.line_break);
        chain.paragraph_open = false;
        reset_counters();
        return false;
    }
    if (name == "cell") {
        if (!m_cell_open) {
            // An empty cell: inside a table it opens the table and row it
            // belongs to, like text would.
            if (m_table_open || m_in_table >= 1) {
                starting_body();
                starting_text();
            }
            if (!m_cell_open) {
                OutputString(t.cell_begin);
                attrstack_express_all();
            }
            OutputString(t.space);
        }
        attr_pop_all();
        if (chain.paragraph_open) {
            OutputString(t.paragraph_end);
            reset_counters();
            chain.paragraph_open = false;
        }
        OutputString(t.cell_end);
        reset_counters();
        m_cell_open = false;
        chain.cell_ended = true;
        m_cell_closed = true;
        return false;
    }
    if (name == "row") {
        if (m_table_open) {
            OutputString(t.row_end);
            m_row_open = false;
            m_row_closed = true;
        }
        if (m_in_table > INT_MIN)
            --m_in_table;
        chain.paragraph_open = false;
        return false;
    }
    if (!name.empty() && name[0] == '\'') {
        print_hex(chain, name);
        return false;
    }

    int result = has_param ? HandleRTFCommand(keyword, word, true, param) : HandleRTFCommand(std::string(name), word, false, 0);
    return result == 0;
}

void GenericConverter::print_text(Chain& chain, std::string_view text)
{
    const OutputTags& t = tags();
    starting_character();
    if (!chain.paragraph_open && chain.hasStyle()) {
        start_paragraph(chain.style());
        chain.paragraph_open = true;
    }
    // Counted before translating, so that a blank opening a line sees
    // itself and becomes a non-breaking space.
    m_line_chars = counted(m_line_chars, text.size());
    m_run_chars = text[0] == ' ' ? 0 : counted(m_run_chars, text.size());
    OutputString(t.text_begin);

    int limit = m_body_width == 0 ? 100 : m_body_width / 10;
    bool longRun = m_run_chars > limit;
    if (longRun)
        OutputString(t.long_run_begin);

    bool lowerRun = false;
    if (m_scaps && isLower(static_cast<unsigned char>(text[0]))) {
        OutputString(t.small_caps_begin);
        lowerRun = true;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (m_caps || m_scaps)
            c = toUpper(c);
        // Bytes 128 to 255 standing unescaped in text have no code page: dropped.
        if (c >= 32 && c <= 127)
            OutputString(op_translate_char(&t, m_charset, c));
        if (m_scaps) {
            bool nextLower = i + 1 < text.size() && isLower(static_cast<unsigned char>(text[i + 1]));
            if (nextLower && !lowerRun) {
                OutputString(t.small_caps_begin);
                lowerRun = true;
            } else if (!nextLower && lowerRun) {
                OutputString(t.small_caps_end);
                lowerRun = false;
            }
        }
    }
    if (longRun)
        OutputString(t.long_run_end);
    OutputString(t.text_end);
}

void GenericConverter::print_hex(Chain& chain, std::string_view name)
{
    const OutputTags& t = tags();
    if (name.size() < 3)
        return; // cut short by the end of the document
    int byte = (hexValue(name[1]) * 16 + hexValue(name[2])) & 0xFF;

    std::string converted;
    std::string_view result;
    if (m_charset == 2) {
        if (!m_iconv) {
            warn("iconv err: E2BIG");
            chain.pendingCount = 0;
        } else {
            chain.pending[chain.pendingCount++] = static_cast<char>(byte);
            char out[10];
            auto step = m_iconv.convert(std::string_view(chain.pending.data(), chain.pendingCount), out, sizeof out);
            using Status = core::TextConverter::Status;
            bool failed = step.status == Status::Invalid || step.status == Status::OutputFull;
            if (!failed) {
                std::copy(chain.pending.begin() + static_cast<std::ptrdiff_t>(step.consumed),
                    chain.pending.begin() + static_cast<std::ptrdiff_t>(chain.pendingCount), chain.pending.begin());
                chain.pendingCount -= step.consumed;
                // A sequence still incomplete after twelve bytes never ends.
                if (step.status == Status::Incomplete && chain.pendingCount == chain.pending.size())
                    failed = true;
            }
            if (failed) {
                warn(step.status == Status::OutputFull ? "iconv err: E2BIG" : "iconv err: EILSEQ");
                chain.pendingCount = 0;
                m_iconv.reset();
            } else {
                // The code page's characters are text: markup escaped,
                // control characters dropped.
                appendEscaped(converted, std::string_view(out, step.produced), true);
                result = converted;
            }
        }
    } else {
        result = op_translate_char(&t, m_charset, byte);
    }

    if (!result.empty())
        starting_character();
    if (!chain.paragraph_open && chain.hasStyle()) {
        start_paragraph(chain.style());
        chain.paragraph_open = true;
    }
    if (!result.empty()) {
        OutputString(t.text_begin);
        OutputString(result);
        OutputString(t.text_end);
    }
}

std::string_view GenericConverter::op_translate_char(const OutputTags* tags, int charset, int ch)
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
    if (m_lang != 0) {
        auto language = tags->language_tables.find(m_lang);
        if (language != tags->language_tables.end() && language->second.flags[ch - 128] == 0) {
            // The language's own letter, in its own code page.
            std::string_view letter = language_letter(language->second.codePage, ch);
            if (!letter.empty())
                return letter;
        }
    }
    const char* text = tags->ansi_table ? tags->ansi_table[ch - tags->ansi_first] : nullptr;
    return text ? text : "";
}

std::string_view GenericConverter::language_letter(int codePage, int ch)
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

// --- Output operations ---

void GenericConverter::output_escaped(std::string_view text)
{
    std::string escaped;
    appendEscaped(escaped, text, false);
    OutputString(escaped);
}

void GenericConverter::output_comment_text(std::string_view text)
{
    std::string spaced;
    for (char c : text) {
        if (c == '-' && !spaced.empty() && spaced.back() == '-')
            spaced += ' ';
        spaced += c;
    }
    if (!spaced.empty() && spaced.back() == '-')
        spaced += ' ';
    output_escaped(spaced);
}

void GenericConverter::starting_body()
{
    if (m_body_started)
        return;
    const OutputTags& t = tags();
    int width = m_body_width + 2 * t.page_margin;
    m_viewport_at = m_output.size();
    OutputFormatString(t.viewport_meta, width);
    OutputString(t.head_end);
    m_body_at = m_output.size();
    OutputFormatString(t.body_begin, width);
    m_written_width = width;
    m_in_header = false;
    m_body_started = true;
}

void GenericConverter::start_paragraph(const std::string& style)
{
    if (m_in_header)
        starting_body();
    OutputFormatString(tags().paragraph_begin, style.c_str());
    reset_counters();
}

void GenericConverter::starting_text()
{
    const OutputTags& t = tags();
    if (!m_table_open) {
        if (m_in_table < 1)
            return;
        OutputString(t.table_begin);
        m_table_open = true;
        m_row_open = false;
    }
    if (!m_row_open) {
        OutputString(t.row_begin);
        m_row_open = true;
        m_row_closed = false;
        m_cell_open = false;
    } else if (m_cell_open) {
        return;
    }
    OutputString(t.cell_begin);
    attrstack_express_all();
    m_cell_open = true;
    m_cell_closed = false;
}

void GenericConverter::starting_character()
{
    flush_surrogate();
    starting_body();
    starting_text();
}

void GenericConverter::output_character(const char* text, bool count)
{
    if (text && *text) {
        starting_character();
        OutputString(text);
        count = true;
    }
    if (count) {
        m_line_chars = counted(m_line_chars, 1);
        m_run_chars = counted(m_run_chars, 1);
    }
}

void GenericConverter::update_body_width(int width)
{
    // The tags already written are rewritten once, at the end: widening
    // them in place for every picture would move the whole output each time.
    if (width > m_body_width)
        m_body_width = width;
}

void GenericConverter::patch_body_width()
{
    const OutputTags& t = tags();
    int width = m_body_width + 2 * t.page_margin;
    if (!m_body_started || width == m_written_width)
        return;
    // The body tag first: it stands after the viewport tag.
    const std::pair<size_t, const char*> written[] = { { m_body_at, t.body_begin }, { m_viewport_at, t.viewport_meta } };
    for (const auto& [at, format] : written) {
        std::string old = formatted(format, m_written_width);
        if (!old.empty() && m_output.compare(at, old.size(), old) == 0)
            m_output.replace(at, old.size(), formatted(format, width));
    }
    m_written_width = width;
}

void GenericConverter::output_unicode(int codePoint)
{
    // Control characters other than tab and line ends have no place in HTML.
    if (codePoint < 32 && codePoint != 9 && codePoint != 10 && codePoint != 13)
        codePoint = 0xFFFD;
    starting_character();
    OutputFormatString(tags().unicode_char, codePoint);
}

void GenericConverter::flush_surrogate()
{
    if (m_high_surrogate) {
        m_high_surrogate = 0;
        output_unicode(0xFFFD);
    }
}

void GenericConverter::warn(std::string_view line)
{
    if (m_warnings < kMaxWarnings) {
        ++m_warnings;
        core::log(line);
    }
}

void GenericConverter::word_dump_date(const Word* first)
{
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    for (const Word* word = first; word; word = word->GetNext()) {
        std::string_view text = word->GetCommand();
        if (text.size() >= 4 && text[0] == '\\' && isDigit(text[3])) {
            std::string_view key = text.substr(1, 2);
            int value = saturatingAtoi(text.substr(3));
            if (key == "yr")
                year = value;
            else if (key == "mo")
                month = value;
            else if (key == "dy")
                day = value;
            else if (key == "hr")
                hour = value;
        }
        if (text.size() >= 5 && startsWith(text, "\\min") && isDigit(text[4]))
            minute = saturatingAtoi(text.substr(4));
    }
    if (year && day && month >= 1 && month <= 12)
        OutputFormatString("%d %s %d ", day, kMonths[month - 1], year);
    if (hour && minute)
        OutputFormatString("%02d:%02d ", hour, minute);
}

// --- Attributes ---

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

// --- Character attribute handlers ---

namespace {

    // Keywords that switch an attribute on, or off with a parameter of 0.
    bool toggle(GenericConverter* converter, bool has_param, short param, int kind, std::string value = {})
    {
        if (has_param && param == 0)
            converter->attr_pop(kind);
        else
            converter->attr_push(kind, std::move(value));
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

bool GenericConverter::cmd_fs(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (has_param)
        c->attr_push(FontSize, std::to_string(param / 2)); // half-points
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

namespace {

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

// --- Special characters ---

bool GenericConverter::cmd_slash(GenericConverter* c, const Word*, bool, short)
{
    c->output_character("\\", true);
    return false;
}

bool GenericConverter::cmd_opening_brace(GenericConverter* c, const Word*, bool, short)
{
    c->output_character("{", true);
    return false;
}

bool GenericConverter::cmd_closing_brace(GenericConverter* c, const Word*, bool, short)
{
    c->output_character("}", true);
    return false;
}

#define RTF_CHARACTER_HANDLER(name, slot, countAlways)                         \
    bool GenericConverter::name(GenericConverter* c, const Word*, bool, short) \
    {                                                                          \
        c->output_character(c->tags().slot, countAlways);                      \
        return false;                                                          \
    }

RTF_CHARACTER_HANDLER(cmd_lquote, lquote, true)
RTF_CHARACTER_HANDLER(cmd_rquote, rquote, true)
RTF_CHARACTER_HANDLER(cmd_ldblquote, ldblquote, true)
RTF_CHARACTER_HANDLER(cmd_rdblquote, rdblquote, true)
RTF_CHARACTER_HANDLER(cmd_endash, endash, true)
RTF_CHARACTER_HANDLER(cmd_emdash, emdash, true)
RTF_CHARACTER_HANDLER(cmd_nonbreaking_hyphen, nonbreaking_hyphen, true)
RTF_CHARACTER_HANDLER(cmd_optional_hyphen, optional_hyphen, true)
RTF_CHARACTER_HANDLER(cmd_bullet, bullet, false)
RTF_CHARACTER_HANDLER(cmd_nonbreaking_space, nonbreaking_space, false)

#undef RTF_CHARACTER_HANDLER

bool GenericConverter::cmd_tab(GenericConverter* c, const Word*, bool, short)
{
    const char* space = c->tags().space;
    if (space && *space) {
        c->starting_character();
        for (int i = 0; i < 4; ++i)
            c->OutputString(space);
    }
    return false;
}

bool GenericConverter::cmd_line(GenericConverter* c, const Word*, bool, short)
{
    c->OutputString(c->tags().line_break);
    c->reset_counters();
    return false;
}

bool GenericConverter::cmd_page(GenericConverter* c, const Word*, bool, short)
{
    c->OutputString(c->tags().page_break);
    c->reset_counters();
    return false;
}

bool GenericConverter::cmd_sect(GenericConverter* c, const Word*, bool, short)
{
    c->OutputString(c->tags().section_break);
    return false;
}

bool GenericConverter::cmd_u(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (!has_param || param == 0)
        return false;
    int codePoint = param < 0 ? param + 65536 : param;
    if (codePoint == 8232) { // line separator
        c->flush_surrogate();
        c->OutputString(c->tags().line_break);
        c->reset_counters();
    } else if (isHighSurrogate(codePoint)) {
        // Characters beyond the first plane come as two halves; the first
        // waits for the second.
        c->flush_surrogate();
        c->m_high_surrogate = codePoint;
    } else if (isLowSurrogate(codePoint)) {
        int high = c->m_high_surrogate;
        c->m_high_surrogate = 0;
        c->output_unicode(high ? 0x10000 + ((high - 0xD800) << 10) + (codePoint - 0xDC00) : 0xFFFD);
    } else {
        c->output_unicode(codePoint);
    }
    // The characters that stand in for it are not written.
    if (c->m_chain)
        c->m_chain->skip = c->m_chain->uc;
    return false;
}

bool GenericConverter::cmd_uc(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (has_param && param >= 0 && c->m_chain)
        c->m_chain->uc = param;
    return false;
}

bool GenericConverter::cmd_paperw(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (!c->m_in_header)
        c->warn("Warning, paperw cmd encountered outside of the header");
    else if (has_param)
        c->m_body_width = param / 20; // twips
    return false;
}

// --- Destinations ---

bool GenericConverter::cmd_colortbl(GenericConverter* c, const Word* word, bool, short)
{
    int red = 0;
    int green = 0;
    int blue = 0;
    // 16-bit components keep their high byte; negative ones are 0.
    auto component = [](std::string_view digits) {
        int value = std::max(0, saturatingAtoi(digits));
        while (value > 255)
            value >>= 8;
        return value;
    };
    for (const Word* part = word ? word->GetNext() : nullptr; part; part = part->GetNext()) {
        std::string_view text = part->GetCommand();
        if (text == ";") {
            c->m_colors.push_back({ static_cast<unsigned char>(red), static_cast<unsigned char>(green), static_cast<unsigned char>(blue) });
            red = green = blue = 0;
        } else if (startsWith(text, "\\red")) {
            red = component(text.substr(4));
        } else if (startsWith(text, "\\green")) {
            green = component(text.substr(6));
        } else if (startsWith(text, "\\blue")) {
            blue = component(text.substr(5));
        }
    }
    return true;
}

bool GenericConverter::cmd_info(GenericConverter* c, const Word* word, bool, short)
{
    const OutputTags& t = c->tags();
    // The words of an entry after its keyword that are not control words.
    auto entryText = [](const Word* keyword, bool separateWords) {
        std::string text;
        for (const Word* part = keyword->GetNext(); part; part = part->GetNext()) {
            const std::string& piece = part->GetCommand();
            if (piece.empty() || piece[0] == '\\' || (separateWords && isBlank(piece)))
                continue;
            text += piece;
            if (separateWords)
                text += ',';
        }
        return text;
    };
    auto comment = [&](std::string_view label, std::string_view text) {
        c->OutputString(t.comment_begin);
        c->OutputString(label);
        c->output_comment_text(text);
        c->OutputString(t.comment_end);
    };

    for (const Word* entry = word ? word->GetNext() : nullptr; entry; entry = entry->GetNext()) {
        const Word* keyword = entry->GetChild();
        if (!keyword)
            continue;
        std::string_view key = keyword->GetCommand();
        if (key == "\\hlinkbase") {
            const Word* base = keyword->GetNext();
            bool none = !base || base->GetCommand().empty();
            comment("hyperlink base: ", none ? std::string_view("(none)") : std::string_view(base->GetCommand()));
            continue;
        }
        if (c->m_info_flag)
            continue;
        if (key == "\\title") {
            c->OutputString(t.title_begin);
            c->output_escaped(entryText(keyword, false));
            c->OutputString(t.title_end);
        } else if (key == "\\keywords") {
            c->OutputString(t.keywords_begin);
            c->output_escaped(entryText(keyword, true));
            c->OutputString(t.keywords_end);
        } else if (key == "\\author") {
            c->OutputString(t.author_begin);
            c->output_comment_text(entryText(keyword, false));
            c->OutputString(t.author_end);
        } else if (key == "\\comment") {
            comment("comments: ", entryText(keyword, false));
        } else if (startsWith(key, "\\nofpages")) {
            comment("total pages: ", key.substr(9));
        } else if (startsWith(key, "\\nofwords")) {
            comment("total words: ", key.substr(9));
        } else if (startsWith(key, "\\nofchars") && key.size() > 9 && isDigit(key[9])) {
            comment("total chars: ", key.substr(9));
        } else {
            static const std::pair<const char*, const char*> kDates[] = {
                { "\\creatim", "creaton date: " },
                { "\\printim", "last printed: " },
                { "\\buptim", "last backup: " },
                { "\\revtim", "revision date: " },
            };
            for (const auto& [name, label] : kDates) {
                if (key != name)
                    continue;
                c->OutputString(t.comment_begin);
                c->OutputString(label);
                if (keyword->GetNext())
                    c->word_dump_date(keyword->GetNext());
                c->OutputString(t.comment_end);
            }
        }
    }
    return true;
}

bool GenericConverter::cmd_field(GenericConverter* c, const Word* word, bool, short)
{
    const OutputTags& t = c->tags();
    const Word* instruction = nullptr;
    bool hasInstruction = false;
    Word* result = nullptr;
    for (const Word* part = word ? word->GetNext() : nullptr; part; part = part->GetNext()) {
        const Word* key = part->GetChild();
        if (key && key->GetCommand() == "\\*")
            key = key->GetNext();
        if (!key)
            continue;
        if (key->GetCommand() == "\\fldinst" && !hasInstruction) {
            hasInstruction = true;
            instruction = key->GetNext();
        } else if (key->GetCommand() == "\\fldrslt" && !result) {
            result = part->GetChild();
        }
    }

    std::string href = printable(hasInstruction ? hyperlinkTarget(instruction) : std::string());
    if (href.empty() || isScriptLink(href) || !t.hyperlink_begin) {
        // Any other field shows its result as it stands.
        if (result)
            c->word_print_core(result);
        return true;
    }

    c->starting_character();
    if (result && holdsText(result) && t.hyperlink_text_begin) {
        // The link text is converted like any text; the tags in force are
        // closed around the anchor and opened again inside it, so that
        // elements nest.
        c->attrstack_unexpress_all();
        c->OutputString(t.hyperlink_begin);
        c->output_escaped(href);
        c->OutputString(t.hyperlink_text_begin);
        c->attrstack_express_all();
        c->word_print_core(result);
        c->attrstack_unexpress_all();
        c->OutputString(t.hyperlink_text_end);
        c->attrstack_express_all();
    } else {
        c->OutputString(t.hyperlink_begin);
        c->output_escaped(href);
        c->OutputString(t.hyperlink_end);
    }
    return true;
}

bool GenericConverter::cmd_NeXTGraphic(GenericConverter* c, const Word* word, bool, short)
{
    int width = 0;
    int height = 0;
    std::string name;
    for (const Word* part = word ? word->GetNext() : nullptr; part; part = part->GetNext()) {
        const std::string& text = part->GetCommand();
        if (text.empty())
            continue;
        if (text[0] == '\\') {
            short param = 0;
            std::string keyword = extract_cmd_param(text, &param);
            if (keyword == "\\width")
                width = param / 20;
            else if (keyword == "\\height")
                height = param / 20;
            continue;
        }
        if (name.empty() && text == " ")
            continue;
        name += text;
    }
    name = trim_string(name);
    if (name.empty())
        return true;

    c->starting_character();
    c->OutputString("<img src=\"");
    c->output_escaped(name);
    c->OutputString("\" alt=\"");
    c->output_escaped(name);
    if (width < 1 || height < 1)
        c->OutputString("\">");
    else
        c->OutputFormatString("\" width=\"%d\" height=\"%d\">", width, height);
    if (width > 0)
        c->update_body_width(width);
    return true;
}

} // namespace rtf

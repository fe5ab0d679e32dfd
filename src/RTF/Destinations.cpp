// Destinations read and then skipped: colours, document information,
// fields and pictures.

#include "RTF/Destinations.h"

#include "RTF/GenericConverter.h"
#include "RTF/GenericConverterHelpers.h"
#include "RTF/OutputTags.h"
#include "RTF/Picture.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace rtf {

using namespace detail;

namespace {

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

    const char* const kMonths[12] = { "January", "February", "March", "April", "May", "June", "July",
        "August", "September", "October", "November", "December" };

} // namespace

Destinations::Destinations(GenericConverter& converter)
    : m_converter(converter)
{
}

void Destinations::startDocument()
{
    m_picture_budget = Picture::kMaxDocumentBytes;
}

void Destinations::outputEscaped(std::string_view text)
{
    std::string escaped;
    appendEscaped(escaped, text, false);
    m_converter.OutputString(escaped);
}

void Destinations::outputCommentText(std::string_view text)
{
    std::string spaced;
    for (char c : text) {
        if (c == '-' && !spaced.empty() && spaced.back() == '-')
            spaced += ' ';
        spaced += c;
    }
    if (!spaced.empty() && spaced.back() == '-')
        spaced += ' ';
    outputEscaped(spaced);
}

void Destinations::outputDate(const Word* first)
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
        m_converter.OutputFormatString("%d %s %d ", day, kMonths[month - 1], year);
    if (hour && minute)
        m_converter.OutputFormatString("%02d:%02d ", hour, minute);
}

bool Destinations::cmd_colortbl(GenericConverter* c, const Word* word, bool, short)
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
    for (const Word* part = c->destination(word); part; part = part->GetNext()) {
        std::string_view text = part->GetCommand();
        if (text == ";") {
            c->m_destinations.m_colors.push_back({ static_cast<unsigned char>(red), static_cast<unsigned char>(green), static_cast<unsigned char>(blue) });
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

bool Destinations::cmd_info(GenericConverter* c, const Word* word, bool, short)
{
    Destinations& destinations = c->m_destinations;
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
        destinations.outputCommentText(text);
        c->OutputString(t.comment_end);
    };

    for (const Word* entry = c->destination(word); entry; entry = entry->GetNext()) {
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
            destinations.outputEscaped(entryText(keyword, false));
            c->OutputString(t.title_end);
        } else if (key == "\\keywords") {
            c->OutputString(t.keywords_begin);
            destinations.outputEscaped(entryText(keyword, true));
            c->OutputString(t.keywords_end);
        } else if (key == "\\author") {
            c->OutputString(t.author_begin);
            destinations.outputCommentText(entryText(keyword, false));
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
                    destinations.outputDate(keyword->GetNext());
                c->OutputString(t.comment_end);
            }
        }
    }
    return true;
}

bool Destinations::cmd_field(GenericConverter* c, const Word* word, bool, short)
{
    // A field is read as the walk reaches it; a field of a word tree has no
    // walk around it and writes nothing.
    if (word && word == c->m_current && c->m_reader)
        c->m_destinations.printField();
    return true;
}

void Destinations::printField()
{
    GenericConverter& c = m_converter;
    Parser& parser = *c.m_reader;
    std::istream& in = *c.m_input;
    c.m_rest_read = true;
    std::string href;
    bool hasInstruction = false;
    bool hasResult = false;
    for (;;) {
        Parser::Item item = parser.NextItem(in);
        if (item == Parser::Item::End || item == Parser::Item::GroupEnd)
            break;
        if (item != Parser::Item::GroupStart)
            continue;
        // A part of the field: its first word, after "\*", says which.
        item = parser.NextItem(in);
        if (item == Parser::Item::Word && parser.word() == "\\*")
            item = parser.NextItem(in);
        if (item == Parser::Item::End)
            break;
        if (item == Parser::Item::GroupEnd)
            continue;
        std::string key = item == Parser::Item::Word ? parser.word() : std::string();
        if (item == Parser::Item::GroupStart)
            parser.SkipGroup(in);
        if (key == "\\fldinst" && !hasInstruction) {
            hasInstruction = true;
            std::unique_ptr<Word, GenericConverter::ChainDeleter> instruction(
                parser.ReadGroup(in, { GenericConverter::kMaxDestinationWords, GenericConverter::kMaxDestinationBytes, true }));
            href = printable(hyperlinkTarget(instruction.get()));
        } else if (key == "\\fldrslt" && !hasResult) {
            hasResult = true;
            printFieldResult(href, true);
        } else {
            parser.SkipGroup(in);
        }
    }
    if (!hasResult)
        printFieldResult(href, false);
}

void Destinations::printFieldResult(const std::string& href, bool hasResult)
{
    GenericConverter& c = m_converter;
    const OutputTags& t = c.tags();
    if (href.empty() || isScriptLink(href) || !t.hyperlink_begin) {
        // Any other field shows its result as it stands.
        if (hasResult)
            c.word_print_core();
        return;
    }
    // The link text is converted like any text; the tags in force are closed
    // around the anchor and opened again inside it, so that elements nest.
    c.starting_character();
    c.m_attributes.unexpressAll();
    c.OutputString(t.hyperlink_begin);
    outputEscaped(href);
    size_t anchor = c.m_output.size();
    size_t characters = c.m_characters;
    if (hasResult && t.hyperlink_text_begin) {
        c.OutputString(t.hyperlink_text_begin);
        c.m_attributes.expressAll();
        c.word_print_core();
        if (c.m_characters != characters) {
            c.m_attributes.unexpressAll();
            c.OutputString(t.hyperlink_text_end);
            c.m_attributes.expressAll();
            return;
        }
        // A result without text: the anchor gets a word of its own instead.
        c.m_output.resize(anchor);
    } else if (hasResult) {
        c.m_reader->SkipGroup(*c.m_input);
    }
    c.OutputString(t.hyperlink_end);
    c.m_attributes.expressAll();
}

bool Destinations::cmd_NeXTGraphic(GenericConverter* c, const Word* word, bool, short)
{
    Destinations& destinations = c->m_destinations;
    int width = 0;
    int height = 0;
    std::string name;
    for (const Word* part = c->destination(word); part; part = part->GetNext()) {
        const std::string& text = part->GetCommand();
        if (text.empty())
            continue;
        if (text[0] == '\\') {
            short param = 0;
            std::string keyword = GenericConverter::extract_cmd_param(text, &param);
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
    name = GenericConverter::trim_string(name);
    if (name.empty())
        return true;

    c->starting_character();
    c->OutputString("<img src=\"");
    destinations.outputEscaped(name);
    c->OutputString("\" alt=\"");
    destinations.outputEscaped(name);
    if (width < 1 || height < 1)
        c->OutputString("\">");
    else
        c->OutputFormatString("\" width=\"%d\" height=\"%d\">", width, height);
    if (width > 0)
        c->update_body_width(width);
    return true;
}

bool Destinations::cmd_pict(GenericConverter* c, const Word* word, bool, short)
{
    Picture picture(c->m_destinations.m_picture_budget);
    auto take = [&picture](const std::string& text) {
        if (!text.empty() && text[0] == '\\')
            picture.keyword(text);
        else
            picture.data(text);
    };
    // The picture's own words, data included; groups inside it (properties,
    // identifiers) are skipped.
    if (word == c->m_current && c->m_reader && !c->m_rest_read) {
        for (Parser::Item item; (item = c->m_reader->NextItem(*c->m_input)) != Parser::Item::End
             && item != Parser::Item::GroupEnd;) {
            if (item == Parser::Item::GroupStart)
                c->m_reader->SkipGroup(*c->m_input);
            else
                take(c->m_reader->word());
        }
        c->m_rest_read = true;
    } else {
        for (const Word* part = word ? word->GetNext() : nullptr; part; part = part->GetNext()) {
            if (!part->GetChild())
                take(part->GetCommand());
        }
    }
    if (picture.overBudget())
        c->warn("Warning, pictures beyond the size kept are not shown");
    if (std::string image = picture.imageHTML(c->tags()); !image.empty()) {
        c->starting_character();
        c->OutputString(image);
        return true;
    }
    // A picture that is not shown leaves an empty element of its size.
    const char* placeholder = c->tags().picture_placeholder;
    if ((picture.width() > 0 || picture.height() > 0) && placeholder) {
        c->starting_character();
        c->OutputFormatString(placeholder, picture.width(), picture.height());
    }
    return true;
}

bool Destinations::cmd_ignore(GenericConverter* c, const Word* word, bool, short)
{
    // Pictures in the form that replaced the older one are read; the older
    // form beside them (nonshppict) is then skipped.
    return !c->next_word_is(word, "\\shppict");
}

} // namespace rtf

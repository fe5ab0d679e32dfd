// The walk over a document's words: groups, paragraphs, tables, text and
// hexadecimal characters.

#include "RTF/GenericConverter.h"

#include "RTF/Exception.h"
#include "RTF/GenericConverterHelpers.h"
#include "RTF/OutputTags.h"
#include "RTF/Picture.h"

namespace rtf {

using namespace detail;

namespace {

    // Paragraph properties, in the order a chain keeps their declarations.
    enum Property : size_t { Alignment,
        FirstIndent,
        LeftIndent,
        RightIndent,
        SpaceBefore,
        SpaceAfter };

} // namespace

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

void GenericConverter::ConvertWordTree(const OutputTags* tags, Parser& parser, std::istream& in, bool omit_info)
{
    m_info_flag = omit_info;
    m_tags = tags;
    m_warnings = 0;
    m_picture_budget = Picture::kMaxDocumentBytes;
    m_bad_hex_logged = false;
    m_characters = 0;
    for (int c = 0; c < 256; ++c) {
        const char* written = c > ' ' && c < 127 && this->tags().ascii_table ? this->tags().ascii_table[c - 32] : nullptr;
        m_plain[static_cast<size_t>(c)] = written && written[0] == c && written[1] == '\0';
    }
    m_reader = &parser;
    m_input = &in;
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
    word_print_core();
    drop_pending();
    attr_pop_all();
    OutputString(t.body_end);
    OutputString(t.document_end);
    patch_body_width();
    Cleanup();
    m_info_flag = false;
    m_tags = nullptr;
}

void GenericConverter::word_print_core()
{
    const OutputTags& t = tags();

    // A group entered after the table's last row closes the table; one
    // entered with table text pending opens it.
    if (m_in_table == 0 && m_table_open) {
        end_table();
    } else if (m_in_table != 0 && !m_table_open) {
        m_table_open = true;
        m_row_open = m_cell_open = m_row_closed = m_cell_closed = false;
        attrstack_push();
        starting_body();
        attrstack_unexpress_all();
        OutputString(t.table_begin);
    }
    attrstack_push();

    Chain* outer = m_chain;
    Chain& chain = m_chains.emplace_back();
    chain.uc = outer ? outer->uc : 1;
    chain.font = outer ? outer->font : -1;
    chain.list_text = outer && outer->list_text;
    m_chain = &chain;

    for (;;) {
        Parser::Item item = m_reader ? m_reader->NextItem(*m_input) : Parser::Item::End;
        if (item == Parser::Item::End || item == Parser::Item::GroupEnd)
            break;
        if (item == Parser::Item::GroupStart) {
            chain.skip = 0; // a group boundary ends the fallback
            if (!chain.paragraph_open && chain.hasStyle()) {
                start_paragraph(chain.style());
                chain.paragraph_open = true;
            }
            // An empty group writes nothing, not even its attributes again.
            if (m_reader->PeekItem(*m_input) == Parser::Item::GroupEnd)
                m_reader->NextItem(*m_input);
            else
                word_print_core();
            continue;
        }
        const std::string& text = m_reader->word();
        if (chain.skip > 0 && (text[0] == '\\' || text[0] == ' ')) {
            --chain.skip;
        } else if (text[0] == '\\') {
            if (print_control(chain, std::string_view(text).substr(1)))
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
    }

    flush_surrogate();
    if (chain.paragraph_open) {
        end_paragraph();
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

bool GenericConverter::print_control(Chain& chain, std::string_view name)
{
    const OutputTags& t = tags();

    if (name == "pard") {
        if (m_in_table > 0)
            --m_in_table;
        if (m_reader->PeekWord(*m_input, "\\plain")) {
            m_lang = m_default_lang;
            attr_pop_all();
        }
        if (chain.paragraph_open)
            end_paragraph();
        chain.paragraph_open = false;
        reset_counters();
        chain.declarations = {};
        chain.declarationCount = 0;
    }

    // A list item's marker: symbol-font bullets in it stay bullets.
    if (name == "listtext" || name == "pntext") {
        chain.list_text = true;
        return false;
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
        if (chain.paragraph_open)
            end_paragraph();
        else
            OutputString(t.line_break);
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
            end_paragraph();
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

    return dispatch(name, has_param, keyword, param);
}

bool GenericConverter::dispatch(std::string_view name, bool has_param, const std::string& keyword, short param)
{
    // The handler sees the keyword as a word, and may read the rest of its
    // group through destination(); name points into the parser's word, which
    // that reading replaces.
    Word current { std::string("\\").append(name) };
    // A handler may walk groups itself (a field's result), dispatching
    // keywords of its own on the way.
    const Word* outerCurrent = m_current;
    bool outerRestRead = m_rest_read;
    std::unique_ptr<Word, ChainDeleter> outerDestination = std::move(m_destination);
    m_current = &current;
    m_rest_read = false;
    int result = has_param ? HandleRTFCommand(keyword, &current, true, param) : HandleRTFCommand(current.GetCommand().substr(1), &current, false, 0);
    bool restRead = m_rest_read;
    m_current = outerCurrent;
    m_rest_read = outerRestRead;
    m_destination = std::move(outerDestination);
    if (restRead)
        return true;
    if (result == 0) {
        // The rest of the group is neither written nor visited.
        m_reader->SkipGroup(*m_input);
        return true;
    }
    return false;
}

const Word* GenericConverter::destination(const Word* keyword, bool text)
{
    if (!keyword)
        return nullptr;
    if (keyword != m_current || !m_reader)
        return keyword->GetNext();
    if (!m_rest_read) {
        m_destination.reset(m_reader->ReadGroup(*m_input, { kMaxDestinationWords, kMaxDestinationBytes, text }));
        m_rest_read = true;
    }
    return m_destination.get();
}

bool GenericConverter::next_word_is(const Word* keyword, std::string_view text)
{
    if (!keyword)
        return false;
    if (keyword != m_current || !m_reader) {
        const Word* next = keyword->GetNext();
        return next && next->GetCommand() == text;
    }
    return !m_rest_read && m_reader->PeekWord(*m_input, text);
}

void GenericConverter::print_text(Chain& chain, std::string_view text)
{
    const OutputTags& t = tags();
    FontDecoder decoder = font_decoder();
    // Double-byte code pages let a trail byte in the ASCII range stand as
    // itself after its lead byte's hexadecimal character.
    while (m_pending_count > 0 && !text.empty() && code_page(decoder) == m_pending_converter) {
        std::string character;
        if (!decode_byte(*m_pending_converter, static_cast<unsigned char>(text[0]), character))
            break;
        text.remove_prefix(1);
        print_decoded(chain, character);
    }
    if (text.empty())
        return;
    starting_character();
    // Counted before translating, so that a blank opening a line sees
    // itself and becomes a non-breaking space.
    m_line_chars = counted(m_line_chars, text.size());
    m_run_chars = text[0] == ' ' ? 0 : counted(m_run_chars, text.size());
    OutputString(t.text_begin);

    int limit = m_body_width == 0 ? 100 : m_body_width / 10;
    bool longRun = m_run_chars > limit;
    if (longRun)
        OutputString(t.long_run_begin);

    // Tag sets without small capitals of their own get upper case, the
    // lower-case letters in smaller type.
    const bool smallCaps = m_scaps && t.simulate_small_caps;
    bool lowerRun = false;
    if (smallCaps && isLower(static_cast<unsigned char>(text[0]))) {
        OutputString(t.small_caps_begin);
        lowerRun = true;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!m_caps && !smallCaps && decoder.symbol == SymbolEncoding::None && m_plain[c]) {
            // A run of characters the tag set writes as themselves, at once.
            size_t end = i + 1;
            while (end < text.size() && m_plain[static_cast<unsigned char>(text[end])])
                ++end;
            m_nbsp_run = false;
            OutputString(text.substr(i, end - i));
            i = end - 1;
            continue;
        }
        if (m_caps || smallCaps)
            c = toUpper(c);
        // Bytes 128 to 255 standing unescaped in text have no code page: dropped.
        if (decoder.symbol != SymbolEncoding::None && c > 32 && c <= 127)
            print_symbol(decoder.symbol, c);
        else if (c >= 32 && c <= 127)
            OutputString(op_translate_char(&t, m_charset, c));
        if (smallCaps) {
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
    if (name.size() != 3 || !isHexDigit(name[1]) || !isHexDigit(name[2])) {
        // Not a character: nothing is made up for it.
        if (!m_bad_hex_logged) {
            m_bad_hex_logged = true;
            warn("Warning, \\' without two hexadecimal digits");
        }
        return;
    }
    int byte = hexValue(name[1]) * 16 + hexValue(name[2]);

    FontDecoder decoder = font_decoder();
    std::string converted;
    std::string_view result;
    if (decoder.symbol != SymbolEncoding::None) {
        drop_pending();
        converted = symbol_html(decoder.symbol, byte);
        result = converted;
    } else if (byte == 0xB7 && in_list_text()) {
        // The Symbol font's bullet, its font left out of the marker.
        drop_pending();
        result = "\u2022";
    } else if (core::TextConverter* converter = code_page(decoder)) {
        decode_byte(*converter, byte, converted);
        result = converted;
    } else {
        drop_pending();
        result = op_translate_char(&tags(), m_charset, byte);
    }
    print_decoded(chain, result);
}

void GenericConverter::print_decoded(Chain& chain, std::string_view html)
{
    const OutputTags& t = tags();
    if (!html.empty())
        starting_character();
    if (!chain.paragraph_open && chain.hasStyle()) {
        start_paragraph(chain.style());
        chain.paragraph_open = true;
    }
    if (!html.empty()) {
        OutputString(t.text_begin);
        OutputString(html);
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

} // namespace rtf

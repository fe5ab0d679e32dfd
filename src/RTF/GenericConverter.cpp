// The walk over a document's words: groups, paragraphs, control words
// handed to their handlers, and the body with its width.

#include "RTF/GenericConverter.h"

#include "Platform/Core/Log.h"
#include "RTF/GenericConverterHelpers.h"
#include "RTF/KeywordTable.h"
#include "RTF/OutputTags.h"

namespace rtf {

using namespace detail;

namespace {

    // Paragraph properties, in the order a group keeps their declarations.
    enum Property : size_t { Alignment,
        FirstIndent,
        LeftIndent,
        RightIndent,
        SpaceBefore,
        SpaceAfter };

    const OutputTags& noTags()
    {
        static const OutputTags none;
        return none;
    }

} // namespace

GenericConverter::GenericConverter()
{
    KeywordTable::fill();
}

GenericConverter::~GenericConverter() = default;

int GenericConverter::HandleRTFCommand(const std::string& keyword, const Word* word, bool has_param, short param)
{
    const auto& handlers = KeywordTable::handlers();
    auto found = handlers.find(keyword);
    if (found == handlers.end())
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
    m_attributes.clear();
    m_text.clear();
    m_destinations.clear();
    m_codePages.clear();
    m_chains.clear();
    m_chain = nullptr;
    m_special.clear();
    m_reader = nullptr;
    m_input = nullptr;
    m_current = nullptr;
    m_rest_read = false;
    m_destination.reset();
}

bool GenericConverter::cmd_paperw(GenericConverter* c, const Word*, bool has_param, short param)
{
    if (!c->m_in_header)
        c->warn("Warning, paperw cmd encountered outside of the header");
    else if (has_param)
        c->m_body_width = param / 20; // twips
    return false;
}

void GenericConverter::ConvertWordTree(const OutputTags* tags, Parser& parser, std::istream& in, bool omit_info)
{
    m_info_flag = omit_info;
    m_tags = tags;
    m_warnings = 0;
    m_destinations.startDocument();
    m_text.startDocument(this->tags());
    m_characters = 0;
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
    m_table.startDocument();
    m_attributes.resetCaps();
    word_print_core();
    m_codePages.dropPending();
    m_attributes.popAll();
    OutputString(t.body_end);
    OutputString(t.document_end);
    patch_body_width();
    Cleanup();
    m_info_flag = false;
    m_tags = nullptr;
}

void GenericConverter::word_print_core()
{
    m_table.enterGroup();
    m_attributes.pushStack();

    GroupState* outer = m_chain;
    GroupState& chain = m_chains.emplace_back();
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
                m_text.printText(chain, run);
        }
    }

    m_special.flushSurrogate();
    if (chain.paragraph_open) {
        end_paragraph();
        m_text.resetCounters();
    }
    if (chain.cell_ended)
        m_attributes.dropAll(); // the cell end closed them already
    else
        m_attributes.popAll();
    m_attributes.dropStack();

    m_chains.pop_back();
    m_chain = outer;
}

bool GenericConverter::print_control(GroupState& chain, std::string_view name)
{
    const OutputTags& t = tags();

    if (name == "pard") {
        m_table.endParagraph();
        if (m_reader->PeekWord(*m_input, "\\plain")) {
            m_codePages.resetLanguage();
            m_attributes.popAll();
        }
        if (chain.paragraph_open)
            end_paragraph();
        chain.paragraph_open = false;
        m_text.resetCounters();
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
        m_text.resetCounters();
        return false;
    }
    if (name == "cell") {
        m_table.endCell(chain.paragraph_open);
        chain.cell_ended = true;
        return false;
    }
    if (name == "row") {
        m_table.endRow();
        chain.paragraph_open = false;
        return false;
    }
    if (!name.empty() && name[0] == '\'') {
        m_text.printHex(chain, name);
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

CodePages::FontDecoder GenericConverter::font_decoder()
{
    return m_codePages.decoder(m_chain ? m_chain->font : -1);
}

const OutputTags& GenericConverter::tags() const
{
    return m_tags ? *m_tags : noTags();
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
    // The tags in force close before the paragraph's element and open again
    // inside it, so that they close inside it too: a group's end closes
    // every tag its group holds, whether opened before the paragraph or not.
    m_attributes.unexpressAll();
    OutputFormatString(tags().paragraph_begin, style.c_str());
    m_attributes.expressAll();
    m_text.resetCounters();
}

void GenericConverter::end_paragraph()
{
    m_attributes.unexpressAll();
    OutputString(tags().paragraph_end);
    m_attributes.expressAll();
}

void GenericConverter::starting_character()
{
    m_special.flushSurrogate();
    m_codePages.dropPending();
    starting_body();
    m_table.startingText();
    // Any character opens the paragraph its keywords prepared, not only text.
    if (m_chain && !m_chain->paragraph_open && m_chain->hasStyle()) {
        start_paragraph(m_chain->style());
        m_chain->paragraph_open = true;
    }
    ++m_characters;
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

void GenericConverter::warn(std::string_view line)
{
    if (m_warnings < kMaxWarnings) {
        ++m_warnings;
        core::log(line);
    }
}

} // namespace rtf

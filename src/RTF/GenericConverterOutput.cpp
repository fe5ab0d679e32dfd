// Output operations: the body opening, paragraphs, table cells, escaped
// document text, widths and dates.

#include "RTF/GenericConverter.h"

#include "Platform/Core/Log.h"
#include "RTF/GenericConverterHelpers.h"
#include "RTF/OutputTags.h"

namespace rtf {

using namespace detail;

namespace {

    const char* const kMonths[12] = { "January", "February", "March", "April", "May", "June", "July",
        "August", "September", "October", "November", "December" };

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
    // The tags in force close before the paragraph's element and open again
    // inside it, so that they close inside it too: a group's end closes
    // every tag its group holds, whether opened before the paragraph or not.
    attrstack_unexpress_all();
    OutputFormatString(tags().paragraph_begin, style.c_str());
    attrstack_express_all();
    reset_counters();
}

void GenericConverter::end_paragraph()
{
    attrstack_unexpress_all();
    OutputString(tags().paragraph_end);
    attrstack_express_all();
}

void GenericConverter::end_table()
{
    const OutputTags& t = tags();
    if (!m_cell_closed) {
        attr_pop_all();
        OutputString(t.cell_end);
    }
    if (!m_row_closed)
        OutputString(t.row_end);
    OutputString(t.table_end);
    m_table_open = m_row_open = m_cell_open = m_row_closed = m_cell_closed = false;
}

void GenericConverter::starting_text()
{
    const OutputTags& t = tags();
    // Text after the last row, its paragraph no longer in the table.
    if (m_table_open && m_row_closed && m_in_table < 1)
        end_table();
    if (!m_table_open) {
        if (m_in_table < 1)
            return;
        // The tags in force close before the table: each cell opens them
        // again and its end closes them.
        attrstack_unexpress_all();
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
    drop_pending();
    starting_body();
    starting_text();
    // Any character opens the paragraph its keywords prepared, not only text.
    if (m_chain && !m_chain->paragraph_open && m_chain->hasStyle()) {
        start_paragraph(m_chain->style());
        m_chain->paragraph_open = true;
    }
    ++m_characters;
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

} // namespace rtf

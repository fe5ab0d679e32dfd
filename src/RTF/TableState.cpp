#include "RTF/TableState.h"

#include "RTF/GenericConverter.h"
#include "RTF/OutputTags.h"

#include <climits>

namespace rtf {

TableState::TableState(GenericConverter& converter)
    : m_converter(converter)
{
}

void TableState::enterGroup()
{
    if (m_in_table == 0 && m_table_open) {
        endTable();
    } else if (m_in_table != 0 && !m_table_open) {
        m_table_open = true;
        m_row_open = m_cell_open = m_row_closed = m_cell_closed = false;
        m_converter.m_attributes.pushStack();
        m_converter.starting_body();
        m_converter.m_attributes.unexpressAll();
        m_converter.OutputString(m_converter.tags().table_begin);
    }
}

void TableState::endParagraph()
{
    if (m_in_table > 0)
        --m_in_table;
}

void TableState::startingText()
{
    const OutputTags& t = m_converter.tags();
    // Text after the last row, its paragraph no longer in the table.
    if (m_table_open && m_row_closed && m_in_table < 1)
        endTable();
    if (!m_table_open) {
        if (m_in_table < 1)
            return;
        // The tags in force close before the table: each cell opens them
        // again and its end closes them.
        m_converter.m_attributes.unexpressAll();
        m_converter.OutputString(t.table_begin);
        m_table_open = true;
        m_row_open = false;
    }
    if (!m_row_open) {
        m_converter.OutputString(t.row_begin);
        m_row_open = true;
        m_row_closed = false;
        m_cell_open = false;
    } else if (m_cell_open) {
        return;
    }
    m_converter.OutputString(t.cell_begin);
    m_converter.m_attributes.expressAll();
    m_cell_open = true;
    m_cell_closed = false;
}

void TableState::endCell(bool& paragraph_open)
{
    GenericConverter& c = m_converter;
    const OutputTags& t = c.tags();
    if (!m_cell_open) {
        // An empty cell: inside a table it opens the table and row it
        // belongs to, like text would.
        if (m_table_open || m_in_table >= 1) {
            c.starting_body();
            startingText();
        }
        if (!m_cell_open) {
            c.OutputString(t.cell_begin);
            c.m_attributes.expressAll();
        }
        c.OutputString(t.space);
    }
    c.m_attributes.popAll();
    if (paragraph_open) {
        c.end_paragraph();
        c.m_text.resetCounters();
        paragraph_open = false;
    }
    c.OutputString(t.cell_end);
    c.m_text.resetCounters();
    m_cell_open = false;
    m_cell_closed = true;
}

void TableState::endRow()
{
    if (m_table_open) {
        m_converter.OutputString(m_converter.tags().row_end);
        m_row_open = false;
        m_row_closed = true;
    }
    if (m_in_table > INT_MIN)
        --m_in_table;
}

void TableState::endTable()
{
    const OutputTags& t = m_converter.tags();
    if (!m_cell_closed) {
        m_converter.m_attributes.popAll();
        m_converter.OutputString(t.cell_end);
    }
    if (!m_row_closed)
        m_converter.OutputString(t.row_end);
    m_converter.OutputString(t.table_end);
    m_table_open = m_row_open = m_cell_open = m_row_closed = m_cell_closed = false;
}

bool TableState::cmd_intbl(GenericConverter* converter, const Word*, bool, short)
{
    converter->m_table.m_in_table += 1;
    return false;
}

} // namespace rtf

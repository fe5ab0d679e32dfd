#pragma once

namespace rtf {

class GenericConverter;
class Word;

// Where the walk stands in a table: the \intbl keywords not yet ended by a
// paragraph or row, and which of the table, row and cell are open or were
// just closed. It writes the table, row and cell tags: openings that are
// missing before text, a cell's or row's end, and the table's end once text
// follows its last row outside it. Held by one converter, which it writes
// through.
class TableState {
public:
    explicit TableState(GenericConverter& converter);
    TableState(const TableState&) = delete;
    TableState& operator=(const TableState&) = delete;

    // The \intbl keywords not yet ended; non-zero means table text.
    int inTable() const { return m_in_table; }
    // A conversion starts outside any table.
    void startDocument() { m_table_open = false; }
    // A group starts: entered after the table's last row it closes the
    // table; entered with table text pending it opens it.
    void enterGroup();
    // \pard ends one \intbl.
    void endParagraph();
    // Inside a table: the table, row and cell openings that are missing.
    // After the table's last row, outside it: the table's end.
    void startingText();
    // \cell: the cell's end, after the paragraph open in its group (which
    // it ends).
    void endCell(bool& paragraph_open);
    // \row: the row's end, and one \intbl ended.
    void endRow();
    // Closes the open table with the cell and row left open.
    void endTable();

    static bool cmd_intbl(GenericConverter*, const Word*, bool, short);

private:
    GenericConverter& m_converter;
    int m_in_table = 0;
    bool m_table_open = false;
    bool m_row_open = false;
    bool m_cell_open = false;
    bool m_row_closed = false;
    bool m_cell_closed = false;
};

} // namespace rtf

#pragma once

// The test driver's table steps: touches on shown rows, their accessories
// and the section index; a swipe across a row and the tap on the delete
// button it shows; the editing controls' delete and reorder; scrolling a
// row into sight; and the shown cells' texts read back. A row that is not
// shown cannot be touched.

#include "Platform/UI/IndexPath.h"

#include <string>
#include <vector>

namespace ui {
class TableView;
} // namespace ui

namespace ui::testing {

class DriverTouches;

class DriverTables {
public:
    explicit DriverTables(DriverTouches& touches);
    DriverTables(const DriverTables&) = delete;
    DriverTables& operator=(const DriverTables&) = delete;

    void tapRow(const TableView& table, IndexPath path);
    void tapAccessory(const TableView& table, IndexPath path);
    void tapIndexTitle(const TableView& table, int index);
    // Swipes across the row, then (for confirmDeletion) taps the delete
    // button it shows.
    void swipeRow(const TableView& table, IndexPath path);
    void confirmDeletion(const TableView& table);
    // The editing controls: delete (commit) and reorder.
    void deleteRow(TableView& table, IndexPath path);
    void moveRow(TableView& table, IndexPath from, IndexPath to);
    void scrollToRow(TableView& table, IndexPath path);
    // The shown cells' texts, in row order.
    std::vector<std::string> cellTexts(const TableView& table);

private:
    DriverTouches& m_touches;
};

} // namespace ui::testing

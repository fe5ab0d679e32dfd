#pragma once

// What a table asks about its content: counts, cells, titles and index
// titles, and what it tells when the person edits or moves rows. Committing
// and moving are capabilities: a data source without them offers no
// swipe-to-delete and no reordering controls.

#include "Platform/UI/IndexPath.h"
#include "Platform/UI/TableViewCell.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {

class TableView;

class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual int numberOfSections(TableView&) { return 1; }
    virtual int numberOfRows(TableView&, int section) = 0;
    // Never null: a table without a cell for a row throws.
    virtual std::shared_ptr<TableViewCell> cellForRow(TableView&, IndexPath path) = 0;
    virtual std::optional<std::string> titleForHeader(TableView&, int section) { (void)section; return std::nullopt; }
    virtual std::optional<std::string> titleForFooter(TableView&, int section) { (void)section; return std::nullopt; }
    virtual std::vector<std::string> sectionIndexTitles(TableView&) { return {}; }
    virtual int sectionForSectionIndexTitle(TableView&, const std::string& title, int index) { (void)title; return index; }

    virtual bool canEditRow(TableView&, IndexPath) { return true; }
    virtual bool supportsCommitEditing() const { return false; }
    virtual void commitEditing(TableView&, TableViewCell::EditingStyle style, IndexPath path) { (void)style, (void)path; }
    virtual bool supportsMoveRow() const { return false; }
    virtual bool canMoveRow(TableView&, IndexPath) { return supportsMoveRow(); }
    virtual void moveRow(TableView&, IndexPath from, IndexPath to) { (void)from, (void)to; }
};

} // namespace ui

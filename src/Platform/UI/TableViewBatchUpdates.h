#pragma once

// A table's batch updates: the inserts, deletes and reloads of rows and
// sections collected between beginUpdates and the outermost endUpdates,
// merged into one change, and the check of that change against the data
// source's new counts (deletes and reloads name rows in the old numbering,
// inserts in the new; a count that does not add up throws). A checked
// change of rows answers where each old row went; a change of sections
// asks the table to reload. Owned by the table; holds no view.

#include "Platform/UI/TableView.h"

#include <functional>
#include <optional>
#include <vector>

namespace ui {

class TableViewGeometry;

class TableViewBatchUpdates {
public:
    struct Update {
        std::vector<IndexPath> deleted;
        std::vector<IndexPath> inserted;
        std::vector<IndexPath> reloaded;
        std::vector<int> deletedSections;
        std::vector<int> insertedSections;
        TableView::RowAnimation animation = TableView::RowAnimation::None;
    };
    // Where the rows of a checked change went.
    class RowMap {
    public:
        // The row's place after the change; none when it was deleted.
        std::optional<IndexPath> operator()(IndexPath old) const;

    private:
        friend class TableViewBatchUpdates;
        std::vector<std::vector<int>> m_deleted;  // per section, sorted
        std::vector<std::vector<int>> m_inserted; // per section, sorted
    };

    void begin() { ++m_depth; }
    // Nested in begin and end.
    void add(Update update) { m_pending.push_back(std::move(update)); }
    // Ends one level; the merged change once the outermost ends (none when
    // not begun or still nested).
    std::optional<Update> end();

    // Checks the change against the rows before (`old`) and the source's
    // counts after; throws when they do not add up. Answers no map when
    // sections come or go: the table then lays out anew.
    static std::optional<RowMap> check(const Update& update, const TableViewGeometry& old, int newSections,
        const std::function<int(int section)>& newRows);

    // A person's move of `from` to `proposed` (a place among the rows less
    // the moved one); out of range throws.
    static void checkMove(const TableViewGeometry& geometry, IndexPath from, IndexPath proposed);
    // Where a row goes when `from` moves to `to`.
    static IndexPath moved(IndexPath path, IndexPath from, IndexPath to);

private:
    std::vector<Update> m_pending;
    int m_depth = 0;
};

} // namespace ui

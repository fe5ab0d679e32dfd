#include "Platform/UI/TableViewBatchUpdates.h"

#include "Platform/Core/Exception.h"
#include "Platform/UI/TableViewGeometry.h"

#include <algorithm>
#include <fmt/format.h>

namespace ui {

std::optional<TableViewBatchUpdates::Update> TableViewBatchUpdates::end()
{
    if (m_depth == 0)
        return std::nullopt;
    if (--m_depth > 0)
        return std::nullopt;
    Update merged;
    for (auto& update : std::exchange(m_pending, {})) {
        merged.deleted.insert(merged.deleted.end(), update.deleted.begin(), update.deleted.end());
        merged.inserted.insert(merged.inserted.end(), update.inserted.begin(), update.inserted.end());
        merged.reloaded.insert(merged.reloaded.end(), update.reloaded.begin(), update.reloaded.end());
        merged.deletedSections.insert(merged.deletedSections.end(), update.deletedSections.begin(), update.deletedSections.end());
        merged.insertedSections.insert(merged.insertedSections.end(), update.insertedSections.begin(),
            update.insertedSections.end());
        merged.animation = update.animation;
    }
    return merged;
}

std::optional<IndexPath> TableViewBatchUpdates::RowMap::operator()(IndexPath path) const
{
    auto& del = m_deleted[size_t(path.section)];
    if (std::binary_search(del.begin(), del.end(), path.row))
        return std::nullopt;
    int row = path.row - int(std::lower_bound(del.begin(), del.end(), path.row) - del.begin());
    for (int at : m_inserted[size_t(path.section)])
        if (at <= row)
            ++row;
    return IndexPath { path.section, row };
}

std::optional<TableViewBatchUpdates::RowMap> TableViewBatchUpdates::check(const Update& update,
    const TableViewGeometry& old, int newSections, const std::function<int(int section)>& newRows)
{
    int oldSections = old.sectionCount();
    for (auto& path : update.deleted)
        old.requireValid(path, "deleteRows");
    for (auto& path : update.reloaded)
        old.requireValid(path, "reloadRows");
    for (int section : update.deletedSections)
        if (section < 0 || section >= oldSections)
            throw core::Exception(core::Exception::RangeError,
                fmt::format("TableView::deleteSections: section {} is out of range ({} sections)", section, oldSections));
    if (!update.deletedSections.empty() || !update.insertedSections.empty()) {
        int expected = oldSections - int(update.deletedSections.size()) + int(update.insertedSections.size());
        if (newSections != expected)
            throw core::Exception(core::Exception::InternalInconsistency,
                fmt::format("Invalid update: invalid number of sections. The number of sections contained in the table "
                            "view after the update ({}) must be equal to the number of sections contained in the table "
                            "view before the update ({}), plus or minus the number of sections inserted or deleted "
                            "({} inserted, {} deleted).",
                    newSections, oldSections, update.insertedSections.size(), update.deletedSections.size()));
        return std::nullopt;
    }
    if (newSections != oldSections)
        throw core::Exception(core::Exception::InternalInconsistency,
            fmt::format("Invalid update: invalid number of sections ({} after the update, {} before)", newSections, oldSections));
    RowMap map;
    auto& deleted = map.m_deleted;
    auto& inserted = map.m_inserted;
    deleted.resize(size_t(oldSections));
    inserted.resize(size_t(oldSections));
    for (auto& path : update.deleted)
        deleted[size_t(path.section)].push_back(path.row);
    for (int s = 0; s < oldSections; ++s) {
        auto& rows = deleted[size_t(s)];
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    }
    for (auto& path : update.inserted) {
        if (path.section < 0 || path.section >= oldSections)
            throw core::Exception(core::Exception::RangeError,
                fmt::format("TableView::insertRows: row {} is out of range", path.description()));
        inserted[size_t(path.section)].push_back(path.row);
    }
    for (int s = 0; s < oldSections; ++s) {
        int before = old.rows(s);
        int after = newRows(s);
        auto& ins = inserted[size_t(s)];
        std::sort(ins.begin(), ins.end());
        ins.erase(std::unique(ins.begin(), ins.end()), ins.end());
        int removed = int(deleted[size_t(s)].size()), added = int(ins.size());
        if (after != before - removed + added)
            throw core::Exception(core::Exception::InternalInconsistency,
                fmt::format("Invalid update: invalid number of rows in section {}. The number of rows contained in an "
                            "existing section after the update ({}) must be equal to the number of rows contained in "
                            "that section before the update ({}), plus or minus the number of rows inserted or deleted "
                            "from that section ({} inserted, {} deleted).",
                    s, after, before, added, removed));
        for (int row : ins)
            if (row < 0 || row >= after)
                throw core::Exception(core::Exception::RangeError,
                    fmt::format("TableView::insertRows: row {} is out of range", IndexPath { s, row }.description()));
    }
    return map;
}

void TableViewBatchUpdates::checkMove(const TableViewGeometry& geometry, IndexPath from, IndexPath proposed)
{
    geometry.requireValid(from, "moveRow");
    if (proposed.section < 0 || proposed.section >= geometry.sectionCount() || proposed.row < 0
        || proposed.row > geometry.rows(proposed.section) - (proposed.section == from.section ? 1 : 0))
        throw core::Exception(core::Exception::RangeError,
            fmt::format("TableView::moveRow: row {} is out of range", proposed.description()));
}

IndexPath TableViewBatchUpdates::moved(IndexPath path, IndexPath from, IndexPath to)
{
    if (path == from)
        return to;
    if (path.section == from.section && path.row > from.row)
        --path.row;
    if (path.section == to.section && path.row >= to.row)
        ++path.row;
    return path;
}

} // namespace ui

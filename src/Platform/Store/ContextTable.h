#pragma once

#include "Platform/Core/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

class Connection;
class Object;
class Predicate;
class Schema;
class Statement;

// The SQL of a context's entity table, on the context's own connection: the
// rows read (id, parent and the stored values), the rows a save writes
// (changed columns only, with the folded text beside each folded
// attribute) and deletes, the walks of stored subtrees, and the plain
// aggregates run when nothing is pending. The statements run per object are
// prepared once and kept. The context owns it; SQLite's failures come out
// as store::Failure, and a write refused for its parent (a folder another
// save removed) as a false answer.
class ContextTable {
public:
    // One stored row: id, parent (0 for none), the persisted values.
    struct Row {
        int64_t id = 0;
        int64_t parent = 0;
        std::vector<core::Value> values;
    };

    ContextTable(Connection& connection, std::shared_ptr<const Schema> schema);
    ContextTable(const ContextTable&) = delete;
    ContextTable& operator=(const ContextTable&) = delete;

    // The select of every row's columns with `where` added, for readRow.
    Statement& select(std::string_view where);
    Row readRow(Statement& statement) const;
    std::optional<Row> rowWithID(int64_t id);

    uint64_t count(const Predicate& predicate);
    int64_t sum(std::string_view key, const Predicate& predicate);

    std::vector<int64_t> storedChildren(int64_t parent);
    // The root's ID and those of everything stored below it.
    std::vector<int64_t> storedSubtree(int64_t root);

    bool insertRow(const Object& object);
    // Writes the attributes whose bits are set in `changed`, and the parent
    // when `parentChanged`.
    bool updateRow(const Object& object, uint64_t changed, bool parentChanged);
    void deleteRow(int64_t id);

private:
    Connection& m_connection;
    std::shared_ptr<const Schema> m_schema;
    std::string m_table;
    std::string m_selectSQL;
    // The statements every merge and save runs per object, kept at hand.
    Statement* m_selectByID = nullptr;
    Statement* m_insert = nullptr;
    Statement* m_delete = nullptr;
};

} // namespace store

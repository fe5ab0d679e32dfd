#include "Platform/Store/ContextTable.h"

#include "Platform/Store/Connection.h"
#include "Platform/Store/Object.h"
#include "Platform/Store/Predicate.h"
#include "Platform/Store/Schema.h"

#include <fmt/format.h>
#include <sqlite3.h>

namespace store {

namespace {

// Steps a write: false when the parent it names is refused (a folder
// another thread's save removed).
bool stepUnlessParentGone(Statement& statement)
{
    try {
        statement.step();
    } catch (const Failure& failure) {
        if (failure.code == SQLITE_CONSTRAINT_FOREIGNKEY)
            return false;
        throw;
    }
    return true;
}

} // namespace

ContextTable::ContextTable(Connection& connection, std::shared_ptr<const Schema> schema)
    : m_connection(connection)
    , m_schema(std::move(schema))
{
    m_table = quotedIdentifier(m_schema->entityName());
    m_selectSQL = "SELECT id, parent";
    for (size_t index : m_schema->persistedAttributes())
        m_selectSQL += ", " + quotedIdentifier(m_schema->attribute(index).name);
    m_selectSQL += " FROM " + m_table;
}

Statement& ContextTable::select(std::string_view where)
{
    return m_connection.statement(m_selectSQL + " WHERE " + std::string(where));
}

ContextTable::Row ContextTable::readRow(Statement& statement) const
{
    const auto& attributes = m_schema->persistedAttributes();
    Row row;
    row.id = statement.integer(0);
    row.parent = statement.isNull(1) ? 0 : statement.integer(1);
    row.values.reserve(attributes.size());
    for (size_t column = 0; column < attributes.size(); ++column)
        row.values.push_back(statement.value(static_cast<int>(column) + 2, m_schema->attribute(attributes[column]).type));
    return row;
}

std::optional<ContextTable::Row> ContextTable::rowWithID(int64_t id)
{
    if (!m_selectByID)
        m_selectByID = &m_connection.statement(m_selectSQL + " WHERE id = ?");
    StatementScope statement(*m_selectByID);
    statement->bind(1, id);
    if (!statement->step())
        return std::nullopt;
    return readRow(*statement);
}

uint64_t ContextTable::count(const Predicate& predicate)
{
    std::vector<core::Value> bindings;
    StatementScope statement(
        m_connection.statement("SELECT count(*) FROM " + m_table + " WHERE " + predicate.sql(*m_schema, bindings)));
    for (size_t index = 0; index < bindings.size(); ++index)
        statement->bind(static_cast<int>(index) + 1, bindings[index]);
    return statement->step() ? static_cast<uint64_t>(statement->integer(0)) : 0;
}

int64_t ContextTable::sum(std::string_view key, const Predicate& predicate)
{
    std::vector<core::Value> bindings;
    StatementScope statement(m_connection.statement(fmt::format("SELECT coalesce(sum({}), 0) FROM {} WHERE {}",
        quotedIdentifier(key), m_table, predicate.sql(*m_schema, bindings))));
    for (size_t binding = 0; binding < bindings.size(); ++binding)
        statement->bind(static_cast<int>(binding) + 1, bindings[binding]);
    return statement->step() ? statement->integer(0) : 0;
}

std::vector<int64_t> ContextTable::storedChildren(int64_t parent)
{
    StatementScope statement(m_connection.statement("SELECT id FROM " + m_table + " WHERE parent = ?"));
    statement->bind(1, parent);
    std::vector<int64_t> ids;
    while (statement->step())
        ids.push_back(statement->integer(0));
    return ids;
}

std::vector<int64_t> ContextTable::storedSubtree(int64_t root)
{
    // UNION (not UNION ALL) stops at rows already seen, so a damaged file
    // with a parent loop cannot make it run forever.
    StatementScope statement(m_connection.statement("WITH RECURSIVE subtree(id) AS (VALUES(?) UNION SELECT t.id FROM "
        + m_table + " AS t JOIN subtree ON t.parent = subtree.id) SELECT id FROM subtree"));
    statement->bind(1, root);
    std::vector<int64_t> ids;
    while (statement->step())
        ids.push_back(statement->integer(0));
    return ids;
}

bool ContextTable::insertRow(const Object& object)
{
    const Schema& schema = *m_schema;
    if (!m_insert) {
        std::string columns = "id, parent";
        std::string marks = "?, ?";
        for (size_t index : schema.persistedAttributes()) {
            columns += ", " + quotedIdentifier(schema.attribute(index).name);
            marks += ", ?";
            if (schema.attribute(index).folded) {
                columns += ", " + quotedIdentifier(Schema::foldedColumnName(schema.attribute(index).name));
                marks += ", ?";
            }
        }
        m_insert = &m_connection.statement(fmt::format("INSERT INTO {} ({}) VALUES ({})", m_table, columns, marks));
    }
    StatementScope statement(*m_insert);
    int position = 1;
    statement->bind(position++, object.objectID());
    statement->bind(position++, object.parentID() ? core::Value(object.parentID()) : core::Value());
    for (size_t index : schema.persistedAttributes()) {
        const auto& value = object.valueAt(index);
        statement->bind(position++, value);
        if (schema.attribute(index).folded)
            statement->bind(position++, value.isString() ? core::Value(foldedText(value.string())) : core::Value());
    }
    return stepUnlessParentGone(*statement);
}

bool ContextTable::updateRow(const Object& object, uint64_t changed, bool parentChanged)
{
    const Schema& schema = *m_schema;
    std::string assignments;
    std::vector<core::Value> values;
    auto assign = [&](const std::string& column, core::Value value) {
        if (!assignments.empty())
            assignments += ", ";
        assignments += quotedIdentifier(column) + " = ?";
        values.push_back(std::move(value));
    };
    if (parentChanged)
        assign("parent", object.parentID() ? core::Value(object.parentID()) : core::Value());
    for (size_t index : schema.persistedAttributes()) {
        if (!((changed >> index) & 1))
            continue;
        const auto& value = object.valueAt(index);
        assign(schema.attribute(index).name, value);
        if (schema.attribute(index).folded)
            assign(Schema::foldedColumnName(schema.attribute(index).name),
                value.isString() ? core::Value(foldedText(value.string())) : core::Value());
    }
    if (values.empty())
        return true;
    StatementScope statement(m_connection.statement(fmt::format("UPDATE {} SET {} WHERE id = ?", m_table, assignments)));
    int position = 1;
    for (const auto& value : values)
        statement->bind(position++, value);
    statement->bind(position, object.objectID());
    return stepUnlessParentGone(*statement);
}

void ContextTable::deleteRow(int64_t id)
{
    if (!m_delete)
        m_delete = &m_connection.statement("DELETE FROM " + m_table + " WHERE id = ?");
    StatementScope scope(*m_delete);
    m_delete->bind(1, id);
    m_delete->step();
}

} // namespace store

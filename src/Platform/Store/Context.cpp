#include "Platform/Store/Context.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Store/Connection.h"
#include "Platform/Store/Coordinator.h"
#include "Platform/Store/Object.h"
#include "Platform/Store/Schema.h"

#include <algorithm>
#include <cstdlib>
#include <fmt/format.h>
#include <sqlite3.h>

namespace store {

namespace {

core::Value objectArray(const std::vector<std::shared_ptr<store::Object>>& objects)
{
    core::Value::Array array;
    array.reserve(objects.size());
    for (const auto& object : objects)
        array.emplace_back(object);
    return core::Value(std::move(array));
}

template<typename Map> core::Value objectArray(const Map& objects)
{
    core::Value::Array array;
    array.reserve(objects.size());
    for (const auto& [id, object] : objects)
        array.emplace_back(object);
    return core::Value(std::move(array));
}

core::Value idArray(const std::vector<int64_t>& ids)
{
    core::Value::Array array;
    array.reserve(ids.size());
    for (int64_t id : ids)
        array.emplace_back(id);
    return core::Value(std::move(array));
}

bool isForeignKeyFailure(const Failure& failure)
{
    return failure.code == SQLITE_CONSTRAINT_FOREIGNKEY;
}

} // namespace

std::shared_ptr<Context> Context::create(std::shared_ptr<Coordinator> coordinator, core::Error* error)
{
    if (!coordinator)
        throw core::Exception(core::Exception::InvalidArgument, "A context needs a coordinator");
    try {
        auto connection = coordinator->openConnection();
        return std::make_shared<Context>(Private {}, std::move(coordinator), std::move(connection));
    } catch (const Failure& failure) {
        core::log("Warning, failed to open a context on {}: {}", coordinator->path(), failure.message);
        core::setError(error, errorFromFailure(failure));
        return nullptr;
    }
}

Context::Context(const Private&, std::shared_ptr<Coordinator> coordinator, std::unique_ptr<Connection> connection)
    : m_coordinator(std::move(coordinator))
    , m_connection(std::move(connection))
{
    const Schema& schema = this->schema();
    m_table = quotedIdentifier(schema.entityName());
    m_selectSQL = "SELECT id, parent";
    for (size_t index : schema.persistedAttributes())
        m_selectSQL += ", " + quotedIdentifier(schema.attribute(index).name);
    m_selectSQL += " FROM " + m_table;
    for (size_t index = 0; index < schema.attributes().size() && !m_nameIndex; ++index) {
        if (schema.attribute(index).folded)
            m_nameIndex = index;
    }
}

Context::~Context()
{
    // The objects outlive the context as plain values; they no longer reach it.
    std::lock_guard lock(m_registryMutex);
    m_registry.clear();
}

const Schema& Context::schema() const
{
    return *m_coordinator->schema();
}

std::string Context::description() const
{
    return fmt::format("<store::Context {}> {} objects, {} inserted, {} updated, {} deleted", fmt::ptr(this),
        registeredObjectCount(), m_inserted.size(), m_updated.size(), m_deleted.size());
}

// ---- The identity map ----

std::shared_ptr<store::Object> Context::registered(int64_t id) const
{
    std::lock_guard lock(m_registryMutex);
    auto found = m_registry.find(id);
    return found == m_registry.end() ? nullptr : found->second.weak.lock();
}

void Context::registerObject(const std::shared_ptr<store::Object>& object)
{
    std::lock_guard lock(m_registryMutex);
    m_registry[object->m_id] = Registration { object.get(), object };
}

void Context::forget(int64_t id, store::Object* object)
{
    std::lock_guard lock(m_registryMutex);
    auto found = m_registry.find(id);
    if (found == m_registry.end() || found->second.object != object)
        return;
    m_registry.erase(found);
    // A walk over a large tree leaves a large table behind: give it back.
    if (m_registry.bucket_count() > 4096 && m_registry.size() * 8 < m_registry.bucket_count())
        m_registry.rehash(0);
}

size_t Context::registeredObjectCount() const
{
    std::lock_guard lock(m_registryMutex);
    return m_registry.size();
}

Context::Row Context::readRow(Statement& statement) const
{
    const auto& attributes = schema().persistedAttributes();
    Row row;
    row.id = statement.integer(0);
    row.parent = statement.isNull(1) ? 0 : statement.integer(1);
    row.values.reserve(attributes.size());
    for (size_t column = 0; column < attributes.size(); ++column)
        row.values.push_back(statement.value(static_cast<int>(column) + 2, schema().attribute(attributes[column]).type));
    return row;
}

bool Context::applyRow(store::Object& object, Row& row, uint64_t otherKeys, bool notify)
{
    const auto& attributes = schema().persistedAttributes();
    std::vector<size_t> changed;
    for (size_t column = 0; column < attributes.size(); ++column) {
        size_t index = attributes[column];
        if (object.isChanged(static_cast<int>(index))) {
            if (!((otherKeys >> index) & 1))
                continue;
            object.m_changed &= ~(uint64_t(1) << index);
        }
        if (object.m_values[index] == row.values[column] && object.m_values[index].type() == row.values[column].type())
            continue;
        object.m_values[index] = std::move(row.values[column]);
        changed.push_back(index);
    }
    bool parentChanged = false;
    if (object.isChanged(store::Object::ParentBit) && ((otherKeys >> store::Object::ParentBit) & 1))
        object.m_changed &= ~(uint64_t(1) << store::Object::ParentBit);
    if (!object.isChanged(store::Object::ParentBit) && object.m_parentID != row.parent) {
        object.m_parentID = row.parent;
        object.m_parent.reset();
        parentChanged = true;
        invalidateHidden();
    }
    if ((parentChanged || !changed.empty()) && m_pendingPlace.contains(object.m_id))
        trackPending(object);
    if (notify) {
        for (size_t index : changed)
            object.notifyAttribute(index);
        if (parentChanged)
            object.notify("parent");
    }
    return !changed.empty() || parentChanged;
}

std::shared_ptr<store::Object> Context::materialize(Row&& row)
{
    if (auto object = registered(row.id)) {
        if (!object->hasChanges() && !object->m_gone)
            applyRow(*object, row, 0, true);
        return object;
    }
    auto object = schema().makeObject();
    object->m_id = row.id;
    object->m_schema = m_coordinator->schema();
    object->m_context = std::static_pointer_cast<Context>(shared_from_this());
    const auto& attributes = schema().attributes();
    object->m_values.reserve(attributes.size());
    for (const auto& attribute : attributes)
        object->m_values.push_back(attribute.transient ? attribute.defaultValue : core::Value());
    applyRow(*object, row, 0, false);
    registerObject(object);
    return object;
}

std::optional<Context::Row> Context::rowWithID(int64_t id)
{
    if (!m_selectByID)
        m_selectByID = &m_connection->statement(m_selectSQL + " WHERE id = ?");
    StatementScope statement(*m_selectByID);
    statement->bind(1, id);
    if (!statement->step())
        return std::nullopt;
    return readRow(*statement);
}

std::shared_ptr<store::Object> Context::objectWithID(int64_t id)
{
    if (id <= 0 || isHidden(id))
        return nullptr;
    if (auto object = registered(id))
        return object->m_gone ? nullptr : object;
    try {
        auto row = rowWithID(id);
        return row ? materialize(std::move(*row)) : nullptr;
    } catch (const Failure& failure) {
        core::log("Warning, failed to read object {}: {}", id, failure.message);
        return nullptr;
    }
}

// ---- Changes ----

std::shared_ptr<store::Object> Context::insertObject()
{
    auto object = schema().makeObject();
    object->m_id = m_coordinator->newObjectID();
    object->m_schema = m_coordinator->schema();
    object->m_context = std::static_pointer_cast<Context>(shared_from_this());
    for (const auto& attribute : schema().attributes())
        object->m_values.push_back(attribute.defaultValue);
    object->m_inserted = true;
    registerObject(object);
    m_inserted[object->m_id] = object;
    trackPending(*object);
    object->awakeFromInsert();
    noteChange(object, m_changedInserted);
    return object;
}

void Context::deleteObject(const std::shared_ptr<store::Object>& object)
{
    if (!object || object->m_gone || object->m_pendingDelete)
        return;
    if (object->m_context.lock().get() != this)
        throw core::Exception(core::Exception::InvalidArgument, "The object belongs to another context");
    object->m_pendingDelete = true;
    if (m_updated.erase(object->m_id))
        untrackPending(object->m_id);
    m_deleted[object->m_id] = object;
    invalidateHidden();
    object->prepareForDeletion();
    noteChange(object, m_changedDeleted);
}

void Context::objectDidChange(store::Object& object)
{
    if (object.m_gone || object.m_pendingDelete)
        return;
    auto shared = object.sharedAs<store::Object>();
    if (!object.m_inserted)
        m_updated[object.m_id] = shared;
    trackPending(object);
    if (object.isChanged(store::Object::ParentBit))
        invalidateHidden();
    noteChange(shared, object.m_inserted ? m_changedInserted : m_changedUpdated);
}

void Context::objectDidSetTransient(store::Object& object)
{
    if (!object.m_gone)
        m_transient[object.m_id] = object.sharedAs<store::Object>();
}

bool Context::hasChanges() const
{
    return !m_inserted.empty() || !m_updated.empty() || !m_deleted.empty();
}

namespace {

template<typename Keep>
std::vector<std::shared_ptr<store::Object>> listed(const std::map<int64_t, std::shared_ptr<store::Object>>& objects, Keep keep)
{
    std::vector<std::shared_ptr<store::Object>> list;
    for (const auto& [id, object] : objects) {
        if (keep(*object))
            list.push_back(object);
    }
    return list;
}

} // namespace

std::vector<std::shared_ptr<store::Object>> Context::insertedObjects() const
{
    return listed(m_inserted, [](const store::Object& object) { return !object.isDeleted(); });
}

std::vector<std::shared_ptr<store::Object>> Context::updatedObjects() const
{
    return listed(m_updated, [](const store::Object&) { return true; });
}

std::vector<std::shared_ptr<store::Object>> Context::deletedObjects() const
{
    return listed(m_deleted, [](const store::Object& object) { return !object.isInserted(); });
}

void Context::markGone(const std::shared_ptr<store::Object>& object)
{
    object->m_gone = true;
    object->m_pendingDelete = false;
    untrackPending(object->m_id);
    m_updated.erase(object->m_id);
    m_inserted.erase(object->m_id);
    m_deleted.erase(object->m_id);
    m_transient.erase(object->m_id);
    std::lock_guard lock(m_registryMutex);
    auto found = m_registry.find(object->m_id);
    if (found != m_registry.end() && found->second.object == object.get())
        m_registry.erase(found);
}

std::string Context::nameKey(int64_t parent, std::string_view foldedName)
{
    std::string key = std::to_string(parent);
    key += '/';
    key += foldedName;
    return key;
}

void Context::trackPending(const store::Object& object)
{
    std::string name = m_nameIndex ? object.stringAt(*m_nameIndex) : std::string();
    auto found = m_pendingPlace.find(object.m_id);
    if (found != m_pendingPlace.end() && found->second.parent == object.m_parentID && found->second.name == name)
        return;
    untrackPending(object.m_id);
    PendingPlace place { object.m_parentID, std::move(name), {} };
    m_pendingByParent[place.parent].insert(object.m_id);
    if (m_nameIndex) {
        place.key = nameKey(place.parent, foldedText(place.name));
        m_pendingByName[place.key].insert(object.m_id);
    }
    m_pendingPlace.emplace(object.m_id, std::move(place));
}

void Context::untrackPending(int64_t id)
{
    auto found = m_pendingPlace.find(id);
    if (found == m_pendingPlace.end())
        return;
    auto drop = [id](auto& index, const auto& key) {
        auto entry = index.find(key);
        if (entry == index.end())
            return;
        entry->second.erase(id);
        if (entry->second.empty())
            index.erase(entry);
    };
    drop(m_pendingByParent, found->second.parent);
    if (m_nameIndex)
        drop(m_pendingByName, found->second.key);
    m_pendingPlace.erase(found);
}

std::vector<std::shared_ptr<store::Object>> Context::pendingCandidates(const Predicate& predicate) const
{
    std::vector<std::shared_ptr<store::Object>> candidates;
    auto add = [&](int64_t id) {
        auto inserted = m_inserted.find(id);
        if (inserted != m_inserted.end()) {
            candidates.push_back(inserted->second);
            return;
        }
        auto updated = m_updated.find(id);
        if (updated != m_updated.end())
            candidates.push_back(updated->second);
    };
    auto addAll = [&](const auto& index, const auto& key) {
        auto found = index.find(key);
        if (found != index.end()) {
            for (int64_t id : found->second)
                add(id);
        }
    };
    auto parent = predicate.requiredParentID();
    auto name = parent && m_nameIndex ? predicate.requiredFoldedText(schema().attribute(*m_nameIndex).name) : std::nullopt;
    if (name) {
        addAll(m_pendingByName, nameKey(*parent, *name));
    } else if (parent) {
        addAll(m_pendingByParent, *parent);
    } else {
        for (const auto& [id, object] : m_inserted)
            candidates.push_back(object);
        for (const auto& [id, object] : m_updated)
            candidates.push_back(object);
    }
    return candidates;
}

// ---- Deleted subtrees ----

bool Context::isHidden(int64_t id)
{
    return !m_deleted.empty() && hiddenIDs().contains(id);
}

std::vector<int64_t> Context::storedChildren(int64_t parent)
{
    StatementScope statement(m_connection->statement("SELECT id FROM " + m_table + " WHERE parent = ?"));
    statement->bind(1, parent);
    std::vector<int64_t> ids;
    while (statement->step())
        ids.push_back(statement->integer(0));
    return ids;
}

std::vector<int64_t> Context::storedSubtree(int64_t root)
{
    // UNION (not UNION ALL) stops at rows already seen, so a damaged file
    // with a parent loop cannot make it run forever.
    StatementScope statement(m_connection->statement("WITH RECURSIVE subtree(id) AS (VALUES(?) UNION SELECT t.id FROM "
        + m_table + " AS t JOIN subtree ON t.parent = subtree.id) SELECT id FROM subtree"));
    statement->bind(1, root);
    std::vector<int64_t> ids;
    while (statement->step())
        ids.push_back(statement->integer(0));
    return ids;
}

const std::unordered_set<int64_t>& Context::hiddenIDs()
{
    if (m_hidden)
        return *m_hidden;
    std::unordered_set<int64_t> hidden;
    if (!m_deleted.empty()) {
        // Where the unsaved changes put objects: new ones, and moved ones,
        // which no longer follow their stored parent.
        std::unordered_multimap<int64_t, int64_t> pendingChildren;
        std::unordered_set<int64_t> moved;
        for (const auto& [id, object] : m_inserted)
            pendingChildren.emplace(object->m_parentID, id);
        for (const auto& [id, object] : m_updated) {
            if (object->isChanged(store::Object::ParentBit)) {
                pendingChildren.emplace(object->m_parentID, id);
                moved.insert(id);
            }
        }
        std::vector<int64_t> queue;
        bool wholeSubtrees = moved.empty();
        try {
            for (const auto& [id, object] : m_deleted) {
                if (wholeSubtrees && !object->m_inserted) {
                    auto subtree = storedSubtree(id);
                    queue.insert(queue.end(), subtree.begin(), subtree.end());
                } else {
                    queue.push_back(id);
                }
            }
            while (!queue.empty()) {
                int64_t id = queue.back();
                queue.pop_back();
                if (!hidden.insert(id).second)
                    continue;
                if (!wholeSubtrees && !m_inserted.contains(id)) {
                    for (int64_t child : storedChildren(id)) {
                        if (!moved.contains(child))
                            queue.push_back(child);
                    }
                }
                auto range = pendingChildren.equal_range(id);
                for (auto it = range.first; it != range.second; ++it)
                    queue.push_back(it->second);
            }
        } catch (const Failure& failure) {
            core::log("Warning, failed to read a deleted subtree: {}", failure.message);
        }
    }
    m_hidden = std::move(hidden);
    return *m_hidden;
}

// ---- Fetching ----

template<typename Visit> void Context::visitMatches(const Predicate& predicate, bool needObjects, Visit&& visit)
{
    std::vector<core::Value> bindings;
    std::string where = predicate.sql(schema(), bindings);
    // A copy: bringing an object up to date may change the tree.
    const std::unordered_set<int64_t> hidden = hiddenIDs();
    std::vector<Row> rows;
    {
        StatementScope statement(m_connection->statement(m_selectSQL + " WHERE " + where));
        for (size_t index = 0; index < bindings.size(); ++index)
            statement->bind(static_cast<int>(index) + 1, bindings[index]);
        while (statement->step()) {
            int64_t id = statement->integer(0);
            if (hidden.contains(id) || m_updated.contains(id) || m_inserted.contains(id))
                continue;
            rows.push_back(readRow(*statement));
        }
    }
    // Objects are made (and observers told) only once the statement is
    // done, so that an observer may fetch again.
    for (auto& row : rows) {
        if (needObjects)
            visit(materialize(std::move(row)).get(), nullptr);
        else
            visit(nullptr, &row);
    }
    for (const auto& object : pendingCandidates(predicate)) {
        if (!object->m_pendingDelete && !hidden.contains(object->m_id) && predicate.evaluate(*object))
            visit(object.get(), nullptr);
    }
}

std::vector<std::shared_ptr<store::Object>> Context::fetch(const Predicate& predicate, core::Error* error)
{
    std::vector<std::shared_ptr<store::Object>> objects;
    try {
        visitMatches(predicate, true, [&](store::Object* object, Row*) { objects.push_back(object->sharedAs<store::Object>()); });
    } catch (const Failure& failure) {
        core::log("Warning, fetch of {} failed: {}", predicate.description(), failure.message);
        core::setError(error, errorFromFailure(failure));
        return {};
    }
    return objects;
}

uint64_t Context::count(const Predicate& predicate, core::Error* error)
{
    try {
        if (!hasChanges()) {
            std::vector<core::Value> bindings;
            StatementScope statement(m_connection->statement(
                "SELECT count(*) FROM " + m_table + " WHERE " + predicate.sql(schema(), bindings)));
            for (size_t index = 0; index < bindings.size(); ++index)
                statement->bind(static_cast<int>(index) + 1, bindings[index]);
            return statement->step() ? static_cast<uint64_t>(statement->integer(0)) : 0;
        }
        uint64_t count = 0;
        visitMatches(predicate, false, [&](store::Object*, Row*) { ++count; });
        return count;
    } catch (const Failure& failure) {
        core::log("Warning, count of {} failed: {}", predicate.description(), failure.message);
        core::setError(error, errorFromFailure(failure));
        return 0;
    }
}

int64_t Context::sum(std::string_view key, const Predicate& predicate, core::Error* error)
{
    auto index = schema().indexOfAttribute(key);
    if (!index || schema().attribute(*index).transient)
        throw core::Exception(core::Exception::InvalidArgument, fmt::format("No stored attribute \"{}\" to sum", key));
    const auto& persisted = schema().persistedAttributes();
    size_t column = static_cast<size_t>(std::find(persisted.begin(), persisted.end(), *index) - persisted.begin());
    try {
        if (!hasChanges()) {
            std::vector<core::Value> bindings;
            StatementScope statement(m_connection->statement(fmt::format("SELECT coalesce(sum({}), 0) FROM {} WHERE {}",
                quotedIdentifier(key), m_table, predicate.sql(schema(), bindings))));
            for (size_t binding = 0; binding < bindings.size(); ++binding)
                statement->bind(static_cast<int>(binding) + 1, bindings[binding]);
            return statement->step() ? statement->integer(0) : 0;
        }
        int64_t total = 0;
        visitMatches(predicate, false, [&](store::Object* object, Row* row) {
            total += object ? object->integerAt(*index) : row->values[column].toInteger();
        });
        return total;
    } catch (const Failure& failure) {
        core::log("Warning, sum of {} over {} failed: {}", key, predicate.description(), failure.message);
        core::setError(error, errorFromFailure(failure));
        return 0;
    }
}

// ---- Saving ----

std::string Context::keyOfBit(int bit) const
{
    return bit == store::Object::ParentBit ? std::string("parent") : schema().attribute(static_cast<size_t>(bit)).name;
}

bool Context::insertRow(store::Object& object)
{
    const Schema& schema = this->schema();
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
        m_insert = &m_connection->statement(fmt::format("INSERT INTO {} ({}) VALUES ({})", m_table, columns, marks));
    }
    StatementScope statement(*m_insert);
    int position = 1;
    statement->bind(position++, object.m_id);
    statement->bind(position++, object.m_parentID ? core::Value(object.m_parentID) : core::Value());
    for (size_t index : schema.persistedAttributes()) {
        const auto& value = object.m_values[index];
        statement->bind(position++, value);
        if (schema.attribute(index).folded)
            statement->bind(position++, value.isString() ? core::Value(foldedText(value.string())) : core::Value());
    }
    try {
        statement->step();
    } catch (const Failure& failure) {
        if (isForeignKeyFailure(failure))
            return false;
        throw;
    }
    return true;
}

bool Context::updateRow(store::Object& object, uint64_t changed)
{
    const Schema& schema = this->schema();
    std::string assignments;
    std::vector<core::Value> values;
    auto assign = [&](const std::string& column, core::Value value) {
        if (!assignments.empty())
            assignments += ", ";
        assignments += quotedIdentifier(column) + " = ?";
        values.push_back(std::move(value));
    };
    if ((changed >> store::Object::ParentBit) & 1)
        assign("parent", object.m_parentID ? core::Value(object.m_parentID) : core::Value());
    for (size_t index : schema.persistedAttributes()) {
        if (!((changed >> index) & 1))
            continue;
        const auto& value = object.m_values[index];
        assign(schema.attribute(index).name, value);
        if (schema.attribute(index).folded)
            assign(Schema::foldedColumnName(schema.attribute(index).name),
                value.isString() ? core::Value(foldedText(value.string())) : core::Value());
    }
    if (values.empty())
        return true;
    StatementScope statement(m_connection->statement(fmt::format("UPDATE {} SET {} WHERE id = ?", m_table, assignments)));
    int position = 1;
    for (const auto& value : values)
        statement->bind(position++, value);
    statement->bind(position, object.m_id);
    try {
        statement->step();
    } catch (const Failure& failure) {
        if (isForeignKeyFailure(failure))
            return false;
        throw;
    }
    return true;
}

bool Context::save(core::Error* error)
{
    processPendingChanges();
    if (!hasChanges())
        return true;

    std::vector<std::shared_ptr<store::Object>> written;
    std::vector<std::pair<std::shared_ptr<store::Object>, uint64_t>> updated;
    std::vector<std::shared_ptr<store::Object>> dropped;
    std::vector<int64_t> deletedIDs;
    try {
        Connection::Transaction transaction(*m_connection);
        // The tree as it stands now that no one else may write.
        invalidateHidden();
        const std::unordered_set<int64_t> hidden = hiddenIDs();

        // New objects go in parents first. One whose folder is gone (another
        // thread's save removed it) goes with it, and so do its own.
        std::vector<std::shared_ptr<store::Object>> queue;
        std::unordered_set<int64_t> waiting;
        for (const auto& [id, object] : m_inserted) {
            if (!hidden.contains(id)) {
                queue.push_back(object);
                waiting.insert(id);
            }
        }
        std::unordered_set<int64_t> droppedIDs;
        while (!queue.empty()) {
            std::vector<std::shared_ptr<store::Object>> later;
            for (auto& object : queue) {
                int64_t parent = object->m_parentID;
                if (waiting.contains(parent)) {
                    later.push_back(object);
                    continue;
                }
                waiting.erase(object->m_id);
                if (droppedIDs.contains(parent) || !insertRow(*object)) {
                    droppedIDs.insert(object->m_id);
                    dropped.push_back(object);
                } else {
                    written.push_back(object);
                }
            }
            if (later.size() == queue.size()) {
                // New objects that are each other's parents reach no folder.
                for (auto& object : later) {
                    droppedIDs.insert(object->m_id);
                    dropped.push_back(object);
                }
                break;
            }
            queue.swap(later);
        }

        // Changed columns only, so that two threads' changes to different
        // values of one object both stand. Updates go before deletions, so
        // that what moved out of a deleted folder escapes it.
        std::vector<int64_t> orphanedRoots;
        for (const auto& [id, object] : m_updated) {
            if (hidden.contains(id) || object->m_changed == 0)
                continue;
            if (updateRow(*object, object->m_changed))
                updated.emplace_back(object, object->m_changed);
            else
                orphanedRoots.push_back(id);
        }

        Statement& remove = m_connection->statement("DELETE FROM " + m_table + " WHERE id = ?");
        for (int64_t id : hidden) {
            if (m_inserted.contains(id))
                continue;
            StatementScope scope(remove);
            remove.bind(1, id);
            remove.step();
            deletedIDs.push_back(id);
        }
        for (int64_t root : orphanedRoots) {
            for (int64_t id : storedSubtree(root)) {
                if (!hidden.contains(id))
                    deletedIDs.push_back(id);
            }
            StatementScope scope(remove);
            remove.bind(1, root);
            remove.step();
        }
        transaction.commit();
    } catch (const Failure& failure) {
        core::log("Warning, save failed: {}", failure.message);
        core::setError(error, errorFromFailure(failure));
        invalidateHidden();
        return false;
    }

    for (const auto& object : dropped)
        core::log("Warning, dropped {}: its folder no longer exists", object->description());

    std::vector<std::shared_ptr<store::Object>> insertedObjects;
    std::vector<std::shared_ptr<store::Object>> updatedObjects;
    std::vector<std::shared_ptr<store::Object>> deletedObjects;
    std::vector<int64_t> insertedIDs;
    std::vector<int64_t> updatedIDs;
    core::Value::Dictionary updatedKeys;
    for (const auto& object : written) {
        object->m_inserted = false;
        object->m_changed = 0;
        insertedObjects.push_back(object);
        insertedIDs.push_back(object->m_id);
    }
    for (const auto& [object, changed] : updated) {
        object->m_changed = 0;
        updatedObjects.push_back(object);
        updatedIDs.push_back(object->m_id);
        core::Value::Array keys;
        for (int bit = 0; bit < 64; ++bit) {
            if ((changed >> bit) & 1)
                keys.emplace_back(keyOfBit(bit));
        }
        updatedKeys[std::to_string(object->m_id)] = core::Value(std::move(keys));
    }
    std::vector<std::shared_ptr<store::Object>> gone;
    for (int64_t id : deletedIDs) {
        if (auto object = registered(id)) {
            deletedObjects.push_back(object);
            gone.push_back(object);
        }
    }
    // Pending objects inside deleted subtrees, and the ones dropped, were
    // never stored: they only stop being valid.
    for (const auto& [id, object] : m_inserted) {
        if (object->m_inserted)
            gone.push_back(object);
    }
    for (const auto& [id, object] : m_deleted)
        gone.push_back(object);
    for (const auto& object : gone)
        markGone(object);
    m_inserted.clear();
    m_updated.clear();
    m_deleted.clear();
    m_pendingByParent.clear();
    m_pendingByName.clear();
    m_pendingPlace.clear();
    invalidateHidden();

    core::NotificationCenter::defaultCenter().post(ContextDidSaveNotification, shared_from_this(),
        core::Value::makeDictionary({
            { InsertedObjectsKey, objectArray(insertedObjects) },
            { UpdatedObjectsKey, objectArray(updatedObjects) },
            { DeletedObjectsKey, objectArray(deletedObjects) },
            { InsertedIDsKey, idArray(insertedIDs) },
            { UpdatedIDsKey, idArray(updatedIDs) },
            { DeletedIDsKey, idArray(deletedIDs) },
            { UpdatedKeysKey, core::Value(std::move(updatedKeys)) },
        }));
    return true;
}

// ---- Merging ----

void Context::mergeChangesFromContextDidSave(const core::Value& userInfo)
{
    const auto& deletedIDs = userInfo[DeletedIDsKey];
    for (size_t index = 0; index < deletedIDs.count(); ++index) {
        if (auto object = registered(deletedIDs[index].toInteger())) {
            if (!object->m_gone) {
                markGone(object);
                noteChange(object, m_changedDeleted);
            }
        }
    }
    invalidateHidden();

    const auto& keys = userInfo[UpdatedKeysKey];
    // (ID, keys written) by ID, looked up as the IDs come.
    std::vector<std::pair<int64_t, uint64_t>> writtenKeys;
    if (keys.isDictionary()) {
        writtenKeys.reserve(keys.count());
        for (const auto& [id, names] : keys.dictionary()) {
            uint64_t mask = 0;
            for (size_t index = 0; index < names.count(); ++index) {
                const auto& key = names[index];
                if (key.isString() && key.string() == "parent")
                    mask |= uint64_t(1) << store::Object::ParentBit;
                else if (auto attribute = schema().indexOfAttribute(key.toString()))
                    mask |= uint64_t(1) << *attribute;
            }
            writtenKeys.emplace_back(std::strtoll(id.c_str(), nullptr, 10), mask);
        }
        std::sort(writtenKeys.begin(), writtenKeys.end());
    }

    // The rows of the objects held here are read a batch at a time in one
    // snapshot, then applied: observers run only once the reading is done,
    // and a batch stays small enough to be applied while it is in the
    // processor's caches.
    constexpr size_t BatchSize = 256;
    const auto& updatedIDs = userInfo[UpdatedIDsKey];
    std::vector<std::pair<std::shared_ptr<store::Object>, std::optional<Row>>> batch;
    for (size_t start = 0; start < updatedIDs.count(); start += BatchSize) {
        batch.clear();
        try {
            bool reading = false;
            for (size_t position = start; position < std::min(start + BatchSize, updatedIDs.count()); ++position) {
                auto object = registered(updatedIDs[position].toInteger());
                if (!object || object->m_gone)
                    continue;
                if (!reading) {
                    m_connection->execute("BEGIN");
                    reading = true;
                }
                auto row = rowWithID(object->m_id);
                batch.emplace_back(std::move(object), std::move(row));
            }
            if (reading)
                m_connection->execute("COMMIT");
        } catch (const Failure& failure) {
            core::log("Warning, failed to merge another save: {}", failure.message);
            if (!sqlite3_get_autocommit(m_connection->handle()))
                m_connection->execute("ROLLBACK");
            return;
        }
        for (auto& [object, row] : batch) {
            if (object->m_gone)
                continue;
            if (!row) {
                markGone(object);
                noteChange(object, m_changedDeleted);
                continue;
            }
            auto written = std::lower_bound(writtenKeys.begin(), writtenKeys.end(), std::make_pair(object->m_id, uint64_t(0)));
            uint64_t otherKeys = written != writtenKeys.end() && written->first == object->m_id ? written->second : 0;
            bool changed = applyRow(*object, *row, otherKeys, true);
            if (object->m_changed == 0 && m_updated.erase(object->m_id))
                untrackPending(object->m_id);
            if (changed)
                noteChange(object, m_changedUpdated);
        }
    }
}

// ---- Change notifications ----

void Context::noteChange(const std::shared_ptr<store::Object>& object, ChangeSet& bucket)
{
    bucket[object->m_id] = object;
    scheduleChangeNotification();
}

void Context::scheduleChangeNotification()
{
    if (m_changeNotificationScheduled)
        return;
    m_changeNotificationScheduled = true;
    std::weak_ptr<Context> weak = std::static_pointer_cast<Context>(shared_from_this());
    core::RunLoop::current().performAfter(0, [weak] {
        if (auto context = weak.lock())
            context->processPendingChanges();
    });
}

void Context::processPendingChanges()
{
    m_changeNotificationScheduled = false;
    if (m_changedInserted.empty() && m_changedUpdated.empty() && m_changedDeleted.empty())
        return;
    // An object inserted and changed in one pass is news once, as inserted.
    for (const auto& [id, object] : m_changedInserted)
        m_changedUpdated.erase(id);
    auto userInfo = core::Value::makeDictionary({
        { InsertedObjectsKey, objectArray(m_changedInserted) },
        { UpdatedObjectsKey, objectArray(m_changedUpdated) },
        { DeletedObjectsKey, objectArray(m_changedDeleted) },
    });
    m_changedInserted.clear();
    m_changedUpdated.clear();
    m_changedDeleted.clear();
    core::NotificationCenter::defaultCenter().post(ContextObjectsDidChangeNotification, shared_from_this(), std::move(userInfo));
}

} // namespace store

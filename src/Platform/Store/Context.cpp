#include "Platform/Store/Context.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Store/Connection.h"
#include "Platform/Store/Coordinator.h"
#include "Platform/Store/Object.h"
#include "Platform/Store/Schema.h"

#include <algorithm>
#include <cstdlib>
#include <fmt/format.h>
#include <sqlite3.h>

namespace store {

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
    , m_table(*m_connection, m_coordinator->schema())
    , m_pending(*m_coordinator->schema())
    , m_hidden(m_table, m_inserted, m_updated, m_deleted)
    , m_changes(*this)
{
}

Context::~Context()
{
    // The objects outlive the context as plain values; they no longer reach it.
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

void Context::registerObject(const std::shared_ptr<store::Object>& object)
{
    m_registry.add(object);
}

void Context::forget(int64_t id, store::Object* object)
{
    m_registry.forget(id, object);
}

size_t Context::registeredObjectCount() const
{
    return m_registry.count();
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
    if ((parentChanged || !changed.empty()) && m_pending.contains(object.m_id))
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
    if (auto object = m_registry.find(row.id)) {
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

std::shared_ptr<store::Object> Context::objectWithID(int64_t id)
{
    if (id <= 0 || isHidden(id))
        return nullptr;
    if (auto object = m_registry.find(id))
        return object->m_gone ? nullptr : object;
    try {
        auto row = m_table.rowWithID(id);
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
    m_changes.note(object, ContextChangeNotes::Inserted);
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
    m_changes.note(object, ContextChangeNotes::Deleted);
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
    m_changes.note(shared, object.m_inserted ? ContextChangeNotes::Inserted : ContextChangeNotes::Updated);
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

// The caller holds the object: the lists let go of it here.
void Context::markGone(store::Object& object)
{
    const int64_t id = object.m_id;
    object.m_gone = true;
    object.m_pendingDelete = false;
    untrackPending(id);
    m_updated.erase(id);
    m_inserted.erase(id);
    m_deleted.erase(id);
    m_transient.erase(id);
    m_registry.drop(id, &object);
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
    if (const auto* ids = m_pending.candidates(predicate)) {
        for (int64_t id : *ids)
            add(id);
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

// ---- Fetching ----

template<typename Visit> void Context::visitMatches(const Predicate& predicate, bool needObjects, Visit&& visit)
{
    std::vector<core::Value> bindings;
    std::string where = predicate.sql(schema(), bindings);
    // A copy: bringing an object up to date may change the tree.
    const std::unordered_set<int64_t> hidden = hiddenIDs();
    std::vector<Row> rows;
    {
        StatementScope statement(m_table.select(where));
        for (size_t index = 0; index < bindings.size(); ++index)
            statement->bind(static_cast<int>(index) + 1, bindings[index]);
        while (statement->step()) {
            int64_t id = statement->integer(0);
            if (hidden.contains(id) || m_updated.contains(id) || m_inserted.contains(id))
                continue;
            rows.push_back(m_table.readRow(*statement));
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
        if (!hasChanges())
            return m_table.count(predicate);
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
        if (!hasChanges())
            return m_table.sum(key, predicate);
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
                if (droppedIDs.contains(parent) || !m_table.insertRow(*object)) {
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
            if (m_table.updateRow(*object, object->m_changed, object->isChanged(store::Object::ParentBit)))
                updated.emplace_back(object, object->m_changed);
            else
                orphanedRoots.push_back(id);
        }

        for (int64_t id : hidden) {
            if (m_inserted.contains(id))
                continue;
            m_table.deleteRow(id);
            deletedIDs.push_back(id);
        }
        for (int64_t root : orphanedRoots) {
            for (int64_t id : m_table.storedSubtree(root)) {
                if (!hidden.contains(id))
                    deletedIDs.push_back(id);
            }
            m_table.deleteRow(root);
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

    ContextSave saved;
    for (const auto& object : written) {
        object->m_inserted = false;
        object->m_changed = 0;
        saved.inserted.push_back(object);
        saved.insertedIDs.push_back(object->m_id);
    }
    for (const auto& [object, changed] : updated) {
        object->m_changed = 0;
        saved.updated.push_back(object);
        saved.updatedIDs.push_back(object->m_id);
        auto& keys = saved.updatedKeys[object->m_id];
        for (int bit = 0; bit < 64; ++bit) {
            if ((changed >> bit) & 1)
                keys.emplace_back(keyOfBit(bit));
        }
    }
    std::vector<std::shared_ptr<store::Object>> gone;
    for (int64_t id : deletedIDs) {
        if (auto object = m_registry.find(id)) {
            saved.deleted.push_back(object);
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
        markGone(*object);
    m_inserted.clear();
    m_updated.clear();
    m_deleted.clear();
    m_pending.clear();
    invalidateHidden();

    saved.deletedIDs = std::move(deletedIDs);
    core::NotificationCenter::defaultCenter().post(ContextDidSaveNotification, shared_from_this(), std::move(saved));
    return true;
}

// ---- Merging ----

void Context::mergeChangesFromContextDidSave(const ContextSave& save)
{
    for (int64_t id : save.deletedIDs) {
        if (auto object = m_registry.find(id)) {
            if (!object->m_gone) {
                markGone(*object);
                m_changes.note(object, ContextChangeNotes::Deleted);
            }
        }
    }
    invalidateHidden();

    // (ID, keys written) by ID, looked up as the IDs come.
    std::vector<std::pair<int64_t, uint64_t>> writtenKeys;
    writtenKeys.reserve(save.updatedKeys.size());
    for (const auto& [id, names] : save.updatedKeys) {
        uint64_t mask = 0;
        for (const auto& key : names) {
            if (key == "parent")
                mask |= uint64_t(1) << store::Object::ParentBit;
            else if (auto attribute = schema().indexOfAttribute(key))
                mask |= uint64_t(1) << *attribute;
        }
        writtenKeys.emplace_back(id, mask);
    }

    // The rows of the objects held here are read a batch at a time in one
    // snapshot, then applied: observers run only once the reading is done,
    // and a batch stays small enough to be applied while it is in the
    // processor's caches.
    constexpr size_t BatchSize = 256;
    const auto& updatedIDs = save.updatedIDs;
    std::vector<std::pair<std::shared_ptr<store::Object>, std::optional<Row>>> batch;
    for (size_t start = 0; start < updatedIDs.size(); start += BatchSize) {
        batch.clear();
        try {
            bool reading = false;
            for (size_t position = start; position < std::min(start + BatchSize, updatedIDs.size()); ++position) {
                auto object = m_registry.find(updatedIDs[position]);
                if (!object || object->m_gone)
                    continue;
                if (!reading) {
                    m_connection->execute("BEGIN");
                    reading = true;
                }
                auto row = m_table.rowWithID(object->m_id);
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
                markGone(*object);
                m_changes.note(object, ContextChangeNotes::Deleted);
                continue;
            }
            auto written = std::lower_bound(writtenKeys.begin(), writtenKeys.end(), std::make_pair(object->m_id, uint64_t(0)));
            uint64_t otherKeys = written != writtenKeys.end() && written->first == object->m_id ? written->second : 0;
            bool changed = applyRow(*object, *row, otherKeys, true);
            if (object->m_changed == 0 && m_updated.erase(object->m_id))
                untrackPending(object->m_id);
            if (changed)
                m_changes.note(object, ContextChangeNotes::Updated);
        }
    }
}

void Context::processPendingChanges()
{
    m_changes.post();
}

} // namespace store

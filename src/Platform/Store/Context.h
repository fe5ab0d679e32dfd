#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Notification.h"
#include "Platform/Core/Object.h"
#include "Platform/Store/ContextChangeNotes.h"
#include "Platform/Store/ContextHiddenIDs.h"
#include "Platform/Store/ContextPendingIndex.h"
#include "Platform/Store/ContextRegistry.h"
#include "Platform/Store/ContextTable.h"
#include "Platform/Store/Predicate.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace store {

class Connection;
class Coordinator;
class Object;
class Schema;

// What a save wrote: the objects of the saving context (deleted subtrees'
// descendants that it holds included), every ID (descendants included) and
// the keys written per updated ID. The IDs and keys are what other threads
// merge; the objects belong to the saving context's thread.
struct ContextSave {
    std::vector<std::shared_ptr<Object>> inserted;
    std::vector<std::shared_ptr<Object>> updated;
    std::vector<std::shared_ptr<Object>> deleted;
    std::vector<int64_t> insertedIDs;
    std::vector<int64_t> updatedIDs;
    std::vector<int64_t> deletedIDs;
    std::map<int64_t, std::vector<std::string>> updatedKeys;
};
// Posted by a context after each save on the saving thread (object: the
// context).
inline constexpr core::NoticeName<ContextSave> ContextDidSaveNotification { "NSManagedObjectContextDidSaveNotification" };
// Posted once at the end of a run-loop pass in which objects changed, and
// before a save (object: the context; "inserted", "updated", "deleted").
inline constexpr const char* ContextObjectsDidChangeNotification = "NSManagedObjectContextObjectsDidChangeNotification";
inline constexpr const char* InsertedObjectsKey = "inserted";
inline constexpr const char* UpdatedObjectsKey = "updated";
inline constexpr const char* DeletedObjectsKey = "deleted";

// The objects of one thread: a connection of its own on the coordinator's
// file, the identity map (one object per ID) and the changes not yet saved.
//
// Fetches, counts and sums run in SQL and are then patched with the unsaved
// changes through the same predicate, so an insert is found before it is
// saved and a pending deletion hides its whole subtree. A save writes only
// the changed columns of each object, in one transaction. Objects another
// thread's save touched are brought up to date by merging that save's IDs.
//
// Clean objects stay in the map only while someone else holds them; objects
// with unsaved changes, and objects with transient values set, are kept by
// the context.
class Context : public core::Object {
public:
    // Nothing (with the error) when the file cannot be opened.
    static std::shared_ptr<Context> create(std::shared_ptr<Coordinator> coordinator, core::Error* error = nullptr);
    ~Context() override;

    const std::shared_ptr<Coordinator>& coordinator() const { return m_coordinator; }
    const Schema& schema() const;

    // A new object of the schema's class with a permanent ID, initial values
    // and no parent; it is saved with the next save.
    std::shared_ptr<store::Object> insertObject();
    template<typename T> std::shared_ptr<T> insert() { return std::dynamic_pointer_cast<T>(insertObject()); }
    // Deletes the object and, with the next save, its subtree. Objects of
    // the subtree held here stop being valid at once.
    void deleteObject(const std::shared_ptr<store::Object>& object);
    // The object of that ID: the one held, else read from the file; nothing
    // when the file has no such row or it lies in a pending deletion.
    std::shared_ptr<store::Object> objectWithID(int64_t id);
    template<typename T> std::shared_ptr<T> objectWithID(int64_t id) { return std::dynamic_pointer_cast<T>(objectWithID(id)); }

    // The objects matching, in no set order. Failures are logged and give
    // nothing (with the error).
    std::vector<std::shared_ptr<store::Object>> fetch(const Predicate& predicate, core::Error* error = nullptr);
    uint64_t count(const Predicate& predicate, core::Error* error = nullptr);
    // The sum of an integer attribute over the objects matching.
    int64_t sum(std::string_view key, const Predicate& predicate, core::Error* error = nullptr);

    bool hasChanges() const;

    // Writes the changes in one transaction, then posts the did-save
    // notification. An insert or move under a folder that another thread's
    // save removed meanwhile goes with that folder instead of failing the
    // save. On failure nothing is written and the changes stay.
    bool save(core::Error* error = nullptr);

    // Brings the objects held here up to date with another context's save
    // (its did-save notice): clean values are read again and their
    // observers told; a value changed on both sides takes the stored one;
    // objects deleted there stop being valid here.
    void mergeChangesFromContextDidSave(const ContextSave& save);

    // Posts the pending objects-did-change notification now.
    void processPendingChanges();

    size_t registeredObjectCount() const;

    std::string description() const override;

private:
    friend class store::Object;
    struct Private { };

public:
    Context(const Private&, std::shared_ptr<Coordinator> coordinator, std::unique_ptr<Connection> connection);

private:
    using ObjectMap = std::map<int64_t, std::shared_ptr<store::Object>>;
    using Row = ContextTable::Row;

    // Called by objects.
    void objectDidChange(store::Object& object);
    void objectDidSetTransient(store::Object& object);
    void forget(int64_t id, store::Object* object);
    bool isHidden(int64_t id);

    void registerObject(const std::shared_ptr<store::Object>& object);
    // The held object of the row (brought up to date and its observers
    // told when it has no changes of its own), or a new one.
    std::shared_ptr<store::Object> materialize(Row&& row);
    // Takes the stored values the object has not changed itself; with
    // `otherKeys`, also those it changed that another save wrote too.
    // Answers whether anything changed.
    bool applyRow(store::Object& object, Row& row, uint64_t otherKeys, bool notify);
    void markGone(store::Object& object);
    std::string keyOfBit(int bit) const;

    // IDs of every object deleted (pending) and of everything below them,
    // as the tree stands with the unsaved changes.
    const std::unordered_set<int64_t>& hiddenIDs() { return m_hidden.ids(); }
    void invalidateHidden() { m_hidden.invalidate(); }

    // The rows matching in SQL, and the pending objects that match in C++,
    // each once.
    template<typename Visit> void visitMatches(const Predicate& predicate, bool needObjects, Visit&& visit);
    std::vector<std::shared_ptr<store::Object>> pendingCandidates(const Predicate& predicate) const;
    void trackPending(const store::Object& object) { m_pending.track(object); }
    void untrackPending(int64_t id) { m_pending.untrack(id); }

    std::shared_ptr<Coordinator> m_coordinator;
    std::unique_ptr<Connection> m_connection;
    ContextTable m_table;
    ContextRegistry m_registry;

    ObjectMap m_inserted;
    ObjectMap m_updated;
    ObjectMap m_deleted;
    // Objects holding values kept in memory only, held until markGone.
    ObjectMap m_transient;
    ContextPendingIndex m_pending;
    ContextHiddenIDs m_hidden;
    ContextChangeNotes m_changes;
};

} // namespace store

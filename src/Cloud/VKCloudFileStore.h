#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/URL.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class VKCloudManagedObject;

namespace store {
class Context;
class Coordinator;
class Predicate;
struct ContextSave;
}

// The key under which a thread's own store is kept in its thread dictionary.
inline constexpr const char* VKCloudFileStoreThreadDictionaryKey = "VKCloudFileStoreThreadDictionary";
// The mirror store's file in the metadata folder.
inline constexpr const char* VKCloudFileStoreFileName = "VKCloudFileStore_1.0.sqlite";

// The local mirror of every cloud service's folder tree: one node
// (VKCloudManagedObject) per cloud file or folder, below a root node that
// stands for the servers folder. A node's local path is the servers folder
// joined with the names from the root down to it.
//
// The main thread uses the shared store. A background thread that needs the
// mirror makes a store of its own (`create`); its saves are merged into the
// shared store on the main thread, without the saving thread waiting. Nodes
// never cross threads.
//
// Inserts and moves are checked like file-system calls and fail with POSIX
// errors: 22 "Invalid file name" (empty, ".", "..", "/", NUL, not UTF-8),
// 2 "Parent directory does not exist", 20 "Parent is not a directory",
// 17 "File already exists" (exact name), in that order; the root cannot be
// removed (1).
class VKCloudFileStore : public core::Object {
public:
    // The main thread's store, made on first use (which must be on the main
    // thread); its file is opened (and mended, see store::Coordinator) then.
    static std::shared_ptr<VKCloudFileStore> sharedStore();
    // The shared store on the main thread; elsewhere the store this thread
    // made, or nothing.
    static std::shared_ptr<VKCloudFileStore> storeForCurrentThread();
    // A store of the calling (background) thread, kept in the thread's
    // dictionary until the thread ends; the shared store merges its saves.
    static std::shared_ptr<VKCloudFileStore> create();
    static std::string fileStorePath();
    // Deletes the store file (with its -wal and -shm) and forgets the shared
    // store and the coordinator.
    static void zapCloudFileStore();
    // Forgets the shared store and the coordinator, files kept (tests).
    static void resetForTesting();

    ~VKCloudFileStore() override;

    std::string entityName() const;
    const std::shared_ptr<store::Context>& managedObjectContext() const { return m_context; }
    std::shared_ptr<store::Coordinator> persistentStoreCoordinator() const;

    // Fetched, or made when the store has none.
    std::shared_ptr<VKCloudManagedObject> rootNode();
    // Nothing when the node is not below the root (a loop or a gap in a
    // damaged file), or no longer valid.
    std::optional<std::string> pathForManagedObject(const VKCloudManagedObject& object) const;
    // The components of a path below the servers folder; nothing for a path
    // outside it (a sibling such as "Servers2" included) or a relative one.
    static std::optional<std::vector<std::string>> pathComponentsRelativeToRoot(std::string_view path);
    std::shared_ptr<VKCloudManagedObject> managedObjectForPath(std::string_view path, bool caseSensitive = true);

    std::shared_ptr<VKCloudManagedObject> insertObjectForPath(std::string_view path, core::Error* error = nullptr);
    std::shared_ptr<VKCloudManagedObject> insertObjectWithName(std::string_view name,
        const std::shared_ptr<VKCloudManagedObject>& parent, core::Error* error = nullptr);
    bool validateInsert(std::string_view name, const std::shared_ptr<VKCloudManagedObject>& parent,
        core::Error* error = nullptr);
    // A new node at the path with the source's date, size and folder flag
    // (not its children, revision, hash or state).
    std::shared_ptr<VKCloudManagedObject> copyObject(const VKCloudManagedObject& source, std::string_view toPath,
        core::Error* error = nullptr);
    // Gives the node the path's folder and name; on failure nothing changes.
    // A folder cannot go into itself or below itself (22).
    bool moveObject(const std::shared_ptr<VKCloudManagedObject>& object, std::string_view toPath,
        core::Error* error = nullptr);
    // The node with its subtree, at the next save.
    bool deleteObject(const std::shared_ptr<VKCloudManagedObject>& object, core::Error* error = nullptr);

    std::vector<std::shared_ptr<VKCloudManagedObject>> childrenForManagedObject(const VKCloudManagedObject& object);
    uint64_t childCountForManagedObject(const VKCloudManagedObject& object);
    // The sizes of the folder's children, and with `recurse` of everything
    // below it; 0 for a file. Unsaved changes count.
    int64_t sizeOfChildrenForManagedObject(const VKCloudManagedObject& object, bool recurse = false);
    int64_t sumSizeForPredicate(const store::Predicate& predicate);
    // A name for a new item at the path that no node in its folder has
    // (exact names): "Report 1.pdf", "Report copy.pdf" … (see Kit's
    // uniqueName); the path's name when it is free.
    std::string uniqueNameForItemAtPath(std::string_view path, std::string_view suffix = {});

    // Saves what changed; true when there was nothing to save.
    bool saveContext();
    bool contextHasChanges() const;

    // Locks: a set of nodes of this store that a background job is filling
    // (the metadata merge leaves them alone).
    bool acquireLock(const std::shared_ptr<VKCloudManagedObject>& object);
    void releaseLock(const std::shared_ptr<VKCloudManagedObject>& object);
    bool isLocked(const std::shared_ptr<VKCloudManagedObject>& object) const;

    // Bootstrap: a store whose root has no children gets a node for each
    // registered service's folder.
    bool isBootstrapRequired();
    bool bootstrapCloudFileStore();
    // A node for the item at the path, with its folder flag, size and date;
    // its contents are not imported.
    std::shared_ptr<VKCloudManagedObject> importItemAtPath(std::string_view path);

    std::string description() const override;

    struct Private;
    VKCloudFileStore(const Private&, std::shared_ptr<store::Context> context);

private:
    static std::shared_ptr<VKCloudFileStore> make();
    // Merges another store's save on the main thread.
    void updateFromOtherContextDidSaveNotification(const store::ContextSave& save);
    std::shared_ptr<VKCloudManagedObject> folderNodeForPath(std::string_view path);

    std::shared_ptr<store::Context> m_context;
    std::shared_ptr<VKCloudManagedObject> m_rootNode;
    std::unordered_set<int64_t> m_lockedIDs;
    core::Observation m_otherContextDidSave;
};

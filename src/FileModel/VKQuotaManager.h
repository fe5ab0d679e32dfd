#pragma once

#include "FileModel/VKQuotaFolder.h"
#include "Kit/VKLock.h"
#include "Platform/Core/Notification.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Observable.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Posted on the main thread, in a later pass, after each update; object the
// manager, with the path updated.
struct VKQuotaUpdate {
    std::string path;
};
inline constexpr core::NoticeName<VKQuotaUpdate> VKQuotaManagerDidUpdateQuotaNotification { "VKQuotaManagerDidUpdateQuotaNotification" };

// The sizes of everything under the application home, kept in memory so that
// folder sizes, the space used and left under the disk quota, the pickers'
// folder lists and name searches are answered without walking the disk. Kept
// current by updates after each change the system makes itself, repaired by
// smart rescans, saved in the settings ("VKQuotaStore") and restored at launch.
// The cloud mirror folder is never scanned or updated.
//
// Every walk of the tree holds the manager's recursive lock; only
// structureForPath() and quotaUsedBytes() merely try it, answering at once
// while another thread holds it (nothing, and the last known total).
// Nothing handed out refers into the live tree.
class VKQuotaManager : public core::Object {
public:
    static std::shared_ptr<VKQuotaManager> defaultManager();
    // Replaces the shared manager (tests); null makes a new one on next use.
    static void setDefaultManagerForTesting(std::shared_ptr<VKQuotaManager> manager);
    // The tree of the files under `rootPath`, leaving out `serversPath`.
    static std::shared_ptr<VKQuotaManager> create(std::string rootPath, std::string serversPath);

    // Free bytes of the volume holding a path, or nothing when unreadable
    // (statvfs: f_frsize × f_bavail, the space an unprivileged user may use).
    using FreeSpaceFunction = std::function<std::optional<uint64_t>(const std::string& path)>;
    static void setFreeSpaceFunctionForTesting(FreeSpaceFunction function);
    // The free bytes of the volume holding any path, through that function.
    static std::optional<uint64_t> freeSpaceAtPath(const std::string& path);

    const std::string& rootPath() const { return m_rootPath; }

    // The saved form: a deep copy of the tree, made under the lock.
    core::Value quotaStore() const;
    // Restores a saved tree; malformed entries are dropped (logged once).
    void setQuotaStore(const core::Value& store);

    // The node at a path as its saved form (a dictionary, a number, or null
    // when absent or the lock is busy).
    core::Value structureForPath(std::string_view path) const;
    // Null 0, a number its value, a folder its total.
    static uint64_t sizeForStructure(const core::Value& structure);
    // The path's components below the root; nothing outside it.
    std::optional<std::vector<std::string>> pathComponentsRelativeToRootForPath(std::string_view path) const;
    // A fresh scan in the saved form; null when nothing is there.
    core::Value createStructureForPath(std::string_view path) const;
    // Puts a node (null removes it) into the tree and corrects the totals of
    // the root and of every folder on the way.
    void insertStructure(const core::Value& structure, std::string_view path);

    // Rescans the item fully (a vanished one leaves the tree).
    void updateQuotaForPath(std::string_view path);
    // The same for several items, the vanished ones taken out of each folder
    // in one pass (a delete of thousands from one folder).
    void updateQuotaForPaths(const std::vector<std::string>& paths);
    // Carries the item's entry (a folder's whole subtree) from one path to
    // the other after a move, without a scan; only a source the tree does
    // not know is scanned at its new place.
    void moveStructure(std::string_view from, std::string_view to);
    // Takes the item's own new size; a folder's children are not rescanned.
    void updateQuotaForSingleItemAtPath(std::string_view path);
    // Rescans a folder's entries, keeping the subfolders whose own size and
    // modification time are unchanged.
    void smartUpdateQuotaForDirectory(std::string_view path);
    // The same without its log line: the watcher's rescans of folders that
    // other programs change.
    void rescanDirectory(std::string_view path);
    void resetQuota();
    // Runs `work` holding the tree's lock, so that several queries and
    // updates from one caller see one state of the tree.
    void performWithUpdateLockForTesting(const std::function<void()>& work);
    // Whether the folder (a file's parent) is recorded with its current own
    // size and modification time.
    bool isQuotaValidForPath(std::string_view path) const;
    void postQuotaUpdateNotification(std::string_view path);

    uint64_t sizeForPath(std::string_view path) const { return sizeForPath(path, true); }
    // What an item holds as a person counts it: a file's size, the sizes of
    // the files at every depth of a folder (its own and its subfolders'
    // entries not counted). 0 for what the tree does not know.
    uint64_t contentSizeForPath(std::string_view path) const;
    // Without recursion a folder counts its files and its subfolders' own
    // entries only.
    uint64_t sizeForPath(std::string_view path, bool recurse) const;

    // The person set a limit ("VKQuotaEnabled"): nothing may be let past it.
    static bool isQuotaEnforced();
    // All ones while the quota is off, else "VKQuotaLimit" megabytes.
    uint64_t quotaTotalBytes() const;
    // The root's total; while another thread holds the lock, at once the
    // total the tree had when it was last changed (a reset, the start of a
    // full recount, keeps the one from before it).
    uint64_t quotaUsedBytes() const;
    // The volume's free space, capped by what the quota leaves.
    std::optional<uint64_t> quotaAvailableBytes() const;

    // Names of the folder's direct subfolders.
    std::vector<std::string> collectionNamesForPath(std::string_view path, bool ignorePackages) const;
    // "/" and every folder below, depth first, siblings in file-name order.
    std::vector<std::string> collectionPathsRelativeToPath(std::string_view path, bool ignorePackages) const;
    // Items below the folder at every depth.
    uint64_t childCountForPath(std::string_view path) const;
    uint64_t collectionChildCountForPath(std::string_view path, bool ignorePackages) const;

    // Paths, relative to `rootPath`, of the items whose names contain the
    // query (case, accents and width ignored); hidden names and everything
    // below them are never results. Nothing for a missing path or a file.
    std::optional<std::vector<std::string>> itemsMatchingQuery(std::string_view query, std::string_view rootPath,
        bool recurse, bool ignorePackageContents) const;
    // The sizes of the matching items (an empty query matches all).
    uint64_t sizeForPath(std::string_view path, std::string_view query, bool recurse, bool ignorePackageContents) const;
    // What the items itemsMatchingQuery() lists hold, each byte counted once:
    // a matching folder's content, and nothing more below it.
    uint64_t contentSizeOfItemsMatchingQuery(std::string_view query, std::string_view rootPath, bool recurse,
        bool ignorePackageContents) const;

    bool rebuildingIndex() const { return m_rebuildingIndex.get(); }
    // On the main thread: its observers are the screens.
    void setRebuildingIndex(bool rebuilding);
    core::Observation observeRebuildingIndex(core::Observable<bool>::Observer observer)
    {
        return m_rebuildingIndex.observe(std::move(observer));
    }

    std::string description() const override;

private:
    VKQuotaManager(std::string rootPath, std::string serversPath);

    bool isServersPath(std::string_view path) const;
    const VKQuotaItem* itemAt(const std::vector<std::string>& components) const;
    const VKQuotaFolder* folderAt(std::string_view path) const;
    // What an item counted in its folders' sums.
    struct Sizes {
        uint64_t total = 0;
        uint64_t content = 0;
        static Sizes of(const VKQuotaItem* item);
    };
    // Puts `item` (nothing removes) at the components, given the sizes of
    // what was there, correcting the sums on the way.
    void replaceItem(const std::vector<std::string>& components, std::optional<VKQuotaItem> item, Sizes old);
    void insertItem(const std::vector<std::string>& components, std::optional<VKQuotaItem> item);
    void updateLocked(const std::string& path, const std::vector<std::string>& components);
    // Takes the named entries out of the folder at the components and
    // corrects the totals on the way.
    void removeEntries(const std::vector<std::string>& folderComponents, std::vector<std::string> names);
    // Runs an update of the item at `path` under the lock, then posts the
    // notification; the mirror and paths outside the root are left alone.
    using UpdateWork = std::function<void(const std::string& itemPath, const std::vector<std::string>& components)>;
    void performUpdate(std::string_view path, const UpdateWork& work);
    std::string pathForComponents(const std::vector<std::string>& components, size_t count) const;
    // Keeps the root's total for quotaUsedBytes() to answer while the lock
    // is busy; called under the lock after every change.
    void noteUsedBytes() { m_lastUsedBytes = m_root->total; }

    const std::string m_rootPath;
    const std::string m_serversPath;
    mutable VKRecursiveLock m_updateLock;
    std::unique_ptr<VKQuotaFolder> m_root;
    std::atomic<uint64_t> m_lastUsedBytes { 0 };
    core::Observable<bool> m_rebuildingIndex { false };
};

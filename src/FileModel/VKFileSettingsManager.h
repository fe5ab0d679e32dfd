#pragma once

#include "FileModel/VKResourceMoveNotifications.h"

#include "Kit/VKLock.h"
#include "Platform/Core/Notification.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/Value.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKSqlite3;
class VKSqlite3Statement;

// Keys of a bookmark dictionary; read from the database it also has "pk".
inline constexpr const char* VKBookmarkNameKey = "name";
inline constexpr const char* VKBookmarkOffsetKey = "offset";
inline constexpr const char* VKBookmarkInsetKey = "inset";
inline constexpr const char* VKBookmarkZoomKey = "zoom";

// Posted by the folder browser just before it moves an item to the trash
// (the item's path), and after an item left or joined a folder's listing
// through it, with the folder. Viewers showing the item and the other
// screens listing the folder follow them.
struct VKResourceDeletion {
    std::string path;
};
inline constexpr core::NoticeName<VKResourceDeletion> VKFolderControllerWillDeleteResourceNotification {
    "VKFolderControllerWillDeleteResourceNotification"
};
struct VKFolderUpdate {
    std::string path;
};
inline constexpr core::NoticeName<VKFolderUpdate> VKFolderControllerCollectionDidUpdateNotification { "VKFolderControllerCollectionDidUpdateNotification" };

// The viewers' state per document (scroll offset and inset, zoom, text
// encoding, font size, page layout) and its bookmarks, in one SQLite file in
// the metadata folder. A document is known by name, size and modification
// time rather than by path, so that its settings follow it to another folder
// and a different file under the same name starts afresh; renames are
// followed through the move notifications. The database closes when the
// application ends.
//
// Every statement runs under one recursive lock: a write asks whether a row
// exists while holding it, and reordering bookmarks removes and inserts
// inside one transaction.
class VKFileSettingsManager : public core::Object {
public:
    static std::shared_ptr<VKFileSettingsManager> defaultManager();
    // Replaces the shared manager (tests); null makes a new one on next use.
    static void setDefaultManagerForTesting(std::shared_ptr<VKFileSettingsManager> manager);
    // Has the trash drop an item's rows just before it empties the item.
    static void installTrashItemRemovalHook();

    // <metadata>/TandryBookmarks.sql
    static std::string databasePath();
    std::shared_ptr<VKSqlite3> database() const;

    ~VKFileSettingsManager() override;

    // "name-size-seconds since 2001"; nothing when the item's attributes
    // cannot be read.
    static std::optional<std::string> identifierForPath(const std::string& path);

    float contentOffsetForFile(const std::string& path);
    float contentInsetForFile(const std::string& path);
    float contentZoomForFile(const std::string& path);
    float fontSizeForFile(const std::string& path);
    std::optional<std::string> textEncodingForFile(const std::string& path);
    std::optional<std::string> documentLayoutForFile(const std::string& path);
    bool hasSettingsForFile(const std::string& path);
    // Names: "id", "offset", "encoding", "fontsize", "inset", "zoom",
    // "documentLayout"; reals come back as floats. Null when nothing is stored.
    core::Value selectSetting(const std::string& setting, const std::string& path);

    bool setContentOffset(float offset, const std::string& path);
    bool setContentInset(float inset, const std::string& path);
    bool setContentZoom(float zoom, const std::string& path);
    bool setFontSize(float size, const std::string& path);
    bool setTextEncoding(const std::string& encoding, const std::string& path);
    bool setDocumentLayout(const std::string& layout, const std::string& path);
    // Makes the document's one row on its first write; unknown names are refused.
    bool insertOrUpdateSetting(const std::string& setting, const core::Value& value, const std::string& path);

    // In stored order; nothing when there are none.
    std::optional<core::Value::Array> bookmarksForFile(const std::string& path);
    bool insertBookmark(const core::Value& bookmark, const std::string& path);
    bool removeBookmark(const core::Value& bookmark, const std::string& path);
    // Reorders by rewriting every bookmark of the document, so each gets a new pk.
    bool moveBookmarkAtRow(size_t fromRow, size_t toRow, const std::string& path);

    // For a folder every file below it at any depth, in one transaction.
    bool removeBookmarksForItemAtPath(const std::string& path);
    bool removeSettingsForItemAtPath(const std::string& path);
    bool removeBookmarksAndSettingsForItemAtPath(const std::string& path);

    // Follows a rename ("OldPath", "NewPath").
    void resourceDidMove(const VKResourceMove& move);
    // Afterwards nothing is read or stored.
    void closeDatabase();
    // True once after the database was found damaged on opening (not a
    // database, failing its check, or without the tables and columns this
    // version reads): it was moved aside as "<name>.corrupt" and a fresh,
    // empty one took its place. For telling the user, once.
    bool takeResetNotice();
    void applicationWillTerminate(const core::Notification& notification);

    // "VKTandryBookmarks_….sql", not a folder.
    static bool isTandryBookmarksSQLAtPath(const std::string& path);
    // A copy of the database named by the local time; its path, or nothing.
    std::optional<std::string> exportBookmarksToDirectory(const std::string& directory);
    // Replaces every bookmark with those of an exported database, matched to
    // the files below the root by name and size.
    bool importBookmarksAtPath(const std::string& path, const std::string& documentRoot);

private:
    explicit VKFileSettingsManager(std::string databasePath);
    // The connection, with the schema's upgrades and tables applied.
    static std::shared_ptr<VKSqlite3> openDatabase(const std::string& path);
    // Whether the file is a sound database of ours; a file only busy or
    // unreadable for now counts as sound (it is not set aside).
    static bool isSound(VKSqlite3& database);
    void observeNotifications();
    bool executeDeleteStatement(VKSqlite3Statement& statement, const std::string& path);
    bool removeRowsForItemAtPath(const std::vector<std::string>& statements, const std::string& path);
    // False when the import holds no bookmarks; throws on a schema mismatch.
    bool importBookmarksLocked(VKSqlite3& source, const std::string& documentRoot);

    mutable VKRecursiveLock m_lock;
    std::shared_ptr<VKSqlite3> m_database;
    bool m_wasReset = false;
    std::vector<core::Observation> m_observations;
};

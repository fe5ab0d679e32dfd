#pragma once

#include "App/FolderBrowser/VKFolderSectionIndex.h"
#include "App/FolderBrowser/VKFolderSorting.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Observation.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class VKFileResource;
class VKFolderChangeFeed;

// The rows of one folder list: the folder's items and pending downloads in
// the user's order or, while a search has text, its matches; the map the
// letter strip jumps by; and the rows kept current as the browser, WebDAV
// clients, other programs and downloads change the folder.
//
// Three layers with their own lifetimes: the child set (the folder's items
// by name, dropped when the folder changes, hidden files are shown or
// hidden, or memory runs short), the rows (every row keeps its sort keys, so
// a rebuild reuses the keys of names it knew and sorts only the new ones)
// and the section map (built on the first jump, dropped with every change of
// the rows). A dropped child set still shows until the next rebuild, which
// reuses its rows. A download's row follows its item's path: the name the
// server gives it when its answer arrives, or a move out of the folder.
// Main thread only.
class VKFolderListing {
public:
    // What a search lists: the matches of `text` among the folder's items
    // or, with `roots`, in those trees through the quota tree.
    struct Query {
        std::string text;
        std::vector<std::string> roots;
    };

    // The folder screen, which holds the listing.
    class Host {
    public:
        virtual ~Host() = default;
        // The search while it has text; its matches are the rows.
        virtual std::optional<Query> listingQuery() const = 0;
        // Whether the list is on top of its stack: a change on disk is read
        // at once only then, else when the list shows again.
        virtual bool listingIsOnTop() const = 0;
        // The rows were built again (marks follow their items).
        virtual void listingDidRebuild() = 0;
        // The rows changed outside a batch: the strip, the summary and the
        // table follow.
        virtual void listingDidChange() = 0;
        // The folder itself may be gone (its watch ended, or a read found
        // no folder there), whether the list is on top or not.
        virtual void listingFolderMayBeGone() { }
    };

    VKFolderListing(std::shared_ptr<VKFileResource> folder, Host& host);
    ~VKFolderListing();
    VKFolderListing(const VKFolderListing&) = delete;
    VKFolderListing& operator=(const VKFolderListing&) = delete;

    // Follows the folder on disk (a local one through the directory
    // watcher, any through noteChange); again, after the folder went and
    // came back.
    void watchFolder();
    // Whether a directory watcher follows the folder (none once it went).
    bool isWatchingFolder() const;

    // What the table asks. The rows are built when missing.
    size_t count();
    std::shared_ptr<VKFileResource> resourceAt(size_t index);
    std::vector<std::shared_ptr<VKFileResource>> resources();
    // The row of the item at that path; nothing when the rows are not built
    // or it is not listed.
    std::optional<size_t> indexOf(const std::string& path) const;
    // The rows as they are (empty before the first build).
    const std::vector<VKFolderRow>& rows() const { return m_searchResults ? m_searchRows : m_children; }
    const std::vector<VKFolderRow>& builtRows();
    bool isBuilt() const { return m_built; }
    // Why the folder could not be read at the last read (a local folder's
    // EACCES, EMFILE, ENOENT...); its rows are then only pending downloads,
    // and it is stale until read again.
    const std::optional<core::Error>& readError() const { return m_readError; }
    bool showsSearchResults() const { return m_searchResults; }
    // The child set, read when dropped.
    const std::vector<VKFolderRow>& children();
    // Whether the child set holds this very resource.
    bool listsChild(const std::shared_ptr<VKFileResource>& resource) const;
    // The exact name on disk in the folder (a dangling link's too), then,
    // when asked, a listed child's name equal but for case.
    bool hasChildNamed(const std::string& name, bool ignoringCase);
    // The row of the strip's label (VKFolderSectionIndex), the map built on
    // the first jump.
    std::optional<size_t> rowForIndexLabel(std::string_view label);

    // The order in use, read from the settings when it was dropped.
    const VKFolderSorting& sorting();
    // Hidden names ("." first) are listed only with "VKShowHiddenFiles".
    static bool showsHiddenFiles();

    // What changes the rows. With `flush` (or without a child set) the
    // folder is read again, reusing the rows of names that stayed.
    void rebuild(bool flush);
    // Whether the next showing must rebuild: never built, the child set
    // dropped, the folder not read, or another order chosen.
    bool isStale();
    // The folder is read again at the next rebuild.
    void invalidate() { m_childrenValid = false; }
    // The user's order or the hidden-files setting changed (their keys);
    // the list on top follows at once.
    void settingDidChange(const std::string& key);
    // The folder itself changed: read again now when on top (`collapse`:
    // after the burst the change feed waits for), else when next shown.
    void folderDidChange(bool collapse);
    // News that the folder changed, from the app or (`burst`) the server.
    // A watched folder's changes are reported by its watcher alone: the
    // app's news only has what the watcher holds told at once, the server's
    // is left to the watcher's collapsing. An unwatched folder takes the
    // news as its change.
    void folderWasReported(bool burst);
    // An item's size changed (a path inside the folder): in size order its
    // row moves to its place. Whether the table must show the rows again.
    bool contentSizeDidChange(const std::string& path);
    // Memory runs short: everything goes until the next build.
    void drop();

    // The browser's own edits, in place: no read of the folder. Between
    // beginUpdates and endUpdates the host hears nothing (the caller
    // animates the table and updates the view).
    void beginUpdates() { m_inBatch = true; }
    void endUpdates() { m_inBatch = false; }
    void add(const std::shared_ptr<VKFileResource>& resource);
    void remove(const std::shared_ptr<VKFileResource>& resource);
    // Many at once, in one pass over the rows.
    void remove(const std::vector<std::shared_ptr<VKFileResource>>& resources);
    void replace(const std::shared_ptr<VKFileResource>& from, const std::shared_ptr<VKFileResource>& to);

    // How many times the folder was read, and the rows built (tests count
    // rebuilds by them).
    size_t directoryReadCount() const { return m_directoryReads; }
    size_t buildCount() const { return m_builds; }

private:
    bool isLocalFolder() const;
    bool isHiddenName(const std::string& name) const;
    // The child set read afresh and sorted; names known before keep their
    // rows.
    void readChildren();
    std::vector<std::shared_ptr<VKFileResource>> searchResults(const Query& query) const;
    std::optional<size_t> indexOf(const std::vector<VKFolderRow>& rows, const std::string& path) const;
    void insertChild(const std::shared_ptr<VKFileResource>& resource);
    bool removeChild(const VKFileResource& resource);
    // Room for `more` rows in the child set.
    void reserveChildren(size_t more);
    // After an edit: the host follows unless a batch holds it.
    void didEdit();
    // A download's row is keyed again when its item's path changes.
    void followDownload(const std::shared_ptr<VKFileResource>& download);
    void downloadDidMove(const std::shared_ptr<VKFileResource>& download);
    // Rebuilt when stale, then the host's view follows.
    void refresh();

    Host& m_host;
    std::shared_ptr<VKFileResource> m_folder;
    std::string m_folderPath;
    // The child set as rows sorted in m_childrenOrder (-1: unsorted).
    std::vector<VKFolderRow> m_children;
    bool m_childrenValid = false;
    std::optional<core::Error> m_readError;
    int m_childrenOrder = -1;
    // The rows while a search has text.
    std::vector<VKFolderRow> m_searchRows;
    bool m_built = false;
    bool m_searchResults = false;
    bool m_inBatch = false;
    std::optional<VKFolderSectionIndex> m_sections;
    std::optional<VKFolderSorting> m_sorting;
    size_t m_directoryReads = 0;
    size_t m_builds = 0;
    std::unique_ptr<VKFolderChangeFeed> m_changeFeed;
    // The downloads' path observations, by item (those of rows gone are
    // dropped at the next read).
    std::unordered_map<const VKFileResource*, core::Observation> m_downloadPaths;
};

#pragma once

#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKFolderSectionIndex.h"
#include "App/FolderBrowser/VKFolderSorting.h"
#include "App/FolderBrowser/VKIndexViewDataSource.h"
#include "Platform/Core/Observation.h"
#include "Platform/UI/SearchDisplayController.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace core {
class Notification;
}

class VKFileResource;
class VKFolderSearchBar;
class VKIndexView;

// The screen that lists one folder: its items and pending downloads in the
// user's order (or, while searching, the matches), the letter strip beside
// them, the summary in the toolbar, and the rows kept current as the
// browser, WebDAV clients and downloads change the folder.
//
// The model has three layers with their own lifetimes: the child set (the
// folder's items by name, dropped when the folder changes, hidden files are
// shown or hidden, or memory runs short), the rows (every row keeps its sort
// keys, so a rebuild reuses the keys of names it knew and sorts only the new
// ones) and the section map of the strip (built on the first jump, dropped
// with every change of the rows). Everything runs on the main thread.
//
// The search half lives in VKFolderControllerSearch.cpp.
class VKFolderController : public VKFolderControllerBase,
                           public VKIndexViewDataSource,
                           public ui::SearchDisplayDelegate {
public:
    // Gives the cloud screens' controller for a cloud folder, once they
    // register one; a plain folder controller until then.
    using Factory = std::function<std::shared_ptr<VKFolderController>(const std::shared_ptr<VKFileResource>&)>;
    static void setCloudFolderControllerFactory(Factory factory);

    static std::shared_ptr<VKFolderController> folderControllerWithResource(const std::shared_ptr<VKFileResource>& resource);
    static std::shared_ptr<VKFolderController> create(const std::shared_ptr<VKFileResource>& resource);
    explicit VKFolderController(std::shared_ptr<VKFileResource> resource);
    ~VKFolderController() override;

    const std::shared_ptr<VKFileResource>& resource() const { return m_resource; }
    // The folder's path, standardized.
    const std::string& folderPath() const { return m_folderPath; }
    bool isLocalFolder() const;
    int tableSectionForResources() const { return 0; }
    // "VKFolderController (0x…): ~/Documents/Folder".
    std::string description() const override;

    // The rows, built when missing.
    std::vector<std::shared_ptr<VKFileResource>> filteredResources();
    size_t rowCount();
    // Null past the end or outside the rows' section.
    std::shared_ptr<VKFileResource> resourceAtIndexPath(ui::IndexPath path);
    // The row of the resource of that path; nothing when the rows are not
    // built or it is not listed.
    std::optional<ui::IndexPath> indexPathOfResource(const VKFileResource& resource) const;
    // The child set's members (empty before the first build).
    std::vector<std::shared_ptr<VKFileResource>> childResources() const;

    // Between the two the model's edits leave the table alone (the caller
    // animates it and updates the view).
    void beginModelUpdates() { m_inModelUpdate = true; }
    void endModelUpdates() { m_inModelUpdate = false; }
    void addResourceToModel(const std::shared_ptr<VKFileResource>& resource);
    void removeResourceFromModel(const std::shared_ptr<VKFileResource>& resource);
    void replaceResourceInModel(const std::shared_ptr<VKFileResource>& from, const std::shared_ptr<VKFileResource>& to);

    // Rebuilds the rows: with `flush` (or without a child set) the folder is
    // read again, reusing the rows of names that stayed.
    void updateModelFlushingCache(bool flush);
    void updateModelAndView();
    // The strip (unless searching), the summary, and a reload of the table
    // shown.
    void updateView();
    // The order in use, read from the settings when it was dropped.
    const VKFolderSorting& sorting();

    // How many times the folder was read, and the rows built (tests count
    // rebuilds by them).
    size_t directoryReadCount() const { return m_directoryReads; }
    size_t modelBuildCount() const { return m_modelBuilds; }

    // The strip's labels per language: sections of one-character labels
    // and whether each may be compressed. Languages without their own take
    // the English ones.
    struct IndexLabels {
        std::vector<std::vector<std::string>> sections;
        std::vector<bool> canCompress;
    };
    static const IndexLabels& localizedIndexLabels(const std::string& language);
    size_t numberOfSectionsInIndexView(VKIndexView& indexView) override;
    std::vector<std::string> labelsForSection(VKIndexView& indexView, size_t section) override;
    bool canCompressLabelsInSection(VKIndexView& indexView, size_t section) override;
    // Scrolls to the row of the strip's selected label.
    void selectedIndexLabelDidChange();
    void jumpToIndexLabel(const std::string& label);

    bool shouldDisplayIndexView();
    void updateIndexView();
    void setIndexViewHidden(bool hidden, bool animated);
    gfx::Rect indexViewFrame() const;
    VKIndexView* indexView() const { return m_indexView.get(); }

    // The summary of the rows and their size, to the toolbar's label.
    void updateFolderInfo();
    const std::string& folderInfo() const { return m_folderInfo; }
    // "No Items", "1 Item, 2 KB", "3 Items Selected"…: a negative size
    // leaves the size out.
    static std::string summaryForItemCount(uint32_t count, int64_t size, bool isSelection);

    // What the controller follows.
    void collectionDidUpdate(const core::Notification& notification);
    void quotaDidUpdate(const core::Notification& notification);
    void settingDidChange(const std::string& key);
    void downloadDidStart(const core::Notification& notification);
    void downloadDidFinish(const core::Notification& notification);
    void downloadDeleted(const core::Notification& notification);
    void downloadDidFail(const core::Notification& notification);

    // The table (a VKFolderTableView) or, while a search shows its results,
    // the results table.
    ui::TableView& activeTableView();

    // Search (VKFolderControllerSearch.cpp). The bar is the list's header;
    // scope 0 searches the folder, scope 1 ("Local Files") both document
    // trees through the quota tree.
    void loadSearchDisplayController();
    void updateSearchControllerIfNecessary();
    void beginSearch();
    bool isSearching() const;
    // The bar's text while searching, else nothing.
    std::optional<std::string> searchText() const;
    int searchScope() const;
    ui::SearchDisplayController* searchDisplayController() const { return m_searchController.get(); }
    VKFolderSearchBar* searchBar() const { return m_searchBar.get(); }

    // The search display controller's delegate.
    void willBeginSearch(ui::SearchDisplayController& controller) override;
    void willEndSearch(ui::SearchDisplayController& controller) override;
    bool shouldReloadForSearchString(ui::SearchDisplayController& controller, const std::string& text) override;
    bool shouldReloadForSearchScope(ui::SearchDisplayController& controller, int scope) override;

    // The table's data source: one section of rows, plain cells with the
    // name for now.
    int numberOfSections(ui::TableView& table) override;
    int numberOfRows(ui::TableView& table, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void didReceiveMemoryWarning() override;

protected:
    // Registers the observers (once the controller is shared).
    virtual void startObserving();

private:
    // Whether this controller is on top of, or shown by, its navigation
    // stack.
    bool isTopViewController() const;
    bool isVisibleViewController() const;
    std::shared_ptr<VKFolderController> self();
    bool showsHiddenFiles() const;
    bool isHiddenName(const std::string& name) const;
    // The child set read afresh and sorted; names known before keep their
    // rows.
    void readChildren();
    std::vector<VKFolderRow>& rows();
    const std::vector<VKFolderRow>& rows() const;
    std::vector<std::shared_ptr<VKFileResource>> searchResults(const std::string& text) const;
    void insertChild(const std::shared_ptr<VKFileResource>& resource);
    bool removeChild(const VKFileResource& resource);
    // After an edit: the view follows unless the caller holds the updates.
    void modelDidChange();
    std::optional<size_t> rowIndexOfPath(const std::vector<VKFolderRow>& rows, const std::string& path) const;
    void scheduleModelUpdate(double delay);
    void cancelModelUpdate();
    void scheduleReload(double delay);
    // Whether a download's resource lies in this folder.
    bool isInThisFolder(const VKFileResource& resource) const;
    void repairNavigationStack();
    void showScopeBar(bool shown);

    std::shared_ptr<VKFileResource> m_resource;
    std::string m_folderPath;
    // The child set as rows sorted in m_childrenOrder (-1: unsorted). When
    // dropped (not valid) it still shows until the rebuild, which reuses
    // its rows.
    std::vector<VKFolderRow> m_children;
    bool m_childrenValid = false;
    int m_childrenOrder = -1;
    // The rows while a search has text.
    std::vector<VKFolderRow> m_searchRows;
    bool m_rowsBuilt = false;
    bool m_rowsAreSearchResults = false;
    // The search is ending: the rows go back to the folder's.
    bool m_endingSearch = false;
    std::optional<VKFolderSectionIndex> m_sectionIndexes;
    std::optional<VKFolderSorting> m_sorting;
    bool m_inModelUpdate = false;
    std::shared_ptr<VKIndexView> m_indexView;
    std::string m_folderInfo;
    size_t m_directoryReads = 0;
    size_t m_modelBuilds = 0;
    std::vector<core::Observation> m_observations;

    std::shared_ptr<VKFolderSearchBar> m_searchBar;
    std::shared_ptr<ui::SearchDisplayController> m_searchController;
};

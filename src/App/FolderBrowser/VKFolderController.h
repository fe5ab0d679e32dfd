#pragma once

#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKFolderSectionIndex.h"
#include "App/FolderBrowser/VKFolderSorting.h"
#include "App/FolderBrowser/VKIndexViewDataSource.h"
#include "App/FolderBrowser/VKMultiEditTableViewDelegate.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/Value.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/SearchDisplayController.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace core {
class Notification;
}

class VKFileResource;
class VKFileResourceCell;
class VKFolderSearchBar;
class VKOperationProgressView;
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
// The search half lives in VKFolderControllerSearch.cpp; the rows' side
// (opening, marking, deleting, the viewers' walks, the scroll position) in
// VKFolderControllerRows.cpp, the toolbar in VKFolderControllerToolbar.cpp.
class VKFolderController : public VKFolderControllerBase,
                           public VKIndexViewDataSource,
                           public ui::SearchDisplayDelegate,
                           public VKMultiEditTableViewDelegate,
                           public VKViewerFolderHost,
                           public ui::ActionSheetDelegate {
public:
    // Gives the cloud screens' controller for a cloud folder, once they
    // register one; a plain folder controller until then.
    using Factory = std::function<std::shared_ptr<VKFolderController>(const std::shared_ptr<VKFileResource>&)>;
    static void setCloudFolderControllerFactory(Factory factory);

    // The sheets this screen shows, their buttons, and the downloads button.
    static constexpr int DownloadsButtonTag = 1001;
    static constexpr int LongTouchActionSheetTag = 3003;
    static constexpr int UnzipActionSheetTag = 1022;
    static constexpr int DeleteFolderActionSheetTag = 1023;
    static constexpr int OpenButtonTag = 1015;
    static constexpr int RevealInFolderButtonTag = 1016;
    static constexpr const char* ShowDownloadViewControllerAction = "showDownloadViewController";
    static constexpr const char* BeginSearchAction = "beginSearch";
    static constexpr const char* CreateNewFolderAction = "createNewFolder";
    static constexpr const char* StateOffsetKey = "VKStateDictionaryFolderControllerOffsetKey";

    // The rows of downloads and uploads come from the screens that own
    // them ("VKDownloadFileResourceCell", "VKUploadFileResourceCell");
    // without a factory they are plain file rows.
    using CellFactory = std::function<std::shared_ptr<VKFileResourceCell>(const std::string& identifier)>;
    static void registerCellFactory(const std::string& identifier, CellFactory factory);
    // The downloads screen for a folder; without one the button only logs.
    using DownloadScreenFactory = std::function<std::shared_ptr<ui::ViewController>(const std::shared_ptr<VKFileResource>& folder)>;
    static void setDownloadViewControllerFactory(DownloadScreenFactory factory);
    // The offsets remembered per folder ("~/Documents/Work"), for tests.
    static std::optional<float> storedContentOffset(const std::string& folderPath);
    static void forgetStoredContentOffsets();

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

    // ---- The rows (VKFolderControllerRows.cpp) ----
    std::optional<float> heightForRow(ui::TableView& table, ui::IndexPath path) override;
    std::optional<ui::IndexPath> willSelectRow(ui::TableView& table, ui::IndexPath path) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;
    std::optional<ui::TableViewCell::EditingStyle> editingStyleForRow(ui::TableView& table, ui::IndexPath path) override;
    bool canEditRow(ui::TableView& table, ui::IndexPath path) override;
    bool supportsCommitEditing() const override { return true; }
    void commitEditing(ui::TableView& table, ui::TableViewCell::EditingStyle style, ui::IndexPath path) override;
    void willDisplayCell(ui::TableView& table, ui::TableViewCell& cell, ui::IndexPath path) override;

    // A folder pushes its screen, a zip archive offers to unzip, any other
    // file opens in its viewer.
    void openResource(const std::shared_ptr<VKFileResource>& resource);
    // Closes this screen's sheets and shows the sheet from the toolbar.
    void showActionSheet(ui::ActionSheet& sheet, const std::shared_ptr<VKFileResource>& resource);

    // Marking and editing.
    void setEditing(bool editing, bool animated) override;
    std::optional<bool> tableViewCanHandleSwipes(VKMultiEditTableView& table) override;
    void didMarkCell(ui::TableView& table, ui::IndexPath path) override;
    void didUnmarkCell(ui::TableView& table, ui::IndexPath path) override;
    void longTouchGestureForCell(ui::TableView& table, ui::TableViewCell& cell) override;
    // The marked rows, in row order; marks follow their items when the
    // rows are rebuilt, and the marks of vanished items go.
    std::vector<ui::IndexPath> markedIndexPaths() const;
    std::vector<std::shared_ptr<VKFileResource>> markedResources() const;
    uint64_t markedSize() const { return m_markedSize; }
    bool isMarked(const VKFileResource& resource) const;

    // The viewers' questions.
    std::shared_ptr<VKFileResource> folderResource() const override { return m_resource; }
    int moveResourceToTrash(const std::shared_ptr<VKFileResource>& resource) override;
    bool isViewableResource(const VKFileResource& resource) const;
    std::vector<std::shared_ptr<VKFileResource>> getAllViewableResourcesWithType(
        const std::optional<std::string>& mimePrefix) override;
    std::shared_ptr<VKFileResource> getNextViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>& resource, const std::optional<std::string>& mimePrefix) override;
    std::shared_ptr<VKFileResource> getPreviousViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>& resource, const std::optional<std::string>& mimePrefix) override;
    std::shared_ptr<VKFileResource> getNextViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>& resource, const std::vector<std::string>& ignoredIdentifiers) override;
    std::shared_ptr<VKFileResource> getPreviousViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>& resource, const std::vector<std::string>& ignoredIdentifiers) override;
    std::shared_ptr<VKFileResource> getFirstViewableResourceIgnoringUTIdentifiers(
        const std::vector<std::string>& ignoredIdentifiers) override;

    // Reveal, select and scroll, by resource.
    void revealAndHighlightResource(const std::shared_ptr<VKFileResource>& resource);
    void selectResource(const std::shared_ptr<VKFileResource>& resource, bool animated);
    void deselectResource(const std::shared_ptr<VKFileResource>& resource, bool animated);
    void scrollToResource(const std::shared_ptr<VKFileResource>& resource, ui::TableView::ScrollPosition position, bool animated);

    // The scroll position, per folder and in the saved state.
    float normalisedOffset();
    void setNormalisedOffset(float offset);
    void storeFolderContentYOffset();
    void scrollToStoredFolderContentYOffset();
    core::Value currentStateDictionary();
    void restoreStateFromDictionary(const core::Value& state);

    bool thumbnailCreationDisabled() const { return m_thumbnailCreationDisabled; }
    void setThumbnailCreationDisabled(bool disabled);

    // ---- The toolbar (VKFolderControllerToolbar.cpp) ----
    void updateToolbarItems() override;
    void updateDownloadsBadgeValue();
    void showDownloadViewController();
    void updateUploadProgressView();
    VKOperationProgressView* uploadOperationProgressView() const;

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void willRotate(ui::Orientation orientation, double duration) override;
    void didRotate(ui::Orientation fromOrientation) override;
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
    // After a rebuild the marks keep to the items still listed.
    void pruneMarks();
    uint64_t sizeForMarking(const VKFileResource& resource) const;
    void highlightResource(const std::shared_ptr<VKFileResource>& resource, int count);
    void askThumbnailForCell(ui::TableViewCell& cell);
    std::shared_ptr<VKFileResource> walkViewable(const std::shared_ptr<VKFileResource>& from, int step,
        const std::function<bool(const VKFileResource&)>& accepts);
    std::string parentNameForResult(const VKFileResource& resource) const;
    float searchBarHeight() const;

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

    // Marked items by path, with the size each added.
    std::map<std::string, uint64_t> m_marks;
    uint64_t m_markedSize = 0;
    bool m_thumbnailCreationDisabled = false;
    std::shared_ptr<ui::BarButtonItem> m_uploadItem;

    std::shared_ptr<VKFolderSearchBar> m_searchBar;
    std::shared_ptr<ui::SearchDisplayController> m_searchController;
};

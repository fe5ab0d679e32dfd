#pragma once

#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKFolderChanges.h"
#include "App/FolderBrowser/VKFolderCommands.h"
#include "App/FolderBrowser/VKFolderEditing.h"
#include "App/FolderBrowser/VKFolderLetterStrip.h"
#include "App/FolderBrowser/VKFolderListing.h"
#include "App/FolderBrowser/VKFolderRowOpener.h"
#include "App/FolderBrowser/VKFolderScrollMemory.h"
#include "App/FolderBrowser/VKFolderSearch.h"
#include "App/FolderBrowser/VKFolderToolbar.h"
#include "App/FolderBrowser/VKFolderTransferRows.h"
#include "App/FolderBrowser/VKMultiEditTableViewDelegate.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/Value.h"
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
class VKFolderSearchBar;
class VKOperationProgressView;
class VKFolderBrowserServices;

// The screen that lists one folder: its items and pending downloads in the
// user's order (or, while searching, the matches), the letter strip beside
// them, the summary in the toolbar, and the rows kept current as the
// browser, WebDAV clients and downloads change the folder.
//
// Collaborators own their parts, each with a small host interface this
// screen answers (held weakly): the rows themselves, their order, the
// strip's map and their live updates (VKFolderListing, host side in
// VKFolderController.cpp), the search (VKFolderSearch, host side in
// VKFolderControllerSearch.cpp), the marks and editing bars
// (VKFolderEditing), the toolbar (VKFolderToolbar), the transfer rows
// (VKFolderTransferRows) and the editing commands (VKFolderCommands: the
// menu, the dispatcher of every sheet and prompt, and the operations they
// start; host side in VKFolderControllerEditing.cpp), what a row opens with
// its sheets and the viewers' walks (VKFolderRowOpener), the scroll
// position kept per folder (VKFolderScrollMemory) and the following of
// outside changes to the rows (VKFolderChanges). This screen presents the
// rows: the table's side (cells, touches, marks, deleting) lives in
// VKFolderControllerRows.cpp.
class VKFolderController : public VKFolderControllerBase,
                           public VKFolderListing::Host,
                           public VKFolderChanges::Host,
                           public VKFolderRowOpener::Host,
                           public VKFolderSearch::Host,
                           public VKFolderEditing::Host,
                           public VKFolderToolbar::Host,
                           public VKFolderTransferRows::Host,
                           public VKFolderCommandsHost,
                           public VKMultiEditTableViewDelegate,
                           public VKViewerFolderHost {
public:
    // Gives the cloud screens' controller for a cloud folder, once they
    // register one; a plain folder controller until then.
    using Factory = std::function<std::shared_ptr<VKFolderController>(const std::shared_ptr<VKFileResource>&)>;
    static void setCloudFolderControllerFactory(Factory factory);

    // The editing bar's "New Folder".
    static constexpr const char* CreateNewFolderAction = "createNewFolder";
    // The downloads screen for a folder; without one the button only logs.
    using DownloadScreenFactory = std::function<std::shared_ptr<ui::ViewController>(
        const std::shared_ptr<VKFileResource>& folder, std::weak_ptr<VKFolderBrowserServices> browser)>;
    static void setDownloadViewControllerFactory(DownloadScreenFactory factory);

    // The screen of a folder (a cloud one through the factory), with the
    // services it hands on.
    static std::shared_ptr<VKFolderController> folderControllerWithResource(const std::shared_ptr<VKFileResource>& resource,
        std::weak_ptr<VKFolderBrowserServices> services);
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

    // The rows (VKFolderListing; its host is this controller, once shared).
    VKFolderListing& listing() const;
    // Null past the end or outside the rows' section.
    std::shared_ptr<VKFileResource> resourceAtIndexPath(ui::IndexPath path);
    std::optional<ui::IndexPath> indexPathOfResource(const VKFileResource& resource) const;
    void updateModelAndView();
    // The strip (unless searching), the summary, and a reload of the table
    // shown.
    void updateView();

    // The letter strip (VKFolderLetterStrip), on the table once its view
    // loaded; it shows unless editing or searching.
    VKFolderLetterStrip& letterStrip() const { return *m_strip; }
    void updateIndexView();
    void setIndexViewHidden(bool hidden, bool animated);

    // The summary of the rows and their size, to the toolbar's label.
    virtual void updateFolderInfo();
    const std::string& folderInfo() const { return m_folderInfo; }
    // "No Items", "1 Item, 2 KB", "3 Items Selected"…: a negative size
    // leaves the size out.
    static std::string summaryForItemCount(uint32_t count, int64_t size, bool isSelection);

    // What changes the rows from outside (host side in VKFolderController.cpp).
    VKFolderChanges& changes() { return m_changes; }

    // The table (a VKFolderTableView) or, while a search shows its results,
    // the results table.
    ui::TableView& activeTableView();

    // Search (VKFolderControllerSearch.cpp, the bar and its state in
    // VKFolderSearch). The bar is the list's header; scope 0 searches the
    // folder, scope 1 ("Local Files") both document trees through the quota
    // tree.
    void updateSearchControllerIfNecessary();
    void beginSearch();
    bool isSearching() const { return m_search->isSearching(); }
    // The bar's text while searching, else nothing.
    std::optional<std::string> searchText() const { return m_search->text(); }
    int searchScope() const { return m_search->scope(); }
    ui::SearchDisplayController* searchDisplayController() const { return m_search->displayController(); }
    VKFolderSearchBar* searchBar() const { return m_search->bar().get(); }

    // The table's data source: one section of rows.
    int numberOfSections(ui::TableView& table) override;
    int numberOfRows(ui::TableView& table, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;

    // ---- The rows (VKFolderControllerRows.cpp) ----
    // No heightForRow: every row has the tables' rowHeight, so that a
    // reload costs nothing per row.

    std::optional<ui::IndexPath> willSelectRow(ui::TableView& table, ui::IndexPath path) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;
    std::optional<ui::TableViewCell::EditingStyle> editingStyleForRow(ui::TableView& table, ui::IndexPath path) override;
    bool canEditRow(ui::TableView& table, ui::IndexPath path) override;
    std::optional<std::string> titleForDeleteConfirmationButton(ui::TableView& table, ui::IndexPath path) override;
    bool supportsCommitEditing() const override { return true; }
    void commitEditing(ui::TableView& table, ui::TableViewCell::EditingStyle style, ui::IndexPath path) override;
    void willDisplayCell(ui::TableView& table, ui::TableViewCell& cell, ui::IndexPath path) override;
    // A swipe's Delete: the strip steps aside while it shows, and once it
    // goes (used or not) the table marks rows again when editing begins.
    void willBeginEditingRow(ui::TableView& table, ui::IndexPath path) override;
    void didEndEditingRow(ui::TableView& table, ui::IndexPath path) override;

    // What the rows open, their sheets and the viewers' walks (its host is
    // this controller, once shared).
    VKFolderRowOpener& rowOpener() const;
    // The editing commands' way to open an item (VKFolderRowOpener::open).
    virtual void openResource(const std::shared_ptr<VKFileResource>& resource);
    // Closes this screen's sheets and shows the sheet from the toolbar.
    void showActionSheet(ui::ActionSheet& sheet, const std::shared_ptr<VKFileResource>& resource);

    // The keyboard: Ctrl+F searches; while editing, Delete asks to delete
    // the marked rows, Return marks the row the arrows reached and Escape
    // leaves editing.
    bool performKeyCommand(ui::KeyCommand command) override;

    // Marking and editing; the marks and the editing bars are the editing
    // coordinator's (VKFolderEditing).
    void setEditing(bool editing, bool animated) override;
    std::optional<bool> tableViewCanHandleSwipes(VKMultiEditTableView& table) override;
    void didMarkCell(ui::TableView& table, ui::IndexPath path) override;
    void didUnmarkCell(ui::TableView& table, ui::IndexPath path) override;
    void longTouchGestureForCell(ui::TableView& table, ui::TableViewCell& cell) override;
    // The marks (in row order, following their items through rebuilds)
    // and the editing bars.
    VKFolderEditing& editing() const;

    // The viewers' questions.
    std::shared_ptr<VKFileResource> folderResource() const override { return m_resource; }
    int moveResourceToTrash(const std::shared_ptr<VKFileResource>& resource) override;
    // The walks are the row opener's (VKFolderControllerRows.cpp).
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

    // The scroll position kept per folder; in the saved state, as the
    // fraction scrolled (applied on the next pass).
    VKFolderScrollMemory& scrollMemory() { return m_scrollMemory; }
    core::Value currentStateDictionary();
    void restoreStateFromDictionary(const core::Value& state);

    bool thumbnailCreationDisabled() const { return m_thumbnailCreationDisabled; }
    void setThumbnailCreationDisabled(bool disabled);

    // ---- Editing ----
    // The editing commands (the toolbar's and the More menu's, the sheets
    // and prompts, the long operations): their collaborator, made on first
    // use; a screen of another kind (a cloud folder's) gives its own.
    VKFolderCommands& commands() const;
    void setCommands(std::shared_ptr<VKFolderCommands> commands);
    // The editing toolbar of the commands' buttons, made once.
    void loadEditingToolbarItems();
    virtual void markAllItems();
    virtual void unmarkAllItems();
    // The exact name on disk in this folder, then (when asked) a listed
    // child's name that differs only in case.
    bool childExistsWithName(const std::string& name, bool caseInsensitiveCompare);
    // Shows the resource's row: here at once, in another folder through
    // the delegate's stack (or, while searching, by opening its parent),
    // one pass later.
    virtual void revealResource(const std::shared_ptr<VKFileResource>& resource);

    // ---- The toolbar (VKFolderToolbar; its host side in VKFolderControllerToolbar.cpp) ----
    void updateToolbarItems() override;
    void updateDownloadsBadgeValue() { m_toolbar.updateDownloadsBadge(*this); }
    void showDownloadViewController();
    void updateUploadProgressView() { m_toolbar.updateUploads(*this); }
    VKOperationProgressView* uploadOperationProgressView() const { return m_toolbar.uploadProgressView(); }

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void willRotate(ui::Orientation orientation, double duration) override;
    void didRotate(ui::Orientation fromOrientation) override;
    void didReceiveMemoryWarning() override;

protected:
    // Registers the observers (once the controller is shared).
    virtual void startObserving();
    // Kept until the controller goes.
    void addObservation(core::Observation observation) { m_observations.push_back(std::move(observation)); }

private:
    // What the collaborators ask of the screen (their Host interfaces).
    std::optional<VKFolderListing::Query> listingQuery() const override;
    bool listingIsOnTop() const override { return isTopViewController(); }
    void listingDidRebuild() override;
    void listingDidChange() override { updateView(); }
    void changesFolderChanged(bool burst) override;
    bool changesScreenIsOnTop() const override { return isTopViewController(); }
    void changesReloadTable() override;
    std::optional<std::string> changesSearchText() const override { return searchText(); }
    bool changesSearchesEverywhere() const override { return searchScope() == 1; }
    void changesSearchMayFindMore() override;
    void changesContentSizeChanged(const std::string& path) override;
    void changesSettingChanged(const std::string& key) override;
    void changesUpdateModel() override { updateModelAndView(); }
    bool openerIsSearching() const override { return isSearching(); }
    void openerPush(const std::shared_ptr<ui::ViewController>& screen, const std::optional<std::string>& backTitle) override;
    void openerDeselect() override;
    void openerShowSheet(VKActionSheet& sheet, const std::shared_ptr<VKFileResource>& resource) override;
    void openerItemVanished() override;
    std::weak_ptr<ui::ActionSheetDelegate> openerSheetDelegate() override;
    std::shared_ptr<VKViewerFolderHost> openerViewerHost() override { return self(); }
    std::weak_ptr<VKFolderBrowserServices> openerServices() const override { return services(); }
    void folderSearchWillBegin() override;
    void folderSearchWillEnd() override;
    void folderSearchChanged(double delay) override;
    void folderSearchBarResized() override;
    std::optional<gfx::Color> folderSearchBarTint() const override;
    const std::vector<VKFolderRow>& editingRows() override;
    uint64_t editingSizeOfItem(const VKFileResource& resource) const override;
    void editingMarksReset() override;
    bool editingIsActive() const override { return isEditing(); }
    ui::NavigationItem& editingNavigationItem() override { return navigationItem(); }
    const std::vector<std::shared_ptr<ui::BarButtonItem>>& editingBarItems() const override { return editingToolbarItems(); }
    ui::Toolbar* editingToolbar() const override;
    void editingMarkAll() override { markAllItems(); }
    void editingUnmarkAll() override { unmarkAllItems(); }
    void toolbarShowDownloads() override { showDownloadViewController(); }
    void toolbarBeginSearch() override { beginSearch(); }
    bool transferIsListed(const std::shared_ptr<VKFileResource>& download) override;
    void transferStarted(const std::shared_ptr<VKFileResource>& download) override { listing().add(download); }
    void transferFinished(const std::shared_ptr<VKFileResource>& download, const std::shared_ptr<VKFileResource>& file) override;
    void transferDeleted() override;
    void transferFailed(const std::shared_ptr<VKFileResource>& download) override;
    void transfersChanged() override { updateDownloadsBadgeValue(); }
    VKFolderControllerBase& commandScreen() override { return *this; }
    const std::shared_ptr<VKFileResource>& commandFolder() const override { return m_resource; }
    VKFolderEditing& commandMarks() override { return editing(); }
    ui::TableView* commandTable() override { return isViewLoaded() ? &activeTableView() : nullptr; }
    size_t commandRowCount() override { return listing().count(); }
    std::optional<ui::IndexPath> commandRowOf(const VKFileResource& resource) override { return indexPathOfResource(resource); }
    bool commandScreenIsOnTop() const override { return isTopViewController(); }
    bool commandScreenIsVisible() const override { return isVisibleViewController(); }
    bool commandNameIsTaken(const std::string& name, bool ignoringCase) override { return childExistsWithName(name, ignoringCase); }
    bool commandShowsHiddenFiles() const override { return VKFolderListing::showsHiddenFiles(); }
    void commandMarkAll(bool marked) override { marked ? markAllItems() : unmarkAllItems(); }
    void commandOpen(const std::shared_ptr<VKFileResource>& resource) override { openResource(resource); }
    void commandReveal(const std::shared_ptr<VKFileResource>& resource) override { revealResource(resource); }
    int commandMoveToTrash(const std::shared_ptr<VKFileResource>& resource) override { return moveResourceToTrash(resource); }
    void commandHoldList(bool hold) override { hold ? listing().beginUpdates() : listing().endUpdates(); }
    void commandAdded(const std::shared_ptr<VKFileResource>& resource) override { listing().add(resource); }
    void commandReplaced(const std::shared_ptr<VKFileResource>& from, const std::shared_ptr<VKFileResource>& to) override
    {
        listing().replace(from, to);
    }
    void commandRemoved(const std::vector<std::shared_ptr<VKFileResource>>& resources) override
    {
        listing().remove(resources);
    }
    void commandDeleted(const std::vector<std::shared_ptr<VKFileResource>>& resources) override;
    void commandListChanged() override;
    void commandScrollTo(const std::shared_ptr<VKFileResource>& resource, ui::TableView::ScrollPosition position) override
    {
        scrollToResource(resource, position, true);
    }
    void commandHighlight(const std::shared_ptr<VKFileResource>& resource) override { revealAndHighlightResource(resource); }

    // Whether this controller is on top of, or shown by, its navigation
    // stack.
    bool isTopViewController() const;
    bool isVisibleViewController() const;
    std::shared_ptr<VKFolderController> self();
    // Where a "Local Files" search looks: both document trees, the private
    // one unless a guest uses the program.
    std::vector<std::string> localFilesRoots() const;
    void repairNavigationStack();
    void highlightResource(const std::shared_ptr<VKFileResource>& resource, int count);
    void askThumbnailForCell(ui::TableViewCell& cell);
    std::string parentNameForResult(const VKFileResource& resource) const;
    float searchBarHeight() const;
    void storeScrollPosition();
    void scrollToStoredPosition();

    std::shared_ptr<VKFileResource> m_resource;
    std::string m_folderPath;
    // Its host is this controller, once shared (listing()).
    const std::unique_ptr<VKFolderListing> m_listing;
    // Over the listing; its host is this controller, once shared.
    const std::unique_ptr<VKFolderRowOpener> m_opener;
    VKFolderScrollMemory m_scrollMemory;
    // Its host is this controller, once shared (startObserving).
    VKFolderChanges m_changes;
    const std::shared_ptr<VKFolderLetterStrip> m_strip;
    std::string m_folderInfo;
    std::vector<core::Observation> m_observations;

    bool m_thumbnailCreationDisabled = false;
    VKFolderToolbar m_toolbar;
    VKFolderTransferRows m_transfers;

    const std::shared_ptr<VKFolderSearch> m_search = std::make_shared<VKFolderSearch>();
    // Its host is this controller, once shared (editing()).
    const std::unique_ptr<VKFolderEditing> m_editing = std::make_unique<VKFolderEditing>();
    // Made on first use with this controller as host (commands()).
    mutable std::shared_ptr<VKFolderCommands> m_commands;
};

#pragma once

#include "App/FolderBrowser/VKFolderChanges.h"
#include "App/FolderBrowser/VKFolderCommands.h"
#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKFolderEditing.h"
#include "App/FolderBrowser/VKFolderLetterStrip.h"
#include "App/FolderBrowser/VKFolderListing.h"
#include "App/FolderBrowser/VKFolderRowOpener.h"
#include "App/FolderBrowser/VKFolderRowReveal.h"
#include "App/FolderBrowser/VKFolderScrollMemory.h"
#include "App/FolderBrowser/VKFolderSearch.h"
#include "App/FolderBrowser/VKFolderTableSide.h"
#include "App/FolderBrowser/VKFolderToolbar.h"
#include "App/FolderBrowser/VKFolderTransferRows.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/Value.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKFileResource;
class VKFolderBrowserServices;
class VKFolderEditingHost;
class VKFolderNavigationHost;
class VKFolderRowsHost;
class VKFolderSearchBar;
class VKOperationProgressView;

namespace ui {
class Label;
}

// The screen that lists one folder: its items and pending downloads in the
// user's order (or, while searching, the matches), the letter strip, the
// summary in the toolbar, the rows kept current as the folder changes.
//
// A thin controller over collaborators that own their state: the rows
// (VKFolderListing), their outside changes (VKFolderChanges), the transfer
// rows (VKFolderTransferRows), the strip (VKFolderLetterStrip), the search
// (VKFolderSearch), the marks and editing bars (VKFolderEditing), the
// commands (VKFolderCommands), what a row opens (VKFolderRowOpener), the
// reveal (VKFolderRowReveal), the cells (VKFolderRowCells), the toolbar
// (VKFolderToolbar), the summary (VKFolderSummary), the scroll position
// (VKFolderScrollMemory) and the stack's walks (VKFolderStack). Three small
// hosts it holds answer them, reaching it by reference (VKFolderRowsHost,
// VKFolderEditingHost, VKFolderNavigationHost). The parts it holds as
// members (the listing, the opener, the reveal, the marks) hold their host
// by reference; the others, whose news or sheets may outlive a call, hold it
// through weak pointers that share the screen's life (shareHost); its tables
// ask VKFolderTableSide, held the same way. The screen itself is the
// viewers' folder.
class VKFolderController : public VKFolderControllerBase, public VKViewerFolderHost {
public:

    // The screen of a folder (a cloud one through the factory the cloud
    // screens register with VKFolderScreenFactories), with the services it
    // hands on.
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
    // The folder went from outside (removed, renamed, its disk gone): on the
    // next pass, unless it is there again, the stack closes back to the
    // nearest screen below whose folder still exists, with the screens and
    // viewers above it; a folder made again where it was is followed anew.
    void folderMayBeGone();
    // On top of, or shown by, its navigation stack.
    bool isTopViewController() const;
    bool isVisibleViewController() const;

    // ---- The collaborators ----
    VKFolderListing& listing() const { return *m_listing; }
    VKFolderChanges& changes() { return m_changes; }
    VKFolderLetterStrip& letterStrip() const { return *m_strip; }
    VKFolderRowOpener& rowOpener() const { return *m_opener; }
    VKFolderRowReveal& rowReveal() const { return *m_reveal; }
    VKFolderEditing& editing() const { return *m_editing; }
    // Made on first use; a screen of another kind (a cloud folder's) gives
    // its own.
    VKFolderCommands& commands() const;
    void setCommands(std::shared_ptr<VKFolderCommands> commands);
    VKFolderScrollMemory& scrollMemory() { return m_scrollMemory; }

    // ---- The rows and what shows them ----
    // Null past the end or outside the rows' section.
    std::shared_ptr<VKFileResource> resourceAtIndexPath(ui::IndexPath path);
    std::optional<ui::IndexPath> indexPathOfResource(const VKFileResource& resource) const;
    void updateModelAndView();
    // The strip (unless searching), the summary, and a reload of the table.
    void updateView();
    // Reloads the table, the keyboard's place staying on its item when rows
    // came or went around it.
    void reloadTableKeepingPlace();
    // The strip shows unless editing or searching.
    void updateIndexView();
    void setIndexViewHidden(bool hidden, bool animated);
    // The summary of the rows (VKFolderSummary), to the toolbar's label.
    virtual void updateFolderInfo();
    const std::string& folderInfo() const { return m_folderInfo; }
    // A folder that could not be read says so, with the reason, where its
    // rows would be (the table's footer); none once it reads again.
    static constexpr float UnreadableNoteHeight = 88;
    ui::Label* unreadableNote() const { return m_unreadableNote.get(); }
    // The list, or while a search shows its results, the results table.
    ui::TableView& activeTableView();
    void revealAndHighlightResource(const std::shared_ptr<VKFileResource>& resource);
    bool thumbnailCreationDisabled() const { return m_thumbnailCreationDisabled; }
    void setThumbnailCreationDisabled(bool disabled);
    // The saved state: the fraction scrolled (applied on the next pass).
    core::Value currentStateDictionary();
    void restoreStateFromDictionary(const core::Value& state);

    // ---- Search (the bar heads the list; scope 1 is "Local Files") ----
    void updateSearchControllerIfNecessary();
    void beginSearch();
    bool isSearching() const { return m_search->isSearching(); }
    // The bar's text while searching, else nothing.
    std::optional<std::string> searchText() const { return m_search->text(); }
    int searchScope() const { return m_search->scope(); }
    ui::SearchDisplayController* searchDisplayController() const { return m_search->displayController(); }
    VKFolderSearchBar* searchBar() const { return m_search->bar().get(); }
    // Both document trees, the private one unless a guest uses the program.
    std::vector<std::string> localFilesRoots() const;

    // ---- Editing (the commands' and the hosts' way back to the screen) ----
    void setEditing(bool editing, bool animated) override;
    virtual void markAllItems();
    virtual void unmarkAllItems();
    virtual void openResource(const std::shared_ptr<VKFileResource>& resource);
    // Shows the resource's row, here or in its own folder (VKFolderStack).
    virtual void revealResource(const std::shared_ptr<VKFileResource>& resource);
    // Closes this screen's sheets and shows the sheet from the toolbar.
    void showActionSheet(ui::ActionSheet& sheet, const std::shared_ptr<VKFileResource>& resource);
    // Ctrl+F searches; while editing, Delete asks to delete the marked rows
    // and Escape leaves editing; while searching, Escape ends the search.
    bool performKeyCommand(ui::KeyCommand command) override;

    // ---- The toolbar (VKFolderToolbar) ----
    void updateToolbarItems() override;
    void updateDownloadsBadgeValue() { m_toolbar.updateDownloadsBadge(*this); }
    void showDownloadViewController();
    void updateUploadProgressView() { m_toolbar.updateUploads(*this); }
    VKOperationProgressView* uploadOperationProgressView() const { return m_toolbar.uploadProgressView(); }

    // ---- The table: its data source and delegate (made with the hosts) ----
    VKFolderTableSide& tableSide() const { return *m_tableSide; }
    // A row about to show: editing, marked, the indicator unless the strip
    // shows, an image's thumbnail asked for.
    virtual void dressCell(ui::TableViewCell& cell);

    // ---- The viewers' folder (the walks are the row opener's) ----
    std::shared_ptr<VKFileResource> folderResource() const override { return m_resource; }
    int moveResourceToTrash(const std::shared_ptr<VKFileResource>& resource) override;
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
    std::shared_ptr<VKFolderController> self();
    // A host as the collaborators hold it: sharing the screen's life, so
    // that reaching it holds the screen. None while the screen is not shared.
    template<typename Host>
    std::shared_ptr<Host> shareHost(Host& host) const;
    float searchBarHeight() const;
    void updateUnreadableNote();
    void closeBackToExistingFolder();
    void storeScrollPosition();
    void scrollToStoredPosition();

    std::shared_ptr<VKFileResource> m_resource;
    std::string m_folderPath;
    // The hosts come first: the parts made below hold them by reference
    // and go before them.
    const std::unique_ptr<VKFolderRowsHost> m_rowsHost;
    const std::unique_ptr<VKFolderEditingHost> m_editingHost;
    const std::unique_ptr<VKFolderNavigationHost> m_navigationHost;
    const std::unique_ptr<VKFolderListing> m_listing;
    // Over the listing.
    const std::unique_ptr<VKFolderRowOpener> m_opener;
    const std::unique_ptr<VKFolderRowReveal> m_reveal;
    VKFolderScrollMemory m_scrollMemory;
    VKFolderChanges m_changes;
    const std::shared_ptr<VKFolderLetterStrip> m_strip;
    std::string m_folderInfo;
    std::shared_ptr<ui::Label> m_unreadableNote;
    std::vector<core::Observation> m_observations;
    bool m_thumbnailCreationDisabled = false;
    VKFolderToolbar m_toolbar;
    VKFolderTransferRows m_transfers;
    const std::shared_ptr<VKFolderSearch> m_search;
    const std::unique_ptr<VKFolderEditing> m_editing;
    mutable std::shared_ptr<VKFolderCommands> m_commands;
    // The table side, handed out by loadView.
    const std::unique_ptr<VKFolderTableSide> m_tableSide;
};

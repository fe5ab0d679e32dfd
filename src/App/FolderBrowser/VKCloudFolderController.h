#pragma once

#include "App/FolderBrowser/VKFolderController.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class VKCloudDownloadOperation;
class VKCloudManagedObject;
class VKCloudService;
class VKFileOperation;

// The screen of a folder of a cloud service's mirror: the folder list with
// its rows, sorting, marking and sheets, where whatever changes the folder
// goes through the service. Every appearance (and the program becoming
// active) asks the service for the folder's listing, with a spinner in
// place of the edit button until the answer; editing commands run as cloud
// operations (delete, rename, new folder, move and copy inside the service,
// downloads out of it, syncs for use offline) through the browser's one
// operation; while one runs, the mirror's saves reach the table row by row.
//
// The sync half (the Sync item, its confirmation sheet and the sync
// operation) lives in VKCloudFolderControllerSync.cpp.
class VKCloudFolderController : public VKFolderController {
public:
    // The spinner waits this long after a refresh request.
    static constexpr double ActivityIndicatorDelay = 0.1;
    // "Sync Failed" stays this long in the toolbar.
    static constexpr double SyncFailedDuration = 10;

    static std::shared_ptr<VKCloudFolderController> create(const std::shared_ptr<VKFileResource>& resource);
    // Makes the folder lists open cloud folders with this screen and show
    // uploads with their own rows.
    static void registerCloudScreens();

    explicit VKCloudFolderController(std::shared_ptr<VKFileResource> resource);
    ~VKCloudFolderController() override;

    // The service the folder belongs to.
    std::shared_ptr<VKCloudService> cloudService() const;
    // Runs the operation as the browser's operation and leaves editing.
    void startCloudOperation(const std::shared_ptr<VKFileOperation>& operation);

    void viewWillAppear(bool animated) override;
    void applicationDidBecomeActive();

    // The refresh: one listing request (none while one runs) and, unless a
    // cancellable operation shows, the spinner a moment later.
    void updateCloudMetadata();
    void showCloudActivityIndicator();
    // Whether the spinner stands in the edit button's place.
    bool isShowingCloudActivityIndicator() const;
    void cloudMetadataLoadDidEnd(const core::Notification& notification);
    // The summary, unless "Sync Failed" still shows.
    void updateFolderInfo() override;
    virtual void cloudFileStoreDidSave(const core::Notification& notification);
    virtual void cloudUploadDidStartOrEnd(const core::Notification& notification);
    // How many saves were applied to the table row by row (tests).
    size_t rowUpdateCount() const { return m_rowUpdates; }

    // The download's label once its items go to the downloads.
    static void cloudDownloadOperationWillStart(VKCloudDownloadOperation& operation);

    // The editing commands, on the service.
    void loadEditingToolbarItems() override;
    void showEditActionMenu(const std::shared_ptr<core::Object>& sender) override;
    void handleAction(EditAction action, const core::Value& userInfo) override;
    void clickedButton(ui::ActionSheet& sheet, int index) override;
    void createNewFolderAtPath(const std::string& path) override;
    void deleteMarkedItemsNoConfirmation() override;
    void renameResourceNoConfirmation(const std::shared_ptr<VKFileResource>& resource, const std::string& name) override;
    void copyMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& destination) override;
    void moveMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& destination) override;
    // Out of the service: the move-out sheet first.
    void moveMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& destination) override;
    void moveToCloudSheetClickedButton(VKActionSheet& sheet, int index) override;
    // Names taken in another folder of the service are the service's to
    // refuse; only local destinations (and this folder) are checked here.
    void checkForMarkedItemCollisionsAtDestination(const std::shared_ptr<VKFileResource>& destination,
        int32_t operation, const std::string& action) override;
    // Stops the item's transfers, removes it locally and, once that worked,
    // deletes it on the service.
    int moveResourceToTrash(const std::shared_ptr<VKFileResource>& resource) override;
    void willDisplayCell(ui::TableView& table, ui::TableViewCell& cell, ui::IndexPath path) override;

    // Sync (VKCloudFolderControllerSync.cpp).
    void syncFolder(const std::shared_ptr<core::Object>& sender);
    void syncFolderOrMarkedItems(const std::shared_ptr<core::Object>& sender);
    void confirmSyncAction(EditAction action);
    void startSyncForResources(const std::vector<std::shared_ptr<VKFileResource>>& resources);

protected:
    void startObserving() override;

private:
    std::shared_ptr<VKCloudFolderController> cloudSelf();
    // Whether the path lies in the folder's service (whole components).
    bool isInService(const VKFileResource& destination) const;
    void cancelCloudActivityIndicator();
    void syncSheetClickedButton(VKActionSheet& sheet, int index);
    // The mirror nodes of the rows shown.
    const std::unordered_set<const VKCloudManagedObject*>& listedNodes();

    size_t m_rowUpdates = 0;
    std::unordered_set<const VKCloudManagedObject*> m_listedNodes;
    size_t m_listedBuild = SIZE_MAX;
    size_t m_listedCount = SIZE_MAX;
    // "Sync Failed" shows in place of the summary.
    bool m_showingSyncFailure = false;
};

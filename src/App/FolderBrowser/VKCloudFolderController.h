#pragma once

#include "App/FolderBrowser/VKFolderController.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class VKCloudFolderCommands;
class VKCloudManagedObject;
class VKCloudService;
namespace store {
struct ContextSave;
}

// The screen of a folder of a cloud service's mirror: the folder list with
// its rows, sorting, marking and sheets, where whatever changes the folder
// goes through the service. Every appearance (and the program becoming
// active) asks the service for the folder's listing, with a spinner in
// place of the edit button until the answer; its commands
// (VKCloudFolderCommands) run the edits as cloud operations through the
// browser's one operation; while one runs, the mirror's saves reach the
// table row by row.
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
    // Its editing commands, on the service.
    VKCloudFolderCommands& cloudCommandsForTesting() const;

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
    virtual void cloudFileStoreDidSave(const store::ContextSave& save);
    virtual void cloudUploadDidStartOrEnd(const core::Notification& notification);
    // How many saves were applied to the table row by row (tests).
    size_t rowUpdateCount() const { return m_rowUpdates; }

    // Stops the item's transfers, removes it locally and, once that worked,
    // deletes it on the service.
    int moveResourceToTrash(const std::shared_ptr<VKFileResource>& resource) override;
    // A folder's row reads "Folder"; an upload row keeps its state.
    void dressCell(ui::TableViewCell& cell) override;

protected:
    void startObserving() override;

private:
    std::shared_ptr<VKCloudFolderController> cloudSelf();
    void cancelCloudActivityIndicator();
    // The mirror nodes of the rows shown.
    const std::unordered_set<const VKCloudManagedObject*>& listedNodes();

    size_t m_rowUpdates = 0;
    std::unordered_set<const VKCloudManagedObject*> m_listedNodes;
    size_t m_listedBuild = SIZE_MAX;
    size_t m_listedCount = SIZE_MAX;
    // "Sync Failed" shows in place of the summary.
    bool m_showingSyncFailure = false;
};

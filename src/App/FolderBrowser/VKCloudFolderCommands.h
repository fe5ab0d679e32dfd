#pragma once

#include "App/FolderBrowser/VKFolderCommands.h"

#include <memory>
#include <vector>

class VKCloudService;
class VKFileOperation;

// The editing commands of a cloud folder's screen: whatever changes the
// folder runs as a cloud operation through the browser's one operation
// (delete, rename, new folder; move and copy inside the service and
// downloads out of it, through VKCloudFolderMoveCopy), and the Sync item
// syncs the folder's files, or the marked ones, for use offline after a
// sheet that names how many files and bytes (folders are never synced).
class VKCloudFolderCommands : public VKFolderCommands {
public:
    static std::shared_ptr<VKCloudFolderCommands> create();
    VKCloudFolderCommands();

    // The listed folder's service.
    std::shared_ptr<VKCloudService> cloudService() const;
    // Whether the item lies in the folder's service (whole components).
    bool isInService(const VKFileResource& item) const;
    // Runs the operation as the browser's operation and leaves editing.
    void startCloudOperation(const std::shared_ptr<VKFileOperation>& operation);

    // Delete, Move, Copy, Sync and More.
    std::vector<VKFolderEditing::Button> toolbarButtons() override;
    // Import Media, and Rename for one item that allows it.
    void showEditActionMenu(const std::shared_ptr<core::Object>& sender) override;
    void handleAction(EditAction action, const core::Value& userInfo) override;
    void clickedButton(ui::ActionSheet& sheet, int index) override;
    using VKFolderCommands::clickedButton;
    void createNewFolderAtPath(const std::string& path) override;
    void deleteMarkedItemsNoConfirmation() override;
    void renameResourceNoConfirmation(const std::shared_ptr<VKFileResource>& resource, const std::string& name) override;

    // Sync: the folder's files, or the marked ones when there are.
    void syncFolder(const std::shared_ptr<core::Object>& sender);
    void syncFolderOrMarkedItems(const std::shared_ptr<core::Object>& sender);
    // The sheet (Sheet::SyncConfirmation) for EditAction::SyncFolder or
    // SyncMarkedItems; "There are no files to sync" when none would go.
    void confirmSyncAction(EditAction action);
    void startSyncForResources(const std::vector<std::shared_ptr<VKFileResource>>& resources);

private:
    void syncSheetClickedButton(VKActionSheet& sheet, int index);
};

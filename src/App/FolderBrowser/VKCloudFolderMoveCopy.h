#pragma once

#include "App/FolderBrowser/VKFolderMoveCopy.h"

class VKCloudFolderCommands;

// Move and copy from a cloud folder: inside the service they are the
// service's move and copy (names taken there are the service's to refuse),
// out of it downloads into a local folder, where taken names are asked
// about, and a move out asks first, since it deletes the items from the
// account.
class VKCloudFolderMoveCopy : public VKFolderMoveCopy {
public:
    explicit VKCloudFolderMoveCopy(VKCloudFolderCommands& commands);

    void moveMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& destination) override;
    void moveToCloudSheetClickedButton(VKActionSheet& sheet, int index) override;
    void checkForMarkedItemCollisionsAtDestination(const std::shared_ptr<VKFileResource>& destination,
        int32_t operation, const std::string& action) override;
    void moveMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& destination) override;
    void copyMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& destination) override;

private:
    VKCloudFolderCommands& cloud() const;
};

#include "App/FolderBrowser/VKCloudFolderMoveCopy.h"

#include "App/FolderBrowser/VKCloudFolderCommands.h"
#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "Cloud/VKCloudService.h"
#include "CloudOperations/VKCloudCopyOperation.h"
#include "CloudOperations/VKCloudDownloadOperation.h"
#include "CloudOperations/VKCloudMoveOperation.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/TableView.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"

#include <fmt/format.h>

namespace path = core::path;

VKCloudFolderMoveCopy::VKCloudFolderMoveCopy(VKCloudFolderCommands& commands)
    : VKFolderMoveCopy(commands)
{
}

VKCloudFolderCommands& VKCloudFolderMoveCopy::cloud() const
{
    return static_cast<VKCloudFolderCommands&>(commands());
}

void VKCloudFolderMoveCopy::copyMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& destination)
{
    std::shared_ptr<VKFileOperation> operation;
    if (cloud().isInService(*destination))
        operation = VKCloudCopyOperation::initWithResources(cloud().markedResources());
    else
        operation = VKCloudDownloadOperation::initWithResources(cloud().markedResources());
    operation->setDestination(destination);
    cloud().startCloudOperation(operation);
}

void VKCloudFolderMoveCopy::moveMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& destination)
{
    std::shared_ptr<VKFileOperation> operation;
    if (cloud().isInService(*destination)) {
        operation = VKCloudMoveOperation::initWithResources(cloud().markedResources());
    } else {
        auto download = VKCloudDownloadOperation::initWithResources(cloud().markedResources());
        download->setDeleteOriginals(true);
        operation = download;
    }
    operation->setDestination(destination);
    cloud().startCloudOperation(operation);
    if (auto host = cloud().host())
        if (auto* table = host->commandTable())
            table->reloadData();
}

void VKCloudFolderMoveCopy::moveMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& destination)
{
    auto host = cloud().host();
    if (!host)
        return;
    if (cloud().isInService(*destination)) {
        VKFolderMoveCopy::moveMarkedItemsToDestination(destination);
        return;
    }
    auto service = cloud().cloudService();
    auto sheet = VKActionSheet::create(
        fmt::format(fmt::runtime(core::localized("Moving will delete these items from your {} account")),
            service ? service->name() : std::string()),
        cloud().selfAs<ui::ActionSheetDelegate>(), core::localized("Cancel"), core::localized("Move"));
    vkSetTag(*sheet, VKFolderCommands::Sheet::MoveToCloud);
    sheet->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(destination)));
    cloud().showSheet(*sheet, host->commandScreen().findBarButtonItemWithAction(VKFolderCommands::MoveMarkedItemsAction));
}

void VKCloudFolderMoveCopy::moveToCloudSheetClickedButton(VKActionSheet& sheet, int index)
{
    if (index != sheet.destructiveButtonIndex())
        return;
    auto destination = sheet.userInfo().objectAs<VKFileResource>();
    if (!destination)
        return;
    // Out of the service the items land in a local folder: names there are
    // asked about first.
    checkForMarkedItemCollisionsAtDestination(destination, VKFileResourceOperationMove, MoveNoConfirmationSelector);
}

void VKCloudFolderMoveCopy::checkForMarkedItemCollisionsAtDestination(
    const std::shared_ptr<VKFileResource>& destination, int32_t operation, const std::string& action)
{
    auto host = cloud().host();
    if (!host)
        return;
    if (destination->isCloudResource()
        && path::standardizingPath(destination->path()) != path::standardizingPath(host->commandFolder()->path())) {
        commands().performActionWithDestination(action, core::Value(std::static_pointer_cast<core::Object>(destination)));
        return;
    }
    VKFolderMoveCopy::checkForMarkedItemCollisionsAtDestination(destination, operation, action);
}

// Local items copied or moved into a cloud folder: the marked items go to
// one upload operation, run as the browser's operation; the process-wide
// operation delegate hands the operation's news back here (its label once
// staging is done, and its overwrite question).

#include "App/FolderBrowser/VKFolderController.h"

#include "Shell/Interface/ViewControllerAdditions.h"
#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "Shell/VKNavigationController.h"
#include "CloudOperations/VKCloudUploadOperation.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/NavigationController.h"

#include <fmt/format.h>

std::string VKFolderController::transferLabel(size_t count, bool deleteOriginals)
{
    if (count == 1)
        return core::localized(deleteOriginals ? "Moving 1 Item" : "Copying 1 Item");
    return fmt::format(fmt::runtime(core::localized(deleteOriginals ? "Moving {} Items" : "Copying {} Items")), count);
}

void VKFolderController::uploadMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& destination,
    bool deleteOriginals)
{
    if (!destination || !destination->isCloudResource()) {
        core::log("VKFolderController: no upload to a folder outside the cloud");
        return;
    }
    auto operation = VKCloudUploadOperation::initWithResources(markedResources());
    operation->setDestination(destination);
    operation->setDeleteOriginals(deleteOriginals);
    if (startFileOperation(operation) == NoRun)
        core::log("VKFolderController: the upload did not start");
    if (isEditing())
        setEditing(false, true);
    if (deleteOriginals && isViewLoaded())
        activeTableView().reloadData();
}

void VKFolderController::cloudUploadOperationWillStart(VKCloudUploadOperation& operation)
{
    const std::string label = transferLabel(operation.resources().size(), operation.deleteOriginals());
    operation.setLabel(label);
    setOperationLabel(label);
    setIsOperationIndeterminate(false);
}

void VKFolderController::showActionSheetForCloudUploadOperation(const std::shared_ptr<ui::ActionSheet>& sheet,
    VKCloudUploadOperation& operation)
{
    auto services = VKFolderBrowserServices::current();
    auto* navigation = services ? services->browserNavigation() : nullptr;
    ui::ViewController* top = navigation ? navigation->topViewController() : nullptr;
    if (!sheet || !top) {
        core::log("VKFolderController: no screen to ask about the upload on");
        return;
    }
    // The item the command came from anchors the sheet on a tablet; without
    // it the sheet shows in the top screen.
    std::shared_ptr<ui::BarButtonItem> item;
    if (auto* folder = dynamic_cast<VKFolderControllerBase*>(top))
        item = folder->findBarButtonItemWithAction(operation.deleteOriginals() ? MoveMarkedItemsAction
                                                                               : CopyMarkedItemsAction);
    ::showActionSheet(*top, *sheet, item);
}

// Moving and copying the marked items. Until they are built the commands
// only say that they were asked for.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/Shell/Interface/VKActionSheet.h"
#include "Platform/Core/Log.h"

void VKFolderController::moveMarkedItems(const std::shared_ptr<core::Object>&)
{
    core::log("VKFolderController: moving items is not available");
}

void VKFolderController::copyMarkedItems(const std::shared_ptr<core::Object>&)
{
    core::log("VKFolderController: copying items is not available");
}

void VKFolderController::performActionWithDestination(const std::string& action, const core::Value&)
{
    core::log("VKFolderController: no action {} with a destination", action);
}

void VKFolderController::moveToCloudSheetClickedButton(VKActionSheet&, int)
{
    core::log("VKFolderController: moving items to a cloud folder is not available");
}

// Compressing the marked items and expanding archives. Until they are built
// the commands only say that they were asked for.

#include "App/FolderBrowser/VKFolderController.h"

#include "FileModel/VKFileResource.h"
#include "Platform/Core/Log.h"

void VKFolderController::zipMarkedItems(const std::shared_ptr<core::Object>&)
{
    core::log("VKFolderController: compressing items is not available");
}

void VKFolderController::unzipMarkedItem(const std::shared_ptr<core::Object>&)
{
    core::log("VKFolderController: expanding archives is not available");
}

void VKFolderController::unzipResource(const std::shared_ptr<VKFileResource>& resource, const std::optional<std::string>&)
{
    core::log("VKFolderController: expanding {} is not available", resource ? resource->name() : std::string("nothing"));
}

void VKFolderController::unzipPasswordPromptClickedButton(VKPopupAlert&, int)
{
    core::log("VKFolderController: expanding archives is not available");
}

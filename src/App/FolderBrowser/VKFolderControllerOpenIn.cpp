// Handing the marked item to another application. Until it is built the
// command only says that it was asked for, and no item offers it.

#include "App/FolderBrowser/VKFolderController.h"

#include "Platform/Core/Log.h"
#include "Platform/UI/DocumentInteractionController.h"

void VKFolderController::openIn(const std::shared_ptr<core::Object>&)
{
    core::log("VKFolderController: opening in another application is not available");
}

std::shared_ptr<ui::DocumentInteractionController> VKFolderController::openInControllerWithResource(
    const std::shared_ptr<VKFileResource>&)
{
    return nullptr;
}

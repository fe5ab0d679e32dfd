// Importing pictures and movies into the folder, and saving the marked ones
// to the photo album. Until they are built the commands only say that they
// were asked for.

#include "App/FolderBrowser/VKFolderController.h"

#include "Platform/Core/Log.h"

void VKFolderController::importMedia(const std::shared_ptr<core::Object>&)
{
    core::log("VKFolderController: importing media is not available");
}

void VKFolderController::copyMarkedItemsToSavedPhotosAlbum(const std::shared_ptr<core::Object>&)
{
    core::log("VKFolderController: saving to the photo album is not available");
}

// Handing the marked file to another application through the toolkit's
// open-in menu, shown from the More item. One controller is kept for the
// last file offered: the same file keeps it, another file gets a new one
// and the old one goes at the end of the pass (its menu may be closing).

#include "App/FolderBrowser/VKFolderController.h"

#include "Shell/Interface/ViewControllerAdditions.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/DocumentInteractionController.h"

void VKFolderController::openIn(const std::shared_ptr<core::Object>&)
{
    dismissActiveActionSheet(*this);
    if (!m_currentOpenInController)
        return;
    auto item = findBarButtonItemWithAction(ShowEditActionMenuAction);
    if (item && item->view())
        m_currentOpenInController->presentOpenInMenu(*item, true);
}

std::shared_ptr<ui::DocumentInteractionController> VKFolderController::openInControllerWithResource(
    const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource)
        return nullptr;
    core::URL url = resource->fileURL();
    if (!m_currentOpenInController || m_currentOpenInController->url().absoluteString() != url.absoluteString()) {
        if (auto old = std::move(m_currentOpenInController))
            core::RunLoop::main().performAfter(0, [old] { });
        auto controller = ui::DocumentInteractionController::create(url);
        if (controller->menuApplications().empty())
            return nullptr;
        m_currentOpenInController = controller;
    }
    return m_currentOpenInController;
}

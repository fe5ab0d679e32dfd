// The folder screen's side of its toolbar (VKFolderToolbar lays it out):
// the downloads screen its button shows, and what the bar tells the screen.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "Platform/Core/Log.h"

#include <mutex>

namespace {

std::mutex& downloadScreenMutex()
{
    static std::mutex mutex;
    return mutex;
}

VKFolderController::DownloadScreenFactory& downloadScreenFactory()
{
    static VKFolderController::DownloadScreenFactory factory;
    return factory;
}

} // namespace

void VKFolderController::setDownloadViewControllerFactory(DownloadScreenFactory factory)
{
    std::lock_guard lock(downloadScreenMutex());
    downloadScreenFactory() = std::move(factory);
}

void VKFolderController::updateToolbarItems()
{
    VKFolderControllerBase::updateToolbarItems();
    m_toolbar.update(*this, std::static_pointer_cast<VKFolderToolbar::Host>(self()), isGuest());
    updateFolderInfo();
    barItems().updateAppearance();
    updateDownloadsBadgeValue();
}

void VKFolderController::showDownloadViewController()
{
    DownloadScreenFactory factory;
    {
        std::lock_guard lock(downloadScreenMutex());
        factory = downloadScreenFactory();
    }
    auto screen = factory ? factory(m_resource, services()) : nullptr;
    if (!screen) {
        core::log("VKFolderController: no downloads screen to show");
        return;
    }
    presentModalViewController(screen, true);
}

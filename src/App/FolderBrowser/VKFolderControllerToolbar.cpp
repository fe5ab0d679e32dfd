// The folder screen's toolbar: the server and settings at the left, the
// operation, the uploads or the folder's summary in the middle, the
// downloads (with their count) and search buttons at the right.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "App/FolderBrowser/VKOperationProgressView.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKBadgedButton.h"
#include "Shell/VKAppDelegateHooks.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKDownloadHooks.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Toolbar.h"

#include <fmt/format.h>

#include <algorithm>
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

int activeUploads()
{
    auto cloud = VKCloudHooks::current();
    return cloud ? cloud->activeUploadCount() : 0;
}

// On a phone the progress bar beside four buttons is a few points too
// wide: it gives up what the bar lacks, so that the search button stays
// whole at the edge.
void fitCentreItem(const std::vector<std::shared_ptr<ui::BarButtonItem>>& items,
    const std::shared_ptr<ui::BarButtonItem>& centre, float barWidth)
{
    auto* progress = centre ? dynamic_cast<VKOperationProgressView*>(centre->customView().get()) : nullptr;
    if (!progress || barWidth <= 0)
        return;
    float others = 0;
    int shown = 0;
    for (const auto& item : items) {
        if (item->isFlexibleSpace())
            continue;
        ++shown;
        if (item != centre)
            others += item->customView() ? item->customView()->frame().width() : 44;
    }
    gfx::Size standard = VKOperationProgressView::standardSizeForToolbarItem();
    float preferred = std::max(standard.width,
        progress->sizeThatFits({ VKFolderControllerBase::MaximumProgressItemWidth, standard.height }).width);
    float room = barWidth - 2 * ui::Toolbar::Edge - float(shown - 1) * ui::Toolbar::Gap - others;
    gfx::Rect frame = progress->frame();
    progress->setFrame({ frame.x(), frame.y(), std::max(80.0f, std::min(preferred, room)), frame.height() });
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
    auto hooks = VKAppDelegateHooks::current();
    bool guest = hooks && hooks->isGuestMode();
    std::shared_ptr<ui::BarButtonItem> centre;
    if (isOperationInProgress()) {
        centre = operationProgressViewBarButtonItem();
    } else if (activeUploads() > 0) {
        if (!m_uploadItem) {
            gfx::Size size = VKOperationProgressView::standardSizeForToolbarItem();
            auto view = VKOperationProgressView::create(1, { 0, 0, size.width, size.height });
            applyAppearance(view->label());
            m_uploadItem = barButtonItemWithCustomView(view);
            if (auto cloud = VKCloudHooks::current()) {
                std::weak_ptr<VKFolderController> weak = self();
                m_uploadProgressObservation = cloud->observeTotalUploadProgress([weak](float progress) {
                    auto controller = weak.lock();
                    if (auto* view = controller ? controller->uploadOperationProgressView() : nullptr)
                        view->setProgress(progress);
                });
            }
        }
        centre = m_uploadItem;
    } else {
        centre = folderInfoBarButtonItem();
    }

    std::weak_ptr<VKFolderController> weak = self();
    std::vector<std::shared_ptr<ui::BarButtonItem>> items { serverStateBarButtonItem() };
    if (!guest)
        items.push_back(settingsBarButtonItem());
    items.push_back(flexibleSpaceBarButtonItem());
    items.push_back(centre);
    items.push_back(flexibleSpaceBarButtonItem());
    if (!guest) {
        // A badged button with the glyph centred, as the search button's.
        float height = navigationController() ? navigationController()->toolbar().frame().height() : 44;
        auto downloads = VKBadgedButton::create({ 0, 0, 44, height > 0 ? height : 44 });
        vkSetTag(*downloads, ToolbarButton::Downloads);
        downloads->setImage(ui::Images::imageNamed("VKButtonBarDownload.png"), ui::Control::Normal);
        downloads->setShowsTouchWhenHighlighted(true);
        downloads->addTarget(nullptr, ShowDownloadViewControllerAction, [weak](ui::Control&, const ui::Event*) {
            if (auto controller = weak.lock())
                controller->showDownloadViewController();
        }, ui::Control::TouchUpInside);
        items.push_back(barButtonItemWithCustomView(downloads));
    }
    auto search = ui::Button::create(ui::Button::Type::Custom, { 0, 0, 44, 44 });
    search->setImage(ui::Images::imageNamed("VKButtonBarSearch.png"), ui::Control::Normal);
    search->setShowsTouchWhenHighlighted(true);
    search->addTarget(nullptr, BeginSearchAction, [weak](ui::Control&, const ui::Event*) {
        if (auto controller = weak.lock())
            controller->beginSearch();
    }, ui::Control::TouchUpInside);
    items.push_back(barButtonItemWithCustomView(search));
    fitCentreItem(items, centre, navigationController() ? navigationController()->toolbar().bounds().width() : 0);
    auto last = items.back();
    setToolbarItems(std::move(items));
    // Whatever the bar's own spacing adds, the last button ends inside it.
    auto* progress = centre ? dynamic_cast<VKOperationProgressView*>(centre->customView().get()) : nullptr;
    if (progress && navigationController() && last->customView()) {
        ui::Toolbar& bar = navigationController()->toolbar();
        bar.layoutIfNeeded();
        float overflow = last->customView()->frame().maxX() - (bar.bounds().width() - ui::Toolbar::Edge);
        if (overflow > 0) {
            gfx::Rect frame = progress->frame();
            progress->setFrame({ frame.x(), frame.y(), std::max(80.0f, frame.width() - overflow), frame.height() });
            bar.setNeedsLayout();
            bar.layoutIfNeeded();
        }
    }

    if (centre == m_uploadItem)
        updateUploadProgressView();
    updateFolderInfo();
    updateToolbarItemsAppearanceForCurrentOrientation();
    updateDownloadsBadgeValue();
}

VKOperationProgressView* VKFolderController::uploadOperationProgressView() const
{
    return m_uploadItem ? dynamic_cast<VKOperationProgressView*>(m_uploadItem->customView().get()) : nullptr;
}

void VKFolderController::updateUploadProgressView()
{
    int count = activeUploads();
    if (count <= 0) {
        if (m_uploadItem) {
            m_uploadItem.reset();
            m_uploadProgressObservation = {};
            updateToolbarItems();
        }
        return;
    }
    if (!m_uploadItem) {
        updateToolbarItems();
        return;
    }
    if (auto* view = uploadOperationProgressView()) {
        view->setText(fmt::format(fmt::runtime(core::localized(count == 1 ? "Uploading {} Item" : "Uploading {} Items")), count));
        view->setProgress(VKCloudHooks::current()->totalUploadProgress());
    }
}

void VKFolderController::updateDownloadsBadgeValue()
{
    auto item = findBarButtonItemWithAction(ShowDownloadViewControllerAction);
    auto* button = item ? dynamic_cast<VKBadgedButton*>(item->customView().get()) : nullptr;
    if (!button)
        return;
    auto downloads = VKDownloadHooks::current();
    int count = downloads ? downloads->webDownloadCount() : 0;
    if (count > 0)
        button->setBadgeValue(fmt::format("{}", count));
    else
        button->setBadgeValue(std::nullopt);
}

void VKFolderController::showDownloadViewController()
{
    DownloadScreenFactory factory;
    {
        std::lock_guard lock(downloadScreenMutex());
        factory = downloadScreenFactory();
    }
    auto screen = factory ? factory(m_resource) : nullptr;
    if (!screen) {
        core::log("VKFolderController: no downloads screen to show");
        return;
    }
    presentModalViewController(screen, true);
}

#include "App/FolderBrowser/VKFolderToolbar.h"

#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKOperationProgressView.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKBadgedButton.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKDownloadHooks.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Toolbar.h"

#include <fmt/format.h>

#include <algorithm>

namespace {

int activeUploads()
{
    auto cloud = VKCloudHooks::current();
    return cloud ? cloud->activeUploadCount() : 0;
}

VKOperationProgressView* progressViewOf(const std::shared_ptr<ui::BarButtonItem>& item)
{
    return item ? dynamic_cast<VKOperationProgressView*>(item->customView().get()) : nullptr;
}

// On a phone the progress bar beside four buttons is a few points too
// wide: it gives up what the bar lacks, so that the search button stays
// whole at the edge.
void fitCentreItem(const std::vector<std::shared_ptr<ui::BarButtonItem>>& items,
    const std::shared_ptr<ui::BarButtonItem>& centre, float barWidth)
{
    auto* progress = progressViewOf(centre);
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

// Whatever the bar's own spacing adds, the last button ends inside it.
void keepLastItemInside(ui::Toolbar& bar, VKOperationProgressView& progress, ui::BarButtonItem& last)
{
    if (!last.customView())
        return;
    bar.layoutIfNeeded();
    float overflow = last.customView()->frame().maxX() - (bar.bounds().width() - ui::Toolbar::Edge);
    if (overflow <= 0)
        return;
    gfx::Rect frame = progress.frame();
    progress.setFrame({ frame.x(), frame.y(), std::max(80.0f, frame.width() - overflow), frame.height() });
    bar.setNeedsLayout();
    bar.layoutIfNeeded();
}

} // namespace

std::shared_ptr<ui::BarButtonItem> VKFolderToolbar::uploadItem(VKFolderControllerBase& screen)
{
    if (m_uploadItem)
        return m_uploadItem;
    gfx::Size size = VKOperationProgressView::standardSizeForToolbarItem();
    auto view = VKOperationProgressView::create(1, { 0, 0, size.width, size.height });
    screen.barItems().applyAppearance(view->label());
    m_uploadItem = barButtonItemWithCustomView(view);
    if (auto cloud = VKCloudHooks::current()) {
        std::weak_ptr<ui::BarButtonItem> weak = m_uploadItem;
        m_uploadProgressObservation = cloud->observeTotalUploadProgress([weak](float progress) {
            if (auto* view = progressViewOf(weak.lock()))
                view->setProgress(progress);
        });
    }
    return m_uploadItem;
}

void VKFolderToolbar::update(VKFolderControllerBase& screen, std::weak_ptr<Host> host, bool guest)
{
    std::shared_ptr<ui::BarButtonItem> centre = VKBrowserOperation::isOperationInProgress()
        ? screen.barItems().progressItem()
        : activeUploads() > 0 ? uploadItem(screen)
                              : screen.barItems().folderInfoItem();
    auto* navigation = screen.navigationController();
    std::vector<std::shared_ptr<ui::BarButtonItem>> items { screen.barItems().serverStateItem() };
    if (!guest)
        items.push_back(screen.barItems().settingsItem());
    items.push_back(flexibleSpaceBarButtonItem());
    items.push_back(centre);
    items.push_back(flexibleSpaceBarButtonItem());
    if (!guest) {
        // A badged button with the glyph centred, as the search button's.
        float height = navigation ? navigation->toolbar().frame().height() : 44;
        auto downloads = VKBadgedButton::create({ 0, 0, 44, height > 0 ? height : 44 });
        vkSetTag(*downloads, Button::Downloads);
        downloads->setImage(ui::Images::imageNamed("VKButtonBarDownload.png"), ui::Control::Normal);
        downloads->setShowsTouchWhenHighlighted(true);
        downloads->setToolTip(core::localized("Downloads"));
        downloads->addTarget(nullptr, ShowDownloadsAction, [host](ui::Control&, const ui::Event*) {
            if (auto screen = host.lock())
                screen->toolbarShowDownloads();
        }, ui::Control::TouchUpInside);
        items.push_back(barButtonItemWithCustomView(downloads));
    }
    auto search = ui::Button::create(ui::Button::Type::Custom, { 0, 0, 44, 44 });
    search->setImage(ui::Images::imageNamed("VKButtonBarSearch.png"), ui::Control::Normal);
    search->setShowsTouchWhenHighlighted(true);
    search->setToolTip(core::localized("Search"));
    search->addTarget(nullptr, BeginSearchAction, [host](ui::Control&, const ui::Event*) {
        if (auto screen = host.lock())
            screen->toolbarBeginSearch();
    }, ui::Control::TouchUpInside);
    items.push_back(barButtonItemWithCustomView(search));
    fitCentreItem(items, centre, navigation ? navigation->toolbar().bounds().width() : 0);
    auto last = items.back();
    screen.setToolbarItems(std::move(items));
    if (auto* progress = progressViewOf(centre); progress && navigation)
        keepLastItemInside(navigation->toolbar(), *progress, *last);
    if (centre == m_uploadItem)
        updateUploads(screen);
}

VKOperationProgressView* VKFolderToolbar::uploadProgressView() const
{
    return progressViewOf(m_uploadItem);
}

void VKFolderToolbar::updateUploads(VKFolderControllerBase& screen)
{
    int count = activeUploads();
    if (count <= 0) {
        if (m_uploadItem) {
            m_uploadItem.reset();
            m_uploadProgressObservation = {};
            screen.updateToolbarItems();
        }
        return;
    }
    if (!m_uploadItem) {
        screen.updateToolbarItems();
        return;
    }
    if (auto* view = uploadProgressView()) {
        view->setText(fmt::format(fmt::runtime(core::localized(count == 1 ? "Uploading {} Item" : "Uploading {} Items")), count));
        view->setProgress(VKCloudHooks::current()->totalUploadProgress());
    }
}

void VKFolderToolbar::updateDownloadsBadge(const VKFolderControllerBase& screen) const
{
    auto item = screen.findBarButtonItemWithAction(ShowDownloadsAction);
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

void VKFolderToolbar::observeUploads(std::weak_ptr<Host> host)
{
    auto& center = core::NotificationCenter::defaultCenter();
    for (const char* name : { VKCloudUploadManagerUploadDidStartNotification, VKCloudUploadManagerUploadDidEndNotification }) {
        m_uploadObservations.push_back(center.observe(name, nullptr, [host](const core::Notification&) {
            core::RunLoop::main().post([host] {
                if (auto shared = host.lock())
                    shared->toolbarUploadsChanged();
            });
        }));
    }
}

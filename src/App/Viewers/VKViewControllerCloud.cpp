// A viewer of a file in a cloud mirror: the stored copy shows at once when
// it is whole; otherwise the file is fetched through its service while the
// placeholder shows a spinner, then "Loading <size>" with the fetch's bar
// and Cancel, and the content fades in over them when the file has arrived.

#include "App/Viewers/VKViewController.h"

#include "Shell/Interface/VKPlaceholderView.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Formatters.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/ViewAnimation.h"

#include <fmt/format.h>

namespace {

std::shared_ptr<VKCloudService> serviceOf(const VKFileResource& resource)
{
    auto manager = VKCloudServicesManager::sharedManager();
    return manager ? manager->cloudServiceForResource(resource) : nullptr;
}

} // namespace

bool VKViewController::isNotificationForResource(const core::Notification& notification) const
{
    if (!m_resource)
        return false;
    const core::Value& info = notification.userInfo();
    if (!info.isDictionary())
        return false;
    const core::Value& path = info[VKCloudServiceLocalPathKey];
    if (!path.isString() || path.string().empty())
        return false;
    return path.string() == m_resource->path();
}

void VKViewController::startCloudFileFetch()
{
    auto cloud = std::dynamic_pointer_cast<VKCloudFileResource>(m_resource);
    // The size alone would take a file never fetched for a whole empty one:
    // without a copy the local size is 0 too.
    if (!cloud || (cloud->isStoredLocally() && cloud->localSize() == cloud->size() && !cloud->isPackage())) {
        setContentLoading(true);
        loadContentView();
        return;
    }
    auto service = serviceOf(*cloud);
    if (!service) {
        core::log("Warning, no cloud service for: {}", cloud->path());
        showCloudDownloadFailed();
        return;
    }
    if (service->isFetchingItemAtPath(cloud->cloudPath())) {
        showCloudDownloadProgressView();
        return;
    }
    startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::White, 0.2);
    service->fetchResource(cloud, nullptr);
}

void VKViewController::showCloudCancelButton()
{
    auto* placeholder = placeholderView();
    if (!placeholder->isCancelButtonHidden())
        return;
    placeholder->setCancelButtonHidden(false);
    std::weak_ptr<VKViewController> weak = sharedAs<VKViewController>();
    placeholder->cancelButton()->addTarget(shared_from_this(), "cancelCloudFileFetch:",
        [weak](ui::Control& sender, const ui::Event*) {
            if (auto self = weak.lock())
                self->cancelCloudFileFetch(sender.shared_from_this());
        },
        ui::Control::TouchUpInside);
}

void VKViewController::showCloudDownloadProgressView()
{
    stopActivityIndicator();
    if (!isViewLoaded())
        return;
    auto* placeholder = placeholderView();
    placeholder->setLabelHidden(false);
    placeholder->setProgressViewHidden(false);
    showCloudCancelButton();
    const uint64_t size = m_resource ? m_resource->size() : 0;
    placeholder->label()->setText(fmt::format(fmt::runtime(core::localized("Loading {}")),
        VKBytesFormatter::sharedFormatter().formatBytesAsString(size)));
    auto cloud = std::dynamic_pointer_cast<VKCloudFileResource>(m_resource);
    placeholder->progressView()->setProgress(cloud ? cloud->fetchProgress() : 0.0f);
}

void VKViewController::hideCloudDownloadProgressView()
{
    if (!isViewLoaded())
        return;
    auto* placeholder = placeholderView();
    placeholder->setProgressViewHidden(true);
    placeholder->setCancelButtonHidden(true);
    if (m_contentView)
        placeholder->setLabelHidden(true);
}

void VKViewController::cancelCloudFileFetch(const std::shared_ptr<core::Object>& sender)
{
    (void)sender;
    auto cloud = std::dynamic_pointer_cast<VKCloudFileResource>(m_resource);
    if (!cloud)
        return;
    if (auto service = serviceOf(*cloud))
        service->cancelFetchOfItemAtPath(cloud->cloudPath());
    // Only this viewer leaves, not a screen pushed over it.
    auto* navigation = navigationController();
    if (navigation && navigation->topViewController() == this)
        navigation->popViewController(true);
}

void VKViewController::cloudFileFetchWillStartDownload(const core::Notification& notification)
{
    if (isNotificationForResource(notification))
        showCloudDownloadProgressView();
}

void VKViewController::cloudFileFetchDidComplete(const core::Notification& notification)
{
    if (!isNotificationForResource(notification))
        return;
    stopActivityIndicator();
    if (m_contentView || !isViewLoaded())
        return;
    const bool progressShowing = !placeholderView()->isProgressViewHidden();
    setContentLoading(true);
    loadContentView();
    if (!progressShowing)
        return;
    if (!m_contentView) {
        // The viewer hands its content over later, with its own spinner.
        hideCloudDownloadProgressView();
        return;
    }
    m_contentView->setAlpha(0);
    std::weak_ptr<VKViewController> weak = sharedAs<VKViewController>();
    ui::ViewAnimation::begin("loadContentView");
    ui::ViewAnimation::setDidStopHandler([weak](const std::string&, bool finished, const core::Value&) {
        if (auto self = weak.lock())
            self->cloudContentViewLoadAnimationDidStop(finished);
    });
    m_contentView->setAlpha(1);
    ui::ViewAnimation::commit();
}

void VKViewController::cloudContentViewLoadAnimationDidStop(bool finished)
{
    (void)finished;
    hideCloudDownloadProgressView();
}

void VKViewController::cloudFileFetchFailed(const core::Notification& notification)
{
    if (!isNotificationForResource(notification))
        return;
    showCloudDownloadFailed();
}

void VKViewController::showCloudDownloadFailed()
{
    stopActivityIndicator();
    if (!isViewLoaded())
        return;
    auto* placeholder = placeholderView();
    placeholder->setLabelHidden(false);
    placeholder->label()->setText(core::localized("Download Failed"));
    placeholder->setProgressViewHidden(true);
    showCloudCancelButton();
}

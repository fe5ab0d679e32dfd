// A viewer of a file in a cloud mirror: the stored copy shows at once when
// it is whole; otherwise the file is fetched through its service while the
// placeholder shows a spinner, then "Loading <size>" with the fetch's bar
// and Cancel, and the content fades in over them when the file has arrived.

#include "App/Viewers/VKViewerCloudFetch.h"

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

bool VKViewerCloudFetch::isForResource(const core::Notification& notification) const
{
    const auto& resource = m_viewer.resource();
    if (!resource)
        return false;
    const std::string& path = cloudServiceNews(notification).localPath;
    return !path.empty() && path == resource->path();
}

void VKViewerCloudFetch::observeProgress()
{
    m_progressObservation = {};
    auto cloud = std::dynamic_pointer_cast<VKCloudFileResource>(m_viewer.resource());
    if (!cloud)
        return;
    std::weak_ptr<VKViewController> weak = m_viewer.sharedAs<VKViewController>();
    std::weak_ptr<VKCloudFileResource> weakResource = cloud;
    m_progressObservation = cloud->observeValueForKey("fetchProgress", [weak, weakResource] {
        auto self = weak.lock();
        auto resource = weakResource.lock();
        if (!self || !resource || !self->isViewLoaded())
            return;
        if (auto* bar = self->placeholderView()->progressView())
            bar->setProgress(resource->fetchProgress());
    });
}

void VKViewerCloudFetch::start()
{
    auto cloud = std::dynamic_pointer_cast<VKCloudFileResource>(m_viewer.resource());
    // The size alone would take a file never fetched for a whole empty one:
    // without a copy the local size is 0 too.
    if (!cloud || (cloud->isStoredLocally() && cloud->localSize() == cloud->size() && !cloud->isPackage())) {
        m_viewer.setContentLoading(true);
        m_viewer.loadContentView();
        return;
    }
    auto service = serviceOf(*cloud);
    if (!service) {
        core::log("Warning, no cloud service for: {}", cloud->path());
        showFailed();
        return;
    }
    if (service->isFetchingItemAtPath(cloud->cloudPath())) {
        m_viewer.showCloudDownloadProgressView();
        return;
    }
    m_viewer.startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::White, 0.2);
    service->fetchResource(cloud, nullptr);
}

void VKViewerCloudFetch::showCancelButton()
{
    auto* placeholder = m_viewer.placeholderView();
    if (!placeholder->isCancelButtonHidden())
        return;
    placeholder->setCancelButtonHidden(false);
    std::weak_ptr<VKViewController> weak = m_viewer.sharedAs<VKViewController>();
    placeholder->cancelButton()->addTarget(m_viewer.shared_from_this(), "cancelCloudFileFetch:",
        [weak](ui::Control& sender, const ui::Event*) {
            if (auto self = weak.lock())
                self->cancelCloudFileFetch(sender.shared_from_this());
        },
        ui::Control::TouchUpInside);
}

void VKViewerCloudFetch::showProgress()
{
    m_viewer.stopActivityIndicator();
    if (!m_viewer.isViewLoaded())
        return;
    auto* placeholder = m_viewer.placeholderView();
    placeholder->setLabelHidden(false);
    placeholder->setProgressViewHidden(false);
    showCancelButton();
    const auto& resource = m_viewer.resource();
    const uint64_t size = resource ? resource->size() : 0;
    placeholder->label()->setText(fmt::format(fmt::runtime(core::localized("Loading {}")),
        VKBytesFormatter::sharedFormatter().formatBytesAsString(size)));
    auto cloud = std::dynamic_pointer_cast<VKCloudFileResource>(resource);
    placeholder->progressView()->setProgress(cloud ? cloud->fetchProgress() : 0.0f);
}

void VKViewerCloudFetch::hideProgress()
{
    if (!m_viewer.isViewLoaded())
        return;
    auto* placeholder = m_viewer.placeholderView();
    placeholder->setProgressViewHidden(true);
    placeholder->setCancelButtonHidden(true);
    if (m_viewer.contentView())
        placeholder->setLabelHidden(true);
}

void VKViewerCloudFetch::cancel()
{
    auto cloud = std::dynamic_pointer_cast<VKCloudFileResource>(m_viewer.resource());
    if (!cloud)
        return;
    if (auto service = serviceOf(*cloud))
        service->cancelFetchOfItemAtPath(cloud->cloudPath());
    // Only this viewer leaves, not a screen pushed over it.
    auto* navigation = m_viewer.navigationController();
    if (navigation && navigation->topViewController() == &m_viewer)
        navigation->popViewController(true);
}

void VKViewerCloudFetch::willStartDownload(const core::Notification& notification)
{
    if (isForResource(notification))
        m_viewer.showCloudDownloadProgressView();
}

void VKViewerCloudFetch::didComplete(const core::Notification& notification)
{
    if (!isForResource(notification))
        return;
    m_viewer.stopActivityIndicator();
    if (m_viewer.contentView() || !m_viewer.isViewLoaded())
        return;
    const bool progressShowing = !m_viewer.placeholderView()->isProgressViewHidden();
    m_viewer.setContentLoading(true);
    m_viewer.loadContentView();
    if (!progressShowing)
        return;
    const auto& content = m_viewer.contentView();
    if (!content) {
        // The viewer hands its content over later, with its own spinner.
        m_viewer.hideCloudDownloadProgressView();
        return;
    }
    content->setAlpha(0);
    std::weak_ptr<VKViewController> weak = m_viewer.sharedAs<VKViewController>();
    ui::ViewAnimation::begin("loadContentView");
    ui::ViewAnimation::setDidStopHandler([weak](const std::string&, bool, const core::Value&) {
        if (auto self = weak.lock())
            self->hideCloudDownloadProgressView();
    });
    content->setAlpha(1);
    ui::ViewAnimation::commit();
}

void VKViewerCloudFetch::failed(const core::Notification& notification)
{
    if (isForResource(notification))
        showFailed();
}

void VKViewerCloudFetch::showFailed()
{
    m_viewer.stopActivityIndicator();
    if (!m_viewer.isViewLoaded())
        return;
    auto* placeholder = m_viewer.placeholderView();
    placeholder->setLabelHidden(false);
    placeholder->label()->setText(core::localized("Download Failed"));
    placeholder->setProgressViewHidden(true);
    showCancelButton();
}

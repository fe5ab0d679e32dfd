#include "CloudOperations/VKCloudDeleteOperation.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"

#include <fmt/format.h>

std::shared_ptr<VKCloudDeleteOperation> VKCloudDeleteOperation::initWithResources(
    std::vector<std::shared_ptr<VKFileResource>> resources)
{
    return std::shared_ptr<VKCloudDeleteOperation>(new VKCloudDeleteOperation(std::move(resources)));
}

VKCloudDeleteOperation::VKCloudDeleteOperation(std::vector<std::shared_ptr<VKFileResource>> resources)
    : VKCloudFileOperation(std::move(resources))
{
    const size_t count = this->resources().size();
    setLabel(fmt::format(fmt::runtime(core::localized(count == 1 ? "Deleting {} Item" : "Deleting {} Items")), count));
}

std::string VKCloudDeleteOperation::localizedErrorDescription()
{
    return fmt::format(fmt::runtime(core::localized("Failed to delete {} items")), m_errorCount.load());
}

void VKCloudDeleteOperation::run()
{
    auto keep = shared_from_this();
    beginTrashGroup();
    m_inTrashGroup = true;
    beginBackgroundTask();
    if (resources().empty()) {
        sendDidEndDelegateMessage();
        return;
    }
    const auto items = resources();
    for (const auto& resource : items) {
        if (m_ended)
            return;
        auto service = VKCloudServicesManager::sharedManager()->cloudServiceForResource(*resource);
        const std::string cloudPath = resource->cloudPath();
        if (!service || cloudPath.empty() || cloudPath == "/") {
            // Not an item of a service: nothing to ask, and it stays.
            didAnswer(true);
            continue;
        }
        if (resource->isUpload() || service->isUploadingItemAtPath(cloudPath))
            service->cancelUploadOfItemAtPath(cloudPath);
        service->cancelFetchOfItemAtPath(cloudPath);
        service->deletePath(cloudPath, callback());
    }
}

void VKCloudDeleteOperation::cloudServiceDidDeletePath(VKCloudService& service, const std::string& path)
{
    if (m_ended)
        return;
    auto keep = shared_from_this();
    if (auto resource = service.resourceForCloudPath(path)) {
        const std::string localPath = resource->path();
        core::NotificationCenter::defaultCenter().post(VKFolderControllerWillDeleteResourceNotification, keep, { localPath });
        if (moveFileResourceToTrash(resource) != VKRemoveResultDone)
            core::log("Warning, failed to delete cache for: {}", localPath);
    }
    didAnswer(false);
}

void VKCloudDeleteOperation::cloudServiceDeleteFailedForPath(VKCloudService&, const std::string& path, const core::Error&)
{
    if (m_ended)
        return;
    auto keep = shared_from_this();
    core::log("cloudService:deleteFailedForPath: {}", path);
    didAnswer(true);
}

void VKCloudDeleteOperation::sendDidEndDelegateMessage()
{
    if (m_ended)
        return;
    if (m_inTrashGroup) {
        m_inTrashGroup = false;
        endTrashGroup();
    }
    VKCloudFileOperation::sendDidEndDelegateMessage();
}

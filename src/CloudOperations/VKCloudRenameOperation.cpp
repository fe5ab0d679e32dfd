#include "CloudOperations/VKCloudRenameOperation.h"

#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKFileResource.h"
#include "Kit/ErrorAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Path.h"

#include <fmt/format.h>

std::shared_ptr<VKCloudRenameOperation> VKCloudRenameOperation::initWithResource(std::shared_ptr<VKFileResource> resource,
    std::string name)
{
    return std::shared_ptr<VKCloudRenameOperation>(new VKCloudRenameOperation(std::move(resource), std::move(name)));
}

VKCloudRenameOperation::VKCloudRenameOperation(std::shared_ptr<VKFileResource> resource, std::string name)
    : VKCloudMoveOperation({ std::move(resource) })
    , m_name(std::move(name))
{
    setLabel(core::localized("Renaming"));
}

std::string VKCloudRenameOperation::localizedErrorDescription()
{
    const auto& resource = resources().front();
    return fmt::format(fmt::runtime(core::localized("There was an error renaming \"{}\"")),
        resource ? resource->name() : std::string());
}

void VKCloudRenameOperation::run()
{
    if (!isValidItemName(m_name)) {
        endWithError(errorWithDomain(VKFileOperationErrorDomain, -2, core::localized("Rename failed due to invalid name")));
        return;
    }
    const auto& resource = resources().front();
    if (!resource) {
        m_errorCount = 1;
        sendDidEndDelegateMessage();
        return;
    }
    if (resource->isUpload()) {
        endWithError(errorWithDomain(VKFileOperationErrorDomain, -3,
            core::localized("Cannot rename items which are currently uploading")));
        return;
    }
    auto service = VKCloudServicesManager::sharedManager()->cloudServiceForResource(*resource);
    const std::string cloudPath = resource->cloudPath();
    if (!service || cloudPath.empty() || cloudPath == "/") {
        m_errorCount = 1;
        sendDidEndDelegateMessage();
        return;
    }
    beginBackgroundTask();
    service->cancelFetchOfItemAtPath(cloudPath);
    service->movePath(cloudPath, cloudPathInFolder(core::path::deletingLastPathComponent(cloudPath), m_name), callback());
}

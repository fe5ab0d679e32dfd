#include "CloudOperations/VKCloudMoveOperation.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Kit/ErrorAdditions.h"
#include "Kit/VKStagingFolder.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"

#include <fmt/format.h>

#include <cerrno>

std::shared_ptr<VKCloudMoveOperation> VKCloudMoveOperation::initWithResources(
    std::vector<std::shared_ptr<VKFileResource>> resources)
{
    return std::shared_ptr<VKCloudMoveOperation>(new VKCloudMoveOperation(std::move(resources)));
}

VKCloudMoveOperation::VKCloudMoveOperation(std::vector<std::shared_ptr<VKFileResource>> resources)
    : VKCloudFileOperation(std::move(resources))
{
    const size_t count = this->resources().size();
    setLabel(count == 1 ? core::localized("Moving 1 Item")
                        : fmt::format(fmt::runtime(core::localized("Moving {} Items")), count));
}

std::string VKCloudMoveOperation::localizedErrorDescription()
{
    return fmt::format(fmt::runtime(core::localized("Move of {} items failed")), m_errorCount.load());
}

void VKCloudMoveOperation::run()
{
    auto destination = this->destination();
    auto service = destination ? VKCloudServicesManager::sharedManager()->cloudServiceForResource(*destination) : nullptr;
    for (const auto& resource : resources()) {
        if (resource->isUpload()) {
            endWithError(errorWithDomain(VKFileOperationErrorDomain, -2,
                core::localized("Cannot move items which are currently uploading")));
            return;
        }
        if (service)
            service->cancelFetchOfItemAtPath(resource->cloudPath());
    }
    if (resources().empty() || !service || !destination->isDirectory()) {
        // Nowhere to move to: every item fails, and nothing is asked of a
        // service.
        m_errorCount = static_cast<uint32_t>(resources().size());
        sendDidEndDelegateMessage();
        return;
    }
    beginBackgroundTask();
    const std::string folder = destination->cloudPath();
    const auto items = resources();
    for (const auto& resource : items) {
        if (m_ended)
            return;
        service->movePath(resource->cloudPath(), cloudPathInFolder(folder, resource->name()), callback());
    }
}

void VKCloudMoveOperation::cloudServiceDidMovePath(VKCloudService& service, const std::string& from, const std::string& to)
{
    if (m_ended)
        return;
    auto keep = shared_from_this();
    auto resource = service.resourceForCloudPath(from);
    auto store = VKCloudFileStore::sharedStore();
    if (resource && store) {
        const std::string oldPath = resource->path();
        const auto newPath = localPathForCloudPath(service, to);
        core::Error error;
        if (!newPath) {
            error = errorWithDomain(core::Error::POSIXDomain, EINVAL, "Invalid destination: " + to);
            core::log("Warning moveObject:toPath: failed: {}", error);
        } else if (!store->moveObject(resource->managedObject(), *newPath, &error)) {
            core::log("Warning moveObject:toPath: failed: {}", error);
        } else if (!oldPath.empty() && core::fs::attributes(oldPath)) {
            // The stored copy follows its node, so the item stays offline.
            core::fs::createDirectory(core::path::deletingLastPathComponent(*newPath), true);
            // Across file systems the copy is made in the run's staging
            // folder, so a run cut off leaves no part the launch misses.
            core::fs::CopyOptions options;
            options.stagingPath = [](const std::string& to) { return VKStagingFolder::pathForItem(to, "move"); };
            core::fs::moveItem(oldPath, *newPath, options);
        }
    }
    didAnswer(false);
}

void VKCloudMoveOperation::cloudServiceMoveFailedForPath(VKCloudService&, const std::string&, const core::Error&)
{
    auto keep = shared_from_this();
    didAnswer(true);
}

#include "CloudOperations/VKCloudCopyOperation.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Kit/ErrorAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>

std::shared_ptr<VKCloudCopyOperation> VKCloudCopyOperation::initWithResources(
    std::vector<std::shared_ptr<VKFileResource>> resources)
{
    return std::shared_ptr<VKCloudCopyOperation>(new VKCloudCopyOperation(std::move(resources)));
}

VKCloudCopyOperation::VKCloudCopyOperation(std::vector<std::shared_ptr<VKFileResource>> resources)
    : VKCloudFileOperation(std::move(resources))
{
    const size_t count = this->resources().size();
    setLabel(count == 1 ? core::localized("Copying 1 Item")
                        : fmt::format(fmt::runtime(core::localized("Copying {} Items")), count));
}

std::string VKCloudCopyOperation::localizedErrorDescription()
{
    return fmt::format(fmt::runtime(core::localized("Copy of {} items failed")), m_errorCount.load());
}

void VKCloudCopyOperation::run()
{
    auto destination = this->destination();
    auto service = destination ? VKCloudServicesManager::sharedManager()->cloudServiceForResource(*destination) : nullptr;
    if (std::any_of(resources().begin(), resources().end(), [](const auto& resource) { return resource->isUpload(); })) {
        endWithError(errorWithDomain(VKFileOperationErrorDomain, -2,
            core::localized("Cannot copy items which are currently uploading")));
        return;
    }
    auto store = VKCloudFileStore::sharedStore();
    if (resources().empty() || !service || !store || !destination->isDirectory()) {
        m_errorCount = static_cast<uint32_t>(resources().size());
        sendDidEndDelegateMessage();
        return;
    }
    beginBackgroundTask();
    const std::string folder = destination->path();
    const std::string cloudFolder = destination->cloudPath();
    const auto items = resources();
    for (const auto& resource : items) {
        if (m_ended)
            return;
        std::string name = resource->name();
        const std::string taken = core::path::appendingPathComponent(folder, name);
        if (core::path::deletingLastPathComponent(resource->path()) == folder && store->managedObjectForPath(taken))
            name = store->uniqueNameForItemAtPath(taken, core::localized("copy"));
        service->copyPath(resource->cloudPath(), cloudPathInFolder(cloudFolder, name), callback());
    }
}

void VKCloudCopyOperation::cloudServiceDidCopyPath(VKCloudService& service, const std::string& from, const std::string& to)
{
    if (m_ended)
        return;
    auto keep = shared_from_this();
    auto source = service.resourceForCloudPath(from);
    auto store = VKCloudFileStore::sharedStore();
    if (source && store) {
        const auto target = localPathForCloudPath(service, to);
        core::Error error;
        if (!target)
            error = errorWithDomain(core::Error::POSIXDomain, EINVAL, "Invalid destination: " + to);
        if (!target || !store->copyObject(*source->managedObject(), *target, &error))
            core::log("Warning copyObject:toPath: failed: {}", error);
    }
    didAnswer(false);
}

void VKCloudCopyOperation::cloudServiceCopyFailedForPath(VKCloudService&, const std::string&, const core::Error&)
{
    auto keep = shared_from_this();
    didAnswer(true);
}

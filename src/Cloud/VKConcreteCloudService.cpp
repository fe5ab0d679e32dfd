#include "Cloud/VKConcreteCloudService.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/ErrorValue.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"

#include <ftw.h>

namespace {

thread_local int64_t walkedBytes = 0;

int addItemSize(const char*, const struct stat* status, int, struct FTW* position)
{
    if (position->level > 0 && status)
        walkedBytes += status->st_size;
    return 0;
}

} // namespace

int64_t VKConcreteCloudService::localUsedBytes() const
{
    // Links are counted as links, never followed; what cannot be read
    // counts nothing.
    walkedBytes = 0;
    nftw(m_serviceRootPath.c_str(), addItemSize, 16, FTW_PHYS);
    return walkedBytes;
}

std::optional<std::string> VKConcreteCloudService::cloudPathForLocalPath(std::string_view localPath) const
{
    auto relative = stringByAbbreviatingRelativeToPath(localPath, m_serviceRootPath);
    if (!relative)
        return std::nullopt;
    return stringByEnsuringLeadingPathSeparator(*relative);
}

std::optional<std::string> VKConcreteCloudService::localPathForCloudPath(std::string_view cloudPath) const
{
    if (core::fs::hasNul(cloudPath))
        return std::nullopt;
    for (const auto& component : core::path::pathComponents(cloudPath)) {
        if (component == "." || component == "..")
            return std::nullopt;
    }
    return core::path::appendingPathComponent(m_serviceRootPath, cloudPath);
}

VKCloudService::Resource VKConcreteCloudService::resourceForCloudPath(const std::string& cloudPath)
{
    auto store = VKCloudFileStore::storeForCurrentThread();
    auto localPath = localPathForCloudPath(cloudPath);
    if (!store || !localPath)
        return nullptr;
    auto node = store->managedObjectForPath(*localPath);
    if (!node && !isCaseSensitive())
        node = store->managedObjectForPath(*localPath, false);
    return node ? VKCloudFileResource::resourceWithManagedObject(node) : nullptr;
}

VKCloudService::Resource VKConcreteCloudService::insertResourceForPath(std::string_view localPath, bool directory)
{
    auto store = VKCloudFileStore::sharedStore();
    if (!store)
        return nullptr;
    core::Error error;
    auto node = store->insertObjectForPath(localPath, &error);
    if (!node) {
        core::log("{} error: {}", directory ? "insertDirectoryResourceForPath" : "insertFileResourceForPath", error);
        return nullptr;
    }
    if (directory)
        node->setIsDirectory(true);
    return VKCloudFileResource::resourceWithManagedObject(node);
}

VKCloudService::Resource VKConcreteCloudService::insertCloudFileResourceForPath(std::string_view localPath)
{
    return insertResourceForPath(localPath, false);
}

VKCloudService::Resource VKConcreteCloudService::insertCloudDirectoryResourceForPath(std::string_view localPath)
{
    return insertResourceForPath(localPath, true);
}

bool VKConcreteCloudService::deleteCloudResource(const Resource& resource)
{
    if (!resource)
        return false;
    if (resource->isStoredLocally()) {
        core::Error error;
        if (!moveItemAtPathToTrash(resource->path(), &error)) {
            core::log("Warning, failed to delete resource cache: {}", error);
            return false;
        }
    }
    auto store = VKCloudFileStore::sharedStore();
    return store && store->deleteObject(resource->managedObject());
}

void VKConcreteCloudService::postNotificationName(core::NoticeName<VKCloudServiceNews> name,
    const std::optional<std::string>& cloudPath, const std::optional<core::Error>& error)
{
    VKCloudServiceNews news;
    if (cloudPath) {
        news.cloudPath = *cloudPath;
        news.localPath = localPathForCloudPath(*cloudPath).value_or(std::string());
    }
    news.error = error;
    core::NotificationCenter::defaultCenter().post(name, shared_from_this(), std::move(news));
}

void VKConcreteCloudService::postNotificationName(const char* name)
{
    core::NotificationCenter::defaultCenter().post(name, shared_from_this());
}

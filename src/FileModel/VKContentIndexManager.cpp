#include "FileModel/VKContentIndexManager.h"

#include "FileModel/VKFileResource.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Thread.h"

#include <mutex>

namespace {

std::mutex sharedMutex;
std::shared_ptr<VKContentIndexManager> sharedInstance;

} // namespace

std::shared_ptr<VKContentIndexManager> VKContentIndexManager::sharedManager()
{
    std::lock_guard lock(sharedMutex);
    if (!sharedInstance) {
        sharedInstance = std::shared_ptr<VKContentIndexManager>(new VKContentIndexManager(
            VKHomeLayout::current()->metadataSubdirectory("ContentIndexCache")));
    }
    return sharedInstance;
}

void VKContentIndexManager::setSharedManagerForTesting(std::shared_ptr<VKContentIndexManager> manager)
{
    std::lock_guard lock(sharedMutex);
    sharedInstance = std::move(manager);
}

VKContentIndexManager::VKContentIndexManager(std::string cacheDirectory)
    : m_cacheDirectory(std::move(cacheDirectory))
{
}

std::optional<std::string> VKContentIndexManager::contentIndexPathForResource(const VKFileResource& resource) const
{
    // A UUID kept only in memory names a different index at each opening,
    // leaving the old ones behind: such a resource has no lasting index.
    std::string uuid = resource.UUID();
    if (uuid.empty() || !resource.isUUIDStored()) {
        core::log("Warning, invalid UUID for: {}", resource.description());
        return std::nullopt;
    }
    return m_cacheDirectory + "/" + uuid;
}

void VKContentIndexManager::removeCacheForResource(const VKFileResource& resource) const
{
    // Without a UUID the item has no index.
    const std::string uuid = resource.existingUUID();
    if (!uuid.empty() && resource.isUUIDStored())
        core::fs::removeItem(m_cacheDirectory + "/" + uuid);
}

void VKContentIndexManager::pruneContextIndexes()
{
    auto self = sharedAs<VKContentIndexManager>();
    core::Thread::detach("VKContentIndexManager", [self] { self->pruneContextIndexesInBackground(); });
}

void VKContentIndexManager::pruneContextIndexesInBackground()
{
    uint64_t size = sizeOfDirectoryContentsAtPath(m_cacheDirectory);
    if (size > MaximumCacheSize) {
        auto self = sharedAs<VKContentIndexManager>();
        core::performOnMainThread([self] { self->resetContextIndexes(); });
    }
}

void VKContentIndexManager::resetContextIndexes()
{
    core::log("Clearing VKContentIndexManager cache: {}", core::path::abbreviatingWithTildeInPath(m_cacheDirectory));
    if (!moveItemAtPathToTrash(m_cacheDirectory)) {
        core::log("Warning, failed to delete cache path: {}", m_cacheDirectory);
        return;
    }
    core::fs::createDirectory(m_cacheDirectory, false);
}

#include "FileModel/FileManagerResourceAdditions.h"

#include "FileModel/VKThumbnailManager.h"

#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKContentIndexManager.h"
#include "FileModel/VKDownloadHooks.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/FileManagerExtendedAttributes.h"
#include "Kit/VKFileManagerDelegate.h"
#include "Kit/VKStagingFolder.h"
#include "Platform/Core/DesktopTrash.h"
#include "Platform/Core/ExtendedAttributes.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Formatters.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"

#include <cerrno>
#include <mutex>

namespace fs = core::fs;

namespace {

// A file-manager call on one path, with the name of the message it stands for.
struct PathOperation {
    const char* selectorName;
    bool (*perform)(const std::string& path, core::Error* error);
};

bool removeItem(const std::string& path, core::Error* error)
{
    return fs::removeItem(path, error);
}

bool trashItem(const std::string& path, core::Error* error)
{
    return moveItemAtPathToTrash(path, error);
}

// To the desktop's trash, where a person can put it back; to the internal
// trash only where no desktop trash can take it.
bool desktopTrashItem(const std::string& path, core::Error* error)
{
    core::Error refused;
    if (core::desktopTrash::moveItem(path, path, &refused))
        return true;
    if (refused.is(core::Error::POSIXDomain, ENOENT)) {
        core::setError(error, std::move(refused));
        return false;
    }
    core::log("Warning, {} could not go to the desktop's trash ({}); it goes to the internal one", path, refused);
    return moveItemAtPathToTrash(path, error);
}

constexpr PathOperation RemoveOperation { "removeItemAtPath:error:", removeItem };
constexpr PathOperation TrashOperation { "moveItemAtPathToTrash:error:", trashItem };
constexpr PathOperation DesktopTrashOperation { "moveItemToDesktopTrash", desktopTrashItem };

std::mutex& thumbnailHookMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::function<void(const VKFileResource&)>& thumbnailHook()
{
    static std::function<void(const VKFileResource&)> hook;
    return hook;
}

void removeThumbnailCache(const VKFileResource& resource)
{
    std::function<void(const VKFileResource&)> hook;
    {
        std::lock_guard lock(thumbnailHookMutex());
        hook = thumbnailHook();
    }
    if (hook)
        hook(resource);
    else
        VKThumbnailManager::sharedManager()->removeCacheForResource(resource);
}

core::Error& lastError()
{
    thread_local core::Error error;
    return error;
}

// The open quota batch of this thread: its depth and the paths it holds.
struct QuotaBatch {
    int depth = 0;
    std::vector<std::string> paths;
};

QuotaBatch& quotaBatch()
{
    thread_local QuotaBatch batch;
    return batch;
}

void updateQuota(const std::string& path)
{
    if (QuotaBatch& batch = quotaBatch(); batch.depth > 0)
        batch.paths.push_back(path);
    else
        VKQuotaManager::defaultManager()->updateQuotaForPath(path);
}

// Where a companion goes beside a destination: "._" + its name, same folder.
std::string appleDoubleDestination(const std::string& destination)
{
    return core::path::appendingPathComponent(core::path::deletingLastPathComponent(destination),
        "._" + core::path::lastPathComponent(destination));
}

// Whether anything, a dangling link too, is at the path.
bool itemExists(const std::string& path)
{
    return fs::attributes(path).has_value();
}

// A copy must not carry the source's UUID: the caches named by it belong to
// the source.
void forgetIdentity(const std::string& root)
{
    auto strip = [](const std::string& path) {
        xattrRemoveDataForItemAtPath(path, VKFileResourceUUIDAttribute, core::ExtendedAttributes::NoFollow);
    };
    strip(root);
    if (!fs::isDirectory(root))
        return;
    if (auto below = fs::subpaths(root)) {
        for (const auto& relative : *below)
            strip(core::path::appendingPathComponent(root, relative));
    }
}

VKRemoveResult privateRemoveFileResource(const std::shared_ptr<VKFileResource>& resource,
    const PathOperation& operation)
{
    lastError() = {};
    if (resource->isLocked())
        return VKRemoveResultLocked;

    // The caches go first and whatever follows: a half-removed item is not
    // shown again from a stale thumbnail or index.
    removeThumbnailCache(*resource);
    VKContentIndexManager::sharedManager()->removeCacheForResource(*resource);

    const std::string path = resource->path();
    if (resource->isCloudResource()) {
        if (itemExists(path))
            operation.perform(path, nullptr);
        if (auto hooks = VKCloudHooks::current())
            hooks->deleteMirrorObjectAndSave(*resource);
        return VKRemoveResultDone;
    }
    if (resource->isDownloadResource()) {
        if (auto hooks = VKDownloadHooks::current())
            hooks->deleteDownloadResource(resource);
        return VKRemoveResultDone;
    }

    core::Error error;
    if (!operation.perform(path, &error)) {
        core::log("Warning {} ({}) error: {}", operation.selectorName, resource->name(), error);
        lastError() = std::move(error);
        return VKRemoveResultFailed;
    }
    if (auto companion = resource->associatedAppleDoubleResource()) {
        core::Error companionError;
        if (operation.perform(companion->path(), &companionError)) {
            updateQuota(companion->path());
        } else {
            core::log("Warning, failed to remove appleDouble at path: {}", companion->path());
            core::log("{}", companionError);
        }
    }
    updateQuota(path);
    return VKRemoveResultDone;
}

// Inside the open trash group, or one of its own.
VKRemoveResult removeInTrashGroup(const std::shared_ptr<VKFileResource>& resource, const PathOperation& operation)
{
    const bool ownGroup = !isInTrashGroup();
    if (ownGroup)
        beginTrashGroup();
    VKRemoveResult result = privateRemoveFileResource(resource, operation);
    if (ownGroup)
        endTrashGroup();
    return result;
}

// The delegate's say over a copy made for `from` → `to`: each step of data
// is reported, and a false answer cancels.
// A move across file systems copies into the staging folder.
fs::CopyOptions copyOptionsFor(VKFileManagerDelegate* delegate, const std::string& from, const std::string& to)
{
    fs::CopyOptions options;
    options.stagingPath = [](const std::string& target) { return VKStagingFolder::pathForItem(target, "move"); };
    if (delegate) {
        options.progress = [delegate, from, to](uint64_t bytes) {
            return delegate->copyingItemAtPath(from, to, bytes);
        };
    }
    return options;
}

// Copies the item at `path` whole into the staging folder and puts the copy
// at `destination`: renamed in beside nothing, or, with `replaced`, swapped
// in one step with what stands there, which is left at the staged path
// handed back (noted first, so that the sweep after a killed run puts it
// back or trashes it, never removes it). A failed copy leaves nothing.
bool placeStagedCopy(const std::string& path, const std::string& destination, const fs::CopyOptions& options,
    std::string_view tag, bool forget, std::string* replaced, core::Error& error)
{
    std::string staging;
    for (;;) {
        staging = VKStagingFolder::pathForItem(destination, tag);
        error = {};
        if (fs::copyItem(path, staging, options, &error))
            break;
        // Another took the sibling's name first: what is there is not ours.
        if (fs::failedPath(error) != staging || !error.is(core::Error::POSIXDomain, EEXIST)) {
            fs::removeItem(staging);
            return false;
        }
    }
    if (forget)
        forgetIdentity(staging);
    const bool placed = replaced
        ? VKStagingFolder::recordAside(staging, destination, &error) && fs::exchangeItems(staging, destination, &error)
        : fs::moveItem(staging, destination, &error);
    if (!placed) {
        fs::removeItem(staging);
        return false;
    }
    if (replaced)
        *replaced = staging;
    return true;
}

// Moves the item at `path` over the one at `destination`, which ends at the
// path given back in `replaced`. On one file system the item there steps
// aside (noted first) for the moment of the rename and comes back when the
// rename fails; across file systems a whole copy takes its place in one swap
// and the source goes after. False with the reason when nothing changed;
// false with `replaced` set when the item stands at the destination but its
// source could not all be removed.
bool moveReplacingItem(const std::string& path, const std::string& destination, const fs::CopyOptions& options,
    std::string& replaced, core::Error& error)
{
    if (fs::renameItem(path, destination, &error))
        return true;
    if (error.is(core::Error::POSIXDomain, EEXIST)) {
        const std::string aside = fs::hiddenSiblingPath(destination, "replaced");
        if (!VKStagingFolder::recordAside(aside, destination, &error) || !fs::renameItem(destination, aside, &error))
            return false;
        if (fs::moveItem(path, destination, options, &error)) {
            replaced = aside;
            return true;
        }
        core::Error putBack;
        if (!fs::renameItem(aside, destination, &putBack))
            core::log("Warning, failed to put back {}: {}", destination, putBack);
        return false;
    }
    if (!error.is(core::Error::POSIXDomain, EXDEV)
        || !placeStagedCopy(path, destination, options, "move", false, &replaced, error))
        return false;
    return fs::removeItem(path, &error);
}

} // namespace

core::Error lastFileResourceError()
{
    return lastError();
}

void setThumbnailCacheRemovalHook(std::function<void(const VKFileResource&)> hook)
{
    std::lock_guard lock(thumbnailHookMutex());
    thumbnailHook() = std::move(hook);
}

void beginQuotaBatch()
{
    ++quotaBatch().depth;
}

void endQuotaBatch()
{
    QuotaBatch& batch = quotaBatch();
    if (batch.depth == 0 || --batch.depth > 0 || batch.paths.empty())
        return;
    auto paths = std::move(batch.paths);
    batch.paths.clear();
    VKQuotaManager::defaultManager()->updateQuotaForPaths(paths);
}

VKRemoveResult removeFileResource(const std::shared_ptr<VKFileResource>& resource)
{
    return privateRemoveFileResource(resource, RemoveOperation);
}

VKRemoveResult moveFileResourceToTrash(const std::shared_ptr<VKFileResource>& resource)
{
    return removeInTrashGroup(resource, TrashOperation);
}

VKRemoveResult moveFileResourceToDesktopTrash(const std::shared_ptr<VKFileResource>& resource)
{
    const bool internal = resource->isCloudResource() || resource->isDownloadResource();
    return removeInTrashGroup(resource, internal ? TrashOperation : DesktopTrashOperation);
}

VKRemoveResult moveFileResource(const std::shared_ptr<VKFileResource>& resource, const std::string& destination)
{
    return moveFileResource(resource, destination, nullptr, nullptr);
}

VKRemoveResult moveFileResource(const std::shared_ptr<VKFileResource>& resource, const std::string& destination,
    VKFileManagerDelegate* delegate, std::string* replaced)
{
    lastError() = {};
    const bool replacing = itemExists(destination);
    if (replacing && !replaced) {
        lastError() = core::Error::posix(EEXIST);
        return VKRemoveResultFailed;
    }
    if (resource->isLocked())
        return VKRemoveResultLocked;

    const std::string path = resource->path();
    // The companion is looked up before the item leaves its folder.
    auto companion = resource->associatedAppleDoubleResource();
    const fs::CopyOptions options = copyOptionsFor(delegate, path, destination);
    core::Error error;
    const bool moved = replacing ? moveReplacingItem(path, destination, options, *replaced, error)
                                 : fs::moveItem(path, destination, options, &error);
    if (!moved) {
        core::log("Warning moveItemAtPath ({}) error: {}", resource->name(), error);
        lastError() = std::move(error);
        // A source left in part still lets the item stand where it went.
        if (!replacing || replaced->empty())
            return VKRemoveResultFailed;
    }
    if (companion) {
        const std::string target = appleDoubleDestination(destination);
        if (itemExists(target))
            fs::removeItem(target);
        core::Error companionError;
        if (fs::moveItem(companion->path(), target, &companionError)) {
            updateQuota(companion->path());
            updateQuota(target);
        } else {
            core::log("Warning, failed to move appleDouble at path: {}", companion->path());
            core::log("{}", companionError);
        }
    }
    VKQuotaManager::defaultManager()->moveStructure(path, destination);
    return moved ? VKRemoveResultDone : VKRemoveResultFailed;
}

VKRemoveResult copyFileResource(const std::shared_ptr<VKFileResource>& resource, const std::string& destination)
{
    if (resource->isLocked())
        return VKRemoveResultLocked;
    if (itemExists(destination))
        return VKRemoveResultFailed;

    core::Error error;
    if (!copyWithUpdatesItemAtPath(resource->path(), destination, &error)) {
        core::log("Warning, copyFileResource ({}) error: {}", resource->name(), error);
        core::log("userInfo: {}", core::Value(error.userInfo()));
        return VKRemoveResultFailed;
    }
    forgetIdentity(destination);
    if (auto companion = resource->associatedAppleDoubleResource()) {
        const std::string target = appleDoubleDestination(destination);
        if (itemExists(target))
            fs::removeItem(target);
        core::Error companionError;
        if (copyWithUpdatesItemAtPath(companion->path(), target, &companionError)) {
            forgetIdentity(target);
            updateQuota(target);
        } else {
            core::log("Warning, failed to copy apple double: {}", companionError);
            core::log("Warning, copyFileResource appleDouble error: {}", companionError);
        }
    }
    updateQuota(destination);
    return VKRemoveResultDone;
}

VKRemoveResult copyFileResource(const std::shared_ptr<VKFileResource>& resource, const std::string& destination,
    VKFileManagerDelegate* delegate, std::string* replaced)
{
    lastError() = {};
    if (resource->isLocked())
        return VKRemoveResultLocked;
    const bool replacing = itemExists(destination);
    if (replacing && !replaced)
        return VKRemoveResultFailed;

    const std::string path = resource->path();
    if (delegate && !delegate->shouldCopyItemAtPath(path, destination))
        return VKRemoveResultFailed;
    core::Error error;
    if (!placeStagedCopy(path, destination, copyOptionsFor(delegate, path, destination), "copy", true,
            replacing ? replaced : nullptr, error)) {
        core::log("Warning, copyFileResource ({}) error: {}", resource->name(), error);
        lastError() = std::move(error);
        return VKRemoveResultFailed;
    }
    if (auto companion = resource->associatedAppleDoubleResource()) {
        const std::string target = appleDoubleDestination(destination);
        if (itemExists(target))
            fs::removeItem(target);
        core::Error companionError;
        if (fs::copyItem(companion->path(), target, &companionError)) {
            forgetIdentity(target);
            updateQuota(target);
        } else {
            core::log("Warning, copyFileResource appleDouble error: {}", companionError);
        }
    }
    updateQuota(destination);
    return VKRemoveResultDone;
}

bool putBackReplacedItem(const std::string& replaced, const std::string& destination)
{
    core::Error error;
    if (!fs::exchangeItems(replaced, destination, &error)) {
        core::log("Warning, failed to put back {}: {}", destination, error);
        return false;
    }
    fs::removeItem(replaced);
    updateQuota(destination);
    return true;
}

std::string trashReplacedItem(const std::string& aside, const std::string& original)
{
    if (auto resource = VKFileResource::resourceWithPath(aside)) {
        removeThumbnailCache(*resource);
        VKContentIndexManager::sharedManager()->removeCacheForResource(*resource);
    }
    core::Error error;
    std::string landed;
    if (auto trashed = core::desktopTrash::moveItem(aside, original, &error)) {
        landed = *trashed;
    } else {
        core::log("Warning, the replaced {} could not go to the trash ({}); it is kept beside it", original, error);
        landed = uniquePathForItemAtPath(original);
        core::Error kept;
        if (!fs::moveItem(aside, landed, &kept)) {
            core::log("Warning, the replaced {} stays at {}: {}", original, aside, kept);
            landed = aside;
        }
        updateQuota(landed);
    }
    updateQuota(aside);
    return landed;
}

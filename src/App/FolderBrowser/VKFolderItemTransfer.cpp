#include "App/FolderBrowser/VKFolderItemTransfer.h"

#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/VKFileManagerDelegate.h"
#include "Kit/VKStagingFolder.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"

#include <algorithm>

namespace fs = core::fs;
namespace path = core::path;

namespace {

bool cancelled(const VKFolderItemTransfer::Hooks& hooks)
{
    return hooks.isCancelled && hooks.isCancelled();
}

// Counts a failed item; the first one with a reason gives the result its
// reason.
void countFailure(VKFolderItemTransfer::Result& result, core::Error reason = lastFileResourceError())
{
    ++result.failureCount;
    if (!result.error)
        result.error = std::move(reason);
}

bool exists(const std::string& item)
{
    return fs::attributes(item).has_value();
}

// The item's target in the destination, or "" when its name cannot stand
// there or the destination lies inside the item itself.
std::string targetFor(const VKFileResource& resource, const std::string& destination)
{
    const std::string name = resource.name();
    if (!VKFolderItemTransfer::isPlainName(name)) {
        core::log("Warning, refused to move or copy an item named \"{}\"", name);
        return {};
    }
    if (path::isWithin(destination, resource.path())) {
        core::log("Warning, refused to move or copy {} into itself", resource.path());
        return {};
    }
    return path::appendingPathComponent(destination, name);
}

// Whether the item at `target` may be replaced: never when that would take
// one of the items with it, nor while a client holds a lock on it.
bool mayReplace(const std::string& target, const std::vector<std::shared_ptr<VKFileResource>>& resources)
{
    if (std::any_of(resources.begin(), resources.end(),
            [&](const auto& resource) { return path::isWithin(resource->path(), target); })) {
        core::log("Warning, refused to replace {}: it holds an item being moved or copied", target);
        return false;
    }
    if (VKFileResource::resourceWithPath(target)->isLocked()) {
        core::log("Warning, failed to delete resource: {} (locked)", target);
        return false;
    }
    return true;
}

// The move's say over a copy across file systems: its bytes are a part of
// the item's share of the whole, and the operation's cancel stops it.
class MoveProgress : public VKFileManagerDelegate {
public:
    MoveProgress(const VKFolderItemTransfer::Hooks& hooks, size_t done, size_t count, uint64_t itemBytes)
        : m_hooks(hooks), m_done(done), m_count(count), m_itemBytes(itemBytes)
    {
    }

    bool shouldCopyItemAtPath(const std::string&, const std::string&) override { return !cancelled(m_hooks); }
    bool copyingItemAtPath(const std::string& from, const std::string& to, uint64_t bytes) override
    {
        m_bytes += bytes;
        if (m_hooks.progress && m_itemBytes > 0 && bytes > 0) {
            const double part = std::min(1.0, double(m_bytes) / double(m_itemBytes));
            m_hooks.progress((double(m_done) + part) / double(m_count));
        }
        if (m_hooks.delegate && !m_hooks.delegate->copyingItemAtPath(from, to, bytes))
            return false;
        return !cancelled(m_hooks);
    }

private:
    const VKFolderItemTransfer::Hooks& m_hooks;
    const size_t m_done;
    const size_t m_count;
    const uint64_t m_itemBytes;
    uint64_t m_bytes = 0;
};

} // namespace

bool VKFolderItemTransfer::isPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
        && !fs::hasNul(name);
}

std::string VKFolderItemTransfer::copySuffix()
{
    return core::localized("copy");
}

VKFolderItemTransfer::Result VKFolderItemTransfer::copyItems(const Request& request, const Hooks& hooks)
{
    Result result;
    result.destination = request.destination;
    // Replaced items stay aside until the whole copy stands: (aside, target).
    std::vector<std::pair<std::string, std::string>> aside;
    // Each finished copy is noted, so that the launch after a killed run
    // takes back what a copy that never stood made.
    const std::string work = VKStagingFolder::beginWork();
    for (const auto& resource : request.resources) {
        if (cancelled(hooks)) {
            result.cancelled = true;
            break;
        }
        std::string target = targetFor(*resource, request.destination);
        if (target.empty()) {
            ++result.failureCount;
            continue;
        }
        const bool besideItself = path::standardizingPath(path::deletingLastPathComponent(resource->path()))
            == path::standardizingPath(request.destination);
        bool replacing = false;
        if (besideItself)
            target = uniquePathForItemAtPath(target, copySuffix());
        else if (request.ensureUnique)
            target = uniquePathForItemAtPath(target);
        else if (exists(target)) {
            if (!mayReplace(target, request.resources)) {
                ++result.failureCount;
                continue;
            }
            replacing = true;
        }
        std::string replaced;
        if (copyFileResource(resource, target, hooks.delegate, replacing ? &replaced : nullptr) != VKRemoveResultDone) {
            // A copy stopped by the cancel is not a failure of its own.
            if (cancelled(hooks)) {
                result.cancelled = true;
                break;
            }
            countFailure(result);
            continue;
        }
        VKStagingFolder::recordMade(work, target);
        result.paths.push_back(target);
        if (!replaced.empty())
            aside.emplace_back(replaced, target);
    }
    if (!result.cancelled && cancelled(hooks))
        result.cancelled = true;

    if (result.cancelled) {
        // Nothing of a cancelled copy stays: the copies go, replaced items
        // come back.
        for (const auto& [hidden, target] : aside) {
            putBackReplacedItem(hidden, target);
            result.paths.erase(std::find(result.paths.begin(), result.paths.end(), target));
        }
        for (const auto& copied : result.paths) {
            if (removeFileResource(VKFileResource::resourceWithPath(copied)) != VKRemoveResultDone)
                core::log("Warning, failed to delete resource: {}", copied);
        }
        result.paths.clear();
        VKStagingFolder::recordStands(work);
        return result;
    }
    VKStagingFolder::recordStands(work);
    for (const auto& [hidden, target] : aside) {
        trashReplacedItem(hidden, target);
        result.replacedPaths.push_back(target);
    }
    return result;
}

VKFolderItemTransfer::Result VKFolderItemTransfer::moveItems(const Request& request, const Hooks& hooks)
{
    Result result;
    result.destination = request.destination;
    const size_t count = request.resources.size();
    auto quota = VKQuotaManager::defaultManager();
    for (size_t index = 0; index < count; ++index) {
        const auto& resource = request.resources[index];
        if (cancelled(hooks)) {
            result.cancelled = true;
            break;
        }
        const std::string target = targetFor(*resource, request.destination);
        if (target.empty()) {
            ++result.failureCount;
            continue;
        }
        // The item already there is replaced only once the moved item can
        // stand in its place, and then goes to the trash.
        const bool replacing = exists(target);
        if (replacing && !mayReplace(target, request.resources)) {
            ++result.failureCount;
            continue;
        }
        MoveProgress progress(hooks, index, count, quota->sizeForPath(resource->path()));
        const std::string oldPath = resource->path();
        std::string replaced;
        const VKRemoveResult moved = moveFileResource(resource, target, &progress, replacing ? &replaced : nullptr);
        if (!replaced.empty()) {
            // Its quota entry was taken over by the moved item.
            trashReplacedItem(replaced, target);
            result.replacedPaths.push_back(target);
        }
        if (moved != VKRemoveResultDone) {
            core::log("Warning, moveItemAtPath failed: {}", oldPath);
            if (cancelled(hooks) && replaced.empty()) {
                result.cancelled = true;
                break;
            }
            countFailure(result);
            if (replaced.empty())
                continue;
        }
        result.paths.push_back(target);
        if (hooks.moved)
            hooks.moved(resource, target, !replaced.empty());
        if (hooks.progress)
            hooks.progress(double(index + 1) / double(count));
    }
    return result;
}

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class VKFileResource;

// How a resource operation ended.
enum VKRemoveResult : int32_t {
    // Failed; for a copy or a move also: the destination already exists.
    VKRemoveResultFailed = 0,
    VKRemoveResultDone = 1,
    // Refused: a WebDAV client holds a lock on the item.
    VKRemoveResultLocked = 2,
};

// The one place through which the folder browser and the cloud operations
// remove, trash, move and copy stored items. Around the file-system call each
// keeps the model whole: locked items are refused, the "._" companion that
// desktop clients write beside a file goes along, the quota tree follows,
// a removed item's caches go, and cloud and download items are handed to
// their own stores. Any thread may call them.

VKRemoveResult removeFileResource(const std::shared_ptr<VKFileResource>& resource);
// Several calls inside an open trash group share its holder; a call outside
// one opens and closes a group of its own.
VKRemoveResult moveFileResourceToTrash(const std::shared_ptr<VKFileResource>& resource);
// Moves and renames.
VKRemoveResult moveFileResource(const std::shared_ptr<VKFileResource>& resource, const std::string& destination);
// The copy gets an identity of its own: no item of it keeps the source's
// UUID, so that removing the copy leaves the source's caches alone.
VKRemoveResult copyFileResource(const std::shared_ptr<VKFileResource>& resource, const std::string& destination);

// Replaces how removals drop an item's thumbnail and preview (tests record
// them); unset, the shared thumbnail manager drops them.
void setThumbnailCacheRemovalHook(std::function<void(const VKFileResource&)> hook);

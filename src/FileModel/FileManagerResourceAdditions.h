#pragma once

#include "Platform/Core/Error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class VKFileManagerDelegate;
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
// A person's delete in the window: the item (and its "._" companion) goes
// to the desktop's trash as moveItem files it, on another mount to that
// mount's own, so that it can be put back; only where no desktop trash can
// take it (a rename refused across file systems, a trash that cannot be
// made) to the internal trash, as moveFileResourceToTrash does. Cloud and
// download items go as moveFileResourceToTrash sends them.
VKRemoveResult moveFileResourceToDesktopTrash(const std::shared_ptr<VKFileResource>& resource);
// Between these, on the calling thread, the quota tree's updates after
// removals wait and are made together at the end (pairs may nest), so that
// deleting thousands of items from a folder takes them out of its entries in
// one pass. The tree lags the disk meanwhile: keep a batch to one slice of
// work.
void beginQuotaBatch();
void endQuotaBatch();
// Moves and renames.
VKRemoveResult moveFileResource(const std::shared_ptr<VKFileResource>& resource, const std::string& destination);
// The copy gets an identity of its own: no item of it keeps the source's
// UUID, so that removing the copy leaves the source's caches alone.
VKRemoveResult copyFileResource(const std::shared_ptr<VKFileResource>& resource, const std::string& destination);

// The browser's copy: made in the staging folder (VKStagingFolder) with the
// delegate's progress and say, then renamed into place without replacing,
// so the destination never shows a part and a failed, cancelled or killed
// copy leaves nothing behind. Links stay links, modes,
// times and user attributes go along (not the UUID). With `replaced`, an item
// already at the destination is swapped out in one step and left at the
// staged path given back there, for the caller to trash once the whole
// operation stands or to put back (putBackReplacedItem); it is noted in the
// staging folder's journal first, so that after a killed run the next
// launch puts it back or trashes it, never removes it. Without, an existing
// destination fails.
VKRemoveResult copyFileResource(const std::shared_ptr<VKFileResource>& resource, const std::string& destination,
    VKFileManagerDelegate* delegate, std::string* replaced = nullptr);
// Undoes a replacement: the item set aside at `replaced` takes its place at
// `destination` again and what stood there is removed.
bool putBackReplacedItem(const std::string& replaced, const std::string& destination);
// Where an item replaced by a copy or a move goes once the operation stands:
// the desktop's trash, as the item that stood at `original`, so that a person
// can put it back; its caches go as a removal's do. When the trash cannot
// take it (another file system, no room), it is kept beside the original
// under a free name ("Report 1.pdf") instead: a replaced item is never lost.
// Answers where it went.
std::string trashReplacedItem(const std::string& aside, const std::string& original);
// A move with the delegate's progress and say where it has to copy (across
// file systems, through the staging folder; the source goes only once the
// copy stands whole in its place). The quota tree carries the item
// over without a rescan. With `replaced`, an item already at the destination
// is replaced and left at the path given back there, for the caller to
// trash (trashReplacedItem), noted as a copy's is: on one file system it
// steps aside under a hidden name for the moment of the rename (and comes
// back if the rename fails), across file systems the whole copy takes its
// place in one swap. A failure that still leaves the item at the
// destination (its source could not all be removed) gives `replaced` too.
VKRemoveResult moveFileResource(const std::shared_ptr<VKFileResource>& resource, const std::string& destination,
    VKFileManagerDelegate* delegate, std::string* replaced = nullptr);

// Why the calling thread's last removal, trash, move or copy above failed,
// as the system said it (POSIX domain where it gave an errno); empty when it
// did not fail or gave no reason.
core::Error lastFileResourceError();

// Replaces how removals drop an item's thumbnail and preview (tests record
// them); unset, the shared thumbnail manager drops them.
void setThumbnailCacheRemovalHook(std::function<void(const VKFileResource&)> hook);

#pragma once

#include "Platform/Core/Error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class VKFileManagerDelegate;
class VKFileResource;

// The file work of moving or copying marked items into a folder, run on the
// browser's worker thread: everything here touches only the file system, the
// quota tree and the caches (through the file model's resource operations),
// and reports what it did for the main thread to show.
//
// Nothing is lost on the way. An item already at a target is replaced only
// once the new one is whole (moveFileResource, copyFileResource): a move
// renames or swaps the item in and trashes the old one at once; a copy swaps
// its finished copy in and keeps the replaced items aside until the whole
// copy stands, so a cancel puts every one back. What is set aside is noted
// in the staging folder's journal, so the launch after a killed run puts it
// back or trashes it. Replaced items end in the
// desktop's trash (trashReplacedItem), never deleted. A target that is or holds one of
// the items itself is never replaced, and a destination inside an item is
// refused for that item. Targets are always the destination and the item's
// own name.
class VKFolderItemTransfer {
public:
    struct Request {
        std::vector<std::shared_ptr<VKFileResource>> resources;
        // The destination folder's path.
        std::string destination;
        // Copies: every item takes a free name (without a suffix), nothing is
        // replaced.
        bool ensureUnique = false;
    };

    // Any thread, the worker's own.
    struct Hooks {
        // Asked before each item; a cancelled operation stops there.
        std::function<bool()> isCancelled;
        // Told about each copy's bytes and asked whether to go on (the
        // operation's observer). Optional.
        VKFileManagerDelegate* delegate = nullptr;
        // Moves: the fraction of the items done, after each item and during
        // a copy across file systems.
        std::function<void(double fraction)> progress;
        // Moves: each item once it stands at its new path, in order.
        std::function<void(const std::shared_ptr<VKFileResource>& resource, const std::string& newPath,
            bool replacedAnItem)>
            moved;
    };

    struct Result {
        std::string destination;
        unsigned failureCount = 0;
        // Why the first failed item failed, as the system said (empty when
        // it gave no reason).
        core::Error error;
        bool cancelled = false;
        // Items moved, or copies that stand, at their final paths.
        std::vector<std::string> paths;
        // Final paths whose earlier item was replaced and removed (its
        // bookmarks and settings are the main thread's to drop).
        std::vector<std::string> replacedPaths;
    };

    static Result copyItems(const Request& request, const Hooks& hooks);
    static Result moveItems(const Request& request, const Hooks& hooks);

    // Whether `name` can stand as one item's name inside a folder.
    static bool isPlainName(const std::string& name);
    // The localized suffix of a copy made beside its original ("a copy.txt").
    static std::string copySuffix();
};

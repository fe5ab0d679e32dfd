#pragma once

#include "App/FolderBrowser/VKFolderListing.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class VKFileResource;

namespace core {
class Error;
}

// The words the folder screen sums its rows up in, in its toolbar and in
// the editing prompt: "No Items", "1 Item, 2 KB", "3 Items Selected"; and
// what a folder that could not be read says instead.
class VKFolderSummary {
public:
    // The toolbar's words for a folder that could not be read.
    static std::string unreadable();
    // The list's note: "This folder cannot be read" and the reason below
    // ("Permission denied", "Too many open files").
    static std::string unreadableNote(const core::Error& error);
    // A negative size leaves the size out.
    static std::string forCount(uint32_t count, int64_t size, bool isSelection);
    // `count` rows of `folder`, or of the search `query` over it: sizes are
    // what the items hold (a folder's files at every depth), each byte
    // once, whether listed or found, through the quota tree for a local
    // folder or "Local Files" (the query's roots).
    static std::string ofRows(size_t count, const VKFileResource& folder, bool localFolder,
        const std::optional<VKFolderListing::Query>& query);
};

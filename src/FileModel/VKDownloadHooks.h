#pragma once

#include "Kit/VKHookSlot.h"

#include <memory>
#include <string>
#include <vector>

class VKFileResource;

// Posted by the download manager on the main thread; object the download's
// resource. A failure carries its error under the user info "error".
inline constexpr const char* VKDownloadManagerDownloadDidStartNotification =
    "VKDownloadManagerDownloadDidStartNotification";
inline constexpr const char* VKDownloadManagerDownloadDidFinishNotification =
    "VKDownloadManagerDownloadDidFinishNotification";
inline constexpr const char* VKDownloadManagerDownloadDidFailNotification =
    "VKDownloadManagerDownloadDidFailNotification";
inline constexpr const char* VKDownloadFileResourceDidDeleteDownloadNotification =
    "VKDownloadFileResourceDidDeleteDownloadNotification";

// What the file model uses of the download manager, which sits above it:
// the download items placed in a folder (listed with its children) and the
// removal of one. The application wires them in at start-up; without them
// there are no downloads.
class VKDownloadHooks : public VKHookSlot<VKDownloadHooks> {
public:
    virtual ~VKDownloadHooks() = default;

    // Every download item, web or cloud, finished or not, whose path lies
    // directly in the folder.
    virtual std::vector<std::shared_ptr<VKFileResource>> downloadsForTargetFolder(const std::string& folder) = 0;
    // Removes the download with its partial data and state files.
    virtual void deleteDownloadResource(const std::shared_ptr<VKFileResource>& resource) = 0;
    // Web downloads not finished yet (the browser's downloads badge).
    virtual int webDownloadCount() { return 0; }
    // An unfinished download's file is to land at `path` instead (its folder
    // was moved or renamed, or the item itself).
    virtual void updateDownloadPath(const std::shared_ptr<VKFileResource>& resource, const std::string& path)
    {
        (void)resource;
        (void)path;
    }
};

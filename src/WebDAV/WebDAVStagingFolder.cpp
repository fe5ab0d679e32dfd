#include "WebDAV/WebDAVStagingFolder.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"

#include <sys/stat.h>

std::string WebDAVStagingFolder::path()
{
    std::string folder = core::paths::temporaryDirectory() + "WebDAV";
    mkdir(folder.c_str(), 0700);
    return folder;
}

std::string WebDAVStagingFolder::pathForItem(const std::string& target, std::string_view tag)
{
    const std::string folder = path();
    struct stat staging {};
    struct stat destination {};
    if (stat(folder.c_str(), &staging) != 0
        || stat(core::path::deletingLastPathComponent(target).c_str(), &destination) != 0
        || staging.st_dev != destination.st_dev)
        return core::fs::hiddenSiblingPath(target, tag);
    return core::fs::hiddenSiblingPath(
        core::path::appendingPathComponent(folder, core::path::lastPathComponent(target)), tag);
}

void WebDAVStagingFolder::removeAbandonedItems()
{
    const std::string folder = path();
    for (const auto& name : core::fs::contentsOfDirectory(folder).value_or(std::vector<std::string> {})) {
        core::Error error;
        if (!core::fs::removeItem(core::path::appendingPathComponent(folder, name), &error))
            core::log("Warning, removeItemAtPath failed: {}", error.description());
    }
}

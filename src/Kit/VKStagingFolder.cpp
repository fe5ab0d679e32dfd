#include "Kit/VKStagingFolder.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/UUID.h"

#include <fmt/format.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string stagingRoot()
{
    std::string folder = core::paths::temporaryDirectory() + "Staging";
    mkdir(folder.c_str(), 0700);
    return folder;
}

// The name of this run's folder: fixed for the process (a forked child is
// a run of its own), never an earlier run's.
std::string runName()
{
    static std::mutex mutex;
    static pid_t owner = 0;
    static std::string name;
    std::lock_guard lock(mutex);
    if (owner != getpid()) {
        owner = getpid();
        name = fmt::format("{}-{}", owner, core::uuidString());
    }
    return name;
}

} // namespace

std::string VKStagingFolder::path()
{
    std::string folder = core::path::appendingPathComponent(stagingRoot(), runName());
    mkdir(folder.c_str(), 0700);
    return folder;
}

std::string VKStagingFolder::pathForItem(const std::string& target, std::string_view tag)
{
    return pathForItemIn(path(), target, tag);
}

void VKStagingFolder::removeAbandonedItems()
{
    removeItemsIn(stagingRoot(), runName());
}

std::string VKStagingFolder::pathForItemIn(const std::string& folder, const std::string& target, std::string_view tag)
{
    struct stat staging {};
    struct stat destination {};
    if (stat(folder.c_str(), &staging) != 0
        || stat(core::path::deletingLastPathComponent(target).c_str(), &destination) != 0
        || staging.st_dev != destination.st_dev)
        return core::fs::hiddenSiblingPath(target, tag);
    return core::fs::hiddenSiblingPath(
        core::path::appendingPathComponent(folder, core::path::lastPathComponent(target)), tag);
}

void VKStagingFolder::removeItemsIn(const std::string& folder, std::string_view kept)
{
    for (const auto& name : core::fs::contentsOfDirectory(folder).value_or(std::vector<std::string> {})) {
        if (name == kept)
            continue;
        core::Error error;
        if (!core::fs::removeItem(core::path::appendingPathComponent(folder, name), &error))
            core::log("Warning, failed to remove an abandoned item: {}", error.description());
    }
}

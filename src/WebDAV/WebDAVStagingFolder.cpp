#include "WebDAV/WebDAVStagingFolder.h"

#include "Kit/VKStagingFolder.h"
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
    return VKStagingFolder::pathForItemIn(path(), target, tag);
}

void WebDAVStagingFolder::removeAbandonedItems()
{
    VKStagingFolder::removeItemsIn(path());
}

#include "Downloads/VKDownloadManagerHooks.h"

#include "Downloads/VKDownloadFileResource.h"
#include "Downloads/VKDownloadManager.h"

void VKDownloadManagerHooks::install()
{
    VKDownloadHooks::setCurrent(std::make_shared<VKDownloadManagerHooks>());
}

std::vector<std::shared_ptr<VKFileResource>> VKDownloadManagerHooks::downloadsForTargetFolder(const std::string& folder)
{
    return VKDownloadManager::sharedManager()->downloadsForTargetFolder(folder);
}

void VKDownloadManagerHooks::deleteDownloadResource(const std::shared_ptr<VKFileResource>& resource)
{
    if (auto item = std::dynamic_pointer_cast<VKDownloadFileResource>(resource))
        VKDownloadManager::sharedManager()->deleteDownloadResource(item);
}

int VKDownloadManagerHooks::webDownloadCount()
{
    return static_cast<int>(VKDownloadManager::sharedManager()->webDownloads().size());
}

void VKDownloadManagerHooks::updateDownloadPath(const std::shared_ptr<VKFileResource>& resource, const std::string& path)
{
    if (auto item = std::dynamic_pointer_cast<VKDownloadFileResource>(resource))
        item->updatePath(path);
}

#include "App/VKAppDownloadManagerHooks.h"

#include "Downloads/VKDownloadManager.h"
#include "Downloads/VKDownloadManagerHooks.h"

void VKAppDownloadManagerHooks::initializeDownloads()
{
    // The file model lists downloads among a folder's files from now on.
    VKDownloadManagerHooks::install();
    VKDownloadManager::sharedManager()->initializeDownloads();
}

bool VKAppDownloadManagerHooks::hasActiveDownloads() const
{
    return VKDownloadManager::sharedManager()->hasActiveDownloads();
}

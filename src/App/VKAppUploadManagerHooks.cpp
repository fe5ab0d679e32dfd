#include "App/VKAppUploadManagerHooks.h"

#include "Cloud/Operations/VKCloudUploadManager.h"

void VKAppUploadManagerHooks::initializeUploads()
{
    VKCloudUploadManager::sharedManager()->initializeUploads();
}

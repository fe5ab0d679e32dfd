#include "App/VKAppUploadManagerHooks.h"

#include "CloudOperations/VKCloudUploadManager.h"

void VKAppUploadManagerHooks::initializeUploads()
{
    VKCloudUploadManager::sharedManager()->initializeUploads();
}

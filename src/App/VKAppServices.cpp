#include "App/VKAppServices.h"

#include "App/FolderBrowser/VKCloudFolderController.h"
#include "App/VKAppDownloadManagerHooks.h"
#include "App/VKAppServiceHooks.h"
#include "App/VKAppTransferQuestions.h"
#include "App/VKAppUploadManagerHooks.h"
#include "Shell/VKApplication.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudServicesManager.h"
#include "CloudOperations/VKCloudUploadHooks.h"
#include "Downloads/VKTransferQuestions.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKContentIndexManager.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKThumbnailManager.h"
#include "HTTP/HTTPServer.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/VKFunctions.h"
#include "Kit/VKStagingFolder.h"
#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Thread.h"
#include "WebDAV/WebDAVDeleteResponse.h"

#include <sys/resource.h>

void VKAppServices::prepare()
{
    core::DateFormatter::setDefaultLocale(VKApplication::currentLanguage());
    setTrashPathProvider([] { return VKApplication::sharedApplication()->metadataSubdirectory("Trash"); });
    // Every connection is a descriptor: take all the system allows.
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void VKAppServices::openCloudMirror()
{
    // Services first (each makes its folder), then the store, which a new or
    // emptied mirror fills with the services' folders; only then does the
    // file model take items under the servers folder from the mirror.
    VKCloudServicesManager::registerCloudServices();
    auto store = VKCloudFileStore::sharedStore();
    if (store && store->isBootstrapRequired())
        store->bootstrapCloudFileStore();
    VKCloudHooks::setCurrent(std::make_shared<VKCloudUploadHooks>());
    VKCloudFolderController::registerCloudScreens();
    VKAppUploadHooks::setCurrent(std::make_shared<VKAppUploadManagerHooks>());
    // Uploads a previous run left pending show paused, to be resumed by hand.
    VKAppUploadHooks::current()->initializeUploads();
}

void VKAppServices::openFilesAndTransfers()
{
    VKFileSettingsManager::defaultManager();
    VKFileSettingsManager::installTrashItemRemovalHook();
    initializeTrash();
    // What a killed run left half made: this run stages in a folder of its own.
    core::Thread::detach("VKStagingSweep", [] {
        const auto settled = VKStagingFolder::removeAbandonedItems();
        if (auto quota = VKQuotaManager::defaultManager(); quota && !settled.empty())
            quota->updateQuotaForPaths(settled);
    });
    if (!VKTransferQuestions::current())
        VKTransferQuestions::setCurrent(std::make_shared<VKAppTransferQuestions>());
    if (!VKAppDownloadHooks::current())
        VKAppDownloadHooks::setCurrent(std::make_shared<VKAppDownloadManagerHooks>());
    VKAppDownloadHooks::current()->initializeDownloads();
}

void VKAppServices::pruneCaches()
{
    if (auto thumbnails = VKThumbnailManager::sharedManager())
        thumbnails->pruneCaches();
    if (auto indexes = VKContentIndexManager::sharedManager())
        indexes->pruneContextIndexesInBackground();
}

void VKAppServices::forgetItem(const std::string& path)
{
    if (auto resource = VKFileResource::resourceWithPath(path)) {
        if (auto thumbnails = VKThumbnailManager::sharedManager())
            thumbnails->removeCacheForResource(*resource);
        if (auto indexes = VKContentIndexManager::sharedManager())
            indexes->removeCacheForResource(*resource);
    }
    if (auto settings = VKFileSettingsManager::defaultManager())
        settings->removeBookmarksAndSettingsForItemAtPath(path);
}

core::Observation VKAppServices::observeDeletions()
{
    return core::NotificationCenter::defaultCenter().observe(WebDAVWillDeleteResourceNotification, nullptr,
        [](const WebDAVItemNews& item) {
            if (!item.path.empty())
                forgetItem(item.path);
        });
}

void VKAppServices::emptyTemporaryFolder()
{
    const auto temporary = VKTemporaryDirectory();
    for (const auto& name : core::fs::contentsOfDirectory(temporary).value_or(std::vector<std::string> {})) {
        core::Error error;
        if (!core::fs::removeItem(core::path::appendingPathComponent(temporary, name), &error))
            core::log("Warning, removeItemAtPath failed: {}", error.description());
    }
}

void VKAppServices::release()
{
    VKCloudHooks::setCurrent(nullptr);
    VKAppUploadHooks::setCurrent(nullptr);
    VKAppDownloadHooks::setCurrent(nullptr);
    VKTransferQuestions::setCurrent(nullptr);
}

bool VKAppServices::isNetworkActive(const HTTPServer* server)
{
    if (server && server->numberOfHTTPConnections() > 0)
        return true;
    if (auto downloads = VKAppDownloadHooks::current(); downloads && downloads->hasActiveDownloads())
        return true;
    auto uploads = VKCloudHooks::current();
    return uploads && uploads->hasActiveUploads();
}

#include "Support/Cloud/TestCloudService.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/URLRequest.h"
#include "Support/Cloud/TestCloudServiceAccount.h"

namespace test {

std::shared_ptr<TestCloudService> TestCloudService::install(const std::string& key)
{
    auto service = std::make_shared<TestCloudService>(key,
        core::path::appendingPathComponent(VKHomeLayout::current()->serversDirectory(), key));
    VKCloudServicesManager::sharedManager()->registerCloudService([service] { return service; }, key);
    return service;
}

TestCloudService::TestCloudService(std::string key, std::string localPath)
    : VKConcreteCloudService(std::move(localPath))
    , m_name(std::move(key))
{
}

void TestCloudService::call(std::string text, Callback callback)
{
    record(text);
    if (callback)
        m_callbacks.push_back({ std::move(text), std::move(callback) });
}

std::shared_ptr<TestCloudServiceAccount> TestCloudService::testAccount()
{
    if (!m_account)
        m_account = std::make_shared<TestCloudServiceAccount>(std::static_pointer_cast<VKCloudService>(shared_from_this()));
    return m_account;
}

std::shared_ptr<VKCloudServiceAccount> TestCloudService::account()
{
    return testAccount();
}

void TestCloudService::removeLocalStorage()
{
    call("removeLocalStorage");
}

void TestCloudService::fetchThumbnailForItemAtPath(const std::string& cloudPath, const std::string& destination,
    int sizeFlag, Callback callback)
{
    call("fetchThumbnail " + cloudPath + " " + destination + " " + std::to_string(sizeFlag), std::move(callback));
}

void TestCloudService::cancelUploadOfItemAtPath(const std::string& cloudPath)
{
    call("cancelUpload " + cloudPath);
}

bool TestCloudService::isUploadingItemAtPath(const std::string& cloudPath)
{
    call("isUploading " + cloudPath);
    return false;
}

void TestCloudService::uploadResource(const Resource& resource, Callback callback)
{
    call("uploadResource " + (resource ? resource->cloudPath() : std::string("(none)")), std::move(callback));
}

std::optional<core::URLRequest> TestCloudService::streamingURLRequestForPath(const std::string& cloudPath)
{
    call("streamingURLRequest " + cloudPath);
    return m_streamingRequest;
}

bool TestCloudService::isFetchingItemAtPath(const std::string& cloudPath)
{
    call("isFetching " + cloudPath);
    return m_fetching;
}

void TestCloudService::cancelFetchOfItemAtPath(const std::string& cloudPath)
{
    call("cancelFetch " + cloudPath);
}

void TestCloudService::fetchResource(const Resource& resource, Callback callback)
{
    call("fetchResource " + (resource ? resource->cloudPath() : std::string("(none)")), std::move(callback));
}

void TestCloudService::copyPath(const std::string& from, const std::string& to, Callback callback)
{
    call("copyPath " + from + " " + to, std::move(callback));
}

void TestCloudService::movePath(const std::string& from, const std::string& to, Callback callback)
{
    call("movePath " + from + " " + to, std::move(callback));
}

void TestCloudService::deletePath(const std::string& path, Callback callback)
{
    call("deletePath " + path, std::move(callback));
}

void TestCloudService::createDirectoryAtPath(const std::string& path, Callback callback)
{
    call("createDirectory " + path, std::move(callback));
}

void TestCloudService::itemExistsAtPath(const std::string& path, Callback callback)
{
    call("itemExists " + path, std::move(callback));
}

bool TestCloudService::isUpdatingMetadataForResource(const Resource& resource)
{
    call("isUpdatingMetadata " + (resource ? resource->cloudPath() : std::string("(none)")));
    return false;
}

void TestCloudService::updateMetadataForResource(const Resource& resource, Callback callback)
{
    call("updateMetadata " + (resource ? resource->cloudPath() : std::string("(none)")), std::move(callback));
}

void TestCloudService::unlink()
{
    call("unlink");
    m_linked = false;
    postNotificationName(VKCloudServiceDidUnlinkNotification);
}

} // namespace test

#include "RootFolderTestCase.h"

#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"

#include <gtest/gtest.h>

namespace test {

void RootFolderTestCase::SetUp()
{
    FolderListingTestCase::SetUp();
    core::UserDefaults::standard()->set("DeviceName", core::Value("Test Device"));
    VKCloudServicesManager::resetForTesting();
    VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
}

void RootFolderTestCase::TearDown()
{
    FolderListingTestCase::TearDown();
    VKCloudHooks::setCurrent(nullptr);
    VKCloudServicesManager::resetForTesting();
    VKCloudFileStore::resetForTesting();
}

std::shared_ptr<TestCloudService> RootFolderTestCase::installService(const std::string& key, bool linked)
{
    auto service = TestCloudService::install(key);
    service->setLinked(linked);
    auto store = VKCloudFileStore::sharedStore();
    if (!store->managedObjectForPath(service->localPath())) {
        auto node = store->insertObjectForPath(service->localPath());
        EXPECT_TRUE(node) << key;
        if (node)
            node->setIsDirectory(true);
        EXPECT_TRUE(store->saveContext());
    }
    return service;
}

std::string RootFolderTestCase::makeCloudFolder(TestCloudService& service, const std::string& relative)
{
    auto store = VKCloudFileStore::sharedStore();
    std::string path = service.localPath();
    for (const auto& component : core::path::pathComponents(relative)) {
        path = core::path::appendingPathComponent(path, component);
        if (store->managedObjectForPath(path))
            continue;
        auto node = store->insertObjectForPath(path);
        EXPECT_TRUE(node) << path;
        if (node)
            node->setIsDirectory(true);
    }
    EXPECT_TRUE(store->saveContext());
    return path;
}

std::string RootFolderTestCase::makeFolder(const std::string& path)
{
    EXPECT_TRUE(core::fs::createDirectory(path, true)) << path;
    rescan(core::path::deletingLastPathComponent(path));
    return core::path::standardizingPath(path);
}

void RootFolderTestCase::rescan(const std::string& path)
{
    VKQuotaManager::defaultManager()->updateQuotaForPath(path);
    runLoop();
}

} // namespace test

// Removing the local mirror, unlinking, and the account's name and quota.

#include "Cloud/CloudServiceTestCase.h"
#include "Cloud/VKDropboxAccount.h"
#include "Cloud/VKCloudServicesManager.h"
#include "DropboxSDK/UI/DBLoginController.h"
#include "DropboxSDK/UI/DBLoginControllerDelegate.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/NotificationRecorder.h"

class VKDropboxCloudServiceAccountTest : public test::CloudServiceTestCase {
protected:
    test::FakeCloudServer::Options serverOptions() const override
    {
        test::FakeCloudServer::Options options;
        options.quota = 50000000000;
        return options;
    }
};

TEST_F(VKDropboxCloudServiceAccountTest, TheProgramsServiceIsMadeOnceWithItsConstants)
{
    VKCloudServicesManager::registerCloudServices();
    auto registered = VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey("Dropbox");
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered, VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey("Dropbox"));
    EXPECT_EQ(registered->localPath(), serverPath("Dropbox"));
    EXPECT_TRUE(std::filesystem::is_directory(serverPath("Dropbox")));
    EXPECT_FALSE(registered->isCaseSensitive());
    EXPECT_EQ(registered->uploadSizeLimit(), 314572800u);
    EXPECT_EQ(DBSession::sharedSession()->delegate(), std::dynamic_pointer_cast<DBSessionDelegate>(registered));
}

TEST_F(VKDropboxCloudServiceAccountTest, QuotaAndUserName)
{
    std::vector<VKCloudAccountInfo> loaded;
    std::vector<std::shared_ptr<core::Object>> loadedBy;
    auto loading = core::NotificationCenter::defaultCenter().observe(VKCloudServiceAccountDidLoadInfoNotification, nullptr,
        [&](const VKCloudAccountInfo& info, const core::Notification& notification) {
            loaded.push_back(info);
            loadedBy.push_back(notification.object());
        });
    test::NotificationRecorder failed(VKCloudServiceAccountLoadInfoFailedNotification);
    auto account = service->account();
    EXPECT_EQ(account, service->account());
    EXPECT_EQ(account->associatedCloudService(), service);
    auto first = std::dynamic_pointer_cast<DBLoginController>(account->loginViewController());
    ASSERT_TRUE(first);
    EXPECT_NE(first, account->loginViewController());
    EXPECT_EQ(first->delegate(), std::dynamic_pointer_cast<DBLoginControllerDelegate>(account));

    account->loadQuotaInfo();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !loaded.empty(); }, 20)) << server->errors();
    EXPECT_EQ(loadedBy[0], account);
    EXPECT_EQ(loaded[0].totalBytes, 50000000000);
    EXPECT_GE(loaded[0].usedBytes, 0);

    server->addFault(R"({"endpoint":"account/info","status":500})");
    account->loadQuotaInfo();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !failed.received.empty(); }, 20));
    EXPECT_EQ(loaded.size(), 1u);

    core::UserDefaults::standard()->set(VKDropboxAccountUserNameKey, core::Value("demo@example.com"));
    EXPECT_EQ(account->userName(), "demo@example.com");
    service->unlink();
    EXPECT_FALSE(account->userName());
}

TEST_F(VKDropboxCloudServiceAccountTest, RemovingLocalStorageCancelsFetchesAndEmptiesTheRoot)
{
    cloudFile("/slow.bin", std::string(1000, 's'));
    mirror("/slow.bin");
    cached("/kept/old.txt", "old");
    server->addFault(R"({"endpoint":"metadata","stall":"m"})");
    service->fetchResource(resource("/slow.bin"), callbacks);
    service->removeLocalStorage();
    EXPECT_EQ(callbacks->events, (std::vector<std::string> { "fetchCancelled /slow.bin" }));
    EXPECT_TRUE(service->fetchClients().empty());
    EXPECT_TRUE(std::filesystem::is_directory(service->localPath()));
    EXPECT_TRUE(std::filesystem::is_empty(service->localPath()));
    server->release("m");

    // A root that cannot go to the trash stays, and is said so.
    setTrashPathProvider([] { return std::string(); });
    cached("/again.txt", "x");
    service->removeLocalStorage();
    EXPECT_TRUE(logContains("Warning, moveItemAtPathToTrash failed for cloud root: ~/"));
    EXPECT_TRUE(onDisk("/again.txt"));
}

TEST_F(VKDropboxCloudServiceAccountTest, UnlinkForgetsEverything)
{
    test::NotificationRecorder unlinked(VKCloudServiceDidUnlinkNotification);
    mirror("/Docs", true);
    mirror("/Docs/a.txt", false, 1, 1);
    cached("/Docs/a.txt", "a");
    // An answer that arrives after the unlink reaches nobody.
    server->addFault(R"({"endpoint":"fileops/copy","delay":0.3})");
    service->copyPath("/x", "/y", callbacks);
    service->unlink();
    EXPECT_TRUE(service->restClients().empty());
    EXPECT_FALSE(service->isLinked());
    EXPECT_TRUE(core::UserDefaults::standard()->object(kDBDropboxSavedCredentialsKey).isNull());
    EXPECT_FALSE(mirrorNode("/Docs"));
    EXPECT_FALSE(store()->managedObjectForPath(service->localPath()));
    EXPECT_FALSE(onDisk("/Docs/a.txt"));
    EXPECT_TRUE(std::filesystem::is_directory(service->localPath()));
    ASSERT_EQ(unlinked.received.size(), 1u);
    EXPECT_EQ(unlinked.senders[0], service);
    core::RunLoop::main().runUntil([] { return false; }, 0.6);
    EXPECT_TRUE(callbacks->events.empty());
}

TEST_F(VKDropboxCloudServiceAccountTest, ALoginKeepsTheNameGivesTheFolderANodeAndIsTold)
{
    test::NotificationRecorder didLogin(VKCloudServiceAccountDidLoginNotification);
    test::NotificationRecorder didCancel(VKCloudServiceAccountDidCancelLoginNotification);
    auto account = std::dynamic_pointer_cast<VKDropboxAccount>(service->account());
    auto form = std::dynamic_pointer_cast<DBLoginController>(account->loginViewController());
    form->setUserName("demo@example.com");

    auto store = VKCloudFileStore::sharedStore();
    if (auto node = store->managedObjectForPath(service->localPath())) {
        store->deleteObject(node);
        store->saveContext();
    }
    ASSERT_FALSE(store->managedObjectForPath(service->localPath()));
    account->loginControllerDidLogin(*form);
    EXPECT_EQ(core::UserDefaults::standard()->object(VKDropboxAccountUserNameKey), core::Value("demo@example.com"));
    EXPECT_EQ(account->userName(), "demo@example.com");
    auto node = store->managedObjectForPath(service->localPath());
    ASSERT_TRUE(node);
    EXPECT_TRUE(node->isDirectory());
    ASSERT_EQ(didLogin.senders.size(), 1u);
    EXPECT_EQ(didLogin.senders[0], account);

    // A second login keeps the node it finds.
    account->loginControllerDidLogin(*form);
    EXPECT_EQ(store->managedObjectForPath(service->localPath()), node);
    EXPECT_TRUE(didCancel.senders.empty());

    account->loginControllerDidCancel(*form);
    ASSERT_EQ(didCancel.senders.size(), 1u);
    EXPECT_EQ(didCancel.senders[0], account);
    EXPECT_EQ(didLogin.senders.size(), 2u);
}

#include "Cloud/VKCloudServicesManager.h"

#include "CloudTestCase.h"
#include "Cloud/StringCloudAdditions.h"
#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudServiceAccount.h"
#include "Cloud/VKCloudServiceDelegate.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKFileOperation.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/ErrorValue.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Support/Cloud/TestCloudService.h"
#include "Support/NotificationRecorder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class VKCloudServicesManagerTest : public test::CloudTestCase {
protected:
    static std::shared_ptr<VKCloudServicesManager> manager() { return VKCloudServicesManager::sharedManager(); }
};

TEST_F(VKCloudServicesManagerTest, ServicesAreFoundByKeyPathAndResource)
{
    auto dropbox = test::TestCloudService::install("Dropbox");
    auto box = test::TestCloudService::install("Box");
    EXPECT_TRUE(core::fs::isDirectory(serverPath("Dropbox")));
    EXPECT_EQ(manager()->cloudServiceForRegisteredKey("Dropbox"), dropbox);
    EXPECT_EQ(manager()->cloudServiceForRegisteredKey("Dropbox"), dropbox);
    EXPECT_FALSE(manager()->cloudServiceForRegisteredKey("Nope"));
    EXPECT_TRUE(logContains("Warning, no VKCloudService registered for key: Nope"));

    EXPECT_FALSE(manager()->cloudServiceForPath(home() + "/Documents/Dropbox/a.txt"));
    EXPECT_FALSE(manager()->cloudServiceForPath(servers()));
    EXPECT_FALSE(manager()->cloudServiceForPath(servers() + "2/Dropbox/a.txt"));
    EXPECT_EQ(manager()->cloudServiceForPath(serverPath("Dropbox")), dropbox);
    EXPECT_EQ(manager()->cloudServiceForPath(serverPath("Dropbox/A/b.txt")), dropbox);
    EXPECT_EQ(manager()->cloudServiceForPath(serverPath("Box/x")), box);
    VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
    makeNode("Box", true);
    EXPECT_EQ(manager()->cloudServiceForResource(*VKFileResource::resourceWithPath(serverPath("Box"))), box);

    EXPECT_EQ(manager()->registeredServiceKeys(), (std::vector<std::string> { "Box", "Dropbox" }));
    EXPECT_TRUE(manager()->linkedServiceKeys().empty());
    EXPECT_FALSE(manager()->hasLinkedServices());
    dropbox->setLinked(true);
    EXPECT_EQ(manager()->linkedServiceKeys(), (std::vector<std::string> { "Dropbox" }));
    EXPECT_TRUE(manager()->hasLinkedServices());
    EXPECT_EQ(dropbox->account()->associatedCloudService(), dropbox);

    // The program registers its one service, made on first lookup.
    VKCloudServicesManager::resetForTesting();
    VKCloudServicesManager::registerCloudServices();
    EXPECT_EQ(manager()->registeredServiceKeys(), (std::vector<std::string> { "Dropbox" }));
}

TEST_F(VKCloudServicesManagerTest, CloudAndLocalPaths)
{
    auto service = test::TestCloudService::install("Dropbox");
    EXPECT_EQ(service->localPath(), serverPath("Dropbox"));
    EXPECT_EQ(service->cloudPathForLocalPath(serverPath("Dropbox")), "/");
    EXPECT_EQ(service->cloudPathForLocalPath(serverPath("Dropbox/A/b.txt")), "/A/b.txt");
    EXPECT_FALSE(service->cloudPathForLocalPath(serverPath("Dropbox2/b.txt")));
    EXPECT_EQ(service->localPathForCloudPath("/A/b.txt"), serverPath("Dropbox/A/b.txt"));
    EXPECT_EQ(service->localPathForCloudPath("/"), serverPath("Dropbox"));
    EXPECT_FALSE(service->localPathForCloudPath("/../../Documents/secret"));
    EXPECT_FALSE(service->localPathForCloudPath("/A/./b"));
    EXPECT_FALSE(service->localPathForCloudPath(std::string("/a\0b", 4)));

    EXPECT_FALSE(stringByConvertingToCloudPath(servers()));
    EXPECT_FALSE(stringByConvertingToCloudPath(home() + "/Documents/A"));
    EXPECT_FALSE(stringByConvertingToCloudPath(servers() + "2/Dropbox/A"));
    EXPECT_EQ(stringByConvertingToCloudPath(serverPath("Dropbox")), "/");
    EXPECT_EQ(stringByConvertingToCloudPath(serverPath("Dropbox/A/b.txt")), "/A/b.txt");

    // The case-insensitive second lookup, for services that ignore case.
    makeNode("Dropbox", true);
    makeNode("Dropbox/A", true);
    makeNode("Dropbox/A/b.txt");
    EXPECT_FALSE(service->resourceForCloudPath("/a/B.TXT"));
    service->setCaseSensitive(false);
    auto found = service->resourceForCloudPath("/a/B.TXT");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->path(), serverPath("Dropbox/A/b.txt"));
    EXPECT_EQ(service->resourceForCloudPath("/A/b.txt")->managedObject(), found->managedObject());
    EXPECT_FALSE(service->resourceForCloudPath("/A/c.txt"));
}

TEST_F(VKCloudServicesManagerTest, DeletingAResourceTrashesItsCopyFirst)
{
    auto service = test::TestCloudService::install("Dropbox");
    makeNode("Dropbox", true);
    auto stored = service->insertCloudFileResourceForPath(serverPath("Dropbox/stored.txt"));
    auto remote = service->insertCloudFileResourceForPath(serverPath("Dropbox/remote.txt"));
    auto folder = service->insertCloudDirectoryResourceForPath(serverPath("Dropbox/Folder"));
    ASSERT_TRUE(stored && remote && folder);
    EXPECT_TRUE(folder->isDirectory());
    EXPECT_FALSE(service->insertCloudFileResourceForPath(serverPath("Dropbox/stored.txt")));
    EXPECT_TRUE(logContains("insertFileResourceForPath error:"));
    EXPECT_FALSE(service->insertCloudDirectoryResourceForPath(serverPath("Nowhere/Folder")));
    EXPECT_TRUE(logContains("insertDirectoryResourceForPath error:"));
    ASSERT_TRUE(store()->saveContext());
    std::string copy = makeFile("Library/Servers/Dropbox/stored.txt", "cached");

    EXPECT_TRUE(service->deleteCloudResource(remote));
    EXPECT_FALSE(remote->exists());

    // Without a trash the copy stays, and so does the node.
    setTrashPathProvider([] { return std::string(); });
    EXPECT_FALSE(service->deleteCloudResource(stored));
    EXPECT_TRUE(logContains("Warning, failed to delete resource cache"));
    EXPECT_TRUE(stored->exists());
    EXPECT_TRUE(core::fs::exists(copy));

    setTrashPathProvider([] { return VKHomeLayout::current()->trashDirectory(); });
    EXPECT_TRUE(service->deleteCloudResource(stored));
    EXPECT_FALSE(stored->exists());
    EXPECT_FALSE(core::fs::exists(copy));
    ASSERT_TRUE(store()->saveContext());
    EXPECT_EQ(sqlite("SELECT group_concat(name) FROM VKCloudManagedObject WHERE parent = "
                     "(SELECT id FROM VKCloudManagedObject WHERE name = 'Dropbox')"),
        "Folder");
}

TEST_F(VKCloudServicesManagerTest, LocalUsedBytesCountsItemsAsLinks)
{
    auto service = test::TestCloudService::install("Dropbox");
    makeFile("Library/Servers/Dropbox/ten.bin", std::string(10, 'x'));
    makeFile("Library/Servers/Dropbox/Sub/twenty.bin", std::string(20, 'y'));
    std::string outside = makeFile("Documents/big.bin", std::string(100000, 'z'));
    ASSERT_EQ(symlink(outside.c_str(), serverPath("Dropbox/link").c_str()), 0);
    int64_t expected = 0;
    for (const char* item : { "ten.bin", "Sub", "Sub/twenty.bin", "link" }) {
        struct stat status {};
        ASSERT_EQ(lstat(serverPath(std::string("Dropbox/") + item).c_str(), &status), 0);
        expected += status.st_size;
    }
    EXPECT_EQ(service->localUsedBytes(), expected);
    EXPECT_LT(service->localUsedBytes(), 100000);
}

TEST_F(VKCloudServicesManagerTest, NotificationsCarryPathsAndErrorsOnlyWhenGiven)
{
    EXPECT_STREQ(VKCloudServiceAccountLoginFailedNotification, "VKCloudServiceAccountLoginFailedNotification");

    auto service = test::TestCloudService::install("Dropbox");
    test::NoticeRecorder updates(VKCloudServiceDidUpdateMetadataNotification);
    service->postNotificationName(VKCloudServiceDidUpdateMetadataNotification, "/A/b.txt");
    service->postNotificationName(VKCloudServiceDidUpdateMetadataNotification);
    service->postNotificationName(VKCloudServiceDidUpdateMetadataNotification, "/A",
        core::Error(core::Error::POSIXDomain, 2, "gone"));
    ASSERT_EQ(updates.received.size(), 3u);
    EXPECT_EQ(updates.senders[0], service);
    EXPECT_EQ(updates.received[0].cloudPath, "/A/b.txt");
    EXPECT_EQ(updates.received[0].localPath, serverPath("Dropbox/A/b.txt"));
    EXPECT_FALSE(updates.received[0].error);
    EXPECT_EQ(updates.received[1].cloudPath + updates.received[1].localPath, "");
    EXPECT_FALSE(updates.received[1].error);
    EXPECT_EQ(updates.received[2].cloudPath, "/A");
    const auto& error = updates.received[2].error;
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->is(core::Error::POSIXDomain, 2));

    test::NotificationRecorder unlinks(VKCloudServiceDidUnlinkNotification, service);
    service->unlink();
    EXPECT_EQ(unlinks.received.size(), 1u);
}

class Thumbnails : public VKCloudThumbnailCallback {
public:
    void thumbnailFetchCompleted(const std::string& service, const std::string& cloudPath,
        const std::string& destination) override
    {
        heard.push_back("completed " + service + " " + cloudPath + " " + destination);
    }
    void thumbnailFetchFailed(const std::string& service, const std::string& cloudPath) override
    {
        heard.push_back("failed " + service + " " + cloudPath);
    }
    std::vector<std::string> heard;
};

class EndingOperation : public VKFileOperation {
public:
    using VKFileOperation::VKFileOperation;
    void run() override { }
    std::string localizedErrorDescription() override { return "failed"; }
    void end() { sendDidEndDelegateMessage(); }
};

// What the file model asks of the cloud layer reaches the store and the
// service.
TEST_F(VKCloudServicesManagerTest, FileModelHooksReachTheStoreAndTheService)
{
    auto service = test::TestCloudService::install("Dropbox");
    VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
    makeNode("Dropbox", true);
    makeNode("Dropbox/photo.jpg", false, 10);
    makeNode("Dropbox/gone.txt", false, 1);
    ASSERT_TRUE(store()->saveContext());

    // A removal through the file model loses the node, saved at once.
    std::string copy = makeFile("Library/Servers/Dropbox/gone.txt", "x");
    auto gone = VKFileResource::resourceWithPath(serverPath("Dropbox/gone.txt"));
    ASSERT_TRUE(gone);
    EXPECT_EQ(moveFileResourceToTrash(gone), VKRemoveResultDone);
    EXPECT_FALSE(core::fs::exists(copy));
    EXPECT_EQ(sqlite("SELECT count(*) FROM VKCloudManagedObject WHERE name = 'gone.txt'"), "0");

    // A file operation's end saves the shared store.
    makeNode("Dropbox/pending.txt");
    auto operation = std::make_shared<EndingOperation>(std::vector<std::shared_ptr<VKFileResource>> {});
    operation->end();
    EXPECT_FALSE(store()->contextHasChanges());
    EXPECT_EQ(sqlite("SELECT count(*) FROM VKCloudManagedObject WHERE name = 'pending.txt'"), "1");

    // A thumbnail request goes to the service; its answer to the callback.
    auto thumbnails = std::make_shared<Thumbnails>();
    auto hooks = VKCloudHooks::current();
    auto photo = VKFileResource::resourceWithPath(serverPath("Dropbox/photo.jpg"));
    hooks->fetchThumbnail(*photo, "/cache/X.jpg", 0, thumbnails);
    ASSERT_EQ(service->callbacks().size(), 1u);
    EXPECT_EQ(service->callbacks()[0].text, "fetchThumbnail /photo.jpg /cache/X.jpg 0");
    service->lastCallback()->cloudServiceThumbnailFetchCompletedForPath(*service, "/photo.jpg", "/cache/X.jpg");
    service->lastCallback()->cloudServiceThumbnailFetchFailedForPath(*service, "/photo.jpg");
    EXPECT_EQ(thumbnails->heard, (std::vector<std::string> { "completed Dropbox /photo.jpg /cache/X.jpg",
                                     "failed Dropbox /photo.jpg" }));
    auto again = hooks->resourceForCloudPath("Dropbox", "/photo.jpg");
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->isEqual(*photo));
    EXPECT_FALSE(hooks->resourceForCloudPath("Nope", "/photo.jpg"));
}

} // namespace

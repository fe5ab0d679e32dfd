// The upload queue against the fake cloud service: states kept in the store
// file across a restart, two uploads at a time, the overall progress, the
// overwrite question of a resumed upload and the end of background time.

#include "CloudOperations/UploadTestCase.h"
#include "CloudOperations/VKCloudUploadHooks.h"
#include "Platform/Core/BackgroundTask.h"
#include "Platform/UI/Application.h"
#include "Support/NotificationRecorder.h"

#include <fmt/format.h>

class VKCloudUploadManagerTest : public test::UploadTestCase {
protected:
    void SetUp() override
    {
        UploadTestCase::SetUp();
        cloudAndMirrorFolder("/Q");
        manager = VKCloudUploadManager::sharedManager();
    }
    void TearDown() override
    {
        VKCloudHooks::setCurrent(nullptr);
        manager.reset();
        UploadTestCase::TearDown();
    }
    // A staged file of the queue: node (saved) and its copy in the mirror.
    VKCloudService::Resource staged(const std::string& cloudPath, const std::string& contents)
    {
        cached(cloudPath, contents);
        mirror(cloudPath, false, static_cast<int64_t>(contents.size()));
        return resource(cloudPath);
    }
    std::string stateInFile(const std::string& name)
    {
        return sqlite("SELECT uploadState FROM VKCloudManagedObject WHERE name = '" + name + "'");
    }

    std::shared_ptr<VKCloudUploadManager> manager;
};

TEST_F(VKCloudUploadManagerTest, PendingRunningAndFailedUploadsArePausedAtLaunch)
{
    const std::vector<std::pair<std::string, int32_t>> states {
        { "none.txt", VKNetworkStateNone }, { "waiting.txt", VKNetworkStateWaiting },
        { "uploading.txt", VKNetworkStateUploading }, { "finalizing.txt", VKNetworkStateFinalizing },
        { "paused.txt", VKNetworkStatePaused }, { "failed.txt", VKNetworkStateFailed },
    };
    for (const auto& [name, state] : states)
        staged("/Q/" + name, name)->managedObject()->setUploadState(state);
    ASSERT_TRUE(store()->saveContext());

    manager->initializeUploads();
    for (const auto& [name, state] : states)
        EXPECT_EQ(stateInFile(name), state == VKNetworkStateNone ? "0" : "7") << name;

    // A new run on the same home finds them paused, and pausing again
    // changes nothing.
    VKCloudUploadManager::resetSharedManagerForTesting();
    VKCloudFileStore::resetForTesting();
    VKCloudUploadManager::sharedManager()->initializeUploads();
    EXPECT_EQ(store()->managedObjectForPath(mirrorPath("/Q/waiting.txt"))->uploadState(), VKNetworkStatePaused);
    EXPECT_EQ(stateInFile("uploading.txt"), "7");
    EXPECT_EQ(stateInFile("none.txt"), "0");
}

TEST_F(VKCloudUploadManagerTest, AThirdUploadWaitsForOneOfTwoAndTheProgressAddsUp)
{
    VKCloudHooks::setCurrent(std::make_shared<VKCloudUploadHooks>());
    auto a = staged("/Q/a.bin", std::string(100, 'a'));
    auto b = staged("/Q/b.bin", std::string(300, 'b'));
    auto c = staged("/Q/c.bin", std::string(50, 'c'));
    test::NotificationRecorder started(VKCloudUploadManagerUploadDidStartNotification);
    test::NotificationRecorder ended(VKCloudUploadManagerUploadDidEndNotification);
    std::vector<float> observed;
    auto observation = VKCloudHooks::current()->observeTotalUploadProgress([&](float p) { observed.push_back(p); });
    server->addFault(R"({"endpoint":"files","stall":"held","always":true})");

    manager->startUploadOfCloudResource(a);
    manager->startUploadOfCloudResource(b);
    manager->startUploadOfCloudResource(c);
    EXPECT_EQ(c->uploadState(), VKNetworkStateWaiting);
    EXPECT_EQ(a->uploadState(), VKNetworkStateUploading);
    EXPECT_EQ(started.received.size(), 3u);
    EXPECT_EQ(started.senders[2], c);
    EXPECT_TRUE(ui::Application::shared()->isNetworkActivityIndicatorVisible());
    EXPECT_EQ(core::activeBackgroundTaskCount(), 1u);
    auto hooks = VKCloudHooks::current();
    EXPECT_TRUE(hooks->hasActiveUploads());
    EXPECT_EQ(hooks->activeUploadCount(), 3);
    ASSERT_TRUE(waitFor([&] { return sends() == 2; })) << server->errors();
    settle();
    EXPECT_EQ(sends(), 2u);

    // The overall figure: a's 100 bytes done, b half way: 150 + 100 of 400
    // (and c's 50 not yet sent).
    manager->cloudServiceUploadForPathDidUpdateProgress(*service, "/Q/a.bin", 1.0f);
    EXPECT_EQ(a->uploadState(), VKNetworkStateFinalizing);
    manager->cloudServiceUploadForPathDidUpdateProgress(*service, "/Q/b.bin", 0.5f);
    EXPECT_FLOAT_EQ(manager->totalUploadProgress(), 250.0f / 450.0f);
    EXPECT_FLOAT_EQ(hooks->totalUploadProgress(), 250.0f / 450.0f);
    EXPECT_FALSE(observed.empty());

    server->release("held");
    ASSERT_TRUE(waitFor([&] { return ended.received.size() == 3; })) << server->errors();
    // c started only once one of the first two ended, as the third send.
    EXPECT_EQ(sends(), 3u);
    for (const auto& item : { a, b, c })
        EXPECT_EQ(item->uploadState(), VKNetworkStateNone) << item->cloudPath();
    EXPECT_EQ(sha256(server->localPath("/Q/b.bin")), sha256(mirrorPath("/Q/b.bin")));
    EXPECT_FALSE(hooks->hasActiveUploads());
    EXPECT_EQ(hooks->activeUploadCount(), 0);
    EXPECT_EQ(manager->totalUploadProgress(), 0.0f);
    EXPECT_EQ(observed.back(), 0.0f);
    EXPECT_FALSE(ui::Application::shared()->isNetworkActivityIndicatorVisible());
    EXPECT_EQ(core::activeBackgroundTaskCount(), 0u);
    EXPECT_EQ(stateInFile("c.bin"), "0");
}

TEST_F(VKCloudUploadManagerTest, TheFirstFinishedUploadKeepsTheBarFull)
{
    auto a = staged("/Q/a.bin", std::string(100, 'a'));
    auto b = staged("/Q/b.bin", std::string(300, 'b'));
    server->addFault(R"({"endpoint":"files","path":"/Q","stall":"held","always":true})");
    auto c = staged("/Q/c.bin", std::string(50, 'c'));
    manager->startUploadOfCloudResource(a);
    manager->startUploadOfCloudResource(b);
    manager->startUploadOfCloudResource(c);
    ASSERT_TRUE(waitFor([&] { return sends() == 2; })) << server->errors();
    // A queued upload runs nothing at the service: cancelling it ends it here.
    EXPECT_EQ(c->uploadState(), VKNetworkStateWaiting);
    manager->cancelUploadOfCloudResource(c);
    EXPECT_EQ(c->uploadState(), VKNetworkStatePaused);
    EXPECT_EQ(manager->activeUploadCount(), 2);

    // a ends full while b is half way: 100 + 150 of 400.
    a->managedObject()->setUploadProgress(1.0f);
    manager->cloudServiceUploadForPathDidUpdateProgress(*service, "/Q/a.bin", 1.0f);
    manager->cloudServiceUploadCompletedForPath(*service, "/Q/a.bin");
    manager->cloudServiceUploadForPathDidUpdateProgress(*service, "/Q/b.bin", 0.5f);
    EXPECT_FLOAT_EQ(manager->totalUploadProgress(), 250.0f / 400.0f);
    EXPECT_EQ(manager->activeUploadCount(), 1);
    service->cancelUploadOfItemAtPath("/Q/a.bin");
    manager->cancelUploadOfCloudResource(b);
    EXPECT_EQ(b->uploadState(), VKNetworkStatePaused);
    EXPECT_EQ(manager->totalUploadProgress(), 0.0f);
}

TEST_F(VKCloudUploadManagerTest, AResumedUploadAsksBeforeOverwriting)
{
    auto fresh = staged("/Q/fresh.txt", "fresh");
    fresh->managedObject()->setUploadState(VKNetworkStatePaused);
    manager->resumeUploadOfCloudResource(fresh);
    EXPECT_EQ(stateInFile("fresh.txt"), "1");
    // Not on the service: sent at once.
    ASSERT_TRUE(waitFor([&] { return fresh->uploadState() == VKNetworkStateNone; })) << server->errors();
    EXPECT_EQ(readFile(server->localPath("/Q/fresh.txt")), "fresh");

    cloudFile("/Q/a.txt", "the cloud's");
    auto a = staged("/Q/a.txt", "mine");
    manager->resumeUploadOfCloudResource(a);
    ASSERT_TRUE(waitFor([&] { return questions->hasOpenQuestion(); })) << server->errors();
    EXPECT_EQ(questions->asked.back().kind, "overwrite");
    EXPECT_EQ(questions->asked.back().name, "a.txt");
    EXPECT_EQ(questions->asked.back().serviceName, "Dropbox");
    questions->answer(VKTransferAnswer::Decline);
    EXPECT_EQ(a->uploadState(), VKNetworkStatePaused);
    EXPECT_FALSE(manager->hasActiveUploads());
    EXPECT_EQ(readFile(server->localPath("/Q/a.txt")), "the cloud's");

    // Overwrite: the cloud's item goes first, then the upload.
    manager->resumeUploadOfCloudResource(a);
    ASSERT_TRUE(waitFor([&] { return questions->hasOpenQuestion(); })) << server->errors();
    questions->answer(VKTransferAnswer::GoOn);
    ASSERT_TRUE(waitFor([&] { return a->uploadState() == VKNetworkStateNone; })) << server->errors();
    auto paths = requestPaths();
    auto deleted = std::find(paths.begin(), paths.end(), "/0/fileops/delete");
    ASSERT_NE(deleted, paths.end());
    EXPECT_NE(std::find(deleted, paths.end(), "/0/files/dropbox/Q"), paths.end());
    EXPECT_EQ(readFile(server->localPath("/Q/a.txt")), "mine");

    // A delete that fails ends the upload failed.
    server->addFault(R"({"endpoint":"fileops/delete","status":500})");
    manager->resumeUploadOfCloudResource(a);
    ASSERT_TRUE(waitFor([&] { return questions->hasOpenQuestion(); })) << server->errors();
    questions->answer(VKTransferAnswer::GoOn);
    ASSERT_TRUE(waitFor([&] { return a->uploadState() == VKNetworkStateFailed; })) << server->errors();
    EXPECT_FALSE(manager->hasActiveUploads());

    // Answers that come once the upload left state 1 change nothing.
    manager->cloudServiceItemAtPathExists(*service, "/Q/a.txt", false);
    manager->cloudServiceDidDeletePath(*service, "/Q/a.txt");
    EXPECT_EQ(a->uploadState(), VKNetworkStateFailed);
    EXPECT_EQ(sends(), 2u);
}

TEST_F(VKCloudUploadManagerTest, DeletedNodesFailuresAndTheEndOfBackgroundTime)
{
    auto a = staged("/Q/a.txt", "aaa");
    auto b = staged("/Q/b.txt", "bbb");
    server->addFault(R"({"endpoint":"files","stall":"held","always":true})");
    manager->startUploadOfCloudResource(a);
    manager->startUploadOfCloudResource(b);
    ASSERT_TRUE(waitFor([&] { return sends() == 2; })) << server->errors();

    // The node of a running upload deleted from the main store: cancelled.
    store()->deleteObject(a->managedObject());
    ASSERT_TRUE(waitFor([&] { return manager->activeUploadCount() == 1; }));
    EXPECT_FALSE(service->isUploadingItemAtPath("/Q/a.txt"));

    // Background time running out cancels the rest.
    core::expireBackgroundTasksForTesting();
    EXPECT_FALSE(manager->hasActiveUploads());
    EXPECT_EQ(b->uploadState(), VKNetworkStatePaused);
    EXPECT_TRUE(service->uploadClients().empty());
    server->reset();

    // A failure (a 507) ends in state 9, never 0. The fault holds for every
    // call: the server may still be reading a cancelled request above, which
    // would use up a one-time fault.
    server->addFault(R"({"endpoint":"files","status":507,"always":true})");
    manager->startUploadOfCloudResource(b);
    ASSERT_TRUE(waitFor([&] { return !manager->hasActiveUploads(); })) << server->errors();
    EXPECT_EQ(b->uploadState(), VKNetworkStateFailed);
    EXPECT_EQ(stateInFile("b.txt"), "9");
    EXPECT_TRUE(logContains("cloudService: uploadFailedForPath: /Q/b.txt"));

    // A connection cut off mid-answer fails the same way.
    server->reset();
    server->addFault(R"({"endpoint":"files","close_before_head":true,"always":true})");
    manager->startUploadOfCloudResource(b);
    ASSERT_TRUE(waitFor([&] { return !manager->hasActiveUploads(); }, 40)) << server->errors();
    EXPECT_EQ(b->uploadState(), VKNetworkStateFailed);
}

TEST_F(VKCloudUploadManagerTest, ALongQueueRunsTwoAtATimeInOrderAndItsBarFollowsTheBytes)
{
    std::vector<VKCloudService::Resource> items;
    for (int i = 0; i < 8; ++i)
        items.push_back(staged(fmt::format("/Q/{}.bin", i), std::string(size_t(100 * (i + 1)), 'x')));
    // 100 + 200 + ... + 800 bytes.
    constexpr float Total = 3600.0f;
    // Started uploads stay before their bodies, so that only this test
    // tells the queue of progress.
    std::vector<std::string> names;
    for (int i = 0; i < 8; ++i)
        names.push_back(fmt::format("{}.bin", i));
    holdCopies(names);
    for (const auto& item : items)
        manager->startUploadOfCloudResource(item);
    // The same item twice counts once.
    manager->startUploadOfCloudResource(items[3]);
    EXPECT_EQ(manager->activeUploadCount(), 8);
    ASSERT_TRUE(waitFor([&] { return heldCopies == 2; }));
    for (size_t i = 2; i < items.size(); ++i)
        EXPECT_EQ(items[i]->uploadState(), VKNetworkStateWaiting) << i;

    manager->cloudServiceUploadForPathDidUpdateProgress(*service, "/Q/1.bin", 0.5f);
    EXPECT_FLOAT_EQ(manager->totalUploadProgress(), 100.0f / Total);
    // A progress event for a path that is not queued changes nothing.
    manager->cloudServiceUploadForPathDidUpdateProgress(*service, "/Q/none.bin", 1.0f);
    EXPECT_FLOAT_EQ(manager->totalUploadProgress(), 100.0f / Total);

    // The first ends full: its bytes stay, and the next in line starts.
    items[0]->managedObject()->setUploadProgress(1.0f);
    manager->cloudServiceUploadForPathDidUpdateProgress(*service, "/Q/0.bin", 1.0f);
    manager->cloudServiceUploadCompletedForPath(*service, "/Q/0.bin");
    service->cancelUploadOfItemAtPath("/Q/0.bin");
    EXPECT_EQ(items[0]->uploadState(), VKNetworkStateNone);
    EXPECT_FLOAT_EQ(manager->totalUploadProgress(), 200.0f / Total);
    EXPECT_EQ(items[2]->uploadState(), VKNetworkStateUploading);
    EXPECT_EQ(items[3]->uploadState(), VKNetworkStateWaiting);

    // A waiting one cancelled and a running one ending unfinished take
    // their bytes out of the bar.
    manager->cancelUploadOfCloudResource(items[5]);
    EXPECT_EQ(items[5]->uploadState(), VKNetworkStatePaused);
    EXPECT_FLOAT_EQ(manager->totalUploadProgress(), 200.0f / (Total - 600.0f));
    manager->cancelUploadOfCloudResource(items[1]);
    EXPECT_FLOAT_EQ(manager->totalUploadProgress(), 100.0f / (Total - 600.0f - 200.0f));
    EXPECT_EQ(items[3]->uploadState(), VKNetworkStateUploading);

    // A waiting node deleted from the store leaves the queue; the order
    // goes on with the one after it.
    store()->deleteObject(items[4]->managedObject());
    ASSERT_TRUE(store()->saveContext());
    ASSERT_TRUE(waitFor([&] { return manager->activeUploadCount() == 4; }));
    manager->cancelUploadOfCloudResource(items[2]);
    EXPECT_EQ(items[6]->uploadState(), VKNetworkStateUploading);
    EXPECT_EQ(items[7]->uploadState(), VKNetworkStateWaiting);
    for (const auto& item : manager->activeUploads())
        manager->cancelUploadOfCloudResource(item);
    EXPECT_FALSE(manager->hasActiveUploads());
    EXPECT_EQ(manager->totalUploadProgress(), 0.0f);
}

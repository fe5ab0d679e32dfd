#include "DownloadTestCase.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "FileModel/VKDownloadHooks.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/URLRequestAdditions.h"
#include "Platform/Core/ErrorValue.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "Support/Cloud/TestCloudService.h"
#include "Downloads/VKDownloadManagerHooks.h"

#include <fmt/format.h>

namespace {

using test::DownloadTestCase;
using test::TestWebServer;

constexpr size_t ManagerMiB = 1 << 20;

class VKDownloadManagerTest : public DownloadTestCase {
protected:
    void TearDown() override
    {
        VKQuotaManager::setFreeSpaceFunctionForTesting(nullptr);
        VKDownloadHooks::setCurrent(nullptr);
        DownloadTestCase::TearDown();
    }

    // Notifications of one name, their objects and user infos in order.
    struct Heard {
        std::vector<std::shared_ptr<core::Object>> objects;
        std::vector<core::Value> infos;
    };
    core::Observation listen(const char* name, Heard& heard)
    {
        return core::NotificationCenter::defaultCenter().observe(name, nullptr, [&heard](const core::Notification& n) {
            heard.objects.push_back(n.object());
            heard.infos.push_back(n.userInfo());
        });
    }

    static std::vector<VKNetworkState> states(const std::vector<std::shared_ptr<VKDownloadFileResource>>& items)
    {
        std::vector<VKNetworkState> all;
        for (auto& item : items)
            all.push_back(item->downloadState());
        return all;
    }
};

TEST_F(VKDownloadManagerTest, AtMostTwoRunAndTheThirdStartsWhenAPlaceFrees)
{
    for (const char* name : { "a", "b", "c", "d" })
        server->setResource(name, fmt::format("length=1000&stall_after=10&token={}", name));
    int counted = 0;
    auto observation = manager()->observeValueForKey("downloadingConnectionCount", [&] { ++counted; });
    auto a = start("/resource/a");
    auto b = start("/resource/b");
    auto c = start("/resource/c");
    using S = VKNetworkState;
    EXPECT_EQ(states({ a, b, c }), (std::vector<S> { VKNetworkStateConnecting, VKNetworkStateConnecting, VKNetworkStateWaiting }));
    EXPECT_EQ(manager()->downloadingConnectionCount(), 2u);
    EXPECT_TRUE(manager()->hasActiveDownloads());
    ASSERT_TRUE(waitFor([&] { return a->downloadState() == VKNetworkStateDownloading && b->downloadState() == VKNetworkStateDownloading; }));

    // Pausing one lets the waiting one start.
    manager()->stopDownloadForResource(a);
    EXPECT_EQ(a->downloadState(), VKNetworkStatePaused);
    EXPECT_EQ(c->downloadState(), VKNetworkStateConnecting);
    // A resumed item waits while two transfer.
    manager()->resumeDownloadForResource(a);
    EXPECT_EQ(a->downloadState(), VKNetworkStateWaiting);

    // Finishing one starts the next, and the last one runs too.
    server->release("b");
    ASSERT_TRUE(waitForState(*b, VKNetworkStateDone));
    EXPECT_EQ(a->downloadState(), VKNetworkStateConnecting);
    server->release("c");
    server->release("a");
    ASSERT_TRUE(waitFor([&] { return manager()->allDownloads().empty(); }));
    EXPECT_FALSE(manager()->hasActiveDownloads());
    EXPECT_EQ(manager()->completedWebDownloads().size(), 3u);
    EXPECT_GT(counted, 0);
    for (auto& item : { a, b, c })
        EXPECT_EQ(readFile(item->path()), TestWebServer::expectedBytes(0, 1000));
}

TEST_F(VKDownloadManagerTest, FinishAndFailureAreAnnounced)
{
    Heard started, finished, failed;
    auto o1 = listen(VKDownloadManagerDownloadDidStartNotification, started);
    auto o2 = listen(VKDownloadManagerDownloadDidFinishNotification, finished);
    auto o3 = listen(VKDownloadManagerDownloadDidFailNotification, failed);
    makeFile("Library/Documents/1000", "already here");
    auto good = start("/bytes/1000");
    auto bad = start("/bytes/1000?drop_after=10");
    ASSERT_TRUE(waitFor([&] { return finished.objects.size() == 1 && failed.objects.size() == 1; }));
    EXPECT_EQ(started.objects.size(), 2u);
    EXPECT_EQ(finished.objects[0], good);
    EXPECT_EQ(readFile(inDocuments("1000")), "already here");
    EXPECT_EQ(readFile(good->path()), TestWebServer::expectedBytes(0, 1000));
    EXPECT_FALSE(core::fs::exists(good->downloadInfoPath()));
    ASSERT_EQ(manager()->completedWebDownloads().size(), 1u);
    EXPECT_EQ(manager()->completedWebDownloads()[0]->path(), good->path());

    EXPECT_EQ(failed.objects[0], bad);
    EXPECT_EQ(core::errorFromValue(failed.infos[0]["error"])->code(), -1005);
    EXPECT_TRUE(logContains("downloadConnection: didFailWithError: "));
    // Kept, paused with its error, its state saved for a later resume.
    EXPECT_EQ(manager()->webDownloads(), (std::vector<std::shared_ptr<VKDownloadFileResource>> { bad }));
    EXPECT_EQ(bad->downloadState(), VKNetworkStatePaused);
    EXPECT_TRUE(bad->downloadError());
    EXPECT_TRUE(core::fs::exists(bad->downloadInfoPath()));

    Heard deleted;
    auto o4 = listen(VKDownloadFileResourceDidDeleteDownloadNotification, deleted);
    manager()->deleteDownloadResource(bad);
    EXPECT_EQ(deleted.objects.size(), 1u);
    EXPECT_TRUE(manager()->allDownloads().empty());
    EXPECT_FALSE(core::fs::exists(bad->downloadInfoPath()));
    EXPECT_FALSE(core::fs::exists(bad->downloadPath()));
}

TEST_F(VKDownloadManagerTest, TheQuotaQuestionCancelsOrLetsTheDownloadRunOnce)
{
    VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(20 * 1000 * 1000); });
    server->setResource("big", fmt::format("length={}&ranges=1", 50 * 1000 * 1000));
    auto cancelled = start("/resource/big");
    ASSERT_TRUE(waitFor([&] { return questions->hasOpenQuestion(); }));
    EXPECT_EQ(questions->asked.back().kind, "quota");
    EXPECT_EQ(questions->asked.back().bytes, 50u * 1000 * 1000);
    EXPECT_EQ(questions->asked.back().availableBytes, 20u * 1000 * 1000);
    EXPECT_EQ(cancelled->downloadState(), VKNetworkStatePaused);
    questions->answer(VKTransferAnswer::Decline);
    EXPECT_TRUE(manager()->allDownloads().empty());
    EXPECT_FALSE(core::fs::exists(cancelled->downloadPath()));
    EXPECT_FALSE(core::fs::exists(cancelled->downloadInfoPath()));

    // Taken away by the system: the download stays, paused.
    auto kept = start("/resource/big");
    ASSERT_TRUE(waitFor([&] { return questions->hasOpenQuestion(); }));
    questions->answer(VKTransferAnswer::Dismissed);
    EXPECT_EQ(manager()->webDownloads(), (std::vector<std::shared_ptr<VKDownloadFileResource>> { kept }));
    EXPECT_EQ(kept->downloadState(), VKNetworkStatePaused);
    manager()->deleteDownloadResource(kept);

    auto allowed = start("/resource/big");
    ASSERT_TRUE(waitFor([&] { return questions->hasOpenQuestion(); }));
    questions->answer(VKTransferAnswer::GoOn);
    ASSERT_TRUE(waitForState(*allowed, VKNetworkStateDone));
    EXPECT_EQ(questions->asked.size(), 3u);
    EXPECT_EQ(core::fs::attributes(allowed->path())->size, 50u * 1000 * 1000);

    // No length, or no figure for the room left: never asked.
    auto unknown = start("/bytes/1000?nolength");
    ASSERT_TRUE(waitForState(*unknown, VKNetworkStateDone));
    VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(); });
    auto noFigure = start("/bytes/2000");
    ASSERT_TRUE(waitForState(*noFigure, VKNetworkStateDone));
    EXPECT_EQ(questions->asked.size(), 3u);
}

TEST_F(VKDownloadManagerTest, AnAllowedDownloadIsNotAskedAgainAndAnEnforcedQuotaOffersNoWayOn)
{
    VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(20 * 1000 * 1000); });
    auto stallAt = [&](const char* token) {
        server->setResource("big", fmt::format("length={}&ranges=1&stall_after=1000&token={}", 50 * 1000 * 1000, token));
    };
    stallAt("big");
    auto allowed = start("/resource/big");
    ASSERT_TRUE(waitFor([&] { return questions->hasOpenQuestion(); }));
    stallAt("big");
    questions->answer(VKTransferAnswer::GoOn);
    ASSERT_TRUE(waitFor([&] { return allowed->downloadProgress() * 50e6 > 999; }));
    // Paused and resumed: it goes on without a second question.
    manager()->stopDownloadForResource(allowed);
    stallAt("again");
    manager()->resumeDownloadForResource(allowed);
    ASSERT_TRUE(waitFor([&] { return allowed->downloadProgress() * 50e6 > 1999; }));
    EXPECT_EQ(questions->asked.size(), 1u);
    // Nor after a relaunch.
    manager()->stopDownloadForResource(allowed);
    VKDownloadManager::resetSharedManagerForTesting();
    manager()->initializeDownloads();
    ASSERT_EQ(manager()->webDownloads().size(), 1u);
    allowed = manager()->webDownloads().front();
    stallAt("relaunch");
    manager()->resumeDownloadForResource(allowed);
    ASSERT_TRUE(waitFor([&] { return allowed->downloadProgress() * 50e6 > 2999; }));
    EXPECT_EQ(questions->asked.size(), 1u);

    // Under an enforced quota the person is told, not asked; the download
    // stays with what it has and says why it stopped.
    auto defaults = core::UserDefaults::standard();
    defaults->set("VKQuotaEnabled", core::Value(true));
    defaults->set("VKQuotaLimit", core::Value(int64_t(10)));
    manager()->stopDownloadForResource(allowed);
    manager()->resumeDownloadForResource(allowed);
    ASSERT_TRUE(waitFor([&] { return questions->hasOpenQuestion(); }));
    EXPECT_EQ(questions->asked.back().kind, "quota-enforced");
    questions->answer(VKTransferAnswer::Decline);
    EXPECT_EQ(manager()->webDownloads(), (std::vector<std::shared_ptr<VKDownloadFileResource>> { allowed }));
    EXPECT_EQ(allowed->downloadState(), VKNetworkStatePaused);
    ASSERT_TRUE(allowed->downloadError());
    EXPECT_EQ(allowed->downloadError()->localizedDescription(), "The download does not fit in the remaining disk quota.");
    EXPECT_EQ(allowed->size(), 3000u);
    EXPECT_TRUE(core::fs::exists(allowed->downloadInfoPath()));
    for (const char* token : { "big", "again", "relaunch" })
        server->release(token);
}

TEST_F(VKDownloadManagerTest, MovedFoldersTakeTheirDownloadsAlong)
{
    makeFolder("Library/Documents/old/sub");
    for (const char* name : { "s", "t", "u" })
        server->setResource(name, "length=1000&stall_after=10&token=s");
    auto direct = start("/resource/s", inDocuments("old"));
    auto nested = start("/resource/t", inDocuments("old/sub"));
    auto other = start("/resource/u", documents());
    core::fs::moveItem(inDocuments("old"), inDocuments("new"));
    core::NotificationCenter::defaultCenter().post(VKFolderControllerDidMoveResourceNotification, nullptr,
        { inDocuments("old"), inDocuments("new") });
    EXPECT_EQ(direct->path(), inDocuments("new/s"));
    EXPECT_EQ(nested->path(), inDocuments("new/sub/t"));
    EXPECT_EQ(other->path(), inDocuments("u"));
    EXPECT_EQ(core::PropertyList::readFile(nested->downloadInfoPath())["TargetFolder"].string(),
        core::path::abbreviatingWithTildeInPath(inDocuments("new/sub")));
    server->release("s");
    ASSERT_TRUE(waitFor([&] { return manager()->allDownloads().empty(); }));
    EXPECT_EQ(readFile(inDocuments("new/sub/t")), TestWebServer::expectedBytes(0, 1000));
}

TEST_F(VKDownloadManagerTest, TheFileModelSeesDownloadsThroughTheHooks)
{
    VKDownloadManagerHooks::install();
    auto hooks = VKDownloadHooks::current();
    server->setResource("s1", "length=1000&stall_after=10&token=s");
    server->setResource("s2", "length=1000&stall_after=10&token=s");
    auto done = start("/bytes/10");
    ASSERT_TRUE(waitForState(*done, VKNetworkStateDone));
    auto one = start("/resource/s1");
    auto two = start("/resource/s2");
    EXPECT_EQ(hooks->webDownloadCount(), 2);
    auto listed = hooks->downloadsForTargetFolder(documents());
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_TRUE(listed[0]->isDownloadResource());

    // A paused item moved through the hooks lands at the new place.
    manager()->stopDownloadForResource(two);
    makeFolder("Library/Documents/elsewhere");
    hooks->updateDownloadPath(two, inDocuments("elsewhere/moved"));
    EXPECT_EQ(core::path::lastPathComponent(
                  core::PropertyList::readFile(two->downloadInfoPath())["SuggestedFilename"].string()),
        "moved");
    // Deleting the row deletes the download.
    hooks->deleteDownloadResource(listed[0]);
    EXPECT_EQ(hooks->webDownloadCount(), 1);
    server->release("s");
    manager()->resumeDownloadForResource(two);
    ASSERT_TRUE(waitForState(*two, VKNetworkStateDone));
    EXPECT_EQ(readFile(inDocuments("elsewhere/moved")), TestWebServer::expectedBytes(0, 1000));
}

TEST_F(VKDownloadManagerTest, AQuitLeavesPausedDownloadsThatTheNextLaunchResumes)
{
    server->setResource("q", fmt::format("length={}&ranges=1&etag=q&stall_after={}&token=q", 2 * ManagerMiB, ManagerMiB));
    auto item = start("/resource/q");
    ASSERT_TRUE(waitFor([&] { return core::fs::exists(item->downloadPath()) && core::fs::attributes(item->downloadPath())->size == ManagerMiB; }));
    core::NotificationCenter::defaultCenter().post(ui::Application::willTerminateNotification);
    EXPECT_EQ(item->downloadState(), VKNetworkStatePaused);
    server->release("q");
    std::string uuid = item->downloadUUID();

    // A state file without data (a download that never got a byte), and
    // garbage with data: the first comes back, the second goes.
    auto empty = VKDownloadFileResource::createWithRequest(request("/bytes/10"), documents());
    empty->saveState();
    std::string junk = core::path::appendingPathComponent(downloads(), "00000000-0000-0000-0000-000000000000");
    core::fs::writeFileAtomically(junk, "x");
    core::fs::writeFileAtomically(junk + ".info", "garbage");

    VKDownloadManager::resetSharedManagerForTesting();
    manager()->initializeDownloads();
    auto restored = manager()->webDownloads();
    ASSERT_EQ(restored.size(), 2u);
    EXPECT_FALSE(core::fs::exists(junk));
    EXPECT_FALSE(core::fs::exists(junk + ".info"));
    auto again = restored[0]->downloadUUID() == uuid ? restored[0] : restored[1];
    EXPECT_EQ(again->downloadState(), VKNetworkStatePaused);
    EXPECT_FLOAT_EQ(again->downloadProgress(), 0.5f);
    manager()->resumeDownloadForResource(again);
    ASSERT_TRUE(waitForState(*again, VKNetworkStateDone));
    EXPECT_EQ(sha256(again->path()), sha256([&] {
        std::string whole = pathInHome("whole");
        core::fs::writeFileAtomically(whole, TestWebServer::expectedBytes(0, 2 * ManagerMiB));
        return whole;
    }()));
    auto requests = received("/resource/q");
    EXPECT_EQ(requests.back().header("Range"), fmt::format("bytes={}-", ManagerMiB));
}

class VKDownloadManagerCloudTest : public VKDownloadManagerTest {
protected:
    void SetUp() override
    {
        VKDownloadManagerTest::SetUp();
        service = test::TestCloudService::install("Test");
        service->setLinked(true);
        for (auto [path, folder, size] : { std::tuple { "", true, 0 }, { "dir", true, 0 }, { "dir/a.txt", false, 3 },
                 { "dir/sub", true, 0 }, { "dir/sub/b.txt", false, 4 } }) {
            std::string local = *path ? core::path::appendingPathComponent(service->localPath(), path) : service->localPath();
            auto node = VKCloudFileStore::sharedStore()->insertObjectForPath(local);
            ASSERT_TRUE(node) << path;
            node->setIsDirectory(folder);
            node->setSize(size);
        }
    }
    std::string mirror(std::string_view path) const { return core::path::appendingPathComponent(service->localPath(), path); }
    std::shared_ptr<test::TestCloudService> service;
};

TEST_F(VKDownloadManagerCloudTest, AFetchedFileIsCopiedIntoPlace)
{
    struct Callback : VKDownloadManagerCallback {
        int completed = 0;
        void downloadManagerDownloadCompletedForResource(VKDownloadManager&, VKDownloadFileResource&) override { ++completed; }
    };
    auto callback = std::make_shared<Callback>();
    auto item = manager()->startDownloadOfCloudResource(service->resourceForCloudPath("/dir/a.txt"), documents(), callback);
    ASSERT_TRUE(item);
    EXPECT_EQ(manager()->cloudDownloads().size(), 1u);
    ASSERT_TRUE(waitFor([&] { return service->lastCallback() != nullptr; }));
    auto fetch = service->lastCallback();
    fetch->cloudServiceFetchWillStartForPath(*service, "/dir/a.txt");
    EXPECT_EQ(item->downloadState(), VKNetworkStateDownloading);
    EXPECT_EQ(item->expectedSize(), 3);
    core::fs::createDirectory(mirror("dir"), true);
    core::fs::writeFileAtomically(mirror("dir/a.txt"), "abc");
    fetch->cloudServiceFetchCompletedForPath(*service, "/dir/a.txt");
    EXPECT_EQ(item->downloadState(), VKNetworkStateFinalizing);
    ASSERT_TRUE(waitForState(*item, VKNetworkStateDone));
    EXPECT_EQ(readFile(inDocuments("a.txt")), "abc");
    EXPECT_EQ(callback->completed, 1);
    EXPECT_TRUE(manager()->completedWebDownloads().empty());
    EXPECT_FALSE(core::fs::exists(item->downloadInfoPath()));
}

TEST_F(VKDownloadManagerCloudTest, FoldersFailuresAndDeletion)
{
    auto folder = manager()->startDownloadOfCloudResource(service->resourceForCloudPath("/dir"), documents());
    ASSERT_TRUE(waitFor([&] { return service->lastCallback() != nullptr; }));
    service->lastCallback()->cloudServiceFetchWillStartForPath(*service, "/dir");
    EXPECT_EQ(folder->expectedSize(), 7);
    EXPECT_TRUE(folder->isDirectory());
    // A fetched folder is moved into place whole.
    core::fs::createDirectory(mirror("dir/sub"), true);
    core::fs::writeFileAtomically(mirror("dir/sub/b.txt"), "bbbb");
    service->lastCallback()->cloudServiceFetchCompletedForPath(*service, "/dir");
    EXPECT_EQ(folder->downloadState(), VKNetworkStateDone);
    EXPECT_EQ(readFile(inDocuments("dir/sub/b.txt")), "bbbb");
    EXPECT_FALSE(core::fs::exists(mirror("dir")));

    auto failing = manager()->startDownloadOfCloudResource(service->resourceForCloudPath("/dir/sub/b.txt"), documents());
    ASSERT_TRUE(waitFor([&] { return service->callbacks().size() == 2; }));
    service->lastCallback()->cloudServiceFetchFailedForPath(*service, "/dir/sub/b.txt");
    EXPECT_EQ(failing->downloadError()->code(), 512);
    EXPECT_EQ(failing->downloadError()->localizedDescription(), "Failed to fetch cloud file.");
    EXPECT_EQ(failing->downloadState(), VKNetworkStatePaused);

    // Deleting a cloud item removes the mirrored copy too.
    core::fs::createDirectory(mirror("dir/sub"), true);
    core::fs::writeFileAtomically(mirror("dir/sub/b.txt"), "part");
    manager()->deleteDownloadResource(failing);
    EXPECT_FALSE(core::fs::exists(mirror("dir/sub/b.txt")));

    service->setLinked(false);
    auto unlinked = manager()->startDownloadOfCloudResource(service->resourceForCloudPath("/dir/a.txt"), documents());
    ASSERT_TRUE(waitFor([&] { return unlinked->downloadError().has_value(); }));
    EXPECT_EQ(unlinked->downloadError()->code(), -1);
    EXPECT_EQ(unlinked->downloadError()->localizedDescription(), "Service is unavailable");

    // Cloud items come back at the next launch from their state files alone.
    VKDownloadManager::resetSharedManagerForTesting();
    manager()->initializeDownloads();
    ASSERT_EQ(manager()->cloudDownloads().size(), 1u);
    EXPECT_EQ(manager()->cloudDownloads()[0]->downloadUUID(), unlinked->downloadUUID());
}

} // namespace

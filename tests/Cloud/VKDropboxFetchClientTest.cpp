// Fetches of files and folders into the mirror through the service, against
// the fake cloud service.

#include "Cloud/CloudServiceTestCase.h"
#include "Cloud/VKDropboxFetchClient.h"
#include "Support/NotificationRecorder.h"

#include <algorithm>

namespace {

bool cacheValid(const VKCloudServiceNews& news)
{
    return news.cacheValid;
}

} // namespace

class VKDropboxFetchClientTest : public test::CloudServiceTestCase {
protected:
    size_t fileRequests() const
    {
        auto paths = requestPaths();
        return std::count_if(paths.begin(), paths.end(), [](const auto& path) { return path.starts_with("/0/files/"); });
    }
    // Fetches and waits for the final report.
    std::vector<std::string> fetch(const std::string& cloudPath)
    {
        callbacks->events.clear();
        service->fetchResource(resource(cloudPath), callbacks);
        EXPECT_TRUE(core::RunLoop::main().runUntil([&] {
            return std::any_of(callbacks->events.begin(), callbacks->events.end(),
                [](const auto& event) { return !event.starts_with("willStart"); });
        }, 20)) << server->errors();
        return callbacks->events;
    }
    void SetUp() override
    {
        CloudServiceTestCase::SetUp();
        completedRecorder = std::make_unique<test::NoticeRecorder<VKCloudServiceNews>>(VKCloudServiceFetchDidCompleteNotification);
        willStartRecorder = std::make_unique<test::NoticeRecorder<VKCloudServiceNews>>(VKCloudServiceFetchWillStartDownloadNotification);
        failedRecorder = std::make_unique<test::NoticeRecorder<VKCloudServiceNews>>(VKCloudServiceFetchFailedNotification);
    }
    std::unique_ptr<test::NoticeRecorder<VKCloudServiceNews>> completedRecorder;
    std::unique_ptr<test::NoticeRecorder<VKCloudServiceNews>> willStartRecorder;
    std::unique_ptr<test::NoticeRecorder<VKCloudServiceNews>> failedRecorder;
#define completed (*completedRecorder)
#define willStart (*willStartRecorder)
#define failed (*failedRecorder)
};

TEST_F(VKDropboxFetchClientTest, AFileIsDownloadedOnceThenServedFromTheCache)
{
    cloudFile("/Docs/a.txt", "first version");
    mirror("/Docs", true);
    mirror("/Docs/a.txt", false, 0, 0);

    EXPECT_EQ(fetch("/Docs/a.txt"), (std::vector<std::string> { "willStart /Docs/a.txt", "fetched /Docs/a.txt" }));
    EXPECT_EQ(readFile(mirrorPath("/Docs/a.txt")), "first version");
    EXPECT_EQ(fileRequests(), 1u);
    EXPECT_EQ(willStart.received.size(), 1u);
    ASSERT_EQ(completed.received.size(), 1u);
    EXPECT_FALSE(cacheValid(completed.received[0]));
    EXPECT_FLOAT_EQ(mirrorNode("/Docs/a.txt")->fetchProgress(), 1.0f);
    EXPECT_FALSE(callbacks->progresses.empty());
    EXPECT_TRUE(service->fetchClients().empty());

    // The stored copy has the listed revision and size: no download.
    EXPECT_EQ(fetch("/Docs/a.txt"), (std::vector<std::string> { "fetched /Docs/a.txt" }));
    EXPECT_EQ(fileRequests(), 1u);
    ASSERT_EQ(completed.received.size(), 2u);
    EXPECT_TRUE(cacheValid(completed.received[1]));

    // A new revision: the stale copy goes, one download brings the new one.
    cloudFile("/Docs/a.txt", "second, longer version");
    EXPECT_EQ(fetch("/Docs/a.txt"), (std::vector<std::string> { "willStart /Docs/a.txt", "fetched /Docs/a.txt" }));
    EXPECT_EQ(readFile(mirrorPath("/Docs/a.txt")), "second, longer version");
    EXPECT_EQ(fileRequests(), 2u);

    // A file the listing marks deleted fails without a download.
    server->addFault(R"({"endpoint":"metadata","status":200,"body":{"path":"/Docs/a.txt","is_deleted":true}})");
    EXPECT_EQ(fetch("/Docs/a.txt"), (std::vector<std::string> { "fetchFailed /Docs/a.txt" }));
    EXPECT_EQ(fileRequests(), 2u);
    EXPECT_EQ(failed.received.size(), 1u);
}

TEST_F(VKDropboxFetchClientTest, AFolderLoadsEveryListingBeforeAnyFile)
{
    cloudFile("/Tree/top.txt", std::string(3000, 't'));
    cloudFile("/Tree/Sub/inner.txt", std::string(1000, 'i'));
    cloudFolder("/Tree/Sub/Empty");
    mirror("/Tree", true);

    EXPECT_EQ(fetch("/Tree"), (std::vector<std::string> { "willStart /Tree", "fetched /Tree" }));
    EXPECT_EQ(readFile(mirrorPath("/Tree/Sub/inner.txt")), std::string(1000, 'i'));
    EXPECT_EQ(readFile(mirrorPath("/Tree/top.txt")), std::string(3000, 't'));
    EXPECT_TRUE(std::filesystem::is_directory(mirrorPath("/Tree/Sub/Empty")));

    // Every listing came before the first file.
    auto paths = requestPaths();
    auto firstFile = std::find_if(paths.begin(), paths.end(), [](const auto& path) { return path.starts_with("/0/files/"); });
    ASSERT_NE(firstFile, paths.end());
    EXPECT_EQ(std::count_if(firstFile, paths.end(), [](const auto& path) { return path.starts_with("/0/metadata/"); }), 0);
    EXPECT_EQ(std::count_if(paths.begin(), firstFile, [](const auto& path) { return path.starts_with("/0/metadata/"); }), 3);
    EXPECT_EQ(willStart.received.size(), 1u);
    // One figure for the whole tree, rising to 1.
    ASSERT_FALSE(callbacks->progresses.empty());
    EXPECT_TRUE(std::is_sorted(callbacks->progresses.begin(), callbacks->progresses.end()));
    EXPECT_FLOAT_EQ(callbacks->progresses.back(), 1.0f);

    // All valid now: listings answered 304, nothing downloaded, progress 0.
    const size_t before = fileRequests();
    EXPECT_EQ(fetch("/Tree"), (std::vector<std::string> { "fetched /Tree" }));
    EXPECT_EQ(fileRequests(), before);
    EXPECT_TRUE(cacheValid(completed.received.back()));
    EXPECT_FLOAT_EQ(mirrorNode("/Tree")->fetchProgress(), 0.0f);
}

TEST_F(VKDropboxFetchClientTest, AnEmptyFolderCompletesFromTheCache)
{
    cloudFolder("/Nothing");
    mirror("/Nothing", true);
    EXPECT_EQ(fetch("/Nothing"), (std::vector<std::string> { "fetched /Nothing" }));
    ASSERT_EQ(completed.received.size(), 1u);
    EXPECT_TRUE(cacheValid(completed.received[0]));
    EXPECT_EQ(fileRequests(), 0u);
}

TEST_F(VKDropboxFetchClientTest, OneFetchPerResourceAndCancelling)
{
    cloudFile("/big.bin", std::string(100000, 'b'));
    mirror("/big.bin", false, 0, 0);
    auto second = std::make_shared<test::CloudCallbacks>();
    server->addFault(R"({"endpoint":"files","stall":"s1"})");
    service->fetchResource(resource("/big.bin"), callbacks);
    service->fetchResource(resource("/big.bin"), second);
    EXPECT_EQ(service->fetchClients().size(), 1u);
    EXPECT_TRUE(logContains("Warning, item is already fetching: "));
    EXPECT_TRUE(service->isFetchingItemAtPath("/big.bin"));
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return service->isLoadingFileForPath("/big.bin"); }, 20));

    service->cancelFetchOfItemAtPath("/big.bin");
    EXPECT_EQ(callbacks->events, (std::vector<std::string> { "willStart /big.bin", "fetchCancelled /big.bin" }));
    EXPECT_EQ(second->events, (std::vector<std::string> { "willStart /big.bin", "fetchCancelled /big.bin" }));
    EXPECT_FALSE(service->isFetchingItemAtPath("/big.bin"));
    server->release("s1");
    core::RunLoop::main().runUntil([] { return false; }, 0.5);
    EXPECT_EQ(callbacks->events.size(), 2u);
    EXPECT_FALSE(onDisk("/big.bin"));
}

TEST_F(VKDropboxFetchClientTest, ADroppedDownloadFailsAndLeavesNoPartialFile)
{
    cloudFile("/Two/a.bin", std::string(50000, 'a'));
    cloudFile("/Two/b.bin", std::string(50000, 'b'));
    mirror("/Two", true);
    server->addFault(R"({"endpoint":"files","path":"/Two/a.bin","truncate_after":1000})");
    server->addFault(R"({"endpoint":"files","path":"/Two/b.bin","stall":"s2"})");
    EXPECT_EQ(fetch("/Two"), (std::vector<std::string> { "willStart /Two", "fetchFailed /Two" }));
    EXPECT_EQ(failed.received.size(), 1u);
    server->release("s2");
    core::RunLoop::main().runUntil([] { return false; }, 0.5);
    EXPECT_EQ(callbacks->events.size(), 2u);
    EXPECT_FALSE(onDisk("/Two/a.bin"));
    EXPECT_FALSE(onDisk("/Two/b.bin"));
}

TEST_F(VKDropboxFetchClientTest, AFolderThatCannotBeMadeFailsTheFetch)
{
    cloudFile("/Blocked/x.txt", "x");
    mirror("/Blocked", true);
    cached("/Blocked", "a file where the folder goes");
    EXPECT_EQ(fetch("/Blocked"), (std::vector<std::string> { "fetchFailed /Blocked" }));
    EXPECT_TRUE(logContains("Warning, createDirectoryAtPath: failed for fetch: "));
}

TEST_F(VKDropboxFetchClientTest, AFileWithoutARevisionBeforeTheMergeIsAlwaysDownloaded)
{
    cloudFile("/R/same.txt", "12345");
    mirror("/R", true);
    // A copy of the right size but no revision: it cannot be trusted.
    mirror("/R/same.txt", false, 5, 0);
    cached("/R/same.txt", "abcde");
    EXPECT_EQ(fetch("/R"), (std::vector<std::string> { "willStart /R", "fetched /R" }));
    EXPECT_EQ(readFile(mirrorPath("/R/same.txt")), "12345");
    EXPECT_EQ(fileRequests(), 1u);
}

TEST_F(VKDropboxFetchClientTest, HugeSizesStaySixtyFourBitThroughSumsAndProgress)
{
    cloudFile("/Huge/a.bin", std::string(40000, 'a'));
    cloudFile("/Huge/b.bin", std::string(40000, 'b'));
    mirror("/Huge", true);
    server->addFault(R"({"endpoint":"metadata","path":"/Huge","status":200,"body":{"path":"/Huge","is_dir":true,
        "hash":"h","revision":1,"contents":[{"path":"/Huge/a.bin","bytes":9223372036854775807,"revision":2},
        {"path":"/Huge/b.bin","bytes":9223372036854775807,"revision":3}]}})");
    EXPECT_EQ(fetch("/Huge"), (std::vector<std::string> { "willStart /Huge", "fetched /Huge" }));
    EXPECT_EQ(mirrorNode("/Huge/a.bin")->size(), INT64_MAX);
    EXPECT_EQ(sqlite("SELECT size FROM VKCloudManagedObject WHERE name = 'b.bin'"), "9223372036854775807");
    // The sum saturates instead of wrapping: the figure stays a fraction.
    for (float progress : callbacks->progresses) {
        EXPECT_GE(progress, 0.0f);
        EXPECT_LE(progress, 1.0f);
    }
}

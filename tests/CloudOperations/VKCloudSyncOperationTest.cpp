// Syncing cloud files for use offline against the fake cloud service: two
// fetches at a time in the selection's order, stored copies that are
// current, failures and cancelling.

#include "CloudOperations/CloudOperationTestCase.h"
#include "CloudOperations/VKCloudSyncOperation.h"

using namespace std::string_literals;

class VKCloudSyncOperationTest : public test::CloudOperationTestCase {
protected:
    std::shared_ptr<VKCloudSyncOperation> sync(const std::vector<std::string>& cloudPaths)
    {
        auto operation = VKCloudSyncOperation::initWithResources(resources(cloudPaths));
        cancellable = operation;
        return start(operation);
    }
    std::vector<std::string> fiveFiles()
    {
        cloudAndMirrorFolder("/S");
        std::vector<std::string> paths;
        for (int i = 1; i <= 5; ++i) {
            paths.push_back(fmt::format("/S/{}.txt", i));
            cloudItem(paths.back(), std::string(1000 * i, char('0' + i)));
        }
        return paths;
    }
};

TEST_F(VKCloudSyncOperationTest, UploadsAreLeftOutAndNothingLeftEndsAtOnce)
{
    mirror("/up.txt", false, 3);
    makeUpload("/up.txt");
    server->reset();
    auto operation = sync({ "/up.txt" });
    EXPECT_EQ(operation->label(), "Syncing...");
    EXPECT_FALSE(operation->isIndeterminate());
    EXPECT_TRUE(operation->mayBeCancelled());
    ASSERT_EQ(delegate->ends(), 1u);
    EXPECT_FALSE(delegate->errors[0]);
    EXPECT_TRUE(server->requests().empty());

    cloudItem("/a.txt", "abc");
    operation = sync({ "/up.txt", "/a.txt" });
    EXPECT_FALSE(operation->holdsBackgroundTask());
    ASSERT_TRUE(waitForEnd(2));
    EXPECT_FALSE(delegate->errors[1]);
    EXPECT_EQ(readFile(mirrorPath("/a.txt")), "abc");
    EXPECT_EQ(requestsTo("files"), (std::vector<std::string> { "/a.txt" }));
}

TEST_F(VKCloudSyncOperationTest, FiveFilesFetchTwoAtATimeInTheirOrder)
{
    const auto paths = fiveFiles();
    // The third file's stored copy is current: it completes without a download.
    service->fetchResource(resource("/S/3.txt"), callbacks);
    ASSERT_TRUE(waitFor([&] {
        return std::count(callbacks->events.begin(), callbacks->events.end(), "fetched /S/3.txt") == 1;
    })) << server->errors();
    server->reset();

    stall("metadata", "listings");
    auto operation = sync(paths);
    size_t most = 0;
    delegate->onProgress = [&] { most = std::max(most, operation->activeFetchCount()); };
    ASSERT_TRUE(waitFor([&] { return requestsTo("metadata").size() == 2; }));
    settle(0.2);
    // Both start at once, so the server may see them in either order.
    auto first = requestsTo("metadata");
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, (std::vector<std::string> { "/S/1.txt", "/S/2.txt" }));
    EXPECT_EQ(operation->activeFetchCount(), 2u);
    server->reset();
    server->release("listings");
    ASSERT_TRUE(waitForEnd());
    EXPECT_FALSE(delegate->errors[0]) << delegate->text();
    EXPECT_LE(most, 2u);
    // The rest started as places came free; 3 needed no bytes.
    auto listings = requestsTo("metadata");
    std::sort(listings.begin(), listings.end());
    EXPECT_EQ(listings, (std::vector<std::string> { "/S/3.txt", "/S/4.txt", "/S/5.txt" }));
    auto files = requestsTo("files");
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string> { "/S/1.txt", "/S/2.txt", "/S/4.txt", "/S/5.txt" }));
    for (const auto& path : paths)
        EXPECT_EQ(sha256(mirrorPath(path)), sha256(server->localPath(path))) << path;
    ASSERT_FALSE(delegate->progresses.empty());
    EXPECT_TRUE(std::is_sorted(delegate->progresses.begin(), delegate->progresses.end()));
    EXPECT_LE(delegate->progresses.back(), 1.0f);
}

TEST_F(VKCloudSyncOperationTest, AFailedFetchCountsOnceAndTheRestGoOn)
{
    const auto paths = fiveFiles();
    server->reset();
    refuse("files", "/S/2.txt");
    server->addFault(R"({"endpoint": "files", "path": "/S/4.txt", "truncate_after": 10, "always": true})");
    auto operation = sync(paths);
    ASSERT_TRUE(waitForEnd());
    settle(0.2);
    ASSERT_EQ(delegate->ends(), 1u);
    EXPECT_EQ(delegate->code(), -1);
    EXPECT_EQ(delegate->text(), "Sync failed for 2 items");
    for (const char* path : { "/S/1.txt", "/S/3.txt", "/S/5.txt" })
        EXPECT_EQ(readFile(mirrorPath(path)), readFile(server->localPath(path))) << path;
    EXPECT_FALSE(onDisk("/S/2.txt"));
    EXPECT_FALSE(onDisk("/S/4.txt"));
}

TEST_F(VKCloudSyncOperationTest, CancellingEmptiesTheQueueAndTheCancelAnswersStartNothing)
{
    const auto paths = fiveFiles();
    server->reset();
    stall("files", "bytes");
    auto operation = sync(paths);
    ASSERT_TRUE(waitFor([&] { return requestsTo("files").size() == 2; }));
    operation->cancel();
    ASSERT_EQ(delegate->ends(), 1u);
    EXPECT_FALSE(delegate->errors[0]);
    EXPECT_FALSE(service->isFetchingItemAtPath("/S/1.txt"));
    EXPECT_FALSE(service->isFetchingItemAtPath("/S/2.txt"));
    server->release("bytes");
    settle(0.4);
    EXPECT_EQ(delegate->ends(), 1u);
    EXPECT_EQ(requestsTo("metadata").size(), 2u) << "nothing after the first two";
    EXPECT_FALSE(onDisk("/S/3.txt"));
}

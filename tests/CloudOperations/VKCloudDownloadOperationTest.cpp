// Copying and moving cloud items into a local folder through the download
// manager, against the fake cloud service: the listing refresh, the quota
// question, the downloads, the deletion of a move's sources and cancelling.

#include "CloudOperations/CloudOperationTestCase.h"
#include "CloudOperations/VKCloudDeleteOperation.h"
#include "Kit/VKHomeLayout.h"
#include "Downloads/VKDownloadFileResource.h"

using namespace std::string_literals;

class VKCloudDownloadOperationTest : public test::CloudOperationTestCase {
protected:
    std::shared_ptr<VKCloudDownloadOperation> download(const std::vector<std::string>& cloudPaths, bool move = false,
        const std::string& folder = "Out")
    {
        const std::string path = inDocuments(folder);
        std::filesystem::create_directories(path);
        auto operation = VKCloudDownloadOperation::initWithResources(resources(cloudPaths));
        operation->setDeleteOriginals(move);
        cancellable = operation;
        return start(operation, VKFileResource::resourceWithPath(path));
    }
    static std::string inDocuments(const std::string& relative)
    {
        return VKHomeLayout::current()->documentsDirectory() + "/" + relative;
    }
    static size_t stateFiles()
    {
        size_t count = 0;
        const std::string folder = VKHomeLayout::current()->downloadsDirectory();
        if (std::filesystem::exists(folder))
            for (const auto& entry : std::filesystem::directory_iterator(folder))
                count += entry.path().extension() == ".info";
        return count;
    }
    static void writeFile(const std::string& path, std::string_view contents)
    {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << contents;
    }
    bool marked(const std::string& cloudPath) { return resource(cloudPath) && resource(cloudPath)->isMarkedDeleted(); }
};

TEST_F(VKCloudDownloadOperationTest, ItStartsPreparingAndAMoveOfAnUploadStartsNothing)
{
    cloudItem("/a.txt", "a");
    mirror("/up.txt", false, 3);
    makeUpload("/up.txt");
    server->reset();
    auto operation = VKCloudDownloadOperation::initWithResources(resources({ "/a.txt", "/up.txt" }));
    EXPECT_EQ(operation->label(), "Preparing...");
    EXPECT_TRUE(operation->isIndeterminate());
    EXPECT_TRUE(operation->mayBeCancelled());

    download({ "/a.txt", "/up.txt" }, true);
    ASSERT_EQ(delegate->ends(), 1u);
    EXPECT_EQ(delegate->code(), -2);
    EXPECT_EQ(delegate->text(), "Cannot move items which are currently uploading");
    EXPECT_FALSE(marked("/a.txt"));
    EXPECT_TRUE(VKDownloadManager::sharedManager()->allDownloads().empty());
    EXPECT_TRUE(server->requests().empty());
}

TEST_F(VKCloudDownloadOperationTest, AMissingDestinationIsMadeAndOneThatCannotBeEndsWithTheFileSystemsError)
{
    cloudItem("/a.txt", "abc");
    // A destination that went away after it was picked.
    const std::string gone = inDocuments("Gone/Deeper");
    std::filesystem::create_directories(gone);
    auto destination = VKFileResource::resourceWithPath(gone);
    std::filesystem::remove_all(inDocuments("Gone"));
    start(VKCloudDownloadOperation::initWithResources(resources({ "/a.txt" })), destination);
    ASSERT_TRUE(waitForEnd());
    EXPECT_FALSE(delegate->errors[0]);
    EXPECT_EQ(readFile(gone + "/a.txt"), "abc");

    // Below a file no folder can be made.
    std::filesystem::create_directories(inDocuments("d/e"));
    auto blocked = VKFileResource::resourceWithPath(inDocuments("d/e"));
    std::filesystem::remove_all(inDocuments("d"));
    writeFile(inDocuments("d"), "a file in the way");
    start(VKCloudDownloadOperation::initWithResources(resources({ "/a.txt" })), blocked);
    ASSERT_EQ(delegate->ends(), 2u);
    ASSERT_TRUE(delegate->errors[1]);
    EXPECT_EQ(delegate->errors[1]->domain(), core::Error::POSIXDomain);
    EXPECT_EQ(delegate->code(), ENOTDIR);
}

TEST_F(VKCloudDownloadOperationTest, CopyingAFolderBringsTheServersBytesAndLeavesNoRecords)
{
    cloudFile("/Docs/x.txt", std::string(3000, 'x'));
    cloudFile("/Docs/y.bin", "why");
    cloudFile("/Docs/Sub/z.txt", "zed");
    mirror("/Docs", true);
    server->reset();
    auto operation = download({ "/Docs" });
    ASSERT_TRUE(waitForEnd());
    ASSERT_FALSE(delegate->errors[0]) << delegate->text();
    EXPECT_EQ(delegate->willStart, 1);
    EXPECT_FALSE(operation->isIndeterminate());
    for (const char* name : { "x.txt", "y.bin", "Sub/z.txt" })
        EXPECT_EQ(sha256(inDocuments("Out/Docs/"s + name)), sha256(server->localPath("/Docs/"s + name))) << name;
    EXPECT_EQ(stateFiles(), 0u);
    EXPECT_TRUE(VKDownloadManager::sharedManager()->allDownloads().empty());
    // The folder's listing came first, so the estimate counted its files.
    ASSERT_FALSE(requestsTo("metadata").empty());
    EXPECT_EQ(requestsTo("metadata")[0], "/Docs");
    ASSERT_FALSE(delegate->progresses.empty());
    EXPECT_FLOAT_EQ(delegate->progresses.back(), 1.0f);
    EXPECT_TRUE(std::is_sorted(delegate->progresses.begin(), delegate->progresses.end()));
    EXPECT_FALSE(operation->holdsBackgroundTask());
}

TEST_F(VKCloudDownloadOperationTest, FoldersAreRefreshedOneAtATimeAndAFailedRefreshFailsEveryItem)
{
    cloudFile("/P/p.txt", "p");
    cloudFile("/Q/q.txt", "q");
    mirror("/P", true);
    mirror("/Q", true);
    server->reset();
    stall("metadata", "first", "/P", false);
    download({ "/P", "/Q" });
    ASSERT_TRUE(waitFor([&] { return requestsTo("metadata").size() == 1; }));
    settle(0.3);
    EXPECT_EQ(requestsTo("metadata"), (std::vector<std::string> { "/P" }));
    server->release("first");
    ASSERT_TRUE(waitForEnd());
    EXPECT_FALSE(delegate->errors[0]) << delegate->text();
    const auto listings = requestsTo("metadata");
    ASSERT_GE(listings.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(listings.begin(), listings.begin() + 2), (std::vector<std::string> { "/P", "/Q" }));
    EXPECT_EQ(readFile(inDocuments("Out/Q/q.txt")), "q");

    // A refresh that fails: every selected item failed, and a move shows
    // them all again.
    cloudItem("/x.txt", "x");
    refuse("metadata", "/P");
    auto operation = download({ "/P", "/x.txt" }, true, "Again");
    EXPECT_TRUE(marked("/P"));
    EXPECT_TRUE(marked("/x.txt"));
    ASSERT_TRUE(waitForEnd(2));
    EXPECT_EQ(delegate->code(), -1);
    EXPECT_EQ(delegate->text(), "Move of 2 items failed");
    EXPECT_EQ(operation->errorCount(), 2u);
    EXPECT_FALSE(marked("/P"));
    EXPECT_FALSE(marked("/x.txt"));
    EXPECT_FALSE(std::filesystem::exists(inDocuments("Again/x.txt")));
}

TEST_F(VKCloudDownloadOperationTest, TheQuotaQuestion)
{
    cloudItem("/a.txt", std::string(1000, 'a'));
    cloudItem("/b.txt", std::string(2000, 'b'));
    std::optional<uint64_t> available;
    VKQuotaManager::setFreeSpaceFunctionForTesting([&](const std::string&) { return available; });
    // No figure for the room left: never asked, the downloads start at once.
    download({ "/a.txt", "/b.txt" }, false, "NoFigure");
    EXPECT_EQ(delegate->willStart, 1);
    EXPECT_TRUE(questions->asked.empty());
    ASSERT_TRUE(waitForEnd());
    EXPECT_FALSE(delegate->errors[0]);

    // Exactly the room left is asked about.
    available = 3000;
    auto operation = download({ "/a.txt", "/b.txt" }, false, "Equal");
    ASSERT_TRUE(questions->hasOpenQuestion());
    EXPECT_EQ(questions->asked.back().bytes, 3000u);
    EXPECT_EQ(questions->asked.back().availableBytes, 3000u);
    EXPECT_TRUE(operation->isIndeterminate());
    EXPECT_EQ(delegate->willStart, 1);
    questions->answer(VKTransferAnswer::Decline);
    ASSERT_TRUE(waitForEnd(2));
    EXPECT_FALSE(delegate->errors[1]);
    EXPECT_EQ(delegate->willStart, 1);
    EXPECT_TRUE(VKDownloadManager::sharedManager()->allDownloads().empty());

    // Going on downloads with no second question.
    download({ "/a.txt", "/b.txt" }, false, "Continue");
    ASSERT_TRUE(questions->hasOpenQuestion());
    questions->answer(VKTransferAnswer::GoOn);
    ASSERT_TRUE(waitFor([&] { return delegate->willStart == 2; }));
    ASSERT_TRUE(waitForEnd(3));
    EXPECT_FALSE(delegate->errors[2]);
    EXPECT_EQ(readFile(inDocuments("Continue/b.txt")), std::string(2000, 'b'));
    // One byte more room than the download is no question at all.
    available = 3001;
    download({ "/a.txt", "/b.txt" }, false, "Room");
    EXPECT_EQ(delegate->willStart, 3);
    ASSERT_TRUE(waitForEnd(4));
    EXPECT_EQ(questions->asked.size(), 2u);

    // A folder counts itself and its direct children, as its refreshed
    // listing gives them: not what lies deeper.
    cloudFile("/E/x.txt", std::string(100, 'x'));
    cloudFile("/E/Sub/deep.txt", std::string(5000, 'd'));
    mirror("/E", true);
    available = 100;
    download({ "/E" }, false, "Estimate");
    ASSERT_TRUE(waitFor([&] { return questions->hasOpenQuestion(); }));
    EXPECT_EQ(questions->asked.back().bytes, 100u);
    // Cancelled from its progress row, it takes its question away.
    operation = std::static_pointer_cast<VKCloudDownloadOperation>(cancellable);
    operation->cancel();
    EXPECT_TRUE(questions->asked.back().withdrawn);
    ASSERT_TRUE(waitForEnd(5));

    // A question the system took away leaves the operation waiting.
    available = 10;
    operation = download({ "/a.txt" }, false, "System");
    ASSERT_TRUE(questions->hasOpenQuestion());
    questions->answer(VKTransferAnswer::Dismissed);
    settle(0.2);
    EXPECT_EQ(delegate->ends(), 5u);
    EXPECT_FALSE(operation->hasEnded());
    EXPECT_TRUE(VKDownloadManager::sharedManager()->allDownloads().empty());
}

TEST_F(VKCloudDownloadOperationTest, AFailedDownloadCountsOnceAndTheItemItReplacedWaitsInTheTrash)
{
    cloudItem("/a.txt", std::string(5000, 'n'));
    cloudItem("/b.txt", "bee");
    writeFile(inDocuments("Out/a.txt"), "OLD");
    server->reset();
    server->addFault(R"({"endpoint": "files", "path": "/a.txt", "truncate_after": 100, "always": true})");
    auto operation = download({ "/a.txt", "/b.txt" });
    ASSERT_TRUE(waitForEnd());
    settle(0.2);
    ASSERT_EQ(delegate->ends(), 1u);
    EXPECT_EQ(delegate->code(), -1);
    EXPECT_EQ(delegate->text(), "Copy of 1 items failed");
    EXPECT_EQ(readFile(inDocuments("Out/b.txt")), "bee");
    EXPECT_FALSE(std::filesystem::exists(inDocuments("Out/a.txt")));
    EXPECT_TRUE(VKDownloadManager::sharedManager()->allDownloads().empty());
    EXPECT_EQ(stateFiles(), 0u);
    // The old file was not destroyed: it waits, bytes intact, in the trash.
    std::vector<std::string> trashed;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(trashPath()))
        if (entry.path().filename() == "a.txt")
            trashed.push_back(entry.path().string());
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_EQ(readFile(trashed[0]), "OLD");
}

TEST_F(VKCloudDownloadOperationTest, AMoveDeletesOnlyTheSourcesThatArrived)
{
    cloudAndMirrorFolder("/M");
    for (const char* name : { "a", "b", "c" })
        cloudItem("/M/"s + name + ".txt", std::string(200, name[0]));
    server->reset();
    server->addFault(R"({"endpoint": "files", "path": "/M/c.txt", "truncate_after": 10, "always": true})");
    auto operation = download({ "/M/a.txt", "/M/b.txt", "/M/c.txt" }, true);
    EXPECT_TRUE(marked("/M/a.txt"));
    EXPECT_TRUE(marked("/M/c.txt"));
    ASSERT_TRUE(waitForEnd());
    settle(0.2);
    ASSERT_EQ(delegate->ends(), 1u);
    EXPECT_EQ(delegate->code(), -1);
    EXPECT_EQ(delegate->text(), "Move of 1 items failed");
    ASSERT_TRUE(operation->deleteOperation());
    EXPECT_EQ(operation->deleteOperation()->resources().size(), 2u);
    std::vector<std::string> deleted = requestsTo("fileops/delete");
    std::sort(deleted.begin(), deleted.end());
    EXPECT_EQ(deleted, (std::vector<std::string> { "/M/a.txt", "/M/b.txt" }));
    EXPECT_FALSE(std::filesystem::exists(server->localPath("/M/a.txt")));
    EXPECT_TRUE(std::filesystem::exists(server->localPath("/M/c.txt")));
    EXPECT_FALSE(mirrorNode("/M/a.txt"));
    EXPECT_FALSE(mirrorNode("/M/b.txt"));
    EXPECT_EQ(readFile(inDocuments("Out/a.txt")), std::string(200, 'a'));
    // The item that did not arrive shows again.
    EXPECT_FALSE(marked("/M/c.txt"));

    // The delete's own failure is not the move's: what it could not remove
    // was copied all the same.
    cloudItem("/M/d.txt", "d");
    refuse("fileops/delete", "/M/d.txt");
    download({ "/M/d.txt" }, true, "Second");
    ASSERT_TRUE(waitForEnd(2));
    EXPECT_FALSE(delegate->errors[1]) << delegate->text();
    EXPECT_EQ(readFile(inDocuments("Second/d.txt")), "d");
    EXPECT_FALSE(marked("/M/d.txt"));
}

TEST_F(VKCloudDownloadOperationTest, CancellingEndsAtOnceInEveryPhase)
{
    cloudFile("/P/p.txt", "p");
    mirror("/P", true);
    cloudItem("/a.txt", std::string(100, 'a'));
    cloudItem("/b.txt", std::string(100, 'b'));
    server->reset();

    // While a folder's listing loads.
    stall("metadata", "listing", "/P", false);
    auto operation = download({ "/P" }, true, "One");
    ASSERT_TRUE(waitFor([&] { return requestsTo("metadata").size() == 1; }));
    operation->cancel();
    ASSERT_EQ(delegate->ends(), 1u);
    EXPECT_FALSE(delegate->errors[0]);
    EXPECT_FALSE(marked("/P"));
    server->release("listing");
    settle(0.3);
    EXPECT_EQ(delegate->ends(), 1u);
    EXPECT_TRUE(VKDownloadManager::sharedManager()->allDownloads().empty());

    // While the files download: their records go.
    stall("files", "bytes");
    operation = download({ "/a.txt", "/b.txt" }, false, "Two");
    ASSERT_TRUE(waitFor([&] { return requestsTo("files").size() == 2; }));
    EXPECT_EQ(operation->downloads().size(), 2u);
    operation->cancel();
    ASSERT_EQ(delegate->ends(), 2u);
    EXPECT_FALSE(delegate->errors[1]);
    EXPECT_TRUE(VKDownloadManager::sharedManager()->allDownloads().empty());
    EXPECT_EQ(stateFiles(), 0u);
    server->release("bytes");
    server->reset();
    settle(0.3);
    EXPECT_EQ(delegate->ends(), 2u);
    EXPECT_FALSE(std::filesystem::exists(inDocuments("Two/a.txt")));

    // While a move's sources are deleted: the delete is cancelled.
    stall("fileops/delete", "delete");
    operation = download({ "/a.txt" }, true, "Three");
    ASSERT_TRUE(waitFor([&] { return requestsTo("fileops/delete").size() == 1; }));
    ASSERT_TRUE(operation->deleteOperation());
    operation->cancel();
    ASSERT_EQ(delegate->ends(), 3u);
    EXPECT_FALSE(delegate->errors[2]);
    EXPECT_TRUE(operation->deleteOperation()->isCancelled());
    server->release("delete");
    settle(0.3);
    EXPECT_EQ(delegate->ends(), 3u);
}

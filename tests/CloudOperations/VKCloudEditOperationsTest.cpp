// Moving, copying, renaming, deleting and creating cloud items against the
// fake cloud service: what is sent, what the mirror shows after each answer
// and how each operation ends.

#include "CloudOperations/CloudOperationTestCase.h"
#include "CloudOperations/VKCloudCopyOperation.h"
#include "CloudOperations/VKCloudCreateFolderOperation.h"
#include "CloudOperations/VKCloudDeleteOperation.h"
#include "CloudOperations/VKCloudMoveOperation.h"
#include "CloudOperations/VKCloudRenameOperation.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Support/NotificationRecorder.h"

using namespace std::string_literals;

class VKCloudEditOperationsTest : public test::CloudOperationTestCase {
protected:
    void SetUp() override
    {
        CloudOperationTestCase::SetUp();
        cloudAndMirrorFolder("/F");
        cloudAndMirrorFolder("/G");
    }
};

TEST_F(VKCloudEditOperationsTest, LabelsAndDescriptions)
{
    cloudItem("/F/a.txt", "a");
    cloudItem("/F/b.txt", "b");
    const auto one = resources({ "/F/a.txt" });
    const auto two = resources({ "/F/a.txt", "/F/b.txt" });
    EXPECT_EQ(VKCloudMoveOperation::initWithResources(one)->label(), "Moving 1 Item");
    EXPECT_EQ(VKCloudMoveOperation::initWithResources(two)->label(), "Moving 2 Items");
    EXPECT_EQ(VKCloudCopyOperation::initWithResources(one)->label(), "Copying 1 Item");
    EXPECT_EQ(VKCloudCopyOperation::initWithResources(two)->label(), "Copying 2 Items");
    EXPECT_EQ(VKCloudDeleteOperation::initWithResources(one)->label(), "Deleting 1 Item");
    EXPECT_EQ(VKCloudDeleteOperation::initWithResources(two)->label(), "Deleting 2 Items");
    EXPECT_EQ(VKCloudRenameOperation::initWithResource(one[0], "c.txt")->label(), "Renaming");
    EXPECT_EQ(VKCloudCreateFolderOperation::initWithPath(mirrorPath("/F/New"))->label(), "Creating Folder...");
}

TEST_F(VKCloudEditOperationsTest, AMoveOrCopyHoldingAnUploadSendsNothing)
{
    cloudItem("/F/a.txt", "a");
    mirror("/F/up.txt", false, 2);
    makeUpload("/F/up.txt");
    // A fetch of the first item runs, held by the server.
    stall("metadata", "fetch", "/F/a.txt");
    service->fetchResource(resource("/F/a.txt"), callbacks);
    ASSERT_TRUE(waitFor([&] { return server->requests().size() == 1; }));

    start(VKCloudMoveOperation::initWithResources(resources({ "/F/a.txt", "/F/up.txt" })), resource("/G"));
    ASSERT_EQ(delegate->ends(), 1u);
    EXPECT_EQ(delegate->errors[0]->domain(), VKFileOperationErrorDomain);
    EXPECT_EQ(delegate->code(), -2);
    EXPECT_EQ(delegate->text(), "Cannot move items which are currently uploading");
    // The earlier item's fetch was cancelled on the way and stays so.
    EXPECT_FALSE(service->isFetchingItemAtPath("/F/a.txt"));
    EXPECT_EQ(callbacks->events, (std::vector<std::string> { "fetchCancelled /F/a.txt" }));

    start(VKCloudCopyOperation::initWithResources(resources({ "/F/a.txt", "/F/up.txt" })), resource("/G"));
    ASSERT_EQ(delegate->ends(), 2u);
    EXPECT_EQ(delegate->code(), -2);
    EXPECT_EQ(delegate->text(), "Cannot copy items which are currently uploading");
    settle(0.2);
    EXPECT_EQ(server->requests().size(), 1u) << "only the fetch's listing";
    EXPECT_EQ(core::activeBackgroundTaskCount(), 0u);
}

TEST_F(VKCloudEditOperationsTest, AMoveSendsEveryRequestAtOnceAndCarriesNodesAndStoredCopies)
{
    cloudItem("/F/a.txt", "aaa");
    cloudItem("/F/b.txt", "bb");
    cloudItem("/F/c.txt", "c");
    cached("/F/a.txt", "aaa");
    // The mirror already has a node where c goes: the store refuses, which
    // is only logged.
    mirror("/G/c.txt", false, 9);
    server->reset();
    stall("fileops/move", "moves");

    auto operation = start(VKCloudMoveOperation::initWithResources(resources({ "/F/a.txt", "/F/b.txt", "/F/c.txt" })),
        resource("/G"));
    ASSERT_TRUE(waitFor([&] { return server->requests().size() == 3; }));
    EXPECT_EQ(delegate->ends(), 0u);
    EXPECT_TRUE(operation->holdsBackgroundTask());
    auto targets = requestsTo("fileops/move", "to_path");
    std::sort(targets.begin(), targets.end());
    EXPECT_EQ(targets, (std::vector<std::string> { "/G/a.txt", "/G/b.txt", "/G/c.txt" }));
    server->release("moves");
    ASSERT_TRUE(waitForEnd());
    settle(0.2);
    ASSERT_EQ(delegate->ends(), 1u);
    EXPECT_FALSE(delegate->errors[0]);
    EXPECT_EQ(operation->processedCount(), 3u);
    EXPECT_FALSE(operation->holdsBackgroundTask());

    EXPECT_FALSE(mirrorNode("/F/a.txt"));
    ASSERT_TRUE(mirrorNode("/G/a.txt"));
    EXPECT_EQ(readFile(mirrorPath("/G/a.txt")), "aaa");
    EXPECT_FALSE(onDisk("/F/a.txt"));
    ASSERT_TRUE(resource("/G/a.txt"));
    EXPECT_TRUE(resource("/G/a.txt")->isStoredLocally());
    EXPECT_TRUE(mirrorNode("/G/b.txt"));
    EXPECT_TRUE(mirrorNode("/F/c.txt"));
    EXPECT_TRUE(logContains("Warning moveObject:toPath: failed: "));
    EXPECT_EQ(readFile(server->localPath("/G/c.txt")), "c");
    // What the store saved is what sqlite3 reads.
    EXPECT_EQ(sqlite("SELECT count(*) FROM VKCloudManagedObject WHERE name = 'a.txt'"), "1");
}

TEST_F(VKCloudEditOperationsTest, EveryFailedAnswerCountsOnceAndTheEndComesOnce)
{
    for (const char* name : { "a", "b", "c", "d" })
        cloudItem("/F/"s + name + ".txt", name);
    server->reset();
    // Refused, dropped mid-answer, garbage, and one that works.
    refuse("fileops/move", "/F/a.txt", 403);
    server->addFault(R"({"endpoint": "fileops/move", "path": "/F/b.txt", "truncate_after": 5})");
    server->addFault(R"({"endpoint": "fileops/move", "path": "/F/c.txt", "status": 200, "body": "garbage"})");
    auto operation = start(
        VKCloudMoveOperation::initWithResources(resources({ "/F/a.txt", "/F/b.txt", "/F/c.txt", "/F/d.txt" })),
        resource("/G"));
    ASSERT_TRUE(waitForEnd());
    settle(0.3);
    ASSERT_EQ(delegate->ends(), 1u);
    EXPECT_EQ(delegate->code(), -1);
    EXPECT_EQ(delegate->text(), "Move of 3 items failed");
    EXPECT_EQ(operation->processedCount(), 4u);
    EXPECT_TRUE(mirrorNode("/F/a.txt"));
    EXPECT_TRUE(mirrorNode("/G/d.txt"));
}

TEST_F(VKCloudEditOperationsTest, ACopyIntoItsOwnFolderTakesTheNumberedCopyName)
{
    cloudItem("/F/a.txt", "abcde");
    auto source = mirrorNode("/F/a.txt");
    source->setCloudRevision(7);
    source->setModificationDate(core::Date::fromUnixTime(1000000000));
    store()->saveContext();
    cached("/F/a.txt", "abcde");

    for (const char* expected : { "a copy.txt", "a copy 1.txt" }) {
        auto operation = start(VKCloudCopyOperation::initWithResources(resources({ "/F/a.txt" })), resource("/F"));
        ASSERT_TRUE(waitForEnd(delegate->ends() + 1));
        EXPECT_FALSE(delegate->errors.back());
        EXPECT_EQ(readFile(server->localPath("/F/"s + expected)), "abcde");
        auto copy = mirrorNode("/F/"s + expected);
        ASSERT_TRUE(copy) << expected;
        EXPECT_EQ(copy->size(), 5);
        EXPECT_FALSE(copy->isDirectory());
        EXPECT_EQ(copy->modificationDate(), source->modificationDate());
        EXPECT_EQ(copy->cloudRevision(), 0);
        EXPECT_FALSE(onDisk("/F/"s + expected));
    }
    // Into another folder the name stays; a folder keeps its flag but not
    // its children.
    cloudAndMirrorFolder("/F/Sub");
    cloudItem("/F/Sub/x.txt", "x");
    start(VKCloudCopyOperation::initWithResources(resources({ "/F/a.txt", "/F/Sub" })), resource("/G"));
    ASSERT_TRUE(waitForEnd(3));
    EXPECT_FALSE(delegate->errors.back());
    // Both copies are asked at once, so they may reach the server in either order.
    const auto targets = requestsTo("fileops/copy", "to_path");
    EXPECT_NE(std::find(targets.begin(), targets.end(), "/G/Sub"), targets.end());
    EXPECT_NE(std::find(targets.begin(), targets.end(), "/G/a.txt"), targets.end());
    EXPECT_TRUE(mirrorNode("/G/a.txt"));
    ASSERT_TRUE(mirrorNode("/G/Sub"));
    EXPECT_TRUE(mirrorNode("/G/Sub")->isDirectory());
    EXPECT_FALSE(mirrorNode("/G/Sub/x.txt"));
    EXPECT_EQ(readFile(server->localPath("/G/Sub/x.txt")), "x");

    // A copy the service refuses counts as failed.
    start(VKCloudCopyOperation::initWithResources(resources({ "/F/a.txt" })), resource("/G"));
    ASSERT_TRUE(waitForEnd(4));
    EXPECT_EQ(delegate->text(), "Copy of 1 items failed");
}

TEST_F(VKCloudEditOperationsTest, ARenameChecksTheNameFirstThenTheUploadThenMovesInItsFolder)
{
    cloudItem("/F/a.txt", "a");
    cloudItem("/F/taken.txt", "t");
    mirror("/F/up.txt", false, 2);
    makeUpload("/F/up.txt");
    server->reset();
    for (const std::string& name : { ""s, "x/y"s, "."s, ".."s, "a\0b"s }) {
        const size_t before = delegate->ends();
        start(VKCloudRenameOperation::initWithResource(resource("/F/up.txt"), name));
        ASSERT_EQ(delegate->ends(), before + 1) << name;
        EXPECT_EQ(delegate->code(), -2) << name;
        EXPECT_EQ(delegate->text(), "Rename failed due to invalid name");
    }
    start(VKCloudRenameOperation::initWithResource(resource("/F/up.txt"), "fine.txt"));
    EXPECT_EQ(delegate->code(), -3);
    EXPECT_EQ(delegate->text(), "Cannot rename items which are currently uploading");
    EXPECT_TRUE(server->requests().empty());

    const size_t before = delegate->ends();
    start(VKCloudRenameOperation::initWithResource(resource("/F/a.txt"), "b.txt"));
    ASSERT_TRUE(waitForEnd(before + 1));
    EXPECT_FALSE(delegate->errors.back());
    ASSERT_EQ(server->requests().size(), 1u);
    EXPECT_EQ(server->requests()[0].parameter("from_path"), "/F/a.txt");
    EXPECT_EQ(server->requests()[0].parameter("to_path"), "/F/b.txt");
    EXPECT_TRUE(mirrorNode("/F/b.txt"));
    EXPECT_FALSE(mirrorNode("/F/a.txt"));

    start(VKCloudRenameOperation::initWithResource(resource("/F/b.txt"), "taken.txt"));
    ASSERT_TRUE(waitForEnd(before + 2));
    EXPECT_EQ(delegate->code(), -1);
    EXPECT_EQ(delegate->text(), "There was an error renaming \"b.txt\"");
    EXPECT_TRUE(mirrorNode("/F/b.txt"));
}

TEST_F(VKCloudEditOperationsTest, ADeleteTrashesWhatWentInOneHolderAndEndsAfterTheLastAnswer)
{
    cloudItem("/F/a.txt", "a");
    cloudItem("/F/b.txt", "b");
    mirror("/F/gone.txt", false, 4); // the service no longer has it: a 404
    cached("/F/a.txt", "a");
    cached("/F/gone.txt", "gone");
    server->reset();
    refuse("fileops/delete", "/F/b.txt");
    stall("fileops/delete", "deletes");
    // b's refusal asks for its folder again; that listing, made before the
    // deletes were answered, is held so it cannot race them.
    stall("metadata", "refresh", "/F");
    // A running fetch of an item goes first.
    stall("metadata", "fetch", "/F/a.txt");
    service->fetchResource(resource("/F/a.txt"), callbacks);
    ASSERT_TRUE(waitFor([&] { return server->requests().size() == 1; }));

    auto operation = VKCloudDeleteOperation::initWithResources(resources({ "/F/a.txt", "/F/b.txt", "/F/gone.txt" }));
    test::NoticeRecorder willDelete(VKFolderControllerWillDeleteResourceNotification);
    const std::string aPath = mirrorPath("/F/a.txt");
    const std::string gonePath = mirrorPath("/F/gone.txt");
    start(operation);
    EXPECT_EQ(callbacks->events, (std::vector<std::string> { "fetchCancelled /F/a.txt" }));
    EXPECT_TRUE(isInTrashGroup());
    ASSERT_TRUE(waitFor([&] { return operation->processedCount() == 1; })) << "b's refusal comes at once";
    // All three went out at once; the held two may still be on their way in.
    EXPECT_TRUE(waitFor([&] { return requestsTo("fileops/delete").size() == 3u; }));
    EXPECT_EQ(delegate->ends(), 0u);
    server->release("deletes");
    ASSERT_TRUE(waitForEnd());
    settle(0.2);
    ASSERT_EQ(delegate->ends(), 1u);
    EXPECT_EQ(operation->processedCount(), 3u);
    EXPECT_EQ(delegate->code(), -1);
    EXPECT_EQ(delegate->text(), "Failed to delete 1 items");
    EXPECT_FALSE(delegate->trashGroupOpenAtEnd);

    ASSERT_EQ(willDelete.received.size(), 2u);
    std::set<std::string> announced;
    for (size_t i = 0; i < 2; ++i) {
        announced.insert(willDelete.received[i].path);
        EXPECT_EQ(willDelete.senders[i].get(), operation.get());
    }
    EXPECT_EQ(announced, (std::set<std::string> { aPath, gonePath }));
    EXPECT_FALSE(mirrorNode("/F/a.txt"));
    EXPECT_FALSE(mirrorNode("/F/gone.txt"));
    EXPECT_TRUE(mirrorNode("/F/b.txt"));
    EXPECT_FALSE(std::filesystem::exists(aPath));
    EXPECT_FALSE(std::filesystem::exists(server->localPath("/F/a.txt")));
    EXPECT_TRUE(std::filesystem::exists(server->localPath("/F/b.txt")));
    // Both stored copies share one holder in the trash.
    std::vector<std::string> holders;
    for (const auto& entry : std::filesystem::directory_iterator(trashPath()))
        holders.push_back(entry.path().string());
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(readFile(holders[0] + "/gone.txt"), "gone");
    EXPECT_EQ(readFile(holders[0] + "/a.txt"), "a");
}

TEST_F(VKCloudEditOperationsTest, ANewFolderNeedsItsParentAndAppearsOnceConfirmed)
{
    start(VKCloudCreateFolderOperation::initWithPath(mirrorPath("/Gone") + "/New"));
    ASSERT_EQ(delegate->ends(), 1u);
    EXPECT_EQ(delegate->code(), 2);
    EXPECT_EQ(delegate->text(), "There was an error creating the folder \"New\"");

    server->reset();
    auto operation = start(VKCloudCreateFolderOperation::initWithPath(mirrorPath("/F") + "/New"));
    EXPECT_TRUE(operation->holdsBackgroundTask());
    ASSERT_TRUE(waitForEnd(2));
    EXPECT_FALSE(delegate->errors.back());
    EXPECT_EQ(requestsTo("fileops/create_folder"), (std::vector<std::string> { "/F/New" }));
    EXPECT_TRUE(std::filesystem::is_directory(server->localPath("/F/New")));
    ASSERT_TRUE(mirrorNode("/F/New"));
    EXPECT_TRUE(mirrorNode("/F/New")->isDirectory());
    EXPECT_FALSE(operation->holdsBackgroundTask());

    // The service refuses a folder that exists.
    start(VKCloudCreateFolderOperation::initWithPath(mirrorPath("/F") + "/New"));
    ASSERT_TRUE(waitForEnd(3));
    EXPECT_EQ(delegate->code(), -1);
    EXPECT_EQ(delegate->text(), "There was an error creating the folder \"New\"");
    settle(0.2);
    EXPECT_EQ(delegate->ends(), 3u);
}

TEST_F(VKCloudEditOperationsTest, RunningOutOfBackgroundTimeIsReportedAndTheEndStillComes)
{
    cloudItem("/F/a.txt", "a");
    stall("fileops/move", "move");
    auto operation = start(VKCloudMoveOperation::initWithResources(resources({ "/F/a.txt" })), resource("/G"));
    ASSERT_TRUE(waitFor([&] { return !requestsTo("fileops/move").empty(); }));
    core::expireBackgroundTasksForTesting();
    ASSERT_EQ(delegate->ends(), 1u);
    EXPECT_EQ(delegate->code(), VKFileOperationErrorCodeBackgroundTimeout);
    server->release("move");
    ASSERT_TRUE(waitForEnd(2));
    EXPECT_FALSE(delegate->errors.back());
    EXPECT_TRUE(mirrorNode("/G/a.txt"));
}

TEST_F(VKCloudEditOperationsTest, AListingMadeBeforeADeleteOrRenameIsAskedForAgainNotMerged)
{
    cloudItem("/F/a.txt", "a");
    cloudItem("/F/b.txt", "b");
    cloudItem("/F/keep.txt", "k");
    server->reset();
    // The folder's listing is made now and held on its way back.
    stall("metadata", "listing", "/F", false);
    service->updateMetadataForResource(resource("/F"), callbacks);
    ASSERT_TRUE(waitFor([&] { return requestsTo("metadata").size() == 1u; }));

    start(VKCloudDeleteOperation::initWithResources(resources({ "/F/a.txt" })));
    ASSERT_TRUE(waitForEnd(1));
    start(VKCloudRenameOperation::initWithResource(resource("/F/b.txt"), "c.txt"));
    ASSERT_TRUE(waitForEnd(2));
    EXPECT_FALSE(mirrorNode("/F/a.txt"));
    EXPECT_FALSE(mirrorNode("/F/b.txt"));
    ASSERT_TRUE(mirrorNode("/F/c.txt"));

    server->release("listing");
    ASSERT_TRUE(waitFor([&] { return !callbacks->events.empty(); }));
    EXPECT_EQ(callbacks->events, (std::vector<std::string> { "updated /F" }));
    EXPECT_EQ(requestsTo("metadata"), (std::vector<std::string> { "/F", "/F" }));
    EXPECT_FALSE(mirrorNode("/F/a.txt"));
    EXPECT_FALSE(mirrorNode("/F/b.txt"));
    EXPECT_TRUE(mirrorNode("/F/c.txt"));
    EXPECT_TRUE(mirrorNode("/F/keep.txt"));
}

// The upload operation end to end: size limit, listing refresh, the
// overwrite question, the staging copy into the mirror and the uploads to
// the fake cloud service.

#include "CloudOperations/UploadTestCase.h"
#include "CloudOperations/VKCloudUploadOperation.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/ActionSheet.h"
#include "Support/Cloud/TestCloudService.h"
#include "Support/NotificationRecorder.h"

#include <fmt/format.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Shows the overwrite question in the test window and writes down the rest.
class RecordingUploadDelegate : public VKCloudUploadOperationDelegate {
public:
    void fileOperation(VKFileOperation&, float progress) override { progresses.push_back(progress); }
    void fileOperationDidEnd(VKFileOperation&, const std::optional<core::Error>& error) override
    {
        ++ends;
        this->error = error;
    }
    void cloudUploadOperationWillStart(VKCloudUploadOperation&) override { ++willStart; }
    void showActionSheet(const std::shared_ptr<ui::ActionSheet>& sheet, VKCloudUploadOperation&) override
    {
        sheets.push_back(sheet);
        sheet->showInView(*ui::testing::Environment::keyWindow());
    }

    std::vector<float> progresses;
    int ends = 0;
    int willStart = 0;
    std::optional<core::Error> error;
    std::vector<std::shared_ptr<ui::ActionSheet>> sheets;
};

} // namespace

class VKCloudUploadOperationTest : public test::UploadTestCase {
protected:
    void SetUp() override
    {
        UploadTestCase::SetUp();
        cloudAndMirrorFolder("/Up");
    }
    void TearDown() override
    {
        if (operation && !operation->hasEnded())
            operation->cancel();
        operation.reset();
        core::Thread::waitForAll(10);
        UploadTestCase::TearDown();
    }

    std::shared_ptr<VKFileResource> local(const std::string& name, const std::string& contents)
    {
        return VKFileResource::resourceWithPath(makeFile("Documents/" + name, contents));
    }
    void start(std::vector<std::shared_ptr<VKFileResource>> sources, bool move = false,
        const std::string& destination = "/Up")
    {
        operation = VKCloudUploadOperation::initWithResources(std::move(sources));
        operation->setDestination(resource(destination));
        operation->setDeleteOriginals(move);
        operation->setDelegate(delegate);
        operation->run();
    }
    bool waitForEnd() { return waitFor([&] { return delegate->ends > 0; }) ; }
    std::string errorText() const
    {
        return delegate->error ? delegate->error->localizedDescription() : std::string("none");
    }
    bool uploaded(const std::string& name, const std::shared_ptr<VKFileResource>& source) const
    {
        return sha256(server->localPath("/Up/" + name)) == sha256(source->path());
    }

    std::shared_ptr<RecordingUploadDelegate> delegate = std::make_shared<RecordingUploadDelegate>();
    std::shared_ptr<VKCloudUploadOperation> operation;
};

TEST_F(VKCloudUploadOperationTest, TheSizeLimitIsCheckedBeforeAnyRequest)
{
    const auto sparse = [&](const std::string& name, uint64_t size) {
        const std::string path = makeFile("Documents/" + name);
        EXPECT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0);
        return VKFileResource::resourceWithPath(path);
    };
    const uint64_t limit = VKDropboxCloudService::UploadSizeLimit;
    server->reset();
    start({ local("small.txt", "small"), sparse("huge.bin", limit + 1) });
    ASSERT_EQ(delegate->ends, 1);
    ASSERT_TRUE(delegate->error);
    EXPECT_EQ(delegate->error->domain(), "VKCloudUploadOperation");
    EXPECT_EQ(delegate->error->code(), 512);
    EXPECT_EQ(errorText(), "One or more items exceed the upload size limit ("
            + VKBytesFormatter::sharedFormatter().formatBytesAsString(limit) + ").");
    EXPECT_TRUE(server->requests().empty());

    // Exactly the limit passes: the destination's listing is asked for.
    delegate = std::make_shared<RecordingUploadDelegate>();
    start({ sparse("exact.bin", limit) });
    EXPECT_EQ(delegate->ends, 0);
    EXPECT_TRUE(service->isUpdatingMetadataForResource(resource("/Up")));
    operation->cancel();
    EXPECT_EQ(delegate->ends, 1);
    EXPECT_FALSE(delegate->error);

    // A service without a limit takes any size.
    auto other = test::TestCloudService::install("Other");
    other->setUploadSizeLimit(0);
    makeNode("Other", true);
    delegate = std::make_shared<RecordingUploadDelegate>();
    operation = VKCloudUploadOperation::initWithResources({ sparse("bigger.bin", limit * 2) });
    operation->setDestination(VKCloudFileResource::resourceWithPath(serverPath("Other")));
    operation->setDelegate(delegate);
    operation->run();
    EXPECT_EQ(delegate->ends, 0);
    ASSERT_FALSE(other->calls().empty());
    EXPECT_EQ(other->calls().front(), "updateMetadata /");
    operation->cancel();
    EXPECT_FALSE(delegate->error);
}

TEST_F(VKCloudUploadOperationTest, AFailedListingFailsEveryItemAndAMoveKeepsItsSources)
{
    auto a = local("a.txt", "a");
    auto b = local("b.txt", "b");
    server->addFault(R"({"endpoint":"metadata","status":500})");
    test::NoticeRecorder updates(VKFolderControllerCollectionDidUpdateNotification);

    start({ a, b }, true);
    EXPECT_TRUE(a->isMarkedDeleted());
    ASSERT_TRUE(waitForEnd()) << server->errors();
    EXPECT_EQ(errorText(), "Copy of 2 items failed");
    EXPECT_EQ(delegate->error->code(), 512);
    EXPECT_TRUE(logContains("VKCloudUploadOperation metadataUpdateFailedForPath: /Up"));
    EXPECT_FALSE(a->isMarkedDeleted());
    EXPECT_FALSE(b->isMarkedDeleted());
    EXPECT_TRUE(std::filesystem::exists(a->path()));
    ASSERT_EQ(updates.received.size(), 1u);
    EXPECT_EQ(updates.received[0].path, pathInHome("Documents"));
    EXPECT_EQ(delegate->willStart, 0);
}

TEST_F(VKCloudUploadOperationTest, ConflictsAreAskedAboutAndOverwrittenOnlyOnceDeleted)
{
    cloudFile("/Up/a.txt", "old a");
    cloudFile("/Up/b.txt", "old b");
    auto a = local("a.txt", "new a");
    auto b = local("b.txt", "new b");
    auto c = local("c.txt", "new c");

    start({ a, b, c });
    ASSERT_TRUE(waitFor([&] { return !delegate->sheets.empty(); })) << server->errors();
    auto sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->title(), "Upload to \"Up\"");
    ASSERT_EQ(sheet->numberOfButtons(), 2);
    EXPECT_EQ(sheet->buttonTitle(0), "Overwrite 2 Items?");
    EXPECT_EQ(sheet->destructiveButtonIndex(), 0);
    EXPECT_EQ(sheet->buttonTitle(1), "Cancel");
    EXPECT_EQ(sheet->cancelButtonIndex(), 1);
    driver.pressSheetButton("Cancel");
    EXPECT_EQ(delegate->ends, 1);
    EXPECT_FALSE(delegate->error);
    EXPECT_EQ(sends(), 0u);

    // Overwrite: the copy waits until both deletions are confirmed.
    delegate = std::make_shared<RecordingUploadDelegate>();
    server->addFault(R"({"endpoint":"fileops/delete","path":"/Up/b.txt","stall":"b"})");
    start({ a, b, c });
    ASSERT_TRUE(waitFor([&] { return !delegate->sheets.empty(); }));
    driver.pressSheetButton("Overwrite 2 Items?");
    ASSERT_TRUE(waitFor([&] { return !mirrorNode("/Up/a.txt"); })) << server->errors();
    settle();
    EXPECT_FALSE(mirrorNode("/Up/a.txt")) << "no copy before b is deleted";
    EXPECT_EQ(sends(), 0u);
    EXPECT_TRUE(mirrorNode("/Up/b.txt"));
    server->release("b");
    ASSERT_TRUE(waitForEnd()) << server->errors();
    EXPECT_FALSE(delegate->error) << errorText();
    for (const auto& [name, source] : { std::pair { "a.txt", a }, { "b.txt", b }, { "c.txt", c } }) {
        EXPECT_TRUE(uploaded(name, source)) << name;
        ASSERT_TRUE(mirrorNode(std::string("/Up/") + name)) << name;
        EXPECT_EQ(mirrorNode(std::string("/Up/") + name)->uploadState(), VKNetworkStateNone) << name;
    }

    // A deletion that fails fails every item.
    delegate = std::make_shared<RecordingUploadDelegate>();
    server->addFault(R"({"endpoint":"fileops/delete","status":500})");
    start({ a });
    ASSERT_TRUE(waitFor([&] { return !delegate->sheets.empty(); }));
    EXPECT_EQ(driver.actionSheet()->buttonTitle(0), "Overwrite 1 Item?");
    driver.pressSheetButton(0);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(errorText(), "Copy of 1 items failed");
}

TEST_F(VKCloudUploadOperationTest, ANameDifferingOnlyInCaseIsAConflictForAServiceThatIgnoresCase)
{
    cloudFile("/Up/report.pdf", "the cloud's report");
    auto source = local("Report.pdf", "my report");

    start({ source });
    ASSERT_TRUE(waitFor([&] { return !delegate->sheets.empty(); })) << server->errors();
    EXPECT_EQ(driver.actionSheet()->buttonTitle(0), "Overwrite 1 Item?");
    driver.pressSheetButton(0);
    ASSERT_TRUE(waitForEnd()) << server->errors();
    EXPECT_FALSE(delegate->error) << errorText();
    EXPECT_EQ(requestPaths()[1], "/0/fileops/delete");
    EXPECT_TRUE(mirrorNode("/Up/Report.pdf"));
    EXPECT_FALSE(store()->managedObjectForPath(mirrorPath("/Up/report.pdf")));
    EXPECT_EQ(sha256(server->localPath("/Up/Report.pdf")), sha256(source->path()));
}

TEST_F(VKCloudUploadOperationTest, StagingLocksTheFolderAndMakesANodePerItem)
{
    auto file = local("one.txt", "one");
    makeFile("Documents/Folder/inner.txt", "inner text");
    auto folder = VKFileResource::resourceWithPath(pathInHome("Documents/Folder"));
    holdCopies({ "one.txt" });

    start({ file, folder });
    ASSERT_TRUE(waitFor([&] { return heldCopies > 0; })) << server->errors();
    auto destination = mirrorNode("/Up");
    EXPECT_TRUE(store()->isLocked(destination));
    // A listing of the folder merged meanwhile is left out.
    cloudFile("/Up/meanwhile.txt", "changed listing");
    auto listing = call([&] { service->updateMetadataForResource(resource("/Up"), callbacks); });
    EXPECT_EQ(listing, (std::vector<std::string> { "updateFailed /Up" }));
    EXPECT_TRUE(logContains("Warning, updateCloudResource skipping locked item: /Up"));

    releaseCopies();
    ASSERT_TRUE(waitFor([&] { return delegate->willStart > 0; })) << server->errors();
    EXPECT_FALSE(store()->isLocked(destination));
    auto staged = mirrorNode("/Up/Folder");
    ASSERT_TRUE(staged);
    EXPECT_TRUE(staged->isDirectory());
    auto inner = mirrorNode("/Up/Folder/inner.txt");
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->size(), 10);
    EXPECT_FALSE(inner->isDirectory());
    EXPECT_TRUE(inner->modificationDate());
    EXPECT_EQ(mirrorNode("/Up/one.txt")->size(), 3);
    EXPECT_EQ(readFile(mirrorPath("/Up/Folder/inner.txt")), "inner text");

    ASSERT_TRUE(waitForEnd()) << server->errors();
    EXPECT_FALSE(delegate->error) << errorText();
    EXPECT_EQ(readFile(server->localPath("/Up/Folder/inner.txt")), "inner text");
    EXPECT_EQ(sqlite("SELECT COUNT(*) FROM VKCloudManagedObject WHERE uploadState != 0"), "0");
}

TEST_F(VKCloudUploadOperationTest, CancellingWhileStagingLeavesNothingBehind)
{
    auto a = local("a.txt", "aaa");
    auto b = local("b.txt", "bbb");
    holdCopies({ "b.txt" });

    start({ a, b });
    ASSERT_TRUE(waitFor([&] { return heldCopies > 0; })) << server->errors();
    operation->cancel();
    EXPECT_EQ(delegate->ends, 1);
    EXPECT_FALSE(delegate->error);
    releaseCopies();
    ASSERT_TRUE(waitFor([&] { return !store()->isLocked(mirrorNode("/Up")); }));
    core::Thread::waitForAll(10);
    core::RunLoop::main().runUntilIdle();

    EXPECT_FALSE(std::filesystem::exists(mirrorPath("/Up/a.txt")));
    EXPECT_FALSE(std::filesystem::exists(mirrorPath("/Up/b.txt")));
    EXPECT_FALSE(mirrorNode("/Up/a.txt"));
    EXPECT_FALSE(mirrorNode("/Up/b.txt"));
    EXPECT_EQ(sqlite("SELECT COUNT(*) FROM VKCloudManagedObject WHERE name IN ('a.txt', 'b.txt')"), "0");
    EXPECT_EQ(delegate->ends, 1);
    EXPECT_EQ(sends(), 0u);
}

TEST_F(VKCloudUploadOperationTest, AnUnreadableSourceCountsOneErrorAndTheOthersGoOn)
{
    auto a = local("a.txt", "aaa");
    auto b = local("b.txt", "bbb");
    holdCopies({ "a.txt" }, EACCES);

    start({ a, b });
    ASSERT_TRUE(waitForEnd()) << server->errors();
    EXPECT_EQ(errorText(), "Copy of 1 items failed");
    EXPECT_TRUE(logContains("copyItemAtPath:toPath: error: "));
    EXPECT_FALSE(mirrorNode("/Up/a.txt"));
    EXPECT_FALSE(std::filesystem::exists(mirrorPath("/Up/a.txt")));
    EXPECT_TRUE(uploaded("b.txt", b));
}

TEST_F(VKCloudUploadOperationTest, FiveItemsUploadTwoAtATimeAndAMoveTrashesEachSourceAfterItsUpload)
{
    std::vector<std::shared_ptr<VKFileResource>> sources;
    for (int i = 1; i <= 5; ++i)
        sources.push_back(local(fmt::format("f{}.txt", i), std::string(1000 * i, char('0' + i))));
    server->addFault(R"({"endpoint":"files","stall":"held","always":true})");
    test::NoticeRecorder updates(VKFolderControllerCollectionDidUpdateNotification);

    start(sources, true);
    ASSERT_TRUE(waitFor([&] { return sends() == 2; })) << server->errors();
    settle();
    EXPECT_EQ(sends(), 2u);
    EXPECT_EQ(operation->activeUploadCount(), 2);
    EXPECT_EQ(delegate->willStart, 1);
    EXPECT_FALSE(operation->isIndeterminate());
    int uploading = 0, waiting = 0;
    for (int i = 1; i <= 5; ++i) {
        const int32_t state = mirrorNode(fmt::format("/Up/f{}.txt", i))->uploadState();
        uploading += state == VKNetworkStateUploading || state == VKNetworkStateFinalizing;
        waiting += state == VKNetworkStateWaiting;
    }
    EXPECT_EQ(uploading, 2);
    EXPECT_EQ(waiting, 3);
    // Nothing is trashed before its own upload completed.
    for (const auto& source : sources)
        EXPECT_TRUE(std::filesystem::exists(source->path()));

    server->release("held");
    ASSERT_TRUE(waitForEnd()) << server->errors();
    EXPECT_FALSE(delegate->error) << errorText();
    for (int i = 1; i <= 5; ++i) {
        const std::string name = fmt::format("f{}.txt", i);
        EXPECT_EQ(readFile(server->localPath("/Up/" + name)), std::string(1000 * i, char('0' + i)));
        EXPECT_EQ(mirrorNode("/Up/" + name)->uploadState(), VKNetworkStateNone);
        EXPECT_FALSE(std::filesystem::exists(sources[i - 1]->path())) << name;
    }
    ASSERT_FALSE(delegate->progresses.empty());
    EXPECT_FLOAT_EQ(delegate->progresses.back(), 1.0f);
    EXPECT_TRUE(std::is_sorted(delegate->progresses.begin(), delegate->progresses.end()));
    EXPECT_EQ(updates.received.size(), 1u);
}

TEST_F(VKCloudUploadOperationTest, AFailedUploadEndsInStateNineAndKeepsItsSource)
{
    auto a = local("a.txt", "aaa");
    auto b = local("b.txt", "bbb");
    server->addFault(R"({"endpoint":"files","status":400,"count":1})");

    start({ a, b }, true);
    ASSERT_TRUE(waitForEnd()) << server->errors();
    EXPECT_EQ(errorText(), "Copy of 1 items failed");
    EXPECT_EQ(delegate->error->domain(), "VKCloudUploadOperation");
    EXPECT_TRUE(logContains("cloudService: uploadFailedForPath: /Up/"));
    int failed = 0, done = 0;
    for (const auto& [name, source] : { std::pair { "a.txt", a }, { "b.txt", b } }) {
        const int32_t state = mirrorNode(std::string("/Up/") + name)->uploadState();
        failed += state == VKNetworkStateFailed;
        done += state == VKNetworkStateNone;
        // The failed item's source stays, its mark cleared; the other's is trashed.
        if (state == VKNetworkStateFailed) {
            EXPECT_TRUE(std::filesystem::exists(source->path()));
            EXPECT_FALSE(source->isMarkedDeleted());
        } else {
            EXPECT_FALSE(std::filesystem::exists(source->path()));
        }
    }
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(done, 1);
}

TEST_F(VKCloudUploadOperationTest, CancellingWhileUploadingRemovesWhatWasSent)
{
    auto a = local("a.txt", "aaa");
    auto b = local("b.txt", "bbb");
    auto c = local("c.txt", "ccc");
    server->addFault(R"({"endpoint":"files","stall":"held","always":true})");

    start({ a, b, c });
    ASSERT_TRUE(waitFor([&] { return sends() == 2; })) << server->errors();
    operation->cancel();
    EXPECT_EQ(delegate->ends, 1);
    EXPECT_FALSE(delegate->error);
    server->release("held");
    // The two running items: cancelled, deleted on the service, nodes gone.
    ASSERT_TRUE(waitFor([&] {
        auto paths = requestPaths();
        return std::count(paths.begin(), paths.end(), "/0/fileops/delete") == 2;
    })) << server->errors();
    int removed = 0, paused = 0;
    for (const char* name : { "/Up/a.txt", "/Up/b.txt", "/Up/c.txt" }) {
        auto node = mirrorNode(name);
        removed += !node;
        paused += node && node->uploadState() == VKNetworkStatePaused;
    }
    EXPECT_EQ(removed, 2);
    // The item that never started waits paused, for its row to resume it.
    EXPECT_EQ(paused, 1);
    EXPECT_TRUE(service->uploadClients().empty());
    EXPECT_EQ(operation->activeUploadCount(), 0);

    // One folder uploading alone: its cancel answer leaves nothing running,
    // and the operation still deletes what was sent before it ends.
    server->reset();
    server->addFault(R"({"endpoint":"fileops/create_folder","stall":"folder"})");
    makeFile("Documents/Alone/inner.txt", "inner");
    delegate = std::make_shared<RecordingUploadDelegate>();
    start({ VKFileResource::resourceWithPath(pathInHome("Documents/Alone")) });
    ASSERT_TRUE(waitFor([&] { return service->isUploadingItemAtPath("/Up/Alone"); })) << server->errors();
    operation->cancel();
    EXPECT_EQ(delegate->ends, 1);
    EXPECT_FALSE(delegate->error);
    EXPECT_FALSE(mirrorNode("/Up/Alone"));
    ASSERT_TRUE(waitFor([&] {
        auto paths = requestPaths();
        return std::count(paths.begin(), paths.end(), "/0/fileops/delete") == 1;
    })) << server->errors();
}

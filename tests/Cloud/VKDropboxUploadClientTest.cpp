// Uploads of staged files and folders through the service, against the fake
// cloud service, whose stored bytes are compared with the mirror's by SHA-256.

#include "Cloud/CloudServiceTestCase.h"
#include "Cloud/VKDropboxUploadClient.h"
#include "Cloud/VKUploadClient.h"
#include "Cloud/VKNetworkState.h"
#include "Support/Command.h"

#include <algorithm>

namespace {

std::string sha256(const std::string& path)
{
    auto result = test::runCommand({ "sha256sum", "--", path });
    return result.status == 0 ? result.output.substr(0, 64) : "missing " + path;
}

} // namespace

class VKDropboxUploadClientTest : public test::CloudServiceTestCase {
protected:
    // A staged item: a node of the mirror (saved) and its copy at the mirror path.
    NodePointer stagedFile(const std::string& cloudPath, const std::string& contents)
    {
        cached(cloudPath, contents);
        return mirror(cloudPath, false, static_cast<int64_t>(contents.size()));
    }
    NodePointer stagedFolder(const std::string& cloudPath, int64_t size = 0)
    {
        std::filesystem::create_directories(mirrorPath(cloudPath));
        return mirror(cloudPath, true, size);
    }
    // The upload's cloud paths in the order the fake saw them: "create <path>"
    // or "send <folder>".
    std::vector<std::string> uploadCalls() const
    {
        std::vector<std::string> calls;
        for (const auto& request : server->requests()) {
            const std::string path = request.pathOnly();
            if (path == "/0/fileops/create_folder")
                calls.push_back("create " + request.parameter("path").value_or("?"));
            else if (path.starts_with("/0/files/dropbox") && request.method == "POST")
                calls.push_back("send " + path.substr(std::string("/0/files/dropbox").size()));
        }
        return calls;
    }
    size_t sends() const
    {
        auto calls = uploadCalls();
        return std::count_if(calls.begin(), calls.end(), [](const auto& call) { return call.starts_with("send"); });
    }
    bool sameBytes(const std::string& cloudPath) const
    {
        return sha256(mirrorPath(cloudPath)) == sha256(server->localPath(cloudPath));
    }
    // Pumps the loop for a while in real time, for what must not happen.
    static void settle(double seconds = 0.4)
    {
        core::RunLoop::main().runUntil([] { return false; }, seconds);
    }
    std::vector<std::string> upload(const std::string& cloudPath)
    {
        return call([&] { service->uploadResource(resource(cloudPath), callbacks); });
    }
};

TEST_F(VKDropboxUploadClientTest, AFileIsSentWithTheRestClientsProgressAndCompletesOnItsAnswer)
{
    cloudFolder("/Docs");
    stagedFolder("/Docs");
    auto node = stagedFile("/Docs/a.bin", std::string(300000, 'x') + "end");

    callbacks->events.clear();
    service->uploadResource(resource("/Docs/a.bin"), callbacks);
    // The service marks the node before anything is sent.
    EXPECT_EQ(node->uploadState(), VKNetworkStateUploading);
    EXPECT_TRUE(service->isUploadingItemAtPath("/Docs/a.bin"));
    ASSERT_TRUE(waitForEvents(1)) << server->errors();

    EXPECT_EQ(callbacks->events, (std::vector<std::string> { "uploaded /Docs/a.bin" }));
    EXPECT_TRUE(sameBytes("/Docs/a.bin"));
    EXPECT_EQ(uploadCalls(), (std::vector<std::string> { "send /Docs" }));
    ASSERT_FALSE(callbacks->uploadProgresses.empty());
    EXPECT_FLOAT_EQ(callbacks->uploadProgresses.back(), node->uploadProgress());
    EXPECT_TRUE(std::is_sorted(callbacks->uploadProgresses.begin(), callbacks->uploadProgresses.end()));
    EXPECT_FALSE(service->isUploadingItemAtPath("/Docs/a.bin"));
    EXPECT_TRUE(service->uploadClients().empty());

    // The item's metadata is reloaded once the node is no upload any more
    // (the caller's answer sets its state), and gives it its revision.
    node->setUploadState(VKNetworkStateNone);
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return node->cloudRevision() > 0; }, 20)) << server->errors();
    EXPECT_EQ(requestPaths().back(), "/0/metadata/dropbox/Docs/a.bin");
}

TEST_F(VKDropboxUploadClientTest, AFoldersFilesGoTwoAtATime)
{
    stagedFolder("/Three");
    stagedFile("/Three/1.txt", "one");
    stagedFile("/Three/2.txt", "two two");
    stagedFile("/Three/3.txt", "three three three");
    server->addFault(R"({"endpoint":"files","path":"/Three","stall":"held","always":true})");

    callbacks->events.clear();
    service->uploadResource(resource("/Three"), callbacks);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return sends() == 2; }, 20)) << server->errors();
    settle();
    // Both answers are held: the third waits.
    EXPECT_EQ(sends(), 2u);
    EXPECT_TRUE(callbacks->events.empty());
    ASSERT_EQ(service->uploadClients().size(), 1u);
    ASSERT_EQ(service->uploadClients()[0]->restClients().size(), 1u);
    EXPECT_EQ(service->uploadClients()[0]->restClients()[0]->uploadingCount(), 2);

    server->release("held");
    ASSERT_TRUE(waitForEvents(1)) << server->errors();
    EXPECT_EQ(callbacks->events, (std::vector<std::string> { "uploaded /Three" }));
    EXPECT_EQ(uploadCalls(),
        (std::vector<std::string> { "create /Three", "send /Three", "send /Three", "send /Three" }));
    for (const auto* name : { "/Three/1.txt", "/Three/2.txt", "/Three/3.txt" })
        EXPECT_TRUE(sameBytes(name)) << name;
}

TEST_F(VKDropboxUploadClientTest, FoldersAreCreatedOneAfterAnother)
{
    stagedFolder("/Top");
    stagedFolder("/Top/A");
    stagedFolder("/Top/B");
    stagedFolder("/Empty");
    server->addFault(R"({"endpoint":"fileops/create_folder","path":"/Top/A","stall":"a"})");

    callbacks->events.clear();
    service->uploadResource(resource("/Top"), callbacks);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return uploadCalls().size() == 2; }, 20)) << server->errors();
    settle();
    // The top folder has no files, so its part ended at once; B waits for A.
    EXPECT_EQ(uploadCalls(), (std::vector<std::string> { "create /Top", "create /Top/A" }));
    EXPECT_EQ(service->uploadClients()[0]->restClients().size(), 2u);
    server->release("a");
    ASSERT_TRUE(waitForEvents(1)) << server->errors();
    EXPECT_EQ(callbacks->events, (std::vector<std::string> { "uploaded /Top" }));
    EXPECT_EQ(uploadCalls(), (std::vector<std::string> { "create /Top", "create /Top/A", "create /Top/B" }));
    EXPECT_TRUE(std::filesystem::is_directory(server->localPath("/Top/B")));

    // An empty folder completes right after it was made.
    server->reset();
    EXPECT_EQ(upload("/Empty"), (std::vector<std::string> { "uploaded /Empty" }));
    EXPECT_EQ(uploadCalls(), (std::vector<std::string> { "create /Empty" }));
}

TEST_F(VKDropboxUploadClientTest, AFailureBelowEndsTheWholeUploadForTheTopFolder)
{
    stagedFolder("/T");
    stagedFile("/T/t.txt", "top file");
    stagedFolder("/T/S");
    stagedFile("/T/S/s1.txt", "s1");
    stagedFile("/T/S/s2.txt", "s2");
    stagedFolder("/T/U");
    stagedFile("/T/U/u.txt", "u");
    server->addFault(R"({"endpoint":"files","path":"/T/S","status":507,"body":{"error":"Over quota"}})");

    EXPECT_EQ(upload("/T"), (std::vector<std::string> { "uploadFailed /T 507" }));
    EXPECT_TRUE(logContains("restClient: uploadFileFailedWithError: "));
    EXPECT_TRUE(logContains("uploadClient:uploadFailedForPath: /T"));
    settle();
    // Every client let go: nothing new starts. Only a file of the failed
    // folder already on its way may still arrive; the folder waiting its turn
    // is never begun.
    const auto calls = uploadCalls();
    EXPECT_LE(std::count(calls.begin(), calls.end(), "send /T/S"), 2);
    EXPECT_TRUE(std::none_of(calls.begin(), calls.end(), [](const auto& call) { return call.ends_with("/T/U"); }));
    EXPECT_FALSE(std::filesystem::exists(server->localPath("/T/U")));
    EXPECT_TRUE(sameBytes("/T/t.txt"));
    EXPECT_TRUE(service->uploadClients().empty());
}

TEST_F(VKDropboxUploadClientTest, FolderProgressWeighsFilesAndCreatedFoldersBySize)
{
    // The top folder's own size is not part of the total; a created
    // subfolder's is.
    stagedFolder("/P", 5000);
    stagedFile("/P/big.bin", std::string(200000, 'b'));
    stagedFolder("/P/Sub", 100000);
    stagedFile("/P/Sub/small.bin", std::string(100000, 's'));

    auto events = upload("/P");
    EXPECT_EQ(events, (std::vector<std::string> { "uploaded /P" }));
    const auto& progresses = callbacks->uploadProgresses;
    ASSERT_FALSE(progresses.empty());
    EXPECT_TRUE(std::is_sorted(progresses.begin(), progresses.end()));
    // All of big.bin and nothing of the rest: 200000 / 400000.
    EXPECT_TRUE(std::find(progresses.begin(), progresses.end(), 0.5f) != progresses.end());
    EXPECT_FLOAT_EQ(progresses.back(), 1.0f);
    EXPECT_FLOAT_EQ(mirrorNode("/P")->uploadProgress(), 1.0f);
}

TEST_F(VKDropboxUploadClientTest, OneClientPerResourceCancelFailureAndRemovingLocalStorage)
{
    cloudFolder("/D");
    stagedFolder("/D");
    auto a = stagedFile("/D/a.txt", "aaa");
    auto b = stagedFile("/D/b.txt", "bbb");
    server->addFault(R"({"endpoint":"files","stall":"x","always":true})");

    auto second = std::make_shared<test::CloudCallbacks>();
    service->uploadResource(resource("/D/a.txt"), callbacks);
    service->uploadResource(resource("/D/a.txt"), second);
    EXPECT_TRUE(logContains("Warning, item is already uploading: "));
    EXPECT_EQ(service->uploadClients().size(), 1u);
    EXPECT_EQ(service->uploadClients()[0]->callbacks().size(), 2u);

    service->cancelUploadOfItemAtPath("/D/a.txt");
    EXPECT_EQ(callbacks->events, (std::vector<std::string> { "uploadCancelled /D/a.txt" }));
    EXPECT_EQ(second->events, (std::vector<std::string> { "uploadCancelled /D/a.txt" }));
    EXPECT_FALSE(service->isUploadingItemAtPath("/D/a.txt"));

    // Removing the local storage cancels what runs and drops its nodes.
    callbacks->events.clear();
    service->uploadResource(resource("/D/b.txt"), callbacks);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return sends() >= 1; }, 20)) << server->errors();
    service->removeLocalStorage();
    EXPECT_EQ(callbacks->events, (std::vector<std::string> { "uploadCancelled /D/b.txt" }));
    EXPECT_TRUE(service->uploadClients().empty());
    EXPECT_FALSE(b->isValid());
    EXPECT_TRUE(a->isValid());
    EXPECT_EQ(sqlite("SELECT COUNT(*) FROM VKCloudManagedObject WHERE name = 'b.txt'"), "0");
    server->release();

    // A source that vanished fails the upload with the client's own code.
    std::filesystem::create_directories(mirrorPath("/D"));
    auto gone = stagedFile("/D/gone.txt", "soon gone");
    std::filesystem::remove(mirrorPath("/D/gone.txt"));
    EXPECT_EQ(upload("/D/gone.txt"), (std::vector<std::string> { "uploadFailed /D/gone.txt 1001" }));
    EXPECT_TRUE(logContains("error: "));
}

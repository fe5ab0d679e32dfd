#include "DownloadTestCase.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Kit/URLRequestAdditions.h"
#include "Kit/URLResponseAdditions.h"
#include "Platform/Core/PropertyList.h"
#include "Support/Cloud/TestCloudService.h"

namespace {

using test::DownloadTestCase;

class VKDownloadFileResourceTest : public DownloadTestCase {
protected:
    // A paused web item whose first response was stored, as a running
    // download leaves it.
    std::shared_ptr<VKDownloadFileResource> pausedItem(std::string_view name, const std::string& folder,
        std::optional<core::HTTPURLResponse> response)
    {
        auto request = this->request("/bytes/100");
        setSuggestedFilename(request, name);
        auto item = VKDownloadFileResource::createWithRequest(request, folder);
        item->setURLResponse(std::move(response));
        item->saveState();
        return item;
    }

    static void mirrorNode(const std::string& path, bool folder, int64_t size)
    {
        core::Error error;
        auto node = VKCloudFileStore::sharedStore()->insertObjectForPath(path, &error);
        ASSERT_TRUE(node) << path << ": " << error.description();
        node->setIsDirectory(folder);
        node->setSize(size);
    }

    static core::HTTPURLResponse response(std::string_view length)
    {
        return core::HTTPURLResponse(core::URL::parse("http://example.test/f").value(), 200,
            core::HeaderFields { { "Content-Length", std::string(length) }, { "Accept-Ranges", "bytes" } });
    }
};

TEST_F(VKDownloadFileResourceTest, StateFileIsAPropertyListThatOtherToolsRead)
{
    makeFolder("Documents/x");
    auto request = this->request("/bytes/10");
    request.setHeader("X-First", "1");
    request.addHeader("X-First", "2");
    request.setProperty("Extra", core::Value("kept"));
    auto item = VKDownloadFileResource::createWithRequest(request, inDocuments("x"));
    item->saveState();

    EXPECT_EQ(core::path::lastPathComponent(item->downloadInfoPath()).size(), 41u);
    EXPECT_EQ(core::path::lastPathComponent(item->downloadPath()).size(), 36u);
    EXPECT_TRUE(xmllintAccepts(item->downloadInfoPath()));
    EXPECT_EQ(plistlibKeys(item->downloadInfoPath()),
        "Request bytes\nSuggestedFilename 10\nTargetFolder " + core::path::abbreviatingWithTildeInPath(inDocuments("x")) + "\n");

    // The request comes back whole: headers in order and properties.
    auto restored = VKDownloadFileResource::createWithExistingUUID(item->downloadUUID());
    ASSERT_TRUE(restored);
    const auto& back = *restored->urlRequest();
    EXPECT_EQ(back.url(), request.url());
    EXPECT_EQ(back.headers().values("X-First"), (std::vector<std::string> { "1", "2" }));
    EXPECT_EQ(back.property("Extra").string(), "kept");
    EXPECT_EQ(restored->downloadState(), VKNetworkStatePaused);
    EXPECT_EQ(restored->path(), inDocuments("x/10"));
}

TEST_F(VKDownloadFileResourceTest, ResponseArchiveKeepsHeadersInOrder)
{
    core::HTTPURLResponse original(core::URL::parse("http://h/x").value(), 206,
        core::HeaderFields { { "ETag", "\"a\"" }, { "Content-Range", "bytes 5-9/10" }, { "Content-Length", "5" } });
    auto back = unarchivedResponse(archivedResponse(original));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->statusCode(), 206);
    EXPECT_EQ(back->headers().fields(), original.headers().fields());
    EXPECT_EQ(expectedTotalLength(*back), 10);
    EXPECT_FALSE(unarchivedResponse("garbage"));
    EXPECT_FALSE(unarchivedRequest("bplist00 broken"));
}

TEST_F(VKDownloadFileResourceTest, PendingDownloadsTakeNumberedNamesCaselessly)
{
    makeFile("Documents/report.pdf", "old");
    // Named through the request's property, as the browser hands them over.
    auto named = [&](std::string_view name) {
        auto r = this->request("/bytes/10?stall_after=1&token=a");
        setSuggestedFilename(r, name);
        return manager()->startWebDownloadWithRequest(r, documents());
    };
    auto one = named("report.pdf");
    auto two = named("report.pdf");
    EXPECT_EQ(one->name(), "report 1.pdf");
    EXPECT_EQ(two->name(), "report 2.pdf");
    // A pending name in other case counts too.
    EXPECT_TRUE(VKDownloadNameMatchesDownloads("REPORT 1.PDF", manager()->downloadsForTargetFolder(documents())));
    auto plainA = named("notes");
    auto plainB = named("notes");
    EXPECT_EQ(plainA->name(), "notes");
    EXPECT_EQ(plainB->name(), "notes 1");
    server->release("a");
}

TEST_F(VKDownloadFileResourceTest, RestoreTakesProgressFromTheBytesOnDisk)
{
    auto item = pausedItem("a.bin", documents(), response("400"));
    core::fs::writeFileAtomically(item->downloadPath(), std::string(100, 'x'));
    auto restored = VKDownloadFileResource::createWithExistingUUID(item->downloadUUID());
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->expectedSize(), 400);
    EXPECT_FLOAT_EQ(restored->downloadProgress(), 0.25f);
    EXPECT_EQ(restored->size(), 100u);

    // An unknown total gives the byte count negated.
    auto unknown = pausedItem("b.bin", documents(),
        core::HTTPURLResponse(core::URL::parse("http://h/b").value(), 200, core::HeaderFields {}));
    core::fs::writeFileAtomically(unknown->downloadPath(), std::string(30, 'x'));
    restored = VKDownloadFileResource::createWithExistingUUID(unknown->downloadUUID());
    EXPECT_EQ(restored->expectedSize(), -1);
    EXPECT_FLOAT_EQ(restored->downloadProgress(), -30.f);
}

TEST_F(VKDownloadFileResourceTest, RestoreFallsBackToThePrivateDocumentsForAGoneOrForeignFolder)
{
    makeFolder("Documents/gone");
    auto item = pausedItem("a.bin", inDocuments("gone"), std::nullopt);
    core::fs::removeItem(inDocuments("gone"));
    EXPECT_EQ(VKDownloadFileResource::createWithExistingUUID(item->downloadUUID())->path(), inDocuments("a.bin"));

    // A hostile state file: a folder outside the documents, a name that
    // climbs out of its folder.
    makeFolder("elsewhere");
    auto info = core::PropertyList::readFile(item->downloadInfoPath());
    info.mutableDictionary()["TargetFolder"] = core::Value(pathInHome("elsewhere"));
    info.mutableDictionary()["SuggestedFilename"] = core::Value("../../evil");
    core::PropertyList::writeFile(item->downloadInfoPath(), info, core::PropertyList::Format::XML);
    auto restored = VKDownloadFileResource::createWithExistingUUID(item->downloadUUID());
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->targetFolder(), documents());
    EXPECT_EQ(restored->name().find('/'), std::string::npos);
}

TEST_F(VKDownloadFileResourceTest, UnreadableStateFilesRestoreNothing)
{
    std::string uuid = "00000000-0000-0000-0000-000000000001";
    std::string info = core::path::appendingPathComponent(downloads(), uuid + ".info");
    EXPECT_FALSE(VKDownloadFileResource::createWithExistingUUID(uuid));
    core::fs::writeFileAtomically(info, "not a plist");
    EXPECT_FALSE(VKDownloadFileResource::createWithExistingUUID(uuid));
    core::PropertyList::writeFile(info, core::Value::makeDictionary({ { "TargetFolder", "~/Documents" } }),
        core::PropertyList::Format::XML);
    EXPECT_FALSE(VKDownloadFileResource::createWithExistingUUID(uuid));
    EXPECT_TRUE(logContains("Warning, invalid VKDownloadFileResource info"));
    core::PropertyList::writeFile(info,
        core::Value::makeDictionary({ { "SuggestedFilename", "a" }, { "CloudService", "Nope" }, { "CloudPath", "/a" } }),
        core::PropertyList::Format::XML);
    EXPECT_FALSE(VKDownloadFileResource::createWithExistingUUID(uuid));
    EXPECT_TRUE(logContains("Warning, invalid cloud service"));
}

TEST_F(VKDownloadFileResourceTest, CloudItemsKeepServiceAndPath)
{
    auto service = test::TestCloudService::install("Test");
    service->setLinked(true);
    makeFolder("Documents/in");
    std::string mirrored = core::path::appendingPathComponent(service->localPath(), "dir/file.txt");
    core::fs::createDirectory(core::path::deletingLastPathComponent(mirrored), true);
    core::fs::writeFileAtomically(mirrored, "12345");
    mirrorNode(service->localPath(), true, 0);
    mirrorNode(core::path::deletingLastPathComponent(mirrored), true, 0);
    mirrorNode(mirrored, false, 5);
    auto resource = service->resourceForCloudPath("/dir/file.txt");
    ASSERT_TRUE(resource);
    auto item = VKDownloadFileResource::createWithCloudFileResource(*resource, inDocuments("in"));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->cloudServiceName(), "Test");
    EXPECT_EQ(item->cloudPath(), "/dir/file.txt");
    EXPECT_EQ(item->downloadPath(), mirrored);
    EXPECT_EQ(item->size(), 5u);
    item->saveState();
    EXPECT_EQ(plistlibKeys(item->downloadInfoPath()),
        "CloudPath /dir/file.txt\nCloudService Test\nSuggestedFilename file.txt\nTargetFolder "
            + core::path::abbreviatingWithTildeInPath(inDocuments("in")) + "\n");
    auto restored = VKDownloadFileResource::createWithExistingUUID(item->downloadUUID());
    ASSERT_TRUE(restored);
    EXPECT_TRUE(restored->isCloudDownload());
    EXPECT_EQ(restored->cloudPath(), "/dir/file.txt");
}

TEST_F(VKDownloadFileResourceTest, SizeOperationsEqualityAndObservers)
{
    auto item = pausedItem("a.bin", documents(), response("1000"));
    core::fs::writeFileAtomically(item->downloadPath(), std::string(10, 'x'));
    item->setExpectedSize(1000);
    EXPECT_EQ(item->size(), 10u);
    EXPECT_EQ(item->supportedFileOperations(), 0x3);
    int heard = 0;
    auto observation = item->observeValueForKey("downloadProgress", [&] { ++heard; });
    item->setDownloadState(VKNetworkStateDownloading);
    item->setDownloadProgress(0.5f);
    EXPECT_EQ(item->size(), 500u);
    EXPECT_EQ(item->supportedFileOperations(), 0x1);
    item->setExpectedSize(2000);
    EXPECT_EQ(heard, 2);
    EXPECT_EQ(item->size(), 1000u);
    for (auto state : { VKNetworkStateWaiting, VKNetworkStateConnecting, VKNetworkStateFinalizing })
    {
        item->setDownloadState(state);
        EXPECT_TRUE(item->isActive());
    }
    for (auto state : { VKNetworkStateNone, VKNetworkStatePaused, VKNetworkStateDone, VKNetworkStateFailed })
    {
        item->setDownloadState(state);
        EXPECT_FALSE(item->isActive());
    }

    auto same = VKDownloadFileResource::createWithExistingUUID(item->downloadUUID());
    EXPECT_TRUE(item->isEqual(*same));
    EXPECT_EQ(item->hash(), same->hash());
    EXPECT_FALSE(item->isEqual(*pausedItem("a.bin", documents(), std::nullopt)));
}

} // namespace

// The cloud service against the fake cloud service: one-shot calls and
// their callbacks, metadata updates and existence queries, and fetches of
// files and folders into the mirror.

#include "Cloud/CloudServiceTestCase.h"
#include "Cloud/VKDropboxAccount.h"
#include "Cloud/VKDropboxClient.h"
#include "DropboxSDK/DBRestClient.h"
#include "Platform/Core/UserDefaults.h"
#include "DropboxSDK/DBDefines.h"
#include "Platform/Core/HTTPURLResponse.h"
#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKThumbnailManager.h"
#include "Platform/Net/URLConnection.h"
#include "Platform/Net/URLConnectionDelegate.h"
#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "Support/NotificationRecorder.h"

#include <algorithm>

namespace {

// Gathers one load's status and body.
class Loader : public net::URLConnectionDelegate {
public:
    void didReceiveResponse(net::URLConnection&, const core::HTTPURLResponse& response) override
    {
        status = response.statusCode();
    }
    void didReceiveData(net::URLConnection&, const core::Data& data) override { body += data.view(); }
    void didFinishLoading(net::URLConnection&) override { done = true; }
    void didFailWithError(net::URLConnection&, const core::Error&) override { done = true; }

    int status = 0;
    std::string body;
    bool done = false;
};

} // namespace

class VKDropboxCloudServiceTest : public test::CloudServiceTestCase {
protected:
    size_t countRequests(std::string_view prefix) const
    {
        auto paths = requestPaths();
        return std::count_if(paths.begin(), paths.end(), [&](const auto& path) { return path.starts_with(prefix); });
    }
};

TEST_F(VKDropboxCloudServiceTest, OneShotCallsReachEveryCallbackObjectAndEndTheirClients)
{
    cloudFile("/a.txt", "abc");
    cloudFolder("/Dir");
    EXPECT_EQ(call([&] { service->copyPath("/a.txt", "/b.txt", callbacks); }),
        (std::vector<std::string> { "copied /a.txt /b.txt" }));
    EXPECT_TRUE(service->restClients().empty());
    EXPECT_EQ(call([&] { service->copyPath("/none.txt", "/c.txt", callbacks); }),
        (std::vector<std::string> { "copyFailed /none.txt 404" }));
    EXPECT_TRUE(logContains("restClient: copyPathFailedWithError: "));
    EXPECT_EQ(call([&] { service->movePath("/b.txt", "/Dir/b.txt", callbacks); }),
        (std::vector<std::string> { "moved /b.txt /Dir/b.txt" }));
    EXPECT_EQ(call([&] { service->movePath("/b.txt", "/x.txt", callbacks); }),
        (std::vector<std::string> { "moveFailed /b.txt 404" }));

    // A folder made is reported by the record's path and merged into its node.
    mirror("/New", true);
    EXPECT_EQ(call([&] { service->createDirectoryAtPath("/New", callbacks); }),
        (std::vector<std::string> { "created /New" }));
    EXPECT_TRUE(mirrorNode("/New")->modificationDate());

    // Deleting what the cloud no longer has counts as done.
    EXPECT_EQ(call([&] { service->deletePath("/gone.txt", callbacks); }),
        (std::vector<std::string> { "deleted /gone.txt" }));
    // Any other failure reloads the folder's listing first, then reports.
    mirror("/Dir", true);
    server->addFault(R"({"endpoint":"fileops/delete","status":500,"body":{"error":"busy"}})");
    EXPECT_EQ(call([&] { service->deletePath("/Dir/b.txt", callbacks); }),
        (std::vector<std::string> { "deleteFailed /Dir/b.txt 500" }));
    EXPECT_TRUE(logContains("restClient:deletePathFailedWithError: "));
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return countRequests("/0/metadata/dropbox/Dir") == 1; }, 20));
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return mirrorNode("/Dir/b.txt") != nullptr; }, 20));

    // An existence client is kept apart and goes once it answered.
    callbacks->events.clear();
    service->itemExistsAtPath("/Dir/b.txt", callbacks);
    EXPECT_EQ(service->existsClients().size(), 1u);
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(callbacks->events, (std::vector<std::string> { "exists /Dir/b.txt" }));
    EXPECT_TRUE(service->existsClients().empty());
}

TEST_F(VKDropboxCloudServiceTest, ExistenceQueries)
{
    cloudFile("/here.txt", "x");
    EXPECT_EQ(call([&] { service->itemExistsAtPath("/here.txt", callbacks); }),
        (std::vector<std::string> { "exists /here.txt" }));
    EXPECT_EQ(call([&] { service->itemExistsAtPath("/missing.txt", callbacks); }),
        (std::vector<std::string> { "missing /missing.txt" }));
    server->addFault(R"({"endpoint":"metadata","status":500})");
    EXPECT_EQ(call([&] { service->itemExistsAtPath("/here.txt", callbacks); }),
        (std::vector<std::string> { "missing /here.txt" }));
    server->addFault(R"({"endpoint":"metadata","status":304})");
    EXPECT_EQ(call([&] { service->itemExistsAtPath("/here.txt", callbacks); }),
        (std::vector<std::string> { "exists /here.txt" }));
    server->addFault(R"({"endpoint":"metadata","status":200,"body":{"path":"/here.txt","is_deleted":true}})");
    EXPECT_EQ(call([&] { service->itemExistsAtPath("/here.txt", callbacks); }),
        (std::vector<std::string> { "missing /here.txt" }));
}

TEST_F(VKDropboxCloudServiceTest, MetadataUpdatesMergeOrReportUnchanged)
{
    cloudFile("/M/one.txt", "1");
    mirror("/M", true);
    test::NoticeRecorder updated(VKCloudServiceDidUpdateMetadataNotification);
    test::NoticeRecorder unchanged(VKCloudServiceMetadataUnchangedNotification);
    test::NoticeRecorder failed(VKCloudServiceMetadataLoadFailedNotification);

    callbacks->events.clear();
    service->updateMetadataForResource(resource("/M"), callbacks);
    EXPECT_TRUE(service->isUpdatingMetadataForResource(resource("/M")));
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_FALSE(service->isUpdatingMetadataForResource(resource("/M")));
    EXPECT_EQ(callbacks->events, (std::vector<std::string> { "updated /M" }));
    ASSERT_EQ(updated.received.size(), 1u);
    EXPECT_EQ(updated.received[0].cloudPath, "/M");
    EXPECT_EQ(updated.received[0].localPath, mirrorPath("/M"));
    EXPECT_TRUE(mirrorNode("/M/one.txt"));

    // The stored hash is sent back: the unchanged folder costs no merge.
    EXPECT_EQ(call([&] { service->updateMetadataForResource(resource("/M"), callbacks); }),
        (std::vector<std::string> { "unchanged /M" }));
    EXPECT_TRUE(server->requests().back().parameter("hash"));
    EXPECT_EQ(unchanged.received.size(), 1u);

    // JSON the client refuses leaves the mirror as it was.
    server->addFault(R"({"endpoint":"metadata","status":200,"body":"[not json"})");
    EXPECT_EQ(call([&] { service->updateMetadataForResource(resource("/M"), callbacks); }),
        (std::vector<std::string> { "updateFailed /M" }));
    ASSERT_EQ(failed.received.size(), 1u);
    EXPECT_TRUE(failed.received[0].error);
    EXPECT_TRUE(mirrorNode("/M/one.txt"));
}

TEST_F(VKDropboxCloudServiceTest, ARefusedTokenIsAnnouncedBeforeTheFailure)
{
    std::vector<std::string> order;
    auto observation = core::NotificationCenter::defaultCenter().observe(VKCloudServiceAccountLoginFailedNotification,
        service->account(), [&](const core::Notification&) { order.push_back("loginFailed"); });
    server->revoke(DBSession::sharedSession()->credentialStore()->accessToken().value_or(""));
    callbacks->events.clear();
    service->copyPath("/a", "/b", callbacks);
    ASSERT_TRUE(waitForEvents(1));
    order.push_back(callbacks->events[0]);
    EXPECT_EQ(order, (std::vector<std::string> { "loginFailed", "copyFailed /a 401" }));
}

TEST_F(VKDropboxCloudServiceTest, ThumbnailsAndStreaming)
{
    EXPECT_EQ(call([&] { service->fetchThumbnailForItemAtPath("/none.jpg", home() + "/t.jpg", 1, callbacks); }),
        (std::vector<std::string> { "thumbnailFailed /none.jpg" }));
    EXPECT_EQ(server->requests().back().parameter("size"), "medium");
    service->fetchThumbnailForItemAtPath("/none.jpg", home() + "/t.jpg", 0, callbacks);
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(server->requests().back().parameter("size"), "large");

    cloudFile("/Music/a b.mp3", "sound bytes");
    auto request = service->streamingURLRequestForPath("/Music/a b.mp3");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->url().scheme(), "https");
    EXPECT_EQ(request->url().host(), kDBDropboxAPIContentHost);
    EXPECT_NE(request->url().absoluteString().find("/0/files/dropbox/Music/a%20b.mp3"), std::string::npos)
        << request->url().absoluteString();
    // The fake checks the signature and serves the file.
    auto loader = std::make_shared<Loader>();
    auto connection = net::URLConnection::create(*request, loader);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return loader->done; }, 20));
    EXPECT_EQ(loader->status, 200) << server->errors();
    EXPECT_EQ(loader->body, "sound bytes");
    EXPECT_EQ(server->requests().back().verdict, "ok");

    // Signed, and no parameters but the signature's.
    const std::string text = request->url().absoluteString();
    const std::string query = text.substr(std::min(text.size(), text.find('?') + 1));
    EXPECT_NE(query.find("oauth_signature="), std::string::npos) << text;
    for (size_t start = 0; start < query.size();) {
        EXPECT_EQ(query.compare(start, 6, "oauth_"), 0) << text;
        size_t end = query.find('&', start);
        start = end == std::string::npos ? query.size() : end + 1;
    }
}

TEST_F(VKDropboxCloudServiceTest, BusyWhileTheServiceDelaysTheAnswer)
{
    cloudFile("/busy/a.txt", "a");
    mirror("/busy", true);
    server->addFault(R"({"delay":0.4,"always":true})");
    service->updateMetadataForResource(resource("/busy"), callbacks);
    service->copyPath("/busy/a.txt", "/busy/b.txt", callbacks);
    service->movePath("/busy/a.txt", "/busy/c.txt", callbacks);
    service->deletePath("/busy/x.txt", callbacks);
    service->createDirectoryAtPath("/busy/New", callbacks);
    service->fetchThumbnailForItemAtPath("/busy/a.txt", home() + "/t.jpg", 1, callbacks);
    EXPECT_TRUE(service->isUpdatingMetadataForResource(resource("/busy")));
    EXPECT_TRUE(service->isCopyingPath("/busy/a.txt"));
    EXPECT_TRUE(service->isMovingPath("/busy/a.txt"));
    EXPECT_FALSE(service->isCopyingPath("/busy/c.txt"));
    EXPECT_TRUE(service->isDeletingPath("/busy/x.txt"));
    EXPECT_TRUE(service->isCreatingFolderForPath("/busy/New"));
    EXPECT_TRUE(service->isLoadingThumbnailForPath("/busy/a.txt"));
    ASSERT_TRUE(waitForEvents(6));
    EXPECT_FALSE(service->isUpdatingMetadataForResource(resource("/busy")));
    EXPECT_FALSE(service->isCopyingPath("/busy/a.txt"));
    EXPECT_FALSE(service->isDeletingPath("/busy/x.txt"));
    EXPECT_FALSE(service->isLoadingThumbnailForPath("/busy/a.txt"));
    EXPECT_TRUE(service->restClients().empty());
}

TEST_F(VKDropboxCloudServiceTest, ARecordWithoutANodeChangesNothing)
{
    // The service answers with an item the mirror has no node for: a folder
    // is skipped, a file changes nothing, and both count as done.
    mirror("/Other", true);
    server->addFault(R"({"endpoint":"metadata","status":200,"body":{"path":"/Loose","is_dir":true,"contents":[{"path":"/Loose/a.txt","bytes":1}]}})");
    EXPECT_EQ(call([&] { service->updateMetadataForResource(resource("/Other"), callbacks); }),
        (std::vector<std::string> { "updated /Loose" }));
    EXPECT_FALSE(mirrorNode("/Loose"));
    server->addFault(R"({"endpoint":"metadata","status":200,"body":{"path":"/loose.txt","bytes":4,"revision":3}})");
    EXPECT_EQ(call([&] { service->updateMetadataForResource(resource("/Other"), callbacks); }),
        (std::vector<std::string> { "updated /loose.txt" }));
    EXPECT_FALSE(mirrorNode("/loose.txt"));
    EXPECT_EQ(sqlite("SELECT count(*) FROM VKCloudManagedObject"), "3");
}

TEST_F(VKDropboxCloudServiceTest, TheThumbnailManagerGetsACloudItemsThumbnailFromTheService)
{
    VKCloudServicesManager::sharedManager()->registerCloudService([this] { return service; }, "Dropbox");
    VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
    cloudFile("/Pictures/pic.jpg", std::string(5000, 'j'));
    mirror("/Pictures", true);
    mirror("/Pictures/pic.jpg", false, 5000, 1);
    auto manager = VKThumbnailManager::sharedManager();
    std::vector<std::string> posted;
    auto observation = core::NotificationCenter::defaultCenter().observe(VKThumbnailManagerDidGenerateThumbnailNotification,
        manager, [&](const core::Notification&) { posted.push_back("thumbnail"); });
    auto picture = resource("/Pictures/pic.jpg");
    manager->generateThumbnailAndScreenPreviewForResource(picture);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !posted.empty(); }, 20)) << server->errors();
    EXPECT_EQ(server->requests().back().pathOnly(), "/0/thumbnails/dropbox/Pictures/pic.jpg");
    EXPECT_TRUE(manager->thumbnailForResource(*picture));
    EXPECT_FALSE(onDisk("/Pictures/pic.jpg"));
}

#pragma once

// The cloud service's tests: the program's service on a session linked to
// the fake cloud service, and a callback object that writes down every
// answer in one list, so that orders show.

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudServiceDelegate.h"
#include "Cloud/VKDropboxCloudService.h"
#include "DropboxSDK/DBMetadata.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include "Cloud/CloudTestCase.h"
#include "Support/DropboxSDK/FakeCloudServer.h"

#include <filesystem>
#include <fstream>

namespace test {

class CloudCallbacks : public VKCloudServiceDelegate {
public:
    void cloudServiceThumbnailFetchFailedForPath(VKCloudService&, const std::string& path) override { record("thumbnailFailed " + path); }
    void cloudServiceThumbnailFetchCompletedForPath(VKCloudService&, const std::string& path, const std::string& destination) override
    {
        record("thumbnail " + path + " " + destination);
    }
    void cloudServiceDidCancelUploadForPath(VKCloudService&, const std::string& path) override { record("uploadCancelled " + path); }
    void cloudServiceUploadFailedForPath(VKCloudService&, const std::string& path, const core::Error& error) override
    {
        record("uploadFailed " + path + " " + std::to_string(error.code()));
    }
    void cloudServiceUploadForPathDidUpdateProgress(VKCloudService&, const std::string&, float progress) override
    {
        uploadProgresses.push_back(progress);
    }
    void cloudServiceUploadCompletedForPath(VKCloudService&, const std::string& path) override { record("uploaded " + path); }
    void cloudServiceDidCancelFetchForPath(VKCloudService&, const std::string& path) override { record("fetchCancelled " + path); }
    void cloudServiceFetchFailedForPath(VKCloudService&, const std::string& path) override { record("fetchFailed " + path); }
    void cloudServiceFetchCompletedForPath(VKCloudService&, const std::string& path) override { record("fetched " + path); }
    void cloudServiceFetchForPathDidUpdateProgress(VKCloudService&, const std::string&, float progress) override
    {
        progresses.push_back(progress);
    }
    void cloudServiceFetchWillStartForPath(VKCloudService&, const std::string& path) override { record("willStart " + path); }
    void cloudServiceCopyFailedForPath(VKCloudService&, const std::string& path, const core::Error& error) override
    {
        record("copyFailed " + path + " " + std::to_string(error.code()));
    }
    void cloudServiceDidCopyPath(VKCloudService&, const std::string& from, const std::string& to) override { record("copied " + from + " " + to); }
    void cloudServiceMoveFailedForPath(VKCloudService&, const std::string& path, const core::Error& error) override
    {
        record("moveFailed " + path + " " + std::to_string(error.code()));
    }
    void cloudServiceDidMovePath(VKCloudService&, const std::string& from, const std::string& to) override { record("moved " + from + " " + to); }
    void cloudServiceDeleteFailedForPath(VKCloudService&, const std::string& path, const core::Error& error) override
    {
        record("deleteFailed " + path + " " + std::to_string(error.code()));
    }
    void cloudServiceDidDeletePath(VKCloudService&, const std::string& path) override { record("deleted " + path); }
    void cloudServiceCreateDirectoryFailedForPath(VKCloudService&, const std::string& path, const core::Error& error) override
    {
        record("createFailed " + path + " " + std::to_string(error.code()));
    }
    void cloudServiceDidCreateDirectoryAtPath(VKCloudService&, const std::string& path) override { record("created " + path); }
    void cloudServiceItemAtPathExists(VKCloudService&, const std::string& path, bool exists) override
    {
        record((exists ? "exists " : "missing ") + path);
    }
    void cloudServiceMetadataUpdateFailedForPath(VKCloudService&, const std::string& path) override { record("updateFailed " + path); }
    void cloudServiceMetadataUnchangedAtPath(VKCloudService&, const std::string& path) override { record("unchanged " + path); }
    void cloudServiceDidUpdateMetadataAtPath(VKCloudService&, const std::string& path) override { record("updated " + path); }

    void record(std::string event) { events.push_back(std::move(event)); }

    std::vector<std::string> events;
    std::vector<float> progresses;
    std::vector<float> uploadProgresses;
};

class CloudServiceTestCase : public CloudTestCase {
protected:
    virtual FakeCloudServer::Options serverOptions() const { return {}; }

    void SetUp() override
    {
        CloudTestCase::SetUp();
        server = std::make_unique<FakeCloudServer>(serverOptions());
        ASSERT_TRUE(server->isRunning());
        // The saved token is what the service's own session takes back.
        server->linkSession();
        service = VKDropboxCloudService::create();
        ASSERT_TRUE(service->isLinked());
        rootNode = store()->insertObjectForPath(service->localPath());
        ASSERT_TRUE(rootNode);
        rootNode->setIsDirectory(true);
        ASSERT_TRUE(store()->saveContext());
    }

    void TearDown() override
    {
        service.reset();
        core::Thread::waitForAll(10);
        core::RunLoop::main().runUntilIdle();
        server.reset();
        CloudTestCase::TearDown();
    }

    // Pumps the loop until the callbacks heard `count` answers (20 s at most).
    bool waitForEvents(size_t count, const std::shared_ptr<CloudCallbacks>& who = nullptr)
    {
        const auto& object = who ? who : callbacks;
        return core::RunLoop::main().runUntil([&] { return object->events.size() >= count; }, 20);
    }
    std::vector<std::string> call(const std::function<void()>& start, size_t count = 1)
    {
        callbacks->events.clear();
        start();
        EXPECT_TRUE(waitForEvents(count)) << server->errors();
        return callbacks->events;
    }

    // A file of the account (its folders made), by cloud path.
    void cloudFile(const std::string& cloudPath, std::string_view contents = {})
    {
        const std::string path = server->localPath(cloudPath);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << contents;
    }
    void cloudFolder(const std::string& cloudPath) { std::filesystem::create_directories(server->localPath(cloudPath)); }

    // The mirror path and node of a cloud path.
    std::string mirrorPath(const std::string& cloudPath) const { return *service->localPathForCloudPath(cloudPath); }
    NodePointer mirrorNode(const std::string& cloudPath) { return store()->managedObjectForPath(mirrorPath(cloudPath)); }
    VKCloudService::Resource resource(const std::string& cloudPath) { return service->resourceForCloudPath(cloudPath); }
    // A node of the mirror (saved), its folders made as nodes too.
    NodePointer mirror(const std::string& cloudPath, bool folder = false, int64_t size = 0, int64_t revision = 0)
    {
        auto made = makeNode("Dropbox" + cloudPath, folder, size);
        if (made)
            made->setCloudRevision(revision);
        EXPECT_TRUE(store()->saveContext());
        return made;
    }
    // A cached copy in the mirror folder.
    void cached(const std::string& cloudPath, std::string_view contents)
    {
        const std::string path = mirrorPath(cloudPath);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << contents;
    }
    bool onDisk(const std::string& cloudPath) const { return std::filesystem::exists(mirrorPath(cloudPath)); }

    // The API paths the fake saw, without queries, in order.
    std::vector<std::string> requestPaths() const
    {
        std::vector<std::string> paths;
        for (const auto& request : server->requests())
            paths.push_back(request.pathOnly());
        return paths;
    }

    std::unique_ptr<FakeCloudServer> server;
    std::shared_ptr<VKDropboxCloudService> service;
    NodePointer rootNode;
    std::shared_ptr<CloudCallbacks> callbacks = std::make_shared<CloudCallbacks>();
};

} // namespace test

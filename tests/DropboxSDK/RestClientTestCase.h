#pragma once

// The REST client's tests run against the fake cloud service: a linked
// session, a client and a delegate that writes down every callback (and the
// session's authorisation failures) in one list, so that orders show.

#include "DropboxSDK/DBAccountInfo.h"
#include "DropboxSDK/DBMetadata.h"
#include "DropboxSDK/DBRestClient.h"
#include "DropboxSDK/DBSession.h"
#include "Kit/VKStagingFolder.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include "Support/DropboxSDK/FakeCloudServer.h"
#include "Support/TestCase.h"

#include <filesystem>
#include <fstream>
#include <set>

namespace test {

// What the home's temporary folder holds, this run's staging folder counted
// by its items ("Staging/<name>", its journal of notes aside).
inline std::vector<std::string> temporaryItems()
{
    auto items = core::fs::contentsOfDirectory(core::paths::temporaryDirectory()).value_or(std::vector<std::string>());
    if (std::erase(items, "Staging") > 0)
        for (auto& name : core::fs::contentsOfDirectory(VKStagingFolder::path()).value_or(std::vector<std::string>()))
            if (name != "journal")
                items.push_back("Staging/" + name);
    return items;
}

class Recorder : public DBRestClientDelegate, public DBSessionDelegate {
public:
    using Events = std::vector<std::string>;

    Recorder()
    {
        for (int callback = int(Callback::DidLogin); callback <= int(Callback::CreateFolderFailedWithError); ++callback)
            answered.insert(Callback(callback));
    }

    bool respondsTo(Callback callback) const override { return answered.count(callback) > 0; }

    void restClientDidLogin(DBRestClient&) override { record("didLogin"); }
    void loginFailedWithError(DBRestClient&, const core::Error& error) override { failed("loginFailed", error); }
    void restClientCreatedAccount(DBRestClient&) override { record("createdAccount"); }
    void createAccountFailedWithError(DBRestClient&, const core::Error& error) override { failed("createAccountFailed", error); }
    void loadedMetadata(DBRestClient&, const std::shared_ptr<const DBMetadata>& loaded) override
    {
        metadata = loaded;
        onMainThread = core::Thread::isMainThread();
        record("loadedMetadata " + loaded->path().value_or("?"));
    }
    void metadataUnchangedAtPath(DBRestClient&, const std::string& path) override { record("unchanged " + path); }
    void loadMetadataFailedWithError(DBRestClient&, const core::Error& error) override { failed("loadMetadataFailed", error); }
    void loadedAccountInfo(DBRestClient&, const std::shared_ptr<const DBAccountInfo>& info) override
    {
        accountInfo = info;
        record("loadedAccountInfo");
    }
    void loadAccountInfoFailedWithError(DBRestClient&, const core::Error& error) override { failed("loadAccountInfoFailed", error); }
    void loadedFile(DBRestClient&, const std::string& destination) override { record("loadedFile " + destination); }
    void loadedFile(DBRestClient&, const std::string& destination, const std::optional<std::string>& type) override
    {
        record("loadedFile " + destination + " " + type.value_or("-"));
    }
    void loadedFile(DBRestClient&, const std::string& destination, const std::optional<std::string>& type,
        const std::optional<std::string>& eTag) override
    {
        record("loadedFile " + destination + " " + type.value_or("-") + " " + eTag.value_or("-"));
    }
    void loadProgress(DBRestClient&, float progress, const std::string&) override { progresses.push_back(progress); }
    void loadFileFailedWithError(DBRestClient&, const core::Error& error) override { failed("loadFileFailed", error); }
    void loadedThumbnail(DBRestClient&, const std::string& destination) override { record("loadedThumbnail " + destination); }
    void loadThumbnailFailedWithError(DBRestClient&, const core::Error& error) override { failed("loadThumbnailFailed", error); }
    void uploadedFile(DBRestClient&, const std::string& destination, const std::string& source) override
    {
        record("uploadedFile " + destination + " from " + source);
    }
    void uploadedFile(DBRestClient&, const std::string& source) override { record("uploadedFile " + source); }
    void uploadProgress(DBRestClient&, float progress, const std::string& destination, const std::string& source) override
    {
        progresses.push_back(progress);
        progressKinds.insert("from " + destination + " " + source);
    }
    void uploadProgress(DBRestClient&, float progress, const std::string& destination) override
    {
        progresses.push_back(progress);
        progressKinds.insert("to " + destination);
    }
    void uploadFileFailedWithError(DBRestClient&, const core::Error& error) override { failed("uploadFailed", error); }
    void movedPath(DBRestClient&, const std::string& from, const std::string& to) override { record("moved " + from + " " + to); }
    void movePathFailedWithError(DBRestClient&, const core::Error& error) override { failed("moveFailed", error); }
    void copiedPath(DBRestClient&, const std::string& from, const std::string& to) override { record("copied " + from + " " + to); }
    void copyPathFailedWithError(DBRestClient&, const core::Error& error) override { failed("copyFailed", error); }
    void deletedPath(DBRestClient&, const std::string& path) override { record("deleted " + path); }
    void deletePathFailedWithError(DBRestClient&, const core::Error& error) override { failed("deleteFailed", error); }
    void createdFolder(DBRestClient&, const std::shared_ptr<const DBMetadata>& folder) override
    {
        metadata = folder;
        record("createdFolder " + folder->path().value_or("?"));
    }
    void createFolderFailedWithError(DBRestClient&, const core::Error& error) override { failed("createFolderFailed", error); }

    void sessionDidReceiveAuthorizationFailure(DBSession&) override { record("session authorization failure"); }

    void record(std::string event)
    {
        events.push_back(std::move(event));
        if (onEvent)
            onEvent();
    }
    void failed(const std::string& name, const core::Error& error)
    {
        lastError = error;
        record(name + " " + std::to_string(error.code()));
    }
    // The text under `key` in the last error's user info.
    std::string errorInfo(const std::string& key) const
    {
        auto found = lastError.userInfo().find(key);
        return found == lastError.userInfo().end() ? "<none>" : found->second.isString() ? found->second.string() : "<value>";
    }

    std::set<Callback> answered;
    Events events;
    core::Error lastError;
    std::shared_ptr<const DBMetadata> metadata;
    std::shared_ptr<const DBAccountInfo> accountInfo;
    std::vector<float> progresses;
    std::set<std::string> progressKinds;
    bool onMainThread = false;
    std::function<void()> onEvent;
};

class RestClientTestCase : public TestCase {
protected:
    virtual FakeCloudServer::Options serverOptions() const { return {}; }

    void SetUp() override
    {
        TestCase::SetUp();
        server = std::make_unique<FakeCloudServer>(serverOptions());
        ASSERT_TRUE(server->isRunning());
        session = server->linkSession();
        session->setDelegate(recorder);
        client = DBRestClient::initWithSession(session);
        client->setDelegate(recorder);
    }

    void TearDown() override
    {
        client.reset();
        core::Thread::waitForAll(10);
        core::RunLoop::main().runUntilIdle();
        server.reset();
        TestCase::TearDown();
    }

    // Pumps the loop until the delegate heard `count` events (20 s at most).
    bool waitForEvents(size_t count)
    {
        return core::RunLoop::main().runUntil([&] { return recorder->events.size() >= count; }, 20);
    }
    // One call's events: clears the list, runs the call, waits for one event.
    Recorder::Events call(const std::function<void()>& start, size_t count = 1)
    {
        recorder->events.clear();
        start();
        EXPECT_TRUE(waitForEvents(count)) << server->errors();
        return recorder->events;
    }

    // A file of the account (its folders made), by cloud path.
    std::string cloudFile(const std::string& cloudPath, std::string_view contents = {})
    {
        const std::string path = server->localPath(cloudPath);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }
    void cloudFolder(const std::string& cloudPath) { std::filesystem::create_directories(server->localPath(cloudPath)); }

    // The files in the home's tmp/: what requests and uploads left behind.
    std::vector<std::string> temporaryFiles() const { return temporaryItems(); }

    // The last API call the fake saw.
    FakeCloudServer::Request lastRequest() const
    {
        auto all = server->requests();
        return all.empty() ? FakeCloudServer::Request() : all.back();
    }

    std::unique_ptr<FakeCloudServer> server;
    std::shared_ptr<DBSession> session;
    std::shared_ptr<DBRestClient> client;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

} // namespace test

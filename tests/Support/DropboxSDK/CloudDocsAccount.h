#pragma once

// The program's own cloud service ("Dropbox") linked to the fake cloud
// service, whose account holds the tree the cloud screens are tried on:
// Docs/{a.txt (5 MiB of text lines), b.pdf, empty.txt, Sub/, Old/},
// Deck.key/ (a package) and notes.txt, with the mirror listing the root and
// Docs. Header-only, for test binaries that link the cloud layer as well as
// the fake: start() from SetUp, stop() from TearDown.

#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "DropboxSDK/DBSession.h"
#include "FileModel/VKCloudHooks.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Support/DropboxSDK/FakeCloudServer.h"
#include "Support/NotificationRecorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace test {

class CloudDocsAccount {
public:
    static constexpr size_t BigFileSize = 5 * 1024 * 1024;

    void start()
    {
        VKCloudServicesManager::resetForTesting();
        VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
        server = std::make_unique<FakeCloudServer>();
        ASSERT_TRUE(server->isRunning());
        big.resize(BigFileSize);
        for (size_t i = 0; i < big.size(); ++i)
            big[i] = i % 64 == 63 ? '\n' : char('a' + i % 26);
        write("/Docs/a.txt", big);
        write("/Docs/b.pdf", "%PDF-1.4\n%%EOF\n");
        write("/Docs/empty.txt", "");
        std::filesystem::create_directories(server->localPath("/Docs/Sub"));
        std::filesystem::create_directories(server->localPath("/Docs/Old"));
        write("/Deck.key/index.apxl", "<presentation/>");
        write("/notes.txt", "Shopping: bread, milk.\n");

        // The saved token is what the service's own session takes back.
        server->linkSession();
        VKCloudServicesManager::registerCloudServices();
        service = VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey("Dropbox");
        ASSERT_TRUE(service && service->isLinked());
        auto store = VKCloudFileStore::sharedStore();
        ASSERT_TRUE(store->bootstrapCloudFileStore());
        if (!store->managedObjectForPath(service->localPath())) {
            auto root = store->insertObjectForPath(service->localPath());
            ASSERT_TRUE(root);
            root->setIsDirectory(true);
            ASSERT_TRUE(store->saveContext());
        }
        list("/");
        list("/Docs");
    }

    void stop()
    {
        service.reset();
        core::Thread::waitForAll(10);
        core::RunLoop::main().runUntilIdle();
        VKCloudServicesManager::resetForTesting();
        VKCloudFileStore::resetForTesting();
        VKCloudHooks::setCurrent(nullptr);
        DBSession::setSharedSession(nullptr);
        server.reset();
    }

    // Pumps the loop (20 s at most, real time) until the condition holds.
    static bool waitFor(const std::function<bool()>& condition) { return core::RunLoop::main().runUntil(condition, 20); }

    // The mirror resource of a cloud path.
    std::shared_ptr<VKCloudFileResource> resource(const std::string& cloudPath) const
    {
        return service->resourceForCloudPath(cloudPath);
    }
    // Lists the folder into the mirror and waits for the answer.
    void list(const std::string& cloudPath)
    {
        NoticeRecorder updated(VKCloudServiceDidUpdateMetadataNotification);
        NoticeRecorder failed(VKCloudServiceMetadataLoadFailedNotification);
        auto folder = resource(cloudPath);
        ASSERT_TRUE(folder) << cloudPath;
        service->updateMetadataForResource(folder, nullptr);
        ASSERT_TRUE(waitFor([&] { return !updated.received.empty() || !failed.received.empty(); })) << server->errors();
        ASSERT_TRUE(failed.received.empty()) << cloudPath;
    }
    // Fetches the item through the service and waits until it arrived.
    void fetch(const std::string& cloudPath)
    {
        NoticeRecorder completed(VKCloudServiceFetchDidCompleteNotification);
        service->fetchResource(resource(cloudPath), nullptr);
        ASSERT_TRUE(waitFor([&] { return !completed.received.empty(); })) << server->errors();
    }
    // The cloud paths of the fake's file downloads, in order.
    std::vector<std::string> fileRequests() const
    {
        constexpr std::string_view prefix = "/0/files/";
        std::vector<std::string> paths;
        for (const auto& request : server->requests()) {
            const std::string path = request.pathOnly();
            if (!path.starts_with(prefix))
                continue;
            // After the account's root.
            const size_t slash = path.find('/', prefix.size());
            paths.push_back(slash == std::string::npos ? path : path.substr(slash));
        }
        return paths;
    }

    std::unique_ptr<FakeCloudServer> server;
    std::shared_ptr<VKCloudService> service;
    // What Docs/a.txt holds.
    std::string big;

private:
    void write(const std::string& cloudPath, std::string_view contents) const
    {
        const std::string path = server->localPath(cloudPath);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << contents;
    }
};

} // namespace test

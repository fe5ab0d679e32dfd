#include "CloudViewerTestCase.h"

#include "App/Shell/Interface/VKPlaceholderView.h"
#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudServicesManager.h"
#include "DropboxSDK/DBSession.h"
#include "FileModel/VKCloudHooks.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/Label.h"
#include "Support/NotificationRecorder.h"

#include <filesystem>
#include <fstream>

namespace test {

namespace {

void writeFile(const std::string& path, std::string_view contents)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

} // namespace

void CloudViewerTestCase::SetUp()
{
    ViewerTestCase::SetUp();
    VKCloudServicesManager::resetForTesting();
    VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
    server = std::make_unique<FakeCloudServer>();
    ASSERT_TRUE(server->isRunning());
    big.resize(BigFileSize);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = i % 64 == 63 ? '\n' : char('a' + i % 26);
    writeFile(server->localPath("/Docs/a.txt"), big);
    writeFile(server->localPath("/Docs/b.pdf"), "%PDF-1.4\n%%EOF\n");
    writeFile(server->localPath("/Docs/empty.txt"), "");
    std::filesystem::create_directories(server->localPath("/Docs/Sub"));
    std::filesystem::create_directories(server->localPath("/Docs/Old"));
    writeFile(server->localPath("/Deck.key/index.apxl"), "<presentation/>");
    writeFile(server->localPath("/notes.txt"), "Shopping: bread, milk.\n");

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

void CloudViewerTestCase::TearDown()
{
    ViewerTestCase::TearDown();
    service.reset();
    core::Thread::waitForAll(10);
    core::RunLoop::main().runUntilIdle();
    VKCloudServicesManager::resetForTesting();
    VKCloudFileStore::resetForTesting();
    VKCloudHooks::setCurrent(nullptr);
    DBSession::setSharedSession(nullptr);
    server.reset();
}

std::shared_ptr<VKCloudFileResource> CloudViewerTestCase::cloudResource(const std::string& cloudPath)
{
    return service->resourceForCloudPath(cloudPath);
}

bool CloudViewerTestCase::waitFor(const std::function<bool()>& condition)
{
    return core::RunLoop::main().runUntil(condition, 20);
}

void CloudViewerTestCase::list(const std::string& cloudPath)
{
    NotificationRecorder updated(VKCloudServiceDidUpdateMetadataNotification);
    NotificationRecorder failed(VKCloudServiceMetadataLoadFailedNotification);
    auto resource = cloudResource(cloudPath);
    ASSERT_TRUE(resource) << cloudPath;
    service->updateMetadataForResource(resource, nullptr);
    ASSERT_TRUE(waitFor([&] { return !updated.received.empty() || !failed.received.empty(); })) << server->errors();
    ASSERT_TRUE(failed.received.empty()) << cloudPath;
}

void CloudViewerTestCase::fetch(const std::string& cloudPath)
{
    NotificationRecorder completed(VKCloudServiceFetchDidCompleteNotification);
    service->fetchResource(cloudResource(cloudPath), nullptr);
    ASSERT_TRUE(waitFor([&] { return !completed.received.empty(); })) << server->errors();
}

std::shared_ptr<TestViewer> CloudViewerTestCase::openCloudViewer(const std::string& cloudPath, bool loadsAtOnce)
{
    auto viewer = TestViewer::create(cloudResource(cloudPath), host, loadsAtOnce);
    push(viewer);
    return viewer;
}

std::vector<std::string> CloudViewerTestCase::fileRequests() const
{
    std::vector<std::string> paths;
    constexpr std::string_view prefix = "/0/files/";
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

std::string CloudViewerTestCase::labelText(VKViewController& viewer)
{
    auto* label = viewer.placeholderView()->label();
    return label ? label->text() : "<none>";
}

} // namespace test

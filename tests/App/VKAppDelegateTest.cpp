#include "App/VKAppDelegate.h"

#include "Shell/Interface/InterfaceColors.h"
#include "Shell/VKApplication.h"
#include "Shell/VKAppDelegateHooks.h"
#include "Shell/VKNavigationController.h"
#include "Shell/VKWindow.h"
#include "App/VKAppServiceHooks.h"
#include "CloudOperations/VKCloudUploadManager.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKNetworkState.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Support/Cloud/TestCloudService.h"
#include "FileModel/VKServerLockHooks.h"
#include "WebDAV/WebDAVLockManager.h"
#include "HTTP/AsyncSocket.h"
#include "HTTP/HTTPServer.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Kit/NetReachability.h"
#include "Support/FakeReachability.h"
#include "Support/HeldPorts.h"
#include "Support/TestCase.h"

#include <memory>
#include <optional>

namespace {

class VKAppDelegateTest : public test::TestCase {
protected:
    void TearDown() override
    {
        if (delegate)
            delegate->applicationWillTerminate();
        delegate.reset();
        held.reset();
        TestCase::TearDown();
    }
    // A port held by another listener.
    uint16_t takenPort() { return held->hold(); }
    std::shared_ptr<VKAppDelegate> delegate;
    std::optional<test::HeldPorts> held { std::in_place };
};

TEST_F(VKAppDelegateTest, RegistersTheSettingsWithTheirKinds)
{
    delegate = VKAppDelegate::create();
    auto defaults = core::UserDefaults::standard();
    EXPECT_TRUE(defaults->object("VKPortNumber").isInteger());
    EXPECT_EQ(defaults->integerForKey("VKPortNumber"), 80);
    EXPECT_TRUE(defaults->object("VKQuotaLimit").isString());
    EXPECT_EQ(defaults->stringForKey("VKQuotaLimit"), "1024");
    EXPECT_TRUE(defaults->object("VKServerEnabled").isBool());
    EXPECT_TRUE(defaults->object("VKDefaultTextFontSize").isReal());
    EXPECT_EQ(defaults->stringForKey("VKDefaultTextEncoding"), "UTF-8");
    EXPECT_EQ(defaults->integerForKey("VKDocumentViewLayout"), 1);
    EXPECT_TRUE(defaults->object("VKLastKnownDocumentEnabled").isBool());
    EXPECT_EQ(defaults->persistentDomain().dictionary().size(), 0u);
}

TEST_F(VKAppDelegateTest, FallsBackOnOtherPortsWhenTheConfiguredOneIsTaken)
{
    delegate = VKAppDelegate::create();
    auto defaults = core::UserDefaults::standard();
    const auto configured = takenPort();
    const auto firstFallback = takenPort();
    defaults->set("VKPortNumber", core::Value(int64_t(configured)));
    delegate->setFallbackPorts({ firstFallback, 0 });
    delegate->setupHTTPServer();
    ASSERT_TRUE(delegate->startHTTPServer(true));
    auto server = delegate->httpServer();
    EXPECT_TRUE(server->isStarted());
    EXPECT_NE(server->port(), configured);
    EXPECT_TRUE(logContains("Trying port: " + std::to_string(firstFallback)));
    EXPECT_TRUE(logContains("Trying port: 0"));
    EXPECT_TRUE(logContains("Warning, port changed: " + std::to_string(configured) + " -> " + std::to_string(server->port())));

    // Stop keeps the connections; start again is a no-op when started.
    EXPECT_TRUE(delegate->startHTTPServer(false));
    EXPECT_FALSE(server->isStarted());
    EXPECT_FALSE(defaults->boolForKey("VKServerEnabled"));
    EXPECT_TRUE(logContains("Stopping HTTP server"));

    // Every port taken: the error, and no start.
    delegate->setupHTTPServer();
    delegate->setFallbackPorts({ firstFallback });
    EXPECT_FALSE(delegate->startHTTPServer(true));
    EXPECT_TRUE(logContains("Error starting HTTP Server: "));
    EXPECT_FALSE(delegate->httpServer()->isStarted());
}

TEST_F(VKAppDelegateTest, ServerSetUpPortValidationAndLockHooks)
{
    delegate = VKAppDelegate::create();
    auto defaults = core::UserDefaults::standard();
    defaults->set("VKPortNumber", core::Value(int64_t(70000)));
    EXPECT_EQ(VKAppDelegate::configuredPort(), 80);
    EXPECT_TRUE(logContains("Warning, VKPortNumber 70000"));
    defaults->set("VKPortNumber", core::Value("8080"));
    EXPECT_EQ(VKAppDelegate::configuredPort(), 8080);

    using Family = net::InterfaceAddress::Family;
    test::setFixedInterfaceAddresses(std::vector<net::InterfaceAddress> { { "lo", Family::IPv4, "127.0.0.1" },
        { "eth0", Family::IPv4, "192.168.1.5" } });
    delegate->setupHTTPServer();
    auto server = delegate->httpServer();
    auto application = VKApplication::sharedApplication();
    EXPECT_EQ(server->localPathForURI(*core::URL::parse("/Documents/a.txt")), application->documentsDirectory() + "/a.txt");
    EXPECT_EQ(server->localPathForURI(*core::URL::parse("/Public/")), application->publicDirectory());
    EXPECT_FALSE(server->localPathForURI(*core::URL::parse("/Library/Preferences/x.plist")));
    EXPECT_TRUE(server->serverName().starts_with("VKDAV/"));
    EXPECT_EQ(server->types(), (std::vector<std::string> { "_http._tcp.", "_webdav._tcp." }));
    EXPECT_EQ(server->hostName(), "192.168.1.5");
    EXPECT_EQ(VKServerLockHooks::current()->URIForLocalPath(application->publicDirectory() + "/a b.txt"), "/Public/a%20b.txt");
    EXPECT_FALSE(VKServerLockHooks::current()->URIForLocalPath("/elsewhere"));

    // The file model sees the WebDAV locks.
    auto lock = WebDAVLockManager::sharedManager()->acquireWriteLockForURI(*core::URL::parse("/Public/"),
        application->publicDirectory(), "exclusive", "me", "infinity", "Infinite");
    ASSERT_TRUE(lock);
    EXPECT_EQ(VKServerLockHooks::current()->locksForURI("/Public/a%20b.txt").size(), 1u);
    EXPECT_TRUE(VKServerLockHooks::current()->locksForURI("/Documents/a.txt").empty());
    WebDAVLockManager::sharedManager()->removeAllLocks();
}

TEST_F(VKAppDelegateTest, DisabledServerOnlyReportsItsStatus)
{
    delegate = VKAppDelegate::create();
    core::UserDefaults::standard()->set("VKServerEnabled", core::Value(false));
    int changes = 0;
    auto observation = core::NotificationCenter::defaultCenter().observe(HTTPServer::StatusDidChangeNotification,
        nullptr, [&](const core::Notification&) { ++changes; });
    EXPECT_TRUE(delegate->applicationDidFinishLaunching());
    EXPECT_FALSE(delegate->httpServer()->isStarted());
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(logContains("VKServerEnabled is off"));
}

TEST_F(VKAppDelegateTest, TheDefaultRouteWatcherGivesTheServerItsAddress)
{
    using Family = net::InterfaceAddress::Family;
    test::FakeReachability::install();
    test::setFixedInterfaceAddresses(std::vector<net::InterfaceAddress> {});
    core::UserDefaults::standard()->set("VKPortNumber", core::Value(int64_t(0)));
    delegate = VKAppDelegate::create();
    ASSERT_EQ(test::FakeReachability::made().size(), 1u);
    auto& watcher = *test::FakeReachability::made().back();
    EXPECT_TRUE(watcher.target().isDefaultRoute());
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    EXPECT_TRUE(watcher.isScheduled());
    EXPECT_EQ(delegate->netReachability()->delegate().get(), delegate.get());

    // No address on the local network: no host name (the printed line uses
    // the loopback one).
    auto server = delegate->httpServer();
    EXPECT_EQ(server->hostName(), "");
    EXPECT_FALSE(server->hostURL());
    watcher.fire(0);
    core::RunLoop::main().runUntilIdle();
    EXPECT_TRUE(logContains("reachabilityDidUpdate: reachable: 0, usingCell: 0"));
    EXPECT_TRUE(logContains("wifiIP: (null)"));
    EXPECT_EQ(server->hostName(), "");

    test::setFixedInterfaceAddresses(std::vector<net::InterfaceAddress> { { "wlan0", Family::IPv4, "10.9.0.2" } });
    watcher.fire(0x2);
    core::RunLoop::main().runUntilIdle();
    EXPECT_TRUE(logContains("reachabilityDidUpdate: reachable: 1, usingCell: 0"));
    EXPECT_TRUE(logContains("wifiIP: 10.9.0.2"));
    EXPECT_EQ(server->hostURL()->absoluteString(), "http://10.9.0.2:" + std::to_string(server->port()));

    delegate->applicationWillTerminate();
    EXPECT_FALSE(watcher.isScheduled());
}

// Launching registers the cloud services, opens the mirror (filling a new
// one with the services' folders) and only then hands the servers folder's
// items to the mirror.
TEST_F(VKAppDelegateTest, LaunchOpensTheCloudMirrorAfterTheServices)
{
    core::UserDefaults::standard()->set("VKServerEnabled", core::Value(false));
    test::TestCloudService::install("Test");
    const std::string folder = VKApplication::sharedApplication()->serversDirectory() + "/Test";
    EXPECT_FALSE(VKFileResource::resourceWithPath(folder)->isCloudResource());
    delegate = VKAppDelegate::create();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    EXPECT_TRUE(core::fs::exists(VKCloudFileStore::fileStorePath()));
    EXPECT_TRUE(logContains("Bootstrap succeeded"));
    auto resource = VKFileResource::resourceWithPath(folder);
    ASSERT_TRUE(resource);
    EXPECT_TRUE(resource->isCloudResource());
    EXPECT_TRUE(resource->isDirectory());

    delegate->applicationWillTerminate();
    EXPECT_FALSE(VKCloudHooks::current());
    VKCloudFileStore::resetForTesting();
    core::LogCapture log(true);
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    EXPECT_FALSE(log.contains("bootstrapCloudFileStore"));
    EXPECT_TRUE(VKFileResource::resourceWithPath(folder)->isCloudResource());
}

TEST_F(VKAppDelegateTest, AnswersTheShellFromItsOwnState)
{
    delegate = VKAppDelegate::create();
    core::UserDefaults::standard()->set("VKServerEnabled", core::Value(false));
    EXPECT_EQ(VKAppDelegateHooks::current(), nullptr);
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    auto hooks = VKAppDelegateHooks::current();
    ASSERT_EQ(hooks.get(), static_cast<VKAppDelegateHooks*>(delegate.get()));

    EXPECT_FALSE(hooks->isOrientationLocked());
    delegate->setOrientationLocked(true);
    EXPECT_TRUE(hooks->isOrientationLocked());
    EXPECT_FALSE(hooks->isRootPasscodeControllerActive());
    EXPECT_EQ(hooks->rootPasscodeController(), nullptr);
    EXPECT_FALSE(hooks->isGuestMode());
    EXPECT_FALSE(hooks->isAudioPlayerPlaying());
    EXPECT_EQ(hooks->mostRecentAudioPlayer(), nullptr);
    EXPECT_FALSE(hooks->guestActionsEnabled());
    core::UserDefaults::standard()->set("VKLocalGuestActionsEnabled", core::Value(true));
    EXPECT_TRUE(hooks->guestActionsEnabled());

    auto window = VKWindow::create({ 0, 0, 320, 480 });
    auto navigation = VKNavigationController::create();
    delegate->setWindow(window);
    delegate->setNavigationController(navigation);
    EXPECT_EQ(delegate->window(), window);
    EXPECT_EQ(delegate->navigationController(), navigation);
    delegate->setWindow(nullptr);
    delegate->setNavigationController(nullptr);

    // The end of the process takes it down again.
    delegate->applicationWillTerminate();
    EXPECT_EQ(VKAppDelegateHooks::current(), nullptr);
}

} // namespace

TEST_F(VKAppDelegateTest, TheBarColourComesFromTheBundleOnce)
{
    delegate = VKAppDelegate::create();
    auto colour = delegate->barTintColor();
    ASSERT_TRUE(colour);
    EXPECT_EQ(*colour, *colorWithHexString("#4A6582", 1.0f));

    // Read once: a bundle set later does not change it.
    makeFile("bad/Info.plist",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>VKBarTintColor</key><string>4A6582</string></dict></plist>\n");
    core::Bundle::setMain(core::Bundle::bundleWithPath(pathInHome("bad")));
    EXPECT_EQ(delegate->barTintColor(), colour);

    // Text that is not a colour leaves the bars their own.
    auto other = VKAppDelegate::create();
    EXPECT_FALSE(other->barTintColor());
    core::Bundle::setMain(nullptr);

    delegate->showServerInfo(nullptr);
    EXPECT_TRUE(logContains("Server information asked for"));
}

TEST_F(VKAppDelegateTest, LaunchPausesTheUploadsTheLastRunLeft)
{
    core::UserDefaults::standard()->set("VKServerEnabled", core::Value(false));
    test::TestCloudService::install("Test");
    auto store = VKCloudFileStore::sharedStore();
    const std::string folder = VKApplication::sharedApplication()->serversDirectory() + "/Test";
    auto folderNode = store->insertObjectForPath(folder);
    ASSERT_TRUE(folderNode);
    folderNode->setIsDirectory(true);
    auto node = store->insertObjectForPath(folder + "/up.txt");
    ASSERT_TRUE(node);
    node->setUploadState(VKNetworkStateUploading);
    ASSERT_TRUE(store->saveContext());

    delegate = VKAppDelegate::create();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    EXPECT_TRUE(VKAppUploadHooks::current());
    EXPECT_EQ(node->uploadState(), VKNetworkStatePaused);
    ASSERT_TRUE(VKCloudHooks::current());
    EXPECT_FALSE(VKCloudHooks::current()->hasActiveUploads());
    EXPECT_EQ(VKCloudHooks::current()->activeUploadCount(), 0);

    delegate->applicationWillTerminate();
    EXPECT_FALSE(VKAppUploadHooks::current());
    VKCloudUploadManager::resetSharedManagerForTesting();
}

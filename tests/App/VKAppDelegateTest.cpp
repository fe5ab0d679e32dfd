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
#include "HTTP/HTTPServer.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Kit/NetReachability.h"
#include "Support/FakeReachability.h"
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
        TestCase::TearDown();
    }
    std::shared_ptr<VKAppDelegate> delegate;
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
    EXPECT_EQ(defaults->persistentDomainForTesting().dictionary().size(), 0u);
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
    EXPECT_EQ(server->hostName(), "");

    test::setFixedInterfaceAddresses(std::vector<net::InterfaceAddress> { { "wlan0", Family::IPv4, "10.9.0.2" } });
    watcher.fire(0x2);
    core::RunLoop::main().runUntilIdle();
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
    EXPECT_FALSE(VKCloudFileStore::sharedStore()->isBootstrapRequired());
    auto resource = VKFileResource::resourceWithPath(folder);
    ASSERT_TRUE(resource);
    EXPECT_TRUE(resource->isCloudResource());
    EXPECT_TRUE(resource->isDirectory());

    delegate->applicationWillTerminate();
    EXPECT_FALSE(VKCloudHooks::current());
    VKCloudFileStore::resetForTesting();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
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
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(pathInHome("bad")));
    EXPECT_EQ(delegate->barTintColor(), colour);

    // Text that is not a colour leaves the bars their own.
    auto other = VKAppDelegate::create();
    EXPECT_FALSE(other->barTintColor());
    core::Bundle::setMainForTesting(nullptr);

    delegate->showServerInfo(nullptr);
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

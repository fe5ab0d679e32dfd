// The whole application's launch in process: the first run and later ones,
// the lock at launch, the settings of older versions, handed-over files, the
// server's alerts, the quota warning and recount, the saved stack, and the
// server through going inactive.

#include "App/VKAppDelegate.h"
#include "App/VKAppDiskQuota.h"
#include "App/VKAppPasscodeLock.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKRootFolderController.h"
#include "App/Help/VKHelpViewController.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKModalActivityIndicator.h"
#include "Shell/VKApplication.h"
#include "Shell/VKKeychain.h"
#include "Shell/VKNavigationController.h"
#include "Shell/VKPasscodeController.h"
#include "Shell/VKRootPasscodeController.h"
#include "Shell/VKWindow.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "HTTP/HTTPServer.h"
#include "Kit/VKFunctions.h"
#include "Kit/VKImageOperationQueue.h"
#include "Kit/VKOperation.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/ManualClock.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/Net/InterfaceAddresses.h"
#include "Platform/Security/FileKeychainStore.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Support/Command.h"
#include "Support/FakePublisher.h"
#include "Support/FakeReachability.h"
#include "Support/HeldPorts.h"
#include "Support/NotificationRecorder.h"
#include "Support/RawClient.h"
#include "Support/TestEnvironment.h"
#include "Support/UIScreens.h"
#include "Support/UITestCase.h"
#include "InboxFiles.h"
#include "WebDAV/WebDAVDeleteResponse.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVResponse.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using test::FakePublisher;
using test::FakeReachability;
using test::setFixedInterfaceAddresses;

class VKAppDelegateLaunchTest : public test::UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override { return VKApplication::create(); }

    void SetUp() override
    {
        UITestCase::SetUp();
        FakeReachability::install();
        setFixedInterfaceAddresses(
            std::vector<net::InterfaceAddress> { { "wlan0", net::InterfaceAddress::Family::IPv4, "10.9.0.2" } });
        publisher = std::make_shared<FakePublisher>("Tandry-Test");
        NetServicePublisher::setShared(publisher);
        delegate = VKAppDelegate::create();
        FakeReachability::made().back()->fire(0x2);
        defaults()->set("VKPortNumber", core::Value(int64_t(0)));
        application = VKApplication::sharedApplication();
    }
    void TearDown() override
    {
        VKAppDiskQuota::setWorkerHoldForTesting(nullptr);
        if (delegate) {
            delegate->applicationWillTerminate();
            if (auto window = delegate->window())
                window->setRootViewController(nullptr);
            delegate->setNavigationController(nullptr);
            delegate->setWindow(nullptr);
        }
        runLoop();
        delegate.reset();
        NetServicePublisher::setShared(nullptr);
        UITestCase::TearDown();
    }
    static std::shared_ptr<core::UserDefaults> defaults() { return core::UserDefaults::standard(); }
    // Launches and, unless the test holds it, waits for the quota recount a
    // launch starts on a store never counted: until it ends the server stays
    // stopped and its information says the index is being rebuilt.
    void launch(const core::Value& options = core::Value::makeDictionary())
    {
        EXPECT_FALSE(delegate->applicationDidFinishLaunchingWithOptions(options));
        runLoop();
        if (recountHeld)
            return;
        auto quota = VKQuotaManager::defaultManager();
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !quota || !quota->rebuildingIndex(); }, 30));
        runLoop();
    }
    // A launch after the first, without the start-up alert.
    void launchAgain()
    {
        defaults()->set("VKIsFirstRun", core::Value(false));
        defaults()->set("VKDisplayServerURLAtStartup", core::Value(false));
        launch();
    }
    std::string port() const { return std::to_string(delegate->httpServer()->port()); }
    // Holds the quota recount's worker until `release` is set.
    void holdRecount(std::atomic<bool>& release)
    {
        recountHeld = true;
        VKAppDiskQuota::setWorkerHoldForTesting([&release] {
            while (!release)
                usleep(1000);
        });
    }
    static std::string inboxFile(const std::string& name, std::string_view contents = "%PDF-1.4")
    {
        return test::inboxFile(name, contents);
    }
    static std::string imports(const std::string& name = {}) { return test::imports(name); }

    // The page the presented help shows (its file's name), and its title.
    std::pair<std::string, std::string> presentedHelp() const
    {
        auto* navigation = dynamic_cast<ui::NavigationController*>(delegate->navigationController()->modalViewController());
        auto* page = navigation ? dynamic_cast<VKHelpViewController*>(navigation->topViewController()) : nullptr;
        if (!page || !page->resource())
            return {};
        return { core::path::lastPathComponent(page->resource()->path()), page->title() };
    }

    std::shared_ptr<FakePublisher> publisher;
    std::shared_ptr<VKAppDelegate> delegate;
    std::shared_ptr<VKApplication> application;
    bool recountHeld = false;
};

TEST_F(VKAppDelegateLaunchTest, TheFirstRunResetsTheKeychainAndShowsTheAddress)
{
    auto keychain = VKKeychain::sharedKeychain();
    keychain->setPassword("left over", VKLoginPasswordService, VKLoginPasswordService);
    keychain->setPassword("1234", VKPasscodeLockService, VKPasscodeLockService);
    launch();
    EXPECT_TRUE(logContains("Reseting VKKeychain..."));
    EXPECT_FALSE(keychain->passwordForUser(VKLoginPasswordService, VKLoginPasswordService));
    EXPECT_FALSE(keychain->passwordForUser(VKPasscodeLockService, VKPasscodeLockService));
    EXPECT_TRUE(defaults()->boolForKey("VKDidShowPortNumberMigrationUpdateNote"));
    EXPECT_FALSE(defaults()->boolForKey("VKIsFirstRun"));
    EXPECT_FALSE(delegate->isLaunching());
    const auto welcome = application->documentsDirectory() + "/Welcome.docx";
    ASSERT_TRUE(core::fs::exists(welcome));
    EXPECT_EQ(test::runCommand({ "unzip", "-tq", welcome }).status, 0);

    // The browser: the navigation controller with its toolbar is the
    // window's root, on the root list.
    auto navigation = delegate->navigationController();
    ASSERT_TRUE(navigation);
    EXPECT_EQ(delegate->window()->rootViewController(), navigation.get());
    EXPECT_FALSE(navigation->isToolbarHidden());
    EXPECT_TRUE(std::dynamic_pointer_cast<VKRootFolderController>(navigation->viewControllers().front()));
    EXPECT_TRUE(delegate->httpServer()->isStarted());

    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->tag(), vkTag(VKAppDelegate::Alert::Startup));
    EXPECT_EQ(alert->title(), "");
    EXPECT_EQ(alert->message(),
        fmt::format("Connect to Tandry using the following WebDAV URL:\n\nhttp://10.9.0.2:{0}\nor via Bonjour:\n"
                    "http://Tandry-Test.local:{0}",
            port()));
    EXPECT_EQ(alert->cancelButtonIndex(), 1);
    EXPECT_EQ(alert->buttonTitle(0), "Quick Start");
    // Return takes OK, not the offer beside it.
    EXPECT_TRUE(driver.key(ui::KeyCommand::Return));
    advance(1);
    EXPECT_TRUE(driver.shownChoices().empty());
    EXPECT_FALSE(delegate->navigationController()->modalViewController());
    alert->show();
    driver.pressAlertButton("Quick Start");
    advance(1);
    EXPECT_EQ(presentedHelp().first, "connecting_quickstart.html");
    EXPECT_EQ(presentedHelp().second, "Quick Start");
}

TEST_F(VKAppDelegateLaunchTest, ALaterRunKeepsTheKeychainAndMovesOldSettings)
{
    defaults()->set("VKIsFirstRun", core::Value(false));
    defaults()->set("VKDisplayServerURLAtStartup", core::Value(false));
    defaults()->set("VKLoginPassword", core::Value("old secret"));
    defaults()->set("VKGuestAccessEnabled", core::Value(true));
    VKKeychain::sharedKeychain()->setPassword("kept", VKPasscodeLockService + std::string("X"),
        VKPasscodeLockService + std::string("X"));
    launch();
    EXPECT_FALSE(logContains("Reseting VKKeychain..."));
    EXPECT_EQ(VKKeychain::sharedKeychain()->passwordForUser(VKLoginPasswordService, VKLoginPasswordService),
        "old secret");
    EXPECT_TRUE(defaults()->object("VKLoginPassword").isNull());
    EXPECT_TRUE(defaults()->object("VKGuestAccessEnabled").isNull());
    EXPECT_TRUE(defaults()->boolForKey("VKRemoteGuestAccess"));
    EXPECT_FALSE(ui::AlertView::alertWindowForTesting());
}

TEST_F(VKAppDelegateLaunchTest, AKeychainThatLostTheServerPasswordKeepsTheServerClosedAndSaysSo)
{
    defaults()->set("VKLoginUsername", core::Value("me"));
    ASSERT_TRUE(VKKeychain::sharedKeychain()->setPassword("secret", VKLoginPasswordService, VKLoginPasswordService));
    // The next run finds garbage where the keychain was.
    core::fs::writeFileAtomically(pathInHome("Library/Keychain/Tandry.keychain"), std::string(300, 'g'));
    VKKeychain::setSharedKeychainForTesting(nullptr);
    launchAgain();
    ASSERT_TRUE(driver.alert());
    EXPECT_NE(driver.alert()->message().find("password could not be read"), std::string::npos);

    test::RawClient client(delegate->httpServer()->port());
    client.send("GET /Documents/ HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    const auto& answer = client.readUntil("\r\n\r\n");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 401")) << answer;
}

TEST_F(VKAppDelegateLaunchTest, ADamagedBookmarksDatabaseIsResetWithAWord)
{
    core::fs::writeFileAtomically(VKFileSettingsManager::databasePath(), std::string(4096, 'g'));
    launchAgain();
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->title(), "Bookmarks Reset");
}

TEST_F(VKAppDelegateLaunchTest, ALaunchWithoutItsDocumentFolderOrNetworkGoesOn)
{
    // A file stands where the documents folder should be.
    const auto documents = application->documentsDirectory();
    core::fs::removeItem(documents);
    ASSERT_TRUE(core::fs::writeFileAtomically(documents, "in the way"));
    FakeReachability::made().back()->fire(0);
    launchAgain();
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->message(), "Warning: Unable to create Tandry document store");
    EXPECT_FALSE(delegate->isLaunching());
    EXPECT_TRUE(delegate->navigationController());
    EXPECT_TRUE(logContains("Warning: not sending analytics (network unreachable)"));
    EXPECT_FALSE(logContains("VKBasicAnalytics:"));
}

TEST_F(VKAppDelegateLaunchTest, TheDefaultPortBringsTheUpdateNotesOnceInPlaceOfTheStartUpAlert)
{
    defaults()->set("VKIsFirstRun", core::Value(false));
    defaults()->set("VKDisplayServerURLAtStartup", core::Value(true));
    defaults()->set("VKPortNumber", core::Value(int64_t(80)));
    // The server takes any free port and reports 80: the machine's own port
    // 80 may be taken, or not ours to take.
    delegate->server().setListen([](HTTPServer& server, core::Error* error) {
        server.setPort(0);
        const bool started = server.startListening(error);
        server.setPort(80);
        return started;
    });
    launch();
    EXPECT_EQ(presentedHelp().first, "general_updatenotes.html");
    EXPECT_EQ(presentedHelp().second, "Update Notes");
    EXPECT_TRUE(defaults()->boolForKey("VKDidShowPortNumberMigrationUpdateNote"));
    EXPECT_FALSE(ui::AlertView::alertWindowForTesting());
}

TEST_F(VKAppDelegateLaunchTest, AReachableLaunchSendsItsUsageReportOnTheNextPass)
{
    launchAgain();
    EXPECT_FALSE(logContains("not sending analytics"));
    EXPECT_TRUE(logContains("VKBasicAnalytics:"));
}

TEST_F(VKAppDelegateLaunchTest, WithTheServerOffNothingListensAndTheStatusIsPostedOnce)
{
    defaults()->set("VKServerEnabled", core::Value(false));
    test::NotificationRecorder status(HTTPServer::StatusDidChangeNotification);
    launch();
    EXPECT_FALSE(delegate->httpServer()->isStarted());
    EXPECT_EQ(status.received.size(), 1u);
    EXPECT_FALSE(ui::AlertView::alertWindowForTesting());
}

TEST_F(VKAppDelegateLaunchTest, AStoredPasscodeHoldsTheLaunchPassUntilItIsEntered)
{
    defaults()->set("VKIsFirstRun", core::Value(false));
    defaults()->set("VKLocalGuestAccess", core::Value(true));
    VKKeychain::sharedKeychain()->setPassword("1234", VKPasscodeLockService, VKPasscodeLockService);
    const auto handed = inboxFile("QL-abc.pdf");
    core::Value::Dictionary options { { ui::Application::launchOptionsURLKey,
        core::Value(core::URL::fileURL(handed, false).absoluteString()) } };
    launch(core::Value(options));
    EXPECT_TRUE(delegate->isRootPasscodeControllerActive());
    EXPECT_TRUE(delegate->isLaunching());
    EXPECT_FALSE(delegate->httpServer());
    EXPECT_FALSE(delegate->navigationController());
    // Coming back before the pass ran changes nothing.
    delegate->applicationDidBecomeActive();
    runLoop();
    EXPECT_FALSE(delegate->httpServer());

    // The guest enters: the public folder alone, and nothing imported.
    delegate->guestButtonClicked();
    runLoop();
    EXPECT_FALSE(delegate->isLaunching());
    ASSERT_TRUE(delegate->navigationController());
    auto bottom = std::dynamic_pointer_cast<VKFolderController>(delegate->navigationController()->viewControllers().front());
    ASSERT_TRUE(bottom);
    EXPECT_EQ(core::path::standardizingPath(bottom->resource()->path()),
        core::path::standardizingPath(application->publicDirectory()));
    EXPECT_TRUE(core::fs::exists(handed));
    EXPECT_FALSE(core::fs::exists(imports()));
    EXPECT_FALSE(delegate->handleOpenURL(core::URL::fileURL(handed, false)));
    EXPECT_TRUE(core::fs::exists(handed));
}

TEST_F(VKAppDelegateLaunchTest, ALostPasscodeHoldsTheLaunchPassUntilTheProgramResetsIt)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    defaults()->set("VKIsFirstRun", core::Value(false));
    VKKeychain::sharedKeychain()->setPassword("1234", VKPasscodeLockService, VKPasscodeLockService);
    // The keychain's file is damaged: set aside, the passcode with it.
    auto* store = dynamic_cast<sec::FileKeychainStore*>(VKKeychain::sharedKeychain()->store().get());
    ASSERT_TRUE(store);
    ASSERT_TRUE(core::fs::writeFileAtomically(store->path(), std::string(200, 'x')));
    VKKeychain::setSharedKeychainForTesting(nullptr);
    EXPECT_FALSE(VKAppPasscodeLock::keychainPasscode());

    launch();
    ASSERT_TRUE(delegate->isRootPasscodeControllerActive());
    EXPECT_TRUE(delegate->isLaunching());
    EXPECT_FALSE(delegate->httpServer());
    auto& entry = *delegate->passcodeLock().controller()->passcodeController();
    EXPECT_EQ(entry.infoText(), "The passcode could not be read");
    for (auto& device : { test::phoneScreen, test::tabletScreen }) {
        test::useDeviceScreen(*delegate->window(), device);
        advance(1);
        test::saveScreen(driver, sourcePath("build/screens/app"), "passcode-lost-" + device.name, device.scale);
    }
    // No entry lets in or counts, the old passcode neither.
    for (const char* typed : { "1234", "0000" }) {
        driver.type(typed);
        advance(1);
        EXPECT_TRUE(delegate->isRootPasscodeControllerActive()) << typed;
    }
    EXPECT_EQ(VKPasscodeController::failedAttempts(), 0);
    EXPECT_FALSE(delegate->httpServer());
    // Leaving and coming back keeps it up.
    delegate->applicationDidEnterBackground();
    EXPECT_TRUE(delegate->isRootPasscodeControllerActive());

    // What --reset-passcode does: the next launch goes straight in.
    VKAppPasscodeLock::resetPasscode();
    EXPECT_FALSE(VKAppPasscodeLock::isLockOn());
    EXPECT_FALSE(VKKeychain::wasPasscodeSet());
}

TEST_F(VKAppDelegateLaunchTest, AFileLargerThanTheFreeSpaceIsRefusedOnlyWhenTheSpaceIsKnown)
{
    VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::nullopt; });
    defaults()->set("VKQuotaEnabled", core::Value(false));
    // Nothing to check against: the file goes through.
    if (!VKQuotaManager::defaultManager()->quotaAvailableBytes()) {
        const auto unknown = inboxFile("unknown.pdf", std::string(100, 'x'));
        EXPECT_EQ(delegate->importLaunchURL(unknown), imports("unknown.pdf"));
    }
    defaults()->set("VKQuotaAvailableBytes", core::Value(int64_t(10)));
    const auto big = inboxFile("big.pdf", std::string(10, 'x'));
    EXPECT_FALSE(delegate->importLaunchURL(big));
    EXPECT_FALSE(core::fs::exists(big));
    ASSERT_TRUE(delegate->diskQuota().warningAlert());
    VKQuotaManager::setFreeSpaceFunctionForTesting(nullptr);
}

TEST_F(VKAppDelegateLaunchTest, AFileHandedOverAtLaunchOpensInItsFolder)
{
    defaults()->set("VKIsFirstRun", core::Value(false));
    defaults()->set("VKLastKnownDocumentEnabled", core::Value(false));
    const auto handed = inboxFile("report.pdf");
    core::Value::Dictionary options { { ui::Application::launchOptionsURLKey,
        core::Value(core::URL::fileURL(handed, false).absoluteString()) } };
    launch(core::Value(options));
    auto folders = delegate->folderControllers();
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(core::path::standardizingPath(folders.back()->resource()->path()),
        core::path::standardizingPath(imports()));
    EXPECT_TRUE(core::fs::exists(imports("report.pdf")));

    test::NoticeRecorder updates(VKFolderControllerCollectionDidUpdateNotification);
    EXPECT_TRUE(delegate->handleOpenURL(core::URL::fileURL(inboxFile("later.pdf"), false)));
    ASSERT_EQ(updates.received.size(), 1u);
    EXPECT_EQ(core::path::standardizingPath(updates.received[0].path),
        core::path::standardizingPath(imports()));
}

TEST_F(VKAppDelegateLaunchTest, FilesHandedOverOrDroppedBehindTheLockShowOnceTheOwnerIsIn)
{
    defaults()->set("VKIsFirstRun", core::Value(false));
    defaults()->set("VKLastKnownDocumentEnabled", core::Value(false));
    VKKeychain::sharedKeychain()->setPassword("1234", VKPasscodeLockService, VKPasscodeLockService);
    launch();
    ASSERT_TRUE(delegate->isRootPasscodeControllerActive());

    // Dropped from a file manager: a file, a link to one, a file of another
    // file system, and what is no file to import. Nothing is lost: what is
    // refused stays where it was, and says why.
    const auto desk = pathInHome("Desktop");
    core::fs::createDirectory(desk + "/Photos", true);
    ASSERT_TRUE(core::fs::writeFileAtomically(desk + "/notes.txt", "notes"));
    ASSERT_TRUE(core::fs::writeFileAtomically(desk + "/target.txt", "through the link"));
    ASSERT_EQ(symlink((desk + "/target.txt").c_str(), (desk + "/link.txt").c_str()), 0);
    ASSERT_EQ(mkfifo((desk + "/pipe").c_str(), 0600), 0);
    const std::string elsewhere = fmt::format("/dev/shm/tandry-drop-{}.txt", getpid());
    const bool shm = core::fs::writeFileAtomically(elsewhere, "on tmpfs");
    std::vector<std::string> dropped { desk + "/notes.txt", desk + "/link.txt", desk + "/Photos", desk + "/pipe",
        desk + "/missing.txt" };
    if (shm)
        dropped.push_back(elsewhere);
    delegate->openDroppedFiles(dropped, 1);
    // A later launch hands its file over meanwhile.
    EXPECT_TRUE(delegate->handleOpenURL(core::URL::fileURL(inboxFile("handed.pdf"), false)));
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return logContains("missing.txt is not taken"); }, 10));
    runLoop();
    EXPECT_FALSE(core::fs::exists(imports("notes.txt"))) << "nothing is taken in behind the lock";
    EXPECT_FALSE(delegate->navigationController());
    EXPECT_TRUE(driver.shownChoices().empty()) << "the passcode's entry keeps the keys";

    // The owner's passcode: what could not be taken is said, and
    // everything else is in Imports, the last one shown over its folder
    // instead of the root list.
    advance(1);
    driver.type("1234");
    advance(1);
    ASSERT_FALSE(delegate->isRootPasscodeControllerActive());
    ASSERT_FALSE(driver.shownChoices().empty());
    const auto said = driver.alert()->message();
    EXPECT_NE(said.find("\u201cPhotos\u201d is a folder: only files can be imported."), std::string::npos) << said;
    EXPECT_NE(said.find("\u201cpipe\u201d is not a regular file"), std::string::npos) << said;
    EXPECT_NE(said.find("\u201cmissing.txt\u201d cannot be imported: No such file or directory"), std::string::npos)
        << said;
    EXPECT_NE(said.find("Only files can be dropped here"), std::string::npos) << said;
    EXPECT_EQ(driver.alert()->title(), "Not Imported");
    driver.pressAlertButton("OK");
    advance(1);
    auto folders = delegate->folderControllers();
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(core::path::standardizingPath(folders.back()->resource()->path()),
        core::path::standardizingPath(imports()));
    EXPECT_NE(delegate->navigationController()->topViewController(), folders.front().get());
    for (const char* name : { "notes.txt", "link.txt", "handed.pdf" })
        EXPECT_TRUE(core::fs::exists(imports(name))) << name;
    auto link = core::fs::attributes(imports("link.txt"));
    ASSERT_TRUE(link);
    EXPECT_EQ(link->type, core::fs::FileType::Regular) << "the link's file, never a link out of the store";
    if (shm) {
        EXPECT_TRUE(core::fs::exists(imports(core::path::lastPathComponent(elsewhere))));
        EXPECT_TRUE(core::fs::exists(elsewhere));
        core::fs::removeItem(elsewhere);
    }
    for (const char* kept : { "notes.txt", "target.txt", "link.txt", "Photos", "pipe" })
        EXPECT_TRUE(core::fs::exists(desk + "/" + kept)) << kept;
    EXPECT_FALSE(core::fs::exists(imports("Photos")));
    EXPECT_FALSE(core::fs::exists(imports("pipe")));
    EXPECT_FALSE(core::fs::exists(application->inboxDirectory())) << "no part of a refused file is left behind";
}

TEST_F(VKAppDelegateLaunchTest, TheServerInformationNamesWhatIsOn)
{
    launchAgain();
    defaults()->set("VKLoginUsername", core::Value("me"));
    VKKeychain::sharedKeychain()->setPassword("secret", VKLoginPasswordService, VKLoginPasswordService);
    defaults()->set("VKRemoteGuestAccess", core::Value(true));
    defaults()->set("VKQuotaEnabled", core::Value(true));
    const auto portrait = delegate->serverInfoMessage(true);
    const auto address = fmt::format("Connect via URL:\nhttp://10.9.0.2:{0}\n\nor via Bonjour:\nhttp://Tandry-Test.local:{0}"
                                     "\n\nPassword protected\nRemote guest access enabled\n",
        port());
    EXPECT_TRUE(portrait.starts_with(address)) << portrait;
    EXPECT_NE(portrait.find(" used"), std::string::npos) << portrait;
    EXPECT_NE(portrait.find(" of "), std::string::npos) << portrait;
    const auto landscape = delegate->serverInfoMessage(false);
    EXPECT_TRUE(landscape.starts_with(fmt::format(
        "Connect via URL:\nhttp://10.9.0.2:{0}\nor via Bonjour:\nhttp://Tandry-Test.local:{0}\n\n", port())))
        << landscape;
    EXPECT_EQ(landscape.find("Password protected"), std::string::npos);

    FakeReachability::made().back()->fire(0);
    EXPECT_TRUE(delegate->serverInfoMessage(true).starts_with("No WiFi connection detected\n\n"));

    delegate->showServerInfo(nullptr);
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->tag(), vkTag(VKAppDelegate::Alert::ServerInfo));
    EXPECT_EQ(alert->buttonTitle(0), "Stop Server");
    EXPECT_EQ(alert->cancelButtonIndex(), 1);
    driver.pressAlertButton("Stop Server");
    advance(1);
    EXPECT_FALSE(delegate->httpServer()->isStarted());
    EXPECT_TRUE(delegate->serverInfoMessage(true).starts_with("WebDAV server stopped\n\n"));
}

TEST_F(VKAppDelegateLaunchTest, TheServerInformationOfASecureServerAGuestAndAStoppedServer)
{
    launchAgain();
    defaults()->set("VKSSLEnabled", core::Value(true));
    defaults()->set("VKQuotaEnabled", core::Value(false));
    const auto portrait = delegate->serverInfoMessage(true);
    EXPECT_TRUE(portrait.starts_with("Connect via secure URL:\nhttp")) << portrait;
    EXPECT_NE(portrait.find("\n\nSSL enabled\n"), std::string::npos) << portrait;
    EXPECT_EQ(portrait.find(" of "), std::string::npos) << portrait;
    EXPECT_NE(portrait.find(" used\n"), std::string::npos) << portrait;
    EXPECT_TRUE(portrait.ends_with(" available")) << portrait;
    EXPECT_EQ(delegate->serverInfoMessage(false).find("SSL enabled"), std::string::npos);

    // A stopped server offers to start again.
    delegate->startHTTPServer(false);
    delegate->showServerInfo(nullptr);
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->buttonTitle(0), "Start Server");
    driver.pressAlertButton("Start Server");
    advance(1);
    EXPECT_TRUE(delegate->httpServer()->isStarted());

    // A guest only reads it.
    delegate->setGuestModeForTesting(true);
    delegate->showServerInfo(nullptr);
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->numberOfButtons(), 1);
    EXPECT_EQ(driver.alert()->buttonTitle(0), "OK");
    driver.pressAlertButton("OK");
    advance(1);
}

TEST_F(VKAppDelegateLaunchTest, LeavingAndEndingPutTheApplicationToRest)
{
    defaults()->set("VKPasscodeLockUponWake", core::Value(true));
    launchAgain();
    auto manager = WebDAVLockManager::sharedManager();
    const auto uri = core::URL::parse("http://localhost/locked.txt");
    ASSERT_TRUE(uri);
    ASSERT_TRUE(manager->acquireWriteLockForURI(*uri, application->documentsDirectory() + "/locked.txt", "exclusive",
        "me", "0", "Second-60"));

    // Going inactive with a client still there withdraws the announcement
    // but keeps listening.
    ASSERT_FALSE(publisher->services.empty());
    {
        test::RawClient client(delegate->httpServer()->port());
        ASSERT_TRUE(core::RunLoop::main().runUntil(
            [&] { return delegate->httpServer()->numberOfHTTPConnections() == 1; }, 10));
        EXPECT_TRUE(delegate->isNetworkActiveForApplication(*application));
        delegate->applicationWillResignActive();
        EXPECT_TRUE(publisher->services.back()->stopped);
        EXPECT_TRUE(delegate->httpServer()->isStarted());
        EXPECT_FALSE(manager->locksForURI(*uri).empty());
    }
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return manager->locksForURI(*uri).empty(); }, 10));

    // A stored passcode puts the lock up on leaving.
    delegate->applicationDidBecomeActive();
    runLoop();
    VKKeychain::sharedKeychain()->setPassword("1234", VKPasscodeLockService, VKPasscodeLockService);
    delegate->applicationWillResignActive();
    EXPECT_TRUE(delegate->isRootPasscodeControllerActive());

    // The background saves the state and dismisses sheets.
    application->setIdleTimerDisabled(true);
    auto sheet = ui::ActionSheet::create("Sheet", {}, "Cancel", std::nullopt, { "One" });
    sheet->showInView(*delegate->window());
    delegate->applicationDidEnterBackground();
    EXPECT_FALSE(application->isIdleTimerDisabled());
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_TRUE(defaults()->object("VKQuotaStore").isDictionary());

    application->setIdleTimerDisabled(true);
    application->setStatusBarStyle(ui::Application::StatusBarStyle::BlackOpaque, false);
    delegate->applicationWillTerminate();
    EXPECT_FALSE(application->isIdleTimerDisabled());
    EXPECT_EQ(application->statusBarStyle(), ui::Application::StatusBarStyle::Default);
}

TEST_F(VKAppDelegateLaunchTest, TheQuotaWarningIsOneAtATimeAndWaitsForTheLaunch)
{
    defaults()->set("VKIsFirstRun", core::Value(false));
    defaults()->set("VKQuotaEnabled", core::Value(true));
    defaults()->set("VKQuotaLimit", core::Value(1));
    defaults()->set("VKDisplayServerURLAtStartup", core::Value(false));
    // Raised while launching: shown at the end of the pass.
    VKKeychain::sharedKeychain()->setPassword("1234", VKPasscodeLockService, VKPasscodeLockService);
    launch();
    delegate->diskQuota().showWarning();
    ASSERT_TRUE(delegate->diskQuota().warningAlert());
    EXPECT_FALSE(delegate->diskQuota().warningAlert()->isVisible());
    delegate->guestButtonClicked();
    runLoop();
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert, delegate->diskQuota().warningAlert());
    EXPECT_EQ(alert->title(), "Quota Warning");
    EXPECT_TRUE(alert->message().starts_with("Disk quota limit exceeded.\nCurrent limit: ")) << alert->message();
    EXPECT_EQ(alert->buttonTitle(0), "More Info");
    EXPECT_EQ(alert->buttonTitle(alert->cancelButtonIndex()), "OK");
    delegate->diskQuota().showWarning();
    EXPECT_EQ(delegate->diskQuota().warningAlert(), alert);
    driver.pressAlertButton("OK");
    advance(1);
    EXPECT_FALSE(delegate->diskQuota().warningAlert());
    EXPECT_FALSE(delegate->navigationController()->modalViewController());
    // The server's notice raises it once the application runs; "More Info"
    // opens the help.
    WebDAVResponse::postInsufficientStorageNotification();
    runLoop();
    ASSERT_TRUE(delegate->diskQuota().warningAlert());
    EXPECT_TRUE(delegate->diskQuota().warningAlert()->isVisible());
    driver.pressAlertButton("More Info");
    advance(1);
    EXPECT_FALSE(delegate->diskQuota().warningAlert());
    EXPECT_EQ(presentedHelp().first, "general_quota.html");

    // Over another modal screen it has no "More Info".
    WebDAVResponse::postInsufficientStorageNotification();
    runLoop();
    ASSERT_TRUE(delegate->diskQuota().warningAlert());
    EXPECT_EQ(delegate->diskQuota().warningAlert()->numberOfButtons(), 1);
    EXPECT_EQ(delegate->diskQuota().warningAlert()->buttonTitle(0), "OK");
    driver.pressAlertButton("OK");
    advance(1);

    // An unknown tag is only logged.
    auto other = ui::AlertView::create("x", "y", delegate, std::nullopt, { "Go", "OK" });
    other->setCancelButtonIndex(1);
    other->setTag(77);
    other->show();
    driver.pressAlertButton("Go");
    advance(1);
    EXPECT_TRUE(logContains("Warning, unhandled VKAppDelegate alert tag: 77"));
}

TEST_F(VKAppDelegateLaunchTest, TheRecountStopsTheServerAndShowsTheIndicatorOnlyWhenSlow)
{
    launchAgain();
    runLoop();
    ASSERT_TRUE(delegate->httpServer()->isStarted());
    auto quota = VKQuotaManager::defaultManager();

    std::atomic<bool> release = false;
    holdRecount(release);
    test::NoticeRecorder updates(VKFolderControllerCollectionDidUpdateNotification);
    delegate->rebuildDiskQuota();
    EXPECT_FALSE(delegate->httpServer()->isStarted());
    EXPECT_TRUE(quota->rebuildingIndex());
    advance(0.1);
    EXPECT_FALSE(delegate->diskQuota().indicator());
    advance(0.15);
    ASSERT_TRUE(delegate->diskQuota().indicator());
    // A second recount meanwhile is refused.
    delegate->rebuildDiskQuota();
    EXPECT_TRUE(logContains("quota recount already running"));
    // The server information says so and offers no server button.
    EXPECT_TRUE(delegate->serverInfoMessage(true).ends_with("Rebuilding quota index\nServer temporarily disabled"))
        << delegate->serverInfoMessage(true);
    delegate->showServerInfo(nullptr);
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->numberOfButtons(), 1);
    driver.pressAlertButton("OK");
    advance(1);
    // Nor is the half-counted tree saved.
    delegate->storeApplicationState();
    EXPECT_TRUE(defaults()->object("VKQuotaStore").isNull());
    release = true;
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !quota->rebuildingIndex(); }, 30));
    runLoop();
    EXPECT_FALSE(delegate->diskQuota().indicator());
    EXPECT_TRUE(delegate->httpServer()->isStarted());
    EXPECT_EQ(updates.received.size(), 2u);

    // A quick one never shows the indicator.
    VKAppDiskQuota::setWorkerHoldForTesting(nullptr);
    delegate->rebuildDiskQuota();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !quota->rebuildingIndex(); }, 30));
    advance(0.5);
    EXPECT_FALSE(delegate->diskQuota().indicator());
    delegate->storeApplicationState();
    EXPECT_TRUE(defaults()->object("VKQuotaStore").isDictionary());
}

TEST_F(VKAppDelegateLaunchTest, ANeverCountedStoreIsCountedWholeAtLaunchAndACountedOneIsLeftAlone)
{
    ASSERT_TRUE(core::fs::writeFileAtomically(application->documentsDirectory() + "/counted.txt", "twelve bytes"));
    std::atomic<bool> release = false;
    holdRecount(release);
    auto quota = VKQuotaManager::defaultManager();
    launchAgain();
    EXPECT_TRUE(quota->rebuildingIndex());
    advance(0.25);
    EXPECT_TRUE(delegate->diskQuota().indicator());
    release = true;
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !quota->rebuildingIndex(); }, 30));
    runLoop();
    EXPECT_GE(quota->quotaUsedBytes(), 12u);
    EXPECT_TRUE(delegate->httpServer()->isStarted());

    // Counted and valid: coming back counts nothing.
    delegate->applicationWillResignActive();
    delegate->applicationDidBecomeActive();
    EXPECT_FALSE(quota->rebuildingIndex());
    EXPECT_FALSE(logContains("quota recount already running"));
}

TEST_F(VKAppDelegateLaunchTest, ARecountStillRunningWhenTheApplicationGoesKeepsNoWatcherAlive)
{
    std::atomic<bool> release = false;
    holdRecount(release);
    auto quota = VKQuotaManager::defaultManager();
    launchAgain();
    ASSERT_TRUE(quota->rebuildingIndex());
    delegate->applicationWillTerminate();
    delegate->window()->setRootViewController(nullptr);
    delegate->setNavigationController(nullptr);
    delegate->setWindow(nullptr);
    delegate.reset();
    auto running = core::Thread::runningThreadNames();
    EXPECT_EQ(std::count(running.begin(), running.end(), "VKQuotaWatcher"), 0);
    // The tree counted after all is whole.
    release = true;
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !quota->rebuildingIndex(); }, 30));
}

TEST_F(VKAppDelegateLaunchTest, TheStackIsSavedAndGivenBackOnce)
{
    launchAgain();
    core::fs::createDirectory(application->documentsDirectory() + "/A/B", true);
    delegate->stack().pushViewControllersForPath(application->documentsDirectory() + "/A/B", false);
    delegate->storeApplicationState();
    EXPECT_EQ(defaults()->stringForKey("VKStatePathKey"), "~/Library/Documents/A/B");
    EXPECT_EQ(defaults()->object("VKStateArrayKey").array().size(), 3u);

    delegate->navigationController()->popToRootViewController(false);
    delegate->restoreApplicationState();
    EXPECT_EQ(delegate->folderControllers().size(), 3u);
    EXPECT_TRUE(defaults()->object("VKStatePathKey").isNull());
    EXPECT_TRUE(defaults()->object("VKStateArrayKey").isNull());

    // A state of the wrong kinds gives nothing back and is dropped.
    delegate->navigationController()->popToRootViewController(false);
    defaults()->set("VKStatePathKey", core::Value(int64_t(7)));
    defaults()->set("VKStateArrayKey", core::Value(core::Value::Array { core::Value("not a state") }));
    delegate->restoreApplicationState();
    EXPECT_TRUE(delegate->folderControllers().empty());
    EXPECT_TRUE(defaults()->object("VKStatePathKey").isNull());
    EXPECT_TRUE(defaults()->object("VKStateArrayKey").isNull());
}

TEST_F(VKAppDelegateLaunchTest, SavedEntriesGoBackToTheirScreensOnlyWhenTheyMatch)
{
    launchAgain();
    const auto folder = application->documentsDirectory() + "/A/B";
    ASSERT_TRUE(core::fs::createDirectory(folder, true));
    for (int i = 0; i < 80; ++i)
        ASSERT_TRUE(core::fs::writeFileAtomically(fmt::format("{}/file {:02}.txt", folder, i), "x"));
    auto entry = [](double offset) {
        return core::Value(core::Value::Dictionary { { VKFolderScrollMemory::StateKey, core::Value(offset) } });
    };
    auto topOffset = [&] {
        auto top = std::dynamic_pointer_cast<VKFolderController>(delegate->navigationController()->viewControllers().back());
        return top ? top->currentStateDictionary()[VKFolderScrollMemory::StateKey].toReal() : -1.0;
    };

    // Documents, A, B: one entry each; B's offset comes back.
    defaults()->set("VKStatePathKey", core::Value("~/Library/Documents/A/B"));
    defaults()->set("VKStateArrayKey", core::Value(core::Value::Array { entry(0), entry(0), entry(0.5) }));
    delegate->restoreApplicationState();
    runLoop();
    ASSERT_EQ(delegate->folderControllers().size(), 3u);
    EXPECT_NEAR(topOffset(), 0.5, 0.02);

    // One entry short: nothing is handed over, and B keeps the place it
    // had.
    delegate->navigationController()->popToRootViewController(false);
    defaults()->set("VKStatePathKey", core::Value("~/Library/Documents/A/B"));
    defaults()->set("VKStateArrayKey", core::Value(core::Value::Array { entry(0), entry(0.25) }));
    delegate->restoreApplicationState();
    runLoop();
    ASSERT_EQ(delegate->folderControllers().size(), 3u);
    EXPECT_NEAR(topOffset(), 0.5, 0.02);

    // A file's viewer gets the last entry, and the screen below it says
    // "Back".
    defaults()->set("VKLastKnownDocumentEnabled", core::Value(true));
    delegate->navigationController()->popToRootViewController(false);
    defaults()->set("VKStatePathKey", core::Value("~/Library/Documents/A/B/file 07.txt"));
    defaults()->set("VKStateArrayKey", core::Value(core::Value::Array { entry(0), entry(0), entry(0), entry(0) }));
    delegate->restoreApplicationState();
    runLoop();
    ASSERT_TRUE(delegate->stack().contentViewController());
    const auto& screens = delegate->navigationController()->viewControllers();
    ASSERT_GE(screens.size(), 2u);
    auto back = screens[screens.size() - 2]->navigationItem().backBarButtonItem();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->title(), "Back");
}

TEST_F(VKAppDelegateLaunchTest, AScreenBelowTheTopComesBackAtItsSavedFraction)
{
    launchAgain();
    const auto folder = application->documentsDirectory() + "/A";
    ASSERT_TRUE(core::fs::createDirectory(folder + "/B", true));
    for (int i = 0; i < 80; ++i)
        ASSERT_TRUE(core::fs::writeFileAtomically(fmt::format("{}/file {:02}.txt", folder, i), "x"));
    auto entry = [](double fraction) {
        return core::Value(core::Value::Dictionary { { VKFolderScrollMemory::StateKey, core::Value(fraction) } });
    };
    defaults()->set("VKStatePathKey", core::Value("~/Library/Documents/A/B"));
    defaults()->set("VKStateArrayKey", core::Value(core::Value::Array { entry(0), entry(0.5), entry(0) }));
    delegate->restoreApplicationState();
    runLoop();
    ASSERT_EQ(delegate->folderControllers().size(), 3u);

    delegate->navigationController()->popViewController(false);
    runLoop();
    auto a = std::dynamic_pointer_cast<VKFolderController>(delegate->navigationController()->viewControllers().back());
    ASSERT_TRUE(a);
    EXPECT_EQ(a->folderPath(), folder);
    EXPECT_NEAR(a->currentStateDictionary()[VKFolderScrollMemory::StateKey].toReal(), 0.5, 0.02);
}

TEST_F(VKAppDelegateLaunchTest, GoingInactiveWaitsForTheLastClient)
{
    launchAgain();
    auto server = delegate->httpServer();
    {
        auto client = std::make_unique<test::RawClient>(server->port());
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return server->numberOfHTTPConnections() == 1; }, 10));
        delegate->applicationWillResignActive();
        EXPECT_TRUE(server->isStarted());
        client.reset();
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return server->numberOfHTTPConnections() == 0; }, 10));
        runLoop();
        EXPECT_TRUE(server->isStarted());
        advance(1.1);
        EXPECT_FALSE(server->isStarted());
    }
    delegate->applicationDidBecomeActive();
    runLoop();
    EXPECT_TRUE(delegate->netReachability());
    EXPECT_TRUE(server->isStarted() || delegate->httpServer()->isStarted());

    // Without clients it stops at once.
    delegate->applicationWillResignActive();
    EXPECT_FALSE(delegate->httpServer()->isStarted());
    EXPECT_FALSE(delegate->netReachability());
    EXPECT_TRUE(delegate->isNetworkActiveForApplication(*application) == false);
}

TEST_F(VKAppDelegateLaunchTest, AFileDeletedOverWebDAVLosesItsSettings)
{
    launchAgain();
    const auto path = application->documentsDirectory() + "/read.txt";
    ASSERT_TRUE(core::fs::writeFileAtomically(path, "text"));
    auto settings = VKFileSettingsManager::defaultManager();
    ASSERT_TRUE(settings->setFontSize(17, path));
    ASSERT_TRUE(settings->hasSettingsForFile(path));
    core::NotificationCenter::defaultCenter().post(WebDAVWillDeleteResourceNotification, nullptr, { path, "" });
    EXPECT_FALSE(settings->hasSettingsForFile(path));
}

TEST_F(VKAppDelegateLaunchTest, TheEndSavesTheStackAndEmptiesTheTemporaryFolder)
{
    launchAgain();
    core::fs::createDirectory(application->documentsDirectory() + "/Kept", true);
    delegate->stack().pushViewControllersForPath(application->documentsDirectory() + "/Kept", false);
    const auto temporary = VKTemporaryDirectory();
    ASSERT_TRUE(core::fs::createDirectory(temporary + "/unzipped", true));
    ASSERT_TRUE(core::fs::writeFileAtomically(temporary + "/upload.part", "x"));
    delegate->applicationWillTerminate();
    EXPECT_EQ(core::fs::contentsOfDirectory(temporary).value_or(std::vector<std::string> { "missing" }).size(), 0u);
    EXPECT_EQ(defaults()->stringForKey("VKStatePathKey"), "~/Library/Documents/Kept");
    EXPECT_TRUE(defaults()->object("VKQuotaStore").isDictionary());
    EXPECT_FALSE(delegate->httpServer()->isStarted());

    // A memory warning drops the image work still waiting.
    struct HeldImageWork : VKOperation {
        void run() override
        {
            std::unique_lock lock(mutex);
            started = true;
            changed.notify_all();
            changed.wait(lock, [this] { return open; });
        }
        std::mutex mutex;
        std::condition_variable changed;
        bool started = false;
        bool open = false;
    };
    struct LaterImageWork : VKOperation {
        void run() override { ran = true; }
        std::atomic<bool> ran = false;
    };
    auto held = std::make_shared<HeldImageWork>();
    auto later = std::make_shared<LaterImageWork>();
    auto last = std::make_shared<LaterImageWork>();
    auto queue = VKImageOperationQueue::sharedQueue();
    queue->setPopBack(false); // in order, so that the last added runs last
    queue->addOperation(held);
    {
        std::unique_lock lock(held->mutex);
        ASSERT_TRUE(held->changed.wait_for(lock, std::chrono::seconds(10), [&] { return held->started; }));
    }
    queue->addOperation(later);
    delegate->applicationDidReceiveMemoryWarning();
    {
        std::lock_guard lock(held->mutex);
        held->open = true;
    }
    held->changed.notify_all();
    queue->addOperation(last);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return last->ran.load(); }, 10));
    EXPECT_FALSE(later->ran);
    VKImageOperationQueue::resetSharedQueue();
}

TEST_F(VKAppDelegateLaunchTest, AChangedPortWaitsForNoStartUpAlertAndAllPortsTakenLeaveTheAppUp)
{
    test::HeldPorts held;
    defaults()->set("VKPortNumber", core::Value(int64_t(held.hold())));
    delegate->server().setFallbackPorts({ held.hold(), 0 });
    // The first run's start-up alert already gives the new address: the
    // port-changed alert is held back.
    launch();
    EXPECT_TRUE(logContains("Warning, port changed: "));
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->tag(), vkTag(VKAppDelegate::Alert::Startup));
    EXPECT_NE(alert->message().find(":" + port() + "\n"), std::string::npos) << alert->message();
    driver.pressAlertButton("OK");
    advance(1);
    EXPECT_TRUE(driver.shownChoices().empty());

    // Stopped and started again after the launch: the new port is told.
    delegate->startHTTPServer(false);
    defaults()->set("VKServerEnabled", core::Value(true));
    delegate->httpServer()->setPort(uint16_t(defaults()->integerForKey("VKPortNumber")));
    ASSERT_TRUE(delegate->startHTTPServer(true));
    advance(1);
    alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->message(), "The Tandry connection URL has changed to:\n\nhttp://10.9.0.2:" + port());
    driver.pressAlertButton("OK");
    advance(1);

    // Every port taken: the error alert, and the application stays up with
    // its browser.
    delegate->startHTTPServer(false);
    defaults()->set("VKServerEnabled", core::Value(true));
    delegate->httpServer()->setPort(uint16_t(defaults()->integerForKey("VKPortNumber")));
    delegate->server().setFallbackPorts({ held.hold() });
    EXPECT_FALSE(delegate->startHTTPServer(true));
    advance(1);
    alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->message(), "Tandry encountered an error starting the WebDAV server");
    EXPECT_FALSE(delegate->httpServer()->isStarted());
    EXPECT_EQ(delegate->window()->rootViewController(), delegate->navigationController().get());
    driver.pressAlertButton("OK");
    advance(1);
}

TEST_F(VKAppDelegateLaunchTest, AfterTheBackgroundAGuestGetsThePublicFolderAndTheOwnerTheStackBack)
{
    launchAgain();
    const auto work = application->documentsDirectory() + "/A/B";
    core::fs::createDirectory(work, true);
    delegate->stack().pushViewControllersForPath(work, false);
    VKKeychain::sharedKeychain()->setPassword("1234", VKPasscodeLockService, VKPasscodeLockService);
    defaults()->set("VKLocalGuestAccess", core::Value(true));
    auto topPath = [&] {
        auto top = delegate->navigationController()->topViewController();
        auto* folder = dynamic_cast<VKFolderController*>(top);
        return folder && folder->resource() ? folder->resource()->path() : std::string();
    };
    auto passcodeEntry = [&] { return delegate->passcodeLock().controller()->passcodeController(); };

    // Away: the server stops, the stack is saved, the lock goes up.
    delegate->applicationWillResignActive();
    delegate->applicationDidEnterBackground();
    EXPECT_FALSE(delegate->httpServer()->isStarted());
    EXPECT_EQ(defaults()->stringForKey("VKStatePathKey"), "~/Library/Documents/A/B");
    ASSERT_TRUE(delegate->isRootPasscodeControllerActive());
    delegate->applicationDidBecomeActive();
    runLoop();
    EXPECT_FALSE(delegate->httpServer()->isStarted()) << "nothing resumes behind the lock";

    // A guest: one plain folder screen on the public folder, served alone.
    auto ownersStack = delegate->navigationController();
    advance(1);
    driver.tapBarItem(*passcodeEntry()->navigationItem().rightBarButtonItem());
    advance(1);
    EXPECT_TRUE(delegate->isGuestMode());
    EXPECT_TRUE(logContains("Updating to new document root: ~/Documents"));
    auto guestStack = delegate->navigationController();
    ASSERT_TRUE(guestStack);
    EXPECT_NE(guestStack, ownersStack);
    EXPECT_EQ(delegate->window()->rootViewController(), guestStack.get());
    ASSERT_EQ(guestStack->viewControllers().size(), 1u);
    EXPECT_FALSE(std::dynamic_pointer_cast<VKRootFolderController>(guestStack->viewControllers().front()));
    EXPECT_EQ(core::path::standardizingPath(topPath()), core::path::standardizingPath(application->publicDirectory()));
    // The server starts once the launch's count on its worker is over.
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return delegate->httpServer()->isStarted(); }, 20));
    EXPECT_FALSE(delegate->httpServer()->hasVirtualRoots());

    // Away again, and the owner's passcode: the root list with the saved
    // stack on it, the server on the home again.
    delegate->applicationWillResignActive();
    delegate->applicationDidEnterBackground();
    EXPECT_EQ(defaults()->stringForKey("VKStatePathKey"), "~/Library/Documents/A/B") << "a guest's stack is not saved";
    ASSERT_TRUE(delegate->isRootPasscodeControllerActive());
    delegate->applicationDidBecomeActive();
    advance(1);
    driver.type("1234");
    advance(1);
    EXPECT_FALSE(delegate->isGuestMode());
    EXPECT_TRUE(logContains("Updating to new document root: ~/Library/Documents"));
    auto stack = delegate->navigationController();
    EXPECT_EQ(delegate->window()->rootViewController(), stack.get());
    EXPECT_TRUE(std::dynamic_pointer_cast<VKRootFolderController>(stack->viewControllers().front()));
    EXPECT_EQ(topPath(), work);
    // The server starts once the launch's count on its worker is over.
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return delegate->httpServer()->isStarted(); }, 20));
    EXPECT_TRUE(delegate->httpServer()->hasVirtualRoots());
}

} // namespace

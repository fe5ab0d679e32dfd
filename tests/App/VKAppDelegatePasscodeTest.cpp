// The application delegate's passcode lock: the stored passcode, putting the
// lock up over an open alert (over the passcode page's own entry screen:
// tests/App/Settings), what a right passcode, a wrong one and the guest button lead to at launch
// and at wake, and the server's roots for a guest, checked with curl.

#include "App/VKAppDelegate.h"

#include "Shell/VKApplication.h"
#include "Shell/VKAudioPlayerRemoteControl.h"
#include "Shell/VKKeychain.h"
#include "Shell/VKNavigationController.h"
#include "Shell/VKPasscodeController.h"
#include "Shell/VKRootPasscodeController.h"
#include "Shell/VKWindow.h"
#include "HTTP/HTTPServer.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableViewController.h"
#include "Support/ChildProcess.h"
#include "Support/UITestCase.h"
#include "Shell/FakeAppDelegateHooks.h"
#include "WebDAV/WebDAVLockManager.h"

#include <fmt/format.h>

namespace {

class PasscodeBrowser : public ui::TableViewController {
public:
    PasscodeBrowser() { setTitle("Documents"); }
    bool shouldAutorotate(ui::Orientation) override { return true; }
    ui::Application::StatusBarStyle statusBarStyle() const override
    {
        return ui::Application::StatusBarStyle::BlackOpaque;
    }
};

class AlertRecorder : public ui::AlertViewDelegate {
public:
    void clickedButton(ui::AlertView& alert, int index) override
    {
        clicks.push_back(fmt::format("{} tag {}", index, alert.tag()));
    }
    std::vector<std::string> clicks;
};

class VKAppDelegatePasscodeTest : public test::UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override { return VKApplication::create(); }

    void SetUp() override
    {
        UITestCase::SetUp();
        auto defaults = core::UserDefaults::standard();
        delegate = VKAppDelegate::create();
        defaults->set("VKPortNumber", core::Value(int64_t(0)));
        VKAppDelegateHooks::setCurrent(delegate);
        appWindow = VKWindow::create({ 0, 0, 320, 480 });
        navigation = VKNavigationController::create(std::make_shared<PasscodeBrowser>());
        appWindow->setRootViewController(navigation);
        delegate->setWindow(appWindow);
        delegate->setNavigationController(navigation);
        runLoop();
        application = VKApplication::sharedApplication();
        core::fs::writeFileAtomically(application->publicDirectory() + "/Shared.txt", "for all");
        core::fs::writeFileAtomically(application->documentsDirectory() + "/Secret.txt", "for me");
    }
    void TearDown() override
    {
        delegate->applicationWillTerminate();
        delegate->setWindow(nullptr);
        delegate->setNavigationController(nullptr);
        appWindow->setRootViewController(nullptr);
        delegate.reset();
        navigation.reset();
        appWindow.reset();
        UITestCase::TearDown();
    }

    static void storePasscode(std::optional<std::string_view> passcode)
    {
        VKKeychain::sharedKeychain()->setPassword(passcode, VKPasscodeLockService, VKPasscodeLockService);
    }
    VKPasscodeController& entry() { return *delegate->passcodeLock().controller()->passcodeController(); }
    // Typed into the lock's entry screen; its delegate hears it 0.1 s later.
    void enter(std::string_view passcode)
    {
        driver.type(passcode);
        advance(VKPasscodeController::EnteredDelay);
    }
    ui::BarButtonItem* guestButton() { return entry().navigationItem().rightBarButtonItem().get(); }

    // GET through curl while the loop serves it: "<status>\n<body>".
    std::string get(std::string_view path)
    {
        auto url = fmt::format("http://127.0.0.1:{}{}", delegate->httpServer()->port(), path);
        test::ChildProcess client({ "curl", "-s", "-o", "-", "-w", "\n%{http_code}", url });
        EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return !client.isRunning(); }, 30)) << client.errors();
        client.wait(1);
        return client.output();
    }
    static std::string code(const std::string& answer) { return answer.substr(answer.rfind('\n') + 1); }

    std::shared_ptr<VKAppDelegate> delegate;
    std::shared_ptr<VKWindow> appWindow;
    std::shared_ptr<VKNavigationController> navigation;
    std::shared_ptr<VKApplication> application;
};

TEST_F(VKAppDelegatePasscodeTest, PuttingTheLockUp)
{
    auto recorder = std::make_shared<AlertRecorder>();
    auto alert = ui::AlertView::create("Quota Warning", "Disk quota limit exceeded.", recorder, "OK", {});
    alert->show();
    ASSERT_FALSE(appWindow->isKeyWindow());

    delegate->showPasscodeControllerWithGuestAccess(true, true);
    EXPECT_EQ(recorder->clicks, std::vector<std::string> { "0 tag 2147483647" });
    EXPECT_FALSE(alert->isVisible());
    EXPECT_TRUE(appWindow->isKeyWindow());
    EXPECT_TRUE(delegate->isRootPasscodeControllerActive());
    auto hooks = VKAppDelegateHooks::current();
    EXPECT_TRUE(hooks->isRootPasscodeControllerActive());
    EXPECT_EQ(hooks->rootPasscodeController(), delegate->passcodeLock().controller().get());
    EXPECT_EQ(appWindow->windowLevel(), ui::Window::LevelAlert + 1);
    EXPECT_TRUE(navigation->view()->isHidden());
    EXPECT_EQ(entry().delegate().get(), static_cast<VKPasscodeControllerDelegate*>(&delegate->passcodeLock()));
    ASSERT_TRUE(guestButton());
    EXPECT_EQ(guestButton()->title(), "Guest Access");
    EXPECT_EQ(guestButton()->style(), ui::BarButtonItem::Style::Done);
    advance(1);
    EXPECT_EQ(driver.firstResponder(), &entry().hiddenField());
    EXPECT_FALSE(driver.rotate(ui::Orientation::LandscapeRight)) << "the lock stands upright";

    // A second call leaves the lock and changes only the button.
    auto* lock = delegate->passcodeLock().controller().get();
    delegate->showPasscodeControllerWithGuestAccess(false, true);
    EXPECT_EQ(delegate->passcodeLock().controller().get(), lock);
    EXPECT_EQ(guestButton(), nullptr);
    delegate->showPasscodeControllerWithGuestAccess(true, false);
    EXPECT_TRUE(guestButton());
}

TEST_F(VKAppDelegatePasscodeTest, RightPasscodeAtLaunchRunsTheLaunchPass)
{
    storePasscode("1234");
    core::UserDefaults::standard()->set(VKFailedAttemptsKey, core::Value(int64_t(2)));
    delegate->showPasscodeControllerWithGuestAccess(false, true);
    advance(1);
    enter("4321");
    EXPECT_EQ(VKPasscodeController::failedAttempts(), 3);
    EXPECT_TRUE(delegate->isRootPasscodeControllerActive());
    EXPECT_FALSE(delegate->httpServer());
    advance(0.2);

    enter("1234");
    EXPECT_FALSE(delegate->isRootPasscodeControllerActive());
    EXPECT_FALSE(delegate->isGuestMode());
    EXPECT_EQ(VKPasscodeController::failedAttempts(), 0);
    EXPECT_TRUE(core::UserDefaults::standard()->object(VKDisabledUntilDateKey).isNull());
    ASSERT_TRUE(delegate->httpServer());
    EXPECT_TRUE(delegate->httpServer()->isStarted());
    EXPECT_TRUE(delegate->httpServer()->hasVirtualRoots());
    EXPECT_FALSE(delegate->isLaunching());
    advance(1);
    EXPECT_FALSE(navigation->view()->isHidden());
    EXPECT_EQ(appWindow->windowLevel(), ui::Window::LevelNormal);
    EXPECT_EQ(application->statusBarStyle(), ui::Application::StatusBarStyle::BlackOpaque);
    EXPECT_EQ(code(get("/Documents/Secret.txt")), "200");
}

TEST_F(VKAppDelegatePasscodeTest, GuestAtLaunchThenTheOwnerAtWake)
{
    storePasscode("1234");
    delegate->showPasscodeControllerWithGuestAccess(true, true);
    advance(1);
    driver.tapBarItem(*guestButton());
    EXPECT_TRUE(delegate->isGuestMode());
    EXPECT_TRUE(VKAppDelegateHooks::current()->isGuestMode());
    EXPECT_FALSE(delegate->isRootPasscodeControllerActive());
    ASSERT_TRUE(delegate->httpServer() && delegate->httpServer()->isStarted());
    EXPECT_FALSE(delegate->httpServer()->hasVirtualRoots());
    auto listing = get("/");
    EXPECT_EQ(code(listing), "200");
    EXPECT_NE(listing.find("Shared.txt"), std::string::npos);
    EXPECT_EQ(listing.find("Secret.txt"), std::string::npos);
    EXPECT_EQ(code(get("/Documents/")), "404");
    EXPECT_EQ(code(get("/Secret.txt")), "404");
    EXPECT_EQ(code(get("/Shared.txt")), "200");
    advance(1);

    // At the next wake the owner's passcode puts the server back on the
    // home with both folders.
    delegate->showPasscodeControllerWithGuestAccess(true, false);
    enter("1234");
    EXPECT_FALSE(delegate->isGuestMode());
    EXPECT_TRUE(logContains("Updating to new document root: ~/Library/Documents"));
    ASSERT_TRUE(delegate->httpServer()->isStarted());
    EXPECT_TRUE(delegate->httpServer()->hasVirtualRoots());
    EXPECT_EQ(code(get("/Documents/Secret.txt")), "200");
    EXPECT_EQ(code(get("/Public/Shared.txt")), "200");
}

TEST_F(VKAppDelegatePasscodeTest, TheGuestSwitchStopsTheAudioScreenThatPlays)
{
    storePasscode("1234");
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    auto player = std::make_shared<test::RecordingAudioPlayer>();
    VKAppDelegate::setMostRecentAudioPlayer(player);
    EXPECT_EQ(delegate->mostRecentAudioPlayer(), player);
    EXPECT_FALSE(delegate->isAudioPlayerPlaying());
    player->playing = true;
    EXPECT_TRUE(delegate->isAudioPlayerPlaying());
    delegate->showPasscodeControllerWithGuestAccess(true, false);
    driver.tapBarItem(*guestButton());
    EXPECT_TRUE(logContains("Updating to new document root: ~/Documents"));
    EXPECT_EQ(player->calls, std::vector<std::string> { "stop" });
    // Held weakly: a screen that went answers nothing.
    player.reset();
    EXPECT_FALSE(delegate->mostRecentAudioPlayer());
    EXPECT_FALSE(delegate->isAudioPlayerPlaying());
}

TEST_F(VKAppDelegatePasscodeTest, GuestAtWakeMovesTheServerToThePublicFolder)
{
    storePasscode("1234");
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    auto before = delegate->httpServer();
    ASSERT_TRUE(before->isStarted());
    delegate->showPasscodeControllerWithGuestAccess(true, false);
    driver.tapBarItem(*guestButton());
    EXPECT_TRUE(logContains("Updating to new document root: ~/Documents"));
    EXPECT_NE(delegate->httpServer(), before);
    EXPECT_FALSE(before->isStarted());
    ASSERT_TRUE(delegate->httpServer()->isStarted());
    EXPECT_EQ(code(get("/Documents/")), "404");
    EXPECT_EQ(code(get("/Shared.txt")), "200");

    // A guest again at the following wake: the server stays as it is.
    auto guestServer = delegate->httpServer();
    delegate->showPasscodeControllerWithGuestAccess(true, false);
    driver.tapBarItem(*guestButton());
    EXPECT_EQ(delegate->httpServer(), guestServer);
}

TEST_F(VKAppDelegatePasscodeTest, ComingBackTidiesAndRestartsTheServer)
{
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    auto server = delegate->httpServer();
    server->stopListeningAndDisconnectActiveConnections(true);
    auto lock = WebDAVLockManager::sharedManager()->acquireWriteLockForURI(*core::URL::parse("/Public/"),
        application->publicDirectory(), "exclusive", "me", "infinity", "Infinite");
    ASSERT_TRUE(lock);
    core::UserDefaults::standard()->set("VKInsomniaEnabled", core::Value(true));

    delegate->continueApplicationDidActivate();
    EXPECT_EQ(delegate->httpServer(), server) << "guest mode did not change";
    EXPECT_FALSE(logContains("Updating to new document root"));
    EXPECT_TRUE(server->isStarted());
    EXPECT_TRUE(WebDAVLockManager::sharedManager()->locksForURI(*core::URL::parse("/Public/")).empty());
    EXPECT_TRUE(application->isIdleTimerDisabled());

    // With the server off in the settings it stays stopped.
    core::UserDefaults::standard()->set("VKInsomniaEnabled", core::Value(false));
    delegate->startHTTPServer(false);
    delegate->continueApplicationDidActivate();
    EXPECT_FALSE(server->isStarted());
    EXPECT_FALSE(application->isIdleTimerDisabled());
}

TEST_F(VKAppDelegatePasscodeTest, TakingTheLockDownGivesTheStatusBarBack)
{
    delegate->showPasscodeControllerWithGuestAccess(false, false);
    EXPECT_EQ(application->statusBarStyle(), ui::Application::StatusBarStyle::Default);
    delegate->dismissPasscodeControllerAnimated(true);
    EXPECT_FALSE(delegate->isRootPasscodeControllerActive());
    EXPECT_EQ(application->statusBarStyle(), ui::Application::StatusBarStyle::BlackOpaque);
    EXPECT_EQ(application->statusBarOrientation(), navigation->topViewController()->interfaceOrientation());
    advance(1);
    EXPECT_FALSE(navigation->view()->isHidden());
    // Without a lock nothing happens.
    delegate->dismissPasscodeControllerAnimated(true);
    delegate->guestButtonClicked();
    EXPECT_FALSE(delegate->isGuestMode());
}

} // namespace

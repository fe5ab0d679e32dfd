// The whole application as a person sees it after launch: the start-up
// alert over the root list, the server information (all lines, and
// stopped), the port-changed alert, the quota warning, the recount's
// indicator over the list, a guest's root and the settings as a form sheet;
// rendered with real text at phone and tablet size in both orientations
// into build/screens/app/, checked for alerts inside the screen and the
// indicator in its middle, and guarded by three goldens.

#include "App/VKAppDelegate.h"
#include "App/VKAppDiskQuota.h"

#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKModalActivityIndicator.h"
#include "Shell/VKApplication.h"
#include "Shell/VKKeychain.h"
#include "Shell/VKNavigationController.h"
#include "Shell/VKWindow.h"
#include "FileModel/VKQuotaManager.h"
#include "HTTP/HTTPServer.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/Net/InterfaceAddresses.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Renderer.h"
#include "Support/FakePublisher.h"
#include "Support/FakeReachability.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "Support/UITestCase.h"

#include <fmt/format.h>

#include <atomic>
#include <unistd.h>

namespace {

struct Shot {
    const test::DeviceScreen* device;
    ui::Orientation orientation;
    std::string suffix() const
    {
        return fmt::format("{}-{}", device->name,
            orientation == ui::Orientation::Portrait ? "portrait" : "landscape");
    }
};

class AppScreensTest : public test::UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override { return VKApplication::create(); }

    void SetUp() override
    {
        UITestCase::SetUp();
        test::FakeReachability::install();
        test::setFixedInterfaceAddresses(std::vector<net::InterfaceAddress> {
            { "wlan0", net::InterfaceAddress::Family::IPv4, "10.9.0.2" } });
        publisher = std::make_shared<test::FakePublisher>("Tandry-Test");
        NetServicePublisher::setShared(publisher);
        // The disk's free space shows in the server information: fixed, so
        // that the pictures do not follow the machine.
        VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(5ull << 30); });
        auto application = VKApplication::sharedApplication();
        for (const char* name : { "Notes.txt", "Report.pdf", "Travel.jpg" })
            core::fs::writeFileAtomically(application->documentsDirectory() + "/" + name, "x");
    }
    void TearDown() override
    {
        end();
        NetServicePublisher::setShared(nullptr);
        VKAppDiskQuota::setWorkerHoldForTesting(nullptr);
        VKQuotaManager::setFreeSpaceFunctionForTesting(nullptr);
        UITestCase::TearDown();
    }

    // A fresh run on the device, turned as asked.
    void launch(const Shot& shot, bool turn = true)
    {
        end();
        test::useDeviceScreen(window(), *shot.device);
        auto defaults = core::UserDefaults::standard();
        defaults->set("VKPortNumber", core::Value(int64_t(0)));
        defaults->set("DeviceName", core::Value("Test Device"));
        delegate = VKAppDelegate::create();
        test::FakeReachability::made().back()->fire(0x2);
        delegate->applicationDidFinishLaunchingWithOptions(core::Value::makeDictionary());
        // Turned before the start-up alert comes up on the next pass.
        if (turn && shot.orientation != ui::Orientation::Portrait) {
            EXPECT_TRUE(driver.rotate(shot.orientation));
        }
        advance(1);
        // The start-up recount runs on a worker in real time, and the server
        // shows as paused while it does: the pictures show it once it ended.
        auto quota = VKQuotaManager::defaultManager();
        EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return !quota->rebuildingIndex(); }, 30));
        advance(1);
    }
    void end()
    {
        if (!delegate)
            return;
        for (int i = 0; i < 4; ++i) {
            auto alert = ui::AlertView::alertWindowForTesting();
            if (!alert)
                break;
            driver.pressAlertButton(driver.alert()->cancelButtonIndex());
            advance(1);
        }
        if (ui::Application::shared()->statusBarOrientation() != ui::Orientation::Portrait) {
            driver.rotate(ui::Orientation::Portrait);
            advance(1);
        }
        delegate->applicationWillTerminate();
        if (auto window = delegate->window()) {
            window->setRootViewController(nullptr);
            window->setHidden(true);
        }
        delegate->setNavigationController(nullptr);
        delegate->setWindow(nullptr);
        delegate.reset();
        runLoop();
    }
    // The shown alert lies whole inside the screen.
    void expectAlertInside()
    {
        auto alert = driver.alert();
        ASSERT_TRUE(alert);
        auto frame = alert->convertRect(alert->bounds(), nullptr);
        const auto screen = gfx::Screen::main().bounds();
        EXPECT_GE(frame.minX(), screen.minX());
        EXPECT_GE(frame.minY(), screen.minY());
        EXPECT_LE(frame.maxX(), screen.maxX() + 0.5f);
        EXPECT_LE(frame.maxY(), screen.maxY() + 0.5f);
    }
    void shoot(const std::string& name)
    {
        test::saveScreen(driver, sourcePath("build/screens/app"), name, gfx::Screen::main().scale());
    }
    ::testing::AssertionResult golden(const std::string& name)
    {
        auto picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
        if (!picture)
            return ::testing::AssertionFailure() << "nothing rendered";
        return test::matchesGolden(*picture, sourcePath(""), name);
    }
    static std::vector<Shot> shots()
    {
        std::vector<Shot> all;
        for (const auto* device : { &test::phoneScreen, &test::tabletScreen })
            for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft })
                all.push_back({ device, orientation });
        return all;
    }
    void holdRecount()
    {
        release = false;
        VKAppDiskQuota::setWorkerHoldForTesting([this] {
            while (!release)
                usleep(1000);
        });
    }
    void endRecount()
    {
        release = true;
        auto quota = VKQuotaManager::defaultManager();
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !quota->rebuildingIndex(); }, 30));
        advance(1);
    }

    std::shared_ptr<test::FakePublisher> publisher;
    std::shared_ptr<VKAppDelegate> delegate;
    std::atomic<bool> release = false;
};

TEST_F(AppScreensTest, Goldens)
{
    launch({ &test::tabletScreen, ui::Orientation::Portrait });
    ASSERT_EQ(driver.alert()->tag(), vkTag(VKAppDelegate::Alert::Startup));
    EXPECT_TRUE(golden("app-startup-alert-tablet-portrait"));

    launch({ &test::phoneScreen, ui::Orientation::Portrait });
    driver.pressAlertButton("OK");
    advance(1);
    delegate->showServerInfo(nullptr);
    advance(1);
    EXPECT_TRUE(golden("app-server-info-phone-portrait"));

    launch({ &test::tabletScreen, ui::Orientation::LandscapeLeft });
    driver.pressAlertButton("OK");
    advance(1);
    holdRecount();
    delegate->rebuildDiskQuota();
    advance(0.5);
    ASSERT_TRUE(delegate->diskQuota().indicator());
    EXPECT_TRUE(golden("app-recount-tablet-landscape"));
    endRecount();
}

TEST_F(AppScreensTest, EveryScreenAtEverySize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    auto defaults = core::UserDefaults::standard();
    for (const auto& shot : shots()) {
        SCOPED_TRACE(shot.suffix());
        launch(shot);
        expectAlertInside();
        shoot("startup-alert-" + shot.suffix());
        driver.pressAlertButton("OK");
        advance(1);

        defaults->set("VKLoginUsername", core::Value("me"));
        VKKeychain::sharedKeychain()->setPassword("secret", VKLoginPasswordService, VKLoginPasswordService);
        defaults->set("VKRemoteGuestAccess", core::Value(true));
        defaults->set("VKQuotaEnabled", core::Value(true));
        delegate->showServerInfo(nullptr);
        advance(1);
        expectAlertInside();
        shoot("server-info-" + shot.suffix());
        driver.pressAlertButton("Stop Server");
        advance(1);
        delegate->showServerInfo(nullptr);
        advance(1);
        expectAlertInside();
        shoot("server-info-stopped-" + shot.suffix());
        driver.pressAlertButton("Start Server");
        advance(1);

        delegate->showServerPortChangedAlert();
        advance(1);
        expectAlertInside();
        shoot("port-changed-" + shot.suffix());
        driver.pressAlertButton("OK");
        advance(1);

        delegate->diskQuota().showWarning();
        advance(1);
        expectAlertInside();
        shoot("quota-warning-" + shot.suffix());
        driver.pressAlertButton("OK");
        advance(1);

        holdRecount();
        delegate->rebuildDiskQuota();
        advance(0.5);
        auto indicator = delegate->diskQuota().indicator();
        ASSERT_TRUE(indicator);
        // The indicator's bevel sits in the middle of the screen (a little
        // lower, below the status bar).
        const auto screen = gfx::Screen::main().bounds();
        const auto centre = indicator->convertRect(indicator->bounds(), nullptr);
        EXPECT_NEAR(centre.midX(), screen.midX(), 21.0f);
        EXPECT_NEAR(centre.midY(), screen.midY(), 21.0f);
        shoot("recount-" + shot.suffix());
        endRecount();

        delegate->showSettings(nullptr);
        advance(1);
        shoot("settings-" + shot.suffix());

        // A guest's root: the public folder alone.
        end();
        VKKeychain::sharedKeychain()->setPassword("1234", VKPasscodeLockService, VKPasscodeLockService);
        defaults->set("VKLocalGuestAccess", core::Value(true));
        defaults->set("VKDisplayServerURLAtStartup", core::Value(false));
        // The lock stays upright: the guest's screen turns once it is gone.
        launch(shot, false);
        delegate->guestButtonClicked();
        advance(1);
        if (shot.orientation != ui::Orientation::Portrait) {
            EXPECT_TRUE(driver.rotate(shot.orientation));
            advance(1);
        }
        EXPECT_TRUE(delegate->isGuestMode());
        shoot("guest-root-" + shot.suffix());
        VKKeychain::sharedKeychain()->setPassword(std::nullopt, VKPasscodeLockService, VKPasscodeLockService);
        defaults->set("VKDisplayServerURLAtStartup", core::Value(true));
        defaults->remove("VKLoginUsername");
    }
}

} // namespace

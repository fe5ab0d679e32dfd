// The passcode screens as a person sees them: the entry screen empty, with
// two digits, after a failure, counting down, after a mismatch and half-way
// through its slide, and the lock with its guest button over a browser
// window. Rendered with real text at phone and tablet size, portrait and
// landscape, into build/screens/passcode/; two goldens (two digits, phone,
// both orientations) guard the layout. Each picture is also checked for
// what a glance would catch: the boxes in one evenly spaced row centred
// across the screen, everything above the keyboard, the labels within the
// screen, and bar buttons a finger can hit.

#include "Shell/VKPasscodeController.h"
#include "Shell/VKRootPasscodeController.h"
#include "Shell/VKWindow.h"

#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/TableViewController.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "Support/UITestCase.h"

#include <fmt/format.h>

namespace {

// What the lock covers: a folder of documents that turns with the device.
class Browser : public ui::TableViewController {
public:
    Browser() { setTitle("Documents"); }
    bool shouldAutorotate(ui::Orientation) override { return true; }
    int numberOfRows(ui::TableView&, int) override { return 6; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, ui::IndexPath path) override
    {
        auto cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, {});
        cell->textLabel().setText(fmt::format("Report {}.pdf", path.row + 1));
        return cell;
    }
};

class PasscodeScreensTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        close();
        UITestCase::TearDown();
    }
    void close()
    {
        window().setRootViewController(nullptr);
        if (appWindow)
            appWindow->setRootViewController(nullptr);
        lock.reset();
        appWindow.reset();
        navigation.reset();
        entry.reset();
        application().setStatusBarOrientation(ui::Orientation::Portrait, false);
        runLoop();
    }

    // The entry screen in its navigation controller, the interface turned
    // to `orientation` first (the screen itself never turns).
    void showEntry(ui::Orientation orientation)
    {
        close();
        application().setStatusBarOrientation(orientation, false);
        entry = VKPasscodeController::passcodeControllerForInterfaceOrientation(orientation);
        entry->setTitle("Set Passcode");
        entry->setInfoText("Enter a passcode");
        navigation = ui::NavigationController::create(entry);
        entry->navigationItem().setRightBarButtonItem(ui::BarButtonItem::create("Cancel", ui::BarButtonItem::Style::Plain));
        window().setRootViewController(navigation);
        runLoop();
    }

    void showLock(ui::Orientation browserOrientation)
    {
        close();
        appWindow = VKWindow::create(window().frame());
        appWindow->setRootViewController(std::make_shared<Browser>());
        appWindow->makeKeyAndVisible();
        application().setStatusBarOrientation(browserOrientation, false);
        runLoop();
        lock = VKRootPasscodeController::create();
        lock->passcodeController()->navigationItem().setRightBarButtonItem(
            ui::BarButtonItem::create("Guest Access", ui::BarButtonItem::Style::Done));
        lock->presentInWindow(appWindow, true);
        advance(1);
    }

    // What a glance at the entry screen would catch.
    void checkEntry(const std::string& name)
    {
        SCOPED_TRACE(name);
        runLoop();
        auto& root = *entry->view();
        auto& interface = *navigation->view();
        bool tablet = ui::Screen::userInterfaceIdiom() == core::Device::Idiom::Tablet;
        bool landscape = ui::isLandscape(application().statusBarOrientation());
        // In the interface's own coordinates (the navigation controller's
        // view is turned with it and stands below the status bar).
        float keyboardTop = interface.bounds().height() - ui::Keyboard::height(tablet, landscape);
        auto inInterface = [&](const ui::View& view) { return view.convertRect(view.bounds(), &interface); };
        float width = root.bounds().width();
        auto first = inInterface(entry->digitViewForTesting(0));
        auto last = inInterface(entry->digitViewForTesting(3));
        EXPECT_NEAR(first.minX(), width - last.maxX(), 1) << "the boxes are centred";
        float gap = inInterface(entry->digitViewForTesting(1)).minX() - first.maxX();
        EXPECT_GT(gap, 4);
        for (int index = 1; index < 4; ++index) {
            auto frame = inInterface(entry->digitViewForTesting(index));
            EXPECT_FLOAT_EQ(frame.minX() - inInterface(entry->digitViewForTesting(index - 1)).maxX(), gap);
            EXPECT_EQ(frame.minY(), first.minY());
        }
        for (const ui::View* view : { static_cast<ui::View*>(&entry->infoLabel()), static_cast<ui::View*>(&entry->digitViewForTesting(0)),
                 static_cast<ui::View*>(&entry->failureLabel()) }) {
            auto frame = inInterface(*view);
            EXPECT_LE(frame.maxY(), keyboardTop) << ui::testing::Driver::dumpLine(*view);
            EXPECT_GE(frame.minY(), ui::NavigationBar::LandscapeHeight) << ui::testing::Driver::dumpLine(*view);
            EXPECT_GE(frame.minX(), 0);
            EXPECT_LE(frame.maxX(), width);
        }
        auto& info = entry->infoLabel();
        EXPECT_LE(info.sizeThatFits({ 10000, info.bounds().height() }).width, info.bounds().width()) << info.text();
        if (auto item = entry->navigationItem().rightBarButtonItem(); item && item->view()) {
            EXPECT_GE(item->view()->bounds().width(), 44);
        }
    }

    void shootEntries(const test::DeviceScreen& device)
    {
        gfx::setTextEngine(gfx::makePangoTextEngine());
        test::useDeviceScreen(window(), device);
        const std::string folder = sourcePath("build/screens/passcode");
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeRight }) {
            std::string side = orientation == ui::Orientation::Portrait ? "portrait" : "landscape";
            auto shoot = [&](const std::string& what) {
                checkEntry(what + "-" + side);
                test::saveScreen(driver, folder, fmt::format("entry-{}-{}-{}", what, side, device.name), device.scale);
            };
            core::UserDefaults::standard()->remove(VKFailedAttemptsKey);
            core::UserDefaults::standard()->remove(VKDisabledUntilDateKey);
            showEntry(orientation);
            shoot("empty");
            driver.type("12");
            shoot("two-digits");
            driver.type("34");
            entry->registerFailedAttempt();
            shoot("one-failure");
            advance(0.2);
            core::UserDefaults::standard()->set(VKFailedAttemptsKey, core::Value(int64_t(5)));
            driver.type("5555");
            entry->registerFailedAttempt();
            advance(0.2);
            shoot("countdown");
            entry->registerSuccess();
            driver.type("1234");
            entry->animateToInfoText("Re-enter your passcode");
            advance(0.25);
            test::saveScreen(driver, folder, fmt::format("entry-slide-{}-{}", side, device.name), device.scale);
            advance(0.25);
            driver.type("5678");
            entry->registerFailedConfirmation();
            advance(VKPasscodeController::ClearDelay);
            shoot("mismatch");
        }
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeRight }) {
            std::string side = orientation == ui::Orientation::Portrait ? "portrait" : "landscape";
            showLock(orientation);
            EXPECT_EQ(application().statusBarOrientation(), ui::Orientation::Portrait) << "the lock stands upright";
            auto guest = lock->passcodeController()->navigationItem().rightBarButtonItem();
            ASSERT_TRUE(guest->view());
            EXPECT_GE(guest->view()->bounds().width(), 44);
            test::saveScreen(driver, folder, fmt::format("lock-guest-from-{}-{}", side, device.name), device.scale);
        }
    }

    std::shared_ptr<VKPasscodeController> entry;
    std::shared_ptr<ui::NavigationController> navigation;
    std::shared_ptr<VKWindow> appWindow;
    std::shared_ptr<VKRootPasscodeController> lock;
};

TEST_F(PasscodeScreensTest, GoldenTwoDigitsAtPhoneSize)
{
    test::useDeviceScreen(window(), test::phoneScreen);
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeRight }) {
        showEntry(orientation);
        driver.type("12");
        runLoop();
        auto picture = ui::Renderer::renderScreenImage();
        ASSERT_TRUE(picture);
        EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""),
            orientation == ui::Orientation::Portrait ? "passcode-two-digits-phone-portrait"
                                                     : "passcode-two-digits-phone-landscape"));
    }
}

TEST_F(PasscodeScreensTest, ScreensWithRealTextAtPhoneSize)
{
    shootEntries(test::phoneScreen);
}

TEST_F(PasscodeScreensTest, ScreensWithRealTextAtTabletSize)
{
    shootEntries(test::tabletScreen);
}

} // namespace

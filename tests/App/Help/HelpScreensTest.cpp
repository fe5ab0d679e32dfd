// The help's screens as a person sees them: the topics, the Connecting and
// Features tables (a form sheet on the tablet) and the Quick Start page in
// the real engine, at phone and tablet size in both orientations, rendered
// with real text into build/screens/viewers/. The root table at phone size
// is compared with a golden drawn with the deterministic text engine.

#include "HelpWebKitTestCase.h"

#include "App/Help/VKHelpViewController.h"
#include "Shell/VKNavigationController.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Renderer.h"
#include "Platform/Web/WebDocumentView.h"
#include "Platform/Web/WebSnapshot.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <fmt/format.h>

namespace {

// The browser behind the help, turning with the device.
class Browser : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
    void loadView() override
    {
        ui::ViewController::loadView();
        view()->setBackgroundColor(gfx::Color::white(1));
    }
};

class HelpScreensTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        browser.reset();
        UITestCase::TearDown();
    }

    std::shared_ptr<ui::NavigationController> showHelp(const test::DeviceScreen& device, ui::Orientation orientation)
    {
        test::useDeviceScreen(window(), device);
        window().setRootViewController(nullptr);
        auto root = std::make_shared<Browser>();
        root->setTitle("Documents");
        browser = VKNavigationController::create(root);
        window().setRootViewController(browser);
        runLoop();
        if (orientation != ui::Orientation::Portrait) {
            EXPECT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        help = VKHelpController::create();
        auto navigation = test::presentHelp(*browser, help);
        advance(1);
        return navigation;
    }
    void shoot(const std::string& name)
    {
        test::saveScreen(driver, sourcePath("build/screens/viewers"), name, gfx::Screen::main().scale());
    }

    std::shared_ptr<VKNavigationController> browser;
    std::shared_ptr<VKHelpController> help;
};

TEST_F(HelpScreensTest, GoldenRootAtPhoneSize)
{
    showHelp(test::phoneScreen, ui::Orientation::Portrait);
    auto picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "help-root-phone-portrait"));
}

TEST_F(HelpScreensTest, TablesAtPhoneAndTabletSizeInBothOrientations)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeRight }) {
            std::string suffix = fmt::format("{}-{}",
                orientation == ui::Orientation::Portrait ? "portrait" : "landscape", device->name);
            auto navigation = showHelp(*device, orientation);
            shoot("help-root-" + suffix);
            driver.tapRow(help->tableView(), { 1, 0 });
            advance(1);
            shoot("help-connecting-" + suffix);
            driver.tapBack();
            advance(1);
            driver.tapRow(help->tableView(), { 1, 2 });
            advance(1);
            shoot("help-features-" + suffix);
            browser->dismissModalViewController(false);
            runLoop();
            if (orientation != ui::Orientation::Portrait) {
                EXPECT_TRUE(driver.rotate(ui::Orientation::Portrait));
                advance(1);
            }
        }
    }
}

class HelpPageScreensTest : public test::HelpWebKitTestCase { };

TEST_F(HelpPageScreensTest, TheQuickStartPageInTheRealEngine)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    view->removeFromSuperview();
    for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeRight }) {
            std::string suffix = fmt::format("{}-{}",
                orientation == ui::Orientation::Portrait ? "portrait" : "landscape", device->name);
            SCOPED_TRACE(suffix);
            test::useDeviceScreen(window(), *device);
            auto root = std::make_shared<Browser>();
            window().setRootViewController(VKNavigationController::create(root));
            runLoop();
            if (orientation != ui::Orientation::Portrait) {
                ASSERT_TRUE(driver.rotate(orientation));
                advance(1);
            }
            auto help = VKHelpController::create();
            auto navigation = test::presentHelp(*root, help);
            advance(1);
            driver.tapRow(help->tableView(), { 0, 0 });
            advance(1);
            auto* page = dynamic_cast<VKHelpViewController*>(navigation->topViewController());
            ASSERT_TRUE(page);
            web::WebView& shown = *page->webView();
            ASSERT_TRUE(waitFor([&] {
                advance(0.05);
                return !shown.isHidden();
            }));
            // A picture of the page as it stands now, addresses filled in.
            ASSERT_TRUE(waitFor([&] { return evaluateIn(shown, "document.body.innerText").find("(No WiFi Connection)") != std::string::npos; }));
            bool taken = false;
            shown.updateSnapshot([&] { taken = true; });
            ASSERT_TRUE(waitFor([&] { return taken; }));
            runLoop();
            test::saveScreen(driver, sourcePath("build/screens/viewers"), "help-quickstart-" + suffix,
                gfx::Screen::main().scale());
            root->dismissModalViewController(false);
            runLoop();
            if (orientation != ui::Orientation::Portrait) {
                EXPECT_TRUE(driver.rotate(ui::Orientation::Portrait));
                advance(1);
            }
            window().setRootViewController(nullptr);
            runLoop();
        }
    }
}

} // namespace

// The shell's screens as a person sees them: the browser's navigation stack
// with and without a prompt, a picture viewer whose black translucent bars
// slide away, and the detail controller turned four ways. Rendered with real
// text at phone and tablet size into build/screens/shell/, and compared
// with three goldens drawn with the deterministic text engine.

#include "Shell/VKFullScreenDetailViewController.h"
#include "Shell/VKFullScreenViewController.h"
#include "Shell/VKNavigationController.h"

#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/BarButtonItem.h"
#include "Support/UIScreens.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Toolbar.h"
#include "Support/GoldenImage.h"
#include "Support/UITestCase.h"

#include <cmath>
#include <fmt/format.h>

namespace {

// An evening over hills, 600 × 400 points: something for a viewer to show.
std::shared_ptr<gfx::Image> picture()
{
    auto c = gfx::makeImageContext({ 600, 400 }, 1);
    for (int band = 0; band < 40; ++band) {
        float t = float(band) / 39;
        c->setFillColor(0.15f + 0.8f * t, 0.2f + 0.45f * t, 0.45f - 0.1f * t, 1);
        c->fillRect({ 0, float(band) * 7, 600, 8 });
    }
    c->setFillColor(1, 0.85f, 0.45f, 1);
    c->fillEllipseInRect({ 380, 170, 90, 90 });
    c->setFillColor(0.12f, 0.22f, 0.14f, 1);
    c->beginPath();
    c->moveToPoint(0, 400);
    c->addLineToPoint(0, 270);
    // Two cubic curves through the hilltops, as short lines.
    const float hills[2][8] = { { 0, 270, 150, 200, 260, 320, 380, 260 }, { 380, 260, 470, 215, 540, 240, 600, 250 } };
    for (const auto& p : hills) {
        for (int step = 1; step <= 64; ++step) {
            float t = float(step) / 64, u = 1 - t;
            float a = u * u * u, b = 3 * u * u * t, d = 3 * u * t * t, e = t * t * t;
            c->addLineToPoint(a * p[0] + b * p[2] + d * p[4] + e * p[6], a * p[1] + b * p[3] + d * p[5] + e * p[7]);
        }
    }
    c->addLineToPoint(600, 400);
    c->closePath();
    c->fillPath();
    return c->makeImage();
}

// A list of names, as a folder screen would show them.
class Listing : public ui::TableViewController {
public:
    Listing(std::string title, std::vector<std::string> names) : names(std::move(names)) { setTitle(std::move(title)); }
    bool shouldAutorotate(ui::Orientation) override { return true; }
    void viewDidLoad() override { tableView().setBackgroundColor(gfx::Color::white(1)); }
    int numberOfRows(ui::TableView&, int) override { return int(names.size()); }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override
    {
        auto cell = table.dequeueReusableCell("Name");
        if (!cell)
            cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, "Name");
        cell->textLabel().setText(names.at(size_t(path.row)));
        cell->setAccessoryType(ui::TableViewCell::Accessory::DisclosureIndicator);
        return cell;
    }
    std::vector<std::string> names;
};

// A viewer of one picture with black translucent bars.
class PictureViewer : public VKFullScreenViewController {
public:
    PictureViewer() { setTitle("Evening.jpg"); }
    bool shouldAutorotate(ui::Orientation) override { return true; }
    ui::Application::StatusBarStyle statusBarStyle() const override
    {
        return ui::Application::StatusBarStyle::BlackTranslucent;
    }
    void loadView() override
    {
        auto image = ui::ImageView::create(picture());
        image->setFrame(ui::Application::shared()->applicationFrame());
        image->setContentMode(ui::View::ContentMode::ScaleAspectFit);
        image->setBackgroundColor(gfx::Color::white(0));
        image->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        image->setUserInteractionEnabled(true);
        setView(image);
    }
    void viewWillAppear(bool animated) override
    {
        VKFullScreenViewController::viewWillAppear(animated);
        if (auto* navigation = navigationController()) {
            navigation->navigationBar().setBarStyle(ui::NavigationBar::Style::BlackTranslucent);
            navigation->toolbar().setBarStyle(ui::NavigationBar::Style::BlackTranslucent);
        }
    }
};

std::vector<std::shared_ptr<ui::BarButtonItem>> threeItems()
{
    auto space = [] { return ui::BarButtonItem::space(); };
    return { ui::BarButtonItem::create("Email"), space(), ui::BarButtonItem::create("Print"), space(),
        ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Done) };
}

class ShellScreensTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        detail.reset();
        navigation.reset();
        UITestCase::TearDown();
    }

    void useScreen(gfx::Size size, bool tablet)
    {
        if (tablet)
            core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
        gfx::Screen::main().setBounds({ 0, 0, size.width, size.height });
        window().setFrame({ 0, 0, size.width, size.height });
        window().setBackgroundColor(gfx::Color::white(0));
    }

    // Documents → a folder with a long name, "Done" on the right.
    void showFolders(bool prompt)
    {
        auto documents = std::make_shared<Listing>("Documents", std::vector<std::string> { "Inbox", "Reports", "Travel" });
        auto folder = std::make_shared<Listing>("Quarterly Reports of the Northern Region",
            std::vector<std::string> { "January", "February", "March", "Summary" });
        folder->navigationItem().setRightBarButtonItem(ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Done));
        if (prompt)
            folder->navigationItem().setPrompt("Choose a destination folder");
        navigation = VKNavigationController::create(documents);
        navigation->pushViewController(folder, false);
        window().setRootViewController(navigation);
        runLoop();
    }

    void showViewer()
    {
        auto documents = std::make_shared<Listing>("Documents", std::vector<std::string> { "Evening.jpg" });
        viewer = std::make_shared<PictureViewer>();
        viewer->setToolbarItems(threeItems());
        navigation = VKNavigationController::create(documents);
        navigation->setToolbarHidden(false);
        navigation->pushViewController(viewer, false);
        window().setRootViewController(navigation);
        runLoop();
    }

    void showDetail()
    {
        detail = VKFullScreenDetailViewController::initWithWindow(ui::testing::Environment::keyWindow());
        detail->setToolbarItems(threeItems());
        detail->setContentViewController(std::make_shared<PictureViewer>());
        application().setStatusBarStyle(ui::Application::StatusBarStyle::BlackTranslucent);
        runLoop();
    }

    void shoot(const std::string& name, float scale) { test::saveScreen(driver, sourcePath("build/screens/shell"), name, scale); }

    void turn(ui::Orientation orientation)
    {
        ASSERT_TRUE(driver.rotate(orientation));
        advance(1);
    }

    // Every screen at one size, portrait and landscape.
    void shootAll(const std::string& device, float scale)
    {
        for (bool prompt : { false, true }) {
            showFolders(prompt);
            std::string name = prompt ? "folders-prompt" : "folders";
            shoot(fmt::format("{}-portrait-{}", name, device), scale);
            turn(ui::Orientation::LandscapeRight);
            shoot(fmt::format("{}-landscape-{}", name, device), scale);
            turn(ui::Orientation::Portrait);
        }

        showViewer();
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            std::string side = orientation == ui::Orientation::Portrait ? "portrait" : "landscape";
            if (orientation != ui::Orientation::Portrait)
                turn(orientation);
            shoot(fmt::format("viewer-shown-{}-{}", side, device), scale);
            driver.tap(*viewer->view());
            advance(0.3);
            advance(0.1);
            shoot(fmt::format("viewer-hiding-{}-{}", side, device), scale);
            advance(1);
            shoot(fmt::format("viewer-hidden-{}-{}", side, device), scale);
            driver.tap(*viewer->view());
            advance(0.5);
        }
        turn(ui::Orientation::Portrait);
        window().setRootViewController(nullptr);
        navigation.reset();
        viewer.reset();

        showDetail();
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeRight,
                 ui::Orientation::PortraitUpsideDown, ui::Orientation::LandscapeLeft }) {
            application().setStatusBarOrientation(orientation, false);
            runLoop();
            shoot(fmt::format("detail-{}-{}", int(orientation), device), scale);
        }
        application().setStatusBarOrientation(ui::Orientation::Portrait, false);
    }

    std::shared_ptr<VKNavigationController> navigation;
    std::shared_ptr<PictureViewer> viewer;
    std::shared_ptr<VKFullScreenDetailViewController> detail;
};

TEST_F(ShellScreensTest, GoldenPhoneScreens)
{
    useScreen({ 320, 480 }, false);
    showFolders(true);
    auto prompted = ui::Renderer::renderScreenImage();
    ASSERT_TRUE(prompted);
    EXPECT_TRUE(test::matchesGolden(*prompted, sourcePath(""), "shell-prompt-phone-portrait"));
    turn(ui::Orientation::LandscapeRight);
    auto turned = ui::Renderer::renderScreenImage();
    ASSERT_TRUE(turned);
    EXPECT_TRUE(test::matchesGolden(*turned, sourcePath(""), "shell-prompt-phone-landscape"));
    turn(ui::Orientation::Portrait);

    showViewer();
    driver.tap(*viewer->view());
    advance(2);
    ASSERT_TRUE(viewer->isUIHidden());
    auto hidden = ui::Renderer::renderScreenImage();
    ASSERT_TRUE(hidden);
    EXPECT_TRUE(test::matchesGolden(*hidden, sourcePath(""), "shell-viewer-hidden-phone"));
}

TEST_F(ShellScreensTest, ScreensWithRealTextAtPhoneSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    useScreen({ 320, 480 }, false);
    shootAll("phone", 2);
}

TEST_F(ShellScreensTest, ScreensWithRealTextAtTabletSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    useScreen({ 768, 1024 }, true);
    shootAll("tablet", 1);
}

} // namespace

// The browser's navigation controller and its bar: heights by the status
// bar's orientation, the title's font, the layout under a prompt and the
// status-bar style of the top controller.

#include "Shell/VKNavigationBar.h"
#include "Shell/VKNavigationController.h"

#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/BarItemButton.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Support/UITestCase.h"

#include <cmath>

namespace {

class Screenful : public ui::ViewController {
public:
    Screenful(std::string title, ui::Application::StatusBarStyle style = ui::Application::StatusBarStyle::Default)
        : style(style)
    {
        setTitle(std::move(title));
    }
    bool shouldAutorotate(ui::Orientation) override { return true; }
    ui::Application::StatusBarStyle statusBarStyle() const override { return style; }
    ui::Application::StatusBarStyle style;
};

class VKNavigationControllerTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        navigation.reset();
        UITestCase::TearDown();
    }
    void show(std::vector<std::shared_ptr<ui::ViewController>> stack)
    {
        navigation = VKNavigationController::create();
        navigation->setViewControllers(std::move(stack));
        window().setRootViewController(navigation);
        runLoop();
    }
    VKNavigationBar& bar() { return dynamic_cast<VKNavigationBar&>(navigation->navigationBar()); }
    ui::Label& titleLabel() { return dynamic_cast<ui::Label&>(*bar().titleView()); }
    void turn(ui::Orientation orientation)
    {
        application().setStatusBarOrientation(orientation, false);
        runLoop();
    }
    // Where the title stands beside the side views in the prompt layout.
    static float expectedTitleX(float barWidth, float titleWidth, float leftLimit, float rightLimit)
    {
        float x = (barWidth - titleWidth) * 0.5f;
        if (x + titleWidth > rightLimit)
            x = rightLimit - titleWidth;
        return std::floor(std::max(x, leftLimit + 8));
    }

    std::shared_ptr<VKNavigationController> navigation;
};

TEST_F(VKNavigationControllerTest, BarHeightsFollowTheStatusBarOrientation)
{
    auto root = std::make_shared<Screenful>("Documents");
    show({ root });
    EXPECT_EQ(root->interfaceOrientation(), ui::Orientation::Portrait);
    struct Case {
        ui::Orientation orientation;
        gfx::Size plain, prompted;
    };
    for (auto [orientation, plain, prompted] : { Case { ui::Orientation::Portrait, { 320, 44 }, { 320, 64 } },
             Case { ui::Orientation::PortraitUpsideDown, { 320, 44 }, { 320, 64 } },
             Case { ui::Orientation::LandscapeRight, { 480, 32 }, { 480, 50 } },
             Case { ui::Orientation::LandscapeLeft, { 480, 32 }, { 480, 50 } } }) {
        turn(orientation);
        root->navigationItem().setPrompt("");
        EXPECT_EQ(bar().sizeThatFits({ 1, 1 }), plain) << int(orientation);
        root->navigationItem().setPrompt("Choose");
        EXPECT_EQ(bar().sizeThatFits({ 1, 1 }), prompted) << int(orientation);
    }
    root->navigationItem().setPrompt("");
    turn(ui::Orientation::Portrait);

    // Turned as a person would: the phone's landscape bar is 32 high and the
    // content starts under it.
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    EXPECT_EQ(bar().frame(), (gfx::Rect { 0, 0, 480, 32 }));
    EXPECT_EQ(root->view()->frame().minY(), 32);
    EXPECT_EQ(titleLabel().font(), ui::Fonts::boldSystemFont(16));
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
    EXPECT_EQ(titleLabel().font(), ui::Fonts::boldSystemFont(20));
    EXPECT_EQ(root->view()->frame().minY(), 44);
}

TEST_F(VKNavigationControllerTest, OnTheTabletToo)
{
    core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
    gfx::Screen::main().setBounds({ 0, 0, 768, 1024 });
    window().setFrame({ 0, 0, 768, 1024 });
    auto root = std::make_shared<Screenful>("Documents");
    show({ root });
    EXPECT_EQ(bar().frame(), (gfx::Rect { 0, 0, 768, 44 }));
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeRight));
    advance(1);
    EXPECT_EQ(bar().frame(), (gfx::Rect { 0, 0, 1024, 32 }));
    root->navigationItem().setPrompt("Choose");
    runLoop();
    EXPECT_EQ(bar().frame().height(), 50);
    // The toolkit's own bars stay at their tablet height.
    EXPECT_EQ(ui::barHeightForInterface(), 44);
}

TEST_F(VKNavigationControllerTest, APromptPlacesTheButtonsAndTitleUnderIt)
{
    auto documents = std::make_shared<Screenful>("Documents");
    auto folder = std::make_shared<Screenful>("Quarterly Reports");
    auto done = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Done);
    folder->navigationItem().setRightBarButtonItem(done);
    folder->navigationItem().setPrompt("Choose a destination folder");
    show({ documents, folder });

    EXPECT_EQ(bar().frame(), (gfx::Rect { 0, 0, 320, 64 }));
    EXPECT_EQ(folder->view()->frame().minY(), 64);
    EXPECT_EQ(bar().promptView()->frame(), (gfx::Rect { 0, -5, 320, 30 }));
    // The side views are made again whenever the item changes.
    auto back = [&]() -> ui::BarItemButton& { return dynamic_cast<ui::BarItemButton&>(*bar().leftButtonView()); };
    auto right = [&]() -> ui::View& { return *bar().rightButtonView(); };
    EXPECT_EQ(back().frame(), (gfx::Rect { 5, 26, std::ceil(back().titleWidth() + 20), 30 }));
    float rightWidth = right().frame().width();
    EXPECT_GE(rightWidth, 44);
    EXPECT_EQ(right().frame(), (gfx::Rect { 320 - rightWidth - 5, 26, rightWidth, 30 }));

    gfx::Font font = ui::Fonts::boldSystemFont(20);
    float left = back().frame().maxX(), rightLimit = right().frame().minX() - 10;
    gfx::Size title = ui::Fonts::sizeOfString("Quarterly Reports", font, rightLimit - left, gfx::LineBreakMode::TailTruncation);
    gfx::Rect frame = bar().titleView()->frame();
    EXPECT_EQ(frame.width(), title.width);
    EXPECT_EQ(frame.height(), title.height + 2);
    EXPECT_EQ(frame.minY(), std::round(64 - (title.height + 2) - 13));
    EXPECT_EQ(frame.minX(), expectedTitleX(320, title.width, left, rightLimit));

    // A title that does not fit is cut with "…" short of the right button.
    folder->setTitle("The Annual Accounts of Every Department Ever Audited");
    runLoop();
    frame = bar().titleView()->frame();
    EXPECT_LE(frame.maxX(), right().frame().minX());
    EXPECT_GE(frame.minX(), back().frame().maxX() + 8);
    auto lines = titleLabel().displayedLinesForTesting();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with("…")) << lines[0];

    // Landscape: smaller buttons, margins and title font.
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeRight));
    advance(1);
    EXPECT_EQ(bar().frame(), (gfx::Rect { 0, 0, 480, 50 }));
    EXPECT_EQ(bar().promptView()->frame(), (gfx::Rect { 0, -6, 480, 30 }));
    EXPECT_EQ(back().frame().origin, (gfx::Point { 4, 22 }));
    EXPECT_EQ(back().frame().height(), 24);
    EXPECT_EQ(right().frame(), (gfx::Rect { 480 - rightWidth - 4, 22, rightWidth, 24 }));
    EXPECT_EQ(titleLabel().font(), ui::Fonts::boldSystemFont(16));
    folder->setTitle("Reports");
    runLoop();
    title = ui::Fonts::sizeOfString("Reports", ui::Fonts::boldSystemFont(16), 1000, gfx::LineBreakMode::TailTruncation);
    frame = bar().titleView()->frame();
    EXPECT_EQ(frame.minY(), std::round(50 - (title.height + 2) - 7));
    EXPECT_EQ(frame.minX(), std::floor((480 - title.width) / 2));
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

TEST_F(VKNavigationControllerTest, AWideLeftViewPushesTheTitleRight)
{
    auto folder = std::make_shared<Screenful>("Quarterly Reports 2011");
    auto wide = ui::View::create({ 0, 0, 75, 30 });
    folder->navigationItem().setLeftBarButtonItem(ui::BarButtonItem::create(wide));
    folder->navigationItem().setPrompt("Choose");
    show({ folder });
    EXPECT_EQ(wide->frame(), (gfx::Rect { 5, 26, 75, 30 }));
    // Centred it would start left of 80 + 8.
    float width = bar().titleView()->frame().width();
    ASSERT_LT((320 - width) / 2, 88);
    EXPECT_EQ(bar().titleView()->frame().minX(), 88);

    // With an empty title the title view stays where the base put it.
    folder->setTitle("");
    runLoop();
    gfx::Rect before = bar().titleView()->frame();
    bar().setNeedsLayout();
    bar().layoutIfNeeded();
    EXPECT_EQ(bar().titleView()->frame(), before);
    EXPECT_EQ(bar().promptView()->frame().minY(), -5);
}

TEST_F(VKNavigationControllerTest, TheTopControllersStatusBarStyleIsPutUp)
{
    auto root = std::make_shared<Screenful>("Documents");
    auto viewer = std::make_shared<Screenful>("Picture", ui::Application::StatusBarStyle::BlackTranslucent);
    // Not shown: nothing changes.
    navigation = VKNavigationController::create(root);
    navigation->pushViewController(viewer, false);
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::Default);
    // The stack appears with the viewer on top.
    window().setRootViewController(navigation);
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::BlackTranslucent);
    navigation->popViewController(true);
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::Default);
    advance(1);
    navigation->pushViewController(viewer, true);
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::BlackTranslucent);
    advance(1);
    navigation->setViewControllers({ std::make_shared<Screenful>("Other", ui::Application::StatusBarStyle::BlackOpaque) });
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::BlackOpaque);
}

} // namespace

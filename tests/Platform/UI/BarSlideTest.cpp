// Bars a navigation controller hides and shows with animation: they slide
// over their own height on the clock, the content follows in the same
// animation, and a request that replaces a running slide wins.

#include "Support/UITestCase.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"

namespace {

class BarSlideTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        content = ui::ViewController::create();
        navigation = ui::NavigationController::create(content);
        navigation->setToolbarHidden(false);
        window().setRootViewController(navigation);
        runLoop();
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        navigation.reset();
        content.reset();
        UITestCase::TearDown();
    }
    // The top of the bar as it shows now.
    float shownTop(ui::View& bar) const
    {
        auto state = bar.layer().presentation();
        return state.position.y - state.bounds.height() / 2;
    }

    std::shared_ptr<ui::ViewController> content;
    std::shared_ptr<ui::NavigationController> navigation;
};

TEST_F(BarSlideTest, HidingSlidesTheBarsAwayAndTheContentFollows)
{
    auto& bar = navigation->navigationBar();
    auto& toolbar = navigation->toolbar();
    navigation->setNavigationBarHidden(true, true);
    navigation->setToolbarHidden(true, true);
    EXPECT_TRUE(navigation->isNavigationBarHidden());
    EXPECT_TRUE(navigation->isToolbarHidden());
    // Still drawn while they slide; the content's frame is already final.
    EXPECT_FALSE(bar.isHidden());
    EXPECT_FALSE(toolbar.isHidden());
    EXPECT_EQ(content->view()->frame(), (gfx::Rect { 0, 0, 320, 460 }));
    EXPECT_TRUE(content->view()->layer().animationForKey("bounds"));

    advance(0.1);
    EXPECT_FLOAT_EQ(shownTop(bar), -22);
    EXPECT_FLOAT_EQ(shownTop(toolbar), 416 + 22);
    EXPECT_FALSE(bar.isHidden());

    advance(0.1);
    EXPECT_TRUE(bar.isHidden());
    EXPECT_TRUE(toolbar.isHidden());
    EXPECT_FLOAT_EQ(shownTop(bar), -44);

    // Shown again: visible at once, coming in from above and below.
    navigation->setNavigationBarHidden(false, true);
    navigation->setToolbarHidden(false, true);
    EXPECT_FALSE(bar.isHidden());
    EXPECT_FALSE(toolbar.isHidden());
    EXPECT_FLOAT_EQ(shownTop(bar), -44);
    advance(0.1);
    EXPECT_FLOAT_EQ(shownTop(bar), -22);
    advance(0.1);
    EXPECT_EQ(bar.frame(), (gfx::Rect { 0, 0, 320, 44 }));
    EXPECT_EQ(toolbar.frame(), (gfx::Rect { 0, 416, 320, 44 }));
    EXPECT_EQ(content->view()->frame(), (gfx::Rect { 0, 44, 320, 372 }));
    EXPECT_FALSE(bar.isHidden());
}

TEST_F(BarSlideTest, AShowDuringAHideStartsWhereTheBarIsAndKeepsIt)
{
    auto& bar = navigation->navigationBar();
    navigation->setNavigationBarHidden(true, true);
    advance(0.1);
    navigation->setNavigationBarHidden(false, true);
    // No jump: the show starts from half-way.
    EXPECT_FLOAT_EQ(shownTop(bar), -22);
    advance(0.05);
    EXPECT_GT(shownTop(bar), -22);
    EXPECT_LT(shownTop(bar), 0);
    // The hide's end (cut short) never hides the bar.
    advance(1);
    EXPECT_FALSE(bar.isHidden());
    EXPECT_FALSE(navigation->isNavigationBarHidden());
    EXPECT_FLOAT_EQ(shownTop(bar), 0);

    // An unanimated show or hide during a slide takes effect at once.
    navigation->setNavigationBarHidden(true, true);
    advance(0.05);
    navigation->setNavigationBarHidden(true, false);
    EXPECT_TRUE(bar.isHidden());
    navigation->setNavigationBarHidden(false, false);
    EXPECT_FALSE(bar.isHidden());
    EXPECT_FLOAT_EQ(shownTop(bar), 0);
    advance(1);
    EXPECT_FALSE(bar.isHidden());
}

TEST_F(BarSlideTest, LayoutAndRotationDuringTheSlideKeepTheRequestedState)
{
    content = nullptr;
    class Turning : public ui::ViewController {
    public:
        bool shouldAutorotate(ui::Orientation) override { return true; }
    };
    auto turning = std::make_shared<Turning>();
    navigation->setViewControllers({ turning });
    runLoop();
    auto& bar = navigation->navigationBar();
    navigation->setNavigationBarHidden(true, true);
    navigation->view()->setNeedsLayout();
    navigation->view()->layoutIfNeeded();
    advance(0.05);
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeRight));
    advance(1);
    EXPECT_TRUE(navigation->isNavigationBarHidden());
    EXPECT_TRUE(bar.isHidden());
    EXPECT_EQ(turning->view()->frame().minY(), 0);

    navigation->setNavigationBarHidden(false, true);
    advance(0.05);
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
    EXPECT_FALSE(bar.isHidden());
    EXPECT_EQ(bar.frame(), (gfx::Rect { 0, 0, 320, 44 }));
    EXPECT_EQ(turning->view()->frame().minY(), 44);
}

TEST_F(BarSlideTest, OffScreenOrWithoutAnimationsTheChangeIsImmediate)
{
    window().setRootViewController(nullptr);
    navigation->setNavigationBarHidden(true, true);
    EXPECT_TRUE(navigation->navigationBar().isHidden());
    navigation->setNavigationBarHidden(false, true);
    window().setRootViewController(navigation);
    ui::ViewAnimation::performWithoutAnimation([&] { navigation->setToolbarHidden(true, true); });
    EXPECT_TRUE(navigation->toolbar().isHidden());
    EXPECT_TRUE(navigation->navigationBar().layer().animationKeys().empty());
}

TEST_F(BarSlideTest, BeginningFromTheCurrentStateStartsFromWhatShows)
{
    auto view = ui::View::create({ 0, 0, 10, 10 });
    ui::ViewAnimation::animate(1.0, 0, ui::ViewAnimation::CurveLinear, [&] { view->setAlpha(0); });
    advance(0.25);
    // Without the option, the old model value (0) is where it starts; with
    // it, what shows now (0.75).
    ui::ViewAnimation::animate(1.0, 0, ui::ViewAnimation::CurveLinear, [&] { view->setAlpha(1); });
    EXPECT_FLOAT_EQ(std::get<float>(view->layer().animationForKey("opacity")->from), 0);
    ui::ViewAnimation::animate(1.0, 0, ui::ViewAnimation::CurveLinear | ui::ViewAnimation::BeginFromCurrentState,
        [&] { view->setAlpha(0.5f); });
    EXPECT_FLOAT_EQ(std::get<float>(view->layer().animationForKey("opacity")->from), 0);
    advance(0.5);
    ui::ViewAnimation::animate(1.0, 0, ui::ViewAnimation::CurveLinear | ui::ViewAnimation::BeginFromCurrentState,
        [&] { view->setAlpha(1); });
    EXPECT_FLOAT_EQ(std::get<float>(view->layer().animationForKey("opacity")->from), 0.25f);
    advance(2);
}

TEST_F(BarSlideTest, TheStatusBarFadesAsItHides)
{
    auto& app = application();
    double now = core::RunLoop::main().clock()->monotonic();
    EXPECT_EQ(app.statusBarAlphaAt(now), 1);
    app.setStatusBarHidden(true, ui::Application::StatusBarAnimation::Fade);
    EXPECT_TRUE(app.isStatusBarHidden());
    EXPECT_FLOAT_EQ(app.statusBarAlphaAt(now + 0.1), 0.5f);
    EXPECT_EQ(app.statusBarAlphaAt(now + 0.2), 0);
    // Shown again half-way through: from where the fade got to.
    advance(0.05);
    app.setStatusBarHidden(false, ui::Application::StatusBarAnimation::Fade);
    EXPECT_FLOAT_EQ(app.statusBarAlphaAt(now + 0.05), 0.75f);
    EXPECT_EQ(app.statusBarAlphaAt(now + 0.25), 1);
    app.setStatusBarHidden(true);
    EXPECT_EQ(app.statusBarAlphaAt(now + 0.05), 0);
    app.setStatusBarHidden(false);
}

} // namespace

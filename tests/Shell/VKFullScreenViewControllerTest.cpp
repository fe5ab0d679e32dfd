// The viewers' base: bars that a tap toggles after a delay, that hide again
// by themselves, that a double tap leaves alone, and that requests with
// delays move, all on the manual clock.

#include "Shell/VKFullScreenViewController.h"
#include "Shell/VKNavigationController.h"
#include "FakeAppDelegateHooks.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/ObservationBag.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Touch.h"
#include "Support/UITestCase.h"

#include <cmath>
#include <limits>

namespace {

class Viewer : public VKFullScreenViewController {
public:
    bool shouldUIAutoHide() const override { return autoHide; }
    bool shouldSingleTapShowUI() const override { return tapShows; }
    bool shouldSingleTapHideUI() const override { return tapHides; }
    bool autoHide = true;
    bool tapShows = true;
    bool tapHides = true;
};

class VKFullScreenViewControllerTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        hooks = test::FakeAppDelegateHooks::install();
        viewer = std::make_shared<Viewer>();
        navigation = VKNavigationController::create(ui::ViewController::create());
        navigation->setToolbarHidden(false);
        navigation->pushViewController(viewer, false);
        window().setRootViewController(navigation);
        runLoop();
        auto& center = core::NotificationCenter::defaultCenter();
        observations += center.observe(VKFullScreenViewControllerDidHideUINotification, nullptr,
            [this](const core::Notification& n) { posted.push_back({ "hide", n.object().get() }); });
        observations += center.observe(VKFullScreenViewControllerDidShowUINotification, nullptr,
            [this](const core::Notification& n) { posted.push_back({ "show", n.object().get() }); });
    }
    void TearDown() override
    {
        observations.clear();
        window().setRootViewController(nullptr);
        navigation.reset();
        viewer.reset();
        hooks.reset();
        UITestCase::TearDown();
    }
    bool barsHidden() const
    {
        return navigation->isNavigationBarHidden() && navigation->isToolbarHidden();
    }
    bool barsShown() const
    {
        return !navigation->isNavigationBarHidden() && !navigation->isToolbarHidden() && !viewer->isUIHidden();
    }
    void tapViewer() { driver.tap(*viewer->view()); }
    // Hides the bars now and forgets the notification.
    void startHidden()
    {
        viewer->setUIHidden(true, false);
        advance(1);
        posted.clear();
    }

    struct Post {
        std::string what;
        core::Object* sender;
        bool operator==(const Post&) const = default;
    };
    std::shared_ptr<test::FakeAppDelegateHooks> hooks;
    std::shared_ptr<Viewer> viewer;
    std::shared_ptr<VKNavigationController> navigation;
    std::vector<Post> posted;
    core::ObservationBag observations;
};

TEST_F(VKFullScreenViewControllerTest, ASingleTapHidesTheShownBarsAfterADelay)
{
    ASSERT_EQ(viewer->view()->gestureRecognizers().size(), 1u);
    EXPECT_EQ(viewer->view()->gestureRecognizers()[0], viewer->singleTapGestureRecognizer());
    tapViewer();
    advance(0.29);
    EXPECT_TRUE(barsShown());
    EXPECT_TRUE(posted.empty());
    advance(0.01);
    EXPECT_TRUE(viewer->isUIHidden());
    EXPECT_TRUE(application().isStatusBarHidden());
    EXPECT_EQ(application().statusBarAnimation(), ui::Application::StatusBarAnimation::Fade);
    EXPECT_TRUE(barsHidden());
    // The bars slide away rather than vanish.
    EXPECT_FALSE(navigation->navigationBar().isHidden());
    EXPECT_EQ(posted, (std::vector<Post> { { "hide", viewer.get() } }));
    advance(0.2);
    EXPECT_TRUE(navigation->navigationBar().isHidden());
    EXPECT_TRUE(navigation->toolbar().isHidden());
    advance(10);
    EXPECT_EQ(posted.size(), 1u);
}

TEST_F(VKFullScreenViewControllerTest, ATapShowsHiddenBarsThatHideAgainLater)
{
    startHidden();
    tapViewer();
    advance(0.3);
    EXPECT_TRUE(barsShown());
    EXPECT_EQ(posted, (std::vector<Post> { { "show", viewer.get() } }));
    // The revert is pending: a hide request without one.
    EXPECT_EQ(viewer->pendingToggleUserInfo(), core::Value::makeDictionary({ { "hidden", core::Value(true) } }));
    advance(3.99);
    EXPECT_TRUE(barsShown());
    advance(0.01);
    EXPECT_TRUE(barsHidden());
    EXPECT_EQ(posted.size(), 2u);

    // A subclass that keeps them: shown and left so.
    posted.clear();
    viewer->autoHide = false;
    tapViewer();
    advance(10);
    EXPECT_TRUE(barsShown());
    EXPECT_EQ(posted.size(), 1u);
}

TEST_F(VKFullScreenViewControllerTest, ATapWhileTheRevertWaitsHidesAndEndsIt)
{
    startHidden();
    tapViewer();
    advance(2.0);
    EXPECT_TRUE(barsShown());
    tapViewer();
    advance(0.29);
    EXPECT_TRUE(barsShown());
    advance(0.01);
    EXPECT_TRUE(barsHidden());
    advance(10);
    EXPECT_TRUE(barsHidden());
    EXPECT_EQ(posted, (std::vector<Post> { { "show", viewer.get() }, { "hide", viewer.get() } }));
}

TEST_F(VKFullScreenViewControllerTest, ADoubleTapNeverShowsTheBars)
{
    startHidden();
    driver.doubleTap(*viewer->view());
    EXPECT_TRUE(viewer->pendingToggleUserInfo().isNull());
    advance(1);
    EXPECT_TRUE(barsHidden());
    EXPECT_TRUE(posted.empty());

    // With the bars shown the first tap's hide goes ahead.
    viewer->setUIHidden(false, false);
    advance(1);
    posted.clear();
    driver.doubleTap(*viewer->view());
    advance(1);
    EXPECT_TRUE(barsHidden());
    EXPECT_EQ(posted.size(), 1u);

    // Only its own recognizer is ruled: a stranger's second tap is taken.
    auto touch = ui::Touch::create({ 10, 10 }, 0);
    touch->setTapCount(2);
    auto other = ui::TapGestureRecognizer::create();
    EXPECT_TRUE(viewer->shouldReceiveTouch(*other, *touch));
    EXPECT_FALSE(viewer->shouldReceiveTouch(*viewer->singleTapGestureRecognizer(), *touch));
    touch->setTapCount(1);
    EXPECT_TRUE(viewer->shouldReceiveTouch(*viewer->singleTapGestureRecognizer(), *touch));
}

TEST_F(VKFullScreenViewControllerTest, TheQuestionsGateTheRecognizerAndTheTimer)
{
    auto& recognizer = *viewer->singleTapGestureRecognizer();
    auto other = ui::TapGestureRecognizer::create();
    viewer->tapHides = false;
    EXPECT_FALSE(viewer->shouldBegin(recognizer));
    EXPECT_TRUE(viewer->shouldBegin(*other));
    tapViewer();
    advance(1);
    EXPECT_TRUE(barsShown());

    // A timed request asks the same question when it fires.
    viewer->setUIHiddenAfterDelay(true, 0.5);
    EXPECT_FALSE(viewer->pendingToggleUserInfo().isNull());
    advance(1);
    EXPECT_TRUE(barsShown());
    EXPECT_TRUE(posted.empty());
    EXPECT_TRUE(viewer->pendingToggleUserInfo().isNull());

    viewer->tapHides = true;
    startHidden();
    viewer->tapShows = false;
    EXPECT_FALSE(viewer->shouldBegin(recognizer));
    viewer->tapShows = true;
    EXPECT_TRUE(viewer->shouldBegin(recognizer));

    // After a show, the revert is asked the opposite question.
    viewer->tapHides = false;
    viewer->setUIHidden(false, 0.1, 1.0);
    advance(0.1);
    EXPECT_TRUE(barsShown());
    EXPECT_TRUE(viewer->pendingToggleUserInfo().isNull());
    viewer->tapHides = true;
    viewer->setUIHidden(true, 0.1, 1.0);
    viewer->tapShows = false;
    advance(0.1);
    EXPECT_TRUE(barsHidden());
    EXPECT_TRUE(viewer->pendingToggleUserInfo().isNull());
    advance(5);
    EXPECT_TRUE(barsHidden());
}

TEST_F(VKFullScreenViewControllerTest, RequestsWithDelays)
{
    // The present state: the pending toggle goes, nothing else happens.
    viewer->setUIHidden(true, 1.0, 0.0);
    viewer->setUIHidden(false, 0.5, 2.0);
    EXPECT_TRUE(viewer->pendingToggleUserInfo().isNull());
    advance(5);
    EXPECT_TRUE(barsShown());
    EXPECT_TRUE(posted.empty());

    // No delay and no revert: at once, animated.
    viewer->setUIHidden(true, 0.0, 0.0);
    EXPECT_TRUE(barsHidden());
    EXPECT_FALSE(navigation->navigationBar().isHidden());
    EXPECT_EQ(posted.size(), 1u);
    advance(1);

    // No delay with a revert: on the next pass, then back after the revert.
    viewer->setUIHidden(false, 0.0, 2.0);
    EXPECT_TRUE(barsHidden());
    EXPECT_EQ(viewer->pendingToggleUserInfo(),
        core::Value::makeDictionary({ { "hidden", core::Value(false) }, { "revertDelay", core::Value(2.0) } }));
    runLoop();
    EXPECT_TRUE(barsShown());
    advance(1.99);
    EXPECT_TRUE(barsShown());
    advance(0.01);
    EXPECT_TRUE(barsHidden());

    // Delays that are no numbers count as 0; such a revert is none.
    posted.clear();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    viewer->setUIHidden(false, nan, -1.0);
    EXPECT_TRUE(barsShown());
    viewer->setUIHidden(true, -inf, nan);
    EXPECT_TRUE(barsHidden());
    viewer->setUIHidden(false, inf, inf);
    EXPECT_TRUE(barsShown());
    EXPECT_TRUE(viewer->pendingToggleUserInfo().isNull());
    advance(10);
    EXPECT_TRUE(barsShown());
    EXPECT_EQ(posted.size(), 3u);
}

// A timed hide waits while a desktop pointer rests on the bars, hovering
// over them or holding one of their buttons down, so a slow click on Back
// finds it there; the hide follows once the pointer moves off.
TEST_F(VKFullScreenViewControllerTest, ATimedHideWaitsWhileThePointerRestsOnTheBars)
{
    auto centre = [](const ui::View& view) { return view.convertPoint({ view.bounds().midX(), view.bounds().midY() }, nullptr); };
    driver.hover(centre(navigation->navigationBar()));
    viewer->setUIHiddenAfterDelay(true, 3.0);
    advance(6);
    EXPECT_TRUE(barsShown());
    driver.hover(centre(*viewer->view()));
    advance(VKFullScreenViewController::PointerHoldDelay + 3.0);
    EXPECT_TRUE(barsHidden());

    viewer->setUIHidden(false, false);
    driver.hover(std::nullopt);
    viewer->setUIHiddenAfterDelay(true, 3.0);
    auto fingers = driver.touchDown({ centre(navigation->toolbar()) });
    advance(10);
    EXPECT_TRUE(barsShown()) << "held down on the toolbar";
    driver.touchUp(fingers);
    advance(3.0);
    EXPECT_TRUE(barsHidden());
    EXPECT_EQ(posted, (std::vector<Post> { { "hide", viewer.get() }, { "show", viewer.get() }, { "hide", viewer.get() } }));
}

TEST_F(VKFullScreenViewControllerTest, ThePasscodeLockRefusesOnlyTheHide)
{
    hooks->passcodeController = ui::ViewController::create();
    viewer->setUIHidden(true, true);
    EXPECT_TRUE(barsShown());
    tapViewer();
    advance(1);
    EXPECT_TRUE(barsShown());
    EXPECT_TRUE(posted.empty());

    hooks->passcodeController = nullptr;
    startHidden();
    hooks->passcodeController = ui::ViewController::create();
    viewer->setUIHidden(false, true);
    EXPECT_TRUE(barsShown());
    EXPECT_EQ(posted, (std::vector<Post> { { "show", viewer.get() } }));
}

TEST_F(VKFullScreenViewControllerTest, AControllerThatGoesTakesItsPendingChangeWithIt)
{
    tapViewer();
    std::weak_ptr<Viewer> weak = viewer;
    navigation->popViewController(false);
    viewer.reset();
    advance(0.1);
    EXPECT_TRUE(weak.expired());
    advance(10);
    EXPECT_FALSE(application().isStatusBarHidden());
    EXPECT_TRUE(posted.empty());

    // Many with changes pending leave nothing behind.
    std::vector<std::weak_ptr<Viewer>> gone;
    for (int i = 0; i < 100; ++i) {
        auto next = std::make_shared<Viewer>();
        navigation->pushViewController(next, false);
        runLoop();
        next->setUIHidden(i % 2 == 0, 1.0 + i, 3.0);
        driver.tap(*next->view());
        gone.push_back(next);
        navigation->popViewController(i % 3 == 0);
        advance(0.01);
    }
    advance(1);
    for (auto& controller : gone)
        EXPECT_TRUE(controller.expired());
    advance(200);
    EXPECT_TRUE(posted.empty());
}

} // namespace

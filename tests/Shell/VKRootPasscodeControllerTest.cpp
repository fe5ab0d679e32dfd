// The lock over the whole window: what it hides and shows, the launch
// picture, its entry screen, and the window's rotation while it is up.

#include "Shell/VKPasscodeController.h"
#include "Shell/VKRootPasscodeController.h"
#include "Shell/VKWindow.h"
#include "FakeAppDelegateHooks.h"

#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/StandardColors.h"
#include "Support/UITestCase.h"

namespace {

class Turning : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

class VKRootPasscodeControllerTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        lock = VKRootPasscodeController::create();
        appWindow = VKWindow::create({ 0, 0, 320, 480 });
        appWindow->setBackgroundColor(ui::StandardColors::white());
        appWindow->setRootViewController(std::make_shared<Turning>());
        appWindow->makeKeyAndVisible();
        extra = ui::View::create({ 0, 300, 50, 50 });
        hiddenBefore = ui::View::create({ 0, 350, 50, 50 });
        hiddenBefore->setHidden(true);
        appWindow->addSubview(extra);
        appWindow->addSubview(hiddenBefore);
        runLoop();
    }
    void TearDown() override
    {
        lock.reset();
        extra.reset();
        hiddenBefore.reset();
        appWindow->setRootViewController(nullptr);
        appWindow.reset();
        UITestCase::TearDown();
    }

    std::shared_ptr<VKWindow> appWindow;
    std::shared_ptr<ui::View> extra;
    std::shared_ptr<ui::View> hiddenBefore;
    std::shared_ptr<VKRootPasscodeController> lock;
};

TEST_F(VKRootPasscodeControllerTest, CoversTheWindowAndGivesItBack)
{
    application().setStatusBarStyle(ui::Application::StatusBarStyle::BlackTranslucent);
    application().setStatusBarHidden(true);
    auto* browser = appWindow->rootViewController()->view().get();
    appWindow->setBackgroundColor(ui::StandardColors::white());

    lock->presentInWindow(appWindow, true);
    EXPECT_EQ(appWindow->windowLevel(), ui::Window::LevelAlert + 1);
    EXPECT_TRUE(browser->isHidden());
    EXPECT_TRUE(extra->isHidden());
    EXPECT_EQ(appWindow->backgroundColor(), ui::StandardColors::clear());
    EXPECT_EQ(application().statusBarOrientation(), ui::Orientation::Portrait);
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::Default);
    EXPECT_FALSE(application().isStatusBarHidden());

    // The launch picture over the application frame, the entry screen in a
    // navigation controller presented over it.
    auto picture = std::dynamic_pointer_cast<ui::ImageView>(lock->view());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->image(), ui::Images::imageNamed("Default.png"));
    EXPECT_EQ(lock->imageForOrientation(ui::Orientation::LandscapeLeft), picture->image());
    EXPECT_EQ(picture->frame(), application().applicationFrame());
    EXPECT_EQ(picture->superview(), appWindow.get());
    auto* navigation = lock->passcodeNavigationController();
    ASSERT_TRUE(navigation);
    EXPECT_EQ(lock->modalViewController(), navigation);
    EXPECT_EQ(navigation->topViewController(), lock->passcodeController().get());
    EXPECT_EQ(lock->passcodeController()->title(), "Tandry");
    EXPECT_EQ(lock->passcodeController()->infoText(), "Enter your passcode");
    EXPECT_FALSE(lock->passcodeController()->isLandscapeLayout());

    // Once it has appeared the window turns light grey; the picture goes a
    // pass later.
    advance(ui::ViewController::ModalTransitionDuration - 0.01);
    EXPECT_EQ(appWindow->backgroundColor(), ui::StandardColors::clear());
    advance(0.01);
    EXPECT_EQ(appWindow->backgroundColor(), ui::StandardColors::lightGray());
    runLoop();
    EXPECT_EQ(picture->superview(), nullptr);
    EXPECT_EQ(navigation->view()->superview(), appWindow.get());
    EXPECT_EQ(driver.firstResponder(), &lock->passcodeController()->hiddenField());

    lock->dismissPasscodeControllerAnimated(false);
    runLoop();
    EXPECT_EQ(appWindow->windowLevel(), ui::Window::LevelNormal);
    EXPECT_EQ(appWindow->backgroundColor(), ui::StandardColors::white()) << "the lists show their own colour again";
    EXPECT_FALSE(browser->isHidden());
    EXPECT_FALSE(extra->isHidden());
    EXPECT_TRUE(hiddenBefore->isHidden()) << "a view hidden before the lock stays hidden";
    EXPECT_EQ(picture->alpha(), 0);
    EXPECT_EQ(picture->superview(), nullptr);
    EXPECT_EQ(lock->modalViewController(), nullptr);
    EXPECT_EQ(navigation->view()->superview(), nullptr);
}

TEST_F(VKRootPasscodeControllerTest, DismissedBeforeItAppeared)
{
    const gfx::Color before = appWindow->backgroundColor();
    lock->presentInWindow(appWindow, true);
    lock->dismissPasscodeControllerAnimated(true);
    advance(1);
    EXPECT_EQ(lock->view()->superview(), nullptr);
    EXPECT_EQ(lock->passcodeNavigationController()->view()->superview(), nullptr);
    EXPECT_FALSE(extra->isHidden());
    EXPECT_EQ(appWindow->backgroundColor(), before) << "the appearance came too late to count";
    EXPECT_EQ(appWindow->windowLevel(), ui::Window::LevelNormal);
}

TEST_F(VKRootPasscodeControllerTest, TheLockDecidesRotationUnderTheOrientationLock)
{
    auto hooks = test::FakeAppDelegateHooks::install();
    EXPECT_TRUE(appWindow->shouldAutorotate(ui::Orientation::LandscapeRight));
    lock->presentInWindow(appWindow, false);
    hooks->passcodeController = lock;
    EXPECT_TRUE(appWindow->shouldAutorotate(ui::Orientation::Portrait));
    EXPECT_FALSE(appWindow->shouldAutorotate(ui::Orientation::LandscapeRight));
    EXPECT_FALSE(driver.rotate(ui::Orientation::LandscapeLeft));
    EXPECT_EQ(application().statusBarOrientation(), ui::Orientation::Portrait);

    application().setStatusBarOrientation(ui::Orientation::LandscapeRight, false);
    hooks->orientationLocked = true;
    EXPECT_TRUE(appWindow->shouldAutorotate(ui::Orientation::LandscapeRight));
    EXPECT_FALSE(appWindow->shouldAutorotate(ui::Orientation::Portrait));
    application().setStatusBarOrientation(ui::Orientation::Portrait, false);
    hooks->passcodeController.reset();
}

} // namespace

#include "Support/GoldenImage.h"
#include "Support/UITestCase.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/MemoryWarning.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/ScreenWindows.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Window.h"

#include <cmath>

namespace {

using test::UITestCase;
class ApplicationTest : public UITestCase {
protected:
    // Every application notification, in order, after the delegate's calls.
    void watch(std::vector<std::string>& log)
    {
        for (const char* name : { ui::Application::didFinishLaunchingNotification, ui::Application::didBecomeActiveNotification,
                 ui::Application::willResignActiveNotification, ui::Application::didEnterBackgroundNotification,
                 ui::Application::willEnterForegroundNotification, ui::Application::willTerminateNotification,
                 ui::Application::didReceiveMemoryWarningNotification })
            observations.push_back(core::NotificationCenter::defaultCenter().observe(
                name, nullptr, [&log](const core::Notification& n) { log.push_back("note " + n.name()); }));
    }
    std::vector<core::Observation> observations;
};

struct Delegate : ui::ApplicationDelegate {
    std::vector<std::string> log;
    bool answerLaunch = true;
    core::Value options;
    bool didFinishLaunching(ui::Application&, const core::Value& o) override
    {
        options = o;
        log.push_back("didFinishLaunching");
        return answerLaunch;
    }
    bool handleOpenURL(ui::Application&, const core::URL& url) override
    {
        log.push_back("handleOpenURL " + url.absoluteString());
        return true;
    }
    void didBecomeActive(ui::Application&) override { log.push_back("didBecomeActive"); }
    void willResignActive(ui::Application&) override { log.push_back("willResignActive"); }
    void didEnterBackground(ui::Application&) override { log.push_back("didEnterBackground"); }
    void willEnterForeground(ui::Application&) override { log.push_back("willEnterForeground"); }
    void willTerminate(ui::Application&) override { log.push_back("willTerminate"); }
    void didReceiveMemoryWarning(ui::Application&) override { log.push_back("didReceiveMemoryWarning"); }
};

TEST_F(ApplicationTest, LifeCycleCallsTheDelegateThenPosts)
{
    auto delegate = std::make_shared<Delegate>();
    application().setDelegate(delegate);
    watch(delegate->log);

    driver.launchWithURL(*core::URL::parse("tandry-test://open/this"));
    EXPECT_EQ(delegate->log, (std::vector<std::string> { "didFinishLaunching",
                                 std::string("note ") + ui::Application::didFinishLaunchingNotification,
                                 "handleOpenURL tandry-test://open/this", "didBecomeActive",
                                 std::string("note ") + ui::Application::didBecomeActiveNotification }));
    EXPECT_EQ(delegate->options[ui::Application::launchOptionsURLKey].toString(), "tandry-test://open/this");
    EXPECT_EQ(application().applicationState(), ui::Application::State::Active);

    delegate->log.clear();
    driver.enterBackground();
    driver.enterForeground();
    EXPECT_EQ(delegate->log, (std::vector<std::string> { "willResignActive",
                                 std::string("note ") + ui::Application::willResignActiveNotification, "didEnterBackground",
                                 std::string("note ") + ui::Application::didEnterBackgroundNotification,
                                 "willEnterForeground", std::string("note ") + ui::Application::willEnterForegroundNotification,
                                 "didBecomeActive", std::string("note ") + ui::Application::didBecomeActiveNotification }));
}

TEST_F(ApplicationTest, LaunchURLIsHandledOnlyWhenLaunchingAnsweredYes)
{
    auto delegate = std::make_shared<Delegate>();
    delegate->answerLaunch = false;
    application().setDelegate(delegate);
    driver.launchWithURL(*core::URL::parse("http://example.com/"));
    EXPECT_EQ(delegate->log, (std::vector<std::string> { "didFinishLaunching", "didBecomeActive" }));
}

TEST_F(ApplicationTest, MemoryWarningReachesTheDelegateBeforeLaterObservers)
{
    auto delegate = std::make_shared<Delegate>();
    application().setDelegate(delegate);
    auto controllerObservation = core::NotificationCenter::defaultCenter().observe(core::DidReceiveMemoryWarningNotification,
        nullptr, [&](const core::Notification&) { delegate->log.push_back("controller"); });
    driver.memoryWarning();
    ASSERT_EQ(delegate->log.size(), 2u);
    EXPECT_EQ(delegate->log[0], "didReceiveMemoryWarning");
    EXPECT_EQ(delegate->log[1], "controller");
}

TEST_F(ApplicationTest, ADeadDelegateIsNotCalled)
{
    auto delegate = std::make_shared<Delegate>();
    application().setDelegate(delegate);
    delegate.reset();
    driver.launch();
    EXPECT_EQ(application().applicationState(), ui::Application::State::Active);
}

TEST_F(ApplicationTest, FramesAndURLs)
{
    EXPECT_EQ(application().applicationFrame(), (gfx::Rect { 0, 20, 320, 460 }));
    application().setStatusBarHidden(true);
    EXPECT_EQ(application().applicationFrame(), (gfx::Rect { 0, 0, 320, 480 }));
    EXPECT_EQ(ui::Screen::main()->scale(), 2);

    EXPECT_TRUE(application().openURL(*core::URL::parse("mailto:someone@example.com")));
    EXPECT_FALSE(application().openURL(*core::URL::parse("unknown-scheme:x")));
    ASSERT_EQ(application().openedURLs().size(), 1u);
}

// A root controller's stand-in for rotation.
struct Rotation : ui::RotationClient {
    std::shared_ptr<ui::View> root;
    std::vector<std::string> log;
    bool accept = true;
    bool shouldAutorotate(ui::Orientation) override { return accept; }
    void willRotate(ui::Orientation o, double duration) override
    {
        log.push_back("willRotate " + std::to_string(int(o)) + " " + std::to_string(duration).substr(0, 3));
    }
    void didRotate(ui::Orientation from) override { log.push_back("didRotate " + std::to_string(int(from))); }
    std::vector<ui::View*> rotatingViews() override { return { root.get() }; }
};

TEST_F(ApplicationTest, RotationTurnsTheRootViewAndCallsBackAfterTheAnimation)
{
    auto rotation = std::make_shared<Rotation>();
    rotation->root = ui::View::create(application().applicationFrame());
    window().addSubview(rotation->root);
    window().setRotationClient(rotation);
    std::vector<std::string>& log = rotation->log;
    std::vector<core::Observation> observations;
    for (const char* name : { ui::Application::deviceOrientationDidChangeNotification,
             ui::Application::willChangeStatusBarOrientationNotification.name,
             ui::Application::didChangeStatusBarOrientationNotification.name })
        observations.push_back(core::NotificationCenter::defaultCenter().observe(name, nullptr, [&log](const core::Notification& n) {
            auto change = n.payload<ui::Application::OrientationChange>();
            log.push_back(n.name() + " " + (change ? std::to_string(int(change->orientation)) : ""));
        }));

    EXPECT_TRUE(driver.rotate(ui::Orientation::LandscapeRight));
    EXPECT_EQ(log, (std::vector<std::string> { std::string(ui::Application::deviceOrientationDidChangeNotification) + " ",
                       std::string(ui::Application::willChangeStatusBarOrientationNotification.name) + " 3", "willRotate 3 0.3",
                       std::string(ui::Application::didChangeStatusBarOrientationNotification.name) + " 1" }));
    EXPECT_EQ(application().statusBarOrientation(), ui::Orientation::LandscapeRight);
    EXPECT_EQ(rotation->root->bounds(), (gfx::Rect { 0, 0, 480, 300 }));
    EXPECT_EQ(rotation->root->center(), (gfx::Point { 150, 240 }));
    EXPECT_NEAR(std::atan2(rotation->root->transform().b, rotation->root->transform().a), M_PI / 2, 1e-6);

    advance(0.29);
    EXPECT_EQ(log.size(), 4u);
    advance(0.01);
    EXPECT_EQ(log.back(), "didRotate 1");

    log.clear();
    EXPECT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft)); // a half turn
    EXPECT_EQ(log[2], "willRotate 4 0.6");
    advance(0.59);
    EXPECT_NE(log.back(), "didRotate 3");
    advance(0.01);
    EXPECT_EQ(log.back(), "didRotate 3");

    log.clear();
    EXPECT_FALSE(driver.rotate(ui::Orientation::FaceUp));
    rotation->accept = false;
    EXPECT_FALSE(driver.rotate(ui::Orientation::Portrait));
    EXPECT_EQ(log.size(), 2u); // only the device notifications
    EXPECT_EQ(application().statusBarOrientation(), ui::Orientation::LandscapeLeft);
    rotation->root->removeFromSuperview();
}

// A desktop window: no status bar, the interface laid out at the window's
// size whichever way it stands, turns that take no time, and a turn a
// screen refused made once it allows it.
TEST_F(ApplicationTest, TheInterfaceFollowsAWindowsSize)
{
    auto rotation = std::make_shared<Rotation>();
    rotation->root = ui::View::create(application().applicationFrame());
    window().addSubview(rotation->root);
    window().setRotationClient(rotation);
    int resized = 0;
    auto observation = core::NotificationCenter::defaultCenter().observe(ui::Application::didResizeScreenNotification,
        nullptr, [&](const core::Notification&) { ++resized; });

    application().setHasStatusBar(false);
    EXPECT_EQ(application().statusBarAlphaAt(0), 0);
    EXPECT_EQ(rotation->root->frame(), (gfx::Rect { 0, 0, 320, 480 }));

    application().setInterfaceSize({ 1000, 700 });
    EXPECT_EQ(window().frame(), (gfx::Rect { 0, 0, 1000, 700 })) << "upright until the device turns";
    EXPECT_EQ(rotation->root->bounds(), (gfx::Rect { 0, 0, 1000, 700 }));
    EXPECT_TRUE(driver.rotate(ui::Orientation::LandscapeRight));
    EXPECT_EQ(rotation->log[0], "willRotate 3 0.0");
    EXPECT_EQ(ui::Screen::main()->bounds(), (gfx::Rect { 0, 0, 700, 1000 }));
    EXPECT_EQ(window().frame(), (gfx::Rect { 0, 0, 700, 1000 }));
    EXPECT_EQ(rotation->root->bounds(), (gfx::Rect { 0, 0, 1000, 700 }));
    EXPECT_EQ(rotation->root->center(), (gfx::Point { 350, 500 }));

    rotation->accept = false;
    driver.rotate(ui::Orientation::Portrait);
    application().setInterfaceSize({ 600, 900 });
    EXPECT_EQ(application().statusBarOrientation(), ui::Orientation::LandscapeRight);
    EXPECT_EQ(rotation->root->bounds(), (gfx::Rect { 0, 0, 600, 900 })) << "laid out at the size, unturned";
    application().attemptRotationToDeviceOrientation();
    EXPECT_EQ(application().statusBarOrientation(), ui::Orientation::LandscapeRight);
    rotation->accept = true;
    application().attemptRotationToDeviceOrientation();
    EXPECT_EQ(application().statusBarOrientation(), ui::Orientation::Portrait);
    EXPECT_EQ(ui::Screen::main()->bounds(), (gfx::Rect { 0, 0, 600, 900 }));
    EXPECT_EQ(rotation->root->frame(), (gfx::Rect { 0, 0, 600, 900 }));
    EXPECT_EQ(resized, 4);
    EXPECT_THROW(application().setInterfaceSize({ 0, 10 }), core::Exception);
    rotation->root->removeFromSuperview();
}

TEST_F(ApplicationTest, ScreensComeAndGoWithNotifications)
{
    int connects = 0, disconnects = 0;
    auto a = core::NotificationCenter::defaultCenter().observe(ui::Screen::didConnectNotification, nullptr,
        [&](const core::Notification&) { ++connects; });
    auto b = core::NotificationCenter::defaultCenter().observe(ui::Screen::didDisconnectNotification, nullptr,
        [&](const core::Notification&) { ++disconnects; });
    auto screen = driver.connectScreen({ 0, 0, 1024, 768 }, 1);
    EXPECT_EQ(ui::Screen::screens().size(), 2u);
    driver.disconnectScreen(screen);
    EXPECT_EQ(ui::Screen::screens().size(), 1u);
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(disconnects, 1);
}

TEST_F(ApplicationTest, AWindowOnAnotherScreenIsDrawnAndTouchedOnlyThere)
{
    struct Counter : ui::View {
        int touches = 0;
        void touchesBegan(const ui::TouchSet&, const ui::Event&) override { ++touches; }
    };
    auto screen = driver.connectScreen({ 0, 0, 640, 360 }, 1);
    auto external = ui::Window::create({ 0, 0, 10, 10 });
    auto counter = ui::View::make<Counter>({ 0, 0, 640, 360 });
    counter->setBackgroundColor(gfx::Color(1, 0, 0));
    external->addSubview(counter);
    ui::setScreenOfWindow(*external, screen);
    EXPECT_EQ(ui::screenOfWindow(*external), screen);
    EXPECT_EQ(external->frame(), (gfx::Rect { 0, 0, 640, 360 }));
    external->makeKeyAndVisible();
    window().makeKeyWindow();

    driver.tap(gfx::Point { 100, 100 });
    EXPECT_EQ(counter->touches, 0) << "the main screen's touches stay there";
    ui::RenderOptions options;
    auto main = ui::Renderer::renderScreenImage(options);
    ASSERT_TRUE(main);
    EXPECT_NE(test::straightPixel(*main, 100, 100), (gfx::Pixel { 255, 0, 0, 255 }));
    auto other = ui::renderScreenImage(*screen, options);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->width(), 640);
    EXPECT_EQ(test::straightPixel(*other, 100, 100), (gfx::Pixel { 255, 0, 0, 255 }));

    ui::setScreenOfWindow(*external, nullptr);
    EXPECT_EQ(ui::screenOfWindow(*external), nullptr);
    EXPECT_EQ(external->frame().size, ui::Screen::main()->bounds().size);
    driver.disconnectScreen(screen);
}

TEST_F(ApplicationTest, RemoteControlGoesUpTheChainOnlyWhileReceiving)
{
    struct Listener : ui::View {
        std::vector<int> subtypes;
        bool canBecomeFirstResponder() const override { return true; }
        void remoteControlReceived(const ui::Event& event) override { subtypes.push_back(event.subtype()); }
    };
    struct Seeing : ui::Window {
        int events = 0;
        void sendEvent(const ui::Event& event) override
        {
            ++events;
            Window::sendEvent(event);
        }
    };
    auto seeing = ui::View::make<Seeing>({ 0, 0, 320, 480 });
    seeing->makeKeyAndVisible();
    auto listener = ui::View::make<Listener>({ 0, 0, 10, 10 });
    struct Focusable : ui::View {
        bool canBecomeFirstResponder() const override { return true; }
    };
    auto focus = ui::View::make<Focusable>({});
    listener->addSubview(focus);
    seeing->addSubview(listener);
    ASSERT_TRUE(focus->becomeFirstResponder());

    driver.remoteControl(ui::Event::RemoteControlNextTrack);
    EXPECT_TRUE(listener->subtypes.empty());
    application().beginReceivingRemoteControlEvents();
    driver.remoteControl(ui::Event::RemoteControlNextTrack);
    EXPECT_EQ(listener->subtypes, (std::vector<int> { 104 }));
    EXPECT_EQ(seeing->events, 1);
    driver.tap(gfx::Point { 300, 300 }); // touch down and up
    EXPECT_EQ(seeing->events, 3);
}

} // namespace

// The application's window: observers of its events and subviews, the
// remote-control commands it hands to the audio player, and its rotation
// rule under the orientation and passcode locks.

#include "Shell/VKWindow.h"
#include "Shell/VKWindowObserver.h"
#include "FakeAppDelegateHooks.h"

#include "Platform/UI/Button.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Screen.h"
#include "Support/UITestCase.h"

#include <functional>

namespace {

using Log = std::vector<std::string>;

// Remote-control commands that travel up to the application.
class RecordingApplication : public ui::Application {
public:
    void remoteControlReceived(const ui::Event& event) override { received.push_back(event.subtype()); }
    std::vector<int> received;
};

class Watcher : public VKWindowObserver {
public:
    Watcher(std::string name, Log& log) : name(std::move(name)), log(&log) { }
    void handleSendEvent(const ui::Event& event, VKWindow& window) override
    {
        log->push_back(name + " event " + std::to_string(int(event.type())));
        if (onEvent)
            onEvent(window);
    }
    std::string name;
    Log* log;
    std::function<void(VKWindow&)> onEvent;
};

class SubviewWatcher : public Watcher {
public:
    using Watcher::Watcher;
    void windowDidAddSubview(VKWindow&, ui::View& subview) override { log->push_back(name + " added " + std::to_string(subview.tag())); }
    void windowWillRemoveSubview(VKWindow&, ui::View& subview) override
    {
        log->push_back(name + " removing " + std::to_string(subview.tag()) + (subview.superview() ? " (still in)" : ""));
    }
};

class TurningRoot : public ui::ViewController {
public:
    explicit TurningRoot(bool turns) : turns(turns) { }
    bool shouldAutorotate(ui::Orientation) override { return turns; }
    bool turns;
};

class VKWindowTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        app = std::make_shared<RecordingApplication>();
        ui::testing::Environment::begin(app);
        hooks = test::FakeAppDelegateHooks::install();
        window = VKWindow::create(ui::Screen::main()->bounds());
        window->makeKeyAndVisible();
    }
    void TearDown() override
    {
        window.reset();
        hooks.reset();
        app.reset();
        UITestCase::TearDown();
    }

    std::shared_ptr<RecordingApplication> app;
    std::shared_ptr<test::FakeAppDelegateHooks> hooks;
    std::shared_ptr<VKWindow> window;
};

TEST_F(VKWindowTest, ObserversAreKeptOnceWeaklyAndInOrder)
{
    Log log;
    auto first = std::make_shared<Watcher>("first", log);
    auto second = std::make_shared<Watcher>("second", log);
    window->addObserver(first);
    window->addObserver(second);
    window->addObserver(first);
    window->addObserver(nullptr);
    EXPECT_EQ(window->observerCountForTesting(), 2u);

    // An observer sees the tap before the button acts on it.
    auto button = ui::Button::create(ui::Button::Type::Custom, { 100, 100, 80, 44 });
    button->addTarget(nullptr, "pressed", [&](ui::Control&, const ui::Event*) { log.push_back("pressed"); },
        ui::Control::TouchUpInside);
    window->addSubview(button);
    driver.tap(*button);
    EXPECT_EQ(log, (Log { "first event 0", "second event 0", "first event 0", "second event 0", "pressed" }));

    // A dead observer is skipped; removal is by identity.
    log.clear();
    second.reset();
    window->removeObserver(first.get());
    auto third = std::make_shared<Watcher>("third", log);
    window->addObserver(third);
    EXPECT_EQ(window->observerCountForTesting(), 1u);
    driver.shake();
    EXPECT_EQ(log, (Log { "third event 1" }));
    window->removeObserver(nullptr);
    EXPECT_EQ(window->observerCountForTesting(), 1u);
    button->removeFromSuperview();
}

TEST_F(VKWindowTest, RemovingDuringACallDisturbsNoOther)
{
    Log log;
    auto a = std::make_shared<Watcher>("a", log);
    auto b = std::make_shared<Watcher>("b", log);
    auto c = std::make_shared<Watcher>("c", log);
    window->addObserver(a);
    window->addObserver(b);
    window->addObserver(c);
    // a leaves in its own call; b then takes c out before c's turn.
    a->onEvent = [&](VKWindow& w) { w.removeObserver(a.get()); };
    b->onEvent = [&](VKWindow& w) {
        w.removeObserver(c.get());
        b->onEvent = nullptr;
    };
    driver.remoteControl(ui::Event::RemoteControlPlay);
    EXPECT_EQ(log, (Log { "a event 2", "b event 2" }));
    log.clear();
    driver.remoteControl(ui::Event::RemoteControlPlay);
    EXPECT_EQ(log, (Log { "b event 2" }));
}

TEST_F(VKWindowTest, SubviewCallsFollowTheToolkitsOwnStep)
{
    Log log;
    auto subviews = std::make_shared<SubviewWatcher>("watcher", log);
    auto eventsOnly = std::make_shared<Watcher>("plain", log);
    window->addObserver(subviews);
    window->addObserver(eventsOnly);
    auto view = ui::View::create({ 0, 0, 10, 10 });
    view->setTag(7);
    window->addSubview(view);
    EXPECT_EQ(view->window(), window.get()); // added before the call
    window->addSubview(ui::View::create()); // tag 0
    view->removeFromSuperview();
    EXPECT_EQ(log, (Log { "watcher added 7", "watcher added 0", "watcher removing 7 (still in)" }));
    // Deeper views are not the window's subviews.
    log.clear();
    auto child = ui::View::create();
    window->subviews().front()->addSubview(child);
    EXPECT_TRUE(log.empty());
    // The observer without subview calls still hears every event.
    driver.shake();
    EXPECT_EQ(log, (Log { "watcher event 1", "plain event 1" }));
}

TEST_F(VKWindowTest, ReceivesRemoteControlAsItsOwnFirstResponderWhileItLives)
{
    EXPECT_TRUE(app->isReceivingRemoteControlEvents());
    EXPECT_TRUE(window->isFirstResponder());
    EXPECT_EQ(driver.firstResponder(), window.get());
    window.reset();
    EXPECT_FALSE(app->isReceivingRemoteControlEvents());
}

TEST_F(VKWindowTest, RemoteCommandsGoToThePlayerThatHasAResource)
{
    hooks->player = std::make_shared<test::RecordingAudioPlayer>();
    for (int subtype : { 100, 101, 102, 103, 104, 105, 106, 0, 109 })
        driver.remoteControl(subtype);
    EXPECT_EQ(hooks->player->calls, (Log { "play", "pause", "stop", "togglePlay", "handleNext", "handlePrevious" }));
    EXPECT_TRUE(app->received.empty());

    // Without a resource, or without a player, the command goes on to the
    // application instead.
    hooks->player->resource = false;
    driver.remoteControl(104);
    auto player = hooks->player;
    hooks->player = nullptr;
    driver.remoteControl(100);
    EXPECT_EQ(app->received, (std::vector<int> { 104, 100 }));
    EXPECT_EQ(player->calls.size(), 6u);

    // Events of another type are no commands.
    hooks->player = player;
    player->resource = true;
    window->remoteControlReceived(ui::Event::motion(ui::Event::MotionShake));
    EXPECT_EQ(player->calls.size(), 6u);
    EXPECT_EQ(app->received.size(), 2u);
}

TEST_F(VKWindowTest, RotationHonoursTheOrientationLockThenThePasscodeLock)
{
    window->setRootViewController(std::make_shared<TurningRoot>(true));

    // The orientation lock wins, even while the passcode lock is up.
    hooks->orientationLocked = true;
    hooks->passcodeController = std::make_shared<TurningRoot>(true);
    EXPECT_FALSE(driver.rotate(ui::Orientation::LandscapeRight));
    EXPECT_TRUE(window->shouldAutorotate(ui::Orientation::Portrait));

    // Then the lock's controller decides, whatever the root says.
    hooks->orientationLocked = false;
    hooks->passcodeController = std::make_shared<TurningRoot>(false);
    EXPECT_FALSE(driver.rotate(ui::Orientation::LandscapeRight));
    hooks->passcodeController = std::make_shared<TurningRoot>(true);
    window->setRootViewController(std::make_shared<TurningRoot>(false));
    EXPECT_TRUE(driver.rotate(ui::Orientation::LandscapeRight));

    // Locked now in landscape: only landscape right is allowed.
    hooks->passcodeController = nullptr;
    hooks->orientationLocked = true;
    EXPECT_TRUE(window->shouldAutorotate(ui::Orientation::LandscapeRight));
    EXPECT_FALSE(driver.rotate(ui::Orientation::Portrait));

    // Otherwise the toolkit's rule: the root controller.
    hooks->orientationLocked = false;
    EXPECT_FALSE(driver.rotate(ui::Orientation::Portrait));
    window->setRootViewController(std::make_shared<TurningRoot>(true));
    EXPECT_TRUE(driver.rotate(ui::Orientation::Portrait));

    // No hooks at all: the root decides; orientations outside 1–4 never.
    VKAppDelegateHooks::setCurrent(nullptr);
    EXPECT_TRUE(VKWindowShouldAutorotate(*window, ui::Orientation::LandscapeLeft));
    EXPECT_FALSE(VKWindowShouldAutorotate(*window, ui::Orientation::FaceUp));
    EXPECT_FALSE(VKWindowShouldAutorotate(*window, ui::Orientation::Unknown));
    window->setRootViewController(nullptr);
}

} // namespace

#include "Support/UITestCase.h"

#include "Platform/UI/Event.h"
#include "Platform/UI/LongPressGestureRecognizer.h"
#include "Platform/UI/PanGestureRecognizer.h"
#include "Platform/UI/PinchGestureRecognizer.h"
#include "Platform/UI/SwipeGestureRecognizer.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/Window.h"

namespace {

using test::UITestCase;
using State = ui::GestureRecognizer::State;

// A view that records the touch calls it gets.
struct TouchLog : ui::View {
    std::vector<std::string> calls;
    std::vector<int> tapCounts;
    bool handles = true;
    void touchesBegan(const ui::TouchSet& t, const ui::Event& e) override
    {
        calls.push_back("began");
        for (auto& touch : t)
            tapCounts.push_back(touch->tapCount());
        if (!handles)
            View::touchesBegan(t, e);
    }
    void touchesMoved(const ui::TouchSet&, const ui::Event&) override { calls.push_back("moved"); }
    void touchesEnded(const ui::TouchSet& t, const ui::Event& e) override
    {
        calls.push_back("ended");
        if (!handles)
            View::touchesEnded(t, e);
    }
    void touchesCancelled(const ui::TouchSet&, const ui::Event&) override { calls.push_back("cancelled"); }
};

class GestureTest : public UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        view = ui::View::make<TouchLog>({ 50, 50, 200, 200 });
        window().addSubview(view);
    }
    void TearDown() override
    {
        view->removeFromSuperview();
        view.reset();
        UITestCase::TearDown();
    }
    // Counts the actions of a recognizer with the states it was in.
    std::vector<State>& watch(ui::GestureRecognizer& recognizer)
    {
        auto& states = actions[&recognizer];
        recognizer.addTarget(nullptr, "handleGesture", [&states](ui::GestureRecognizer& r) { states.push_back(r.state()); });
        return states;
    }
    std::shared_ptr<TouchLog> view;
    std::map<ui::GestureRecognizer*, std::vector<State>> actions;
};

TEST_F(GestureTest, TapCountsAndTheResponderChain)
{
    struct Controller : ui::Responder {
        int began = 0;
        void touchesBegan(const ui::TouchSet&, const ui::Event&) override { ++began; }
    };
    auto controller = std::make_shared<Controller>();
    view->setController(controller.get());
    view->handles = false;

    driver.tap(*view);
    driver.wait(0.3);
    driver.tap(*view);
    driver.wait(0.5);
    driver.tap(*view);
    EXPECT_EQ(view->tapCounts, (std::vector<int> { 1, 2, 1 }));
    EXPECT_EQ(controller->began, 3);
    driver.tap(gfx::Point { 150, 150 });
    driver.wait(0.1);
    driver.tap(gfx::Point { 150, 200 }); // 50 points away
    EXPECT_EQ(view->tapCounts.back(), 1);
    view->setController(nullptr);
}

TEST_F(GestureTest, SingleTapWaitsForTheDoubleTapToFail)
{
    auto single = ui::TapGestureRecognizer::create();
    auto twice = ui::TapGestureRecognizer::create();
    twice->setNumberOfTapsRequired(2);
    single->requireToFail(twice);
    view->addGestureRecognizer(single);
    view->addGestureRecognizer(twice);
    auto& singles = watch(*single);
    auto& doubles = watch(*twice);

    driver.tap(*view);
    driver.wait(0.34);
    EXPECT_TRUE(singles.empty());
    driver.wait(0.01);
    EXPECT_EQ(singles, (std::vector<State> { State::Ended }));
    EXPECT_TRUE(doubles.empty());

    singles.clear();
    driver.doubleTap(*view);
    driver.wait(1);
    EXPECT_TRUE(singles.empty());
    EXPECT_EQ(doubles, (std::vector<State> { State::Ended }));
    EXPECT_EQ(single->state(), State::Possible);
}

TEST_F(GestureTest, ATapThatWaitedForAnotherStillKnowsWhereItWas)
{
    auto single = ui::TapGestureRecognizer::create();
    auto twice = ui::TapGestureRecognizer::create();
    twice->setNumberOfTapsRequired(2);
    single->requireToFail(twice);
    view->addGestureRecognizer(single);
    view->addGestureRecognizer(twice);
    std::vector<gfx::Point> places;
    single->addTarget(nullptr, "where", [&](ui::GestureRecognizer& r) { places.push_back(r.locationInView(view.get())); });

    driver.tap(gfx::Point { 80, 120 });
    driver.wait(0.5);
    ASSERT_EQ(places.size(), 1u);
    EXPECT_EQ(places[0], (gfx::Point { 30, 70 }));
    // Once done the recognizer forgets it.
    EXPECT_EQ(single->locationInView(view.get()), gfx::Point());
}

TEST_F(GestureTest, DelegatesRefuseTouchesOrTheStart)
{
    struct Delegate : ui::GestureRecognizerDelegate {
        bool receive = true, begin = true;
        bool shouldReceiveTouch(ui::GestureRecognizer&, const ui::Touch&) override { return receive; }
        bool shouldBegin(ui::GestureRecognizer&) override { return begin; }
    };
    auto delegate = std::make_shared<Delegate>();
    auto tap = ui::TapGestureRecognizer::create();
    tap->setDelegate(delegate);
    view->addGestureRecognizer(tap);
    auto& taps = watch(*tap);

    delegate->receive = false;
    driver.tap(*view);
    EXPECT_TRUE(taps.empty());
    EXPECT_EQ(view->calls, (std::vector<std::string> { "began", "ended" }));

    delegate->receive = true;
    delegate->begin = false;
    view->calls.clear();
    driver.tap(*view);
    EXPECT_TRUE(taps.empty());
    EXPECT_EQ(view->calls, (std::vector<std::string> { "began", "ended" })); // the view keeps its touches

    delegate->begin = true;
    view->calls.clear();
    driver.tap(*view);
    EXPECT_EQ(taps, (std::vector<State> { State::Ended }));
    EXPECT_EQ(view->calls, (std::vector<std::string> { "began", "cancelled" }));
}

TEST_F(GestureTest, LongPressBeginsOnTheClockAndFailsOnDrift)
{
    auto press = ui::LongPressGestureRecognizer::create();
    view->addGestureRecognizer(press);
    auto& states = watch(*press);
    gfx::Point c = driver.tapPoint(*view);

    auto finger = driver.touchDown({ c });
    driver.wait(0.49);
    EXPECT_TRUE(states.empty());
    driver.wait(0.01);
    EXPECT_EQ(states, (std::vector<State> { State::Began }));
    driver.touchMove({ { finger[0], { c.x + 30, c.y } } });
    driver.touchUp(finger);
    EXPECT_EQ(states, (std::vector<State> { State::Began, State::Changed, State::Ended }));

    states.clear();
    finger = driver.touchDown({ c });
    driver.wait(0.2);
    driver.touchMove({ { finger[0], { c.x + 12, c.y } } });
    driver.wait(0.5);
    driver.touchUp(finger);
    EXPECT_TRUE(states.empty());
}

TEST_F(GestureTest, PanPinchAndSwipe)
{
    auto pan = ui::PanGestureRecognizer::create();
    view->addGestureRecognizer(pan);
    auto& pans = watch(*pan);
    gfx::Point velocity;
    pan->addTarget(nullptr, "velocity", [&](ui::GestureRecognizer& r) {
        velocity = static_cast<ui::PanGestureRecognizer&>(r).velocityInView(view.get());
    });
    gfx::Point c = driver.tapPoint(*view);
    auto finger = driver.touchDown({ c });
    driver.wait(0.05);
    driver.touchMove({ { finger[0], { c.x + 9, c.y } } });
    EXPECT_TRUE(pans.empty());
    driver.wait(0.05);
    driver.touchMove({ { finger[0], { c.x + 20, c.y } } });
    EXPECT_EQ(pans, (std::vector<State> { State::Began }));
    EXPECT_EQ(pan->translationInView(view.get()), (gfx::Point { 20, 0 }));
    driver.wait(0.05);
    driver.touchMove({ { finger[0], { c.x + 30, c.y } } });
    driver.touchUp(finger);
    EXPECT_EQ(pans.back(), State::Ended);
    EXPECT_NEAR(velocity.x, 200, 1);
    view->removeGestureRecognizer(pan.get());

    auto pinch = ui::PinchGestureRecognizer::create();
    view->addGestureRecognizer(pinch);
    float scale = 0;
    pinch->addTarget(nullptr, "zoom", [&](ui::GestureRecognizer& r) { scale = static_cast<ui::PinchGestureRecognizer&>(r).scale(); });
    driver.pinch(*view, 2);
    EXPECT_NEAR(scale, 2.0f, 1e-4);
    view->removeGestureRecognizer(pinch.get());

    auto swipe = ui::SwipeGestureRecognizer::create();
    swipe->setDirection(ui::SwipeGestureRecognizer::Left);
    view->addGestureRecognizer(swipe);
    auto& swipes = watch(*swipe);
    driver.swipe(*view, ui::SwipeGestureRecognizer::Right, 80);
    EXPECT_TRUE(swipes.empty());
    driver.swipe(*view, ui::SwipeGestureRecognizer::Left, 49, 0.2);
    EXPECT_TRUE(swipes.empty());
    driver.swipe(*view, ui::SwipeGestureRecognizer::Left, 60, 0.6); // too slow
    EXPECT_TRUE(swipes.empty());
    driver.swipe(*view, ui::SwipeGestureRecognizer::Left, 60, 0.3);
    EXPECT_EQ(swipes, (std::vector<State> { State::Ended }));
}

TEST_F(GestureTest, DisablingMidGestureCancelsOnce)
{
    auto pan = ui::PanGestureRecognizer::create();
    view->addGestureRecognizer(pan);
    auto& pans = watch(*pan);
    gfx::Point c = driver.tapPoint(*view);
    auto finger = driver.touchDown({ c });
    driver.touchMove({ { finger[0], { c.x + 40, c.y } } });
    ASSERT_EQ(pan->state(), State::Began);
    EXPECT_EQ(view->calls.back(), "cancelled");
    pan->setEnabled(false);
    EXPECT_EQ(pans, (std::vector<State> { State::Began, State::Cancelled }));
    driver.touchMove({ { finger[0], { c.x + 60, c.y } } });
    driver.touchUp(finger);
    EXPECT_EQ(pans.size(), 2u);
    pan->setEnabled(true);
    EXPECT_EQ(pan->state(), State::Possible);
}

TEST_F(GestureTest, ATouchKeepsItsViewAndDeadTargetsAreSkipped)
{
    auto tap = ui::TapGestureRecognizer::create();
    view->addGestureRecognizer(tap);
    auto target = std::make_shared<ui::Responder>();
    int runs = 0;
    tap->addTarget(target, "tapped", [&](ui::GestureRecognizer&) { ++runs; });
    target.reset();
    driver.tap(*view);
    EXPECT_EQ(runs, 0);
    view->removeGestureRecognizer(tap.get());
    view->calls.clear();

    auto finger = driver.touchDown({ driver.tapPoint(*view) });
    auto keep = view;
    view->removeFromSuperview();
    driver.touchUp(finger);
    EXPECT_EQ(view->calls, (std::vector<std::string> { "began", "ended" }));
    window().addSubview(view);
}

TEST_F(GestureTest, TheDriverRefusesHiddenCoveredOrOutsideTargets)
{
    auto cover = ui::View::create({ 0, 0, 320, 480 });
    window().addSubview(cover);
    try {
        driver.tap(*view);
        FAIL() << "a covered view was tapped";
    } catch (const core::Exception& e) {
        EXPECT_EQ(e.name(), ui::testing::Driver::Failure);
        EXPECT_NE(std::string(e.reason()).find("View (0, 0, 320, 480)"), std::string::npos) << e.reason();
    }
    cover->removeFromSuperview();
    view->setHidden(true);
    EXPECT_THROW(driver.tap(*view), core::Exception);
    view->setHidden(false);
    EXPECT_THROW(driver.tap(gfx::Point { 400, 10 }), core::Exception);
    auto loose = ui::View::create({ 0, 0, 10, 10 });
    EXPECT_THROW(driver.tap(*loose), core::Exception);
}

} // namespace

#include "Support/UITestCase.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/View.h"
#include "Support/TestEnvironment.h"
#include "Platform/UI/ViewAnimation.h"

namespace {

using test::UITestCase;
class ViewAnimationTest : public UITestCase { };

TEST_F(ViewAnimationTest, ABlockAppliesAtCommitAndStopsOnTheClock)
{
    auto view = ui::View::create({ 0, 0, 10, 10 });
    std::vector<std::string> log;
    ui::ViewAnimation::begin("move", "context");
    ui::ViewAnimation::setDuration(0.5);
    ui::ViewAnimation::setDidStopHandler([&](const std::string& name, bool finished, const core::Value& context) {
        log.push_back(name + (finished ? " finished " : " cut ") + context.toString());
    });
    view->setFrame({ 100, 100, 50, 50 });
    ui::ViewAnimation::commit();

    EXPECT_EQ(view->frame(), (gfx::Rect { 100, 100, 50, 50 }));
    auto record = view->layer().animationForKey("position");
    ASSERT_TRUE(record);
    EXPECT_EQ(std::get<gfx::Point>(record->from), (gfx::Point { 5, 5 }));
    EXPECT_EQ(std::get<gfx::Point>(record->to), (gfx::Point { 125, 125 }));
    EXPECT_EQ(record->duration, 0.5);
    EXPECT_TRUE(view->layer().animationForKey("bounds"));
    runLoop();
    EXPECT_TRUE(log.empty()); // never inline, never before its time
    advance(0.49);
    EXPECT_TRUE(log.empty());
    advance(0.01);
    EXPECT_EQ(log, (std::vector<std::string> { "move finished context" }));
    EXPECT_TRUE(view->layer().animationKeys().empty());
}

TEST_F(ViewAnimationTest, DisabledAnimationsStopOnTheNextPass)
{
    auto view = ui::View::create({ 0, 0, 10, 10 });
    bool stopped = false;
    ui::ViewAnimation::performWithoutAnimation([&] {
        ui::ViewAnimation::begin("off");
        ui::ViewAnimation::setDidStopHandler([&](const std::string&, bool, const core::Value&) { stopped = true; });
        view->setAlpha(0.5f);
        ui::ViewAnimation::commit();
    });
    EXPECT_TRUE(view->layer().animationKeys().empty());
    EXPECT_FALSE(stopped);
    runLoop();
    EXPECT_TRUE(stopped);
}

TEST_F(ViewAnimationTest, ANewerAnimationEndsTheOlderUnfinished)
{
    auto view = ui::View::create({ 0, 0, 10, 10 });
    std::vector<std::string> log;
    ui::ViewAnimation::animate(1.0, [&] { view->setAlpha(0.5f); }, [&](bool finished) { log.push_back(finished ? "first done" : "first cut"); });
    ui::ViewAnimation::animate(0.2, 0, ui::ViewAnimation::BeginFromCurrentState | ui::ViewAnimation::CurveLinear,
        [&] { view->setAlpha(0); }, [&](bool finished) { log.push_back(finished ? "second done" : "second cut"); });
    EXPECT_EQ(view->layer().animationForKey("opacity")->curve, 3);
    runLoop();
    EXPECT_EQ(log, (std::vector<std::string> { "first cut" }));
    advance(0.2);
    EXPECT_EQ(log, (std::vector<std::string> { "first cut", "second done" }));
    EXPECT_EQ(view->alpha(), 0);
}

TEST_F(ViewAnimationTest, MisuseThrows)
{
    EXPECT_THROW(ui::ViewAnimation::commit(), core::Exception);
    EXPECT_THROW(ui::ViewAnimation::setDuration(1), core::Exception);
    EXPECT_THROW(ui::ViewAnimation::animate(1, nullptr), core::Exception);

    auto view = ui::View::create();
    bool threw = false;
    core::Thread::detach("off-main", [&] {
        try {
            view->setFrame({ 0, 0, 1, 1 });
        } catch (const core::Exception& e) {
            threw = e.name() == core::Exception::InternalInconsistency;
        }
    });
    test::TestEnvironment::expectNoThreadsRunning(5);
    EXPECT_TRUE(threw);
}

} // namespace

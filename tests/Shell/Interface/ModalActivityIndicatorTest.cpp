#include "Shell/Interface/VKModalActivityIndicator.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/LiveObjects.h"
#include "Support/UITestCase.h"

#include <cmath>

namespace {

constexpr float pi = 3.14159265358979323846f;

class ModalActivityIndicatorTest : public test::UITestCase {
};

TEST_F(ModalActivityIndicatorTest, TheBevelGrowsDownwardsOnlyAndHoldsItsSpinnerAndMessage)
{
    auto indicator = VKModalActivityIndicator::create("Rebuilding quota index");
    EXPECT_EQ(indicator->frame(), (gfx::Rect { 0, 0, 320, 480 }));
    EXPECT_FALSE(indicator->isOpaque());
    EXPECT_EQ(indicator->activityIndicator().activityIndicatorViewStyle(), ui::ActivityIndicator::Style::WhiteLarge);
    EXPECT_EQ(indicator->label().numberOfLines(), 0);
    EXPECT_EQ(indicator->rectForBevel(), (gfx::Rect { 70, 170, 180, 140 }));
    indicator->layoutIfNeeded();
    // The spinner on the inner area's bottom, centred; the label above it.
    EXPECT_EQ(indicator->activityIndicator().frame(), (gfx::Rect { 141, 258, 37, 37 }));
    EXPECT_EQ(indicator->label().frame(), (gfx::Rect { 85, 185, 150, 58 }));

    // A long message makes it taller, never wider, and never taller than
    // wide plus the spinner's room.
    std::string longMessage;
    for (int i = 0; i < 12; ++i)
        longMessage += "Counting the files of every folder ";
    auto tall = VKModalActivityIndicator::create(longMessage);
    gfx::Rect bevel = tall->rectForBevel();
    EXPECT_EQ(bevel.width(), 180);
    EXPECT_GT(bevel.height(), 140);
    EXPECT_LE(bevel.height(), 180);
    EXPECT_NEAR(bevel.midY(), 240, 0.5);
    std::string huge(10000, 'w');
    for (size_t i = 7; i < huge.size(); i += 8)
        huge[i] = ' ';
    // A message of 10,000 characters is cut to the lines that fit 98
    // points: the bevel is at most 180 high.
    auto capped = VKModalActivityIndicator::create(huge);
    gfx::Rect cappedBevel = capped->rectForBevel();
    EXPECT_EQ(cappedBevel.width(), 180);
    EXPECT_GT(cappedBevel.height(), 160);
    EXPECT_LE(cappedBevel.height(), 180);
    capped->layoutIfNeeded();
    EXPECT_LE(capped->label().frame().height(), 98);
    EXPECT_EQ(capped->label().frame().height(), cappedBevel.height() - 30 - 37 - 15);
}

TEST_F(ModalActivityIndicatorTest, PlacedBelowTheStatusBarInEachOrientation)
{
    struct Case {
        ui::Orientation orientation;
        gfx::Size size;
        gfx::Point center;
        float angle;
    };
    const Case cases[] = {
        { ui::Orientation::Portrait, { 320, 480 }, { 160, 260 }, 0 },
        { ui::Orientation::PortraitUpsideDown, { 320, 480 }, { 160, 220 }, pi },
        { ui::Orientation::LandscapeRight, { 480, 300 }, { 150, 240 }, pi / 2 },
        { ui::Orientation::LandscapeLeft, { 480, 300 }, { 170, 240 }, -pi / 2 },
    };
    for (const auto& c : cases) {
        application().setStatusBarOrientation(c.orientation, false);
        auto indicator = VKModalActivityIndicator::create("Rebuilding quota index");
        indicator->showInWindow(window());
        SCOPED_TRACE(int(c.orientation));
        EXPECT_EQ(indicator->superview(), &window());
        EXPECT_EQ(indicator->bounds().size, c.size);
        EXPECT_EQ(indicator->center(), c.center);
        EXPECT_NEAR(indicator->transform().a, std::cos(c.angle), 1e-5);
        EXPECT_NEAR(indicator->transform().b, std::sin(c.angle), 1e-5);
        EXPECT_TRUE(indicator->activityIndicator().isAnimating());
        indicator->dismiss();
        EXPECT_FALSE(indicator->activityIndicator().isAnimating());
        EXPECT_FALSE(indicator->superview());
    }
    application().setStatusBarOrientation(ui::Orientation::Portrait, false);
}

TEST_F(ModalActivityIndicatorTest, DismissKeepsTheViewAliveToTheEndOfThePass)
{
    std::weak_ptr<VKModalActivityIndicator> weak;
    core::RunLoop::main().performAfter(0, [&] {
        auto indicator = VKModalActivityIndicator::create("Rebuilding quota index");
        weak = indicator;
        indicator->showInWindow(window());
        indicator.reset();
        weak.lock()->dismiss();
        EXPECT_FALSE(weak.expired());
    });
    runLoop();
    EXPECT_TRUE(weak.expired());

    long views = ui::LiveObjects::views;
    for (int i = 0; i < 1000; ++i) {
        auto indicator = VKModalActivityIndicator::create("Working");
        indicator->showInWindow(window());
        indicator->dismiss();
    }
    runLoop();
    EXPECT_EQ(ui::LiveObjects::views, views);
}

} // namespace

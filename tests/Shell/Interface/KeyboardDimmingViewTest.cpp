#include "Shell/Interface/VKKeyboardDimmingView.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/TextField.h"
#include "Support/UITestCase.h"

namespace {

struct Toucher : VKKeyboardDimmingViewDelegate {
    int touches = 0;
    bool keyboardUpWhenTold = true;
    void keyboardDimmingViewDidReceiveTouches(VKKeyboardDimmingView&) override
    {
        ++touches;
        keyboardUpWhenTold = ui::Keyboard::shared().isVisible();
    }
};

// A search field above a dimmed content area, and a second field the
// dimming does not watch.
class KeyboardDimmingViewTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        content = ui::View::create({ 0, 0, 320, 480 });
        window().addSubview(content);
        search = ui::TextField::create({ 10, 30, 300, 31 });
        other = ui::TextField::create({ 10, 70, 300, 31 });
        dimming = VKKeyboardDimmingView::create({ search });
        dimming->setFrame({ 0, 110, 320, 370 });
        dimming->setDelegate(toucher);
        content->addSubview(dimming);
        content->addSubview(search);
        content->addSubview(other);
    }
    void TearDown() override
    {
        content.reset();
        search.reset();
        other.reset();
        dimming.reset();
        UITestCase::TearDown();
    }

    const ui::LayerAnimation* opacityAnimation() const { return dimming->layer().animationForKey("opacity").get(); }

    std::shared_ptr<ui::View> content;
    std::shared_ptr<ui::TextField> search, other;
    std::shared_ptr<VKKeyboardDimmingView> dimming;
    std::shared_ptr<Toucher> toucher = std::make_shared<Toucher>();
};

TEST_F(KeyboardDimmingViewTest, DimsWithTheKeyboardOfAWatchedFieldOnly)
{
    EXPECT_TRUE(dimming->isHidden());
    EXPECT_FLOAT_EQ(dimming->alpha(), 0);
    EXPECT_EQ(dimming->autoresizingMask(), unsigned(ui::View::FlexibleWidth | ui::View::FlexibleHeight));

    // Another field's keyboard leaves it hidden.
    driver.tap(*other);
    ASSERT_TRUE(driver.keyboardVisible());
    EXPECT_TRUE(dimming->isHidden());
    advance(1);

    // Focus moving to the search field comes without a duration: the dimming
    // takes the interface's 0.3 s instead of jumping.
    driver.tap(*search);
    EXPECT_FALSE(dimming->isHidden());
    EXPECT_FLOAT_EQ(dimming->alpha(), 0.5f);
    ASSERT_TRUE(opacityAnimation());
    EXPECT_DOUBLE_EQ(opacityAnimation()->duration, ui::Application::OrientationAnimationDuration);
    EXPECT_EQ(opacityAnimation()->curve, 0);
    advance(0.15);
    float halfway = dimming->layer().presentation().opacity;
    EXPECT_GT(halfway, 0.05f);
    EXPECT_LT(halfway, 0.45f);
    advance(1);

    // A tap on the dimmed area ends the editing: the keyboard goes, the
    // delegate hears once, the dimming fades with the keyboard, then hides.
    driver.tap(*dimming);
    EXPECT_EQ(toucher->touches, 1);
    EXPECT_FALSE(toucher->keyboardUpWhenTold);
    EXPECT_FALSE(search->isFirstResponder());
    EXPECT_FLOAT_EQ(dimming->alpha(), 0);
    ASSERT_TRUE(opacityAnimation());
    EXPECT_DOUBLE_EQ(opacityAnimation()->duration, ui::Keyboard::AnimationDuration);
    EXPECT_FALSE(dimming->isHidden());
    advance(ui::Keyboard::AnimationDuration);
    EXPECT_TRUE(dimming->isHidden());

    // Up from nothing: the keyboard's own duration and curve; hidden again
    // before the fade in ended, it fades out from where it was.
    driver.tap(*search);
    EXPECT_DOUBLE_EQ(opacityAnimation()->duration, ui::Keyboard::AnimationDuration);
    advance(0.15);
    float shown = dimming->layer().presentation().opacity;
    search->resignFirstResponder();
    ASSERT_TRUE(opacityAnimation());
    EXPECT_NEAR(std::get<float>(opacityAnimation()->from), shown, 0.01f);
    advance(1);
    EXPECT_TRUE(dimming->isHidden());
    EXPECT_EQ(toucher->touches, 1);
}

TEST_F(KeyboardDimmingViewTest, RespondersAreHeldWeaklyAndNothingLingers)
{
    long before = search.use_count();
    auto extra = VKKeyboardDimmingView::create({ search, other });
    EXPECT_EQ(search.use_count(), before);
    // A watched field that went away is simply not found.
    auto gone = ui::TextField::create({ 10, 10, 100, 30 });
    auto orphan = VKKeyboardDimmingView::create({ gone });
    content->addSubview(orphan);
    gone.reset();
    driver.tap(*search);
    EXPECT_TRUE(orphan->isHidden());
    search->resignFirstResponder();
    advance(1);
    orphan->removeFromSuperview();
    orphan.reset();
    extra.reset();

    // Out of a window it reacts to nothing.
    auto loose = VKKeyboardDimmingView::create({ search });
    driver.tap(*search);
    EXPECT_TRUE(loose->isHidden());
    search->resignFirstResponder();
    advance(1);
    loose.reset();

    auto& center = core::NotificationCenter::defaultCenter();
    long views = ui::LiveObjects::views;
    size_t observations = center.observationCountForTesting();
    for (int i = 0; i < 1000; ++i) {
        auto view = VKKeyboardDimmingView::create({ search });
        content->insertSubview(view, 0);
        search->becomeFirstResponder();
        search->resignFirstResponder();
        view->removeFromSuperview();
    }
    advance(1);
    EXPECT_EQ(ui::LiveObjects::views, views);
    EXPECT_EQ(center.observationCountForTesting(), observations);
}

} // namespace

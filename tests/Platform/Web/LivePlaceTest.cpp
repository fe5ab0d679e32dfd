// Where a live page stands and what covers it, over the recording engine:
// cuts by bars, covers by siblings, subviews, alerts and the status bar,
// clipping, fades, scales and pushes as the screen shows them at a time.

#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Transition.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/LivePlace.h"
#include "Platform/Web/WebView.h"

#include "Support/UITestCase.h"

using web::LivePlace;

namespace {

class LivePlaceTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        application().setStatusBarHidden(true, ui::Application::StatusBarAnimation::None);
        page = web::WebView::create({ 0, 100, 320, 300 });
        window().addSubview(page);
        runLoop();
    }
    void TearDown() override
    {
        page->removeFromSuperview();
        page.reset();
        UITestCase::TearDown();
    }
    LivePlace place() { return LivePlace::of(*page); }

    std::shared_ptr<web::WebView> page;
};

TEST_F(LivePlaceTest, CoversAcrossAnEdgeCutAndOthersCover)
{
    const gfx::Rect page { 0, 100, 320, 300 };
    auto cut = [&](gfx::Rect cover) {
        gfx::Rect clip = page;
        bool covered = false;
        LivePlace::applyCover(cover, clip, covered);
        return covered ? gfx::Rect::null() : clip;
    };
    EXPECT_EQ(cut({ 0, 80, 320, 64 }), gfx::Rect(0, 144, 320, 256)) << "a bar across the top";
    EXPECT_EQ(cut({ -10, 356, 340, 100 }), gfx::Rect(0, 100, 320, 256)) << "a toolbar across the bottom";
    EXPECT_EQ(cut({ 300, 0, 20, 480 }), gfx::Rect(0, 100, 300, 300)) << "a status bar down the side";
    EXPECT_EQ(cut({ 0, 500, 320, 40 }), page) << "beside the page";
    EXPECT_TRUE(cut({ 40, 200, 240, 100 }).isNull()) << "a box over the middle";
    EXPECT_TRUE(cut({ 0, 0, 320, 480 }).isNull()) << "over all of it";
    EXPECT_TRUE(cut({ 0, 80, 200, 64 }).isNull()) << "part of the top";
}

TEST_F(LivePlaceTest, ViewsAboveThePageCutOrCoverIt)
{
    EXPECT_EQ(place().frame, gfx::Rect(0, 100, 320, 300));
    EXPECT_EQ(place().clip, gfx::Rect(0, 100, 320, 300));
    EXPECT_FALSE(place().covered);

    // A later sibling across its bottom cuts it; the status bar its top.
    auto toolbar = ui::View::create({ 0, 356, 320, 44 });
    window().addSubview(toolbar);
    application().setStatusBarHidden(false, ui::Application::StatusBarAnimation::None);
    page->setFrame({ 0, 0, 320, 400 });
    EXPECT_EQ(place().clip, gfx::Rect(0, 20, 320, 336));
    EXPECT_FALSE(place().covered);
    // A hidden one changes nothing; one of its own over the middle covers.
    toolbar->setHidden(true);
    EXPECT_EQ(place().clip, gfx::Rect(0, 20, 320, 380));
    auto badge = ui::View::create({ 100, 100, 40, 40 });
    page->addSubview(badge);
    EXPECT_TRUE(place().covered);
    badge->removeFromSuperview();
    EXPECT_FALSE(place().covered);

    // An alert's window in front covers it, and uncovers it when it goes.
    auto alert = ui::AlertView::create("Title", "Message", {}, std::string("OK"));
    alert->show();
    runLoop();
    EXPECT_TRUE(place().covered);
    EXPECT_FALSE(place().hidden);
    alert->dismiss(0, false);
    runLoop();
    EXPECT_FALSE(place().covered);
    toolbar->removeFromSuperview();
}

TEST_F(LivePlaceTest, ClippingAndAnimationsAsTheScreenShowsThem)
{
    auto holder = ui::View::create({ 0, 50, 320, 200 });
    holder->setClipsToBounds(true);
    window().addSubview(holder);
    holder->addSubview(page);
    page->setFrame({ 0, 100, 320, 300 });
    EXPECT_EQ(place().frame, gfx::Rect(0, 150, 320, 300));
    EXPECT_EQ(place().clip, gfx::Rect(0, 150, 320, 100)) << "cut by the clipping view";
    page->setFrame({ 0, 300, 320, 300 });
    EXPECT_TRUE(place().hidden) << "scrolled out of it";
    EXPECT_FALSE(place().covered);
    page->setFrame({ 0, 0, 320, 200 });

    // A push slides it in with the content, cut at the holder's edges.
    ui::Transition push("push", "fromLeft");
    push.setDuration(1);
    push.setTimingFunction(ui::TimingFunction::linear());
    holder->layer().addAnimation(push, ui::Transition::Key);
    advance(0.25);
    EXPECT_EQ(place().frame, gfx::Rect(-240, 50, 320, 200));
    EXPECT_EQ(place().clip, gfx::Rect(0, 50, 80, 200));
    EXPECT_FALSE(place().covered);
    advance(1);
    EXPECT_EQ(place().frame, gfx::Rect(0, 50, 320, 200));

    // A fade or a scale shows its picture while it runs.
    ui::Transition fade("fade");
    holder->layer().addAnimation(fade, ui::Transition::Key);
    advance(0.1);
    EXPECT_TRUE(place().covered) << "a fade";
    advance(1);
    EXPECT_FALSE(place().covered);
    ui::ViewAnimation::animate(1, [&] { page->setAlpha(0.5f); });
    advance(0.5);
    EXPECT_TRUE(place().covered) << "faded";
    advance(1);
    ui::ViewAnimation::animate(1, [&] { page->setAlpha(0); });
    advance(1.1);
    EXPECT_TRUE(place().hidden);
    page->setAlpha(1);
    ui::ViewAnimation::animate(1, [&] { page->setTransform(gfx::AffineTransform::rotation(0.3f)); });
    advance(0.5);
    EXPECT_TRUE(place().covered) << "turned";
    page->setTransform({});
    advance(1);
    EXPECT_FALSE(place().covered);

    // Web views count in tree order.
    auto front = web::WebView::create({ 0, 0, 10, 10 });
    window().addSubview(front);
    EXPECT_EQ(LivePlace::of(*front).order, 1);
    EXPECT_EQ(place().order, 0);
    front->removeFromSuperview();
    holder->removeFromSuperview();
}

} // namespace

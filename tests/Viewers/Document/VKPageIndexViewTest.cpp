// The page index, the bubble and the title view on their own: labels and
// their skipping, the track and touch rules, the fades, the page texts and
// the widths.

#include "Viewers/Document/VKDocumentTitleView.h"
#include "Viewers/Document/VKPageIndexView.h"
#include "Viewers/Document/VKPageNumberOverlay.h"

#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <cmath>
#include <fmt/format.h>

namespace {

using Labels = std::vector<std::string>;
const std::string dot = "\u25CF";

// The skipping as first written, step by step: what the direct step must
// agree with.
unsigned loopStep(unsigned count, unsigned limit)
{
    unsigned step = 2;
    unsigned needed = count / 2 + 1;
    while (needed > limit) {
        ++step;
        needed = count / step + 1;
    }
    return step;
}

class VKPageIndexViewTest : public test::UITestCase { };

TEST_F(VKPageIndexViewTest, LabelsSkipPagesWhenTheyDoNotFit)
{
    Labels hundred = VKPageIndexView::labelsForPageCount(100, 390, 11);
    ASSERT_EQ(hundred.size(), 35u);
    EXPECT_EQ(Labels(hundred.begin(), hundred.begin() + 5), (Labels { "1", dot, "6", dot, "12" }));
    EXPECT_EQ(Labels(hundred.end() - 3, hundred.end()), (Labels { "96", dot, "100" }));

    Labels ten = VKPageIndexView::labelsForPageCount(10, 390, 11);
    EXPECT_EQ(ten, (Labels { "1", "2", "3", "4", "5", "6", "7", "8", "9", "10" }));
    EXPECT_TRUE(VKPageIndexView::labelsForPageCount(0, 390, 11).empty());
    EXPECT_TRUE(VKPageIndexView::labelsForPageCount(10, 0, 11).empty());
    EXPECT_TRUE(VKPageIndexView::labelsForPageCount(10, -5, 11).empty());
    EXPECT_TRUE(VKPageIndexView::labelsForPageCount(10, NAN, 11).empty());
    // Shorter than one line: no labels, and no endless search for a step.
    EXPECT_TRUE(VKPageIndexView::labelsForPageCount(50, 8, 11).empty());
    // A million pages still ends with the last page and stays within the rows.
    Labels million = VKPageIndexView::labelsForPageCount(1000000, 390, 11);
    EXPECT_LE(million.size(), 37u);
    EXPECT_EQ(million.back(), "1000000");
}

TEST_F(VKPageIndexViewTest, TheDirectStepMatchesTheStepwiseSearch)
{
    for (unsigned rows = 1; rows <= 60; ++rows) {
        unsigned limit = rows % 2 == 0 ? rows : rows + 1;
        for (unsigned count = 1; count <= 5000; ++count)
            ASSERT_EQ(VKPageIndexView::skipStep(count, limit), loopStep(count, limit)) << count << " " << rows;
    }
}

TEST_F(VKPageIndexViewTest, TheControlIsAlwaysTwentyEightWideAndOnlyANewHeightReloads)
{
    auto index = VKPageIndexView::create(gfx::Rect(10, 20, 50, 400));
    index->setPageCount(10);
    EXPECT_EQ(index->frame(), gfx::Rect(10, 20, 28, 400));
    EXPECT_EQ(index->labels().size(), 10u);
    EXPECT_EQ(index->sizeThatFits({ 99, 300 }), (gfx::Size { 28, 300 }));
    EXPECT_EQ(index->trackBounds(), gfx::Rect(0, 10.5f, 28, 379));
    EXPECT_EQ(index->labelBounds(), gfx::Rect(0, 5, 28, 390));

    index->setPageCount(100);
    Labels before = index->labels();
    index->setFont(gfx::Font::boldSystemFont(11)); // reloads: same labels
    EXPECT_EQ(index->labels(), before);
    index->setFrame(gfx::Rect(0, 20, 80, 400));
    EXPECT_EQ(index->frame().width(), 28);
    EXPECT_EQ(index->labels(), before);
    index->setFrame(gfx::Rect(0, 20, 28, 100));
    EXPECT_LT(index->labels().size(), before.size());

    // Page numbers of five digits are shown whole: the capsule widens to
    // the left, its right edge kept, and narrows again.
    index->setFrame(gfx::Rect(100, 20, 28, 400));
    index->setPageCount(10901);
    float widest = gfx::Font::boldSystemFont(11).widthOfString("10901");
    EXPECT_GE(index->frame().width(), widest + 2 * VKPageIndexView::LabelMargin);
    EXPECT_EQ(index->frame().maxX(), 128);
    EXPECT_EQ(index->sizeThatFits({ 10, 300 }).width, index->frame().width());
    index->setPageCount(12);
    EXPECT_EQ(index->frame(), gfx::Rect(100, 20, 28, 400));
}

TEST_F(VKPageIndexViewTest, DraggingSetsClampedValuesAndOnlyTheSideCountsAsOutside)
{
    auto index = VKPageIndexView::create(gfx::Rect(280, 40, 28, 400));
    index->setPageCount(50);
    window().addSubview(index);
    std::vector<float> values;
    std::vector<unsigned> events;
    auto target = std::make_shared<core::Object>();
    index->addTarget(target, "value", [&](ui::Control& control, const ui::Event*) {
        values.push_back(static_cast<VKPageIndexView&>(control).value());
    }, ui::Control::ValueChanged);
    for (unsigned event : { ui::Control::TouchUpInside, ui::Control::TouchUpOutside })
        index->addTarget(target, fmt::format("end{}", event),
            [&events, event](ui::Control&, const ui::Event*) { events.push_back(event); }, event);

    // Down in the middle: the value follows on the next pass.
    auto finger = driver.touchDown({ { 294, 240 } });
    runLoop();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_NEAR(values.back(), (200 - 10.5f) / 379, 1e-4);
    // Above the track: clamped to 0, still inside (vertical does not count).
    driver.touchMove({ { finger[0], { 294, 0 } } });
    EXPECT_EQ(values.back(), 0);
    driver.touchMove({ { finger[0], { 294, 470 } } });
    EXPECT_EQ(values.back(), 1);
    driver.touchUp(finger);
    EXPECT_EQ(events, std::vector<unsigned> { ui::Control::TouchUpInside });

    // Released beside the control: outside.
    events.clear();
    finger = driver.touchDown({ { 294, 240 } });
    runLoop();
    driver.touchMove({ { finger[0], { 200, 240 } } });
    driver.touchUp(finger);
    EXPECT_EQ(events, std::vector<unsigned> { ui::Control::TouchUpOutside });
    index->removeFromSuperview();
}

TEST_F(VKPageIndexViewTest, ALaterFadeAlphaOrHighlightCancelsADelayedFade)
{
    auto index = VKPageIndexView::create(gfx::Rect(0, 0, 28, 300));
    index->fadeOut(true, false, 2.0);
    EXPECT_TRUE(index->hasPendingFade());
    advance(2.1);
    EXPECT_EQ(index->alpha(), 0);
    EXPECT_FALSE(index->isEnabled());

    index->fadeOut(false, false, 2.0);
    index->setAlpha(0.5f);
    EXPECT_FALSE(index->hasPendingFade());
    index->fadeOut(true, false, 2.0);
    index->setHighlighted(true);
    EXPECT_FALSE(index->hasPendingFade());
    advance(3);
    EXPECT_EQ(index->alpha(), 0.5f);
    // Already there: nothing pending.
    index->fadeOut(false, false);
    EXPECT_TRUE(index->isEnabled());
    index->fadeOut(false, false, 1.0);
    EXPECT_FALSE(index->hasPendingFade());
}

TEST_F(VKPageIndexViewTest, TheBubbleReadsThePagesAndWidensForLongTexts)
{
    auto bubble = VKPageNumberOverlay::create(gfx::Rect(6, 6, 78, 34));
    bubble->setPageCount(120);
    bubble->setPageIndexRange({ 4, 1 });
    EXPECT_EQ(bubble->pageText(), "5 of 120");
    bubble->setPageIndexRange({ 4, 2 });
    EXPECT_EQ(bubble->pageText(), "5-6 of 120");
    EXPECT_EQ(VKPageText({ 4294967295u, 2 }, 7), "4294967296-4294967297 of 7");

    int redraws = bubble->redrawRequests();
    bubble->setPageNumber(9);
    bubble->setPageNumber(9);
    EXPECT_EQ(bubble->redrawRequests(), redraws + 1);

    bubble->setPageCount(2000);
    float measured = std::ceil(gfx::textEngine()->widthOfString("2000-2000 of 2000", bubble->font())) + 10;
    EXPECT_EQ(bubble->frame().width(), std::max(78.f, measured));
    EXPECT_EQ(bubble->frame().width(), 160);
}

TEST_F(VKPageIndexViewTest, TheTitleViewShowsThePageUnderOrBesideTheTitle)
{
    auto titleView = VKDocumentTitleView::create(gfx::Rect(0, 0, 300, 44));
    titleView->setTitle("Annual Report");
    titleView->setPageCount(1);
    EXPECT_TRUE(titleView->pageLabel().isHidden());
    titleView->setPageCount(120);
    titleView->setPageIndexRange({ 4, 1 });
    EXPECT_EQ(titleView->subtitle(), "5 of 120");
    int updates = titleView->pageLabelUpdates();
    titleView->setPageNumber(5);
    titleView->setPageNumber(5);
    EXPECT_EQ(titleView->pageLabelUpdates(), updates);
    EXPECT_EQ(titleView->sizeThatFits({}).height, 44);
    float least = gfx::textEngine()->widthOfString("900 of 900", gfx::Font::systemFont(13));
    EXPECT_GE(titleView->sizeThatFits({}).width, least);
    titleView->layoutIfNeeded();
    EXPECT_LE(titleView->titleLabel().frame().maxY(), titleView->pageLabel().frame().minY());

    // In a bar between two items: no wider than the span less 20 a side.
    auto bar = ui::NavigationBar::create(gfx::Rect(0, 0, 320, 44));
    auto back = ui::View::create(gfx::Rect(5, 7, 60, 30));
    auto action = ui::View::create(gfx::Rect(275, 7, 40, 30));
    bar->addSubview(back);
    bar->addSubview(titleView);
    bar->addSubview(action);
    titleView->setTitle(std::string(200, 'W'));
    EXPECT_EQ(titleView->frame().width(), (275 - 20) - (65 + 20));
    EXPECT_EQ(titleView->titleLabel().textColor(), gfx::Color::white(1));
    EXPECT_EQ(titleView->titleLabel().shadowOffset(), (gfx::Size { 0, -1 }));

    application().setStatusBarOrientation(ui::Orientation::LandscapeRight, false);
    titleView->updatePageLabel();
    EXPECT_EQ(titleView->subtitle(), " - 5 of 120");
    EXPECT_EQ(titleView->sizeThatFits({}).height, 32);
    titleView->setFrame(gfx::Rect(0, 0, 400, 32));
    titleView->setTitle("Report");
    titleView->setFrame(gfx::Rect(0, 0, 400, 32));
    titleView->layoutIfNeeded();
    EXPECT_EQ(titleView->titleLabel().frame().maxX(), titleView->pageLabel().frame().minX());
    application().setStatusBarOrientation(ui::Orientation::Portrait, false);
}

} // namespace

#include "Viewers/PDF/VKCrosshairHighlightView.h"
#include "Viewers/PDF/VKScrollTrackView.h"
#include "Viewers/PDF/VKScrollView.h"
#include "Viewers/PDF/VKSearchField.h"
#include "Viewers/PDF/VKVerticallyLockingScrollView.h"

#include "Platform/UI/Fonts.h"
#include "Support/UITestCase.h"

#include <cmath>

using namespace test;

namespace {

class VKScrollViewsTest : public UITestCase { };

// Overrides only some messages: the others keep the toolkit's answers.
class OuterDelegate : public core::Object, public ui::ScrollViewDelegate {
public:
    void didScroll(ui::ScrollView&) override { ++scrolls; }
    void willBeginDragging(ui::ScrollView& view) override { offsetAtDragStart = view.contentOffset(); ++drags; }
    ui::View* viewForZooming(ui::ScrollView&) override { return zoomed; }
    int scrolls = 0;
    int drags = 0;
    gfx::Point offsetAtDragStart;
    ui::View* zoomed = nullptr;
};

} // namespace

TEST_F(VKScrollViewsTest, TheScrollViewPassesEveryMessageOnAndZoomsItsContentView)
{
    auto scroll = VKScrollView::create({ 0, 0, 320, 480 });
    window().addSubview(scroll);
    EXPECT_EQ(scroll->ui::ScrollView::delegate().get(), static_cast<ui::ScrollViewDelegate*>(scroll.get()));
    auto outer = std::make_shared<OuterDelegate>();
    scroll->setDelegate(outer);

    auto zoomedByOuter = ui::View::create({ 0, 0, 10, 10 });
    outer->zoomed = zoomedByOuter.get();
    EXPECT_EQ(scroll->viewForZooming(*scroll), zoomedByOuter.get());
    auto content = ui::View::create({ 0, 0, 320, 2000 });
    scroll->setContentView(content);
    EXPECT_EQ(scroll->viewForZooming(*scroll), content.get());
    EXPECT_EQ(content->superview(), scroll.get());
    auto other = ui::View::create({ 0, 0, 320, 900 });
    scroll->setContentView(other);
    EXPECT_EQ(content->superview(), nullptr);
    EXPECT_EQ(other->superview(), scroll.get());

    scroll->setContentSize({ 320, 2000 });
    scroll->setContentOffset({ 0, 100 });
    EXPECT_GE(outer->scrolls, 1);
    driver.drag(*scroll, 0, -200);
    EXPECT_EQ(outer->drags, 1);
    // The drag start was recorded before the outer delegate heard of it.
    EXPECT_EQ(scroll->dragBeginOffset().y, outer->offsetAtDragStart.y);

    // Gone outer delegate: the view still answers.
    outer.reset();
    EXPECT_EQ(scroll->delegate(), nullptr);
    scroll->setContentOffset({ 0, 50 });
    scroll->removeFromSuperview();
}

TEST_F(VKScrollViewsTest, TheVerticalLockHoldsTheStartsXWhileADragIsMostlyVertical)
{
    auto scroll = VKScrollView::create({ 0, 0, 320, 480 });
    window().addSubview(scroll);
    scroll->setContentSize({ 2000, 20000 });
    scroll->setVerticalLock(true);
    scroll->setContentOffset({ 100, 100 });
    // During a drag: 10 across against 50 down keeps x; 15 against 50 moves.
    auto fingers = driver.touchDown({ { 160, 300 } });
    driver.touchMove({ { fingers[0], { 160, 250 } } });
    driver.touchMove({ { fingers[0], { 160, 200 } } });
    ASSERT_TRUE(scroll->isDragging());
    gfx::Point start = scroll->dragBeginOffset();
    scroll->setContentOffset({ start.x + 10, start.y + 50 });
    EXPECT_EQ(scroll->contentOffset(), gfx::Point(start.x, start.y + 50));
    scroll->setContentOffset({ start.x + 15, start.y + 50 });
    EXPECT_EQ(scroll->contentOffset(), gfx::Point(start.x + 15, start.y + 50));
    // No vertical movement: no lock.
    scroll->setContentOffset({ start.x + 5, start.y });
    EXPECT_EQ(scroll->contentOffset(), gfx::Point(start.x + 5, start.y));
    driver.touchUp(fingers);
    driver.wait(2);
    // Not dragging: offsets go through.
    scroll->setContentOffset({ 300, 300 });
    EXPECT_EQ(scroll->contentOffset(), gfx::Point(300, 300));

    // The same rule in the stand-alone locking view.
    EXPECT_EQ(VKVerticallyLockedOffset({ 10, 50 }, { 0, 0 }), gfx::Point(0, 50));
    EXPECT_EQ(VKVerticallyLockedOffset({ 15, 50 }, { 0, 0 }), gfx::Point(15, 50));
    EXPECT_EQ(VKVerticallyLockedOffset({ 15, 0 }, { 0, 0 }), gfx::Point(15, 0));
    auto locking = VKVerticallyLockingScrollView::create({ 0, 0, 320, 480 });
    EXPECT_FALSE(locking->locked());
    scroll->removeFromSuperview();
}

TEST_F(VKScrollViewsTest, TheTrackLaysOutItsStripAndMapsPointsToValues)
{
    auto track = VKScrollTrackView::create({ 0, 0, 44, 400 });
    track->setEdge(VKScrollTrackView::Right);
    EXPECT_EQ(track->trackLayer().frame(), gfx::Rect(18, 9, 8, 382));
    EXPECT_EQ(track->trackHighlightLayer().frame(), gfx::Rect(17, 8, 10, 384));
    EXPECT_EQ(track->trackLayer().cornerRadius(), 4.0f);
    EXPECT_FLOAT_EQ(track->valueForPoint({ 20, 22 }), 0);
    EXPECT_FLOAT_EQ(track->valueForPoint({ 20, 0 }), 0);
    EXPECT_FLOAT_EQ(track->valueForPoint({ 20, 200 }), 0.5f);
    EXPECT_FLOAT_EQ(track->valueForPoint({ 20, 378 }), 1);
    EXPECT_FLOAT_EQ(track->valueForPoint({ 20, 900 }), 1);

    auto bottom = VKScrollTrackView::create({ 0, 0, 400, 44 });
    bottom->setEdge(VKScrollTrackView::Bottom);
    EXPECT_EQ(bottom->trackLayer().frame(), gfx::Rect(18, 18, 364, 8));
    EXPECT_FLOAT_EQ(bottom->valueForPoint({ 22 + 89, 0 }), 0.25f);
    auto empty = VKScrollTrackView::create({ 0, 0, 0, 0 });
    EXPECT_FLOAT_EQ(empty->valueForPoint({ 5, 5 }), 0);
    EXPECT_FALSE(track->isUserInteractionEnabled());
}

TEST_F(VKScrollViewsTest, TheTrackShowsActivePlaceholderOrNothing)
{
    auto track = VKScrollTrackView::create({ 0, 0, 44, 400 });
    EXPECT_TRUE(track->trackLayer().isHidden());
    EXPECT_TRUE(track->trackHighlightLayer().isHidden());
    track->setShowsPlaceholder(true);
    EXPECT_FALSE(track->trackLayer().isHidden());
    EXPECT_FALSE(track->trackHighlightLayer().isHidden());
    EXPECT_EQ(track->trackLayer().backgroundColor(), gfx::Color::white(0, 0.15f));
    EXPECT_EQ(track->trackHighlightLayer().backgroundColor(), gfx::Color::white(1, 0.6f));
    track->setActive(true);
    EXPECT_FALSE(track->trackLayer().isHidden());
    EXPECT_TRUE(track->trackHighlightLayer().isHidden());
    EXPECT_EQ(track->trackLayer().backgroundColor(), gfx::Color::white(0, 0.5f));
}

TEST_F(VKScrollViewsTest, TheCrosshairSpansTheSuperviewThroughItsRectangle)
{
    auto page = ui::View::create({ 0, 0, 300, 400 });
    auto crosshair = VKCrosshairHighlightView::create({ 40, 60, 100, 20 });
    page->addSubview(crosshair);
    crosshair->layoutSubviews();
    EXPECT_EQ(crosshair->horizontalGuide().frame(), gfx::Rect(0, -60, 100, 400));
    EXPECT_EQ(crosshair->verticalGuide().frame(), gfx::Rect(-40, 0, 300, 20));
    EXPECT_EQ(crosshair->bandColorForTesting(), gfx::Color(1, 0.5f, 0, 0.2f));
    crosshair->setBackgroundColor(gfx::Color(0, 0, 1, 0.3f));
    EXPECT_EQ(crosshair->verticalGuide().backgroundColor(), gfx::Color(0, 0, 1, 0.3f));
    EXPECT_EQ(crosshair->backgroundColor(), gfx::Color());
}

TEST_F(VKScrollViewsTest, TheSearchFieldTakesItsImagesHeightAndPutsTextAfterTheCap)
{
    auto field = VKSearchField::create({ 10, 7, 200, 20 });
    ASSERT_TRUE(field);
    EXPECT_EQ(field->frame(), gfx::Rect(10, 7, 200, 31));
    EXPECT_EQ(field->leftCapWidth(), 14u);
    float textHeight = ui::Fonts::sizeOfString("X", field->font()).height;
    EXPECT_EQ(field->heightOffset(), unsigned(std::floor((31 - textHeight) / 2)));
    gfx::Rect bounds = field->bounds();
    gfx::Rect plain = field->ui::TextField::textRectForBounds(bounds);
    gfx::Rect editing = field->editingRectForBounds(bounds);
    EXPECT_EQ(editing, gfx::Rect(plain.minX() + 14, bounds.minY() + float(field->heightOffset()), plain.width() - 14,
                           plain.height()));
    // The text's line sits in the middle of the field, not on its edge.
    EXPECT_NEAR(editing.minY() + editing.height() / 2, bounds.minY() + bounds.height() / 2, 1.0f);
    EXPECT_EQ(field->textRectForBounds(bounds), editing);
    EXPECT_EQ(field->clearButtonMode(), ui::TextField::ViewMode::WhileEditing);
    EXPECT_EQ(field->borderStyle(), ui::TextField::BorderStyle::None);
    EXPECT_EQ(field->autocorrectionType(), ui::TextInput::AutocorrectionType::No);
}

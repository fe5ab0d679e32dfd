// What the toolkit offers a desktop host: damage, the scroll event, marked
// text, clipped rendering and a keyboard that takes no room.

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/UI/DamageTracker.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Transition.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <algorithm>

using namespace ui;

namespace {

class DesktopAdditionsTest : public test::UITestCase { };

bool covers(const std::vector<gfx::Rect>& rects, const gfx::Rect& wanted)
{
    return std::any_of(rects.begin(), rects.end(), [&](const gfx::Rect& r) { return r.contains(wanted); });
}

double areaOf(const std::vector<gfx::Rect>& rects)
{
    double sum = 0;
    for (auto& r : rects)
        sum += double(r.width()) * r.height();
    return sum;
}

TEST_F(DesktopAdditionsTest, MergingKeepsSixteenRectanglesAndGivesUpPastHalfTheScreen)
{
    gfx::Rect screen { 0, 0, 320, 480 };
    // Covered and repeated rectangles go; fractions grow to whole points;
    // what lies off the screen is cut.
    auto merged = DamageTracker::merge({ { 10.5f, 10.2f, 20, 20 }, { 12, 12, 5, 5 }, { 10.5f, 10.2f, 20, 20 },
                                           { 300, 470, 50, 50 }, { 400, 0, 10, 10 } },
        screen);
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0], (gfx::Rect { 10, 10, 21, 21 }));
    EXPECT_EQ(merged[1], (gfx::Rect { 300, 470, 20, 10 }));

    // Forty small squares in a grid: at most sixteen, still covering each.
    std::vector<gfx::Rect> squares;
    for (int i = 0; i < 40; ++i)
        squares.push_back({ float(i % 8) * 40, float(i / 8) * 40, 4, 4 });
    merged = DamageTracker::merge(squares, screen);
    EXPECT_LE(merged.size(), DamageTracker::MaximumRects);
    for (auto& square : squares)
        EXPECT_TRUE(covers(merged, square)) << square.x() << "," << square.y();
    EXPECT_LT(areaOf(merged), 320.0 * 480 / 2);

    EXPECT_EQ(DamageTracker::merge({ { 0, 0, 320, 250 } }, screen), std::vector<gfx::Rect> { screen });
    EXPECT_TRUE(DamageTracker::merge({}, screen).empty());
}

TEST_F(DesktopAdditionsTest, ChangesDamageTheirOldAndNewPlacesOnly)
{
    auto view = View::create({ 10, 10, 50, 50 });
    view->setBackgroundColor(StandardColors::white());
    window().addSubview(view);
    DamageTracker tracker;
    EXPECT_EQ(tracker.collect(), std::vector<gfx::Rect> { gfx::Rect(0, 0, 320, 480) });
    EXPECT_TRUE(tracker.collect().empty()) << "nothing changed";

    view->setFrame({ 100, 200, 50, 50 });
    auto rects = tracker.collect();
    EXPECT_TRUE(covers(rects, { 10, 10, 50, 50 }));
    EXPECT_TRUE(covers(rects, { 100, 200, 50, 50 }));
    EXPECT_LT(areaOf(rects), 2 * 50 * 50 + 1);

    view->setAlpha(0.5f);
    EXPECT_EQ(tracker.collect(), std::vector<gfx::Rect> { gfx::Rect(100, 200, 50, 50) });
    // A layer larger than its clipping view that moves shows the same
    // rectangle of itself, moved: the view redraws.
    auto picture = Layer::create();
    picture->setBounds({ 0, 0, 400, 400 });
    picture->setPosition({ 25, 25 });
    picture->setBackgroundColor(StandardColors::black());
    view->setClipsToBounds(true);
    view->layer().addSublayer(picture);
    tracker.collect();
    picture->setPosition({ 25, 35 });
    EXPECT_EQ(tracker.collect(), std::vector<gfx::Rect> { gfx::Rect(100, 200, 50, 50) });
    picture->removeFromSuperlayer();
    tracker.collect();
    view->setNeedsDisplay();
    EXPECT_EQ(tracker.collect(), std::vector<gfx::Rect> { gfx::Rect(100, 200, 50, 50) });
    view->setHidden(true);
    EXPECT_EQ(tracker.collect(), std::vector<gfx::Rect> { gfx::Rect(100, 200, 50, 50) });
    view->setHidden(false);
    tracker.collect();

    // A subview of a moved parent moves with it.
    auto child = View::create({ 5, 5, 10, 10 });
    view->addSubview(child);
    EXPECT_EQ(tracker.collect(), std::vector<gfx::Rect> { gfx::Rect(105, 205, 10, 10) });
    child->removeFromSuperview();
    EXPECT_EQ(tracker.collect(), std::vector<gfx::Rect> { gfx::Rect(105, 205, 10, 10) });
    EXPECT_FALSE(tracker.isAnimating());

    tracker.invalidateAll();
    EXPECT_EQ(tracker.collect(), std::vector<gfx::Rect> { gfx::Rect(0, 0, 320, 480) });
}

TEST_F(DesktopAdditionsTest, AnimationsDamageEachFrameUntilTheyEnd)
{
    auto view = View::create({ 0, 0, 40, 40 });
    window().addSubview(view);
    DamageTracker tracker;
    tracker.collect();
    ViewAnimation::animate(1.0, [&] { view->setFrame({ 200, 0, 40, 40 }); });
    auto first = tracker.collect();
    EXPECT_TRUE(tracker.isAnimating());
    EXPECT_TRUE(covers(first, { 0, 0, 40, 40 })) << "where it shows now";
    advance(0.5);
    auto middle = tracker.collect();
    EXPECT_TRUE(tracker.isAnimating());
    EXPECT_TRUE(covers(middle, { 0, 0, 40, 40 }));
    EXPECT_FALSE(middle.empty());
    EXPECT_LT(areaOf(middle), 320.0 * 480 / 4) << "only the moving view";
    advance(1.0);
    auto last = tracker.collect();
    EXPECT_TRUE(covers(last, { 200, 0, 40, 40 }));
    EXPECT_FALSE(tracker.isAnimating());
    EXPECT_TRUE(tracker.collect().empty());
}

// A transition changes no model value: its end is drawn all the same, or
// the screen keeps its last frame, the old picture a few percent through.
TEST_F(DesktopAdditionsTest, ATransitionIsDrawnAtItsEnd)
{
    auto view = View::create({ 100, 200, 50, 50 });
    window().addSubview(view);
    DamageTracker tracker;
    tracker.collect();
    Transition fade("fade");
    fade.setDuration(1.0);
    view->layer().addAnimation(fade, Transition::Key);
    advance(0.9);
    EXPECT_TRUE(covers(tracker.collect(), { 100, 200, 50, 50 }));
    advance(0.5);
    EXPECT_TRUE(covers(tracker.collect(), { 100, 200, 50, 50 }));
    EXPECT_FALSE(tracker.isAnimating());
    EXPECT_TRUE(tracker.collect().empty());
}

TEST_F(DesktopAdditionsTest, RenderingIntoRectanglesLeavesTheRestAlone)
{
    auto view = View::create({ 0, 0, 320, 480 });
    view->setBackgroundColor(gfx::Color::rgb255(255, 0, 0));
    window().addSubview(view);
    auto context = gfx::makeImageContext({ 320, 480 }, 1);
    RenderOptions options;
    options.clip = { { 10, 30, 20, 20 } };
    Renderer::renderScreen(*context, options);
    EXPECT_EQ(context->pixelAtForTesting(15, 35).red, 255);
    EXPECT_EQ(context->pixelAtForTesting(15, 35).alpha, 255);
    EXPECT_EQ(context->pixelAtForTesting(15, 5).alpha, 0) << "the status bar lies outside too";
    EXPECT_EQ(context->pixelAtForTesting(100, 100).alpha, 0) << "outside the clip";
}

// The table in a scroller: an inner scroller that cannot move passes the
// scroll on to the outer one.
TEST_F(DesktopAdditionsTest, TheScrollEventMovesTheDeepestScrollerThatCanWithinItsBounds)
{
    auto outer = ScrollView::create({ 0, 0, 320, 480 });
    outer->setContentSize({ 320, 1000 });
    window().addSubview(outer);
    auto inner = ScrollView::create({ 0, 0, 320, 200 });
    inner->setContentSize({ 320, 400 });
    outer->addSubview(inner);

    application().sendEvent(Event::scroll({ 100, 100 }, { 0, 120 }));
    EXPECT_EQ(inner->contentOffset(), (gfx::Point { 0, 120 }));
    EXPECT_EQ(outer->contentOffset(), (gfx::Point { 0, 0 }));
    application().sendEvent(Event::scroll({ 100, 100 }, { 0, 500 }));
    EXPECT_EQ(inner->contentOffset(), (gfx::Point { 0, 200 })) << "stops at its end, no bounce";
    application().sendEvent(Event::scroll({ 100, 100 }, { 0, 40 }));
    EXPECT_EQ(inner->contentOffset(), (gfx::Point { 0, 200 }));
    EXPECT_EQ(outer->contentOffset(), (gfx::Point { 0, 40 })) << "the outer one takes what the inner cannot";
    application().sendEvent(Event::scroll({ 100, 300 }, { 30, -400 }));
    EXPECT_EQ(outer->contentOffset(), (gfx::Point { 0, 0 }));

    // A turned interface: the scroll is the screen's, the offset the view's.
    outer->setScrollEnabled(false);
    application().sendEvent(Event::scroll({ 100, 300 }, { 0, 40 }));
    EXPECT_EQ(outer->contentOffset(), (gfx::Point { 0, 0 }));
    EXPECT_FALSE(outer->isDragging());
}

struct Zooming : ScrollViewDelegate {
    View* zoomed = nullptr;
    int ends = 0;
    View* viewForZooming(ScrollView&) override { return zoomed; }
    void didEndZooming(ScrollView&, View*, float) override { ++ends; }
};

// Ctrl and the wheel (or a touchpad's pinch) zoom the scroll view under the
// pointer about the pointer, within its limits; a view that takes wheel
// events itself keeps them from the views around it.
TEST_F(DesktopAdditionsTest, TheZoomEventZoomsAboutThePointerAndAViewMayTakeTheWheel)
{
    auto scroller = ScrollView::create({ 0, 0, 320, 480 });
    auto content = View::create({ 0, 0, 320, 480 });
    scroller->addSubview(content);
    scroller->setContentSize({ 320, 480 });
    scroller->setMaximumZoomScale(4);
    auto delegate = std::make_shared<Zooming>();
    delegate->zoomed = content.get();
    scroller->setDelegate(delegate);
    window().addSubview(scroller);

    application().sendEvent(Event::zoom({ 100, 200 }, 2));
    EXPECT_FLOAT_EQ(scroller->zoomScale(), 2);
    EXPECT_EQ(scroller->contentOffset(), (gfx::Point { 100, 200 })) << "the point under the pointer stays there";
    EXPECT_EQ(delegate->ends, 1);
    application().sendEvent(Event::zoom({ 100, 200 }, 10));
    EXPECT_FLOAT_EQ(scroller->zoomScale(), 4);
    application().sendEvent(Event::zoom({ 100, 200 }, 0.01f));
    EXPECT_FLOAT_EQ(scroller->zoomScale(), 1);

    struct Taking : View {
        int events = 0;
        bool wheelEvent(const Event&) override { return ++events, true; }
    };
    auto taking = View::make<Taking>(gfx::Rect { 0, 0, 100, 100 });
    content->addSubview(taking);
    scroller->setZoomScale(2);
    gfx::Point before = scroller->contentOffset();
    application().sendEvent(Event::scroll({ 10, 10 }, { 0, 40 }));
    application().sendEvent(Event::zoom({ 10, 10 }, 2));
    EXPECT_EQ(taking->events, 2);
    EXPECT_EQ(scroller->contentOffset(), before);
    EXPECT_FLOAT_EQ(scroller->zoomScale(), 2);
    scroller->setDelegate({});
}

struct Refusing : TextFieldDelegate {
    bool refuse = false;
    bool shouldChangeCharacters(TextField&, core::Range, std::string_view) override { return !refuse; }
};

TEST_F(DesktopAdditionsTest, MarkedTextReplacesItselfUntilCommittedOrRemoved)
{
    auto field = TextField::create({ 10, 40, 300, 31 });
    window().addSubview(field);
    field->becomeFirstResponder();
    field->insertText("ab");
    field->setSelectedRange({ 1, 0 });
    EXPECT_FALSE(field->hasMarkedText());

    field->setMarkedText("u", { 1, 0 });
    EXPECT_EQ(field->text(), "aub");
    EXPECT_EQ(field->markedRange().location, 1u);
    EXPECT_EQ(field->markedRange().length, 1u);
    field->setMarkedText("u6f22", { 5, 0 });
    EXPECT_EQ(field->text(), "au6f22b");
    EXPECT_EQ(field->selectedRange().location, 6u);
    // Committing: the marked text goes, the committed one comes.
    field->setMarkedText("", {});
    field->unmarkText();
    field->insertText("漢");
    EXPECT_EQ(field->text(), "a漢b");
    EXPECT_FALSE(field->hasMarkedText());

    // Kept as typed.
    field->setMarkedText("かな", { 99, 0 });
    EXPECT_EQ(field->selectedRange().location, 1u + 3 + 6) << "a caret past the end stays inside the marked text";
    field->unmarkText();
    EXPECT_EQ(field->text(), "a漢かなb");

    auto refusing = std::make_shared<Refusing>();
    field->setDelegate(refusing);
    refusing->refuse = true;
    field->setMarkedText("x", { 1, 0 });
    EXPECT_EQ(field->text(), "a漢かなb");
    EXPECT_FALSE(field->hasMarkedText()) << "nothing marked that is not there";
    field->setDelegate({});
}

TEST_F(DesktopAdditionsTest, AHardwareKeyboardStaysBelowTheScreen)
{
    std::vector<gfx::Rect> ends;
    auto observer = core::NotificationCenter::defaultCenter().observe(Keyboard::willShowNotification, nullptr,
        [&](const Keyboard::Change& change) { ends.push_back(change.frameEnd); });
    Keyboard::shared().setHardware(true);
    auto field = TextField::create({ 10, 40, 300, 31 });
    window().addSubview(field);
    field->becomeFirstResponder();
    Keyboard::shared().setHardware(false);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_GE(ends[0].minY(), 480) << "the news goes out, nothing makes room";
    field->resignFirstResponder();
}

} // namespace

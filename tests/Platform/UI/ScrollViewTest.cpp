#include "Support/UITestCase.h"

#include "Platform/Core/Exception.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ScrollView.h"

#include <gmock/gmock.h>

namespace {

using test::UITestCase;
class ScrollViewTest : public UITestCase { };

struct ScrollRecorder : ui::ScrollViewDelegate {
    std::vector<std::string> log;
    std::shared_ptr<ui::View> zooming;
    int scrolls = 0;
    void didScroll(ui::ScrollView&) override { ++scrolls; }
    void willBeginDragging(ui::ScrollView& s) override { log.push_back(fmt("will-drag", s)); }
    void didEndDragging(ui::ScrollView& s, bool decelerate) override
    {
        log.push_back(fmt(decelerate ? "end-drag(true)" : "end-drag(false)", s));
    }
    void willBeginDecelerating(ui::ScrollView& s) override { log.push_back(fmt("will-decelerate", s)); }
    void didEndDecelerating(ui::ScrollView& s) override { log.push_back(fmt("end-decelerate", s)); }
    void didEndScrollingAnimation(ui::ScrollView& s) override { log.push_back(fmt("end-animation", s)); }
    ui::View* viewForZooming(ui::ScrollView&) override { return zooming.get(); }
    void didZoom(ui::ScrollView&) override { log.push_back("zoom"); }
    void didEndZooming(ui::ScrollView&, ui::View*, float scale) override
    {
        log.push_back("end-zoom " + std::to_string(int(scale)));
    }
    static std::string fmt(const char* what, ui::ScrollView& s)
    {
        return std::string(what) + " " + std::to_string(int(s.contentOffset().x)) + "," + std::to_string(int(s.contentOffset().y));
    }
};

// Records what a subclass's offset setter sees.
class Watching : public ui::ScrollView {
public:
    std::vector<std::pair<bool, bool>> seen;
    void setContentOffset(gfx::Point offset) override
    {
        seen.emplace_back(isDragging(), isDecelerating());
        ScrollView::setContentOffset(offset);
    }
    using ScrollView::setContentOffset;
};

TEST_F(ScrollViewTest, DragsRubberBandsAndSpringsBack)
{
    auto scroll = ui::View::make<Watching>({ 0, 0, 320, 460 });
    auto recorder = std::make_shared<ScrollRecorder>();
    scroll->setDelegate(recorder);
    scroll->setContentSize({ 320, 1000 });
    window().addSubview(scroll);
    EXPECT_TRUE(scroll->clipsToBoundsForTesting());

    driver.dragAndHold(*scroll, 0, -100);
    EXPECT_EQ(recorder->log, (std::vector<std::string> { "will-drag 0,0", "end-drag(false) 0,100" }));
    EXPECT_EQ(recorder->scrolls, 9); // every step from the one that began the drag
    EXPECT_EQ(scroll->bounds().origin, (gfx::Point { 0, 100 }));
    for (auto [dragging, decelerating] : scroll->seen)
        EXPECT_TRUE(dragging);

    // Past the top: half the finger's distance, then back in 0.3 s.
    scroll->setContentOffset({ 0, 0 });
    recorder->log.clear();
    driver.dragAndHold(*scroll, 0, 100);
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 0, -50 }));
    EXPECT_TRUE(scroll->isDecelerating());
    EXPECT_EQ(recorder->log.back(), "will-decelerate 0,-50");
    advance(0.3);
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 0, 0 }));
    EXPECT_EQ(recorder->log.back(), "end-decelerate 0,0");

    scroll->setBounces(false);
    driver.dragAndHold(*scroll, 0, 100);
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 0, 0 }));
    EXPECT_FALSE(scroll->isDecelerating());
    scroll->removeFromSuperview();
}

TEST_F(ScrollViewTest, FlingsCoastAndPagesTurn)
{
    auto scroll = ui::View::make<Watching>({ 0, 0, 320, 460 });
    auto recorder = std::make_shared<ScrollRecorder>();
    scroll->setDelegate(recorder);
    scroll->setContentSize({ 320, 1000 });
    window().addSubview(scroll);

    driver.fling(*scroll, 0, -100, 1000);
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 0, 100 }));
    EXPECT_TRUE(scroll->isDecelerating());
    scroll->seen.clear();
    advance(0.5);
    EXPECT_GT(scroll->contentOffset().y, 300);
    advance(0.5);
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 0, 450 }));
    EXPECT_EQ(scroll->seen.size(), 60u);
    for (auto [dragging, decelerating] : scroll->seen)
        EXPECT_TRUE(decelerating);
    EXPECT_EQ(recorder->log.back(), "end-decelerate 0,450");
    // Clamped at the end of the content.
    driver.fling(*scroll, 0, -60, 1000);
    advance(1);
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 0, 540 }));

    auto pages = ui::ScrollView::create({ 0, 0, 320, 460 });
    pages->setContentSize({ 960, 460 });
    pages->setPagingEnabled(true);
    window().addSubview(pages);
    driver.dragAndHold(*pages, -100, 0);
    advance(0.3);
    EXPECT_EQ(pages->contentOffset(), (gfx::Point { 0, 0 }));
    driver.dragAndHold(*pages, -200, 0);
    advance(0.3);
    EXPECT_EQ(pages->contentOffset(), (gfx::Point { 320, 0 }));
    driver.fling(*pages, -40, 0, 800, 4);
    advance(0.3);
    EXPECT_EQ(pages->contentOffset(), (gfx::Point { 640, 0 }));
    scroll->removeFromSuperview();
    pages->removeFromSuperview();
}

TEST_F(ScrollViewTest, ZoomsAndAnimatesOffsets)
{
    auto scroll = ui::ScrollView::create({ 0, 0, 320, 480 });
    auto recorder = std::make_shared<ScrollRecorder>();
    recorder->zooming = ui::View::create({ 0, 0, 320, 480 });
    scroll->addSubview(recorder->zooming);
    scroll->setContentSize({ 320, 480 });
    scroll->setDelegate(recorder);
    scroll->setMaximumZoomScale(4);
    window().addSubview(scroll);

    scroll->setZoomScale(2);
    EXPECT_EQ(recorder->zooming->transform(), gfx::AffineTransform::scale(2, 2));
    EXPECT_EQ(scroll->contentSize(), (gfx::Size { 640, 960 }));
    EXPECT_EQ(recorder->zooming->frame(), (gfx::Rect { 0, 0, 640, 960 }));
    EXPECT_EQ(recorder->log, std::vector<std::string> { "zoom" });
    scroll->setZoomScale(9);
    EXPECT_EQ(scroll->zoomScale(), 4);
    scroll->setZoomScale(0.25f);
    EXPECT_EQ(scroll->zoomScale(), 1);
    EXPECT_THROW(scroll->setZoomScale(0), core::Exception);
    EXPECT_THROW(scroll->setZoomScale(std::nanf("")), core::Exception);
    advance(1);
    EXPECT_EQ(std::count(recorder->log.begin(), recorder->log.end(), "end-zoom 1"), 0); // code zooms say nothing

    recorder->log.clear();
    scroll->zoomToRect({ 160, 240, 160, 240 }, true);
    EXPECT_EQ(scroll->zoomScale(), 2);
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 320, 480 }));
    advance(0.29);
    EXPECT_EQ(recorder->log, std::vector<std::string> { "zoom" });
    advance(0.01);
    EXPECT_EQ(recorder->log.back(), "end-zoom 2");

    // Pinching out about the centre keeps the centre.
    scroll->setZoomScale(1);
    driver.pinch(*scroll, 2);
    EXPECT_NEAR(scroll->zoomScale(), 2, 0.01);
    EXPECT_NEAR(scroll->contentOffset().x, 160, 1);
    EXPECT_EQ(recorder->log.back(), "end-zoom 2");

    recorder->log.clear();
    scroll->setContentOffset({ 10, 20 }, true);
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 10, 20 }));
    EXPECT_TRUE(recorder->log.empty());
    advance(0.3);
    EXPECT_EQ(recorder->log, std::vector<std::string> { "end-animation 10,20" });
    scroll->removeFromSuperview();
}

TEST_F(ScrollViewTest, ASmallDriftLeavesTheContentItsTouches)
{
    auto scroll = ui::ScrollView::create({ 0, 0, 320, 460 });
    scroll->setContentSize({ 320, 1000 });
    auto button = ui::Button::create(ui::Button::Type::RoundedRect, { 10, 10, 200, 100 });
    int taps = 0;
    button->addTarget(nullptr, "tapped", [&](ui::Control&, const ui::Event*) { ++taps; }, ui::Control::TouchUpInside);
    scroll->addSubview(button);
    window().addSubview(scroll);
    driver.drag(*button, 0, -6, 3, 0.1);
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 0, 0 }));
    // A drag that starts before the button has the touch scrolls, and the
    // button never hears of it.
    driver.drag(*button, 0, -60, 6, 0.1);
    EXPECT_EQ(taps, 1);
    EXPECT_FALSE(button->isHighlighted());
    EXPECT_GT(scroll->contentOffset().y, 50);

    // Scrolling a rectangle into view moves as little as shows it.
    scroll->setContentOffset({ 0, 0 });
    scroll->scrollRectToVisible({ 0, 600, 10, 100 }, false);
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 0, 240 }));
    scroll->scrollRectToVisible({ 0, 100, 10, 10 }, false);
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 0, 100 }));
    scroll->removeFromSuperview();
}

} // namespace

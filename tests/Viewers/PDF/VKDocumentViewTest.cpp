#include "PDFLayoutTestCase.h"

#include "Platform/UI/Application.h"
#include "Platform/UI/LongPressGestureRecognizer.h"
#include "Support/LogHook.h"
#include "Support/NotificationRecorder.h"
#include "Viewers/PDF/VKOverlayView.h"
#include "Viewers/PDF/VKScrollTrackView.h"

using namespace test;

namespace {

// The base with the hooks a layout would have: counts flush questions,
// keeps even pages, and records jumps.
class BaseLayout : public VKDocumentView {
public:
    bool shouldFlushCachedPageAtIndex(size_t index) const override
    {
        asked.push_back(index);
        return index % 2 == 1;
    }
    void willFlushCachedPageView(ui::View& view) override { told.push_back(&view); }
    void scrollToPageAtIndex(size_t index, const gfx::Rect&, bool) override { jumps.push_back(index); }
    mutable std::vector<size_t> asked;
    std::vector<ui::View*> told;
    std::vector<size_t> jumps;
};

class VKDocumentViewTest : public PDFLayoutTestCase {
protected:
    std::shared_ptr<BaseLayout> makeLayout(size_t pages)
    {
        source->sizes.assign(pages, { 612, 792 });
        auto layout = std::make_shared<BaseLayout>();
        layout->setFrame({ 0, 0, 320, 480 });
        layout->setDataSource(source.get());
        layout->setDelegate(delegate.get());
        window().addSubview(layout);
        return layout;
    }
};

} // namespace

TEST_F(VKDocumentViewTest, PageViewsAreMadeOnceFramedAndCachedButNotPlaced)
{
    auto layout = makeLayout(4);
    EXPECT_EQ(layout->numPages(), 4u);
    auto view = layout->viewForPageAtIndex(2);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->frame().size.width, 320);
    EXPECT_NEAR(view->frame().size.height, 792.0 * 320 / 612, 1e-3);
    EXPECT_EQ(view->superview(), nullptr);
    EXPECT_TRUE(delegate->added.empty());
    EXPECT_EQ(layout->viewForPageAtIndex(2), view);
    EXPECT_EQ(source->viewsMade, std::vector<size_t> { 2 });
    // Past the document: nothing asked, nothing made.
    EXPECT_EQ(layout->viewForPageAtIndex(4), nullptr);
    EXPECT_EQ(layout->frameForPageAtIndex(9), gfx::Rect(0, 0, 0, 0));
    EXPECT_EQ(source->viewsMade.size(), 1u);
    layout->removeFromSuperview();
}

TEST_F(VKDocumentViewTest, FlushingAsksEachPageThenTellsAndMemoryWarningsFlush)
{
    auto layout = makeLayout(4);
    for (size_t i = 0; i < 4; ++i)
        layout->viewForPageAtIndex(i);
    auto third = layout->viewForPageAtIndex(3);
    layout->flushCache();
    EXPECT_EQ(layout->asked.size(), 4u);
    EXPECT_EQ(layout->told.size(), 2u);
    EXPECT_EQ(layout->told.back(), third.get());
    EXPECT_EQ(layout->cachedPageIndexes(), (std::vector<size_t> { 0, 2 }));

    layout->asked.clear();
    layout->viewForPageAtIndex(1);
    driver.memoryWarning();
    EXPECT_EQ(layout->asked.size(), 3u);
    EXPECT_EQ(layout->cachedPageViews().size(), 2u);
    layout->removeFromSuperview();
}

TEST_F(VKDocumentViewTest, TheRangeIsPostedEveryTimeAndAbstractOperationsOnlyLog)
{
    auto layout = makeLayout(3);
    NotificationRecorder recorder(VKDocumentViewPageRangeDidChangeNotification, layout);
    layout->updateCurrentIndexRange({ 1, 1 });
    layout->updateCurrentIndexRange({ 1, 1 });
    EXPECT_EQ(recorder.received.size(), 2u);
    EXPECT_EQ(layout->currentIndexRange(), (core::Range { 1, 1 }));

    auto base = std::make_shared<VKDocumentView>();
    LogHook::begin();
    base->zoomOutAroundPoint({ 1, 2 }, true);
    base->zoomToScaledRect({ 0, 0, 1, 1 }, false);
    auto lines = LogHook::lines();
    LogHook::end();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("-[VKDocumentView zoomOutAroundPoint:animated:] Please implement "
                            "-[VKDocumentView zoomOutAroundPoint:animated:]"),
        std::string::npos);
    EXPECT_EQ(base->contentZoom(), 0);
    EXPECT_EQ(base->scrollView(), nullptr);
    EXPECT_FALSE(base->handleSingleTapRecognized(*std::make_shared<ui::LongPressGestureRecognizer>()));
    layout->removeFromSuperview();
}

TEST_F(VKDocumentViewTest, ThumbnailsModePlacesTrackAndOverlayInsideTheChrome)
{
    auto layout = makeLayout(10);
    layout->setThumbnailsEnabled(true);
    ASSERT_TRUE(layout->thumbnailsEnabled());
    auto* track = layout->scrollTrackView();
    auto* overlay = layout->overlayView();
    EXPECT_TRUE(overlay->isHidden());
    EXPECT_EQ(overlay->maxDepth(), 3u);
    EXPECT_EQ(track->activeColor(), gfx::Color::white(1, 0.4f));
    EXPECT_EQ(track->placeholderColor(), gfx::Color::white(0, 0.3f));
    EXPECT_DOUBLE_EQ(layout->longPressRecognizer()->minimumPressDuration(), 0.15);

    track->setEdge(VKScrollTrackView::Right);
    layout->setToolbarInsets({ 64, 0, 44, 0 });
    EXPECT_TRUE(track->showsPlaceholder());
    EXPECT_EQ(track->frame(), gfx::Rect(271, 64, 44, 372));
    EXPECT_EQ(overlay->frame(), gfx::Rect(0, 0, 320, 480));
    EXPECT_EQ(overlay->toolbarInsets(), (gfx::EdgeInsets { 64, 0, 44, 49 }));
    EXPECT_EQ(layout->subviews().back().get(), track);
    layout->setToolbarInsets({ 0, 0, 0, 0 });
    EXPECT_FALSE(track->showsPlaceholder());
    layout->setToolbarInsets({ 0, 0, 0, 1 });
    EXPECT_TRUE(track->showsPlaceholder());

    layout->setThumbnailsEnabled(false);
    EXPECT_FALSE(layout->thumbnailsEnabled());
    EXPECT_EQ(layout->scrollTrackView(), nullptr);
    EXPECT_TRUE(layout->gestureRecognizers().empty());
    layout->removeFromSuperview();
}

TEST_F(VKDocumentViewTest, ScrubbingTheTrackFillsTheOverlayAndJumpsOnRelease)
{
    auto layout = makeLayout(10);
    layout->setThumbnailsEnabled(true);
    auto* track = layout->scrollTrackView();
    auto* overlay = layout->overlayView();
    track->setEdge(VKScrollTrackView::Right);
    layout->setToolbarInsets({ 64, 0, 44, 0 });
    // Track (271, 64, 44, 372): values run from y 86 to y 414.
    auto fingers = driver.touchDown({ { 293, 86 + 328 * 0.55f } });
    driver.wait(0.2);
    EXPECT_FALSE(overlay->isHidden());
    EXPECT_TRUE(track->active());
    EXPECT_EQ(overlay->upperText(), "Page 6 of 10");
    EXPECT_EQ(overlay->lowerText(), "Chapter 6");
    EXPECT_EQ(overlay->imagePlaceholderSize(), gfx::Size(77, 100));
    EXPECT_EQ(source->lengths.back(), VKOverlayView::imageLength());
    // Towards the middle of the page: the content hides, the overlay stays.
    driver.touchMove({ { fingers[0], { 100, 200 } } });
    EXPECT_TRUE(overlay->contentHidden());
    EXPECT_FALSE(overlay->isHidden());
    // Back in the active region, at the end of the track.
    driver.touchMove({ { fingers[0], { 300, 460 } } });
    EXPECT_FALSE(overlay->contentHidden());
    EXPECT_EQ(overlay->upperText(), "Page 10 of 10");
    driver.touchUp(fingers);
    EXPECT_TRUE(overlay->isHidden());
    EXPECT_FALSE(track->active());
    EXPECT_EQ(layout->jumps, std::vector<size_t> { 9 });

    // Released beyond the track's outer side: no jump.
    fingers = driver.touchDown({ { 293, 200 } });
    driver.wait(0.2);
    driver.touchMove({ { fingers[0], { 319, 200 } } });
    driver.touchUp(fingers);
    EXPECT_EQ(layout->jumps.size(), 1u);
    // Released in the middle of the page: no jump.
    fingers = driver.touchDown({ { 293, 200 } });
    driver.wait(0.2);
    driver.touchMove({ { fingers[0], { 120, 200 } } });
    driver.touchUp(fingers);
    EXPECT_EQ(layout->jumps.size(), 1u);
    layout->removeFromSuperview();
}

TEST_F(VKDocumentViewTest, ScrubbingNeedsTheChromeTheTrackAndPages)
{
    auto layout = makeLayout(1);
    layout->setThumbnailsEnabled(true);
    auto* track = layout->scrollTrackView();
    track->setEdge(VKScrollTrackView::Right);
    layout->setToolbarInsets({ 0, 0, 0, 0 });
    auto fingers = driver.touchDown({ { 293, 240 } });
    driver.wait(0.3);
    EXPECT_TRUE(layout->overlayView()->isHidden());
    driver.touchUp(fingers);
    layout->setToolbarInsets({ 64, 0, 44, 0 });
    // Outside the track: no scrubbing.
    fingers = driver.touchDown({ { 200, 200 } });
    driver.wait(0.3);
    EXPECT_TRUE(layout->overlayView()->isHidden());
    driver.touchUp(fingers);
    // One page: every value is page 1.
    fingers = driver.touchDown({ { 293, 400 } });
    driver.wait(0.3);
    EXPECT_EQ(layout->overlayView()->upperText(), "Page 1 of 1");
    driver.touchUp(fingers);
    EXPECT_EQ(layout->jumps, std::vector<size_t> { 0 });

    // No pages: the press begins and does nothing.
    source->sizes.clear();
    layout->reloadData();
    fingers = driver.touchDown({ { 293, 400 } });
    driver.wait(0.3);
    driver.touchUp(fingers);
    EXPECT_TRUE(layout->overlayView()->isHidden());
    EXPECT_EQ(layout->jumps.size(), 1u);
    layout->removeFromSuperview();
}

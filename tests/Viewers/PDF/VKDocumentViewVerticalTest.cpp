#include "PDFLayoutTestCase.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/PDF/ObjectLocks.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TiledLayer.h"
#include "Support/NotificationRecorder.h"
#include "Viewers/PDF/VKDocumentViewVertical.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKScrollTrackView.h"
#include "Viewers/PDF/VKScrollView.h"
#include "Viewers/PDF/VKTiledPageLayer.h"
#include "Viewers/PDF/VKTiledPageView.h"

#include "Kit/ScrollViewAdditions.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

using namespace test;

namespace {

class VKDocumentViewVerticalTest : public PDFLayoutTestCase {
protected:
    std::shared_ptr<VKDocumentViewVertical> makeLayout(std::vector<gfx::Size> sizes, gfx::Rect frame = { 0, 0, 320, 480 })
    {
        source->sizes = std::move(sizes);
        auto layout = VKDocumentViewVertical::create(frame);
        layout->setDelegate(delegate.get());
        layout->setDataSource(source.get());
        window().addSubview(layout);
        layout->layoutIfNeeded();
        return layout;
    }
    static void settle(VKDocumentViewVertical& layout)
    {
        layout.layoutIfNeeded();
    }
    // The pages within a screen of the view (they have views).
    static size_t nearPages(VKDocumentViewVertical& layout)
    {
        auto& scroll = layout.documentScrollView();
        float z = scroll.zoomScale();
        gfx::Rect b = scroll.bounds();
        gfx::Rect v(b.minX() / z, b.minY() / z, b.width() / z, b.height() / z);
        return layout.pagesIntersectingRect(v.insetBy(0, -v.height())).length;
    }
    // A layout in the window over a built document of `pages` pages whose
    // geometry a loading thread has read, as the viewer has it.
    std::shared_ptr<VKDocumentViewVertical> makeDocumentLayout(int pages)
    {
        auto document = VKPDFDocument::initWithData(textDocument(pages));
        if (!document)
            return nullptr;
        std::thread([&] { document->pageGeometry(0); }).join();
        source->document = document;
        auto layout = VKDocumentViewVertical::create({ 0, 0, 320, 480 });
        window().addSubview(layout);
        layout->setDataSource(source.get());
        return layout;
    }
};

} // namespace

TEST_F(VKDocumentViewVerticalTest, PagesAreFramedInUnitCoordinatesWithAThinBorder)
{
    auto empty = makeLayout({});
    EXPECT_EQ(empty->documentScrollView().contentSize(), gfx::Size(320, 3));
    EXPECT_TRUE(source->viewsMade.empty());
    EXPECT_EQ(source->sizesAsked, 0u);
    EXPECT_EQ(empty->currentIndexRange().location, core::kNotFound);
    EXPECT_EQ(empty->pagesIntersectingRect({ 0, 0, 320, 480 }).length, 0u);
    EXPECT_EQ(empty->frameForPageAtIndex(0), gfx::Rect(0, 0, 0, 0));
    empty->removeFromSuperview();

    auto layout = makeLayout({ { 612, 792 } });
    EXPECT_EQ(layout->frameForPageAtIndex(0), gfx::Rect(3, 3, 314, 406));
    EXPECT_EQ(layout->documentScrollView().contentSize(), gfx::Size(320, 412));
    layout->removeFromSuperview();

    source->viewsMade.clear();
    auto mixed = makeLayout({ { 612, 792 }, { 306, 396 } });
    EXPECT_EQ(mixed->frameForPageAtIndex(1), gfx::Rect(82, 412, 157, 203));
    EXPECT_EQ(mixed->documentScrollView().contentSize(), gfx::Size(320, 618));
    EXPECT_EQ(source->viewsMade, (std::vector<size_t> { 0, 1 }));
    // Bad indexes read nothing.
    EXPECT_EQ(mixed->frameForPageAtIndex(2), gfx::Rect(0, 0, 0, 0));
    mixed->scrollToPageAtIndex(7, { 0, 0, 0, 0 }, false);
    mixed->removeFromSuperview();

    source->viewsMade.clear();
    float nan = std::nanf("");
    auto zero = makeLayout({ { 0, 100 }, { nan, -5 }, { INFINITY, 10 } });
    EXPECT_TRUE(zero->frameForPageAtIndex(0).isEmpty());
    EXPECT_TRUE(source->viewsMade.empty());
    zero->removeFromSuperview();
}

TEST_F(VKDocumentViewVerticalTest, OnlyIntersectingPagesArePlacedAndTheForemostIsPostedOnChange)
{
    auto layout = makeLayout(std::vector<gfx::Size>(30, { 612, 792 }));
    NotificationRecorder recorder(VKDocumentViewPageRangeDidChangeNotification, layout);
    EXPECT_EQ(layout->currentIndexRange(), (core::Range { 0, 1 }));
    // The two pages in view, and the one within a screen below, drawn ahead.
    EXPECT_EQ(delegate->added, (std::vector<size_t> { 0, 1, 2 }));
    EXPECT_EQ(delegate->addedHadSuperview, (std::vector<bool> { false, false, false }));
    auto& scroll = layout->documentScrollView();
    // Page 1 shows more than page 0 at this offset.
    scroll.setContentOffset({ 0, 300 });
    settle(*layout);
    EXPECT_EQ(layout->currentIndexRange(), (core::Range { 1, 1 }));
    EXPECT_EQ(recorder.received.size(), 1u);
    scroll.setContentOffset({ 0, 310 });
    settle(*layout);
    EXPECT_EQ(recorder.received.size(), 1u);
    // Only the border between two pages in view: the page nearest the centre.
    EXPECT_EQ(layout->indexofPageNearestPoint({ 160, 410.5f }), 0u);
    EXPECT_EQ(layout->pagesNearVerticalPosition(5000).length, 2u);
    EXPECT_EQ(layout->pagesIntersectingRect({ 0, 409.5f, 320, 2 }).length, 0u);
    layout->removeFromSuperview();
}

TEST_F(VKDocumentViewVerticalTest, PageViewsFarAwayLeaveTheCacheOnceItGrows)
{
    auto layout = makeLayout(std::vector<gfx::Size>(1000, { 612, 792 }));
    auto& scroll = layout->documentScrollView();
    for (float y = 0; y < 400 * 409; y += 240) {
        scroll.setContentOffset({ 0, y });
        settle(*layout);
        ASSERT_LE(layout->cachedPageIndexes().size(), 2 * (nearPages(*layout) + 2));
    }
    for (auto& view : layout->cachedPageViews())
        EXPECT_EQ(view->superview(), &layout->contentView());
    EXPECT_EQ(layout->contentView().subviews().size(), layout->cachedPageViews().size());
    driver.memoryWarning();
    EXPECT_EQ(layout->cachedPageIndexes().size(), layout->visiblePageRange().length);
    layout->removeFromSuperview();
}

TEST_F(VKDocumentViewVerticalTest, TapPagingStepsAScreenLessTheTapRegionAndSaysWhenItCannot)
{
    auto layout = makeLayout(std::vector<gfx::Size>(5, { 612, 792 }));
    auto& scroll = layout->documentScrollView();
    EXPECT_FALSE(layout->handleSingleTapAtPoint({ 160, 470 }));
    layout->setPagingEnabled(true);
    EXPECT_TRUE(layout->handleSingleTapAtPoint({ 160, 10 }));
    EXPECT_EQ(delegate->ignored, std::vector<int> { 1 });
    EXPECT_TRUE(layout->handleSingleTapAtPoint({ 160, 470 }));
    EXPECT_EQ(scroll.contentOffset().y, 480 - 64);
    EXPECT_FALSE(layout->handleSingleTapAtPoint({ 160, 240 }));
    scroll.setContentOffset({ 0, scroll.contentSize().height - 480 });
    EXPECT_TRUE(layout->handleSingleTapAtPoint({ 160, 470 }));
    EXPECT_EQ(delegate->ignored, (std::vector<int> { 1, -1 }));
    layout->removeFromSuperview();

    // Content shorter than the view: no negative offset.
    delegate->ignored.clear();
    auto one = makeLayout({ { 612, 792 } }, { 0, 0, 320, 480 });
    one->setPagingEnabled(true);
    EXPECT_TRUE(one->handleSingleTapAtPoint({ 160, 470 }));
    EXPECT_EQ(one->documentScrollView().contentOffset().y, 0);
    EXPECT_EQ(delegate->ignored, std::vector<int> { -1 });
    one->removeFromSuperview();
}

TEST_F(VKDocumentViewVerticalTest, ZoomScrollingToPagesAndRotationKeepTheReadersPlace)
{
    auto layout = makeLayout(std::vector<gfx::Size>(20, { 612, 792 }));
    auto& scroll = layout->documentScrollView();
    EXPECT_FLOAT_EQ(scroll.minimumZoomScale(), 1);
    EXPECT_FLOAT_EQ(scroll.maximumZoomScale(), 1000);
    EXPECT_EQ(scroll.viewForZooming(scroll), &layout->contentView());
    for (float zoom : { 1.0f, 4.0f }) {
        layout->setContentZoom(zoom);
        layout->scrollToPageAtIndex(10, { 0, 0, 0, 0 }, false);
        gfx::Rect page = layout->contentView().convertRect(layout->frameForPageAtIndex(10), layout.get());
        EXPECT_NEAR(page.minY(), 3.2f, 0.01f) << zoom;
    }
    layout->setContentZoom(4);
    layout->zoomOutAroundPoint({ 160, 240 }, false);
    EXPECT_FLOAT_EQ(layout->contentZoom(), 1);

    // Turned, the zoom keeps its place between fitting the width and the
    // maximum; the least zoom shows a whole page with its borders.
    layout->setContentZoom(3);
    scroll.setContentOffset({ 200, 5000 });
    gfx::Point centre = vkNormalizedCenterOffset(scroll);
    auto placeAboveFit = [&](float fit) { return (scroll.zoomScale() - fit) / (scroll.maximumZoomScale() - fit); };
    float zoom = placeAboveFit(1);
    layout->setFrame({ 0, 0, 480, 320 });
    EXPECT_NEAR(scroll.minimumZoomScale(), 320 / (320 * (0.98f * 792 / 612 + 0.02f)), 1e-4);
    EXPECT_NEAR(placeAboveFit(1.5f), zoom, 1e-4);
    EXPECT_NEAR(vkNormalizedCenterOffset(scroll).x, centre.x, 1e-3);
    EXPECT_NEAR(vkNormalizedCenterOffset(scroll).y, centre.y, 1e-3);

    layout->setToolbarContentInsets({ 64, 0, 44, 0 });
    EXPECT_EQ(scroll.contentInset(), (gfx::EdgeInsets { 64, 0, 44, 0 }));
    EXPECT_EQ(scroll.scrollIndicatorInsets(), (gfx::EdgeInsets { 64, 0, 44, 0 }));
    layout->setThumbnailsEnabled(true);
    EXPECT_EQ(layout->scrollTrackView()->edge(), 2);
    layout->removeFromSuperview();

    auto tablet = makeLayout(std::vector<gfx::Size>(3, { 612, 792 }), { 0, 0, 768, 1024 });
    EXPECT_FLOAT_EQ(tablet->documentScrollView().minimumZoomScale(), 2.4f);
    EXPECT_FLOAT_EQ(tablet->contentZoom(), 2.4f);
    tablet->removeFromSuperview();
}

TEST_F(VKDocumentViewVerticalTest, ScrollingThroughPagesTakesNoDocumentLockOnTheMainThread)
{
    // The page count and geometry are read on the viewer's loading thread;
    // from here on nothing may lock.
    auto layout = makeDocumentLayout(20);
    ASSERT_TRUE(layout);
    uint64_t before = pdf::objectLocksOnMainThread();
    auto& scroll = layout->documentScrollView();
    for (float y = 0; y + 480 <= scroll.contentSize().height; y += 200) {
        scroll.setContentOffset({ 0, y });
        layout->layoutIfNeeded();
        ui::Renderer::renderImage(window());
    }
    ui::TiledLayer::renderAllVisibleTilesSynchronously();
    EXPECT_EQ(pdf::objectLocksOnMainThread(), before);
    EXPECT_EQ(layout->currentIndexRange().location, 19u);
    layout->removeFromSuperview();
    runLoop();
}

TEST_F(VKDocumentViewVerticalTest, ScrollingThroughHundredsOfPagesKeepsViewsTilesAndPicturesBounded)
{
    // Frames as the window makes them, a screen apart, with the main loop
    // taking finished tiles between them: what is alive at any time must
    // not grow with the pages scrolled past.
    auto layout = makeDocumentLayout(300);
    ASSERT_TRUE(layout);
    gfx::Rect screen = ui::Screen::main()->bounds();
    float scale = ui::Screen::main()->scale();
    double screenPixels = double(screen.width()) * screen.height() * scale * scale;
    size_t mostLive = 0;
    double mostTilePixels = 0, mostPicturePixels = 0;
    uint64_t drawnBefore = ui::TiledLayer::tilesDrawnForTesting();
    auto& scroll = layout->documentScrollView();
    float end = scroll.contentSize().height - 480;
    for (float y = 0; y < end + 480; y += 480) {
        scroll.setContentOffset({ 0, std::min(y, end) });
        layout->layoutIfNeeded();
        ui::Renderer::renderImage(window());
        core::RunLoop::main().runOnce();
        size_t live = 0;
        double tilePixels = 0;
        for (auto& weak : source->madeViews) {
            auto view = std::dynamic_pointer_cast<VKPDFPageView>(weak.lock());
            if (!view)
                continue;
            ++live;
            tilePixels += double(view->contentView().tiledLayer().cachedPixelsForTesting());
        }
        double picturePixels = 0;
        std::function<void(const ui::Layer&)> sum = [&](const ui::Layer& layer) {
            if (auto& backing = layer.backingImage())
                picturePixels += double(backing->pixelWidth()) * backing->pixelHeight();
            for (auto& sublayer : layer.sublayers())
                sum(*sublayer);
        };
        sum(window().layer());
        mostLive = std::max(mostLive, live);
        mostTilePixels = std::max(mostTilePixels, tilePixels);
        mostPicturePixels = std::max(mostPicturePixels, picturePixels);
    }
    EXPECT_EQ(layout->currentIndexRange().location, 299u);
    EXPECT_LE(mostLive, 16u); // the pages within a screen and the cache's slack
    EXPECT_LE(mostTilePixels, 4 * screenPixels);
    // Own drawing of the views in the window: never more than a screenful
    // (the long content view under the pages draws nothing).
    EXPECT_LE(mostPicturePixels, screenPixels);
    EXPECT_GT(ui::TiledLayer::tilesDrawnForTesting(), drawnBefore);
    layout->removeFromSuperview();
    runLoop();
}

TEST_F(VKDocumentViewVerticalTest, AHundredThousandPagesLayOutAndScroll)
{
    auto layout = makeLayout(std::vector<gfx::Size>(100000, { 612, 792 }));
    EXPECT_EQ(source->sizesAsked, 100000u);
    EXPECT_EQ(source->viewsMade, (std::vector<size_t> { 0, 1, 2 }));
    auto& scroll = layout->documentScrollView();
    // 100,000 pages 313.6 points wide and 100,001 borders of 3.2.
    double expected = 100000 * (313.6 * 792 / 612) + 100001 * 3.2;
    EXPECT_NEAR(scroll.contentSize().height, expected, expected * 1e-6);
    for (size_t index : { size_t(50000), size_t(99999) }) {
        source->viewsMade.clear();
        layout->scrollToPageAtIndex(index, { 0, 0, 0, 0 }, false);
        settle(*layout);
        EXPECT_EQ(layout->currentIndexRange().location, index);
        EXPECT_TRUE(std::find(source->viewsMade.begin(), source->viewsMade.end(), index) != source->viewsMade.end());
        EXPECT_LE(source->viewsMade.size(), 6u);
        EXPECT_LE(layout->cachedPageIndexes().size(), 2 * (nearPages(*layout) + 2));
    }
    // Forty million points down, single-precision points come in steps of
    // 4: frames stay a page high and a border apart within a step, never
    // overlapping.
    for (size_t i = 99990; i < 99999; ++i) {
        gfx::Rect a = layout->frameForPageAtIndex(i), b = layout->frameForPageAtIndex(i + 1);
        EXPECT_NEAR(a.height(), 406, 4) << i;
        EXPECT_GE(b.minY() - a.maxY(), 0) << i;
        EXPECT_LE(b.minY() - a.maxY(), 8) << i;
    }
    gfx::Rect last = layout->frameForPageAtIndex(99999);
    EXPECT_NEAR(scroll.contentSize().height - last.maxY(), 3.2, 4.8);
    layout->removeFromSuperview();
}

// While the reader reads, the pages of the next screen are drawn: a Page
// Down shows them at once, with every tile worker held, and no checkerboard.
TEST_F(VKDocumentViewVerticalTest, PagingDownShowsPagesDrawnAheadWhileTheWorkersAreHeld)
{
    static std::atomic<bool> held { false };
    held = false;
    VKPDFPageView::setDrawHookForTesting([] {
        while (held)
            std::this_thread::yield();
    });
    auto layout = makeDocumentLayout(12);
    ASSERT_TRUE(layout);
    auto& scroll = layout->documentScrollView();
    // Drawn as the desktop window draws, clipped to what changed: pages
    // outside it are passed by, not drawn.
    ui::RenderOptions clipped;
    clipped.clip = { window().bounds() };
    auto drawn = [&] {
        layout->layoutIfNeeded();
        ui::Renderer::renderScreenImage(clipped);
        for (auto& view : layout->cachedPageViews())
            if (auto page = std::dynamic_pointer_cast<VKPDFPageView>(view); page && page->contentView().tiledLayer().pendingTileCount() > 0)
                return false;
        return true;
    };
    // A square of the checkerboard's grey is no anti-aliased letter.
    auto checkerboardShows = [&](const gfx::BitmapContext& picture) {
        float scale = float(picture.width()) / window().bounds().width();
        auto grey = [&](int x, int y) {
            auto p = picture.pixelAtForTesting(x, y);
            return p.red == 204 && p.green == 204 && p.blue == 204;
        };
        core::Range visible = layout->visiblePageRange();
        gfx::Rect shown = scroll.convertRect(scroll.bounds(), nullptr);
        for (size_t index = visible.location; index < visible.location + visible.length; ++index) {
            gfx::Rect f = layout->contentView().convertRect(layout->frameForPageAtIndex(index), nullptr).intersection(shown);
            for (int y = int(f.minY() * scale); y + 4 < int(f.maxY() * scale); ++y)
                for (int x = int(f.minX() * scale); x + 4 < int(f.maxX() * scale); ++x)
                    if (grey(x, y) && grey(x + 3, y) && grey(x, y + 3) && grey(x + 3, y + 3) && grey(x + 2, y + 1))
                        return true;
        }
        return false;
    };
    for (int turn = 0; turn < 3; ++turn) {
        ASSERT_TRUE(core::RunLoop::main().runUntil(drawn, 30)) << turn;
        held = true;
        gfx::Point before = scroll.contentOffset();
        ASSERT_TRUE(scroll.performKeyCommand(ui::KeyCommand::PageDown));
        ASSERT_GT(scroll.contentOffset().y, before.y + 300);
        layout->layoutIfNeeded();
        auto picture = ui::Renderer::renderScreenImage(clipped);
        held = false;
        ASSERT_TRUE(picture);
        EXPECT_FALSE(checkerboardShows(*picture)) << turn;
    }
    layout->removeFromSuperview();
    runLoop();
}

TEST_F(VKDocumentViewVerticalTest, APageThatTakesSecondsToDrawKeepsOneWorkerBusyAndNothingElse)
{
    // The first tile taken is held until the test lets it go (or for five
    // seconds); the other worker draws the pages scrolled to meanwhile, and
    // the main thread never waits for the held one: every wait below ends
    // while it is still held.
    static std::atomic<bool> release { false };
    static std::atomic<int> entered { 0 };
    release = false;
    entered = 0;
    VKPDFPageView::setDrawHookForTesting([] {
        if (entered++ == 0) {
            while (!release)
                std::this_thread::yield();
        }
    });
    auto layout = makeDocumentLayout(12);
    ASSERT_TRUE(layout);
    layout->layoutIfNeeded();
    ui::Renderer::renderImage(window());
    ASSERT_TRUE(core::RunLoop::main().runUntil([] { return entered > 0; }, 30));
    std::thread watchdog([] {
        for (int i = 0; i < 500 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        release = true;
    });
    for (size_t index : { size_t(4), size_t(8), size_t(11) }) {
        layout->scrollToPageAtIndex(index, { 0, 0, 0, 0 }, false);
        layout->layoutIfNeeded();
        ui::Renderer::renderImage(window());
        ui::TiledLayer::renderAllVisibleTilesSynchronously();
        auto view = std::dynamic_pointer_cast<VKPDFPageView>(layout->viewForPageAtIndex(index));
        EXPECT_TRUE(view && view->contentView().tiledLayer().cachedTileCount() > 0) << index;
    }
    EXPECT_FALSE(release.load());
    release = true;
    watchdog.join();
    layout->scrollToPageAtIndex(0, { 0, 0, 0, 0 }, false);
    layout->layoutIfNeeded();
    ui::TiledLayer::renderAllVisibleTilesSynchronously();
    auto first = std::dynamic_pointer_cast<VKPDFPageView>(layout->viewForPageAtIndex(0));
    ASSERT_TRUE(first);
    EXPECT_GT(first->contentView().tiledLayer().cachedTileCount(), 0u);
    layout->removeFromSuperview();
    runLoop();
}

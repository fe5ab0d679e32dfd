#include "PDFLayoutTestCase.h"

#include "Kit/ScrollViewAdditions.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TiledLayer.h"
#include "Support/UIScreens.h"
#include "Viewers/PDF/VKCenteringScrollView.h"
#include "Viewers/PDF/VKDocumentViewHorizontal.h"
#include "Viewers/PDF/VKDocumentViewHorizontalDouble.h"
#include "Viewers/PDF/VKDoublePageView.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKPagingView.h"
#include "Viewers/PDF/VKScrollPagingViewCell.h"
#include "Viewers/PDF/VKScrollTrackView.h"
#include "Viewers/PDF/VKTiledPageLayer.h"
#include "Viewers/PDF/VKTiledPageView.h"

#include <cmath>

using namespace test;

namespace {

class VKDocumentViewHorizontalTest : public PDFLayoutTestCase {
protected:
    template<typename Layout>
    std::shared_ptr<Layout> host(std::shared_ptr<Layout> layout, std::vector<gfx::Size> sizes)
    {
        source->sizes = std::move(sizes);
        layout->setDelegate(delegate.get());
        layout->setDataSource(source.get());
        window().addSubview(layout);
        layout->layoutIfNeeded();
        return layout;
    }
    std::shared_ptr<VKDocumentViewHorizontal> single(size_t pages, gfx::Size size = { 612, 792 })
    {
        return host(VKDocumentViewHorizontal::create({ 0, 0, 320, 480 }), std::vector<gfx::Size>(pages, size));
    }
    std::shared_ptr<VKDocumentViewHorizontalDouble> spreads(size_t pages, bool singleFirst, gfx::Rect frame = { 0, 0, 480, 320 })
    {
        auto layout = VKDocumentViewHorizontalDouble::create(frame);
        layout->setSingleFirstPage(singleFirst);
        return host(layout, std::vector<gfx::Size>(pages, { 612, 792 }));
    }
    static void settle(VKDocumentViewHorizontal& layout)
    {
        layout.layoutIfNeeded();
        layout.pagingView().layoutIfNeeded();
    }
    static VKCenteringScrollView& currentScroll(VKDocumentViewHorizontal& layout)
    {
        return layout.currentPageCell()->scrollView();
    }
    static std::vector<core::Range> cells(VKDocumentViewHorizontalDouble& layout)
    {
        std::vector<core::Range> ranges;
        for (size_t c = 0; c < layout.pagingView().numberOfPages(); ++c)
            ranges.push_back(layout.pageIndexRangeForCellIndex(c));
        return ranges;
    }
};

using Ranges = std::vector<core::Range>;

} // namespace

TEST_F(VKDocumentViewHorizontalTest, SpreadsMapCellsToPagesWithTheFirstPageAloneOrNot)
{
    auto alone = spreads(5, true);
    EXPECT_EQ(cells(*alone), (Ranges { { 0, 1 }, { 1, 2 }, { 3, 2 } }));
    EXPECT_EQ(alone->cellIndexForPageIndex(2), 1u);
    alone->setSingleFirstPage(false);
    EXPECT_EQ(cells(*alone), (Ranges { { 0, 2 }, { 2, 2 }, { 4, 1 } }));
    alone->removeFromSuperview();

    auto four = spreads(4, false);
    EXPECT_EQ(cells(*four), (Ranges { { 0, 2 }, { 2, 2 } }));
    four->pagingView().scrollToPageAtIndex(1, nullptr, false);
    settle(*four);
    EXPECT_EQ(four->currentIndexRange(), (core::Range { 2, 2 }));
    four->removeFromSuperview();

    for (bool first : { true, false }) {
        auto one = spreads(1, first);
        EXPECT_EQ(cells(*one), (Ranges { { 0, 1 } }));
        one->removeFromSuperview();
        auto none = spreads(0, first);
        EXPECT_EQ(none->pagingView().numberOfPages(), 0u);
        EXPECT_TRUE(none->pagingView().currentCells().empty());
        none->removeFromSuperview();
    }
}

TEST_F(VKDocumentViewHorizontalTest, APagerThatOutlivesItsLayoutAsksNothingOfIt)
{
    auto layout = single(3);
    auto pager = layout->pagingView().sharedAs<VKPagingView>();
    EXPECT_EQ(pager->numberOfPages(), 3u);
    layout->removeFromSuperview();
    layout.reset();
    pager->reloadData();
    EXPECT_EQ(pager->numberOfPages(), 0u);
}

TEST_F(VKDocumentViewHorizontalTest, CellsShowPagesAtTheNaturalWidthAndSpreadsAtTwice)
{
    auto layout = single(3);
    EXPECT_EQ(layout->pagingView().frame(), gfx::Rect(-10, 0, 340, 480));
    EXPECT_EQ(layout->currentPageCellIndex(), 0u);
    auto& scrollView = currentScroll(*layout);
    EXPECT_EQ(scrollView.naturalContentSize().width, 320);
    EXPECT_NEAR(scrollView.naturalContentSize().height, 792 * 320 / 612.0, 1e-3);
    EXPECT_EQ(scrollView.frame(), gfx::Rect(0, 0, 320, 480));
    // Fitted and centred.
    EXPECT_FLOAT_EQ(scrollView.zoomScale(), std::min(1.0f, 480 / scrollView.naturalContentSize().height));
    EXPECT_EQ(delegate->added, (std::vector<size_t> { 0 }));
    EXPECT_EQ(layout->currentIndexRange(), (core::Range { 0, 1 }));
    layout->removeFromSuperview();

    delegate->added.clear();
    auto double_ = spreads(5, true, { 0, 0, 768, 1024 });
    double_->pagingView().scrollToPageAtIndex(1, nullptr, false);
    settle(*double_);
    EXPECT_EQ(delegate->added, (std::vector<size_t> { 0, 1, 2 }));
    auto& spreadScroll = currentScroll(*double_);
    auto* spread = dynamic_cast<VKDoublePageView*>(spreadScroll.contentView().get());
    ASSERT_TRUE(spread);
    EXPECT_EQ(spreadScroll.naturalContentSize().width, 640);
    EXPECT_NEAR(spreadScroll.naturalContentSize().height, 792 * 640 / 1224.0, 1e-3);
    spread->layoutIfNeeded();
    EXPECT_NEAR(spread->leftView()->frame().minX(), 0, 0.01);
    EXPECT_NEAR(spread->leftView()->frame().width(), 320, 0.01);
    EXPECT_NEAR(spread->leftView()->frame().height(), spreadScroll.naturalContentSize().height, 0.01);
    EXPECT_NEAR(spread->rightView()->frame().minX(), 320, 0.01);
    EXPECT_EQ(double_->currentIndexRange(), (core::Range { 1, 2 }));
    double_->removeFromSuperview();
}

TEST_F(VKDocumentViewHorizontalTest, EdgeTapsTurnCellsOrSayWhyNotAndTheCellLeftBehindZoomsOut)
{
    auto layout = single(3);
    EXPECT_FALSE(layout->handleSingleTapAtPoint({ 10, 240 }));
    layout->setPagingEnabled(true);
    EXPECT_TRUE(layout->handleSingleTapAtPoint({ 10, 240 }));
    EXPECT_EQ(delegate->ignored, (std::vector<int> { 1 }));
    EXPECT_FALSE(layout->handleSingleTapAtPoint({ 160, 240 }));

    auto& first = currentScroll(*layout);
    first.setZoomScale(first.minimumZoomScale() * 3);
    EXPECT_TRUE(layout->handleSingleTapAtPoint({ 300, 240 }));
    settle(*layout);
    EXPECT_EQ(layout->currentPageCellIndex(), 1u);
    EXPECT_EQ(layout->pagingView().contentOffset().x, 340);
    // Cell 0 is still a neighbour: back at its least zoom.
    ASSERT_TRUE(layout->pagingView().currentCellForPageAtIndex(0));
    EXPECT_FLOAT_EQ(first.zoomScale(), first.minimumZoomScale());

    EXPECT_TRUE(layout->handleSingleTapAtPoint({ 300, 240 }));
    settle(*layout);
    EXPECT_TRUE(layout->handleSingleTapAtPoint({ 300, 240 }));
    EXPECT_EQ(delegate->ignored, (std::vector<int> { 1, -1 }));
    EXPECT_EQ(layout->currentIndexRange(), (core::Range { 2, 1 }));
    EXPECT_TRUE(layout->handleSingleTapAtPoint({ 5, 240 }));
    settle(*layout);
    EXPECT_EQ(layout->currentPageCellIndex(), 1u);
    layout->removeFromSuperview();

    // Spreads count cells: two taps reach the last of three.
    auto spread = spreads(5, true);
    spread->setPagingEnabled(true);
    for (int i = 0; i < 3; ++i) {
        spread->handleSingleTapAtPoint({ 470, 160 });
        settle(*spread);
    }
    EXPECT_EQ(spread->currentPageCellIndex(), 2u);
    EXPECT_EQ(spread->currentIndexRange(), (core::Range { 3, 2 }));
    EXPECT_EQ(delegate->ignored, (std::vector<int> { 1, -1, -1 }));
    spread->removeFromSuperview();
}

TEST_F(VKDocumentViewHorizontalTest, AnAnchorOnAPageLandsOnItsSideOfTheSpread)
{
    auto layout = spreads(5, true, { 0, 0, 768, 1024 });
    layout->scrollToPageAtIndex(2, gfx::Rect(0.8f, 0.5f, 0.1f, 0.05f), false);
    settle(*layout);
    EXPECT_EQ(layout->currentPageCellIndex(), 1u);
    EXPECT_EQ(layout->pagingView().contentOffset().x, 788);
    auto& scrollView = currentScroll(*layout);
    // Zoomed in, the same anchor shows on the right half of the spread.
    scrollView.setZoomScale(scrollView.minimumZoomScale() * 4);
    layout->scrollToPageAtIndex(2, gfx::Rect(0.8f, 0.5f, 0.1f, 0.05f), false);
    settle(*layout);
    gfx::Point o = scrollView.contentOffset();
    float width = scrollView.contentSize().width;
    float anchorX = (0.5f + 0.5f * 0.8f) * width;
    EXPECT_LE(o.x, anchorX);
    EXPECT_GE(o.x + scrollView.bounds().width(), anchorX + 0.05f * width);
    EXPECT_GT(o.x, width / 2);

    // No such page: logged, nothing moves.
    layout->scrollToPageAtIndex(5, gfx::Rect(0, 0, 0, 0), false);
    EXPECT_EQ(layout->currentPageCellIndex(), 1u);
    layout->removeFromSuperview();
}

TEST_F(VKDocumentViewHorizontalTest, NormalisedOffsetsComeBackToTheSamePageAndPlace)
{
    auto check = [&](VKDocumentViewHorizontal& layout, size_t pages) {
        for (size_t page = 0; page < pages; ++page) {
            layout.scrollToPageAtIndex(page, gfx::Rect(0, 0, 0, 0), false);
            settle(layout);
            size_t cell = layout.currentPageCellIndex();
            auto& scrollView = currentScroll(layout);
            scrollView.setZoomScale(scrollView.minimumZoomScale() * 3);
            float zoom = layout.contentZoom();
            gfx::Size size = scrollView.contentSize();
            scrollView.setContentOffset({ size.width * 0.55f, size.height * 0.3f });
            settle(layout);
            gfx::Point stored = layout.normalisedOffset();
            gfx::Point place = scrollView.contentOffset();
            EXPECT_GE(stored.y, 0);
            EXPECT_LT(stored.y, 1);
            layout.scrollToPageAtIndex(page == 0 ? pages - 1 : 0, gfx::Rect(0, 0, 0, 0), false);
            settle(layout);
            // As a viewer restores: the page, its zoom, then the place.
            layout.scrollToNormalisedOffset(stored, false, false);
            settle(layout);
            EXPECT_EQ(layout.currentPageCellIndex(), cell) << "page " << page;
            layout.setContentZoom(zoom);
            layout.scrollToNormalisedOffset(stored, false, false);
            settle(layout);
            EXPECT_NEAR(currentScroll(layout).contentOffset().x, place.x, 1) << "page " << page;
            EXPECT_NEAR(currentScroll(layout).contentOffset().y, place.y, 1) << "page " << page;
        }
    };
    auto layout = single(4);
    check(*layout, 4);
    // Past the ends, or no number: clamped to the document.
    layout->scrollToNormalisedOffset({ 0, 1 }, false, false);
    settle(*layout);
    EXPECT_EQ(layout->currentPageCellIndex(), 3u);
    layout->scrollToNormalisedOffset({ NAN, -2 }, false, false);
    settle(*layout);
    EXPECT_EQ(layout->currentPageCellIndex(), 0u);
    layout->scrollToNormalisedOffset({ 0, NAN }, false, false);
    settle(*layout);
    EXPECT_EQ(layout->currentPageCellIndex(), 0u);
    EXPECT_FLOAT_EQ(layout->contentZoom(), currentScroll(*layout).zoomScale());
    layout->removeFromSuperview();

    // Spreads, the first page alone and the last one too.
    for (bool first : { true, false }) {
        auto spread = spreads(first ? 6 : 5, first, { 0, 0, 768, 1024 });
        check(*spread, first ? 6 : 5);
        spread->scrollToNormalisedOffset({ 0.9f, 1 }, false, false);
        settle(*spread);
        EXPECT_EQ(spread->currentPageCellIndex(), spread->pagingView().numberOfPages() - 1);
        EXPECT_LT(spread->normalisedOffset().y, 1);
        spread->removeFromSuperview();
    }
}

TEST_F(VKDocumentViewHorizontalTest, TurnsKeepFewCellsAndViewsAndAFlushKeepsTheCurrentPages)
{
    for (bool pairs : { false, true }) {
        std::shared_ptr<VKDocumentViewHorizontal> layout;
        if (pairs)
            layout = spreads(420, true);
        else
            layout = single(210);
        layout->setPagingEnabled(true);
        size_t most = 0;
        for (int turn = 0; turn < 200; ++turn) {
            layout->handleSingleTapAtPoint({ layout->bounds().width() - 5, 160 });
            settle(*layout);
            most = std::max(most, layout->pagingView().currentCells().size());
            ASSERT_LE(layout->cachedPageIndexes().size(), pairs ? 8u : 6u) << "turn " << turn;
        }
        EXPECT_LE(most, 4u);
        EXPECT_EQ(layout->currentPageCellIndex(), 200u);
        // Views of the pages that show were never dropped for a second one.
        for (auto& [index, cell] : layout->pagingView().currentCells()) {
            auto* scroll = &static_cast<VKScrollPagingViewCell&>(*cell).scrollView();
            if (!pairs) {
                EXPECT_EQ(scroll->contentView(), layout->viewForPageAtIndex(index));
            }
        }
        driver.memoryWarning();
        EXPECT_EQ(layout->cachedPageIndexes(), pairs ? (std::vector<size_t> { 399, 400 }) : (std::vector<size_t> { 200 }));
        settle(*layout);
        layout->removeFromSuperview();
    }
}

TEST_F(VKDocumentViewHorizontalTest, RotationInsetsAndThumbnailsReachTheCells)
{
    auto layout = single(6);
    layout->scrollToPageAtIndex(3, gfx::Rect(0, 0, 0, 0), false);
    settle(*layout);
    layout->setToolbarContentInsets({ 64, 0, 44, 0 });
    EXPECT_EQ(currentScroll(*layout).contentInset(), (gfx::EdgeInsets { 64, 0, 44, 0 }));
    layout->setFrame({ 0, 0, 480, 320 });
    settle(*layout);
    EXPECT_EQ(layout->pagingView().frame(), gfx::Rect(-10, 0, 500, 320));
    EXPECT_EQ(layout->pagingView().contentOffset().x, 1500);
    EXPECT_EQ(layout->currentIndexRange(), (core::Range { 3, 1 }));
    auto& scrollView = currentScroll(*layout);
    EXPECT_EQ(scrollView.frame(), gfx::Rect(0, 0, 480, 320));
    EXPECT_FLOAT_EQ(scrollView.zoomScale(), scrollView.minimumZoomScale());
    layout->setThumbnailsEnabled(true);
    EXPECT_EQ(layout->scrollTrackView()->edge(), VKScrollTrackView::Bottom);
    layout->removeFromSuperview();

    // Hostile page sizes put no NaN anywhere.
    auto bad = host(VKDocumentViewHorizontal::create({ 0, 0, 320, 480 }),
        { { 0, 0 }, { NAN, 5 }, { 1e-30f, 1e30f }, { -4, 9 }, { INFINITY, 1 } });
    for (size_t page = 0; page < 5; ++page) {
        bad->scrollToPageAtIndex(page, gfx::Rect(0.1f, 0.1f, 0.1f, 0.1f), false);
        settle(*bad);
        auto& view = currentScroll(*bad);
        EXPECT_TRUE(std::isfinite(view.zoomScale()) && std::isfinite(view.contentSize().width)
            && std::isfinite(view.contentSize().height));
        EXPECT_TRUE(std::isfinite(bad->normalisedOffset().x) && std::isfinite(bad->normalisedOffset().y));
    }
    bad->removeFromSuperview();
}

TEST_F(VKDocumentViewHorizontalTest, ASwipeTurnsAFittedPageAndPansAZoomedOneUntilItsEdge)
{
    auto layout = single(4);
    auto& pager = layout->pagingView();
    driver.drag({ 250, 240 }, { 60, 240 });
    advance(1);
    settle(*layout);
    EXPECT_EQ(pager.contentOffset().x, 340);
    EXPECT_EQ(layout->currentPageCellIndex(), 1u);

    // Zoomed: the drag moves the page inside its cell, the pager stays.
    auto& scrollView = currentScroll(*layout);
    scrollView.setZoomScale(scrollView.minimumZoomScale() * 3);
    settle(*layout);
    scrollView.setContentOffset({ 300, 200 });
    driver.drag({ 250, 240 }, { 150, 240 });
    advance(1);
    settle(*layout);
    EXPECT_EQ(pager.contentOffset().x, 340);
    EXPECT_GT(scrollView.contentOffset().x, 300);
    // A mostly vertical drag keeps the horizontal offset (the lock).
    float x = scrollView.contentOffset().x;
    driver.drag({ 160, 300 }, { 170, 150 });
    advance(1);
    EXPECT_EQ(scrollView.contentOffset().x, x);
    EXPECT_GT(scrollView.contentOffset().y, 200);

    // From its left edge, a drag to the right turns back.
    scrollView.setContentOffset({ 0, scrollView.contentOffset().y });
    driver.drag({ 60, 240 }, { 260, 240 });
    advance(1);
    settle(*layout);
    EXPECT_EQ(pager.contentOffset().x, 0);
    EXPECT_EQ(layout->currentPageCellIndex(), 0u);
    layout->removeFromSuperview();
}

TEST_F(VKDocumentViewHorizontalTest, ATurnedPageIsDrawnOnceAtTheScreensOwnPixels)
{
    // A tablet at scale 2: a fitted 612 × 792 page shows 1536 pixels wide
    // (zoom 2.4 of its 320 points), one tile each, never at the next power
    // of two (2560) nor cut into four tiles of it.
    useDeviceScreen(window(), tabletScreen);
    ui::Screen::main()->setScale(2);
    source->document = VKPDFDocument::initWithData(textDocument(8));
    source->document->pageGeometry(0);
    for (bool pairs : { false, true }) {
        std::shared_ptr<VKDocumentViewHorizontal> layout;
        if (pairs) {
            auto double_ = VKDocumentViewHorizontalDouble::create({ 0, 0, 768, 1024 });
            double_->setSingleFirstPage(false);
            layout = double_;
        } else {
            layout = VKDocumentViewHorizontal::create({ 0, 0, 768, 1024 });
        }
        layout->setDataSource(source.get());
        window().addSubview(layout);
        layout->setPagingEnabled(true);
        settle(*layout);
        ui::TiledLayer::renderAllVisibleTilesSynchronously();
        for (int turn = 0; turn < 3; ++turn) {
            uint64_t before = ui::TiledLayer::tilesDrawnForTesting();
            layout->handleSingleTapAtPoint({ 758, 512 });
            settle(*layout);
            ui::TiledLayer::renderAllVisibleTilesSynchronously();
            core::Range shown = layout->currentIndexRange();
            EXPECT_EQ(ui::TiledLayer::tilesDrawnForTesting() - before, shown.length) << "turn " << turn;
            for (size_t index = shown.location; index < shown.end(); ++index) {
                auto page = std::dynamic_pointer_cast<VKPDFPageView>(layout->viewForPageAtIndex(index));
                ASSERT_TRUE(page);
                auto& tiles = page->contentView().tiledLayer();
                EXPECT_EQ(tiles.cachedTileCount(), 1u);
                float width = pairs ? 768 : 1536;
                // Within two rows: the fitted height rounds up to whole pixels.
                EXPECT_NEAR(double(tiles.cachedPixelsForTesting()), double(width) * width * 792 / 612, 2 * width)
                    << "page " << index;
            }
        }
        layout->removeFromSuperview();
    }
}

#include "Support/UITestCase.h"

#include "Kit/ScrollViewAdditions.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/StandardColors.h"
#include "Viewers/PDF/VKCenteringScrollView.h"
#include "Viewers/PDF/VKDoublePageView.h"
#include "Viewers/PDF/VKPagingView.h"
#include "Viewers/PDF/VKPagingViewCell.h"
#include "Viewers/PDF/VKPagingViewDataSource.h"
#include "Viewers/PDF/VKPagingViewDelegate.h"
#include "Viewers/PDF/VKScrollPagingViewCell.h"

#include <cmath>
#include <string>
#include <vector>

using namespace test;

namespace {

// Plain cells, pooled under "page" when `identifier` says so; every event
// recorded as one line.
class PagerSource : public core::Object, public VKPagingViewDataSource, public VKPagingViewDelegate {
public:
    size_t numberOfPagesInPagingView(VKPagingView&) override { return count; }
    std::shared_ptr<VKPagingViewCell> pagingViewCellForPageAtIndex(VKPagingView& pager, size_t index) override
    {
        made.push_back(index);
        if (index == missing)
            return nullptr;
        if (auto cell = pager.dequeueReusableCellWithIdentifier(identifier)) {
            ++reused;
            return cell;
        }
        return VKPagingViewCell::create(identifier);
    }
    void pagingViewWillAddCell(VKPagingView&, VKPagingViewCell& cell, size_t index) override
    {
        events.push_back("add " + std::to_string(index) + (cell.superview() ? " in tree" : ""));
    }
    bool respondsToCellWillAppear() const override { return appearances; }
    void pagingViewCellWillAppear(VKPagingView&, VKPagingViewCell&, size_t index) override
    {
        events.push_back("appear " + std::to_string(index));
    }
    bool respondsToCellDidDisappear() const override { return appearances; }
    void pagingViewCellDidDisappear(VKPagingView&, VKPagingViewCell&, size_t index) override
    {
        events.push_back("disappear " + std::to_string(index));
    }
    void pagingViewDidSettleOnPageAtIndex(VKPagingView&, size_t index) override
    {
        events.push_back("settle " + std::to_string(index));
    }
    void pagingViewPageAtIndexDidBecomeForemost(VKPagingView&, size_t index) override
    {
        events.push_back("foremost " + std::to_string(index));
    }
    std::vector<std::string> take() { return std::exchange(events, {}); }

    size_t count = 5;
    size_t missing = core::kNotFound;
    std::string identifier;
    bool appearances = true;
    size_t reused = 0;
    std::vector<size_t> made;
    std::vector<std::string> events;
};

using Events = std::vector<std::string>;

class VKPagingViewTest : public UITestCase {
protected:
    std::shared_ptr<VKPagingView> makePager(size_t count, gfx::Rect cellFrame = { 0, 0, 300, 480 })
    {
        source->count = count;
        auto pager = VKPagingView::create(cellFrame);
        pager->setDataSource(source.get());
        pager->setPagingDelegate(source.get());
        window().addSubview(pager);
        return pager;
    }
    // Scrolls and lays out, as the end of a main-loop pass does.
    static void scroll(VKPagingView& pager, float x)
    {
        pager.setContentOffset({ x, 0 });
        pager.layoutIfNeeded();
    }
    static std::vector<size_t> current(const VKPagingView& pager)
    {
        std::vector<size_t> pages;
        for (auto& [index, cell] : pager.currentCells())
            pages.push_back(index);
        return pages;
    }

    std::shared_ptr<PagerSource> source = std::make_shared<PagerSource>();
};

} // namespace

TEST_F(VKPagingViewTest, PagerSpansTheCellFrameAndItsGapsAndFindsTheVisiblePages)
{
    auto pager = makePager(5);
    EXPECT_EQ(pager->frame(), gfx::Rect(-10, 0, 320, 480));
    EXPECT_FALSE(pager->clipsToBoundsForTesting());
    EXPECT_TRUE(pager->isPagingEnabled());
    EXPECT_FALSE(pager->showsHorizontalScrollIndicator());
    EXPECT_FALSE(pager->showsVerticalScrollIndicator());
    EXPECT_EQ(pager->backgroundColor(), ui::StandardColors::black());
    EXPECT_EQ(pager->scrollToIndex(), core::kNotFound);
    EXPECT_EQ(pager->contentSize(), gfx::Size(1600, 480));
    // Slots are W = 320 apart (the pager's width, not the cell's); cells keep 20 points between them.
    EXPECT_EQ(pager->frameForCellAtIndex(0), gfx::Rect(10, 0, 300, 480));
    EXPECT_EQ(pager->frameForCellAtIndex(1), gfx::Rect(330, 0, 300, 480));
    EXPECT_EQ(VKPagingView::createWithCellFrame({ 0, 0, 300, 480 }, 0)->clipsToBoundsForTesting(), true);

    auto range = [&](float x) { return pager->visibleRangeForContentOffset({ x, 0 }); };
    EXPECT_EQ(range(640), (core::Range { 2, 1 }));
    EXPECT_EQ(range(800), (core::Range { 2, 2 }));
    EXPECT_EQ(range(-100), (core::Range { 0, 1 }));
    EXPECT_EQ(range(0), (core::Range { 0, 1 }));
    EXPECT_EQ(range(1400), (core::Range { 4, 1 }));
    EXPECT_EQ(range(1280), (core::Range { 4, 1 }));
    EXPECT_EQ(range(-320), core::Range());
    EXPECT_EQ(range(1600), core::Range());
    EXPECT_EQ(range(NAN), core::Range());
    source->count = 0;
    pager->reloadData();
    EXPECT_EQ(range(0), core::Range());
}

TEST_F(VKPagingViewTest, LayoutKeepsTheNeighboursAndReportsOnlyChanges)
{
    auto pager = makePager(10);
    pager->layoutIfNeeded();
    EXPECT_EQ(source->take(), (Events { "add 0", "appear 0", "settle 0", "foremost 0" }));
    EXPECT_EQ(current(*pager), (std::vector<size_t> { 0 }));
    EXPECT_EQ(pager->currentCellForPageAtIndex(0)->frame(), gfx::Rect(10, 0, 300, 480));
    EXPECT_EQ(pager->currentCellForPageAtIndex(0)->superview(), pager.get());

    // Half-way: both pages show, nothing settles, the nearer one is foremost.
    scroll(*pager, 150);
    EXPECT_EQ(source->take(), (Events { "add 1", "appear 1" }));
    // Half a page rounds up.
    scroll(*pager, 160);
    EXPECT_EQ(source->take(), (Events { "foremost 1" }));
    scroll(*pager, 320);
    EXPECT_EQ(source->take(), (Events { "disappear 0", "settle 1" }));
    EXPECT_EQ(current(*pager), (std::vector<size_t> { 0, 1 }));

    scroll(*pager, 3 * 320);
    source->take();
    source->made.clear();
    // A jump: the page left behind is made again for its disappearance;
    // nothing for those between.
    scroll(*pager, 7 * 320);
    EXPECT_EQ(source->take(), (Events { "add 3", "disappear 3", "add 7", "appear 7", "settle 7", "foremost 7" }));
    EXPECT_EQ(source->made, (std::vector<size_t> { 3, 7 }));
    pager->setNeedsLayout();
    pager->layoutIfNeeded();
    EXPECT_EQ(current(*pager), (std::vector<size_t> { 7 }));
    EXPECT_TRUE(source->take().empty());

    // Past the last page by a bounce: the last page shows alone.
    scroll(*pager, 9 * 320 + 50);
    source->take();
    pager->setNeedsLayout();
    pager->layoutIfNeeded();
    EXPECT_EQ(current(*pager), (std::vector<size_t> { 9 }));

    // A reload reports the foremost page again, and keeps the visible cell.
    auto cell = pager->currentCellForPageAtIndex(9);
    pager->reloadData();
    pager->layoutIfNeeded();
    EXPECT_EQ(source->take(), (Events { "foremost 9" }));
    EXPECT_EQ(pager->currentCellForPageAtIndex(9), cell);

    // Without pages there is nothing to say.
    source->count = 0;
    pager->reloadData();
    pager->setContentOffset({ 0, 0 });
    pager->layoutIfNeeded();
    EXPECT_TRUE(source->take().empty());
    EXPECT_TRUE(current(*pager).empty());
}

TEST_F(VKPagingViewTest, CellsArePooledByIdentifierAndMadeOnlyForADelegateThatAsks)
{
    source->identifier = "page";
    auto pager = makePager(6);
    pager->layoutIfNeeded();
    scroll(*pager, 320);
    scroll(*pager, 640);
    scroll(*pager, 960);
    // Pages 0 and 1 left the keep window: pooled, and handed out again.
    EXPECT_EQ(current(*pager), (std::vector<size_t> { 2, 3 }));
    EXPECT_EQ(source->reused, 2u);
    EXPECT_EQ(pager->numberOfReusableCellsForTesting(), 0u);
    pager->removeCellForPageAtIndexNumber(2);
    EXPECT_EQ(pager->numberOfReusableCellsForTesting(), 1u);
    auto once = pager->dequeueReusableCellWithIdentifier("page");
    ASSERT_TRUE(once);
    EXPECT_EQ(once->superview(), nullptr);
    EXPECT_EQ(pager->dequeueReusableCellWithIdentifier("page"), nullptr);
    EXPECT_EQ(pager->dequeueReusableCellWithIdentifier("other"), nullptr);


    // A source that gives no cell leaves the slot empty.
    source->missing = 1;
    scroll(*pager, 320);
    EXPECT_EQ(pager->currentCellForPageAtIndex(1), nullptr);

    // Without appearances the layout makes no cells at all.
    auto quiet = std::make_shared<PagerSource>();
    quiet->appearances = false;
    auto other = VKPagingView::create({ 0, 0, 300, 480 });
    other->setDataSource(quiet.get());
    other->setPagingDelegate(quiet.get());
    window().addSubview(other);
    other->layoutIfNeeded();
    EXPECT_TRUE(quiet->made.empty());
    EXPECT_EQ(quiet->take(), (Events { "settle 0", "foremost 0" }));

    // Cells without an identifier are dropped, never pooled.
    auto plain = std::make_shared<PagerSource>();
    auto third = VKPagingView::create({ 0, 0, 300, 480 });
    third->setDataSource(plain.get());
    third->setPagingDelegate(plain.get());
    window().addSubview(third);
    for (float x : { 0.0f, 320.0f, 640.0f, 1280.0f, 0.0f })
        scroll(*third, x);
    EXPECT_EQ(third->numberOfReusableCellsForTesting(), 0u);
    EXPECT_EQ(plain->reused, 0u);
}

// The vertical wheel turns a page a burst; the horizontal wheel moves the
// pages and, once it rests, ends on a whole page.
TEST_F(VKPagingViewTest, TheWheelTurnsWholePages)
{
    auto pager = makePager(5);
    auto wheel = [&](float dx, float dy) { application().sendEvent(ui::Event::scroll({ 150, 240 }, { dx, dy })); };
    wheel(0, 40);
    for (int notch = 0; notch < 2; ++notch) {
        advance(0.1);
        wheel(0, 40);
    }
    advance(0.5);
    EXPECT_EQ(pager->contentOffset().x, 320) << "one page for the burst";
    wheel(0, -40);
    advance(0.5);
    EXPECT_EQ(pager->contentOffset().x, 0);
    wheel(0, -40);
    advance(0.5);
    EXPECT_EQ(pager->contentOffset().x, 0) << "none before the first";

    wheel(100, 0);
    EXPECT_EQ(pager->contentOffset().x, 100);
    advance(0.6);
    EXPECT_EQ(pager->contentOffset().x, 320) << "a third of the way: the next page";
    wheel(-30, 0);
    advance(0.6);
    EXPECT_EQ(pager->contentOffset().x, 320) << "a tenth of the way back: where it was";
}

TEST_F(VKPagingViewTest, TheScrolledToCellIsSparedAndRotationKeepsThePage)
{
    auto pager = makePager(8);
    pager->layoutIfNeeded();
    auto spared = VKPagingViewCell::create();
    pager->scrollToPageAtIndex(5, spared, false);
    EXPECT_EQ(pager->scrollToIndex(), 5u);
    EXPECT_EQ(pager->contentOffset(), gfx::Point(1600, 0));
    EXPECT_EQ(pager->currentCellForPageAtIndex(5), spared);
    EXPECT_EQ(spared->frame(), gfx::Rect(1610, 0, 300, 480));
    pager->layoutIfNeeded();
    scroll(*pager, 0);
    EXPECT_EQ(pager->currentCellForPageAtIndex(5), spared);
    pager->scrollToPageAtIndex(0, nullptr, false);
    pager->setNeedsLayout();
    pager->layoutIfNeeded();
    EXPECT_EQ(pager->currentCellForPageAtIndex(5), nullptr);

    scroll(*pager, 3 * 320);
    scroll(*pager, 2.5f * 320);
    pager->setToolbarContentInsets({ 20, 0, 44, 0 });
    EXPECT_EQ(pager->currentCellForPageAtIndex(3)->toolbarContentInsets(), (gfx::EdgeInsets { 20, 0, 44, 0 }));
    EXPECT_EQ(pager->currentCellForPageAtIndex(2)->toolbarContentInsets(), (gfx::EdgeInsets { 20, 0, 44, 0 }));

    // A turn to landscape: the same page, every cell in its new slot.
    pager->setFrame({ -10, 0, 500, 300 });
    EXPECT_EQ(pager->contentSize(), gfx::Size(4000, 300));
    EXPECT_EQ(pager->contentOffset(), gfx::Point(1250, 0));
    EXPECT_EQ(pager->currentCellForPageAtIndex(3)->frame(), gfx::Rect(1510, 0, 480, 300));
    EXPECT_EQ(pager->currentCellForPageAtIndex(2)->frame(), gfx::Rect(1010, 0, 480, 300));

    // Before any content there is nothing to keep.
    auto fresh = VKPagingView::create({ 0, 0, 0, 0 });
    fresh->setFrame({ -10, 0, 320, 480 });
    EXPECT_EQ(fresh->contentSize(), gfx::Size(0, 0));
}

TEST_F(VKPagingViewTest, CentringScrollViewCentresWhatIsSmallerAndFitsAtItsLeastZoom)
{
    auto view = VKCenteringScrollView::create({ 0, 0, 320, 480 });
    window().addSubview(view);
    EXPECT_FALSE(view->showsVerticalScrollIndicator());
    EXPECT_EQ(view->autoresizingMask(), ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    auto content = ui::View::create();
    view->setContentView(content);

    // Smaller both ways: centred, halves rounded away from zero, offset 0.
    view->setContentInset({ 30, 0, 30, 0 });
    view->setNaturalContentSize({ 101, 201 });
    view->setContentOffset({ 7, 9 });
    view->layoutIfNeeded();
    EXPECT_EQ(content->frame(), gfx::Rect(110, 140, 101, 201));
    EXPECT_EQ(view->contentOffset(), gfx::Point(0, 0));

    // The limits wait for the next frame or inset change.
    view->setNaturalContentSize({ 400, 100 });
    EXPECT_EQ(view->minimumZoomScale(), 1.0f);
    view->setContentOffset({ 30, 5 });
    view->layoutIfNeeded();
    // Wider but shorter: x at 0 with the offset kept, y centred.
    EXPECT_EQ(content->frame(), gfx::Rect(0, 190, 400, 100));
    EXPECT_EQ(view->contentOffset(), gfx::Point(30, 0));

    view->setNaturalContentSize({ 320, 640 });
    view->setFrame({ 0, 0, 320, 480 });
    EXPECT_FLOAT_EQ(view->minimumZoomScale(), 0.75f);
    EXPECT_FLOAT_EQ(view->maximumZoomScale(), 750.0f);
    EXPECT_FLOAT_EQ(view->zoomScale(), 0.75f);
    view->layoutIfNeeded();
    EXPECT_EQ(content->frame(), gfx::Rect(40, 0, 240, 480));
    // Content stays the natural size, the zoom is its transform.
    EXPECT_EQ(content->bounds().size, gfx::Size(320, 640));

    // Fitted stays fitted across a turn.
    view->setFrame({ 0, 0, 480, 320 });
    EXPECT_FLOAT_EQ(view->zoomScale(), 0.5f);
    EXPECT_FLOAT_EQ(vkNormalizedZoomScale(*view), 0.0f);

    // A natural size with a zero side, or no numbers, leaves the limits.
    for (gfx::Size bad : { gfx::Size(0, 100), gfx::Size(NAN, 100), gfx::Size(-5, 100), gfx::Size(INFINITY, INFINITY) }) {
        view->setNaturalContentSize(bad);
        view->setFrame({ 0, 0, 320, 480 });
        EXPECT_FLOAT_EQ(view->minimumZoomScale(), 0.5f);
        EXPECT_TRUE(std::isfinite(content->frame().width()) && std::isfinite(content->frame().minX()));
        view->setFrame({ 0, 0, 480, 320 });
    }
}

TEST_F(VKPagingViewTest, DoubleTapFitsWidthOrHeightAndAgainStaysFitted)
{
    auto view = VKCenteringScrollView::create({ 0, 0, 320, 480 });
    window().addSubview(view);
    auto content = ui::View::create();
    view->setContentView(content);
    // A landscape page: relatively wider than the view, so a double tap
    // fits its height.
    view->setNaturalContentSize({ 320, 240 });
    view->setFrame({ 0, 0, 320, 480 });
    view->layoutIfNeeded();
    EXPECT_FLOAT_EQ(view->zoomScale(), 1.0f);
    EXPECT_EQ(content->frame(), gfx::Rect(0, 120, 320, 240));
    view->doubleTapAtPoint({ 240, 240 });
    view->layoutIfNeeded();
    EXPECT_FLOAT_EQ(view->zoomScale(), 2.0f);
    EXPECT_EQ(content->frame(), gfx::Rect(0, 0, 640, 480));
    gfx::Point first = view->contentOffset();
    EXPECT_GT(first.x, 0);
    EXPECT_LE(first.x, 320);
    view->doubleTapAtPoint({ 240 - first.x + first.x, 240 });
    view->layoutIfNeeded();
    EXPECT_FLOAT_EQ(view->zoomScale(), 2.0f);

    // A tall page fits its width at the tapped height.
    view->setZoomScale(view->minimumZoomScale());
    view->setNaturalContentSize({ 320, 1280 });
    view->setFrame({ 0, 0, 320, 480 });
    view->layoutIfNeeded();
    EXPECT_FLOAT_EQ(view->zoomScale(), 0.375f);
    view->doubleTapAtPoint({ 160, 240 });
    view->layoutIfNeeded();
    EXPECT_FLOAT_EQ(view->zoomScale(), 1.0f);
    EXPECT_EQ(content->frame().minX(), 0);
    EXPECT_NEAR(view->contentOffset().y, 640 - 240, 1);
}

TEST_F(VKPagingViewTest, ScrollCellHoldsOneLockedScrollViewAndEmptiesItForReuse)
{
    auto cell = VKScrollPagingViewCell::create("page");
    EXPECT_EQ(cell->reuseIdentifier(), "page");
    auto& scrollView = cell->scrollView();
    EXPECT_TRUE(scrollView.verticalLock());
    cell->setFrame({ 330, 0, 300, 480 });
    EXPECT_EQ(scrollView.frame(), gfx::Rect(0, 0, 300, 480));
    cell->setToolbarContentInsets({ 44, 0, 44, 0 });
    EXPECT_EQ(scrollView.contentInset(), (gfx::EdgeInsets { 44, 0, 44, 0 }));

    auto page = ui::View::create();
    scrollView.setContentView(page);
    scrollView.setNaturalContentSize({ 320, 414 });
    cell->setFrame({ 330, 0, 300, 480 });
    scrollView.setZoomScale(3);
    scrollView.flashScrollIndicators();
    cell->prepareForReuse();
    EXPECT_EQ(scrollView.minimumZoomScale(), 1.0f);
    EXPECT_EQ(scrollView.zoomScale(), 1.0f);
    EXPECT_EQ(scrollView.contentView(), nullptr);
    EXPECT_EQ(page->superview(), nullptr);
    for (auto& view : scrollView.subviews())
        EXPECT_TRUE(view.get() == scrollView.horizontalScrollIndicator() || view.get() == scrollView.verticalScrollIndicator());
    advance(1);
}

TEST_F(VKPagingViewTest, DoublePageViewCutsTheFittedPairAtTheLeftPagesShare)
{
    auto spread = VKDoublePageView::create({ 0, 0, 640, 400 });
    auto left = ui::View::create(), right = ui::View::create();
    spread->setLeftView(left);
    spread->setRightView(right);
    spread->setLeftNaturalSize({ 612, 792 });
    spread->setRightNaturalSize({ 792, 612 });
    EXPECT_EQ(spread->naturalSize(), gfx::Size(1404, 792));
    spread->layoutIfNeeded();
    // R = 640 × 361 at y 19.5; cut at round(612 / 1404 × 640) = 279.
    EXPECT_NEAR(left->frame().maxX(), 279, 0.5);
    EXPECT_NEAR(right->frame().minX(), 279, 0.5);
    EXPECT_NEAR(left->frame().width() / left->frame().height(), 612.0 / 792, 1e-3);
    EXPECT_NEAR(right->frame().width() / right->frame().height(), 792.0 / 612, 1e-3);
    EXPECT_NEAR(right->frame().maxX(), 640, 0.5);

    // The same view again changes nothing; another replaces it.
    spread->setLeftView(left);
    EXPECT_EQ(left->superview(), spread.get());
    auto other = ui::View::create();
    spread->setRightView(other);
    EXPECT_EQ(right->superview(), nullptr);

    // Hostile sizes: an equal share and zero frames, never a NaN.
    spread->setLeftNaturalSize({ 0, 0 });
    spread->setRightNaturalSize({ NAN, -3 });
    spread->setNeedsLayout();
    spread->layoutIfNeeded();
    EXPECT_EQ(left->frame().size, gfx::Size(0, 0));
    EXPECT_EQ(other->frame().size, gfx::Size(0, 0));
    spread->setRightNaturalSize({ 1e30f, 100 });
    spread->setNeedsLayout();
    spread->layoutIfNeeded();
    EXPECT_TRUE(std::isfinite(other->frame().width()) && std::isfinite(other->frame().minX()));
}

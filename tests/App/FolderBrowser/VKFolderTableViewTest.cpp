// The folder list's tables: marking versus one-row swipe delete with the
// delegate's veto, and the letter strip kept at the top of the visible area,
// in front, and out of the list's drags.

#include "App/FolderBrowser/VKFolderTableView.h"
#include "App/FolderBrowser/VKIndexView.h"

#include "Platform/UI/Button.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <fmt/format.h>

namespace {

using ui::IndexPath;

std::vector<std::string> letters()
{
    std::vector<std::string> result { "#" };
    for (char c = 'A'; c <= 'Z'; ++c)
        result.emplace_back(1, c);
    return result;
}

// A list of `perSection` rows under each letter, deletable, and the
// strip's data source; records what the table asks and tells.
struct Listing : ui::TableViewDelegate, VKMultiEditTableViewDelegate, ui::TableViewDataSource, VKIndexViewDataSource {
    int perSection = 3;
    std::optional<bool> swipes;
    std::vector<int> modesWhenEditingBegan;
    std::vector<IndexPath> deleted;
    int stripQuestions = 0;

    int numberOfSections(ui::TableView&) override { return 27; }
    int numberOfRows(ui::TableView&, int) override { return perSection; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, IndexPath path) override
    {
        auto cell = table.dequeueReusableCell("row");
        if (!cell)
            cell = std::make_shared<ui::TableViewCell>(ui::TableViewCell::Style::Default, "row");
        cell->textLabel().setText(fmt::format("{} {}", letters()[size_t(path.section)], path.row));
        return cell;
    }
    std::optional<std::string> titleForHeader(ui::TableView&, int section) override { return letters()[size_t(section)]; }
    bool supportsCommitEditing() const override { return true; }
    void commitEditing(ui::TableView&, ui::TableViewCell::EditingStyle, IndexPath path) override { deleted.push_back(path); }

    std::optional<bool> tableViewCanHandleSwipes(VKMultiEditTableView&) override { return swipes; }
    void willBeginEditingRow(ui::TableView& table, IndexPath) override { modesWhenEditingBegan.push_back(editingMode(table)); }

    size_t numberOfSectionsInIndexView(VKIndexView&) override
    {
        ++stripQuestions;
        return 2;
    }
    std::vector<std::string> labelsForSection(VKIndexView&, size_t section) override
    {
        auto all = letters();
        return section == 0 ? std::vector<std::string> { "#" } : std::vector<std::string>(all.begin() + 1, all.end());
    }
    bool canCompressLabelsInSection(VKIndexView&, size_t section) override { return section == 1; }
};

class VKFolderTableViewTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        if (table)
            table->removeFromSuperview();
        table.reset();
        strip.reset();
        UITestCase::TearDown();
    }
    void makeList(int perSection)
    {
        listing->perSection = perSection;
        table = VKFolderTableView::create({ 0, 0, 320, 460 });
        table->setDataSource(listing);
        table->setDelegate(listing);
        window().addSubview(table);
        strip = VKIndexView::create({ 292, 0, 28, 456 });
        strip->setDataSource(listing);
        strip->reloadLabels();
        table->addSubview(strip);
        runLoop();
    }
    size_t indexOf(const ui::View* view) const
    {
        auto& subviews = table->subviews();
        return size_t(std::find_if(subviews.begin(), subviews.end(), [&](auto& v) { return v.get() == view; })
            - subviews.begin());
    }
    // Every cell and header lies behind the strip.
    void expectStripInFront()
    {
        size_t at = indexOf(strip.get());
        ASSERT_LT(at, table->subviews().size());
        for (size_t i = at + 1; i < table->subviews().size(); ++i) {
            auto* view = table->subviews()[i].get();
            EXPECT_FALSE(dynamic_cast<ui::TableViewCell*>(view)) << "a row in front of the strip";
            EXPECT_FALSE(dynamic_cast<ui::Label*>(view)) << "a header in front of the strip";
        }
    }

    std::shared_ptr<Listing> listing = std::make_shared<Listing>();
    std::shared_ptr<VKFolderTableView> table;
    std::shared_ptr<VKIndexView> strip;
};

TEST_F(VKFolderTableViewTest, MarkingModeUntilASwipeAndTheDelegatesVeto)
{
    auto plain = ui::TableView::create();
    EXPECT_EQ(editingMode(*plain), 0);
    auto multi = VKMultiEditTableView::create();
    EXPECT_EQ(multi->editingMode(), VKMultiEditTableView::MultiEditMode);
    EXPECT_EQ(editingMode(*multi), 1);
    multi->setEditingMode(0);
    EXPECT_EQ(editingMode(*multi), 0);

    makeList(3);
    EXPECT_EQ(table->editingMode(), 1);
    // Refused: no button, the mode stays.
    listing->swipes = false;
    driver.swipeRow(*table, { 1, 1 });
    EXPECT_FALSE(table->cellForRow({ 1, 1 })->deleteConfirmationButton());
    EXPECT_EQ(table->editingMode(), 1);
    EXPECT_TRUE(listing->modesWhenEditingBegan.empty());

    // Not answered: swipes are taken, the mode is 0 before the button shows.
    listing->swipes = std::nullopt;
    driver.swipeRow(*table, { 1, 1 });
    EXPECT_EQ(listing->modesWhenEditingBegan, std::vector<int> { 0 });
    ASSERT_TRUE(table->cellForRow({ 1, 1 })->deleteConfirmationButton());
    driver.confirmDeletion(*table);
    EXPECT_EQ(listing->deleted, (std::vector<IndexPath> { { 1, 1 } }));
    // Editing ends: the owner puts the table back to marking.
    table->setEditingMode(VKMultiEditTableView::MultiEditMode);
    listing->swipes = true;
    driver.swipeRow(*table, { 2, 0 });
    EXPECT_EQ(table->editingMode(), 0);

    // A data source that cannot delete takes no swipes, whatever the
    // delegate says.
    struct ReadOnly : Listing {
        bool supportsCommitEditing() const override { return false; }
    };
    auto readOnly = std::make_shared<ReadOnly>();
    readOnly->swipes = true;
    table->setDataSource(readOnly);
    table->setEditingMode(1);
    EXPECT_FALSE(table->canHandleSwipes());
}

TEST_F(VKFolderTableViewTest, TheStripStaysAtTheTopInFrontWithoutReloading)
{
    makeList(370); // 9,990 rows
    EXPECT_EQ(table->indexStrip(), strip.get());
    EXPECT_EQ(strip->frame(), (gfx::Rect { 292, 2, 28, 456 }));
    expectStripInFront();
    int asked = listing->stripQuestions;
    float end = table->maximumContentOffset().y;
    for (int step = 1; step <= 200; ++step) {
        table->setContentOffset({ 0, end * float(step) / 200 });
        table->layoutIfNeeded();
        ASSERT_EQ(strip->frame(), (gfx::Rect { 292, table->contentOffset().y + 2, 28, 456 })) << step;
    }
    expectStripInFront();
    EXPECT_EQ(listing->stripQuestions, asked);
    // A header stuck at the top lies under the strip.
    ASSERT_TRUE(table->headerViewForTesting(26));
    EXPECT_LT(indexOf(table->headerViewForTesting(26)), indexOf(strip.get()));

    // Taken out, the strip is forgotten and no longer moved.
    strip->removeFromSuperview();
    EXPECT_EQ(table->indexStrip(), nullptr);
    table->setContentOffset({ 0, 100 });
    table->layoutIfNeeded();
    EXPECT_NE(strip->frame().y(), 102);
    // Any strip added becomes the one kept.
    auto other = VKIndexView::create({ 292, 0, 28, 400 });
    table->addSubview(other);
    EXPECT_EQ(table->indexStrip(), other.get());
    table->layoutIfNeeded();
    EXPECT_EQ(other->frame().y(), 102);
}

TEST_F(VKFolderTableViewTest, TheStripTakesItsTouchesAtOnceAndTheListStaysPut)
{
    makeList(20);
    table->setContentOffset({ 0, 300 });
    runLoop();
    std::vector<std::string> selected;
    strip->addTarget(nullptr, "indexChanged", [&](ui::Control&, const ui::Event*) {
        selected.push_back(strip->selectedLabel().value_or(""));
    }, ui::Control::ValueChanged);
    gfx::Point top = strip->convertPoint({ 14, 40 }, nullptr);
    auto finger = driver.touchDown({ top });
    EXPECT_TRUE(strip->isHighlighted()); // no delay
    EXPECT_EQ(selected.size(), 1u);
    for (int step = 1; step <= 10; ++step)
        driver.touchMove({ { finger[0], { top.x, top.y + 30.0f * float(step) } } });
    driver.touchUp(finger);
    advance(2);
    EXPECT_EQ(table->contentOffset().y, 300);
    EXPECT_GE(selected.size(), 8u);
    EXPECT_EQ(selected.front(), "A");
    EXPECT_EQ(selected.back(), "S");

    // A sideways slide across the strip is no row's swipe.
    driver.swipe(*strip, 2, 60);
    for (auto* cell : table->visibleCells())
        EXPECT_FALSE(cell->deleteConfirmationButton());
    EXPECT_EQ(table->editingMode(), 1);
}

} // namespace

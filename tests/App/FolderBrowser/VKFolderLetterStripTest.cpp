// The letter strip on a bare folder table, without a screen: where it sits,
// when it shows, and where a label's jump lands.

#include "App/FolderBrowser/VKFolderLetterStrip.h"

#include "App/FolderBrowser/VKFolderListing.h"
#include "App/FolderBrowser/VKFolderTableView.h"
#include "App/FolderBrowser/VKIndexView.h"
#include "FileModel/VKFileResource.h"
#include "Platform/UI/TableViewCell.h"
#include "Support/TestCase.h"

#include <fmt/format.h>

namespace {

// The listing's rows, 68 points each; the listing hears nothing that matters.
struct StripRows : ui::TableViewDataSource, VKFolderListing::Host {
    VKFolderListing* listing = nullptr;
    std::optional<VKFolderListing::Query> listingQuery() const override { return std::nullopt; }
    bool listingIsOnTop() const override { return false; }
    void listingDidRebuild() override { }
    void listingDidChange() override { }
    int numberOfSections(ui::TableView&) override { return 1; }
    int numberOfRows(ui::TableView&, int) override { return int(listing->count()); }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, ui::IndexPath) override
    {
        return std::make_shared<ui::TableViewCell>(ui::TableViewCell::Style::Default, "row");
    }
};

class VKFolderLetterStripTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        std::string folder = makeFolder("Library/Documents/Jump");
        for (int i = 0; i < 12; ++i) {
            makeFile(fmt::format("Library/Documents/Jump/P{:02}.txt", i), "x");
            makeFile(fmt::format("Library/Documents/Jump/r{:02}.pdf", i), "x");
        }
        listing = std::make_unique<VKFolderListing>(VKFileResource::resourceWithPath(folder), *rows);
        strip = std::make_shared<VKFolderLetterStrip>(*listing);
        rows->listing = listing.get();
        table->setRowHeight(68);
        table->setDataSource(rows);
        table->reloadData();
        table->layoutIfNeeded();
    }

    std::shared_ptr<StripRows> rows = std::make_shared<StripRows>();
    std::unique_ptr<VKFolderListing> listing;
    std::shared_ptr<VKFolderLetterStrip> strip;
    std::shared_ptr<VKFolderTableView> table = VKFolderTableView::create({ 0, 0, 320, 460 });
};

TEST_F(VKFolderLetterStripTest, SitsAtTheRightEdgeAndShowsOnlyWhenAllowed)
{
    EXPECT_FALSE(strip->view());
    strip->update(*table, true);
    auto* view = strip->view();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->superview(), table.get());
    EXPECT_EQ(view->frame().x(), 320 - 28 - 2);
    EXPECT_EQ(view->frame().height(), 460 - 4);
    EXPECT_FALSE(view->isHidden());
    EXPECT_EQ(strip->numberOfSectionsInIndexView(*view), view->labelSections().size());

    strip->setHidden(true, true);
    strip->setHidden(false, false);
    EXPECT_TRUE(view->isHidden()) << "not while the screen says no";
    strip->update(*table, true);
    EXPECT_FALSE(view->isHidden());
    EXPECT_EQ(strip->view(), view) << "made once";
}

TEST_F(VKFolderLetterStripTest, JumpsToTheFirstRowOfALetterWithinTheTable)
{
    float lowest = table->contentSize().height - table->frame().height();
    ASSERT_GT(lowest, 0);
    strip->jump(*table, "Q");
    EXPECT_EQ(table->contentOffset().y, 11 * 68) << "the last P row";
    strip->jump(*table, "#");
    EXPECT_EQ(table->contentOffset().y, 0);
    strip->jump(*table, "R");
    EXPECT_EQ(table->contentOffset().y, std::min(12.0f * 68, lowest));
    strip->jump(*table, "A");
    EXPECT_EQ(table->contentOffset().y, 0) << "the row before the first";
}

} // namespace

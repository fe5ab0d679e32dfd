// Single-choice lists: the row whose value equals the stored one (by value)
// is checked, a tap stores the row's value, and the list opens with the
// choice in view.

#include "Shell/Interface/InterfaceColors.h"
#include "Shell/Settings/VKSettingsListController.h"
#include "Shell/Settings/VKSortOrderSettingsController.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

namespace {

using Log = std::vector<std::string>;

class ListRoot : public ui::ViewController { };

class VKSettingsListControllerTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        navigation.reset();
        UITestCase::TearDown();
    }
    void show(const std::shared_ptr<VKSettingsListController>& list)
    {
        navigation = ui::NavigationController::create(std::make_shared<ListRoot>());
        window().setRootViewController(navigation);
        navigation->pushViewController(list, false);
        runLoop();
    }
    // The rows shown checked, by text.
    static Log checked(ui::TableView& table)
    {
        Log found;
        for (auto* cell : table.visibleCells())
            if (cell->accessoryType() == ui::TableViewCell::Accessory::Checkmark) {
                EXPECT_EQ(cell->textLabel().textColor(), tableViewCellTextValueColor());
                found.push_back(cell->textLabel().text());
            } else {
                EXPECT_EQ(cell->textLabel().textColor(), ui::StandardColors::black());
            }
        return found;
    }
    std::shared_ptr<ui::NavigationController> navigation;
};

TEST_F(VKSettingsListControllerTest, TheSortOrderChecksTheStoredNumberByValue)
{
    auto defaults = core::UserDefaults::standard();
    auto list = VKSortOrderSettingsController::sortOrderSettingsController();
    EXPECT_EQ(list->title(), "Sort Order");
    EXPECT_EQ(list->defaultsKey(), "VKFileSortOrder");

    defaults->set("VKFileSortOrder", core::Value(int64_t(2)));
    EXPECT_EQ(list->statusText(), "Sort by Kind");
    defaults->set("VKFileSortOrder", core::Value(2.0));
    EXPECT_EQ(list->statusText(), "Sort by Kind");
    EXPECT_TRUE(list->isCellCheckedAtIndexPath({ 0, 2 }));
    for (auto stored : { core::Value(int64_t(7)), core::Value("2") }) {
        defaults->set("VKFileSortOrder", stored);
        EXPECT_EQ(list->statusText(), "");
        EXPECT_EQ(list->indexPathOfCheckedCell(), std::nullopt);
    }

    defaults->set("VKFileSortOrder", core::Value(int64_t(2)));
    show(list);
    auto& table = list->tableView();
    EXPECT_EQ(driver.cellTexts(table),
        (Log { "Sort by Name", "Sort Folders First", "Sort by Kind", "Sort by Size", "Sort by Date" }));
    EXPECT_EQ(table.cellForRow({ 0, 0 })->reuseIdentifier(), "SettingsListCellIdentifier");
    EXPECT_EQ(checked(table), (Log { "Sort by Kind" }));

    driver.tapRow(table, { 0, 4 });
    EXPECT_EQ(defaults->object("VKFileSortOrder"), core::Value(int64_t(4)));
    EXPECT_TRUE(defaults->object("VKFileSortOrder").isInteger());
    EXPECT_EQ(checked(table), (Log { "Sort by Date" }));
    EXPECT_EQ(table.indexPathForSelectedRow(), std::nullopt);
    EXPECT_EQ(list->statusText(), "Sort by Date");

    // Nothing stored that matches: a tap checks just the row tapped.
    defaults->set("VKFileSortOrder", core::Value("junk"));
    table.reloadData();
    EXPECT_TRUE(checked(table).empty());
    driver.tapRow(table, { 0, 0 });
    EXPECT_EQ(checked(table), (Log { "Sort by Name" }));
}

TEST_F(VKSettingsListControllerTest, ALongListOpensWithTheChoiceInTheMiddle)
{
    std::vector<core::Value> values;
    for (int64_t i = 0; i < 40; ++i)
        values.emplace_back(i);
    core::UserDefaults::standard()->set("VKSlideShowTimeout", core::Value(int64_t(30)));
    auto list = VKSettingsListController::initWithDefaultsKey("VKSlideShowTimeout", values);
    EXPECT_EQ(list->labels().size(), 40u);
    EXPECT_EQ(list->labels()[30], "30");
    show(list);
    auto& table = list->tableView();
    gfx::Rect row = table.rectForRow({ 0, 30 });
    EXPECT_NEAR(row.midY() - table.contentOffset().y, table.bounds().height() / 2, 1);
    EXPECT_EQ(checked(table), (Log { "30" }));
}

} // namespace

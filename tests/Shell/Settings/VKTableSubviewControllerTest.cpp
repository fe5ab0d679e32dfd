// A settings page's life: rows built when its view loads (and again after
// a memory warning dropped them), read again whenever it shows, written
// back when it goes; rows that open pages; the note under the last section.

#include "Shell/Settings/VKButtonCell.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "Shell/Settings/VKTableFooterLabel.h"
#include "Shell/Settings/VKTableSubviewController.h"
#include "Shell/Settings/VKTextFieldCell.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Window.h"
#include "Support/RecordingTextEngine.h"
#include "Support/UITestCase.h"

namespace {

using Log = std::vector<std::string>;

class StatusPage : public VKTableSubviewController {
public:
    StatusPage() { setTitle("More"); }
    std::string statusText() override { return status; }
    std::string status = "Off";
};

// Two text rows in two groups, a switch, a row opening a page and a button.
class FormPage : public VKTableSubviewController {
public:
    FormPage() { setTitle("Form"); }
    void loadTableGroups() override
    {
        ++loads;
        auto first = VKTextFieldCell::initWithLabel("First", "VKFirst");
        auto toggle = VKSwitchCell::initWithLabel("Toggle", "VKToggle");
        auto more = VKSubviewCell::initWithLabel("More", subpage);
        auto second = VKTextFieldCell::initWithLabel("Second", "VKSecond");
        std::weak_ptr<core::Object> weak = weak_from_this();
        auto button = VKButtonCell::initWithLabel("Reset", shared_from_this(), "reset", [weak](VKButtonCell&) {
            if (auto self = std::static_pointer_cast<FormPage>(weak.lock()))
                ++self->resets;
        });
        setTableGroups({ { first, toggle, more }, { second, button } });
        setFooterText("Line one\nLine two");
    }
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override
    {
        if (auto* button = dynamic_cast<VKButtonCell*>(cellAt(path))) {
            button->buttonPushed();
            table.deselectRow(path, true);
            return;
        }
        VKTableSubviewController::didSelectRow(table, path);
    }
    void textFieldCellDidEndEditing(VKTextFieldCell& cell) override
    {
        log.push_back(cell.label().text() + "=" + cell.textField().text());
        VKTableSubviewController::textFieldCellDidEndEditing(cell);
    }
    VKTextFieldCell& field(int section, int row) const
    {
        return dynamic_cast<VKTextFieldCell&>(*tableGroups().at(size_t(section)).at(size_t(row)));
    }

    std::shared_ptr<StatusPage> subpage = std::make_shared<StatusPage>();
    int loads = 0;
    int resets = 0;
    Log log;
};

class SubviewRoot : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

class VKTableSubviewControllerTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        defaults = core::UserDefaults::standard();
        navigation = ui::NavigationController::create(std::make_shared<SubviewRoot>());
        window().setRootViewController(navigation);
        page = std::make_shared<FormPage>();
        navigation->pushViewController(page, false);
        runLoop();
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        navigation.reset();
        page.reset();
        UITestCase::TearDown();
    }
    void back()
    {
        driver.tapBack();
        advance(1);
    }

    std::shared_ptr<ui::NavigationController> navigation;
    std::shared_ptr<FormPage> page;
    std::shared_ptr<core::UserDefaults> defaults;
};

TEST_F(VKTableSubviewControllerTest, RowsAreBuiltWhenTheViewLoadsAndAgainAfterAMemoryWarning)
{
    auto& table = page->tableView();
    EXPECT_EQ(page->loads, 1);
    EXPECT_EQ(table.numberOfSections(), 2);
    EXPECT_EQ(table.numberOfRows(0), 3);
    EXPECT_EQ(driver.cellTexts(table), (Log { "First", "Toggle", "More", "Second", "Reset" }));
    // Each text row reports to the page.
    EXPECT_EQ(page->field(0, 0).delegate().get(), page.get());

    // On screen, a memory warning leaves it alone.
    driver.memoryWarning();
    EXPECT_EQ(page->tableGroups().size(), 2u);

    back();
    driver.memoryWarning();
    EXPECT_FALSE(page->isViewLoaded());
    EXPECT_TRUE(page->tableGroups().empty());
    navigation->pushViewController(page, false);
    runLoop();
    EXPECT_EQ(page->loads, 2);
    EXPECT_EQ(driver.cellTexts(page->tableView()).size(), 5u);
}

TEST_F(VKTableSubviewControllerTest, ShowingAgainRereadsLeavingWritesBack)
{
    auto& first = page->field(0, 0);
    auto& second = page->field(1, 0);
    driver.tap(first.textField());
    driver.type("Ann");
    EXPECT_EQ(page->activeTextField().get(), &first);
    driver.tap(second.textField());
    EXPECT_EQ(page->activeTextField().get(), &second);
    EXPECT_EQ(page->log, (Log { "First=Ann" }));
    driver.type("Bob");

    // Leaving while editing: the edit ends (stored, told), then every row
    // writes back in order, the second one again with the same value.
    back();
    EXPECT_EQ(page->log, (Log { "First=Ann", "Second=Bob", "First=Ann", "Second=Bob" }));
    EXPECT_EQ(page->activeTextField(), nullptr);
    EXPECT_EQ(defaults->stringForKey("VKFirst"), "Ann");
    EXPECT_EQ(defaults->stringForKey("VKSecond"), "Bob");

    // The page shows again: its table reloads, so the store shows through
    // the rows that re-read it.
    defaults->set("VKFirst", core::Value("Cy"));
    first.syncToDefaults();
    navigation->pushViewController(page, false);
    runLoop();
    EXPECT_EQ(first.textField().text(), "Cy");
}

TEST_F(VKTableSubviewControllerTest, RowsThatOpenPagesPushThemAndShowTheirSummaryFresh)
{
    auto& table = page->tableView();
    auto& more = dynamic_cast<VKSubviewCell&>(*table.cellForRow({ 0, 2 }));
    EXPECT_EQ(more.status().text(), "Off");
    driver.tapRow(table, { 0, 2 });
    advance(1);
    EXPECT_EQ(navigation->topViewController(), page->subpage.get());
    page->subpage->status = "On";
    back();
    EXPECT_EQ(more.status().text(), "On");
    EXPECT_FALSE(more.isSelected());

    // Other rows only lose the selection; a button row acts while enabled.
    driver.tapRow(table, { 0, 1 });
    EXPECT_EQ(table.indexPathForSelectedRow(), std::nullopt);
    EXPECT_EQ(navigation->topViewController(), page.get());
    driver.tapRow(table, { 1, 1 });
    EXPECT_EQ(page->resets, 1);
    dynamic_cast<VKButtonCell&>(*table.cellForRow({ 1, 1 })).setEnabled(false);
    driver.tapRow(table, { 1, 1 });
    EXPECT_EQ(page->resets, 1);
}

// Return works the control of the row the keyboard chose, which keeps its
// place in sight; a row that opens a page opens it.
TEST_F(VKTableSubviewControllerTest, TheKeyboardWorksTheRowsControls)
{
    auto& table = page->tableView();
    ASSERT_TRUE(driver.key(ui::KeyCommand::Down));
    ASSERT_TRUE(driver.key(ui::KeyCommand::Return));
    EXPECT_EQ(driver.firstResponder(), &page->field(0, 0).textField());
    driver.type("Kim");
    driver.pressReturn();
    EXPECT_EQ(defaults->stringForKey("VKFirst"), "Kim");

    driver.key(ui::KeyCommand::Down);
    auto& toggle = dynamic_cast<VKSwitchCell&>(*table.cellForRow({ 0, 1 }));
    EXPECT_TRUE(toggle.showsFocusFrame());
    driver.key(ui::KeyCommand::Return);
    EXPECT_TRUE(defaults->boolForKey("VKToggle"));
    EXPECT_EQ(table.indexPathForSelectedRow(), (ui::IndexPath { 0, 1 }));
    toggle.setEnabled(false);
    driver.key(ui::KeyCommand::Return);
    EXPECT_TRUE(defaults->boolForKey("VKToggle"));

    driver.key(ui::KeyCommand::Down);
    driver.key(ui::KeyCommand::Return);
    advance(1);
    EXPECT_EQ(navigation->topViewController(), page->subpage.get());
}

TEST_F(VKTableSubviewControllerTest, TheNoteStandsUnderTheLastSectionOnly)
{
    auto& table = page->tableView();
    EXPECT_EQ(page->viewForFooter(table, 0), nullptr);
    EXPECT_EQ(page->heightForFooter(table, 0), 0);
    auto* footer = page->footerLabel();
    ASSERT_TRUE(footer);
    EXPECT_EQ(page->viewForFooter(table, 1).get(), footer);
    EXPECT_EQ(page->heightForFooter(table, 1), 60);
    EXPECT_EQ(footer->numberOfLines(), 3);
    EXPECT_EQ(table.rectForFooter(1).height(), 60);
    EXPECT_EQ(page->footerText(), "Line one\nLine two");

    page->setFooterText(std::string(45, 'x'));
    EXPECT_EQ(footer->frame().height(), 40);
    page->setFooterText("");
    EXPECT_EQ(footer->frame().height(), 40);
    EXPECT_EQ(page->footerText(), "");

    // The text keeps 20 points from either side.
    auto engine = std::make_shared<test::RecordingTextEngine>();
    gfx::setTextEngine(engine);
    page->setFooterText("Line one\nLine two");
    runLoop();
    ASSERT_TRUE(ui::Renderer::renderImage(*footer));
    ASSERT_EQ(engine->texts(), (Log { "Line one", "Line two" }));
    float width = engine->widthOfString("Line one", footer->font());
    EXPECT_NEAR(engine->lines[0].x, 20 + (footer->bounds().width() - 40 - width) / 2, 1);

    // Pieces of 59 characters count one line each but wrap to two: the
    // note takes the lines it needs, and every word is drawn.
    std::string piece = "words that wrap onto a second line at this width, as these!";
    ASSERT_EQ(piece.size(), 59u);
    page->setFooterText(piece + "\n" + piece + "\n" + piece);
    EXPECT_EQ(footer->givenLines(), 4);
    runLoop();
    EXPECT_GT(footer->frame().height(), 4 * 20);
    EXPECT_EQ(table.rectForFooter(1).height(), footer->frame().height());
    engine->lines.clear();
    footer->setNeedsDisplay();
    ASSERT_TRUE(ui::Renderer::renderImage(*footer));
    std::string drawn;
    for (auto& line : engine->texts())
        drawn += line + " ";
    EXPECT_EQ(drawn, piece + " " + piece + " " + piece + " ");
    gfx::setTextEngine(nullptr);
}

} // namespace

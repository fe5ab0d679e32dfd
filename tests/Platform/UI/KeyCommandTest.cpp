#include "Support/UITestCase.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/PopoverController.h"
#include "Platform/UI/SearchBar.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Touch.h"

#include <fmt/format.h>

namespace {

using test::UITestCase;
using ui::IndexPath;
using ui::KeyCommand;
class KeyCommandTest : public UITestCase { };

// A list of `count` rows that logs the rows it opens.
struct List : ui::TableViewController {
    int count = 40;
    std::vector<std::string> opened;
    int numberOfRows(ui::TableView&, int) override { return count; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, IndexPath path) override
    {
        auto cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, "row");
        cell->textLabel().setText(std::to_string(path.row));
        return cell;
    }
    void didSelectRow(ui::TableView&, IndexPath path) override { opened.push_back(std::to_string(path.row)); }
};

struct Choices : ui::AlertViewDelegate, ui::ActionSheetDelegate {
    std::vector<std::string> log;
    void clickedButton(ui::AlertView&, int i) override { log.push_back(fmt::format("alert {}", i)); }
    void clickedButton(ui::ActionSheet&, int i) override { log.push_back(fmt::format("sheet {}", i)); }
};

// Keys reach the list of the screen shown: Up and Down move its
// selection and keep it in sight, Return opens it; Escape goes back.
TEST_F(KeyCommandTest, AListIsWalkedOpenedAndLeft)
{
    auto list = std::make_shared<List>();
    auto navigation = ui::NavigationController::create(ui::ViewController::create());
    window().addSubview(navigation->view());
    navigation->pushViewController(list, false);
    ui::TableView& table = list->tableView();

    EXPECT_TRUE(driver.key(KeyCommand::Down));
    EXPECT_EQ(table.indexPathForSelectedRow(), (IndexPath { 0, 0 }));
    for (int i = 0; i < 12; ++i)
        driver.key(KeyCommand::Down);
    EXPECT_EQ(table.indexPathForSelectedRow(), (IndexPath { 0, 12 }));
    gfx::Rect row = table.rectForRow({ 0, 12 });
    EXPECT_GE(table.contentOffset().y + table.bounds().height(), row.maxY()) << "the selection stays in sight";
    driver.key(KeyCommand::Up);
    EXPECT_TRUE(driver.key(KeyCommand::Return));
    EXPECT_EQ(list->opened, std::vector<std::string> { "11" });

    // The page keys take the selection along, to the row wholly in sight at
    // the bottom (down) or the top (up) of where they scrolled.
    auto inSight = [&](int row) {
        gfx::Rect rect = table.rectForRow({ 0, row });
        return rect.minY() >= table.contentOffset().y && rect.maxY() <= table.contentOffset().y + table.bounds().height();
    };
    auto sightEnd = [&](int step) {
        int row = step > 0 ? 39 : 0;
        while (!inSight(row))
            row -= step;
        return IndexPath { 0, row };
    };
    EXPECT_TRUE(driver.key(KeyCommand::PageDown));
    EXPECT_TRUE(driver.key(KeyCommand::PageDown));
    EXPECT_EQ(table.indexPathForSelectedRow(), sightEnd(1));
    EXPECT_GT(table.indexPathForSelectedRow()->row, 20);
    EXPECT_TRUE(driver.key(KeyCommand::PageUp));
    EXPECT_EQ(table.indexPathForSelectedRow(), sightEnd(-1));
    EXPECT_GT(table.indexPathForSelectedRow()->row, 0);
    driver.key(KeyCommand::End);
    EXPECT_EQ(table.indexPathForSelectedRow(), (IndexPath { 0, 39 }));
    EXPECT_FALSE(driver.key(KeyCommand::End)) << "already there";
    driver.key(KeyCommand::Home);
    EXPECT_EQ(table.indexPathForSelectedRow(), (IndexPath { 0, 0 }));

    // Without selection the keys scroll: a line, a screen less a line, the ends.
    table.setAllowsSelection(false);
    table.setContentOffset({ 0, 0 });
    driver.key(KeyCommand::Down);
    EXPECT_EQ(table.contentOffset().y, ui::ScrollView::KeyLine);
    driver.key(KeyCommand::PageDown);
    EXPECT_EQ(table.contentOffset().y, table.bounds().height());
    driver.key(KeyCommand::End);
    EXPECT_EQ(table.contentOffset(), table.maximumContentOffset());
    driver.key(KeyCommand::Home);
    EXPECT_FALSE(driver.key(KeyCommand::Home)) << "already at the top";
    EXPECT_FALSE(driver.key(KeyCommand::Left)) << "nothing to scroll across";

    EXPECT_TRUE(driver.key(KeyCommand::Escape));
    advance(1);
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
    EXPECT_FALSE(driver.key(KeyCommand::Back)) << "the root goes nowhere";
    navigation->view()->removeFromSuperview();
}

// The keyboard's place outlives the selection a list clears on coming
// back: Return on the third row, back, and the place (framed) is there, so
// Down goes on to the fourth. A touch takes the frame away, and rows that
// change so the place's row is gone take the place.
TEST_F(KeyCommandTest, AListKeepsTheKeyboardsPlaceAcrossASubPage)
{
    struct Opening : List {
        void didSelectRow(ui::TableView& table, IndexPath path) override
        {
            List::didSelectRow(table, path);
            navigationController()->pushViewController(ui::ViewController::create(), false);
        }
    };
    auto list = std::make_shared<Opening>();
    auto navigation = ui::NavigationController::create(list);
    window().addSubview(navigation->view());
    ui::TableView& table = list->tableView();
    for (auto command : { KeyCommand::Down, KeyCommand::Down, KeyCommand::Down, KeyCommand::Return })
        EXPECT_TRUE(driver.key(command));
    EXPECT_EQ(list->opened, std::vector<std::string> { "2" });
    EXPECT_TRUE(driver.key(KeyCommand::Escape));
    advance(1);
    ASSERT_EQ(navigation->topViewController(), list.get());
    EXPECT_FALSE(table.indexPathForSelectedRow()) << "the list clears its selection on coming back";
    EXPECT_EQ(table.keyboardPlace(), (IndexPath { 0, 2 }));
    EXPECT_TRUE(table.cellForRow({ 0, 2 })->showsFocusFrame());
    EXPECT_TRUE(driver.key(KeyCommand::Return)) << "Return opens the place again";
    EXPECT_EQ(list->opened.back(), "2");
    driver.key(KeyCommand::Escape);
    advance(1);
    driver.key(KeyCommand::Down);
    EXPECT_EQ(table.indexPathForSelectedRow(), (IndexPath { 0, 3 }));
    EXPECT_FALSE(table.cellForRow({ 0, 2 })->showsFocusFrame());

    driver.tapRow(table, { 0, 5 });
    advance(1);
    EXPECT_EQ(table.keyboardPlace(), (IndexPath { 0, 5 })) << "a touch moves the place too";
    EXPECT_FALSE(table.cellForRow({ 0, 5 })->showsFocusFrame()) << "but shows no frame";
    list->count = 6;
    table.reloadData();
    EXPECT_EQ(table.keyboardPlace(), (IndexPath { 0, 5 }));
    list->count = 5;
    table.reloadData();
    EXPECT_FALSE(table.keyboardPlace());
    navigation->view()->removeFromSuperview();
}

// Keys typed while a screen slides in or out are not lost: they wait for
// the slide to end and go, in order, to the screen it leaves shown, so
// Escape twice from the start of a push walks back to the root.
TEST_F(KeyCommandTest, KeysTypedDuringATransitionReachTheScreenItShows)
{
    auto first = std::make_shared<List>(), second = std::make_shared<List>();
    auto navigation = ui::NavigationController::create(first);
    window().addSubview(navigation->view());
    navigation->pushViewController(second, true);
    for (auto command : { KeyCommand::Down, KeyCommand::Down, KeyCommand::Return, KeyCommand::Escape })
        EXPECT_TRUE(driver.key(command));
    EXPECT_TRUE(second->opened.empty()) << "held until the push ends";
    advance(ui::NavigationController::TransitionDuration);
    EXPECT_EQ(second->opened, std::vector<std::string> { "1" });
    EXPECT_TRUE(navigation->isTransitioning()) << "the held Escape goes back";
    EXPECT_TRUE(driver.key(KeyCommand::Down));
    advance(1);
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
    EXPECT_EQ(first->tableView().indexPathForSelectedRow(), (IndexPath { 0, 0 })) << "the root had the last Down";

    // A presentation holds them too: its Escape dismisses it once shown.
    auto sheet = ui::ViewController::create();
    first->presentModalViewController(sheet, true);
    EXPECT_TRUE(driver.key(KeyCommand::Escape));
    advance(1);
    EXPECT_FALSE(first->modalViewController());
    navigation->view()->removeFromSuperview();
}

// A click while a push slides reaches no screen: not the list it leaves,
// which lies on top until the slide ends, nor the one coming. The window
// says it slides in the view tree's dump. Once it ended, a click reaches
// the screen shown.
TEST_F(KeyCommandTest, ClicksDuringATransitionReachNoScreen)
{
    auto first = std::make_shared<List>(), second = std::make_shared<List>();
    auto navigation = ui::NavigationController::create(first);
    window().addSubview(navigation->view());
    navigation->view()->layoutIfNeeded();
    first->tableView().layoutIfNeeded();
    auto* cell = first->tableView().cellForRow({ 0, 2 });
    ASSERT_TRUE(cell);
    gfx::Point row = driver.tapPoint(*cell);
    navigation->pushViewController(second, true);
    EXPECT_EQ(window().debugText(), "transitioning");
    // Straight to the application (the driver waits for the slide's end).
    auto touch = ui::Touch::create(row, core::RunLoop::main().clock()->monotonic());
    ui::Application::shared()->sendEvent(ui::Event::touches({ touch }));
    touch->update(ui::Touch::Phase::Ended, row, core::RunLoop::main().clock()->monotonic());
    ui::Application::shared()->sendEvent(ui::Event::touches({ touch }));
    runLoop();
    EXPECT_TRUE(first->opened.empty()) << "the list beneath took the click";
    EXPECT_TRUE(second->opened.empty());
    advance(ui::NavigationController::TransitionDuration);
    EXPECT_EQ(window().debugText(), "");
    driver.tap(row);
    EXPECT_TRUE(first->opened.empty());
    EXPECT_EQ(second->opened, std::vector<std::string> { "2" });
    navigation->view()->removeFromSuperview();
}

// A paging view turns whole pages, as a swipe ending would.
TEST_F(KeyCommandTest, APagerTurnsWholePages)
{
    struct Ends : ui::ScrollViewDelegate {
        int ended = 0;
        void didEndDecelerating(ui::ScrollView&) override { ++ended; }
    };
    auto ends = std::make_shared<Ends>();
    auto pager = ui::ScrollView::create(window().bounds());
    pager->setPagingEnabled(true);
    pager->setContentSize({ 320 * 3, 480 });
    pager->setDelegate(ends);
    window().addSubview(pager);
    EXPECT_TRUE(driver.key(KeyCommand::Right));
    EXPECT_TRUE(driver.key(KeyCommand::PageDown)) << "sideways, where only that way scrolls";
    EXPECT_EQ(pager->contentOffset().x, 640);
    EXPECT_FALSE(driver.key(KeyCommand::Right));
    EXPECT_EQ(ends->ended, 2);
    pager->removeFromSuperview();
}

// Return presses an alert's default button and Escape its cancel; an
// action sheet and a popover close by Escape, and no key reaches the list
// under them.
TEST_F(KeyCommandTest, ChoicesAndPopoversAnswerReturnAndEscape)
{
    auto choices = std::make_shared<Choices>();
    auto list = std::make_shared<List>();
    window().addSubview(list->view());

    ui::AlertView::create("Delete?", "", choices, "Cancel", { "Delete" })->show();
    driver.key(KeyCommand::Return);
    auto several = ui::AlertView::create("Which?", "", choices, {}, { "A", "B" });
    several->show();
    driver.key(KeyCommand::Return); // no default among several
    driver.key(KeyCommand::Escape);
    advance(1);
    auto sheet = ui::ActionSheet::create("T", choices, "Cancel", {}, { "A" });
    sheet->showInView(*list->view());
    EXPECT_TRUE(driver.key(KeyCommand::Down));
    driver.key(KeyCommand::Escape);
    advance(1);
    // A sheet's one choice besides Cancel is its default, unless it destroys.
    ui::ActionSheet::create("Unzip?", choices, "Cancel", {}, { "Unzip" })->showInView(*list->view());
    driver.key(KeyCommand::Return);
    advance(1);
    auto deleting = ui::ActionSheet::create("Delete?", choices, "Cancel", "Delete");
    deleting->showInView(*list->view());
    driver.key(KeyCommand::Return);
    EXPECT_TRUE(deleting->isVisible());
    driver.key(KeyCommand::Escape);
    advance(1);
    EXPECT_EQ(choices->log, (std::vector<std::string> { "alert 1", "alert -1", "sheet 1", "sheet 0", "sheet 1" }));
    EXPECT_FALSE(list->tableView().indexPathForSelectedRow());
    // The arrows walk a sheet's buttons as they show, stopping at its ends;
    // Return presses the one reached.
    auto walked = ui::ActionSheet::create("W", choices, "Cancel", "Delete", { "A", "B" });
    walked->showInView(*list->view());
    for (auto command : { KeyCommand::Up, KeyCommand::Down, KeyCommand::Down, KeyCommand::Up, KeyCommand::Return })
        driver.key(command);
    advance(1);
    int b = 0;
    while (walked->buttonTitle(b) != "B")
        ++b;
    EXPECT_EQ(choices->log.back(), fmt::format("sheet {}", b)) << "Cancel is last, B above it";

    auto popover = ui::PopoverController::create(ui::ViewController::create());
    popover->presentFromRect({ 100, 100, 20, 20 }, window(), ui::PopoverController::Any, false);
    driver.key(KeyCommand::Down);
    EXPECT_FALSE(list->tableView().indexPathForSelectedRow());
    driver.key(KeyCommand::Escape);
    EXPECT_FALSE(popover->isPopoverVisible());
    list->view()->removeFromSuperview();
}

// A presented screen: Escape is its Cancel (or, with none, its
// dismissal), Return its Done; a search field lets go of the keys.
TEST_F(KeyCommandTest, PresentedScreensAndSearchFields)
{
    auto root = ui::ViewController::create();
    window().addSubview(root->view());
    auto sheet = ui::ViewController::create();
    auto navigation = ui::NavigationController::create(sheet);
    std::vector<std::string> pressed;
    auto item = [&](ui::BarButtonItem::SystemItem system, std::string name) {
        auto bar = ui::BarButtonItem::create(system);
        bar->addTarget(nullptr, name, [&pressed, name](ui::BarButtonItem&) { pressed.push_back(name); });
        return bar;
    };
    sheet->navigationItem().setLeftBarButtonItem(item(ui::BarButtonItem::SystemItem::Cancel, "cancel"));
    sheet->navigationItem().setRightBarButtonItem(item(ui::BarButtonItem::SystemItem::Done, "done"));
    root->presentModalViewController(navigation, false);
    driver.key(KeyCommand::Return);
    driver.key(KeyCommand::Escape);
    EXPECT_EQ(pressed, (std::vector<std::string> { "done", "cancel" }));
    sheet->navigationItem().setLeftBarButtonItem(nullptr);
    sheet->navigationItem().setRightBarButtonItem(nullptr);
    driver.key(KeyCommand::Escape);
    advance(1);
    EXPECT_FALSE(root->modalViewController());

    auto search = ui::SearchBar::create({ 0, 0, 320, 44 });
    root->view()->addSubview(search);
    search->becomeFirstResponder();
    EXPECT_TRUE(search->textField().isFirstResponder());
    EXPECT_TRUE(driver.key(KeyCommand::Escape));
    EXPECT_FALSE(search->textField().isFirstResponder());
    root->view()->removeFromSuperview();
}

} // namespace

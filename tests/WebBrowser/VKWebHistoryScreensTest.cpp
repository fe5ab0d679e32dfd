// The history screen's day groups and the type-ahead list: filtering,
// visibility over the dimmed page, choosing and deleting rows, the
// dimmed area's touch, and the list's height above the keyboard.

#include "WebBrowserTestCase.h"

#include "Shell/VKNavigationController.h"
#include "Platform/Core/TimeZone.h"
#include "Kit/DateAdditions.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"
#include "Support/UIScreens.h"
#include "WebBrowser/VKWebHistorySearchController.h"
#include "WebBrowser/VKWebHistorySearchPlaceholderView.h"
#include "WebBrowser/VKWebHistoryViewController.h"

namespace {

class HistoryRecorder : public VKWebHistorySearchControllerDelegate, public VKWebHistoryViewControllerDelegate {
public:
    bool supportsDidSelectHistoryURL() const override { return answers; }
    void webHistorySearchControllerDidSelectHistoryURL(VKWebHistorySearchController&, const core::URL& url) override
    {
        selected.push_back(url.absoluteString());
    }
    void webHistoryViewControllerDidSelectHistoryURL(VKWebHistoryViewController&, const core::URL& url) override
    {
        selected.push_back(url.absoluteString());
    }
    bool supportsCancelled() const override { return answers; }
    void webHistorySearchControllerCancelled(VKWebHistorySearchController&) override { ++cancelled; }

    std::vector<std::string> selected;
    int cancelled = 0;
    bool answers = true;
};

// The page under the type-ahead list, with the address field.
class HistoryPageController : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

class VKWebHistoryScreensTest : public test::WebBrowserTestCase {
protected:
    void SetUp() override
    {
        WebBrowserTestCase::SetUp();
        recorder = std::make_shared<HistoryRecorder>();
        clock().setNow(at(2026, 12, 8, 15, 0)); // a Tuesday
    }
    void visit(const std::string& address, const std::string& title, core::Date date)
    {
        clock().setNow(date);
        VKWebHistory::sharedWebHistory()->addURL(url(address), title);
    }
    std::vector<std::string> addresses(const std::vector<VKWebHistoryItem>& items)
    {
        std::vector<std::string> result;
        for (const auto& item : items)
            result.push_back(item.URL);
        return result;
    }
    // The type-ahead list over a page in the window.
    std::shared_ptr<VKWebHistorySearchController> showList(bool fullscreen)
    {
        page = std::make_shared<HistoryPageController>();
        window().setRootViewController(page);
        auto list = VKWebHistorySearchController::create();
        list->setFullscreen(fullscreen);
        list->setHistoryDelegate(recorder);
        auto& root = *list->view();
        root.setFrame(page->view()->bounds());
        page->view()->addSubview(list->view());
        runLoop();
        return list;
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        page.reset();
        WebBrowserTestCase::TearDown();
    }

    std::shared_ptr<HistoryRecorder> recorder;
    std::shared_ptr<HistoryPageController> page;
};

TEST_F(VKWebHistoryScreensTest, TheHistoryScreenGroupsVisitsByDayNewestFirst)
{
    visit("http://monday.example/", "Monday", at(2026, 12, 7, 10, 0));
    visit("http://early.example/", "Early", at(2026, 12, 8, 8, 0));
    visit("http://old.example/", "Thursday", at(2026, 12, 3, 9, 0));
    visit("http://late.example/", "", at(2026, 12, 8, 14, 0));
    // A month ago on the same day of the month is another group.
    visit("http://month.example/", "Month", at(2026, 11, 8, 14, 0));
    clock().setNow(at(2026, 12, 8, 15, 0));

    auto screen = VKWebHistoryViewController::create();
    screen->setHistoryDelegate(recorder);
    auto navigation = VKNavigationController::create(screen);
    window().setRootViewController(navigation);
    runLoop();
    ASSERT_TRUE(screen->items());
    const auto& groups = *screen->items();
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_EQ(addresses(groups[0].items), (std::vector<std::string> { "http://late.example/", "http://early.example/" }));
    EXPECT_EQ(groups[0].description, "Today");
    EXPECT_EQ(groups[1].description, "Yesterday");
    EXPECT_EQ(groups[2].description, "Thursday");
    EXPECT_EQ(groups[3].description, descriptionWithNaturalLanguageUsingAbbreviation(at(2026, 11, 8, 14, 0),
        VKDateAbbreviation::None, true));
    EXPECT_EQ(screen->tableView().numberOfSections(), 4);
    EXPECT_EQ(screen->titleForHeader(screen->tableView(), 1), "Yesterday");
    auto* untitled = screen->tableView().cellForRow({ 0, 0 });
    ASSERT_TRUE(untitled);
    EXPECT_EQ(untitled->reuseIdentifier(), "VKWebHistoryCell");
    EXPECT_EQ(untitled->textLabel().text(), "Untitled");
    EXPECT_EQ(untitled->detailTextLabel()->text(), "http://late.example/");

    driver.tapRow(screen->tableView(), { 1, 0 });
    EXPECT_EQ(recorder->selected, std::vector<std::string> { "http://monday.example/" });
    EXPECT_FALSE(screen->tableView().indexPathForSelectedRow());

    // Deleting the only row of a day removes its section.
    driver.swipeRow(screen->tableView(), { 1, 0 });
    driver.confirmDeletion(screen->tableView());
    advance(1);
    EXPECT_EQ(screen->items()->size(), 3u);
    EXPECT_EQ(VKWebHistory::sharedWebHistory()->allItems().size(), 4u);

    // A new visit shows at the next appearance.
    VKWebHistory::sharedWebHistory()->addURL(url("http://new.example/"), "New");
    screen->viewWillAppear(false);
    EXPECT_EQ((*screen->items())[0].items[0].URL, "http://new.example/");

    screen->clearHistory();
    EXPECT_FALSE(screen->items());
    EXPECT_EQ(screen->tableView().numberOfSections(), 0);
    window().setRootViewController(nullptr);
}

TEST_F(VKWebHistoryScreensTest, GroupsFollowTheDefaultTimeZonesDays)
{
    core::TimeZone::setDefaultTimeZoneForTesting(*core::TimeZone::named("America/New_York"));
    // 03:00 UTC on the 8th is the evening of the 7th in New York.
    std::vector<VKWebHistoryItem> items { { "a", "", core::Date::fromUnixTime(1796698800.0) }, // 2026-12-08 03:00 UTC
        { "b", "", core::Date::fromUnixTime(1796698800.0 - 4 * 3600) } };
    EXPECT_EQ(VKWebHistoryViewController::dayGroups(items).size(), 1u);
    core::TimeZone::setDefaultTimeZoneForTesting(core::TimeZone::utc());
    EXPECT_EQ(VKWebHistoryViewController::dayGroups(items).size(), 2u);
}

TEST_F(VKWebHistoryScreensTest, TheTypeAheadListFiltersShortestFirst)
{
    visit("http://www.example.org/long/path", "Long", at(2026, 12, 8, 9, 0));
    visit("http://example.org/", "Short", at(2026, 12, 8, 9, 1));
    visit("http://other.test/", "Other", at(2026, 12, 8, 9, 2));
    visit("http://EXAMPLE.net/", "", at(2026, 12, 8, 9, 3));
    auto list = showList(false);
    EXPECT_FALSE(dynamic_cast<VKWebHistorySearchPlaceholderView*>(list->view().get()));
    EXPECT_EQ(list->tableView()->autoresizingMask(), ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    EXPECT_TRUE(list->filteredItems().empty());
    EXPECT_FALSE(list->tableView()->isHidden());

    list->setItemFilter("example");
    EXPECT_EQ(addresses(list->filteredItems()),
        (std::vector<std::string> { "http://EXAMPLE.net/", "http://example.org/", "http://www.example.org/long/path" }));
    EXPECT_EQ(driver.cellTexts(*list->tableView()).size(), 3u);
    list->setItemFilter("");
    EXPECT_TRUE(list->filteredItems().empty());
    list->setShowAllItems(true);
    EXPECT_EQ(list->filteredItems().size(), 4u);

    // Choosing tells the browser and deselects; a delegate that does not
    // answer hears nothing.
    list->setItemFilter("other");
    driver.tapRow(*list->tableView(), { 0, 0 });
    EXPECT_EQ(recorder->selected, std::vector<std::string> { "http://other.test/" });
    EXPECT_FALSE(list->tableView()->indexPathForSelectedRow());
    recorder->answers = false;
    driver.tapRow(*list->tableView(), { 0, 0 });
    EXPECT_EQ(recorder->selected.size(), 1u);
}

TEST_F(VKWebHistoryScreensTest, FullScreenTheListDimsThePageAndHidesWhileEmpty)
{
    visit("http://example.org/", "Example", at(2026, 12, 8, 9, 0));
    visit("http://example.com/", "Example too", at(2026, 12, 8, 9, 1));
    auto list = showList(true);
    auto* placeholder = dynamic_cast<VKWebHistorySearchPlaceholderView*>(list->view().get());
    ASSERT_TRUE(placeholder);
    EXPECT_EQ(placeholder->controller(), list.get());
    EXPECT_EQ(placeholder->backgroundColor(), gfx::Color::white(0, 0.8f));
    EXPECT_EQ(placeholder->autoresizingMask(), ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    EXPECT_EQ(list->tableView()->autoresizingMask(), unsigned(ui::View::FlexibleWidth));
    EXPECT_TRUE(list->tableView()->isHidden());

    list->setItemFilter("example.");
    EXPECT_FALSE(list->tableView()->isHidden());
    // Swiping the last rows away hides the list again.
    driver.swipeRow(*list->tableView(), { 0, 0 });
    driver.confirmDeletion(*list->tableView());
    advance(1);
    EXPECT_FALSE(list->tableView()->isHidden());
    driver.swipeRow(*list->tableView(), { 0, 0 });
    driver.confirmDeletion(*list->tableView());
    advance(1);
    EXPECT_TRUE(list->tableView()->isHidden());
    EXPECT_TRUE(VKWebHistory::sharedWebHistory()->allItems().empty());

    // With every entry shown the list stays even when empty.
    list->setShowAllItems(true);
    EXPECT_FALSE(list->tableView()->isHidden());

    // A touch on the dimmed area ends the editing.
    list->setShowAllItems(false);
    driver.tap(*placeholder);
    EXPECT_EQ(recorder->cancelled, 1);
    recorder->answers = false;
    driver.tap(*placeholder);
    EXPECT_EQ(recorder->cancelled, 1);
}

TEST_F(VKWebHistoryScreensTest, TheListEndsAtTheKeyboardInEveryOrientation)
{
    for (int i = 0; i < 30; ++i)
        visit("http://example.org/" + std::to_string(i), "Page", at(2026, 12, 8, 9, i));
    for (const auto& device : { test::phoneScreen, test::tabletScreen }) {
        test::useDeviceScreen(window(), device);
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeRight }) {
            auto list = showList(true);
            if (orientation != ui::Orientation::Portrait) {
                ASSERT_TRUE(driver.rotate(orientation));
                advance(1);
            }
            list->setItemFilter("example");
            auto field = ui::TextField::create();
            field->setFrame(gfx::Rect(10, 10, 200, 30));
            page->view()->addSubview(field);
            ASSERT_TRUE(field->becomeFirstResponder());
            advance(1);
            auto& root = *list->view();
            gfx::Rect keyboard = root.convertRectFrom(ui::Keyboard::shared().frame(), nullptr);
            gfx::Rect table = list->tableView()->frame();
            EXPECT_FLOAT_EQ(table.height(), keyboard.minY() - root.bounds().minY()) << device.name;
            EXPECT_FLOAT_EQ(table.width(), root.bounds().width()) << device.name;
            EXPECT_FLOAT_EQ(table.y(), 0);
            EXPECT_FLOAT_EQ(table.maxY(), keyboard.minY());

            field->resignFirstResponder();
            advance(1);
            EXPECT_EQ(list->tableView()->frame(), root.bounds());
            // Turned with the keyboard up, the list follows it.
            ASSERT_TRUE(field->becomeFirstResponder());
            advance(1);
            auto turned = orientation == ui::Orientation::Portrait ? ui::Orientation::LandscapeLeft : ui::Orientation::Portrait;
            ASSERT_TRUE(driver.rotate(turned));
            advance(1);
            keyboard = root.convertRectFrom(ui::Keyboard::shared().frame(), nullptr);
            EXPECT_FLOAT_EQ(list->tableView()->frame().maxY(), keyboard.minY()) << device.name << " turned";
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
            field->resignFirstResponder();
            advance(1);
            field->removeFromSuperview();
            if (orientation != ui::Orientation::Portrait) {
                ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
                advance(1);
            }
        }
    }
}

} // namespace

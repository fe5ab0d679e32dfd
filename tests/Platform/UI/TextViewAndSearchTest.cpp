#include "Support/UITestCase.h"

#include "Platform/UI/Button.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/SearchDisplayController.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/TextView.h"

#include <gmock/gmock.h>

namespace {

using test::UITestCase;
class TextViewAndSearchTest : public UITestCase { };
using Log = std::vector<std::string>;

TEST_F(TextViewAndSearchTest, TextViewWrapsScrollsAndObservesItsFont)
{
    auto text = ui::TextView::create({ 0, 0, 320, 100 });
    window().addSubview(text);
    EXPECT_EQ(text->font(), gfx::Font::fontWithName("Helvetica", 12));
    text->setText("short");
    float oneLine = text->contentSize().height;
    std::string longText;
    for (int i = 0; i < 200; ++i)
        longText += "word ";
    text->setText(longText);
    EXPECT_GT(text->contentSize().height, oneLine * 5);
    // The text is drawn in a view covering what shows, which follows the
    // scrolling.
    EXPECT_EQ(text->documentView().frame(), text->bounds());
    text->setContentOffset({ 0, 40 });
    EXPECT_EQ(text->documentView().frame(), text->bounds());
    EXPECT_EQ(text->documentView().frame().origin.y, 40);
    text->setContentOffset({ 0, 0 });

    int fontChanges = 0;
    auto observation = text->observeFont([&](const gfx::Font&, const gfx::Font&) { ++fontChanges; });
    text->setFont(gfx::Font::systemFont(20));
    text->setFont(gfx::Font::systemFont(20));
    EXPECT_EQ(fontChanges, 1);
    EXPECT_GT(text->contentSize().height, oneLine * 5);

    // Typing at the end scrolls the caret into view unless told not to.
    driver.tap(*text);
    ASSERT_EQ(driver.firstResponder(), text.get());
    EXPECT_TRUE(driver.keyboardVisible());
    text->setSelectedRange({ longText.size(), 0 });
    text->setScrollsSelectionToVisible(false);
    driver.type("x");
    EXPECT_EQ(text->contentOffset().y, 0);
    text->setScrollsSelectionToVisible(true);
    driver.type("y");
    EXPECT_GT(text->contentOffset().y, 0);
    EXPECT_EQ(text->text(), longText + "xy");

    text->setEditable(false);
    EXPECT_NE(driver.firstResponder(), text.get());
    text->insertText("z");
    EXPECT_EQ(text->text(), longText + "xy");
    text->removeFromSuperview();
}

struct SearchLog : ui::SearchDisplayDelegate, ui::TableViewDataSource {
    Log log;
    std::vector<std::string> results;
    bool shouldReloadForSearchString(ui::SearchDisplayController&, const std::string& text) override
    {
        log.push_back("reload " + text);
        results = { text + "1", text + "2" };
        return true;
    }
    bool shouldReloadForSearchScope(ui::SearchDisplayController&, int scope) override
    {
        log.push_back("scope " + std::to_string(scope));
        return true;
    }
    void didBeginSearch(ui::SearchDisplayController&) override { log.push_back("begin"); }
    void didEndSearch(ui::SearchDisplayController&) override { log.push_back("end"); }
    int numberOfRows(ui::TableView&, int) override { return int(results.size()); }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, ui::IndexPath path) override
    {
        auto cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, "");
        cell->textLabel().setText(results[size_t(path.row)]);
        return cell;
    }
};

TEST_F(TextViewAndSearchTest, SearchShowsResultsWhileThereIsText)
{
    auto contents = ui::ViewController::create();
    auto navigation = ui::NavigationController::create(contents);
    window().setRootViewController(navigation);
    auto bar = ui::SearchBar::create({ 0, 0, 320, 44 });
    bar->setScopeButtonTitles({ "All", "Names" });
    bar->setShowsScopeBar(true);
    EXPECT_EQ(bar->frame().height(), 88);
    contents->view()->addSubview(bar);
    auto search = ui::SearchDisplayController::create(bar, contents);
    auto log = std::make_shared<SearchLog>();
    search->setDelegate(log);
    search->setSearchResultsDataSource(log);
    runLoop();

    driver.tap(bar->textField());
    EXPECT_TRUE(search->isActive());
    EXPECT_TRUE(navigation->isNavigationBarHidden());
    EXPECT_FALSE(bar->cancelButton().isHidden());
    driver.type("ab");
    EXPECT_EQ(log->log, (Log { "begin", "reload a", "reload ab" }));
    EXPECT_TRUE(search->isShowingResults());
    EXPECT_EQ(driver.cellTexts(search->searchResultsTableView()), (std::vector<std::string> { "ab1", "ab2" }));

    driver.deleteBackward();
    driver.deleteBackward();
    EXPECT_FALSE(search->isShowingResults());

    driver.type("c");
    log->log.clear();
    driver.tapSegment(*bar->scopeBar(), 1);
    EXPECT_EQ(log->log, (Log { "scope 1" }));

    driver.tap(bar->cancelButton());
    EXPECT_FALSE(search->isActive());
    EXPECT_EQ(bar->text(), "");
    EXPECT_FALSE(search->isShowingResults());
    EXPECT_FALSE(navigation->isNavigationBarHidden());
    EXPECT_TRUE(bar->cancelButton().isHidden());
    EXPECT_EQ(log->log.back(), "end");
    window().setRootViewController(nullptr);
}

} // namespace

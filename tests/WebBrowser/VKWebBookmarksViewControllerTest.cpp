// The bookmarks screen with its history screen and the bookmark form,
// driven in a navigation stack: rows, taps, editing, the edit form's
// round trip, and clearing the history.

#include "WebBrowserTestCase.h"

#include "Shell/Interface/InterfaceColors.h"
#include "Shell/VKNavigationController.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Window.h"
#include "Viewers/Document/VKBookmarkAddCell.h"
#include "WebBrowser/VKWebBookmarksViewController.h"

namespace {

class Recorder : public VKWebBookmarksViewControllerDelegate, public VKWebAddBookmarkViewControllerDelegate {
public:
    bool supportsDidSelectURL() const override { return true; }
    void webBookmarksViewControllerDidSelectURL(VKWebBookmarksViewController&, const std::optional<core::URL>& url) override
    {
        selected.push_back(url ? url->absoluteString() : "(none)");
    }
    bool supportsDidSelectAddBookmark() const override { return true; }
    void webBookmarksViewControllerDidSelectAddBookmark(VKWebBookmarksViewController&) override { ++addTaps; }
    bool supportsDidAccept() const override { return answersAccept; }
    void webAddBookmarkViewControllerDidAccept(VKWebAddBookmarkViewController&) override { ++accepted; }
    bool supportsDidDisappear() const override { return true; }
    void webAddBookmarkViewControllerDidDisappear(VKWebAddBookmarkViewController&) override { ++disappeared; }

    std::vector<std::string> selected;
    int addTaps = 0;
    int accepted = 0;
    int disappeared = 0;
    bool answersAccept = true;
};

class VKWebBookmarksViewControllerTest : public test::WebBrowserTestCase {
protected:
    void SetUp() override
    {
        WebBrowserTestCase::SetUp();
        auto store = VKWebBookmarks::sharedWebBookmarks();
        for (const auto& bookmark : store->bookmarks())
            store->removeBookmark(bookmark);
        for (const char* name : { "alpha", "beta", "gamma" })
            store->addURL(url(std::string("http://") + name + ".example/"), std::string(name));
        store->addURL(std::nullopt, std::string("no address"));
        recorder = std::make_shared<Recorder>();
        screen = VKWebBookmarksViewController::initWithBookmarksDelegate(recorder);
        navigation = VKNavigationController::create(screen);
        window().setRootViewController(navigation);
        runLoop();
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        navigation.reset();
        screen.reset();
        WebBrowserTestCase::TearDown();
    }
    ui::TableView& table() { return screen->tableView(); }
    std::vector<std::string> storedTitles()
    {
        std::vector<std::string> titles;
        for (const auto& bookmark : VKWebBookmarks::sharedWebBookmarks()->bookmarks())
            titles.push_back(bookmark.title);
        return titles;
    }

    std::shared_ptr<Recorder> recorder;
    std::shared_ptr<VKWebBookmarksViewController> screen;
    std::shared_ptr<VKNavigationController> navigation;
};

TEST_F(VKWebBookmarksViewControllerTest, RowsFollowTheAddRowAndTheSnapshot)
{
    EXPECT_EQ(screen->title(), "Bookmarks");
    ASSERT_TRUE(screen->navigationItem().rightBarButtonItem());
    EXPECT_EQ(screen->navigationItem().rightBarButtonItem(), screen->editButtonItem());
    EXPECT_TRUE(table().allowsSelectionDuringEditing());

    EXPECT_EQ(screen->bookmarkStartIndex(), 1);
    EXPECT_EQ(table().numberOfRows(0), 5);
    EXPECT_EQ(driver.cellTexts(table()),
        (std::vector<std::string> { "History", "alpha", "beta", "gamma", "no address" }));
    EXPECT_EQ(screen->bookmarkAtIndexPath({ 0, 0 }), nullptr);
    EXPECT_EQ(screen->bookmarkAtIndexPath({ 0, 1 })->title, "alpha");

    screen->setAddCellEnabled(true);
    runLoop();
    EXPECT_EQ(screen->bookmarkStartIndex(), 2);
    EXPECT_EQ(table().numberOfRows(0), 6);
    auto* add = table().cellForRow({ 0, 0 });
    ASSERT_TRUE(add);
    EXPECT_EQ(add->reuseIdentifier(), "VKWebBookmarkAddCell");
    EXPECT_EQ(add->textLabel().text(), "Add Bookmark");
    EXPECT_EQ(add->textLabel().textColor(), ui::StandardColors::gray());
    EXPECT_TRUE(add->imageView().image());
    auto* history = table().cellForRow({ 0, 1 });
    EXPECT_EQ(history->reuseIdentifier(), "VKWebBookmarkHistoryCell");
    EXPECT_TRUE(history->imageView().image());
    auto* bookmark = table().cellForRow({ 0, 2 });
    EXPECT_EQ(bookmark->reuseIdentifier(), "VKWebBookmarkCell");
    EXPECT_EQ(bookmark->style(), ui::TableViewCell::Style::Subtitle);
    EXPECT_EQ(bookmark->detailTextLabel()->text(), "http://alpha.example/");
    EXPECT_EQ(bookmark->detailTextLabel()->lineBreakMode(), gfx::LineBreakMode::MiddleTruncation);
    EXPECT_TRUE(bookmark->imageView().highlightedImage());
    EXPECT_EQ(bookmark->editingAccessoryType(), ui::TableViewCell::Accessory::DisclosureIndicator);
}

TEST_F(VKWebBookmarksViewControllerTest, TapsTellTheBrowserOrOpenTheHistory)
{
    screen->setAddCellEnabled(true);
    runLoop();
    driver.tapRow(table(), { 0, 0 });
    EXPECT_EQ(recorder->addTaps, 1);
    driver.tapRow(table(), { 0, 3 });
    driver.tapRow(table(), { 0, 5 });
    EXPECT_EQ(recorder->selected, (std::vector<std::string> { "http://beta.example/", "(none)" }));
    EXPECT_FALSE(table().indexPathForSelectedRow());

    // History opens only when not editing.
    screen->setEditing(true, false);
    driver.tapRow(table(), { 0, 1 });
    advance(1);
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
    screen->setEditing(false, false);
    driver.tapRow(table(), { 0, 1 });
    advance(1);
    ASSERT_EQ(navigation->viewControllers().size(), 2u);
    EXPECT_TRUE(dynamic_cast<VKWebHistoryViewController*>(navigation->topViewController()));
}

TEST_F(VKWebBookmarksViewControllerTest, EditingMovesAndDeletesOnlyBookmarks)
{
    screen->setAddCellEnabled(true);
    screen->setEditing(true, false);
    runLoop();
    EXPECT_EQ(table().editingStyleForRow({ 0, 0 }), ui::TableViewCell::EditingStyle::None);
    EXPECT_EQ(table().editingStyleForRow({ 0, 1 }), ui::TableViewCell::EditingStyle::None);
    EXPECT_EQ(table().editingStyleForRow({ 0, 2 }), ui::TableViewCell::EditingStyle::Delete);
    EXPECT_FALSE(screen->canMoveRow(table(), { 0, 1 }));
    EXPECT_TRUE(screen->canMoveRow(table(), { 0, 2 }));

    // A drop on the add or History row leaves the bookmark where it was.
    EXPECT_EQ(screen->targetIndexPathForMove(table(), { 0, 3 }, { 0, 1 }), (ui::IndexPath { 0, 3 }));
    EXPECT_EQ(screen->targetIndexPathForMove(table(), { 0, 3 }, { 0, 0 }), (ui::IndexPath { 0, 3 }));
    EXPECT_EQ(screen->targetIndexPathForMove(table(), { 0, 3 }, { 0, 2 }), (ui::IndexPath { 0, 2 }));
    driver.moveRow(table(), { 0, 4 }, { 0, 2 });
    EXPECT_EQ(storedTitles(), (std::vector<std::string> { "gamma", "alpha", "beta", "no address" }));
    EXPECT_EQ(screen->bookmarks()[0].title, "gamma");

    driver.deleteRow(table(), { 0, 3 });
    advance(1);
    EXPECT_EQ(storedTitles(), (std::vector<std::string> { "gamma", "beta", "no address" }));
    EXPECT_EQ(table().numberOfRows(0), 5);
}

TEST_F(VKWebBookmarksViewControllerTest, TheEditFormReplacesTheBookmarkInPlaceWhicheverWayItLeaves)
{
    screen->setEditing(true, false);
    runLoop();
    auto before = VKWebBookmarks::sharedWebBookmarks()->bookmarks();
    driver.tapRow(table(), { 0, 2 });
    advance(1);
    auto* form = dynamic_cast<VKWebAddBookmarkViewController*>(navigation->topViewController());
    ASSERT_TRUE(form);
    ASSERT_TRUE(screen->selectedBookmark());
    EXPECT_EQ(*screen->selectedBookmark(), before[1]);
    EXPECT_TRUE(form->urlCell().textField().isEnabled());
    EXPECT_EQ(form->titleCell().textField().text(), "beta");
    EXPECT_EQ(form->urlCell().textField().text(), "http://beta.example/");
    EXPECT_TRUE(form->titleCell().textField().isFirstResponder());

    // Leaving by the back button keeps the edit.
    driver.clear(form->titleCell().textField());
    driver.type("Beta, renamed");
    driver.tapBack();
    advance(1);
    auto after = VKWebBookmarks::sharedWebBookmarks()->bookmarks();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[1].title, "Beta, renamed");
    EXPECT_EQ(after[1].URL, "http://beta.example/");
    EXPECT_NE(after[1].UUID, before[1].UUID);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_FALSE(screen->selectedBookmark());
    EXPECT_EQ(table().cellForRow({ 0, 2 })->textLabel().text(), "Beta, renamed");

    // Done accepts on the next pass and pops; an address that makes no URL
    // is kept as none.
    driver.tapRow(table(), { 0, 3 });
    advance(1);
    form = dynamic_cast<VKWebAddBookmarkViewController*>(navigation->topViewController());
    ASSERT_TRUE(form);
    form->urlCell().textField().becomeFirstResponder();
    driver.clear(form->urlCell().textField());
    driver.type("not a url");
    driver.pressReturn();
    advance(1);
    EXPECT_EQ(navigation->topViewController(), screen.get());
    after = VKWebBookmarks::sharedWebBookmarks()->bookmarks();
    EXPECT_EQ(after[2].title, "gamma");
    EXPECT_EQ(after[2].URL, "");
    EXPECT_EQ(after.size(), before.size());
}

TEST_F(VKWebBookmarksViewControllerTest, TheAddFormsFields)
{
    auto form = VKWebAddBookmarkViewController::initWithURL(url("http://example.org/page"), std::string("Page"));
    form->setAddBookmarkDelegate(recorder);
    navigation->pushViewController(form, false);
    advance(1);
    EXPECT_EQ(form->title(), "Add Bookmark");
    EXPECT_EQ(form->tableStyle(), ui::TableView::Style::Grouped);
    EXPECT_EQ(form->tableView().numberOfRows(0), 2);
    EXPECT_FALSE(form->willSelectRow(form->tableView(), { 0, 0 }));
    auto& title = form->titleCell().textField();
    auto& address = form->urlCell().textField();
    EXPECT_TRUE(title.isFirstResponder());
    EXPECT_EQ(title.textColor(), tableViewCellTextValueColor());
    EXPECT_EQ(title.placeholder(), "Title");
    EXPECT_EQ(title.clearButtonMode(), ui::TextField::ViewMode::WhileEditing);
    EXPECT_EQ(title.returnKeyType(), ui::TextInput::ReturnKeyType::Done);
    EXPECT_EQ(address.placeholder(), "Address");
    EXPECT_EQ(address.font(), ui::Fonts::systemFont(17));
    EXPECT_FALSE(address.isEnabled());
    EXPECT_EQ(address.textColor(), ui::StandardColors::lightGray());
    EXPECT_EQ(address.keyboardType(), ui::TextInput::KeyboardType::URL);
    EXPECT_EQ(address.autocorrectionType(), ui::TextInput::AutocorrectionType::No);
    EXPECT_EQ(address.autocapitalizationType(), ui::TextInput::AutocapitalizationType::Words);
    form->setURLEditingEnabled(true);
    EXPECT_EQ(address.textColor(), tableViewCellTextValueColor());

    auto first = form->bookmark();
    auto second = form->bookmark();
    EXPECT_EQ(first.URL, "http://example.org/page");
    EXPECT_EQ(first.title, "Page");
    EXPECT_NE(first.UUID, second.UUID);

    // Return answers yes and accepts on the next pass; a delegate that does
    // not answer the query hears nothing.
    EXPECT_TRUE(form->shouldReturn(title));
    EXPECT_EQ(recorder->accepted, 0);
    runLoop();
    EXPECT_EQ(recorder->accepted, 1);
    recorder->answersAccept = false;
    EXPECT_TRUE(form->shouldReturn(address));
    runLoop();
    EXPECT_EQ(recorder->accepted, 1);

    navigation->popViewController(false);
    advance(1);
    EXPECT_EQ(recorder->disappeared, 1);
}

TEST_F(VKWebBookmarksViewControllerTest, ClearHistoryAsksFirstAndPassesChoicesOn)
{
    clock().setNow(at(2026, 12, 8, 12, 0));
    VKWebHistory::sharedWebHistory()->addURL(url("http://visited.example/"), "Visited");
    screen->pushHistoryViewControllerAnimated(false);
    advance(1);
    auto* history = dynamic_cast<VKWebHistoryViewController*>(navigation->topViewController());
    ASSERT_TRUE(history);
    auto clear = history->navigationItem().rightBarButtonItem();
    ASSERT_TRUE(clear);
    EXPECT_EQ(clear->title(), "Clear History");
    EXPECT_EQ(clear->style(), ui::BarButtonItem::Style::Plain);

    driver.tapRow(history->tableView(), { 0, 0 });
    EXPECT_EQ(recorder->selected, std::vector<std::string> { "http://visited.example/" });

    driver.tapBarItem(*clear);
    advance(1);
    auto sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->title(), "");
    EXPECT_EQ(sheet->buttonTitle(sheet->destructiveButtonIndex()), "Clear History");
    EXPECT_EQ(sheet->buttonTitle(sheet->cancelButtonIndex()), "Cancel");
    driver.pressSheetButton("Cancel");
    advance(1);
    EXPECT_EQ(VKWebHistory::sharedWebHistory()->allItems().size(), 1u);

    driver.tapBarItem(*clear);
    advance(1);
    driver.pressSheetButton("Clear History");
    advance(1);
    EXPECT_TRUE(VKWebHistory::sharedWebHistory()->allItems().empty());
    EXPECT_FALSE(history->items());
    EXPECT_EQ(history->tableView().numberOfSections(), 0);
}

} // namespace

// The folder list's search, typed as a person would: the bar in the list's
// header, the two scopes over the quota tree, the rebuild after the last
// keystroke, the scope kept for the next search, and the navigation stack
// repaired when a search begins in a folder reached through "Local Files".

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "App/FolderBrowser/VKIndexView.h"
#include "Shell/VKAppDelegateHooks.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TextField.h"
#include "Support/FileModel/FakeCloudFileResource.h"

#include <algorithm>

namespace {

using Strings = std::vector<std::string>;


class VKFolderControllerSearchTest : public test::FolderListingTestCase {
protected:
    void SetUp() override
    {
        FolderListingTestCase::SetUp();
        makeDocument("Docs/Report.pdf");
        makeDocument("Docs/rèport.txt");
        makeDocument("Docs/other.txt");
        makeDocument("Docs/Deep/prep notes.txt");
        makePublic("Shared/report 2.txt");
        makePublic("Shared/Reports/");
        rescan();
    }
    std::string makePublic(const std::string& relative)
    {
        std::string path = publicFolder(relative);
        core::fs::createDirectory(relative.ends_with('/') ? path : path.substr(0, path.rfind('/')), true);
        if (!relative.ends_with('/')) {
            EXPECT_TRUE(core::fs::writeFileAtomically(path, "p"));
        }
        return path;
    }
    void rescan()
    {
        VKQuotaManager::defaultManager()->updateQuotaForPath(documents());
        VKQuotaManager::defaultManager()->updateQuotaForPath(publicFolder());
        runLoop();
    }
    // Begins a search in the controller and types the text.
    void search(VKFolderController& folder, const std::string& text, int scope)
    {
        folder.beginSearch();
        runLoop();
        ASSERT_TRUE(folder.isSearching());
        if (folder.searchBar()->selectedScopeButtonIndex() != scope)
            folder.searchBar()->setSelectedScopeButtonIndex(scope);
        driver.type(text);
        advance(0.5);
    }
    static Strings sorted(Strings names)
    {
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(VKFolderControllerSearchTest, TheBarIsTheListsHeader)
{
    show(documents("Docs"));
    auto* bar = controller->searchBar();
    ASSERT_TRUE(bar);
    EXPECT_EQ(controller->tableView().tableHeaderView().get(), bar);
    EXPECT_EQ(bar->placeholder(), "Search");
    EXPECT_EQ(bar->scopeButtonTitles(), (Strings { "Folder", "Local Files" }));
    EXPECT_EQ(bar->textField().autocapitalizationType(), ui::TextInput::AutocapitalizationType::None);
    EXPECT_EQ(bar->textField().autocorrectionType(), ui::TextInput::AutocorrectionType::No);
    EXPECT_FALSE(bar->showsScopeBar()) << "scopes show while searching";

    // Without its cancel button the field leaves 30 points at its end.
    bar->layoutIfNeeded();
    gfx::Rect narrow = bar->textField().frame();
    bar->setShowsCancelButton(true);
    bar->layoutIfNeeded();
    bar->setShowsCancelButton(false);
    auto plain = ui::SearchBar::create(bar->frame());
    plain->layoutIfNeeded();
    gfx::Rect full = plain->textField().frame();
    EXPECT_EQ(narrow.width(), full.width() - 30);
    EXPECT_EQ(narrow.x(), full.x());
    EXPECT_EQ(narrow.y(), full.y());
    EXPECT_EQ(narrow.height(), full.height());

    // A cloud folder searches itself only.
    auto cloud = VKFolderController::folderControllerWithResource(
        test::FakeCloudFileResource::create(documents("Docs"), "/Docs"), delegate);
    EXPECT_FALSE(cloud->isLocalFolder());
    cloud->view();
    cloud->viewDidLoad();
    EXPECT_EQ(cloud->searchBar()->placeholder(), "Search Folder");
    EXPECT_TRUE(cloud->searchBar()->scopeButtonTitles().empty());
}

TEST_F(VKFolderControllerSearchTest, ScopesFindNamesSortedLikeRows)
{
    show(documents("Docs"));
    controller->tableView().setContentOffset({ 0, 60 });
    controller->beginSearch();
    runLoop();
    EXPECT_EQ(controller->tableView().contentOffset().y, 0);
    EXPECT_TRUE(controller->searchBar()->textField().isFirstResponder());
    EXPECT_TRUE(controller->letterStrip().view()->isHidden());
    EXPECT_TRUE(controller->searchBar()->showsScopeBar());

    driver.type("rep");
    advance(0.5);
    EXPECT_EQ(names(*controller), (Strings { "Report.pdf", "rèport.txt" }));
    EXPECT_EQ(controller->folderInfo(), "2 Items, 2 B");

    // "Local Files": both trees, sorted as rows are; a vanished path is
    // left out.
    ASSERT_TRUE(core::fs::removeItem(documents("Docs/rèport.txt")));
    driver.tapSegment(*controller->searchBar()->scopeBar(), 1);
    runLoop();
    EXPECT_EQ(names(*controller), (Strings { "prep notes.txt", "Report.pdf", "report 2.txt", "Reports" }));

    // A guest sees the public documents only.
    delegate->setGuestModeForTesting(true);
    controller->updateModelAndView();
    EXPECT_EQ(names(*controller), (Strings { "report 2.txt", "Reports" }));
    delegate->setGuestModeForTesting(false);

    // Text that looks like a pattern matches itself only.
    for (const std::string& text : Strings { "*", "%", "/", "\xff", std::string(1000, 'r') }) {
        controller->searchBar()->setText(text);
        advance(0.5);
        EXPECT_TRUE(names(*controller).empty()) << text;
    }
}

TEST_F(VKFolderControllerSearchTest, KeystrokesCollapseEndingRestoresAndKeepsTheScope)
{
    show(documents("Docs"));
    ASSERT_TRUE(delegate->barTintColor());
    EXPECT_EQ(controller->searchBar()->tintColor(), delegate->barTintColor());
    controller->beginSearch();
    runLoop();
    EXPECT_EQ(controller->searchBar()->tintColor(), std::nullopt) << "the default colour while searching";
    size_t builds = controller->listing().buildCount();
    for (char c : std::string("repor")) {
        driver.type(std::string(1, c));
        advance(0.1);
    }
    advance(0.29);
    EXPECT_EQ(controller->listing().buildCount(), builds);
    advance(0.02);
    EXPECT_EQ(controller->listing().buildCount(), builds + 1);
    advance(1);
    EXPECT_EQ(controller->listing().buildCount(), builds + 1);

    driver.tapSegment(*controller->searchBar()->scopeBar(), 1);
    runLoop();
    EXPECT_EQ(controller->listing().buildCount(), builds + 2);

    driver.tap(controller->searchBar()->cancelButton());
    runLoop();
    EXPECT_FALSE(controller->isSearching());
    EXPECT_EQ(names(*controller), (Strings { "Deep", "other.txt", "Report.pdf", "rèport.txt" }));
    EXPECT_FALSE(controller->letterStrip().view()->isHidden());
    EXPECT_EQ(controller->searchBar()->tintColor(), delegate->barTintColor());
    EXPECT_EQ(core::UserDefaults::standard()->integerForKey("VKFolderSearchScope"), 1);

    // The next search in any local folder starts in that scope.
    auto deep = push(documents("Docs/Deep"));
    deep->beginSearch();
    runLoop();
    EXPECT_EQ(deep->searchScope(), 1);
}

TEST_F(VKFolderControllerSearchTest, StacksFromLocalFilesResultsAreRegrafted)
{
    makePublic("x/note.txt");
    makePublic("a/b/c/inside.txt");
    rescan();
    show(publicFolder());
    auto x = push(publicFolder("x"));
    search(*x, "c", 1);
    auto c = push(publicFolder("a/b/c"));

    search(*c, "ins", 0);
    EXPECT_FALSE(x->isSearching()) << "x's search ended";
    auto stack = delegate->folderControllers();
    ASSERT_EQ(stack.size(), 4u);
    EXPECT_EQ(stack[0], controller);
    EXPECT_EQ(stack[1]->folderPath(), publicFolder("a"));
    EXPECT_EQ(stack[2]->folderPath(), publicFolder("a/b"));
    EXPECT_EQ(stack[3], c);
    EXPECT_EQ(navigation->topViewController(), c.get());
    EXPECT_EQ(names(*c), (Strings { "inside.txt" }));
}

TEST_F(VKFolderControllerSearchTest, PrivateResultsGetTheirOwnRoot)
{
    makeDocument("a/b/c/inside.txt");
    rescan();
    show(publicFolder());
    auto x = push(publicFolder("Shared"));
    search(*x, "c", 1);
    auto c = push(documents("a/b/c"));
    search(*c, "ins", 0);
    auto stack = delegate->folderControllers();
    ASSERT_EQ(stack.size(), 4u);
    EXPECT_EQ(stack[0]->folderPath(), documents());
    EXPECT_EQ(stack[1]->folderPath(), documents("a"));
    EXPECT_EQ(stack[2]->folderPath(), documents("a/b"));
    EXPECT_EQ(stack[3], c);
}

TEST_F(VKFolderControllerSearchTest, StacksFromFolderSearchesStay)
{
    makeDocument("Docs/Deep/Deeper/x.txt");
    rescan();
    show(documents());
    auto docs = push(documents("Docs"));
    search(*docs, "Deep", 0);
    auto deep = push(documents("Docs/Deep"));
    auto deeper = push(documents("Docs/Deep/Deeper"));
    search(*deeper, "x", 0);
    auto stack = delegate->folderControllers();
    ASSERT_EQ(stack.size(), 4u);
    EXPECT_EQ(stack[0], controller);
    EXPECT_EQ(stack[1], docs);
    EXPECT_EQ(stack[2], deep);
    EXPECT_EQ(stack[3], deeper);
    EXPECT_FALSE(docs->isSearching());
}

} // namespace

namespace {

// From the field, Down reaches the results and Return opens one; Escape
// from what opened comes back to them, and another ends the search.
TEST_F(VKFolderControllerSearchTest, ResultsAreReachedByKeysAndEscapeWalksBack)
{
    show(documents("Docs"));
    search(*controller, "other", 0);
    auto* results = &controller->searchDisplayController()->searchResultsTableView();
    ASSERT_TRUE(controller->searchDisplayController()->isShowingResults());
    ASSERT_EQ(results->numberOfRows(0), 1);
    EXPECT_TRUE(driver.key(ui::KeyCommand::Down));
    EXPECT_EQ(results->indexPathForSelectedRow(), (ui::IndexPath { 0, 0 }));
    EXPECT_TRUE(controller->searchBar()->textField().isFirstResponder()) << "typing goes on";
    driver.pressReturn(); // the field's Return, as the window gives it
    advance(1);
    ASSERT_NE(navigation->topViewController(), controller.get());
    EXPECT_EQ(navigation->topViewController()->title(), "other");

    EXPECT_TRUE(driver.key(ui::KeyCommand::Escape));
    advance(1);
    ASSERT_EQ(navigation->topViewController(), controller.get());
    EXPECT_TRUE(controller->isSearching());
    EXPECT_TRUE(controller->searchDisplayController()->isShowingResults());
    EXPECT_TRUE(driver.key(ui::KeyCommand::Escape));
    advance(1);
    EXPECT_FALSE(controller->isSearching());
    EXPECT_EQ(navigation->topViewController(), controller.get()) << "the folder stays";
}

} // namespace

// The folder list's search on its own, without a window or a folder: what
// it tells its host at each step, and the scope a local folder keeps.

#include "App/FolderBrowser/VKFolderSearch.h"

#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/ViewController.h"
#include "Support/UITestCase.h"

#include <fmt/format.h>

namespace {

struct SearchHost : VKFolderSearch::Host {
    std::vector<std::string> calls;
    std::shared_ptr<VKFolderSearch> search;
    void folderSearchWillBegin() override { calls.push_back("begin"); }
    void folderSearchWillEnd() override
    {
        calls.push_back(search->isSearching() ? "end while searching" : "end");
    }
    void folderSearchChanged(double delay) override { calls.push_back(fmt::format("rows in {}", delay)); }
    void folderSearchBarResized() override { calls.push_back("resized"); }
    std::optional<gfx::Color> folderSearchBarTint() const override { return gfx::Color(0.1f, 0.2f, 0.3f, 1); }
};

class VKFolderSearchTest : public test::UITestCase {
protected:
    // Over a screen of the test's (alive no longer than the test).
    std::shared_ptr<SearchHost> loaded(bool localFolder, const std::shared_ptr<ui::ViewController>& contents)
    {
        auto host = std::make_shared<SearchHost>();
        host->search = std::make_shared<VKFolderSearch>(*host);
        EXPECT_FALSE(host->search->isSearching());
        EXPECT_EQ(host->search->scope(), 0) << "no bar yet";
        host->search->load(localFolder, contents, 320, 68, {}, {});
        return host;
    }
};

TEST_F(VKFolderSearchTest, ALocalSearchTellsItsHostAndKeepsItsScope)
{
    core::UserDefaults::standard()->set(VKFolderSearch::ScopeKey, core::Value(int64_t(1)));
    auto contents = ui::ViewController::create();
    auto host = loaded(true, contents);
    VKFolderSearch& search = *host->search;
    auto& display = *search.displayController();
    EXPECT_EQ(search.bar()->placeholder(), "Search");
    EXPECT_EQ(search.bar()->scopeButtonTitles(), (std::vector<std::string> { "Folder", "Local Files" }));
    EXPECT_EQ(search.bar()->tintColor(), host->folderSearchBarTint());

    search.willBeginSearch(display);
    EXPECT_EQ(host->calls, (std::vector<std::string> { "begin", "resized" }));
    EXPECT_EQ(search.scope(), 1) << "the scope chosen last time";
    EXPECT_TRUE(search.bar()->showsScopeBar());
    EXPECT_EQ(search.bar()->tintColor(), std::nullopt);

    host->calls.clear();
    EXPECT_FALSE(search.shouldReloadForSearchString(display, "rep"));
    EXPECT_FALSE(search.shouldReloadForSearchScope(display, 0));
    EXPECT_EQ(host->calls, (std::vector<std::string> { "rows in 0.4", "rows in 0" }));

    display.setActive(true);
    ASSERT_TRUE(search.isSearching());
    host->calls.clear();
    search.bar()->setSelectedScopeButtonIndex(0);
    search.willEndSearch(display);
    EXPECT_EQ(host->calls, (std::vector<std::string> { "end", "resized" })) << "no longer searching while it ends";
    EXPECT_EQ(core::UserDefaults::standard()->integerForKey(VKFolderSearch::ScopeKey), 0);
    EXPECT_FALSE(search.bar()->showsScopeBar());
    EXPECT_EQ(search.bar()->tintColor(), host->folderSearchBarTint());
}

TEST_F(VKFolderSearchTest, ACloudFolderHasNoScopes)
{
    core::UserDefaults::standard()->set(VKFolderSearch::ScopeKey, core::Value(int64_t(1)));
    auto contents = ui::ViewController::create();
    auto host = loaded(false, contents);
    auto search = host->search;
    EXPECT_EQ(search->bar()->placeholder(), "Search Folder");
    EXPECT_TRUE(search->bar()->scopeButtonTitles().empty());
    search->willBeginSearch(*search->displayController());
    EXPECT_EQ(host->calls, (std::vector<std::string> { "begin" }));
    EXPECT_EQ(search->scope(), 0);
    EXPECT_FALSE(search->bar()->showsScopeBar());

    search->willEndSearch(*search->displayController());
    EXPECT_EQ(core::UserDefaults::standard()->integerForKey(VKFolderSearch::ScopeKey), 1) << "untouched";
}

} // namespace

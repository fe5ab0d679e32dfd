// The help's topic tables: what each lists, the FAQ row's host, the cells,
// rows opening pages and tables with the one Done, pages opened by name,
// and titles found by a page's file name.

#include "App/Help/VKHelpController.h"
#include "App/Help/VKHelpGroupItem.h"
#include "App/Help/VKHelpViewController.h"

#include "Shell/Interface/InterfaceColors.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Support/UITestCase.h"

#include "HelpTestSupport.h"

#include <filesystem>

namespace {

class VKHelpControllerTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        base = std::make_shared<ui::ViewController>();
        window().setRootViewController(base);
        runLoop();
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        base.reset();
        UITestCase::TearDown();
    }

    static std::vector<std::vector<std::string>> rows(const VKHelpController& help)
    {
        std::vector<std::vector<std::string>> found;
        for (const auto& group : help.groups()) {
            found.emplace_back();
            for (const auto& item : group)
                found.back().push_back(item->title());
        }
        return found;
    }
    std::shared_ptr<ui::NavigationController> present(const std::shared_ptr<VKHelpController>& help)
    {
        auto navigation = test::presentHelp(*base, help);
        runLoop();
        return navigation;
    }

    std::shared_ptr<ui::ViewController> base;
};

TEST_F(VKHelpControllerTest, TheRootLeadsToTheTopicsAndTheSupportPages)
{
    auto root = VKHelpController::create();
    EXPECT_EQ(root->title(), "Help - Tandry");
    EXPECT_EQ(root->contentType(), VKHelpControllerContentTypeRoot);
    EXPECT_EQ(root->groupTitles(), (std::vector<std::string> { "", "General", "Support" }));
    EXPECT_EQ(rows(*root), (std::vector<std::vector<std::string>> { { "Quick Start" },
                               { "Connecting & File Transfer", "Security", "Features" },
                               { "FAQ (tandry.example.org)", "Support", "Update Notes", "Release Notes" } }));
    const auto& general = root->groups()[1];
    EXPECT_EQ(general[0]->contentType(), VKHelpControllerContentTypeConnecting);
    EXPECT_EQ(general[1]->contentType(), VKHelpControllerContentTypeSecurity);
    EXPECT_EQ(general[2]->contentType(), VKHelpControllerContentTypeFeatures);
    EXPECT_FALSE(general[0]->resource());
    const auto& faq = root->groups()[2][0];
    ASSERT_TRUE(faq->resource());
    EXPECT_EQ(faq->resource()->name(), "support_web.html");
    EXPECT_EQ(root->groups()[0][0]->resource()->name(), "connecting_quickstart.html");
}

TEST_F(VKHelpControllerTest, TheTopicTablesListTheirPagesAndFeaturesFollowPrinting)
{
    auto connecting = VKHelpController::initWithHelpControllerContentType(VKHelpControllerContentTypeConnecting);
    EXPECT_EQ(connecting->groupTitles(), (std::vector<std::string> { "Connecting & File Transfer", "WebDAV" }));
    EXPECT_EQ(rows(*connecting),
        (std::vector<std::vector<std::string>> {
            { "General", "Web Interface", "iTunes File Sharing", "Video Tutorials" },
            { "Cyberduck", "Mac OS X", "Windows XP", "Windows Vista & 7", "Other Operating Systems", "Alternative Clients" } }));
    auto security = VKHelpController::initWithHelpControllerContentType(VKHelpControllerContentTypeSecurity);
    EXPECT_EQ(rows(*security), (std::vector<std::vector<std::string>> { { "Local Security", "Remote Security" } }));

    auto withoutPrinting = VKHelpController::initWithHelpControllerContentType(VKHelpControllerContentTypeFeatures);
    EXPECT_EQ(rows(*withoutPrinting),
        (std::vector<std::vector<std::string>> { { "Toolbar Buttons", "File Management", "Downloads", "Cloud Servers",
            "Settings", "Disk Quota" } }));
    driver.setPrintingAvailable(true);
    auto withPrinting = VKHelpController::initWithHelpControllerContentType(VKHelpControllerContentTypeFeatures);
    EXPECT_EQ(withPrinting->groups()[0].size(), 7u);
    EXPECT_EQ(withPrinting->groups()[0][3]->title(), "Printing");
    // Built when made: the old table keeps its six rows.
    EXPECT_EQ(withoutPrinting->groups()[0].size(), 6u);

    // Every page row of every table has its page.
    for (auto* table : { connecting.get(), security.get(), withPrinting.get() })
        for (const auto& group : table->groups())
            for (const auto& item : group)
                EXPECT_TRUE(item->resource()) << item->title();

    auto unknown = VKHelpController::initWithHelpControllerContentType("VKHelpControllerContentTypeNothing");
    EXPECT_TRUE(unknown->groups().empty());
}

TEST_F(VKHelpControllerTest, WithoutAnFAQAddressTheRowNamesTheInformationHost)
{
    std::string bundle = makeFolder("Bundle");
    auto writeInfo = [&](const std::string& urls) {
        ASSERT_TRUE(core::fs::writeFileAtomically(bundle + "/Info.plist",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
            "<key>CFBundleDisplayName</key><string>Tandry</string>"
            "<key>VKSupportURLs</key><dict>" + urls + "</dict></dict></plist>\n"));
        core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(bundle));
    };
    writeInfo("<key>VKInfoURL</key><string>https://info.example.net/about/tandry?lang=en</string>");
    EXPECT_EQ(VKHelpController::create()->groups()[2][0]->title(), "FAQ (info.example.net)");
    writeInfo("");
    EXPECT_EQ(VKHelpController::create()->groups()[2][0]->title(), "FAQ");
}

TEST_F(VKHelpControllerTest, CellsHeadersAndButtons)
{
    auto root = VKHelpController::create();
    present(root);
    auto& table = root->tableView();
    EXPECT_EQ(table.style(), ui::TableView::Style::Grouped);
    EXPECT_EQ(root->numberOfSections(table), 3);
    EXPECT_EQ(root->titleForHeader(table, 0), std::nullopt);
    EXPECT_EQ(root->titleForHeader(table, 2), "Support");
    auto cell = root->cellForRow(table, { 2, 1 });
    EXPECT_EQ(cell->reuseIdentifier(), "HelpCell");
    EXPECT_EQ(cell->textLabel().text(), "Support");
    EXPECT_EQ(cell->textLabel().font().pointSize(), 16);
    EXPECT_EQ(cell->textLabel().textColor(), tableViewCellTextValueColor());
    EXPECT_EQ(cell->accessoryType(), ui::TableViewCell::Accessory::DisclosureIndicator);
    auto done = root->navigationItem().rightBarButtonItem();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->title(), "Done");
    EXPECT_EQ(done->style(), ui::BarButtonItem::Style::Done);
    ASSERT_TRUE(root->navigationItem().backBarButtonItem());
    EXPECT_EQ(root->navigationItem().backBarButtonItem()->title(), "Back");
    EXPECT_FALSE(root->shouldAutorotate(ui::Orientation::LandscapeLeft));
}

TEST_F(VKHelpControllerTest, RowsOpenPagesAndTablesThatShareTheDoneButton)
{
    auto root = VKHelpController::create();
    auto navigation = present(root);
    auto done = root->navigationItem().rightBarButtonItem();

    driver.tapRow(root->tableView(), { 0, 0 });
    advance(1);
    auto* page = dynamic_cast<VKHelpViewController*>(navigation->topViewController());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->title(), "Quick Start");
    EXPECT_EQ(page->resource()->name(), "connecting_quickstart.html");
    EXPECT_EQ(page->navigationItem().rightBarButtonItem(), done);
    driver.tapBack();
    advance(1);

    driver.tapRow(root->tableView(), { 1, 2 });
    advance(1);
    auto* features = dynamic_cast<VKHelpController*>(navigation->topViewController());
    ASSERT_TRUE(features);
    EXPECT_EQ(features->contentType(), VKHelpControllerContentTypeFeatures);
    EXPECT_EQ(features->navigationItem().rightBarButtonItem(), done);
    driver.tapRow(features->tableView(), { 0, 1 });
    advance(1);
    auto* deeper = dynamic_cast<VKHelpViewController*>(navigation->topViewController());
    ASSERT_TRUE(deeper);
    EXPECT_EQ(deeper->title(), "File Management");
    EXPECT_EQ(deeper->navigationItem().rightBarButtonItem(), done);

    // Done, from any depth, dismisses the help.
    driver.tapBarItem(*done);
    advance(1);
    EXPECT_FALSE(base->modalViewController());
}

TEST_F(VKHelpControllerTest, PagesOpenByNameOverTheRoot)
{
    auto root = VKHelpController::create();
    auto navigation = present(root);
    driver.tapRow(root->tableView(), { 1, 0 });
    advance(1);
    root->pushHelpViewControllerWithName("general_quota", "Disk Quota", false);
    runLoop();
    ASSERT_EQ(navigation->viewControllers().size(), 2u);
    auto* page = dynamic_cast<VKHelpViewController*>(navigation->topViewController());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->title(), "Disk Quota");
    EXPECT_EQ(page->navigationItem().rightBarButtonItem(), root->navigationItem().rightBarButtonItem());

    for (const char* name : { "nothere", "../Info", "Help/general_quota", "..", "", "general_quota.html" }) {
        root->pushHelpViewControllerWithName(name, "Nothing", false);
        EXPECT_TRUE(logContains(std::string("Warning, no help found for name: ") + name)) << name;
        EXPECT_FALSE(VKHelpController::helpResourceNamed(name)) << name;
    }
    EXPECT_EQ(navigation->viewControllers().size(), 2u);
    EXPECT_TRUE(VKHelpController::helpResourceNamed("general_quota"));
}

TEST_F(VKHelpControllerTest, TitlesAreFoundByThePagesFileName)
{
    auto root = VKHelpController::create();
    EXPECT_EQ(root->localizedTitleForPath("/anywhere/support_email.html"), "Support");
    EXPECT_EQ(root->localizedTitleForPath("connecting_quickstart.html"), "Quick Start");
    // Pages of the tables the root leads to.
    EXPECT_EQ(root->localizedTitleForPath("/x/connecting_cyberduck.html"), "Cyberduck");
    EXPECT_EQ(root->localizedTitleForPath("/x/security_remote.html"), "Remote Security");
    EXPECT_EQ(root->localizedTitleForPath("/x/unknown.html"), std::nullopt);
    EXPECT_EQ(root->localizedTitleForPath(""), std::nullopt);
    auto security = VKHelpController::initWithHelpControllerContentType(VKHelpControllerContentTypeSecurity);
    EXPECT_EQ(security->localizedTitleForPath("security_local.html"), "Local Security");
    EXPECT_EQ(security->localizedTitleForPath("support_email.html"), std::nullopt);
}

TEST_F(VKHelpControllerTest, ItemsComeFromTitlesAndTargets)
{
    auto items = VKHelpController::helpGroupItemsFromLocalizedTitles({ "A", "B", "C", "Extra" },
        { "VKHelpControllerContentTypeFeatures", "general_settings", "no_such_page" });
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0]->contentType(), "VKHelpControllerContentTypeFeatures");
    EXPECT_FALSE(items[0]->resource());
    EXPECT_EQ(items[1]->resource()->name(), "general_settings.html");
    EXPECT_FALSE(items[1]->contentType());
    // A missing page opens an empty table.
    EXPECT_FALSE(items[2]->resource());
    EXPECT_FALSE(items[2]->contentType());
}

} // namespace

// The outline table, the bookmarks tabs, and the PDF viewer's bookmarks
// steps in its three layouts.

#include "PDFViewerTestCase.h"

#include "FileModel/VKFileSettingsManager.h"
#include "PDF/VKPDFDestination.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/SearchBar.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/Window.h"
#include "Viewers/Document/VKBookmarkAddCell.h"
#include "Viewers/Document/VKBookmarksController.h"
#include "Viewers/PDF/VKBookmarksNavigationController.h"
#include "Viewers/PDF/VKDocumentView.h"
#include "Viewers/PDF/VKPDFOutlineTableViewController.h"
#include "Viewers/VKRegisterViewers.h"

#include <fmt/format.h>

using namespace test;

namespace {

VKPDFOutlineEntry entry(std::optional<std::string> title, int depth, core::Value target = {})
{
    auto fields = std::make_shared<core::Value::Dictionary>();
    if (title)
        (*fields)["Title"] = *title;
    (*fields)["Depth"] = depth;
    if (!target.isNull())
        (*fields)["Target"] = target;
    return fields;
}

struct OutlineRecorder : VKPDFOutlineTableViewControllerDelegate {
    void showDestination(const core::Value& target) override { events.push_back(target.isNull() ? "none" : "target"); }
    void outlineTableViewControllerDidEnd(VKPDFOutlineTableViewController&) override { events.push_back("end"); }
    std::vector<std::string> events;
};

class VKPDFOutlineTableViewControllerTest : public PDFViewerTestCase {
protected:
    void SetUp() override
    {
        PDFViewerTestCase::SetUp();
        VKBookmarksNavigationController::setChoice(0);
        recorder = std::make_shared<OutlineRecorder>();
    }
    void TearDown() override
    {
        VKBookmarksNavigationController::setChoice(0);
        for (int layout : { 2, 3 })
            VKPDFViewController::setLayoutViewFactory(layout, {});
        PDFViewerTestCase::TearDown();
    }
    std::shared_ptr<VKPDFOutlineTableViewController> showOutline(VKPDFOutlineList list)
    {
        auto outline = VKPDFOutlineTableViewController::initWithOutlineList(
            std::make_shared<const VKPDFOutlineList>(std::move(list)));
        outline->setDelegate(recorder);
        auto shown = ui::NavigationController::create(outline);
        navigation->presentModalViewController(shown, false);
        runLoop();
        advance(1);
        return outline;
    }
    std::vector<std::string> resultTitles(VKPDFOutlineTableViewController& outline)
    {
        std::vector<std::string> titles;
        for (const auto& found : outline.filteredOutlineList())
            titles.push_back((*found)["Title"].toString());
        return titles;
    }
    // 40 pages, an outline entry on pages 7 and 30.
    void writeOutlined(std::string_view name)
    {
        PdfBuilder builder;
        auto pages = addBarPages(builder, 40);
        builder.setOutline({
            { "Chapter One", fmt::format("[{} 0 R /Fit]", pages[6]), "",
                { { "A section far on", fmt::format("[{} 0 R /Fit]", pages[29]), "", {} } } },
        });
        writeDocument(name, builder);
    }

    std::shared_ptr<OutlineRecorder> recorder;
};

TEST_F(VKPDFOutlineTableViewControllerTest, RowsAreIndentedWrappedAndMeasuredOnce)
{
    std::string longTitle = "A title long enough to wrap over several lines of the outline on a phone held upright, "
                            "and then some more words to be sure";
    VKPDFOutlineList list { entry("Short", 0), entry(longTitle, 2), entry(std::nullopt, 1), entry("Deep", 10000) };
    for (int i = 0; i < 20; ++i)
        list.push_back(entry(fmt::format("Filler {}", i), 0));
    auto outline = showOutline(list);
    auto& table = outline->tableView();
    EXPECT_FLOAT_EQ(*outline->heightForRow(table, { 0, 0 }), 44);
    float tall = *outline->heightForRow(table, { 0, 1 });
    EXPECT_GT(tall, 60);
    EXPECT_EQ(outline->indentationLevelForRow(table, { 0, 1 }), 2);
    // Kept in the shared entry and never measured again.
    EXPECT_FLOAT_EQ(float((*list[1])["Height"].toReal()), tall);
    (*list[1])["Title"] = std::string("Short now");
    EXPECT_FLOAT_EQ(*outline->heightForRow(table, { 0, 1 }), tall);
    // No title: an empty 44-point row.
    EXPECT_FLOAT_EQ(*outline->heightForRow(table, { 0, 2 }), 44);
    EXPECT_EQ(outline->cellForRow(table, { 0, 2 })->textLabel().text(), "");
    // Indentation stops at half the row.
    EXPECT_EQ(outline->indentationLevelForRow(table, { 0, 3 }), int(table.bounds().width() / 20));
    EXPECT_FLOAT_EQ(*outline->heightForRow(table, { 0, 3 }), 44);
    EXPECT_TRUE(outline->font().isBold());
    EXPECT_FLOAT_EQ(outline->font().pointSize(), 17);

    // The search bar heads the table, scrolled away after opening; Search
    // brings it back.
    EXPECT_EQ(table.tableHeaderView().get(), outline->searchBar());
    EXPECT_FLOAT_EQ(outline->searchBar()->frame().height(), 44);
    EXPECT_GE(table.contentOffset().y, 44);
    driver.tapBarItem(*outline->navigationItem().leftBarButtonItem());
    advance(1);
    EXPECT_LE(table.contentOffset().y, 0);
    driver.tapBarItem(*outline->navigationItem().rightBarButtonItem());
    EXPECT_EQ(recorder->events, std::vector<std::string>({ "end" }));
}

TEST_F(VKPDFOutlineTableViewControllerTest, AnEmptyOutlineKeepsItsSearchBarInView)
{
    auto outline = showOutline({});
    EXPECT_TRUE(outline->isEmpty());
    EXPECT_LE(outline->tableView().contentOffset().y, 0);
}

TEST_F(VKPDFOutlineTableViewControllerTest, FilteringFoldsCaseButKeepsAccents)
{
    auto outline = showOutline({ entry("Introduction", 0), entry("Outro", 0), entry("INTRO", 1), entry(std::nullopt, 0),
        entry("ΣΟΦΊΑ και γνώση", 0), entry("ПРИВЕТ мир", 0), entry("Café", 0) });
    outline->filter("intro");
    EXPECT_EQ(resultTitles(*outline), std::vector<std::string>({ "Introduction", "INTRO" }));
    outline->filter("σοφία");
    EXPECT_EQ(resultTitles(*outline), std::vector<std::string>({ "ΣΟΦΊΑ και γνώση" }));
    outline->filter("привет");
    EXPECT_EQ(resultTitles(*outline), std::vector<std::string>({ "ПРИВЕТ мир" }));
    outline->filter("cafe");
    EXPECT_TRUE(resultTitles(*outline).empty());
    outline->filter("CAFÉ");
    EXPECT_EQ(resultTitles(*outline), std::vector<std::string>({ "Café" }));
    outline->filter("zebra");
    EXPECT_TRUE(resultTitles(*outline).empty());

    // Typed into the bar: the results table lists the matches, unindented,
    // and a chosen one goes to the delegate.
    driver.tap(*outline->searchBar());
    driver.type("intro");
    runLoop();
    auto& results = outline->searchDisplayController()->searchResultsTableView();
    EXPECT_EQ(driver.cellTexts(results), std::vector<std::string>({ "Introduction", "INTRO" }));
    EXPECT_EQ(outline->indentationLevelForRow(results, { 0, 1 }), 0);
    driver.tapRow(results, { 0, 1 });
    EXPECT_EQ(recorder->events, std::vector<std::string>({ "none", "end" }));
}

TEST_F(VKPDFOutlineTableViewControllerTest, TheTabsRememberTheLastChoiceForTheProcess)
{
    writeBars("tabs.pdf", 2);
    auto makeTabs = [&] {
        auto bookmarks = VKBookmarksController::initWithFileAtPath(pathInHome("Files/tabs.pdf"));
        auto outline = VKPDFOutlineTableViewController::initWithOutlineList(
            std::make_shared<const VKPDFOutlineList>(VKPDFOutlineList { entry("One", 0) }));
        return VKBookmarksNavigationController::initWithBookmarksController(bookmarks, outline);
    };
    auto tabs = makeTabs();
    EXPECT_EQ(tabs->topViewController(), tabs->bookmarksController().get());
    EXPECT_EQ(tabs->segmentedControl().titleForSegment(0), "Personal");
    EXPECT_EQ(tabs->segmentedControl().titleForSegment(1), "Document");
    EXPECT_EQ(tabs->bookmarksController()->navigationItem().titleView().get(), &tabs->segmentedControl());
    EXPECT_EQ(tabs->outlineController()->navigationItem().titleView().get(), &tabs->segmentedControl());
    navigation->presentModalViewController(tabs, false);
    runLoop();
    driver.tapSegment(tabs->segmentedControl(), 1);
    EXPECT_EQ(tabs->topViewController(), tabs->outlineController().get());
    EXPECT_EQ(VKBookmarksNavigationController::choice(), 1);
    navigation->dismissModalViewController(false);
    runLoop();

    auto again = makeTabs();
    EXPECT_EQ(again->topViewController(), again->outlineController().get());
    EXPECT_EQ(again->segmentedControl().selectedSegmentIndex(), 1);
}

TEST_F(VKPDFOutlineTableViewControllerTest, TheViewerShowsTheOutlineBesideTheBookmarksAndJumpsToEntries)
{
    VKRegisterViewers();
    writeOutlined("outlined.pdf");
    writeBars("plain.pdf", 3);
    auto viewer = openPDF("outlined.pdf");
    viewer->setUIHidden(true, false);
    viewer->showBookmarksControllerWithNewOffset({ -1, -1 });
    advance(1);
    auto* tabs = dynamic_cast<VKBookmarksNavigationController*>(navigation->modalViewController());
    ASSERT_TRUE(tabs);
    EXPECT_FALSE(viewer->isUIHidden());
    auto* outline = viewer->outlineController();
    ASSERT_EQ(tabs->outlineController().get(), outline);
    driver.tapSegment(tabs->segmentedControl(), 1);
    advance(1);
    EXPECT_EQ(driver.cellTexts(outline->tableView()), std::vector<std::string>({ "Chapter One", "A section far on" }));
    driver.tapRow(outline->tableView(), { 0, 1 });
    advance(1);
    EXPECT_FALSE(navigation->modalViewController());
    EXPECT_EQ(viewer->currentPageNumber(), 30u);

    // Made once: the next opening shows the same outline, on its tab.
    viewer->showBookmarksControllerWithNewOffset({ -1, -1 });
    advance(1);
    tabs = dynamic_cast<VKBookmarksNavigationController*>(navigation->modalViewController());
    ASSERT_TRUE(tabs);
    EXPECT_EQ(tabs->outlineController().get(), outline);
    EXPECT_EQ(tabs->topViewController(), outline);
    // An entry without a target only ends the screen.
    viewer->showDestination(core::Value());
    EXPECT_TRUE(logContains("Warning, outline entry without a destination"));
    driver.tapBarItem(*outline->navigationItem().rightBarButtonItem());
    advance(1);
    EXPECT_FALSE(navigation->modalViewController());
    EXPECT_EQ(viewer->currentPageNumber(), 30u);

    // No outline: the bookmarks alone.
    navigation->popToRootViewController(false);
    runLoop();
    auto plain = openPDF("plain.pdf");
    plain->showBookmarksControllerWithNewOffset({ -1, -1 });
    advance(1);
    auto* shown = dynamic_cast<ui::NavigationController*>(navigation->modalViewController());
    ASSERT_TRUE(shown);
    EXPECT_FALSE(dynamic_cast<VKBookmarksNavigationController*>(shown));
    EXPECT_TRUE(dynamic_cast<VKBookmarksController*>(shown->topViewController()));
}

// A bookmark made in each layout lands back on its page, at its zoom.
TEST_F(VKPDFOutlineTableViewControllerTest, ABookmarkLandsOnItsPageInEveryLayout)
{
    VKRegisterViewers();
    writeBars("marked.pdf", 20);
    std::string path = pathInHome("Files/marked.pdf");
    struct Case {
        const char* code;
        float zoom;
    };
    for (const Case& layout : { Case { "VKDVLV", 0 }, Case { "VKDVLHS", 0 }, Case { "VKDVLHD", 0 }, Case { "VKDVLV", 2 },
             Case { "VKDVLHS", 2 }, Case { "VKDVLHD", 2 } }) {
        SCOPED_TRACE(fmt::format("{} at zoom {}", layout.code, layout.zoom));
        VKFileSettingsManager::defaultManager()->removeBookmarksForItemAtPath(path);
        ASSERT_TRUE(VKFileSettingsManager::defaultManager()->setDocumentLayout(layout.code, path));
        auto viewer = openPDF("marked.pdf");
        viewer->gotoPageNumber(7);
        advance(1);
        if (layout.zoom != 0) {
            viewer->setContentZoom(layout.zoom);
            advance(1);
        }
        // A spread's current page is its first (6 of 6-7).
        unsigned expected = viewer->currentPageNumber();
        ASSERT_TRUE(expected == 7 || (expected == 6 && std::string(layout.code) == "VKDVLHD")) << expected;
        viewer->addBookmarkWithOffset(viewer->normalisedOffset());
        advance(1);
        auto* adding = dynamic_cast<ui::NavigationController*>(navigation->modalViewController());
        ASSERT_TRUE(adding);
        auto* add = dynamic_cast<VKBookmarksController*>(adding->topViewController());
        ASSERT_TRUE(add);
        EXPECT_EQ(add->mode(), VKBookmarksController::Mode::Add);
        EXPECT_FLOAT_EQ(float(add->bookmarks().at(0)[VKBookmarkZoomKey].toReal()), viewer->contentZoom());
        driver.tapBarItem(*add->navigationItem().rightBarButtonItem());
        advance(1);
        ASSERT_FALSE(navigation->modalViewController());

        viewer->setContentZoom(1);
        viewer->gotoPageNumber(15);
        advance(1);
        viewer->showBookmarks();
        advance(1);
        auto* list = dynamic_cast<ui::NavigationController*>(navigation->modalViewController());
        ASSERT_TRUE(list);
        auto* bookmarks = dynamic_cast<VKBookmarksController*>(list->topViewController());
        ASSERT_TRUE(bookmarks);
        ASSERT_EQ(bookmarks->bookmarks().size(), 1u);
        driver.tapRow(bookmarks->tableView(), { 0, 0 });
        advance(1);
        EXPECT_FALSE(navigation->modalViewController());
        EXPECT_EQ(viewer->currentPageNumber(), expected);
        if (layout.zoom != 0) {
            EXPECT_NEAR(viewer->contentZoom(), layout.zoom, 0.01);
        }
        navigation->popToRootViewController(false);
        runLoop();
    }
}

// Opening and closing the bookmarks a hundred times keeps nothing alive
// once the viewer is gone.
TEST_F(VKPDFOutlineTableViewControllerTest, RepeatedOpeningsLeaveNothingBehind)
{
    VKRegisterViewers();
    writeOutlined("repeat.pdf");
    std::vector<std::weak_ptr<ui::ViewController>> shown;
    std::weak_ptr<VKPDFOutlineTableViewController> outline;
    {
        auto viewer = openPDF("repeat.pdf");
        for (int i = 0; i < 100; ++i) {
            viewer->showBookmarksControllerWithNewOffset({ -1, -1 });
            runLoop();
            auto* tabs = dynamic_cast<VKBookmarksNavigationController*>(navigation->modalViewController());
            ASSERT_TRUE(tabs);
            if (i % 10 == 0) {
                shown.push_back(tabs->sharedAs<ui::ViewController>());
                shown.push_back(tabs->bookmarksController());
            }
            if (i % 2)
                driver.tapSegment(tabs->segmentedControl(), i % 4 == 1 ? 1 : 0);
            navigation->dismissModalViewController(false);
            runLoop();
        }
        outline = std::static_pointer_cast<VKPDFOutlineTableViewController>(
            viewer->outlineController()->sharedAs<ui::ViewController>());
        navigation->popToRootViewController(false);
        runLoop();
        advance(1);
    }
    advance(1);
    for (const auto& controller : shown)
        EXPECT_TRUE(controller.expired());
    EXPECT_TRUE(outline.expired());
}

} // namespace

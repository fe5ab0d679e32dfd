// The PDF viewer's search bar over a real search controller: indexing and
// searching on its threads, answers pumped back through the main loop.

#include "PDFViewerTestCase.h"

#include "FileModel/VKFileSettingsManager.h"
#include "PDF/VKDocumentRange.h"
#include "PDF/VKPDFPage.h"
#include "PDF/VKPDFSearchController.h"
#include "PDF/VKPageIndexStore.h"
#include "Platform/Core/Paths.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"
#include "Viewers/PDF/VKDocumentView.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKSearchField.h"
#include "Viewers/VKRegisterViewers.h"

#include <cmath>
#include <filesystem>
#include <unistd.h>
#include <fmt/format.h>

using namespace test;

namespace {

class VKPDFViewControllerSearchTest : public PDFViewerTestCase {
protected:
    void SetUp() override
    {
        PDFViewerTestCase::SetUp();
        ui::Pasteboard::resetForTesting();
    }
    void TearDown() override
    {
        navigation->popToRootViewController(false);
        runLoop();
        for (int layout : { 2, 3 })
            VKPDFViewController::setLayoutViewFactory(layout, {});
        VKPDFSearchController::resetSharedSearchQueue();
        ui::Pasteboard::resetForTesting();
        PDFViewerTestCase::TearDown();
    }
    // `count` pages of one line of text each; "needle" on pages 3 and 9.
    void writeText(std::string_view name, int count = 12)
    {
        PdfBuilder builder;
        int font = builder.addStandardFont("Helvetica");
        for (int page = 1; page <= count; ++page) {
            std::string line = page == 3 || page == 9 ? fmt::format("A needle on page {} of the report", page)
                                                      : fmt::format("Plain words on page {} of the report", page);
            builder.addPage(fmt::format("BT /F1 14 Tf 72 700 Td ({}) Tj ET", line),
                fmt::format("/MediaBox [0 0 612 792] /Resources << /Font << /F1 {} 0 R >> >>", font));
        }
        writeDocument(name, builder);
    }
    std::shared_ptr<VKPDFViewController> openIndexed(std::string_view name)
    {
        auto viewer = openPDF(name);
        // From the first page, wherever the last viewer left the document.
        viewer->gotoPageNumber(1);
        advance(1);
        viewer->searchButtonWasPressed();
        // The indexing pass has ended and its progress has come, so that no
        // late "100%" overwrites what a search says.
        auto& search = *viewer->searchController();
        EXPECT_TRUE(waitFor([&] { return search.fullyIndexed() && !search.isIndexing(); }));
        runLoop();
        return viewer;
    }
    // Searches as the reader does and waits for the answer.
    void find(VKPDFViewController& viewer, const std::function<void()>& action)
    {
        auto before = viewer.currentResult();
        action();
        waitFor([&] { return viewer.currentResult() != before; }, 10);
        advance(1);
    }
    VKPDFPageView* highlighted(VKPDFViewController& viewer)
    {
        VKPDFPageView* found = nullptr;
        for (auto& view : viewer.documentView()->cachedPageViews())
            if (auto* page = dynamic_cast<VKPDFPageView*>(view.get()))
                if (page->highlightedTextRange().location != core::kNotFound && page->highlightedTextRange().length > 0) {
                    EXPECT_FALSE(found) << "two highlights";
                    found = page;
                }
        return found;
    }
};

TEST_F(VKPDFViewControllerSearchTest, TheFirstPressBuildsTheBarAndCancelPutsTheToolbarBack)
{
    writeText("bar.pdf");
    auto viewer = openPDF("bar.pdf");
    EXPECT_TRUE(viewer->navigationItem().rightBarButtonItem()->isEnabled());
    auto normalItems = viewer->toolbarItems().size();
    driver.tapBarItem(*viewer->navigationItem().rightBarButtonItem());
    runLoop();

    auto* field = viewer->searchField();
    ASSERT_TRUE(field);
    EXPECT_EQ(field->text(), "");
    // Reading the find pasteboard never makes it.
    EXPECT_FALSE(ui::Pasteboard::named(ui::Pasteboard::findName, false));
    EXPECT_EQ(field->returnKeyType(), ui::TextInput::ReturnKeyType::Search);
    EXPECT_EQ(field->autocapitalizationType(), ui::TextInput::AutocapitalizationType::None);
    EXPECT_EQ(field->keyboardAppearance(), ui::TextInput::KeyboardAppearance::Alert);
    EXPECT_TRUE(field->isFirstResponder());
    EXPECT_FALSE(viewer->upItem()->isEnabled());
    EXPECT_FALSE(viewer->downItem()->isEnabled());
    auto* bar = viewer->searchBar();
    EXPECT_EQ(bar->superview(), &navigation->navigationBar());
    EXPECT_EQ(bar->frame(), navigation->navigationBar().bounds());
    EXPECT_EQ(bar->barStyle(), ui::NavigationBar::Style::Black);
    EXPECT_TRUE(bar->isTranslucent());
    EXPECT_EQ(bar->topItem()->titleView().get(), field);
    EXPECT_TRUE(viewer->navigationItem().hidesBackButton());
    EXPECT_TRUE(viewer->toolbarModal());
    EXPECT_FALSE(viewer->shouldUIAutoHide());
    ASSERT_EQ(viewer->toolbarItems().size(), 7u);
    EXPECT_EQ(viewer->toolbarItems()[1].get(), viewer->upItem());
    EXPECT_EQ(viewer->toolbarItems()[3].get(), viewer->searchStatusItem());
    EXPECT_EQ(viewer->toolbarItems()[5].get(), viewer->downItem());
    EXPECT_FLOAT_EQ(viewer->toolbarItems()[0]->width(), 16);
    // On the phone the label leaves room for both arrows: the down arrow
    // lies inside the toolbar.
    EXPECT_EQ(viewer->searchStatusLabel()->frame().size, gfx::Size(140, 20));
    viewer->view()->window()->layoutIfNeeded();
    ASSERT_TRUE(viewer->downItem()->view());
    auto down = viewer->downItem()->view()->convertRect(viewer->downItem()->view()->bounds(), nullptr);
    EXPECT_LE(down.maxX(), 320);
    viewer->pageRangeDidChange();
    EXPECT_EQ(viewer->searchStatusLabel()->text(), "Page 1 of 12");
    EXPECT_EQ(viewer->searchDimmingView()->superview(), viewer->view().get());
    ASSERT_TRUE(viewer->currentResult());
    EXPECT_EQ(viewer->currentResult()->page(), 1u);
    EXPECT_FALSE(viewer->isUIHidden());

    // Typing turns the arrows on.
    driver.type("nee");
    EXPECT_TRUE(viewer->upItem()->isEnabled());
    EXPECT_TRUE(viewer->downItem()->isEnabled());

    // A touch on the dimmed page closes but keeps the text.
    auto* search = viewer->searchController();
    viewer->keyboardDimmingViewDidReceiveTouches(*viewer->searchDimmingView());
    EXPECT_EQ(field->text(), "nee");
    EXPECT_EQ(ui::Pasteboard::named(ui::Pasteboard::findName, false)->string(), "nee");
    EXPECT_FALSE(viewer->searchBar()->superview());
    EXPECT_FALSE(viewer->searchDimmingView()->superview());
    EXPECT_FALSE(viewer->toolbarModal());
    EXPECT_EQ(viewer->toolbarItems().size(), normalItems);
    EXPECT_FALSE(viewer->navigationItem().hidesBackButton());
    EXPECT_FALSE(viewer->currentResult());

    // The next press keeps the objects and reads the pasteboard; Cancel
    // clears the field.
    ui::Pasteboard::named(ui::Pasteboard::findName, true)->setString("needle");
    viewer->searchButtonWasPressed();
    EXPECT_EQ(viewer->searchController(), search);
    EXPECT_EQ(viewer->searchField(), field);
    EXPECT_EQ(field->text(), "needle");
    EXPECT_TRUE(viewer->downItem()->isEnabled());
    auto* cancel = viewer->searchBar()->topItem()->rightBarButtonItem().get();
    ASSERT_TRUE(cancel);
    EXPECT_EQ(cancel->systemItem(), ui::BarButtonItem::SystemItem::Cancel);
    driver.tapBarItem(*cancel);
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(ui::Pasteboard::named(ui::Pasteboard::findName, false)->string(), "needle");
    EXPECT_TRUE(viewer->shouldUIAutoHide());

    // Unloading drops every search object; the next press makes new ones.
    viewer->searchButtonWasPressed();
    viewer->viewDidUnload();
    EXPECT_FALSE(viewer->searchController());
    EXPECT_FALSE(viewer->searchField());
    EXPECT_FALSE(viewer->searchBar());
    EXPECT_FALSE(viewer->searchDimmingView());
    EXPECT_FALSE(viewer->upItem());
}

TEST_F(VKPDFViewControllerSearchTest, HitsAreHighlightedAndShownInEveryLayout)
{
    VKRegisterViewers();
    writeText("hits.pdf");
    std::string path = pathInHome("Files/hits.pdf");
    for (const char* code : { "VKDVLV", "VKDVLHS", "VKDVLHD" }) {
        SCOPED_TRACE(code);
        ASSERT_TRUE(VKFileSettingsManager::defaultManager()->setDocumentLayout(code, path));
        // The field would open with the last search's text.
        ui::Pasteboard::resetForTesting();
        auto viewer = openIndexed("hits.pdf");
        driver.type("needle");
        find(*viewer, [&] { driver.pressReturn(); });
        ASSERT_TRUE(viewer->currentResult()) << viewer->searchField()->text() << " " << viewer->searchStatusLabel()->text();
        EXPECT_EQ(viewer->currentResult()->page(), 3u);
        EXPECT_FALSE(viewer->searchField()->isFirstResponder());
        auto* page = highlighted(*viewer);
        ASSERT_TRUE(page);
        EXPECT_EQ(page->page()->pageIndex(), 2u);
        EXPECT_EQ(page->highlightedTextRange(), viewer->currentResult()->range());
        // The page shown holds the hit (a spread shows 2-3).
        auto shown = viewer->currentPageIndexRange();
        EXPECT_TRUE(shown.location <= 2 && 2 < shown.location + std::max(1u, shown.length)) << shown.location;

        find(*viewer, [&] { viewer->searchToolbarDownButtonPressed(); });
        ASSERT_TRUE(viewer->currentResult());
        EXPECT_EQ(viewer->currentResult()->page(), 9u);
        EXPECT_TRUE(viewer->searchDimmingView()->isHidden());
        page = highlighted(*viewer);
        ASSERT_TRUE(page);
        EXPECT_EQ(page->page()->pageIndex(), 8u);

        // Past the last hit the search wraps to the first and says so.
        find(*viewer, [&] { viewer->searchToolbarDownButtonPressed(); });
        EXPECT_EQ(viewer->currentResult()->page(), 3u);
        ASSERT_TRUE(viewer->searchIndicationView());
        EXPECT_EQ(viewer->searchIndicationView()->image(), ui::Images::imageNamed("VKLoopForward.png"));
        find(*viewer, [&] { viewer->searchToolbarUpButtonPressed(); });
        EXPECT_EQ(viewer->currentResult()->page(), 9u);
        EXPECT_EQ(viewer->searchIndicationView()->image(), ui::Images::imageNamed("VKLoopBackward.png"));

        // Cancel clears every highlight.
        viewer->searchBarDidCancel(true);
        waitFor([&] { return !highlighted(*viewer); }, 5);
        EXPECT_FALSE(highlighted(*viewer));
        navigation->popToRootViewController(false);
        runLoop();
    }
}

TEST_F(VKPDFViewControllerSearchTest, AMissingWordIsSaidAndTurnsTheArrowsOffUntilTheNextEdit)
{
    writeText("missing.pdf");
    auto viewer = openIndexed("missing.pdf");
    driver.type("zebra");
    viewer->searchToolbarDownButtonPressed();
    waitFor([&] { return !viewer->downItem()->isEnabled(); }, 10);
    advance(1);
    EXPECT_EQ(viewer->searchStatusLabel()->text(), "\"zebra\" not found.");
    EXPECT_FALSE(viewer->upItem()->isEnabled());
    EXPECT_FALSE(viewer->downItem()->isEnabled());
    EXPECT_FALSE(viewer->currentResult());
    EXPECT_TRUE(driver.shownChoices().empty());
    driver.tap(*viewer->searchField());
    driver.deleteBackward();
    EXPECT_TRUE(viewer->upItem()->isEnabled());
    EXPECT_TRUE(viewer->downItem()->isEnabled());

    // A text with no word in it is not found either, and says so.
    for (int i = 0; i < 4; ++i)
        driver.deleteBackward();
    driver.type("!!!");
    viewer->searchToolbarDownButtonPressed();
    EXPECT_TRUE(waitFor([&] { return viewer->searchStatusLabel()->text() == "\"!!!\" not found."; }, 10))
        << viewer->searchStatusLabel()->text();
    EXPECT_FALSE(viewer->downItem()->isEnabled());
}

TEST_F(VKPDFViewControllerSearchTest, NothingFoundSaysWhetherTheIndexWasIncompleteOrTheDocumentHasNoText)
{
    writeText("partial.pdf");
    auto viewer = openIndexed("partial.pdf");
    auto& search = *viewer->searchController();
    auto status = [&] { return viewer->searchStatusLabel()->text(); };
    driver.type("zzqxj");
    // Nothing on the pages indexed so far: the search runs again once the
    // rest are, and what it says then outlasts the progress text. The
    // indexing thread is told to stop first: one that has just said it is
    // done still looks once more whether pages are missing, and would index
    // the "missing" half again behind the test's back.
    search.stopIndexing();
    ASSERT_TRUE(search.pageIndexStore()->setPagesIndexed(6));
    viewer->searchControllerDidFindResult(search, std::nullopt, "zzqxj");
    EXPECT_EQ(status(), "Indexing not yet complete.");
    while (!driver.shownChoices().empty())
        driver.pressAlertButton("OK");
    ASSERT_TRUE(search.pageIndexStore()->setPagesIndexed(12));
    viewer->searchControllerIndexBuildingDidProgress(search, 1.0f);
    EXPECT_TRUE(waitFor([&] { return status() == "\"zzqxj\" not found."; }, 10)) << status();
    advance(VKPDFSearchBar::IndexCompleteStatusDelay + 0.1);
    EXPECT_EQ(status(), "\"zzqxj\" not found.");
    navigation->popToRootViewController(false);
    runLoop();

    writeBars("pictures.pdf", 3);
    auto pictures = openIndexed("pictures.pdf");
    driver.type("zzqxj");
    pictures->searchToolbarDownButtonPressed();
    EXPECT_TRUE(waitFor([&] { return !pictures->downItem()->isEnabled(); }, 10));
    EXPECT_EQ(pictures->searchStatusLabel()->text(), "This document has no text to search.");
}

TEST_F(VKPDFViewControllerSearchTest, ProgressAndThePageRangeFillTheStatus)
{
    writeText("status.pdf");
    writeText("one.pdf", 1);
    auto viewer = openIndexed("status.pdf");
    auto& search = *viewer->searchController();
    auto status = [&] { return viewer->searchStatusLabel()->text(); };
    viewer->searchControllerIndexBuildingDidProgress(search, 0.37f);
    EXPECT_EQ(status(), "Indexing, 37% Complete");
    viewer->searchControllerIndexBuildingDidProgress(search, -0.25f);
    EXPECT_EQ(status(), "Indexing paused (25%)");
    viewer->searchControllerIndexBuildingDidProgress(search, 0);
    EXPECT_EQ(status(), "Indexing paused (0%)");
    viewer->searchControllerIndexBuildingDidProgress(search, std::nanf(""));
    EXPECT_EQ(status(), "Indexing paused (0%)");
    viewer->searchControllerIndexBuildingDidProgress(search, 1.0f);
    EXPECT_EQ(status(), "Indexing, 100% Complete");
    advance(1.9);
    EXPECT_EQ(status(), "Indexing, 100% Complete");
    advance(0.2);
    EXPECT_EQ(status(), "Page 1 of 12");
    viewer->gotoPageNumber(5);
    advance(1);
    EXPECT_EQ(status(), "Page 5 of 12");
    navigation->popToRootViewController(false);
    runLoop();

    auto single = openPDF("one.pdf");
    single->searchButtonWasPressed();
    EXPECT_EQ(single->searchStatusLabel()->text(), "");
}

TEST_F(VKPDFViewControllerSearchTest, ASpreadShowsItsPageRange)
{
    VKRegisterViewers();
    writeText("spread.pdf");
    ASSERT_TRUE(VKFileSettingsManager::defaultManager()->setDocumentLayout("VKDVLHD", pathInHome("Files/spread.pdf")));
    auto viewer = openPDF("spread.pdf");
    viewer->gotoPageNumber(3);
    advance(1);
    viewer->searchButtonWasPressed();
    EXPECT_EQ(viewer->searchStatusLabel()->text(), "Pages 2-3 of 12");
}

TEST_F(VKPDFViewControllerSearchTest, HitsOutsideTheDocumentAskForARebuildAndPartialIndexesWarnOnce)
{
    writeText("stale.pdf");
    auto viewer = openIndexed("stale.pdf");
    auto& search = *viewer->searchController();
    auto store = search.pageIndexStore();
    ASSERT_EQ(store->pagesIndexed(), 12u);
    // An index of an older, longer version of the file.
    viewer->searchControllerDidFindResult(search, VKDocumentRange(40, { 0, 6 }), "needle");
    EXPECT_TRUE(logContains("Warning, search hit outside the document"));
    EXPECT_FALSE(viewer->currentResult());
    EXPECT_FALSE(highlighted(*viewer));
    // The bar opened on an incomplete index, so one of the two rebuilds
    // below may warn that more may come, whichever finds the index still
    // incomplete (a fast indexing thread can finish the first one before
    // the viewer looks); never both.
    int warnings = 0;
    auto dismissWarnings = [&] {
        while (!driver.shownChoices().empty()) {
            EXPECT_EQ(driver.alert()->message(), "More results may be available as indexing progresses.");
            driver.pressAlertButton("OK");
            ++warnings;
        }
    };
    // The rebuild starts from the first page again.
    EXPECT_TRUE(waitFor([&] { return search.indexingPassCount() >= 2 || store->pagesIndexed() < 12; }, 10));
    EXPECT_TRUE(waitFor([&] { return search.fullyIndexed(); }));
    dismissWarnings();
    viewer->searchControllerDidFindResult(search, VKDocumentRange(0, { 0, 6 }), "needle");
    EXPECT_FALSE(viewer->currentResult());
    EXPECT_TRUE(waitFor([&] { return search.fullyIndexed(); }));
    dismissWarnings();
    EXPECT_LE(warnings, 1);
    advance(1);
    viewer->searchBarDidCancel(true);

    // Opened while indexing is incomplete: a search finding nothing says
    // once that more may come.
    store->setPagesIndexed(0);
    search.stopIndexing();
    ASSERT_TRUE(waitFor([&] { return !search.isIndexing(); }));
    store->setPagesIndexed(0);
    viewer->searchButtonWasPressed();
    EXPECT_TRUE(viewer->shouldShowPartialIndexWarning());
    search.stopIndexing();
    ASSERT_TRUE(waitFor([&] { return !search.isIndexing(); }));
    store->setPagesIndexed(0);
    viewer->searchControllerDidFindResult(search, std::nullopt, "needle");
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->message(), "More results may be available as indexing progresses.");
    driver.pressAlertButton("OK");
    EXPECT_FALSE(viewer->shouldShowPartialIndexWarning());
    viewer->searchControllerDidFindResult(search, std::nullopt, "needle");
    EXPECT_TRUE(driver.shownChoices().empty());
}

TEST_F(VKPDFViewControllerSearchTest, LeavingTheViewerKeepsTheTextAndStopsIndexing)
{
    writeText("leave.pdf", 200);
    auto viewer = openPDF("leave.pdf");
    viewer->searchButtonWasPressed();
    driver.type("report");
    auto* search = viewer->searchController();
    navigation->popToRootViewController(false);
    runLoop();
    EXPECT_EQ(ui::Pasteboard::named(ui::Pasteboard::findName, false)->string(), "report");
    EXPECT_FALSE(viewer->searchField()->isFirstResponder());
    EXPECT_TRUE(waitFor([&] { return !search->isIndexing(); }, 10));
}

TEST_F(VKPDFViewControllerSearchTest, AnItemThatCannotKeepItsUUIDSearchesATemporaryIndexGoneWithTheViewer)
{
    // A link cannot carry the UUID attribute, so the item has no lasting
    // identity to keep an index under.
    writeText("target.pdf");
    std::string target = pathInHome("Files/target.pdf");
    ASSERT_EQ(symlink(target.c_str(), pathInHome("Files/link.pdf").c_str()), 0);
    std::string cache = pathInHome("Library/Preferences/Metadata/ContentIndexCache");
    auto entries = [](const std::string& folder) {
        std::vector<std::string> names;
        std::error_code error;
        for (auto& entry : std::filesystem::directory_iterator(folder, error))
            names.push_back(entry.path().filename().string());
        return names;
    };

    for (int opening = 0; opening < 2; ++opening) {
        // The field would open with the last search's text.
        ui::Pasteboard::resetForTesting();
        auto viewer = openIndexed("link.pdf");
        std::string index = viewer->temporaryIndexPath();
        ASSERT_FALSE(index.empty());
        EXPECT_EQ(index.rfind(core::paths::temporaryDirectory(), 0), 0u) << index;
        EXPECT_TRUE(std::filesystem::exists(index));
        EXPECT_TRUE(entries(cache).empty());
        driver.type("needle");
        find(*viewer, [&] { driver.pressReturn(); });
        ASSERT_TRUE(viewer->currentResult());
        EXPECT_EQ(viewer->currentResult()->page(), 3u);

        navigation->popToRootViewController(false);
        runLoop();
        viewer.reset();
        runLoop();
        // The indexing thread may still end a transaction on the removed
        // index, its journal coming and going in tmp: wait for it to settle.
        EXPECT_TRUE(waitFor([&] { return !std::filesystem::exists(index); }, 10));
        EXPECT_TRUE(waitFor([&] { return entries(core::paths::temporaryDirectory()).empty(); }, 10))
            << entries(core::paths::temporaryDirectory()).size() << " left in tmp";
    }
    EXPECT_TRUE(logContains("Warning, invalid UUID for: "));
}

} // namespace

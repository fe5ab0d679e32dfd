// The PDF viewer's search bar with real text at phone and tablet size, both
// ways up, for a person to look at (build/screens/pdf_search/), and a
// golden of the bar over a hit.

#include "PDFSearchScreensSupport.h"

#include "PDF/VKDocumentRange.h"
#include "PDF/VKPDFSearchController.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Viewers/PDF/VKSearchField.h"

using namespace test;

namespace {

class SearchScreensTest : public PDFSearchScreensTestCase {
protected:
    std::shared_ptr<VKPDFViewController> openReport()
    {
        auto viewer = openPDF("report.pdf");
        viewer->gotoPageNumber(1);
        advance(1);
        return viewer;
    }
    void waitForHit(VKPDFViewController& viewer, uint32_t page)
    {
        waitFor([&] { return viewer.currentResult() && viewer.currentResult()->page() == page; }, 20);
        advance(1);
        waitForTiles();
    }
    // Until the visible tiles are drawn.
    void waitForTiles()
    {
        for (int i = 0; i < 20; ++i)
            advance(0.05);
    }
    void shootAll(const DeviceScreen& device);
};

void SearchScreensTest::shootAll(const DeviceScreen& device)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    use(device);
    writeReport();
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        // The last pass's query stays on the find pasteboard and would
        // stand before this pass's typing.
        ui::Pasteboard::named(ui::Pasteboard::findName, true)->setString("");
        auto viewer = openReport();
        viewer->searchButtonWasPressed();
        ASSERT_TRUE(waitFor([&] { return viewer->searchController()->fullyIndexed(); }));
        advance(1);
        viewer->searchControllerIndexBuildingDidProgress(*viewer->searchController(), 0.37f);
        shoot("indexing");
        driver.type("needle");
        waitForTiles();
        shoot("keyboard");
        driver.pressReturn();
        waitForHit(*viewer, 7);
        shoot("hit");
        viewer->searchToolbarDownButtonPressed();
        waitForHit(*viewer, 19);
        shoot("next-hit");

        viewer->searchBarDidCancel(true);
        viewer->searchButtonWasPressed();
        driver.type("zebra");
        driver.pressReturn();
        waitFor([&] { return !viewer->downItem()->isEnabled(); });
        advance(1);
        shoot("not-found");
        viewer->searchBarDidCancel(true);
        shoot("closed");
        navigation->popToRootViewController(false);
        runLoop();
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
            advance(1);
        }
    }
}

TEST_F(SearchScreensTest, Phone)
{
    shootAll(phoneScreen);
}

TEST_F(SearchScreensTest, Tablet)
{
    shootAll(tabletScreen);
}

TEST_F(SearchScreensTest, Golden)
{
    use(phoneScreen);
    writeReport();
    auto viewer = openReport();
    viewer->searchButtonWasPressed();
    ASSERT_TRUE(waitFor([&] { return viewer->searchController()->fullyIndexed(); }));
    driver.type("needle");
    driver.pressReturn();
    waitForHit(*viewer, 7);
    EXPECT_EQ(viewer->searchStatusLabel()->text(), "Page 7 of 40");
    expectGolden("pdf-search-hit-phone-portrait");
}

} // namespace

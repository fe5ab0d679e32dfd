// The bookmarks list, the add form, the outline and its results, and the
// tabs, with real text at phone and tablet size, both ways up, for a
// person to look at (build/screens/pdf_search/), and goldens of the
// outline and the add form.

#include "PDFSearchScreensSupport.h"

#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/SearchBar.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TextField.h"
#include "Viewers/Document/VKBookmarkAddCell.h"
#include "Viewers/Document/VKBookmarksController.h"
#include "Viewers/PDF/VKBookmarksNavigationController.h"
#include "Viewers/PDF/VKPDFOutlineTableViewController.h"
#include "Viewers/VKRegisterViewers.h"

using namespace test;

namespace {

class BookmarksScreensTest : public PDFSearchScreensTestCase {
protected:
    void SetUp() override
    {
        PDFSearchScreensTestCase::SetUp();
        VKRegisterViewers();
    }
    void storeBookmarks()
    {
        std::string path = pathInHome("Files/report.pdf");
        const char* names[] = { "Intro", "The tables of the second quarter, with the notes that explain them",
            "Outlook", "Bookmark 4" };
        double offset = 0.1;
        for (const char* name : names) {
            ASSERT_TRUE(VKFileSettingsManager::defaultManager()->insertBookmark(
                core::Value::makeDictionary({ { VKBookmarkNameKey, std::string(name) }, { VKBookmarkOffsetKey, offset } }),
                path));
            offset += 0.2;
        }
    }
    VKBookmarksNavigationController* tabs() { return dynamic_cast<VKBookmarksNavigationController*>(navigation->modalViewController()); }
    void close()
    {
        navigation->dismissModalViewController(false);
        advance(1);
    }
    void shootAll(const DeviceScreen& device);
    // The outline tab's search (its bar's left item shows the field), typed.
    void searchOutline(const std::string& text)
    {
        auto& outline = *tabs()->outlineController();
        driver.tapBarItem(*outline.navigationItem().leftBarButtonItem());
        advance(1);
        driver.tap(*outline.searchBar());
        driver.type(text);
        advance(1);
    }
};

void BookmarksScreensTest::shootAll(const DeviceScreen& device)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    use(device);
    writeReport();
    storeBookmarks();
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        auto viewer = openPDF("report.pdf");
        viewer->showBookmarks();
        advance(1);
        ASSERT_TRUE(tabs());
        shoot("tabs-personal");
        auto& bookmarks = *tabs()->bookmarksController();
        driver.tapBarItem(*bookmarks.navigationItem().leftBarButtonItem());
        advance(1);
        shoot("bookmarks-editing");
        driver.tapBarItem(*bookmarks.navigationItem().leftBarButtonItem());
        driver.tapSegment(tabs()->segmentedControl(), 1);
        advance(1);
        shoot("outline");
        searchOutline("intro");
        shoot("outline-results");
        close();
        VKBookmarksNavigationController::setChoice(0);

        viewer->addBookmark();
        advance(1);
        shoot("add");
        auto* adding = dynamic_cast<VKBookmarksController*>(
            dynamic_cast<ui::NavigationController*>(navigation->modalViewController())->topViewController());
        ASSERT_TRUE(adding);
        adding->addCell()->textField().setText("Intro");
        adding->saveClicked();
        advance(1);
        shoot("duplicate");
        driver.pressAlertButton("OK");
        close();
        navigation->popToRootViewController(false);
        runLoop();
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
            advance(1);
        }
    }
}

TEST_F(BookmarksScreensTest, Phone)
{
    shootAll(phoneScreen);
}

TEST_F(BookmarksScreensTest, Tablet)
{
    shootAll(tabletScreen);
}

TEST_F(BookmarksScreensTest, Goldens)
{
    use(tabletScreen);
    writeReport();
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    auto viewer = openPDF("report.pdf");
    VKBookmarksNavigationController::setChoice(1);
    viewer->showBookmarks();
    advance(1);
    expectGolden("pdf-outline-tablet-landscape");
    // The results cover the outline: none of it shows under the last one.
    searchOutline("intro");
    expectGolden("pdf-outline-results-tablet-landscape");
    close();
    navigation->popToRootViewController(false);
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);

    use(phoneScreen);
    viewer = openPDF("report.pdf");
    viewer->addBookmark();
    advance(1);
    expectGolden("pdf-bookmark-add-phone-portrait");
}

} // namespace

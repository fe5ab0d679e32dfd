// The paged frame over a scroll view of numbered bands on a phone screen:
// its contract, pages, scrolling and tap paging, the first-load steps and
// the paging help, the stored reading position, rotation, the page index
// with the bars, the go-to-page bar, the sheet entries and the links.

#include "DocumentTestCase.h"

#include "Viewers/Document/VKDocumentTitleView.h"
#include "Viewers/Document/VKGoToPagePlaceholderView.h"
#include "Viewers/Document/VKPageIndexView.h"
#include "Viewers/Document/VKPageNumberOverlay.h"

#include "Shell/Interface/VKActionSheet.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/Core/RunLoop.h"
#include "Kit/VKImageOperationQueue.h"
#include "Support/Command.h"
#include "Support/LogHook.h"
#include "Support/TestWebServer.h"
#include "Downloads/VKDownloadManager.h"

#include <condition_variable>
#include <mutex>

#include <cmath>
#include <filesystem>

namespace {

class VKDocumentViewControllerTest : public test::DocumentTestCase {
protected:
    void SetUp() override
    {
        DocumentTestCase::SetUp();
        // The help has been seen unless a test wants it.
        core::UserDefaults::standard()->set(VKDocumentViewController::PagingGestureInfoShownKey, core::Value(true));
    }
    std::vector<std::string> sheetTitles()
    {
        std::vector<std::string> titles;
        auto sheet = driver.shownChoices().empty() ? nullptr : driver.actionSheet();
        for (int i = 0; sheet && i < sheet->numberOfButtons(); ++i)
            titles.push_back(sheet->buttonTitle(i));
        return titles;
    }
    void scrollTo(test::BandViewer& viewer, float ny)
    {
        viewer.scrollToNormalisedOffset({ 0, ny }, false, false);
        runLoop();
    }
};

TEST_F(VKDocumentViewControllerTest, PagesAreScreenfulsAndTheCurrentOneHoldsTheMiddle)
{
    auto viewer = open();
    EXPECT_FLOAT_EQ(viewer->normalisedPageHeight(), 0.3f);
    EXPECT_EQ(viewer->pageCount(), 4u);
    EXPECT_EQ(viewer->currentPageNumber(), 1u);
    EXPECT_EQ(viewer->titleView()->subtitle(), "1 of 4");
    scrollTo(*viewer, 0.5f);
    EXPECT_EQ(viewer->currentPageNumber(), 3u);
    EXPECT_EQ(viewer->titleView()->subtitle(), "3 of 4");
    EXPECT_EQ(viewer->currentPageIndexRange().location, 2u);
    // The last screen's middle lies on page 3: the fourth is the part of a
    // screen left over.
    viewer->scrollToEnd();
    EXPECT_EQ(viewer->currentPageNumber(), 3u);
    EXPECT_EQ(viewer->pageNumberOverlay()->pageText(), "3 of 4");
}

TEST_F(VKDocumentViewControllerTest, DegenerateAndHugeSizesKeepCountsFinite)
{
    for (gfx::Size size : { gfx::Size { 0, 1600 }, gfx::Size { 320, -1 }, gfx::Size { NAN, 1600 }, gfx::Size { 320, NAN } }) {
        auto viewer = open(size, "Empty.pdf");
        EXPECT_EQ(viewer->normalisedPageHeight(), 0);
        EXPECT_EQ(viewer->pageCount(), 0u);
        EXPECT_EQ(viewer->currentPageNumber(), 0u);
        EXPECT_EQ(viewer->pageIndexView(), nullptr);
        EXPECT_EQ(viewer->pageNumberOverlay(), nullptr);
        navigation->popViewController(false);
        runLoop();
    }
    auto huge = open({ 320, 1e9f }, "Huge.pdf");
    EXPECT_EQ(huge->pageCount(), unsigned(std::ceil(1.0 / double(huge->normalisedPageHeight()))));
    EXPECT_NEAR(huge->pageCount(), 2083334, 1);
    huge->scrollToEnd();
    EXPECT_GE(huge->currentPageNumber() + 1, huge->pageCount());
    // Beyond the end (as a subclass may report) is the last page.
    huge->setContentOffset({ 0, 2e9f });
    EXPECT_EQ(huge->currentPageNumber(), huge->pageCount());
    EXPECT_EQ(huge->pageIndexView()->labels().back(), std::to_string(huge->pageCount()));
}

TEST_F(VKDocumentViewControllerTest, OneScreenIsOnePageWithoutIndexBubbleOrHelp)
{
    core::UserDefaults::standard()->remove(VKDocumentViewController::PagingGestureInfoShownKey);
    auto viewer = open({ 320, 300 }, "Short.pdf");
    EXPECT_EQ(viewer->pageCount(), 1u);
    EXPECT_EQ(viewer->pageIndexView(), nullptr);
    EXPECT_EQ(viewer->pageNumberOverlay(), nullptr);
    EXPECT_FALSE(viewer->pagingGestureInfoVisible());
    EXPECT_TRUE(viewer->titleView()->pageLabel().isHidden());
    EXPECT_FALSE(viewer->isUIHidden());
    advance(3.1);
    EXPECT_TRUE(viewer->isUIHidden());
}

TEST_F(VKDocumentViewControllerTest, ScrollingClampsAndHomeAndEndKeepTheSideways)
{
    auto viewer = open({ 640, 1600 });
    float bottom = 1600 - viewer->contentView()->bounds().height();
    viewer->scrollToContentOffset({ 5000, 5000 }, false, false);
    EXPECT_EQ(viewer->contentOffset(), (gfx::Point { 320, bottom }));
    viewer->scrollToContentOffset({ -10, NAN }, false, false);
    EXPECT_EQ(viewer->contentOffset(), (gfx::Point { 0, 0 }));
    viewer->scrollToContentOffset({ 160, 400 }, false, false);
    viewer->scrollToEnd();
    EXPECT_EQ(viewer->contentOffset(), (gfx::Point { 160, bottom }));
    viewer->scrollToHome();
    EXPECT_EQ(viewer->contentOffset(), (gfx::Point { 160, 0 }));

    // The flash: an indicator at least 36 high at the right edge, faded
    // out a second later.
    viewer->scrollToContentOffset({ 0, 560 }, false, true);
    ui::View* indicator = viewer->verticalScrollIndicator();
    ASSERT_NE(indicator, nullptr);
    float visible = viewer->contentView()->bounds().height();
    float height = std::max(36.f, std::floor(visible * visible / 1600.f));
    EXPECT_EQ(indicator->frame().height(), height);
    EXPECT_NEAR(indicator->frame().y(), 560 + (560.f / bottom) * (visible - height), 0.01);
    advance(2);
    EXPECT_EQ(indicator->alpha(), 0);
}

TEST_F(VKDocumentViewControllerTest, EdgeTapsPageAndTheEndsShowTheirSigns)
{
    auto viewer = open();
    float visible = viewer->contentView()->bounds().height();
    float bottom = 1600 - visible, step = visible - 20, low = visible - 10;
    advance(3.1); // the bars hide
    ASSERT_TRUE(viewer->isUIHidden());
    driver.tapAt(*viewer->view(), { 160, low });
    advance(1);
    EXPECT_EQ(viewer->contentOffset().y, step);
    EXPECT_TRUE(viewer->isUIHidden());
    while (viewer->contentOffset().y < bottom) {
        driver.tapAt(*viewer->view(), { 160, low });
        advance(1);
    }
    EXPECT_EQ(viewer->contentOffset().y, bottom);
    // At the end: the end sign, faded away.
    driver.tapAt(*viewer->view(), { 160, low });
    advance(0.1);
    ASSERT_NE(viewer->searchIndicationView(), nullptr);
    EXPECT_EQ(viewer->searchIndicationView()->image(), ui::Images::imageNamed("VKReachedEnd.png"));
    EXPECT_EQ(viewer->searchIndicationView()->center(), (gfx::Point { 160, visible / 2 }));
    EXPECT_EQ(viewer->searchIndicationView()->alpha(), 0);
    EXPECT_EQ(viewer->contentOffset().y, bottom);
    // The top region begins under the status bar, which takes its own
    // touches: tapped below it.
    driver.tapAt(*viewer->view(), { 160, 40 });
    advance(1);
    EXPECT_EQ(viewer->contentOffset().y, bottom - step);
    viewer->scrollToHome();
    driver.tapAt(*viewer->view(), { 160, 40 });
    advance(1);
    EXPECT_EQ(viewer->searchIndicationView()->image(), ui::Images::imageNamed("VKReachedBeginning.png"));
    viewer->indicateSearchRotation(2);
    EXPECT_EQ(viewer->searchIndicationView()->image(), ui::Images::imageNamed("VKLoopForward.png"));
    viewer->indicateSearchRotation(1);
    EXPECT_EQ(viewer->searchIndicationView()->image(), ui::Images::imageNamed("VKLoopBackward.png"));

    // A tap in the middle shows the bars; with paging off an edge tap too.
    driver.tapAt(*viewer->view(), { 160, 240 });
    advance(1);
    EXPECT_FALSE(viewer->isUIHidden());
    viewer->setUIHidden(true, false);
    core::UserDefaults::standard()->set(VKDocumentViewController::PagingGestureEnabledKey, core::Value(false));
    driver.tapAt(*viewer->view(), { 160, low });
    advance(1);
    EXPECT_EQ(viewer->contentOffset().y, 0);
    EXPECT_FALSE(viewer->isUIHidden());
    core::UserDefaults::standard()->remove(VKDocumentViewController::PagingGestureEnabledKey);
}

TEST_F(VKDocumentViewControllerTest, TheHelpComesOnceAndATapOnlyHidesIt)
{
    core::UserDefaults::standard()->remove(VKDocumentViewController::PagingGestureInfoShownKey);
    auto viewer = open();
    EXPECT_TRUE(viewer->pagingGestureInfoVisible());
    EXPECT_TRUE(core::UserDefaults::standard()->boolForKey(VKDocumentViewController::PagingGestureInfoShownKey));
    advance(0.6);
    EXPECT_TRUE(viewer->isUIHidden()); // after half a second, not three
    driver.tapAt(*viewer->view(), { 160, viewer->view()->bounds().height() - 10 });
    advance(1);
    EXPECT_FALSE(viewer->pagingGestureInfoVisible());
    EXPECT_EQ(viewer->contentOffset().y, 0);
    advance(2);
    navigation->popViewController(false);
    runLoop();
    auto again = open({ 320, 1600 }, "Other.pdf");
    EXPECT_FALSE(again->pagingGestureInfoVisible());
}

// The help takes no event: a wheel over its message scrolls the document,
// and the document scrolled takes the help away at once (what it covered
// shows again).
TEST_F(VKDocumentViewControllerTest, AWheelOverTheHelpScrollsTheDocumentAndTheHelpGoesAtOnce)
{
    core::UserDefaults::standard()->remove(VKDocumentViewController::PagingGestureInfoShownKey);
    auto viewer = open();
    ASSERT_TRUE(viewer->pagingGestureInfoVisible());
    ui::View* help = viewer->pagingGestureInfoView();
    gfx::Point middle = help->superview()->convertPoint(help->center(), nullptr);
    application().sendEvent(ui::Event::scroll(middle, { 0, 120 }));
    EXPECT_EQ(viewer->contentOffset().y, 120);
    EXPECT_FALSE(viewer->pagingGestureInfoVisible());
    EXPECT_EQ(viewer->pagingGestureInfoView(), nullptr);
}

TEST_F(VKDocumentViewControllerTest, TheReadingPositionIsStoredAndComesBack)
{
    auto viewer = open();
    std::string path = viewer->resource()->path();
    viewer->setContentZoom(1.5f);
    scrollTo(*viewer, 0.5f);
    navigation->popViewController(false);
    runLoop();
    auto settings = VKFileSettingsManager::defaultManager();
    EXPECT_FLOAT_EQ(settings->contentOffsetForFile(path), 0.5f);
    EXPECT_FLOAT_EQ(settings->contentZoomForFile(path), 1.5f);

    viewer = open();
    runLoop();
    EXPECT_FLOAT_EQ(viewer->normalisedOffset().y, 0.5f);
    EXPECT_EQ(viewer->contentZoom(), 1.5f);

    // A bookmark moves without indicators.
    viewer->bookmarksController(*viewer, core::Value::makeDictionary({ { VKBookmarkOffsetKey, core::Value(0.25) },
                                              { VKBookmarkInsetKey, core::Value(0.0) } }));
    EXPECT_FLOAT_EQ(viewer->normalisedOffset().y, 0.25f);

    // A deleted file stores nothing.
    std::filesystem::remove(path);
    scrollTo(*viewer, 0.7f);
    viewer->storePersistentState();
    EXPECT_NE(settings->contentOffsetForFile(path), 0.7f);
    navigation->popViewController(false);
    runLoop();

    auto fresh = open({ 320, 1600 }, "Never.pdf");
    runLoop();
    EXPECT_EQ(fresh->normalisedOffset(), (gfx::Point { 0, 0 }));
}

TEST_F(VKDocumentViewControllerTest, ThePageIndexFollowsTheBarsAndScrubs)
{
    auto viewer = open({ 320, 4800 });
    VKPageIndexView* index = viewer->pageIndexView();
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->alpha(), 1);
    EXPECT_FALSE(viewer->isUIHidden());
    gfx::Rect frame = index->frame();
    EXPECT_EQ(frame.width(), 28);
    EXPECT_EQ(frame.maxX(), 318);
    // Five points from each bar, though the view lies below the status bar.
    gfx::Rect placed = index->convertRect(index->bounds(), nullptr);
    auto& bar = navigation->navigationBar();
    auto& tools = navigation->toolbar();
    EXPECT_EQ(placed.minY() - bar.convertRect(bar.bounds(), nullptr).maxY(), 5);
    EXPECT_EQ(tools.convertRect(tools.bounds(), nullptr).minY() - placed.maxY(), 5);
    advance(3.5);
    EXPECT_TRUE(viewer->isUIHidden());
    EXPECT_EQ(index->alpha(), 0);

    viewer->setUIHidden(false, false);
    advance(0.5);
    gfx::Point middle = index->superview()->convertPoint({ frame.midX(), frame.midY() }, nullptr);
    auto finger = driver.touchDown({ middle });
    advance(0.2); // past the scroll view's wait for a drag
    EXPECT_TRUE(viewer->blocksTapHidingUI());
    EXPECT_EQ(viewer->pageNumberOverlay()->alpha(), 1);
    EXPECT_NEAR(viewer->normalisedOffset().y, index->value(), 0.01);
    EXPECT_GT(viewer->normalisedOffset().y, 0.3);
    driver.touchUp(finger);
    EXPECT_FALSE(viewer->blocksTapHidingUI());
    EXPECT_EQ(index->alpha(), 0);
    EXPECT_EQ(viewer->pageNumberOverlay()->alpha(), 1);
    advance(3.5);
    EXPECT_EQ(viewer->pageNumberOverlay()->alpha(), 0);

    // The bubble follows the setting.
    core::UserDefaults::standard()->set(VKDocumentViewController::PageNumberOverlayEnabledKey, core::Value(false));
    EXPECT_EQ(viewer->pageNumberOverlay(), nullptr);
    core::UserDefaults::standard()->set(VKDocumentViewController::PageNumberOverlayEnabledKey, core::Value(true));
    EXPECT_NE(viewer->pageNumberOverlay(), nullptr);
    core::UserDefaults::standard()->remove(VKDocumentViewController::PageNumberOverlayEnabledKey);

    viewer->setPageIndexEdgeInsets({ 64, 0, 44, 0 });
    EXPECT_EQ(index->frame(), gfx::Rect(290, 69, 28, viewer->view()->bounds().height() - 5 - 44 - 69));
}

TEST_F(VKDocumentViewControllerTest, RotationKeepsThePlaceAndTheGoToBarHoldsTheOrientation)
{
    auto viewer = open({ 320, 4800 });
    scrollTo(*viewer, 0.5f);
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeRight));
    advance(1);
    EXPECT_FLOAT_EQ(viewer->normalisedOffset().y, 0.5f);
    EXPECT_FALSE(viewer->pageIndexView()->isHidden());
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
    EXPECT_FLOAT_EQ(viewer->normalisedOffset().y, 0.5f);

    viewer->showGotoPageController();
    runLoop();
    EXPECT_FALSE(driver.rotate(ui::Orientation::LandscapeRight));
    viewer->removeGotoSearchBar();
    runLoop();
}

TEST_F(VKDocumentViewControllerTest, GoToPageTakesLeadingDigits)
{
    EXPECT_EQ(VKPageNumberFromText("3"), 3u);
    EXPECT_EQ(VKPageNumberFromText("12abc"), 12u);
    EXPECT_EQ(VKPageNumberFromText("abc"), 0u);
    EXPECT_EQ(VKPageNumberFromText(""), 0u);
    EXPECT_EQ(VKPageNumberFromText(" 4"), 0u);
    EXPECT_EQ(VKPageNumberFromText("99999999999999999999"), 2147483647u);
    EXPECT_EQ(VKPageNumberFromText("\xd9\xa3"), 0u); // a non-ASCII digit

    auto viewer = open({ 320, 5760 }); // 12 pages
    ASSERT_EQ(viewer->pageCount(), 12u);
    // "Go" stays whole and over the bar's own buttons (the viewer's right
    // item, made again when the back button hides); Return goes too.
    navigation->navigationBar().topItem()->setRightBarButtonItem(ui::BarButtonItem::create("Aa"));
    auto go = [&](std::string_view text, bool byReturn = false) {
        viewer->showGotoPageController();
        runLoop();
        ui::SearchBar* bar = viewer->gotoSearchBar();
        EXPECT_NE(bar, nullptr);
        if (!bar)
            return;
        EXPECT_EQ(bar->cancelButton().currentTitle(), "Go");
        EXPECT_TRUE(navigation->navigationBar().topItem()->hidesBackButton());
        driver.type(text);
        if (byReturn)
            driver.pressReturn();
        else
            driver.tap(bar->cancelButton());
        runLoop();
        EXPECT_EQ(viewer->gotoSearchBar(), nullptr);
        EXPECT_FALSE(navigation->navigationBar().topItem()->hidesBackButton());
    };
    scrollTo(*viewer, 2 * viewer->normalisedPageHeight());
    viewer->showGotoPageController();
    EXPECT_EQ(viewer->gotoSearchBar()->placeholder(), "3 of 12");
    viewer->removeGotoSearchBar();
    runLoop();

    go("3");
    EXPECT_NEAR(viewer->normalisedOffset().y, 2 * viewer->normalisedPageHeight(), 1e-5);
    go("abc");
    EXPECT_EQ(viewer->normalisedOffset().y, 0);
    scrollTo(*viewer, 0.5f);
    go("");
    EXPECT_FLOAT_EQ(viewer->normalisedOffset().y, 0.5f);
    go("400");
    EXPECT_FLOAT_EQ(viewer->contentOffset().y, 5760 - viewer->contentView()->bounds().height());
    go("2", true);
    EXPECT_NEAR(viewer->normalisedOffset().y, viewer->normalisedPageHeight(), 1e-5);

    // A touch on the dimmed content only removes the bar.
    viewer->showGotoPageController();
    runLoop();
    ASSERT_TRUE(viewer->isSearchBarActive());
    float before = viewer->contentOffset().y;
    driver.tapAt(*viewer->view(), { 100, 300 });
    advance(1);
    EXPECT_EQ(viewer->gotoSearchBar(), nullptr);
    EXPECT_EQ(viewer->contentOffset().y, before);
}

TEST_F(VKDocumentViewControllerTest, TheSheetOffersGoToPageAndTheOrientationLock)
{
    auto viewer = open();
    viewer->showDocumentActionSheet(nullptr);
    advance(1);
    auto titles = sheetTitles();
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles.front(), "Go to Page");
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Lock Orientation"), titles.end());
    driver.pressSheetButton("Cancel");
    advance(1);
    hooks->orientationLocked = true;
    auto one = open({ 320, 300 }, "Short.pdf");
    one->showDocumentActionSheet(nullptr);
    advance(1);
    titles = sheetTitles();
    EXPECT_EQ(std::find(titles.begin(), titles.end(), "Go to Page"), titles.end());
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Unlock Orientation"), titles.end());
    driver.pressSheetButton("Cancel");
    advance(1);
}

TEST_F(VKDocumentViewControllerTest, LinksOfferOpenCopyAndDownloadWhereTheyFit)
{
    application().registerURLSchemeForTesting("tel"); // a device that calls
    auto viewer = open();
    viewer->handleOpenEventForURLRequest(core::URLRequest(*core::URL::parse("TEL:+15551234")));
    advance(1);
    EXPECT_TRUE(driver.shownChoices().empty());
    ASSERT_FALSE(driver.openedURLs().empty());
    EXPECT_EQ(driver.openedURLs().back().absoluteString(), "TEL:+15551234");

    viewer->handleOpenEventForURLRequest(core::URLRequest(*core::URL::parse("https://example.com/files/report.pdf")));
    advance(1);
    ASSERT_FALSE(driver.shownChoices().empty());
    EXPECT_EQ(driver.actionSheet()->title(), "https://example.com/files/report.pdf");
    EXPECT_EQ(driver.actionSheet()->tag(), VKDocumentViewController::LinkActionSheetTag);
    EXPECT_EQ(sheetTitles(), (std::vector<std::string> { "Open", "Copy", "Download", "Cancel" }));
    driver.pressSheetButton("Copy");
    advance(1);
    auto copied = ui::Pasteboard::general()->url();
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->absoluteString(), "https://example.com/files/report.pdf");

    viewer->handleOpenEventForURLRequest(core::URLRequest(*core::URL::parse("https://example.com/about")));
    advance(1);
    EXPECT_EQ(sheetTitles(), (std::vector<std::string> { "Open", "Copy", "Cancel" }));
    driver.pressSheetButton("Cancel");
    advance(1);

    viewer->handleOpenEventForURLRequest(core::URLRequest(*core::URL::parse("mailto:someone@example.com")));
    advance(1);
    size_t opened = driver.openedURLs().size();
    driver.pressSheetButton("Open");
    advance(1);
    ASSERT_EQ(driver.openedURLs().size(), opened + 1);
    EXPECT_EQ(driver.openedURLs().back().absoluteString(), "mailto:someone@example.com");
}

TEST_F(VKDocumentViewControllerTest, ARefusedStoreIsLoggedAndTheOtherValuesStillGoIn)
{
    auto viewer = open();
    std::string path = viewer->resource()->path();
    viewer->setContentZoom(2);
    scrollTo(*viewer, 0.5f);
    viewer->storePersistentState();
    // The settings database refuses every new reading offset from now on.
    auto result = test::runCommand({ "sqlite3", VKFileSettingsManager::databasePath(),
        "CREATE TRIGGER refuse BEFORE UPDATE OF offset ON Settings BEGIN SELECT RAISE(ABORT, 'no'); END;" });
    ASSERT_EQ(result.status, 0) << result.output;
    viewer->setContentZoom(3);
    scrollTo(*viewer, 0.25f);
    test::LogHook::begin();
    viewer->storePersistentState();
    auto lines = test::LogHook::lines();
    test::LogHook::end();
    auto logged = [&](const std::string& text) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(logged("Warning, setContentOffset failed: " + path));
    EXPECT_FALSE(logged("setContentZoom failed"));
    auto settings = VKFileSettingsManager::defaultManager();
    EXPECT_FLOAT_EQ(settings->contentOffsetForFile(path), 0.5f);
    EXPECT_FLOAT_EQ(settings->contentZoomForFile(path), 3);
}

namespace {

// Work on the shared image queue that says when it runs.
class GateOperation : public VKOperation {
public:
    void run() override
    {
        started = true;
        std::unique_lock lock(mutex);
        opened.wait(lock, [&] { return open; });
    }
    void release()
    {
        std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    }
    std::atomic<bool> started { false };
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
};

class MarkOperation : public VKOperation {
public:
    void run() override { ran = true; }
    std::atomic<bool> ran { false };
};

} // namespace

TEST_F(VKDocumentViewControllerTest, AppearingDropsTheImageWorkStillWaiting)
{
    auto queue = VKImageOperationQueue::sharedQueue();
    queue->setPopBack(false); // oldest first, so the waiting work would run before the marker
    auto gate = std::make_shared<GateOperation>();
    auto waiting = std::make_shared<MarkOperation>();
    auto marker = std::make_shared<MarkOperation>();
    queue->addOperation(gate);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return gate->started.load(); }, 10));
    queue->addOperation(waiting);
    auto viewer = open();
    queue->addOperation(marker);
    gate->release();
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return marker->ran.load(); }, 10));
    EXPECT_FALSE(waiting->ran);
    VKImageOperationQueue::resetSharedQueue();
}

TEST_F(VKDocumentViewControllerTest, DownloadPutsTheLinkInTheFolderScreensFolderOrBesideTheDocument)
{
    VKDownloadManager::resetSharedManagerForTesting();
    test::TestWebServer server(pathInHome("web-server"));
    ASSERT_TRUE(server.isRunning());
    server.setResource("report.pdf", "length=5000");
    std::string link = server.url("/resource/report.pdf");
    std::string expected = test::TestWebServer::expectedBytes(0, 5000);
    // The link's Download, then the loop until the file is whole in `folder`.
    auto download = [&](test::BandViewer& viewer, const std::string& folder) {
        viewer.handleOpenEventForURLRequest(core::URLRequest(*core::URL::parse(link)));
        advance(1);
        driver.pressSheetButton("Download");
        std::string path = pathInHome(folder + "/report.pdf");
        return core::RunLoop::main().runUntil(
            [&] { return std::filesystem::exists(path) && readFile(path) == expected; }, 20);
    };

    host->folder = VKFileResource::resourceWithPath(makeFolder("Inbox"));
    auto viewer = open();
    EXPECT_TRUE(download(*viewer, "Inbox"));
    navigation->popViewController(false);
    runLoop();

    // Opened without a folder screen: into the document's own folder.
    auto alone = test::BandViewer::create(VKFileResource::resourceWithPath(pathInHome("Files/Annual Report.pdf")),
        nullptr, { 320, 1600 });
    navigation->pushViewController(alone, false);
    runLoop();
    EXPECT_TRUE(download(*alone, "Files"));
    navigation->popViewController(false);
    runLoop();
    VKDownloadManager::resetSharedManagerForTesting();
}

TEST_F(VKDocumentViewControllerTest, AThousandBarSheetAndGoToCyclesLeaveNothingBehind)
{
    auto viewer = open({ 320, 5760 });
    advance(4);
    runLoop();
    long views = ui::LiveObjects::views, layers = ui::LiveObjects::layers,
         recognizers = ui::LiveObjects::recognizers, controllers = ui::LiveObjects::controllers;
    size_t subviews = viewer->view()->subviews().size();
    for (int i = 0; i < 1000; ++i) {
        viewer->setUIHidden(false, i % 2 == 0);
        viewer->setUIHidden(true, i % 3 == 0);
        viewer->showDocumentActionSheet(nullptr);
        runLoop();
        driver.pressSheetButton("Cancel");
        viewer->showGotoPageController();
        runLoop();
        if (i % 2)
            viewer->removeGotoSearchBar();
        else
            viewer->cancelButtonClicked(*viewer->gotoSearchBar());
        runLoop();
    }
    advance(5);
    runLoop();
    EXPECT_EQ(ui::LiveObjects::views, views);
    EXPECT_EQ(ui::LiveObjects::layers, layers);
    EXPECT_EQ(ui::LiveObjects::recognizers, recognizers);
    EXPECT_EQ(ui::LiveObjects::controllers, controllers);
    EXPECT_EQ(viewer->view()->subviews().size(), subviews);
    EXPECT_EQ(core::RunLoop::main().describePendingWork(), "nothing");
}

} // namespace

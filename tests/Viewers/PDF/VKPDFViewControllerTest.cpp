#include "PDFViewerTestCase.h"

#include "Shell/DeviceMemoryAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKFileSettingsManager.h"
#include "PDF/VKPDFDestination.h"
#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFOutlineScanner.h"
#include "PDF/VKPDFPage.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/TextField.h"
#include "Support/LogHook.h"
#include "Support/UIScreens.h"
#include "Viewers/PDF/VKDocumentView.h"
#include "Viewers/PDF/VKDocumentViewHorizontalDouble.h"
#include "Viewers/PDF/VKCenteringScrollView.h"
#include "Viewers/PDF/VKScrollPagingViewCell.h"
#include "Viewers/PDF/VKDocumentViewVertical.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKScrollTrackView.h"
#include "Viewers/VKRegisterViewers.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <fmt/format.h>

using namespace test;

namespace {

class VKPDFViewControllerTest : public PDFViewerTestCase {
protected:
    void TearDown() override
    {
        for (int layout : { 2, 3 })
            VKPDFViewController::setLayoutViewFactory(layout, {});
        PDFViewerTestCase::TearDown();
    }

    // The page view's top in the viewer's view.
    float pageTop(VKPDFViewController& viewer, size_t index)
    {
        auto page = viewer.documentView()->viewForPageAtIndex(index);
        return page->convertRect(page->bounds(), viewer.view().get()).y();
    }
};

// Holds every load on its thread until released.
struct LoadGate {
    LoadGate()
    {
        VKPDFViewController::setLoadHookForTesting([this] {
            while (!open.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    ~LoadGate() { open = true; }
    std::atomic<bool> open { false };
};

TEST_F(VKPDFViewControllerTest, OpensOffTheMainThreadIntoTheVerticalLayoutAndHidesTheBars)
{
    writeBars("report.pdf", 12);
    LoadGate gate;
    auto viewer = openPDF("report.pdf", false);
    ASSERT_TRUE(viewer->isLoadingDocument());
    EXPECT_FALSE(viewer->navigationItem().rightBarButtonItem()->isEnabled());
    EXPECT_FALSE(viewer->activityIndicator() && viewer->activityIndicator()->isAnimating());
    advance(0.5);
    ASSERT_TRUE(viewer->activityIndicator());
    EXPECT_TRUE(viewer->activityIndicator()->isAnimating());
    gate.open = true;
    waitForLoad(*viewer);

    ASSERT_TRUE(viewer->document());
    EXPECT_EQ(viewer->pageCount(), 12u);
    EXPECT_EQ(viewer->documentLayout(), 1);
    ASSERT_TRUE(dynamic_cast<VKDocumentViewVertical*>(viewer->documentView()));
    EXPECT_FALSE(viewer->activityIndicator() && viewer->activityIndicator()->isAnimating());
    EXPECT_TRUE(viewer->navigationItem().rightBarButtonItem()->isEnabled());
    EXPECT_TRUE(viewer->outlineScanner());
    EXPECT_TRUE(viewer->pageIndexViewSuppressed());
    EXPECT_EQ(viewer->currentPageNumber(), 1u);
    EXPECT_FALSE(viewer->verticalScrollIndicator());
    EXPECT_EQ(viewer->pagingEdgeInsets(), gfx::EdgeInsets());

    // Bars shown: the track shows its placeholder and the layout sits
    // between the bars (phone portrait).
    EXPECT_FALSE(viewer->isUIHidden());
    EXPECT_EQ(viewer->documentView()->toolbarContentInsets().top, 64);
    EXPECT_EQ(viewer->documentView()->toolbarContentInsets().bottom, navigation->toolbar().frame().height());
    advance(3.0);
    EXPECT_TRUE(viewer->isUIHidden());
    EXPECT_FALSE(viewer->documentView()->scrollTrackView()->showsPlaceholder());
    EXPECT_EQ(viewer->documentView()->toolbarContentInsets(), gfx::EdgeInsets());
    // The vertical layout keeps its last toolbar insets while hidden.
    EXPECT_EQ(viewer->documentView()->toolbarInsets().top, 64);

    // The toolbar: the frame's items without delete, then the layout button.
    auto items = viewer->createToolbarItems();
    EXPECT_EQ(items.back(), viewer->pageLayoutBarButtonItem());
    EXPECT_FALSE(viewer->findBarButtonItemWithAction(VKViewController::DeleteItemAction));
}

TEST_F(VKPDFViewControllerTest, PageSizesRoundUpAndFollowTheTurnAndTitlesStackTheOutline)
{
    PdfBuilder builder;
    auto pages = addBarPages(builder, 6, "/MediaBox [0 0 595.3 841.9]");
    addBarPages(builder, 1, "/MediaBox [0 0 612 792] /Rotate 90");
    builder.setOutline({
        { "Part II", fmt::format("[{} 0 R /Fit]", pages[1]), "",
            { { "Chapter 4", fmt::format("[{} 0 R /Fit]", pages[2]), "",
                { { "Section 4.2", fmt::format("[{} 0 R /Fit]", pages[3]), "", {} } } } } },
    });
    writeDocument("outline.pdf", builder);
    auto viewer = openPDF("outline.pdf");
    auto& layout = *viewer->documentView();
    EXPECT_EQ(viewer->documentViewSizeForPageAtIndex(layout, 0), gfx::Size(596, 842));
    EXPECT_EQ(viewer->documentViewSizeForPageAtIndex(layout, 6), gfx::Size(792, 612));
    EXPECT_EQ(viewer->documentViewThumbnailSizeForIndex(layout, 6), gfx::Size(792, 612));
    EXPECT_EQ(viewer->documentViewTitleForPageAtIndex(layout, 0), std::nullopt);
    EXPECT_EQ(viewer->documentViewTitleForPageAtIndex(layout, 1), "Part II");
    EXPECT_EQ(viewer->documentViewTitleForPageAtIndex(layout, 3), "Part II\nChapter 4\nSection 4.2");
    EXPECT_EQ(viewer->maxDepthForDocumentView(layout), 3u);
    auto view = viewer->documentViewViewForPageAtIndex(layout, 4);
    auto* pageView = dynamic_cast<VKPDFPageView*>(view.get());
    ASSERT_TRUE(pageView);
    EXPECT_EQ(pageView->page()->pageIndex(), 4u);

    // A thumbnail request hides the chrome first.
    EXPECT_FALSE(viewer->isUIHidden());
    viewer->documentViewThumbnailImageForIndex(layout, 0, 192);
    EXPECT_TRUE(viewer->isUIHidden());
}

TEST_F(VKPDFViewControllerTest, OpenFailuresAlertOnceAndLeaveTheEmptyViewer)
{
    makeFile("Files/notes.pdf", "Just some words, not a document.\n");
    auto viewer = openPDF("notes.pdf");
    auto alert = driver.alert();
    EXPECT_EQ(alert->title(), "Unknown format");
    EXPECT_EQ(alert->message(), "Unable to interpret file as PDF.");
    driver.pressAlertButton("OK");
    runLoop();
    EXPECT_FALSE(viewer->document());
    EXPECT_FALSE(viewer->documentView());
    EXPECT_EQ(navigation->topViewController(), viewer.get());

    // A file gone between the listing and the opening cannot be read.
    std::string path = makeFile("Files/gone.pdf", "%PDF-1.4");
    auto missing = VKPDFViewController::create(VKFileResource::resourceWithPath(path), host);
    core::fs::removeItem(path);
    navigation->pushViewController(missing, false);
    waitForLoad(*missing);
    EXPECT_EQ(driver.alert()->title(), "Cannot open");
    EXPECT_EQ(driver.alert()->message(), "Unable to open file.");
    driver.pressAlertButton("OK");
    runLoop();
    EXPECT_EQ(navigation->topViewController(), missing.get());
}

TEST_F(VKPDFViewControllerTest, PasswordsAreAskedForUntilRightAndCancelPops)
{
    for (auto kind : { PdfBuilder::Encryption::AES_128, PdfBuilder::Encryption::AES_256 }) {
        SCOPED_TRACE(int(kind));
        PdfBuilder builder;
        addBarPages(builder, 2);
        writeDocument("locked.pdf", builder, PdfBuilder::Encryption { kind, "secret", "owner" });
        auto viewer = openPDF("locked.pdf");
        auto* asked = popup();
        ASSERT_TRUE(asked);
        EXPECT_EQ(asked->title(), "Password required:\nThis PDF is password-protected.\n");
        ASSERT_EQ(asked->numberOfButtons(), 2);
        EXPECT_EQ(asked->cancelButtonIndex(), 0);
        ASSERT_TRUE(asked->textField());
        EXPECT_TRUE(asked->textField()->isSecureTextEntry());
        EXPECT_EQ(asked->textField()->placeholder(), "Password");

        // An empty field tries the empty password, then a wrong one.
        asked->dismissWithClickedButtonIndex(1, false);
        waitForLoad(*viewer);
        for (const char* wrong : { "", "wrong" }) {
            (void)wrong;
            auto* again = popup();
            ASSERT_TRUE(again);
            EXPECT_EQ(again->title(), "Password incorrect:\nPlease enter the correct password.\n");
            again->textField()->setText(wrong);
            again->dismissWithClickedButtonIndex(1, false);
            waitForLoad(*viewer);
        }
        auto* last = popup();
        ASSERT_TRUE(last);
        last->textField()->setText("secret");
        last->dismissWithClickedButtonIndex(1, false);
        waitForLoad(*viewer);
        EXPECT_FALSE(popup());
        ASSERT_TRUE(viewer->document());
        EXPECT_EQ(viewer->pageCount(), 2u);
        EXPECT_EQ(viewer->password(), "secret");
        navigation->popViewController(false);
        runLoop();
    }

    // A popup the system took away changes nothing; Cancel pops.
    auto viewer = openPDF("locked.pdf");
    auto* asked = popup();
    ASSERT_TRUE(asked);
    asked->setTag(VKAlertViewTagSystemCancelled);
    asked->dismissWithClickedButtonIndex(0, false);
    runLoop();
    EXPECT_EQ(navigation->topViewController(), viewer.get());
    EXPECT_FALSE(viewer->isLoadingDocument());

    viewer->attemptLoadOnBackgroundThread();
    waitForLoad(*viewer);
    ASSERT_TRUE(popup());
    popup()->dismissWithClickedButtonIndex(0, false);
    advance(1);
    EXPECT_NE(navigation->topViewController(), viewer.get());
}

TEST_F(VKPDFViewControllerTest, AnOwnerPasswordAloneNeverAsksAndLongPasswordsFailNormally)
{
    PdfBuilder builder;
    addBarPages(builder, 3);
    writeDocument("owner.pdf", builder, PdfBuilder::Encryption { PdfBuilder::Encryption::AES_128, "", "owner" });
    auto viewer = openPDF("owner.pdf");
    EXPECT_FALSE(popup());
    ASSERT_TRUE(viewer->document());
    navigation->popViewController(false);
    runLoop();

    PdfBuilder locked;
    addBarPages(locked, 1);
    writeDocument("locked.pdf", locked, PdfBuilder::Encryption { PdfBuilder::Encryption::AES_256, "secret", "master" });
    viewer = openPDF("locked.pdf");
    ASSERT_TRUE(popup());
    popup()->textField()->setText(std::string(10 * 1024, 'x'));
    popup()->dismissWithClickedButtonIndex(1, false);
    waitForLoad(*viewer);
    ASSERT_TRUE(popup());
    EXPECT_EQ(popup()->title(), "Password incorrect:\nPlease enter the correct password.\n");
    EXPECT_FALSE(viewer->document());
}

TEST_F(VKPDFViewControllerTest, TheLayoutComesFromTheDocumentElseTheDefault)
{
    EXPECT_EQ(VKPDFViewController::layoutForCode("VKDVLV"), 1);
    EXPECT_EQ(VKPDFViewController::layoutForCode("VKDVLHS"), 2);
    EXPECT_EQ(VKPDFViewController::layoutForCode("VKDVLHD"), 3);
    EXPECT_EQ(VKPDFViewController::layoutForCode("VKDVLX"), 0);
    EXPECT_EQ(VKPDFViewController::layoutForCode(std::nullopt), 0);

    std::string path = writeBars("layout.pdf", 4);
    auto settings = VKFileSettingsManager::defaultManager();
    core::UserDefaults::standard()->set(VKPDFViewController::DocumentViewLayoutKey, core::Value(int64_t(3)));
    EXPECT_EQ(VKPDFViewController::documentLayoutForPath(path), 3);
    ASSERT_TRUE(settings->setDocumentLayout("VKDVLV", path));
    EXPECT_EQ(VKPDFViewController::documentLayoutForPath(path), 1);
    ASSERT_TRUE(settings->setDocumentLayout("nonsense", path));
    EXPECT_EQ(VKPDFViewController::documentLayoutForPath(path), 3);

    // The registered factory makes the double layout with the default's
    // lone first page; an unregistered value shows the vertical layout.
    std::vector<bool> singleFirst;
    VKPDFViewController::setLayoutViewFactory(3, [&](const gfx::Rect& frame, bool single) {
        singleFirst.push_back(single);
        return std::static_pointer_cast<VKDocumentView>(VKDocumentViewVertical::create(frame));
    });
    core::UserDefaults::standard()->set(VKPDFViewController::DoublePageSingleFirstKey, core::Value(false));
    auto viewer = openPDF("layout.pdf");
    EXPECT_EQ(viewer->documentLayout(), 3);
    EXPECT_EQ(singleFirst, std::vector<bool> { false });
    VKPDFViewController::setLayoutViewFactory(3, {});

    core::UserDefaults::standard()->set(VKPDFViewController::DocumentViewLayoutKey, core::Value(int64_t(2)));
    auto other = writeBars("other.pdf", 2);
    navigation->popViewController(false);
    runLoop();
    viewer = openPDF("other.pdf");
    EXPECT_EQ(viewer->documentLayout(), 2);
    EXPECT_TRUE(dynamic_cast<VKDocumentViewVertical*>(viewer->documentView()));
    EXPECT_EQ(viewer->documentViewLayout(), 1);
}

TEST_F(VKPDFViewControllerTest, TheLayoutSheetChecksTheCurrentLayoutAndStoresTheChoice)
{
    std::string path = writeBars("sheet.pdf", 20);
    auto viewer = openPDF("sheet.pdf");
    viewer->gotoPageNumber(8);
    advance(1);
    auto* before = viewer->documentView();

    viewer->pageLayoutButtonWasPressed();
    auto sheet = std::dynamic_pointer_cast<VKActionSheet>(driver.actionSheet());
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->title(), "Page Layout");
    EXPECT_EQ(sheet->tag(), VKPDFViewController::PageLayoutActionSheetTag);
    ASSERT_EQ(sheet->numberOfButtons(), 4);
    EXPECT_EQ(sheet->buttonTitle(0), "✔ Vertical");
    EXPECT_EQ(sheet->buttonTitle(1), "Single Pages");
    EXPECT_EQ(sheet->buttonTitle(2), "Double Pages");
    EXPECT_EQ(sheet->buttonTitle(3), "Cancel");
    EXPECT_EQ(sheet->cancelButtonIndex(), 3);
    EXPECT_EQ(sheet->tagForButtonAtIndex(2), VKPDFViewController::DoublePagesButtonTag);

    // The layout in use: the code is stored, nothing is rebuilt.
    driver.pressSheetButton(0);
    runLoop();
    EXPECT_EQ(VKFileSettingsManager::defaultManager()->documentLayoutForFile(path), "VKDVLV");
    EXPECT_EQ(viewer->documentView(), before);
    EXPECT_EQ(viewer->currentPageNumber(), 8u);

    // Another layout: the place is stored first and restored after.
    viewer->pageLayoutButtonWasPressed();
    driver.pressSheetButton("Single Pages");
    runLoop();
    EXPECT_EQ(VKFileSettingsManager::defaultManager()->documentLayoutForFile(path), "VKDVLHS");
    EXPECT_EQ(viewer->documentLayout(), 2);
    EXPECT_NE(viewer->documentView(), before);
    EXPECT_EQ(viewer->currentPageNumber(), 8u);
    viewer->pageLayoutButtonWasPressed();
    EXPECT_EQ(std::dynamic_pointer_cast<VKActionSheet>(driver.actionSheet())->buttonTitle(1), "✔ Single Pages");
    driver.pressSheetButton("Cancel");
    runLoop();
    EXPECT_EQ(viewer->documentLayout(), 2);
}

TEST_F(VKPDFViewControllerTest, TheSidewaysLayoutsTakeOverThePlaceAndGiveItBack)
{
    VKRegisterViewers();
    writeBars("sideways.pdf", 20);
    auto viewer = openPDF("sideways.pdf");
    viewer->gotoPageNumber(8);
    advance(1);

    auto choose = [&](const char* title) {
        viewer->pageLayoutButtonWasPressed();
        driver.pressSheetButton(title);
        runLoop();
        advance(1);
    };
    choose("Single Pages");
    auto* single = viewer->documentView();
    EXPECT_TRUE(dynamic_cast<VKDocumentViewHorizontal*>(single));
    EXPECT_FALSE(dynamic_cast<VKDocumentViewHorizontalDouble*>(single));
    EXPECT_EQ(viewer->currentPageNumber(), 8u);

    // The first page stands alone by default, so page 8 opens its spread,
    // fitted whatever the zoom of the single page was (a spread fits at
    // half a single page's zoom).
    single->setContentZoom(2);
    ASSERT_FLOAT_EQ(viewer->contentZoom(), 2);
    choose("Double Pages");
    auto* spread = dynamic_cast<VKDocumentViewHorizontalDouble*>(viewer->documentView());
    ASSERT_TRUE(spread);
    EXPECT_TRUE(spread->singleFirstPage());
    EXPECT_EQ(viewer->currentPageNumber(), 8u);
    auto cell = spread->currentPageCell();
    ASSERT_TRUE(cell);
    EXPECT_FLOAT_EQ(viewer->contentZoom(), cell->scrollView().minimumZoomScale());
    EXPECT_LE(cell->scrollView().contentSize().width, cell->scrollView().bounds().width() + 0.5f);

    choose("Vertical");
    EXPECT_TRUE(dynamic_cast<VKDocumentViewVertical*>(viewer->documentView()));
    EXPECT_EQ(viewer->currentPageNumber(), 8u);
}

TEST_F(VKPDFViewControllerTest, GoingToPagesAndDestinationsLandsOnThePageTopOrTheAnchor)
{
    PdfBuilder builder;
    auto pages = addBarPages(builder, 40);
    builder.setCatalogEntry("FitDest", fmt::format("[{} 0 R /Fit]", pages[6]));
    builder.setCatalogEntry("XYZDest", fmt::format("[{} 0 R /XYZ 0 700 0]", pages[9]));
    builder.setCatalogEntry("BadDest", "[0 /Fit]");
    writeDocument("forty.pdf", builder);
    auto viewer = openPDF("forty.pdf");
    advance(3.0); // bars away: no insets
    viewer->gotoPageNumber(0);
    advance(1);
    EXPECT_EQ(viewer->currentPageNumber(), 1u);
    viewer->gotoPageNumber(99);
    advance(1);
    EXPECT_EQ(viewer->currentPageNumber(), 40u);

    auto document = viewer->document();
    auto destination = [&](const char* key) {
        pdf::Object object;
        document->documentRef()->catalog().object(key, object);
        return VKPDFDestination::destinationWithDocumentRef(document->documentRef(), object);
    };
    auto fit = destination("FitDest");
    viewer->showDestination(*fit);
    advance(1);
    float top = pageTop(*viewer, 6);
    EXPECT_GE(top, 0);
    EXPECT_LE(top, 5);

    // XYZ with top 700 on a 792-high page: that line at the view's top.
    auto xyz = destination("XYZDest");
    viewer->showDestination(*xyz);
    advance(1);
    auto page = viewer->documentView()->viewForPageAtIndex(9);
    float line = page->convertPoint({ 0, page->bounds().height() * (1 - 700.f / 792) }, viewer->view().get()).y;
    EXPECT_GE(line, 0);
    EXPECT_LE(line, 5);

    // A destination outside the document is ignored with one log line.
    LogHook::begin();
    auto bad = destination("BadDest");
    gfx::Point offset = viewer->contentOffset();
    viewer->showDestination(*bad);
    advance(1);
    EXPECT_EQ(viewer->contentOffset(), offset);
    auto lines = LogHook::lines();
    LogHook::end();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                  [](const std::string& line) { return line.find("destination outside the document") != std::string::npos; }),
        1);
}

TEST_F(VKPDFViewControllerTest, LinksAreFollowedOnlyForWebAddressesAndTapPagingNeverFollowsThem)
{
    PdfBuilder builder;
    int page = builder.addPage("0 0 1 rg 0 0 612 792 re f");
    builder.addAnnotation(page, "<< /Type /Annot /Subtype /Link /Rect [0 0 612 792] "
                                "/A << /S /URI /URI (http://example.org/page) >> >>");
    int second = builder.addPage("0 1 0 rg 0 0 612 792 re f");
    builder.addAnnotation(second, "<< /Type /Annot /Subtype /Link /Rect [0 0 612 792] "
                                  "/A << /S /URI /URI (file:///etc/passwd) >> >>");
    writeDocument("links.pdf", builder);
    auto viewer = openPDF("links.pdf");
    advance(3.0);
    size_t opened = driver.openedURLs().size();
    // The middle of the page: the link is followed.
    driver.tap(gfx::Point(160, 240));
    advance(0.5);
    ASSERT_EQ(driver.openedURLs().size(), opened + 1);
    EXPECT_EQ(driver.openedURLs().back().absoluteString(), "http://example.org/page");
    EXPECT_TRUE(viewer->isUIHidden());

    // Near the bottom edge the tap pages instead.
    gfx::Point offset = viewer->contentOffset();
    driver.tap(gfx::Point(160, 470));
    advance(1.0);
    EXPECT_EQ(driver.openedURLs().size(), opened + 1);
    EXPECT_GT(viewer->contentOffset().y, offset.y);

    // Links that are not followed say why.
    EXPECT_FALSE(viewer->openLinkURL(*core::URL::parse("file:///etc/passwd")));
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->title(), "Link Not Followed");
    EXPECT_NE(driver.alert()->message().find("the file \"passwd\" outside this document"), std::string::npos);
    driver.pressAlertButton("OK");
    EXPECT_FALSE(viewer->openLinkURL(*core::URL::parse("javascript:alert(1)")));
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->message(), "Links of the kind \"javascript:\" are not followed.");
    driver.pressAlertButton("OK");
    EXPECT_EQ(driver.openedURLs().size(), opened + 1);
}

TEST_F(VKPDFViewControllerTest, MemoryWarningsReopenOnlyWhenFreeMemoryIsShort)
{
    writeBars("memory.pdf", 30);
    auto viewer = openPDF("memory.pdf");
    viewer->gotoPageNumber(12);
    advance(1);
    auto* layout = viewer->documentView();
    auto first = viewer->document();
    auto firstScanner = viewer->outlineScanner();

    for (std::optional<uint64_t> free : { std::optional<uint64_t>(10485760), std::optional<uint64_t>(UINT64_MAX) }) {
        vkSetSystemFreeMemoryForTesting(free);
        driver.memoryWarning();
        runLoop();
        EXPECT_FALSE(viewer->isLoadingDocument());
        EXPECT_EQ(viewer->document(), first);
    }

    // Held, so that the reopen cannot end inside the warning's own pass.
    LoadGate gate;
    vkSetSystemFreeMemoryForTesting(10485759);
    driver.memoryWarning();
    EXPECT_TRUE(viewer->isLoadingDocument());
    gate.open = true;
    waitForLoad(*viewer);
    ASSERT_NE(viewer->document(), first);
    EXPECT_NE(viewer->outlineScanner(), firstScanner);
    EXPECT_EQ(viewer->documentView(), layout);
    EXPECT_EQ(viewer->currentPageNumber(), 12u);
    for (auto& view : layout->cachedPageViews())
        EXPECT_EQ(static_cast<VKPDFPageView&>(*view).page()->document(), viewer->document());

    // A reload that fails keeps the document and says nothing.
    auto second = viewer->document();
    core::fs::removeItem(viewer->resource()->path());
    driver.memoryWarning();
    waitForLoad(*viewer);
    EXPECT_EQ(viewer->document(), second);
    EXPECT_TRUE(driver.shownChoices().empty());
    EXPECT_FALSE(popup());
}

TEST_F(VKPDFViewControllerTest, PoppingDuringAHeldLoadDropsTheHandBack)
{
    writeBars("held.pdf", 3);
    std::weak_ptr<VKPDFViewController> weak;
    {
        LoadGate gate;
        auto viewer = openPDF("held.pdf", false);
        weak = viewer;
        navigation->popViewController(false);
        runLoop();
        viewer.reset();
        gate.open = true;
        ASSERT_TRUE(waitForLoadThreads());
        runLoop();
    }
    EXPECT_TRUE(weak.expired());
}

TEST_F(VKPDFViewControllerTest, ALayoutThatOutlivesItsViewerAsksNothingOfIt)
{
    writeBars("kept.pdf", 3);
    auto viewer = openPDF("kept.pdf");
    auto layout = viewer->documentView()->sharedAs<VKDocumentView>();
    EXPECT_EQ(layout->numPages(), 3u);
    navigation->popViewController(false);
    runLoop();
    viewer.reset();
    runLoop();
    layout->reloadData();
    EXPECT_EQ(layout->numPages(), 0u);
}

TEST_F(VKPDFViewControllerTest, PagingSettingsReachTheLayoutAndEndsShowTheirSigns)
{
    writeBars("paging.pdf", 2);
    auto viewer = openPDF("paging.pdf");
    EXPECT_TRUE(viewer->documentView()->pagingEnabled());
    core::UserDefaults::standard()->set("VKPagingGestureEnabled", core::Value(false));
    EXPECT_FALSE(viewer->documentView()->pagingEnabled());
    core::UserDefaults::standard()->set("VKPagingGestureEnabled", core::Value(true));
    EXPECT_TRUE(viewer->documentView()->pagingEnabled());

    viewer->documentViewDidIgnorePaging(*viewer->documentView(), -1);
    ASSERT_TRUE(viewer->searchIndicationView());
    EXPECT_EQ(viewer->searchIndicationView()->image(), ui::Images::imageNamed("VKReachedEnd.png"));
    viewer->documentViewDidIgnorePaging(*viewer->documentView(), 1);
    EXPECT_EQ(viewer->searchIndicationView()->image(), ui::Images::imageNamed("VKReachedBeginning.png"));
}

TEST_F(VKPDFViewControllerTest, ADocumentWithoutPagesOpensWithNothingPlaced)
{
    PdfBuilder builder;
    writeDocument("empty.pdf", builder);
    auto viewer = openPDF("empty.pdf");
    ASSERT_TRUE(viewer->document());
    EXPECT_EQ(viewer->pageCount(), 0u);
    EXPECT_TRUE(viewer->documentView()->cachedPageViews().empty());
    viewer->gotoPageNumber(3);
    advance(1);
    EXPECT_EQ(viewer->contentOffset(), gfx::Point());
}

// The paging help's bands mark the edges between the bars, never under
// them, and reach the view's edges once the bars go.
TEST_F(VKPDFViewControllerTest, ThePagingHelpKeepsBetweenTheBars)
{
    writeBars("help.pdf", 3);
    auto viewer = openPDF("help.pdf");
    ASSERT_FALSE(viewer->isUIHidden());
    viewer->setPagingGestureInfoVisible(true);
    auto* help = viewer->pagingGestureInfoView();
    ASSERT_TRUE(help);
    auto* view = viewer->view().get();
    auto& top = navigation->navigationBar();
    auto& bottom = navigation->toolbar();
    EXPECT_GE(help->frame().minY(), top.convertRect(top.bounds(), view).maxY());
    EXPECT_LE(help->frame().maxY(), bottom.convertRect(bottom.bounds(), view).minY());
    viewer->setUIHidden(true, false);
    EXPECT_EQ(help->frame(), view->bounds().insetBy(5, 5));
}

TEST_F(VKPDFViewControllerTest, ADoubleTapFitsTheTextColumnAndASecondZoomsOut)
{
    PdfBuilder builder;
    int font = builder.addStandardFont("Helvetica");
    std::string content = "BT 3 Tr /F1 12 Tf 150 720 Td ";
    for (int line = 0; line < 40; ++line)
        content += "(The quick brown fox jumps over the lazy dog, twice.) Tj 0 -16 Td ";
    content += "ET";
    builder.addPage(content, "/MediaBox [0 0 612 792] /Resources << /Font << /F1 " + std::to_string(font) + " 0 R >> >>");
    writeDocument("column.pdf", builder);
    auto viewer = openPDF("column.pdf");
    viewer->setPagingGestureInfoVisible(true);
    advance(3.0);
    float zoom = viewer->contentZoom();

    driver.doubleTap(*viewer->view());
    advance(1);
    EXPECT_FALSE(viewer->pagingGestureInfoVisible());
    EXPECT_TRUE(viewer->isUIHidden());
    EXPECT_GT(viewer->contentZoom(), zoom * 1.2f);
    // The column now spans the view, within a point on each side.
    auto* page = dynamic_cast<VKPDFPageView*>(viewer->documentView()->viewForPageAtIndex(0).get());
    ASSERT_TRUE(page);
    gfx::Rect b = viewer->view()->bounds();
    gfx::Point middle = page->convertPointFrom({ b.midX(), b.midY() }, viewer->view().get());
    gfx::Rect column = page->convertRect(page->textRectForPoint(middle), viewer->view().get());
    EXPECT_NEAR(column.width() * 1.04f, viewer->view()->bounds().width(), 2);

    driver.doubleTap(*viewer->view());
    advance(1);
    EXPECT_NEAR(viewer->contentZoom(), zoom, 0.01);
}

TEST_F(VKPDFViewControllerTest, ALandscapeScreenZoomsOutToAWholePageCentredAndKeepsStoredPlaces)
{
    useDeviceScreen(window(), { "desktop", { 1600, 1000 }, 1, false });
    runLoop();
    writeBars("wide.pdf", 12);
    auto viewer = openPDF("wide.pdf");
    advance(3.0);
    ASSERT_TRUE(viewer->isUIHidden());
    gfx::Rect shown = viewer->view()->bounds();
    ASSERT_EQ(shown.width(), 1600);
    // Opened fitting the width, as before.
    EXPECT_FLOAT_EQ(viewer->contentZoom(), 5);
    viewer->gotoPageNumber(4);
    advance(1);
    gfx::Point place = viewer->normalisedOffset();

    // Pinched out as far as it goes: page 4 stands whole in the middle.
    driver.pinch(*viewer->view(), 0.2f);
    advance(1);
    EXPECT_LT(viewer->contentZoom(), 2.5f);
    auto page = viewer->documentView()->viewForPageAtIndex(3);
    ASSERT_TRUE(page);
    viewer->gotoPageNumber(4);
    advance(1);
    gfx::Rect frame = page->convertRect(page->bounds(), viewer->view().get());
    EXPECT_GE(frame.minY(), 0);
    EXPECT_LE(frame.maxY(), shown.height());
    EXPECT_NEAR(frame.midX(), shown.midX(), 1);
    EXPECT_EQ(viewer->currentPageNumber(), 4u);

    // A place stored at the width's fit comes back at the same zoom and
    // page as it did before the least zoom went lower.
    navigation->popViewController(false);
    runLoop();
    auto settings = VKFileSettingsManager::defaultManager();
    std::string path = pathInHome("Files/wide.pdf");
    ASSERT_TRUE(settings->setContentZoom(5, path));
    ASSERT_TRUE(settings->setContentOffset(place.y, path));
    viewer = openPDF("wide.pdf");
    advance(3.0);
    EXPECT_FLOAT_EQ(viewer->contentZoom(), 5);
    EXPECT_NEAR(viewer->normalisedOffset().y, place.y, 1e-4);
    EXPECT_EQ(viewer->currentPageNumber(), 4u);
}

} // namespace

TEST_F(VKPDFViewControllerTest, KeysTurnTheSidewaysLayoutsPagesAtOnceWithTheBarsShown)
{
    VKRegisterViewers();
    writeBars("keys.pdf", 20);
    ASSERT_TRUE(VKFileSettingsManager::defaultManager()->setDocumentLayout("VKDVLHD", pathInHome("Files/keys.pdf")));
    auto viewer = openPDF("keys.pdf");
    viewer->gotoPageNumber(1);
    viewer->setUIHidden(false, false);
    advance(1);
    auto page = [&](ui::KeyCommand command) {
        EXPECT_TRUE(driver.key(command));
        advance(1);
        return viewer->currentPageNumber();
    };
    // The first page stands alone, then 2-3, 4-5.
    EXPECT_EQ(page(ui::KeyCommand::Right), 2u);
    EXPECT_EQ(page(ui::KeyCommand::PageDown), 4u);
    EXPECT_EQ(page(ui::KeyCommand::Left), 2u);
    EXPECT_EQ(page(ui::KeyCommand::End), 20u);

    viewer->pageLayoutButtonWasPressed();
    driver.pressSheetButton("Single Pages");
    runLoop();
    advance(1);
    EXPECT_EQ(page(ui::KeyCommand::PageUp), 19u);
    EXPECT_EQ(page(ui::KeyCommand::Home), 1u);
}

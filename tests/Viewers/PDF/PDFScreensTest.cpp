// The PDF viewer's screens with real text at phone and tablet size, both
// ways up, for a person to look at (build/screens/pdf/), and goldens of
// the scrubbing overlay, the PDF settings and the viewer over a vector-only
// document.

#include "PDFViewerTestCase.h"

#include "App/Settings/VKPDFSettingsController.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/LongPressGestureRecognizer.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/NotificationRecorder.h"
#include "Support/UIScreens.h"
#include "Viewers/PDF/VKDocumentView.h"
#include "Viewers/PDF/VKOverlayView.h"
#include "Viewers/PDF/VKPDFPageThumbnailManager.h"
#include "Viewers/PDF/VKScrollTrackView.h"

#include <atomic>
#include <fmt/format.h>
#include <thread>

using namespace test;

namespace {

class PDFScreensTest : public PDFViewerTestCase {
protected:
    void SetUp() override
    {
        PDFViewerTestCase::SetUp();
        showFileList(true);
    }
    void use(const DeviceScreen& device)
    {
        m_device = device;
        useDeviceScreen(window(), device);
        runLoop();
    }
    void shoot(const std::string& name)
    {
        runLoop();
        std::string side = application().statusBarOrientation() == ui::Orientation::Portrait ? "portrait" : "landscape";
        saveScreen(driver, sourcePath("build/screens/pdf"), fmt::format("{}-{}-{}", name, m_device.name, side), m_device.scale);
    }
    void pop()
    {
        while (auto* shown = popup())
            shown->dismissWithClickedButtonIndex(shown->cancelButtonIndex(), false);
        advance(1);
        navigation->popToRootViewController(false);
        runLoop();
    }
    // The report: 40 pages of bars under invisible text, an outline three
    // deep on pages 10 to 12, a locked copy and a text file.
    void writeDocuments()
    {
        PdfBuilder builder;
        int font = builder.addStandardFont("Helvetica");
        std::vector<int> pages;
        for (int page = 0; page < 40; ++page) {
            std::string content = "0.2 0.2 0.2 rg 60 700 300 18 re f ";
            for (int line = 0; line < 30; ++line) {
                content += "0.55 0.55 0.6 rg 60 " + std::to_string(660 - line * 18) + " 230 9 re f ";
                content += "0.55 0.55 0.6 rg 320 " + std::to_string(660 - line * 18) + " 230 9 re f ";
            }
            content += "BT 3 Tr /F1 9 Tf 60 660 Td ";
            for (int line = 0; line < 30; ++line)
                content += "(The quick brown fox jumps over the lazy dog and on.) Tj 0 -18 Td ";
            content += "ET 0.1 0.3 0.8 rg 60 60 80 80 re f";
            pages.push_back(builder.addPage(content,
                "/MediaBox [0 0 612 792] /Resources << /Font << /F1 " + std::to_string(font) + " 0 R >> >>"));
        }
        auto to = [&](int page) { return fmt::format("[{} 0 R /Fit]", pages[page - 1]); };
        builder.setOutline({
            { "Part I", to(1), "", { { "Chapter 1", to(2), "", {} } } },
            { "Part II", to(10), "", { { "Chapter 4", to(11), "", { { "Section 4.2", to(12), "", {} } } } } },
        });
        writeDocument("report.pdf", builder);
        PdfBuilder locked;
        addBarPages(locked, 3);
        writeDocument("locked.pdf", locked, PdfBuilder::Encryption { PdfBuilder::Encryption::AES_256, "secret", "owner" });
        makeFile("Files/notes.pdf", "Just words.\n");
    }
    // Presses on the track at `fraction` of its length and keeps the finger
    // down; answers the finger.
    int scrubTo(VKPDFViewController& viewer, float fraction)
    {
        auto* track = viewer.documentView()->scrollTrackView();
        gfx::Rect frame = track->convertRect(track->bounds(), nullptr);
        int finger = driver.touchDown({ gfx::Point(frame.midX(), frame.minY() + frame.height() * 0.1f) })[0];
        driver.wait(0.3);
        driver.touchMove({ { finger, gfx::Point(frame.midX(), frame.minY() + frame.height() * fraction) } });
        driver.wait(0.1);
        return finger;
    }
    void shootAll(const DeviceScreen& device);

    DeviceScreen m_device = phoneScreen;
};

void PDFScreensTest::shootAll(const DeviceScreen& device)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    use(device);
    writeDocuments();
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        // Loading: the spinner past half a second.
        std::atomic<bool> open { false };
        VKPDFViewController::setLoadHookForTesting([&] {
            while (!open.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        auto viewer = openPDF("report.pdf", false);
        advance(0.6);
        shoot("loading");
        open = true;
        waitForLoad(*viewer);
        VKPDFViewController::setLoadHookForTesting({});
        advance(0.5);
        shoot("bars");
        advance(3);
        shoot("bars-hidden");
        // The viewer lies under the status bar too, so hiding the bars
        // uncovers pages, not the window.
        ASSERT_TRUE(application().isStatusBarHidden());
        gfx::Rect onWindow = viewer->view()->convertRect(viewer->view()->bounds(), nullptr);
        gfx::Rect whole = window().bounds();
        EXPECT_NEAR(onWindow.minX(), whole.minX(), 0.01);
        EXPECT_NEAR(onWindow.minY(), whole.minY(), 0.01);
        EXPECT_NEAR(onWindow.maxX(), whole.maxX(), 0.01);
        EXPECT_NEAR(onWindow.maxY(), whole.maxY(), 0.01);

        // Scrubbing: the thumbnail comes, with three titles.
        // The track takes a press while the bars show.
        viewer->setUIHidden(false, false);
        advance(0.5);
        NotificationRecorder notices(VKPDFDocumentThumbnailImageDidUpdate);
        int finger = scrubTo(*viewer, 0.29f);
        ASSERT_TRUE(waitFor([&] { return viewer->documentView()->overlayView()->image() != nullptr; }));
        runLoop();
        shoot("scrubbing");
        driver.touchUp({ finger });
        advance(1);

        // "Go" lies over the search button, whole.
        viewer->setUIHidden(false, false);
        viewer->showGotoPageController();
        advance(1);
        shoot("go-to-page");
        viewer->removeGotoSearchBar();
        advance(1);

        // A column zoomed to the width, then back.
        driver.doubleTap(*viewer->view());
        advance(1);
        shoot("zoomed-column");
        driver.doubleTap(*viewer->view());
        advance(1);

        viewer->pageLayoutButtonWasPressed();
        advance(1);
        shoot("layout-sheet");
        if (device.tablet)
            driver.tapOutsideSheet();
        else
            driver.pressSheetButton("Cancel");
        advance(1);
        pop();

        auto locked = openPDF("locked.pdf");
        advance(1);
        shoot("password");
        ASSERT_TRUE(popup());
        popup()->textField()->setText("wrong");
        popup()->dismissWithClickedButtonIndex(1, false);
        waitForLoad(*locked);
        advance(1);
        shoot("password-incorrect");
        pop();

        openPDF("notes.pdf");
        advance(1);
        shoot("unknown-format");
        driver.pressAlertButton("OK");
        advance(1);
        pop();

        // The settings page as the settings sheet shows it.
        auto settings = VKPDFSettingsController::pdfSettingsController();
        auto sheet = VKNavigationController::create(settings);
        navigation->presentModalViewController(sheet, false);
        advance(1);
        shoot("settings");
        driver.tapRow(settings->tableView(), ui::IndexPath { 0, 0 });
        advance(1);
        shoot("settings-layout");
        sheet->popViewController(false);
        advance(1);
        driver.tapRow(settings->tableView(), ui::IndexPath { 0, 1 });
        advance(1);
        shoot("settings-double-page");
        navigation->dismissModalViewController(false);
        advance(1);
    }
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

TEST_F(PDFScreensTest, Phone)
{
    shootAll(phoneScreen);
}

TEST_F(PDFScreensTest, Tablet)
{
    shootAll(tabletScreen);
}

// The overlay with the label alone, where the bars leave too little room.
TEST_F(PDFScreensTest, LabelOnlyOverlay)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    use(phoneScreen);
    auto overlay = VKOverlayView::create(gfx::Rect(0, 0, 320, 480));
    overlay->setToolbarInsets({ 64, 0, 200, 0 });
    overlay->setMaxDepth(3);
    overlay->setUpperText("Page 12 of 40");
    overlay->setLowerText("Part II\nChapter 4\nSection 4.2");
    window().addSubview(overlay);
    shoot("overlay-label-only");
    overlay->removeFromSuperview();
}

// In the deterministic text engine, against goldens.
TEST_F(PDFScreensTest, Goldens)
{
    auto expectGolden = [&](const std::string& name) {
        runLoop();
        auto picture = ui::Renderer::renderScreenImage();
        ASSERT_TRUE(picture);
        EXPECT_TRUE(matchesGolden(*picture, sourcePath(""), name));
    };
    use(phoneScreen);
    writeBars("bars.pdf", 6);
    auto viewer = openPDF("bars.pdf");
    advance(0.5);
    expectGolden("pdf-viewer-bars-phone-portrait");
    pop();

    auto overlay = VKOverlayView::create(gfx::Rect(0, 0, 320, 480));
    overlay->setToolbarInsets({ 64, 0, 44, 0 });
    overlay->setMaxDepth(3);
    overlay->setUpperText("Page 12 of 40");
    overlay->setLowerText("Part II\nChapter 4\nSection 4.2");
    overlay->setImagePlaceholderSize({ 612, 792 });
    window().addSubview(overlay);
    expectGolden("pdf-overlay-phone-portrait");
    overlay->removeFromSuperview();

    auto settings = VKPDFSettingsController::pdfSettingsController();
    navigation->presentModalViewController(VKNavigationController::create(settings), false);
    advance(1);
    expectGolden("pdf-settings-phone-portrait");
    navigation->dismissModalViewController(false);
    advance(1);
}

} // namespace

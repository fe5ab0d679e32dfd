// The frame's screens as a reader sees them: a 30-page report with its
// bars, scrubbing with the bubble, the go-to-page bar and its keyboard, the
// document and link sheets, the help in both layouts and the end sign;
// rendered with real text at phone and tablet size, both orientations,
// into build/screens/document/. The bars and the help (phone portrait) and
// the landscape title (phone) are compared with goldens drawn with the
// deterministic text engine.

#include "DocumentTestCase.h"

#include "Viewers/Document/VKDocumentTitleView.h"
#include "Viewers/Document/VKPageIndexView.h"
#include "Viewers/Document/VKPageNumberOverlay.h"

#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "Platform/UI/ActionSheet.h"

#include <fmt/format.h>

namespace {

class DocumentScreensTest : public test::DocumentTestCase {
protected:
    void TearDown() override
    {
        core::UserDefaults::standard()->remove(VKDocumentViewController::PagingGestureInfoShownKey);
        DocumentTestCase::TearDown();
    }
    // The stack shown on the device, with the help seen or not; the report
    // opened in it is turned to `orientation` (the list alone stays upright).
    void showDevice(const test::DeviceScreen& device, ui::Orientation orientation, bool helpSeen = true)
    {
        test::useDeviceScreen(window(), device);
        core::UserDefaults::standard()->set(VKDocumentViewController::PagingGestureInfoShownKey, core::Value(helpSeen));
        showFileList();
        driver.rotate(ui::Orientation::Portrait); // the device upright again, with the list
        advance(1);
        turnTo = orientation;
    }
    // Thirty screenfuls of the device's main screen.
    std::shared_ptr<test::BandViewer> openReport(int layout = 1)
    {
        gfx::Rect screen = gfx::Screen::main().bounds();
        auto viewer = open({ screen.width(), screen.height() * 29.5f }, "Annual Report.pdf", layout);
        if (turnTo != ui::Orientation::Portrait) {
            EXPECT_TRUE(driver.rotate(turnTo));
            advance(1);
        }
        return viewer;
    }
    void barsOnPage(test::BandViewer& viewer, unsigned page)
    {
        viewer.gotoPageNumber(page);
        viewer.setUIHidden(false, false);
        advance(1);
    }
    void shoot(const std::string& name)
    {
        test::saveScreen(driver, sourcePath("build/screens/document"), name, gfx::Screen::main().scale());
    }
    void closeSheet()
    {
        if (driver.actionSheet()->isAnchored())
            driver.tapOutsideSheet();
        else
            driver.pressSheetButton("Cancel");
        advance(1);
    }
    void popViewer()
    {
        navigation->popViewController(false);
        runLoop();
    }

    ui::Orientation turnTo = ui::Orientation::Portrait;

    void shootAll(const test::DeviceScreen& device)
    {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeRight }) {
            std::string suffix = fmt::format("{}-{}",
                orientation == ui::Orientation::Portrait ? "portrait" : "landscape", device.name);
            showDevice(device, orientation);
            auto viewer = openReport();
            ASSERT_EQ(viewer->pageCount(), 30u);
            barsOnPage(*viewer, 5);
            EXPECT_EQ(viewer->titleView()->subtitle().find("5 of 30") != std::string::npos, true);
            shoot("bars-" + suffix);

            // Scrubbing: the finger on the index, the bubble up.
            VKPageIndexView* index = viewer->pageIndexView();
            gfx::Rect frame = index->frame();
            gfx::Point at = index->superview()->convertPoint({ frame.midX(), frame.y() + frame.height() * 0.37f }, nullptr);
            auto finger = driver.touchDown({ at });
            advance(0.2);
            viewer->gotoPageNumber(12);
            runLoop();
            EXPECT_EQ(viewer->pageNumberOverlay()->pageText(), "12 of 30");
            shoot("scrubbing-" + suffix);
            driver.touchUp(finger);
            advance(4);

            barsOnPage(*viewer, 3);
            viewer->showGotoPageController();
            advance(1);
            shoot("go-to-page-" + suffix);
            viewer->removeGotoSearchBar();
            advance(1);

            viewer->setUIHidden(false, false);
            advance(1);
            viewer->showDocumentActionSheet(nullptr);
            advance(1);
            shoot("document-sheet-" + suffix);
            closeSheet();

            viewer->handleOpenEventForURLRequest(
                core::URLRequest(*core::URL::parse("https://example.com/reports/2026/annual-report.pdf")));
            advance(1);
            shoot("link-sheet-" + suffix);
            closeSheet();

            viewer->scrollToEnd();
            viewer->setUIHidden(true, false);
            advance(1);
            viewer->scrollViewByPageInDirection(VKDocumentViewController::Down, false);
            advance(0.1);
            shoot("end-" + suffix);
            advance(1);
            popViewer();

            showDevice(device, orientation, false);
            auto fresh = openReport();
            advance(1);
            shoot("help-vertical-" + suffix);
            popViewer();
            showDevice(device, orientation, false);
            auto sideways = openReport(2);
            advance(1);
            shoot("help-horizontal-" + suffix);
            popViewer();
        }
        window().setRootViewController(nullptr);
        navigation.reset();
    }
};

TEST_F(DocumentScreensTest, GoldenScreens)
{
    ui::RenderOptions options;
    showDevice(test::phoneScreen, ui::Orientation::Portrait);
    auto viewer = openReport();
    barsOnPage(*viewer, 5);
    auto bars = ui::Renderer::renderScreenImage(options);
    ASSERT_TRUE(bars);
    EXPECT_TRUE(test::matchesGolden(*bars, sourcePath(""), "document-bars-phone-portrait"));
    popViewer();

    showDevice(test::phoneScreen, ui::Orientation::Portrait, false);
    viewer = openReport();
    advance(1);
    auto help = ui::Renderer::renderScreenImage(options);
    ASSERT_TRUE(help);
    EXPECT_TRUE(test::matchesGolden(*help, sourcePath(""), "document-help-phone-portrait"));
    popViewer();

    showDevice(test::phoneScreen, ui::Orientation::LandscapeRight);
    viewer = openReport();
    barsOnPage(*viewer, 5);
    auto title = ui::Renderer::renderScreenImage(options);
    ASSERT_TRUE(title);
    EXPECT_TRUE(test::matchesGolden(*title, sourcePath(""), "document-title-phone-landscape"));
    popViewer();
    window().setRootViewController(nullptr);
    navigation.reset();
}

TEST_F(DocumentScreensTest, ScreensWithRealTextAtPhoneSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    shootAll(test::phoneScreen);
}

TEST_F(DocumentScreensTest, ScreensWithRealTextAtTabletSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    shootAll(test::tabletScreen);
}

} // namespace

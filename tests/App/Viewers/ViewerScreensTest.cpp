// The viewer base's screens as a person sees them: the stand-in viewer of
// a PDF loading and loaded, the document and delete sheets, and
// "Preparing attachments..." over the viewer. Rendered with real text at
// phone and tablet size in both orientations into build/screens/viewers/;
// the document sheet (phone) and the preparing alert (tablet) are compared
// with goldens drawn with the deterministic text engine.

#include "ViewerTestCase.h"

#include "App/Mail/VKEmailController.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <condition_variable>
#include <fmt/format.h>
#include <mutex>

namespace {

// The folder the viewer came from, turning with the device.
class ViewerFolder : public ui::TableViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
    int numberOfRows(ui::TableView&, int) override { return 3; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override
    {
        auto cell = table.dequeueReusableCell("Name");
        if (!cell)
            cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, "Name");
        cell->textLabel().setText(std::vector<std::string> { "Annual Report.pdf", "Budget.numbers", "Notes.txt" }.at(size_t(path.row)));
        return cell;
    }
};

// Holds the mail's worker before it zips, so that the alert stays up.
class HeldWorker {
public:
    HeldWorker()
    {
        VKEmailController::setWorkerGateForTesting([this] {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_open; });
        });
    }
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

class ViewerScreensTest : public test::ViewerTestCase {
protected:
    void SetUp() override
    {
        ViewerTestCase::SetUp();
        // A fixed date, so that the facts read the same in every run.
        std::string report = makeFile("Files/Annual Report.pdf", std::string(184320, '%'));
        core::fs::setModificationTime(report, 1709290800LL * 1000000000LL);
        makeFile("Files/Budget.numbers/index.xml", "<budget/>");
        driver.setPrintingAvailable(true);
        driver.setOpenInApplications({ "Reader" });
    }

    void showFolder(const test::DeviceScreen& device, ui::Orientation orientation)
    {
        test::useDeviceScreen(window(), device);
        window().setRootViewController(nullptr);
        auto folder = std::make_shared<ViewerFolder>();
        folder->setTitle("Files");
        navigation = VKNavigationController::create(folder);
        navigation->setToolbarHidden(false);
        window().setRootViewController(navigation);
        runLoop();
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
    }
    // The stand-in of the report, pushed; its facts are still being read.
    std::shared_ptr<VKViewController> openReport()
    {
        auto viewer = VKViewController::viewControllerWithResource(file("Files/Annual Report.pdf"), host);
        navigation->pushViewController(viewer, false);
        return viewer;
    }
    void shoot(const std::string& name)
    {
        test::saveScreen(driver, sourcePath("build/screens/viewers"), name, gfx::Screen::main().scale());
    }
    // Cancel, or on the tablet (where a sheet at its bar has none) a tap
    // beside the sheet.
    void closeSheet()
    {
        if (driver.actionSheet()->isAnchored())
            driver.tapOutsideSheet();
        else
            driver.pressSheetButton("Cancel");
        advance(1);
    }
    void finishPreparing(HeldWorker& worker)
    {
        driver.pressAlertButton("Cancel");
        worker.open();
        core::RunLoop::main().runUntil([] { return core::Thread::runningThreadNames().empty(); }, 30);
        advance(1);
    }

    void shootAll(const test::DeviceScreen& device)
    {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeRight }) {
            std::string suffix = fmt::format("{}-{}", orientation == ui::Orientation::Portrait ? "portrait" : "landscape",
                device.name);
            showFolder(device, orientation);
            auto viewer = openReport();
            shoot("standin-loading-" + suffix);
            ASSERT_TRUE(waitForContent(*viewer));
            runLoop();
            shoot("standin-loaded-" + suffix);

            driver.tapBarItem(VKViewController::ShowDocumentActionSheetAction);
            advance(1);
            shoot("document-sheet-" + suffix);
            closeSheet();

            driver.tapBarItem(VKViewController::DeleteItemAction);
            advance(1);
            shoot("delete-sheet-" + suffix);
            closeSheet();

            HeldWorker worker;
            viewer->composeEmailWithPath(pathInHome("Files/Budget.numbers"), "Budget.numbers");
            advance(1);
            shoot("preparing-attachments-" + suffix);
            finishPreparing(worker);
            navigation->popViewController(false);
            runLoop();
        }
        window().setRootViewController(nullptr);
        navigation.reset();
    }
};

TEST_F(ViewerScreensTest, GoldenScreens)
{
    showFolder(test::phoneScreen, ui::Orientation::Portrait);
    auto viewer = openReport();
    ASSERT_TRUE(waitForContent(*viewer));
    driver.tapBarItem(VKViewController::ShowDocumentActionSheetAction);
    advance(1);
    ui::RenderOptions options;
    auto sheet = ui::Renderer::renderScreenImage(options);
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(test::matchesGolden(*sheet, sourcePath(""), "viewers-document-sheet-phone-portrait"));
    driver.pressSheetButton("Cancel");
    advance(1);
    navigation->popViewController(false);
    runLoop();

    showFolder(test::tabletScreen, ui::Orientation::Portrait);
    viewer = openReport();
    ASSERT_TRUE(waitForContent(*viewer));
    HeldWorker worker;
    viewer->composeEmailWithPath(pathInHome("Files/Budget.numbers"), "Budget.numbers");
    advance(1);
    auto preparing = ui::Renderer::renderScreenImage(options);
    ASSERT_TRUE(preparing);
    EXPECT_TRUE(test::matchesGolden(*preparing, sourcePath(""), "viewers-preparing-tablet-portrait"));
    finishPreparing(worker);
}

TEST_F(ViewerScreensTest, ScreensWithRealTextAtPhoneSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    shootAll(test::phoneScreen);
}

TEST_F(ViewerScreensTest, ScreensWithRealTextAtTabletSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    shootAll(test::tabletScreen);
}

} // namespace

// Zip and unzip on the folder list as a person sees them: the toolbar while
// compressing and expanding (the label above the bar, Cancel in the
// navigation bar), the password prompt with its dotted field, the unzip
// sheet of a tapped archive and the failure alerts. Rendered with real text
// at phone and tablet size in both orientations into
// build/screens/folder_browser/ (zip-*.png); the compressing toolbar and the
// prompt at phone size are guarded by goldens.

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKFolderOperations.h"
#include "App/FolderBrowser/VKOperationProgressView.h"
#include "Shell/Interface/VKPopupAlert.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TextField.h"
#include "Support/Command.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <cerrno>
#include <fmt/format.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

using BrowserOperation = VKBrowserOperation;

// 14 March 2019, 10:30 UTC: the rows' dates do not follow the clock.
constexpr time_t ZipFixedDate = 1552559400;

class FolderZipScreensTest : public test::FolderListingTestCase {
protected:
    void SetUp() override
    {
        FolderListingTestCase::SetUp();
        makeDocument("src/s1.txt", "secret");
        makeDocument("Trip/Photos/a.jpg", "a");
        makeDocument("Trip/Notes.txt", std::string(3000, 'n'));
        makeDocument("Trip/broken.zip", "not an archive");
        test::runCommand({ "sh", "-c", "cd \"$0\" && exec zip -q -P pw \"$1\" s1.txt", documents("src"),
            documents("Trip/a.zip") });
        for (const char* name : { "Photos", "Notes.txt", "broken.zip", "a.zip" }) {
            struct timespec times[2] = { { ZipFixedDate, 0 }, { ZipFixedDate, 0 } };
            ::utimensat(AT_FDCWD, documents(std::string("Trip/") + name).c_str(), times, 0);
        }
        VKQuotaManager::defaultManager()->updateQuotaForPath(documents());
    }
    void TearDown() override
    {
        BrowserOperation::resetOperationForTesting();
        ui::AlertView::resetForTesting();
        FolderListingTestCase::TearDown();
    }
    void showTrip(const test::DeviceScreen& device, ui::Orientation orientation)
    {
        test::useDeviceScreen(window(), device);
        show(documents("Trip"));
        // Already turned when the last screen was.
        driver.rotate(orientation);
        advance(1);
    }
    // The operation as the zip shows it, held at 40 %.
    void holdOperation(const std::string& label)
    {
        auto run = BrowserOperation::startOperationWithLabel(label, false);
        BrowserOperation::setOperationProgress(0.4f, run);
        runLoop();
        advance(0.5);
    }
    // The label whole inside the progress view, above the bar.
    void expectTidyProgress(const std::string& text)
    {
        auto* progress = controller->barItems().progressView();
        ASSERT_TRUE(progress);
        progress->layoutIfNeeded();
        EXPECT_EQ(progress->text(), text);
        gfx::Rect bounds = progress->bounds();
        gfx::Rect label = progress->label().frame();
        gfx::Rect bar = progress->indicator().frame();
        EXPECT_TRUE(bounds.contains(label));
        EXPECT_TRUE(bounds.contains(bar));
        EXPECT_FALSE(label.intersects(bar));
        float needed = ui::Fonts::sizeOfString(text, ui::Fonts::boldSystemFont(progress->label().minimumFontSize())).width;
        EXPECT_LE(needed, label.width() + 0.5f);
        auto cancel = controller->navigationItem().rightBarButtonItem();
        ASSERT_TRUE(cancel);
        EXPECT_EQ(cancel->title(), "Cancel");
    }
    VKPopupAlert* prompt()
    {
        controller->commands().unzipResource(resource(documents("Trip/a.zip")), std::nullopt);
        runLoop();
        advance(0.5);
        for (const auto& view : window().subviews())
            if (auto* found = dynamic_cast<VKPopupAlert*>(view.get()); found && found->isShown())
                return found;
        return nullptr;
    }
    void shoot(const std::string& name)
    {
        test::saveScreen(driver, sourcePath("build/screens/folder_browser"), name, gfx::Screen::main().scale());
    }
};

TEST_F(FolderZipScreensTest, GoldensOfTheCompressingToolbarAndThePasswordPrompt)
{
    showTrip(test::phoneScreen, ui::Orientation::Portrait);
    holdOperation("Compressing 5 items");
    auto picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "folder-zip-compressing-phone-portrait"));
    BrowserOperation::resetOperationForTesting();
    advance(0.5);

    showTrip(test::phoneScreen, ui::Orientation::Portrait);
    auto* popup = prompt();
    ASSERT_TRUE(popup);
    driver.type("secret");
    advance(3);
    picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "folder-zip-password-phone-portrait"));
}

TEST_F(FolderZipScreensTest, ZipScreensAtPhoneAndTabletSizeInBothOrientations)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            bool upright = orientation == ui::Orientation::Portrait;
            std::string suffix = fmt::format("{}-{}", device->name, upright ? "portrait" : "landscape");
            SCOPED_TRACE(suffix);

            showTrip(*device, orientation);
            holdOperation("Compressing 5 items");
            expectTidyProgress("Compressing 5 items");
            shoot("zip-compressing-" + suffix);
            BrowserOperation::resetOperationForTesting();
            advance(0.5);

            showTrip(*device, orientation);
            holdOperation("Expanding a.zip");
            expectTidyProgress("Expanding a.zip");
            shoot("zip-expanding-" + suffix);
            BrowserOperation::resetOperationForTesting();
            advance(0.5);

            showTrip(*device, orientation);
            auto* popup = prompt();
            ASSERT_TRUE(popup);
            driver.type("secret");
            advance(3);
            EXPECT_EQ(popup->textField()->text(), "secret");
            EXPECT_EQ(popup->textField()->displayedText().find("secret"), std::string::npos);
            shoot("zip-password-" + suffix);
            driver.tap(*popup->buttonAtIndex(popup->cancelButtonIndex()));
            advance(0.5);

            auto all = names(*controller);
            driver.tapRow(controller->tableView(), { 0, int(std::find(all.begin(), all.end(), "a.zip") - all.begin()) });
            advance(0.5);
            ASSERT_TRUE(driver.actionSheet());
            EXPECT_EQ(driver.actionSheet()->title(), "Unzip \"a.zip\"?");
            shoot("zip-sheet-" + suffix);
            if (device->tablet)
                driver.tapOutsideSheet();
            else
                driver.pressSheetButton("Cancel");
            advance(0.5);

            controller->commands().unzipResource(resource(documents("Trip/broken.zip")), std::nullopt);
            advance(0.5);
            ASSERT_TRUE(driver.alert());
            EXPECT_EQ(driver.alert()->message(), "Failed to open zip archive \"broken.zip\"");
            shoot("zip-open-failed-" + suffix);
            driver.pressAlertButton("OK");
            advance(0.5);

            // The two failures a worker reports.
            controller->commands().operations().backgroundArchiveDidComplete(std::nullopt,
                BrowserOperation::startOperationWithLabel("Compressing 3 items", false), core::Error::posix(ENOSPC), 3);
            advance(0.5);
            ASSERT_TRUE(driver.alert());
            EXPECT_EQ(driver.alert()->message(), "Compressing 3 items failed: the disk is full");
            shoot("zip-archive-failed-" + suffix);
            driver.pressAlertButton("OK");
            advance(0.5);
            controller->commands().operations().backgroundUnarchiveDidComplete("a.zip", false, std::string(),
                BrowserOperation::startOperationWithLabel("Expanding a.zip", false));
            advance(0.5);
            ASSERT_TRUE(driver.alert());
            EXPECT_EQ(driver.alert()->message(), "Failed to unarchive \"a.zip\"");
            shoot("zip-unarchive-failed-" + suffix);
            driver.pressAlertButton("OK");
            advance(0.5);
            if (!upright) {
                ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
                advance(1);
            }
        }
    }
}

} // namespace

// Moving and copying as a person sees it, at phone and tablet size in both
// orientations with real text: the move picker with its prompt, Cancel and
// the disabled folders, the overwrite and cloud-move sheets, and a folder
// screen copying with its progress and Cancel. The pictures go to
// build/screens/folder_browser/ ("move-copy-…"); two goldens guard the
// picker on the phone and the copying toolbar on the turned phone.

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKFolderMoveCopy.h"
#include "App/FolderBrowser/VKFolderPickerController.h"
#include "App/FolderBrowser/VKFolderPickerViewController.h"
#include "App/FolderBrowser/VKOperationProgressView.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/Path.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Window.h"
#include "Support/FileModel/RecordingCloudHooks.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <fmt/format.h>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

class FolderMoveCopyScreensTest : public test::FolderListingTestCase {
protected:
    void SetUp() override
    {
        FolderListingTestCase::SetUp();
        makeDocument("Projects/Annual Report 2024.pdf", std::string(1536 * 1024, 'r'));
        makeDocument("Projects/Budget.xlsx", std::string(24 * 1024, 'b'));
        makeDocument("Projects/Drafts/outline.txt", "o");
        makeDocument("Projects/Photos/beach.jpg", "j");
        makeDocument("Archive/Annual Report 2024.pdf", "old");
        makeDocument("Inbox/", "");
        for (const auto& name : { "Projects", "Projects/Annual Report 2024.pdf", "Projects/Budget.xlsx",
                 "Projects/Drafts", "Projects/Photos" }) {
            struct timespec times[2] = { { 1552559400, 0 }, { 1552559400, 0 } };
            ::utimensat(AT_FDCWD, documents(name).c_str(), times, 0);
        }
        VKQuotaManager::defaultManager()->updateQuotaForPath(documents());
        runLoop();
    }
    void TearDown() override
    {
        if (navigation && navigation->modalViewController())
            navigation->dismissModalViewController(false);
        VKBrowserOperation::resetOperationForTesting();
        runLoop();
        FolderListingTestCase::TearDown();
    }
    void showOn(const test::DeviceScreen& device, ui::Orientation orientation)
    {
        if (navigation && navigation->modalViewController())
            navigation->dismissModalViewController(false);
        test::useDeviceScreen(window(), device);
        show(documents("Projects"));
        advance(1);
        driver.rotate(orientation);
        advance(1);
    }
    void markTwo()
    {
        controller->setEditing(true, false);
        advance(1);
        // "Annual Report 2024.pdf" and "Drafts", whichever rows they take.
        auto rows = names(*controller);
        for (const char* name : { "Annual Report 2024.pdf", "Drafts" }) {
            auto found = std::find(rows.begin(), rows.end(), name);
            ASSERT_NE(found, rows.end());
            controller->tableSide().didMarkCell(controller->tableView(), { 0, int(found - rows.begin()) });
        }
        advance(1);
    }
    // The move picker open on the documents, where the marked folder and
    // the listed one show disabled.
    VKFolderPickerController& openMovePicker()
    {
        controller->commands().moveMarkedItems(nullptr);
        advance(1);
        auto* picker = dynamic_cast<VKFolderPickerController*>(navigation->modalViewController());
        EXPECT_TRUE(picker);
        picker->pushViewController(VKFolderPickerViewController::create(resource(documents())), false);
        advance(1);
        picker->pushViewController(VKFolderPickerViewController::create(resource(documents("Projects"))), false);
        advance(1);
        return *picker;
    }
    void showCopying()
    {
        if (navigation->modalViewController())
            navigation->dismissModalViewController(false);
        // A fresh screen, as after the picker: editing has ended.
        show(documents("Projects"));
        advance(1);
        VKBrowserOperation::startOperationWithLabel("Copying 3 Items", false);
        VKBrowserOperation::setOperationProgress(0.4f);
        advance(1);
    }
};

TEST_F(FolderMoveCopyScreensTest, EveryScreenAtPhoneAndTabletSizeInBothOrientations)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    auto cloud = test::RecordingCloudHooks::install();
    std::string box = makeFile("Library/Servers/Box/Shared/keep", "k");
    auto shared = cloud->addResource("Box", core::path::deletingLastPathComponent(box), "/Shared");
    const std::string directory = sourcePath("build/screens/folder_browser");
    for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            const std::string suffix = fmt::format("{}-{}", device->name,
                orientation == ui::Orientation::Portrait ? "portrait" : "landscape");
            SCOPED_TRACE(suffix);
            auto shoot = [&](const std::string& name) {
                test::saveScreen(driver, directory, "move-copy-" + name + "-" + suffix, device->scale);
            };
            showOn(*device, orientation);
            markTwo();
            auto& picker = openMovePicker();
            EXPECT_EQ(picker.navigationItem().prompt().rfind("Move 2 Items, 1.", 0), 0u);
            EXPECT_EQ(picker.title(), "Move 2 Items");
            EXPECT_TRUE(picker.isFolderDisabled(documents("Projects")));
            EXPECT_TRUE(picker.isFolderDisabled(documents("Projects/Drafts/Deeper")));
            shoot("picker");
            picker.pickerDelegate()->didCancelFolderPickerController(picker);
            advance(1);

            controller->commands().moveCopy().copyMarkedItemsToDestination(resource(documents("Archive")));
            advance(1);
            ASSERT_TRUE(driver.actionSheet());
            EXPECT_TRUE(driver.actionSheet()->title().starts_with("Copy to \"Archive\"\n"));
            shoot("overwrite-sheet");
            // Its Cancel shows on the tablet too.
            driver.pressSheetButton("Cancel");
            advance(1);

            controller->commands().moveCopy().moveMarkedItemsToDestination(shared);
            advance(1);
            ASSERT_TRUE(driver.actionSheet());
            shoot("cloud-move-sheet");
            // A tablet's sheet at its bar item has no Cancel button to tap.
            driver.actionSheet()->dismiss(driver.actionSheet()->cancelButtonIndex(), false);
            advance(1);

            showCopying();
            auto* progress = controller->barItems().progressView();
            ASSERT_TRUE(progress);
            EXPECT_EQ(progress->text(), "Copying 3 Items");
            shoot("copying");
            VKBrowserOperation::resetOperationForTesting();
            if (orientation != ui::Orientation::Portrait) {
                ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
            }
            advance(1);
        }
    }
}

TEST_F(FolderMoveCopyScreensTest, GoldensOfThePickerAndTheCopyingToolbar)
{
    showOn(test::phoneScreen, ui::Orientation::Portrait);
    markTwo();
    openMovePicker();
    auto picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "folder-move-picker-phone-portrait"));

    navigation->dismissModalViewController(false);
    advance(1);
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    showCopying();
    picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "folder-copying-toolbar-phone-landscape"));
    VKBrowserOperation::resetOperationForTesting();
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

} // namespace

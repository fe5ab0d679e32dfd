// Editing the folder list as a person sees it: two rows marked with the
// prompt and the editing toolbar, the More menu for one item and for three,
// the delete and extension sheets, the rename and new-folder prompts, and
// the hidden-name and e-mail alerts. Rendered with real text at phone and
// tablet size in both orientations into build/screens/folder_browser/
// (editing-*.png), checked for whole button titles and touch targets, and
// guarded by three goldens.

#include "FolderListingTestCase.h"
#include "App/FolderBrowser/VKFolderNaming.h"

#include "Shell/Interface/VKActionButton.h"
#include "Shell/Interface/VKPopupAlert.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <fmt/format.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 14 March 2019, 10:30 UTC: the rows' dates do not follow the clock.
constexpr time_t EditingFixedDate = 1552559400;

using test::findPopup;

class FolderEditingScreensTest : public test::FolderListingTestCase {
protected:
    void SetUp() override
    {
        FolderListingTestCase::SetUp();
        core::UserDefaults::standard()->set("VKDisplayFileExtensions", core::Value(true));
        core::UserDefaults::standard()->set("VKShowHiddenFiles", core::Value(false));
        makeDocument("Work/Projects/plan.txt");
        makeDocument("Work/Archive/");
        makeDocument("Work/Notes.txt", std::string(1536 * 1024, 'n'));
        makeDocument("Work/Report.pdf", "%PDF-1.4");
        makeDocument("Work/Summary.txt", "summary");
        makeDocument("Work/Movie.mov", std::string(5000, 'm'));
        std::string big = makeDocument("Work/Backup.bin", "");
        ASSERT_EQ(::truncate(big.c_str(), 6 * 1024 * 1024), 0);
        for (const auto& name : core::fs::contentsOfDirectory(documents("Work")).value_or(std::vector<std::string> {})) {
            struct timespec times[2] = { { EditingFixedDate, 0 }, { EditingFixedDate, 0 } };
            ::utimensat(AT_FDCWD, documents("Work/" + name).c_str(), times, 0);
        }
        runLoop();
    }
    void TearDown() override
    {
        ui::AlertView::resetForTesting();
        FolderListingTestCase::TearDown();
    }

    void showWork(const test::DeviceScreen& device, ui::Orientation orientation)
    {
        test::useDeviceScreen(window(), device);
        show(documents("Work"));
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
        }
        advance(1);
        controller->setEditing(true, false);
        advance(0.5);
    }
    void mark(const std::vector<std::string>& wanted)
    {
        controller->unmarkAllItems();
        auto all = names(*controller);
        for (const auto& name : wanted)
            controller->tableSide().didMarkCell(controller->tableView(), { 0, int(std::find(all.begin(), all.end(), name) - all.begin()) });
        controller->activeTableView().reloadData();
        advance(0.5);
    }
    void closeChoices()
    {
        for (const auto& choice : driver.shownChoices())
            choice->dismiss(choice->cancelButtonIndex(), false);
        if (auto* popup = findPopup(window()))
            popup->dismissWithClickedButtonIndex(popup->cancelButtonIndex(), false);
        advance(0.5);
    }
    void shoot(const std::string& name)
    {
        test::saveScreen(driver, sourcePath("build/screens/folder_browser"), name, gfx::Screen::main().scale());
    }
    std::unique_ptr<gfx::BitmapContext> picture() { return ui::Renderer::renderScreenImage(ui::RenderOptions {}); }

    // The buttons of the editing toolbar: whole titles, wide enough to
    // touch, inside the bar.
    void expectTidyToolbar()
    {
        auto& bar = navigation->toolbar();
        bar.layoutIfNeeded();
        for (const auto& item : controller->editingToolbarItems()) {
            auto* button = dynamic_cast<VKActionButton*>(item->customView().get());
            if (!button)
                continue;
            button->layoutIfNeeded();
            SCOPED_TRACE(button->title());
            EXPECT_GE(button->frame().width(), 44);
            EXPECT_EQ(button->frame().height(), bar.frame().height());
            gfx::Rect inBar = button->convertRect(button->bounds(), &bar);
            EXPECT_GE(inBar.minX(), 0);
            EXPECT_LE(inBar.maxX(), bar.bounds().width());
            ui::Label& label = button->titleLabel();
            EXPECT_GE(label.frame().width() + 0.5f, label.sizeThatFits({ 1000, 100 }).width);
        }
    }
    // A sheet's buttons: a whole title each, 44 points high at least.
    void expectTidySheet()
    {
        auto sheet = driver.actionSheet();
        ASSERT_TRUE(sheet);
        for (int i = 0; i < sheet->numberOfButtons(); ++i) {
            auto* button = sheet->button(i);
            if (!button || button->isHidden())
                continue;
            SCOPED_TRACE(sheet->buttonTitle(i));
            button->layoutIfNeeded();
            EXPECT_GE(button->frame().height(), 44);
            ui::Label& label = button->titleLabel();
            EXPECT_GE(label.frame().width() + 0.5f, label.sizeThatFits({ 1000, 100 }).width);
        }
    }
};

TEST_F(FolderEditingScreensTest, GoldensOfEditingTheMenuAndTheRenamePrompt)
{
    showWork(test::phoneScreen, ui::Orientation::Portrait);
    mark({ "Notes.txt", "Summary.txt" });
    EXPECT_EQ(controller->navigationItem().prompt(), "2 Items Selected, 1.5 MB");
    auto shot = picture();
    ASSERT_TRUE(shot);
    EXPECT_TRUE(test::matchesGolden(*shot, sourcePath(""), "folder-editing-prompt-phone-portrait"));

    mark({ "Notes.txt" });
    controller->commands().showEditActionMenu(controller->findBarButtonItemWithAction(VKFolderCommands::ShowEditActionMenuAction));
    advance(0.5);
    shot = picture();
    ASSERT_TRUE(shot);
    EXPECT_TRUE(test::matchesGolden(*shot, sourcePath(""), "folder-editing-menu-one-phone-portrait"));
    closeChoices();

    controller->setEditing(false, false);
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    controller->setEditing(true, false);
    mark({ "Summary.txt" });
    controller->commands().renameMarkedItem(controller);
    advance(0.5);
    auto* popup = findPopup(window());
    ASSERT_TRUE(popup);
    // Sideways the field shares the buttons' row.
    popup->layoutIfNeeded();
    EXPECT_TRUE(popup->isLandscapeGeometry());
    EXPECT_NEAR(popup->textField()->frame().midY(), popup->buttonAtIndex(0)->frame().midY(), 8);
    shot = picture();
    ASSERT_TRUE(shot);
    EXPECT_TRUE(test::matchesGolden(*shot, sourcePath(""), "folder-editing-rename-phone-landscape"));
    closeChoices();
}

TEST_F(FolderEditingScreensTest, EditingScreensAtPhoneAndTabletSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            bool upright = orientation == ui::Orientation::Portrait;
            std::string suffix = fmt::format("{}-{}", device->name, upright ? "portrait" : "landscape");
            SCOPED_TRACE(suffix);
            showWork(*device, orientation);

            mark({ "Notes.txt", "Summary.txt" });
            expectTidyToolbar();
            shoot("editing-marked-" + suffix);

            mark({ "Notes.txt" });
            controller->commands().showEditActionMenu(controller->findBarButtonItemWithAction(VKFolderCommands::ShowEditActionMenuAction));
            advance(0.5);
            expectTidySheet();
            shoot("editing-menu-one-" + suffix);
            closeChoices();

            mark({ "Notes.txt", "Summary.txt", "Movie.mov" });
            controller->commands().showEditActionMenu(controller->findBarButtonItemWithAction(VKFolderCommands::ShowEditActionMenuAction));
            advance(0.5);
            expectTidySheet();
            shoot("editing-menu-three-" + suffix);
            closeChoices();

            controller->commands().deleteMarkedItems(controller);
            advance(0.5);
            expectTidySheet();
            shoot("editing-delete-sheet-" + suffix);
            closeChoices();

            mark({ "Report.pdf" });
            controller->commands().naming().renameResource(resource(documents("Work/Report.pdf")), "Report", true);
            advance(0.5);
            expectTidySheet();
            shoot("editing-extension-sheet-" + suffix);
            closeChoices();

            // Its Cancel left the name as it was, and the marks.
            EXPECT_TRUE(core::fs::exists(documents("Work/Report.pdf")));
            EXPECT_TRUE(controller->isEditing());
            controller->setEditing(false, false);
            controller->setEditing(true, false);
            mark({ "Summary.txt" });
            controller->commands().renameMarkedItem(controller);
            advance(0.5);
            ASSERT_TRUE(findPopup(window()));
            shoot("editing-rename-" + suffix);
            closeChoices();

            controller->commands().createNewFolder(controller);
            advance(0.5);
            ASSERT_TRUE(findPopup(window()));
            shoot("editing-new-folder-" + suffix);
            findPopup(window())->textField()->setText(".cache");
            driver.tap(*findPopup(window())->buttonAtIndex(1));
            advance(0.5);
            ASSERT_TRUE(driver.alert());
            shoot("editing-hidden-name-alert-" + suffix);
            closeChoices();

            controller->setEditing(true, false);
            mark({ "Backup.bin", "Notes.txt" });
            controller->commands().emailMarkedItems(controller);
            advance(0.5);
            ASSERT_TRUE(driver.alert());
            shoot("editing-email-size-alert-" + suffix);
            closeChoices();

            controller->setEditing(false, false);
            if (!upright) {
                ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
                advance(1);
            }
        }
    }
}

} // namespace

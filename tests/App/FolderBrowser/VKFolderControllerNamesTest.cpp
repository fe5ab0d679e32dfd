// New folders and renames as typed into their prompts: conflicts, hidden
// names, the inbox, changed extensions, names that are not names, and what
// a rename tells the rest of the program (the bookmarks database follows,
// read back with sqlite3).

#include "FolderListingTestCase.h"

#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKPopupAlert.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKResourceMoveNotifications.h"
#include "FileModel/VKServerLockHooks.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Window.h"
#include "Support/Command.h"
#include "Support/FileModel/RecordingServerLockHooks.h"

namespace {

using Strings = std::vector<std::string>;

using test::findPopup;

class VKFolderControllerNamesTest : public test::FolderListingTestCase {
protected:
    void SetUp() override
    {
        FolderListingTestCase::SetUp();
        previousLocks = VKServerLockHooks::current();
    }
    void TearDown() override
    {
        VKServerLockHooks::setCurrent(previousLocks);
        ui::AlertView::resetForTesting();
        FolderListingTestCase::TearDown();
    }

    // The prompt shown now (there is one).
    VKPopupAlert& popup()
    {
        runLoop();
        auto* found = findPopup(window());
        if (!found)
            throw std::runtime_error("no prompt is shown");
        return *found;
    }
    bool popupShown()
    {
        runLoop();
        return findPopup(window()) != nullptr;
    }
    // Types the name into the prompt and presses its second button.
    void answer(const std::string& text)
    {
        auto& shown = popup();
        shown.textField()->setText(text);
        driver.tap(*shown.buttonAtIndex(1));
        runLoop();
    }
    std::shared_ptr<ui::ActionSheet> sheet()
    {
        for (const auto& choice : driver.shownChoices())
            if (auto found = std::dynamic_pointer_cast<ui::ActionSheet>(choice))
                return found;
        return nullptr;
    }
    std::shared_ptr<ui::AlertView> alert()
    {
        for (const auto& choice : driver.shownChoices())
            if (auto found = std::dynamic_pointer_cast<ui::AlertView>(choice))
                return found;
        return nullptr;
    }
    void renameRow(const std::string& name)
    {
        controller->setEditing(true, false);
        auto all = names(*controller);
        int row = int(std::find(all.begin(), all.end(), name) - all.begin());
        controller->tableSide().didMarkCell(controller->tableView(), { 0, row });
        controller->commands().renameMarkedItem(controller);
    }
    Strings onDisk(const std::string& folder)
    {
        auto found = core::fs::contentsOfDirectory(documents(folder));
        Strings sorted = found ? *found : Strings {};
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

    std::shared_ptr<VKServerLockHooks> previousLocks;
};

TEST_F(VKFolderControllerNamesTest, NewFolderPromptConflictsAndHiddenNames)
{
    makeDocument("N/Photos/");
    makeDocument("N/zeta.txt");
    show(documents("N"));
    core::UserDefaults::standard()->set("VKShowHiddenFiles", core::Value(false));
    controller->setEditing(true, false);
    driver.tapBarItem(*controller->navigationItem().leftBarButtonItem());
    auto& first = popup();
    EXPECT_EQ(first.tag(), vkTag(VKFolderCommands::Prompt::NewFolder));
    EXPECT_EQ(first.title(), "Please enter a folder name:");
    EXPECT_EQ(first.buttonAtIndex(0)->currentTitle(), "Cancel");
    EXPECT_EQ(first.buttonAtIndex(1)->currentTitle(), "Create");
    EXPECT_EQ(first.cancelButtonIndex(), 0);
    EXPECT_EQ(first.textField()->placeholder(), "Name");
    EXPECT_EQ(first.textField()->text(), "");
    EXPECT_EQ(first.textField()->autocapitalizationType(), ui::TextInput::AutocapitalizationType::Sentences);
    EXPECT_EQ(first.textField()->autocorrectionType(), ui::TextInput::AutocorrectionType::No);
    EXPECT_EQ(first.popupMode(), VKPopupAlert::Below);

    // A name taken but for case asks again, keeping it; an empty one too.
    answer("photos");
    EXPECT_EQ(popup().title(), "\"photos\" is already taken:");
    EXPECT_EQ(popup().textField()->text(), "photos");
    answer("");
    EXPECT_EQ(popup().title(), "A name is needed");
    EXPECT_EQ(popup().textField()->text(), "");

    // A hidden name warns; Cancel asks again, Create makes it.
    answer(".cache");
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->tag(), vkTag(VKFolderCommands::Alert::HiddenName));
    EXPECT_EQ(alert()->title(), "Warning");
    EXPECT_EQ(alert()->message(),
        "Names begining with a \".\" will only be visible if the setting \"Show Hidden Files\" is enabled.");
    driver.pressAlertButton("Cancel");
    EXPECT_EQ(popup().textField()->text(), "");
    answer(".cache");
    driver.pressAlertButton("Create");
    runLoop();
    EXPECT_TRUE(core::fs::exists(documents("N/.cache")));
    EXPECT_EQ(names(*controller), (Strings { "Photos", "zeta.txt" }));
    EXPECT_FALSE(popupShown());

    // A plain name: its sorted row, editing over, the quota told.
    controller->setEditing(true, false);
    controller->commands().createNewFolder(controller);
    answer("Minutes");
    EXPECT_EQ(names(*controller), (Strings { "Minutes", "Photos", "zeta.txt" }));
    EXPECT_FALSE(controller->isEditing());
    EXPECT_TRUE(controller->folderInfo().starts_with("3 Items, ")) << controller->folderInfo();
}

TEST_F(VKFolderControllerNamesTest, NamesThatAreNotNamesAreRefused)
{
    makeDocument("V/a.txt");
    show(documents("V"));
    controller->setEditing(true, false);
    const Strings before = onDisk("V");
    const std::string longName(256, 'n');
    for (const std::string& bad : { std::string("a/b"), std::string("../escape"), std::string("."), std::string(".."),
             std::string("nul\0x", 5), longName }) {
        controller->commands().createNewFolder(controller);
        answer(bad);
        EXPECT_FALSE(alert()) << bad;
        EXPECT_EQ(popup().title(), "\"" + bad + "\" is not a valid name:") << bad;
        EXPECT_EQ(popup().textField()->text(), bad);
        driver.tap(*popup().buttonAtIndex(0));
    }
    EXPECT_EQ(onDisk("V"), before);
    EXPECT_FALSE(core::fs::exists(documents("escape")));
    // 255 bytes is still a name.
    controller->commands().createNewFolder(controller);
    answer(std::string(255, 'n'));
    EXPECT_TRUE(core::fs::exists(documents("V/" + std::string(255, 'n'))));

    show(documents("V"));
    renameRow("a.txt");
    answer("../a.txt");
    EXPECT_EQ(popup().title(), "\"../a.txt\" is not a valid name:");
    EXPECT_EQ(popup().textField()->text(), "../a.txt");
    driver.tap(*popup().buttonAtIndex(0));
    // An emptied field asks for a name, offering the old one again.
    renameRow("a.txt");
    answer("");
    EXPECT_EQ(popup().title(), "A name is needed");
    EXPECT_EQ(popup().textField()->text(), "a.txt");
    driver.tap(*popup().buttonAtIndex(0));
    EXPECT_TRUE(core::fs::exists(documents("V/a.txt")));
    EXPECT_FALSE(core::fs::exists(documents("a.txt")));
}

TEST_F(VKFolderControllerNamesTest, InboxOnlyInThePublicRootAndFailuresAddNoRow)
{
    auto application = VKApplication::sharedApplication();
    show(publicFolder());
    controller->commands().createNewFolder(controller);
    answer("Inbox");
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->title(), "Warning");
    EXPECT_EQ(alert()->message(), "The iPhone OS does not allow creation of \"Inbox\" in the root directory.");
    EXPECT_FALSE(core::fs::exists(application->inboxDirectory()));
    driver.pressAlertButton("OK");

    makeDocument("Box/");
    show(documents("Box"));
    controller->commands().createNewFolder(controller);
    answer("Inbox");
    EXPECT_TRUE(core::fs::exists(documents("Box/Inbox")));
    EXPECT_EQ(names(*controller), (Strings { "Inbox" }));

    // The folder went away under the screen: the creation fails.
    ASSERT_TRUE(core::fs::removeItem(documents("Box")));
    controller->commands().createNewFolder(controller);
    answer("Later");
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->message(), "There was an error creating the folder \"Later\"");
    // No row for it, nor the gone folder's rows.
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return names(*controller).empty(); }, 5))
        << names(*controller).size() << " rows";
}

TEST_F(VKFolderControllerNamesTest, RenamePromptCaseChangesAndConflicts)
{
    makeDocument("R/Report.txt", "report");
    makeDocument("R/other.txt");
    show(documents("R"));
    Strings posted;
    auto& center = core::NotificationCenter::defaultCenter();
    auto moved = center.observe(VKFolderControllerDidMoveResourceNotification, nullptr, [&](const VKResourceMove& move) {
        posted.push_back("moved " + core::path::lastPathComponent(move.oldPath) + " "
            + core::path::lastPathComponent(move.newPath));
    });
    auto updated = center.observe(VKFolderControllerCollectionDidUpdateNotification, nullptr,
        [&](const VKFolderUpdate& update) { posted.push_back("updated " + update.path); });
    std::string bookmarked = documents("R/Report.txt");
    auto settings = VKFileSettingsManager::defaultManager();
    ASSERT_TRUE(settings->insertBookmark(
        core::Value::makeDictionary({ { VKBookmarkNameKey, "Intro" }, { VKBookmarkOffsetKey, 0.5 } }), bookmarked));

    renameRow("Report.txt");
    auto& shown = popup();
    EXPECT_EQ(shown.tag(), vkTag(VKFolderCommands::Prompt::Rename));
    EXPECT_EQ(shown.title(), "Rename \"Report.txt\":");
    EXPECT_EQ(shown.textField()->text(), "Report.txt");
    EXPECT_EQ(shown.textField()->autocapitalizationType(), ui::TextInput::AutocapitalizationType::None);
    EXPECT_EQ(shown.popupMode(), VKPopupAlert::Over);
    EXPECT_EQ(shown.buttonAtIndex(1)->currentTitle(), "Rename");

    // The same name changes nothing and ends editing.
    answer("Report.txt");
    EXPECT_FALSE(controller->isEditing());
    EXPECT_TRUE(posted.empty());

    // A name taken by another item asks again.
    renameRow("Report.txt");
    answer("OTHER.txt");
    EXPECT_EQ(popup().title(), "\"OTHER.txt\" is already taken:");
    driver.tap(*popup().buttonAtIndex(0));

    // A change of case is a rename.
    controller->setEditing(false, false);
    renameRow("Report.txt");
    answer("report.txt");
    EXPECT_EQ(onDisk("R"), (Strings { "other.txt", "report.txt" }));
    EXPECT_EQ(names(*controller), (Strings { "other.txt", "report.txt" }));
    EXPECT_FALSE(controller->isEditing());
    EXPECT_EQ(posted, (Strings { "moved Report.txt report.txt", "updated " + documents("R") }));

    // The bookmark follows, as the database itself says.
    auto identifier = VKFileSettingsManager::identifierForPath(documents("R/report.txt"));
    ASSERT_TRUE(identifier);
    auto rows = test::runCommand({ "sqlite3", VKFileSettingsManager::databasePath(), "SELECT id, name FROM Bookmarks" });
    EXPECT_EQ(rows.output, *identifier + "|Intro\n");
}

TEST_F(VKFolderControllerNamesTest, ChangedExtensionsAskFirst)
{
    makeDocument("X/a.pdf");
    makeDocument("X/b.txt");
    makeDocument("X/Plain/");
    makeDocument("X/Essay.pages/");
    show(documents("X"));

    renameRow("a.pdf");
    answer("a");
    auto shown = sheet();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->tag(), vkTag(VKFolderCommands::Sheet::Extension));
    EXPECT_EQ(shown->title(), "Warning, removing the extension \".pdf\" may prevent the document opening correctly.");
    EXPECT_EQ(shown->buttonTitle(0), "Keep .pdf");
    EXPECT_EQ(shown->buttonTitle(1), "Remove Extension");
    EXPECT_EQ(shown->buttonTitle(2), "Cancel");
    EXPECT_EQ(shown->cancelButtonIndex(), 2);
    EXPECT_EQ(shown->destructiveButtonIndex(), 1);
    // Keeping gives back a.pdf, which is its name: nothing changes.
    driver.pressSheetButton("Keep .pdf");
    runLoop();
    EXPECT_TRUE(core::fs::exists(documents("X/a.pdf")));
    EXPECT_FALSE(controller->isEditing());
    renameRow("a.pdf");
    answer("a");
    driver.pressSheetButton("Remove Extension");
    runLoop();
    EXPECT_TRUE(core::fs::exists(documents("X/a")));

    // Case alone is no change of extension; another is.
    renameRow("b.txt");
    answer("c.TXT");
    EXPECT_FALSE(sheet());
    EXPECT_TRUE(core::fs::exists(documents("X/c.TXT")));
    renameRow("c.TXT");
    answer("c.md");
    ASSERT_TRUE(sheet());
    EXPECT_EQ(sheet()->title(), "Warning, changing the extension \".TXT\" may prevent the document opening correctly.");
    EXPECT_EQ(sheet()->buttonTitle(1), "Use .md");
    // Escape is the sheet's Cancel: the name stays as it was.
    EXPECT_TRUE(driver.key(ui::KeyCommand::Escape));
    runLoop();
    EXPECT_FALSE(sheet());
    EXPECT_EQ(names(*controller), (Strings { "a", "c.TXT", "Essay.pages", "Plain" }));
    renameRow("c.TXT");
    answer("c.md");
    driver.pressSheetButton("Keep .TXT");
    runLoop();
    EXPECT_TRUE(core::fs::exists(documents("X/c.TXT")));
    renameRow("c.TXT");
    answer("d.md");
    driver.pressSheetButton("Keep .TXT");
    runLoop();
    EXPECT_TRUE(core::fs::exists(documents("X/d.TXT")));

    // A plain folder is no document; a package is.
    renameRow("Plain");
    answer("Plain.old");
    EXPECT_FALSE(sheet());
    EXPECT_TRUE(core::fs::exists(documents("X/Plain.old")));
    renameRow("Essay.pages");
    answer("Essay.zip");
    ASSERT_TRUE(sheet());
    EXPECT_EQ(sheet()->buttonTitle(0), "Keep .pages");
    sheet()->dismiss(0, false);
}

TEST_F(VKFolderControllerNamesTest, LockedItemsAndFailuresLeaveTheListAlone)
{
    makeDocument("K/Report.txt");
    show(documents("K"));
    auto locks = test::RecordingServerLockHooks::install();
    locks->serve(documents("K/Report.txt"), "/Report.txt");
    locks->lock("/Report.txt");
    renameRow("Report.txt");
    answer("Summary.txt");
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->message(), "There was an error renaming \"Report.txt\"");
    EXPECT_EQ(names(*controller), (Strings { "Report.txt" }));
    EXPECT_TRUE(core::fs::exists(documents("K/Report.txt")));
    driver.pressAlertButton("OK");
    locks->unlock("/Report.txt");

    // The item vanished after it was marked.
    controller->setEditing(false, false);
    renameRow("Report.txt");
    ASSERT_TRUE(core::fs::removeItem(documents("K/Report.txt")));
    answer("Summary.txt");
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->message(), "There was an error renaming \"Report.txt\"");
    EXPECT_FALSE(core::fs::exists(documents("K/Summary.txt")));
}

} // namespace

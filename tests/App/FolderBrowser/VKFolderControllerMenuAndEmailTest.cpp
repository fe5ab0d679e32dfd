// The More menu for what is marked, and sending the marked items by e-mail
// through the composer.

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKFolderSharing.h"
#include "App/Mail/VKEmailController.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKAlertView.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKServerLockHooks.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/MailComposeController.h"
#include "Platform/UI/NavigationItem.h"
#include "Support/Cloud/TestCloudService.h"
#include "Support/FileModel/RecordingServerLockHooks.h"

#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;

class VKFolderControllerMenuAndEmailTest : public test::FolderListingTestCase {
protected:
    void SetUp() override
    {
        FolderListingTestCase::SetUp();
        previousLocks = VKServerLockHooks::current();
    }
    void TearDown() override
    {
        VKServerLockHooks::setCurrent(previousLocks);
        VKCloudServicesManager::resetForTesting();
        ui::MailComposeController::setCanSendMail(true);
        ui::AlertView::resetForTesting();
        FolderListingTestCase::TearDown();
    }

    void mark(const Strings& wanted)
    {
        if (!controller->isEditing())
            controller->setEditing(true, false);
        controller->unmarkAllItems();
        auto all = names(*controller);
        for (const auto& name : wanted)
            controller->tableSide().didMarkCell(controller->tableView(), { 0, int(std::find(all.begin(), all.end(), name) - all.begin()) });
    }
    // The menu's title and button titles, then closed.
    Strings menu()
    {
        controller->commands().showEditActionMenu(controller->findBarButtonItemWithAction(VKFolderCommands::ShowEditActionMenuAction));
        runLoop();
        auto sheet = std::dynamic_pointer_cast<VKActionSheet>(driver.actionSheet());
        if (!sheet)
            return { "no menu" };
        EXPECT_EQ(sheet->tag(), vkTag(VKFolderCommands::Sheet::EditActionMenu));
        Strings found { "[" + sheet->title() + "]" };
        for (int i = 0; i < sheet->numberOfButtons(); ++i)
            found.push_back(sheet->buttonTitle(i));
        EXPECT_EQ(sheet->cancelButtonIndex(), sheet->numberOfButtons() - 1);
        sheet->dismiss(sheet->cancelButtonIndex(), false);
        runLoop();
        return found;
    }
    std::shared_ptr<ui::AlertView> alert()
    {
        for (const auto& choice : driver.shownChoices())
            if (auto found = std::dynamic_pointer_cast<ui::AlertView>(choice))
                return found;
        return nullptr;
    }

    bool composerShown()
    {
        try {
            return driver.mailComposer() != nullptr;
        } catch (...) {
            return false;
        }
    }

    // The attachments are prepared on a worker; a new composer shows after.
    bool waitForComposer(const std::shared_ptr<ui::MailComposeController>& previous = nullptr)
    {
        auto shown = [&] { return driver.mailComposer() && driver.mailComposer() != previous; };
        for (int pass = 0; pass < 400 && !shown(); ++pass) {
            advance(0.05);
            core::RunLoop::main().runUntil([] { return false; }, 0.05);
        }
        return shown();
    }

    std::shared_ptr<VKServerLockHooks> previousLocks;
};

TEST_F(VKFolderControllerMenuAndEmailTest, TheMenuOffersWhatTheMarkedItemsAllow)
{
    makeDocument("M/Notes.txt");
    makeDocument("M/a.zip");
    makeDocument("M/b.ZIP");
    makeDocument("M/Beach.jpg");
    makeDocument("M/Clip.mov");
    show(documents("M"));
    controller->setEditing(true, false);
    EXPECT_EQ(menu(), (Strings { "[]", "Import Media", "Select All", "Cancel" }));

    mark({ "Notes.txt" });
    EXPECT_EQ(menu(), (Strings { "[Notes.txt]", "Rename", "Compress", "Import Media", "Select None", "Cancel" }));
    mark({ "a.zip" });
    EXPECT_EQ(menu(), (Strings { "[a.zip]", "Rename", "Uncompress", "Import Media", "Select None", "Cancel" }));
    mark({ "b.ZIP" });
    EXPECT_EQ(menu(), (Strings { "[b.ZIP]", "Rename", "Compress", "Import Media", "Select None", "Cancel" }));
    mark({ "Beach.jpg" });
    EXPECT_EQ(menu(),
        (Strings { "[Beach.jpg]", "Rename", "Compress", "Save to Photos Album", "Import Media", "Select None", "Cancel" }));

    // A locked item cannot be renamed.
    auto locks = test::RecordingServerLockHooks::install();
    locks->serve(documents("M/Notes.txt"), "/Notes.txt");
    locks->lock("/Notes.txt");
    mark({ "Notes.txt" });
    EXPECT_EQ(menu(), (Strings { "[Notes.txt]", "Compress", "Import Media", "Select None", "Cancel" }));

    // Several: a count, the album when any is a picture or a movie, and
    // e-mail only once a cloud service is linked.
    mark({ "Notes.txt", "a.zip", "b.ZIP" });
    EXPECT_EQ(menu(), (Strings { "[]", "Compress 3 Items", "Import Media", "Select None", "Cancel" }));
    mark({ "Notes.txt", "a.zip", "Clip.mov" });
    EXPECT_EQ(menu(), (Strings { "[]", "Compress 3 Items", "Save to Photos Album", "Import Media", "Select None", "Cancel" }));
    auto service = test::TestCloudService::install("Test");
    service->setLinked(true);
    EXPECT_EQ(menu(), (Strings { "[]", "Compress 3 Items", "Save to Photos Album", "Email...", "Import Media",
                          "Select None", "Cancel" }));

    // The menu's buttons run their codes.
    controller->commands().showEditActionMenu(nullptr);
    runLoop();
    driver.pressSheetButton("Select None");
    runLoop();
    EXPECT_TRUE(controller->editing().markedResources().empty());
}

TEST_F(VKFolderControllerMenuAndEmailTest, EmailRefusesFoldersAsksPastTheLimitAndSendsInOrder)
{
    makeDocument("E/Folder/inside.txt");
    makeDocument("E/Essay.pages/index.xml", "<essay/>");
    makeDocument("E/a.txt", "alpha");
    makeDocument("E/b.txt", "bravo");
    std::string big = makeDocument("E/c.bin", "");
    ASSERT_EQ(::truncate(big.c_str(), 6 * 1024 * 1024), 0);
    show(documents("E"));
    driver.setCanSendMail(true);

    mark({ "Folder", "a.txt" });
    driver.tap(*controller->findBarButtonItemWithAction(VKFolderCommands::EmailMarkedItemsAction)->customView());
    runLoop();
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->message(), "The selection contains folders, which cannot be sent as email attachments.");
    driver.pressAlertButton("OK");

    // Over the limit: asked, and Continue sends.
    mark({ "a.txt", "c.bin" });
    controller->commands().emailMarkedItems(controller);
    runLoop();
    auto warning = std::dynamic_pointer_cast<VKAlertView>(alert());
    ASSERT_TRUE(warning);
    EXPECT_EQ(warning->tag(), vkTag(VKFolderCommands::Alert::EmailSize));
    EXPECT_EQ(warning->title(), "Warning");
    EXPECT_EQ(warning->message(), "The selection (6 MB)\nexceeds the attachment size limit of\n5 MB.");
    driver.pressAlertButton("Cancel");
    runLoop();
    EXPECT_FALSE(composerShown());
    controller->commands().emailMarkedItems(controller);
    runLoop();
    driver.pressAlertButton("Continue");
    // The attachments are prepared on a worker before the composer shows.
    ASSERT_TRUE(waitForComposer());
    ASSERT_TRUE(controller->commands().sharing().emailControllerInUse());
    EXPECT_EQ(controller->commands().sharing().emailControllerInUse()->attachments().size(), 2u);
    std::weak_ptr<VKEmailController> first = controller->commands().sharing().emailControllerInUse();
    driver.finishMail(ui::MailComposeController::Cancelled);
    runLoop();
    EXPECT_FALSE(controller->commands().sharing().emailControllerInUse());
    EXPECT_TRUE(first.expired());
    EXPECT_FALSE(controller->isEditing());

    // A package passes; the subject is the first name, attachments in row order.
    mark({ "b.txt", "Essay.pages", "a.txt" });
    auto cancelled = driver.mailComposer();
    controller->commands().emailMarkedItems(controller);
    ASSERT_TRUE(waitForComposer(cancelled));
    auto composer = driver.mailComposer();
    ASSERT_TRUE(composer);
    EXPECT_EQ(composer->subject(), "a.txt");
    Strings attached;
    for (const auto& attachment : composer->attachments())
        attached.push_back(attachment.fileName);
    EXPECT_EQ(attached, (Strings { "a.txt", "b.txt", "Essay.pages.zip" }));
    driver.finishMail(ui::MailComposeController::Sent);
    advance(1);
    EXPECT_FALSE(controller->commands().sharing().emailControllerInUse());
    EXPECT_FALSE(controller->isEditing());

    // Without a mail account, and with an item that vanished.
    driver.setCanSendMail(false);
    mark({ "a.txt" });
    controller->commands().emailMarkedItems(controller);
    runLoop();
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->title(), "Unable To Send Email");
    EXPECT_EQ(alert()->message(), "You may need to set up a Mail account in order to send email.");
    driver.pressAlertButton("OK");
    driver.setCanSendMail(true);
    mark({ "a.txt", "b.txt" });
    ASSERT_TRUE(core::fs::removeItem(documents("E/b.txt")));
    controller->commands().emailMarkedItems(controller);
    runLoop();
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->message(), "There was an error adding attachment \"b.txt\".");
    EXPECT_FALSE(controller->commands().sharing().emailControllerInUse());
    EXPECT_FALSE(composerShown());
}

} // namespace

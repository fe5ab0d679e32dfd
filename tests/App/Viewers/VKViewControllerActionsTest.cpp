// What a viewer does for the person: the document sheet and its buttons
// (e-mail, print, open in, the orientation lock), delete with its three
// outcomes, and the bookmarks list.

#include "ViewerTestCase.h"

#include "App/Mail/VKEmailController.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/VKApplication.h"
#include "App/VKAppDelegate.h"
#include "Platform/Core/Error.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/MailComposeController.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/PrintFormatter.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Support/FakeReachability.h"

namespace {

class VKViewControllerActionsTest : public test::ViewerTestCase {
protected:
    void TearDown() override
    {
        if (delegate) {
            delegate->applicationWillTerminate();
            delegate.reset();
        }
        ViewerTestCase::TearDown();
    }

    static std::vector<std::string> titles(const ui::ActionSheet& sheet)
    {
        std::vector<std::string> found;
        for (int i = 0; i < sheet.numberOfButtons(); ++i)
            found.push_back(sheet.buttonTitle(i));
        return found;
    }
    std::shared_ptr<VKActionSheet> documentSheet(VKViewController& viewer)
    {
        viewer.showDocumentActionSheet(nullptr);
        runLoop();
        return std::dynamic_pointer_cast<VKActionSheet>(driver.actionSheet());
    }
    // The real delegate, as the one holding the orientation lock.
    void installDelegate()
    {
        test::FakeReachability::install();
        delegate = VKAppDelegate::create();
        VKAppDelegateHooks::setCurrent(delegate);
    }

    std::shared_ptr<VKAppDelegate> delegate;
};

TEST_F(VKViewControllerActionsTest, TheDocumentSheetOffersWhatThisPlatformCanDo)
{
    auto viewer = openTestViewer("Files/a.pdf");
    viewer->setUIHidden(true, false);
    auto plain = documentSheet(*viewer);
    ASSERT_TRUE(plain);
    EXPECT_FALSE(viewer->isUIHidden());
    EXPECT_EQ(plain->tag(), VKViewController::DocumentActionSheetTag);
    EXPECT_EQ(plain->actionSheetStyle(), ui::ActionSheet::Style::Default);
    EXPECT_EQ(titles(*plain), (std::vector<std::string> { "Email File", "Cancel" }));
    EXPECT_EQ(plain->cancelButtonIndex(), 1);
    EXPECT_EQ(plain->tagForButtonAtIndex(0), VKViewController::EmailFileButtonTag);
    driver.pressSheetButton("Cancel");
    runLoop();

    driver.setPrintingAvailable(true);
    driver.setOpenInApplications({ "Reader" });
    auto full = documentSheet(*viewer);
    EXPECT_EQ(titles(*full), (std::vector<std::string> { "Email File", "Print", "Open In...", "Cancel" }));
    EXPECT_EQ(full->tagForButtonAtIndex(1), VKViewController::PrintButtonTag);
    EXPECT_EQ(full->tagForButtonAtIndex(2), VKViewController::OpenInButtonTag);
    EXPECT_EQ(full->cancelButtonIndex(), 3);
    driver.pressSheetButton("Cancel");
    runLoop();

    // A file that prints neither by itself nor through a formatter.
    auto binary = openTestViewer("Files/blob.bin");
    EXPECT_FALSE(binary->canPrint());
    binary->formatter = ui::PrintFormatter::create(binary->contentView());
    EXPECT_TRUE(binary->canPrint());
    driver.setPrintingAvailable(false);
    EXPECT_FALSE(binary->canPrint());
}

TEST_F(VKViewControllerActionsTest, SheetButtonsGoByTagAndCancelsDoNothing)
{
    auto viewer = openTestViewer("Files/a.pdf");
    driver.setPrintingAvailable(true);

    // Cancel, and a system dismissal with a real button's index, start nothing.
    documentSheet(*viewer);
    driver.pressSheetButton("Cancel");
    auto sheet = documentSheet(*viewer);
    sheet->setTag(VKActionSheetTagSystemCancelled);
    sheet->dismiss(1, false);
    runLoop();
    EXPECT_FALSE(ui::PrintInteractionController::shared().isPresented());
    EXPECT_FALSE(viewer->emailController());

    // A click on the delete sheet is not a document command.
    viewer->clickedButton(*VKActionSheet::create("x"), 0);

    documentSheet(*viewer);
    driver.pressSheetButton("Print");
    runLoop();
    auto& printer = ui::PrintInteractionController::shared();
    ASSERT_TRUE(printer.isPresented());
    EXPECT_EQ(printer.printingItem().toString(), viewer->resource()->fileURL().absoluteString());
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::Default);
    driver.completePrint(true);
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::BlackTranslucent);
    EXPECT_FALSE(logContains("printController error"));
}

TEST_F(VKViewControllerActionsTest, PrintingThroughAFormatterThatFailsDetachesItAndWarns)
{
    auto viewer = openTestViewer("Files/page.html");
    driver.setPrintingAvailable(true);
    auto formatter = ui::PrintFormatter::create(viewer->contentView());
    viewer->formatter = formatter;
    viewer->printFile(nullptr);
    auto& printer = ui::PrintInteractionController::shared();
    ASSERT_TRUE(printer.isPresented());
    EXPECT_EQ(printer.printFormatter(), formatter);
    driver.completePrint(false, core::Error("PrintErrorDomain", 4, "The printer is out of paper"));
    EXPECT_TRUE(logContains("printController error"));
    EXPECT_FALSE(formatter->view());
    EXPECT_FALSE(formatter->isInPrintPageRenderer());
    EXPECT_FALSE(printer.printFormatter());
    auto alert = driver.alert();
    EXPECT_EQ(alert->title(), "Warning");
    EXPECT_EQ(alert->message(), "Failed to print \"page.html\"");
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::BlackTranslucent);
}

TEST_F(VKViewControllerActionsTest, OpenInShowsAtTheSheetsToolbarItem)
{
    auto viewer = openTestViewer("Files/a.pdf");
    EXPECT_FALSE(viewer->openInController());
    driver.setOpenInApplications({ "Reader", "Editor" });
    ASSERT_TRUE(viewer->openInController());
    EXPECT_EQ(viewer->openInController(), viewer->openInController());
    documentSheet(*viewer);
    driver.pressSheetButton("Open In...");
    runLoop();
    auto menu = driver.openInMenu();
    EXPECT_EQ(menu->url(), viewer->resource()->fileURL());
    EXPECT_EQ(menu->anchorKind(), ui::DocumentInteractionController::AnchorKind::Rect);
    auto item = viewer->findBarButtonItemWithAction(VKViewController::ShowDocumentActionSheetAction);
    ASSERT_TRUE(item && item->view());
    gfx::Rect anchor = menu->anchorRect();
    EXPECT_EQ((gfx::Point { anchor.midX(), anchor.midY() }), driver.centerOnScreen(*item->view()));
}

TEST_F(VKViewControllerActionsTest, TheOrientationLockFlipsThroughTheDelegateAndTheBarsHideLater)
{
    installDelegate();
    auto viewer = openTestViewer("Files/a.pdf");
    viewer->setOrientationLock(delegate);
    auto sheet = VKActionSheet::create("");
    viewer->actionSheetClickedButtonWithTag(*sheet, VKViewController::OrientationLockButtonTag);
    EXPECT_TRUE(delegate->isOrientationLocked());
    advance(2.9);
    EXPECT_FALSE(viewer->isUIHidden());
    advance(0.2);
    EXPECT_TRUE(viewer->isUIHidden());
    viewer->actionSheetClickedButtonWithTag(*sheet, VKViewController::OrientationLockButtonTag);
    EXPECT_FALSE(delegate->isOrientationLocked());
    // Unknown tags do nothing.
    viewer->actionSheetClickedButtonWithTag(*sheet, 4242);
    EXPECT_FALSE(delegate->isOrientationLocked());
}

TEST_F(VKViewControllerActionsTest, DeleteAsksThenPopsOrExplainsWhyNot)
{
    auto viewer = openTestViewer("Files/x.pdf");
    const std::string path = viewer->resource()->path();
    viewer->deleteItem(nullptr);
    auto sheet = driver.actionSheet();
    EXPECT_EQ(sheet->title(), "Delete \"x.pdf\"?");
    EXPECT_EQ(sheet->tag(), VKViewController::DeleteActionSheetTag);
    EXPECT_EQ(titles(*sheet), (std::vector<std::string> { "Delete", "Cancel" }));
    driver.pressSheetButton("Cancel");
    advance(0.5);
    EXPECT_TRUE(host->trashed.empty());

    // Locked, then failing: the viewer stays and says why.
    host->trashResult = VKViewerFolderHost::TrashLocked;
    viewer->deleteItem(nullptr);
    driver.pressSheetButton("Delete");
    advance(0.5);
    EXPECT_EQ(driver.alert()->message(), "The file is locked and cannot currently be deleted");
    driver.pressAlertButton("OK");
    host->trashResult = 7;
    viewer->deleteItem(nullptr);
    driver.pressSheetButton("Delete");
    advance(0.5);
    EXPECT_EQ(driver.alert()->message(), "Failed to delete current file");
    driver.pressAlertButton("OK");
    runLoop();

    // Moved, but nobody told the viewer: it stays.
    host->trashResult = VKViewerFolderHost::TrashMoved;
    host->announces = false;
    viewer->deleteItem(nullptr);
    driver.pressSheetButton("Delete");
    advance(0.5);
    EXPECT_EQ(navigation->topViewController(), viewer.get());

    // Moved and announced: the resource clears and the viewer goes.
    host->announces = true;
    viewer->deleteItem(nullptr);
    driver.pressSheetButton("Delete");
    advance(0.5);
    EXPECT_EQ(host->trashed, (std::vector<std::string>(4, path)));
    EXPECT_FALSE(viewer->resource());
    advance(1);
    EXPECT_EQ(navigation->viewControllers().size(), 1u);

    // A system dismissal of the delete sheet deletes nothing.
    auto other = openTestViewer("Files/y.pdf");
    other->deleteItem(nullptr);
    auto pending = driver.actionSheet();
    pending->setTag(VKActionSheetTagSystemCancelled);
    pending->dismiss(pending->cancelButtonIndex(), false);
    runLoop();
    EXPECT_EQ(host->trashed.size(), 4u);
}

TEST_F(VKViewControllerActionsTest, EmailFileComposesOnTheNextPassAndReportsAFailedSend)
{
    driver.setCanSendMail(true);
    auto viewer = openTestViewer("Files/Report.pdf");
    documentSheet(*viewer);
    driver.pressSheetButton("Email File");
    EXPECT_TRUE(viewer->isSendingEmail());
    runLoop();
    auto composer = driver.mailComposer();
    EXPECT_EQ(navigation->modalViewController(), composer.get());
    EXPECT_EQ(composer->subject(), "Report.pdf");
    ASSERT_EQ(composer->attachments().size(), 1u);
    EXPECT_EQ(composer->attachments()[0].fileName, "Report.pdf");
    EXPECT_EQ(composer->attachments()[0].mimeType, "application/pdf");
    EXPECT_EQ(composer->attachments()[0].data.toString(), "content");
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::Default);

    driver.finishMail(ui::MailComposeController::Sent);
    advance(1);
    EXPECT_FALSE(viewer->emailController());
    EXPECT_FALSE(navigation->modalViewController());
    EXPECT_TRUE(driver.shownChoices().empty());
    advance(3);
    EXPECT_TRUE(viewer->isUIHidden());

    // The composer comes up on the next pass, not within the call.
    viewer->emailFile(nullptr);
    EXPECT_FALSE(navigation->modalViewController());
    runLoop();
    EXPECT_TRUE(navigation->modalViewController());
    driver.finishMail(ui::MailComposeController::Failed);
    EXPECT_TRUE(logContains("emailController error: (null)"));
    EXPECT_EQ(driver.alert()->message(), "Send Failed");
    EXPECT_FALSE(viewer->emailController());

    // A file gone before the mail starts: nothing to attach.
    driver.pressAlertButton("OK");
    viewer->composeEmailWithPath(pathInHome("Files/missing.pdf"), "missing.pdf");
    EXPECT_EQ(driver.alert()->message(), "Warning, failed to add attachment");
}

} // namespace

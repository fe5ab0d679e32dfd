// The folder list's media commands as a person uses them: the marked images
// and movies saved to the photo album as the browser's operation (progress,
// the failure alert, a cancel that touches no later operation), photos and
// movies picked in the image picker imported into the folder through one
// operation, and the marked file handed to another application.

#include "FolderListingTestCase.h"
#include "Kit/VKImageOperationQueue.h"

#include "App/FolderBrowser/VKFolderMedia.h"
#include "App/FolderBrowser/VKFolderSharing.h"
#include "App/FolderBrowser/VKImagePicker.h"
#include "App/FolderBrowser/VKImportMediaOperation.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/ImagePickerController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Testing/PhotoAlbumRecorder.h"
#include "OperationTestSupport.h"

#include <algorithm>

namespace {

using BrowserOperation = VKBrowserOperation;
using Picker = ui::ImagePickerController;


class VKFolderControllerMediaTest : public test::FolderListingTestCase {
protected:
    void TearDown() override
    {
        BrowserOperation::resetOperationForTesting();
        ui::AlertView::resetForTesting();
        // The image queue's worker goes with the queue.
        VKImageOperationQueue::resetSharedQueue();
        core::Thread::waitForAll(10);
        FolderListingTestCase::TearDown();
    }

    static std::string jpeg(int width, int height)
    {
        auto context = gfx::BitmapContext::create(width, height);
        context->setFillColor(gfx::Color(0.1f, 0.6f, 0.3f, 1));
        context->fillRect({ 0, 0, float(width), float(height) });
        return *context->makeImage()->jpegRepresentation(0.9f);
    }
    static std::shared_ptr<gfx::Image> picture()
    {
        return gfx::Image::imageWithData(core::Data(jpeg(24, 16)));
    }
    ui::testing::PhotoAlbumRecorder& album()
    {
        return dynamic_cast<ui::testing::PhotoAlbumRecorder&>(*ui::PhotoAlbum::backend());
    }
    std::string alertText()
    {
        auto alert = driver.alert();
        return alert->title() + " / " + alert->message();
    }
};

TEST_F(VKFolderControllerMediaTest, SavingToTheAlbumShowsProgressAndCountsTheFailures)
{
    makeDocument("A/one.jpg", jpeg(20, 10));
    makeDocument("A/two.jpg", jpeg(10, 20));
    makeDocument("A/clip.avi", "RIFF");
    makeDocument("A/notes.txt", "text");
    show(documents("A"));
    test::OperationNotifications notifications;

    // Nothing to save: nothing happens.
    markNames({ "notes.txt" });
    controller->commands().handleAction(VKFolderCommands::EditAction::SaveToPhotosAlbum, {});
    runLoop();
    EXPECT_FALSE(BrowserOperation::isOperationInProgress());

    controller->unmarkAllItems();
    markNames({ "one.jpg", "two.jpg", "clip.avi", "notes.txt" });
    controller->commands().handleAction(VKFolderCommands::EditAction::SaveToPhotosAlbum, {});
    EXPECT_TRUE(BrowserOperation::isOperationInProgress());
    EXPECT_EQ(BrowserOperation::operationLabel(), "Copying 3 Items");
    EXPECT_FALSE(BrowserOperation::isOperationIndeterminate());
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return album().saves().size() == 2; }, 30));
    album().complete();
    ASSERT_TRUE(core::RunLoop::main().runUntil([] { return !BrowserOperation::isOperationInProgress(); }, 30));
    advance(0.2);
    runLoop();

    auto progress = notifications.progressValues();
    ASSERT_FALSE(progress.empty());
    EXPECT_NEAR(progress.back(), 1.0, 1e-6);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(alertText(), "Unsupported Media / Failed to save 1 item.");
}

TEST_F(VKFolderControllerMediaTest, ACancelledSaveStopsAndLeavesTheNextOperationAlone)
{
    for (int i = 0; i < 5; ++i)
        makeDocument("A/p" + std::to_string(i) + ".jpg", jpeg(8, 8));
    show(documents("A"));
    markNames({ "p0.jpg", "p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg" });
    controller->commands().handleAction(VKFolderCommands::EditAction::SaveToPhotosAlbum, {});
    EXPECT_EQ(BrowserOperation::operationLabel(), "Copying 5 Items");
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return album().saves().size() == 2; }, 30));

    BrowserOperation::cancelOperation();
    auto next = BrowserOperation::startOperationWithLabel("Next", true);
    ASSERT_NE(next, BrowserOperation::NoRun);
    album().complete();
    VKImageOperationQueue::resetSharedQueue();
    core::Thread::waitForAll(10);
    runLoop();
    advance(0.2);
    EXPECT_FALSE(core::RunLoop::main().runUntil([&] { return album().saves().size() > 2; }, 1));

    // The save handed nothing more, and the other operation still runs.
    EXPECT_EQ(album().saves().size(), 2u);
    EXPECT_TRUE(BrowserOperation::isOperationInProgress());
    EXPECT_EQ(BrowserOperation::currentRun(), next);
    EXPECT_TRUE(driver.shownChoices().empty());
}

TEST_F(VKFolderControllerMediaTest, PicksInOneVisitFeedOneImportThatEndsWhenThePickerGoes)
{
    std::string movie = makeFile("Camera/clip.MOV", "moving pictures");
    Picker::setLibrary({ { "Camera",
        { { Picker::imageType, picture(), std::nullopt, {} }, { Picker::imageType, picture(), std::nullopt, {} },
            { Picker::movieType, nullptr, core::URL::fileURL(movie), {} } } } });
    makeDocument("A/existing.txt", "x");
    show(documents("A"));

    // Asked from the editing menu: marking ends once the picker covers the list.
    controller->setEditing(true, false);
    controller->commands().handleAction(VKFolderCommands::EditAction::ImportMedia, {});
    runLoop();
    EXPECT_TRUE(controller->isEditing());
    advance(0.5);
    EXPECT_FALSE(controller->isEditing());
    auto picker = controller->commands().media().imagePickerInUse();
    ASSERT_TRUE(picker);
    EXPECT_EQ(driver.imagePicker(), picker->imagePickerController());
    EXPECT_EQ(picker->imagePickerController()->topViewController()->navigationItem().prompt(), "No Items Selected");

    driver.openPickerAlbum("Camera");
    auto* albumScreen = picker->imagePickerController()->topViewController();
    EXPECT_EQ(albumScreen->navigationItem().rightBarButtonItem(), picker->doneBarButtonItem());
    driver.pickMedia(0);
    EXPECT_EQ(albumScreen->navigationItem().prompt(), "1 Item Imported");
    auto operation = std::dynamic_pointer_cast<VKImportMediaOperation>(BrowserOperation::fileOperation());
    ASSERT_TRUE(operation);
    EXPECT_EQ(BrowserOperation::operationLabel(), "Copying Media");
    driver.pickMedia(1);
    driver.pickMedia(2);
    advance(0.5);
    // The movie's preview was popped back to the album.
    EXPECT_EQ(picker->imagePickerController()->topViewController(), albumScreen);
    EXPECT_EQ(albumScreen->navigationItem().prompt(), "3 Items Imported");
    EXPECT_EQ(BrowserOperation::fileOperation(), operation);

    // Imports that end while the picker shows hold back the operation's end.
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !operation->isImporting(); }, 30));
    runLoop();
    EXPECT_TRUE(BrowserOperation::isOperationInProgress());
    EXPECT_EQ(operation->importedResources().size(), 3u);

    picker->done();
    advance(0.5);
    runLoop();
    EXPECT_FALSE(controller->commands().media().isImagePickerShown());
    EXPECT_FALSE(BrowserOperation::isOperationInProgress());
    EXPECT_FALSE(controller->isEditing());
    auto rows = names(*controller);
    EXPECT_NE(std::find(rows.begin(), rows.end(), "image.jpg"), rows.end());
    EXPECT_NE(std::find(rows.begin(), rows.end(), "movie.mov"), rows.end());
    EXPECT_TRUE(driver.shownChoices().empty());
}

TEST_F(VKFolderControllerMediaTest, OpenInKeepsOneControllerPerFileAndLaunchesOnce)
{
    makeDocument("A/a.pdf", "%PDF");
    makeDocument("A/b.pdf", "%PDF");
    show(documents("A"));
    std::vector<std::string> launched;
    ui::DocumentInteractionController::setLauncher(
        [&](const core::URL& url, const std::string& application) { launched.push_back(application + " " + url.path()); });

    // Without an application the menu offers no "Open In...".
    EXPECT_FALSE(controller->commands().sharing().openInControllerWithResource(resource(documents("A/a.pdf"))));

    driver.setOpenInApplications({ "Document Viewer" });
    auto first = controller->commands().sharing().openInControllerWithResource(resource(documents("A/a.pdf")));
    ASSERT_TRUE(first);
    EXPECT_EQ(controller->commands().sharing().openInControllerWithResource(resource(documents("A/a.pdf"))), first);
    auto second = controller->commands().sharing().openInControllerWithResource(resource(documents("A/b.pdf")));
    EXPECT_NE(second, first);

    markNames({ "b.pdf" });
    controller->commands().handleAction(VKFolderCommands::EditAction::OpenIn, {});
    runLoop();
    auto menu = driver.openInMenu();
    EXPECT_EQ(menu, second);
    EXPECT_EQ(menu->anchorKind(), ui::DocumentInteractionController::AnchorKind::BarButtonItem);
    driver.chooseOpenInApplication("Document Viewer");
    EXPECT_EQ(launched, (std::vector<std::string> { "Document Viewer " + documents("A/b.pdf") }));
}

} // namespace

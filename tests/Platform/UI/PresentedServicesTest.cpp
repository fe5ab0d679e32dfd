#include "Support/UITestCase.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/ImagePickerController.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/MailComposeController.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/PopoverController.h"
#include "Platform/UI/PrintFormatter.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TextView.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"

#include <fmt/format.h>

namespace {

using test::UITestCase;
class PresentedServicesTest : public UITestCase {
protected:
    void tablet()
    {
        core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
        ui::Screen::main()->setBounds({ 0, 0, 768, 1024 });
        window().setFrame({ 0, 0, 768, 1024 });
    }
    // A root navigation controller with a toolbar item "Share".
    std::shared_ptr<ui::BarButtonItem> toolbarItem()
    {
        root = ui::ViewController::create();
        auto item = ui::BarButtonItem::create("Share");
        root->setToolbarItems({ item });
        navigation = ui::NavigationController::create(root);
        navigation->setToolbarHidden(false);
        window().setRootViewController(navigation);
        runLoop();
        return item;
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        root.reset();
        navigation.reset();
        UITestCase::TearDown();
    }
    std::shared_ptr<ui::ViewController> root;
    std::shared_ptr<ui::NavigationController> navigation;
};

struct Appearance : ui::ViewController {
    std::vector<std::string>* log;
    explicit Appearance(std::vector<std::string>* l) : log(l) { }
    void viewWillAppear(bool) override { log->push_back("will-appear"); }
    void viewDidAppear(bool) override { log->push_back("did-appear"); }
    void viewWillDisappear(bool) override { log->push_back("will-disappear"); }
    void viewDidDisappear(bool) override { log->push_back("did-disappear"); }
};

struct PopoverLog : ui::PopoverControllerDelegate {
    std::vector<std::string>* log;
    bool allow = true;
    explicit PopoverLog(std::vector<std::string>* l) : log(l) { }
    bool shouldDismiss(ui::PopoverController&) override
    {
        log->push_back("should-dismiss");
        return allow;
    }
    void didDismiss(ui::PopoverController&) override { log->push_back("did-dismiss"); }
};

TEST_F(PresentedServicesTest, PopoverPlacementAndDismissals)
{
    tablet();
    std::vector<std::string> log;
    auto content = std::make_shared<Appearance>(&log);
    content->setContentSizeForViewInPopover({ 320, 200 });
    auto popover = ui::PopoverController::create(content);
    auto delegate = std::make_shared<PopoverLog>(&log);
    popover->setDelegate(delegate);
    using Cause = ui::PopoverController::DismissalCause;
    popover->setDismissalHook([&log](ui::PopoverController&, Cause cause) {
        log.push_back(cause == Cause::OutsideTap ? "hook tap" : cause == Cause::Code ? "hook code" : "hook rotation");
    });

    popover->presentFromRect({ 100, 100, 20, 20 }, window(), ui::PopoverController::Any, true);
    EXPECT_EQ(popover->arrowDirection(), ui::PopoverController::Up);
    // Framed: the content 6 points in, below the 13-point arrow; 5 points
    // from the screen's edge.
    EXPECT_EQ(popover->popoverView()->frame(), (gfx::Rect { 5, 120, 332, 225 }));
    EXPECT_EQ(content->view()->frame(), (gfx::Rect { 6, 19, 320, 200 }));
    EXPECT_EQ(content->view()->window(), &window());
    EXPECT_EQ(log, (std::vector<std::string> { "will-appear", "did-appear" }));
    EXPECT_EQ(driver.popover(), popover);

    // An outside tap: should-dismiss, hook, dismissal, did-dismiss.
    log.clear();
    driver.tapOutsidePopover();
    EXPECT_EQ(log, (std::vector<std::string> { "should-dismiss", "hook tap", "will-disappear", "did-disappear", "did-dismiss" }));
    // A code dismissal of the closed popover tells the hook only.
    log.clear();
    popover->dismiss(false, true);
    EXPECT_EQ(log, std::vector<std::string> { "hook code" });
    EXPECT_FALSE(popover->isPopoverVisible());
    EXPECT_EQ(popover->arrowDirection(), ui::PopoverController::Unknown);

    // Down only: the bottom sits on the anchor's top.
    popover->presentFromRect({ 100, 100, 20, 20 }, window(), ui::PopoverController::Down, false);
    EXPECT_EQ(popover->arrowDirection(), ui::PopoverController::Down);
    EXPECT_EQ(popover->popoverView()->frame().maxY(), 100);
    // Refused by the delegate, then dismissed in code: hook only, unless told.
    delegate->allow = false;
    log.clear();
    driver.tapOutsidePopover();
    EXPECT_TRUE(popover->isPopoverVisible());
    popover->dismiss(false);
    EXPECT_EQ(log, (std::vector<std::string> { "should-dismiss", "hook code", "will-disappear", "did-disappear" }));
    popover->presentFromRect({ 100, 100, 20, 20 }, window(), ui::PopoverController::Any, false);
    log.clear();
    popover->dismiss(true, true);
    EXPECT_EQ(log, (std::vector<std::string> { "hook code", "will-disappear", "did-disappear", "did-dismiss" }));

    // A pass-through view takes its tap and the popover stays.
    auto button = ui::View::create({ 600, 900, 100, 100 });
    window().addSubview(button);
    popover->setPassthroughViews({ button });
    popover->presentFromRect({ 100, 100, 20, 20 }, window(), ui::PopoverController::Any, false);
    driver.tap(*button);
    EXPECT_TRUE(popover->isPopoverVisible());
    // Rotation dismisses too, through the hook.
    log.clear();
    application().setStatusBarOrientation(ui::Orientation::LandscapeRight, false);
    EXPECT_FALSE(popover->isPopoverVisible());
    EXPECT_EQ(log, (std::vector<std::string> { "hook rotation", "will-disappear", "did-disappear" }));

    // The content size is clamped to the screen less 10 points.
    content->setContentSizeForViewInPopover({ 2000, 2000 });
    EXPECT_EQ(popover->popoverContentSize(), (gfx::Size { 758, 1014 }));
    EXPECT_THROW(popover->presentFromRect({ 0, 0, 1, 1 }, window(), 0, false), core::Exception);
    auto loose = ui::View::create({ 0, 0, 10, 10 });
    EXPECT_THROW(popover->presentFromRect({ 0, 0, 1, 1 }, *loose, ui::PopoverController::Any, false), core::Exception);
}

TEST_F(PresentedServicesTest, BarItemAnchors)
{
    tablet();
    auto unshown = ui::BarButtonItem::create("Nowhere");
    auto item = toolbarItem();
    ASSERT_TRUE(item->view());
    gfx::Rect itemRect = item->view()->convertRect(item->view()->bounds(), nullptr);

    auto content = ui::ViewController::create();
    content->setContentSizeForViewInPopover({ 320, 200 });
    auto popover = ui::PopoverController::create(content);
    EXPECT_THROW(popover->presentFromBarButtonItem(*unshown, ui::PopoverController::Any, false), core::Exception);
    popover->presentFromBarButtonItem(*item, ui::PopoverController::Any, false);
    EXPECT_EQ(popover->arrowDirection(), ui::PopoverController::Down); // the toolbar is at the bottom
    EXPECT_EQ(popover->popoverView()->frame().maxY(), itemRect.minY());
    popover->dismiss(false);

    // A tablet sheet from the item: at the anchor, without cancel.
    auto sheet = ui::ActionSheet::create("T", {}, "Cancel", {}, { "A" });
    EXPECT_THROW(sheet->showFromBarButtonItem(*unshown, true), core::Exception);
    sheet->showFromBarButtonItem(*item, true);
    EXPECT_EQ(sheet->anchorKind(), ui::ActionSheet::AnchorKind::BarButtonItem);
    EXPECT_TRUE(sheet->isAnchored());
    EXPECT_EQ(sheet->anchorRect(), itemRect);
    driver.tapOutsideSheet();
    EXPECT_FALSE(sheet->isVisible());

    // Open-in from the item.
    driver.setOpenInApplications({ "Viewer" });
    auto openIn = ui::DocumentInteractionController::create(core::URL::fileURL(makeFile("a.pdf", "x")));
    EXPECT_TRUE(openIn->presentOpenInMenu(*item, true));
    EXPECT_EQ(openIn->anchorKind(), ui::DocumentInteractionController::AnchorKind::BarButtonItem);
    EXPECT_EQ(openIn->anchorRect(), itemRect);
    openIn->dismissMenu(false);

    // Printing a text view from the item.
    driver.setPrintingAvailable(true);
    auto text = ui::TextView::create({ 0, 0, 200, 200 });
    auto& panel = ui::PrintInteractionController::shared();
    panel.setPrintFormatter(ui::PrintFormatter::create(text));
    int completions = 0;
    EXPECT_TRUE(panel.presentFromBarButtonItem(*item, true, [&](auto&, bool, const core::Error*) { ++completions; }));
    EXPECT_EQ(panel.printFormatter()->view(), text);
    EXPECT_EQ(panel.anchorRect(), itemRect);
    driver.completePrint(true);
    EXPECT_EQ(completions, 1);
}

struct MailLog : ui::MailComposeControllerDelegate {
    std::vector<std::string> log;
    void didFinish(ui::MailComposeController&, int result, const core::Error* error) override
    {
        log.push_back(fmt::format("{} {}", result, error ? error->code() : 0));
    }
};

TEST_F(PresentedServicesTest, MailComposer)
{
    toolbarItem();
    EXPECT_FALSE(ui::MailComposeController::canSendMail());
    driver.setCanSendMail(true);
    EXPECT_TRUE(ui::MailComposeController::canSendMail());

    auto delegate = std::make_shared<MailLog>();
    auto mail = ui::MailComposeController::create();
    mail->setMailComposeDelegate(delegate);
    mail->setSubject("Report");
    mail->setToRecipients({ "a@example.com" });
    mail->setCcRecipients({ "b@example.com" });
    std::string pdf = makeFile("a.pdf", "%PDF-1.4");
    core::Data mapped;
    ASSERT_TRUE(core::fs::readFile(pdf, mapped));
    mail->addAttachment(mapped, "application/pdf", "a.pdf");
    mail->addAttachment(core::Data(), "", "blob");
    EXPECT_THROW(driver.mailComposer(), core::Exception);

    root->presentModalViewController(mail, false);
    EXPECT_EQ(driver.mailComposer(), mail);
    EXPECT_EQ(mail->topViewController()->title(), "Report");
    ASSERT_EQ(mail->attachments().size(), 2u);
    EXPECT_EQ(mail->attachments()[0].mimeType, "application/pdf");
    EXPECT_EQ(mail->attachments()[0].data.view(), "%PDF-1.4");
    EXPECT_EQ(mail->attachments()[1].mimeType, "application/octet-stream");

    driver.finishMail(ui::MailComposeController::Sent);
    driver.finishMail(ui::MailComposeController::Failed, core::Error::posix(EIO));
    EXPECT_EQ(delegate->log, (std::vector<std::string> { "2 0" }));
    EXPECT_EQ(driver.mailComposer(), mail); // stays until dismissed
    root->dismissModalViewController(false);
    runLoop();
    EXPECT_THROW(driver.mailComposer(), core::Exception);

    auto failing = ui::MailComposeController::create();
    failing->setMailComposeDelegate(delegate);
    root->presentModalViewController(failing, false);
    driver.finishMail(ui::MailComposeController::Failed, core::Error::posix(EIO));
    EXPECT_EQ(delegate->log.back(), fmt::format("3 {}", EIO));
    root->dismissModalViewController(false);
}

struct PickerLog : ui::ImagePickerControllerDelegate {
    std::vector<std::string> log;
    core::Value info;
    bool popOnMovie = true;
    void willShowViewController(ui::NavigationController&, ui::ViewController& c, bool) override
    {
        log.push_back("will-show " + c.title());
    }
    void didFinishPicking(ui::ImagePickerController& picker, const core::Value& i) override
    {
        info = i;
        log.push_back("picked " + i[ui::ImagePickerController::mediaTypeKey].string());
        if (i[ui::ImagePickerController::mediaTypeKey].string() == ui::ImagePickerController::movieType && popOnMovie)
            picker.popViewController(false);
    }
    void didCancel(ui::ImagePickerController&) override { log.push_back("cancelled"); }
};

TEST_F(PresentedServicesTest, ImagePicker)
{
    using Picker = ui::ImagePickerController;
    toolbarItem();
    EXPECT_FALSE(Picker::isSourceTypeAvailable(Picker::SourceType::Camera));
    EXPECT_TRUE(Picker::availableMediaTypes(Picker::SourceType::Camera).empty());
    EXPECT_EQ(Picker::availableMediaTypes(Picker::SourceType::SavedPhotosAlbum),
        (std::vector<std::string> { "public.image", "public.movie" }));

    auto image = gfx::BitmapContext::create(4, 4)->makeImage();
    auto movie = core::URL::fileURL(makeFile("clip.mov", "m"));
    Picker::setLibrary({ { "Camera Roll", { { Picker::imageType, image, {}, {} }, { Picker::movieType, nullptr, movie, {} } } } });

    auto delegate = std::make_shared<PickerLog>();
    auto picker = Picker::create();
    EXPECT_THROW(picker->setSourceType(Picker::SourceType::Camera), core::Exception);
    picker->setSourceType(Picker::SourceType::SavedPhotosAlbum);
    picker->setDelegate(delegate);
    root->presentModalViewController(picker, false);
    EXPECT_EQ(driver.imagePicker(), picker);

    driver.openPickerAlbum("Camera Roll");
    EXPECT_EQ(delegate->log, (std::vector<std::string> { "will-show Camera Roll" }));
    driver.pickMedia(0);
    EXPECT_EQ(delegate->log.back(), "picked public.image");
    EXPECT_EQ(delegate->info[Picker::originalImageKey].objectAs<gfx::Image>(), image);
    EXPECT_TRUE(delegate->info[Picker::editedImageKey].isNull());
    // Movies are not offered by default.
    EXPECT_THROW(driver.pickMedia(1), core::Exception);
    EXPECT_THROW(driver.openPickerAlbum("Nope"), core::Exception);

    picker->setMediaTypes({ Picker::imageType, Picker::movieType });
    delegate->log.clear();
    driver.pickMedia(1);
    EXPECT_EQ(delegate->log[0].substr(0, 9), "will-show");
    EXPECT_EQ(delegate->log[1], "picked public.movie");
    EXPECT_EQ(delegate->info[Picker::mediaURLKey].string(), movie.absoluteString());
    EXPECT_EQ(picker->topViewController()->title(), "Camera Roll"); // the receiver's pop
    // Opening the album again pushes again.
    delegate->log.clear();
    driver.openPickerAlbum("Camera Roll");
    EXPECT_EQ(delegate->log.back(), "will-show Camera Roll");
    driver.cancelPicker();
    EXPECT_EQ(delegate->log.back(), "cancelled");
    root->dismissModalViewController(false);
}

TEST_F(PresentedServicesTest, ManyPopoversLeaveNothingAlive)
{
    tablet();
    long views = ui::LiveObjects::views, controllers = ui::LiveObjects::controllers;
    for (int i = 0; i < 1000; ++i) {
        auto popover = ui::PopoverController::create(ui::ViewController::create());
        popover->setDismissalHook(
            [weak = std::weak_ptr<ui::PopoverController>(popover)](ui::PopoverController&, ui::PopoverController::DismissalCause) { });
        popover->presentFromRect({ 100, 100, 20, 20 }, window(), ui::PopoverController::Any, false);
        if (i % 2)
            popover->dismiss(false);
        else
            popover->outsideTap();
    }
    runLoop();
    EXPECT_EQ(ui::LiveObjects::views, views);
    EXPECT_EQ(ui::LiveObjects::controllers, controllers);
}

} // namespace

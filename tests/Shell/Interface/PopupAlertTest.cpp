#include "Shell/Interface/VKPopupAlert.h"
#include "PopupAlertFixtures.h"

#include "Shell/VKApplication.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TextField.h"
#include "Support/UITestCase.h"

#include <fmt/format.h>

#include <cmath>
#include <filesystem>

namespace {

constexpr float popupPi = 3.14159265358979323846f;

// What the popups' delegate hears, with the tag the popup wears then.
struct PopupLog : VKPopupAlertDelegate {
    std::vector<std::string> heard;
    void popupAlert(VKPopupAlert& alert, int index) override
    {
        heard.push_back(fmt::format("{} {} tag {}", alert.title(), index, alert.tag()));
    }
};

class PopupAlertTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        UITestCase::TearDown();
    }

    // "New Folder" with a field, "Cancel" then "Save".
    std::shared_ptr<VKPopupAlert> newFolderPopup()
    {
        return test::fieldPopup("New Folder", "Folder Name", "untitled folder", "Save", log);
    }

    static float angle(const ui::View& view)
    {
        gfx::AffineTransform t = view.transform();
        return std::atan2(t.b, t.a);
    }

    std::shared_ptr<PopupLog> log = std::make_shared<PopupLog>();
};

TEST_F(PopupAlertTest, CentredAboveTheKeyboardAndTurnedWithTheStatusBar)
{
    auto popup = newFolderPopup();
    EXPECT_EQ(popup->cancelButtonIndex(), 0);
    popup->show();
    runLoop();
    ASSERT_EQ(popup->superview(), &window());
    EXPECT_EQ(popup->popupMode(), VKPopupAlert::Centered);
    EXPECT_EQ(popup->frame(), (gfx::Rect { 0, 0, 320, 480 }));
    EXPECT_FALSE(popup->isOpaque());
    EXPECT_TRUE(popup->isExclusiveTouch());
    EXPECT_EQ(popup->popupRect(), (gfx::Rect { 5, 65, 310, 134 }));
    EXPECT_EQ(popup->contentRect(), (gfx::Rect { 20, 81, 280, 98 }));
    auto* title = dynamic_cast<ui::Label*>(popup->subviews().front().get());
    ASSERT_TRUE(title);
    EXPECT_EQ(title->frame(), (gfx::Rect { 20, 81, 280, 18 }));
    EXPECT_EQ(popup->textField()->frame(), (gfx::Rect { 20, 104, 280, 28 }));
    EXPECT_EQ(popup->buttonAtIndex(1)->frame(), (gfx::Rect { 200, 142, 100, 37 }));
    EXPECT_EQ(popup->buttonAtIndex(0)->frame(), (gfx::Rect { 92, 142, 100, 37 }));
    EXPECT_EQ(popup->buttonAtIndex(0)->currentBackgroundImage(), VKPopupAlert::cancelButtonBackgroundImage());
    EXPECT_EQ(popup->buttonAtIndex(1)->currentBackgroundImage(), VKPopupAlert::buttonBackgroundImage());
    EXPECT_EQ(popup->textField()->clearButtonMode(), ui::TextField::ViewMode::Always);
    EXPECT_EQ(driver.firstResponder(), popup->textField());
    EXPECT_TRUE(driver.keyboardVisible());
    // The popup keeps to the 215 points above the keyboard.
    EXPECT_LE(popup->popupRect().maxY(), 480 - VKKeyboardHeightPortrait);

    // Turned while shown: hidden as the status bar is about to turn, then
    // turned itself, as no controller turns it.
    std::vector<float> alphaAtWillChange;
    auto watch = core::NotificationCenter::defaultCenter().observe(ui::Application::willChangeStatusBarOrientationNotification,
        nullptr, [&](const core::Notification&) { alphaAtWillChange.push_back(popup->alpha()); });
    application().setStatusBarOrientation(ui::Orientation::LandscapeRight, false);
    EXPECT_EQ(alphaAtWillChange, std::vector<float> { 0.0f });
    EXPECT_FLOAT_EQ(popup->alpha(), 1);
    EXPECT_NEAR(angle(*popup), popupPi / 2, 1e-5);
    EXPECT_EQ(popup->bounds(), (gfx::Rect { 0, 0, 480, 320 }));
    EXPECT_EQ(popup->center(), (gfx::Point { 160, 240 }));
    runLoop();
    EXPECT_EQ(popup->popupRect(), (gfx::Rect { 5, 36, 470, 85 }));
    EXPECT_EQ(title->frame(), (gfx::Rect { 20, 48, 440, 18 }));
    // The field shares the row with the buttons, which are lower.
    EXPECT_EQ(popup->textField()->frame(), (gfx::Rect { 20, 72, 224, 28 }));
    EXPECT_EQ(popup->buttonAtIndex(0)->frame(), (gfx::Rect { 252, 71, 100, 30 }));
    EXPECT_EQ(popup->buttonAtIndex(1)->frame(), (gfx::Rect { 360, 71, 100, 30 }));

    application().setStatusBarOrientation(ui::Orientation::LandscapeLeft, false);
    EXPECT_NEAR(angle(*popup), -popupPi / 2, 1e-5);
    application().setStatusBarOrientation(ui::Orientation::PortraitUpsideDown, false);
    EXPECT_NEAR(std::abs(angle(*popup)), popupPi, 1e-5);
    EXPECT_EQ(popup->bounds(), (gfx::Rect { 0, 0, 320, 480 }));
    application().setStatusBarOrientation(ui::Orientation::Portrait, false);
    runLoop();
    EXPECT_EQ(popup->popupRect(), (gfx::Rect { 5, 65, 310, 134 }));
    popup->dismissWithClickedButtonIndex(0, false);
    runLoop();
}

TEST_F(PopupAlertTest, OverBelowAndFromBarItems)
{
    auto target = ui::View::create({ 0, 100, 320, 44 });
    window().addSubview(target);

    // Over a view: 5 below its top, the over artwork.
    auto over = VKPopupAlert::create("Password", log);
    over->addTextFieldWithPlaceholder("Password", "");
    over->addButtonWithTitle("OK");
    over->showOverView(target);
    runLoop();
    EXPECT_EQ(over->popupMode(), VKPopupAlert::Over);
    EXPECT_EQ(over->popupRect().origin, (gfx::Point { 5, 105 }));
    EXPECT_EQ(over->contentInsets(), (gfx::EdgeInsets { 16, 15, 20, 15 }));
    EXPECT_EQ(over->backgroundImage(), VKPopupAlert::backgroundOverImage());
    over->dismissWithClickedButtonIndex(0, false);

    // Below a view: hanging from 10 above its bottom, the pointer's 15
    // points more at the top, the below artwork.
    auto below = VKPopupAlert::create("Rename", log);
    below->addButtonWithTitle("OK");
    below->showBelowView(target);
    runLoop();
    EXPECT_EQ(below->popupMode(), VKPopupAlert::Below);
    EXPECT_EQ(below->popupRect().origin, (gfx::Point { 5, 134 }));
    EXPECT_EQ(below->contentInsets().top, 31);
    EXPECT_EQ(below->contentRect().minY(), 165);
    EXPECT_EQ(below->backgroundImage(), VKPopupAlert::backgroundBelowImage());
    below->dismissWithClickedButtonIndex(0, false);

    // A window given as the view centres the popup in it, whatever was asked.
    auto inWindow = VKPopupAlert::create("Centred", log);
    inWindow->showBelowView(std::static_pointer_cast<ui::View>(window().shared_from_this()));
    EXPECT_EQ(inWindow->popupMode(), VKPopupAlert::Centered);
    EXPECT_EQ(inWindow->superview(), &window());
    inWindow->dismissWithClickedButtonIndex(-1, false);
    // So does a view in no window.
    auto loose = ui::View::create({ 0, 0, 10, 10 });
    auto nowhere = VKPopupAlert::create("Loose", log);
    nowhere->showOverView(loose);
    EXPECT_EQ(nowhere->popupMode(), VKPopupAlert::Centered);
    EXPECT_EQ(nowhere->superview(), &window());
    nowhere->dismissWithClickedButtonIndex(-1, false);

    // A bar item: below its laid-out view, centred when it has none.
    auto root = ui::ViewController::create();
    auto item = ui::BarButtonItem::create("New");
    root->navigationItem().setRightBarButtonItem(item);
    auto navigation = ui::NavigationController::create(root);
    window().setRootViewController(navigation);
    auto unshown = ui::BarButtonItem::create("Nowhere");
    auto centred = VKPopupAlert::create("Centred", log);
    centred->showFromBarButtonItem(*unshown);
    EXPECT_EQ(centred->popupMode(), VKPopupAlert::Centered);
    centred->dismissWithClickedButtonIndex(-1, false);
    runLoop();
    ASSERT_TRUE(item->view());
    auto fromItem = VKPopupAlert::create("From the item", log);
    fromItem->addButtonWithTitle("OK");
    fromItem->showFromBarButtonItem(*item);
    runLoop();
    EXPECT_EQ(fromItem->popupMode(), VKPopupAlert::Below);
    gfx::Rect itemFrame = item->view()->convertRect(item->view()->bounds(), fromItem.get());
    EXPECT_EQ(fromItem->popupRect().minY(), itemFrame.maxY() - 10);
    fromItem->dismissWithClickedButtonIndex(0, false);
    runLoop();
    EXPECT_EQ(log->heard.size(), 6u);
}

TEST_F(PopupAlertTest, ButtonsTitlesAndEmptyPopups)
{
    // Three buttons: the first added leftmost, 8 apart, the last at the
    // content's right edge.
    auto three = VKPopupAlert::create("Choose", log);
    for (auto title : { "One", "Two", "Three" })
        three->addButtonWithTitle(title);
    EXPECT_EQ(three->cancelButtonIndex(), -1);
    three->show();
    runLoop();
    gfx::Rect content = three->contentRect();
    EXPECT_EQ(three->buttonAtIndex(2)->frame().maxX(), content.maxX());
    EXPECT_EQ(three->buttonAtIndex(1)->frame().maxX(), three->buttonAtIndex(2)->frame().minX() - 8);
    EXPECT_EQ(three->buttonAtIndex(0)->frame().maxX(), three->buttonAtIndex(1)->frame().minX() - 8);
    // Moving the cancel index moves the cancel artwork.
    three->setCancelButtonIndex(2);
    three->setCancelButtonIndex(0);
    EXPECT_EQ(three->buttonAtIndex(0)->currentBackgroundImage(), VKPopupAlert::cancelButtonBackgroundImage());
    EXPECT_EQ(three->buttonAtIndex(2)->currentBackgroundImage(), VKPopupAlert::buttonBackgroundImage());
    three->setCancelButtonIndex(7);
    EXPECT_EQ(three->cancelButtonIndex(), 7);
    // Without a field nothing is taken off for the keyboard: the popup sits
    // in the middle of the screen.
    gfx::Rect popupRect = three->popupRect();
    EXPECT_EQ(popupRect.minY(), std::floor((480 - popupRect.height()) / 2));
    three->dismissWithClickedButtonIndex(1, false);

    // A line break makes a title of several lines; the popup grows by them.
    auto oneLine = VKPopupAlert::create("Password", log);
    oneLine->addButtonWithTitle("OK");
    auto twoLines = VKPopupAlert::create("Password for\nReport.zip", log);
    twoLines->addButtonWithTitle("OK");
    oneLine->show();
    twoLines->show();
    runLoop();
    EXPECT_EQ(twoLines->popupRect().height(), oneLine->popupRect().height() + 18);
    oneLine->dismissWithClickedButtonIndex(0, false);
    twoLines->dismissWithClickedButtonIndex(0, false);

    // The field is made once; a second call sets its texts.
    auto named = VKPopupAlert::create("Rename", log);
    named->addTextFieldWithPlaceholder("Name", "a.txt");
    ui::TextField* field = named->textField();
    named->addTextFieldWithPlaceholder("New Name", "b.txt");
    EXPECT_EQ(named->textField(), field);
    EXPECT_EQ(field->text(), "b.txt");
    EXPECT_EQ(field->placeholder(), "New Name");

    // Nothing in it: as high as its artwork, centred.
    auto empty = VKPopupAlert::create("", {});
    empty->show();
    runLoop();
    float artwork = VKPopupAlert::backgroundOverImage().size().height;
    EXPECT_GT(artwork, 0);
    EXPECT_EQ(empty->popupRect().height(), artwork);
    empty->dismissWithClickedButtonIndex(3, true);
    advance(1);
    EXPECT_FALSE(empty->superview());

    // Many lines, a field and no title: nothing overlaps the title's room.
    auto untitled = VKPopupAlert::create("", log);
    untitled->addTextFieldWithPlaceholder("Name", "");
    untitled->addButtonWithTitle("OK");
    untitled->show();
    runLoop();
    EXPECT_EQ(untitled->textField()->frame().minY(), untitled->contentRect().minY());
    untitled->dismissWithClickedButtonIndex(0, false);
    std::string manyLines;
    for (int i = 0; i < 60; ++i)
        manyLines += fmt::format("Line {}\n", i);
    auto tall = VKPopupAlert::create(manyLines, log);
    tall->addButtonWithTitle("OK");
    tall->show();
    runLoop();
    EXPECT_GT(tall->popupRect().height(), 480);
    tall->dismissWithClickedButtonIndex(0, false);
    runLoop();
}

TEST_F(PopupAlertTest, ATapDismissesOnceAndTheViewLeavesAfterTheFade)
{
    auto target = ui::View::create({ 0, 100, 320, 44 });
    window().addSubview(target);
    auto popup = newFolderPopup();
    popup->setUserInfo(core::Value("folder"));
    popup->showOverView(target);
    runLoop();
    std::weak_ptr<ui::View> weakTarget = target;
    target->removeFromSuperview();
    target.reset();
    EXPECT_FALSE(weakTarget.expired()) << "held while shown";
    ASSERT_TRUE(driver.keyboardVisible());

    gfx::Rect shownAt = popup->popupRect();
    driver.tap(*popup->buttonAtIndex(1));
    EXPECT_EQ(log->heard, std::vector<std::string> { "New Folder 1 tag 0" });
    EXPECT_TRUE(weakTarget.expired());
    // It fades where it stood.
    EXPECT_EQ(popup->popupRect(), shownAt);
    EXPECT_FALSE(popup->textField()->isFirstResponder());
    EXPECT_TRUE(popup->isDismissed());
    EXPECT_EQ(popup->userInfo().toString(), "folder");
    // Fading: still in the window, taking no touches. A second tap where
    // the button is and the system's dismissal change nothing.
    EXPECT_FLOAT_EQ(popup->alpha(), 0);
    EXPECT_EQ(popup->superview(), &window());
    driver.tap(driver.centerOnScreen(*popup->buttonAtIndex(0)));
    popup->dismissWithClickedButtonIndex(0, false);
    EXPECT_EQ(log->heard.size(), 1u);
    // Leaves on the pass after the fade; rotations after change nothing.
    advance(0.1);
    EXPECT_EQ(popup->superview(), &window());
    application().setStatusBarOrientation(ui::Orientation::LandscapeLeft, false);
    EXPECT_EQ(popup->bounds(), (gfx::Rect { 0, 0, 320, 480 }));
    EXPECT_FLOAT_EQ(popup->alpha(), 0);
    advance(0.2);
    runLoop();
    EXPECT_FALSE(popup->superview());
    advance(1);
    EXPECT_FALSE(driver.keyboardVisible());
    application().setStatusBarOrientation(ui::Orientation::Portrait, false);

    // Unanimated: gone on the next pass, not inside the call.
    auto quick = newFolderPopup();
    quick->show();
    quick->dismissWithClickedButtonIndex(5, false);
    EXPECT_EQ(quick->superview(), &window());
    core::RunLoop::main().runOnce();
    EXPECT_FALSE(quick->superview());
    EXPECT_EQ(log->heard.back(), "New Folder 5 tag 0") << "an out-of-range index goes as given";
    // A dismissed popup does not show again, nor one dismissed before it
    // ever showed.
    quick->show();
    EXPECT_FALSE(quick->superview());
    auto early = newFolderPopup();
    early->dismissWithClickedButtonIndex(0, true);
    early->show();
    runLoop();
    EXPECT_FALSE(early->superview());
    EXPECT_FALSE(driver.keyboardVisible());
    EXPECT_EQ(log->heard.back(), "New Folder 0 tag 0");
}

TEST_F(PopupAlertTest, ManyShowsAndDismissalsLeaveNothingBehind)
{
    auto& center = core::NotificationCenter::defaultCenter();
    runLoop();
    long views = ui::LiveObjects::views;
    size_t observations = center.observationCountForTesting();
    for (int i = 0; i < 1000; ++i) {
        auto popup = i % 3 ? newFolderPopup() : VKPopupAlert::create("Plain", {});
        if (i % 2)
            popup->showOverView(std::static_pointer_cast<ui::View>(window().shared_from_this()));
        else
            popup->show();
        popup->dismissWithClickedButtonIndex(0, i % 4 == 0);
        if (i % 4 == 0)
            advance(0.3);
        runLoop();
    }
    advance(1);
    EXPECT_EQ(ui::LiveObjects::views, views);
    EXPECT_EQ(center.observationCountForTesting(), observations);
    EXPECT_TRUE(window().subviews().empty());
}

TEST_F(PopupAlertTest, ArtworkStretchesAboutItsCaps)
{
    const std::pair<const char*, ui::StretchableImage> artwork[] = {
        { "VKPopupAlertButton", VKPopupAlert::buttonBackgroundImage() },
        { "VKPopupAlertButtonPressed", VKPopupAlert::buttonPressedBackgroundImage() },
        { "VKPopupAlertCancelButton", VKPopupAlert::cancelButtonBackgroundImage() },
        { "VKPopupAlertBackgroundOver", VKPopupAlert::backgroundOverImage() },
        { "VKPopupAlertBackgroundBelow", VKPopupAlert::backgroundBelowImage() },
        { "VKProgressCancelButton", ui::StretchableImage(ui::Images::imageNamed("VKProgressCancelButton.png"), 9, 0) },
        { "VKProgressCancelButtonPressed",
            ui::StretchableImage(ui::Images::imageNamed("VKProgressCancelButtonPressed.png"), 9, 0) },
    };
    for (const auto& [name, image] : artwork) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(image);
        EXPECT_GT(image.size().width, 2.0f * float(image.leftCapWidth));
        EXPECT_GT(image.size().height, 2.0f * float(image.topCapHeight));
        // Never taller than the smallest popup, so the popups' sizes hold.
        EXPECT_LE(image.size().height, 80);
        for (const char* suffix : { ".png", "@2x.png" })
            EXPECT_LT(std::filesystem::file_size(sourcePath(std::string("resources/") + name + suffix)), 8192u);
    }
    EXPECT_EQ(VKPopupAlert::backgroundOverImage().leftCapWidth, 55);
    EXPECT_EQ(VKPopupAlert::backgroundOverImage().topCapHeight, 21);
    EXPECT_EQ(VKPopupAlert::backgroundBelowImage().topCapHeight, 30);
    EXPECT_EQ(VKPopupAlert::buttonBackgroundImage().leftCapWidth, 5);
}

class PopupAlertSystemDismissalTest : public test::UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override { return VKApplication::create(); }
};

TEST_F(PopupAlertSystemDismissalTest, TheSystemDismissesShownPopupsWithTheirCancelIndex)
{
    auto log = std::make_shared<PopupLog>();
    auto popup = test::fieldPopup("New Folder", "Name", "", "Save", log);
    popup->show();
    auto noCancel = VKPopupAlert::create("Password", log);
    noCancel->addButtonWithTitle("OK");
    noCancel->show();
    runLoop();

    static_cast<VKApplication&>(application()).vk_dismissActiveAlertView();
    EXPECT_EQ(log->heard, (std::vector<std::string> { "New Folder 0 tag 2147483647", "Password -1 tag 2147483647" }));
    runLoop();
    EXPECT_FALSE(popup->superview());
    EXPECT_FALSE(noCancel->superview());
    // Once gone, a second system dismissal finds nothing to tell.
    static_cast<VKApplication&>(application()).vk_dismissActiveAlertView();
    EXPECT_EQ(log->heard.size(), 2u);
}

} // namespace

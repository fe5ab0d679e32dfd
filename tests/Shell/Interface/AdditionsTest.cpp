#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/DocumentInteractionAdditions.h"
#include "Shell/Interface/InterfaceColors.h"
#include "Shell/Interface/LayoutConstants.h"
#include "Shell/Interface/ScreenAdditions.h"
#include "Shell/Interface/TableViewCellAdditions.h"
#include "Shell/Interface/VKAlertView.h"
#include "Shell/Interface/VKNonRotatingTableViewController.h"
#include "Shell/Interface/VKNonRotatingViewController.h"
#include "Shell/Interface/ViewAdditions.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <cmath>

namespace {

class AdditionsTest : public test::UITestCase { };

TEST_F(AdditionsTest, ViewSearchesArePreOrderWithoutTheReceiver)
{
    auto root = ui::View::create();
    auto a = ui::Label::create(), c = ui::Label::create(), e = ui::Label::create(), f = ui::Label::create();
    auto b = ui::View::create(), d = ui::View::create();
    root->addSubview(a);
    root->addSubview(b);
    b->addSubview(c);
    b->addSubview(d);
    d->addSubview(e);
    root->addSubview(f);

    EXPECT_EQ(vkFindViewsWithClass<ui::Label>(*root), (std::vector<std::shared_ptr<ui::Label>> { a, c, e, f }));
    EXPECT_EQ(vkFindViewsWithClass<ui::View>(*root), (std::vector<std::shared_ptr<ui::View>> { a, b, c, d, e, f }));
    EXPECT_TRUE(vkFindViewsWithClass<ui::Label>(*e).empty());
    std::vector<std::shared_ptr<ui::Label>> found;
    VKInsertSubviewsWithClass<ui::Label>({ d, a }, found);
    EXPECT_EQ(found, (std::vector<std::shared_ptr<ui::Label>> { e, a }));

    // One line per view, four spaces deeper per level.
    std::string expected = "\n" + root->description() + "\n    " + a->description() + "\n    " + b->description()
        + "\n        " + c->description() + "\n        " + d->description() + "\n            " + e->description()
        + "\n    " + f->description() + "\n";
    EXPECT_EQ(vkDeepDescription(*root), expected);

    vkRemoveAllSubviews(*b);
    EXPECT_TRUE(b->subviews().empty());
    EXPECT_FALSE(c->superview());
    EXPECT_EQ(root->subviews().size(), 3u);
}

TEST_F(AdditionsTest, FirstResponderAnywhereBelow)
{
    auto box = ui::View::create({ 0, 0, 320, 200 });
    auto inner = ui::View::create({ 10, 10, 300, 100 });
    auto field = ui::TextField::create({ 10, 10, 200, 31 });
    box->addSubview(inner);
    inner->addSubview(field);
    window().addSubview(box);
    EXPECT_EQ(vkFindFirstResponder(window()), nullptr);
    ASSERT_TRUE(field->becomeFirstResponder());
    EXPECT_EQ(vkFindFirstResponder(window()), field.get());
    EXPECT_EQ(vkFindFirstResponder(*inner), field.get());
    EXPECT_EQ(vkFindFirstResponder(*field), field.get());
    field->resignFirstResponder();
    box->removeFromSuperview();
}

TEST_F(AdditionsTest, ScreenRectanglesInAViewsSpace)
{
    // A window placed lower on the screen.
    auto lower = ui::Window::create({ 0, 100, 320, 380 });
    auto view = ui::View::create({ 10, 10, 100, 100 });
    lower->addSubview(view);
    EXPECT_EQ(vkRectFromScreenRect(*view, { 10, 110, 50, 20 }), (gfx::Rect { 0, 0, 50, 20 }));

    // A turned window: a rectangle of the view goes to the screen and comes
    // back where it was.
    auto turned = ui::Window::create({ 0, 0, 320, 480 });
    turned->setTransform(gfx::AffineTransform::rotation(float(M_PI / 2)));
    auto inside = ui::View::create({ 40, 30, 100, 60 });
    turned->addSubview(inside);
    gfx::Rect local { 5, 7, 20, 10 };
    gfx::Rect onScreen = inside->layer().transformToRoot().apply(local);
    ASSERT_NE(onScreen.size, local.size) << "the turn swaps the sides";
    gfx::Rect back = vkRectFromScreenRect(*inside, onScreen);
    EXPECT_NEAR(back.minX(), 5, 1e-3);
    EXPECT_NEAR(back.minY(), 7, 1e-3);
    EXPECT_NEAR(back.width(), 20, 1e-3);
    EXPECT_NEAR(back.height(), 10, 1e-3);
}

TEST_F(AdditionsTest, AnimationsAsActionsDimmingAndTouchSpread)
{
    auto sender = std::make_shared<core::Object>();
    auto view = ui::View::create({ 0, 0, 10, 10 });
    vkBeginAnimations("fade", core::Value(3), sender.get());
    EXPECT_TRUE(ui::ViewAnimation::isRecording());
    view->setAlpha(0);
    vkCommitAnimations(sender.get());
    EXPECT_FALSE(ui::ViewAnimation::isRecording());
    EXPECT_EQ(view->alpha(), 0);

    auto dim = dimmingViewWithFrame({ 0, 0, 320, 480 });
    EXPECT_EQ(dim->frame(), (gfx::Rect { 0, 0, 320, 480 }));
    EXPECT_EQ(dim->backgroundColor(), gfx::Color::white(0, 0.5f));
    EXPECT_EQ(dim->autoresizingMask(), unsigned(ui::View::FlexibleWidth | ui::View::FlexibleHeight));

    auto pad = ui::View::create({ 50, 50, 200, 200 });
    window().addSubview(pad);
    auto first = ui::Touch::create({ 60, 60 }, 0), second = ui::Touch::create({ 63, 64 }, 0);
    first->setHitTest(pad, &window());
    second->setHitTest(pad, &window());
    EXPECT_FLOAT_EQ(deltaForTouches(*pad, { first, second }), 5);
    EXPECT_FLOAT_EQ(deltaForTouches(*pad, { first, first }), 0);
    EXPECT_EQ(deltaForTouches(*pad, { first }), 0);
    EXPECT_EQ(deltaForTouches(*pad, {}), 0);
    first->releaseView();
    second->releaseView();
    pad->removeFromSuperview();
}

TEST_F(AdditionsTest, CellLabels)
{
    auto table = ui::TableView::create({ 0, 0, 320, 400 });
    auto cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, "row");
    auto font = ui::Fonts::boldSystemFont(15);
    auto label = createLabelWithFont(*cell, font, gfx::Color::white(0), gfx::Color::white(1),
        gfx::LineBreakMode::MiddleTruncation, true);
    EXPECT_EQ(label->superview(), &cell->contentView());
    EXPECT_EQ(label->frame(), gfx::Rect {});
    EXPECT_FALSE(label->isOpaque());
    EXPECT_EQ(label->backgroundColor().alpha(), 0);
    EXPECT_EQ(label->font(), font);
    EXPECT_EQ(label->textColor(), gfx::Color::white(0));
    EXPECT_EQ(label->highlightedTextColor(), gfx::Color::white(1));
    EXPECT_EQ(label->lineBreakMode(), gfx::LineBreakMode::MiddleTruncation);
    EXPECT_TRUE(label->adjustsFontSizeToFitWidth());
    EXPECT_FALSE(createLabelWithFont(*cell, font, {}, {}, gfx::LineBreakMode::TailTruncation)->adjustsFontSizeToFitWidth());

    EXPECT_EQ(tableView(*cell), nullptr);
    table->addSubview(cell);
    EXPECT_EQ(tableView(*cell), table.get());

    label->setText("Modified today");
    layoutLabel(*cell, *label, { 15, 5, 200, 20 }, 3);
    EXPECT_EQ(label->frame(), (gfx::Rect { 15, 28, 200, ui::Fonts::sizeOfString("Modified today", font).height }));
    cell->removeFromSuperview();
}

TEST_F(AdditionsTest, ScreenForEachOrientation)
{
    auto& screen = *ui::Screen::main();
    EXPECT_EQ(boundsForOrientation(screen, ui::Orientation::LandscapeRight), (gfx::Rect { 0, 0, 480, 320 }));
    EXPECT_EQ(boundsForOrientation(screen, ui::Orientation::LandscapeLeft).size, (gfx::Size { 480, 320 }));
    EXPECT_EQ(boundsForOrientation(screen, ui::Orientation::PortraitUpsideDown).size, (gfx::Size { 320, 480 }));
    EXPECT_EQ(center(screen), (gfx::Point { 160, 240 }));
    EXPECT_EQ(centerForOrientation(screen, ui::Orientation::LandscapeLeft), (gfx::Point { 240, 160 }));

    // The interface's room, whichever way it stands now.
    EXPECT_EQ(applicationFrameForOrientation(screen, ui::Orientation::Portrait), (gfx::Rect { 0, 20, 320, 460 }));
    EXPECT_EQ(applicationFrameForOrientation(screen, ui::Orientation::LandscapeLeft), (gfx::Rect { 0, 20, 480, 300 }));
    application().setStatusBarOrientation(ui::Orientation::LandscapeRight, false);
    EXPECT_TRUE(isStatusBarOrientationLandscape(application()));
    EXPECT_EQ(applicationFrameForOrientation(screen, ui::Orientation::Portrait), (gfx::Rect { 0, 20, 320, 460 }));
    application().setStatusBarHidden(true);
    EXPECT_EQ(applicationFrameForOrientation(screen, ui::Orientation::LandscapeLeft), (gfx::Rect { 0, 0, 480, 320 }));
    application().setStatusBarOrientation(ui::Orientation::PortraitUpsideDown, false);
    EXPECT_FALSE(isStatusBarOrientationLandscape(application()));

    EXPECT_EQ(vkScale(screen), 2);
    EXPECT_TRUE(vkIsRetinaDisplay(screen));
    gfx::Screen::main().setScale(1);
    EXPECT_EQ(vkScale(screen), 1);
    EXPECT_FALSE(vkIsRetinaDisplay(screen));
}

TEST_F(AdditionsTest, LargestPictureThatFitsTheScreen)
{
    makeFolder("bundle");
    for (int side : { 300, 640, 1024 }) {
        auto bitmap = gfx::BitmapContext::create(side, side / 2);
        ASSERT_TRUE(bitmap->writePNG(pathInHome("bundle/Splash" + std::to_string(side) + ".png")));
    }
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(pathInHome("bundle")));
    auto& screen = *ui::Screen::main();
    auto picked = vkLargestFittingImageFromNames(screen, { "Splash640", "Splash300", "Missing", "Splash1024" });
    ASSERT_TRUE(picked);
    EXPECT_EQ(picked->size().width, 300);
    EXPECT_FALSE(vkLargestFittingImageFromNames(screen, { "Splash640", "Splash1024", "Missing" }));
    EXPECT_FALSE(vkLargestFittingImageFromNames(screen, {}));
    gfx::Screen::main().setBounds({ 0, 0, 768, 1024 });
    EXPECT_EQ(vkLargestFittingImageFromNames(screen, { "Splash300", "Splash640", "Splash1024" })->size().width, 640);
}

TEST_F(AdditionsTest, Colours)
{
    auto rgb = [](int r, int g, int b) { return gfx::Color::rgb255(r, g, b); };
    EXPECT_EQ(whiteTextShadowColor(), rgb(70, 85, 104));
    EXPECT_EQ(iPadGroupTableViewBackgroundColor(), rgb(225, 228, 233));
    EXPECT_EQ(iPadBarButtonItemDarkTextColor(), rgb(113, 120, 128));
    EXPECT_EQ(iPadBarButtonItemDarkTextShadowColor(), gfx::Color::white(0.92f));
    EXPECT_EQ(iPadBarButtonItemTintColor(), rgb(152, 157, 164));
    EXPECT_EQ(iPadPopoverBorderColor(), rgb(10, 18, 38));
    EXPECT_EQ(documentBorderColor(), rgb(172, 178, 187));
    EXPECT_EQ(tableViewCellTextValueColor(), rgb(50, 80, 133));
    EXPECT_EQ(tableViewCellMarkedBackgroundColor(), rgb(233, 240, 250));

    auto orange = colorWithHexString("#FF8000", 0.25f);
    ASSERT_TRUE(orange);
    EXPECT_FLOAT_EQ(orange->red(), 1);
    EXPECT_FLOAT_EQ(orange->green(), 128 / 255.0f);
    EXPECT_FLOAT_EQ(orange->blue(), 0);
    EXPECT_FLOAT_EQ(orange->alpha(), 0.25f);
    auto blue = colorWithHexString("#0a1b2C", 1);
    ASSERT_TRUE(blue);
    EXPECT_EQ(*blue, rgb(10, 27, 44));

    for (const char* silent : { "FF8000", "#FF800", "#FF80000", "", "FF80000" })
        EXPECT_FALSE(colorWithHexString(silent, 1)) << silent;
    EXPECT_TRUE(logLines().empty());
    for (const char* bad : { "#FF80ZZ", "#GG0000", "#-12345", "# 12345", "#+12345", "#0x1234" })
        EXPECT_FALSE(colorWithHexString(bad, 1)) << bad;
    EXPECT_TRUE(logContains("UIColor, invalid hex string: #FF80ZZ"));
    EXPECT_TRUE(logContains("UIColor, invalid hex string: #GG0000"));
    EXPECT_EQ(logLines().size(), 6u);
}

TEST_F(AdditionsTest, OneCallAlerts)
{
    auto alert = showAlertViewWithTitle("Server", "The server stopped.", "OK");
    EXPECT_EQ(driver.alert(), alert);
    EXPECT_EQ(alert->title(), "Server");
    EXPECT_EQ(alert->message(), "The server stopped.");
    ASSERT_EQ(alert->numberOfButtons(), 1);
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    EXPECT_EQ(alert->buttonTitle(0), "OK");
    EXPECT_FALSE(alert->delegate());
    driver.pressAlertButton("OK");
    advance(1);

    auto plain = showAlertViewWithMessage("Nothing to send.", "Close");
    EXPECT_EQ(plain->title(), "");
    EXPECT_EQ(plain->buttonTitle(plain->cancelButtonIndex()), "Close");
    driver.pressAlertButton(0);
    advance(1);
}

TEST_F(AdditionsTest, AlertWithASpinner)
{
    auto alert = VKAlertView::create("Mail", "\r\nPreparing attachments...\n", {}, std::string("Cancel"));
    EXPECT_EQ(alert->message(), "\r\nPreparing attachments...\n") << "untouched without a spinner";
    alert->setUserInfo(core::Value("job"));
    EXPECT_EQ(alert->userInfo(), core::Value("job"));

    alert->addActivityIndicator();
    ui::ActivityIndicator* spinner = alert->activityIndicator();
    ASSERT_TRUE(spinner);
    EXPECT_EQ(spinner->superview(), alert.get());
    EXPECT_TRUE(spinner->isAnimating());
    EXPECT_EQ(spinner->activityIndicatorViewStyle(), ui::ActivityIndicator::Style::Gray);
    EXPECT_EQ(alert->message(), "Preparing attachments...\n\n");
    alert->setMessage(alert->message());
    EXPECT_EQ(alert->message(), "Preparing attachments...\n\n") << "the room is made once";
    alert->addActivityIndicator();
    EXPECT_EQ(alert->activityIndicator(), spinner);

    alert->show();
    runLoop();
    gfx::Rect frame = spinner->frame();
    EXPECT_EQ(frame.minX(), std::trunc((alert->bounds().width() - frame.width()) / 2));
    EXPECT_EQ(frame.maxY(), alert->buttonRowRect().minY() - 8);
    EXPECT_GT(frame.width(), 0);
    // It sits in the room below the text, not over it.
    for (const auto& view : alert->subviews())
        if (auto* label = dynamic_cast<ui::Label*>(view.get()); label && label->text() == alert->message()) {
            EXPECT_GE(frame.minY(), label->frame().minY() + ui::Fonts::lineHeight(label->font()));
        }
    driver.pressAlertButton("Cancel");
    advance(1);

    // No message: the room alone; no buttons: the spinner stays put.
    auto bare = VKAlertView::create("Working", "");
    bare->addActivityIndicator();
    EXPECT_EQ(bare->message(), "\n");
    bare->activityIndicator()->setFrame({ 3, 4, 20, 20 });
    bare->show();
    runLoop();
    EXPECT_EQ(bare->activityIndicator()->frame(), (gfx::Rect { 3, 4, 20, 20 }));
    bare->dismiss(-1, false);
}

TEST_F(AdditionsTest, OpenInFromABarItem)
{
    ui::DocumentInteractionController::setApplications({ "Reader" });
    auto menu = ui::DocumentInteractionController::create(*core::URL::parse("file:///tmp/Report.pdf"));
    auto toolbar = ui::Toolbar::create({ 0, 436, 320, 44 });
    auto share = ui::BarButtonItem::create("Share");
    toolbar->setItems({ ui::BarButtonItem::space(), share });
    window().addSubview(toolbar);
    ASSERT_FALSE(share->view()) << "before the bar's layout";

    EXPECT_TRUE(presentOpenInFromBarButtonItemRect(*menu, *share, true));
    ASSERT_TRUE(share->view());
    EXPECT_EQ(menu->anchorRect(), share->view()->convertRect(share->view()->bounds(), nullptr));
    menu->dismissMenu(false);

    auto loose = ui::BarButtonItem::create("Loose");
    EXPECT_FALSE(presentOpenInFromBarButtonItemRect(*menu, *loose, true));
    EXPECT_FALSE(menu->isMenuVisible());
    EXPECT_EQ(logLines().size(), 1u);
    toolbar->removeFromSuperview();
}

// Turns with the device, and presents the screen under test.
class TurningController : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

TEST_F(AdditionsTest, NonRotatingScreensKeepTheOrientationTheyOpenIn)
{
    auto root = std::make_shared<TurningController>();
    window().setRootViewController(root);
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeRight));

    auto settings = std::make_shared<VKNonRotatingViewController>();
    root->presentModalViewController(settings, false);
    runLoop();
    EXPECT_FALSE(driver.rotate(ui::Orientation::Portrait));
    EXPECT_EQ(application().statusBarOrientation(), ui::Orientation::LandscapeRight);
    EXPECT_FALSE(driver.rotate(ui::Orientation::LandscapeLeft));
    root->dismissModalViewController(false);
    runLoop();

    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    auto list = std::make_shared<VKNonRotatingTableViewController>(ui::TableView::Style::Grouped);
    EXPECT_EQ(list->tableStyle(), ui::TableView::Style::Grouped);
    root->presentModalViewController(list, false);
    runLoop();
    EXPECT_FALSE(driver.rotate(ui::Orientation::LandscapeLeft));
    EXPECT_EQ(application().statusBarOrientation(), ui::Orientation::Portrait);
    root->dismissModalViewController(false);
    runLoop();
    window().setRootViewController(nullptr);

    // Every controller's status bar style is the default unless it says.
    EXPECT_EQ(settings->statusBarStyle(), ui::Application::StatusBarStyle::Default);
}

TEST_F(AdditionsTest, SharedMeasures)
{
    EXPECT_EQ(VKToolbarDefaultHeight, 44);
    EXPECT_EQ(VKToolbarSmallHeight, 32);
    EXPECT_EQ(VKStatusBarHeight, ui::Application::StatusBarHeight);
    EXPECT_EQ(VKTableViewGroupedCellMargin, (gfx::Size { 10, 0 }));
}

} // namespace

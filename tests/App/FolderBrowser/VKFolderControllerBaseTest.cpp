// One folder screen on the base: what it hears (and that a destroyed one
// hears nothing), the server button, the edit button, the toolbar following
// the browser's operation through a stack of screens, the bars it puts up
// and its items.

#include "OperationTestSupport.h"
#include "TestFolderScreen.h"

#include "App/FolderBrowser/VKOperationProgressView.h"
#include "Shell/Interface/InterfaceColors.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/NetReachability.h"
#include "Support/FakeFolderBrowserServices.h"

#include "Platform/UI/Button.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"

#include <cmath>
#include <thread>

namespace {

using Base = VKFolderControllerBase;
using BrowserOperation = VKBrowserOperation;
using test::TestFolderScreen;

class VKFolderControllerBaseTest : public test::FolderScreenTestCase {
protected:
    static std::shared_ptr<gfx::Image> image(const char* name) { return ui::Images::imageNamed(name); }
};

TEST_F(VKFolderControllerBaseTest, ADestroyedScreenHearsNothingAndLeavesNothing)
{
    auto& center = core::NotificationCenter::defaultCenter();
    size_t before = center.observationCountForTesting();
    // Beside what any screen observes: the operation's three notifications,
    // the network and the server.
    size_t plain = 0;
    {
        auto controller = std::make_shared<ui::TableViewController>();
        plain = center.observationCountForTesting() - before;
    }
    auto screen = TestFolderScreen::create("Gone");
    EXPECT_EQ(center.observationCountForTesting(), before + plain + 5);
    auto tally = screen->tally;
    center.post(NetReachability::DidUpdateNotification);
    EXPECT_EQ(tally->statusChanges, 1);

    // A worker's progress is on its way to the main thread when the screen
    // goes: it finds nothing there.
    std::thread([] { BrowserOperation::setOperationProgress(0.3f); }).join();
    screen.reset();
    EXPECT_EQ(center.observationCountForTesting(), before);
    runLoop();

    auto run = BrowserOperation::startOperationWithLabel("Copying 3 Items", false);
    std::thread([run] { BrowserOperation::setOperationProgress(0.5f, run); }).join();
    BrowserOperation::setIsOperationIndeterminate(true);
    BrowserOperation::endOperation(run);
    advance(0.2);
    center.post(HTTPServer::StatusDidChangeNotification, server);
    wifi().fire(0);
    VKQuotaManager::defaultManager()->setRebuildingIndex(true);
    VKQuotaManager::defaultManager()->setRebuildingIndex(false);
    runLoop();
    EXPECT_EQ(tally->starts, 0);
    EXPECT_EQ(tally->ends, 0);
    EXPECT_EQ(tally->progressUpdates, 0);
    EXPECT_EQ(tally->statusChanges, 1);
}

TEST_F(VKFolderControllerBaseTest, ServerImageFollowsTheSettingTheNetworkAndTheIndexRebuild)
{
    auto screen = show(TestFolderScreen::create("Documents"));
    auto* button = screen->barItems().serverStateButton();
    ASSERT_TRUE(button);
    EXPECT_EQ(button->bounds().size, (gfx::Size { 28, 28 }));
    auto shown = [&] { return button->imageForState(ui::Control::Normal); };
    ASSERT_TRUE(image("HTTPServerActive.png") && image("HTTPServerPaused.png") && image("HTTPServerStopped.png"));
    EXPECT_EQ(shown(), image("HTTPServerActive.png"));
    int rebuilds = screen->tally->toolbarRebuilds;

    core::UserDefaults::standard()->set("VKServerEnabled", core::Value(false));
    core::NotificationCenter::defaultCenter().post(HTTPServer::StatusDidChangeNotification, server);
    EXPECT_EQ(shown(), image("HTTPServerStopped.png"));
    core::UserDefaults::standard()->set("VKServerEnabled", core::Value(true));
    core::NotificationCenter::defaultCenter().post(HTTPServer::StatusDidChangeNotification, server);
    EXPECT_EQ(shown(), image("HTTPServerActive.png"));

    // Wi-Fi lost and back; reachable but without an address.
    wifi().fire(0);
    runLoop();
    EXPECT_EQ(shown(), image("HTTPServerPaused.png"));
    wifi().fire(WiFi);
    runLoop();
    EXPECT_EQ(shown(), image("HTTPServerActive.png"));
    test::setFixedInterfaceAddresses(std::vector<net::InterfaceAddress> {});
    core::NotificationCenter::defaultCenter().post(NetReachability::DidUpdateNotification);
    EXPECT_EQ(shown(), image("HTTPServerPaused.png"));
    test::setFixedInterfaceAddresses(
        std::vector<net::InterfaceAddress> { { "wlan0", net::InterfaceAddress::Family::IPv4, "10.9.0.2" } });
    core::NotificationCenter::defaultCenter().post(NetReachability::DidUpdateNotification);
    EXPECT_EQ(shown(), image("HTTPServerActive.png"));

    // The index rebuild (set on the main thread while a worker recounts).
    auto quota = VKQuotaManager::defaultManager();
    quota->setRebuildingIndex(true);
    runLoop();
    EXPECT_EQ(shown(), image("HTTPServerPaused.png"));
    quota->setRebuildingIndex(false);
    runLoop();
    EXPECT_EQ(shown(), image("HTTPServerActive.png"));
    EXPECT_EQ(screen->tally->toolbarRebuilds, rebuilds) << "only the image changes";

    // The space left is the quota's, not the disk's, which other programs
    // change between the alert and the check.
    core::UserDefaults::standard()->set("VKQuotaEnabled", core::Value(true));
    core::UserDefaults::standard()->set("VKQuotaLimit", core::Value(int64_t(100)));
    driver.tap(*button);
    auto alert = driver.alert();
    ASSERT_TRUE(alert) << "the server's information";
    EXPECT_EQ(alert->message(), delegate->serverInfoMessage(true));
}

TEST_F(VKFolderControllerBaseTest, EditButtonFollowsEditingTheOperationAndGuestMode)
{
    auto screen = show(TestFolderScreen::create("Documents"));
    auto right = [&] { return screen->navigationItem().rightBarButtonItem(); };
    ASSERT_TRUE(right());
    EXPECT_EQ(right()->systemItem(), ui::BarButtonItem::SystemItem::Action);
    EXPECT_EQ(findAction(*right()), Base::ToggleEditingAction);
    EXPECT_NE(screen->editButtonItem(), screen->editButtonItem());

    driver.tapBarItem(*right());
    EXPECT_TRUE(screen->isEditing());
    EXPECT_EQ(right()->title(), "Done");
    EXPECT_EQ(right()->style(), ui::BarButtonItem::Style::Done);
    EXPECT_EQ(findAction(*right()), Base::ToggleEditingAction);
    driver.tapBarItem(*right());
    EXPECT_FALSE(screen->isEditing());
    EXPECT_EQ(right()->systemItem(), ui::BarButtonItem::SystemItem::Action);

    // While an operation runs: Cancel, enabled as far as it may be cancelled.
    BrowserOperation::startOperationWithLabel("Copying 3 Items", false);
    EXPECT_EQ(right()->title(), "Cancel");
    EXPECT_EQ(right()->style(), ui::BarButtonItem::Style::Done);
    EXPECT_TRUE(right()->isEnabled());
    cloud->setActiveUploads(2, 0.5f);
    screen->updateEditButton();
    EXPECT_FALSE(right()->isEnabled());
    cloud->setActiveUploads(0, 0);
    finishOperation();
    EXPECT_EQ(right()->systemItem(), ui::BarButtonItem::SystemItem::Action);

    auto zip = std::make_shared<test::ManualFileOperation>("Zipping 2 Items", true, false);
    BrowserOperation::startFileOperation(zip);
    EXPECT_EQ(right()->title(), "Cancel");
    EXPECT_FALSE(right()->isEnabled());
    finishOperation();

    // Tapped, Cancel ends the operation at once; the screen is restored
    // once the end is heard.
    BrowserOperation::startOperationWithLabel("Copying 3 Items", false);
    driver.tapBarItem(*right());
    EXPECT_TRUE(BrowserOperation::isOperationCancelled());
    EXPECT_FALSE(BrowserOperation::isOperationInProgress());
    advance(0.2);
    runLoop();
    EXPECT_EQ(right()->systemItem(), ui::BarButtonItem::SystemItem::Action);
    EXPECT_EQ(screen->centreItem(), screen->barItems().folderInfoItem());

    // A guest gets no edit button: the services handed in say so.
    auto guest = std::make_shared<test::FakeFolderBrowserServices>();
    guest->guest = true;
    screen->setServices(guest);
    screen->updateEditButton();
    EXPECT_FALSE(right());
}

TEST_F(VKFolderControllerBaseTest, FindsItemsByActionInTheToolbarShown)
{
    auto screen = show(TestFolderScreen::create("Documents"));
    const auto& items = screen->toolbarItems();
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(screen->findBarButtonItemWithAction(Base::ShowServerInfoAction), items[0]);
    EXPECT_EQ(screen->findBarButtonItemWithAction(Base::ShowSettingsAction), items[1]);
    EXPECT_EQ(screen->findBarButtonItemWithAction(Base::ShowHelpAction), items[5]);
    EXPECT_FALSE(screen->findBarButtonItemWithAction(""));
    EXPECT_FALSE(screen->findBarButtonItemWithAction(Base::ToggleEditingAction));

    auto remove = barButtonItemWithTitle("Delete", ui::BarButtonItem::Style::Bordered, nullptr, "deleteMarked",
        [](ui::BarButtonItem&) {});
    screen->setEditingToolbarItems({ flexibleSpaceBarButtonItem(), remove });
    EXPECT_FALSE(screen->findBarButtonItemWithAction("deleteMarked"));
    screen->setEditing(true, false);
    EXPECT_EQ(screen->findBarButtonItemWithAction("deleteMarked"), remove);
    EXPECT_FALSE(screen->findBarButtonItemWithAction(Base::ShowSettingsAction));
    screen->setEditing(false, false);
}

TEST_F(VKFolderControllerBaseTest, TheTopScreenShowsTheOperationAndAScreenBelowWhenShownAgain)
{
    auto first = show(TestFolderScreen::create("Documents"));
    auto info = first->centreItem();
    ASSERT_TRUE(info);
    EXPECT_EQ(info, first->barItems().folderInfoItem());
    auto second = TestFolderScreen::create("Photos");
    navigation->pushViewController(second, false);
    runLoop();
    EXPECT_TRUE(first->isRootViewController());
    EXPECT_FALSE(second->isRootViewController());
    EXPECT_FALSE(TestFolderScreen::create("Alone")->isRootViewController());

    auto run = BrowserOperation::startOperationWithLabel("Copying 3 Items", false);
    auto* progress = second->barItems().progressView();
    ASSERT_TRUE(progress);
    EXPECT_EQ(second->centreItem(), second->barItems().progressItem());
    EXPECT_EQ(navigation->toolbar().items(), second->toolbarItems());
    EXPECT_EQ(progress->text(), "Copying 3 Items");
    EXPECT_EQ(progress->style(), 1);
    EXPECT_EQ(progress->frame(), (gfx::Rect { { 0, 0 }, VKOperationProgressView::standardSizeForToolbarItem() }));
    EXPECT_EQ(second->navigationItem().rightBarButtonItem()->title(), "Cancel");
    // The screen below changes when it shows again.
    EXPECT_EQ(first->centreItem(), info);
    EXPECT_FALSE(first->barItems().progressView());

    navigation->popViewController(false);
    runLoop();
    ASSERT_TRUE(first->barItems().progressView());
    EXPECT_EQ(first->centreItem(), first->barItems().progressItem());
    EXPECT_EQ(first->navigationItem().rightBarButtonItem()->title(), "Cancel");

    // The end is heard 0.1 s later; the folder information returns.
    BrowserOperation::endOperation(run);
    advance(0.09);
    EXPECT_TRUE(first->barItems().progressView());
    advance(0.01);
    runLoop();
    EXPECT_EQ(first->tally->ends, 1);
    EXPECT_FALSE(first->barItems().progressView());
    EXPECT_EQ(first->centreItem(), info);
    EXPECT_EQ(first->navigationItem().rightBarButtonItem()->systemItem(), ui::BarButtonItem::SystemItem::Action);
}

TEST_F(VKFolderControllerBaseTest, AnOperationStartedBeforeTheCancelledOneEndedIsShown)
{
    auto screen = show(TestFolderScreen::create("Documents"));
    BrowserOperation::startOperationWithLabel("Copying 3 Items", false);
    driver.tapBarItem(*screen->navigationItem().rightBarButtonItem());
    // The next operation starts before the cancelled one's end is heard.
    BrowserOperation::startOperationWithLabel("Expanding Archive.zip", true);
    auto* progress = screen->barItems().progressView();
    ASSERT_TRUE(progress);
    EXPECT_EQ(progress->text(), "Expanding Archive.zip");
    EXPECT_TRUE(progress->isIndeterminate());
    EXPECT_EQ(progress->style(), 2);
    advance(0.2);
    runLoop();
    EXPECT_EQ(screen->barItems().progressView(), progress);
    EXPECT_EQ(screen->navigationItem().rightBarButtonItem()->title(), "Cancel");

    // A screen below that showed the first operation shows the second
    // when it shows again.
    finishOperation();
    auto run = BrowserOperation::startOperationWithLabel("Copying 3 Items", false);
    auto second = TestFolderScreen::create("Photos");
    navigation->pushViewController(second, false);
    runLoop();
    BrowserOperation::cancelOperation();
    BrowserOperation::startOperationWithLabel("Zipping 2 Items", false);
    EXPECT_NE(BrowserOperation::currentRun(), run);
    navigation->popViewController(false);
    advance(0.2);
    runLoop();
    ASSERT_TRUE(screen->barItems().progressView());
    EXPECT_EQ(screen->barItems().progressView()->text(), "Zipping 2 Items");
}

TEST_F(VKFolderControllerBaseTest, ProgressReachesTheBarOnTheMainThreadWithoutARebuild)
{
    auto screen = show(TestFolderScreen::create("Documents"));
    auto run = BrowserOperation::startOperationWithLabel("Copying 3 Items", false);
    auto item = screen->centreItem();
    auto* progress = screen->barItems().progressView();
    ASSERT_TRUE(progress);
    int rebuilds = screen->tally->toolbarRebuilds;

    std::thread([run] { BrowserOperation::setOperationProgress(0.4f, run); }).join();
    EXPECT_EQ(progress->progress(), 0) << "views are touched on the main thread only";
    runLoop();
    EXPECT_FLOAT_EQ(progress->progress(), 0.4f);
    BrowserOperation::setOperationProgress(7.0f);
    EXPECT_EQ(progress->progress(), 1);
    BrowserOperation::setOperationProgress(NAN);
    EXPECT_EQ(progress->progress(), 0);
    BrowserOperation::setOperationProgress(-0.5f);
    EXPECT_EQ(progress->progress(), 0);
    BrowserOperation::setOperationProgress(0.25f);
    EXPECT_EQ(screen->centreItem(), item);
    EXPECT_EQ(screen->tally->toolbarRebuilds, rebuilds);
    // Made again, the item shows the progress it has.
    EXPECT_FLOAT_EQ(screen->barItems().progressView()->progress(), 0.25f);

    // A change of kind rebuilds the item as a spinner.
    BrowserOperation::setIsOperationIndeterminate(true);
    runLoop();
    EXPECT_EQ(screen->tally->toolbarRebuilds, rebuilds + 1);
    ASSERT_TRUE(screen->barItems().progressView());
    EXPECT_TRUE(screen->barItems().progressView()->isIndeterminate());
    EXPECT_EQ(screen->barItems().progressView()->style(), 2);
    EXPECT_NE(screen->centreItem(), item);
    EXPECT_EQ(screen->barItems().progressView()->text(), "Copying 3 Items");
}

TEST_F(VKFolderControllerBaseTest, ALongerLabelWidensTheProgressItemUpToABound)
{
    auto screen = show(TestFolderScreen::create("Documents"));
    auto standard = VKOperationProgressView::standardSizeForToolbarItem();
    auto widthFor = [&](const std::string& label, bool indeterminate) {
        BrowserOperation::startOperationWithLabel(label, indeterminate);
        auto* progress = screen->barItems().progressView();
        EXPECT_TRUE(progress);
        float width = progress ? progress->frame().width() : 0;
        EXPECT_EQ(progress ? progress->frame().height() : 0, standard.height);
        finishOperation();
        return width;
    };
    EXPECT_EQ(widthFor("Copying", false), standard.width);
    auto spinner = VKOperationProgressView::create(2, { { 0, 0 }, standard });
    spinner->setText("Expanding Notes.zip");
    float needed = spinner->sizeThatFits({ 1000, standard.height }).width;
    ASSERT_GT(needed, standard.width);
    ASSERT_LT(needed, Base::MaximumProgressItemWidth);
    EXPECT_EQ(widthFor("Expanding Notes.zip", true), needed);
    EXPECT_EQ(widthFor(std::string(200, 'W'), false), Base::MaximumProgressItemWidth);
}

TEST_F(VKFolderControllerBaseTest, BarsOrientationAndRotation)
{
    delegate->setOrientationLocked(true);
    application().setStatusBarStyle(ui::Application::StatusBarStyle::BlackOpaque);
    application().setStatusBarHidden(true);
    auto screen = show(TestFolderScreen::create("Documents"));
    EXPECT_FALSE(navigation->isToolbarHidden());
    EXPECT_FALSE(delegate->isOrientationLocked());
    EXPECT_FALSE(application().isStatusBarHidden());
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::Default);
    ASSERT_TRUE(delegate->barTintColor());
    EXPECT_EQ(delegate->barTintColor(), colorWithHexString("#4A6582", 1));
    auto& bar = navigation->navigationBar();
    EXPECT_EQ(bar.barStyle(), ui::NavigationBar::Style::Default);
    EXPECT_EQ(bar.tintColor(), delegate->barTintColor());
    EXPECT_FALSE(bar.isTranslucent());
    auto& toolbar = navigation->toolbar();
    EXPECT_EQ(toolbar.barStyle(), ui::NavigationBar::Style::Default);
    EXPECT_EQ(toolbar.tintColor(), delegate->barTintColor());
    EXPECT_FALSE(toolbar.isTranslucent());

    // Any orientation, unless a presented screen refuses.
    EXPECT_TRUE(screen->shouldAutorotate(ui::Orientation::LandscapeLeft));
    navigation->presentModalViewController(ui::ViewController::create(), false);
    runLoop();
    EXPECT_FALSE(screen->shouldAutorotate(ui::Orientation::LandscapeLeft));
    EXPECT_TRUE(screen->shouldAutorotate(ui::Orientation::Portrait));
    navigation->dismissModalViewController(false);
    runLoop();

    // The labels are white over the dark shadow, and take it back after a
    // turn.
    auto* label = screen->folderInfoLabel();
    ASSERT_TRUE(label);
    EXPECT_EQ(label->textColor(), gfx::Color::white(1));
    EXPECT_EQ(label->shadowColor(), whiteTextShadowColor());
    label->setTextColor(gfx::Color::rgb255(255, 0, 0));
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    EXPECT_EQ(label->textColor(), gfx::Color::white(1));
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

TEST_F(VKFolderControllerBaseTest, TheDarkStyleTakesDarkImagesAndGreyLabels)
{
    auto screen = show(TestFolderScreen::create("Documents", true));
    auto button = [](const std::shared_ptr<ui::BarButtonItem>& item) {
        return std::dynamic_pointer_cast<ui::Button>(item->customView());
    };
    ASSERT_TRUE(image("VKButtonBarSettingsDark.png") && image("VKButtonBarHelpDark.png"));
    EXPECT_EQ(button(screen->barItems().settingsItem())->imageForState(ui::Control::Normal),
        image("VKButtonBarSettingsDark.png"));
    EXPECT_EQ(button(screen->barItems().helpItem())->imageForState(ui::Control::Normal), image("VKButtonBarHelpDark.png"));
    auto* label = screen->folderInfoLabel();
    ASSERT_TRUE(label);
    EXPECT_EQ(label->textColor(), iPadBarButtonItemDarkTextColor());
    EXPECT_EQ(label->shadowColor(), iPadBarButtonItemDarkTextShadowColor());

    BrowserOperation::startOperationWithLabel("Expanding Archive.zip", true);
    auto* progress = screen->barItems().progressView();
    ASSERT_TRUE(progress);
    EXPECT_EQ(progress->style(), 3);
    EXPECT_EQ(progress->label().textColor(), iPadBarButtonItemDarkTextColor());
    progress->label().setTextColor(gfx::Color::white(1));
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    EXPECT_EQ(progress->label().textColor(), iPadBarButtonItemDarkTextColor());
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

TEST_F(VKFolderControllerBaseTest, ToolbarItemsAndWhatTheySend)
{
    auto screen = show(TestFolderScreen::create("Documents"));
    auto settings = screen->barItems().settingsItem();
    EXPECT_NE(settings, screen->barItems().settingsItem());
    EXPECT_NE(screen->barItems().helpItem(), screen->barItems().helpItem());
    auto* settingsButton = dynamic_cast<ui::Button*>(settings->customView().get());
    ASSERT_TRUE(settingsButton);
    ASSERT_TRUE(image("VKButtonBarSettings.png"));
    EXPECT_EQ(settingsButton->imageForState(ui::Control::Normal), image("VKButtonBarSettings.png"));
    EXPECT_EQ(settingsButton->bounds().size, image("VKButtonBarSettings.png")->size());
    EXPECT_TRUE(settingsButton->showsTouchWhenHighlighted());

    // The toolbar's settings and help buttons put their screens up.
    const auto& items = screen->toolbarItems();
    driver.tap(*items[1]->customView());
    advance(1);
    EXPECT_TRUE(navigation->modalViewController());
    navigation->dismissModalViewController(false);
    runLoop();
    driver.tap(*items[5]->customView());
    advance(1);
    EXPECT_TRUE(navigation->modalViewController());
    navigation->dismissModalViewController(false);
    runLoop();

    // The folder information is made once.
    auto fresh = TestFolderScreen::create("Fresh");
    auto info = fresh->barItems().folderInfoItem();
    EXPECT_EQ(fresh->barItems().folderInfoItem(), info);
    auto* label = fresh->folderInfoLabel();
    ASSERT_TRUE(label);
    EXPECT_EQ(label->frame(), (gfx::Rect { 0, 0, 100, 20 }));
    EXPECT_EQ(label->backgroundColor(), gfx::Color());
    EXPECT_EQ(label->shadowOffset(), (gfx::Size { 0, 1 }));

    // Loaded, the screen builds its bars; a memory warning out of the
    // window lets its items go, and the next load makes them again.
    fresh->view();
    EXPECT_TRUE(fresh->barItems().serverStateButton());
    EXPECT_EQ(fresh->toolbarItems().size(), 6u);
    fresh->didReceiveMemoryWarning();
    EXPECT_FALSE(fresh->isViewLoaded());
    EXPECT_FALSE(fresh->barItems().serverStateButton());
    EXPECT_FALSE(fresh->folderInfoLabel());
    fresh->view();
    EXPECT_TRUE(fresh->barItems().serverStateButton());
    EXPECT_TRUE(fresh->folderInfoLabel());
}

} // namespace

#include "Shell/Interface/LayoutConstants.h"
#include "Shell/Interface/ModalPopoverAdditions.h"
#include "Shell/Interface/PopoverControllerAdditions.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/ViewController.h"
#include "Support/TestEnvironment.h"
#include "Support/UITestCase.h"

namespace {

const bool modalPopoverResetRegistered = (test::TestEnvironment::addReset(resetModalPopoverForTesting), true);

struct PopoverLog : ui::PopoverControllerDelegate {
    std::vector<std::string> heard;
    void didDismiss(ui::PopoverController&) override { heard.push_back("did-dismiss"); }
};

class Rotating : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

std::shared_ptr<ui::ViewController> picker(float height = 500)
{
    auto content = ui::ViewController::create();
    content->setContentSizeForViewInPopover({ 320, height });
    return content;
}

// A tablet screen: a navigation controller whose bar has "Move" on the
// right and whose toolbar has "Share".
class ModalPopoverTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
        ui::Screen::main()->setBounds({ 0, 0, 768, 1024 });
        window().setFrame({ 0, 0, 768, 1024 });
        root = std::make_shared<Rotating>();
        move = ui::BarButtonItem::create("Move");
        root->navigationItem().setRightBarButtonItem(move);
        share = ui::BarButtonItem::create("Share");
        root->setToolbarItems({ ui::BarButtonItem::space(), share });
        navigation = ui::NavigationController::create(root);
        navigation->setToolbarHidden(false);
        window().setRootViewController(navigation);
        runLoop();
    }
    void TearDown() override
    {
        dismissModalPopoverControllerAnimated(false);
        window().setRootViewController(nullptr);
        root.reset();
        navigation.reset();
        move.reset();
        share.reset();
        UITestCase::TearDown();
    }
    gfx::Rect onScreen(const ui::BarButtonItem& item) const
    {
        return item.view()->convertRect(item.view()->bounds(), nullptr);
    }

    std::shared_ptr<Rotating> root;
    std::shared_ptr<ui::NavigationController> navigation;
    std::shared_ptr<ui::BarButtonItem> move, share;
};

TEST_F(ModalPopoverTest, PresentedFromItemsAndViews)
{
    // From an item's view: its bounds, pass-through views as they were.
    auto popover = ui::PopoverController::create(picker(400));
    auto keep = ui::View::create({ 0, 0, 10, 10 });
    window().addSubview(keep);
    popover->setPassthroughViews({ keep });
    ASSERT_TRUE(presentPopoverFromBarButtonItemRect(*popover, *move, ui::PopoverController::Any, false));
    EXPECT_EQ(popover->arrowDirection(), ui::PopoverController::Up);
    EXPECT_EQ(popover->popoverView()->frame().minY(), onScreen(*move).maxY());
    EXPECT_EQ(popover->passthroughViews().size(), 1u);
    popover->dismiss(false);

    // An item not laid out yet: pending layout runs first.
    auto later = ui::BarButtonItem::create("Later");
    root->navigationItem().setLeftBarButtonItem(later);
    ASSERT_FALSE(later->view());
    ASSERT_TRUE(presentPopoverFromBarButtonItemRect(*popover, *later, ui::PopoverController::Any, false));
    EXPECT_TRUE(popover->isPopoverVisible());
    EXPECT_TRUE(popover->passthroughViews().empty());
    popover->dismiss(false);
    // An item on no bar at all: nothing shown, one line.
    auto nowhere = ui::BarButtonItem::create("Nowhere");
    size_t lines = logLines().size();
    EXPECT_FALSE(presentPopoverFromBarButtonItemRect(*popover, *nowhere, ui::PopoverController::Any, false));
    EXPECT_FALSE(popover->isPopoverVisible());
    EXPECT_EQ(logLines().size(), lines + 1);

    // Centred in a view, 30 % down the room a 400-point content leaves.
    EXPECT_EQ(centeredPopoverAnchor(*popover, window()), (gfx::Rect { 364, 181, 20, 20 }));
    ASSERT_TRUE(presentPopoverCenteredInView(*popover, window(), ui::PopoverController::Any, false));
    EXPECT_EQ(popover->arrowDirection(), ui::PopoverController::Up);
    EXPECT_EQ(popover->popoverView()->frame().minY(), 201);
    popover->dismiss(false);
    EXPECT_FALSE(presentPopoverCenteredInView(*popover, *ui::View::create({ 0, 0, 100, 100 }), ui::PopoverController::Any,
        false));

    // The system's flag reads false unless set.
    EXPECT_FALSE(vk_systemCancelled(*popover));
    setVk_systemCancelled(*popover, true);
    EXPECT_TRUE(vk_systemCancelled(*popover));
    EXPECT_FALSE(vk_systemCancelled(*ui::PopoverController::create(picker())));
    setVk_systemCancelled(*popover, false);
    EXPECT_FALSE(vk_systemCancelled(*popover));
    EXPECT_EQ(VKModalPopoverContentSize, (gfx::Size { 320, 500 }));
}

TEST_F(ModalPopoverTest, OneAtATimeForgottenOnEveryDismissal)
{
    auto log = std::make_shared<PopoverLog>();
    auto first = presentViewControllerInModalPopover(picker(), move, ui::PopoverController::Any, false);
    ASSERT_TRUE(first);
    first->setDelegate(log);
    EXPECT_EQ(modalPopoverController(), first);
    EXPECT_TRUE(first->isPopoverVisible());

    // A second closes the first, unanimated; the first's delegate hears
    // nothing of it.
    auto second = presentViewControllerInModalPopover(picker(), std::static_pointer_cast<ui::View>(window().shared_from_this()),
        ui::PopoverController::Any, false);
    ASSERT_TRUE(second);
    EXPECT_FALSE(first->isPopoverVisible());
    EXPECT_EQ(modalPopoverController(), second);
    EXPECT_EQ(driver.popover(), second);
    EXPECT_TRUE(log->heard.empty());

    // An outside tap forgets it and tells its delegate.
    second->setDelegate(log);
    driver.tapOutsidePopover();
    EXPECT_FALSE(modalPopoverController());
    EXPECT_EQ(log->heard, std::vector<std::string> { "did-dismiss" });

    // A dismissal in code on the popover itself forgets it, silently.
    auto third = presentViewControllerInModalPopover(picker(), share, ui::PopoverController::Any, false);
    third->setDelegate(log);
    third->dismiss(true);
    EXPECT_FALSE(modalPopoverController());
    EXPECT_EQ(log->heard.size(), 1u);

    // The controller's dismissal tells the delegate.
    auto fourth = presentViewControllerInModalPopover(picker(), share, ui::PopoverController::Any, false);
    fourth->setDelegate(log);
    dismissModalPopoverControllerAnimated(true);
    EXPECT_FALSE(modalPopoverController());
    EXPECT_FALSE(fourth->isPopoverVisible());
    EXPECT_EQ(log->heard, (std::vector<std::string> { "did-dismiss", "did-dismiss" }));
    dismissModalPopoverControllerAnimated(true);
    EXPECT_EQ(log->heard.size(), 2u);

    // From an item on no bar: nothing shown and nothing kept.
    auto nowhere = ui::BarButtonItem::create("Nowhere");
    EXPECT_FALSE(presentViewControllerInModalPopover(picker(), nowhere, ui::PopoverController::Any, true));
    EXPECT_FALSE(modalPopoverController());
    EXPECT_TRUE(ui::PopoverController::shownPopovers().empty());
}

TEST_F(ModalPopoverTest, ReopensAfterATurnWhereItsItemWent)
{
    auto log = std::make_shared<PopoverLog>();
    auto popover = presentViewControllerInModalPopover(picker(), share, ui::PopoverController::Any, false);
    popover->setDelegate(log);
    ASSERT_EQ(popover->arrowDirection(), ui::PopoverController::Down);
    gfx::Rect before = onScreen(*share);

    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    EXPECT_FALSE(popover->isPopoverVisible());
    EXPECT_EQ(modalPopoverController(), popover);
    advance(0.35);
    EXPECT_FALSE(popover->isPopoverVisible());
    advance(0.1);
    ASSERT_TRUE(popover->isPopoverVisible());
    gfx::Rect after = onScreen(*share);
    EXPECT_NE(after, before);
    EXPECT_EQ(popover->arrowDirection(), ui::PopoverController::Down);
    // Upright in the turned interface, its arrow on the item's top.
    ui::View* shown = popover->popoverView();
    gfx::Rect item = share->view()->convertRect(share->view()->bounds(), shown);
    EXPECT_NEAR(item.minY(), shown->bounds().maxY(), 0.01);
    EXPECT_GT(item.maxX(), shown->bounds().minX());
    EXPECT_EQ(popover->delegate(), log);
    EXPECT_TRUE(log->heard.empty());

    // Centred in a view: centred again in its new bounds.
    auto centred = presentViewControllerInModalPopover(picker(400), navigation->view(), ui::PopoverController::Any, true);
    ASSERT_TRUE(centred);
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
    ASSERT_TRUE(centred->isPopoverVisible());
    gfx::Rect anchor = centeredPopoverAnchor(*centred, *navigation->view());
    EXPECT_EQ(centred->popoverView()->frame().minY(),
        navigation->view()->convertRect(anchor, centred->popoverView()->superview()).maxY());

    // The toolkit's own close may come first: the hook still keeps it.
    centred->dismissForRotation();
    EXPECT_EQ(modalPopoverController(), centred);
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeRight));
    advance(1);
    EXPECT_TRUE(centred->isPopoverVisible());
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

TEST_F(ModalPopoverTest, ForgottenWhileClosedForATurnItNeverComesBack)
{
    // Dismissed during the 0.4 s.
    auto popover = presentViewControllerInModalPopover(picker(), share, ui::PopoverController::Any, false);
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(0.2);
    auto log = std::make_shared<PopoverLog>();
    popover->setDelegate(log);
    dismissModalPopoverControllerAnimated(false);
    EXPECT_FALSE(modalPopoverController());
    EXPECT_EQ(log->heard, std::vector<std::string> { "did-dismiss" });
    advance(1);
    EXPECT_FALSE(popover->isPopoverVisible());

    // Dismissed in code on the popover while closed.
    auto closed = presentViewControllerInModalPopover(picker(), share, ui::PopoverController::Any, false);
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    closed->dismiss(false);
    EXPECT_FALSE(modalPopoverController());
    advance(1);
    EXPECT_FALSE(closed->isPopoverVisible());

    // Replaced while closed: only the successor shows.
    auto old = presentViewControllerInModalPopover(picker(), share, ui::PopoverController::Any, false);
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    auto successor = presentViewControllerInModalPopover(picker(), move, ui::PopoverController::Any, false);
    advance(1);
    EXPECT_FALSE(old->isPopoverVisible());
    EXPECT_TRUE(successor->isPopoverVisible());
    EXPECT_EQ(ui::PopoverController::shownPopovers().size(), 1u);

    // Its item gone from the bar while closed: nothing shows, nothing is kept.
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    root->navigationItem().setRightBarButtonItem(nullptr);
    advance(1);
    EXPECT_FALSE(successor->isPopoverVisible());
    EXPECT_FALSE(modalPopoverController());
}

TEST_F(ModalPopoverTest, ManyTurnsLeaveNothingBehind)
{
    auto& center = core::NotificationCenter::defaultCenter();
    long views = ui::LiveObjects::views, controllers = ui::LiveObjects::controllers;
    size_t observations = center.observationCountForTesting();
    auto popover = presentViewControllerInModalPopover(picker(), share, ui::PopoverController::Any, false);
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(driver.rotate(i % 2 ? ui::Orientation::Portrait : ui::Orientation::LandscapeLeft));
        // Every other turn comes before the popover is back.
        advance(i % 4 < 2 ? 0.2 : 1);
    }
    advance(1);
    EXPECT_TRUE(popover->isPopoverVisible());
    EXPECT_EQ(modalPopoverController(), popover);
    dismissModalPopoverControllerAnimated(false);
    popover.reset();
    runLoop();
    EXPECT_EQ(ui::LiveObjects::views, views);
    EXPECT_EQ(ui::LiveObjects::controllers, controllers);
    EXPECT_EQ(center.observationCountForTesting(), observations);
}

} // namespace

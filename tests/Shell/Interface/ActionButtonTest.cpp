#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/ButtonAdditions.h"
#include "Shell/Interface/LayoutConstants.h"
#include "Shell/Interface/VKActionButton.h"
#include "Shell/Interface/VKRepeatButton.h"

#include "Kit/VKTintButton.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/Window.h"
#include "Support/UIScreens.h"
#include "Support/UITestCase.h"

#include <cmath>

using ui::Control;

namespace {

class ActionButtonTest : public test::UITestCase { };

class PagerButton : public VKActionButton { };

std::shared_ptr<gfx::Image> blankImage(float width, float height)
{
    return gfx::makeImageContext({ width, height }, 1)->makeImage();
}

TEST_F(ActionButtonTest, MadeForTheToolbar)
{
    auto button = VKActionButton::actionButton();
    EXPECT_EQ(button->contentVerticalAlignment(), Control::ContentVerticalAlignment::Bottom);
    EXPECT_EQ(button->autoresizingMask(), unsigned(ui::View::FlexibleHeight));
    EXPECT_FALSE(button->adjustsImageWhenHighlighted());
    EXPECT_FALSE(button->isOpaque());
    EXPECT_EQ(button->titleEdgeInsets(), (gfx::EdgeInsets { -1, 0, 1, 0 }));
    EXPECT_EQ(button->titleLabel().font(), ui::Fonts::boldSystemFont(11));
    EXPECT_EQ(button->badgeInsets(), (gfx::EdgeInsets { 7, 0, 0, 5 }));

    std::shared_ptr<PagerButton> pager = VKActionButton::actionButton<PagerButton>();
    EXPECT_EQ(pager->badgeInsets(), (gfx::EdgeInsets { 7, 0, 0, 5 }));
    EXPECT_EQ(pager->titleLabel().font(), ui::Fonts::boldSystemFont(11));
}

TEST_F(ActionButtonTest, HeightFollowsTheStatusBar)
{
    auto button = VKActionButton::actionButton();
    button->setTitle("Email");
    EXPECT_EQ(button->title(), "Email");
    button->setImage(blankImage(40, 24));
    EXPECT_EQ(button->frame().size, (gfx::Size { 40, VKToolbarDefaultHeight })) << "a new image sizes it";
    EXPECT_EQ(button->sizeThatFits({ 60, 10 }), (gfx::Size { 60, 44 }));
    button->setTitle("Move to a folder");
    float title = ui::Fonts::sizeOfString("Move to a folder", ui::Fonts::boldSystemFont(11)).width;
    EXPECT_EQ(button->sizeThatFits({ 10, 10 }), (gfx::Size { title, 44 }));

    // The status bar, not the device nor the bounds, says landscape.
    application().setDeviceOrientation(ui::Orientation::LandscapeLeft);
    EXPECT_EQ(button->sizeThatFits({}).height, 44);
    application().setStatusBarOrientation(ui::Orientation::LandscapeLeft, false);
    float small = ui::Fonts::sizeOfString("Move to a folder", ui::Fonts::boldSystemFont(10)).width;
    EXPECT_EQ(button->sizeThatFits({ 10, 10 }), (gfx::Size { small, VKToolbarSmallHeight }));
    button->layoutIfNeeded();
    button->setNeedsLayout();
    button->layoutIfNeeded();
    EXPECT_EQ(button->titleLabel().font(), ui::Fonts::boldSystemFont(10));
    EXPECT_EQ(button->titleEdgeInsets(), gfx::EdgeInsets {});

    // Joining a bar sizes it.
    auto bar = ui::View::create({ 0, 0, 320, 32 });
    bar->addSubview(button);
    EXPECT_EQ(button->frame().height(), 32);

    // A tablet's toolbar keeps its height sideways, and so do its buttons.
    test::useDeviceScreen(window(), test::tabletScreen);
    EXPECT_EQ(button->sizeThatFits({ 10, 10 }), (gfx::Size { title, VKToolbarDefaultHeight }));
    EXPECT_EQ(ui::Toolbar::create({ 0, 0, 1024, 0 })->sizeThatFits({ 1024, 0 }).height, VKToolbarDefaultHeight);
}

TEST_F(ActionButtonTest, DisabledAndHighlightedLooks)
{
    auto button = VKActionButton::actionButton();
    button->setTitle("Delete");
    button->setEnabled(false);
    EXPECT_FLOAT_EQ(button->alpha(), 0.5f);
    EXPECT_FLOAT_EQ(button->titleLabel().alpha(), 0.5f);
    button->setEnabled(true);
    EXPECT_FLOAT_EQ(button->alpha(), 1);
    EXPECT_FLOAT_EQ(button->titleLabel().alpha(), 1);

    button->setHighlighted(true);
    EXPECT_EQ(button->backgroundColor(), gfx::Color::white(0, 0.3f));
    button->setHighlighted(false);
    EXPECT_EQ(button->backgroundColor().alpha(), 0);
    button->setShowsTouchWhenHighlighted(true);
    button->setHighlighted(true);
    EXPECT_EQ(button->backgroundColor().alpha(), 0);
}

TEST_F(ActionButtonTest, ImageSitsInTheRoomAboveTheTitle)
{
    auto button = VKActionButton::actionButton();
    gfx::Rect bounds { 0, 0, 60, 44 };
    EXPECT_EQ(button->backgroundRectForBounds(bounds), bounds) << "no image";

    button->setImage(blankImage(24, 24));
    EXPECT_EQ(button->backgroundRectForBounds(bounds), (gfx::Rect { 18, 10, 24, 24 })) << "no title: the whole bounds";

    button->setTitle("Email");
    float titleTop = button->titleRectForContentRect(button->contentRectForBounds(bounds)).minY();
    float room = titleTop - 2;
    ASSERT_GT(room, 24);
    EXPECT_EQ(button->backgroundRectForBounds(bounds), (gfx::Rect { 18, 1 + std::ceil((room - 24) / 2), 24, 24 }));

    // Taller than the room: as high as the room, as wide in proportion.
    button->setImage(blankImage(30, 60));
    EXPECT_EQ(button->backgroundRectForBounds(bounds),
        (gfx::Rect { std::trunc((60 - std::round(room / 2)) / 2), 1, std::round(room / 2), room }));
}

class RepeatButtonTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        button = VKRepeatButton::create({ 100, 100, 60, 44 });
        window().addSubview(button);
        button->addTarget(nullptr, "nextPage", [this](Control&, const ui::Event*) { ++pages; }, VKRepeatButton::RepeatEvent);
        runLoop();
    }
    void TearDown() override
    {
        button->removeFromSuperview();
        button.reset();
        UITestCase::TearDown();
    }

    gfx::Point inside() const { return { 130, 122 }; }
    // Outside the frame but within the tracking tolerance around it.
    gfx::Point outside() const { return { 190, 122 }; }

    std::shared_ptr<VKRepeatButton> button;
    int pages = 0;
};

TEST_F(RepeatButtonTest, HoldingRepeatsEveryHalfSecondAfterTheFirst)
{
    auto finger = driver.touchDown({ inside() });
    driver.wait(0.4);
    EXPECT_FALSE(button->isRepeating());
    driver.wait(0.1);
    EXPECT_TRUE(button->isRepeating());
    EXPECT_EQ(pages, 0);
    driver.wait(1.1);
    EXPECT_EQ(pages, 2) << "at 1.0 and 1.5 seconds";
    driver.touchUp(finger);
    EXPECT_FALSE(button->isRepeating());
    driver.wait(2);
    EXPECT_EQ(pages, 2);
}

TEST_F(RepeatButtonTest, LeavingTheFrameStopsAndComingBackResumesAtOnce)
{
    auto finger = driver.touchDown({ inside() });
    driver.wait(1.0);
    EXPECT_EQ(pages, 1);
    driver.touchMove({ { finger[0], outside() } });
    EXPECT_FALSE(button->isRepeating());
    EXPECT_TRUE(button->isTracking()) << "still within the control's tolerance";
    driver.wait(2);
    EXPECT_EQ(pages, 1);

    driver.touchMove({ { finger[0], inside() } });
    EXPECT_TRUE(button->isRepeating()) << "no first wait when coming back";
    driver.wait(0.4);
    EXPECT_EQ(pages, 1);
    driver.wait(0.1);
    EXPECT_EQ(pages, 2);
    // Moving about inside keeps the rhythm.
    driver.touchMove({ { finger[0], { 120, 110 } } });
    driver.wait(0.5);
    EXPECT_EQ(pages, 3);
    driver.touchUp(finger);
}

TEST_F(RepeatButtonTest, SecondFingerCancelAndDisablingStopIt)
{
    auto first = driver.touchDown({ inside() });
    driver.wait(0.6);
    auto second = driver.touchDown({ { 110, 110 } });
    EXPECT_FALSE(button->isRepeating());
    driver.wait(2);
    EXPECT_EQ(pages, 0);
    driver.touchUp(second);
    driver.touchUp(first);

    auto held = driver.touchDown({ inside() });
    driver.wait(1.0);
    EXPECT_EQ(pages, 1);
    driver.touchCancel(held);
    EXPECT_FALSE(button->isRepeating());
    driver.wait(2);
    EXPECT_EQ(pages, 1);

    held = driver.touchDown({ inside() });
    driver.wait(1.0);
    EXPECT_EQ(pages, 2);
    button->setEnabled(false);
    EXPECT_FALSE(button->isRepeating());
    driver.touchMove({ { held[0], { 125, 115 } } });
    driver.wait(2);
    EXPECT_EQ(pages, 2) << "a disabled button does not resume";
    driver.touchUp(held);
}

TEST_F(RepeatButtonTest, DestroyedButtonLeavesNoTimer)
{
    auto loose = VKRepeatButton::create({ 0, 0, 40, 40 });
    int fired = 0;
    loose->addTarget(nullptr, "page", [&](Control&, const ui::Event*) { ++fired; }, VKRepeatButton::RepeatEvent);
    auto touch = ui::Touch::create({ 10, 10 }, 0);
    loose->touchesBegan({ touch }, ui::Event::touches({ touch }));
    advance(0.6);
    ASSERT_TRUE(loose->isRepeating());
    loose.reset();
    advance(5);
    EXPECT_EQ(fired, 0);
    EXPECT_FALSE(core::RunLoop::main().runOnce()) << core::RunLoop::main().describePendingWork();
}

TEST_F(ActionButtonTest, ButtonsInOneCall)
{
    auto image = blankImage(30, 20);
    auto plain = buttonWithImage(image);
    EXPECT_EQ(plain->bounds(), (gfx::Rect { 0, 0, 30, 20 }));
    EXPECT_EQ(plain->imageForState(Control::Normal), image);
    std::shared_ptr<VKTintButton> tint = buttonWithImage<VKTintButton>(image);
    EXPECT_EQ(tint->bounds().size, (gfx::Size { 30, 20 }));

    auto bar = barButtonItemButtonWithTitle("Edit", ui::StretchableImage(blankImage(40, 30), 5));
    EXPECT_EQ(bar->titleLabel().font(), ui::Fonts::boldSystemFont(ui::Fonts::SmallSystemFontSize));
    EXPECT_EQ(bar->titleShadowColorForState(Control::Normal), gfx::Color::white(0.39f));
    EXPECT_EQ(bar->titleLabel().shadowOffset(), (gfx::Size { 0, -1 }));
    EXPECT_EQ(bar->titleColorForState(Control::Disabled), gfx::Color::white(0.83f));
    EXPECT_EQ(bar->backgroundImageForState(Control::Normal).leftCapWidth, 5);
    float title = ui::Fonts::sizeOfString("Edit", ui::Fonts::boldSystemFont(12)).width;
    EXPECT_EQ(bar->frame().width(), std::max(title, 40.0f) + 20);

    auto badge = badgeButton();
    auto artwork = badge->backgroundImageForState(Control::Normal);
    ASSERT_TRUE(artwork) << "VKButtonBadge.png from the bundle";
    EXPECT_GT(artwork.size().width, 20);
    EXPECT_EQ(artwork.leftCapWidth, 10);
    EXPECT_EQ(badge->titleColorForState(Control::Normal), gfx::Color::white(1));
    EXPECT_EQ(badge->titleEdgeInsets(), (gfx::EdgeInsets { -2, 6, 2, 5 }));
    EXPECT_EQ(badge->titleLabel().font(), ui::Fonts::boldSystemFont(11));
    EXPECT_EQ(badge->titleLabel().textAlignment(), gfx::TextAlignment::Center);
}

TEST_F(ActionButtonTest, BarItemsInOneCall)
{
    auto owner = std::make_shared<core::Object>();
    int done = 0;
    auto system = barButtonSystemItem(ui::BarButtonItem::SystemItem::Done, owner, "finish",
        [&](ui::BarButtonItem&) { ++done; });
    EXPECT_EQ(system->systemItem(), ui::BarButtonItem::SystemItem::Done);
    system->sendActions();
    EXPECT_EQ(done, 1);
    EXPECT_TRUE(barButtonItemWithTitle("Share", ui::BarButtonItem::Style::Bordered)->targets().entries().empty());
    auto titled = barButtonItemWithTitle("Share", ui::BarButtonItem::Style::Done, owner, "share", [](auto&) { });
    EXPECT_EQ(titled->title(), "Share");
    EXPECT_EQ(titled->style(), ui::BarButtonItem::Style::Done);
    auto image = blankImage(20, 20);
    EXPECT_EQ(barButtonItemWithImage(image, ui::BarButtonItem::Style::Plain)->image(), image);
    auto view = ui::View::create({ 0, 0, 40, 30 });
    EXPECT_EQ(barButtonItemWithCustomView(view)->customView(), view);
    EXPECT_TRUE(flexibleSpaceBarButtonItem()->isFlexibleSpace());
    auto fixed = fixedSpaceBarButtonItemWithWidth(12);
    EXPECT_TRUE(fixed->isSpace());
    EXPECT_FALSE(fixed->isFlexibleSpace());
    EXPECT_EQ(fixed->width(), 12);
}

TEST_F(ActionButtonTest, FindActionPrefersTheCustomControls)
{
    auto owner = std::make_shared<core::Object>();
    auto noop = [](Control&, const ui::Event*) { };

    // A button with one action, the item with none.
    auto button = ui::Button::create();
    button->addTarget(nullptr, "emailFiles", noop, Control::TouchUpInside);
    auto item = barButtonItemWithCustomView(button);
    EXPECT_EQ(findAction(*item), "emailFiles");

    // The first target's first action, over every event.
    auto several = ui::Button::create();
    several->addTarget(owner, "moveFiles", noop, Control::TouchDown);
    several->addTarget(owner, "copyFiles", noop, Control::TouchUpInside);
    several->addTarget(nullptr, "other", noop, Control::TouchUpInside);
    EXPECT_EQ(findAction(*barButtonItemWithCustomView(several)), "moveFiles");

    // A control without actions, or a view that is no control: the item's
    // own action.
    auto quiet = barButtonItemWithCustomView(ui::Button::create());
    quiet->addTarget(owner, "share", [](auto&) { });
    EXPECT_EQ(findAction(*quiet), "share");
    auto plain = barButtonItemWithCustomView(ui::View::create());
    EXPECT_FALSE(findAction(*plain));
    EXPECT_EQ(findAction(*barButtonItemWithTitle("Go", ui::BarButtonItem::Style::Plain, owner, "go", [](auto&) { })),
        "go");

    // A gone target's pairs do not count.
    auto gone = std::make_shared<core::Object>();
    auto stale = ui::Button::create();
    stale->addTarget(gone, "stale", noop, Control::TouchUpInside);
    stale->addTarget(owner, "live", noop, Control::TouchUpInside);
    gone.reset();
    EXPECT_EQ(findAction(*barButtonItemWithCustomView(stale)), "live");
}

TEST_F(ActionButtonTest, BarItemDescription)
{
    auto plain = ui::BarButtonItem::create("Plain", ui::BarButtonItem::Style::Plain);
    EXPECT_EQ(plain->description(), "BarButtonItem, Plain");
    auto owner = std::make_shared<core::Object>();
    auto view = ui::View::create();
    auto item = barButtonItemWithCustomView(view);
    item->setStyle(ui::BarButtonItem::Style::Bordered);
    item->addTarget(owner, "share", [](auto&) { });
    EXPECT_EQ(item->description(), "BarButtonItem, Bordered, target: " + owner->description()
            + ", action: share, customView: " + view->description());
    item->setStyle(ui::BarButtonItem::Style(7));
    EXPECT_EQ(item->description().substr(0, 23), "BarButtonItem, Unknown,");
}

} // namespace

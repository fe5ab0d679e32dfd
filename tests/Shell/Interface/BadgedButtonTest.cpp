#include "Shell/Interface/VKBadgedButton.h"
#include "Shell/Interface/VKTabBarButton.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UITestCase.h"

#include <cmath>

using ui::Control;

namespace {

class BadgedButtonTest : public test::UITestCase { };

// A root controller that turns with the device.
class BadgeTurningController : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

int countBadges(const ui::View& button)
{
    int count = 0;
    for (const auto& subview : button.subviews())
        count += dynamic_cast<ui::Button*>(subview.get()) != nullptr;
    return count;
}

TEST_F(BadgedButtonTest, OneBadgeForAValueAndNoneWithout)
{
    auto button = VKBadgedButton::create({ 0, 0, 64, 44 });
    EXPECT_FALSE(button->badgeValue());
    button->setBadgeValue("3");
    button->setBadgeValue("3");
    EXPECT_EQ(countBadges(*button), 1);
    EXPECT_EQ(button->badgeValue(), "3");
    ui::Button* badge = button->badgeView();
    button->setBadgeValue("12");
    EXPECT_EQ(button->badgeView(), badge) << "a new value goes on the same badge";
    EXPECT_EQ(badge->currentTitle(), "12");

    button->setBadgeValue("");
    EXPECT_EQ(countBadges(*button), 0);
    EXPECT_FALSE(button->badgeValue());
    button->setBadgeValue("4");
    button->setBadgeValue(std::nullopt);
    EXPECT_EQ(countBadges(*button), 0);
    button->setBadgeValue(std::nullopt);

    // Broken UTF-8 shows the replacement character.
    button->setBadgeValue("\xff" "7");
    EXPECT_EQ(button->badgeValue(), "\xEF\xBF\xBD" "7");
}

TEST_F(BadgedButtonTest, BadgeSitsOnTheTopRightCorner)
{
    auto button = VKBadgedButton::create({ 0, 0, 64, 44 });
    button->setBadgeInsets({ 7, 0, 0, 10 });
    button->setBadgeValue("3");
    button->layoutIfNeeded();
    ui::Button* badge = button->badgeView();
    gfx::Size image = badge->currentBackgroundImage().size();
    ASSERT_GT(image.width, 20) << "the bundle's badge artwork";
    // A short count: as wide as the artwork, centred 10 points in from the
    // right edge, a quarter of it above the top inset.
    EXPECT_EQ(badge->frame(), (gfx::Rect { 64 - image.width / 2 - 10, 7 - image.height / 4, image.width, image.height }));

    // A long one: its text with the title insets sets the width.
    button->setBadgeValue("12345678");
    button->layoutIfNeeded();
    float text = ui::Fonts::sizeOfString("12345678", ui::Fonts::boldSystemFont(11)).width;
    ASSERT_GT(text + 11, image.width);
    EXPECT_FLOAT_EQ(badge->frame().width(), text + 11);
    EXPECT_FLOAT_EQ(badge->frame().midX(), 54);
}

TEST_F(BadgedButtonTest, BadgeTapIsATapOnTheButton)
{
    auto button = VKBadgedButton::create({ 100, 100, 64, 44 });
    window().addSubview(button);
    button->setBadgeInsets({ 7, 0, 0, 10 });
    button->setBadgeValue("3");
    int downs = 0, ups = 0;
    button->addTarget(nullptr, "down", [&](Control&, const ui::Event*) { ++downs; }, Control::TouchDown);
    button->addTarget(nullptr, "up", [&](Control&, const ui::Event*) { ++ups; }, Control::TouchUpInside);
    runLoop();

    driver.tap(*button->badgeView());
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);

    // Disabling the button disables its badge; a badge made later starts
    // disabled too.
    button->setEnabled(false);
    EXPECT_FALSE(button->badgeView()->isEnabled());
    button->setBadgeValue(std::nullopt);
    button->setBadgeValue("5");
    EXPECT_FALSE(button->badgeView()->isEnabled());
    button->setEnabled(true);
    EXPECT_TRUE(button->badgeView()->isEnabled());
    driver.tap(*button);
    EXPECT_EQ(downs, 2);
    EXPECT_EQ(ups, 2);
    button->removeFromSuperview();
}

TEST_F(BadgedButtonTest, TabFactories)
{
    EXPECT_FALSE(VKTabBarButton::tabBarButtonWithStyle(0));
    EXPECT_FALSE(VKTabBarButton::tabBarButtonWithStyle(2));
    EXPECT_FALSE(VKTabBarButton::tabBarButtonWithStyle(-1));

    auto more = VKTabBarButton::tabBarButtonWithStyle(1);
    ASSERT_TRUE(more);
    EXPECT_EQ(more->tabBarStyle(), 1);
    EXPECT_EQ(more->backgroundImageBasename(), "VKTabBarButtonMore");
    EXPECT_EQ(more->currentTitle(), "More");
    EXPECT_EQ(more->badgeInsets(), (gfx::EdgeInsets { 7, 0, 0, 10 }));
    EXPECT_EQ(more->titleLabel().font(), ui::Fonts::boldSystemFont(10));
    EXPECT_EQ(more->titleColorForState(Control::Normal), gfx::Color::white(0.5f));
    EXPECT_EQ(more->titleColorForState(Control::Selected), gfx::Color::white(1));
    EXPECT_EQ(more->contentVerticalAlignment(), Control::ContentVerticalAlignment::Bottom);
    EXPECT_EQ(more->autoresizingMask(), unsigned(ui::View::FlexibleHeight));
    EXPECT_FALSE(more->adjustsImageWhenHighlighted());

    // Portrait artwork; the selected picture serves the highlighted state.
    auto normal = more->backgroundImageForState(Control::Normal);
    auto selected = more->backgroundImageForState(Control::Selected);
    ASSERT_TRUE(normal && selected);
    EXPECT_GE(normal.size().width, 64);
    EXPECT_NE(normal.image, selected.image);
    EXPECT_EQ(more->backgroundImageForState(Control::Highlighted).image, selected.image);
    EXPECT_EQ(more->titleEdgeInsets(), (gfx::EdgeInsets { -2, 0, 2, 0 }));
}

TEST_F(BadgedButtonTest, TabTakesSmallArtworkWhenTheInterfaceTurns)
{
    window().setRootViewController(std::make_shared<BadgeTurningController>());
    auto tab = VKTabBarButton::tabBarButtonWithBackgroundImageBasename("VKTabBarButtonMore");
    auto portrait = tab->backgroundImageForState(Control::Normal).image;

    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    auto small = tab->backgroundImageForState(Control::Normal).image;
    ASSERT_TRUE(small);
    EXPECT_NE(small, portrait);
    EXPECT_LT(small->size().height, portrait->size().height);
    EXPECT_EQ(tab->titleEdgeInsets(), (gfx::EdgeInsets { -1, 0, 1, 0 }));
    EXPECT_EQ(tab->frame().size.height, small->size().height) << "sized to fit its artwork";

    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    EXPECT_EQ(tab->backgroundImageForState(Control::Normal).image, portrait);
    EXPECT_EQ(tab->titleEdgeInsets(), (gfx::EdgeInsets { -2, 0, 2, 0 }));

    // The device may turn without the interface following: the artwork
    // follows the status bar, not the device.
    application().setDeviceOrientation(ui::Orientation::FaceUp);
    EXPECT_EQ(tab->backgroundImageForState(Control::Normal).image, portrait);
    window().setRootViewController(nullptr);
}

TEST_F(BadgedButtonTest, MissingSmallArtworkFallsBackAndMissingArtworkIsReportedOnce)
{
    // A bundle with only the portrait pair.
    makeFolder("bundle");
    std::string resources = sourcePath("resources");
    for (std::string name : { "VKTabBarButtonMore", "VKTabBarButtonMoreSelected" })
        ASSERT_TRUE(core::fs::copyItem(resources + "/" + name + ".png", pathInHome("bundle/" + name + ".png")));
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(pathInHome("bundle")));
    window().setRootViewController(std::make_shared<BadgeTurningController>());

    auto tab = VKTabBarButton::tabBarButtonWithBackgroundImageBasename("VKTabBarButtonMore");
    auto portrait = tab->backgroundImageForState(Control::Normal).image;
    ASSERT_TRUE(portrait);
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeRight));
    EXPECT_EQ(tab->backgroundImageForState(Control::Normal).image, portrait);
    EXPECT_TRUE(tab->backgroundImageForState(Control::Selected));
    EXPECT_EQ(tab->titleEdgeInsets(), (gfx::EdgeInsets { -1, 0, 1, 0 }));
    EXPECT_FALSE(logContains("VKTabBarButtonMore")) << "a fallback is no fault";

    auto none = VKTabBarButton::tabBarButtonWithBackgroundImageBasename("Nothing");
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    EXPECT_FALSE(none->currentBackgroundImage());
    int lines = 0;
    for (const auto& line : logLines())
        lines += line.find("Nothing.png") != std::string::npos;
    EXPECT_EQ(lines, 1);
    EXPECT_TRUE(logContains("NothingSelected.png"));
    window().setRootViewController(nullptr);
}

TEST_F(BadgedButtonTest, TabGeometry)
{
    auto tab = VKTabBarButton::tabBarButtonWithBackgroundImageBasename("VKTabBarButtonMore");
    tab->setTitle(std::string("Downloads"), Control::Normal);
    gfx::Size image = tab->currentBackgroundImage().size();

    // Centred across; in the room above the title when lower than the tab.
    gfx::Rect bounds { 0, 0, image.width + 17, 49 };
    float titleTop = tab->titleRectForContentRect(tab->contentRectForBounds(bounds)).minY();
    EXPECT_EQ(tab->backgroundRectForBounds(bounds),
        (gfx::Rect { 8, std::ceil((titleTop - image.height) / 2), image.width, image.height }));
    EXPECT_EQ(tab->backgroundRectForBounds({ 0, 0, image.width - 10, image.height }),
        (gfx::Rect { 0, 0, image.width, image.height }));

    // As high as the bar it joins; as wide as the artwork or the title with
    // 4 points each side.
    auto bar = ui::View::create({ 0, 0, 320, 49 });
    bar->addSubview(tab);
    EXPECT_EQ(tab->frame().size, (gfx::Size { image.width, 49 }));
    tab->setTitle(std::string("Downloads and Uploads"), Control::Normal);
    tab->sizeToFit();
    float title = ui::Fonts::sizeOfString("Downloads and Uploads", ui::Fonts::boldSystemFont(10)).width;
    ASSERT_GT(title + 8, image.width);
    EXPECT_EQ(tab->frame().size, (gfx::Size { title + 8, 49 }));
}

TEST_F(BadgedButtonTest, SelectedTabHasALightBehindIt)
{
    auto bar = ui::View::create({ 0, 0, 90, 49 });
    bar->setBackgroundColor(gfx::Color::white(0));
    auto tab = VKTabBarButton::tabBarButtonWithBackgroundImageBasename("VKTabBarButtonMore");
    bar->addSubview(tab);
    tab->setFrame({ 0, 0, 90, 49 });
    auto at = [&](int x, int y) {
        auto picture = ui::Renderer::renderImage(*bar);
        return test::straightPixel(*picture, x, y).red;
    };
    // Inside the light (2 in, 1 lower) but clear of the artwork.
    EXPECT_EQ(at(10, 40), 0);
    tab->setSelected(true);
    EXPECT_NEAR(at(10, 40), 51, 3);
    EXPECT_EQ(at(1, 40), 0) << "the light stands 2 points in";
}

} // namespace

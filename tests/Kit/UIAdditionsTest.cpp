#include "Support/UITestCase.h"

#include "Kit/ColorAdditions.h"
#include "Kit/GestureRecognizerAdditions.h"
#include "Kit/LayerAdditions.h"
#include "Kit/ScrollViewAdditions.h"
#include "Kit/VKTintButton.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/UI/PanGestureRecognizer.h"
#include "Platform/UI/ScrollView.h"

#include <gmock/gmock.h>

namespace {

using test::UITestCase;
class UIAdditionsTest : public UITestCase { };

struct Zooming : ui::ScrollViewDelegate {
    std::shared_ptr<ui::View> view;
    ui::View* viewForZooming(ui::ScrollView&) override { return view.get(); }
};

TEST_F(UIAdditionsTest, NormalisedPlacesAndEnclosingRectangles)
{
    auto scroll = ui::ScrollView::create({ 0, 0, 500, 500 });
    scroll->setContentSize({ 1000, 2000 });
    scroll->setContentOffset({ 250, 750 });
    EXPECT_EQ(vkNormalizedCenterOffset(*scroll), (gfx::Point { 0.5f, 0.5f }));
    scroll->setContentOffset({ 0, 0 });
    vkSetNormalizedCenterOffset(*scroll, { 0.5f, 0.5f });
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 250, 750 }));
    vkSetNormalizedCenterOffset(*scroll, { 0, 0 });
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 0, 0 }));
    vkSetNormalizedCenterOffset(*scroll, { 1, 1 });
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 500, 1500 }));

    // Short content: the smallest offset wins; no content: 0.
    EXPECT_EQ(VKCroppedContentOffset({ 30, -40 }, { 100, 100 }, { 500, 500 }, { 10, 0, 0, 0 }), (gfx::Point { 0, -10 }));
    scroll->setContentSize({ 0, 0 });
    EXPECT_EQ(vkNormalizedCenterOffset(*scroll), (gfx::Point { 0, 0 }));

    // Enclosing: x as little as needed, the top always to the top.
    scroll->setContentSize({ 1000, 2000 });
    scroll->setContentOffset({ 100, 100 });
    vkScrollToEncloseRect(*scroll, { 200, 300, 100, 100 }, 0, false);
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 100, 300 }));
    vkScrollToEncloseRect(*scroll, { 50, 1900, 100, 100 }, 10, false);
    EXPECT_EQ(scroll->contentOffset(), (gfx::Point { 40, 1500 }));

    EXPECT_EQ(vkNormalizedZoomScale(*scroll), 0); // equal limits
    auto zooming = std::make_shared<Zooming>();
    zooming->view = ui::View::create({ 0, 0, 500, 500 });
    scroll->addSubview(zooming->view);
    scroll->setDelegate(zooming);
    scroll->setContentSize({ 500, 500 });
    scroll->setMinimumZoomScale(1);
    scroll->setMaximumZoomScale(5);
    vkSetNormalizedZoomScale(*scroll, 0.25f);
    EXPECT_EQ(scroll->zoomScale(), 2);
    EXPECT_EQ(vkNormalizedZoomScale(*scroll), 0.25f);

    // The point keeps its place on the screen.
    scroll->setContentOffset({ 100, 100 });
    gfx::Point point { 300, 400 };
    gfx::Point before { point.x - 100, point.y - 100 };
    vkSetZoomScale(*scroll, 4, point, false);
    EXPECT_EQ(scroll->zoomScale(), 4);
    gfx::Point offset = scroll->contentOffset();
    EXPECT_NEAR(point.x * 2 - offset.x, before.x, 0.01);
    EXPECT_NEAR(point.y * 2 - offset.y, before.y, 0.01);
}

TEST_F(UIAdditionsTest, PatternColours)
{
    gfx::Color board = vkCheckerboardBackgroundColor();
    ASSERT_TRUE(board.isPattern());
    EXPECT_EQ(board.patternImage(), vkCheckerboardBackgroundColor().patternImage());
    auto context = gfx::makeImageContext({ 24, 24 }, 1);
    context->setFillColor(board);
    context->fillRect({ 0, 0, 24, 24 });
    gfx::Pixel white { 255, 255, 255, 255 }, grey { 204, 204, 204, 255 };
    EXPECT_EQ(context->pixelAtForTesting(0, 0), white);
    EXPECT_EQ(context->pixelAtForTesting(6, 6), white);
    EXPECT_EQ(context->pixelAtForTesting(12, 0), white);
    EXPECT_EQ(context->pixelAtForTesting(18, 18), white);
    EXPECT_EQ(context->pixelAtForTesting(6, 0), grey);
    EXPECT_EQ(context->pixelAtForTesting(0, 6), grey);

    gfx::Color textured = vkScrollViewTexturedBackgroundColor();
    ASSERT_TRUE(textured.isPattern());
    ASSERT_NE(textured.patternImage(), nullptr);
    EXPECT_EQ(textured.patternImage()->size(), (gfx::Size { 64, 64 }));

    std::unordered_map<gfx::Color, int> keyed { { board, 1 }, { textured, 2 }, { gfx::Color(1, 0, 0), 3 } };
    EXPECT_EQ(keyed.at(vkCheckerboardBackgroundColor()), 1);
    EXPECT_EQ(keyed.at(gfx::Color(1, 0, 0)), 3);

    auto button = VKTintButton::create({ 0, 0, 40, 40 });
    auto image = board.patternImage();
    button->setTintImages({ { gfx::Color(0, 0, 1), image } });
    button->setTintColor(gfx::Color(0, 0, 1));
    EXPECT_EQ(button->imageForState(ui::Control::Normal), image);
    button->setTintColor(gfx::Color(0, 1, 0));
    EXPECT_EQ(button->imageForState(ui::Control::Normal), nullptr);
}

TEST_F(UIAdditionsTest, CancellingAGesture)
{
    auto view = ui::View::create({ 0, 0, 320, 480 });
    auto pan = ui::PanGestureRecognizer::create();
    std::vector<ui::GestureRecognizer::State> states;
    pan->addTarget(nullptr, "panned", [&](ui::GestureRecognizer& r) { states.push_back(r.state()); });
    view->addGestureRecognizer(pan);
    window().addSubview(view);
    auto fingers = driver.touchDown({ { 100, 100 } });
    driver.touchMove({ { fingers[0], { 100, 150 } } });
    ASSERT_EQ(pan->state(), ui::GestureRecognizer::State::Began);
    cancel(*pan);
    EXPECT_TRUE(pan->isEnabled());
    EXPECT_EQ(states.back(), ui::GestureRecognizer::State::Cancelled);
    driver.touchUp(fingers);

    pan->setEnabled(false);
    cancel(*pan);
    EXPECT_FALSE(pan->isEnabled());
    view->removeFromSuperview();
}

TEST_F(UIAdditionsTest, LayerConveniences)
{
    auto root = layerWithBackgroundColor(gfx::Color(1, 0, 0));
    EXPECT_EQ(root->backgroundColor(), gfx::Color(1, 0, 0));
    root->setFrame({ 0, 0, 10, 20 });
    auto child = ui::Layer::create();
    auto grandchild = ui::Layer::create();
    root->addSublayer(child);
    child->addSublayer(grandchild);
    EXPECT_THAT(root->description(), ::testing::StartsWith("<Layer: 0x"));
    EXPECT_THAT(root->description(), ::testing::EndsWith(" frame {{0, 0}, {10, 20}}>"));
    std::string deep = vkDeepDescription(*root);
    EXPECT_EQ(deep, "\n" + root->description() + "\n    " + child->description() + "\n        " + grandchild->description() + "\n");
    vkRemoveAllSublayers(*root);
    EXPECT_TRUE(root->sublayers().empty());
    EXPECT_EQ(child->superlayer(), nullptr);
}

} // namespace

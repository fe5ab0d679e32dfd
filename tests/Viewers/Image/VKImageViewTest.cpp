#include "ImageTestSupport.h"

#include "Viewers/Image/VKImageLayer.h"
#include "Viewers/Image/VKImageView.h"

#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Window.h"
#include "Support/Command.h"
#include "Support/GoldenImage.h"
#include "Support/UITestCase.h"

#include <cmath>
#include <numbers>

namespace test {
namespace {

class VKImageViewTest : public UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        view = VKImageView::create({ 0, 0, 320, 480 });
        window().addSubview(view);
        delegate = std::make_shared<RecordingImageViewDelegate>();
        view->setDelegate(delegate.get());
        runLoop();
    }
    void TearDown() override
    {
        view->removeFromSuperview();
        view.reset();
        UITestCase::TearDown();
    }

    VKImageLayer& layer() const { return *view->imageLayer(); }
    // The model position of the picture layer in the view.
    gfx::Point position() const { return layer().position(); }

    std::shared_ptr<VKImageView> view;
    std::shared_ptr<RecordingImageViewDelegate> delegate;
};

TEST_F(VKImageViewTest, LoadingThePictureShownSendsNothingAndNoPictureFails)
{
    auto image = quarteredImage({ 200, 100 });
    view->loadImage(image);
    EXPECT_EQ(delegate->finished, 1);
    view->loadImage(image);
    EXPECT_EQ(delegate->finished, 1);
    EXPECT_TRUE(delegate->failures.empty());

    view->loadImage(nullptr);
    ASSERT_EQ(delegate->failures.size(), 1u);
    EXPECT_EQ(delegate->failures[0].domain(), "VKImageViewDomain");
    EXPECT_EQ(delegate->failures[0].code(), 1);
    EXPECT_EQ(delegate->failures[0].localizedDescription(), "The image appears to be invalid or is unsupported.");
    EXPECT_EQ(view->image(), nullptr);
    EXPECT_EQ(layer().contents(), nullptr);
    // Forgotten, so the same picture loads again.
    view->loadImage(image);
    EXPECT_EQ(delegate->finished, 2);
}

TEST_F(VKImageViewTest, ZoomLimitsFollowThePictureAndTheBounds)
{
    view->loadImage(quarteredImage({ 200, 100 }));
    EXPECT_FLOAT_EQ(view->zoom(), 1.0f);
    EXPECT_FLOAT_EQ(view->minimumZoom(), 1.0f);
    EXPECT_FLOAT_EQ(view->maximumZoom(), 2.0f);

    view->loadImage(quarteredImage({ 3000, 2000 }));
    EXPECT_FLOAT_EQ(view->zoom(), 320.0f / 3000);
    EXPECT_FLOAT_EQ(view->minimumZoom(), 320.0f / 3000);

    view->setZoomToFitOnLoad(true);
    view->loadImage(quarteredImage({ 100, 40 }));
    EXPECT_FLOAT_EQ(view->zoom(), 3.2f);
    EXPECT_FLOAT_EQ(view->maximumZoom(), 3.2f);
    EXPECT_FLOAT_EQ(view->minimumZoom(), 1.0f);
}

TEST_F(VKImageViewTest, PinchBelowTheMinimumIsResistedAndSpringsBack)
{
    view->loadImage(quarteredImage({ 200, 100 }));
    driver.wait(0.1);
    auto fingers = driver.touchDown({ { 110, 240 }, { 210, 240 } });
    driver.wait(0.05);
    driver.touchMove({ { fingers[0], { 135, 240 } }, { fingers[1], { 185, 240 } } });
    EXPECT_FLOAT_EQ(view->zoom(), 0.875f);
    driver.touchUp(fingers);
    EXPECT_FLOAT_EQ(view->zoom(), 1.0f);
    ASSERT_FALSE(delegate->didZoom.empty());
    EXPECT_FLOAT_EQ(delegate->didZoom.back(), 1.0f);
}

TEST_F(VKImageViewTest, PinchPastTheMaximumMovesAtAQuarterPaceAboutTheFingers)
{
    view->loadImage(quarteredImage({ 200, 100 }));
    driver.wait(0.1);
    auto fingers = driver.touchDown({ { 100, 230 }, { 200, 230 } });
    gfx::Point under = view->layer().convertPoint({ 150, 230 }, &layer());
    driver.wait(0.05);
    driver.touchMove({ { fingers[0], { 0, 230 } }, { fingers[1], { 300, 230 } } });
    EXPECT_FLOAT_EQ(view->zoom(), 2.25f);
    gfx::Point still = view->layer().convertPoint({ 150, 230 }, &layer());
    EXPECT_NEAR(still.x, under.x, 0.01);
    EXPECT_NEAR(still.y, under.y, 0.01);
    // Too soon after the last accepted move.
    driver.wait(0.02);
    driver.touchMove({ { fingers[0], { 50, 230 } }, { fingers[1], { 250, 230 } } });
    EXPECT_FLOAT_EQ(view->zoom(), 2.25f);
    driver.touchUp(fingers);
    EXPECT_FLOAT_EQ(view->zoom(), 2.0f);

    // Both fingers off the picture: no pinch at all.
    advance(1);
    float before = view->zoom();
    auto outside = driver.touchDown({ { 10, 20 }, { 30, 60 } });
    driver.wait(0.05);
    driver.touchMove({ { outside[0], { 5, 10 } }, { outside[1], { 60, 120 } } });
    EXPECT_FLOAT_EQ(view->zoom(), before);
    driver.touchUp(outside);
}

TEST_F(VKImageViewTest, DoubleTapSwitchesBetweenFitAndActualSize)
{
    view->setZoomToFitOnLoad(true);
    view->loadImage(quarteredImage({ 3000, 2000 }));
    float fit = view->zoom();
    driver.wait(1);
    driver.doubleTap(*view);
    EXPECT_FLOAT_EQ(view->zoom(), 1.0f);
    EXPECT_EQ(position(), (gfx::Point { 160, 240 }));
    EXPECT_TRUE(delegate->didZoom.empty()) << "did-zoom waits for the animation";
    advance(1);
    ASSERT_EQ(delegate->didZoom.size(), 1u);
    EXPECT_FLOAT_EQ(delegate->didZoom[0], 1.0f);

    driver.wait(1);
    driver.doubleTap(*view);
    EXPECT_FLOAT_EQ(view->zoom(), fit);

    // A third tap in a row changes nothing.
    driver.wait(1);
    driver.tap(gfx::Point { 160, 240 });
    driver.tap(gfx::Point { 160, 240 });
    float afterTwo = view->zoom();
    driver.tap(gfx::Point { 160, 240 });
    EXPECT_FLOAT_EQ(view->zoom(), afterTwo);
}

TEST_F(VKImageViewTest, PansOnlyAlongOverflowingAxesAndCoastsThenSpringsBack)
{
    view->loadImage(quarteredImage({ 300, 1000 }));
    view->setZoom(1.0f);
    advance(1);
    gfx::Point start = position();
    auto finger = driver.touchDown({ { 160, 100 } });
    driver.wait(0.1);
    driver.touchMove({ { finger[0], { 190, 380 } } });
    EXPECT_EQ(position().x, start.x) << "the picture is not wider than the view";
    EXPECT_EQ(position().y, start.y + 280);
    driver.wait(0.02);
    driver.touchMove({ { finger[0], { 190, 390 } } });
    gfx::Point lifted = position();
    driver.touchUp(finger);
    // Velocity 1 / (5 × 0.02) = 10 times the last step of 10 points.
    EXPECT_EQ(position().y, lifted.y + 100);
    auto coast = layer().animationForKey("position");
    ASSERT_TRUE(coast);
    EXPECT_DOUBLE_EQ(coast->duration, VKImageView::MomentumDuration);
    advance(0.7);
    auto spring = layer().animationForKey("position");
    ASSERT_TRUE(spring);
    EXPECT_DOUBLE_EQ(spring->duration, VKImageView::PanSpringBackDuration);
    // Pulled down past the top edge: the top meets the view's top again.
    EXPECT_FLOAT_EQ(layer().frame().minY(), 0);
    EXPECT_FLOAT_EQ(layer().frame().midX(), 160);
}

// The wheel pans a zoomed picture to its edges and leaves a fitted one to
// the views around it; Ctrl and the wheel zoom about the pointer.
TEST_F(VKImageViewTest, TheWheelPansAZoomedPictureAndZoomsAboutThePointer)
{
    view->loadImage(quarteredImage({ 300, 1000 }));
    view->setZoom(1.0f);
    advance(1);
    auto wheel = [&](gfx::Point delta) { return view->wheelEvent(ui::Event::scroll({ 160, 240 }, delta)); };
    EXPECT_TRUE(wheel({ 0, 200 }));
    advance(0.1);
    EXPECT_FLOAT_EQ(layer().frame().minY(), 240 - 500 - 200);
    EXPECT_FLOAT_EQ(layer().frame().midX(), 160) << "not wider than the view: no sideways pan";
    EXPECT_TRUE(wheel({ 0, 5000 }));
    advance(0.1);
    EXPECT_FLOAT_EQ(layer().frame().maxY(), 480) << "stops at the picture's edge";
    EXPECT_FALSE(wheel({ 40, 0 }));

    // A point of the picture under the pointer stays under it (the picture
    // shown anew, fitted and centred).
    view->loadImage(quarteredImage({ 300, 1000 }));
    view->setZoom(view->getZoomToFit());
    advance(1);
    EXPECT_FLOAT_EQ(layer().frame().minY(), 0);
    EXPECT_FALSE(wheel({ 0, 40 })) << "a fitted picture does not pan";
    gfx::Point under = view->layer().convertPoint({ 160, 200 }, &layer());
    EXPECT_TRUE(view->wheelEvent(ui::Event::zoom({ 160, 200 }, 1.5f)));
    advance(0.1);
    EXPECT_FLOAT_EQ(view->zoom(), view->getZoomToFit() * 1.5f);
    gfx::Point now = layer().convertPoint(under, &view->layer());
    EXPECT_NEAR(now.x, 160, 0.5);
    EXPECT_NEAR(now.y, 200, 0.5);
    EXPECT_EQ(delegate->didZoom.back(), view->zoom());
}

TEST_F(VKImageViewTest, SwipeIsReportedOncePastFiftyPoints)
{
    view->loadImage(quarteredImage({ 200, 100 }));
    auto finger = driver.touchDown({ { 100, 240 } });
    driver.wait(0.05);
    driver.touchMove({ { finger[0], { 150.9f, 240 } } });
    EXPECT_TRUE(delegate->swipes.empty());
    driver.wait(0.05);
    driver.touchMove({ { finger[0], { 151, 240 } } });
    driver.wait(0.05);
    driver.touchMove({ { finger[0], { 220, 240 } } });
    driver.touchUp(finger);
    ASSERT_EQ(delegate->swipes.size(), 1u);
    EXPECT_FLOAT_EQ(delegate->swipes[0], 51);

    driver.wait(1);
    finger = driver.touchDown({ { 200, 240 } });
    driver.wait(0.05);
    driver.touchMove({ { finger[0], { 120, 240 } } });
    driver.touchUp(finger);
    ASSERT_EQ(delegate->swipes.size(), 2u);
    EXPECT_FLOAT_EQ(delegate->swipes[1], -80);
}

TEST_F(VKImageViewTest, PushMovesBothPicturesAndDropsTheOldOne)
{
    view->loadImage(quarteredImage({ 200, 100 }));
    view->setTransitionType("push");
    view->setTransitionDuration(0.3);
    view->loadImage(quarteredImage({ 100, 200 }));
    ASSERT_TRUE(view->oldLayer());
    auto out = view->oldLayer()->animationForKey(VKImageView::TransitionKey);
    auto in = layer().animationForKey(VKImageView::TransitionKey);
    ASSERT_TRUE(out && in);
    EXPECT_EQ(out->keyPath, "position");
    EXPECT_EQ(std::get<gfx::Point>(out->to), (gfx::Point { 160 - 360, 240 }));
    EXPECT_EQ(std::get<gfx::Point>(in->from), (gfx::Point { 160 + 360, 240 }));
    EXPECT_DOUBLE_EQ(in->duration, 0.3);
    advance(0.4);
    EXPECT_EQ(view->oldLayer(), nullptr);
    EXPECT_EQ(view->layer().sublayers().size(), 1u);

    view->setTransitionSubtype("fromLeft");
    view->loadImage(quarteredImage({ 120, 200 }));
    EXPECT_EQ(std::get<gfx::Point>(view->oldLayer()->animationForKey(VKImageView::TransitionKey)->to),
        (gfx::Point { 160 + 360, 240 }));
    advance(0.4);

    view->setTransitionType("fade");
    view->loadImage(quarteredImage({ 200, 120 }));
    EXPECT_EQ(view->oldLayer(), nullptr);
    auto fade = layer().animationForKey(VKImageView::TransitionKey);
    ASSERT_TRUE(fade);
    EXPECT_EQ(fade->transitionType, "fade");

    view->bounceImageLayerBy(-30);
    auto bounce = layer().animationForKey(VKImageView::BounceKey);
    ASSERT_TRUE(bounce);
    EXPECT_TRUE(bounce->autoreverses);
    EXPECT_DOUBLE_EQ(bounce->duration, 0.1);
    EXPECT_EQ(std::get<gfx::Point>(bounce->to), (gfx::Point { 130, 240 }));
}

TEST_F(VKImageViewTest, HalfWayThroughAPushBothPicturesShow)
{
    view->loadImage(quarteredImage({ 320, 480 }));
    advance(1);
    view->setTransitionType("push");
    view->setTransitionDuration(1.0);
    view->loadImage(quarteredImage({ 320, 480 }));
    advance(0.5);
    auto picture = ui::Renderer::renderImage(*view);
    ASSERT_TRUE(picture);
    gfx::Pixel leaving = straightPixel(*picture, 4, 10);
    EXPECT_GT(leaving.green, 200) << "the old picture's right half leaves on the left";
    gfx::Pixel entering = straightPixel(*picture, 100, 10);
    EXPECT_GT(entering.red, 200) << "the new picture's left half enters on the right";
}

TEST_F(VKImageViewTest, TurningTheFrameKeepsFitAndSwappingBitmapsKeepsTheZoom)
{
    view->setZoomToFitOnLoad(true);
    view->loadImage(quarteredImage({ 3000, 2000 }));
    advance(1);
    view->setFrame({ 0, 0, 480, 320 });
    EXPECT_FLOAT_EQ(view->zoom(), 320.0f / 2000);
    EXPECT_TRUE(layer().animationForKey("transform") || layer().animationForKey("position"))
        << "a quarter turn re-lays out animated";
    advance(1);

    view->setZoom(0.5f);
    advance(1);
    gfx::Point at = position();
    auto preview = quarteredImage({ 300, 200 });
    view->setImage(preview);
    EXPECT_EQ(view->image(), preview);
    EXPECT_FLOAT_EQ(view->zoom(), 0.5f);
    EXPECT_EQ(position(), at);
    EXPECT_EQ(view->nativeSize(), (gfx::Size { 3000, 2000 }));
}

// Every orientation a camera writes shows as the upright picture does.
TEST_F(VKImageViewTest, TaggedOrientationsShowUpright)
{
    if (!hasProgram("exiftool"))
        GTEST_SKIP() << "exiftool is missing";
    std::string folder = makeFolder("Orientations");
    view->setZoomToFitOnLoad(true);
    auto sample = [&](const std::shared_ptr<gfx::Image>& image) {
        view->loadImage(image);
        advance(1);
        auto picture = ui::Renderer::renderImage(*view);
        std::vector<gfx::Pixel> pixels;
        gfx::Rect f = layer().frame();
        for (float fx : { 0.25f, 0.75f })
            for (float fy : { 0.25f, 0.75f })
                pixels.push_back(straightPixel(*picture, int(f.minX() + fx * f.width()), int(f.minY() + fy * f.height())));
        return pixels;
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        std::string tagged = folder + "/tagged-" + std::to_string(orientation) + ".jpg";
        std::string upright = folder + "/upright-" + std::to_string(orientation) + ".jpg";
        ASSERT_TRUE(writeQuarteredJPEG(tagged, 60, 40, orientation));
        ASSERT_EQ(runCommand({ "convert", tagged, "-auto-orient", "-strip", upright }).status, 0);
        auto taggedImage = gfx::Image::imageWithContentsOfFile(tagged);
        ASSERT_TRUE(taggedImage);
        bool sideways = orientation >= 5;
        EXPECT_EQ(taggedImage->size(), sideways ? (gfx::Size { 40, 60 }) : (gfx::Size { 60, 40 }));
        auto expected = sample(gfx::Image::imageWithContentsOfFile(upright));
        auto shown = sample(taggedImage);
        EXPECT_EQ(layer().bounds().size, (gfx::Size { 60, 40 })) << "the layer keeps the stored bitmap's sides";
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(shown[i].red, expected[i].red, 40) << i;
            EXPECT_NEAR(shown[i].green, expected[i].green, 40) << i;
            EXPECT_NEAR(shown[i].blue, expected[i].blue, 40) << i;
        }
        if (orientation == 6) {
            gfx::AffineTransform t = layer().affineTransform();
            float z = view->zoom();
            EXPECT_NEAR(t.a, 0, 1e-5);
            EXPECT_NEAR(t.b, z, 1e-5) << "a quarter turn clockwise";
            EXPECT_NEAR(t.c, -z, 1e-5);
        }
    }
}

} // namespace
} // namespace test

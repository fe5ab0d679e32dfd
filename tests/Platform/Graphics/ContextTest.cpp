#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Screen.h"

#include "Support/TestCase.h"

#include <cmath>
#include <unordered_set>

using gfx::BitmapContext;
using gfx::Color;
using gfx::Pixel;
using gfx::Rect;
using gfx::Size;

namespace {

class ContextTest : public test::TestCase { };

constexpr Pixel kOpaqueRed { 255, 0, 0, 255 };

TEST_F(ContextTest, ImageContextsRunDownFromTheTopLeftInPoints)
{
    EXPECT_FALSE(gfx::makeImageContext(Size { 0, 10 }, 1));
    EXPECT_FALSE(gfx::makeImageContext(Size { 10, 10 }, 0));
    auto context = gfx::makeImageContext(Size { 10.5f, 4 }, 2);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->width(), 21);
    EXPECT_EQ(context->height(), 8);
    EXPECT_TRUE(context->isFlipped());
    EXPECT_EQ(context->contentScale(), 2);
    context->setFillColor(1, 0, 0, 1);
    context->fillRect(Rect(0, 0, 1, 1));
    EXPECT_EQ(context->pixelAtForTesting(1, 1), kOpaqueRed);
    EXPECT_EQ(context->pixelAtForTesting(2, 2), Pixel());

    // Its image is upright, in points of its scale, and a copy.
    auto image = context->makeImage();
    EXPECT_EQ(image->size(), (Size { 10.5f, 4 }));
    EXPECT_EQ(image->scale(), 2);
    context->fillRect(Rect(0, 0, 10.5f, 4));
    auto bitmap = BitmapContext::create(21, 8);
    EXPECT_FALSE(bitmap->isFlipped());
    bitmap->drawImage(Rect(0, 0, 21, 8), *image);
    EXPECT_EQ(bitmap->pixelAtForTesting(0, 0), kOpaqueRed);
    EXPECT_EQ(bitmap->pixelAtForTesting(5, 5), Pixel());
}

TEST_F(ContextTest, PathsArcsAndFills)
{
    auto fresh = [] {
        auto context = gfx::makeImageContext(Size { 20, 20 }, 1);
        context->setFillColor(1, 0, 0, 1);
        return context;
    };
    auto context = fresh();
    // Counter-clockwise from 0 to π/2 (angles increase): a quarter pie below
    // and right of the centre, as y runs down.
    context->moveToPoint(10, 10);
    context->addArc(10, 10, 8, 0, float(M_PI / 2), false);
    context->closePath();
    context->fillPath();
    EXPECT_EQ(context->pixelAtForTesting(13, 13), kOpaqueRed);
    EXPECT_EQ(context->pixelAtForTesting(6, 6), Pixel());
    EXPECT_EQ(context->pixelAtForTesting(6, 13), Pixel());

    // Clockwise means the angle decreases: three quarters.
    context = fresh();
    context->moveToPoint(10, 10);
    context->addArc(10, 10, 8, 0, float(M_PI / 2), true);
    context->closePath();
    context->fillPath();
    EXPECT_EQ(context->pixelAtForTesting(13, 13), Pixel());
    EXPECT_EQ(context->pixelAtForTesting(6, 6), kOpaqueRed);
    EXPECT_EQ(context->pixelAtForTesting(6, 13), kOpaqueRed);

    // fillRect leaves a path under construction alone; strokePath uses it.
    context = fresh();
    context->setStrokeColor(0, 0, 1, 1);
    context->setLineWidth(2);
    context->moveToPoint(0, 1);
    context->addLineToPoint(20, 1);
    context->fillRect(Rect(0, 10, 2, 2));
    context->strokePath();
    EXPECT_EQ(context->pixelAtForTesting(10, 0), (Pixel { 0, 0, 255, 255 }));
    EXPECT_EQ(context->pixelAtForTesting(1, 11), kOpaqueRed);

    // Clipping to a path.
    context = fresh();
    context->saveGState();
    context->addEllipseInRect(Rect(0, 0, 20, 20));
    context->clip();
    EXPECT_EQ(context->clipBoundingBox(), Rect(0, 0, 20, 20));
    context->fillRect(Rect(0, 0, 20, 20));
    context->restoreGState();
    EXPECT_EQ(context->pixelAtForTesting(0, 0), Pixel());
    EXPECT_EQ(context->pixelAtForTesting(10, 10), kOpaqueRed);
}

TEST_F(ContextTest, AlphaAndStateStack)
{
    auto context = gfx::makeImageContext(Size { 4, 4 }, 1);
    context->setFillColor(Color(0, 0, 1, 1));
    context->saveGState();
    context->setAlpha(0.5f);
    context->setFillColor(Color(1, 0, 0, 1));
    context->fillRect(Rect(0, 0, 2, 2));
    EXPECT_EQ(context->alpha(), 0.5f);
    context->restoreGState();
    EXPECT_EQ(context->alpha(), 1);
    EXPECT_EQ(context->fillColor(), Color(0, 0, 1, 1));
    Pixel half = context->pixelAtForTesting(0, 0);
    EXPECT_NEAR(half.alpha, 128, 1);
    EXPECT_EQ(half.red, half.alpha);

    context->scaleCTM(-1, -1);
    context->fillRect(Rect(-4, -4, 1, 1)); // turned half round into the far corner
    EXPECT_EQ(context->pixelAtForTesting(3, 3), (Pixel { 0, 0, 255, 255 }));
}

TEST_F(ContextTest, ImagesScaleWithTheInterpolationQuality)
{
    // A black pixel beside a white one, stretched to 20 × 1.
    auto source = gfx::makeImageContext(Size { 2, 1 }, 1);
    source->setFillColor(0, 0, 0, 1);
    source->fillRect(Rect(0, 0, 1, 1));
    source->setFillColor(1, 1, 1, 1);
    source->fillRect(Rect(1, 0, 1, 1));
    auto image = source->makeImage();
    auto stretched = [&](gfx::InterpolationQuality quality) {
        auto context = gfx::makeImageContext(Size { 20, 1 }, 1);
        context->setInterpolationQuality(quality);
        context->drawImage(Rect(0, 0, 20, 1), *image);
        return context->pixelAtForTesting(9, 0).red;
    };
    EXPECT_EQ(stretched(gfx::InterpolationQuality::None), 0);
    uint8_t blended = stretched(gfx::InterpolationQuality::Low);
    EXPECT_GT(blended, 40);
    EXPECT_LT(blended, 215);

    // Drawn at half its alpha.
    auto context = gfx::makeImageContext(Size { 2, 1 }, 1);
    context->setAlpha(0.5f);
    context->drawImage(Rect(0, 0, 2, 1), *image);
    EXPECT_NEAR(context->pixelAtForTesting(1, 0).alpha, 128, 1);
}

TEST_F(ContextTest, PatternColoursTileFromTheOrigin)
{
    // A 2 × 2 point tile at scale 2: red in the top-left point, else clear.
    auto tile = gfx::makeImageContext(Size { 2, 2 }, 2);
    tile->setFillColor(1, 0, 0, 1);
    tile->fillRect(Rect(0, 0, 1, 1));
    Color pattern = Color::patternWithImage(tile->makeImage());
    EXPECT_TRUE(pattern.isPattern());

    auto context = gfx::makeImageContext(Size { 8, 8 }, 1);
    context->translateCTM(3, 3); // the tiles stay put
    context->setFillColor(pattern);
    context->fillRect(Rect(-3, -3, 8, 8));
    EXPECT_EQ(context->pixelAtForTesting(0, 0), kOpaqueRed);
    EXPECT_EQ(context->pixelAtForTesting(1, 0), Pixel());
    EXPECT_EQ(context->pixelAtForTesting(2, 2), kOpaqueRed);
    EXPECT_EQ(context->pixelAtForTesting(6, 4), kOpaqueRed);
    EXPECT_EQ(context->pixelAtForTesting(7, 4), Pixel());

    // Colours are values: equal ones hash alike; patterns compare by image.
    std::unordered_set<Color> colours { Color(1, 0, 0, 1), Color::rgb255(255, 0, 0), Color(-0.0f, 0, 0, 1), Color(0, 0, 0, 1) };
    EXPECT_EQ(colours.size(), 2u);
    EXPECT_EQ(Color::white(0.8f), Color(0.8f, 0.8f, 0.8f, 1));
    EXPECT_EQ(pattern, Color::patternWithImage(pattern.patternImage()));
    EXPECT_NE(pattern, Color::patternWithImage(tile->makeImage()));
    EXPECT_EQ(Color(1, 0, 0).colorWithAlphaComponent(0.5f).alpha(), 0.5f);
}

TEST_F(ContextTest, ScreenDefaultsAndSettings)
{
    auto& screen = gfx::Screen::main();
    EXPECT_EQ(screen.bounds(), Rect(0, 0, 320, 480));
    EXPECT_EQ(screen.scale(), 2);
    EXPECT_EQ(screen.pixelSize(), (Size { 640, 960 }));
    screen.setScale(0);
    EXPECT_EQ(screen.scale(), 2);
    screen.setBounds(Rect(0, 0, 768, 1024));
    screen.setScale(1);
    EXPECT_EQ(screen.pixelSize(), (Size { 768, 1024 }));
}

} // namespace

namespace {

class ContextLayersTest : public test::TestCase { };

} // namespace

TEST_F(ContextLayersTest, TransparencyLayersMasksNinePartsAndPatternPhase)
{
    // Two overlapping squares in a layer at 0.5 show as one at 0.5, and the
    // global alpha applies once.
    auto context = gfx::makeImageContext({ 20, 10 }, 1);
    context->setAlpha(0.5f);
    context->beginTransparencyLayer();
    context->setFillColor(1, 1, 1, 1);
    context->fillRect({ 0, 0, 10, 10 });
    context->fillRect({ 5, 0, 10, 10 });
    context->endTransparencyLayer(1);
    EXPECT_NEAR(context->pixelAtForTesting(7, 5).alpha, 127, 2);
    EXPECT_NEAR(context->pixelAtForTesting(2, 5).alpha, 127, 2);
    EXPECT_EQ(context->alpha(), 0.5f);

    // Nine parts: a 3 × 3 picture with a red top-left corner and a blue
    // middle keeps its corner at one point and stretches the middle.
    auto tile = gfx::makeImageContext({ 3, 3 }, 1);
    tile->setFillColor(0, 0, 1, 1);
    tile->fillRect({ 0, 0, 3, 3 });
    tile->setFillColor(1, 0, 0, 1);
    tile->fillRect({ 0, 0, 1, 1 });
    auto stretched = gfx::makeImageContext({ 30, 30 }, 1);
    stretched->setInterpolationQuality(gfx::InterpolationQuality::None);
    stretched->drawImageInNineParts({ 0, 0, 30, 30 }, *tile->makeImage(), 1, 1, 1, 1);
    EXPECT_EQ(stretched->pixelAtForTesting(0, 0).red, 255);
    EXPECT_EQ(stretched->pixelAtForTesting(1, 1).blue, 255);
    EXPECT_EQ(stretched->pixelAtForTesting(15, 15).blue, 255);

    // Pattern tiles start at the phase, in device pixels.
    auto checker = gfx::makeImageContext({ 4, 4 }, 1);
    checker->setFillColor(1, 1, 1, 1);
    checker->fillRect({ 0, 0, 4, 4 });
    checker->setFillColor(0, 0, 0, 1);
    checker->fillRect({ 0, 0, 2, 2 });
    auto phased = gfx::makeImageContext({ 12, 12 }, 1);
    phased->setPatternPhase({ 1, 1 });
    phased->setFillColor(gfx::Color::patternWithImage(checker->makeImage()));
    phased->fillRect({ 0, 0, 12, 12 });
    EXPECT_EQ(phased->pixelAtForTesting(1, 1).red, 0);
    EXPECT_EQ(phased->pixelAtForTesting(0, 0).red, 255);
    EXPECT_EQ(phased->pixelAtForTesting(5, 5).red, 0);
}

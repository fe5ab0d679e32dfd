#include "Platform/Host/ScreenFit.h"

#include <cmath>
#include <gtest/gtest.h>

using ui::Orientation;
using ui::ScreenFit;

namespace {

void expectNear(gfx::Point got, gfx::Point wanted)
{
    EXPECT_NEAR(got.x, wanted.x, 1e-3) << "x";
    EXPECT_NEAR(got.y, wanted.y, 1e-3) << "y";
}

TEST(ScreenFitTest, APortraitScreenFitsWholeAndCentred)
{
    // Same aspect: no bars, one point to one pixel.
    ScreenFit same({ 768, 1024 }, Orientation::Portrait, { 768, 1024 });
    EXPECT_EQ(same.picture(), (gfx::Rect { 0, 0, 768, 1024 }));
    expectNear(same.screenPoint({ 100, 200 }), { 100, 200 });

    // A wider area: bars left and right, the screen scaled to the height.
    ScreenFit wide({ 320, 480 }, Orientation::Portrait, { 800, 960 });
    EXPECT_FLOAT_EQ(wide.fit(), 2);
    EXPECT_EQ(wide.picture(), (gfx::Rect { 80, 0, 640, 960 }));
    expectNear(wide.screenPoint({ 80 + 20, 40 }), { 10, 20 });
    EXPECT_EQ(wide.areaRect({ 10, 20, 5, 5 }), (gfx::Rect { 100, 40, 10, 10 }));
    // A click on a bar lands on the screen's nearest edge.
    gfx::Point bar = wide.screenPoint({ 10, 500 });
    EXPECT_EQ(bar.x, 0);
    EXPECT_NEAR(bar.y, 250, 1e-3);
    gfx::Point beyond = wide.screenPoint({ 5000, -40 });
    EXPECT_LT(beyond.x, 320);
    EXPECT_EQ(beyond.y, 0);
}

TEST(ScreenFitTest, LandscapeTurnsThePictureAndTheInputAlike)
{
    // Home button on the right: the content stands turned +π/2 on the
    // portrait screen, so the interface's top left is the screen's top right.
    ScreenFit right({ 768, 1024 }, Orientation::LandscapeRight, { 1024, 768 });
    EXPECT_EQ(right.picture(), (gfx::Rect { 0, 0, 1024, 768 }));
    expectNear(right.screenPoint({ 0, 0 }), { 768 - 0.01f, 0 });
    expectNear(right.screenPoint({ 1023, 767 }), { 1, 1023 });
    gfx::Point corner = right.screenToArea().apply(gfx::Point { 768, 1024 });
    EXPECT_NEAR(corner.x, 1024, 1e-3);
    EXPECT_NEAR(corner.y, 0, 1e-3);
    // A wheel moving down the window moves across the screen's width.
    expectNear(right.screenDelta({ 0, 40 }), { -40, 0 });

    ScreenFit left({ 768, 1024 }, Orientation::LandscapeLeft, { 1024, 768 });
    expectNear(left.screenPoint({ 0, 0 }), { 0, 1024 - 0.01f });
    expectNear(left.screenDelta({ 0, 40 }), { 40, 0 });

    // Round trips anywhere inside.
    for (auto o : { Orientation::Portrait, Orientation::LandscapeRight, Orientation::LandscapeLeft,
             Orientation::PortraitUpsideDown }) {
        ScreenFit fit({ 320, 480 }, o, { 700, 500 });
        gfx::Point p { 123, 321 };
        expectNear(fit.screenPoint(fit.screenToArea().apply(p)), p);
    }
}

TEST(ScreenFitTest, AnEmptyAreaMapsNothingAway)
{
    ScreenFit none({ 320, 480 }, Orientation::Portrait, { 0, 0 });
    EXPECT_TRUE(none.areaRect({ 0, 0, 10, 10 }).isEmpty() || none.areaRect({ 0, 0, 10, 10 }).width() <= 10);
    gfx::Point p = none.screenPoint({ 0, 0 });
    EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
}

} // namespace

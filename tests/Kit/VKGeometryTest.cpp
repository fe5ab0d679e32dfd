#include "Kit/VKGeometry.h"
#include "Kit/VKHalfFloat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using gfx::Point;
using gfx::Rect;
using gfx::Size;

namespace {

void expectRect(Rect actual, Rect expected)
{
    EXPECT_FLOAT_EQ(actual.x(), expected.x());
    EXPECT_FLOAT_EQ(actual.y(), expected.y());
    EXPECT_FLOAT_EQ(actual.width(), expected.width());
    EXPECT_FLOAT_EQ(actual.height(), expected.height());
}

TEST(VKGeometryTest, FittingAndCentring)
{
    expectRect(VKSizeFitToRect({ 200, 100 }, Rect(0, 0, 100, 100), false), Rect(0, 25, 100, 50));
    expectRect(VKSizeFitToRect({ 200, 100 }, Rect(0, 0, 100, 100), true), Rect(-50, 0, 200, 100));
    EXPECT_EQ(VKSizeFitToRect({ 0, 100 }, Rect(0, 0, 100, 100), false), Rect::zero());
    expectRect(VKSizeFitToSize({ 50, 100 }, { 100, 100 }, false), Rect(25, 0, 50, 100));

    expectRect(VKRectCenteredRectInRect(Rect(0, 0, 3, 3), Rect(0, 0, 10, 10)), Rect(3, 3, 3, 3));
    expectRect(VKRectCenteredRectInRect(Rect(0, 0, 10, 10), Rect(0, 0, 3, 3)), Rect(-4, -4, 10, 10));
    expectRect(VKSizeCenteredInRect({ 10, 10 }, Rect(0, 0, 3, 3)), Rect(-3.5f, -3.5f, 10, 10));

    expectRect(VKRectWithinRect(Rect(-10, 5, 50, 50), Rect(0, 0, 100, 100)), Rect(0, 5, 50, 50));
    expectRect(VKRectWithinRect(Rect(80, 5, 50, 50), Rect(0, 0, 100, 100)), Rect(50, 5, 50, 50));
    expectRect(VKRectWithinRect(Rect(0, 0, 200, 50), Rect(0, 0, 100, 100)), Rect(-50, 0, 200, 50));

    expectRect(VKRectConstrainSize(Rect(0, 0, 10, 100), 20, 50, 20, 50), Rect(-5, 25, 20, 50));
    EXPECT_FLOAT_EQ(VKPointManhattanDistanceToEdgeOfCGRect({ -3, 14 }, Rect(0, 0, 10, 10)), 7);
    EXPECT_FLOAT_EQ(VKPointManhattanDistanceToEdgeOfCGRect({ 5, 5 }, Rect(0, 0, 10, 10)), 0);
    EXPECT_EQ(VKEdgeInsetsFromRectToRect(Rect(0, 0, 100, 100), Rect(10, 20, 50, 25)), (gfx::EdgeInsets { 20, 10, 55, 40 }));
    EXPECT_TRUE(VKValueNearToValue(1, 2));
    EXPECT_FALSE(VKValueNearToValue(1, 2.01f));
    EXPECT_TRUE(VKSizeIsEmpty({ 0, 5 }));
}

TEST(VKGeometryTest, ZoomAndAnchors)
{
    expectRect(VKZoomRectToEncloseRect(Rect(0, 0, 100, 100), Rect(10, 20, 50, 25)), Rect(10, 13.333333f, 50, 50));
    Rect frame(10, 20, 200, 100);
    Rect mapped = VKRectInRectFromAnchorRect(Rect(0.25f, 0.25f, 0.5f, 0.5f), frame);
    expectRect(mapped, Rect(60, 45, 100, 50));
    expectRect(VKAnchorRectFromRectInRect(mapped, frame), Rect(0.25f, 0.25f, 0.5f, 0.5f));
    expectRect(VKAnchorRectFromRectInRect(Rect(5, 5, 0, 10), frame), Rect(5, 5, 0, 10));
    expectRect(VKRectScale(Rect(1, 2, 3, 4), 2), Rect(2, 4, 6, 8));
}

TEST(VKGeometryTest, OrientationTransforms)
{
    auto angleOf = [](gfx::AffineTransform t) { return std::atan2(t.b, t.a); };
    EXPECT_NEAR(angleOf(VKTransformForInterfaceOrientation(4)), -M_PI_2, 1e-6);
    EXPECT_NEAR(angleOf(VKTransformForInterfaceOrientation(3)), M_PI_2, 1e-6);
    EXPECT_NEAR(std::fabs(angleOf(VKTransformForInterfaceOrientation(2))), M_PI, 1e-6);
    EXPECT_TRUE(VKTransformForInterfaceOrientation(1).isIdentity());
    EXPECT_TRUE(VKTransformForInterfaceOrientation(7).isIdentity());
}

uint32_t bitsOf(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST(VKHalfFloatTest, SingleToHalfTruncates)
{
    EXPECT_EQ(VKFloatToHalf(1.0f), 0x3C00);
    EXPECT_EQ(VKFloatToHalf(65504.0f), 0x7BFF);
    EXPECT_EQ(VKFloatToHalf(65536.0f), 0x7C00);
    EXPECT_EQ(VKFloatToHalf(-0.0f), 0x0000);
    EXPECT_EQ(VKFloat32ToFloat16(0x3F801FFF), 0x3C00);
    EXPECT_EQ(VKFloatToHalf(std::ldexp(1.0f, -24)), 0x0001);
    EXPECT_EQ(VKFloatToHalf(-std::ldexp(1.0f, -25)), 0x8000);
    EXPECT_EQ(VKFloatToHalf(-std::ldexp(1.0f, -26)), 0x0000);
    EXPECT_EQ(VKFloat32ToFloat16(0x7F800001), 0x7C01);
    EXPECT_EQ(VKFloat32ToFloat16(bitsOf(-INFINITY)), 0xFC00);
}

TEST(VKHalfFloatTest, EveryHalfSurvivesTheRoundTrip)
{
    EXPECT_EQ(VKHalfToFloat(0x0001), std::ldexp(1.0f, -24));
    for (uint32_t half = 0; half <= 0xFFFF; ++half) {
        uint16_t h = static_cast<uint16_t>(half);
        uint32_t exponent = (h >> 10) & 0x1F, fraction = h & 0x3FF;
        float value = VKHalfToFloat(h);
        if (exponent == 31) {
            EXPECT_TRUE(fraction ? std::isnan(value) : std::isinf(value)) << half;
        } else {
            float reference = exponent == 0 ? std::ldexp(float(fraction), -24)
                                            : std::ldexp(float(fraction | 0x400), int(exponent) - 25);
            EXPECT_EQ(value, (h & 0x8000) ? -reference : reference) << half;
        }
        uint16_t back = VKFloatToHalf(value);
        EXPECT_EQ(back, h == 0x8000 ? 0 : h) << half;
    }
}

} // namespace

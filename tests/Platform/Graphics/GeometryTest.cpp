#include "Platform/Graphics/Geometry.h"

#include <gtest/gtest.h>

using gfx::Rect;

namespace {

TEST(GeometryTest, RectangleSemantics)
{
    EXPECT_TRUE(Rect::null().isNull());
    EXPECT_TRUE(Rect::null().isEmpty());
    EXPECT_TRUE(Rect(5, 5, 0, 10).isEmpty());
    EXPECT_FALSE(Rect(5, 5, 0, 10).isNull());
    EXPECT_EQ(Rect(10, 10, -5, -5).standardized(), Rect(5, 5, 5, 5));

    EXPECT_EQ(Rect::null().unionRect(Rect(1, 2, 3, 4)), Rect(1, 2, 3, 4));
    // An empty rect still counts in a union.
    EXPECT_EQ(Rect(0, 0, 1, 1).unionRect(Rect(10, 10, 0, 0)), Rect(0, 0, 10, 10));
    EXPECT_EQ(Rect(0, 0, 10, 10).intersection(Rect(5, 5, 10, 10)), Rect(5, 5, 5, 5));
    EXPECT_TRUE(Rect(0, 0, 1, 1).intersection(Rect(5, 5, 1, 1)).isNull());
    EXPECT_TRUE(Rect(0, 0, 10, 10).contains(gfx::Point { 0, 0 }));
    EXPECT_FALSE(Rect(0, 0, 10, 10).contains(gfx::Point { 10, 5 }));
    EXPECT_TRUE(Rect(0, 0, 10, 10).contains(Rect(2, 2, 8, 8)));
}

TEST(GeometryTest, TransformsComposeAndInvert)
{
    auto t = gfx::AffineTransform::translation(10, 0).scaled(2, 2);
    gfx::Point p = t.apply(gfx::Point { 1, 1 });
    EXPECT_FLOAT_EQ(p.x, 12);
    EXPECT_FLOAT_EQ(p.y, 2);
    gfx::Point back = t.inverted().apply(p);
    EXPECT_FLOAT_EQ(back.x, 1);
    EXPECT_FLOAT_EQ(back.y, 1);
    Rect rotated = gfx::AffineTransform::rotation(float(M_PI_2)).apply(Rect(0, 0, 10, 20));
    EXPECT_NEAR(rotated.width(), 20, 1e-4);
    EXPECT_NEAR(rotated.height(), 10, 1e-4);
}

} // namespace

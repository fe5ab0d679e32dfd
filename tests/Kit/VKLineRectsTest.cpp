#include "Kit/VKLineRects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using gfx::Rect;

namespace {

core::Data pack(const std::vector<Rect>& rects)
{
    return core::Data(rects.data(), rects.size() * sizeof(Rect));
}

std::vector<Rect> unpack(const core::Data& data)
{
    std::vector<Rect> rects(data.size() / sizeof(Rect));
    std::memcpy(rects.data(), data.bytes(), rects.size() * sizeof(Rect));
    return rects;
}

TEST(VKLineRectsTest, GlyphsMergeIntoLines)
{
    EXPECT_EQ(unpack(VKLineRectsFromGlyphRects(pack({ Rect(1, 2, 3, 4) }))), std::vector<Rect> { Rect(1, 2, 3, 4) });

    auto lines = unpack(VKLineRectsFromGlyphRects(pack({ Rect(30, 0, 5, 10), Rect(0, 0, 5, 10), Rect(6, 0, 5, 10) })));
    EXPECT_EQ(lines, (std::vector<Rect> { Rect(0, 0, 11, 10), Rect(30, 0, 5, 10) }));

    // Touching glyphs of different heights stay apart.
    lines = unpack(VKLineRectsFromGlyphRects(pack({ Rect(0, 0, 5, 10), Rect(5, 0, 5, 12) })));
    EXPECT_EQ(lines.size(), 2u);

    // Lines at one left edge share the widest width.
    lines = unpack(VKLineRectsFromGlyphRects(pack({ Rect(10, 0, 100, 10), Rect(10, 20, 80, 10) })));
    EXPECT_EQ(lines, (std::vector<Rect> { Rect(10, 0, 100, 10), Rect(10, 20, 100, 10) }));
}

TEST(VKLineRectsTest, PartialInputAndTheInputItself)
{
    EXPECT_TRUE(VKLineRectsFromGlyphRects(core::Data(std::string(15, 'x'))).empty());
    std::vector<Rect> glyphs { Rect(6, 0, 5, 10), Rect(0, 0, 5, 10) };
    std::string bytes(reinterpret_cast<const char*>(glyphs.data()), 32);
    bytes += "abc"; // a trailing partial rectangle
    core::Data input(bytes);
    auto lines = unpack(VKLineRectsFromGlyphRects(input));
    EXPECT_EQ(lines, std::vector<Rect> { Rect(0, 0, 11, 10) });
    EXPECT_EQ(input.view(), bytes);
}

TEST(VKLineRectsTest, SortsOrderByTheirKeys)
{
    std::vector<Rect> rects { Rect(5, 1, 1, 1), Rect(1, 2, 1, 1), Rect(1, 1, 2, 1), Rect(1, 1, 1, 2), Rect(1, 1, 1, 1) };
    auto byRow = rects;
    VKRectQuicksortByRow(&byRow.front(), &byRow.back());
    EXPECT_EQ(byRow, (std::vector<Rect> { Rect(1, 1, 1, 1), Rect(1, 1, 2, 1), Rect(5, 1, 1, 1), Rect(1, 1, 1, 2), Rect(1, 2, 1, 1) }));
    auto byColumn = rects;
    VKRectQuicksortByColumn(&byColumn.front(), &byColumn.back());
    EXPECT_EQ(byColumn, (std::vector<Rect> { Rect(1, 1, 1, 1), Rect(1, 1, 1, 2), Rect(1, 1, 2, 1), Rect(1, 2, 1, 1), Rect(5, 1, 1, 1) }));
}

TEST(VKLineRectsTest, HostileOrdersFinish)
{
    const size_t n = 100000;
    std::vector<Rect> equal(n, Rect(1, 1, 1, 1));
    VKRectQuicksortByRow(&equal.front(), &equal.back());

    std::vector<Rect> ascending(n), descending(n), withNaN(n);
    std::mt19937 random(7);
    for (size_t i = 0; i < n; ++i) {
        ascending[i] = Rect(float(i), float(i % 7), 1, 1);
        descending[n - 1 - i] = ascending[i];
        withNaN[i] = Rect(i % 3 ? float(random() % 100) : NAN, i % 5 ? NAN : 1.0f, 1, 1);
    }
    VKRectQuicksortByColumn(&ascending.front(), &ascending.back());
    VKRectQuicksortByColumn(&descending.front(), &descending.back());
    EXPECT_EQ(ascending, descending);
    VKRectQuicksortByRow(&withNaN.front(), &withNaN.back());
    VKLineRectsFromGlyphRects(core::Data(withNaN.data(), withNaN.size() * sizeof(Rect)));
}

} // namespace

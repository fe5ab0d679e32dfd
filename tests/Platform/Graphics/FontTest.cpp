#include "Platform/Graphics/Font.h"

#include <gtest/gtest.h>

using gfx::Font;

TEST(FontTest, NamesResolveToFamiliesOrTheSystemFont)
{
    Font system = Font::systemFont(12);
    EXPECT_EQ(system.familyName(), "Helvetica");
    EXPECT_FALSE(system.isBold());
    EXPECT_EQ(system.pointSize(), 12);
    EXPECT_TRUE(Font::boldSystemFont(11).isBold());
    EXPECT_EQ(Font::boldSystemFont(11).fontName(), "Helvetica-Bold");

    Font courier = Font::fontWithName("Courier-Bold", 9);
    EXPECT_EQ(courier.familyName(), "Courier");
    EXPECT_TRUE(courier.isBold());
    EXPECT_EQ(Font::fontWithName(courier.fontName(), 9), courier);

    EXPECT_EQ(Font::fontWithName("NoSuchFont-Bold", 14), Font::systemFont(14));
    EXPECT_EQ(Font::fontWithName("", 14), Font::systemFont(14));
    EXPECT_EQ(Font::systemFont(-3).pointSize(), 0);
}

TEST(FontTest, WidthsFollowTheDeterministicMetric)
{
    Font font = Font::systemFont(20);
    EXPECT_EQ(font.widthOfString(""), 0);
    EXPECT_EQ(font.widthOfString("abcdef"), 60);
    EXPECT_EQ(Font::boldSystemFont(20).widthOfString("ab"), 22);
    // Wide and full-width: one em; combining marks: nothing.
    EXPECT_EQ(font.widthOfString("漢字"), 40);
    EXPECT_EQ(font.widthOfString("ＡＢ"), 40);
    EXPECT_EQ(font.widthOfString("e\u0301"), 10);
    EXPECT_EQ(font.widthOfString("😀"), 20);
    // Each stray byte is one character; a cut sequence is as many as its bytes.
    EXPECT_EQ(font.widthOfString("a\xFF" "b"), 30);
    EXPECT_EQ(font.widthOfString("\xE6\xBC"), 20);
    // Widths of parts add up exactly.
    Font odd = Font::boldSystemFont(13);
    EXPECT_EQ(odd.widthOfString("abc") + odd.widthOfString("def"), odd.widthOfString("abcdef"));
}

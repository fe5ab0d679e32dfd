#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/TextEngine.h"

#include "Support/TestCase.h"

using gfx::Font;
using gfx::LineBreakMode;
using gfx::Rect;
using gfx::Size;
using gfx::TextEngine;

namespace {

class TextEngineTest : public test::TestCase {
protected:
    std::shared_ptr<TextEngine> engine = gfx::textEngine();
    Font regular = Font::systemFont(10);
    Font bold = Font::boldSystemFont(10);
};

TEST_F(TextEngineTest, DeterministicWidths)
{
    EXPECT_EQ(engine->widthOfString("Hello", regular), 25);
    EXPECT_EQ(engine->widthOfString("Hello", bold), 27.5f);
    EXPECT_EQ(engine->widthOfString("日本", regular), 20);
    EXPECT_EQ(engine->widthOfString("e\u0301", regular), 5); // the combining accent adds nothing
    EXPECT_EQ(engine->widthOfString("\xFF\xFE", regular), 10); // two bad bytes, one place each
    EXPECT_EQ(engine->sizeOfString("Hello", regular), (Size { 25, 12 }));
    auto metrics = engine->metrics(Font::systemFont(20));
    EXPECT_FLOAT_EQ(metrics.ascender, 16);
    EXPECT_FLOAT_EQ(metrics.descender, 4);
    EXPECT_FLOAT_EQ(metrics.lineHeight, 24);
    EXPECT_EQ(Font::fontWithName("Courier-Bold", 12).isBold(), true);
    EXPECT_EQ(Font::fontWithName("NoSuchFont", 12), Font::systemFont(12));
}

TEST_F(TextEngineTest, Truncation)
{
    std::string tail = engine->truncatedString("Hello World", regular, 30, LineBreakMode::TailTruncation);
    EXPECT_EQ(tail, "Hello\u2026");
    EXPECT_LE(engine->widthOfString(tail, regular), 30);
    EXPECT_EQ(engine->truncatedString("Hello World", regular, 30, LineBreakMode::HeadTruncation), "\u2026World");
    EXPECT_EQ(engine->truncatedString("Hello World", regular, 30, LineBreakMode::MiddleTruncation), "Hel\u2026ld");
    EXPECT_EQ(engine->truncatedString("Hello World", regular, 30, LineBreakMode::Clip), "Hello ");
    EXPECT_EQ(engine->truncatedString("Hello", regular, 30, LineBreakMode::TailTruncation), "Hello");
    EXPECT_EQ(engine->truncatedString("Hello", regular, 3, LineBreakMode::TailTruncation), "");
    // Cuts fall between code points.
    EXPECT_EQ(engine->truncatedString("日本語です", regular, 35, LineBreakMode::TailTruncation), "日本語\u2026");
    EXPECT_EQ(engine->sizeOfString("Hello World", regular, 30, LineBreakMode::TailTruncation), (Size { 30, 12 }));
}

TEST_F(TextEngineTest, Wrapping)
{
    auto lines = engine->linesOfString("one two three four", regular, Size { 45, 0 }, LineBreakMode::WordWrap);
    EXPECT_EQ(lines, (std::vector<std::string> { "one two", "three", "four" }));
    lines = engine->linesOfString("one two three four", regular, Size { 50, 0 }, LineBreakMode::WordWrap);
    EXPECT_EQ(lines, (std::vector<std::string> { "one two", "three four" })); // exactly full
    // A word longer than the line is broken; line breaks always break.
    lines = engine->linesOfString("abcdefghijkl\nx", regular, Size { 25, 0 }, LineBreakMode::WordWrap);
    EXPECT_EQ(lines, (std::vector<std::string> { "abcde", "fghij", "kl", "x" }));
    lines = engine->linesOfString("ab cd", regular, Size { 15, 0 }, LineBreakMode::CharacterWrap);
    EXPECT_EQ(lines, (std::vector<std::string> { "ab ", "cd" }));
    // Two lines of height: the second takes the rest, truncated.
    lines = engine->linesOfString("one two three four", regular, Size { 45, 24 }, LineBreakMode::TailTruncation);
    EXPECT_EQ(lines, (std::vector<std::string> { "one two", "three fo\u2026" }));
    EXPECT_EQ(engine->sizeOfString("one two three four", regular, Size { 45, 0 }, LineBreakMode::WordWrap),
        (Size { 35, 36 }));
    EXPECT_EQ(engine->linesOfString("", regular, Size { 50, 0 }, LineBreakMode::WordWrap).size(), 1u);
}

TEST_F(TextEngineTest, DeterministicDrawingIsBoxesFromTheTop)
{
    for (bool flipped : { true, false }) {
        SCOPED_TRACE(flipped);
        std::unique_ptr<gfx::BitmapContext> context
            = flipped ? gfx::makeImageContext(Size { 40, 20 }, 1) : gfx::BitmapContext::create(40, 20);
        context->setFillColor(0, 0, 0, 1);
        Rect rect = flipped ? Rect(0, 0, 40, 20) : Rect(0, 0, 40, 20);
        engine->drawString(*context, "H H", rect, regular, LineBreakMode::WordWrap);
        // Boxes sit between 1 and 8 below the top (baseline 8, height 7).
        EXPECT_EQ(context->pixelAtForTesting(2, 4).alpha, 255);
        EXPECT_EQ(context->pixelAtForTesting(7, 4).alpha, 0); // the space
        EXPECT_EQ(context->pixelAtForTesting(12, 4).alpha, 255);
        EXPECT_EQ(context->pixelAtForTesting(2, 12).alpha, 0);
    }
    // Centred: "H" (5 wide) in 40 starts at 17.5.
    auto context = gfx::makeImageContext(Size { 40, 20 }, 1);
    engine->drawString(*context, "H", Rect(0, 0, 40, 20), regular, LineBreakMode::Clip, gfx::TextAlignment::Center);
    EXPECT_EQ(context->pixelAtForTesting(16, 4).alpha, 0);
    EXPECT_EQ(context->pixelAtForTesting(20, 4).alpha, 255);
}

TEST_F(TextEngineTest, PangoMeasuresRealGlyphs)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    auto pango = gfx::textEngine();
    ASSERT_NE(pango, engine);
    float one = pango->widthOfString("Hello", regular);
    float two = pango->widthOfString("Hello Hello", regular);
    EXPECT_GT(one, 0);
    EXPECT_GT(two, one);
    EXPECT_GE(pango->widthOfString("Hello", bold), one);
    EXPECT_GT(pango->widthOfString("Hello", Font::systemFont(20)), one * 1.5f);
    auto metrics = pango->metrics(regular);
    EXPECT_GT(metrics.ascender, 0);
    EXPECT_GE(metrics.lineHeight, metrics.ascender);
    std::string cut = pango->truncatedString("Hello World, and more", regular, 40, LineBreakMode::TailTruncation);
    EXPECT_LE(pango->widthOfString(cut, regular), 40);
    EXPECT_TRUE(cut.ends_with("\u2026"));

    // It draws something dark inside the line.
    auto context = gfx::makeImageContext(Size { 60, 20 }, 2);
    context->setFillColor(0, 0, 0, 1);
    pango->drawString(*context, "Hello", gfx::Point { 0, 0 }, regular);
    int inked = 0;
    for (int y = 0; y < context->height(); ++y) {
        for (int x = 0; x < context->width(); ++x)
            inked += context->pixelAtForTesting(x, y).alpha > 128;
    }
    EXPECT_GT(inked, 20);
}

TEST_F(TextEngineTest, PangoSetsCapitalsCentredInTheirLine)
{
    // The system and typewriter families: capitals drawn at the top of a
    // line stand in its middle, not high in it.
    gfx::setTextEngine(gfx::makePangoTextEngine());
    auto pango = gfx::textEngine();
    for (const Font& font : { Font::boldSystemFont(20), Font::systemFont(17), Font::fontWithName("Courier", 16) }) {
        float line = pango->metrics(font).lineHeight;
        auto context = gfx::makeImageContext(Size { 200, line }, 4);
        context->setFillColor(0, 0, 0, 1);
        pango->drawString(*context, "HHHH", gfx::Point { 0, 0 }, font);
        int top = -1, bottom = -1;
        for (int y = 0; y < context->height(); ++y) {
            for (int x = 0; x < context->width(); ++x) {
                if (context->pixelAtForTesting(x, y).alpha > 128) {
                    top = top < 0 ? y : top;
                    bottom = y;
                    break;
                }
            }
        }
        ASSERT_GE(top, 0) << font.fontName();
        float middle = float(top + bottom + 1) / 2 / 4;
        EXPECT_NEAR(middle, line / 2, 1.5f) << font.fontName() << " in a line of " << line;
    }
}

TEST_F(TextEngineTest, PangoKeepsOneBaselineWhenANameMixesLatinAndCJK)
{
    // The capitals' bottom (the baseline) and the descender of "g" sit where
    // they do in a Latin-only line, inside the line's box, however tall the
    // fallback font that draws the ideographs.
    gfx::setTextEngine(gfx::makePangoTextEngine());
    auto pango = gfx::textEngine();
    const Font font = Font::boldSystemFont(18);
    const float line = pango->metrics(font).lineHeight;
    auto inkRows = [&](std::string_view text, int fromX, int toX) {
        auto context = gfx::makeImageContext(Size { 300, line }, 4);
        context->setFillColor(0, 0, 0, 1);
        pango->drawString(*context, text, gfx::Point { 0, 0 }, font);
        std::pair<int, int> rows { -1, -1 };
        for (int y = 0; y < context->height(); ++y)
            for (int x = fromX * 4; x < std::min(context->width(), toX * 4); ++x)
                if (context->pixelAtForTesting(x, y).alpha > 128) {
                    rows.first = rows.first < 0 ? y : rows.first;
                    rows.second = y;
                    break;
                }
        return rows;
    };
    const float hWidth = pango->widthOfString("H", font);
    auto latin = inkRows("Hg", 0, int(hWidth));
    auto mixed = inkRows("H報告g", 0, int(hWidth));
    ASSERT_GE(latin.second, 0);
    EXPECT_EQ(mixed.second, latin.second) << "the baseline under H moved";
    const int gLeft = int(pango->widthOfString("H報告", font));
    auto descender = inkRows("H報告g", gLeft, gLeft + 20);
    auto latinDescender = inkRows("Hg", int(hWidth), int(hWidth) + 20);
    EXPECT_EQ(descender.second, latinDescender.second);
    EXPECT_LT(descender.second, int(line * 4) - 1) << "the descender is cut by the line's box";
}

} // namespace

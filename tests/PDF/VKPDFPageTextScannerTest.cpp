#include "PDF/PdfTextTools.h"

#include "Support/TestCase.h"

#include <gtest/gtest.h>

using namespace pdftext;

namespace {

class VKPDFPageTextScannerTest : public test::TestCase { };

void expectRect(const gfx::Rect& rect, float x, float y, float width, float height)
{
    EXPECT_NEAR(rect.x(), x, 1e-3);
    EXPECT_NEAR(rect.y(), y, 1e-3);
    EXPECT_NEAR(rect.width(), width, 1e-3);
    EXPECT_NEAR(rect.height(), height, 1e-3);
}

// The text of one content stream over the mono font as F1.
Extracted monoText(const std::string& contents, const std::string& pageExtra = "/MediaBox [0 0 612 792]")
{
    test::PdfBuilder builder;
    int font = addMonoFont(builder);
    builder.addPage(contents, pageEntries({ font }, pageExtra));
    return extract(builder);
}

TEST_F(VKPDFPageTextScannerTest, PlacesCharactersThroughTheTextRenderingMatrix)
{
    Extracted ab = monoText("BT /F1 12 Tf 100 700 Td (AB) Tj ET");
    EXPECT_EQ(ab.text, " AB");
    ASSERT_EQ(ab.rects.size(), 3u);
    EXPECT_EQ(ab.blockBytes, 16 * ab.units);
    expectRect(ab.rects[0], 0, 0, 0, 0);
    expectRect(ab.rects[1], 100, 697, 7.2f, 12);
    expectRect(ab.rects[2], 107.2f, 697, 7.2f, 12);

    // A kerning step of −1000 at size 10 moves B one em (10 units) right.
    Extracted tj = monoText("BT /F1 10 Tf 100 700 Td (AB) Tj ET");
    Extracted kerned = monoText("BT /F1 10 Tf 100 700 Td [(A) -1000 (B)] TJ ET");
    ASSERT_EQ(tj.rects.size(), 3u);
    ASSERT_EQ(kerned.rects.size(), 4u); // the gap inserts a space
    EXPECT_EQ(kerned.text, " A B");
    EXPECT_NEAR(kerned.rects[3].x() - tj.rects[2].x(), 10, 1e-3);

    // T* and ' move down by the leading; TD sets it to −ty.
    Extracted lines = monoText("BT /F1 10 Tf 14 TL 100 700 Td (A) Tj T* (B) Tj (C) ' 0 -20 TD (D) Tj T* (E) Tj ET");
    ASSERT_EQ(lines.text, " A B C D E");
    expectRect(lines.rects[3], 100, 686 - 2.5f, 6, 10);
    expectRect(lines.rects[5], 100, 672 - 2.5f, 6, 10);
    expectRect(lines.rects[7], 100, 652 - 2.5f, 6, 10);
    expectRect(lines.rects[9], 100, 632 - 2.5f, 6, 10);

    // Tz 50 halves advances and widths; Ts raises the rectangles.
    Extracted scaled = monoText("BT /F1 10 Tf 50 Tz 5 Ts 100 700 Td (AB) Tj ET");
    expectRect(scaled.rects[1], 100, 702.5f, 3, 10);
    expectRect(scaled.rects[2], 103, 702.5f, 3, 10);

    // Trm = [Tfs·Th 0 0 Tfs 0 Trise] × Tm × CTM.
    Extracted combined = monoText("2 0 0 2 10 20 cm BT /F1 10 Tf 1 0 0 1 50 100 Tm (A) Tj ET");
    expectRect(combined.rects[1], 110, 215, 12, 20);
}

TEST_F(VKPDFPageTextScannerTest, WordSpacingAppliesToCode32OfSimpleFontsOnly)
{
    Extracted simple = monoText("BT /F1 10 Tf 20 Tw 100 700 Td (A B) Tj ET");
    ASSERT_EQ(simple.text, " A B");
    EXPECT_NEAR(simple.rects[3].x(), 100 + 6 + 6 + 20, 1e-3);

    test::PdfBuilder builder;
    int font = builder.addIdentityFont("Wide", { { 0x41, "0041" }, { 0x20, "0020" }, { 0x42, "0042" } }, 600);
    builder.addPage("BT /F1 10 Tf 20 Tw 100 700 Td <004100200042> Tj ET", pageEntries({ font }));
    Extracted composite = extract(builder);
    ASSERT_EQ(composite.text, " A B");
    EXPECT_NEAR(composite.rects[3].x(), 100 + 6 + 6, 1e-3);
}

TEST_F(VKPDFPageTextScannerTest, CharactersOutsideTheCropBoxAdvanceUnreported)
{
    Extracted cropped = monoText("BT /F1 10 Tf 90 700 Td (ABC) Tj ET", "/MediaBox [0 0 612 792] /CropBox [100 0 612 792]");
    // A ends at 96, outside; B starts at 96 and reaches into the box.
    EXPECT_EQ(cropped.text, " BC");
    expectRect(cropped.rects[1], 96, 697.5f, 6, 10);
}

TEST_F(VKPDFPageTextScannerTest, InsertsOneSpaceAtLineChangesAndWideGaps)
{
    // Gap of 1.4 units (below 6+6)/8 = 1.5): no space; 1.6: a space.
    Extracted narrow = monoText("BT /F1 10 Tf 100 700 Td (A) Tj 7.4 0 Td (B) Tj ET");
    EXPECT_EQ(narrow.text, " AB");
    Extracted wide = monoText("BT /F1 10 Tf 100 700 Td (A) Tj 7.6 0 Td (B) Tj ET");
    EXPECT_EQ(wide.text, " A B");
    // A real space before the gap prevents a second one.
    Extracted spaced = monoText("BT /F1 10 Tf 100 700 Td (A ) Tj 50 0 Td (B) Tj ET");
    EXPECT_EQ(spaced.text, " A B");
    // A line change inserts one space, however far.
    Extracted lines = monoText("BT /F1 10 Tf 100 700 Td (A) Tj 0 -100 Td (B) Tj ET");
    EXPECT_EQ(lines.text, " A B");
    ASSERT_EQ(lines.rects.size(), 4u);
    expectRect(lines.rects[2], 0, 0, 0, 0);
    // A text at upright y 0 needs no leading space.
    Extracted bottom = monoText("BT /F1 10 Tf 0 2.5 Td (A) Tj ET");
    EXPECT_EQ(bottom.text, "A");
}

TEST_F(VKPDFPageTextScannerTest, WordsAreJudgedAlongTheBaselineAndRectanglesStoredInPageSpace)
{
    // On a page turned by 90 the text runs down the page in page space
    // (rotated text matrix), which reads as one line when shown upright.
    Extracted turned = monoText("BT /F1 10 Tf 0 -1 1 0 300 700 Tm (AB) Tj ET", "/MediaBox [0 0 612 792] /Rotate 90");
    EXPECT_EQ(turned.text, " AB");
    ASSERT_EQ(turned.rects.size(), 3u);
    expectRect(turned.rects[1], 297.5f, 694, 10, 6);
    expectRect(turned.rects[2], 297.5f, 688, 10, 6);
    // So does text across a turned page, or turned on an upright one, or
    // upside down.
    Extracted across = monoText("BT /F1 10 Tf 100 700 Td (AB) Tj 0 -20 Td (CD) Tj ET", "/MediaBox [0 0 612 792] /Rotate 90");
    EXPECT_EQ(across.text, " AB CD");
    Extracted vertical = monoText("BT /F1 10 Tf 0 -1 1 0 300 700 Tm (AB) Tj 0 20 Td (CD) Tj ET");
    EXPECT_EQ(vertical.text, " AB CD");
    Extracted upsideDown = monoText("BT /F1 10 Tf -1 0 0 -1 300 700 Tm (AB) Tj 30 0 Td (CD) Tj ET");
    EXPECT_EQ(upsideDown.text, " AB CD");
}

TEST_F(VKPDFPageTextScannerTest, OneRectanglePerUtf16Unit)
{
    test::PdfBuilder builder;
    int simpleMap = addToUnicode(builder, "3 beginbfchar\n<41> <FB01>\n<42> <2019>\n<43> <D835DC00>\nendbfchar");
    int simple = addMonoFont(builder, fmt::format("/Encoding /WinAnsiEncoding /ToUnicode {} 0 R", simpleMap));
    int composite = builder.addIdentityFont("Wide", { { 1, "D835DC00" }, { 2, "2019" } }, 500);
    builder.addPage("BT /F1 10 Tf 100 700 Td (ABC) Tj /F2 10 Tf 100 -100 Td <00010002> Tj ET", pageEntries({ simple, composite }));
    Extracted page = extract(builder);
    // The simple font's texts are decomposed for compatibility (the
    // ligature into f and i, the bold A into A) and ’ becomes an
    // apostrophe; the composite font keeps its texts as mapped.
    EXPECT_EQ(page.text, " fi'A \U0001D400\u2019");
    EXPECT_EQ(page.units, 9u);
    ASSERT_EQ(page.rects.size(), page.units);
    EXPECT_EQ(page.blockBytes, 16 * page.units);
    EXPECT_EQ(page.rects[1], page.rects[2]); // f and i share the ligature's rectangle
    EXPECT_NE(page.rects[2], page.rects[3]);
    EXPECT_EQ(page.rects[6], page.rects[7]); // the surrogate pair
    EXPECT_NE(page.rects[7], page.rects[8]);
}

TEST_F(VKPDFPageTextScannerTest, SaveAndRestoreCoverTheTextStateAndHorizontalScalingPersists)
{
    test::PdfBuilder builder;
    int mono = addMonoFont(builder);
    int wide = builder.addIdentityFont("Wide", { { 0x41, "0058" } }, 1000);
    builder.addPage("BT /F1 10 Tf 100 700 Td (A) Tj ET q BT /F2 20 Tf 50 Tz 100 600 Td <0041> Tj ET Q "
                    "BT 100 500 Td (A) Tj ET",
        pageEntries({ mono, wide }));
    Extracted page = extract(builder);
    // After Q the simple font at size 10 and full width is back.
    EXPECT_EQ(page.text, " A X A");
    ASSERT_EQ(page.rects.size(), 6u);
    expectRect(page.rects[3], 100, 600 - 5, 10, 23);
    expectRect(page.rects[5], 100, 497.5f, 6, 10);

    // Th set before BT still holds inside it.
    Extracted scaled = monoText("50 Tz BT /F1 10 Tf 100 700 Td (A) Tj ET");
    expectRect(scaled.rects[1], 100, 697.5f, 3, 10);
}

TEST_F(VKPDFPageTextScannerTest, MissingOrMistypedOperandsEndOnlyTheirOperator)
{
    // Tf pops the size and the name independently.
    Extracted nameOnly = monoText("BT /F1 Tf 100 700 Td (A) Tj ET");
    EXPECT_EQ(nameOnly.text, " A");
    expectRect(nameOnly.rects[1], 100, 700, 0, 0);
    Extracted sizeFirst = monoText("BT /F1 10 Tf 12 Tf 100 700 Td (A) Tj ET");
    expectRect(sizeFirst.rects[1], 100, 697, 7.2f, 12);
    // " pops the string, then ac and aw.
    Extracted quoted = monoText("BT /F1 10 Tf 14 TL 100 700 Td 20 1 (A B) \" ET");
    EXPECT_EQ(quoted.text, " A B");
    expectRect(quoted.rects[1], 100, 683.5f, 6, 10);
    EXPECT_NEAR(quoted.rects[3].x(), 100 + 7 + 27, 1e-3);
    // Mistyped operands, strays and absurd numbers.
    const std::string huge = "1" + std::string(39, '0');
    Extracted odd = monoText("BT /F1 10 Tf (x) Td 1 2 3 cm /Name Tj [1 (A) /N] TJ " + huge + " 0 0 " + huge
        + " 0 0 Tm (B) Tj 0 0 0 0 0 0 Tm (C) Tj Q Q q q ET");
    // B's rectangle saturates and covers the page; C's has no area.
    EXPECT_EQ(odd.text, " A B C");
    EXPECT_EQ(odd.blockBytes, 16 * odd.units);
    expectRect(odd.rects[1], -0.01f, -2.5f, 6, 10);
}

TEST_F(VKPDFPageTextScannerTest, ZeroHeightRectanglesAreLoggedOncePerScan)
{
    test::PdfBuilder builder;
    int font = builder.addObject("<< /Type /Font /Subtype /TrueType /BaseFont /Flat /FirstChar 65 /Widths [500 500] >>");
    builder.addPage("BT /F1 10 Tf 100 700 Td (ABAB) Tj ET", pageEntries({ font }));
    Extracted page = extract(builder);
    EXPECT_EQ(page.text, " ABAB");
    size_t warnings = 0;
    for (const std::string& line : logLines())
        warnings += line.find("found zero height non-zero width render rect") != std::string::npos;
    EXPECT_EQ(warnings, 1u);
    EXPECT_TRUE(logContains("Warning: VKPDFPageTextScanner found zero height non-zero width render rect {{100, 700}, {5, 0}}"));
}

} // namespace

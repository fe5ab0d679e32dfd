#include "PDF/PdfTextTools.h"

#include "Support/TestCase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

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
    // The page text starts with its first character, wherever it stands.
    EXPECT_EQ(ab.text, "AB");
    ASSERT_EQ(ab.rects.size(), 2u);
    EXPECT_EQ(ab.blockBytes, 16 * ab.units);
    expectRect(ab.rects[0], 100, 697, 7.2f, 12);
    expectRect(ab.rects[1], 107.2f, 697, 7.2f, 12);

    // A kerning step of −1000 at size 10 moves B one em (10 units) right.
    Extracted tj = monoText("BT /F1 10 Tf 100 700 Td (AB) Tj ET");
    Extracted kerned = monoText("BT /F1 10 Tf 100 700 Td [(A) -1000 (B)] TJ ET");
    ASSERT_EQ(tj.rects.size(), 2u);
    ASSERT_EQ(kerned.rects.size(), 3u); // the gap inserts a space
    EXPECT_EQ(kerned.text, "A B");
    EXPECT_NEAR(kerned.rects[2].x() - tj.rects[1].x(), 10, 1e-3);

    // T* and ' move down by the leading; TD sets it to −ty.
    Extracted lines = monoText("BT /F1 10 Tf 14 TL 100 700 Td (A) Tj T* (B) Tj (C) ' 0 -20 TD (D) Tj T* (E) Tj ET");
    ASSERT_EQ(lines.text, "A B C D E");
    expectRect(lines.rects[2], 100, 686 - 2.5f, 6, 10);
    expectRect(lines.rects[4], 100, 672 - 2.5f, 6, 10);
    expectRect(lines.rects[6], 100, 652 - 2.5f, 6, 10);
    expectRect(lines.rects[8], 100, 632 - 2.5f, 6, 10);

    // Tz 50 halves advances and widths; Ts raises the rectangles.
    Extracted scaled = monoText("BT /F1 10 Tf 50 Tz 5 Ts 100 700 Td (AB) Tj ET");
    expectRect(scaled.rects[0], 100, 702.5f, 3, 10);
    expectRect(scaled.rects[1], 103, 702.5f, 3, 10);

    // Trm = [Tfs·Th 0 0 Tfs 0 Trise] × Tm × CTM.
    Extracted combined = monoText("2 0 0 2 10 20 cm BT /F1 10 Tf 1 0 0 1 50 100 Tm (A) Tj ET");
    expectRect(combined.rects[0], 110, 215, 12, 20);
}

TEST_F(VKPDFPageTextScannerTest, TextStateChangedWithinALinePlacesTheNextGlyph)
{
    // One change between two glyphs each time.
    Extracted line = monoText("BT /F1 10 Tf 100 700 Td (A) Tj 50 Tz (B) Tj 5 Ts (C) Tj /F1 20 Tf (D) Tj "
                              "q 1 0 0 1 0 -100 cm (E) Tj Q (F) Tj [-500 (G)] TJ 1 0 0 1 300 700 Tm (H) Tj ET");
    EXPECT_EQ(line.text, "ABCD E F G H");
    ASSERT_EQ(line.rects.size(), 12u);
    expectRect(line.rects[0], 100, 697.5f, 6, 10);
    expectRect(line.rects[1], 106, 697.5f, 3, 10);
    expectRect(line.rects[2], 109, 702.5f, 3, 10);
    expectRect(line.rects[3], 112, 700, 6, 20);
    expectRect(line.rects[5], 118, 600, 6, 20);
    expectRect(line.rects[7], 124, 700, 6, 20);
    expectRect(line.rects[9], 135, 700, 6, 20);
    expectRect(line.rects[11], 300, 700, 6, 20);
}

TEST_F(VKPDFPageTextScannerTest, WordSpacingAppliesToCode32OfSimpleFontsOnly)
{
    Extracted simple = monoText("BT /F1 10 Tf 20 Tw 100 700 Td (A B) Tj ET");
    ASSERT_EQ(simple.text, "A B");
    EXPECT_NEAR(simple.rects[2].x(), 100 + 6 + 6 + 20, 1e-3);

    test::PdfBuilder builder;
    int font = builder.addIdentityFont("Wide", { { 0x41, "0041" }, { 0x20, "0020" }, { 0x42, "0042" } }, 600);
    builder.addPage("BT /F1 10 Tf 20 Tw 100 700 Td <004100200042> Tj ET", pageEntries({ font }));
    Extracted composite = extract(builder);
    ASSERT_EQ(composite.text, "A B");
    EXPECT_NEAR(composite.rects[2].x(), 100 + 6 + 6, 1e-3);
}

TEST_F(VKPDFPageTextScannerTest, CharactersOutsideTheCropBoxAdvanceUnreported)
{
    Extracted cropped = monoText("BT /F1 10 Tf 90 700 Td (ABC) Tj ET", "/MediaBox [0 0 612 792] /CropBox [100 0 612 792]");
    // A ends at 96, outside; B starts at 96 and reaches into the box.
    EXPECT_EQ(cropped.text, "BC");
    expectRect(cropped.rects[0], 96, 697.5f, 6, 10);
}

TEST_F(VKPDFPageTextScannerTest, InsertsOneSpaceAtLineChangesAndWideGaps)
{
    // Gap of 1.6 units (below half the space, 6 counted as a third of the
    // em, 10/6 = 1.67): no space; 1.7: a space.
    Extracted narrow = monoText("BT /F1 10 Tf 100 700 Td (A) Tj 7.6 0 Td (B) Tj ET");
    EXPECT_EQ(narrow.text, "AB");
    Extracted wide = monoText("BT /F1 10 Tf 100 700 Td (A) Tj 7.7 0 Td (B) Tj ET");
    EXPECT_EQ(wide.text, "A B");
    // A real space before the gap prevents a second one.
    Extracted spaced = monoText("BT /F1 10 Tf 100 700 Td (A ) Tj 50 0 Td (B) Tj ET");
    EXPECT_EQ(spaced.text, "A B");
    // A line change inserts one space, however far.
    Extracted lines = monoText("BT /F1 10 Tf 100 700 Td (A) Tj 0 -100 Td (B) Tj ET");
    EXPECT_EQ(lines.text, "A B");
    ASSERT_EQ(lines.rects.size(), 3u);
    expectRect(lines.rects[1], 0, 0, 0, 0);
}

TEST_F(VKPDFPageTextScannerTest, TheGapThatMakesASpaceIsTheSameBesideEveryLetter)
{
    // Helvetica's space is 278 units: a gap over 139 is a space, beside a
    // wide m as beside a narrow i, in tight justified text as in a
    // heading spaced out by Tc, whose letters stay together.
    test::PdfBuilder builder;
    int font = builder.addStandardFont("Helvetica");
    builder.addPage("BT /F1 10 Tf 100 700 Td [(auf dem) -180 (Debian) -150 (System) -150 (Wiki)] TJ "
                    "0 -20 Td [(einem) -170 (Rechner)] TJ 0 -20 Td [(W) -30 (i) -120 (lli) -160 (W)] TJ "
                    "0 -20 Td 2 Tc [(LETTER) -550 (SPACED)] TJ ET",
        pageEntries({ font }));
    EXPECT_EQ(extract(builder).text, "auf dem Debian System Wiki einem Rechner Willi W LETTER SPACED");

    // A word in a typewriter font (space 600) set apart from Helvetica's
    // words by 190 units, Helvetica's narrow space, on either side; 120 is
    // no space.
    test::PdfBuilder mixed;
    int text = mixed.addStandardFont("Helvetica");
    int mono = addMonoFont(mixed);
    mixed.addPage("BT /F1 10 Tf 100 700 Td (class) Tj /F2 10 Tf 24.7 0 Td (Surround) Tj /F1 10 Tf 49.9 0 Td (should) Tj "
                  "/F2 10 Tf 0 -20 Td (Surround) Tj /F1 10 Tf 49.2 0 Td (s) Tj ET",
        pageEntries({ text, mono }));
    EXPECT_EQ(extract(mixed).text, "class Surround should Surrounds");

    // Typewriter words in justified text, 210 units apart (narrower than
    // half their font's space), as the letters of a typewriter heading
    // spread by Tc, and kana spread by a line's justification by 220.
    test::PdfBuilder set;
    mono = addMonoFont(set);
    int kana = set.addIdentityFont("Kana", { { 1, "304B" }, { 2, "306A" } });
    set.addPage("BT /F1 10 Tf 100 700 Td [(struct) -210 (person)] TJ 0 -20 Td 2 Tc (HEADING) Tj 0 Tc "
                "/F2 10 Tf 0 -20 Td [<0001> -220 <0002> -220 <0001>] TJ ET",
        pageEntries({ mono, kana }));
    EXPECT_EQ(extract(set).text, "struct person HEADING かなか");
}

// Lines shown from left to right as given, one glyph per unit (500 units
// wide, spaces too), each line 20 units below the one before.
Extracted shownLeftToRight(const std::vector<std::u16string>& lines)
{
    std::vector<std::pair<int, std::string>> map;
    std::map<char16_t, int> codes;
    std::string content = "BT /F1 10 Tf 100 700 Td ";
    for (const auto& line : lines) {
        content += "<";
        for (char16_t unit : line) {
            auto [found, added] = codes.emplace(unit, int(codes.size()) + 1);
            if (added)
                map.emplace_back(found->second, fmt::format("{:04X}", unsigned(unit)));
            content += fmt::format("{:04X}", found->second);
        }
        content += "> Tj 0 -20 Td ";
    }
    test::PdfBuilder builder;
    int font = builder.addIdentityFont("Wide", map, 500);
    builder.addPage(content + "ET", pageEntries({ font }));
    return extract(builder);
}

TEST_F(VKPDFPageTextScannerTest, RightToLeftLinesReadInTheirOrder)
{
    // Shown: letters from the right, numbers and left-to-right words as
    // they read, brackets mirrored; a mark drawn before its letter (as
    // shown) or after it (as typed) follows its letter.
    Extracted page = shownLeftToRight({ u"ناکما", u"(האר) 10.5% :תבותכ",
        u"hello world مالس", u"تبَ َهص" });
    EXPECT_EQ(page.text, "امکان כתובת: 10.5% (ראה) "
                         "سلام hello world صهَ بَت");
    // Each unit keeps its glyph's rectangle: the first letter read is the
    // rightmost drawn.
    ASSERT_EQ(page.rects.size(), page.units);
    EXPECT_NEAR(page.rects[0].x(), 120, 1e-3);
    EXPECT_NEAR(page.rects[4].x(), 100, 1e-3);

    // A ligature's letters keep their order; a space drawn at a line's
    // right end (its start) still parts it from the next line.
    test::PdfBuilder builder;
    int font = builder.addIdentityFont("Wide", { { 1, "06440627" }, { 2, "0628" } }, 500);
    builder.addPage("BT /F1 10 Tf 100 700 Td <00010002> Tj ET", pageEntries({ font }));
    EXPECT_EQ(extract(builder).text, "بلا");
    EXPECT_EQ(shownLeftToRight({ u"مالس ", u"ایند" }).text, " سلام دنیا");
    // A span's actual text is in reading order already.
    test::PdfBuilder spans;
    font = spans.addIdentityFont("Wide", { { 1, "0627" }, { 2, "06CC" }, { 3, "0646" }, { 4, "062F" }, { 5, "0020" } }, 500);
    spans.addPage("BT /F1 10 Tf 100 700 Td /Span <</ActualText <FEFF0633064406270645>>> BDC <00060006> Tj EMC "
                  "<00050001000200030004> Tj ET", pageEntries({ font }));
    EXPECT_EQ(extract(spans).text, "دنیا سلام");

    // On a page mostly read from the left, a right-to-left word turns
    // within its line.
    EXPECT_EQ(shownLeftToRight({ u"see םולש here and there" }).text, "see שלום here and there");
}

TEST_F(VKPDFPageTextScannerTest, WordsAreJudgedAlongTheBaselineAndRectanglesStoredInPageSpace)
{
    // On a page turned by 90 the text runs down the page in page space
    // (rotated text matrix), which reads as one line when shown upright.
    Extracted turned = monoText("BT /F1 10 Tf 0 -1 1 0 300 700 Tm (AB) Tj ET", "/MediaBox [0 0 612 792] /Rotate 90");
    EXPECT_EQ(turned.text, "AB");
    ASSERT_EQ(turned.rects.size(), 2u);
    expectRect(turned.rects[0], 297.5f, 694, 10, 6);
    expectRect(turned.rects[1], 297.5f, 688, 10, 6);
    // So does text across a turned page, or turned on an upright one, or
    // upside down.
    Extracted across = monoText("BT /F1 10 Tf 100 700 Td (AB) Tj 0 -20 Td (CD) Tj ET", "/MediaBox [0 0 612 792] /Rotate 90");
    EXPECT_EQ(across.text, "AB CD");
    Extracted vertical = monoText("BT /F1 10 Tf 0 -1 1 0 300 700 Tm (AB) Tj 0 20 Td (CD) Tj ET");
    EXPECT_EQ(vertical.text, "AB CD");
    Extracted upsideDown = monoText("BT /F1 10 Tf -1 0 0 -1 300 700 Tm (AB) Tj 30 0 Td (CD) Tj ET");
    EXPECT_EQ(upsideDown.text, "AB CD");
}

TEST_F(VKPDFPageTextScannerTest, SlantedTextAndMixedFontsKeepTheirWordBreaks)
{
    // Words set apart by kerning alone, on a baseline turned or with glyphs
    // slanted by 10 to 60 degrees.
    const std::string words = "[(The) -600 (separation) -600 (of) -600 (any)] TJ";
    for (double degrees : { 10.0, 30.0, 45.0, 60.0 }) {
        SCOPED_TRACE(degrees);
        double angle = degrees * M_PI / 180;
        std::string turned = fmt::format("{} {} {} {} 200 300 Tm", std::cos(angle), std::sin(angle), -std::sin(angle), std::cos(angle));
        EXPECT_EQ(monoText("BT /F1 10 Tf " + turned + " " + words + " ET").text, "The separation of any");
        EXPECT_EQ(monoText(fmt::format("BT /F1 10 Tf 1 0 {} 1 100 300 Tm ", std::tan(angle)) + words + " ET").text,
            "The separation of any");
    }
    // Huge or degenerate matrices cost nothing more.
    Extracted huge = monoText("BT /F1 10 Tf 1e30 1e30 -1e30 1e30 0 0 Tm (ab) Tj 0 0 1e38 0 0 0 Tm (cd) Tj ET");
    EXPECT_EQ(huge.blockBytes, 16 * huge.units);

    // Brackets from a font with a deep descent around a word in another.
    test::PdfBuilder builder;
    int mono = addMonoFont(builder);
    int descriptor = builder.addObject("<< /Type /FontDescriptor /FontName /Deep /Flags 4 /FontBBox [0 -960 800 750] "
                                       "/ItalicAngle 0 /Ascent 750 /Descent -960 /StemV 40 >>");
    int deep = builder.addObject(fmt::format("<< /Type /Font /Subtype /TrueType /BaseFont /Deep /FirstChar 60 /LastChar 62 "
                                             "/Widths [389 0 389] /Encoding /WinAnsiEncoding /FontDescriptor {} 0 R >>",
        descriptor));
    builder.addPage("BT /F2 10 Tf 100 700 Td (<) Tj /F1 10 Tf (name) Tj /F2 10 Tf (>) Tj /F1 10 Tf 2 Ts (2) Tj ET",
        pageEntries({ mono, deep }));
    EXPECT_EQ(extract(builder).text, "<name>2");
}

TEST_F(VKPDFPageTextScannerTest, OneRectanglePerUtf16Unit)
{
    test::PdfBuilder builder;
    int simpleMap = addToUnicode(builder, "3 beginbfchar\n<41> <FB01>\n<42> <2019>\n<43> <D835DC00>\nendbfchar");
    int simple = addMonoFont(builder, fmt::format("/Encoding /WinAnsiEncoding /ToUnicode {} 0 R", simpleMap));
    int composite = builder.addIdentityFont("Wide", { { 1, "D835DC00" }, { 2, "2019" } }, 500);
    builder.addPage("BT /F1 10 Tf 100 700 Td (ABC) Tj /F2 10 Tf 100 -100 Td <00010002> Tj ET", pageEntries({ simple, composite }));
    Extracted page = extract(builder);
    // The simple font's texts lose their compatibility forms (the ligature
    // becomes f and i, the bold A an A) but ’ stays a closing quote; the
    // composite font keeps its texts as mapped, composed.
    EXPECT_EQ(page.text, "fi\u2019A \U0001D400\u2019");
    EXPECT_EQ(page.units, 8u);
    ASSERT_EQ(page.rects.size(), page.units);
    EXPECT_EQ(page.blockBytes, 16 * page.units);
    EXPECT_EQ(page.rects[0], page.rects[1]); // f and i share the ligature's rectangle
    EXPECT_NE(page.rects[1], page.rects[2]);
    EXPECT_EQ(page.rects[5], page.rects[6]); // the surrogate pair
    EXPECT_NE(page.rects[6], page.rects[7]);
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
    EXPECT_EQ(page.text, "A X A");
    ASSERT_EQ(page.rects.size(), 5u);
    expectRect(page.rects[2], 100, 600 - 5, 10, 23);
    expectRect(page.rects[4], 100, 497.5f, 6, 10);

    // Th set before BT still holds inside it.
    Extracted scaled = monoText("50 Tz BT /F1 10 Tf 100 700 Td (A) Tj ET");
    expectRect(scaled.rects[0], 100, 697.5f, 3, 10);
}

TEST_F(VKPDFPageTextScannerTest, MissingOrMistypedOperandsEndOnlyTheirOperator)
{
    // Tf pops the size and the name independently.
    Extracted nameOnly = monoText("BT /F1 Tf 100 700 Td (A) Tj ET");
    EXPECT_EQ(nameOnly.text, "A");
    expectRect(nameOnly.rects[0], 100, 700, 0, 0);
    Extracted sizeFirst = monoText("BT /F1 10 Tf 12 Tf 100 700 Td (A) Tj ET");
    expectRect(sizeFirst.rects[0], 100, 697, 7.2f, 12);
    // " pops the string, then ac and aw.
    Extracted quoted = monoText("BT /F1 10 Tf 14 TL 100 700 Td 20 1 (A B) \" ET");
    EXPECT_EQ(quoted.text, "A B");
    expectRect(quoted.rects[0], 100, 683.5f, 6, 10);
    EXPECT_NEAR(quoted.rects[2].x(), 100 + 7 + 27, 1e-3);
    // Mistyped operands, strays and absurd numbers.
    const std::string huge = "1" + std::string(39, '0');
    Extracted odd = monoText("BT /F1 10 Tf (x) Td 1 2 3 cm /Name Tj [1 (A) /N] TJ " + huge + " 0 0 " + huge
        + " 0 0 Tm (B) Tj 0 0 0 0 0 0 Tm (C) Tj Q Q q q ET");
    // B's rectangle saturates and covers the page; C's has no area. All
    // three start on one baseline at one place.
    EXPECT_EQ(odd.text, "ABC");
    EXPECT_EQ(odd.blockBytes, 16 * odd.units);
    expectRect(odd.rects[0], -0.01f, -2.5f, 6, 10);
}

TEST_F(VKPDFPageTextScannerTest, GlyphsLeftOfThePreviousStartAWord)
{
    // A label set at the right margin, then the line's start at the left.
    Extracted columns = monoText("BT /F1 10 Tf 500 700 Td ([Function]) Tj ET BT /F1 10 Tf 72 700 Td (int) Tj ET");
    EXPECT_EQ(columns.text, "[Function] int");
    // Kerning back by less than a space's width keeps the word; a jump back
    // by more starts another.
    EXPECT_EQ(monoText("BT /F1 10 Tf 100 700 Td (A) Tj -2 0 Td (B) Tj ET").text, "AB");
    EXPECT_EQ(monoText("BT /F1 10 Tf 100 700 Td (AB) Tj -3 0 Td (C) Tj ET").text, "AB C");
    EXPECT_EQ(monoText("BT /F1 10 Tf 100 700 Td [(A) 800 (B)] TJ ET").text, "AB");
}

TEST_F(VKPDFPageTextScannerTest, AccentGlyphsJoinTheirLetterComposed)
{
    test::PdfBuilder builder;
    // A font with TeX's accent glyphs: a diaeresis at 127, an acute at 19,
    // a dotless i at 16.
    int font = addMonoFont(builder, "/Encoding << /BaseEncoding /WinAnsiEncoding /Differences [127 /dieresis 19 /acute "
                                    "16 /dotlessi 17 /circumflex] >>");
    int map = addToUnicode(builder, "2 beginbfchar\n<41> <00750308>\n<42> <00A8>\nendbfchar");
    int mapped = addMonoFont(builder, fmt::format("/ToUnicode {} 0 R", map));
    // TeX sets the accent first and moves back under it to the letter;
    // other tools set the letter, then the accent over it.
    builder.addPage("BT /F1 10 Tf 100 700 Td (M) Tj [(\177) 600 (uller)] TJ ET "
                    "BT /F1 10 Tf 100 650 Td (Caf) Tj [(e) 600 (\023)] TJ ( na) Tj [(\177) 600 (\020ve)] TJ ET "
                    "BT /F1 10 Tf 100 600 Td (\021 stays) Tj ( a\177) Tj ET "
                    "BT /F2 10 Tf 100 550 Td (A) Tj [(u) 600 (B)] TJ ET",
        pageEntries({ font, mapped }));
    Extracted page = extract(builder);
    // An accent standing clear of any letter stays as it is; a mapped text
    // with a combining mark is composed.
    EXPECT_EQ(page.text, "M\u00FCller Caf\u00E9 na\u00EFve \u02C6 stays a\u00A8 \u00FC\u00FC");
    EXPECT_EQ(page.units, page.rects.size());
    // The letter keeps its own rectangle.
    EXPECT_NEAR(page.rects[1].x(), 106, 1e-3);
    EXPECT_NEAR(page.rects[1].width(), 6, 1e-3);
}

// Page entries with the fonts F1, F2, ... and form XObjects ("/Name n 0 R ...").
std::string withForms(const std::vector<int>& fonts, const std::string& xobjects)
{
    std::string entries = pageEntries(fonts);
    return entries.substr(0, entries.size() - 2) + " /XObject << " + xobjects + " >> >>";
}

int addForm(test::PdfBuilder& builder, const std::string& extra, const std::string& contents)
{
    return builder.addStream("/Type /XObject /Subtype /Form /BBox [0 0 612 792] " + extra, contents);
}

TEST_F(VKPDFPageTextScannerTest, FormsAreReadWhereTheyAreDrawn)
{
    test::PdfBuilder builder;
    int mono = addMonoFont(builder);
    int other = addMonoFont(builder, "/Encoding /MacRomanEncoding");
    // An inner form with a font of its own, drawn by an outer one that uses
    // the page's font and moves it 100 units right; the text state set
    // before the Do carries into the forms and is back after them.
    int inner = addForm(builder, fmt::format("/Matrix [1 0 0 1 0 -50] /Resources << /Font << /F9 {} 0 R >> >>", other),
        "BT /F9 10 Tf 100 700 Td (inner) Tj ET");
    int outer = addForm(builder, fmt::format("/Matrix [1 0 0 1 100 0] /Resources << /XObject << /In {} 0 R >> >>", inner),
        "BT 100 700 Td (outer) Tj ET /In Do");
    builder.addPage("BT /F1 20 Tf ET q 1 0 0 1 0 0 cm /Out Do Q BT 100 600 Td (page) Tj ET",
        withForms({ mono }, fmt::format("/Out {} 0 R", outer)));
    Extracted page = extract(builder);
    EXPECT_EQ(page.text, "outer inner page");
    ASSERT_EQ(page.rects.size(), 16u);
    // outer: size 20 from the page, at 100 + 100; inner: its own size 10,
    // under both matrices.
    expectRect(page.rects[0], 200, 695, 12, 20);
    expectRect(page.rects[6], 200, 647.5f, 6, 10);
    // After the forms the page's own text state holds: size 20.
    expectRect(page.rects[12], 100, 595, 12, 20);
}

TEST_F(VKPDFPageTextScannerTest, HostileFormsCostBoundedWork)
{
    test::PdfBuilder builder;
    int mono = addMonoFont(builder);
    // A form that draws itself, and two that draw each other: each is read
    // once per way in.
    int loop = addForm(builder, "", "BT /F1 10 Tf 100 700 Td (S) Tj ET /Me Do");
    builder.setStreamEntries(loop, fmt::format("/Resources << /XObject << /Me {} 0 R >> >>", loop));
    int a = addForm(builder, "", "BT /F1 10 Tf 100 650 Td (A) Tj ET /B Do");
    int b = addForm(builder, fmt::format("/Resources << /XObject << /A {} 0 R >> >>", a),
        "BT /F1 10 Tf 100 640 Td (B) Tj ET /A Do");
    builder.setStreamEntries(a, fmt::format("/Resources << /XObject << /B {} 0 R >> >>", b));
    builder.addPage("/Loop Do /A Do", withForms({ mono }, fmt::format("/Loop {} 0 R /A {} 0 R", loop, a)));

    // A chain 10,000 forms deep: the first 12 are read.
    int next = 0;
    for (int level = 0; level < 10000; ++level) {
        std::string resources = next ? fmt::format("/Resources << /XObject << /N {} 0 R >> >>", next) : "";
        next = addForm(builder, resources, "BT /F1 10 Tf 100 700 Td (x) Tj ET" + std::string(next ? " /N Do" : ""));
    }
    builder.addPage("/N Do", withForms({ mono }, fmt::format("/N {} 0 R", next)));

    // A form drawn 6,000 times is read 4,096 times; one without a box, one
    // whose stream is damaged, an image and a missing name add nothing.
    int small = addForm(builder, "", "BT /F1 10 Tf 100 700 Td (y) Tj ET");
    int boxless = builder.addStream("/Type /XObject /Subtype /Form", "BT /F1 10 Tf 100 700 Td (nobox) Tj ET");
    int damaged = builder.addStream("/Type /XObject /Subtype /Form /BBox [0 0 9 9] /Filter /FlateDecode", "not flate");
    int image = builder.addStream("/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray "
                                  "/BitsPerComponent 8",
        std::string(1, '\0'));
    std::string many;
    for (int i = 0; i < 6000; ++i)
        many += "/Y Do ";
    builder.addPage(many + "/Box Do /Bad Do /Im Do /Missing Do BT /F1 10 Tf 100 600 Td (end) Tj ET",
        withForms({ mono }, fmt::format("/Y {} 0 R /Box {} 0 R /Bad {} 0 R /Im {} 0 R", small, boxless, damaged, image)));

    auto document = open(builder);
    ASSERT_TRUE(document);
    EXPECT_EQ(extract(document->page(1)).text, "S A B");
    EXPECT_EQ(extract(document->page(2)).text, std::string(VKPDFPageScanner::kMaximumFormDepth, 'x'));
    EXPECT_EQ(extract(document->page(3)).text, std::string(VKPDFPageScanner::kMaximumFormScans, 'y') + " end");
}

TEST_F(VKPDFPageTextScannerTest, ActualTextStandsForTheGlyphsItCovers)
{
    test::PdfBuilder builder;
    int mono = addMonoFont(builder);
    // Glyphs without text of their own, as a font that lacks a script draws.
    int standIns = builder.addIdentityFont("StandIn", { { 0x41, "0041" } }, 600);
    int named = builder.addObject("<< /ActualText <FEFFD55CAE00> /MCID 3 >>");
    int form = addForm(builder, "", "EMC BT /F1 10 Tf 100 500 Td (xy) Tj ET /Span <</ActualText (open)>> BDC BT 300 500 Td (z) Tj ET");
    std::string resources = fmt::format("/MediaBox [0 0 612 792] /Resources << /Font << /F1 {} 0 R /F2 {} 0 R >> "
                                        "/Properties << /P1 {} 0 R >> /XObject << /Fm {} 0 R >> >>",
        mono, standIns, named, form);
    // A stray EMC, a span over three show operators, one from the
    // properties resource, nested ones (the outer wins), an empty one (its
    // glyphs hide), marks without actual text, invalid UTF-16, a form's
    // EMC and BDC inside a span and its unended span outside one, a span
    // that never ends.
    builder.addPage("EMC BT /F1 10 Tf 100 700 Td /Span <</ActualText <FEFF00660069>>> BDC (x) Tj (y) Tj [(z)] TJ EMC "
                    "( one ) Tj /Span /P1 BDC /F2 10 Tf <00050005> Tj EMC /F1 10 Tf ( ) Tj "
                    "/Span <</ActualText (outer)>> BDC (a) Tj /Span <</ActualText (inner)>> BDC (b) Tj EMC (c) Tj EMC ( ) Tj "
                    "/Span <</ActualText ()>> BDC (hidden) Tj EMC /P BMC (plain ) Tj EMC /P <</MCID 1>> BDC (marked ) Tj EMC "
                    "/Span <</ActualText <FEFFD800004100>>> BDC (q) Tj EMC ET "
                    "/Span <</ActualText (AB)>> BDC /Fm Do EMC q 1 0 0 1 0 -100 cm /Fm Do Q BT /F1 10 Tf 100 300 Td (w ) Tj "
                    "/Span <</ActualText (never ends)>> BDC (v) Tj",
        resources);
    Extracted page = extract(builder);
    EXPECT_EQ(page.text, "fi one 한글 outer plain marked �A AB xy open w never ends");
    ASSERT_EQ(page.rects.size(), page.units);
    // The span's units share its glyphs' extent: x, y and z, 18 units wide.
    expectRect(page.rects[0], 100, 697.5f, 9, 10);
    expectRect(page.rects[1], 109, 697.5f, 9, 10);
    EXPECT_NEAR(page.rects[7].x(), 148, 1e-3);
    EXPECT_NEAR(page.rects[7].width(), 6, 1e-3);
}

TEST_F(VKPDFPageTextScannerTest, HostileMarkedContentCostsBoundedWork)
{
    test::PdfBuilder builder;
    int mono = addMonoFont(builder);
    int big = builder.addObject("<< /ActualText (" + std::string(1000, 'w') + ") >>");
    // Spans nested 10,000 deep, most without their EMC; then one drawn
    // 5,000 times with a thousand units of text, within the page's budget.
    std::string nested;
    for (int i = 0; i < 10000; ++i)
        nested += i % 2 ? "/P BMC " : "/Span <</ActualText (n)>> BDC ";
    std::string repeated;
    for (int i = 0; i < 5000; ++i)
        repeated += "/Span /Big BDC 1 0 0 1 100 700 Tm (x) Tj EMC ";
    builder.addPage("BT /F1 10 Tf 100 700 Td " + nested + "(a) Tj EMC EMC ET",
        fmt::format("/MediaBox [0 0 612 792] /Resources << /Font << /F1 {} 0 R >> >>", mono));
    builder.addPage("BT /F1 10 Tf " + repeated + "ET",
        fmt::format("/MediaBox [0 0 612 792] /Resources << /Font << /F1 {} 0 R >> /Properties << /Big {} 0 R >> >>", mono, big));
    auto document = open(builder);
    ASSERT_TRUE(document);
    EXPECT_EQ(extract(document->page(1)).text, "n");
    Extracted repeatedText = extract(document->page(2));
    size_t spans = VKPDFPageTextScanner::kMaximumActualTextUnits / 1000;
    EXPECT_EQ(repeatedText.units, spans * 1000 + (5000 - spans));
}

TEST_F(VKPDFPageTextScannerTest, ZeroHeightRectanglesAreLoggedOncePerScan)
{
    test::PdfBuilder builder;
    int font = builder.addObject("<< /Type /Font /Subtype /TrueType /BaseFont /Flat /FirstChar 65 /Widths [500 500] >>");
    builder.addPage("BT /F1 10 Tf 100 700 Td (ABAB) Tj ET", pageEntries({ font }));
    Extracted page = extract(builder);
    EXPECT_EQ(page.text, "ABAB");
    size_t warnings = 0;
    for (const std::string& line : logLines())
        warnings += line.find("found zero height non-zero width render rect") != std::string::npos;
    EXPECT_EQ(warnings, 1u);
    EXPECT_TRUE(logContains("Warning: VKPDFPageTextScanner found zero height non-zero width render rect {{100, 700}, {5, 0}}"));
}

} // namespace

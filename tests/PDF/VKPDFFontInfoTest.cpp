#include "PDF/PdfTextTools.h"

#include "PDF/VKPDFCompositeFontInfo.h"
#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFPage.h"
#include "PDF/VKPDFSimpleFontInfo.h"
#include "Platform/Core/MemoryWarning.h"
#include "Platform/Core/NotificationCenter.h"
#include "Support/TestCase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace pdftext;

namespace {

class VKPDFFontInfoTest : public test::TestCase {
protected:
    // A decoder for a font written in PDF syntax (may refer to objects
    // added to `builder` before).
    std::shared_ptr<VKPDFFontInfo> fontFor(test::PdfBuilder& builder, const std::string& syntax)
    {
        int font = builder.addObject(syntax);
        builder.addPage("", pageEntries({ font }));
        m_document = open(builder);
        pdf::Dictionary dictionary;
        m_document->page(1).dictionary().dictionary("Resources", dictionary);
        dictionary.dictionary("Font", dictionary);
        dictionary.dictionary("F1", dictionary);
        return VKPDFFontInfo::fontInfoWithFontDictionary(dictionary);
    }
    std::shared_ptr<VKPDFFontInfo> fontFor(const std::string& syntax)
    {
        test::PdfBuilder builder;
        return fontFor(builder, syntax);
    }
    static std::shared_ptr<VKPDFSimpleFontInfo> simple(const std::shared_ptr<VKPDFFontInfo>& font)
    {
        return std::dynamic_pointer_cast<VKPDFSimpleFontInfo>(font);
    }
    static std::shared_ptr<VKPDFCompositeFontInfo> composite(const std::shared_ptr<VKPDFFontInfo>& font)
    {
        return std::dynamic_pointer_cast<VKPDFCompositeFontInfo>(font);
    }

    std::shared_ptr<pdf::Document> m_document;
};

std::string utf8(const std::u16string& text)
{
    return core::toUTF8(text);
}

TEST_F(VKPDFFontInfoTest, DescriptorMetricsAndWidths)
{
    auto font = simple(fontFor("<< /Subtype /Type1 /BaseFont /X /FirstChar 65 /Widths [500 /Bad 700] "
                               "/FontDescriptor << /Ascent 0 /Descent -200 /FontBBox [0 -300 1000 900] /MissingWidth 250 >> >>"));
    ASSERT_TRUE(font);
    // Ascent 0: both from FontBBox [1] and [3].
    EXPECT_EQ(font->ascent(), 900);
    EXPECT_EQ(font->descent(), -300);
    EXPECT_EQ(font->widthForCode(64), 250);
    EXPECT_EQ(font->widthForCode(65), 500);
    EXPECT_EQ(font->widthForCode(66), 0); // not a number, inside the range
    EXPECT_EQ(font->widthForCode(67), 700);
    EXPECT_EQ(font->widthForCode(68), 250);

    auto kept = simple(fontFor("<< /Subtype /TrueType /BaseFont /X /Widths [1] /FontDescriptor << /Ascent 800 /Descent -100 /FontBBox [0 -300 1000 900] >> >>"));
    EXPECT_EQ(kept->ascent(), 800);
    EXPECT_EQ(kept->descent(), -100);

    // A million widths (256 read), negative and huge FirstChar.
    std::string many = "[";
    for (int i = 0; i < 1000000; ++i)
        many += "3 ";
    auto large = simple(fontFor("<< /Subtype /Type1 /BaseFont /X /FirstChar -5 /Widths " + many + "] >>"));
    EXPECT_EQ(large->widthForCode(0), 3);
    EXPECT_EQ(large->widthForCode(255), 3);
    auto far = simple(fontFor("<< /Subtype /Type1 /BaseFont /X /FirstChar 9223372036854775807 /Widths [1 2] "
                              "/FontDescriptor << /MissingWidth 7 >> >>"));
    EXPECT_EQ(far->widthForCode(255), 7);
    auto before = simple(fontFor("<< /Subtype /Type1 /BaseFont /X /FirstChar -9223372036854775807 /Widths [1 2] >>"));
    EXPECT_EQ(before->widthForCode(0), 0);
}

TEST_F(VKPDFFontInfoTest, StandardFontsWithoutWidthsTakeTheCore14Metrics)
{
    auto helvetica = simple(fontFor("<< /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
    ASSERT_TRUE(helvetica);
    EXPECT_EQ(helvetica->ascent(), 718);
    EXPECT_EQ(helvetica->descent(), -207);
    EXPECT_EQ(helvetica->widthForCode('A'), 667);
    // é under WinAnsi advances as é (556), not as the built-in code's Ø.
    EXPECT_EQ(helvetica->widthForCode(0xE9), 556);
    EXPECT_EQ(utf8(helvetica->encodingTable()[0xE9]), "é");

    // No Encoding: the built-in one (StandardEncoding: 0x27 is ’).
    auto builtIn = simple(fontFor("<< /Subtype /Type1 /BaseFont /Times-Roman >>"));
    EXPECT_EQ(utf8(builtIn->encodingTable()[0x27]), "’");
    auto symbol = simple(fontFor("<< /Subtype /Type1 /BaseFont /Symbol >>"));
    EXPECT_EQ(utf8(symbol->encodingTable()['a']), "α");
    EXPECT_GT(symbol->ascent(), 0);

    // Widths without a descriptor: the standard ascent and descent.
    auto withWidths = simple(fontFor("<< /Subtype /Type1 /BaseFont /Courier /FirstChar 65 /Widths [600] >>"));
    EXPECT_EQ(withWidths->ascent(), 629);
    EXPECT_EQ(withWidths->descent(), -157);
    EXPECT_EQ(withWidths->widthForCode(66), 0);

    // Neither BaseFont nor Widths: no decoder, and its strings neither add
    // text nor move the text matrix.
    EXPECT_FALSE(fontFor("<< /Subtype /Type1 /Encoding /WinAnsiEncoding >>"));
    EXPECT_TRUE(logContains("Warning: Neither BaseFont nor Widths present in font dictionary"));
    test::PdfBuilder builder;
    int bad = builder.addObject("<< /Type /Font /Subtype /Type1 >>");
    int mono = addMonoFont(builder);
    builder.addPage("BT /F2 10 Tf 100 700 Td (A) Tj /F1 10 Tf (BBBB) Tj /F2 10 Tf (C) Tj ET", pageEntries({ bad, mono }));
    Extracted page = extract(builder);
    EXPECT_EQ(page.text, "AC");
    ASSERT_EQ(page.rects.size(), 2u);
    EXPECT_NEAR(page.rects[1].x(), 106, 1e-3);
}

TEST_F(VKPDFFontInfoTest, Type3GlyphSpaceFollowsTheFontMatrix)
{
    auto font = simple(fontFor("<< /Subtype /Type3 /FontMatrix [0.01 0 0 0.01 0 0] /FontBBox [0 -20 50 80] /FirstChar 97 "
                               "/Widths [50] /Encoding << /Differences [97 /filledbox] >> /CharProcs << >> >>"));
    ASSERT_TRUE(font);
    EXPECT_FLOAT_EQ(font->widthForCode('a'), 500);
    EXPECT_FLOAT_EQ(font->ascent(), 800);
    EXPECT_FLOAT_EQ(font->descent(), -200);
    EXPECT_EQ(utf8(font->encodingTable()['a']), "■");
}

TEST_F(VKPDFFontInfoTest, NumberedGlyphNamesCarryTheirCodeOutsideTheDingbatsFont)
{
    const std::string differences = "/Differences [32 /a103 /a97 /a112 /a62 /a0 /a9999 /aFOO /a255 /a300 /a33 65 /a33 /a127]";
    auto bitmap = simple(fontFor("<< /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0] /FontBBox [0 0 1 1] /FirstChar 0 "
                                 "/Widths [] /Encoding << " + differences + " >> /CharProcs << >> >>"));
    ASSERT_TRUE(bitmap);
    std::string read;
    for (int code = 32; code < 42; ++code)
        read += utf8(bitmap->encodingTable()[size_t(code)]) + "|";
    // Control codes and numbers past a byte carry nothing; /a9999 and
    // /aFOO are left to the glyph list, which knows neither (the base
    // encoding's entry stays).
    EXPECT_EQ(read, "g|a|p|>||%|&|ÿ||!|");
    EXPECT_EQ(utf8(bitmap->encodingTable()['A']), "!"); // a code named twice
    EXPECT_EQ(utf8(bitmap->encodingTable()['B']), "");

    auto dingbats = simple(fontFor("<< /Subtype /Type1 /BaseFont /ABCDEF+ZapfDingbats /Widths [] /Encoding << " + differences + " >> >>"));
    EXPECT_EQ(utf8(dingbats->encodingTable()[41]), "\u2726");
}

TEST_F(VKPDFFontInfoTest, EncodingsAndDifferences)
{
    auto named = simple(fontFor("<< /Subtype /Type1 /BaseFont /X /Widths [] /Encoding /MacRomanEncoding >>"));
    EXPECT_EQ(utf8(named->encodingTable()[0x8E]), "é");

    auto differences = simple(fontFor("<< /Subtype /Type1 /BaseFont /X /Widths [] /Encoding << /BaseEncoding /WinAnsiEncoding "
                                      "/Differences [32 /space /a 65 /B /no.such.glyph /uni20AC /u1F600 /A.sc /f_f_i 1000 /x 223 /.notdef 3.5 /C] >> >>"));
    const auto& table = differences->encodingTable();
    EXPECT_EQ(utf8(table[32]), " ");
    EXPECT_EQ(utf8(table[33]), "a");
    EXPECT_EQ(utf8(table[65]), "B");
    EXPECT_EQ(utf8(table[66]), "B"); // unknown name: entry kept, code advanced
    EXPECT_EQ(utf8(table[67]), "€");
    EXPECT_EQ(utf8(table[68]), "😀");
    EXPECT_EQ(utf8(table[69]), "A");
    EXPECT_EQ(utf8(table[70]), "ffi");
    EXPECT_EQ(utf8(table[71]), "G"); // the walk stopped at 3.5
    EXPECT_EQ(utf8(table[0x80]), "€");
    EXPECT_TRUE(table[223].empty()); // .notdef: no text, where WinAnsi has ß

    // No BaseEncoding: StandardEncoding; mistyped Differences change nothing.
    auto standard = simple(fontFor("<< /Subtype /Type1 /BaseFont /X /Widths [] /Encoding << /Differences 5 >> >>"));
    EXPECT_EQ(utf8(standard->encodingTable()[0x27]), "’");
    EXPECT_TRUE(standard->encodingTable()[0x80].empty());

    // A name no table knows keeps the dictionary rule, so ToUnicode still
    // has a table to fill.
    test::PdfBuilder builder;
    int map = addToUnicode(builder, "1 beginbfchar\n<01> <0058>\nendbfchar");
    auto identity = simple(fontFor(builder, fmt::format("<< /Subtype /TrueType /BaseFont /X /Widths [] /Encoding /Identity-H /ToUnicode {} 0 R >>", map)));
    EXPECT_EQ(utf8(identity->encodingTable()[1]), "X");
    EXPECT_EQ(utf8(identity->encodingTable()['A']), "A");
}

TEST_F(VKPDFFontInfoTest, CodesWithoutTextAdvanceUnreported)
{
    test::PdfBuilder builder;
    int font = addMonoFont(builder, "/Encoding << /Differences [65 /nosuchglyph] >>");
    int map = addToUnicode(builder, "1 beginbfchar\n<42> <>\nendbfchar\n1 beginbfchar\n<0100> <0041>\nendbfchar");
    int mapped = addMonoFont(builder, fmt::format("/ToUnicode {} 0 R", map));
    builder.addPage("BT /F1 10 Tf 100 700 Td (\001A\002C) Tj /F2 10 Tf (BD) Tj ET", pageEntries({ font, mapped }));
    Extracted page = extract(builder);
    // \001 and \002 have no text under StandardEncoding; A keeps its entry;
    // B is mapped to nothing. Their glyphs are drawn all the same: they take
    // their room, which leaves gaps between the characters that have text.
    EXPECT_EQ(page.text, "A C D");
    ASSERT_EQ(page.rects.size(), 5u);
    EXPECT_NEAR(page.rects[0].x(), 106, 1e-3);
    EXPECT_NEAR(page.rects[2].x(), 118, 1e-3);
    EXPECT_NEAR(page.rects[4].x(), 130, 1e-3);
    EXPECT_TRUE(logContains("Warning: illegal character identifier 256"));
}

// TeX's fonts name their glyphs in an encoding of their own (a period at
// 58, ligatures at 11 to 14, brackets and bars where letters stand in
// StandardEncoding); PDF files embed them without an Encoding.
const test::PdfFontPrograms::Encoding kTeXLike = {
    { 11, "ff" }, { 12, "fi" }, { 13, "fl" }, { 14, "ffi" }, { 32, "space" }, { 58, "period" }, { 65, "A" },
    { 100, "d" }, { 101, "e" }, { 102, "braceleft" }, { 103, "braceright" }, { 104, "angbracketleft" },
    { 105, "angbracketright" }, { 106, "bar" }, { 108, "l" }, { 120, "x" }, { 121, "y" }, { 200, "uni00E9" },
    { 201, "u1F600" }, { 202, "g123" }, { 203, "a12" },
};
const char* kTeXLikeShow = "(\\014eld\\072 \\150x\\151 \\146y\\147 \\152\\310\\152 \\311\\312\\313 \\013\\015\\016) Tj";

std::string showEmbedded(ProgramKind kind, const std::string& entries = {}, const std::string* program = nullptr)
{
    test::PdfBuilder builder;
    int font = addEmbeddedFont(builder, kind, kTeXLike, entries, program);
    builder.addPage(fmt::format("BT /F1 10 Tf 100 700 Td {} ET", kTeXLikeShow), pageEntries({ font }));
    return extract(builder).text;
}

TEST_F(VKPDFFontInfoTest, EmbeddedProgramsWithoutEncodingUseTheirOwn)
{
    // Glyph names by the glyph list's rules: ligatures as their letters,
    // uniXXXX and uXXXXX by value; g123 names no character and a12 (in a
    // font that is not the dingbats font) a control code, so their glyphs
    // only take their room.
    const std::string expected = "field. \u27E8x\u27E9 {y} |\u00E9| \U0001F600  ffflffi";
    EXPECT_EQ(showEmbedded(ProgramKind::CFF), expected);
    EXPECT_EQ(showEmbedded(ProgramKind::Type1), expected);

    // Differences over no BaseEncoding change the program's encoding.
    test::PdfBuilder builder;
    int font = addEmbeddedFont(builder, ProgramKind::CFF, kTeXLike, "/Encoding << /Differences [65 /B 100 /nosuchglyph] >>");
    builder.addPage("BT /F1 10 Tf 100 700 Td (Ade) Tj ET", pageEntries({ font }));
    EXPECT_EQ(extract(builder).text, "Bde");
}

TEST_F(VKPDFFontInfoTest, NamedEncodingsMapsAndUnreadableProgramsKeepTheirPrecedence)
{
    // A named encoding wins over the program's: 58 is a colon there.
    EXPECT_EQ(showEmbedded(ProgramKind::CFF, "/Encoding /WinAnsiEncoding").substr(0, 4), "eld:");
    // The ToUnicode map wins over both.
    {
        test::PdfBuilder builder;
        int map = addToUnicode(builder, "1 beginbfchar\n<3A> <0021>\nendbfchar");
        int font = addEmbeddedFont(builder, ProgramKind::Type1, kTeXLike, fmt::format("/ToUnicode {} 0 R", map));
        builder.addPage("BT /F1 10 Tf 100 700 Td (\\014\\072) Tj ET", pageEntries({ font }));
        EXPECT_EQ(extract(builder).text, "fi!");
    }
    // A program FreeType cannot read (or cut short) leaves StandardEncoding,
    // said once per font however often it is shown.
    auto warnings = [this] {
        size_t count = 0;
        for (const std::string& line : logLines())
            count += line.find("font program of Embedded gives no built-in encoding") != std::string::npos;
        return count;
    };
    for (auto kind : { ProgramKind::CFF, ProgramKind::Type1 }) {
        size_t before = warnings();
        std::string broken = kind == ProgramKind::CFF ? test::PdfFontPrograms::cff(kTeXLike).substr(0, 40)
                                                      : std::string("%!PS-AdobeFont-1.0: Broken\n/Encoding 256 array\n");
        test::PdfBuilder builder;
        int font = addEmbeddedFont(builder, kind, kTeXLike, {}, &broken);
        builder.addPage("BT /F1 10 Tf 100 700 Td (de\\072) Tj (de\\072) Tj ET", pageEntries({ font }));
        EXPECT_EQ(extract(builder).text, "de:de:");
        EXPECT_EQ(warnings() - before, 1u);
    }
}

TEST_F(VKPDFFontInfoTest, GlyphNamesAreCachedUntilAMemoryWarning)
{
    VKPDFSimpleFontInfo::didReceiveMemoryWarningNotification();
    EXPECT_EQ(VKPDFSimpleFontInfo::cachedGlyphNameCountForTesting(), 0u);
    uint64_t opens = VKPDFSimpleFontInfo::glyphListOpenCountForTesting();
    EXPECT_EQ(utf8(*VKPDFSimpleFontInfo::stringForGlyphName("fi")), "ﬁ");
    EXPECT_EQ(utf8(*VKPDFSimpleFontInfo::stringForGlyphName("a1")), "✁");
    EXPECT_FALSE(VKPDFSimpleFontInfo::stringForGlyphName("no-such-glyph"));
    EXPECT_FALSE(VKPDFSimpleFontInfo::stringForGlyphName("uniD800"));
    EXPECT_FALSE(VKPDFSimpleFontInfo::stringForGlyphName("u110000"));
    EXPECT_EQ(utf8(*VKPDFSimpleFontInfo::stringForGlyphName("uni00410042")), "AB");
    EXPECT_EQ(VKPDFSimpleFontInfo::glyphListOpenCountForTesting(), opens + 1);
    // Hits are cached, misses are not.
    EXPECT_EQ(VKPDFSimpleFontInfo::cachedGlyphNameCountForTesting(), 3u);

    // The cache registered for memory warnings: one drops it and closes
    // the database, which the next miss opens again.
    core::NotificationCenter::defaultCenter().post(core::DidReceiveMemoryWarningNotification);
    EXPECT_EQ(VKPDFSimpleFontInfo::cachedGlyphNameCountForTesting(), 0u);
    EXPECT_EQ(utf8(*VKPDFSimpleFontInfo::stringForGlyphName("Euro")), "€");
    EXPECT_EQ(VKPDFSimpleFontInfo::glyphListOpenCountForTesting(), opens + 2);
    // Encodings and core14 stay.
    EXPECT_TRUE(VKPDFSimpleFontInfo::encodingTableForName("WinAnsiEncoding"));
    EXPECT_TRUE(VKPDFSimpleFontInfo::metricsForStandardFontName("ZapfDingbats"));
}

TEST_F(VKPDFFontInfoTest, CompositeFontsReadIdentityHOnly)
{
    EXPECT_FALSE(fontFor("<< /Subtype /Type0 /BaseFont /X /Encoding /Identity-V /DescendantFonts [] >>"));
    EXPECT_TRUE(logContains("Warning: unsupported CID encoding Identity-V"));
    EXPECT_FALSE(fontFor("<< /Subtype /Type0 /BaseFont /X /Encoding 5 >>"));

    auto font = composite(fontFor("<< /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /DescendantFonts [<< /Subtype /CIDFontType2 "
                                  "/DW 800 /W [1 [500 600] 10 20 700 70000 [1] 65530 4000000000 9 -5 [4 4 4 4 4] 30 [5 /x 6] 40 41] "
                                  "/FontDescriptor << /Ascent 900 /Descent -100 >> >>] >>"));
    ASSERT_TRUE(font);
    EXPECT_EQ(font->defaultWidth(), 800);
    EXPECT_EQ(font->widthForCode(0), 800);
    EXPECT_EQ(font->widthForCode(1), 500);
    EXPECT_EQ(font->widthForCode(2), 600);
    EXPECT_EQ(font->widthForCode(10), 700);
    EXPECT_EQ(font->widthForCode(20), 700);
    EXPECT_EQ(font->widthForCode(21), 800);
    EXPECT_EQ(font->widthForCode(65535), 9);
    EXPECT_EQ(font->widthForCode(30), 5);
    EXPECT_EQ(font->widthForCode(31), 800); // the run stopped at /x; the walk at 40 41 (no width)
    EXPECT_EQ(font->ascent(), 900);

    // No ToUnicode: no text.
    test::PdfBuilder builder;
    int bare = builder.addObject("<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H >>");
    int mapped = builder.addIdentityFont("Y", { { 0x0102, "0041" }, { 0x0304, "0042" } }, 500);
    builder.addPage("BT /F1 10 Tf 100 700 Td <0102> Tj /F2 10 Tf <0102030405> Tj ET", pageEntries({ bare, mapped }));
    Extracted page = extract(builder);
    // Five bytes show two characters; the unmapped code still advances.
    EXPECT_EQ(page.text, "AB");
    ASSERT_EQ(page.rects.size(), 2u);
    EXPECT_NEAR(page.rects[0].x(), 110, 1e-3);
    EXPECT_NEAR(page.rects[1].x(), 115, 1e-3);

    // High codes find their texts as low ones do; unmapped ones of either
    // kind find none.
    test::PdfBuilder high;
    int wide = high.addIdentityFont("Z", { { 0x2345, "0043" }, { 0x0041, "0044" } }, 500);
    high.addPage("BT /F1 10 Tf 100 700 Td <2345004100420FFF2346> Tj ET", pageEntries({ wide }));
    EXPECT_EQ(extract(high).text, "CD");
}

TEST_F(VKPDFFontInfoTest, DecodersAreCachedPerFontObjectAndDocument)
{
    test::PdfBuilder builder;
    int font = addMonoFont(builder);
    builder.addPage("BT /F1 10 Tf 100 700 Td (A) Tj ET", pageEntries({ font }));
    builder.addPage("BT /F1 10 Tf 100 700 Td (B) Tj ET", pageEntries({ font }));
    core::Data bytes = builder.build();

    auto first = pdf::Document::open(bytes);
    auto second = pdf::Document::open(bytes); // the same object numbers
    uint64_t made = VKPDFFontInfo::fontInfoCreationCountForTesting();
    size_t cached = VKPDFFontInfo::cachedFontInfoCountForTesting();
    EXPECT_EQ(extract(first->page(1)).text, "A");
    EXPECT_EQ(extract(first->page(2)).text, "B");
    EXPECT_EQ(VKPDFFontInfo::fontInfoCreationCountForTesting(), made + 1);
    EXPECT_EQ(extract(second->page(2)).text, "B");
    EXPECT_EQ(VKPDFFontInfo::fontInfoCreationCountForTesting(), made + 2);
    EXPECT_EQ(VKPDFFontInfo::cachedFontInfoCountForTesting(), cached + 2);

    VKPDFFontInfo::removeFontInfosForDocument(first->serial());
    EXPECT_EQ(VKPDFFontInfo::cachedFontInfoCountForTesting(), cached + 1);
    VKPDFFontInfo::removeFontInfosForDocument(second->serial());
    EXPECT_EQ(VKPDFFontInfo::cachedFontInfoCountForTesting(), cached);

    // Closing a document drops its decoders.
    auto document = VKPDFDocument::initWithData(bytes);
    auto page = VKPDFPage::pageWithDocument(document, 2);
    EXPECT_EQ(core::toUTF8(VKPDFPageTextScanner::create(*page)->text()), "B");
    EXPECT_EQ(VKPDFFontInfo::cachedFontInfoCountForTesting(), cached + 1);
    page.reset();
    document.reset();
    EXPECT_EQ(VKPDFFontInfo::cachedFontInfoCountForTesting(), cached);
}

TEST_F(VKPDFFontInfoTest, ScansOnSeveralThreadsShareTheCachesSafely)
{
    std::string bytes = readFile(sourcePath("tests/fixtures/pdf/writer-cairo.pdf"));
    auto expected = extract(pdf::Document::open(core::Data(bytes))->page(1)).text;
    std::atomic<int> mismatches { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 3; ++round) {
                auto document = pdf::Document::open(core::Data(bytes));
                if (extract(document->page(1)).text != expected)
                    ++mismatches;
                if (!VKPDFSimpleFontInfo::stringForGlyphName("Euro"))
                    ++mismatches;
                VKPDFFontInfo::removeFontInfosForDocument(document->serial());
            }
        });
    }
    for (int round = 0; round < 20; ++round)
        VKPDFSimpleFontInfo::didReceiveMemoryWarningNotification();
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST_F(VKPDFFontInfoTest, BadToUnicodeIsIgnored)
{
    test::PdfBuilder builder;
    int bomb = builder.addStream("/Filter /FlateDecode", test::PdfBuilder::flateBomb(size_t(5) << 20));
    auto big = simple(fontFor(builder, fmt::format("<< /Subtype /TrueType /BaseFont /X /Widths [] /ToUnicode {} 0 R >>", bomb)));
    ASSERT_TRUE(big);
    EXPECT_EQ(utf8(big->encodingTable()['A']), "A");
    EXPECT_TRUE(logContains("ToUnicode map unreadable or over"));
    auto named = simple(fontFor("<< /Subtype /TrueType /BaseFont /X /Widths [] /ToUnicode /Identity-H >>"));
    ASSERT_TRUE(named);
    EXPECT_TRUE(logContains("is not a stream; ignored"));
}

} // namespace

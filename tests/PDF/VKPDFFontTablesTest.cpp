#include "PDF/VKPDFSimpleFontInfo.h"

#include "Platform/Core/PropertyList.h"
#include "Platform/Core/UTF8.h"
#include "Support/Command.h"
#include "Support/TestCase.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class VKPDFFontTablesTest : public test::TestCase { };

std::string tableUtf8(const std::u16string& text)
{
    return core::toUTF8(text);
}

TEST_F(VKPDFFontTablesTest, BundleTablesHoldTheStandardValues)
{
    auto standard = VKPDFSimpleFontInfo::encodingTableForName("StandardEncoding");
    auto winAnsi = VKPDFSimpleFontInfo::encodingTableForName("WinAnsiEncoding");
    auto macRoman = VKPDFSimpleFontInfo::encodingTableForName("MacRomanEncoding");
    ASSERT_TRUE(standard && winAnsi && macRoman);
    for (const char* name : { "MacExpertEncoding", "SymbolEncoding", "ZapfDingbatsEncoding" })
        EXPECT_TRUE(VKPDFSimpleFontInfo::encodingTableForName(name)) << name;
    EXPECT_FALSE(VKPDFSimpleFontInfo::encodingTableForName("Identity-H"));
    EXPECT_EQ(tableUtf8((*standard)[0x27]), "’");
    EXPECT_EQ(tableUtf8((*winAnsi)[0x80]), "€");
    EXPECT_EQ(tableUtf8((*winAnsi)[0xE9]), "é");
    EXPECT_EQ(tableUtf8((*macRoman)[0x8E]), "é");
    EXPECT_TRUE((*standard)[0x80].empty());

    const auto* helvetica = VKPDFSimpleFontInfo::metricsForStandardFontName("Helvetica");
    ASSERT_TRUE(helvetica);
    EXPECT_EQ(helvetica->ascent, 718);
    EXPECT_EQ(helvetica->descent, -207);
    EXPECT_EQ(helvetica->widths[65], 667);
    // A code StandardEncoding leaves empty takes the WinAnsi glyph's width.
    EXPECT_EQ(helvetica->widths[0x80], 556); // Euro
    EXPECT_EQ(VKPDFSimpleFontInfo::metricsForStandardFontName("Arial,Bold"),
        VKPDFSimpleFontInfo::metricsForStandardFontName("Helvetica-Bold"));
    EXPECT_FALSE(VKPDFSimpleFontInfo::metricsForStandardFontName("Palatino"));
    const auto* dingbats = VKPDFSimpleFontInfo::metricsForStandardFontName("ZapfDingbats");
    ASSERT_TRUE(dingbats);
    EXPECT_GT(dingbats->ascent, 0);
    EXPECT_LT(dingbats->descent, 0);

    EXPECT_EQ(tableUtf8(*VKPDFSimpleFontInfo::stringForGlyphName("fi")), "\uFB01");
    EXPECT_EQ(tableUtf8(*VKPDFSimpleFontInfo::stringForGlyphName("a1")), "\u2701");
    // Multi-code-point entries are kept whole.
    EXPECT_EQ(tableUtf8(*VKPDFSimpleFontInfo::stringForGlyphName("dalethatafpatah")), "\u05D3\u05B2");
}

// The committed tables are what the generator makes from the installed
// packages.
TEST_F(VKPDFFontTablesTest, GeneratorReproducesTheCommittedTables)
{
    for (const char* source : { "/usr/share/aglfn/glyphlist.txt", "/usr/lib/python3/dist-packages/reportlab/pdfbase/_fontdata.py",
             "/usr/share/fonts/type1/urw-base35/D050000L.afm" }) {
        if (!std::filesystem::exists(source))
            GTEST_SKIP() << source << " is not installed";
    }
    std::string out = makeFolder("tables");
    auto generated = test::runCommand({ "/usr/bin/python3", sourcePath("scripts/gen-pdf-font-tables"), out });
    ASSERT_EQ(generated.status, 0);
    std::vector<std::string> names { "encodings.plist" };
    for (const auto& font : std::filesystem::directory_iterator(out + "/core14"))
        names.push_back("core14/" + font.path().filename().string());
    EXPECT_EQ(names.size(), 15u);
    for (const std::string& name : names) {
        EXPECT_EQ(core::PropertyList::readFile(out + "/" + name), core::PropertyList::readFile(sourcePath("resources/") + name))
            << name;
    }
    auto made = test::runCommand({ "sqlite3", out + "/glyphlist.sqlite", ".dump" });
    auto committed = test::runCommand({ "sqlite3", sourcePath("resources/glyphlist.sqlite"), ".dump" });
    ASSERT_EQ(made.status, 0);
    EXPECT_GT(made.output.size(), 100000u);
    EXPECT_TRUE(made.output == committed.output);
}

} // namespace

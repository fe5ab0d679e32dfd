#include "PDF/VKPDFCMapParser.h"

#include "Support/TestCase.h"

#include <gtest/gtest.h>

#include <map>

namespace {

class VKPDFCMapParserTest : public test::TestCase { };

std::map<uint32_t, std::u16string> parse(std::string_view cmap, uint32_t maximumCode = 65535)
{
    std::map<uint32_t, std::u16string> mappings;
    VKPDFCMapParser parser(maximumCode, [&](uint32_t code, std::u16string text) { mappings[code] = std::move(text); });
    parser.parse(cmap);
    return mappings;
}

TEST_F(VKPDFCMapParserTest, ReadsEveryBlockWhateverTheWhiteSpace)
{
    // Two bfchar blocks and two bfrange blocks, CRLF line ends, keywords
    // on the same line as entries, a comment.
    auto mappings = parse("2 beginbfchar\r\n<41> <0041>\r\n<42> <00660069>\r\nendbfchar\r\n"
                          "% a comment <43> <0043>\r\n"
                          "1 beginbfchar <44> <D835DC00> endbfchar\n"
                          "1 beginbfrange\r\n<20> <22> <0061>\r\nendbfrange\n"
                          "2 beginbfrange\n<0050> <0052> [<0070> <00710072> <0073>]\n<60> <61> <D835DC00>\nendbfrange");
    EXPECT_EQ(mappings[0x41], u"A");
    EXPECT_EQ(mappings[0x42], u"fi");
    EXPECT_EQ(mappings.count(0x43), 0u);
    EXPECT_EQ(mappings[0x44], u"\U0001D400");
    EXPECT_EQ(mappings[0x20], u"a");
    EXPECT_EQ(mappings[0x21], u"b");
    EXPECT_EQ(mappings[0x22], u"c");
    EXPECT_EQ(mappings[0x50], u"p");
    EXPECT_EQ(mappings[0x51], u"qr");
    EXPECT_EQ(mappings[0x52], u"s");
    // A multi-unit destination counts up in its last unit.
    EXPECT_EQ(mappings[0x60], u"\U0001D400");
    EXPECT_EQ(mappings[0x61], u"\U0001D401");
    EXPECT_EQ(mappings.size(), 11u);
}

TEST_F(VKPDFCMapParserTest, RangesAreClippedToTheCodeSpace)
{
    // lo above hi maps nothing; an array maps lo, lo+1, ... whatever hi says.
    auto reversed = parse("beginbfrange <22> <20> <0061> <30> <30> [<0041> <0042> <0043>] endbfrange");
    EXPECT_EQ(reversed.size(), 3u);
    EXPECT_EQ(reversed[0x32], u"C");

    // hi = 0xFFFFFFFF ends at the last code of the space.
    auto huge = parse("beginbfrange <FFF0> <FFFFFFFF> <0041> endbfrange");
    EXPECT_EQ(huge.size(), 16u);
    EXPECT_EQ(huge[0xFFFF], u"P");

    // One-byte fonts: the range stops at 255; a range wholly above is
    // reported once, for the font to refuse.
    auto simple = parse("beginbfrange <00FE> <0105> <0041> <0200> <0300> <0041> endbfrange", 255);
    EXPECT_EQ(simple.size(), 3u);
    EXPECT_EQ(simple[0xFF], u"B");
    EXPECT_EQ(simple.count(0x200), 1u);
}

TEST_F(VKPDFCMapParserTest, DamagedInputIsBounded)
{
    // Literal strings, odd digits, stray tokens, unterminated blocks.
    auto odd = parse("beginbfchar (A) <004> /Name <42> <43> <0044> endbfchar beginbfchar <45> <0045");
    EXPECT_EQ(odd[0x41], u"@");
    EXPECT_EQ(odd[0x43], u"D");
    EXPECT_EQ(odd[0x45], u"E");
    // Destinations beyond the bound are skipped.
    std::string longText(4 * (VKPDFCMapParser::kMaximumDestinationUnits + 1), '1');
    EXPECT_TRUE(parse("beginbfchar <41> <" + longText + "> endbfchar").empty());
    // Many full ranges stop at the work limit.
    std::string ranges = "beginbfrange\n";
    for (int i = 0; i < 40; ++i)
        ranges += "<0000> <FFFF> <0041>\n";
    size_t count = 0;
    VKPDFCMapParser parser(65535, [&](uint32_t, std::u16string) { ++count; });
    parser.parse(ranges + "endbfrange");
    EXPECT_EQ(count, VKPDFCMapParser::kMaximumRangeCodes);
    EXPECT_TRUE(logContains("range codes; the rest is ignored"));
}

} // namespace

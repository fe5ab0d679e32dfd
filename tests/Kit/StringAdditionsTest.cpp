#include "Kit/StringAdditions.h"
#include "Platform/Core/DateFormatter.h"
#include "Support/Command.h"
#include "Support/TestCase.h"

#include <algorithm>
#include <vector>

namespace {

class StringAdditionsTest : public test::TestCase { };

} // namespace

TEST_F(StringAdditionsTest, SmallConversions)
{
    std::string uuid = vkGenerateUUID();
    EXPECT_EQ(uuid.size(), 36u);
    EXPECT_EQ(uuid.find_first_not_of("0123456789ABCDEF-"), std::string::npos);
    EXPECT_NE(uuid, vkGenerateUUID());

    EXPECT_EQ(vkHexValue("zz"), 0u);
    EXPECT_EQ(vkHexValue("0x1F"), 31u);
    EXPECT_EQ(vkHexValue("  ff;"), 255u);
    EXPECT_EQ(vkHexValue("0x"), 0u);
    EXPECT_EQ(vkHexValue("123456789abc"), 0xFFFFFFFFu);

    EXPECT_EQ(vkConvertedString("Hello!"), "Uryyb!");
    EXPECT_EQ(vkConvertedString(vkConvertedString("Zebra é")), "Zebra é");
    EXPECT_EQ(vkStringFrom4ByteCode(0x50444620), "PDF ");
    EXPECT_EQ(vkStringFrom4ByteCode(0x41420043), "AB");
    EXPECT_EQ(vkStringFrom4ByteCode(0x41E94243), std::nullopt);
    EXPECT_EQ(vkStringWithNeutralPunctuation("it\u2019s \u2019"), "it's '");

    EXPECT_TRUE(vkIsWhitespace(" \t"));
    EXPECT_TRUE(vkIsWhitespace(""));
    EXPECT_FALSE(vkIsWhitespace("\n"));
    EXPECT_TRUE(vkIsWhitespace("\u00A0\u3000"));
    EXPECT_TRUE(vkIsAlphanumeric("abcÉ9٣"));
    EXPECT_FALSE(vkIsAlphanumeric("a b"));
    EXPECT_FALSE(vkIsAlphanumeric("a\xFF"));

    EXPECT_EQ(vkStringWithData(core::Data(std::string("caf\xE9")), "ISO-8859-1"), "café");
    EXPECT_EQ(vkStringWithData(core::Data(std::string("caf\xE9")), "UTF-8"), std::nullopt);
    EXPECT_EQ(vkStringWithData(core::Data(std::string("x")), "no-such-set"), std::nullopt);
    EXPECT_TRUE(logLines().empty());

    EXPECT_EQ(vkStringByStrippingDiacritics("Ça été"), "Ca ete");
    EXPECT_EQ(stringByEscapingSingleQuotes("it's"), "it''s");
    EXPECT_EQ(stringByUnescapingSingleQuotes("it''s"), "it's");
}

TEST_F(StringAdditionsTest, MD5AgreesWithMd5sum)
{
    EXPECT_EQ(vkMD5String(""), "d41d8cd98f00b204e9800998ecf8427e");
    for (const std::string& text : std::vector<std::string> { "abc", "Ça été", std::string(1000, 'q') }) {
        test::CommandResult theirs = test::runCommand({ "md5sum" }, text);
        ASSERT_EQ(theirs.status, 0);
        EXPECT_EQ(vkMD5String(text), theirs.output.substr(0, 32)) << text;
    }
}

TEST_F(StringAdditionsTest, EscapesForHTMLAndURLs)
{
    EXPECT_EQ(vkStringByEscapingHTML("<a href=\"x\">'&'"), "&lt;a href=&quot;x&quot;&gt;&apos;&amp;&apos;");
    EXPECT_EQ(vkStringByEscapingHTML("a\x01" "b\uFFFE\uFFFF\tc\n"), "ab\tc\n");
    EXPECT_EQ(vkStringByEscapingHTML("é😀"), "é😀");
    EXPECT_EQ(vkStringByEscapingHTML(""), "");
    // Ill-formed bytes (a lone surrogate among them) are dropped.
    EXPECT_EQ(vkStringByEscapingHTML("a\xED\xA0\x80" "b\xFF"), "ab");

    EXPECT_EQ(vkStringByEscapingURL("a/b c"), "a/b%20c");
    EXPECT_EQ(vkStringByEscapingURL("a\tb\nc\r"), "abc");
    EXPECT_EQ(vkStringByEscapingURL("é-_.~"), "é-_.~");
    EXPECT_EQ(vkStringByEscapingURL("!\"#$%&'()*+,:;=?@[]"),
        "%21%22%23%24%25%26%27%28%29%2A%2B%2C%3A%3B%3D%3F%40%5B%5D");
    EXPECT_EQ(vkStringByEscapingURL("x\xC3"), "x");
}

TEST_F(StringAdditionsTest, FileNamesCompareNumericallyAndNeverEqual)
{
    core::DateFormatter::setDefaultLocale("en");
    EXPECT_EQ(localizedNumericAndCaseInsensitiveCompare("a2", "A10"), std::strong_ordering::less);
    EXPECT_EQ(localizedNumericAndCaseInsensitiveCompare("file 2", "file 10"), std::strong_ordering::less);
    EXPECT_EQ(localizedNumericAndCaseInsensitiveCompare("a", "A"), std::strong_ordering::less);
    EXPECT_EQ(localizedNumericAndCaseInsensitiveCompare("A", "a"), std::strong_ordering::greater);
    EXPECT_EQ(localizedNumericAndCaseInsensitiveCompare("a", "a"), std::strong_ordering::equal);
    EXPECT_NE(localizedNumericAndCaseInsensitiveCompare("a", "ａ"), std::strong_ordering::equal);
    EXPECT_EQ(localizedNumericAndCaseInsensitiveCompare("B", "a"), std::strong_ordering::greater);

    std::vector<std::string> names { "Notes 10.txt", "notes 9.txt", "Émile", "apple", "Apple", "zoo", "Notes 9.txt" };
    std::sort(names.begin(), names.end(),
        [](const std::string& a, const std::string& b) { return localizedNumericAndCaseInsensitiveCompare(a, b) < 0; });
    EXPECT_EQ(names, (std::vector<std::string> { "apple", "Apple", "Émile", "notes 9.txt", "Notes 9.txt", "Notes 10.txt", "zoo" }));
}

TEST_F(StringAdditionsTest, PathsRelativeToABase)
{
    EXPECT_EQ(stringByAbbreviatingRelativeToPath("/a/b", "/a"), "b");
    EXPECT_EQ(stringByAbbreviatingRelativeToPath("/a/b", "/a/"), "b");
    EXPECT_EQ(stringByAbbreviatingRelativeToPath("/a/b/c", "/a"), "b/c");
    EXPECT_EQ(stringByAbbreviatingRelativeToPath("/a", "/a"), "");
    EXPECT_EQ(stringByAbbreviatingRelativeToPath("/a/", "/a"), "");
    EXPECT_EQ(stringByAbbreviatingRelativeToPath("/ab", "/a"), std::nullopt);
    EXPECT_EQ(stringByAbbreviatingRelativeToPath("/b", "/a"), std::nullopt);

    EXPECT_EQ(stringByEnsuringTrailingPathSeparator("/a"), "/a/");
    EXPECT_EQ(stringByEnsuringTrailingPathSeparator("/a/"), "/a/");
    EXPECT_EQ(stringByEnsuringLeadingPathSeparator("a"), "/a");
    EXPECT_EQ(stringByEnsuringLeadingPathSeparator("/a"), "/a");
}

TEST_F(StringAdditionsTest, EscapesForJavaScriptStrings)
{
    EXPECT_EQ(vkStringByEscapingJavaScriptString("Bob's \"Tablet\"\\"), "Bob\\'s \\\"Tablet\\\"\\\\");
    EXPECT_EQ(vkStringByEscapingJavaScriptString("a\nb\rc\t\x01"), "a\\nb\\rc\\u0009\\u0001");
    EXPECT_EQ(vkStringByEscapingJavaScriptString("</script><b>/x"), "<\\/script><b>/x");
    EXPECT_EQ(vkStringByEscapingJavaScriptString("\u2028\u2029é"), "\\u2028\\u2029é");
    EXPECT_EQ(vkStringByEscapingJavaScriptString("a\xFF" "b"), "ab");

    // The escaped text, put between either kind of quote, reads back as
    // the text in a real JavaScript engine.
    if (!test::hasProgram("node"))
        GTEST_SKIP() << "node is not installed";
    const std::string text = "Bob's \"</script>\" \\ tab\t line\n\u2028 end";
    for (char quote : { '\'', '"' }) {
        std::string literal = quote + vkStringByEscapingJavaScriptString(text) + quote;
        test::CommandResult node = test::runCommand({ "node", "-e", "process.stdout.write(" + literal + ")" });
        ASSERT_EQ(node.status, 0) << literal;
        EXPECT_EQ(node.output, text);
    }
}

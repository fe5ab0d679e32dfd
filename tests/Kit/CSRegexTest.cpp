#include "Kit/CSRegex.h"

#include "Platform/Core/Exception.h"

#include "Support/TestCase.h"

#include <array>
#include <clocale>
#include <cstdio>
#include <regex.h>
#include <string>

namespace {

using Strings = std::vector<std::string>;

class CSRegexTest : public test::TestCase { };

TEST_F(CSRegexTest, CapturesFirstMatchWithEmptyStringForGroupsThatDidNotTakePart)
{
    CSRegex alternatives("(a)|(b)");
    EXPECT_EQ(alternatives.capturedSubstringsOfString("b"), (Strings { "b", CSRegex::null(), "b" }));
    EXPECT_TRUE(CSRegex::null().empty());
    EXPECT_EQ(alternatives.capturedSubstringsOfString("xyz"), std::nullopt);
    EXPECT_EQ(alternatives.matchedSubstringOfString("xxbxa"), "b");
    EXPECT_EQ(alternatives.matchedSubstringOfString("xyz"), std::nullopt);

    // The unique-name pattern: a base name's trailing number.
    EXPECT_EQ(substringsCapturedByPattern("report 12", "( [0-9]+)$", 1), (Strings { " 12", " 12" }));
    EXPECT_EQ(substringsCapturedByPattern("report copy", " copy( [0-9]+)?$", 1), (Strings { " copy", "" }));
}

TEST_F(CSRegexTest, FlagsMapOntoTheCLibrarysBits)
{
    // Extended syntax is always on: "+" and "|" need no backslash.
    EXPECT_TRUE(matchedByPattern("aa", "^a+$"));
    EXPECT_TRUE(matchedByPattern("b", "^(a|b)$", CSRegex::Extended));
    // 2 ignores case.
    EXPECT_TRUE(matchedByPattern("xABCx", "abc", CSRegex::IgnoreCase));
    EXPECT_FALSE(matchedByPattern("xABCx", "abc"));
    // 8 makes ^ and $ work at line breaks (glibc's own 8 is no-sub).
    EXPECT_TRUE(matchedByPattern("a\nb", "^b$", CSRegex::NewlineSensitive));
    EXPECT_FALSE(matchedByPattern("a\nb", "^b$"));
    EXPECT_EQ(substringMatchedByPattern("a\nb", "^b", CSRegex::NewlineSensitive), "b");
    // 4 drops positions in the C library; asking for them still answers right.
    EXPECT_TRUE(matchedByPattern("1234", "^[0-9]{4}$"));
    EXPECT_FALSE(matchedByPattern("12345", "^[0-9]{4}$"));
    EXPECT_EQ(substringMatchedByPattern("ab12cd", "[0-9]+", CSRegex::NoSubexpressions), "12");
    EXPECT_EQ(substringsCapturedByPattern("ab12cd", "([a-z]+)([0-9]+)", CSRegex::NoSubexpressions),
        (Strings { "ab12", "ab", "12" }));
    // A digit run anywhere, as the number-pad check asks.
    EXPECT_TRUE(matchedByPattern("x7y", "[0-9]+"));

    // Expressions move; the one moved from matches nothing.
    CSRegex held = CSRegex::regexWithPattern("b+", CSRegex::NoSubexpressions);
    held = CSRegex("c+");
    EXPECT_TRUE(held.matchesString("c"));
    CSRegex taken(std::move(held));
    EXPECT_EQ(taken.matchedSubstringOfString("acc"), "cc");
    EXPECT_FALSE(held.matchesString("c"));
}

TEST_F(CSRegexTest, MatchesBytesEvenUnderAUTF8Locale)
{
    std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    EXPECT_FALSE(matchedByPattern("\xC3\xA9", "^.$"));
    EXPECT_TRUE(matchedByPattern("\xC3\xA9", "^..$"));
    EXPECT_EQ(substringMatchedByPattern("x\xC3\xA9y", "x..y"), "x\xC3\xA9y");
    EXPECT_TRUE(CSRegex("^[^a]{2}$", CSRegex::IgnoreCase).matchesString("\xC3\xA9"));
    std::setlocale(LC_ALL, previous.c_str());
}

TEST_F(CSRegexTest, BadPatternThrowsWithTheLibrarysText)
{
    regex_t probe;
    int code = regcomp(&probe, "a(", REG_EXTENDED);
    ASSERT_NE(code, 0);
    std::array<char, 256> text {};
    regerror(code, &probe, text.data(), text.size());
    try {
        CSRegex bad("a(");
        FAIL() << "compiled";
    } catch (const core::Exception& exception) {
        EXPECT_EQ(exception.name(), "CSRegexException");
        EXPECT_EQ(exception.reason(), std::string("Could not compile regex \"a(\": ") + text.data());
    }
    EXPECT_THROW(matchedByPattern("x", "[z"), core::Exception);
}

TEST_F(CSRegexTest, SubjectEndsAtAnEmbeddedNul)
{
    std::string subject("ab\0cd", 5);
    EXPECT_TRUE(matchedByPattern(subject, "^ab$"));
    EXPECT_FALSE(matchedByPattern(subject, "cd"));
    EXPECT_TRUE(matchedByPattern("", "^$"));
}

TEST_F(CSRegexTest, EscapedPatternQuotesTheTwelveSpecialCharacters)
{
    EXPECT_EQ(escapedPattern("a.b[c]{d}"), "a\\.b\\[c]\\{d}");
    EXPECT_EQ(escapedPattern(".^[$()*+?\\{|]}"), "\\.\\^\\[\\$\\(\\)\\*\\+\\?\\\\\\{\\|]}");
    std::string literal = "x.^[$()*+?\\{|]}y \xC3\xA9";
    EXPECT_TRUE(matchedByPattern(literal, "^" + escapedPattern(literal) + "$"));
    EXPECT_FALSE(matchedByPattern("aXb", escapedPattern("a.b")));
}

// The first match agrees with grep -Eo in the C locale.
TEST_F(CSRegexTest, FirstMatchAgreesWithGrep)
{
    const std::vector<std::pair<std::string, std::string>> table {
        { "[0-9]+", "abc 123 456" },
        { "(ab|a)(c|bcd)", "xabcdx" },
        { "a{2,3}", "aaaa" },
        { "[[:alpha:]]+[[:digit:]]", "-- word9 x" },
        { "b*c", "abbbcc" },
        { "(x|xy)z", "xyz" },
        { "[^ ]+$", "one two three" },
        { ".\xC3\xA9", "caf\xC3\xA9" },
    };
    for (const auto& [pattern, subject] : table) {
        std::string file = makeFile("subject.txt", subject + "\n");
        std::string command = "LC_ALL=C grep -Eo '" + pattern + "' " + file + " | head -n 1";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char buffer[256];
        while (size_t count = fread(buffer, 1, sizeof buffer, pipe))
            output.append(buffer, count);
        pclose(pipe);
        if (!output.empty() && output.back() == '\n')
            output.pop_back();
        EXPECT_EQ(substringMatchedByPattern(subject, pattern).value_or(""), output) << pattern;
    }
}

} // namespace

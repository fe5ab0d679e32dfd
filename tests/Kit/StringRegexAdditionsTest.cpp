#include "Kit/StringRegexAdditions.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/MemoryWarning.h"
#include "Platform/Core/RunLoop.h"

#include "Support/TestCase.h"

#include <fmt/format.h>
#include <thread>

namespace {

using U16 = std::vector<std::u16string>;
using U8 = std::vector<std::string>;

class StringRegexTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        RegexCacheTesting::reset();
    }
};

// Runs `call` and answers the exception's name and reason.
template<typename F> std::pair<std::string, std::string> thrown(F&& call)
{
    try {
        call();
    } catch (const core::Exception& exception) {
        return { exception.name(), exception.reason() };
    }
    return {};
}

constexpr const char* kRangePrefix = "*** -[NSString rangeOfRegex:options:inRange:capture:error:]: ";

TEST_F(StringRegexTest, RangeOfFirstMatchOrCapture)
{
    EXPECT_EQ(rangeOfRegex(u"xxabcab", u"ab"), (RegexRange { 2, 2 }));
    EXPECT_EQ(rangeOfRegex(u"key=value", u"(\\w+)=(\\w+)", 2), (RegexRange { 4, 5 }));
    EXPECT_EQ(rangeOfRegex(u"b", u"(a)|(b)", 1), RegexNotFoundRange);
    EXPECT_EQ(rangeOfRegex(u"xyz", u"ab"), RegexNotFoundRange);
    // A range limits the search and positions stay those of the subject.
    EXPECT_EQ(rangeOfRegex(u"abcabc", u"abc", RegexRange { 1, 5 }), (RegexRange { 3, 3 }));
    EXPECT_EQ(rangeOfRegex(u"abcabc", u"abc", 0, RegexRange { 1, 4 }, 0), RegexNotFoundRange);
    EXPECT_EQ(rangeOfRegex(u"abcabc", u"c", 0, RegexRange { 4, SIZE_MAX }, 0), (RegexRange { 5, 1 }));
    EXPECT_EQ(rangeOfRegex(u"abc", u"$", 0, RegexRange { 3, SIZE_MAX }, 0), (RegexRange { 3, 0 }));
    EXPECT_TRUE(isMatchedByRegex(u"abc", u"b"));
    EXPECT_FALSE(isMatchedByRegex(u"abc", u"b", RegexRange { 2, 1 }));
    EXPECT_EQ(stringByMatching(u"key=value", u"=(\\w+)", 1), u"value");
    EXPECT_EQ(stringByMatching(u"b", u"(a)|(b)", 1), std::nullopt);

    EXPECT_EQ(thrown([] { rangeOfRegex(u"abc", u"a", RegexRange { 2, 2 }); }),
        std::make_pair(std::string("NSRangeException"), std::string(kRangePrefix) + "Range or index out of bounds."));
    EXPECT_EQ(thrown([] { rangeOfRegex(u"abc", u"a", RegexRange { 4, SIZE_MAX }); }).first, "NSRangeException");
    EXPECT_EQ(thrown([] { rangeOfRegex(u"abc", u"a", RegexRange { 1, SIZE_MAX - 1 }); }).first, "NSRangeException");
    EXPECT_EQ(thrown([] { rangeOfRegex(u"abc", u"(a)", 2); }),
        std::make_pair(std::string("NSInvalidArgumentException"), std::string(kRangePrefix) + "The capture argument is not valid."));
    EXPECT_EQ(thrown([] { rangeOfRegex(u"abc", u"(a)", -1); }).first, "NSInvalidArgumentException");
    EXPECT_EQ(thrown([] { componentsMatchedByRegex(u"abc", u"a", 1); }).second,
        "*** -[NSString componentsMatchedByRegex:options:range:capture:error:]: The capture argument is not valid.");
}

TEST_F(StringRegexTest, BadPatternReportsThroughTheErrorOrQuietly)
{
    core::Error error("stale", 1);
    EXPECT_EQ(rangeOfRegex(u"a(", u"a(", 0, RegexWholeRange, 0, &error), RegexNotFoundRange);
    EXPECT_EQ(error.domain(), "RKLICURegexErrorDomain");
    EXPECT_EQ(error.code(), 66310);
    const auto& info = error.userInfo();
    EXPECT_EQ(info.at("RKLICURegexRegex").string(), "a(");
    EXPECT_EQ(info.at("RKLICURegexErrorCode").integer(), 66310);
    EXPECT_EQ(info.at("RKLICURegexErrorName").string(), "U_REGEX_MISMATCHED_PAREN");
    EXPECT_EQ(info.count("RKLICURegexRegexOptions"), 0u);
    EXPECT_EQ(error.localizedDescription(), "There was an error compiling the regular expression.");
    ASSERT_EQ(info.count("RKLICURegexOffset"), 1u);
    EXPECT_EQ(error.localizedFailureReason(),
        fmt::format("The error U_REGEX_MISMATCHED_PAREN occurred at line {}, column {}: {}<<HERE>>{}",
            info.at("RKLICURegexLine").integer(), info.at("RKLICURegexOffset").integer(),
            info.at("RKLICURegexPreContext").string(), info.at("RKLICURegexPostContext").string()));

    EXPECT_EQ(captureCount(u"[z", RKLCaseless, &error), -1);
    EXPECT_EQ(error.userInfo().at("RKLICURegexRegexOptions").integer(), 2);
    // A good pattern clears what the error held.
    EXPECT_EQ(captureCount(u"(a)(b(c))", 0, &error), 3);
    EXPECT_TRUE(error.isEmpty());

    // Without an error out-parameter: the empty result, nothing thrown.
    EXPECT_EQ(rangeOfRegex(u"abc", u"a("), RegexNotFoundRange);
    EXPECT_TRUE(componentsMatchedByRegex(u"abc", u"a(").empty());
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(u"abc", u"a(", u"x"), std::nullopt);
    EXPECT_FALSE(isRegexValid(u"a("));
    EXPECT_TRUE(isRegexValid(u"a()"));
    EXPECT_EQ(captureCountForRegex(u"a("), -1);
    // A bad pattern is reported before a bad range is looked at.
    EXPECT_EQ(rangeOfRegex(u"abc", u"a(", RegexRange { 9, 9 }), RegexNotFoundRange);
}

TEST_F(StringRegexTest, AllMatchesCapturesSplitAndReplace)
{
    EXPECT_EQ(componentsMatchedByRegex(u"a1b22c333", u"\\d+"), (U16 { u"1", u"22", u"333" }));
    EXPECT_EQ(componentsMatchedByRegex(u"a1 b c3", u"([a-z])(\\d)?", 2), (U16 { u"1", u"", u"3" }));
    EXPECT_EQ(captureComponentsMatchedByRegex(u"k=v; x=y", u"(\\w)=(\\w)"), (U16 { u"k=v", u"k", u"v" }));
    EXPECT_TRUE(captureComponentsMatchedByRegex(u"none", u"(\\d)").empty());
    EXPECT_EQ(arrayOfCaptureComponentsMatchedByRegex(u"k=v; x=y", u"(\\w)=(\\w)"),
        (std::vector<U16> { { u"k=v", u"k", u"v" }, { u"x=y", u"x", u"y" } }));

    EXPECT_EQ(componentsSeparatedByRegex(u"a,,b,", u","), (U16 { u"a", u"", u"b" }));
    EXPECT_EQ(componentsSeparatedByRegex(u",a", u","), (U16 { u"", u"a" }));
    EXPECT_EQ(componentsSeparatedByRegex(u"abc", u","), (U16 { u"abc" }));
    EXPECT_EQ(componentsSeparatedByRegex(u"x,y,z", u",", RegexRange { 1, 3 }), (U16 { u"", u"y" }));

    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(u"abab", u"a(b)", u"$1x"), u"bxbx");
    // An empty match moves the scan on: "x*" matches at 0, 1 and 2.
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(u"ab", u"x*", u"-"), u"-a-b-");
    EXPECT_EQ(componentsMatchedByRegex(u"ab", u"x*").size(), 3u);
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(u"abab", u"b", u"B", RegexRange { 2, 2 }), u"aB");

    std::u16string text = u"abab";
    EXPECT_EQ(replaceOccurrencesOfRegex(text, u"a(b)", u"<$1>"), 2u);
    EXPECT_EQ(text, u"<b><b>");
    EXPECT_EQ(replaceOccurrencesOfRegex(text, u"z", u"y"), 0u);
    EXPECT_EQ(text, u"<b><b>");
    EXPECT_EQ(replaceOccurrencesOfRegex(text, u"b", u"c", RegexRange { 3, 3 }), 1u);
    EXPECT_EQ(text, u"<b><c>");

    EXPECT_EQ(captureCount(u"(a)(?:b)(c)"), 2);
    EXPECT_EQ(thrown([] { std::u16string s = u"a"; replaceOccurrencesOfRegex(s, u"a", u"b", RegexRange { 0, 2 }); }).second,
        "*** -[NSMutableString replaceOccurrencesOfRegex:withString:options:range:error:]: Range or index out of bounds.");
    // An ICU failure while matching, here a template naming a missing group.
    auto failure = thrown([] { stringByReplacingOccurrencesOfRegex(u"ab", u"a", u"$7"); });
    EXPECT_EQ(failure.first, "RKLICURegexException");
    EXPECT_NE(failure.second.find("ICU regular expression error #"), std::string::npos);
}

TEST_F(StringRegexTest, Utf8OverloadsConvertAtTheEdge)
{
    EXPECT_TRUE(isMatchedByRegex("caf\xC3\xA9", "^caf.$"));
    EXPECT_EQ(stringByMatching("k: caf\xC3\xA9!", ": (\\w+)", 0, 1), "caf\xC3\xA9");
    // Invalid bytes read as U+FFFD.
    EXPECT_EQ(stringByMatching("a\xFF" "b", ".b"), "\xEF\xBF\xBD" "b");
    EXPECT_EQ(componentsSeparatedByRegex("a, b,c", ",\\s*"), (U8 { "a", "b", "c" }));
    EXPECT_EQ(componentsMatchedByRegex("x1 y2", "[a-z](\\d)", 0, 1), (U8 { "1", "2" }));
    EXPECT_EQ(captureComponentsMatchedByRegex("x1", "([a-z])(\\d)"), (U8 { "x1", "x", "1" }));
    EXPECT_EQ(arrayOfCaptureComponentsMatchedByRegex("x1 y2", "([a-z])\\d").size(), 2u);
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex("\xC3\xA9t\xC3\xA9", "\xC3\xA9", "e"), "ete");
    std::string text = "a-b";
    EXPECT_EQ(replaceOccurrencesOfRegex(text, "-", "+"), 1u);
    EXPECT_EQ(text, "a+b");
    EXPECT_EQ(captureCount("(a)"), 1);
    EXPECT_FALSE(isRegexValid("("));
}

TEST_F(StringRegexTest, OptionsPassThroughAndKeyTheCache)
{
    EXPECT_TRUE(isMatchedByRegex(u"ABC", u"abc", RKLCaseless, RegexWholeRange));
    EXPECT_FALSE(isMatchedByRegex(u"ABC", u"abc", 0, RegexWholeRange));
    // Unicode word boundaries keep "can't" whole.
    EXPECT_TRUE(isMatchedByRegex(u"can't", u"\\bcan\\b", 0, RegexWholeRange));
    EXPECT_FALSE(isMatchedByRegex(u"can't", u"\\bcan\\b", RKLUnicodeWordBoundaries, RegexWholeRange));

    uint64_t before = RegexCacheTesting::compileCount();
    isMatchedByRegex(u"x", u"x", 0, RegexWholeRange);
    isMatchedByRegex(u"x", u"x", RKLCaseless, RegexWholeRange);
    isMatchedByRegex(u"x", u"x", RKLCaseless, RegexWholeRange);
    EXPECT_EQ(RegexCacheTesting::compileCount(), before + 2);
}

TEST_F(StringRegexTest, CacheCompilesOnceAndSurvivesCollisions)
{
    std::u16string subject = u"the cat sat on the mat";
    uint64_t start = RegexCacheTesting::compileCount();
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(rangeOfRegex(subject, u"[cms]at"), (RegexRange { 4, 3 }));
    EXPECT_EQ(RegexCacheTesting::compileCount(), start + 1);

    // Two patterns on one slot, used alternately, each answer for itself.
    std::u16string first = u"p0", second;
    for (int i = 1; second.empty(); ++i) {
        std::u16string candidate = u"p" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + std::u16string(i / 10, u'q');
        if (RegexCacheTesting::slotForPattern(candidate) == RegexCacheTesting::slotForPattern(first))
            second = candidate;
    }
    std::u16string text = u"xx" + second + u"yy" + first;
    uint64_t beforeCollisions = RegexCacheTesting::compileCount();
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(rangeOfRegex(text, first).location, 4 + second.size());
        ASSERT_EQ(rangeOfRegex(text, second), (RegexRange { 2, second.size() }));
    }
    EXPECT_EQ(RegexCacheTesting::compileCount(), beforeCollisions + 20);

    // A reused buffer with new contents gets a new answer.
    std::u16string buffer = u"aaab";
    EXPECT_EQ(rangeOfRegex(buffer, u"b"), (RegexRange { 3, 1 }));
    buffer[0] = u'b';
    EXPECT_EQ(rangeOfRegex(buffer, u"b"), (RegexRange { 0, 1 }));

    uint64_t beforeFlush = RegexCacheTesting::compileCount();
    flushCachedRegexData(buffer);
    EXPECT_EQ(rangeOfRegex(buffer, u"b"), (RegexRange { 0, 1 }));
    EXPECT_EQ(RegexCacheTesting::compileCount(), beforeFlush);

    EXPECT_GT(RegexCacheTesting::occupiedSlots(), 0u);
    clearStringCache();
    EXPECT_EQ(RegexCacheTesting::occupiedSlots(), 0u);
    EXPECT_EQ(rangeOfRegex(buffer, u"b"), (RegexRange { 0, 1 }));
    EXPECT_EQ(RegexCacheTesting::compileCount(), beforeFlush + 1);
}

TEST_F(StringRegexTest, MemoryWarningEmptiesTheCacheOnceTheLockIsFree)
{
    core::RunLoop& loop = core::RunLoop::main();
    // With the lock free the warning empties the cache at once.
    EXPECT_EQ(rangeOfRegex(u"abc", u"b"), (RegexRange { 1, 1 }));
    ASSERT_EQ(RegexCacheTesting::occupiedSlots(), 1u);
    core::postMemoryWarning();
    loop.runUntilIdle();
    EXPECT_EQ(RegexCacheTesting::occupiedSlots(), 0u);

    // While another thread holds the lock nothing is cleared; the warning
    // tries again every 0.1 s until the lock is free.
    rangeOfRegex(u"abc", u"b");
    rangeOfRegex(u"abc", u"c");
    auto holder = std::make_unique<RegexCacheTesting::LockHolder>();
    core::postMemoryWarning();
    loop.runUntilIdle();
    loop.advance(0.25);
    holder->release();
    EXPECT_EQ(RegexCacheTesting::occupiedSlots(), 2u);
    loop.advance(0.1);
    EXPECT_EQ(RegexCacheTesting::occupiedSlots(), 0u);
    // The cache works on afterwards.
    EXPECT_EQ(rangeOfRegex(u"abc", u"c"), (RegexRange { 2, 1 }));
}

TEST_F(StringRegexTest, UpperLayerRangeAndCapture)
{
    EXPECT_EQ(vkRangeOfRegex(u"", u"a", 0, 0), RegexNotFoundRange);
    EXPECT_EQ(vkRangeOfRegex(u"abc", u"a(", 0, 0), RegexNotFoundRange);
    EXPECT_EQ(vkRangeOfRegex(u"A cat", u"\\bcat", RKLCaseless | RKLUnicodeWordBoundaries, 0), (RegexRange { 2, 3 }));

    EXPECT_EQ(vkCaptureOfRegex(u"name: Bob", u"Name: (\\w+)"), u"Bob");
    EXPECT_EQ(vkCaptureOfRegex("name: Bob", "Name: (\\w+)"), "Bob");
    EXPECT_EQ(vkCaptureOfRegex(u"nothing", u"Name: (\\w+)"), std::nullopt);
    EXPECT_EQ(vkCaptureOfRegex(u"beginbfchar\n<01> <0041>\nendbfchar", u"(?s)beginbfchar\n(.*?)\nendbfchar"), u"<01> <0041>");
    EXPECT_EQ(thrown([] { vkCaptureOfRegex(u"name: Bob", u"Name: \\w+"); }).second,
        std::string(kRangePrefix) + "The capture argument is not valid.");
}

TEST_F(StringRegexTest, WordTokensKeepWordsWithLettersWhole)
{
    EXPECT_EQ(vkWordBoundaryTokens(u"a, b; c"), (U16 { u"a", u"b", u"c" }));
    EXPECT_EQ(vkWordBoundaryTokens(u"abc123 456 x-y"), (U16 { u"abc123", u"x", u"y" }));
    EXPECT_EQ(vkWordBoundaryTokens("caf\xC3\xA9 e\xCC\x81t\xC3\xA9 \xE2\x80\x94 3.5"), (U8 { "caf\xC3\xA9", "e\xCC\x81t\xC3\xA9" }));
    EXPECT_TRUE(vkWordBoundaryTokens(u"").empty());
    EXPECT_TRUE(vkWordBoundaryTokens(u" ,.; 42 ").empty());
}

TEST_F(StringRegexTest, WordTokensAreRightOnTwoThreadsAtOnce)
{
    auto work = [](std::u16string text, U16 expected, bool* ok) {
        for (int i = 0; i < 2000 && *ok; ++i)
            *ok = vkWordBoundaryTokens(text) == expected;
    };
    bool firstOk = true, secondOk = true;
    std::thread first(work, u"one two, three", U16 { u"one", u"two", u"three" }, &firstOk);
    std::thread second(work, u"alpha-beta gamma 12 delta", U16 { u"alpha", u"beta", u"gamma", u"delta" }, &secondOk);
    first.join();
    second.join();
    EXPECT_TRUE(firstOk);
    EXPECT_TRUE(secondOk);
}

TEST_F(StringRegexTest, WordBoundaryRegexEscapesEachWord)
{
    EXPECT_EQ(vkWordBoundaryRegex(u"big cat", 1), u"\\bbig\\b|\\bcat");
    EXPECT_EQ(vkWordBoundaryRegex(u"big cat ", 1), u"\\bbig\\b|\\bcat\\b");
    EXPECT_EQ(vkWordBoundaryRegex(u"big cat", 0), u"\\bbig cat");
    EXPECT_EQ(vkWordBoundaryRegex("big  cat ", 0), "\\bbig cat\\b");

    std::u16string pattern = vkWordBoundaryRegex(u"e.g cat", 1);
    EXPECT_EQ(pattern, u"\\be\\.g\\b|\\bcat");
    EXPECT_EQ(vkRangeOfRegex(u"see e.g here", pattern, RKLCaseless | RKLUnicodeWordBoundaries, 0), (RegexRange { 4, 3 }));
    EXPECT_EQ(vkRangeOfRegex(u"see exg here", pattern, RKLCaseless | RKLUnicodeWordBoundaries, 0), RegexNotFoundRange);
    // Words holding characters the pattern language gives meaning to.
    for (std::u16string text : { u"o'clock a:b x_y(z) c++ [q]", u"a$b a^b a|b a*b a?b a{2}", u"caf\u00e9 \u00fcber" }) {
        for (int mode : { 0, 1 }) {
            std::u16string built = vkWordBoundaryRegex(text, mode);
            EXPECT_TRUE(isRegexValid(built, RKLCaseless | RKLUnicodeWordBoundaries)) << std::string(built.begin(), built.end());
        }
        EXPECT_NE(vkRangeOfRegex(text, vkWordBoundaryRegex(text, 1), RKLCaseless | RKLUnicodeWordBoundaries, 0).location,
            RegexNotFound);
    }
}

TEST_F(StringRegexTest, HostilePageText)
{
    // Lone surrogates and NULs.
    std::u16string broken = u"x\xD800y\xDC00 \0z";
    broken += std::u16string(1, u'\0') + u"word";
    EXPECT_EQ(rangeOfRegex(broken, u"word"), (RegexRange { broken.size() - 4, 4 }));
    EXPECT_EQ(vkWordBoundaryTokens(broken).back(), u"word");
    std::u16string lone(1, u'\xDC00');
    EXPECT_TRUE(vkWordBoundaryTokens(lone).empty());
    EXPECT_EQ(vkWordBoundaryRegex(lone, 1), u"\\b");

    // One megabyte without a space.
    std::u16string run(1 << 20, u'a');
    U16 tokens = vkWordBoundaryTokens(run);
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(tokens[0].size(), run.size());
    EXPECT_EQ(vkRangeOfRegex(run, u"a\\b", 0, 0), (RegexRange { run.size() - 1, 1 }));

    // 100,000 matches.
    std::u16string many;
    for (int i = 0; i < 100000; ++i)
        many += u"ab ";
    EXPECT_EQ(componentsMatchedByRegex(many, u"b").size(), 100000u);
    EXPECT_EQ(componentsSeparatedByRegex(many, u" ").size(), 100000u);
    EXPECT_EQ(vkWordBoundaryTokens(many).size(), 100000u);
    EXPECT_EQ(arrayOfCaptureComponentsMatchedByRegex(many, u"(a)(b)").size(), 100000u);
}

} // namespace

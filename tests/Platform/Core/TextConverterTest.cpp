#include "Platform/Core/TextConverter.h"

#include <gtest/gtest.h>

#include <string>

using core::TextConverter;
using Status = TextConverter::Status;

namespace {

TextConverter::Step step(TextConverter& converter, std::string_view input, std::string& out, size_t capacity = 64)
{
    out.assign(capacity, '\0');
    TextConverter::Step result = converter.convert(input, out.data(), out.size());
    out.resize(result.produced);
    return result;
}

} // namespace

TEST(TextConverterTest, ShiftJISStepsLeaveIncompleteBytesUnconsumed)
{
    TextConverter converter = TextConverter::toUTF8("CP932");
    ASSERT_TRUE(converter.isOpen());
    EXPECT_EQ(converter.backend(), TextConverter::Backend::Iconv);
    std::string out;

    TextConverter::Step lead = step(converter, "\x82", out);
    EXPECT_EQ(lead.status, Status::Incomplete);
    EXPECT_EQ(lead.consumed, 0u);
    EXPECT_EQ(out, "");

    TextConverter::Step pair = step(converter, "\x82\xA0", out);
    EXPECT_EQ(pair.status, Status::Ok);
    EXPECT_EQ(pair.consumed, 2u);
    EXPECT_EQ(out, "あ");

    TextConverter::Step bad = step(converter, "a\x82\x20", out);
    EXPECT_EQ(bad.status, Status::Invalid);
    EXPECT_EQ(bad.consumed, 1u);
    EXPECT_EQ(out, "a");
}

TEST(TextConverterTest, MacNamesOpenThroughGlibcOrICU)
{
    TextConverter glibc = TextConverter::toUTF8("MACINTOSH");
    ASSERT_TRUE(glibc.isOpen());
    EXPECT_EQ(glibc.backend(), TextConverter::Backend::Iconv);
    std::string out;
    EXPECT_EQ(step(glibc, "\x8E", out).status, Status::Ok);
    EXPECT_EQ(out, "é");

    // glibc lacks these names; ICU's converters take them.
    TextConverter roman = TextConverter::toUTF8("MacRoman");
    ASSERT_TRUE(roman.isOpen());
    EXPECT_EQ(roman.backend(), TextConverter::Backend::ICU);
    EXPECT_EQ(roman.sourceNameForTesting(), "MacRoman");
    EXPECT_EQ(step(roman, "caf\x8E", out).consumed, 4u);
    EXPECT_EQ(out, "café");

    // Expected output from `uconv -f x-mac-greek -t UTF-8`.
    EXPECT_EQ(TextConverter::convertText("\xE1\x8E", "x-mac-greek"), "αé");
    EXPECT_EQ(TextConverter::convertText("\xE1", "UTF-8", "x-mac-greek"), std::nullopt);
    EXPECT_EQ(TextConverter::convertText("α", "UTF-8", "x-mac-greek"), "\xE1");

    for (const char* unknown : { "MacHebrew", "MacThai", "CP10008", "CP-535", "", "UTF-8//IGNORE", "CP1252//TRANSLIT" })
        EXPECT_FALSE(TextConverter::isKnown(unknown)) << unknown;
    TextConverter closed("nonsense", "UTF-8");
    EXPECT_FALSE(closed);
    EXPECT_EQ(closed.convert("x", out.data(), 0).status, Status::Invalid);
    EXPECT_EQ(closed.convertAll("x").status, Status::Invalid);
}

TEST(TextConverterTest, ICUStepsReportFullOutputInvalidAndIncompleteAtTheExactByte)
{
    // A Shift-JIS variant only ICU knows, so multi-byte sequences take the ICU path.
    const char* name = "ibm-943_P15A-2003";
    TextConverter converter = TextConverter::toUTF8(name);
    ASSERT_EQ(converter.backend(), TextConverter::Backend::ICU);
    std::string out;

    TextConverter::Step full = step(converter, "ab\x82\xA0"
                                               "c",
        out, 4);
    EXPECT_EQ(full.status, Status::OutputFull);
    EXPECT_EQ(full.consumed, 2u);
    EXPECT_EQ(out, "ab");
    TextConverter::Step rest = step(converter, "\x82\xA0"
                                               "c",
        out, 4);
    EXPECT_EQ(rest.status, Status::Ok);
    EXPECT_EQ(out, "あc");

    TextConverter::Step incomplete = step(converter, "ab\x82", out);
    EXPECT_EQ(incomplete.status, Status::Incomplete);
    EXPECT_EQ(incomplete.consumed, 2u);
    EXPECT_EQ(out, "ab");

    TextConverter::Step invalid = step(converter, "ab\x82\x20z", out);
    EXPECT_EQ(invalid.status, Status::Invalid);
    EXPECT_EQ(invalid.consumed, 2u);
    EXPECT_EQ(out, "ab");

    // Sequences cut by the converter's internal chunks come out whole.
    std::string input;
    std::string expected;
    for (size_t i = 0; i < 6000; ++i) {
        input += (i % 3 == 0) ? "\x82\xA0" : "a";
        expected += (i % 3 == 0) ? "あ" : "a";
    }
    for (size_t shift = 0; shift < 4; ++shift) {
        std::string shifted = std::string(shift, 'x') + input;
        auto text = TextConverter::convertText(shifted, name);
        ASSERT_TRUE(text);
        EXPECT_EQ(*text, std::string(shift, 'x') + expected);
    }

    // Into an ICU-only target: a character it lacks stops at its first byte.
    TextConverter greek = TextConverter::fromUTF8("x-mac-greek");
    TextConverter::Step unmappable = step(greek, "αあ", out);
    EXPECT_EQ(unmappable.status, Status::Invalid);
    EXPECT_EQ(unmappable.consumed, 2u);
    EXPECT_EQ(out, "\xE1");
    TextConverter::Step cut = step(greek, "α\xCE", out);
    EXPECT_EQ(cut.status, Status::Incomplete);
    EXPECT_EQ(cut.consumed, 2u);
}

TEST(TextConverterTest, WholeConversionsStrictLossyAndBounded)
{
    TextConverter utf8("UTF-8", "UTF-16LE");
    auto strict = utf8.convertAll("a\xFF"
                                  "b");
    EXPECT_EQ(strict.status, Status::Invalid);
    EXPECT_EQ(strict.offset, 1u);
    EXPECT_EQ(strict.text, std::string("a\0", 2));

    auto lossy = utf8.convertAll("a\xFF"
                                 "b\xFE",
        true);
    EXPECT_EQ(lossy.status, Status::Ok);
    EXPECT_EQ(lossy.dropped, 2u);
    EXPECT_EQ(lossy.text, std::string("a\0b\0", 4));

    // A sequence cut at the very end fails both ways.
    EXPECT_EQ(utf8.convertAll("a\xC3", true).status, Status::Incomplete);
    EXPECT_EQ(utf8.convertAll("").status, Status::Ok);

    // Windows-1252 both ways, as PDF passwords need.
    EXPECT_EQ(TextConverter::convertText("€é", "UTF-8", "CP1252"), "\x80\xE9");
    EXPECT_EQ(TextConverter::convertText("あ", "UTF-8", "CP1252"), std::nullopt);
    EXPECT_EQ(TextConverter::convertText("\x80\xE9", "CP1252"), "€é");
    // A DOS code page, as old zip entry names use.
    EXPECT_EQ(TextConverter::convertText("\x82\x94", "CP850"), "éö");

    // Large input: the output grows to twice the input.
    std::string high(1 << 20, '\xE9');
    auto big = TextConverter::convertText(high, "CP1252");
    ASSERT_TRUE(big);
    EXPECT_EQ(big->size(), high.size() * 2);
    EXPECT_EQ(big->substr(big->size() - 2), "é");

    // A limit stops the output at a whole character.
    auto bounded = TextConverter::toUTF8("CP1252").convertAll(high, false, 1001);
    EXPECT_EQ(bounded.status, Status::OutputFull);
    EXPECT_EQ(bounded.text.size(), 1000u);
    EXPECT_EQ(bounded.offset, 500u);

    // Stateful targets return to their initial state at the end.
    EXPECT_EQ(TextConverter::convertText("あ", "UTF-8", "ISO-2022-JP"), "\x1B$B$\"\x1B(B");
}

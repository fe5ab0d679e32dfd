#include "TestConverter.h"

#include "Platform/Core/Log.h"

#include <gtest/gtest.h>

using core::TextConverter;
using rtf_test::TestConverter;

namespace {

// The converter after the keywords of a document's header.
void header(TestConverter& converter, std::string_view keywords)
{
    converter.dispatch(converter.parse(keywords));
}

} // namespace

TEST(CodePageTest, CodePageKeywordsOpenTheirConverter)
{
    TestConverter converter;
    EXPECT_EQ(converter.m_charset, 1);
    header(converter, "\\ansi\\ansicpg1252");
    EXPECT_EQ(converter.m_charset, 2);
    EXPECT_EQ(converter.m_iconv.sourceName(), "CP1252");

    const std::pair<const char*, const char*> aliases[] = { { "\\mac", "MACINTOSH" }, { "\\pc", "CP437" }, { "\\pca", "CP850" } };
    for (const auto& [keyword, name] : aliases) {
        header(converter, keyword);
        EXPECT_EQ(converter.m_iconv.sourceName(), name) << keyword;
    }

    // 65001 arrives as -535 and is read back as the unsigned number it is.
    header(converter, "\\ansicpg65001");
    EXPECT_EQ(converter.m_iconv.sourceName(), "UTF-8");

    // The converter the byte conversion relies on.
    header(converter, "\\ansicpg932");
    char out[10];
    EXPECT_EQ(converter.m_iconv.convert("\x82", out, sizeof out).status, TextConverter::Status::Incomplete);
    auto step = converter.m_iconv.convert("\x82\xA0", out, sizeof out);
    EXPECT_EQ(std::string(out, step.produced), "あ");

    converter.Cleanup();
    EXPECT_FALSE(converter.m_iconv.isOpen());
}

TEST(CodePageTest, MacCodePagesOpenThroughGlibcOrICUOrFailWithALogLine)
{
    const struct {
        short codePage;
        const char* name;
        TextConverter::Backend backend;
    } opened[] = {
        { 10000, "MACINTOSH", TextConverter::Backend::Iconv },
        { 10007, "MACCYRILLIC", TextConverter::Backend::Iconv },
        { 10017, "MACUKRAINIAN", TextConverter::Backend::Iconv },
        { 10029, "MAC-CENTRALEUROPE", TextConverter::Backend::Iconv },
        { 10079, "MAC-IS", TextConverter::Backend::Iconv },
        { 10006, "x-mac-greek", TextConverter::Backend::ICU },
        { 10081, "x-mac-turkish", TextConverter::Backend::ICU },
    };
    for (const auto& entry : opened) {
        TestConverter converter;
        converter.HandleRTFCommand("ansicpg", nullptr, true, entry.codePage);
        EXPECT_EQ(converter.m_iconv.sourceName(), entry.name);
        EXPECT_EQ(converter.m_iconv.backend(), entry.backend) << entry.name;
        EXPECT_EQ(converter.m_charset, 2);
    }

    for (short codePage : { 10005, 10010, 10021, 10082, 10008 }) {
        core::LogCapture log(true);
        TestConverter converter;
        converter.HandleRTFCommand("ansicpg", nullptr, true, codePage);
        EXPECT_FALSE(converter.m_iconv.isOpen()) << codePage;
        EXPECT_EQ(converter.m_charset, 1);
        EXPECT_EQ(log.lines(), std::vector<std::string> { "iconv_open failed: 0xffffffffffffffff" });
    }

    // A failing keyword leaves an earlier code page's setting, but not its converter.
    core::LogCapture log(true);
    TestConverter converter;
    header(converter, "\\ansicpg1251\\ansicpg10005");
    EXPECT_EQ(converter.m_charset, 2);
    EXPECT_FALSE(converter.m_iconv.isOpen());
}

TEST(CodePageTest, FontTablesMapNumbersToNames)
{
    TestConverter converter;
    auto table = [&](std::string_view text) {
        converter.Cleanup();
        rtf::Word* group = converter.parse(text);
        const rtf::Word* keyword = group->GetChild();
        EXPECT_EQ(converter.HandleRTFCommand("fonttbl", keyword, false, 0), 0);
        return converter.m_fonts;
    };
    using Fonts = std::map<int, std::string>;

    EXPECT_EQ(table("{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}{\\f1\\fswiss Arial ;}"
                    "{\\f2\\fnil{\\*\\falt Geneva} Bar;}}"),
        (Fonts { { 0, "Times New Roman" }, { 1, "Arial " }, { 2, "Bar" } }));
    // Entries in the table's own chain end at the word ending in ";".
    EXPECT_EQ(table("{\\fonttbl\\f0\\fswiss Helvetica;\\f1\\froman Times New;\\f2 Courier ;}"),
        (Fonts { { 0, "Helvetica" }, { 1, "Times New" }, { 2, "Courier " } }));
    EXPECT_EQ(table("{\\fonttbl{\\f3 First;}{\\f3 Second;}}"), (Fonts { { 3, "Second" } }));
    // An entry that does not begin with its number is skipped.
    EXPECT_EQ(table("{\\fonttbl{\\fnil\\f4 Lost;}{\\f5 Kept;}{x}{}}"), (Fonts { { 5, "Kept" } }));
    EXPECT_EQ(table("{\\fonttbl{\\f6\\fnil}{\\f7 a;b; c}}"), (Fonts { { 6, "" }, { 7, "a;b" } }));
    EXPECT_EQ(table("{\\fonttbl}"), Fonts {});
}

#include "HTMLConversion.h"
#include "TestConverter.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/PercentEscape.h"

#include <gtest/gtest.h>

using core::TextConverter;
using rtf_test::body;
using rtf_test::html;
using rtf_test::TestConverter;
using rtf_test::text;

namespace {

// The converter after the keywords of a document's header.
void header(TestConverter& converter, std::string_view keywords)
{
    converter.dispatch(converter.parse(keywords));
}

// A font table as older word processors write it: one font a script, each
// naming the character set its bytes are in.
const std::string kScriptFonts = "{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}"
                                 "{\\f1\\froman\\fcharset204 Times New Roman Cyr;}"
                                 "{\\f2\\froman\\fcharset161 Times New Roman Greek;}"
                                 "{\\f3\\froman\\fcharset238 Times New Roman CE;}"
                                 "{\\f4\\fnil\\fcharset128 MS Mincho;}"
                                 "{\\f5\\fnil\\fcharset99 Unknown;}"
                                 "{\\f6\\fnil\\fcharset99999999999 Huge;}}";

std::string scripts(std::string_view body, std::string_view header = "\\ansi\\ansicpg1252\\deff0")
{
    return "{\\rtf1" + std::string(header) + kScriptFonts + std::string(body) + "}";
}

} // namespace

TEST(CodePageTest, AnsiWithoutACodePageIsWindows1252)
{
    std::string bytes;
    for (int byte = 0x80; byte <= 0x9F; ++byte) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\'%02x", byte);
        bytes += escape;
    }
    // The five bytes the code page leaves undefined give nothing.
    const std::string expected = "€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ";
    EXPECT_EQ(text("{\\rtf1\\ansi " + bytes + "}"), expected);
    EXPECT_EQ(text("{\\rtf1 " + bytes + "}"), expected);
    core::LogCapture log(true);
    EXPECT_EQ(text("{\\rtf1\\ansi\\ansicpg1252 " + bytes + "}"), expected);
    // The quotation keywords write the same marks, not ASCII stand-ins.
    EXPECT_EQ(text("{\\rtf1\\ansi \\lquote a\\rquote\\~\\ldblquote b\\rdblquote\\~\\bullet\\endash\\emdash}"),
        "‘a’ “b” •–—");
}

TEST(CodePageTest, AFontsCharacterSetChoosesTheCodePageOfItsBytes)
{
    EXPECT_EQ(text(scripts("\\f1 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2 \\f2 \\'e3\\'e5\\'e9\\'e1 \\f3 \\'bf\\'f3\\'b3\\'e6 "
                           "\\f4 \\'93\\'fa\\'96\\'7b \\f0 \\'e9")),
        "Привет γεια żółć 日本 é");
    // Unknown and absurd character sets, and fonts without one, leave the
    // document's code page; so does the default font.
    EXPECT_EQ(text(scripts("\\f5 \\'e9\\f6 \\'e9\\f77 \\'e9")), "ééé");
    EXPECT_EQ(text(scripts("\\'c0", "\\ansi\\ansicpg1251\\deff0")), "А");
    EXPECT_EQ(text(scripts("\\'cf\\f0 \\'cf\\plain \\'cf", "\\ansi\\deff1")), "ПÏП");
    // The font holds for the rest of its group, in the groups inside it,
    // field results and table cells included; Unicode characters are
    // themselves whatever the font.
    EXPECT_EQ(text(scripts("{\\f1{\\b \\'cf}{\\field{\\*\\fldinst PAGE}{\\fldrslt \\'f0}}}\\'e8")), "Прè");
    EXPECT_NE(body(scripts("\\f1\\intbl \\'cf\\cell\\row\\pard{x}")).find("П</font></td>"), std::string::npos);
    EXPECT_EQ(text(scripts("\\f1\\u1055\\'cf\\uc0\\u233")), "Пé");
}

TEST(CodePageTest, DoubleByteCharactersComeInPieces)
{
    // A trail byte in the ASCII range may stand as itself; the two bytes may
    // stand in neighbouring groups; fallback bytes after \u are skipped.
    EXPECT_EQ(text(scripts("\\f4 \\'83e\\'83X\\'83g")), "テスト");
    EXPECT_EQ(text("{\\rtf1\\ansicpg932 \\'83e\\'83X\\'83g}"), "テスト");
    EXPECT_EQ(text(scripts("\\f4{\\'82}{\\'a0}")), "あ");
    EXPECT_EQ(text(scripts("\\f4\\uc2\\u12354\\'82\\'a0\\u12356\\'82\\'a2")), "あい");

    // A lead byte whose trail never comes is dropped with a log line; the
    // output stays UTF-8.
    core::LogCapture log(true);
    EXPECT_EQ(text(scripts("\\f4 x\\'82")), "x");
    EXPECT_EQ(text(scripts("\\f4 \\'82\\f0 x\\f4\\'82")), "x");
    EXPECT_EQ(log.lines(), (std::vector<std::string> { "iconv err: EINVAL", "iconv err: EINVAL", "iconv err: EINVAL" }));
    log.clear();
    EXPECT_EQ(text(scripts("\\f4 \\'82 x\\'82\\'20")), " x");
    EXPECT_EQ(log.lines(), (std::vector<std::string> { "iconv err: EILSEQ", "iconv err: EILSEQ" }));
    std::string lead = html(scripts("\\f4 " + std::string(13, 'x') + "\\'82"));
    EXPECT_TRUE(core::isValidUTF8(lead));
}

TEST(CodePageTest, SymbolFontsShowTheirSignsOrNothing)
{
    const std::string fonts = "{\\rtf1{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\ftech\\fcharset2 Symbol;}"
                              "{\\f2\\fnil\\fcharset2 Wingdings;}{\\f3\\fnil\\fcharset2 Webdings;}"
                              "{\\f4\\fnil SYMBOL;}{\\f5\\fnil\\fcharset2 OpenSymbol;}}";
    // A word processor's list bullet, as a byte and as a private-use
    // character, and the Symbol font's Greek letters typed as Latin ones.
    EXPECT_EQ(text(fonts + "{\\listtext\\f1 \\'b7\\tab}Item\\par{\\f1\\u-3913\\'b7}{\\f5\\u-3913?}\\par\\f1 a+b\\'ae}"),
        "•    Item\n\n••\n\nα+β→");
    EXPECT_EQ(text(fonts + "\\f4 \\'b7\\'a0\\'80\\'f0}"), "•€");
    // Wingdings: the bullets it is used for; its other pictures, and all of
    // Webdings, write nothing rather than a letter or a missing glyph.
    EXPECT_EQ(text(fonts + "\\f2\\u-3929?\\'d8\\u-4060?J\\'24 \\f3\\'b7\\u-3913?x}"), "▪➢☺ ");
    // Outside symbol fonts the private-use characters are left alone, but
    // in a list's marker they, the Symbol bullet's byte and signs without a
    // character are bullets.
    EXPECT_EQ(body(fonts + "\\f0\\u-3913?}"), "<font face=\"Arial\">&#61623;</font>");
    EXPECT_EQ(text(fonts + "{\\listtext\\pard\\plain \\'b7\\tab}A\\par{\\listtext\\f0 \\u61623\\'b7\\tab}B\\par"
                           "{\\pntext\\u-3880?{\\f2 \\'a7\\u61606?\\'6f}\\tab}C\\par{\\listtext\\f3 \\'b7}D\\par\\f0 \\'b7}"),
        "•    A\n\n•    B\n\n•▪•□    C\n\n•D\n\n·");
}

TEST(CodePageTest, CodePageKeywordsOpenTheirConverter)
{
    TestConverter converter;
    EXPECT_EQ(converter.charset(), 1);
    header(converter, "\\ansi\\ansicpg1252");
    EXPECT_EQ(converter.charset(), 2);
    EXPECT_EQ(converter.documentCodePage().sourceNameForTesting(), "CP1252");

    const std::pair<const char*, const char*> aliases[] = { { "\\mac", "MACINTOSH" }, { "\\pc", "CP437" }, { "\\pca", "CP850" } };
    for (const auto& [keyword, name] : aliases) {
        header(converter, keyword);
        EXPECT_EQ(converter.documentCodePage().sourceNameForTesting(), name) << keyword;
    }

    // 65001 arrives as -535 and is read back as the unsigned number it is.
    header(converter, "\\ansicpg65001");
    EXPECT_EQ(converter.documentCodePage().sourceNameForTesting(), "UTF-8");

    // The converter the byte conversion relies on.
    header(converter, "\\ansicpg932");
    char out[10];
    EXPECT_EQ(converter.documentCodePage().convert("\x82", out, sizeof out).status, TextConverter::Status::Incomplete);
    auto step = converter.documentCodePage().convert("\x82\xA0", out, sizeof out);
    EXPECT_EQ(std::string(out, step.produced), "あ");

    converter.Cleanup();
    EXPECT_FALSE(converter.documentCodePage().isOpen());
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
        EXPECT_EQ(converter.documentCodePage().sourceNameForTesting(), entry.name);
        EXPECT_EQ(converter.documentCodePage().backend(), entry.backend) << entry.name;
        EXPECT_EQ(converter.charset(), 2);
    }

    for (short codePage : { 10005, 10010, 10021, 10082, 10008 }) {
        core::LogCapture log(true);
        TestConverter converter;
        converter.HandleRTFCommand("ansicpg", nullptr, true, codePage);
        EXPECT_FALSE(converter.documentCodePage().isOpen()) << codePage;
        EXPECT_EQ(converter.charset(), 1);
        EXPECT_EQ(log.lines(), std::vector<std::string> { "iconv_open failed: 0xffffffffffffffff" });
    }

    // A failing keyword leaves an earlier code page's setting, but not its converter.
    core::LogCapture log(true);
    TestConverter converter;
    header(converter, "\\ansicpg1251\\ansicpg10005");
    EXPECT_EQ(converter.charset(), 2);
    EXPECT_FALSE(converter.documentCodePage().isOpen());
}

TEST(CodePageTest, FontTablesMapNumbersToNames)
{
    TestConverter converter;
    auto table = [&](std::string_view text) {
        converter.Cleanup();
        rtf::Word* group = converter.parse(text);
        const rtf::Word* keyword = group->GetChild();
        EXPECT_EQ(converter.HandleRTFCommand("fonttbl", keyword, false, 0), 0);
        return converter.fonts();
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

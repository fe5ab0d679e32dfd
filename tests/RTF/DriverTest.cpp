#include "HTMLConversion.h"

#include "Platform/Core/Log.h"

#include <gtest/gtest.h>

using rtf_test::body;
using rtf_test::html;

TEST(DriverTest, ParagraphKeywordsMakeTheStyleOfTheNextParagraph)
{
    EXPECT_EQ(body("{\\rtf1\\qc Centered\\par}"), "<div style=\"text-align:center;\">\nCentered</div>\n");
    EXPECT_EQ(body("{\\rtf1 Centered\\par}"), "Centered<br>\n");
    EXPECT_EQ(body("{\\rtf1\\fi-360\\li720 x}"), "<div style=\"text-indent:-18px;padding-left:36px;\">\nx</div>\n");
    EXPECT_EQ(body("{\\rtf1\\ri1440\\sb120\\sa-30\\qj x}"),
        "<div style=\"padding-right:72px;padding-top:6px;padding-bottom:-1px;text-align:justify;\">\nx</div>\n");
    // Keywords that only begin like an indent, or carry no parameter, go on
    // to their own handlers.
    EXPECT_EQ(body("{\\rtf1\\sbasedon15\\li\\sl276 a\\line b}"), "a<br>\nb");
    // A repeated property replaces the earlier declaration.
    std::string repeated = "{\\rtf1";
    for (int i = 0; i < 1000; ++i)
        repeated += "\\ql\\li20 x\\par";
    EXPECT_EQ(body(repeated + "}").size(), 1000 * std::string("<div style=\"text-align:left;padding-left:1px;\">\nx</div>\n").size());
    // A paragraph reset followed by \plain closes the attributes first.
    EXPECT_EQ(body("{\\rtf1\\qc\\b x\\pard\\plain y}"), "<b></b><div style=\"text-align:center;\">\n<b>x</b></div>\ny");
    // A group opens the pending paragraph; its style is its own.
    EXPECT_EQ(body("{\\rtf1\\qr{a\\qc}b\\par}"), "<div style=\"text-align:right;\">\nab</div>\n");
}

TEST(DriverTest, TextIsWrittenCharacterByCharacter)
{
    std::string run61(61, 'w');
    std::string run62(62, 'w');
    EXPECT_EQ(body("{\\rtf1 a " + run61 + "}"), "a " + run61);
    EXPECT_EQ(body("{\\rtf1 a " + run62 + "}"), "a <span class=\"wball\">" + run62 + "</span>");
    // Runs count across words that do not begin with a blank.
    EXPECT_EQ(body("{\\rtf1 " + run61 + "\\b x}"), run61 + "<b><span class=\"wball\">x</span></b>");

    // Blanks opening a line are non-breaking; within a line they stay.
    EXPECT_EQ(body("{\\rtf1   x\\par   a  b}"), "x<br>\n&nbsp;&nbsp;a  b");
    // Small capitals keep the letters as typed, for copying and search.
    EXPECT_EQ(body("{\\rtf1{\\scaps Hello} x}"), "<span style=\"font-variant:small-caps\">Hello</span> x");
    EXPECT_EQ(body("{\\rtf1\\caps Hello w\\caps orld}"), "HELLO World");
    EXPECT_EQ(body("{\\rtf1 a<b>&c caf\xe9 \x01"
                   "d\x7f}"),
        "a&lt;b&gt;&amp;c caf d");
    // The words of a surplus closing brace's remainder are never read.
    EXPECT_EQ(body("{\\rtf1 \\{x\\}\\\\}}y"), "{x}\\");
}

TEST(DriverTest, HexadecimalCharactersUseTheDocumentsCodePage)
{
    EXPECT_EQ(body("{\\rtf1 \\'e9\\'93\\'3c\\'81}"), "&eacute;&ldquo;&lt;");
    EXPECT_EQ(body("{\\rtf1\\ansicpg1252 \\'e9\\'3c\\'26\\'3e\\'22\\'0a}"), "é&lt;&amp;&gt;&quot;");
    EXPECT_EQ(body("{\\rtf1\\ansicpg932 \\'82\\'a0}"), "あ");
    EXPECT_EQ(body("{\\rtf1\\ansicpg1251 \\'c0\\'e1\\'e2}"), "Абв");
    EXPECT_EQ(body("{\\rtf1\\mac \\'8e}"), "é");
    EXPECT_EQ(body("{\\rtf1\\pc \\'82}"), "é");

    core::LogCapture log(true);
    EXPECT_EQ(html("{\\rtf1\\ansicpg932 x\\'82\\'20}"), html("{\\rtf1\\ansicpg932 x}"));
    EXPECT_EQ(log.lines(), std::vector<std::string> { "iconv err: EILSEQ" });
    log.clear();
    // A character's bytes may stand in neighbouring groups; one never
    // completed is dropped.
    EXPECT_EQ(body("{\\rtf1\\ansicpg932 {\\'82}\\'a0 x}"), "\xE3\x81\x82&nbsp;x");
    EXPECT_EQ(body("{\\rtf1\\ansicpg932 {\\'82}\\u233?x}"), "&#233;x");
    EXPECT_EQ(log.lines(), std::vector<std::string> { "iconv err: EINVAL" });
    // A character's bytes may come in several hexadecimal characters.
    EXPECT_EQ(body("{\\rtf1\\ansicpg65001 \\'e2\\'82\\'ac\\'41}"), "€A");
}

TEST(DriverTest, TablesOpenAtTheirFirstTextAndCloseAtTheNextGroup)
{
    EXPECT_EQ(body("{\\rtf1\\intbl A\\cell B\\cell\\row\\pard{C}}"),
        "<table cellpadding=\"2\" cellspacing=\"0\">\n<tr><td>A</td>\n<td>B</td>\n</tr>\n</table>\nC");
    // A cell closes the attributes opened in it.
    EXPECT_EQ(body("{\\rtf1\\intbl\\b A\\cell B\\cell\\row\\pard{C}}"),
        "<table cellpadding=\"2\" cellspacing=\"0\">\n<tr><td><b>A</b></td>\n<td>B</td>\n</tr>\n</table>\nC");
    // Characters of any kind open the body and the cell they stand in.
    EXPECT_EQ(body("{\\rtf1\\intbl\\'e9\\cell\\row}", true),
        "<body width=\"632px\">\n<table cellpadding=\"2\" cellspacing=\"0\">\n<tr><td>&eacute;</td>\n</tr>\n</table>");
    // An empty cell stands in its row.
    EXPECT_EQ(body("{\\rtf1\\intbl\\cell B\\cell\\row\\pard\\intbl\\cell\\row\\pard{C}}"),
        "<table cellpadding=\"2\" cellspacing=\"0\">\n<tr><td>&nbsp;</td>\n<td>B</td>\n</tr>\n"
        "<tr><td>&nbsp;</td>\n</tr>\n</table>\nC");
}

TEST(DriverTest, TablesAndWhatStandsAroundThemNestWell)
{
    // A letter: bold still in force where the table starts, centred header
    // paragraphs opened before their cells, a picture in a cell and one
    // beside the table, and a plain closing paragraph.
    const std::string letter = "{\\rtf1\\b Dear reader,\\par\\pard\\intbl\\qc Name\\cell\\pard\\intbl\\qc Value\\cell\\row"
                               "\\pard\\intbl{\\pict\\pngblip\\picw20\\pich20 89504e47}\\cell\\pard\\intbl x\\cell\\row"
                               "{\\pict\\jpegblip\\picw30\\pich30 ffd8}\\pard\\plain\\qr Regards\\par}";
    std::string converted = html(letter);
    EXPECT_EQ(rtf_test::read(converted).errors, std::vector<std::string> {}) << converted;
    EXPECT_NE(converted.find("<div style=\"text-align:center;\">\n<b>Name</b></div>\n</td>"), std::string::npos) << converted;
    EXPECT_NE(converted.find("<tr><td><span style=\"display:inline-block;width:15px"), std::string::npos);
    // The bold ends before the table (each cell opens it again); the
    // picture and the paragraph after the table are neither bold nor in it.
    EXPECT_NE(converted.find("<b>Dear reader,<br>\n</b><table"), std::string::npos);
    size_t end = converted.find("</table>");
    EXPECT_EQ(converted.find("<b>", end), std::string::npos);
    EXPECT_GT(converted.find("<span style=\"display:inline-block;width:22px"), end);

    // Hostile tables: nested, a cell left open at the end, cells and rows
    // outside a table, groups across cells. Each reads well formed and
    // keeps its text.
    for (std::string_view rtf : { "{\\rtf1\\intbl a\\cell", "{\\rtf1\\intbl{\\b a", "{\\rtf1 xa\\cell y\\row z\\cell}",
             "{\\rtf1\\intbl{\\intbl{\\intbl a\\cell\\row}b\\nestcell\\nestrow}c\\cell\\row d}",
             "{\\rtf1{\\b\\intbl a}\\cell\\row{\\i b\\intbl c\\cell}\\row\\pard{\\qc d\\par}}",
             "{\\rtf1\\qc\\b\\intbl\\row\\row\\cell\\cell\\row{}\\intbl a\\cell\\par\\row}" }) {
        std::string hostile = html(rtf);
        rtf_test::Reading reading = rtf_test::read(hostile);
        EXPECT_EQ(reading.errors, std::vector<std::string> {}) << rtf << "\n" << hostile;
        EXPECT_NE(reading.text.find('a'), std::string::npos) << rtf;
    }
}

TEST(DriverTest, FallbackCharactersAfterUnicodeAreSkipped)
{
    EXPECT_EQ(body("{\\rtf1 \\u1055\\'cf}"), "&#1055;");
    EXPECT_EQ(body("{\\rtf1 \\u1055?abc}"), "&#1055;abc");
    EXPECT_EQ(body("{\\rtf1\\ansicpg932\\uc2 \\u12354\\'82\\'a0}"), "&#12354;");
    EXPECT_EQ(body("{\\rtf1\\uc0 \\u233 x}"), "&#233;x");
    // Blanks and control words count one each; a group ends the skip.
    EXPECT_EQ(body("{\\rtf1\\uc3 \\u233  \\b ab}"), "&#233;b");
    EXPECT_EQ(body("{\\rtf1\\uc4 \\u233{x}y}"), "&#233;xy");
    // The count belongs to the group and is inherited by the groups in it.
    EXPECT_EQ(body("{\\rtf1{\\uc2{\\u233 abc}}\\u233 abc}"), "&#233;c&#233;bc");
    // The halves of a character beyond the first plane make one.
    EXPECT_EQ(body("{\\rtf1 \\u-10179?\\u-8704?}"), "&#128512;");
    EXPECT_EQ(body("{\\rtf1 \\u-10179?x}"), "&#65533;x");
}

#include "HTMLConversion.h"

#include "Platform/Core/Log.h"

#include <gtest/gtest.h>

using rtf_test::body;
using rtf_test::head;
using rtf_test::html;

TEST(DestinationTest, SpecialCharactersAndUnicode)
{
    EXPECT_EQ(body("{\\rtf1 a\\tab b\\page c\\line d\\sect e}"),
        "a&nbsp;&nbsp;&nbsp;&nbsp;b<p><hr><p>\nc<br>\nd<div>\ne");
    EXPECT_EQ(body("{\\rtf1 \\lquote a\\rquote \\ldblquote b\\rdblquote}"), "`a'``b''");
    EXPECT_EQ(body("{\\rtf1 a\\emdash b\\endash c\\~d\\_e\\-f\\bullet}"), "a&mdash;b&ndash;c&nbsp;d&#8209;ef&bull;");
    EXPECT_EQ(body("{\\rtf1 \\u-4064?\\u8232?\\u\\u0 x}"), "&#61472;<br>\nx");
    // Characters before any text open the body; in a table, the cell.
    EXPECT_EQ(body("{\\rtf1\\u233 }", true), "<body width=\"632px\">\n&#233;");
    EXPECT_EQ(body("{\\rtf1\\intbl\\emdash\\cell\\row}"),
        "<table cellpadding=\"2\" cellspacing=\"0\">\n<tr><td>&mdash;</td>\n</tr>\n");
}

TEST(DestinationTest, TheInformationGroupWritesIntoTheHead)
{
    EXPECT_EQ(body("{\\rtf1{\\info{\\creatim\\yr2010\\mo3\\dy7\\hr0\\min30}}x}"), "x");
    EXPECT_NE(head("{\\rtf1{\\info{\\creatim\\yr2010\\mo3\\dy7\\hr0\\min30}}x}").find("</style>\n<!--- creaton date: 7 March 2010  --->\n"),
        std::string::npos);
    std::string info = head("{\\rtf1{\\info{\\title My  Doc}{\\author Ann--B-}{\\keywords red green}{\\comment ok}"
                            "{\\nofpages3}{\\nofwords120}{\\nofcharsws99}{\\nofchars700}{\\printim\\yr2020\\mo13\\dy1}"
                            "{\\buptim\\yr2021\\mo12\\dy31\\hr9\\min5}{\\revtim}{\\operator Bob}{\\hlinkbase}}x}");
    EXPECT_NE(info.find("</style>\n<title>My  Doc</title>\n<!--author: Ann- -B- --->\n"
                        "<meta name=\"Keywords\" content=\"red,green,\" />\n<!--- comments: ok --->\n"
                        "<!--- total pages: 3 --->\n<!--- total words: 120 --->\n<!--- total chars: 700 --->\n"
                        "<!--- last printed:  --->\n<!--- last backup: 31 December 2021 09:05  --->\n"
                        "<!--- revision date:  --->\n<!--- hyperlink base: (none) --->\n"),
        std::string::npos)
        << info;

    rtf::Converter2HTML converter;
    rtf::Params params { true };
    std::string omitted = converter.Convert("{\\rtf1{\\info{\\title T}{\\hlinkbase http://a/}}x}", params);
    EXPECT_EQ(omitted.find("<title>"), std::string::npos);
    EXPECT_NE(omitted.find("<!--- hyperlink base: http://a/ --->\n"), std::string::npos);
}

TEST(DestinationTest, DocumentTextIsEscapedWhereverItGoes)
{
    std::string converted = html("{\\rtf1{\\fonttbl{\\f0 a\"><script>;}}{\\info{\\title </title><script>x}"
                                 "{\\keywords \"><script>}{\\author --><script>}}\\f0 "
                                 "{\\field{\\*\\fldinst HYPERLINK \"x\\\\\"><script>\"}{\\fldrslt y}}"
                                 "{{\\NeXTGraphic a\"><script>.tiff}}}");
    EXPECT_EQ(converted.find("<script"), std::string::npos) << converted;
    EXPECT_NE(converted.find("<!--author: - -&gt;&lt;script&gt;--->\n"), std::string::npos) << converted;
}

TEST(DestinationTest, HyperlinkFieldsWriteTheirTargetAndResult)
{
    EXPECT_EQ(body("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"http://a.b/?x=1&y=2\"}{\\fldrslt Site}}}"),
        "<a href=\"http://a.b/?x=1&amp;y=2\">Site</a>");
    // The instruction inline or in a group; switches and quotes.
    EXPECT_EQ(body("{\\rtf1{\\field{\\*\\fldinst{\\rtlch HYPERLINK  \\\\l \"Part Two\" }}{\\fldrslt{\\b go}}}}"),
        "<a href=\"#Part Two\"><b>go</b></a>");
    EXPECT_EQ(body("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"http://a/\" \\\\o \"tip\"}{\\fldrslt}}}"),
        "<a href=\"http://a/\">hyperlink</a>");
    EXPECT_EQ(body("{\\rtf1\\b{\\field{\\*\\fldinst HYPERLINK http://a/}{\\fldrslt x}} y}"),
        "<b></b><a href=\"http://a/\"><b>x</b><b></b></a><b></b><b> y</b>");
    // Other fields, and links that would run scripts, show their result.
    EXPECT_EQ(body("{\\rtf1{\\field{\\*\\fldinst PAGE}{\\fldrslt 3}}}"), "3");
    EXPECT_EQ(body("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"javascript:alert(1)\"}{\\fldrslt x}}}"), "x");
    EXPECT_EQ(body("{\\rtf1{\\field{\\*\\fldinst HYPERLINK}{\\fldrslt x}}}"), "x");
}

TEST(DestinationTest, ColourTablesPicturesAndPageWidth)
{
    EXPECT_EQ(body("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red65535;}\\cf0 a\\cf1 b\\cf2 c}"),
        "<font color=\"#000000\">a<font color=\"#ff0000\">b<font color=\"#ff0000\">c</font></font></font>");

    EXPECT_EQ(body("{\\rtf1{{\\NeXTGraphic  photo one.tiff \\width0}}}"), "<img src=\"photo one.tiff\" alt=\"photo one.tiff\">");
    EXPECT_EQ(body("{\\rtf1{{\\NeXTGraphic p.tiff \\width4000 \\height2000}}}"),
        "<img src=\"p.tiff\" alt=\"p.tiff\" width=\"200\" height=\"100\">");
    std::string widened = html("{\\rtf1\\paperw2000 a{{\\NeXTGraphic p.tiff \\width4000}}b}");
    EXPECT_NE(widened.find("<meta name=\"viewport\" content=\"width=220\">\n</head>\n<body width=\"220px\">\n"
                           "a<img src=\"p.tiff\" alt=\"p.tiff\">b"),
        std::string::npos)
        << widened;
    EXPECT_EQ(widened.find("120"), std::string::npos);

    EXPECT_NE(html("{\\rtf1\\paperw12240 x}").find("width=632"), std::string::npos);
    core::LogCapture log(true);
    EXPECT_NE(html("{\\rtf1 x\\paperw2000 y}").find("width=632"), std::string::npos);
    EXPECT_EQ(log.lines(), std::vector<std::string> { "Warning, paperw cmd encountered outside of the header" });
}

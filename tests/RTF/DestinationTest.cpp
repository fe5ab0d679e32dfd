#include "HTMLConversion.h"

#include "Platform/Core/Log.h"
#include "RTF/OutputTags.h"
#include "RTF/Picture.h"

#include <gtest/gtest.h>

using rtf_test::body;
using rtf_test::head;
using rtf_test::html;

TEST(DestinationTest, SpecialCharactersAndUnicode)
{
    EXPECT_EQ(body("{\\rtf1 a\\tab b\\page c\\line d\\sect e}"),
        "a&nbsp;&nbsp;&nbsp;&nbsp;b<p><hr><p>\nc<br>\nd<div>\ne</div>");
    EXPECT_EQ(body("{\\rtf1 \\lquote a\\rquote \\ldblquote b\\rdblquote}"), "&lsquo;a&rsquo;&ldquo;b&rdquo;");
    EXPECT_EQ(body("{\\rtf1 a\\emdash b\\endash c\\~d\\_e\\-f\\bullet}"), "a&mdash;b&ndash;c&nbsp;d&#8209;ef&bull;");
    EXPECT_EQ(body("{\\rtf1 \\u-4064?\\u8232?\\u\\u0 x}"), "&#61472;<br>\nx");
    // Characters before any text open the body; in a table, the cell.
    EXPECT_EQ(body("{\\rtf1\\u233 }", true), "<body width=\"632px\">\n&#233;");
    EXPECT_EQ(body("{\\rtf1\\intbl\\emdash\\cell\\row}"),
        "<table cellpadding=\"2\" cellspacing=\"0\">\n<tr><td>&mdash;</td>\n</tr>\n</table>");
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

TEST(DestinationTest, PicturesLeaveAnEmptyElementOfTheirSize)
{
    auto box = [](int width, int height) {
        return "<span style=\"display:inline-block;width:" + std::to_string(width) + "px;height:" + std::to_string(height)
            + "px\"></span>";
    };
    // The size to show (twips), scaled; or the picture's own size: pixels
    // for bitmaps, hundredths of a millimetre for metafiles.
    EXPECT_EQ(body("{\\rtf1 a{\\pict\\pngblip\\picw40\\pich20\\picwgoal1200\\pichgoal600 89504e47}b}"), "a" + box(60, 30) + "b");
    EXPECT_EQ(body("{\\rtf1{\\pict\\picscalex200\\picscaley50\\picwgoal600\\pichgoal300\\jpegblip ffd8}}"), box(60, 7));
    EXPECT_EQ(body("{\\rtf1{\\pict\\pngblip\\picw40\\pich20 00}}"), box(30, 15));
    EXPECT_EQ(body("{\\rtf1{\\pict\\wmetafile8\\picw2540\\pich1270 00}}"), box(72, 36));
    EXPECT_EQ(body("{\\rtf1 x{\\pict\\pngblip 00}}"), "x");
    EXPECT_EQ(body("{\\rtf1{\\pict\\picwgoal-5\\pichgoal32767\\picscaley9999 00}}"), box(0, 10000));
    // A picture in both forms shows once; in the newer form alone, too.
    EXPECT_EQ(body("{\\rtf1{\\*\\shppict{\\pict\\picwgoal200\\pichgoal100\\pngblip 00}}"
                   "{\\nonshppict{\\pict\\picwgoal200\\pichgoal100\\wmetafile8 00}}}"),
        box(10, 5));
    EXPECT_EQ(body("{\\rtf1 a{\\*\\shppict{\\pict\\picwgoal200\\pichgoal100\\pngblip 00}}b}"), "a" + box(10, 5) + "b");
    // Binary picture data never reads as RTF, braces and all.
    EXPECT_EQ(body("{\\rtf1 a{\\pict\\wmetafile8\\picwgoal200\\pichgoal100\\bin6 }}}{{{}b{\\*\\blob\\bin3 {\\}}c}"),
        "a" + box(10, 5) + "bc");
}

TEST(DestinationTest, PNGAndJPEGPicturesShowInAndBesideTables)
{
    // A PNG of 40 by 20 pixels: its data split by line ends, a stray
    // letter, a group of its own (an identifier, not data) and an odd last
    // digit; in a table cell; and a JPEG's start after the table.
    const std::string png = "89504e470d0a1a0a0000000d49484452000000280000001408020000007024e8ec000000244944415478"
                            "9cedcd310d00000c04a1f76fba95710b093bbb2dd1ac62b1582c168bc589077dfa1d0e7de25a390000000049"
                            "454e44ae426082";
    const std::string base64 = "iVBORw0KGgoAAAANSUhEUgAAACgAAAAUCAIAAABwJOjsAAAAJElEQVR4nO3NMQ0AAAwEofdvupVxCwk7uy3Rr"
                               "GKxWCwWi8WJB336HQ594lo5AAAAAElFTkSuQmCC";
    const std::string rtf = "{\\rtf1 before{\\pict{\\*\\picprop{\\sp{\\sn d}{\\sv 1}}}\\pngblip\\picw40\\pich20"
                            "\\picwgoal1200\\pichgoal600{\\*\\blipuid 00ff}"
        + png.substr(0, 20) + "\nz" + png.substr(20) + "7}\\par\\trowd\\cellx2000\\cellx4000\\pard\\intbl"
        + "{\\pict\\pngblip\\picw40\\pich20 " + png + "}\\cell\\pard\\intbl text\\cell\\row"
        + "\\pard after{\\pict\\jpegblip\\picw60\\pich30 ffd8ffdb00}\\par}";
    const std::string converted = html(rtf);
    EXPECT_EQ(rtf_test::read(converted).errors, std::vector<std::string> {}) << converted;
    const std::string image = "<img src=\"data:image/png;base64," + base64 + "\" alt=\"\" width=\"";
    EXPECT_NE(converted.find("before" + image + "60\" height=\"30\">"), std::string::npos) << converted;
    EXPECT_NE(converted.find("<td>" + image + "30\" height=\"15\"></td>"), std::string::npos) << converted;
    EXPECT_NE(converted.find("after<img src=\"data:image/jpeg;base64,/9j/2wA=\" alt=\"\" width=\"45\" height=\"22\">"),
        std::string::npos)
        << converted;
    EXPECT_EQ(converted.find("display:inline-block"), std::string::npos);

    // Past the conversion's budget a picture keeps no data and shows as its
    // empty element; the budget is left whole for the next.
    size_t budget = 50;
    rtf::Picture picture(budget);
    picture.keyword("\\pngblip");
    picture.data(png);
    rtf::OutputTags tags;
    tags.image_begin = "<img src=\"";
    tags.image_end = "\">";
    EXPECT_TRUE(picture.overBudget());
    EXPECT_EQ(picture.imageHTML(tags), "");
    EXPECT_EQ(budget, 50u);
}

TEST(DestinationTest, FieldsAreReadAsTheWalkMeetsThem)
{
    // A link whose result shows nothing, or that has none, shows a word.
    EXPECT_EQ(body("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"http://a/\"}{\\fldrslt{\\b }}}}"),
        "<a href=\"http://a/\">hyperlink</a>");
    EXPECT_EQ(body("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"http://a/\"}}x}"), "<a href=\"http://a/\">hyperlink</a>x");
    // Parts the field does not know are skipped; a result written before
    // its instruction shows as it stands.
    EXPECT_EQ(body("{\\rtf1{\\field\\flddirty{\\*\\fldtype x}{{\\nested}}{}{\\*}"
                   "{\\*\\fldinst{HYPERLINK \"http://a/\"}}{\\fldrslt go}}}"),
        "<a href=\"http://a/\">go</a>");
    EXPECT_EQ(body("{\\rtf1{\\field{\\fldrslt go}{\\*\\fldinst HYPERLINK \"http://a/\"}}}"), "go");
    // A field inside a link's result.
    EXPECT_EQ(body("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"http://a/\"}{\\fldrslt page {\\field{\\*\\fldinst PAGE}{\\fldrslt 3}}}}}"),
        "<a href=\"http://a/\">page 3</a>");
}

TEST(DestinationTest, DestinationsAreReadWithinLimits)
{
    // A font table past the limits keeps its first fonts; the document goes
    // on after it.
    std::string fonts = "{\\rtf1{\\fonttbl";
    for (int font = 0; font < 30000; ++font)
        fonts += "{\\f" + std::to_string(font) + " F" + std::to_string(font) + ";}";
    core::LogCapture log(true);
    std::string converted = body(fonts + "}\\f10 a\\f29999 b}");
    EXPECT_EQ(converted, "<font face=\"F10\">ab</font>");
    EXPECT_EQ(log.lines(), std::vector<std::string> { "Warning: Invalid font number" });

    // A hexadecimal character without its two digits is skipped, with one
    // log line a document.
    log.clear();
    EXPECT_EQ(body("{\\rtf1 a\\'g1b\\'4\\'\\'zz c}"), "ag1bzz c");
    EXPECT_EQ(log.lines(), std::vector<std::string> { "Warning, \\' without two hexadecimal digits" });
}

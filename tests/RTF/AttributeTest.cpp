#include "HTMLConversion.h"

#include "Platform/Core/Log.h"

#include "Support/Command.h"

#include <gtest/gtest.h>

using rtf_test::body;

namespace {

size_t count(const std::string& text, std::string_view piece)
{
    size_t found = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++found;
    return found;
}

} // namespace

TEST(AttributeTest, KeywordsOpenAndCloseTheirTags)
{
    EXPECT_EQ(body("{\\rtf1\\b a\\b0 b}"), "<b>a</b>b");
    EXPECT_EQ(body("{\\rtf1 a\\b0 b}"), "ab");
    EXPECT_EQ(body("{\\rtf1\\i\\strike\\shad\\outl\\embo\\impr\\super x}"),
        "<i><s><span style=\"text-shadow:gray 1px 1px 0px\"><span style=\"color:white; -webkit-text-stroke:1px gray\">"
        "<span style=\"color:white; text-shadow: black 1px 1px 0px;\"><span style=\"color:white; text-shadow: black -1px -1px 0px;\">"
        "<sup>x</sup></span></span></span></span></s></i>");
    // \ul0 closes every kind of underline, whichever keyword opened it.
    EXPECT_EQ(body("{\\rtf1\\ul\\b\\uldb\\ulwave x\\ul0 y}"), "<u><b><u><u>x</u></u></b></u><b>y</b>");
    EXPECT_EQ(body("{\\rtf1\\uld\\ulth x\\ulnone y}"), "<u><u>x</u></u>y");
    // Closing a kind below the top closes only that kind: the kinds above
    // it close with it and open again, so tags stay nested.
    EXPECT_EQ(body("{\\rtf1\\b\\i x\\b0 y}"), "<b><i>x</i></b><i>y</i>");

    EXPECT_EQ(body("{\\rtf1\\fs25 a}"), "<span style=\"font-size:12pt\">a</span>");
    EXPECT_EQ(body("{\\rtf1\\fs-3 a}"), "<span style=\"font-size:-1pt\">a</span>");
    // Past 16 bits a size is the largest one, not wrapped to a negative one.
    EXPECT_EQ(body("{\\rtf1\\fs99999999 a}"), "<span style=\"font-size:1638pt\">a</span>");
    EXPECT_EQ(body("{\\rtf1\\fs20\\fs30 a}"),
        "<span style=\"font-size:10pt\"><span style=\"font-size:15pt\">a</span></span>");
    EXPECT_EQ(body("{\\rtf1\\expand-6 a\\expand0 b\\expnd8 c}"),
        "<span style=\"letter-spacing: -1\">a</span>b<span style=\"letter-spacing: 2\">c</span>");
    EXPECT_EQ(body("{\\rtf1\\caps\\caps a}"), "a");
    EXPECT_EQ(body("{\\rtf1\\super\\fs20 a\\nosupersub b}"),
        "<sup><span style=\"font-size:10pt\">a</span></sup><span style=\"font-size:10pt\">b</span>");
    EXPECT_EQ(body("{\\rtf1\\froman\\fmodern a}"),
        "<font face=\"serif,Times,Palatino\"><font face=\"fixed,Courier,Verdana\">a</font></font>");
}

TEST(AttributeTest, ColoursAndFontsComeFromTheirTables)
{
    const std::string tables = "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1 a\"><script>x;}}"
                               "{\\colortbl;\\red255\\green0\\blue0;\\red65535;}";
    EXPECT_EQ(body(tables + "\\cf1 a\\cb2 b\\highlight0 c\\cf3 d\\cf-1 e}"),
        "<font color=\"#ff0000\">a<span style=\"background:#ff0000\">b<span style=\"background:#000000\">cde"
        "</span></span></font>");
    EXPECT_EQ(body(tables + "\\f0 a\\f1 b}"), "<font face=\"Arial\">a<font face=\"a&quot;&gt;&lt;script&gt;x\">b</font></font>");

    core::LogCapture log(true);
    EXPECT_EQ(body(tables + "\\f9 a}"), "a");
    EXPECT_EQ(log.lines(), std::vector<std::string> { "Warning: Invalid font number" });
}

TEST(AttributeTest, PlainClosesEverythingAndRestoresTheDefaultLanguage)
{
    EXPECT_EQ(body("{\\rtf1\\b\\i\\ul a\\plain b}"), "<b><i><u>a</u></i></b>b");
    // The language decides whether a byte is a letter of its own code page.
    EXPECT_EQ(body("{\\rtf1\\deflang1036\\lang1049 \\'e9\\plain\\'e9}"), "йé");
    EXPECT_EQ(body("{\\rtf1 \\'e9\\lang1031\\'e9\\'e4\\lang1045\\'b9}"), "&eacute;&eacute;äą");
}

TEST(AttributeTest, GroupsInheritTheAttributesAroundThem)
{
    EXPECT_EQ(body("{\\rtf1\\b a{\\i b}c}"), "<b>a<i>b</i></b><b>c</b>");
    EXPECT_EQ(body("{\\rtf1\\b a{\\b0 b}c}"), "<b>a</b>b<b>c</b>");
    EXPECT_EQ(body("{\\rtf1\\caps a{\\b b}c}"), "A<b>B</b>C");
    EXPECT_EQ(body("{\\rtf1 a{\\b b}c}"), "a<b>b</b>c");

    // However many are opened, every tag opened is closed.
    std::string many = "{\\rtf1";
    for (int i = 0; i < 100; ++i)
        many += "\\b\\i{\\ul x}";
    std::string converted = body(many + "}");
    EXPECT_EQ(count(converted, "<b>"), count(converted, "</b>"));
    EXPECT_EQ(count(converted, "<i>"), count(converted, "</i>"));
    EXPECT_EQ(count(converted, "<u>"), count(converted, "</u>"));
    EXPECT_LT(count(converted, "<b>"), 100u * 30);
}

TEST(AttributeTest, TagsOpenedBeforeAParagraphCloseOutsideIt)
{
    // Python's HTML parser reports every tag; each end tag must close the
    // element opened last.
    const std::string nesting = R"(
import sys
from html.parser import HTMLParser
class Nesting(HTMLParser):
    open = []
    def handle_starttag(self, tag, attrs):
        if tag not in ("br", "hr", "img", "meta"):
            self.open.append(tag)
    def handle_endtag(self, tag):
        if not self.open or self.open.pop() != tag:
            sys.exit("</%s> at %s closes no element of its own" % (tag, self.getpos()))
parser = Nesting()
parser.feed(sys.stdin.read())
parser.close()
print(" ".join(parser.open) or "ok")
)";
    const std::string fonts = "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1 Courier;}}";
    for (const std::string& rtf : {
             fonts + "\\qc\\f0 {\\b a} b\\par c}",
             fonts + "\\pard\\f1\\fs28\\qr a{\\i b}\\par\\pard\\ql\\b c{\\f0 d}\\par}",
             fonts + "\\f0\\ul{\\qc a{\\b b}\\par}{\\qj c\\par}d}",
             fonts + "\\f1\\qc{\\b a\\pard\\qr b}c\\par}",
         }) {
        SCOPED_TRACE(rtf);
        const std::string converted = rtf_test::html(rtf);
        EXPECT_EQ(test::runCommand({ "python3", "-c", nesting }, converted).output, "ok\n") << converted;
    }
}

#include "RTF/Converter2HTML.h"

#include "RTF/HTMLNesting.h"

#include <algorithm>
#include <istream>

namespace rtf {

namespace {

    // Long runs without blanks may break anywhere (class "wball").
    const char kStyleBlock[] = "<style type=\"text/css\">\n"
                               "body {padding:10px}\n"
                               ".wball {word-break:break-all}\n"
                               "table {margin: 5px; border: 0px solid gray; border-top: 1px solid gray; border-left: 1px solid gray;}\n"
                               "table td, table th {border: 0px solid gray; border-bottom: 1px solid gray; border-right: 1px solid gray;}\n";

    // The bytes from the stream's position to its end; 0 when it cannot tell.
    size_t remainingBytes(std::istream& in)
    {
        std::streampos start = in.tellg();
        if (start < 0)
            return 0;
        in.seekg(0, std::ios::end);
        std::streampos end = in.tellg();
        in.clear();
        in.seekg(start);
        return end > start ? static_cast<size_t>(end - start) : 0;
    }

} // namespace

Converter2HTML::Converter2HTML()
    : m_html_tags(CreateHTMLOutputTags())
{
}

Converter2HTML::~Converter2HTML() = default;

const std::string& Converter2HTML::Convert(std::istream& in, Params& params)
{
    if (in.eof())
        return EMPTY_STRING;
    ClearOutput();
    try {
        size_t input = remainingBytes(in);
        SetOutputLimit(kOutputFloor + kOutputPerInputByte * input);
        // Room for the output of most documents, taken once: untouched room
        // costs no memory, and the buffer is never copied while it grows.
        m_output.reserve(std::min(kOutputFloor + kOutputPerInputByte * input, kOutputReserveFloor + kOutputReservePerInputByte * input));
        m_parser.Cleanup();
        ConvertWordTree(m_html_tags.get(), m_parser, in, params.omit_info);
        m_output = HTMLNesting::balanced(m_output);
    } catch (...) {
        // Nothing of a failed conversion is kept.
        Cleanup();
        m_tags = nullptr;
        m_info_flag = false;
        ClearOutput();
        return EMPTY_STRING;
    }
    return GetOutput();
}

std::unique_ptr<OutputTags> Converter2HTML::CreateHTMLOutputTags()
{
    auto tags = std::make_unique<OutputTags>();
    OutputTags& t = *tags;
    t.comment_begin = "<!--- ";
    t.comment_end = " --->\n";
    t.document_begin = "<html>\n";
    t.document_end = "\n</html>";
    t.head_begin = "<head>\n";
    t.head_end = "</head>\n";
    t.charset_meta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n";
    t.viewport_meta = "<meta name=\"viewport\" content=\"width=%d\">\n";
    t.page_margin = 10;
    t.style_begin = kStyleBlock;
    t.style_end = "</style>\n";
    t.title_begin = "<title>";
    t.title_end = "</title>\n";
    t.keywords_begin = "<meta name=\"Keywords\" content=\"";
    t.keywords_end = "\" />\n";
    t.author_begin = "<!--author: ";
    t.author_end = "--->\n";
    t.changed_begin = "<!--changed: ";
    t.changed_end = "--->\n";
    t.body_begin = "<body width=\"%dpx\">\n";
    t.body_end = "\n</body>";
    t.paragraph_begin = "<div style=\"%s\">\n";
    t.section_break = "<div>\n";
    t.paragraph_end = "</div>\n";
    t.align_center = "text-align:center;";
    t.align_left = "text-align:left;";
    t.align_right = "text-align:right;";
    t.align_justify = "text-align:justify;";
    t.first_indent = "text-indent:%dpx;";
    t.left_indent = "padding-left:%dpx;";
    t.right_indent = "padding-right:%dpx;";
    t.space_before = "padding-top:%dpx;";
    t.space_after = "padding-bottom:%dpx;";
    t.space = "&nbsp;";
    t.line_break = "<br>\n";
    t.page_break = "<p><hr><p>\n";
    t.long_run_begin = "<span class=\"wball\">";
    t.long_run_end = "</span>";
    t.hyperlink_begin = "<a href=\"";
    t.hyperlink_end = "\">hyperlink</a>";
    t.hyperlink_text_begin = "\">";
    t.hyperlink_text_end = "</a>";
    t.picture_placeholder = "<span style=\"display:inline-block;width:%dpx;height:%dpx\"></span>";
    t.image_begin = "<img src=\"";
    t.image_end = "\">";
    t.table_begin = "<table cellpadding=\"2\" cellspacing=\"0\">\n";
    t.table_end = "</table>\n";
    t.row_begin = "<tr>";
    t.row_end = "</tr>\n";
    t.cell_begin = "<td>";
    t.cell_end = "</td>\n";
    t.font_face_begin = "<font face=\"%s\">";
    t.font_face_end = "</font>";
    t.font_size_begin = "<span style=\"font-size:%dpt\">";
    t.font_size_end = "</span>";
    static const char* const kFontSteps[8] = {
        "<font size=1>", "<font size=2>", "<font size=3>", "<font size=4>",
        "<font size=5>", "<font size=6>", "<font size=7>", "<font size=8>"
    };
    for (int i = 0; i < 8; ++i) {
        t.font_steps_begin[i] = kFontSteps[i];
        t.font_steps_end[i] = "</font>";
    }
    t.small_caps_begin = "<span style=\"font-variant:small-caps\">";
    t.small_caps_end = "</span>";
    t.foreground_begin = "<font color=\"%s\">";
    t.foreground_end = "</font>";
    t.background_begin = "<span style=\"background:%s\">";
    t.background_end = "</span>";
    t.bold_begin = "<b>";
    t.bold_end = "</b>";
    t.italic_begin = "<i>";
    t.italic_end = "</i>";
    t.underline_begin = "<u>";
    t.underline_end = "</u>";
    t.dotted_underline_begin = "<u>";
    t.dotted_underline_end = "</u>";
    t.superscript_begin = "<sup>";
    t.superscript_end = "</sup>";
    t.subscript_begin = "<sub>";
    t.subscript_end = "</sub>";
    t.strike_begin = "<s>";
    t.strike_end = "</s>";
    t.double_strike_begin = "<s>";
    t.double_strike_end = "</s>";
    t.emboss_begin = "<span style=\"color:white; text-shadow: black 1px 1px 0px;\">";
    t.emboss_end = "</span>";
    t.engrave_begin = "<span style=\"color:white; text-shadow: black -1px -1px 0px;\">";
    t.engrave_end = "</span>";
    t.shadow_begin = "<span style=\"text-shadow:gray 1px 1px 0px\">";
    t.shadow_end = "</span>";
    t.outline_begin = "<span style=\"color:white; -webkit-text-stroke:1px gray\">";
    t.outline_end = "</span>";
    t.ordered_list_begin = "<ol>\n";
    t.ordered_list_end = "</ol>\n";
    t.ordered_item_begin = "<li>";
    t.ordered_item_end = "</li>\n";
    t.unordered_list_begin = "<ul>\n";
    t.unordered_list_end = "</ul>\n";
    t.unordered_item_begin = "<li>";
    t.unordered_item_end = "</li>\n";
    t.letter_spacing_begin = "<span style=\"letter-spacing: %s\">";
    t.letter_spacing_end = "</span>";
    // Quotation marks, non-breaking spaces and hyphens, dashes and bullets
    // are real characters of the text; only the optional hyphen writes
    // nothing.
    t.lquote = "&lsquo;";
    t.rquote = "&rsquo;";
    t.ldblquote = "&ldquo;";
    t.rdblquote = "&rdquo;";
    t.bullet = "&bull;";
    t.nonbreaking_space = "&nbsp;";
    t.emdash = "&mdash;";
    t.endash = "&ndash;";
    t.nonbreaking_hyphen = "&#8209;";
    t.unicode_char = "&#%d;";
    t.ascii_table = ascii;
    t.simulate_small_caps = false;
    t.simulate_caps = true;
    t.ansi_table = ansi;
    t.ansi_first = 128;
    t.ansi_last = 255;
    return tags;
}

} // namespace rtf

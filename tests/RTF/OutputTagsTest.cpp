#include "RTF/Converter2HTML.h"

#include "Platform/Core/TextConverter.h"

#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>

#include <cstring>
#include <set>

using rtf::OutputTags;

TEST(OutputTagsTest, TheHTMLTagSetHoldsItsTexts)
{
    auto tags = rtf::Converter2HTML::CreateHTMLOutputTags();
    EXPECT_STREQ(tags->document_begin, "<html>\n");
    EXPECT_STREQ(tags->viewport_meta, "<meta name=\"viewport\" content=\"width=%d\">\n");
    EXPECT_EQ(tags->page_margin, 10);
    EXPECT_STREQ(tags->body_begin, "<body width=\"%dpx\">\n");
    EXPECT_STREQ(tags->hyperlink_begin, "<a href=\"");
    EXPECT_STREQ(tags->hyperlink_end, "\">hyperlink</a>");
    EXPECT_STREQ(tags->hyperlink_text_begin, "\">");
    EXPECT_STREQ(tags->hyperlink_text_end, "</a>");
    EXPECT_STREQ(tags->letter_spacing_begin, "<span style=\"letter-spacing: %s\">");
    EXPECT_STREQ(tags->font_steps_begin[0], "<font size=1>");
    EXPECT_STREQ(tags->font_steps_begin[7], "<font size=8>");
    EXPECT_STREQ(tags->font_steps_end[7], "</font>");
    EXPECT_STREQ(tags->ldblquote, "&ldquo;");
    EXPECT_STREQ(tags->unicode_char, "&#%d;");
    EXPECT_EQ(tags->text_begin, nullptr);
    EXPECT_EQ(tags->text_end, nullptr);
    EXPECT_TRUE(tags->simulate_caps && !tags->simulate_small_caps);
    EXPECT_EQ(tags->ansi_first, 128);
    EXPECT_EQ(tags->ansi_last, 255);

    // The style block is opened here and closed by its own slot.
    std::string style = tags->style_begin;
    EXPECT_EQ(style.rfind("<style type=\"text/css\">\nbody {padding:10px}\n.wball {word-break:break-all}\n", 0), 0u);
    EXPECT_EQ(style.find("</style>"), std::string::npos);
    EXPECT_STREQ(tags->style_end, "</style>\n");

    // These characters are written rather than lost; the optional hyphen is not.
    EXPECT_STREQ(tags->nonbreaking_space, "&nbsp;");
    EXPECT_STREQ(tags->nonbreaking_hyphen, "&#8209;");
    EXPECT_STREQ(tags->emdash, "&mdash;");
    EXPECT_STREQ(tags->endash, "&ndash;");
    EXPECT_STREQ(tags->bullet, "&bull;");
    EXPECT_EQ(tags->optional_hyphen, nullptr);

    EXPECT_STREQ(tags->ascii_table[' ' - 32], " ");
    EXPECT_STREQ(tags->ascii_table['&' - 32], "&amp;");
    EXPECT_STREQ(tags->ascii_table['<' - 32], "&lt;");
    EXPECT_STREQ(tags->ascii_table['>' - 32], "&gt;");
    EXPECT_STREQ(tags->ascii_table['"' - 32], "\"");
    EXPECT_STREQ(tags->ascii_table[127 - 32], "");
    EXPECT_STREQ(tags->ansi_table[147 - 128], "&ldquo;");
    EXPECT_STREQ(tags->ansi_table[185 - 128], "&sup1");
    EXPECT_STREQ(tags->ansi_table[187 - 128], "&raquo");
    EXPECT_STREQ(tags->ansi_table[188 - 128], "&frac14");
    EXPECT_STREQ(tags->ansi_table[233 - 128], "&eacute;");
}

TEST(OutputTagsTest, AnsiEntitiesNameTheirWindows1252Characters)
{
    int checked = 0;
    for (int byte = 128; byte <= 255; ++byte) {
        const char* entry = rtf::ansi[byte - 128];
        // The five bytes the code page leaves undefined give nothing.
        if (byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D) {
            EXPECT_EQ(entry, nullptr) << byte;
            continue;
        }
        ASSERT_NE(entry, nullptr) << byte;
        std::string name(entry);
        ASSERT_EQ(name[0], '&') << byte;
        name = name.substr(1, name.back() == ';' ? name.size() - 2 : std::string::npos);
        uint32_t value = 0;
        if (name[0] == '#') {
            value = static_cast<uint32_t>(std::stoul(name.substr(1)));
        } else {
            // Names of HTML 4, which every browser knows.
            const htmlEntityDesc* entity = htmlEntityLookup(reinterpret_cast<const xmlChar*>(name.c_str()));
            ASSERT_NE(entity, nullptr) << name;
            value = entity->value;
        }
        std::string expected = *core::TextConverter::convertText(std::string(1, static_cast<char>(byte)), "CP1252");
        std::string decoded = *core::TextConverter::convertText(std::string(reinterpret_cast<const char*>(&value), 4), "UTF-32LE");
        EXPECT_EQ(decoded, expected) << byte << " " << name;
        ++checked;
    }
    EXPECT_EQ(checked, 128 - 5);
}

TEST(OutputTagsTest, LanguageTablesMarkTheLanguagesOwnLetters)
{
    OutputTags tags;
    ASSERT_EQ(tags.language_tables.size(), 4u);
    const struct {
        int language;
        int codePage;
        int letters;
        std::vector<int> some;
    } expected[] = {
        { 1049, 1251, 66, { 168, 184, 192, 224, 255 } },
        { 1045, 1250, 19, { 128, 140, 143, 156, 159, 163, 165, 175, 179, 185, 191, 198, 202, 209, 211, 230, 234, 241, 243 } },
        { 1031, 1252, 7, { 196, 214, 220, 223, 228, 246, 252 } },
        { 1036, 1252, 10, { 128, 163, 164, 167, 181, 224, 231, 232, 233, 249 } },
    };
    for (const auto& language : expected) {
        const rtf::LanguageTable& table = tags.language_tables.at(language.language);
        EXPECT_EQ(table.codePage, language.codePage);
        int zeros = 0;
        for (int i = 0; i < 128; ++i) {
            EXPECT_LE(table.flags[i], 1);
            zeros += table.flags[i] == 0;
        }
        EXPECT_EQ(zeros, language.letters) << language.language;
        for (int byte : language.some)
            EXPECT_EQ(table.flags[byte - 128], 0) << language.language << " " << byte;
    }
    EXPECT_EQ(tags.language_tables.at(1049).flags[191 - 128], 1);
}

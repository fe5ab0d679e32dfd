#include "TestConverter.h"

#include "RTF/KeywordTable.h"

#include <gtest/gtest.h>

#include <thread>

using rtf::GenericConverter;
using rtf_test::TestConverter;

TEST(KeywordTableTest, FilledOnceWithEveryKeywordEvenWhenTwoConvertersStartTogether)
{
    size_t seen[2] = {};
    std::thread first([&] { TestConverter converter; seen[0] = rtf::KeywordTable::handlers().size(); });
    std::thread second([&] { TestConverter converter; seen[1] = rtf::KeywordTable::handlers().size(); });
    first.join();
    second.join();
    EXPECT_EQ(seen[0], 104u);
    EXPECT_EQ(seen[1], 104u);
    TestConverter again;
    EXPECT_EQ(rtf::KeywordTable::handlers().size(), 104u);
}

TEST(KeywordTableTest, KeysAreExactAndShareHandlersWhereTheyShould)
{
    TestConverter converter;
    const auto& table = rtf::KeywordTable::handlers();
    EXPECT_EQ(table.count("B"), 0u);
    EXPECT_EQ(table.count("emboss"), 0u);
    EXPECT_EQ(table.count("par"), 0u);
    EXPECT_EQ(table.count("pard"), 0u);
    EXPECT_EQ(table.at("embo"), &rtf::AttributeStacks::cmd_emboss);
    EXPECT_EQ(table.at("expand"), &rtf::AttributeStacks::cmd_expand);
    EXPECT_EQ(table.at("expnd"), &rtf::AttributeStacks::cmd_expand);
    EXPECT_EQ(table.at("*"), &rtf::Destinations::cmd_ignore);
    EXPECT_EQ(table.at("hl"), &rtf::Destinations::cmd_ignore);
    EXPECT_EQ(table.at("stylesheet"), &rtf::Destinations::cmd_ignore);
    EXPECT_EQ(table.at("\\"), &rtf::SpecialCharacters::cmd_slash);
    EXPECT_EQ(table.at("~"), &rtf::SpecialCharacters::cmd_nonbreaking_space);
    EXPECT_EQ(table.at("uc"), &rtf::SpecialCharacters::cmd_uc);

    EXPECT_EQ(converter.HandleRTFCommand("*", nullptr, false, 0), 0);
    EXPECT_EQ(converter.HandleRTFCommand("rtf", nullptr, true, 1), 1);
    EXPECT_EQ(converter.HandleRTFCommand("B", nullptr, false, 0), 2);
    EXPECT_EQ(converter.HandleRTFCommand("", nullptr, true, 0), 2);

    // Groups that are not written end their group; these have no effect.
    for (const char* skipped : { "header", "footerf", "pict", "pngblip", "pich", "xe", "tcn", "hl", "stylesheet",
             "fonttbl", "colortbl", "info", "field", "NeXTGraphic" })
        EXPECT_EQ(converter.HandleRTFCommand(skipped, nullptr, false, 0), 0) << skipped;
    for (const char* inert : { "rtf", "s", "shp", "bin", "b", "u", "uc", "paperw", "-" })
        EXPECT_EQ(converter.HandleRTFCommand(inert, nullptr, true, 3), 1) << inert;
}

TEST(KeywordTableTest, CharacterSetAndTableKeywordsChangeTheirState)
{
    TestConverter converter;
    converter.setCharset(2);
    EXPECT_EQ(converter.HandleRTFCommand("ansi", nullptr, false, 0), 1);
    EXPECT_EQ(converter.charset(), 1);
    converter.HandleRTFCommand("intbl", nullptr, false, 0);
    converter.HandleRTFCommand("intbl", nullptr, false, 0);
    EXPECT_EQ(converter.inTable(), 2);
}

TEST(KeywordTableTest, ControlWordsSplitIntoKeywordAndSixteenBitParameter)
{
    short param = 77;
    EXPECT_EQ(GenericConverter::extract_cmd_param("fs24", &param), "fs");
    EXPECT_EQ(param, 24);
    EXPECT_EQ(GenericConverter::extract_cmd_param("li-360", &param), "li");
    EXPECT_EQ(param, -360);
    param = 77;
    EXPECT_EQ(GenericConverter::extract_cmd_param("rtf", &param), "");
    EXPECT_EQ(param, 77);
    EXPECT_EQ(GenericConverter::extract_cmd_param("-", &param), "");
    EXPECT_EQ(param, 0);
    EXPECT_EQ(GenericConverter::extract_cmd_param("ansicpg65001", &param), "ansicpg");
    EXPECT_EQ(param, -535);
    // Long digit runs saturate at the int limits before keeping 16 bits.
    EXPECT_EQ(GenericConverter::extract_cmd_param("fs99999999999", &param), "fs");
    EXPECT_EQ(param, static_cast<short>(2147483647));
    EXPECT_EQ(GenericConverter::extract_cmd_param("fs-99999999999999999999", &param), "fs");
    EXPECT_EQ(param, static_cast<short>(-2147483647 - 1));
    EXPECT_EQ(GenericConverter::extract_cmd_param("f3", nullptr), "f");

    EXPECT_EQ(GenericConverter::trim_string("  Times New Roman  "), "Times New Roman");
    EXPECT_EQ(GenericConverter::trim_string("\tArial\n"), "\tArial\n");
    EXPECT_EQ(GenericConverter::trim_string("   "), "");
    EXPECT_EQ(GenericConverter::trim_string(""), "");
}

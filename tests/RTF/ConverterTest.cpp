#include "TestConverter.h"

#include <gtest/gtest.h>

using rtf_test::TestConverter;

TEST(ConverterTest, OutputPiecesAreWrittenWhole)
{
    TestConverter converter;
    converter.OutputString(static_cast<const char*>(nullptr));
    converter.OutputString("");
    converter.OutputFormatString(nullptr);
    converter.OutputFormatString("%s", "");
    EXPECT_EQ(converter.GetOutput(), "");

    std::string face(5000, 'F');
    converter.OutputFormatString("<font face=\"%s\">", face.c_str());
    EXPECT_EQ(converter.GetOutput(), "<font face=\"" + face + "\">");
    converter.ClearOutput();
    converter.OutputFormatString("<body width=\"%dpx\">", 632);
    converter.OutputString(std::string_view("\0x", 2));
    EXPECT_EQ(converter.GetOutput(), std::string("<body width=\"632px\">\0x", 22));

    // Large output grows geometrically: few reallocations for many pieces.
    converter.ClearOutput();
    size_t growths = 0;
    size_t capacity = converter.GetOutput().capacity();
    for (int i = 0; i < 1000000; ++i) {
        converter.OutputString("<b>x</b>");
        if (converter.GetOutput().capacity() != capacity) {
            capacity = converter.GetOutput().capacity();
            ++growths;
        }
    }
    EXPECT_LT(growths, 40u);
}

TEST(ConverterTest, TextConversionNeedsText)
{
    TestConverter converter;
    rtf::Params params;
    EXPECT_EQ(&converter.Convert(static_cast<const char*>(nullptr), params), &rtf::EMPTY_STRING);
    EXPECT_EQ(&converter.Convert("", params), &rtf::EMPTY_STRING);
    EXPECT_EQ(&converter.Convert("{\\rtf1 x}", params), &converter.GetOutput());
}

#include "Kit/JSON/JSONArrayMember.h"

#include <gtest/gtest.h>

namespace {

TEST(JSONArrayMemberTest, ElementsComeBackAsTextsAndTheRestWithoutThem)
{
    auto split = JSONSplitArrayMember(R"( {"a":1, "items" : [ {"s":"],}\"{"} , [1,[2]],"x" ,null ], "b":{"items":[9]}} )", "items");
    ASSERT_TRUE(split);
    EXPECT_EQ(split->rest, R"( {"a":1, "items" : [], "b":{"items":[9]}} )");
    ASSERT_EQ(split->elements.size(), 4u);
    EXPECT_EQ(split->elements[0], R"({"s":"],}\"{"})");
    EXPECT_EQ(split->elements[1], "[1,[2]]");
    EXPECT_EQ(split->elements[2], "\"x\"");
    EXPECT_EQ(split->elements[3], "null");

    auto empty = JSONSplitArrayMember(R"({"items":[]})", "items");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->elements.empty());
    // The last member of the key counts.
    EXPECT_EQ(JSONSplitArrayMember(R"({"items":[1],"items":[2,3]})", "items")->elements.size(), 2u);
    EXPECT_FALSE(JSONSplitArrayMember(R"({"items":[1],"items":2})", "items"));
}

TEST(JSONArrayMemberTest, BrokenStructureSplitsNothing)
{
    for (const char* text : { "", "[]", "{", R"({"items":[1,]})", R"({"items":[1 2]})", R"({"items":[1]} [])",
             R"({"items":[{"a" 1}]})", R"({"items":["open]})", R"({"a":1,})", R"({"it\u0065ms":[1]})",
             "{\"items\":[\"tab\there\"]}", R"({"other":[1]})" })
        EXPECT_FALSE(JSONSplitArrayMember(text, "items")) << text;
    // Nesting past the parser's ceiling is refused, without recursion.
    std::string deep = R"({"items":[)" + std::string(5000, '[') + std::string(5000, ']') + "]}";
    EXPECT_FALSE(JSONSplitArrayMember(deep, "items"));
    std::string fine = R"({"items":[)" + std::string(4000, '[') + std::string(4000, ']') + "]}";
    EXPECT_TRUE(JSONSplitArrayMember(fine, "items"));
}

} // namespace

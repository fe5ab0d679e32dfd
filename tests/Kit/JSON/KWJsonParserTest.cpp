#include "Kit/JSON/JSONAdditions.h"
#include "Kit/JSON/KWJSON.h"
#include "Kit/JSON/KWJsonParser.h"

#include "Support/TestCase.h"

#include <string>
#include <vector>

using core::Value;

namespace {

class KWJsonParserTest : public test::TestCase { };

// The codes and messages of the trace, oldest first.
std::vector<std::pair<int64_t, std::string>> trace(const KWJsonBase& base)
{
    std::vector<std::pair<int64_t, std::string>> entries;
    for (const auto& error : base.errorTrace())
        entries.emplace_back(error.code(), error.localizedDescription());
    return entries;
}

using Trace = std::vector<std::pair<int64_t, std::string>>;

Trace failure(std::string_view text, bool fragment = true)
{
    KWJsonParser parser;
    auto value = fragment ? parser.fragmentWithString(text) : parser.objectWithString(text);
    EXPECT_FALSE(value) << text;
    return trace(parser);
}

TEST_F(KWJsonParserTest, ReadsValuesOfEveryKind)
{
    KWJsonParser parser;
    auto value = parser.objectWithString(
        " {\"a\": [1 2, -0, 1.5e+3, 0.25, true, false, null], \"s\":\"x\\u00e9\\/\\n\", \"a\" : {}, \v\f\"big\": 9223372036854775808 }");
    ASSERT_TRUE(value) << parser.errorTraceDescription();
    // A repeated key keeps the last value.
    EXPECT_EQ((*value)["a"], Value::makeDictionary());
    EXPECT_EQ((*value)["s"], Value("x\xc3\xa9/\n"));
    EXPECT_TRUE((*value)["big"].isReal());

    value = parser.objectWithString("[1 2, -0, 1.5e+3, 0.25, true, false, null]");
    ASSERT_TRUE(value);
    const auto& items = value->array();
    ASSERT_EQ(items.size(), 8u);
    EXPECT_TRUE(items[0].isInteger());
    EXPECT_EQ(items[1], Value(2));
    EXPECT_TRUE(items[2].isInteger());
    EXPECT_TRUE(items[3].isReal());
    EXPECT_EQ(items[3], Value(1500));
    EXPECT_EQ(items[4], Value(0.25));
    // Booleans stay booleans, null stays null.
    EXPECT_EQ(items[5], Value(true));
    EXPECT_EQ(items[6], Value(false));
    EXPECT_TRUE(items[7].isNull());

    // Items of arrays nested in arrays and objects stay with their own array.
    value = parser.objectWithString("[1,[2,[],[3],4],{\"b\":[5,6],\"a\":[]},7]");
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, Value::makeArray({ 1, Value::makeArray({ 2, Value::makeArray(), Value::makeArray({ 3 }), 4 }),
                          Value::makeDictionary({ { "a", Value::makeArray() }, { "b", Value::makeArray({ 5, 6 }) } }), 7 }));

    // A surrogate pair is one code point: four UTF-8 bytes.
    value = parser.fragmentWithString("\"\\ud83d\\ude00\"");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->string(), "\xf0\x9f\x98\x80");
    EXPECT_EQ(parser.fragmentWithString("\"a\\u0000b\"")->string(), std::string("a\0b", 3));
    EXPECT_EQ(*parser.fragmentWithString("3"), Value(3));
    EXPECT_TRUE(parser.errorTrace().empty());
}

TEST_F(KWJsonParserTest, StructureErrorsChainTheirContext)
{
    EXPECT_EQ(failure("[1,]"), (Trace { { 9, "Trailing comma disallowed in array" } }));
    EXPECT_EQ(failure("{\"a\":1,}"), (Trace { { 9, "Trailing comma disallowed in object" } }));
    EXPECT_EQ(failure("[1,,2]"), (Trace { { 3, "Unrecognised leading character" }, { 3, "Expected value while parsing array" } }));
    EXPECT_EQ(failure("[[1,,2]]"), (Trace { { 3, "Unrecognised leading character" }, { 3, "Expected value while parsing array" },
                                         { 3, "Expected value while parsing array" } }));
    EXPECT_EQ(failure("{\"k\": [1,]}"), (Trace { { 9, "Trailing comma disallowed in array" }, { 3, "Object value expected for key: k" } }));
    EXPECT_EQ(failure("{1:2}"), (Trace { { 3, "Object key string expected" } }));
    EXPECT_EQ(failure("{\"a\" 2}"), (Trace { { 3, "Expected ':' separating key and value" } }));
    EXPECT_EQ(failure("{\"a\":}"), (Trace { { 3, "Unrecognised leading character" }, { 3, "Object value expected for key: a" } }));
    EXPECT_EQ(failure("{\"a\tb\":1}"), (Trace { { 5, "Unescaped control character '0x9'" }, { 3, "Object key string expected" } }));
    EXPECT_EQ(failure("[1"), (Trace { { 11, "End of input while parsing array" } }));
    EXPECT_EQ(failure("{"), (Trace { { 11, "End of input while parsing object" } }));
    EXPECT_EQ(failure(""), (Trace { { 11, "Unexpected end of string" } }));
    EXPECT_EQ(failure("\"abc"), (Trace { { 11, "Unexpected EOF while parsing string" } }));
    EXPECT_EQ(failure("trueX"), (Trace { { 10, "Garbage after JSON" } }));
    EXPECT_EQ(failure("tru"), (Trace { { 3, "Expected 'true'" } }));
    EXPECT_EQ(failure("nul"), (Trace { { 3, "Expected 'null'" } }));
    EXPECT_EQ(failure("fals"), (Trace { { 3, "Expected 'false'" } }));
    EXPECT_EQ(failure("3", false), (Trace { { 4, "Valid fragment, but not JSON" } }));

    // Each error's underlying error is the one before.
    KWJsonParser parser;
    EXPECT_FALSE(parser.objectWithString("[[1,,2]]"));
    const auto& errors = parser.errorTrace();
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].underlyingError(), nullptr);
    ASSERT_NE(errors[2].underlyingError(), nullptr);
    EXPECT_EQ(errors[2].underlyingError()->localizedDescription(), "Expected value while parsing array");
    ASSERT_NE(errors[2].underlyingError()->underlyingError(), nullptr);
    EXPECT_EQ(errors[2].underlyingError()->underlyingError()->localizedDescription(), "Unrecognised leading character");
    EXPECT_EQ(errors[2].domain(), "org.quillmere.JSON.ErrorDomain");
}

TEST_F(KWJsonParserTest, NumberStringAndInputErrors)
{
    EXPECT_EQ(failure("01"), (Trace { { 2, "Leading 0 disallowed in number" } }));
    EXPECT_EQ(failure("-"), (Trace { { 2, "No digits after initial minus" } }));
    EXPECT_EQ(failure("1."), (Trace { { 2, "No digits after decimal point" } }));
    EXPECT_EQ(failure("1e"), (Trace { { 2, "No digits after exponent" } }));
    EXPECT_EQ(failure("+1"), (Trace { { 2, "Leading + disallowed in number" } }));
    EXPECT_EQ(failure("1e400"), (Trace { { 2, "Failed creating decimal instance" } }));
    EXPECT_EQ(failure("\"a\tb\""), (Trace { { 5, "Unescaped control character '0x9'" } }));
    EXPECT_EQ(failure("\"\\x\""), (Trace { { 8, "Illegal escape sequence '0x78'" } }));
    EXPECT_EQ(failure("\"\\udc00\""), (Trace { { 6, "Invalid high character in surrogate pair" }, { 6, "Broken unicode character" } }));
    EXPECT_EQ(failure("\"\\ud800x\""), (Trace { { 6, "Missing low character in surrogate pair" }, { 6, "Broken unicode character" } }));
    EXPECT_EQ(failure("\"\\ud800\\u0041\""), (Trace { { 6, "Invalid low surrogate char" }, { 6, "Broken unicode character" } }));
    EXPECT_EQ(failure("\"\\u12g4\""), (Trace { { 6, "Missing hex digit in quad" }, { 6, "Missing hex quad" }, { 6, "Broken unicode character" } }));
    EXPECT_EQ(failure("\"\\"), (Trace { { 8, "Illegal escape sequence '0x0'" } }));

    // Text that is not UTF-8 is no text at all; a NUL byte ends the text.
    EXPECT_EQ(failure("[\"\xff\"]"), (Trace { { 12, "Input was 'nil'" } }));
    EXPECT_EQ(failure("[\"\xe2\x82\"]"), (Trace { { 12, "Input was 'nil'" } }));
    KWJsonParser parser;
    auto value = parser.objectWithString(std::string_view("[1]\0garbage", 11));
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, Value::makeArray({ 1 }));
    EXPECT_EQ(failure(std::string_view("[1\0]", 4)), (Trace { { 11, "End of input while parsing array" } }));
}

TEST_F(KWJsonParserTest, NestingIsLimited)
{
    auto nested = [](size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    KWJsonParser parser;
    EXPECT_TRUE(parser.objectWithString(nested(512)));
    EXPECT_FALSE(parser.objectWithString(nested(513)));
    EXPECT_EQ(parser.errorTrace().front().code(), 7);
    EXPECT_EQ(parser.errorTrace().front().localizedDescription(), "Nested too deep");
    EXPECT_EQ(parser.errorTrace().size(), 513u);

    // No limit still stops at the ceiling, so no input exhausts the stack.
    parser.setMaxDepth(0);
    EXPECT_TRUE(parser.objectWithString(nested(4096)));
    EXPECT_FALSE(parser.objectWithString(nested(4097)));
    EXPECT_EQ(parser.errorTrace().front().code(), 7);
    parser.setMaxDepth(100000);
    EXPECT_FALSE(parser.objectWithString(std::string(200000, '[')));
    EXPECT_EQ(parser.errorTrace().front().code(), 7);
}

TEST_F(KWJsonParserTest, WrapperHandsOutTheLastErrorAndCategoriesLog)
{
    KWJSON json;
    core::Error error;
    EXPECT_FALSE(json.objectWithString("3", &error));
    EXPECT_EQ(error.code(), 4);
    EXPECT_EQ(json.errorTrace().size(), 1u);
    auto fragment = json.fragmentWithString("3", &error);
    ASSERT_TRUE(fragment);
    EXPECT_EQ(*fragment, Value(3));
    EXPECT_FALSE(json.objectWithString("[1,,2]", &error));
    EXPECT_EQ(error.localizedDescription(), "Expected value while parsing array");
    EXPECT_EQ(json.errorTrace().size(), 2u);
    json.setMaxDepth(1);
    EXPECT_EQ(json.maxDepth(), 1u);
    EXPECT_FALSE(json.objectWithString("[[]]", &error));
    EXPECT_EQ(json.errorTrace().front().code(), 7);

    EXPECT_FALSE(JSONValue("3"));
    EXPECT_TRUE(logContains("-JSONValue failed. Error trace is: "));
    EXPECT_TRUE(logContains("Valid fragment, but not JSON"));
    EXPECT_TRUE(JSONFragmentValue("3"));
    EXPECT_FALSE(JSONFragmentValue("[}"));
    EXPECT_TRUE(logContains("-JSONFragmentValue failed. Error trace is: "));
}

} // namespace

#include "Kit/JSON/JSONAdditions.h"
#include "Kit/JSON/KWJSON.h"
#include "Kit/JSON/KWJsonProxy.h"
#include "Kit/JSON/KWJsonWriter.h"
#include "Platform/Core/Object.h"

#include "Support/Command.h"
#include "Support/TestCase.h"

#include <cmath>
#include <limits>

using core::Value;

namespace {

class KWJsonWriterTest : public test::TestCase { };

class Item : public core::Object, public KWJsonProxy {
public:
    Value proxyForJson() const override { return Value::makeDictionary({ { "item", 1 } }); }
};

class Opaque : public core::Object { };

TEST_F(KWJsonWriterTest, WritesCompactAndIndentedText)
{
    KWJsonWriter writer;
    Value value = Value::makeDictionary({ { "b", Value::makeArray({ true }) }, { "a", 1 } });
    EXPECT_EQ(*writer.stringWithObject(value), "{\"a\":1,\"b\":[true]}");
    writer.setSortKeys(true);
    writer.setHumanReadable(true);
    EXPECT_EQ(*writer.stringWithObject(value), "{\n  \"a\" : 1,\n  \"b\" : [\n    true\n  ]\n}");

    for (bool humanReadable : { false, true }) {
        writer.setHumanReadable(humanReadable);
        EXPECT_EQ(*writer.stringWithObject(Value::makeArray()), "[]");
        EXPECT_EQ(*writer.stringWithObject(Value::makeDictionary()), "{}");
        EXPECT_EQ(*writer.stringWithObject(Value::makeArray({ Value::makeArray(), Value::makeDictionary() })),
            humanReadable ? "[\n  [],\n  {}\n]" : "[[],{}]");
    }

    writer.setHumanReadable(false);
    EXPECT_EQ(*writer.stringWithFragment(Value("\x01/\xc3\xa9\"\\\b\t\n\f\r\x1f")), "\"\\u0001/\xc3\xa9\\\"\\\\\\b\\t\\n\\f\\r\\u001f\"");
    EXPECT_EQ(*writer.stringWithFragment(Value(false)), "false");
    EXPECT_EQ(*writer.stringWithFragment(Value(int64_t(-9007199254740993))), "-9007199254740993");
    EXPECT_EQ(*writer.stringWithFragment(Value(1500.0)), "1500");
    EXPECT_EQ(*writer.stringWithFragment(Value(1.5)), "1.5");
    EXPECT_EQ(*writer.stringWithFragment(Value(1e20)), "1e+20");
    EXPECT_EQ(*writer.stringWithFragment(Value()), "null");
    EXPECT_EQ(*writer.stringWithObject(Value(std::make_shared<Item>())), "{\"item\":1}");
    EXPECT_EQ(*writer.stringWithObject(Value::makeArray({ Value(std::make_shared<Item>()) })), "[{\"item\":1}]");
}

TEST_F(KWJsonWriterTest, RefusesWhatJsonCannotHold)
{
    KWJsonWriter writer;
    EXPECT_FALSE(writer.stringWithObject(Value("text")));
    ASSERT_EQ(writer.errorTrace().size(), 1u);
    EXPECT_EQ(writer.errorTrace()[0].code(), 4);
    EXPECT_EQ(writer.errorTrace()[0].localizedDescription(), "Not valid type for JSON");

    for (double real : { std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity() }) {
        EXPECT_FALSE(writer.stringWithFragment(Value(real)));
        EXPECT_EQ(writer.errorTrace().back().code(), 1);
        EXPECT_EQ(writer.errorTrace().back().localizedDescription(), "JSON serialisation not supported for real");
    }

    EXPECT_FALSE(writer.stringWithObject(Value::makeDictionary({ { "d", Value(core::Data("x", 1)) } })));
    ASSERT_EQ(writer.errorTrace().size(), 2u);
    EXPECT_EQ(writer.errorTrace()[0].localizedDescription(), "JSON serialisation not supported for data");
    EXPECT_EQ(writer.errorTrace()[1].localizedDescription(), "Unsupported value for key d in object");
    EXPECT_EQ(writer.errorTrace()[1].underlyingError()->code(), 1);

    EXPECT_FALSE(writer.stringWithFragment(Value(std::make_shared<Opaque>())));
    EXPECT_EQ(writer.errorTrace().back().localizedDescription(), "JSON serialisation not supported for Opaque");
    EXPECT_FALSE(writer.stringWithFragment(Value("\xff")));

    Value deep = Value::makeArray();
    for (int i = 0; i < 600; ++i)
        deep = Value::makeArray({ deep });
    EXPECT_FALSE(writer.stringWithObject(deep));
    EXPECT_EQ(writer.errorTrace().front().localizedDescription(), "Nested too deep");

    KWJSON json;
    core::Error error;
    EXPECT_FALSE(json.stringWithObject(Value(3), &error));
    EXPECT_EQ(error.code(), 4);
    EXPECT_EQ(*json.stringWithFragment(Value(3), &error), "3");

    EXPECT_FALSE(JSONRepresentation(Value(3)));
    EXPECT_TRUE(logContains("-JSONRepresentation failed for object: integer"));
    EXPECT_TRUE(logContains("Error trace is: "));
    EXPECT_FALSE(JSONFragment(Value(core::Data())));
    EXPECT_TRUE(logContains("-JSONFragment failed for object: data"));
}

TEST_F(KWJsonWriterTest, OutputReadsBackAndPassesJq)
{
    Value value = Value::makeDictionary({
        { "name", "r\xc3\xa9sum\xc3\xa9 \"1\"\n\x02.pdf" },
        { "size", int64_t(1) << 40 },
        { "ratio", 0.1 },
        { "negative", -1e-7 },
        { "flags", Value::makeArray({ true, false, Value() }) },
        { "nested", Value::makeDictionary({ { "", Value::makeArray() }, { "x", Value::makeDictionary() } }) },
        { "emoji", "\xf0\x9f\x98\x80" },
    });
    for (bool humanReadable : { false, true }) {
        KWJSON json;
        json.setHumanReadable(humanReadable);
        json.setSortKeys(true);
        auto text = json.stringWithObject(value);
        ASSERT_TRUE(text);
        auto back = json.objectWithString(*text);
        ASSERT_TRUE(back) << *text;
        EXPECT_EQ(*back, value);
        if (!test::hasProgram("jq"))
            GTEST_SKIP() << "jq is not installed";
        auto checked = test::runCommand({ "jq", "-e", "-c", "." }, *text);
        EXPECT_EQ(checked.status, 0) << *text;
        // jq reads the same value: compare through our reader.
        EXPECT_EQ(*json.objectWithString(checked.output), value) << checked.output;
    }
}

} // namespace

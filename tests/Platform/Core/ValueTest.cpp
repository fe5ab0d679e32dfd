#include "Platform/Core/Error.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"

#include "Support/TestCase.h"

#include <cerrno>
#include <thread>

using core::Value;

namespace {

class Named : public core::Object {
public:
    explicit Named(std::string name) : m_name(std::move(name)) { }
    Value valueForKey(std::string_view key) const override
    {
        if (key == "name")
            return m_name;
        return Object::valueForKey(key);
    }

private:
    std::string m_name;
};

TEST(ValueTest, NumbersCompareByValueAndBooleansStandApart)
{
    EXPECT_EQ(Value(2), Value(2.0));
    EXPECT_EQ(Value(2).hash(), Value(2.0).hash());
    EXPECT_NE(Value(true), Value(1));
    EXPECT_NE(Value(false), Value(0));
    EXPECT_NE(Value(2), Value(2.5));
    EXPECT_EQ(Value("a"), Value(std::string("a")));
    EXPECT_NE(Value("1"), Value(1));
    EXPECT_EQ(Value(), Value(nullptr));
    EXPECT_TRUE(Value(std::shared_ptr<core::Object>()).isNull());
}

TEST(ValueTest, CopiesOfContainersChangeAlone)
{
    Value original = Value::makeDictionary({ { "a", 1 }, { "list", Value::makeArray({ 1, 2 }) } });
    Value copy = original;
    copy.mutableDictionary()["a"] = 2;
    EXPECT_EQ(original["a"], Value(1));
    EXPECT_EQ(copy["a"], Value(2));

    EXPECT_TRUE(original["missing"].isNull());
    EXPECT_TRUE(original["list"][5].isNull());
    EXPECT_THROW(original.string(), core::Exception);
}

TEST(ValueTest, DescriptionsReadAsTheDevicePrintsThem)
{
    EXPECT_EQ(Value(80).toString(), "80");
    EXPECT_EQ(Value(13.0).toString(), "13");
    EXPECT_EQ(Value(3.5).toString(), "3.5");
    EXPECT_EQ(Value().toString(), "(null)");
    EXPECT_EQ(Value(true).toString(), "1");
    EXPECT_EQ(fmt::format("{}", Value(80)), "80");
    EXPECT_EQ(fmt::format("{}", Value()), "(null)");
    EXPECT_EQ(fmt::format("{}", std::shared_ptr<Named>()), "(null)");
    EXPECT_EQ(Value(core::Data(std::string("\x01\x02\x03\x04\x05", 5))).toString(), "<01020304 05>");
    EXPECT_EQ(core::Date::fromUnixTime(1294216200).description(), "2011-01-05 08:30:00 +0000");
    EXPECT_EQ(core::Date::fromUnixTime(978307200).timeIntervalSinceReferenceDate(), 0);
}

TEST(ValueTest, LenientReadings)
{
    for (const char* yes : { "YES", "yes", "T", " 1", "007", "-1" })
        EXPECT_TRUE(Value(yes).toBool()) << yes;
    for (const char* no : { "NO", "0", "", "abc" })
        EXPECT_FALSE(Value(no).toBool()) << no;
    EXPECT_TRUE(Value(-3).toBool());
    EXPECT_EQ(Value("12ab").toInteger(), 12);
    EXPECT_EQ(Value(3.9).toInteger(), 3);
    EXPECT_EQ(Value(" -42").toInteger(), -42);
    EXPECT_EQ(Value("99999999999999999999").toInteger(), INT64_MAX);
    EXPECT_EQ(Value(1e300).toInteger(), INT64_MAX);
}

TEST(ValueTest, KeyPathsWalkDictionariesAndObjects)
{
    Value tree = Value::makeDictionary({ { "a", Value::makeDictionary({ { "b", 5 } }) },
        { "owner", std::make_shared<Named>("Ann") }, { "nothing", Value() } });
    EXPECT_EQ(core::valueForKeyPath(tree, "a.b"), Value(5));
    EXPECT_EQ(core::valueForKeyPath(tree, "owner.name"), Value("Ann"));
    EXPECT_TRUE(core::valueForKeyPath(tree, "a.c.d").isNull());
    EXPECT_TRUE(core::valueForKeyPath(tree, "nothing.b").isNull());
    try {
        core::valueForKeyPath(tree, "owner.age");
        FAIL() << "no exception";
    } catch (const core::Exception& exception) {
        EXPECT_EQ(exception.name(), "NSUnknownKeyException");
    }
    EXPECT_NE(tree["owner"].object()->description().find("<Named: 0x"), std::string::npos);
}

TEST(ValueTest, ErrorsWrapErrno)
{
    auto error = core::Error::posix(ENOENT);
    EXPECT_EQ(error.code(), 2);
    EXPECT_EQ(error.domain(), "NSPOSIXErrorDomain");
    EXPECT_EQ(error.localizedDescription(), "No such file or directory");
    core::Error plain("X", 7);
    EXPECT_EQ(plain.localizedDescription(), "The operation couldn\u2019t be completed. (X error 7.)");
    plain.setUnderlyingError(error);
    EXPECT_EQ(plain.underlyingError()->code(), 2);
}

class LogTest : public test::TestCase { };

TEST_F(LogTest, LinesFromManyThreadsStayWholeAndTextIsLiteral)
{
    core::LogCapture capture(true);
    auto writer = [](char tag) {
        for (int i = 0; i < 1000; ++i)
            core::log("Warning, thread {} line {} of a longer text", tag, i);
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2000u);
    for (const auto& line : lines)
        EXPECT_TRUE(line.starts_with("Warning, thread ") && line.ends_with(" of a longer text")) << line;
    core::log("100%s done {}");
    EXPECT_TRUE(capture.contains("100%s done {}"));
    EXPECT_TRUE(logContains("100%s done {}"));
}

} // namespace

#include "Platform/Core/UTF8.h"

namespace {

TEST(UTF16Test, ConvertsBothWaysAndReplacesIllFormedInput)
{
    EXPECT_EQ(core::toUTF16("aé𝄞"), std::u16string(u"aé\U0001D11E"));
    EXPECT_EQ(core::toUTF8(u"aé\U0001D11E"), "aé𝄞");
    EXPECT_EQ(core::toUTF16("a\xFF" "b"), std::u16string(u"a\uFFFDb"));
    EXPECT_EQ(core::toUTF16("\xE2\x82"), std::u16string(u"\uFFFD\uFFFD"));
    EXPECT_EQ(core::toUTF8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(core::kNotFound, 0x7FFFFFFFu);
}

} // namespace

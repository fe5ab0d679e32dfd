#include "Platform/Core/Object.h"
#include "Platform/Core/PropertyList.h"

#include "Support/Python.h"
#include "Support/TestCase.h"

#include <cstring>

using core::Data;
using core::Date;
using core::PropertyList;
using core::Value;
using Format = core::PropertyList::Format;

namespace {

class PropertyListTest : public test::TestCase {
protected:
    static Value sample()
    {
        return Value::makeDictionary({
            { "flag", true },
            { "minus", -1 },
            { "big", 5000000000LL },
            { "real", 3.5 },
            { "text", "\xC3\xA9 \xF0\x9D\x84\x9E" },
            { "bytes", Data(std::string("\0\x01\xFFz", 4)) },
            { "when", Date(100.5) },
            { "nested", Value::makeDictionary({ { "list", Value::makeArray({ 1, "two", false }) }, { "empty", Value::makeDictionary() } }) },
        });
    }

    static std::string bytes(const Value& value, Format format)
    {
        core::Error error;
        auto encoded = PropertyList::write(value, format, &error);
        EXPECT_TRUE(encoded) << error.description();
        return encoded.value_or("");
    }

    // A binary property list from its parts: objects after the header, then
    // the offset table and trailer.
    static std::string binary(const std::vector<std::string>& objects, size_t top = 0, uint8_t refSize = 1)
    {
        std::string out = "bplist00";
        std::vector<size_t> offsets;
        for (const auto& object : objects) {
            offsets.push_back(out.size());
            out += object;
        }
        size_t table = out.size();
        for (size_t offset : offsets) {
            out += static_cast<char>(offset >> 8);
            out += static_cast<char>(offset & 0xFF);
        }
        out.append(6, '\0');
        out += '\x02';
        out += static_cast<char>(refSize);
        for (uint64_t number : { uint64_t(objects.size()), uint64_t(top), uint64_t(table) }) {
            for (int shift = 56; shift >= 0; shift -= 8)
                out += static_cast<char>((number >> shift) & 0xFF);
        }
        return out;
    }

    static std::string failureReason(std::string_view input)
    {
        core::Error error;
        Value value = PropertyList::read(input, &error);
        EXPECT_TRUE(value.isNull());
        EXPECT_EQ(error.code(), PropertyList::ReadCorruptError);
        return error.localizedFailureReason();
    }
};

TEST_F(PropertyListTest, ValuesRoundTripInBothFormats)
{
    Value original = sample();
    for (Format format : { Format::Binary, Format::XML }) {
        Format found {};
        Value back = PropertyList::read(bytes(original, format), nullptr, &found);
        EXPECT_EQ(found, format);
        ASSERT_TRUE(back.isDictionary());
        EXPECT_TRUE(back["flag"].isBool());
        EXPECT_TRUE(back["minus"].isInteger());
        EXPECT_EQ(back["minus"].integer(), -1);
        EXPECT_EQ(back["big"].integer(), 5000000000LL);
        EXPECT_TRUE(back["real"].isReal());
        EXPECT_EQ(back["real"].real(), 3.5);
        EXPECT_EQ(back["text"], original["text"]);
        EXPECT_EQ(back["bytes"], original["bytes"]);
        EXPECT_EQ(back["nested"], original["nested"]);
        // XML dates have whole seconds.
        EXPECT_EQ(back["when"].date().timeIntervalSinceReferenceDate(), format == Format::Binary ? 100.5 : 100.0);
    }
    // Large counts and shared values in the binary form.
    Value::Array many;
    for (int i = 0; i < 70000; ++i)
        many.push_back(i % 3 == 0 ? Value("same") : Value(i));
    Value list(many);
    EXPECT_EQ(PropertyList::read(bytes(list, Format::Binary)), list);
}

TEST_F(PropertyListTest, PythonReadsOursAndWeReadPythons)
{
    std::string xml = makeFile("ours.xml.plist", bytes(sample(), Format::XML));
    std::string bin = makeFile("ours.bin.plist", bytes(sample(), Format::Binary));
    for (const auto& path : { xml, bin }) {
        auto output = test::runPython(R"(
import plistlib, sys, datetime
d = plistlib.load(open(sys.argv[1], 'rb'))
print(type(d['flag']).__name__, d['minus'], d['big'], type(d['real']).__name__, d['real'])
print(d['text'] == '\u00e9 \U0001D11E', d['bytes'] == b'\0\x01\xffz', d['when'].microsecond)
print(d['nested']['list'], d['nested']['empty'])
)", { path });
        bool binaryFile = path == bin;
        EXPECT_EQ(output, "bool -1 5000000000 float 3.5\nTrue True " + std::string(binaryFile ? "500000" : "0")
                + "\n[1, 'two', False] {}\n")
            << path;
    }

    std::string theirs = pathInHome("theirs");
    test::runPython(R"(
import plistlib, sys, datetime
d = {'flag': True, 'minus': -1, 'big': 5000000000, 'real': 3.5, 'text': '\u00e9 \U0001D11E',
     'bytes': b'\0\x01\xffz', 'when': datetime.datetime(2001, 1, 1, 0, 1, 40, 500000),
     'nested': {'list': [1, 'two', False], 'empty': {}}}
plistlib.dump(d, open(sys.argv[1] + '.xml', 'wb'))
plistlib.dump(d, open(sys.argv[1] + '.bin', 'wb'), fmt=plistlib.FMT_BINARY)
)", { theirs });
    for (const char* suffix : { ".xml", ".bin" }) {
        core::Error error;
        Value back = PropertyList::readFile(theirs + suffix, &error);
        ASSERT_TRUE(back.isDictionary()) << error.description();
        Value expected = sample();
        if (std::string(suffix) == ".xml")
            expected.mutableDictionary()["when"] = Date(100);
        EXPECT_EQ(back, expected) << suffix;
    }
}

TEST_F(PropertyListTest, HostileInputIsRefusedWithTheFileNamed)
{
    // Truncated and malformed.
    std::string good = bytes(sample(), Format::Binary);
    EXPECT_FALSE(failureReason(good.substr(0, good.size() - 5)).empty());
    EXPECT_FALSE(failureReason(std::string_view(good).substr(0, 20)).empty());
    EXPECT_FALSE(failureReason("<plist><dict><key>a</key>").empty());
    EXPECT_FALSE(failureReason("not a property list at all").empty());
    EXPECT_FALSE(failureReason("").empty());

    // Too deep, in either encoding; 512 levels are fine.
    auto nested = [](size_t depth) {
        std::string text = "<plist version=\"1.0\">";
        for (size_t i = 0; i < depth; ++i)
            text += "<array>";
        for (size_t i = 0; i < depth; ++i)
            text += "</array>";
        return text + "</plist>";
    };
    EXPECT_TRUE(PropertyList::read(nested(512)).isArray());
    EXPECT_EQ(failureReason(nested(513)), "the property list is nested too deeply");
    EXPECT_EQ(failureReason(nested(200000)), "the property list is nested too deeply");
    std::vector<std::string> chain;
    for (size_t i = 0; i < 600; ++i)
        chain.push_back(i + 1 < 600 ? std::string { '\xA1', static_cast<char>((i + 1) >> 8), static_cast<char>((i + 1) & 0xFF) } : std::string("\x08"));
    EXPECT_EQ(failureReason(binary(chain, 0, 2)), "the property list is nested too deeply");

    // References that loop, or that multiply: each array holds the next one
    // twice, so 40 objects would expand to 2^40 values.
    EXPECT_EQ(failureReason(binary({ std::string("\xA1\x00", 2) })), "the binary property list refers to itself");
    std::vector<std::string> bomb;
    for (int i = 0; i < 40; ++i)
        bomb.push_back(std::string("\xA2") + char(i + 1) + char(i + 1));
    bomb.push_back("\x09");
    EXPECT_EQ(failureReason(binary(bomb)), "the property list expands to too many values");
    EXPECT_EQ(failureReason(binary({ "\xA1\x05" })), "the binary property list refers to a missing object");

    // UID values (keyed archives) in either encoding.
    EXPECT_EQ(failureReason(binary({ "\xA1\x01", "\x80\x05" })), "the property list holds UID values (a keyed archive)");
    EXPECT_EQ(failureReason("<plist><dict><key>CF$UID</key><integer>1</integer></dict></plist>"),
        "the property list holds UID values (a keyed archive)");

    // NUL inside text, which the decoder cannot take, in either encoding.
    EXPECT_EQ(failureReason(std::string("<plist><string>a\0b</string></plist>", 35)), "the property list holds text with a NUL character");
    EXPECT_EQ(failureReason("<plist><string>a&#x00;b</string></plist>"), "the property list holds text with a NUL character");
    EXPECT_EQ(failureReason(binary({ std::string("\x52" "a\0", 3) })), "the property list holds text with a NUL character");
    EXPECT_EQ(failureReason(binary({ std::string("\x61\0\0", 3) })), "the property list holds text with a NUL character");
    EXPECT_EQ(PropertyList::read("<plist><string>a&#38;b&#x10;</string></plist>"), Value("a&b\x10"));

    // Over 64 MiB, refused before decoding; errors name the file.
    std::string large(PropertyList::MaximumLength + 1, ' ');
    EXPECT_EQ(failureReason(large), "the property list is larger than 64 MiB");
    std::string path = makeFile("Damaged.plist", good.substr(0, good.size() - 5));
    core::Error error;
    EXPECT_TRUE(PropertyList::readFile(path, &error).isNull());
    EXPECT_NE(error.localizedDescription().find("Damaged.plist"), std::string::npos);
    EXPECT_EQ(error.userInfo().at(core::Error::FilePathKey), Value(path));
    EXPECT_TRUE(PropertyList::readFile(pathInHome("missing.plist"), &error).isNull());
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_NE(error.localizedDescription().find("missing.plist"), std::string::npos);
}

TEST_F(PropertyListTest, OddValuesAreMendedAndUnstorableOnesFail)
{
    for (Format format : { Format::Binary, Format::XML }) {
        Value odd = Value::makeDictionary({
            { "bad", std::string("a\xFF" "b") },
            { std::string("k\xC0"), std::string("nul\0in", 6) },
            { "far", Date(1e12) },
            { "fine", 1 },
        });
        auto encoded = PropertyList::write(odd, format);
        ASSERT_TRUE(encoded);
        Value back = PropertyList::read(*encoded);
        EXPECT_EQ(back["bad"], Value("a\xEF\xBF\xBD" "b"));
        EXPECT_EQ(back["k\xEF\xBF\xBD"], Value("nul\xEF\xBF\xBDin"));
        EXPECT_EQ(back["far"].date().timeIntervalSinceReferenceDate(), 2147483647.0);
        EXPECT_EQ(back["fine"], Value(1));
        EXPECT_TRUE(logContains("U+FFFD"));
        EXPECT_TRUE(logContains("clamped"));

        core::Error error;
        EXPECT_FALSE(PropertyList::write(Value::makeArray({ 1, Value() }), format, &error));
        EXPECT_EQ(error.code(), PropertyList::WriteInvalidError);
        EXPECT_FALSE(PropertyList::write(Value::makeDictionary({ { "o", std::make_shared<core::Object>() } }), format, &error));
    }
    // A failed file write leaves the old file alone.
    std::string path = makeFile("Keep.plist", "old");
    core::Error error;
    EXPECT_FALSE(PropertyList::writeFile(path, Value(), Format::Binary, &error));
    EXPECT_NE(error.localizedDescription().find("Keep.plist"), std::string::npos);
    EXPECT_EQ(readFile(path), "old");
    EXPECT_TRUE(PropertyList::writeFile(path, sample(), Format::XML, &error));
    EXPECT_EQ(PropertyList::readFile(path)["big"], Value(5000000000LL));
}

} // namespace

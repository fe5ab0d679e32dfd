#include "Kit/Base64.h"
#include "Kit/DataAdditions.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/Exception.h"
#include "Support/Command.h"
#include "Support/TestCase.h"

#include <random>

using core::Data;

namespace {

class Base64Test : public test::TestCase { };

std::string randomBytes(size_t length, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(length, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

std::string withoutLineEnds(std::string text)
{
    std::erase(text, '\r');
    std::erase(text, '\n');
    return text;
}

} // namespace

TEST_F(Base64Test, EncodesGroupsPaddingAndLines)
{
    EXPECT_EQ(NewBase64Encode("abc", false), "YWJj");
    EXPECT_EQ(NewBase64Encode("ab", false), "YWI=");
    EXPECT_EQ(NewBase64Encode("a", false), "YQ==");
    EXPECT_EQ(NewBase64Encode("", true), "");

    std::string line = NewBase64Encode(std::string(48, 'x'), true);
    EXPECT_EQ(line.size(), 64u);
    EXPECT_EQ(line.find('\r'), std::string::npos);

    std::string two = NewBase64Encode(std::string(49, 'x'), true);
    EXPECT_EQ(two.find("\r\n"), 64u);
    EXPECT_EQ(two.size(), 64u + 2 + 4);
    // Whole lines: a break between them, none after the last.
    std::string full = NewBase64Encode(std::string(96, 'x'), true);
    EXPECT_EQ(full.size(), 130u);
    EXPECT_FALSE(full.ends_with("\n"));
    EXPECT_EQ(withoutLineEnds(full), NewBase64Encode(std::string(96, 'x'), false));
}

TEST_F(Base64Test, DecodingSkipsEverythingOutsideTheAlphabet)
{
    EXPECT_EQ(NewBase64Decode("YWJj"), "abc");
    EXPECT_EQ(NewBase64Decode("YWI="), "ab");
    EXPECT_EQ(NewBase64Decode("YQ"), "a");
    EXPECT_EQ(NewBase64Decode("Y W\r\nJ\tj"), "abc");
    EXPECT_EQ(NewBase64Decode("=Y=W=J=j="), "abc");
    EXPECT_EQ(NewBase64Decode("YW\xC3\xA9Jj!"), "abc");
    // A lone final character makes no byte.
    EXPECT_EQ(NewBase64Decode("YWJjY"), "abc");
    EXPECT_EQ(NewBase64Decode(""), "");
    EXPECT_EQ(NewBase64Decode("===="), "");

    std::string bytes = randomBytes(1000, 7);
    EXPECT_EQ(NewBase64Decode(NewBase64Encode(bytes, true)), bytes);
}

TEST_F(Base64Test, AgreesWithCoreutils)
{
    for (size_t length : { 1u, 2u, 3u, 47u, 48u, 49u, 4000u, 100001u }) {
        std::string bytes = randomBytes(length, static_cast<unsigned>(length));
        std::string ours = NewBase64Encode(bytes, true);
        test::CommandResult decoded = test::runCommand({ "base64", "-d" }, withoutLineEnds(ours));
        EXPECT_EQ(decoded.status, 0);
        EXPECT_EQ(decoded.output, bytes) << length;
        test::CommandResult theirs = test::runCommand({ "base64" }, bytes);
        ASSERT_EQ(theirs.status, 0);
        EXPECT_EQ(NewBase64Decode(theirs.output), bytes) << length;
        EXPECT_EQ(withoutLineEnds(theirs.output), NewBase64Encode(bytes, false)) << length;
    }
}

TEST_F(Base64Test, DataAndStringAdditions)
{
    EXPECT_EQ(vkHexRepresentation(Data(std::string("\x00\xff", 2))), "00ff");
    EXPECT_EQ(vkHexRepresentation(Data()), "");
    EXPECT_EQ(vkStringByEncodingBase64(Data(std::string(49, 'x'))).find("\r\n"), 64u);
    EXPECT_EQ(vkStringByEncodingBase64WithLineBreaks(Data(std::string(49, 'x')), false).find('\r'), std::string::npos);

    EXPECT_EQ(vkUTF8String(Data(std::string("é"))), "é");
    EXPECT_EQ(vkUTF8String(Data(std::string("\xE9"))), std::nullopt);

    EXPECT_EQ(vkStringByEncodingBase64("abc"), "YWJj");
    EXPECT_EQ(vkStringByDecodingBase64("w6k="), "é");
    // Bytes that are not UTF-8: no text, but the data.
    EXPECT_EQ(vkStringByDecodingBase64("6Q=="), std::nullopt);
    EXPECT_EQ(vkDataByDecodingBase64("6Q==").toString(), "\xE9");
}

TEST_F(Base64Test, RangeOfDataStaysInsideTheRange)
{
    Data data(std::string("abcabcab"));
    Data pattern(std::string("cab"));
    EXPECT_EQ(vkRangeOfData(data, pattern), (core::Range { 2, 3 }));
    // Ends exactly at the range's end: found; runs past it: not.
    EXPECT_EQ(vkRangeOfData(data, pattern, { 3, 5 }), (core::Range { 5, 3 }));
    EXPECT_EQ(vkRangeOfData(data, pattern, { 3, 4 }), (core::Range {}));
    EXPECT_EQ(vkRangeOfData(data, pattern, { 0, 4 }), (core::Range {}));
    EXPECT_EQ(vkRangeOfData(data, Data(), { 0, 8 }), (core::Range { core::kNotFound, 0 }));
    EXPECT_EQ(vkRangeOfData(data, Data(std::string("x"))), (core::Range {}));
    EXPECT_EQ(vkRangeOfData(data, pattern, { 8, 0 }), (core::Range {}));

    for (core::Range bad : { core::Range { 0, 9 }, core::Range { 9, 0 }, core::Range { 4, SIZE_MAX } }) {
        try {
            vkRangeOfData(data, pattern, bad);
            ADD_FAILURE() << "no exception";
        } catch (const core::Exception& exception) {
            EXPECT_EQ(exception.name(), "NSRangeException");
            EXPECT_EQ(exception.reason(), "-[NSData rangeOfData:range: passed incorrect searchRange]");
        }
    }
}

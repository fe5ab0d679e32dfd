#include "Kit/URLAdditions.h"
#include "Kit/URLRequestAdditions.h"
#include "Kit/URLResponseAdditions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/PropertyList.h"
#include "Support/Command.h"
#include "Support/TestCase.h"

#include <random>

using core::URL;

namespace {

class URLAdditionsTest : public test::TestCase { };

URL url(std::string_view text)
{
    std::optional<URL> parsed = URL::parse(text);
    EXPECT_TRUE(parsed) << text;
    return parsed.value_or(URL());
}

} // namespace

TEST_F(URLAdditionsTest, PathsBecomeEscapedURLs)
{
    EXPECT_EQ(VKURLEscapePath("50% #1"), "50%25%20%231");
    EXPECT_EQ(VKURLEscapePath("/a-b_c.d!e~f*g'h(i)j/"), "/a-b_c.d!e~f*g'h(i)j/");
    EXPECT_EQ(VKURLEscapePath(";?:@&=+$,"), "%3B%3F%3A%40%26%3D%2B%24%2C");
    EXPECT_EQ(VKURLEscapePath("é"), "%C3%A9");
    EXPECT_EQ(VKURLEscapePath("a\xFF" "b\xC3"), "a%FFb%C3");
    EXPECT_EQ(escapeFilePath("a b"), "a%20b");

    URL made = URLWithPath("/a b?c+d");
    EXPECT_EQ(made.relativeString(), "/a%20b%3Fc%2Bd");
    EXPECT_EQ(made.path(), "/a b?c+d");
    EXPECT_FALSE(made.hasQuery());
    // A doubled slash never turns the first folder into a host.
    EXPECT_EQ(URLWithPath("//evil/x").host(), "");
    EXPECT_EQ(URLWithPath("//evil/x").path(), "/evil/x");
    EXPECT_EQ(URLWithPath("/\xFF/evil/x").host(), "");
    EXPECT_EQ(URLWithPath("/\xFF/evil/x").path(), "/\xFF/evil/x");

    URL base = url("http://h/Documents/");
    EXPECT_EQ(URLWithPath("/x y", base).absoluteString(), "http://h/Documents/x%20y");
    EXPECT_EQ(URLWithPath("/", base), base);
    EXPECT_EQ(URLWithPath("", base), base);
    EXPECT_EQ(URLWithPath("///other.host/x", base).absoluteString(), "http://h/Documents/other.host/x");
    EXPECT_EQ(URLWithPath("\xFF//other.host/x", base).absoluteString(), "http://h/Documents/%FF//other.host/x");
    EXPECT_EQ(URLWithPath("/a:b", base).absoluteString(), "http://h/Documents/a%3Ab");
}

TEST_F(URLAdditionsTest, EscapingAgreesWithPythonQuote)
{
    std::mt19937 random(11);
    const std::string alphabet = "aZ09 -_.!~*'()/;?:@&=+$,%#[]\"<>\\^`{|}\x7F\tÄ€😀";
    std::vector<std::string> paths;
    std::string input;
    for (int round = 0; round < 50; ++round) {
        std::string path;
        for (int i = 0; i < 30; ++i) {
            // Pick whole characters: multi-byte ones start with a lead byte.
            size_t at = random() % alphabet.size();
            while (at > 0 && (static_cast<unsigned char>(alphabet[at]) & 0xC0) == 0x80)
                --at;
            size_t end = at + 1;
            while (end < alphabet.size() && (static_cast<unsigned char>(alphabet[end]) & 0xC0) == 0x80)
                ++end;
            path += alphabet.substr(at, end - at);
        }
        input += path + '\n';
        paths.push_back(std::move(path));
    }
    // One line out for each line in: escaping leaves no line end.
    test::CommandResult theirs = test::runCommand({ "python3", "-c",
                                                       "import sys, urllib.parse\n"
                                                       "for line in sys.stdin.buffer.read().split(b'\\n')[:-1]:\n"
                                                       "    print(urllib.parse.quote(line, safe=\"/!*'()\"))" },
        input);
    ASSERT_EQ(theirs.status, 0);
    std::string expected;
    for (const std::string& path : paths)
        expected += VKURLEscapePath(path) + '\n';
    EXPECT_EQ(expected, theirs.output);
}

TEST_F(URLAdditionsTest, ParentsFoldersAndSchemes)
{
    EXPECT_EQ(parentPathURL(url("http://h/a"))->relativeString(), "/");
    EXPECT_EQ(parentPathURL(url("http://h/a/b%20c/d"))->relativeString(), "/a/b%20c");
    EXPECT_EQ(parentPathURL(url("http://h/")), std::nullopt);
    EXPECT_EQ(parentPathURL(url("http://h")), std::nullopt);

    EXPECT_EQ(pathEnsuringTrailingSeparator(url("http://h/a")), "/a/");
    EXPECT_EQ(pathEnsuringTrailingSeparator(url("http://h/a/")), "/a/");
    EXPECT_EQ(escapedPathString(url("http://h/a/")), "/a/");
    EXPECT_EQ(escapedPathString(url("http://h/a/?x=1")), "/a/");
    EXPECT_EQ(escapedPathString(url("http://h/a%20b")), "/a%20b");
    EXPECT_EQ(escapedPathString(url("http://h/a?x=1")), "/a");

    EXPECT_TRUE(schemeIsSecure(url("HTTPS://h/")));
    EXPECT_TRUE(schemeIsSecure(url("ftps://h/")));
    EXPECT_FALSE(schemeIsSecure(url("http://h/")));
}

TEST_F(URLAdditionsTest, DataURLsSplitIntoParts)
{
    auto plain = dataComponents(url("data:,hello"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, (core::Value::Dictionary { { "mime", "text/plain" }, { "charset", "ASCII" }, { "rawdata", "hello" } }));

    auto full = dataComponents(url("data:text/html;charset=utf-8;base64,PGI+"));
    ASSERT_TRUE(full);
    EXPECT_EQ((*full)["mime"], core::Value("text/html"));
    EXPECT_EQ((*full)["charset"], core::Value("utf-8"));
    EXPECT_EQ((*full)["encoding"], core::Value("base64"));
    EXPECT_EQ((*full)["rawdata"], core::Value("PGI+"));

    auto encoded = dataComponents(url("data:image/png;base64,iVBO%3D"));
    ASSERT_TRUE(encoded);
    EXPECT_EQ((*encoded)["charset"], core::Value("ASCII"));
    EXPECT_EQ((*encoded)["encoding"], core::Value("base64"));
    EXPECT_EQ((*encoded)["rawdata"], core::Value("iVBO%3D"));

    EXPECT_EQ(dataComponents(url("data:,a,b")), std::nullopt);
    EXPECT_EQ(dataComponents(url("DATA:,hello")), std::nullopt);
    EXPECT_EQ(dataComponents(url("data:text/plain")), std::nullopt);
    EXPECT_EQ(dataComponents(url("http://h/data:,x")), std::nullopt);
}

TEST_F(URLAdditionsTest, ResponseLengthsAndHeaders)
{
    auto response = [&](core::HeaderFields headers) { return core::HTTPURLResponse(url("http://h/f"), 206, std::move(headers)); };
    EXPECT_EQ(expectedTotalLength(response({ { "Content-Range", "bytes 100-199/1000" }, { "Content-Length", "100" } })), 1000);
    EXPECT_EQ(expectedTotalLength(response({ { "Content-Range", "bytes */*" }, { "Content-Length", "100" } })), 100);
    EXPECT_EQ(expectedTotalLength(response({ { "Content-Range", "bytes 0-1/-5" }, { "Content-Length", "2" } })), 2);
    EXPECT_EQ(expectedTotalLength(response({ { "Content-Range", "bytes 0-1/99999999999999999999999" } })), INT64_MAX);
    EXPECT_EQ(expectedTotalLength(response({ { "Content-Range", "bytes */1000" } })), 1000);
    EXPECT_EQ(expectedTotalLength(response({ { "Content-Range", " bytes 0-0/1 " } })), 1);
    // A total the range does not fit in, or one with more after it, is no total.
    EXPECT_EQ(expectedTotalLength(response({ { "Content-Range", "bytes 0-99/50" }, { "Content-Length", "100" } })), 100);
    EXPECT_EQ(expectedTotalLength(response({ { "Content-Range", "bytes 100-199/199" } })), -1);
    EXPECT_EQ(expectedTotalLength(response({ { "Content-Range", "bytes 100-199/1#00" }, { "Content-Length", "100" } })), 100);
    EXPECT_EQ(expectedTotalLength(response({ { "Content-Range", "bytes 200-100/1000" } })), -1);
    EXPECT_EQ(expectedTotalLength(response({ { "Content-Range", "bytes x-1/1000" } })), -1);
    EXPECT_EQ(expectedTotalLength(response({ { "Content-Length", "42" } })), 42);
    EXPECT_EQ(expectedTotalLength(response({})), -1);

    core::HTTPURLResponse typed = response({ { "Content-Type", "text/plain" } });
    EXPECT_EQ(valueForHTTPHeaderField(&typed, "content-type"), "text/plain");
    EXPECT_EQ(valueForHTTPHeaderField(&typed, "ETag"), std::nullopt);
    EXPECT_EQ(valueForHTTPHeaderField(nullptr, "content-type"), std::nullopt);
}

TEST_F(URLAdditionsTest, SuggestedFilenamesAreOnePlainName)
{
    auto request = [&](std::string_view text) { return core::URLRequest(url(text)); };
    EXPECT_EQ(suggestedFilename(request("http://h/dl/My%20File.pdf")), "My File.pdf");
    EXPECT_EQ(suggestedFilename(request("http://h/dl/folder/")), "folder");
    EXPECT_EQ(suggestedFilename(request("DATA:,x")), "data");
    EXPECT_EQ(suggestedFilename(request("http://h/")), "Unknown");
    EXPECT_EQ(suggestedFilename(request("http://h")), "Unknown");
    EXPECT_EQ(suggestedFilename(request("http://h/a/..")), "Unknown");
    EXPECT_EQ(suggestedFilename(request("http://h/a/.")), "Unknown");
    EXPECT_EQ(suggestedFilename(request("http://h/..%2F..%2Fx")), "x");
    EXPECT_EQ(suggestedFilename(request("http://h/a%00b")), "ab");
    EXPECT_EQ(suggestedFilename(request("http://h/%FF")), "Unknown");

    core::URLRequest named = request("http://h/download?id=7");
    setSuggestedFilename(named, "Report.pdf");
    EXPECT_EQ(suggestedFilename(named), "Report.pdf");
    EXPECT_EQ(named.property(VKSuggestedFilenameRequestProperty), core::Value("Report.pdf"));
    EXPECT_FALSE(named.headers().contains(VKSuggestedFilenameRequestProperty));
    setSuggestedFilename(named, "../x");
    EXPECT_EQ(suggestedFilename(named), "x");
    setSuggestedFilename(named, "..");
    EXPECT_EQ(suggestedFilename(named), "Unknown");
}

TEST_F(URLAdditionsTest, RegisteredURLsFromTheBundleTable)
{
    EXPECT_TRUE(isAppleRegisteredURL(url("MAILTO:x")));
    EXPECT_TRUE(isAppleRegisteredURL(url("tel:1")));
    EXPECT_TRUE(isAppleRegisteredURL(url("sms:1")));
    EXPECT_FALSE(isAppleRegisteredURL(url("http://h/")));
    // The shipped table names no hosts here.
    EXPECT_FALSE(isAppleRegisteredURL(url("http://store.example/app")));
    EXPECT_FALSE(isAppleRegisteredURL(url("http://h/maps?q=x")));

    core::Value table = core::Value::makeDictionary({
        { "StoreHosts", core::Value::makeArray({ "store.example", "Apps.Example" }) },
        { "MapHostPrefix", "maps." },
    });
    ASSERT_TRUE(core::PropertyList::writeFile(makeFolder("App") + "/VKRegisteredURLs.plist", table,
        core::PropertyList::Format::XML));
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(pathInHome("App")));
    EXPECT_TRUE(isAppleRegisteredURL(url("http://store.example/app")));
    EXPECT_TRUE(isAppleRegisteredURL(url("https://APPS.example/")));
    EXPECT_FALSE(isAppleRegisteredURL(url("http://other.example/")));
    EXPECT_TRUE(isAppleRegisteredURL(url("http://maps.example/MAPS?q=Berlin")));
    EXPECT_FALSE(isAppleRegisteredURL(url("http://maps.example/maps")));
    EXPECT_FALSE(isAppleRegisteredURL(url("http://maps.example/maps/x?q=1")));
    EXPECT_FALSE(isAppleRegisteredURL(url("http://h/maps?q=x")));
}

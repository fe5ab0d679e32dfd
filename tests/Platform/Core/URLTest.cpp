#include "Platform/Core/Formatters.h"
#include "Platform/Core/PercentEscape.h"
#include "Platform/Core/URL.h"

#include <gtest/gtest.h>

#include <unordered_set>

using core::URL;

namespace {

URL parsedURL(std::string_view text)
{
    auto result = URL::parse(text);
    EXPECT_TRUE(result) << text;
    return result ? *result : URL();
}

TEST(URLTest, ComponentsOfAFullURL)
{
    const std::string text = "http://u:p@Host:8080/a%20b/c/?q=1#f";
    const URL u = parsedURL(text);
    EXPECT_EQ(u.relativeString(), text);
    EXPECT_EQ(u.absoluteString(), text);
    EXPECT_EQ(u.scheme(), "http");
    EXPECT_EQ(u.user(), "u");
    EXPECT_EQ(u.password(), "p");
    EXPECT_EQ(u.host(), "Host");
    EXPECT_EQ(u.port(), 8080);
    EXPECT_EQ(u.path(), "/a b/c");
    EXPECT_EQ(u.escapedPath(), "/a%20b/c/");
    EXPECT_TRUE(u.hasDirectoryPath());
    EXPECT_EQ(u.query(), "q=1");
    EXPECT_EQ(u.fragment(), "f");
    EXPECT_EQ(u.resourceSpecifier(), "//u:p@Host:8080/a%20b/c/?q=1#f");
    EXPECT_FALSE(u.baseURL());
    EXPECT_EQ(fmt::format("{}", u), text);
}

TEST(URLTest, AbsentAndEmptyComponentsDiffer)
{
    const URL bare = parsedURL("http://h");
    EXPECT_EQ(bare.path(), "");
    EXPECT_EQ(bare.port(), std::nullopt);
    EXPECT_FALSE(bare.hasQuery());
    EXPECT_FALSE(bare.hasFragment());

    const URL empty = parsedURL("http://h:/?#");
    EXPECT_EQ(empty.path(), "/");
    EXPECT_EQ(empty.port(), std::nullopt);
    EXPECT_TRUE(empty.hasQuery());
    EXPECT_TRUE(empty.hasFragment());

    EXPECT_EQ(parsedURL("http://h/a//").path(), "/a/");
    EXPECT_EQ(parsedURL("http://h/a%2F").path(), "/a/");
    EXPECT_EQ(parsedURL("http://[::1]:0/x").host(), "::1");
    EXPECT_EQ(parsedURL("http://[::1]:0/x").port(), 0);
    EXPECT_EQ(parsedURL("http://h:65535").port(), 65535);
    EXPECT_EQ(parsedURL("mailto:a@b.example").path(), "a@b.example");
    EXPECT_EQ(parsedURL("mailto:a@b.example").host(), "");
    EXPECT_EQ(parsedURL("*").path(), "*");
    EXPECT_EQ(parsedURL("").relativeString(), "");
}

TEST(URLTest, BadInputGivesNoURL)
{
    for (std::string_view text : std::initializer_list<std::string_view> { "http://h/a b", "http://h/a\tb", "http://h/\x7f", "http://h/\xc3\xa9",
             "http://h/%", "http://h/%2", "http://h/%zz", "http://h:65536/", "http://h:99999999999999999999/",
             "http://h:-1/", "http://h:8a/", "http://[::1/", "http://[::g]/", "http://a]b/", "http://h/<x>",
             "http://h/a#b#c", "http://u@v@h/", "1http://h/", "a b:c", "://h", "http://h/\\", std::string_view("a\0b", 3) })
        EXPECT_FALSE(URL::parse(text)) << text;
}

TEST(URLTest, ResolvesTheRFCExamples)
{
    const URL base = parsedURL("http://a/b/c/d;p?q");
    const std::pair<const char*, const char*> examples[] = {
        // Normal examples
        { "g:h", "g:h" }, { "g", "http://a/b/c/g" }, { "./g", "http://a/b/c/g" }, { "g/", "http://a/b/c/g/" },
        { "/g", "http://a/g" }, { "//g", "http://g" }, { "?y", "http://a/b/c/d;p?y" }, { "g?y", "http://a/b/c/g?y" },
        { "#s", "http://a/b/c/d;p?q#s" }, { "g#s", "http://a/b/c/g#s" }, { "g?y#s", "http://a/b/c/g?y#s" },
        { ";x", "http://a/b/c/;x" }, { "g;x", "http://a/b/c/g;x" }, { "g;x?y#s", "http://a/b/c/g;x?y#s" },
        { "", "http://a/b/c/d;p?q" }, { ".", "http://a/b/c/" }, { "./", "http://a/b/c/" }, { "..", "http://a/b/" },
        { "../", "http://a/b/" }, { "../g", "http://a/b/g" }, { "../..", "http://a/" }, { "../../", "http://a/" },
        { "../../g", "http://a/g" },
        // Abnormal examples
        { "../../../g", "http://a/g" }, { "../../../../g", "http://a/g" }, { "/./g", "http://a/g" },
        { "/../g", "http://a/g" }, { "g.", "http://a/b/c/g." }, { ".g", "http://a/b/c/.g" },
        { "g..", "http://a/b/c/g.." }, { "..g", "http://a/b/c/..g" }, { "./../g", "http://a/b/g" },
        { "./g/.", "http://a/b/c/g/" }, { "g/./h", "http://a/b/c/g/h" }, { "g/../h", "http://a/b/c/h" },
        { "g;x=1/./y", "http://a/b/c/g;x=1/y" }, { "g;x=1/../y", "http://a/b/c/y" },
        { "g?y/./x", "http://a/b/c/g?y/./x" }, { "g?y/../x", "http://a/b/c/g?y/../x" },
        { "g#s/./x", "http://a/b/c/g#s/./x" }, { "g#s/../x", "http://a/b/c/g#s/../x" }, { "http:g", "http:g" },
    };
    for (const auto& [reference, expected] : examples) {
        const auto resolved = URL::parse(reference, base);
        ASSERT_TRUE(resolved) << reference;
        EXPECT_EQ(resolved->absoluteString(), expected) << reference;
        EXPECT_EQ(resolved->relativeString(), reference);
    }

    const auto relative = URL::parse("d%20e/?x", parsedURL("http://h:81/p/"));
    ASSERT_TRUE(relative);
    EXPECT_EQ(relative->host(), "h");
    EXPECT_EQ(relative->port(), 81);
    EXPECT_EQ(relative->path(), "/p/d e");
    EXPECT_EQ(relative->relativePath(), "d e");
    EXPECT_EQ(relative->query(), "x");
    EXPECT_EQ(relative->baseURL(), parsedURL("http://h:81/p/"));
    EXPECT_EQ(relative->absoluteURL(), parsedURL("http://h:81/p/d%20e/?x"));
    EXPECT_FALSE(relative->absoluteURL().baseURL());
    EXPECT_EQ(fmt::format("{}", *relative), "d%20e/?x -- http://h:81/p/");
}

TEST(URLTest, ResolutionNeverMakesAPathReadAsAnotherComponent)
{
    // Without an authority a path "//g" would read as one, and a first
    // segment "c:d" as a scheme; both are guarded.
    const auto noAuthority = URL::parse("..//g", parsedURL("s:/a/b"));
    ASSERT_TRUE(noAuthority);
    EXPECT_EQ(noAuthority->absoluteString(), "s:/.//g");
    EXPECT_EQ(noAuthority->host(), "");
    EXPECT_EQ(noAuthority->path(), "/.//g");

    const auto noScheme = URL::parse("./c:d", parsedURL("b"));
    ASSERT_TRUE(noScheme);
    EXPECT_EQ(noScheme->scheme(), "");
    EXPECT_EQ(noScheme->path(), "./c:d");
}

TEST(URLTest, StandardizedRemovesDotSegments)
{
    EXPECT_EQ(parsedURL("http://Host/a/./b/../c/?q#f").standardized().absoluteString(), "http://Host/a/c/?q#f");
    EXPECT_EQ(parsedURL("http://h/../../x").standardized().absoluteString(), "http://h/x");
    EXPECT_EQ(parsedURL("a/../b").standardized().relativeString(), "a/../b");
    const auto relative = URL::parse("x/../y", parsedURL("http://h/p/"));
    ASSERT_TRUE(relative);
    EXPECT_EQ(relative->standardized(), parsedURL("http://h/p/y"));
    // The shortcut for the path alone answers as the whole URL would.
    for (const char* text : { "http://h/a/./b/../c%20d/", "http://h/a%2e%2e/b", "http://h/x//y/", "http://h/" })
        EXPECT_EQ(parsedURL(text).standardizedPath(), parsedURL(text).standardized().path()) << text;
    EXPECT_EQ(relative->standardizedPath(), "/p/y");
}

TEST(URLTest, FileURLsRoundTripAnyPath)
{
    const URL file = URL::fileURL("/t/a b#c");
    EXPECT_EQ(file.absoluteString(), "file:///t/a%20b%23c");
    EXPECT_TRUE(file.isFileURL());
    EXPECT_EQ(file.filePath(), "/t/a b#c");

    EXPECT_EQ(URL::fileURL("/t/d", true).absoluteString(), "file:///t/d/");
    EXPECT_EQ(URL::fileURL("/t/d/", true).absoluteString(), "file:///t/d/");
    EXPECT_EQ(URL::fileURL("/", true).filePath(), "/");
    EXPECT_TRUE(parsedURL("FILE:///x").isFileURL());
    EXPECT_FALSE(parsedURL("http://h/x").isFileURL());
    EXPECT_EQ(parsedURL("http://h/x").filePath(), "");

    // Names on disk need not be UTF-8; their bytes come back unchanged.
    for (std::string_view path : { "/a?b;c=d&e+f$g,h@i:j", "/x/%41", "/\xff\xfe", "//twice", "/é/𝄞 ~" }) {
        const URL u = URL::fileURL(path);
        EXPECT_EQ(u.filePath(), path) << u.absoluteString();
        EXPECT_EQ(URL::parse(u.absoluteString()), u);
    }

    const URL relative = URL::fileURL("rel");
    EXPECT_TRUE(relative.filePath().starts_with("/"));
    EXPECT_TRUE(relative.filePath().ends_with("/rel"));
}

TEST(URLTest, EqualityFollowsTextAndBase)
{
    const URL base = parsedURL("http://h/");
    const auto relative = URL::parse("a", base);
    ASSERT_TRUE(relative);
    EXPECT_NE(*relative, parsedURL("a"));
    EXPECT_NE(*relative, parsedURL("http://h/a"));
    EXPECT_EQ(*relative, *URL::parse("a", base));
    EXPECT_NE(parsedURL("http://h/A"), parsedURL("http://h/a"));
    const std::unordered_set<URL> set { *relative, parsedURL("a"), *URL::parse("a", base) };
    EXPECT_EQ(set.size(), 2u);
}

TEST(PercentEscapeTest, EscapesByComponent)
{
    EXPECT_EQ(core::percentEscape("a b/é%#"), "a%20b/%C3%A9%25%23");
    EXPECT_EQ(core::percentEscape("a?b=c&d", core::EscapeSet::Path), "a%3Fb=c&d");
    EXPECT_EQ(core::percentEscape("a?b=c&d/e#", core::EscapeSet::Query), "a?b=c&d/e%23");
    EXPECT_EQ(core::percentEscape("a b&c=d/e+~", core::EscapeSet::Component), "a%20b%26c%3Dd%2Fe%2B~");
    EXPECT_EQ(core::percentEscape(std::string_view("\0\n\x7f\xff", 4)), "%00%0A%7F%FF");
    EXPECT_EQ(core::percentEscape("[::1]", core::EscapeSet::Host), "%5B%3A%3A1%5D");

    EXPECT_EQ(core::percentUnescape("a%20b/%C3%a9%25%23"), "a b/é%#");
    EXPECT_EQ(core::percentUnescape("a+b"), "a+b");
    EXPECT_EQ(core::percentUnescape(""), "");
    for (std::string_view bad : { "%", "%2", "a%2", "%g0", "%0g", "%FF", "%C3", "%ED%A0%80", "%C0%AF" })
        EXPECT_FALSE(core::percentUnescape(bad)) << bad;
    EXPECT_EQ(core::percentUnescapeBytes("%FF%00"), std::string("\xff\0", 2));
    EXPECT_FALSE(core::percentUnescapeBytes("%F"));
}

} // namespace

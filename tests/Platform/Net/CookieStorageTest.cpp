#include "Platform/Core/URL.h"
#include "Platform/Net/CookieStorage.h"
#include "Platform/Net/CredentialStorage.h"

#include "Support/TestCase.h"

#include <curl/curl.h>

#include <algorithm>

using core::URL;
using net::CookieStorage;
using net::CredentialStorage;

namespace {

class CookieStorageTest : public test::TestCase { };

std::vector<std::string> names(const std::vector<CookieStorage::Cookie>& cookies)
{
    std::vector<std::string> result;
    for (const auto& cookie : cookies)
        result.push_back(cookie.name);
    std::sort(result.begin(), result.end());
    return result;
}

TEST_F(CookieStorageTest, SetListMatchAndDelete)
{
    auto& storage = CookieStorage::shared();
    EXPECT_TRUE(storage.cookies().empty());

    const auto cookie = [](std::string name, std::string value, std::string domain, std::string path = "/") {
        CookieStorage::Cookie made;
        made.name = std::move(name);
        made.value = std::move(value);
        made.domain = std::move(domain);
        made.path = std::move(path);
        return made;
    };
    CookieStorage::Cookie session = cookie("sid", "abc", "example.com");
    CookieStorage::Cookie domain = cookie("pref", "1", ".example.com", "/docs");
    domain.expiresDate = core::Date::fromUnixTime(4102444800); // 2100
    domain.isSecure = true;
    domain.isHTTPOnly = true;
    CookieStorage::Cookie expired = cookie("old", "x", "example.com");
    expired.expiresDate = core::Date::fromUnixTime(1000000000);
    ASSERT_TRUE(storage.setCookie(session));
    ASSERT_TRUE(storage.setCookie(domain));
    storage.setCookie(expired);

    auto all = storage.cookies();
    ASSERT_EQ(names(all), (std::vector<std::string> { "pref", "sid" }));
    const auto stored = *std::find_if(all.begin(), all.end(), [](auto& c) { return c.name == "pref"; });
    EXPECT_EQ(stored, domain);

    auto match = [&](std::string_view url) { return names(storage.cookiesForURL(URL::parse(url).value())); };
    EXPECT_EQ(match("https://www.example.com/docs/a"), (std::vector<std::string> { "pref" }));
    EXPECT_EQ(match("https://example.com/docs"), (std::vector<std::string> { "pref", "sid" }));
    EXPECT_EQ(match("http://example.com/docs/a"), (std::vector<std::string> { "sid" })); // secure needs https
    EXPECT_EQ(match("https://example.com/docsx"), (std::vector<std::string> { "sid" }));
    EXPECT_EQ(match("https://notexample.com/docs"), (std::vector<std::string> {}));

    // Setting again replaces; deleting one keeps the other.
    session.value = "def";
    storage.setCookie(session);
    EXPECT_EQ(storage.cookies().size(), 2u);
    storage.deleteCookie(domain);
    all = storage.cookies();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].value, "def");

    // Fields that would break the jar's lines are refused.
    EXPECT_FALSE(storage.setCookie(cookie("bad", "a\tb", "example.com")));
    EXPECT_FALSE(storage.setCookie(cookie("bad", "a\nb", "example.com")));
    EXPECT_FALSE(storage.setCookie(cookie("", "v", "example.com")));
    EXPECT_FALSE(storage.setCookie(cookie("n", "v", "")));
    EXPECT_FALSE(storage.setCookie(cookie("n", "v", "#HttpOnly_x")));
    EXPECT_FALSE(storage.setCookie(cookie("n", "v", "example.com", "")));
    EXPECT_EQ(storage.cookies().size(), 1u);

    storage.deleteAllCookiesForTesting();
    EXPECT_TRUE(storage.cookies().empty());
}

TEST_F(CookieStorageTest, WhatTheJarsLinesCannotHoldIsRefused)
{
    auto& storage = CookieStorage::shared();
    const auto cookie = [](std::string domain, std::string path) {
        CookieStorage::Cookie made;
        made.name = "n";
        made.value = "v";
        made.domain = std::move(domain);
        made.path = std::move(path);
        return made;
    };
    // "TRUE" and "FALSE" in the path field read as an older layout's flag,
    // and a leading ".." lost a dot: both came back as another cookie.
    EXPECT_FALSE(storage.setCookie(cookie("example.com", "FALSE")));
    EXPECT_FALSE(storage.setCookie(cookie("example.com", "TRUE")));
    EXPECT_FALSE(storage.setCookie(cookie("example.com", "docs/")));
    EXPECT_FALSE(storage.setCookie(cookie("..example.com", "/")));
    EXPECT_FALSE(storage.setCookie(cookie("a..example.com", "/")));
    EXPECT_TRUE(storage.cookies().empty());

    const auto kept = cookie(".example.com", "/docs");
    ASSERT_TRUE(storage.setCookie(kept));
    EXPECT_EQ(storage.cookies(), (std::vector<CookieStorage::Cookie> { kept }));

    // A server's relative path is sent for "/", and is read so.
    auto share = storage.shareHandle();
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_SHARE, share.get());
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(easy, CURLOPT_COOKIELIST, "Set-Cookie: s=1; domain=example.com; path=FALSE");
    curl_easy_cleanup(easy);
    auto all = storage.cookies();
    auto server = std::find_if(all.begin(), all.end(), [](auto& c) { return c.name == "s"; });
    ASSERT_NE(server, all.end());
    EXPECT_EQ(server->path, "/");
    EXPECT_EQ(names(storage.cookiesForURL(URL::parse("http://example.com/other").value())), (std::vector<std::string> { "s" }));
}

TEST_F(CookieStorageTest, CredentialsByProtectionSpace)
{
    auto& storage = CredentialStorage::shared();
    storage.setCredential({ "a", "1" }, { "https", "Host.test", 443, "One" });
    storage.setCredential({ "b", "2" }, { "https", "host.test", 443, "Two" });
    storage.setCredential({ "c", "3" }, { "http", "host.test", 8080, "One" });

    auto forURL = [&](std::string_view url) { return storage.credentialForURL(URL::parse(url).value()); };
    // The latest of the realms for scheme, host and port; default ports count.
    EXPECT_EQ(forURL("https://HOST.test/x")->user, "b");
    EXPECT_EQ(forURL("https://host.test:443/x")->user, "b");
    EXPECT_EQ(forURL("http://host.test:8080/")->user, "c");
    EXPECT_FALSE(forURL("http://host.test/"));
    EXPECT_FALSE(forURL("https://other.test/"));

    // Setting a space again makes it the latest.
    storage.setCredential({ "a", "new" }, { "https", "host.test", 443, "One" });
    EXPECT_EQ(forURL("https://host.test/")->password, "new");
    EXPECT_EQ(storage.credential({ "https", "host.test", 443, "One" })->password, "new");
}

} // namespace

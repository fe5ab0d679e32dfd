#include "WebDAVServerTestCase.h"

#include "Kit/HTTPDates.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVPreconditions.h"

namespace {

using test::RawClient;

class WebDAVPreconditionsTest : public test::WebDAVServerTestCase {
protected:
    void TearDown() override
    {
        WebDAVLockManager::sharedManager()->removeAllLocks();
        WebDAVServerTestCase::TearDown();
    }
    // The entity tag GET gives the item, quotes included.
    std::string etag(const std::string& path)
    {
        std::string head = curl({ "-I", url(path) });
        size_t at = head.find("Etag: ");
        EXPECT_NE(at, std::string::npos) << head;
        return at == std::string::npos ? std::string() : head.substr(at + 6, head.find('\r', at) - at - 6);
    }
    // The method with the headers (and a body); answers the status.
    std::string send(const std::string& method, const std::string& path, std::vector<std::string> headers,
        const std::string& body = {})
    {
        std::vector<std::string> arguments { "-X", method };
        for (const auto& header : headers)
            arguments.insert(arguments.end(), { "-H", header });
        if (!body.empty())
            arguments.insert(arguments.end(), { "-H", "Content-Type: text/xml", "--data-binary", body });
        arguments.push_back(url(path));
        return code(curl(arguments));
    }
    std::string put(const std::string& path, const std::string& body, std::vector<std::string> headers)
    {
        std::vector<std::string> arguments { "-X", "PUT", "--data-binary", body };
        for (const auto& header : headers)
            arguments.insert(arguments.end(), { "-H", header });
        arguments.push_back(url(path));
        return code(curl(arguments));
    }
};

TEST_F(WebDAVPreconditionsTest, EntityTagListsCompareStronglyForMatchAndWeaklyForNoneMatch)
{
    EXPECT_TRUE(WebDAVPreconditions::listMatches(" * ", "1a-05-3e8", false));
    EXPECT_TRUE(WebDAVPreconditions::listMatches("\"x\", \"1a-05-3e8\"", "1a-05-3e8", false));
    EXPECT_TRUE(WebDAVPreconditions::listMatches("\"a,b\",\"1a-05-3e8\"", "1a-05-3e8", false));
    EXPECT_FALSE(WebDAVPreconditions::listMatches("W/\"1a-05-3e8\"", "1a-05-3e8", false));
    EXPECT_TRUE(WebDAVPreconditions::listMatches("W/\"1a-05-3e8\"", "1a-05-3e8", true));
    for (const char* broken : { "1a-05-3e8", "\"1a-05-3e8", "w/\"1a-05-3e8\"", "", "**" })
        EXPECT_FALSE(WebDAVPreconditions::listMatches(broken, "1a-05-3e8", true)) << broken;
}

TEST_F(WebDAVPreconditionsTest, UploadsReplaceOnlyTheVersionTheClientNames)
{
    std::string path = makeFile("site/Library/Documents/a.txt", "theirs");
    std::string current = etag("/Documents/a.txt");
    std::string stale = "\"" + current.substr(1, current.size() - 2) + "0\"";

    for (const std::string& header : std::vector<std::string> { "If-Match: " + stale, "If-Match: W/" + current,
             "If-None-Match: *", "If-None-Match: " + stale + ", W/" + current,
             "If-Unmodified-Since: Sun, 06 Nov 1994 08:49:37 GMT" })
        EXPECT_EQ(put("/Documents/a.txt", "mine", { header }), "412") << header;
    EXPECT_EQ(readFile(path), "theirs");
    EXPECT_EQ(put("/Documents/new.txt", "x", { "If-Match: *" }), "412");
    EXPECT_FALSE(core::fs::exists(documents + "/new.txt"));

    EXPECT_EQ(put("/Documents/a.txt", "mine", { "If-Match: " + stale + ", " + current }), "201");
    EXPECT_EQ(readFile(path), "mine");
    EXPECT_EQ(put("/Documents/a.txt", "again", { "If-Match: *", "If-None-Match: " + stale }), "201");
    EXPECT_EQ(put("/Documents/a.txt", "later",
                  { "If-Unmodified-Since: " + std::string("Fri, 01 Jan 2100 00:00:00 GMT") }), "201");
    EXPECT_EQ(put("/Documents/new.txt", "x", { "If-None-Match: *" }), "201");
    EXPECT_EQ(put("/Documents/new.txt", "y", { "If-None-Match: *" }), "412");
    EXPECT_EQ(readFile(documents + "/new.txt"), "x");
    // A date that is no date is no condition.
    EXPECT_EQ(put("/Documents/new.txt", "z", { "If-Unmodified-Since: yesterday" }), "201");
}

TEST_F(WebDAVPreconditionsTest, AFileChangedWhileTheBodyCameInIsKept)
{
    std::string path = makeFile("site/Library/Documents/a.txt", "first");
    std::string current = etag("/Documents/a.txt");
    RawClient client(server->port());
    client.send("PUT /Documents/a.txt HTTP/1.1\r\nHost: h\r\nContent-Length: 4\r\nExpect: 100-continue\r\nIf-Match: "
        + current + "\r\n\r\n");
    client.readUntil("100 Continue");
    makeFile("site/Library/Documents/a.txt", "someone else's");
    client.send("mine");
    client.readUntil("\r\n\r\n", 2);
    EXPECT_NE(client.received().find("HTTP/1.1 412 Precondition Failed\r\n"), std::string::npos) << client.received();
    EXPECT_EQ(readFile(path), "someone else's");
}

TEST_F(WebDAVPreconditionsTest, EveryOtherChangeIsGuardedToo)
{
    makeFile("site/Library/Documents/a.txt", "alpha");
    makeFile("site/Library/Documents/b.txt", "beta");
    const std::string stale = "If-Match: \"0-00-00\"";
    const std::string props = "<?xml version=\"1.0\"?><D:propertyupdate xmlns:D=\"DAV:\" xmlns:Z=\"http://ex/ns\">"
                              "<D:set><D:prop><Z:color>red</Z:color></D:prop></D:set></D:propertyupdate>";
    const std::string lock = "<?xml version=\"1.0\"?><D:lockinfo xmlns:D=\"DAV:\"><D:lockscope><D:exclusive/></D:lockscope>"
                             "<D:locktype><D:write/></D:locktype></D:lockinfo>";
    EXPECT_EQ(send("DELETE", "/Documents/a.txt", { stale }), "412");
    EXPECT_EQ(send("MOVE", "/Documents/a.txt", { stale, "Destination: " + url("/Documents/c.txt") }), "412");
    EXPECT_EQ(send("COPY", "/Documents/a.txt", { "If-None-Match: *", "Destination: " + url("/Documents/b.txt") }), "412");
    EXPECT_EQ(send("PROPPATCH", "/Documents/a.txt", { stale }, props), "412");
    EXPECT_EQ(send("MKCOL", "/Documents/folder", { "If-Match: *" }), "412");
    EXPECT_EQ(send("LOCK", "/Documents/a.txt", { stale }, lock), "412");
    EXPECT_EQ(readFile(documents + "/a.txt"), "alpha");
    EXPECT_EQ(readFile(documents + "/b.txt"), "beta");
    EXPECT_FALSE(core::fs::exists(documents + "/c.txt"));
    EXPECT_FALSE(core::fs::exists(documents + "/folder"));
    EXPECT_TRUE(WebDAVLockManager::sharedManager()->locksForURI(*core::URL::parse("/Documents/a.txt")).empty());
    EXPECT_EQ(curl({ "-X", "PROPFIND", "-H", "Depth: 0", url("/Documents/a.txt") }).find("color"), std::string::npos);

    EXPECT_EQ(send("COPY", "/Documents/a.txt", { "If-None-Match: *", "Destination: " + url("/Documents/c.txt") }), "201");
    EXPECT_EQ(send("PROPPATCH", "/Documents/a.txt", { "If-Match: " + etag("/Documents/a.txt") }, props), "207");
    EXPECT_EQ(send("LOCK", "/Documents/a.txt", { "If-Match: " + etag("/Documents/a.txt") }, lock), "200");
    WebDAVLockManager::sharedManager()->removeAllLocks();
    EXPECT_EQ(send("MOVE", "/Documents/a.txt", { "If-Match: " + etag("/Documents/a.txt"), "Destination: " + url("/Documents/d.txt") }),
        "201");
    EXPECT_EQ(send("DELETE", "/Documents/b.txt", { "If-Match: " + etag("/Documents/b.txt") }), "204");
    EXPECT_EQ(send("MKCOL", "/Documents/folder", { "If-None-Match: *" }), "201");
}

} // namespace

#include "WebDAVServerTestCase.h"

#include "Kit/XML/CXMLDocument.h"
#include "Platform/Core/FileSystem.h"
#include "WebDAV/CXMLDocumentWebDAVResponseExtensions.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVLockResponse.h"
#include "WebDAV/WebDAVPropFindResponse.h"
#include "WebDAV/WebDAVUnlockResponse.h"

#include <fstream>
#include <sstream>

namespace {

using test::makeRequest;

std::string lockInfo(std::string_view scope = "exclusive", std::string_view owner = "<D:href>mailto:me</D:href>",
    std::string_view type = "write")
{
    return fmt::format("<?xml version=\"1.0\"?><D:lockinfo xmlns:D=\"DAV:\"><D:lockscope><D:{}/></D:lockscope>"
                       "<D:locktype><D:{}/></D:locktype><D:owner>{}</D:owner></D:lockinfo>",
        scope, type, owner);
}

class WebDAVLockResponseTest : public test::FakeDelegateTestCase {
protected:

    std::shared_ptr<WebDAVResponse> run(std::string_view method, std::string_view target, std::string headers = {},
        std::string_view body = {})
    {
        auto request = makeRequest(method, target, headers, body);
        std::shared_ptr<WebDAVResponse> response;
        if (method == "LOCK")
            response = WebDAVLockResponse::create(request, delegate.get());
        else if (method == "UNLOCK")
            response = WebDAVUnlockResponse::create(request, delegate.get());
        else
            response = WebDAVPropFindResponse::create(request, delegate.get());
        return startOnce(response);
    }
    int status(std::string_view method, std::string_view target, std::string headers = {}, std::string_view body = {})
    {
        return run(method, target, std::move(headers), body)->statusCode();
    }
    // The texts the expression selects in the answer's body.
    static std::vector<std::string> texts(const WebDAVResponse& response, std::string_view xpath)
    {
        std::vector<std::string> out;
        auto document = CXMLDocument::initWithData(response.body(), 0);
        if (!document)
            return out;
        for (const auto& node : document->nodesForXPath(xpath, DAVNamespaceMapping()).value_or(CXMLNode::NodeList {}))
            out.push_back(node->stringValue().value_or(""));
        return out;
    }
    static std::string tokenOf(const WebDAVResponse& response)
    {
        auto header = response.headerForKey("Lock-Token").value_or("");
        return header.size() > 18 ? header.substr(17, header.size() - 18) : std::string();
    }
    size_t lockCount(std::string_view uri) const
    {
        return WebDAVLockManager::sharedManager()->locksForURI(URLWithPath(uri)).size();
    }

};

TEST_F(WebDAVLockResponseTest, LocksMissingAndExistingItemsAndRefreshes)
{
    makeFile("root/d/f", "contents");
    auto created = run("LOCK", "/d/new", "Depth: 0\r\nTimeout: Second-600\r\n", lockInfo());
    EXPECT_EQ(created->statusCode(), 201);
    EXPECT_EQ(delegate->lastEnd, WebDAVResponseEnd::KeepOpen);
    EXPECT_FALSE(core::fs::exists(local("/d/new")));
    std::string token = tokenOf(*created);
    ASSERT_FALSE(token.empty());
    EXPECT_EQ(created->headerForKey("Lock-Token"), "<opaquelocktoken:" + token + ">");
    EXPECT_EQ(created->headerForKey("Content-Type"), "text/xml; charset=\"utf-8\"");
    const std::string active = "/D:prop/D:lockdiscovery/D:activelock/";
    EXPECT_EQ(texts(*created, active + "D:locktoken/D:href"), std::vector<std::string> { "opaquelocktoken:" + token });
    EXPECT_EQ(texts(*created, active + "D:timeout"), std::vector<std::string> { "Infinite" });
    EXPECT_EQ(texts(*created, active + "D:owner"), std::vector<std::string> { "mailto:me" });
    EXPECT_EQ(texts(*created, active + "D:depth"), std::vector<std::string> { "0" });
    EXPECT_EQ(texts(*created, active + "D:lockscope/D:exclusive").size(), 1u);

    // The lock-null item is listed, as what it is.
    auto listing = run("PROPFIND", "/d/", "Depth: 1\r\n");
    EXPECT_EQ(texts(*listing, "//D:response/D:href"), (std::vector<std::string> { "/d/", "/d/f", "/d/new" }));

    auto existing = run("LOCK", "/d/f", "", lockInfo("shared"));
    EXPECT_EQ(existing->statusCode(), 200);
    EXPECT_EQ(texts(*existing, active + "D:depth"), std::vector<std::string> { "infinity" });
    std::string fileToken = tokenOf(*existing);

    // A refresh names the lock in its If header and gets it back unchanged.
    auto refreshed = run("LOCK", "/d/f", "If: (<opaquelocktoken:" + fileToken + ">)\r\nTimeout: Second-5\r\n");
    EXPECT_EQ(refreshed->statusCode(), 200);
    EXPECT_EQ(tokenOf(*refreshed), fileToken);
    EXPECT_EQ(texts(*refreshed, active + "D:timeout"), std::vector<std::string> { "Infinite" });
    EXPECT_EQ(lockCount("/d/f"), 1u);
    EXPECT_EQ(status("LOCK", "/d/new", "If: <http://dav.test/d/new> (<opaquelocktoken:" + token + ">)\r\n"), 201);

    auto unknown = run("LOCK", "/d/f", "If: (<opaquelocktoken:" + token + ">)\r\n");
    EXPECT_EQ(unknown->statusLine(), "HTTP/1.1 412 Precondition Failed - unknown lock");
    EXPECT_EQ(delegate->lastEnd, WebDAVResponseEnd::Close);
    EXPECT_EQ(status("LOCK", "/d/f"), 412);
    EXPECT_EQ(status("LOCK", "/d/f", "If: (<opaquelocktoken:" + fileToken + ">\r\n"), 400);
    EXPECT_EQ(lockCount("/d/f"), 1u);
}

TEST_F(WebDAVLockResponseTest, RefusesMalformedRequests)
{
    makeFile("root/d/f");
    EXPECT_EQ(status("LOCK", "/d/f", "Depth: 1\r\n", lockInfo()), 400);
    EXPECT_EQ(delegate->lastEnd, WebDAVResponseEnd::Close);
    EXPECT_EQ(status("LOCK", "/d/f", "", "<D:lockinfo xmlns:D=\"DAV:\">"), 400);
    EXPECT_TRUE(logContains("Warning, LOCK document error:"));
    EXPECT_EQ(status("LOCK", "/d/f", "", lockInfo("foo")), 400);
    EXPECT_EQ(status("LOCK", "/d/f", "", lockInfo("exclusive", "me", "read")), 400);
    // A scope or a type that is missing.
    EXPECT_EQ(status("LOCK", "/d/f", "",
                  "<?xml version=\"1.0\"?><D:lockinfo xmlns:D=\"DAV:\"><D:locktype><D:write/></D:locktype></D:lockinfo>"),
        400);
    EXPECT_EQ(status("LOCK", "/d/f", "",
                  "<?xml version=\"1.0\"?><D:lockinfo xmlns:D=\"DAV:\"><D:lockscope><D:shared/></D:lockscope></D:lockinfo>"),
        400);
    EXPECT_EQ(status("LOCK", "/d/f", "", "<?xml version=\"1.0\"?><D:other xmlns:D=\"DAV:\"/>"), 400);
    EXPECT_EQ(lockCount("/d/f"), 0u);

    auto orphan = run("LOCK", "/missing/f", "", lockInfo());
    EXPECT_EQ(orphan->statusLine(), "HTTP/1.1 412 Precondition Failed - invalid parent URI");
    EXPECT_EQ(status("LOCK", "/d/f", "Depth: Infinity\r\n", lockInfo()), 200);
}

// Many clients send no owner at all: the lock is granted, shows no owner, and
// is refreshed, used and released like any other.
TEST_F(WebDAVLockResponseTest, GrantsLocksWithoutAnOwner)
{
    makeFile("root/d/f");
    makeFile("root/d/g");
    const std::string active = "/D:prop/D:lockdiscovery/D:activelock/";
    const std::string noOwner = "<?xml version=\"1.0\" encoding=\"utf-8\"?><lockinfo xmlns=\"DAV:\">"
                                "<lockscope><exclusive/></lockscope><locktype><write/></locktype></lockinfo>";
    auto granted = run("LOCK", "/d/f", "", noOwner);
    EXPECT_EQ(granted->statusCode(), 200);
    std::string token = tokenOf(*granted);
    ASSERT_FALSE(token.empty());
    EXPECT_EQ(texts(*granted, active + "D:locktoken/D:href").size(), 1u);
    EXPECT_TRUE(texts(*granted, active + "D:owner").empty());
    EXPECT_EQ(texts(*run("PROPFIND", "/d/f", "Depth: 0\r\n"), "//D:activelock/D:owner").size(), 0u);

    auto refreshed = run("LOCK", "/d/f", "If: (<opaquelocktoken:" + token + ">)\r\n");
    EXPECT_EQ(refreshed->statusCode(), 200);
    EXPECT_EQ(tokenOf(*refreshed), token);
    EXPECT_EQ(status("LOCK", "/d/f", "", noOwner), 423);
    EXPECT_EQ(status("UNLOCK", "/d/f", "Lock-Token: <opaquelocktoken:" + token + ">\r\n"), 204);
    EXPECT_EQ(lockCount("/d/f"), 0u);

    // Empty owners (and one holding only blanks or an empty href) name
    // nobody: two such shared locks are not "the same owner".
    for (std::string_view owner : { "", "  ", "<D:href/>" })
        EXPECT_EQ(status("LOCK", "/d/g", "", lockInfo("shared", owner)), 200) << owner;
    EXPECT_EQ(lockCount("/d/g"), 3u);
    EXPECT_EQ(status("LOCK", "/d/g", "", lockInfo("shared", "<D:href>mailto:me</D:href>")), 200);
    EXPECT_EQ(status("LOCK", "/d/g", "", lockInfo("shared", "<D:href>mailto:me</D:href>")), 412);
}

TEST_F(WebDAVLockResponseTest, ReportsConflictsOnTheURIAndBelow)
{
    makeFile("root/d/f");
    ASSERT_EQ(status("LOCK", "/d/f", "", lockInfo()), 200);
    auto taken = run("LOCK", "/d/f", "", lockInfo("exclusive", "other"));
    EXPECT_EQ(taken->statusLine(), "HTTP/1.1 423 Locked");
    EXPECT_EQ(delegate->lastEnd, WebDAVResponseEnd::Close);

    makeFile("root/top/mid/deep.txt");
    makeFile("root/top/free.txt");
    ASSERT_EQ(status("LOCK", "/top/mid/deep.txt", "Depth: 0\r\n", lockInfo()), 200);
    auto refused = run("LOCK", "/top/", "", lockInfo("exclusive", "other"));
    EXPECT_EQ(refused->statusCode(), 207);
    EXPECT_EQ(delegate->lastEnd, WebDAVResponseEnd::KeepOpen);
    EXPECT_EQ(texts(*refused, "//D:response/D:href"), (std::vector<std::string> { "/top/mid/deep.txt", "/top/" }));
    EXPECT_EQ(texts(*refused, "//D:response/D:status"), std::vector<std::string> { "HTTP/1.1 423 Locked" });
    EXPECT_EQ(texts(*refused, "//D:response/D:propstat/D:status"),
        std::vector<std::string> { "HTTP/1.1 424 Failed Dependency" });
    EXPECT_EQ(texts(*refused, "//D:propstat/D:prop/D:lockdiscovery"), std::vector<std::string> { "" });
    EXPECT_EQ(lockCount("/top"), 0u);
    // A depth-0 request is not concerned with the members.
    EXPECT_EQ(status("LOCK", "/top/", "Depth: 0\r\n", lockInfo()), 200);
}

TEST_F(WebDAVLockResponseTest, UnlocksByTokenOnTheLockedURIOnly)
{
    makeFile("root/d/f");
    std::string token = tokenOf(*run("LOCK", "/d/f", "", lockInfo()));
    EXPECT_EQ(status("UNLOCK", "/d/f", "Lock-Token: <opaquelocktoken:" + token + ">\r\n"), 204);
    EXPECT_EQ(delegate->lastEnd, WebDAVResponseEnd::KeepOpen);
    EXPECT_EQ(lockCount("/d/f"), 0u);
    token = tokenOf(*run("LOCK", "/d/f", "", lockInfo()));
    EXPECT_EQ(status("UNLOCK", "/d/f", "Lock-Token: <opaquelocktoken:00000000-0000>\r\n"), 404);
    EXPECT_EQ(delegate->lastEnd, WebDAVResponseEnd::Close);
    EXPECT_EQ(status("UNLOCK", "/d/f"), 400);
    EXPECT_EQ(status("UNLOCK", "/d/f", "Lock-Token: <" + token + ">\r\n"), 400);
    EXPECT_EQ(status("UNLOCK", "/d/f", "Lock-Token: OpaqueLockToken:" + token + "\r\n"), 204);

    // The lock-null item goes with its lock.
    std::string nullToken = tokenOf(*run("LOCK", "/d/new", "", lockInfo()));
    EXPECT_EQ(status("UNLOCK", "/d/new", "Lock-Token: opaquelocktoken:" + nullToken + "\r\n"), 204);
    EXPECT_EQ(status("PROPFIND", "/d/new", "Depth: 0\r\n"), 404);

    // A folder's infinity lock is removed on the folder, not on a member.
    makeFile("root/top/m.txt");
    std::string folderToken = tokenOf(*run("LOCK", "/top/", "", lockInfo()));
    EXPECT_EQ(status("UNLOCK", "/top/m.txt", "Lock-Token: <opaquelocktoken:" + folderToken + ">\r\n"), 404);
    EXPECT_EQ(lockCount("/top/m.txt"), 1u);
    EXPECT_EQ(status("UNLOCK", "/top", "Lock-Token: <opaquelocktoken:" + folderToken + ">\r\n"), 204);
}

class WebDAVLockServerTest : public test::WebDAVServerTestCase { };

TEST_F(WebDAVLockServerTest, ClientsLockWriteAndUnlockOverTheWire)
{
    std::string path = makeFile("site/Library/Documents/f.txt", "mine");
    std::string answer = curl({ "-X", "LOCK", "-D", "-", "-H", "Content-Type: text/xml", "--data-binary", lockInfo(),
        url("/Documents/f.txt") });
    EXPECT_EQ(code(answer), "200");
    size_t at = answer.find("Lock-Token: <opaquelocktoken:");
    ASSERT_NE(at, std::string::npos) << answer;
    size_t start = at + 29;
    std::string token = answer.substr(start, answer.find('>', start) - start);

    // Another client's negated guess no longer passes the lock.
    std::string body = makeFile("upload.bin", "theirs");
    auto put = [&](const std::string& ifHeader) {
        return code(curl({ "-X", "PUT", "--data-binary", "@" + body, "-H", "If: " + ifHeader, url("/Documents/f.txt") }));
    };
    EXPECT_EQ(put("(Not <opaquelocktoken:x>)"), "423");
    EXPECT_EQ(put("(<opaquelocktoken:" + token + "x>) (Not <DAV:no-lock>)"), "423");
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(), "mine");
    EXPECT_EQ(put("(<opaquelocktoken:" + token + ">) (Not <DAV:no-lock>)"), "201");

    EXPECT_EQ(code(curl({ "-X", "UNLOCK", "-H", "Lock-Token: " + token, url("/Documents/f.txt") })), "400");
    EXPECT_EQ(code(curl({ "-X", "UNLOCK", "-H", "Lock-Token: <opaquelocktoken:" + token + ">", url("/Documents/f.txt") })),
        "204");
    EXPECT_TRUE(WebDAVLockManager::sharedManager()->locksForURI(URLWithPath("/Documents/f.txt")).empty());
}

} // namespace

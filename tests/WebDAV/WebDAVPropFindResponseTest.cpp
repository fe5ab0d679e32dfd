#include "WebDAVTestCase.h"

#include "Kit/FileManagerExtendedAttributes.h"
#include "Kit/XML/CXMLDocument.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Support/Command.h"
#include "Support/Python.h"
#include "WebDAV/CXMLDocumentWebDAVResponseExtensions.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVPropFindResponse.h"
#include "WebDAV/WebDAVPropPatchResponse.h"

#include <sys/stat.h>
#include <unistd.h>

#include <thread>

namespace {

using test::makeRequest;
using test::WebDAVTestCase;

struct Bare : WebDAVResponse {
    Bare(std::shared_ptr<HTTPMessageRequest> request, WebDAVResponseDelegate* delegate)
        : WebDAVResponse(std::move(request), delegate)
    {
    }
    void start() override { }
};

const std::string PropfindProp = "<?xml version=\"1.0\"?><D:propfind xmlns:D=\"DAV:\"><D:prop>";

class WebDAVPropFindResponseTest : public test::FakeDelegateTestCase {
protected:

    std::shared_ptr<WebDAVResponse> run(std::string_view method, std::string_view target, std::string_view headers = {},
        std::string_view body = {})
    {
        auto request = makeRequest(method, target, headers, body);
        std::shared_ptr<WebDAVResponse> response;
        if (method == "PROPFIND")
            response = WebDAVPropFindResponse::create(request, delegate.get());
        else
            response = WebDAVPropPatchResponse::create(request, delegate.get());
        return startOnce(response);
    }
    static std::string body(const WebDAVResponse& response) { return std::string(response.body().view()); }
    // The hrefs of a 207 answer, in order.
    static std::vector<std::string> hrefs(const WebDAVResponse& response)
    {
        std::vector<std::string> out;
        auto document = CXMLDocument::initWithData(response.body(), 0);
        if (!document)
            return out;
        for (const auto& node : document->nodesForXPath("//D:response/D:href", DAVNamespaceMapping()).value_or(CXMLNode::NodeList {}))
            out.push_back(node->stringValue().value_or(""));
        return out;
    }

};

TEST_F(WebDAVPropFindResponseTest, ListsToTheRequestedDepth)
{
    // Members' dead properties are read from the folder the listing holds
    // open, at any depth.
    ASSERT_TRUE(xattrSetString("<A:c xmlns:A=\"urn:a\">1</A:c>", makeFile("root/Documents/a.txt", "a"),
        "com.kestrova.DAV.{urn:a}c"));
    ASSERT_TRUE(xattrSetString("<A:c xmlns:A=\"urn:a\">2</A:c>", makeFile("root/Documents/sub/b.txt", "b"),
        "com.kestrova.DAV.{urn:a}c"));
    auto response = run("PROPFIND", "/Documents/", "Depth: 1\r\n");
    EXPECT_EQ(response->statusCode(), 207);
    EXPECT_EQ(response->headerForKey("Content-Type"), "text/xml; charset=\"utf-8\"");
    EXPECT_FALSE(response->headerForKey("Location"));
    EXPECT_EQ(delegate->lastEnd, WebDAVResponseEnd::KeepOpen);
    EXPECT_EQ(hrefs(*response), (std::vector<std::string> { "/Documents/", "/Documents/a.txt", "/Documents/sub/" }));
    // Python's own parser reads the answer.
    EXPECT_EQ(test::runPython("import sys, xml.dom.minidom as m\n"
                              "d = m.parseString(sys.stdin.read() if False else open(sys.argv[1]).read())\n"
                              "print(len(d.getElementsByTagNameNS('DAV:', 'getetag')))",
                  { makeFile("answer.xml", body(*response)) }),
        "3\n");

    EXPECT_NE(body(*response).find("<A:c xmlns:A=\"urn:a\">1</A:c>"), std::string::npos);

    EXPECT_EQ(hrefs(*run("PROPFIND", "/Documents/", "Depth: 0\r\n")), std::vector<std::string> { "/Documents/" });
    auto deep = run("PROPFIND", "/Documents/");
    EXPECT_EQ(hrefs(*deep).size(), 4u);
    EXPECT_NE(body(*deep).find("<A:c xmlns:A=\"urn:a\">2</A:c>"), std::string::npos);
    EXPECT_EQ(hrefs(*run("PROPFIND", "/Documents/", "Depth: 2\r\n")).size(), 1u);

    // Named without its slash: answered for the folder, with its location.
    auto moved = run("PROPFIND", "/Documents", "Depth: 0\r\n");
    EXPECT_EQ(moved->headerForKey("Location"), "http://dav.test:8080/Documents/");

    auto missing = run("PROPFIND", "/nothing");
    EXPECT_EQ(missing->statusCode(), 404);
    EXPECT_EQ(delegate->lastEnd, WebDAVResponseEnd::Close);
}

TEST_F(WebDAVPropFindResponseTest, RequestKinds)
{
    std::string path = makeFile("root/f.txt", "x");
    ASSERT_TRUE(xattrSetString("<A:c xmlns:A=\"urn:a\">1</A:c>", path, "com.kestrova.DAV.{urn:a}c"));
    auto names = run("PROPFIND", "/f.txt", "", "<D:propfind xmlns:D=\"DAV:\"><D:propname/></D:propfind>");
    ASSERT_EQ(names->statusCode(), 207);
    std::string xml = body(*names);
    EXPECT_NE(xml.find("<D:getcontenttype/><A:c/></D:prop>"), std::string::npos) << xml;

    auto named = run("PROPFIND", "/f.txt", "", PropfindProp + "<D:getcontentlength/><D:nope/></D:prop></D:propfind>");
    xml = body(*named);
    EXPECT_NE(xml.find("<D:getcontentlength>1</D:getcontentlength>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<D:prop><D:nope/></D:prop><D:status>HTTP/1.1 404 Not Found"), std::string::npos) << xml;

    auto expectStatus = [&](std::string_view text, int status, std::string_view reason) {
        auto response = run("PROPFIND", "/f.txt", "", text);
        EXPECT_EQ(response->statusCode(), status) << text;
        EXPECT_EQ(response->statusLine(), "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason)) << text;
    };
    expectStatus("<x/>", 400, "Bad Request - invalid propfind element");
    expectStatus(PropfindProp + " text </D:prop></D:propfind>", 400, "Bad Request - prop must specify properties");
    expectStatus("<D:propfind xmlns:D=\"DAV:\"><D:other/></D:propfind>", 400, "Bad request - invalid propfind type");
    expectStatus("<D:propfind xmlns:D=\"DAV:\">", 400, "Bad Request");
    expectStatus("<bar:foo xmlns:bar=\"\"/>", 400, "Bad Request");
    expectStatus("<D:propfind xmlns:D=\"DAV:\"><q:prop/></D:propfind>", 400, "Bad Request");
    EXPECT_TRUE(logContains("Warning, CXMLDocument error:"));
    expectStatus("<!DOCTYPE d [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><D:propfind xmlns:D=\"DAV:\"><D:prop><D:x>&e;</D:x></D:prop></D:propfind>",
        207, "Multi-Status");
}

TEST_F(WebDAVPropFindResponseTest, CompanionFilesAreHiddenFromOneClientFamily)
{
    makeFile("root/d/a");
    makeFile("root/d/._a");
    makeFile("root/d/.DS_Store");
    std::string agent = "User-Agent: Microsoft-WebDAV-MiniRedir/10.0\r\n";
    EXPECT_EQ(hrefs(*run("PROPFIND", "/d/", "Depth: 1\r\n" + agent)), (std::vector<std::string> { "/d/", "/d/a" }));
    EXPECT_EQ(run("PROPFIND", "/d/._a", agent)->statusCode(), 404);
    EXPECT_EQ(run("PROPFIND", "/d/.DS_Store", agent)->statusCode(), 404);
    EXPECT_EQ(hrefs(*run("PROPFIND", "/d/", "Depth: 1\r\nUser-Agent: microsoft\r\n")).size(), 4u);
}

TEST_F(WebDAVPropFindResponseTest, LockNullResourcesAreListed)
{
    makeFolder("root/d");
    ASSERT_TRUE(WebDAVLockManager::sharedManager()->acquireWriteLockForURI(URLWithPath("/d/pending"), local("/d/pending"),
        "exclusive", "me", "0", "Infinite"));
    EXPECT_EQ(hrefs(*run("PROPFIND", "/d/", "Depth: 1\r\n")), (std::vector<std::string> { "/d/", "/d/pending" }));
    EXPECT_EQ(run("PROPFIND", "/d/pending", "Depth: 0\r\n")->statusCode(), 207);
}

class WebDAVPropPatchResponseTest : public WebDAVPropFindResponseTest {
protected:
    static std::string update(std::string_view inner)
    {
        return "<D:propertyupdate xmlns:D=\"DAV:\" xmlns:Z=\"http://ex/ns\">" + std::string(inner) + "</D:propertyupdate>";
    }
    static std::string statusOf(const std::string& xml, std::string_view property)
    {
        auto document = CXMLDocument::initWithXMLString(xml, 0);
        if (!document)
            return {};
        auto nodes = document->nodesForXPath("//D:propstat[D:prop/*[local-name()='" + std::string(property) + "']]/D:status",
            DAVNamespaceMapping());
        return nodes ? nodes->front()->stringValue().value_or("") : std::string();
    }
};

TEST_F(WebDAVPropPatchResponseTest, AllOrNothing)
{
    std::string path = makeFile("root/d/f.txt", "x");
    const std::string color = "com.kestrova.DAV.{http://ex/ns}color";
    auto refused = run("PROPPATCH", "/d/f.txt", "",
        update("<D:set><D:prop><Z:color>red</Z:color></D:prop></D:set><D:remove><D:prop><D:getetag/></D:prop></D:remove>"));
    ASSERT_EQ(refused->statusCode(), 207);
    EXPECT_EQ(statusOf(body(*refused), "getetag"), "HTTP/1.1 403 Forbidden");
    EXPECT_EQ(statusOf(body(*refused), "color"), "HTTP/1.1 424 Failed Dependency");
    EXPECT_FALSE(xattrDataForItemAtPath(path, color));

    // Success: stored, the item's quota updated, the folder told on the main thread.
    std::vector<WebDAVItemNews> updates;
    auto observation = core::NotificationCenter::defaultCenter().observe(WebDAVCollectionDidUpdateNotification, nullptr,
        [&](const WebDAVItemNews& item) {
            EXPECT_TRUE(core::Thread::isMainThread());
            updates.push_back(item);
        });
    auto done = run("PROPPATCH", "/d/f.txt", "",
        update("<D:set><D:prop><Z:color>red</Z:color></D:prop></D:set><D:remove><D:prop><Z:absent/></D:prop></D:remove>"));
    ASSERT_EQ(done->statusCode(), 207);
    EXPECT_EQ(statusOf(body(*done), "color"), "HTTP/1.1 200 OK");
    EXPECT_EQ(statusOf(body(*done), "absent"), "HTTP/1.1 200 OK");
    EXPECT_EQ(xattrStringForItemAtPath(path, color), "<Z:color xmlns:Z=\"http://ex/ns\">red</Z:color>");
    core::RunLoop::main().runUntilIdle();
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].path, local("/d"));
    EXPECT_EQ(updates[0].uri, "/d/");

    auto expectStatus = [&](std::string_view text, int status, std::string_view reason) {
        auto response = run("PROPPATCH", "/d/f.txt", "", text);
        EXPECT_EQ(response->statusLine(), "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason)) << text;
    };
    expectStatus("", 400, "Bad Request - body required");
    expectStatus(update("<D:set><D:prop/></D:set>"), 400, "Bad Request - No properties specified");
    expectStatus("not xml", 400, "Bad Request");
    EXPECT_EQ(run("PROPPATCH", "/d/none", "", update(""))->statusCode(), 404);

    // A locked file needs its token.
    auto lock = WebDAVLockManager::sharedManager()->acquireWriteLockForURI(URLWithPath("/d/f.txt"), path, "exclusive",
        "me", "0", "Infinite");
    std::string body = update("<D:set><D:prop><Z:color>blue</Z:color></D:prop></D:set>");
    expectStatus(body, 423, "Locked");
    auto allowed = run("PROPPATCH", "/d/f.txt", "If: (<opaquelocktoken:" + lock->lockToken() + ">)\r\n", body);
    EXPECT_EQ(allowed->statusCode(), 207);
    EXPECT_EQ(xattrStringForItemAtPath(path, color), "<Z:color xmlns:Z=\"http://ex/ns\">blue</Z:color>");
}

TEST_F(WebDAVPropPatchResponseTest, ValuesAreKeptOnlyAsTheyCanBeGivenBack)
{
    std::string path = makeFile("root/f.txt", "x");
    const std::string declared = "<?xml version=\"1.0\"?><!DOCTYPE D:propertyupdate [<!ENTITY e \"expanded\">]>";
    auto refused = run("PROPPATCH", "/f.txt", "",
        declared + update("<D:set><D:prop><Z:a>ok</Z:a><Z:b>&e;</Z:b></D:prop></D:set>"));
    EXPECT_EQ(refused->statusCode(), 400);
    EXPECT_FALSE(xattrDataForItemAtPath(path, "com.kestrova.DAV.{http://ex/ns}a"));
    EXPECT_FALSE(xattrDataForItemAtPath(path, "com.kestrova.DAV.{http://ex/ns}b"));

    // Escapes and character references are text: given back as given.
    auto kept = run("PROPPATCH", "/f.txt", "", update("<D:set><D:prop><Z:c>a &amp; b &lt; &#67;</Z:c></D:prop></D:set>"));
    EXPECT_EQ(statusOf(body(*kept), "c"), "HTTP/1.1 200 OK");
    auto found = run("PROPFIND", "/f.txt", "Depth: 0\r\n");
    EXPECT_EQ(found->statusCode(), 207);
    EXPECT_NE(body(*found).find(">a &amp; b &lt; C</"), std::string::npos) << body(*found);
    EXPECT_EQ(body(*found).find(" 500 "), std::string::npos) << body(*found);
}

TEST_F(WebDAVPropPatchResponseTest, StoreFailuresAreReportedAndUndone)
{
    std::string path = makeFile("root/f.txt", "x");
    const std::string first = "com.kestrova.DAV.{http://ex/ns}first";
    ASSERT_TRUE(xattrSetString("<Z:first xmlns:Z=\"http://ex/ns\">old</Z:first>", path, first));
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);

    // Too big for the file system: 507, and the updates before it undone.
    auto tooBig = run("PROPPATCH", "/f.txt", "",
        update("<D:set><D:prop><Z:first>new</Z:first><D:getlastmodified>Sun, 06 Nov 1994 08:49:37 GMT</D:getlastmodified>"
               "<Z:big>" + std::string(5000, 'v') + "</Z:big></D:prop></D:set>"));
    ASSERT_EQ(tooBig->statusCode(), 207);
    EXPECT_EQ(statusOf(body(*tooBig), "big"), "HTTP/1.1 507 Insufficient Storage");
    EXPECT_EQ(statusOf(body(*tooBig), "first"), "HTTP/1.1 424 Failed Dependency");
    EXPECT_EQ(xattrStringForItemAtPath(path, first), "<Z:first xmlns:Z=\"http://ex/ns\">old</Z:first>");
    struct stat after;
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtime, before.st_mtime);

    // A namespace too long for an attribute name.
    auto longName = run("PROPPATCH", "/f.txt", "",
        update("<D:set><D:prop><N:long xmlns:N=\"urn:" + std::string(300, 'n') + "\">v</N:long></D:prop></D:set>"));
    EXPECT_EQ(statusOf(body(*longName), "long"), "HTTP/1.1 507 Insufficient Storage");

    // Links keep no attributes here: refused.
    ASSERT_EQ(symlink(path.c_str(), local("/link").c_str()), 0);
    auto link = run("PROPPATCH", "/link", "", update("<D:set><D:prop><Z:first>v</Z:first></D:prop></D:set>"));
    EXPECT_EQ(statusOf(body(*link), "first"), "HTTP/1.1 403 Forbidden");
}

TEST_F(WebDAVPropFindResponseTest, ResponseBase)
{
    auto request = makeRequest("GET", "/x");
    EXPECT_EQ(WebDAVResponse::depthHeaderForRequest(*request), "infinity");
    EXPECT_EQ(WebDAVResponse::depthHeaderForRequest(*makeRequest("GET", "/x", "Depth: 0\r\n")), "0");

    auto bare = std::make_shared<Bare>(request, delegate.get());
    EXPECT_EQ(bare->statusCodeForImmutableURI(), 403);
    EXPECT_EQ(std::make_shared<Bare>(makeRequest("GET", "/x", "User-Agent: WebDAVFS/3.0\r\n"), delegate.get())->statusCodeForImmutableURI(), 401);

    // The collection update arrives on the main thread even from a worker.
    makeFolder("root/d");
    std::vector<bool> onMain;
    auto observation = core::NotificationCenter::defaultCenter().observe(WebDAVCollectionDidUpdateNotification, nullptr,
        [&](const core::Notification&) { onMain.push_back(core::Thread::isMainThread()); });
    auto folder = resource("/d");
    std::thread worker([&] { bare->postCollectionUpdateNotificationForResource(folder.get()); });
    worker.join();
    bare->postCollectionUpdateNotificationForResource(nullptr);
    EXPECT_TRUE(logContains("Warning, attempting to post collection notification for nil resource"));
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(onMain, std::vector<bool> { true });

    EXPECT_EQ(bare->parentForResource(*resource("/d"))->URI().relativeString(), "/");
    EXPECT_FALSE(bare->parentForResource(*resource("/")));
    bare->endResponseWithStatusCode(399);
    EXPECT_EQ(delegate->lastEnd, WebDAVResponseEnd::KeepOpen);
    bare->endResponseWithStatusCode(400);
    EXPECT_EQ(delegate->lastEnd, WebDAVResponseEnd::Close);
}

} // namespace

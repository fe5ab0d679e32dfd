#include "WebDAVServerTestCase.h"

#include "HTTP/HTTPServer.h"
#include "Kit/FileManagerExtendedAttributes.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "Support/ChildProcess.h"
#include "Support/Command.h"
#include "Support/TestEnvironment.h"
#include "WebDAV/WebDAVConnection.h"
#include "WebDAV/WebDAVCredentials.h"
#include "WebDAV/WebDAVLockManager.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

using test::FakeCredentials;
using test::RawClient;

class WebDAVConnectionTest : public test::WebDAVServerTestCase { };

TEST_F(WebDAVConnectionTest, OptionsNeedNoCredentials)
{
    protect();
    RawClient client(server->port());
    client.send("OPTIONS /Documents/anything HTTP/1.1\r\nHost: h\r\n\r\n");
    std::string answer = client.readUntil("\r\n\r\n");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\n")) << answer;
    for (const char* header : { "DAV: 1,2\r\n",
             "Allow: OPTIONS, PROPFIND, GET, HEAD, PROPPATCH, PUT, DELETE, COPY, MOVE, MKCOL, LOCK, UNLOCK, POST, TRACE\r\n",
             "MS-Author-Via: DAV\r\n", "Content-Type: text/plain\r\n", "Content-Length: 0\r\n", "Accept-Ranges: none\r\n",
             "Server: VKDAV/1.0\r\n" })
        EXPECT_NE(answer.find(header), std::string::npos) << header << answer;
}

TEST_F(WebDAVConnectionTest, ProtectionFollowsSettingsAndCredentials)
{
    makeFile("site/Documents/open.txt", "o");
    makeFile("site/Library/Documents/private.txt", "p");
    // No user name: everything is open, HTTP/1.0 included.
    EXPECT_EQ(code(curl({ "-X", "PROPFIND", "-H", "Depth: 0", url("/Documents/private.txt") })), "207");
    EXPECT_EQ(code(curl({ "-0", "-X", "PROPFIND", "-H", "Depth: 0", url("/Public/open.txt") })), "207");

    protect(true);
    EXPECT_EQ(code(curl({ "-X", "PROPFIND", url("/Public/open.txt") })), "207");
    EXPECT_EQ(code(curl({ "-X", "PROPFIND", url("/%50ublic/open.txt") })), "207");
    EXPECT_EQ(code(curl({ "-X", "PROPFIND", url("/Documents/private.txt") })), "401");
    EXPECT_EQ(code(curl({ "--digest", "-u", "alice:secret", "-X", "PROPFIND", url("/Documents/private.txt") })), "207");
    EXPECT_EQ(code(curl({ "--digest", "-u", "alice:wrong", "-X", "PROPFIND", url("/Documents/private.txt") })), "401");

    // A keychain change posted from a worker reaches the connections.
    RawClient client(server->port());
    client.send("PROPFIND /Documents/private.txt HTTP/1.1\r\nHost: h\r\nDepth: 0\r\n\r\n");
    EXPECT_NE(client.readUntil("\r\n\r\n").find("401"), std::string::npos);
    {
        std::lock_guard lock(credentials->mutex);
        credentials->password.clear();
    }
    std::thread([] { core::NotificationCenter::defaultCenter().post(WebDAVCredentials::DidChangeNotification); }).join();
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(code(curl({ "-X", "PROPFIND", "-H", "Depth: 0", url("/Documents/private.txt") })), "207");
}

TEST_F(WebDAVConnectionTest, BodiesAndExpectations)
{
    makeFile("site/Documents/f.txt", "x");
    std::string body = "<?xml version=\"1.0\"?><D:propfind xmlns:D=\"DAV:\"><D:prop><D:getcontentlength/></D:prop></D:propfind>";
    body.resize(200, ' ');
    {
        RawClient client(server->port());
        client.send("PROPFIND /Public/f.txt HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Type: text/xml\r\n"
                    "Content-Length: 200\r\n\r\n");
        EXPECT_TRUE(client.readUntil("\r\n\r\n").starts_with("HTTP/1.1 100 Continue\r\n")) << client.received();
        client.send(body);
        client.readUntil("</D:multistatus>");
        EXPECT_EQ(client.occurrences("HTTP/1.1 207 Multi-Status"), 1u) << client.received();
        EXPECT_NE(client.received().find("<D:getcontentlength>1</D:getcontentlength>"), std::string::npos);
    }
    {
        // A chunked body reaches the method de-chunked, however it is split.
        RawClient client(server->port());
        client.send("PROPFIND /Public/f.txt HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n"
            + body.substr(0, 16) + "\r\n");
        client.send(fmt::format("{:x}\r\n{}\r\n0\r\n\r\n", body.size() - 16, body.substr(16)));
        client.readUntil("</D:multistatus>");
        EXPECT_NE(client.received().find("<D:getcontentlength>1</D:getcontentlength>"), std::string::npos)
            << client.received();
    }
    {
        RawClient client(server->port());
        client.send("PROPFIND /Public/f.txt HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n100001\r\n");
        client.send(std::string(1048577, ' '));
        EXPECT_TRUE(client.readUntil("\r\n\r\n").starts_with("HTTP/1.1 413")) << client.received();
        EXPECT_TRUE(client.waitForClose());
    }
    auto exchange = [&](const std::string& request) {
        RawClient client(server->port());
        client.send(request);
        return client.readUntil("\r\n\r\n");
    };
    EXPECT_TRUE(exchange("PROPFIND /Public/f.txt HTTP/1.1\r\nHost: h\r\nExpect: something\r\nContent-Length: 10\r\n\r\n")
                    .starts_with("HTTP/1.1 417 Expectation Failed\r\n"));
    EXPECT_TRUE(exchange("PROPFIND /Public/f.txt HTTP/1.1\r\nHost: h\r\nContent-Type: application/json\r\nContent-Length: 10\r\n\r\n{")
                    .starts_with("HTTP/1.1 400 Bad Request - invalid content-type\r\n"));
    // A whole body already in: its type is not looked at.
    EXPECT_TRUE(exchange("PROPFIND /Public/f.txt HTTP/1.1\r\nHost: h\r\nContent-Type: application/json\r\nContent-Length: 0\r\n\r\n")
                    .starts_with("HTTP/1.1 207"));
    {
        RawClient client(server->port());
        client.send("PROPFIND /Public/f.txt HTTP/1.1\r\nHost: h\r\nContent-Length: 1048577\r\n\r\n");
        EXPECT_TRUE(client.readUntil("\r\n\r\n").starts_with("HTTP/1.1 413")) << client.received();
        EXPECT_TRUE(client.waitForClose());
    }
    {
        RawClient client(server->port());
        client.send("MKCOL /Public/new HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\n\r\nabc");
        EXPECT_TRUE(client.readUntil("\r\n\r\n").starts_with("HTTP/1.1 415 Unsupported Media Type\r\n"));
        EXPECT_TRUE(client.waitForClose());
        EXPECT_TRUE(logContains("Warning: MKCOL request body not currently supported!"));
    }
    EXPECT_TRUE(exchange("DELETE /Public/none HTTP/1.1\r\nHost: h\r\n\r\n").starts_with("HTTP/1.1 404 Not Found\r\n"));
    EXPECT_TRUE(exchange("DELETE /Public/f.txt#frag HTTP/1.1\r\nHost: h\r\n\r\n").starts_with("HTTP/1.1 400 Bad Request\r\n"));
    EXPECT_TRUE(exchange("COPY /Public/f.txt HTTP/1.1\r\nHost: h\r\n\r\n")
                    .starts_with("HTTP/1.1 400 Bad Request - No Destination header specified\r\n"));
}

TEST_F(WebDAVConnectionTest, BrowsingWithRealClients)
{
    std::string path = makeFile("site/Documents/a b.txt", "hello");
    makeFile("site/Library/Documents/sub/c.txt", "c");
    auto root = curl({ "-X", "PROPFIND", "-H", "Depth: 1", url("/") });
    EXPECT_EQ(code(root), "207");
    std::string parse = "import sys, xml.dom.minidom as m\n"
                        "d = m.parseString(sys.stdin.read().rsplit('\\n', 1)[0])\n"
                        "print(' '.join(h.firstChild.data for h in d.getElementsByTagNameNS('DAV:', 'href')))\n";
    auto hrefs = [&](const std::string& answer) {
        return test::runCommand({ "python3", "-c", parse }, answer).output;
    };
    EXPECT_EQ(hrefs(root), "/ /Documents/ /Public/\n");
    EXPECT_EQ(hrefs(curl({ "-X", "PROPFIND", url("/") })), "/ /Documents/ /Documents/sub/ /Documents/sub/c.txt /Public/ /Public/a%20b.txt\n");

    auto patch = curl({ "-X", "PROPPATCH", "-H", "Content-Type: text/xml", "--data-binary",
        "<D:propertyupdate xmlns:D=\"DAV:\" xmlns:Z=\"http://ex/ns\"><D:set><D:prop><Z:color>red</Z:color></D:prop></D:set></D:propertyupdate>",
        url("/Public/a%20b.txt") });
    EXPECT_EQ(code(patch), "207");
    EXPECT_EQ(xattrStringForItemAtPath(path, "com.kestrova.DAV.{http://ex/ns}color"),
        "<Z:color xmlns:Z=\"http://ex/ns\">red</Z:color>");

    if (!test::hasProgram("cadaver"))
        GTEST_SKIP() << "cadaver is not installed";
    test::ChildProcess cadaver({ "cadaver", url("/Public/") });
    cadaver.write("ls\npropnames 'a b.txt'\npropset 'a b.txt' shade dark\npropget 'a b.txt' shade\npropdel 'a b.txt' shade\n"
                  "propget 'a b.txt' shade\nquit\n");
    cadaver.closeInput();
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return !cadaver.isRunning(); }, 30));
    std::string output = cadaver.output();
    EXPECT_NE(output.find("a b.txt"), std::string::npos) << output;
    EXPECT_NE(output.find("color"), std::string::npos) << output << cadaver.errors();
    EXPECT_NE(output.find("dark"), std::string::npos) << output;
    EXPECT_FALSE(xattrStringForItemAtPath(path, "com.kestrova.DAV.{http://webdav.org/cadaver/custom-properties/}shade"));
}

TEST_F(WebDAVConnectionTest, NamesThatAreNotUTF8AreReachableByTheirListedHrefs)
{
    std::vector<std::string> expected { "/Documents/" };
    std::vector<std::string> get { "curl", "-s", "-w", "%{http_code}\n" };
    std::string contents;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        makeFile("site/Library/Documents/n" + std::string(1, static_cast<char>(byte)) + ".txt", fmt::format("{:02X}", byte));
        expected.push_back(fmt::format("/Documents/n%{:02X}.txt", byte));
        contents += fmt::format("{:02X}200\n", byte);
    }
    std::string listing = curl({ "-X", "PROPFIND", "-H", "Depth: 1", url("/Documents/") });
    EXPECT_EQ(code(listing), "207");
    std::vector<std::string> hrefs;
    for (size_t at = listing.find("<D:href>"); at != std::string::npos; at = listing.find("<D:href>", at + 1))
        hrefs.push_back(listing.substr(at + 8, listing.find('<', at + 8) - at - 8));
    ASSERT_EQ(hrefs, expected);

    for (size_t index = 1; index < hrefs.size(); ++index)
        get.push_back(url(hrefs[index]));
    test::ChildProcess client(get);
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return !client.isRunning(); }, 30));
    EXPECT_EQ(client.output(), contents);
    EXPECT_EQ(code(curl({ "-X", "DELETE", url(hrefs[1]) })), "204");
    EXPECT_FALSE(core::fs::attributes(documents + "/n\x80.txt"));
    EXPECT_EQ(code(curl({ "-X", "MOVE", "-H", "Destination: " + url("/Documents/m%FF.txt"), url(hrefs[2]) })), "201");
    EXPECT_EQ(readFile(documents + "/m\xFF.txt"), "81");
}

TEST_F(WebDAVConnectionTest, RootCollectionsAreLockedAsAnyOther)
{
    const std::string lockInfo = "<?xml version=\"1.0\"?><D:lockinfo xmlns:D=\"DAV:\"><D:lockscope><D:exclusive/>"
                                 "</D:lockscope><D:locktype><D:write/></D:locktype></D:lockinfo>";
    for (const std::string root : { "/Documents/", "/Public/" }) {
        std::string answer = curl({ "-X", "LOCK", "-D", "-", "-H", "Content-Type: text/xml", "--data", lockInfo, url(root) });
        ASSERT_EQ(code(answer), "200") << answer;
        const auto at = answer.find("Lock-Token: ");
        ASSERT_NE(at, std::string::npos) << answer;
        const std::string token = answer.substr(at + 12, answer.find('\r', at) - at - 12);
        EXPECT_EQ(code(curl({ "-X", "PUT", "--data", "x", url(root + "a.txt") })), "423") << root;
        EXPECT_EQ(code(curl({ "-X", "PUT", "--data", "x", "-H", "If: (" + token + ")", url(root + "a.txt") })), "201");
        EXPECT_EQ(code(curl({ "-X", "UNLOCK", "-H", "Lock-Token: " + token, url(root) })), "204") << root;
    }
    WebDAVLockManager::sharedManager()->removeAllLocks();
}

TEST_F(WebDAVConnectionTest, UploadTokens)
{
    auto& clock = test::TestEnvironment::clock();
    (void)clock;
    auto uri = *core::URL::parse("/Documents/");
    std::string token = WebDAVConnection::generatePOSTTokenForURI(uri);
    EXPECT_EQ(token.size(), 32u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(WebDAVConnection::pathForPOSTToken(token), "/Documents");
    EXPECT_EQ(WebDAVConnection::postTokenForPath("/Documents"), token);
    std::string cookie = WebDAVConnection::cookieValueForPOSTToken(token);
    EXPECT_TRUE(cookie.starts_with(token + "%26timeout%3D")) << cookie;
    EXPECT_NE(cookie.find("GMT"), std::string::npos);

    auto& loop = core::RunLoop::main();
    loop.advance(119);
    EXPECT_TRUE(WebDAVConnection::pathForPOSTToken(token));
    loop.advance(1);
    EXPECT_FALSE(WebDAVConnection::pathForPOSTToken(token));

    // In use: never expires; released: 120 s again.
    token = WebDAVConnection::generatePOSTTokenForURI(uri);
    WebDAVConnection::lockPOSTTokenForURI(uri);
    loop.advance(500);
    EXPECT_TRUE(WebDAVConnection::pathForPOSTToken(token));
    WebDAVConnection::unlockPOSTTokenForURI(uri);
    loop.advance(119);
    EXPECT_TRUE(WebDAVConnection::pathForPOSTToken(token));
    loop.advance(1);
    EXPECT_FALSE(WebDAVConnection::pathForPOSTToken(token));

    // A protected server: the uploader's token passes without Digest.
    protect();
    token = WebDAVConnection::generatePOSTTokenForURI(uri);
    auto post = [&](const std::string& query) {
        RawClient client(server->port());
        client.send("POST /Documents/?" + query + " HTTP/1.1\r\nHost: h\r\nX-Flash-Version: 10\r\nContent-Length: 0\r\n\r\n");
        return client.readUntil("\r\n\r\n");
    };
    EXPECT_TRUE(post("vksessionid=" + token).starts_with("HTTP/1.1 400")) << post("vksessionid=" + token);
    EXPECT_TRUE(post("vksessionid=0123").starts_with("HTTP/1.1 404"));

    // An upload cut off with its connection lets go of the token: it
    // expires as after an upload that ended.
    RawClient uploader(server->port());
    uploader.send("POST /Documents/?vksessionid=" + token + " HTTP/1.1\r\nHost: h\r\nX-Flash-Version: 10\r\n"
        "Content-Type: multipart/form-data; boundary=b\r\nContent-Length: 1000\r\n\r\n--b\r\n");
    ASSERT_TRUE(loop.runUntil([&] {
        auto connection = onlyConnection();
        return connection && connection->currentResponse();
    }, 10));
    core::expireBackgroundTasksForTesting();
    ASSERT_TRUE(loop.runUntil([&] { return server->connections().empty(); }, 10));
    loop.advance(120);
    EXPECT_FALSE(WebDAVConnection::pathForPOSTToken(token));
    token = WebDAVConnection::generatePOSTTokenForURI(uri);

    // A new user name drops every token.
    core::UserDefaults::standard()->set("VKLoginUsername", core::Value("bob"));
    loop.runUntilIdle();
    EXPECT_FALSE(WebDAVConnection::pathForPOSTToken(token));
}

class StandInResponse : public WebDAVResponse {
public:
    StandInResponse(std::shared_ptr<HTTPMessageRequest> request, WebDAVResponseDelegate* delegate)
        : WebDAVResponse(std::move(request), delegate)
    {
    }
    void start() override { }
    // Like a long copy: the client waits, and so does the connection.
    std::optional<bool> onSocketShouldTimeout() override { return false; }
};

TEST_F(WebDAVConnectionTest, InterimAnswersAndTheEndOfResponses)
{
    RawClient client(server->port());
    client.send("OPTIONS / HTTP/1.1\r\nHost: h\r\n\r\n");
    client.readUntil("\r\n\r\n");
    auto connection = onlyConnection();
    ASSERT_TRUE(connection);
    auto response = std::make_shared<StandInResponse>(test::makeRequest("COPY", "/x"), connection.get());
    connection->startResponse(response);
    connection->setupProcessingTimer();
    auto& loop = core::RunLoop::main();
    loop.advance(59);
    client.readUntil("102", 1, 0.5);
    EXPECT_EQ(client.occurrences("HTTP/1.1 102 Processing\r\n"), 0u);
    loop.advance(1);
    client.readUntil("102 Processing", 1);
    loop.advance(60);
    client.readUntil("102 Processing", 2);
    EXPECT_EQ(client.occurrences("HTTP/1.1 102 Processing\r\n"), 2u) << client.received();

    response->endResponseWithStatusCode(204);
    client.readUntil("204");
    EXPECT_NE(client.received().find("HTTP/1.1 204 No Content\r\n"), std::string::npos);
    EXPECT_FALSE(connection->currentResponse());
    loop.advance(120);
    EXPECT_EQ(client.occurrences("102 Processing"), 2u);

    // The response wrote itself; nothing more goes out.
    size_t before = client.received().size();
    auto quiet = std::make_shared<StandInResponse>(test::makeRequest("GET", "/x"), connection.get());
    connection->startResponse(quiet);
    connection->webDAVResponseDidEnd(*quiet, WebDAVResponseEnd::WroteItself);
    for (int i = 0; i < 5; ++i)
        loop.runOnce(core::RunLoop::DefaultMode, 0.01);
    EXPECT_EQ(client.readUntil("\r\n", client.occurrences("\r\n") + 1, 0.5).size(), before);
}

TEST_F(WebDAVConnectionTest, VanishedClientIsLogged)
{
    std::shared_ptr<WebDAVConnection> connection;
    {
        RawClient client(server->port());
        client.send("OPTIONS / HTTP/1.1\r\nHost: h\r\n\r\n");
        client.readUntil("\r\n\r\n");
        connection = onlyConnection();
    }
    ASSERT_TRUE(connection);
    core::RunLoop::main().runUntil([&] { return !connection->asyncSocket()->isConnected(); }, 10);
    auto response = std::make_shared<StandInResponse>(test::makeRequest("GET", "/x"), connection.get());
    connection->startResponse(response);
    response->endResponseWithStatusCode(200);
    EXPECT_TRUE(logContains("Warning, unable to send response - socket has disconnected"));
}

TEST_F(WebDAVConnectionTest, AnExpiredGrantEndsARunningGetAndPut)
{
    auto& loop = core::RunLoop::main();
    auto running = [&] {
        auto connection = onlyConnection();
        return connection && connection->currentResponse();
    };

    // 100 MB to a slow reader: the file is closed and the reader cut off.
    std::string big = documents + "/big.bin";
    std::ofstream(big).close();
    std::filesystem::resize_file(big, 100 << 20);
    std::string got = pathInHome("got.bin");
    test::ChildProcess reader({ "curl", "-s", "--limit-rate", "2M", "-o", got, url("/Documents/big.bin") });
    ASSERT_TRUE(loop.runUntil(running, 10)) << reader.errors();
    loop.runUntil([] { return false; }, 0.3);
    EXPECT_EQ(openDescriptorsFor(big), 1);
    core::expireBackgroundTasksForTesting();
    EXPECT_TRUE(loop.runUntil([&] { return !reader.isRunning(); }, 20));
    EXPECT_EQ(reader.wait(1), 18) << "curl saw the answer end early";
    EXPECT_EQ(openDescriptorsFor(big), 0);
    EXPECT_TRUE(server->connections().empty());
    EXPECT_LT(std::filesystem::file_size(got), uintmax_t(100) << 20);

    // A slow upload over a file: the old one stays whole, nothing is left
    // of the new one.
    std::string kept = documents + "/kept.txt";
    std::ofstream(kept) << "the old contents";
    std::string upload = pathInHome("upload.bin");
    std::ofstream(upload).close();
    std::filesystem::resize_file(upload, 50 << 20);
    test::ChildProcess writer({ "curl", "-s", "--limit-rate", "2M", "-T", upload, url("/Documents/kept.txt") });
    ASSERT_TRUE(loop.runUntil(running, 10)) << writer.errors();
    loop.runUntil([] { return false; }, 0.5);
    core::expireBackgroundTasksForTesting();
    EXPECT_TRUE(loop.runUntil([&] { return !writer.isRunning(); }, 20));
    EXPECT_NE(writer.wait(1), 0);
    EXPECT_TRUE(server->connections().empty());
    EXPECT_EQ(readFile(kept), "the old contents");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(documents))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> { "big.bin", "kept.txt" }));
}

class WebDAVIndicatorTest : public test::TestCase { };

TEST_F(WebDAVIndicatorTest, HidesASecondAfterTheLastHolder)
{
    auto application = std::make_shared<ui::Application>();
    ui::Application::setShared(application);
    int a = 0, b = 0;
    WebDAVConnection::setNetworkActivityIndicatorVisible(true, &a);
    WebDAVConnection::setNetworkActivityIndicatorVisible(true, &a);
    WebDAVConnection::setNetworkActivityIndicatorVisible(true, &b);
    EXPECT_TRUE(application->isNetworkActivityIndicatorVisible());
    EXPECT_EQ(WebDAVConnection::networkActivityCountForTesting(), 2);
    WebDAVConnection::setNetworkActivityIndicatorVisible(false, &a);
    WebDAVConnection::setNetworkActivityIndicatorVisible(false, &a);
    WebDAVConnection::setNetworkActivityIndicatorVisible(false, &b);
    EXPECT_EQ(WebDAVConnection::networkActivityCountForTesting(), 0);
    auto& loop = core::RunLoop::main();
    loop.advance(0.5);
    EXPECT_TRUE(application->isNetworkActivityIndicatorVisible());
    loop.advance(1.0);
    EXPECT_FALSE(application->isNetworkActivityIndicatorVisible());
    ui::Application::setShared(nullptr);
}

} // namespace

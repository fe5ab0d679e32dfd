#include "WebDAVServerTestCase.h"

#include "HTTP/AsyncSocket.h"
#include "HTTP/AsyncSocketDelegate.h"
#include "WebDAV/WebDAVGetResponse.h"

#include "Support/BoundSocket.h"

#include <dirent.h>
#include <sys/stat.h>

#include <filesystem>
#include <utility>

namespace {

using test::RawClient;

// Sits between a connection's socket and the connection, noting each
// completed write with the body bytes the GET response has handed out after
// it took that completion.
class WriteRecorder : public AsyncSocketDelegate {
public:
    explicit WriteRecorder(std::shared_ptr<WebDAVConnection> connection) : m_connection(std::move(connection)) { }

    void onSocketDidReadData(AsyncSocket& s, const core::Data& d, long t) override { m_connection->onSocketDidReadData(s, d, t); }
    void onSocketDidWriteDataWithTag(AsyncSocket& socket, long tag) override
    {
        auto response = std::dynamic_pointer_cast<WebDAVGetResponse>(m_connection->currentResponse());
        m_connection->onSocketDidWriteDataWithTag(socket, tag);
        writes.emplace_back(tag, response ? response->lengthWritten() : 0);
        if (response)
            endedWhileCurrent = !m_connection->currentResponse();
    }
    bool onSocketShouldTimeout(AsyncSocket& s) override { return m_connection->onSocketShouldTimeout(s); }
    void onSocketWillDisconnectWithError(AsyncSocket& s, const core::Error* e) override
    {
        m_connection->onSocketWillDisconnectWithError(s, e);
    }
    void onSocketDidDisconnect(AsyncSocket& s) override { m_connection->onSocketDidDisconnect(s); }

    std::vector<std::pair<long, uint64_t>> writes;
    bool endedWhileCurrent = false;

private:
    std::shared_ptr<WebDAVConnection> m_connection;
};

class WebDAVGetResponseTest : public test::WebDAVServerTestCase {
protected:
    static std::string header(const std::string& answer, const std::string& name)
    {
        auto at = answer.find("\r\n" + name + ": ");
        if (at == std::string::npos || at > answer.find("\r\n\r\n"))
            return {};
        at += name.size() + 4;
        return answer.substr(at, answer.find("\r\n", at) - at);
    }
};

TEST_F(WebDAVGetResponseTest, StreamsAFileAndStaysOpen)
{
    std::string contents;
    for (size_t i = 0; i < 307200; ++i)
        contents.push_back(static_cast<char>((i * 7919) >> 3));
    std::string path = makeFile("site/Library/Documents/big.pdf", contents);
    RawClient client(server->port());
    client.send("OPTIONS / HTTP/1.1\r\nHost: h\r\n\r\n");
    client.readUntil("\r\n\r\n");
    auto connection = onlyConnection();
    ASSERT_TRUE(connection);
    auto recorder = std::make_shared<WriteRecorder>(connection);
    connection->asyncSocket()->setDelegate(recorder);
    recorder->writes.clear();

    size_t start = client.received().size();
    client.send("GET /Documents/big.pdf HTTP/1.1\r\nHost: h\r\nRange: bytes=0-9\r\nIf-None-Match: *\r\n\r\n");
    client.readUntil("\r\n\r\n", 2);
    std::string answer = client.received().substr(start);
    size_t bodyAt = answer.find("\r\n\r\n") + 4;
    answer = client.readBytes(start + bodyAt + contents.size()).substr(start);
    // Ranges and conditions are not consulted: the whole file, 200.
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\n")) << answer.substr(0, 300);
    EXPECT_EQ(header(answer, "Content-Length"), "307200");
    EXPECT_EQ(header(answer, "Content-Type"), "application/pdf");
    EXPECT_FALSE(header(answer, "Last-Modified").empty());
    auto etag = WebDAVResource::resourceWithURI(URLWithPath("/Documents/big.pdf"), path)->etag().value_or("");
    EXPECT_EQ(header(answer, "Etag"), etag);
    EXPECT_TRUE(etag.starts_with('"') && etag.ends_with('"')) << etag;
    EXPECT_EQ(header(answer, "Content-Disposition"), "");
    EXPECT_TRUE(answer.substr(bodyAt) == contents) << answer.size() - bodyAt;

    // The head, then the whole file in one write the socket sends as it
    // has room.
    using Write = std::pair<long, uint64_t>;
    EXPECT_EQ(recorder->writes, (std::vector<Write> { { 29, 0 }, { 30, 307200 } }));
    EXPECT_TRUE(recorder->endedWhileCurrent);
    EXPECT_EQ(openDescriptorsFor(path), 0);

    // Kept alive, nothing written after the body: the next answer follows
    // directly. HEAD says the same without a body.
    client.send("HEAD /Documents/big.pdf?download=1 HTTP/1.1\r\nHost: h\r\n\r\n");
    client.readUntil("\r\n\r\n", 3);
    std::string head = client.received().substr(start + bodyAt + contents.size());
    EXPECT_TRUE(head.starts_with("HTTP/1.1 200 OK\r\n")) << head;
    EXPECT_EQ(header(head, "Content-Length"), "307200");
    EXPECT_EQ(header(head, "Content-Type"), "application/pdf");
    EXPECT_EQ(header(head, "Etag"), etag);
    EXPECT_EQ(head.substr(head.find("\r\n\r\n") + 4), "");

    // A small file leaves with its head in one write.
    makeFile("site/Library/Documents/small.txt", std::string(5000, 's'));
    recorder->writes.clear();
    size_t before = client.received().size();
    client.send("GET /Documents/small.txt HTTP/1.1\r\nHost: h\r\n\r\n");
    client.readUntil(std::string(5000, 's'));
    std::string small = client.received().substr(before);
    EXPECT_TRUE(small.starts_with("HTTP/1.1 200 OK\r\n")) << small;
    EXPECT_EQ(header(small, "Content-Length"), "5000");
    EXPECT_TRUE(small.ends_with("\r\n\r\n" + std::string(5000, 's')));
    ASSERT_EQ(recorder->writes.size(), 1u);
    EXPECT_EQ(recorder->writes.front().first, 30);
    EXPECT_EQ(openDescriptorsFor(documents + "/small.txt"), 0);
    connection->asyncSocket()->setDelegate(connection);
}

TEST_F(WebDAVGetResponseTest, AnswersOfRealClients)
{
    makeFile("site/Documents/empty.txt");
    makeFile("site/Documents/note.txt", "hello");
    makeFolder("site/Documents/folder");
    makeFile("outside.txt", "secret");
    symlink((home() + "/outside.txt").c_str(), (publicFolder + "/escape.txt").c_str());
    symlink((publicFolder + "/gone").c_str(), (publicFolder + "/dangling.txt").c_str());
    symlink((publicFolder + "/note.txt").c_str(), (publicFolder + "/inside.txt").c_str());

    auto empty = curl({ "-i", url("/Public/empty.txt") });
    EXPECT_EQ(code(empty), "200");
    EXPECT_NE(empty.find("Content-Length: 0\r\n"), std::string::npos) << empty;
    EXPECT_EQ(empty.find("Connection: close"), std::string::npos) << empty;

    auto download = curl({ "-i", url("/Public/note.txt?download=1&x=2") });
    EXPECT_NE(download.find("Content-Disposition: attachment\r\n"), std::string::npos) << download;
    EXPECT_NE(download.find("\r\n\r\nhello\n"), std::string::npos) << download;
    EXPECT_EQ(curl({ "-i", url("/Public/note.txt?view=1") }).find("Content-Disposition"), std::string::npos);
    EXPECT_EQ(curl({ url("/Public/inside.txt") }), "hello\n200");
    // Without an extension: lines of text are text, anything else plain bytes
    // (never the type table's "unknown", which is no media type).
    makeFile("site/Documents/notes", "one\ntwo\n");
    makeFile("site/Documents/blob", std::string("\x89\x01\xff\xfe", 4));
    EXPECT_NE(curl({ "-I", url("/Public/notes") }).find("Content-Type: text/plain\r\n"), std::string::npos);
    EXPECT_NE(curl({ "-i", url("/Public/notes") }).find("Content-Type: text/plain\r\n"), std::string::npos);
    symlink((publicFolder + "/notes").c_str(), (publicFolder + "/notes-link").c_str());
    EXPECT_NE(curl({ "-i", url("/Public/notes-link") }).find("Content-Type: text/plain\r\n"), std::string::npos);
    EXPECT_NE(curl({ "-I", url("/Public/blob") }).find("Content-Type: application/octet-stream\r\n"), std::string::npos);

    EXPECT_EQ(code(curl({ url("/Public/missing.txt") })), "404");
    EXPECT_EQ(code(curl({ "-I", url("/Public/missing.txt") })), "404");
    EXPECT_EQ(code(curl({ url("/Public/dangling.txt") })), "500");
    // A FIFO is there but is no file to send: refused as such, and nobody
    // writing to it holds nothing up; a listing shows it, a copy or a move
    // never reads it.
    ASSERT_EQ(mkfifo((publicFolder + "/pipe").c_str(), 0600), 0);
    EXPECT_EQ(curl({ url("/Public/pipe") }), "403 Forbidden: not a regular file\r\n\n403");
    EXPECT_EQ(code(curl({ "-I", url("/Public/pipe") })), "403");
    // Nor is a socket, which cannot even be opened.
    ASSERT_TRUE(test::bindSocketIn(publicFolder, "socket"));
    EXPECT_EQ(curl({ url("/Public/socket") }), "403 Forbidden: not a regular file\r\n\n403");
    auto listing = curl({ "-X", "PROPFIND", "-H", "Depth: 1", url("/Public/") });
    EXPECT_EQ(code(listing), "207");
    EXPECT_NE(listing.find("<D:href>/Public/pipe</D:href>"), std::string::npos) << listing;
    EXPECT_EQ(code(curl({ "-X", "COPY", "-H", "Destination: " + url("/Public/pipe2"), url("/Public/pipe") })), "201");
    EXPECT_EQ(code(curl({ "-X", "MOVE", "-H", "Destination: " + url("/Public/pipe3"), url("/Public/pipe2") })), "201");
    struct stat moved {};
    EXPECT_TRUE(lstat((publicFolder + "/pipe3").c_str(), &moved) == 0 && S_ISFIFO(moved.st_mode));
    EXPECT_TRUE(logContains("Warning, fileHandleForReadingAtPath failed: " + publicFolder + "/dangling.txt"));
    // A link out of the store hands nothing out.
    EXPECT_EQ(curl({ url("/Public/escape.txt") }), "\n404");
    EXPECT_EQ(code(curl({ "-I", url("/Public/escape.txt") })), "404");

    auto folder = curl({ "-I", url("/Public/folder/") });
    EXPECT_EQ(code(folder), "200");
    EXPECT_NE(folder.find("Content-Length: 0\r\n"), std::string::npos) << folder;
    EXPECT_NE(folder.find("Etag: \""), std::string::npos) << folder;
    EXPECT_EQ(folder.find("Content-Type"), std::string::npos) << folder;
    EXPECT_EQ(folder.find("Set-Cookie"), std::string::npos) << folder;
    protect();
    auto cookie = curl({ "-I", "--digest", "-u", "alice:secret", url("/Documents/") });
    EXPECT_EQ(code(cookie), "200");
    EXPECT_NE(cookie.find("Set-Cookie: vksessionid="), std::string::npos) << cookie;
}

TEST_F(WebDAVGetResponseTest, HeadsFormattedDirectlyLeaveOutValuesThatCannotBeSent)
{
    makeFile("site/Documents/note.txt", "hello");
    server->setServerName("VKDAV\r\nSet-Cookie: injected=1");
    auto get = curl({ "-i", url("/Public/note.txt") });
    auto listing = curl({ "-i", "-X", "PROPFIND", "-H", "Depth: 1", url("/Public/") });
    EXPECT_NE(get.find("\r\n\r\nhello\n200"), std::string::npos) << get;
    EXPECT_EQ(code(listing), "207");
    for (const auto& answer : { get, listing }) {
        EXPECT_EQ(answer.find("injected"), std::string::npos) << answer;
        EXPECT_EQ(answer.find("Server:"), std::string::npos) << answer;
        EXPECT_NE(answer.find("\r\nDate: "), std::string::npos) << answer;
    }
}

TEST_F(WebDAVGetResponseTest, ClientLeavingMidFileClosesTheFile)
{
    // Sparse: far more than the socket buffers hold, nothing on the disk.
    std::string path = makeFile("site/Documents/huge.bin");
    ASSERT_EQ(truncate(path.c_str(), 256 << 20), 0);
    std::shared_ptr<WebDAVConnection> connection;
    {
        RawClient client(server->port());
        client.send("GET /Public/huge.bin HTTP/1.1\r\nHost: h\r\n\r\n");
        client.readUntil("\r\n\r\n");
        connection = onlyConnection();
        ASSERT_TRUE(connection);
        EXPECT_TRUE(std::dynamic_pointer_cast<WebDAVGetResponse>(connection->currentResponse()));
    }
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return !connection->asyncSocket()->isConnected(); }, 20));
    core::RunLoop::main().runUntilIdle();
    EXPECT_FALSE(connection->currentResponse());
    EXPECT_EQ(openDescriptorsFor(path), 0);
}

} // namespace

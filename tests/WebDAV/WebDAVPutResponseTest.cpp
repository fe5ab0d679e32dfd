#include "WebDAVServerTestCase.h"

#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/NotificationCenter.h"
#include "Support/Python.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVPropertyName.h"
#include "WebDAV/WebDAVStagingFolder.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using test::RawClient;

class WebDAVPutResponseTest : public test::WebDAVServerTestCase {
protected:
    static std::string contentsOf(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    // The names in a folder: a leftover upload file shows here.
    static std::vector<std::string> namesIn(const std::string& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Uploads in progress, outside the served folders.
    static size_t stagedCount() { return namesIn(WebDAVStagingFolder::path()).size(); }
    std::string put(const std::string& path, const std::string& body, std::vector<std::string> extra = {})
    {
        std::string bodyFile = makeFile("upload.bin", body);
        std::vector<std::string> arguments { "-X", "PUT", "--data-binary", "@" + bodyFile, "-D", "-" };
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(url(path));
        return curl(arguments);
    }
};

TEST_F(WebDAVPutResponseTest, StoresNewFilesAndReplacesKeepingDeadProperties)
{
    std::string answer = put("/Documents/new.txt", "hello");
    EXPECT_EQ(code(answer), "201");
    EXPECT_NE(answer.find(fmt::format("Location: http://127.0.0.1:{}/Documents/new.txt", server->port())), std::string::npos)
        << answer;
    EXPECT_EQ(contentsOf(documents + "/new.txt"), "hello");

    std::string path = makeFile("site/Library/Documents/old.txt", "old contents");
    auto old = WebDAVResource::resourceWithURI(*core::URL::parse("/Documents/old.txt"), path);
    ASSERT_TRUE(old->setProperty(core::Value("<A:color xmlns:A=\"http://ex/ns\">blue</A:color>"),
        *WebDAVPropertyName::propertyNameWithName("com.kestrova.DAV.{http://ex/ns}color")));
    EXPECT_EQ(code(put("/Documents/old.txt", "new")), "201");
    EXPECT_EQ(contentsOf(path), "new");
    EXPECT_EQ(test::runPython("import os,sys\nprint(os.getxattr(sys.argv[1], 'user.com.kestrova.DAV.{http://ex/ns}color').decode())", { path }),
        "<A:color xmlns:A=\"http://ex/ns\">blue</A:color>\n");

    EXPECT_EQ(code(put("/Documents/empty.txt", "")), "201");
    EXPECT_EQ(contentsOf(documents + "/empty.txt"), "");
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "empty.txt", "new.txt", "old.txt" }));

    // A body read whole from the socket leaves the connection to the
    // client's next request.
    RawClient client(server->port());
    for (const std::string name : { "a.bin", "b.bin" }) {
        client.send("PUT /Documents/" + name + " HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\n\r\n");
        core::RunLoop::main().runUntil([&] { return stagedCount() == 1; }, 10);
        client.send("12345");
        client.readUntil("201 Created", name == "a.bin" ? 1 : 2);
    }
    EXPECT_EQ(client.occurrences("HTTP/1.1 201 Created\r\n"), 2u) << client.received();
    EXPECT_EQ(client.received().find("Connection: close"), std::string::npos) << client.received();
    EXPECT_EQ(contentsOf(documents + "/b.bin"), "12345");
}

TEST_F(WebDAVPutResponseTest, RefusesFoldersMissingParentsRootsAndLockedFiles)
{
    makeFolder("site/Library/Documents/folder");
    std::string answer = put("/Documents/folder", "x");
    EXPECT_EQ(code(answer), "405");
    EXPECT_NE(answer.find("Method Not Allowed - Use MKCOL to create collections"), std::string::npos);
    EXPECT_EQ(code(put("/Documents/slash/", "x")), "405");
    answer = put("/Documents/missing/a.txt", "x");
    EXPECT_EQ(code(answer), "409");
    EXPECT_NE(answer.find("Conflict - parent collection does not exist"), std::string::npos);
    EXPECT_EQ(code(put("/top.txt", "x")), "403");
    EXPECT_EQ(code(put("/top.txt", "x", { "-A", "WebDAVFS/3.0" })), "401");

    std::string path = makeFile("site/Library/Documents/locked.txt", "mine");
    ASSERT_TRUE(WebDAVLockManager::sharedManager()->acquireWriteLockForURI(*core::URL::parse("/Documents/locked.txt"), path,
        "exclusive", "someone", "0", "Infinite"));
    EXPECT_EQ(code(put("/Documents/locked.txt", "theirs")), "423");
    EXPECT_EQ(contentsOf(path), "mine");
    EXPECT_EQ(code(put("/Documents/a.txt", "x", { "-H", "Expect: something" })), "417");
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "folder", "locked.txt" }));
    WebDAVLockManager::sharedManager()->removeAllLocks();
}

TEST_F(WebDAVPutResponseTest, CountsTheReplacedFileAsRoomAndRefusesBeforeReading)
{
    VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(100); });
    std::string path = makeFile("site/Library/Documents/old.bin", std::string(50, 'o'));
    int refusals = 0;
    auto observation = core::NotificationCenter::defaultCenter().observe(WebDAVInsufficientStorageNotification, nullptr,
        [&](const core::Notification&) { ++refusals; });
    std::string answer = put("/Documents/old.bin", std::string(151, 'n'));
    EXPECT_EQ(code(answer), "507");
    EXPECT_NE(answer.find("Insufficient Storage"), std::string::npos);
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(contentsOf(path), std::string(50, 'o'));
    EXPECT_EQ(code(put("/Documents/old.bin", std::string(150, 'n'))), "201");
    EXPECT_EQ(contentsOf(path), std::string(150, 'n'));

    // Without an announced length the room (100 free, 150 the old file's)
    // is judged as the chunks come: the one that would pass it ends the
    // upload, the old file whole.
    RawClient client(server->port());
    client.send("PUT /Documents/old.bin HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n");
    client.send("C8\r\n" + std::string(200, 'c') + "\r\n");
    core::RunLoop::main().runUntil([&] { return stagedCount() == 1; }, 10);
    client.send("3C\r\n" + std::string(60, 'c') + "\r\n0\r\n\r\n");
    EXPECT_TRUE(client.readUntil("\r\n\r\n").starts_with("HTTP/1.1 507 Insufficient Storage")) << client.received();
    EXPECT_TRUE(client.waitForClose());
    EXPECT_EQ(refusals, 2);
    EXPECT_EQ(contentsOf(path), std::string(150, 'n'));
    EXPECT_EQ(stagedCount(), 0u);
}

TEST_F(WebDAVPutResponseTest, BrokenUploadsLeaveTheOldFileWhole)
{
    std::string path = makeFile("site/Library/Documents/keep.txt", "original");
    {
        RawClient client(server->port());
        client.send("PUT /Documents/keep.txt HTTP/1.1\r\nHost: h\r\nContent-Length: 100000\r\n\r\n");
        client.send(std::string(3000, 'p'));
        core::RunLoop::main().runUntil([&] { return stagedCount() == 1; }, 10);
        EXPECT_EQ(stagedCount(), 1u);
        EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "keep.txt" }));
    }
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return stagedCount() == 0; }, 20));
    EXPECT_EQ(contentsOf(path), "original");
    EXPECT_TRUE(logContains("Warning, PUT - removing partial file: " + path));

    core::FileTestHooks::failNextWrite(ENOSPC);
    EXPECT_EQ(code(put("/Documents/keep.txt", "replacement")), "507");
    EXPECT_EQ(contentsOf(path), "original");
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "keep.txt" }));
}

} // namespace

namespace {

TEST_F(WebDAVPutResponseTest, DecodesChunkedBodiesSplitAnywhere)
{
    {
        RawClient client(server->port());
        client.send("PUT /Documents/c.txt HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n");
        client.send("5\r\nhello");
        core::RunLoop::main().runOnce(core::RunLoop::DefaultMode, 0.05);
        client.send("\r\n1");
        core::RunLoop::main().runOnce(core::RunLoop::DefaultMode, 0.05);
        client.send("A;ext=v\r\n" + std::string(26, 'z') + "\r\n0\r\n\r\n");
        EXPECT_TRUE(client.readUntil("\r\n\r\n").starts_with("HTTP/1.1 201")) << client.received();
    }
    EXPECT_EQ(contentsOf(documents + "/c.txt"), "hello" + std::string(26, 'z'));
    {
        RawClient client(server->port());
        client.send("PUT /Documents/bad.txt HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n");
        EXPECT_TRUE(client.readUntil("\r\n\r\n").starts_with("HTTP/1.1 400")) << client.received();
        EXPECT_TRUE(client.waitForClose());
    }
    {
        RawClient client(server->port());
        client.send("PUT /Documents/big.txt HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n8000000000000000\r\n");
        EXPECT_TRUE(client.readUntil("\r\n\r\n").starts_with("HTTP/1.1 400")) << client.received();
    }
    {
        RawClient client(server->port());
        client.send("PUT /Documents/gone.txt HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nonly");
        core::RunLoop::main().runUntil([&] { return stagedCount() == 1; }, 10);
    }
    {
        // The room was judged by the announced length: more data than that
        // is refused, and the file it would replace stays as it was.
        makeFile("site/Library/Documents/c.txt", "kept");
        RawClient client(server->port());
        client.send("PUT /Documents/c.txt HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n"
                    "X-Expected-Entity-Length: 3\r\n\r\n3\r\nabc\r\n1\r\nd\r\n0\r\n\r\n");
        EXPECT_TRUE(client.readUntil("\r\n\r\n").starts_with("HTTP/1.1 400")) << client.received();
        EXPECT_TRUE(client.waitForClose());
        EXPECT_EQ(contentsOf(documents + "/c.txt"), "kept");
    }
    {
        RawClient client(server->port());
        client.send("PUT /Documents/c.txt HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n"
                    "X-Expected-Entity-Length: 3\r\n\r\n2\r\nab\r\n1\r\nc\r\n0\r\n\r\n");
        EXPECT_TRUE(client.readUntil("\r\n\r\n").starts_with("HTTP/1.1 201")) << client.received();
    }
    EXPECT_EQ(contentsOf(documents + "/c.txt"), "abc");
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return stagedCount() == 0; }, 20));
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "c.txt" }));
    EXPECT_EQ(code(put("/Documents/curl.txt", "via curl", { "-H", "Transfer-Encoding: chunked" })), "201");
    EXPECT_EQ(contentsOf(documents + "/curl.txt"), "via curl");
}

TEST_F(WebDAVPutResponseTest, RefusesBodiesWhoseLengthIsInDoubt)
{
    std::string path = makeFile("site/Library/Documents/keep.txt", "original");
    // Each is refused and the connection closes: the request pipelined
    // behind it (a GET of the kept file) is never answered.
    for (const std::string framing : { "Content-Length: -5", "Content-Length: +5", "Content-Length: 0x5",
             "Content-Length: 5 5", "Content-Length:", "Content-Length: 18446744073709551621",
             "Content-Length: 5\r\nContent-Length: 7", "Content-Length: 5, 7" }) {
        for (const std::string target : { "/Documents/new.txt", "/Documents/keep.txt" }) {
            RawClient client(server->port());
            client.send("PUT " + target + " HTTP/1.1\r\nHost: h\r\n" + framing
                + "\r\n\r\nhelloGET /Documents/keep.txt HTTP/1.1\r\nHost: h\r\n\r\n");
            EXPECT_TRUE(client.waitForClose()) << framing;
            EXPECT_TRUE(client.received().starts_with("HTTP/1.1 400 Bad Request\r\n")) << framing << client.received();
            EXPECT_EQ(client.occurrences("HTTP/1.1 "), 1u) << framing << client.received();
        }
    }
    for (const std::string coding : { "gzip, chunked", "identity", "chunked, chunked" }) {
        RawClient client(server->port());
        client.send("PUT /Documents/keep.txt HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: " + coding
            + "\r\nContent-Length: 5\r\n\r\nhelloGET /Documents/keep.txt HTTP/1.1\r\nHost: h\r\n\r\n");
        EXPECT_TRUE(client.waitForClose()) << coding;
        EXPECT_TRUE(client.received().starts_with("HTTP/1.1 501 Not Implemented\r\n")) << coding << client.received();
        EXPECT_EQ(client.occurrences("HTTP/1.1 "), 1u) << coding;
    }
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "keep.txt" }));
    EXPECT_EQ(contentsOf(path), "original");

    // "007" is seven; the same length twice is one length.
    {
        RawClient client(server->port());
        client.send("PUT /Documents/seven.txt HTTP/1.1\r\nHost: h\r\nContent-Length: 007\r\nContent-Length: 7\r\n\r\n"
                    "1234567GET /Documents/seven.txt HTTP/1.1\r\nHost: h\r\n\r\n");
        client.readUntil("HTTP/1.1 ", 2);
        EXPECT_TRUE(client.received().starts_with("HTTP/1.1 201")) << client.received();
        EXPECT_TRUE(client.received().ends_with("1234567")) << client.received();
    }
    // Chunked beside a length: the chunks count, the length is ignored, and
    // the connection closes after the answer.
    {
        RawClient client(server->port());
        client.send("PUT /Documents/both.txt HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n"
                    "5\r\nhello\r\n0\r\n\r\nGET /Documents/keep.txt HTTP/1.1\r\nHost: h\r\n\r\n");
        EXPECT_TRUE(client.waitForClose());
        EXPECT_TRUE(client.received().starts_with("HTTP/1.1 201")) << client.received();
        EXPECT_NE(client.received().find("Connection: close\r\n"), std::string::npos);
        EXPECT_EQ(client.occurrences("HTTP/1.1 "), 1u) << client.received();
    }
    EXPECT_EQ(contentsOf(documents + "/both.txt"), "hello");
    // A broken chunk leaves the old file as it was.
    {
        RawClient client(server->port());
        client.send("PUT /Documents/keep.txt HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"
                    "3\r\nnewXX1\r\nx\r\n0\r\n\r\n");
        EXPECT_TRUE(client.waitForClose());
        EXPECT_TRUE(client.received().starts_with("HTTP/1.1 400")) << client.received();
    }
    EXPECT_EQ(contentsOf(path), "original");
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "both.txt", "keep.txt", "seven.txt" }));
}

} // namespace

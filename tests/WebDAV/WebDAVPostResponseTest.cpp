#include "WebDAVServerTestCase.h"

#include "Platform/Core/ExtendedAttributes.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/NotificationCenter.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVPostResponse.h"
#include "WebDAV/WebDAVStagingFolder.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

using test::RawClient;

std::string contentsOf(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The names in a folder: a leftover upload file shows here.
std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A form body with one part per (header, contents) pair and the closing
// delimiter.
std::string formBody(std::string_view boundary, const std::vector<std::pair<std::string, std::string>>& parts)
{
    std::string body;
    for (const auto& [header, contents] : parts)
        body += fmt::format("--{}\r\n{}\r\n\r\n{}\r\n", boundary, header, contents);
    return body + fmt::format("--{}--\r\n", boundary);
}

std::string filePart(std::string_view filename)
{
    return fmt::format("Content-Disposition: form-data; name=\"vk_upload_filename\"; filename=\"{}\"\r\n"
                       "Content-Type: application/octet-stream",
        filename);
}

class WebDAVPostResponseTest : public test::WebDAVServerTestCase {
protected:
    // Sends a POST over a raw socket, the body once the server asked for it
    // (so that it streams), and answers the response.
    std::string post(std::string_view path, std::string_view body, std::string_view headers = {},
        std::string_view type = "multipart/form-data; boundary=XyZ")
    {
        RawClient client(server->port());
        client.send(fmt::format("POST {} HTTP/1.1\r\nHost: h\r\nContent-Type: {}\r\nContent-Length: {}\r\n"
                                "Expect: 100-continue\r\n{}\r\n",
            path, type, body.size(), headers));
        client.readUntil("\r\n\r\n");
        if (client.received().starts_with("HTTP/1.1 100")) {
            client.send(body);
            client.readUntil("\r\n\r\n", 2);
        }
        return responseIn(client);
    }
    // The last response of what the client received, its body read whole.
    static std::string responseIn(RawClient& client)
    {
        std::string text = client.received();
        size_t start = text.starts_with("HTTP/1.1 100") ? text.find("\r\n\r\n") + 4 : 0;
        size_t headEnd = text.find("\r\n\r\n", start);
        if (headEnd == std::string::npos)
            return text.substr(start);
        size_t length = text.find("Content-Length: ", start);
        size_t bodyLength = length < headEnd ? std::stoul(text.substr(length + 16)) : 0;
        text = client.readBytes(headEnd + 4 + bodyLength);
        return text.substr(start, headEnd + 4 + bodyLength - start);
    }
    std::string curlUpload(std::string_view folder, const std::string& file, std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments { "-D", "-", "-F", "vk_upload_filename=@" + file };
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(url(folder));
        return curl(arguments);
    }
};

TEST_F(WebDAVPostResponseTest, CurlUploadsArriveByteForByte)
{
    std::mt19937 random(17);
    std::string big(5 << 20, '\0');
    for (auto& byte : big)
        byte = static_cast<char>(random());
    // Line ends and pieces of the delimiters curl draws (dashes, then hex).
    for (size_t at = 1000; at + 64 < big.size(); at += 65536) {
        big.replace(at, 4, "\r\n\r\n");
        big.replace(at + 100, 30, "\r\n------------------------abc\r\n");
        big.replace(at + 300, 1, "\r");
    }
    big.back() = '\r';
    for (const auto& [name, contents] : std::vector<std::pair<std::string, std::string>> {
             { "empty.bin", "" }, { "one.bin", "x" }, { "big.bin", big } }) {
        std::string answer = curlUpload("/Documents/", makeFile(name, contents));
        EXPECT_EQ(code(answer), "200") << name;
        EXPECT_NE(answer.find("\r\n\r\n200 Success\r\n"), std::string::npos) << answer;
        EXPECT_NE(answer.find(fmt::format("Location: http://127.0.0.1:{}/Documents/{}", server->port(), name)),
            std::string::npos)
            << answer;
        EXPECT_TRUE(contentsOf(documents + "/" + name) == contents) << name;
    }
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "big.bin", "empty.bin", "one.bin" }));
}

TEST_F(WebDAVPostResponseTest, NamesComeFromTheFilePartAndStayInTheFolder)
{
    std::string source = makeFile("source.txt", "body");
    // A plain "Filename" field ahead of the file part is passed over.
    EXPECT_EQ(code(curlUpload("/Documents/", source, { "-F", "Filename=ignored.txt" })), "200");
    std::string answer = curl({ "-F", "Filename=other", "-F", "vk_upload_filename=@" + source + ";filename=named.txt",
        url("/Documents") });
    EXPECT_EQ(code(answer), "200");
    EXPECT_EQ(contentsOf(documents + "/named.txt"), "body");

    std::string windows = formBody("XyZ", { { filePart("C:\\Users\\a\\b.txt"), "win" } });
    EXPECT_NE(post("/Documents/", windows, "User-Agent: Mozilla/5.0 (Windows NT 10.0)\r\n").find("200 Success\r\n"),
        std::string::npos);
    EXPECT_EQ(contentsOf(documents + "/b.txt"), "win");
    // Elsewhere a backslash is part of the name.
    EXPECT_NE(post("/Documents/", windows).find("200 Success"), std::string::npos);
    EXPECT_EQ(contentsOf(documents + "/C:\\Users\\a\\b.txt"), "win");

    // A name is never a path: only its last component counts.
    makeFolder("site/Library/Documents/sub");
    EXPECT_NE(post("/Public/", formBody("XyZ", { { filePart("../Library/Documents/sub/escape.txt"), "up" } }))
                  .find("200 Success"),
        std::string::npos);
    EXPECT_EQ(contentsOf(publicFolder + "/escape.txt"), "up");
    EXPECT_NE(post("/Documents/", formBody("XyZ", { { filePart("sub/deeper.txt"), "down" } })).find("200 Success"),
        std::string::npos);
    EXPECT_EQ(contentsOf(documents + "/deeper.txt"), "down");
    for (const std::string& name : std::vector<std::string> { "", ".", "..", "a/..", "x/", std::string("nul\0.txt", 8) }) {
        EXPECT_NE(post("/Documents/", formBody("XyZ", { { filePart(name), "no" } }))
                      .find("400 Bad Request - Invalid MIME header\r\n"),
            std::string::npos)
            << name;
    }
    // Quoted names run to their closing quote.
    EXPECT_NE(post("/Documents/", formBody("XyZ", { { filePart("a;b.txt"), "semi" } })).find("200 Success"),
        std::string::npos);
    EXPECT_EQ(contentsOf(documents + "/a;b.txt"), "semi");
    EXPECT_NE(post("/Documents/", formBody("XyZ", { { filePart("say \\\"hi\\\".txt"), "q" } })).find("200 Success"),
        std::string::npos);
    EXPECT_EQ(contentsOf(documents + "/say \"hi\".txt"), "q");
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "C:\\Users\\a\\b.txt", "a;b.txt", "b.txt", "deeper.txt",
                                      "named.txt", "say \"hi\".txt", "source.txt", "sub" }));
    EXPECT_EQ(namesIn(publicFolder), (std::vector<std::string> { "escape.txt" }));
}

TEST_F(WebDAVPostResponseTest, ReplacingAFileDropsItsDeadPropertiesOnlyOnceTheUploadIsWhole)
{
    std::string path = makeFile("site/Library/Documents/old.txt", "old contents");
    ASSERT_TRUE(core::ExtendedAttributes::setValue(path, "com.kestrova.DAV.{http://ex/ns}color", "blue"));
    {
        // A client that leaves mid-file: the old file stays as it was.
        RawClient client(server->port());
        std::string body = formBody("XyZ", { { filePart("old.txt"), std::string(100000, 'n') } });
        client.send(fmt::format("POST /Documents/ HTTP/1.1\r\nHost: h\r\nContent-Type: multipart/form-data; boundary=XyZ\r\n"
                                "Content-Length: {}\r\n\r\n",
            body.size()));
        client.send(body.substr(0, 5000));
        const auto staged = [] { return namesIn(WebDAVStagingFolder::path()).size(); };
        core::RunLoop::main().runUntil([&] { return staged() == 1; }, 10);
        EXPECT_EQ(staged(), 1u);
    }
    int updates = 0;
    auto observation = core::NotificationCenter::defaultCenter().observe(WebDAVCollectionDidUpdateNotification, nullptr,
        [&](const WebDAVItemNews& item) { updates += item.path == documents; });
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] {
        return namesIn(WebDAVStagingFolder::path()).empty() && updates == 1;
    }, 20));
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "old.txt" }));
    EXPECT_EQ(contentsOf(path), "old contents");
    EXPECT_TRUE(logContains("Warning, POST - removing partial file: " + path));

    core::FileTestHooks::failNextWrite(ENOSPC);
    std::string answer = post("/Documents/", formBody("XyZ", { { filePart("old.txt"), "new" } }));
    EXPECT_NE(answer.find("507 Insufficient Storage\r\n"), std::string::npos) << answer;
    EXPECT_TRUE(logContains("Warning, failed to write POST data"));
    EXPECT_EQ(contentsOf(path), "old contents");
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "old.txt" }));

    answer = post("/Documents/", formBody("XyZ", { { filePart("old.txt"), "new" } }));
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 Success\r\n")) << answer;
    EXPECT_EQ(contentsOf(path), "new");
    EXPECT_FALSE(core::ExtendedAttributes::value(path, "com.kestrova.DAV.{http://ex/ns}color"));
}

TEST_F(WebDAVPostResponseTest, RefusalsSayWhyAndClose)
{
    std::string file = makeFile("site/Library/Documents/file.txt", "keep");
    makeFolder("site/Library/Documents/folder");
    std::string good = formBody("XyZ", { { filePart("new.txt"), "data" } });
    struct Case {
        std::string path;
        std::string body;
        std::string type;
        std::string expected;
    };
    const std::string form = "multipart/form-data; boundary=XyZ";
    std::string wrongField = formBody("XyZ", { { "Content-Disposition: form-data; name=\"other\"; filename=\"a\"", "x" } });
    std::string base64 = formBody("XyZ", { { filePart("new.txt") + "\r\nContent-Transfer-Encoding: base64", "ZGF0YQ==" } });
    std::string longHeader = "--XyZ\r\nContent-Disposition: form-data; name=\"vk_upload_filename\"; filename=\""
        + std::string(20000, 'a') + "\"\r\n\r\n";
    for (const auto& [path, body, type, expected] : std::vector<Case> {
             { "/Documents/", "", form, "400 Bad Request - no form data" },
             { "/Documents/", good, "text/plain", "400 Bad Request - Invalid content type" },
             { "/Documents/", good, "multipart/form-data", "400 Bad Request - No MIME boundary found" },
             { "/Documents/", good, "multipart/form-data; boundary=Other", "400 Bad Request - Bad MIME boundary" },
             { "/Documents/", wrongField, form, "400 Bad Request - Invalid MIME header" },
             { "/Documents/", "--XyZ\r\nContent-Disposition: form-data\r\n", form, "400 Bad Request - No MIME header found" },
             { "/Documents/", good.substr(0, good.size() - 12), form, "400 Bad Request - Terminating MIME boundary not found" },
             { "/Documents/", longHeader, form, "400 Bad Request - Invalid MIME header" },
             { "/Documents/", "--XyZ\r\n" + filePart("end.txt") + "\r\n\r\n", form,
                 "400 Bad Request - Terminating MIME boundary not found" },
             { "/Documents/", base64, form, "406 Not Acceptable - Unhandled Content-Transfer-Encoding" },
             { "/Documents/file.txt", good, form, "409 Conflict - parent collection does not exist" },
             { "/Documents/", formBody("XyZ", { { filePart("folder"), "x" } }), form,
                 "403 Forbidden - Resource cannot be a collection" },
             { "/", good, form, "403 (null)" },
         }) {
        std::string answer = post(path, body, {}, type);
        std::string status = expected.substr(0, 3);
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 " + status)) << expected << "\n" << answer;
        EXPECT_TRUE(answer.ends_with("\r\n\r\n" + expected + "\r\n")) << answer;
        EXPECT_NE(answer.find("Connection: close"), std::string::npos) << answer;
    }
    EXPECT_EQ(contentsOf(file), "keep");
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "file.txt", "folder" }));
    EXPECT_EQ(namesIn(site), (std::vector<std::string> { "Documents", "Library" }));

    ASSERT_TRUE(WebDAVLockManager::sharedManager()->acquireWriteLockForURI(*core::URL::parse("/Documents/file.txt"), file,
        "exclusive", "someone", "0", "Infinite"));
    EXPECT_TRUE(post("/Documents/", formBody("XyZ", { { filePart("file.txt"), "theirs" } })).starts_with("HTTP/1.1 423"));
    EXPECT_EQ(contentsOf(file), "keep");
    WebDAVLockManager::sharedManager()->removeAllLocks();

    VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(10); });
    int refusals = 0;
    auto observation = core::NotificationCenter::defaultCenter().observe(WebDAVInsufficientStorageNotification, nullptr,
        [&](const core::Notification&) { ++refusals; });
    EXPECT_TRUE(post("/Documents/", good).ends_with("\r\n\r\n507 Insufficient Storage\r\n"));
    EXPECT_EQ(refusals, 1);
}

TEST_F(WebDAVPostResponseTest, UploadTokensStandInForDigest)
{
    protect();
    std::string token = WebDAVConnection::generatePOSTTokenForURI(*core::URL::parse("/Documents/"));
    std::string body = formBody("XyZ", { { filePart("token.txt"), "by token" } });
    std::string answer = post("/Documents/?vksessionid=" + token, body, "X-Flash-Version: 1\r\n");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200")) << answer;
    EXPECT_EQ(contentsOf(documents + "/token.txt"), "by token");
    // The token outlives the upload that used it.
    EXPECT_EQ(WebDAVConnection::pathForPOSTToken(token), "/Documents");

    EXPECT_TRUE(post("/Documents/?vksessionid=0123", body, "X-Flash-Version: 1\r\n").starts_with("HTTP/1.1 404"));
    EXPECT_TRUE(post("/Documents/", body).starts_with("HTTP/1.1 401"));
}

TEST_F(WebDAVPostResponseTest, TheConnectionClosesAfterAStreamedUpload)
{
    RawClient client(server->port());
    std::string body = formBody("XyZ", { { filePart("s.txt"), "streamed" } }) + "epilogue";
    client.send(fmt::format("POST /Documents/ HTTP/1.1\r\nHost: h\r\nContent-Type: multipart/form-data; boundary=XyZ\r\n"
                            "Content-Length: {}\r\nExpect: 100-continue\r\n\r\n",
        body.size()));
    EXPECT_TRUE(client.readUntil("\r\n\r\n").starts_with("HTTP/1.1 100 Continue\r\n")) << client.received();
    client.send(body);
    EXPECT_TRUE(client.waitForClose());
    std::string answer = client.received().substr(client.received().find("\r\n\r\n") + 4);
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 Success\r\n")) << answer;
    EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos);
    EXPECT_TRUE(answer.ends_with("\r\n\r\n200 Success\r\n"));
    EXPECT_EQ(contentsOf(documents + "/s.txt"), "streamed");
}

// A Python client whose delimiter straddles the server's first 512 KiB read:
// its CR ends one read and its LF begins the next.
TEST_F(WebDAVPostResponseTest, ADelimiterAcrossReadsFromAPythonPeer)
{
    const char* script = R"(
import random, socket, sys
random.seed(3)
head = b'--XyZ\r\nContent-Disposition: form-data; name="vk_upload_filename"; filename="p.bin"\r\n\r\n'
contents = bytes(random.randrange(256) for _ in range(524287 - len(head))).replace(b'--XyZ', b'--XyY')
body = head + contents + b'\r\n--XyZ--\r\n'
open(sys.argv[2], 'wb').write(contents)
s = socket.create_connection(('127.0.0.1', int(sys.argv[1])))
s.sendall(b'POST /Documents/ HTTP/1.1\r\nHost: h\r\nContent-Type: multipart/form-data; boundary=XyZ\r\n'
          b'Expect: 100-continue\r\nContent-Length: %d\r\n\r\n' % len(body))
answer = b''
while b'\r\n\r\n' not in answer:
    answer += s.recv(65536)
s.sendall(body)
while True:
    piece = s.recv(65536)
    if not piece:
        break
    answer += piece
sys.stdout.write(answer.decode())
)";
    std::string expected = home() + "/expected.bin";
    test::ChildProcess client({ "python3", "-c", script, std::to_string(server->port()), expected });
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return !client.isRunning(); }, 30)) << client.errors();
    std::string answer = client.output();
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 100")) << answer;
    EXPECT_NE(answer.find("HTTP/1.1 200 Success\r\n"), std::string::npos) << answer;
    EXPECT_TRUE(answer.ends_with("\r\n\r\n200 Success\r\n"));
    ASSERT_GT(contentsOf(expected).size(), 500000u);
    EXPECT_TRUE(contentsOf(documents + "/p.bin") == contentsOf(expected));
}

// The parser fed directly, in reads split at every offset.
class WebDAVPostParserTest : public test::WebDAVTestCase {
protected:
    std::shared_ptr<WebDAVPostResponse> start(std::string_view body, test::FakeResponseDelegate& delegate)
    {
        auto request = test::makeRequest("POST", "/",
            fmt::format("Content-Type: multipart/form-data; boundary=b0\r\nContent-Length: {}\r\n", body.size()));
        auto response = WebDAVPostResponse::create(request, &delegate);
        response->start();
        return response;
    }
};

TEST_F(WebDAVPostParserTest, FindsTheDelimiterSplitAtEveryOffset)
{
    std::string contents = "line\r\n--b\r\r\n--b1\r\n";
    std::string body = "preamble\r\n--b0\r\nContent-Disposition: form-data; name=\"Filename\"\r\n\r\nf.txt\r\n"
        + formBody("b0", { { filePart("f.txt"), contents } });
    for (size_t split = 0; split <= body.size(); ++split) {
        test::FakeResponseDelegate delegate(root);
        auto response = start(body, delegate);
        response->requestBodyDidRead(std::string_view(body).substr(0, split));
        EXPECT_LE(response->partialDataLength(), WebDAVPostResponse::MaxMIMEHeaderLength);
        if (!response->temporaryPathForTesting().empty()) {
            EXPECT_LE(response->partialDataLength(), std::string_view("\r\n--b0").size());
        }
        response->requestBodyDidRead(std::string_view(body).substr(split));
        ASSERT_EQ(delegate.ends, 1) << split;
        EXPECT_EQ(response->statusCode(), 200) << split;
        EXPECT_EQ(contentsOf(root + "/f.txt"), contents) << split;
        EXPECT_EQ(namesIn(root), (std::vector<std::string> { "f.txt" }));
    }
    // Reads shorter than, as long as and longer than the delimiter.
    for (size_t step : { 1, 5, 6, 7, 13 }) {
        for (size_t first = 0; first < step; ++first) {
            test::FakeResponseDelegate delegate(root);
            auto response = start(body, delegate);
            for (size_t at = 0; at < body.size() && !delegate.ends; at += at == 0 && first ? first : step)
                response->requestBodyDidRead(std::string_view(body).substr(at, at == 0 && first ? first : step));
            EXPECT_EQ(response->statusCode(), 200) << step;
            EXPECT_EQ(contentsOf(root + "/f.txt"), contents) << step << " " << first;
        }
    }
}

TEST_F(WebDAVPostParserTest, ReadsMIMEHeaderFields)
{
    auto fields = WebDAVPostResponse::fieldsForMIMEHeader(
        "\r\nContent-Disposition: form-data; name=\"vk_upload_filename\"; filename=\"a;b \\\"c\\\".txt\"\r\n"
        "Content-Type: text/plain; charset=utf-8\r\n\r\n");
    ASSERT_TRUE(fields);
    EXPECT_EQ((*fields)["Content-Disposition"].toString(), "form-data");
    EXPECT_EQ((*fields)["name"].toString(), "vk_upload_filename");
    EXPECT_EQ((*fields)["filename"].toString(), "a;b \"c\".txt");
    EXPECT_EQ((*fields)["Content-Type"].toString(), "text/plain");
    EXPECT_EQ((*fields)["charset"].toString(), "utf-8");
    fields = WebDAVPostResponse::fieldsForMIMEHeader("\r\nContent-Disposition: form-data; filename=a;b.txt\r\n\r\n");
    ASSERT_TRUE(fields);
    EXPECT_EQ((*fields)["filename"].toString(), "a");
    EXPECT_FALSE(WebDAVPostResponse::fieldsForMIMEHeader("\r\n: form-data\r\n"));
    EXPECT_FALSE(WebDAVPostResponse::fieldsForMIMEHeader("\r\nContent-Disposition:\r\n"));
    EXPECT_FALSE(WebDAVPostResponse::fieldsForMIMEHeader("\r\n\r\n"));
    EXPECT_EQ(WebDAVPostResponse::storedFileName("C:\\x\\..", true), std::nullopt);
    EXPECT_EQ(WebDAVPostResponse::storedFileName("..\\a/b.txt", false), "b.txt");
}

} // namespace

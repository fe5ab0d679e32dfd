// The REST client's upload against the fake cloud service: the exact
// multipart body and where the stored name is signed, the callbacks a
// delegate prefers, sources that cannot be sent, a full disk while the body
// is staged, and body files that never outlive their request.

#include "DropboxSDK/DBDefines.h"
#include "DropboxSDK/DBRequest.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Path.h"
#include "Platform/Security/Digest.h"

#include "RestClientTestCase.h"

#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using test::Recorder;
using Callback = DBRestClientCallback;

std::string hex(const core::Data& data)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : data.view()) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

class DBRestClientUploadTest : public test::RestClientTestCase {
protected:
    // The body files of uploads left in the home's tmp/.
    std::vector<std::string> bodyFiles() const
    {
        std::vector<std::string> found;
        for (const auto& name : temporaryFiles()) {
            if (core::path::lastPathComponent(name).starts_with("DBRestClient-upload-"))
                found.push_back(name);
        }
        return found;
    }
};

class DBRestClientQuotaTest : public DBRestClientUploadTest {
protected:
    test::FakeCloudServer::Options serverOptions() const override
    {
        test::FakeCloudServer::Options options;
        options.quota = 10;
        return options;
    }
};

TEST_F(DBRestClientUploadTest, TheBodyAndTheSignatureAreLaidOutExactly)
{
    cloudFolder("/Photos");
    const std::string source = makeFile("x.txt", "abc");
    EXPECT_EQ(call([&] { client->uploadFile("x.txt", "/Photos/", source); }),
        (Recorder::Events { "uploadedFile /Photos/x.txt from " + source }));
    EXPECT_EQ(readFile(server->localPath("/Photos/x.txt")), "abc");

    const auto request = lastRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.scheme, "https");
    EXPECT_EQ(request.host, kDBDropboxAPIContentHost);
    EXPECT_EQ(request.pathOnly(), "/0/files/dropbox/Photos");
    EXPECT_EQ(request.verdict, "ok");

    // The query: the protocol parameters in order, the signature last;
    // "file" is signed (the fake read it from the body) but not sent.
    const std::string query = request.path.substr(request.path.find('?') + 1);
    std::vector<std::string> names;
    for (size_t start = 0; start <= query.size();) {
        const size_t end = std::min(query.find('&', start), query.size());
        names.push_back(query.substr(start, query.find('=', start) - start));
        start = end + 1;
    }
    EXPECT_EQ(names, (std::vector<std::string> { "oauth_consumer_key", "oauth_nonce", "oauth_signature_method",
                         "oauth_timestamp", "oauth_token", "oauth_version", "oauth_signature" }));
    EXPECT_EQ(request.parameter("file"), "x.txt");
    EXPECT_NE(request.baseString.find("&file%3Dx.txt%26oauth_consumer_key"), std::string::npos) << request.baseString;

    // The body, built here from its boundary alone.
    const std::string contentType = request.header("Content-Type").value_or("");
    const std::string prefix = "multipart/form-data; boundary=";
    ASSERT_TRUE(contentType.starts_with(prefix)) << contentType;
    const std::string boundary = contentType.substr(prefix.size());
    ASSERT_EQ(boundary.size(), 36u);
    EXPECT_EQ(boundary.find_first_not_of("0123456789ABCDEF-"), std::string::npos);
    const std::string body = "--" + boundary + "\r\n"
        + "Content-Disposition: form-data; name=\"file\"; filename=\"x.txt\"\r\n"
        + "Content-Type: application/octet-stream\r\n\r\n"
        + "abc"
        + "\r\n--" + boundary + "--\r\n";
    EXPECT_EQ(body.size(), 192u);
    EXPECT_EQ(request.bodyLength, 192);
    EXPECT_EQ(request.bodySHA256, hex(sec::Digest::sha256(body)));
    EXPECT_EQ(request.headerCount("Content-Length"), 1u);
    EXPECT_EQ(request.header("Content-Length"), "192");

    // The top folder is sent as it is; the body file is gone.
    EXPECT_EQ(call([&] { client->uploadFile("x.txt", "/", source); }), (Recorder::Events { "uploadedFile /x.txt from " + source }));
    EXPECT_EQ(lastRequest().pathOnly(), "/0/files/dropbox/");
    EXPECT_TRUE(bodyFiles().empty());
    EXPECT_TRUE(client->requests().empty());
}

TEST_F(DBRestClientUploadTest, NamesThatWouldBreakTheFormAreStoredSafely)
{
    cloudFolder("/Photos");
    const std::string source = makeFile("src.bin", "data");
    const std::vector<std::pair<std::string, std::string>> names {
        { "a;b.txt", "a-b.txt" },
        { "q\"uote\\d.txt", "q-uote-d.txt" },
        { "line\r\nContent-Type: evil.txt", "line--Content-Type: evil.txt" },
        { "tab\tbell\x07.txt", "tab-bell-.txt" },
        { "été ü.txt", "été ü.txt" },
    };
    for (const auto& [name, stored] : names) {
        SCOPED_TRACE(stored);
        EXPECT_EQ(call([&] { client->uploadFile(name, "/Photos", source); }),
            (Recorder::Events { "uploadedFile /Photos/" + name + " from " + source }));
        const auto request = lastRequest();
        EXPECT_EQ(request.parameter("file"), stored);
        EXPECT_EQ(request.verdict, "ok");
    }
    // "/" in a name cannot be stored; the fake refuses it.
    EXPECT_EQ(call([&] { client->uploadFile("a/b.txt", "/Photos", source); }), (Recorder::Events { "uploadFailed 400" }));
    EXPECT_EQ(readFile(server->localPath("/Photos/a-b.txt")), "data");
    EXPECT_EQ(readFile(server->localPath("/Photos/été ü.txt")), "data");
    EXPECT_TRUE(std::filesystem::exists(server->localPath("/Photos/q-uote-d.txt")));
}

TEST_F(DBRestClientUploadTest, TheDelegatePicksItsCallbacks)
{
    cloudFolder("/Up");
    const std::string source = makeFile("big.bin", std::string(3 << 20, 'z'));
    EXPECT_EQ(call([&] { client->uploadFile("big.bin", "/Up", source); }), (Recorder::Events { "uploadedFile /Up/big.bin from " + source }));
    ASSERT_FALSE(recorder->progresses.empty());
    EXPECT_EQ(recorder->progresses.back(), 1.0f);
    EXPECT_TRUE(std::is_sorted(recorder->progresses.begin(), recorder->progresses.end()));
    EXPECT_EQ(recorder->progressKinds, (std::set<std::string> { "from /Up/big.bin " + source }));

    recorder->answered.erase(Callback::UploadedFileFrom);
    recorder->answered.erase(Callback::UploadProgressForFileFrom);
    recorder->progressKinds.clear();
    EXPECT_EQ(call([&] { client->uploadFile("big.bin", "/Up", source); }), (Recorder::Events { "uploadedFile " + source }));
    EXPECT_EQ(recorder->progressKinds, (std::set<std::string> { "to /Up/big.bin" }));
    EXPECT_EQ(std::filesystem::file_size(server->localPath("/Up/big.bin")), 3u << 20);
}

TEST_F(DBRestClientUploadTest, SourcesThatAreNotFilesFailInsideTheCall)
{
    const std::string folder = makeFolder("folder");
    const std::string fifo = pathInHome("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string linkToFolder = pathInHome("link-to-folder");
    ASSERT_EQ(symlink(folder.c_str(), linkToFolder.c_str()), 0);
    for (const std::string& source : { pathInHome("missing.txt"), folder, fifo, std::string("/dev/null"), linkToFolder }) {
        SCOPED_TRACE(source);
        recorder->events.clear();
        client->uploadFile("x", "/", source);
        EXPECT_EQ(recorder->events, (Recorder::Events { "uploadFailed 1001" }));
        EXPECT_EQ(recorder->lastError.domain(), DBErrorDomain);
        EXPECT_EQ(recorder->lastError.userInfo(), (core::Value::Dictionary { { "sourcePath", core::Value(source) } }));
    }
    EXPECT_TRUE(client->requests().empty());
    EXPECT_TRUE(server->requests().empty());

    // A link to a file is the file.
    const std::string file = makeFile("file.txt", "linked");
    const std::string linkToFile = pathInHome("link-to-file");
    ASSERT_EQ(symlink(file.c_str(), linkToFile.c_str()), 0);
    EXPECT_EQ(call([&] { client->uploadFile("l.txt", "/", linkToFile); }), (Recorder::Events { "uploadedFile /l.txt from " + linkToFile }));
    EXPECT_EQ(readFile(server->localPath("/l.txt")), "linked");
}

TEST_F(DBRestClientUploadTest, StagingFailuresRemoveTheBodyFile)
{
    const std::string source = makeFile("s.txt", std::string(2 << 20, 's'));

    // A full disk while the file is copied, and while the end is written.
    core::FileTestHooks::setCopyItemHook([](const std::string&) {
        core::FileTestHooks::failNextWrite(ENOSPC);
        return 0;
    });
    EXPECT_EQ(call([&] { client->uploadFile("s.txt", "/", source); }), (Recorder::Events { "uploadFailed 1002" }));
    EXPECT_EQ(recorder->lastError.userInfo(), (core::Value::Dictionary { { "sourcePath", core::Value(source) } }));
    EXPECT_TRUE(logContains("DBRestClient#uploadFileToRoot:path:filename:fromPath: failed to write data"));
    EXPECT_TRUE(bodyFiles().empty());
    EXPECT_TRUE(client->requests().empty());
    const std::string empty = makeFile("empty.txt");
    EXPECT_EQ(call([&] { client->uploadFile("e.txt", "/", empty); }), (Recorder::Events { "uploadFailed 1002" }));
    EXPECT_TRUE(logContains("failed to write end of data"));
    EXPECT_TRUE(bodyFiles().empty());

    // A source gone before the copy fails the upload: the file already in
    // the cloud is not replaced by an empty one.
    std::ofstream(server->localPath("/s.txt")) << "kept";
    core::FileTestHooks::setCopyItemHook([](const std::string& from) {
        unlink(from.c_str());
        return 0;
    });
    EXPECT_EQ(call([&] { client->uploadFile("s.txt", "/", source); }), (Recorder::Events { "uploadFailed 1001" }));
    EXPECT_TRUE(logContains("unable to open sourceFile"));
    EXPECT_EQ(readFile(server->localPath("/s.txt")), "kept");
    EXPECT_TRUE(bodyFiles().empty());
    EXPECT_TRUE(client->requests().empty());
    core::FileTestHooks::reset();

    // No body file can be made: tmp/ is not a folder.
    const std::string temporary = core::paths::temporaryDirectory();
    std::filesystem::remove_all(temporary);
    makeFile("tmp", "in the way");
    const std::string other = makeFile("o.txt", "o");
    EXPECT_EQ(call([&] { client->uploadFile("o.txt", "/", other); }), (Recorder::Events { "uploadFailed 1000" }));
    EXPECT_TRUE(logContains("failed to create file"));
    EXPECT_TRUE(client->requests().empty());
    std::filesystem::remove(pathInHome("tmp"));
}

TEST_F(DBRestClientUploadTest, BodyFilesNeverOutliveTheirRequest)
{
    cloudFolder("/In");
    const std::string first = makeFile("1.txt", "one");
    const std::string second = makeFile("2.txt", "two");
    // Two at once: two body files (made by the workers), two uploads.
    recorder->events.clear();
    client->uploadFile("1.txt", "/In", first);
    client->uploadFile("2.txt", "/In", second);
    EXPECT_EQ(client->requests().size(), 2u);
    std::set<std::string> bodies;
    for (const auto& request : client->requests()) {
        EXPECT_TRUE(request->request().url().path().starts_with("/0/files/"));
        bodies.insert(request->request().bodyFilePath());
    }
    EXPECT_EQ(bodies.size(), 2u);
    for (const auto& body : bodies)
        EXPECT_TRUE(core::path::lastPathComponent(body).starts_with("DBRestClient-upload-")) << body;
    ASSERT_TRUE(waitForEvents(2));
    std::sort(recorder->events.begin(), recorder->events.end());
    EXPECT_EQ(recorder->events, (Recorder::Events { "uploadedFile /In/1.txt from " + first, "uploadedFile /In/2.txt from " + second }));
    EXPECT_EQ(readFile(server->localPath("/In/2.txt")), "two");
    EXPECT_TRUE(bodyFiles().empty());

    // Refused by the service: a missing folder.
    EXPECT_EQ(call([&] { client->uploadFile("1.txt", "/Nowhere", first); }), (Recorder::Events { "uploadFailed 404" }));
    EXPECT_EQ(recorder->errorInfo("destinationPath"), "/Nowhere/1.txt");
    EXPECT_EQ(recorder->errorInfo("sourcePath"), first);
    EXPECT_TRUE(bodyFiles().empty());

    // An overwrite keeps the stored name.
    EXPECT_EQ(call([&] { client->uploadFile("1.TXT", "/in", second); }), (Recorder::Events { "uploadedFile /in/1.TXT from " + second }));
    EXPECT_EQ(readFile(server->localPath("/In/1.txt")), "two");

    // Let go while one is sent and one is still staged.
    server->addFault(R"({"endpoint":"files","method":"POST","stall":"up"})");
    recorder->events.clear();
    client->uploadFile("1.txt", "/In", first);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return server->requests().size() == 5; }, 20));
    client->uploadFile("2.txt", "/In", second);
    client.reset();
    EXPECT_TRUE(core::Thread::waitForAll(20));
    server->release("up");
    core::RunLoop::main().runUntilIdle();
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_TRUE(bodyFiles().empty());
}

TEST_F(DBRestClientQuotaTest, AnUploadOverTheQuotaIsRefused)
{
    cloudFile("/five.txt", "12345");
    const std::string source = makeFile("six.txt", "123456");
    EXPECT_EQ(call([&] { client->uploadFile("six.txt", "/", source); }), (Recorder::Events { "uploadFailed 507" }));
    EXPECT_FALSE(std::filesystem::exists(server->localPath("/six.txt")));
    // Replacing a file counts only the difference.
    EXPECT_EQ(call([&] { client->uploadFile("five.txt", "/", source); }), (Recorder::Events { "uploadedFile /five.txt from " + source }));
}

} // namespace

#include "DropboxSDK/DBDefines.h"
#include "DropboxSDK/DBRequest.h"
#include "Kit/VKStagingFolder.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Net/FakeURLLoad.h"
#include "Platform/Net/FakeURLServer.h"
#include "Platform/Net/URLError.h"

#include "RestClientTestCase.h"
#include "Support/KillDuring.h"
#include "Support/TestCase.h"
#include "Support/TestWebServer.h"

#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace {

using Events = std::vector<std::string>;

// A target that writes down what each request sends it.
class Target : public core::Object {
public:
    void loaded(DBRequest& request)
    {
        events.push_back("loaded " + std::to_string(request.statusCode()));
        if (onLoaded)
            onLoaded();
    }
    void failed(DBRequest& request)
    {
        events.push_back("failed " + std::to_string(request.error().code()));
        error = request.error();
    }
    void downloadProgress(DBRequest& request) { events.push_back("down " + std::to_string(request.downloadProgress())); }
    void uploadProgress(DBRequest& request) { events.push_back("up " + std::to_string(request.uploadProgress())); }

    Events events;
    core::Error error;
    std::function<void()> onLoaded;
};

class NetworkCounter : public DBNetworkRequestDelegate {
public:
    void networkRequestStarted() override { ++started; }
    void networkRequestStopped() override { ++stopped; }
    int started = 0;
    int stopped = 0;
};

class DBRequestTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        server = net::FakeURLServer::install("http://cloud.test/");
        DBRequest::setNetworkRequestDelegate(network);
    }

    std::shared_ptr<DBRequest> start(const std::string& path, bool withFailure = true, const std::string& resultFile = {})
    {
        auto request = DBRequest::initWithURLRequest(core::URLRequest(core::URL::parse("http://cloud.test" + path).value()),
            target, DBRequest::selector(&Target::loaded));
        if (withFailure)
            request->setFailureSelector(DBRequest::selector(&Target::failed));
        request->setDownloadProgressSelector(DBRequest::selector(&Target::downloadProgress));
        request->setUploadProgressSelector(DBRequest::selector(&Target::uploadProgress));
        request->setUserInfo({ { "path", core::Value(path) } });
        if (!resultFile.empty())
            request->setResultFilename(resultFile);
        return request;
    }

    static void pump() { core::RunLoop::main().runUntilIdle(); }
    // Files are written on a thread of their own: waits for what it did.
    static bool waitFor(const std::function<bool()>& done) { return core::RunLoop::main().runUntil(done, 10); }
    bool waitForEvent(const std::string& event)
    {
        return waitFor([&] { return !target->events.empty() && target->events.back() == event; });
    }

    static std::vector<std::string> temporaryFiles() { return test::temporaryItems(); }

    std::shared_ptr<net::FakeURLServer> server;
    std::shared_ptr<Target> target = std::make_shared<Target>();
    std::shared_ptr<NetworkCounter> network = std::make_shared<NetworkCounter>();
};

TEST_F(DBRequestTest, AnswersAndTheServicesErrors)
{
    // A body in memory, with progress against its length.
    auto ok = start("/ok");
    auto load = server->lastLoad();
    load->respond(200, { { "Content-Length", "8" } });
    load->send("{\"a\":");
    pump();
    load->send("1}\n");
    load->finish();
    pump();
    EXPECT_EQ(target->events, (Events { "down 0.625000", "down 1.000000", "loaded 200" }));
    EXPECT_FALSE(ok->error());
    EXPECT_EQ(ok->resultData(), "{\"a\":1}\n");
    EXPECT_EQ(ok->resultString(), "{\"a\":1}\n");
    EXPECT_EQ(ok->resultJSON(), core::Value::makeDictionary({ { "a", 1 } }));
    EXPECT_EQ(ok->bytesDownloaded(), 8);

    // Any other status is an error carrying the caller's context and the
    // service's JSON entries.
    struct Answer {
        int status;
        std::string body;
        core::Value::Dictionary extra;
    };
    const std::vector<Answer> answers {
        { 404, R"({"error":"Path not found","path":"/from service"})", { { "error", "Path not found" }, { "path", "/from service" } } },
        { 304, "", {} },
        { 500, "Internal failure, not JSON", {} },
        { 503, "[1,2]", {} },
        { 502, "bad \xff bytes", { { "errorMessage", "bad \xEF\xBF\xBD bytes" } } },
    };
    for (const auto& answer : answers) {
        target->events.clear();
        auto request = start("/fail");
        auto failing = server->lastLoad();
        failing->respond(answer.status);
        failing->send(answer.body);
        failing->finish();
        pump();
        EXPECT_EQ(target->events.back(), "failed " + std::to_string(answer.status));
        core::Value::Dictionary expected { { "path", "/fail" } };
        for (const auto& [key, value] : answer.extra)
            expected.insert_or_assign(key, value);
        EXPECT_EQ(target->error.domain(), DBErrorDomain);
        EXPECT_EQ(core::Value(target->error.userInfo()), core::Value(expected)) << answer.status;
    }

    // Without a failure selector the completion hears of the failure.
    target->events.clear();
    auto plain = start("/plain", false);
    server->lastLoad()->respond(401);
    server->lastLoad()->finish();
    pump();
    EXPECT_EQ(target->events, (Events { "loaded 401" }));
    EXPECT_EQ(plain->error().code(), 401);
    EXPECT_EQ(network->started, 7);
    EXPECT_EQ(network->stopped, 7);
}

TEST_F(DBRequestTest, DownloadsReplaceTheDestinationOnlyWhenWhole)
{
    std::string destination = makeFile("Documents/a.bin", "old contents");
    auto request = start("/file", true, destination);
    auto load = server->lastLoad();
    load->respond(200, { { "Content-Length", "6" } });
    load->send("new");
    pump();
    // The body goes to a unique file in the home's tmp/; the old file stays.
    ASSERT_FALSE(request->tempFilename().empty());
    EXPECT_TRUE(request->tempFilename().starts_with(core::paths::temporaryDirectory()));
    EXPECT_TRUE(waitFor([&] { return readFile(request->tempFilename()) == "new"; }));
    EXPECT_EQ(readFile(destination), "old contents");
    // A second request at the same moment gets a file of its own.
    auto twin = start("/file2", true, pathInHome("Documents/b.bin"));
    server->lastLoad()->respond(200);
    pump();
    EXPECT_NE(twin->tempFilename(), request->tempFilename());
    EXPECT_EQ(temporaryFiles().size(), 2u);
    twin.reset();
    EXPECT_EQ(temporaryFiles().size(), 1u);

    load->send("!!!");
    load->finish();
    EXPECT_TRUE(waitForEvent("loaded 200"));
    EXPECT_EQ(readFile(destination), "new!!!");
    EXPECT_TRUE(request->resultData().empty());
    EXPECT_TRUE(temporaryFiles().empty());

    // Another status is read into memory, so that its error can be read.
    auto missing = start("/missing", true, destination);
    server->lastLoad()->respond(404);
    server->lastLoad()->send(R"({"error":"gone"})");
    server->lastLoad()->finish();
    pump();
    EXPECT_EQ(missing->error().userInfo().at("error"), core::Value("gone"));
    EXPECT_EQ(readFile(destination), "new!!!");

    // A folder at the destination is refused and kept.
    std::string folder = makeFolder("Documents/folder");
    makeFile("Documents/folder/inside.txt", "keep");
    auto intoFolder = start("/file", true, folder);
    server->lastLoad()->respond(200);
    server->lastLoad()->send("x");
    server->lastLoad()->finish();
    EXPECT_TRUE(waitForEvent("failed " + std::to_string(EISDIR)));
    EXPECT_TRUE(intoFolder->error().is(core::Error::POSIXDomain, EISDIR));
    EXPECT_EQ(intoFolder->error().userInfo().at("path"), core::Value("/file"));
    EXPECT_EQ(readFile(folder + "/inside.txt"), "keep");
    EXPECT_TRUE(temporaryFiles().empty());
    EXPECT_TRUE(logContains("DBRequest#connectionDidFinishLoading: error moving temp file to desired location"));

    // Across file systems the copy is made beside the destination first.
    std::string shm = "/dev/shm/tandry-dbrequest-" + std::to_string(getpid());
    ASSERT_TRUE(core::fs::createDirectory(shm, false));
    std::string far = shm + "/far.bin";
    ASSERT_TRUE(core::fs::writeFileAtomically(far, "far old"));
    auto across = start("/file", true, far);
    server->lastLoad()->respond(200);
    server->lastLoad()->send("far new");
    server->lastLoad()->finish();
    EXPECT_TRUE(waitForEvent("loaded 200"));
    EXPECT_FALSE(across->error());
    EXPECT_EQ(readFile(far), "far new");
    EXPECT_EQ(core::fs::contentsOfDirectory(shm)->size(), 1u);
    core::fs::removeItem(shm);
    EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(DBRequestTest, FailuresAndCancelLeaveNoTemporaryFile)
{
    std::string destination = makeFile("Documents/a.bin", "old");

    // A connection failure: its domain and code, progress back to 0.
    auto broken = start("/file", true, destination);
    auto load = server->lastLoad();
    load->respond(200, { { "Content-Length", "10" } });
    load->send("12345");
    pump();
    EXPECT_FLOAT_EQ(broken->downloadProgress(), 0.5f);
    load->fail(net::URLError::NetworkConnectionLost);
    pump();
    EXPECT_EQ(target->events.back(), "failed -1005");
    EXPECT_EQ(broken->error().domain(), net::URLErrorDomain);
    EXPECT_EQ(core::Value(broken->error().userInfo()), core::Value::makeDictionary({ { "path", "/file" } }));
    EXPECT_EQ(broken->downloadProgress(), 0);
    EXPECT_EQ(broken->bytesDownloaded(), 0);
    EXPECT_TRUE(temporaryFiles().empty());
    EXPECT_EQ(readFile(destination), "old");

    // A full disk: the load is cancelled, the file removed, the old file kept.
    target->events.clear();
    auto full = start("/file", true, destination);
    auto fullLoad = server->lastLoad();
    fullLoad->respond(200, { { "Content-Length", "10" } });
    fullLoad->send("12345");
    pump();
    ASSERT_TRUE(waitFor([&] { return readFile(full->tempFilename()) == "12345"; }));
    core::FileTestHooks::failNextWrite(ENOSPC);
    fullLoad->send("67890");
    EXPECT_TRUE(waitForEvent("failed 1002"));
    EXPECT_EQ(target->events, (Events { "down 0.500000", "down 1.000000", "failed 1002" }));
    EXPECT_EQ(readFile(destination), "old");
    EXPECT_EQ(full->error().domain(), DBErrorDomain);
    EXPECT_EQ(full->error().userInfo().at("path"), core::Value("/file"));
    EXPECT_TRUE(fullLoad->isCancelled());
    EXPECT_TRUE(temporaryFiles().empty());

    // Cancelled: nothing is sent, the file goes.
    target->events.clear();
    auto cancelled = start("/file", true, destination);
    server->lastLoad()->respond(200);
    server->lastLoad()->send("abc");
    pump();
    EXPECT_EQ(temporaryFiles().size(), 1u);
    cancelled->cancel();
    server->lastLoad()->finish();
    pump();
    EXPECT_EQ(target->events, (Events { "down 0.000000" }));
    EXPECT_TRUE(temporaryFiles().empty());
    EXPECT_EQ(readFile(destination), "old");

    // Killed while the body is written: the next launch's sweep takes the file.
    test::killDuring([&](const std::function<void()>& stall) {
        auto killed = start("/file", true, destination);
        server->lastLoad()->respond(200, { { "Content-Length", "6" } });
        server->lastLoad()->send("abc");
        if (waitFor([&] { return readFile(killed->tempFilename()) == "abc"; }))
            stall();
    });
    VKStagingFolder::removeAbandonedItems();
    EXPECT_TRUE(temporaryFiles().empty());
    EXPECT_EQ(readFile(destination), "old");

    // A temporary file that cannot be made fails the request at once.
    target->events.clear();
    ASSERT_TRUE(core::fs::removeItem(pathInHome("tmp")));
    makeFile("tmp", "a file where the folder should be");
    auto uncreatable = start("/file", true, destination);
    auto blocked = server->lastLoad();
    blocked->respond(200);
    pump();
    EXPECT_EQ(target->events, (Events { "failed " + std::to_string(ENOTDIR) }));
    EXPECT_EQ(uncreatable->error().domain(), core::Error::POSIXDomain);
    EXPECT_TRUE(blocked->isCancelled());
    EXPECT_TRUE(logContains("DBRequest#connection:didReceiveData: Error creating file at path:"));

    EXPECT_EQ(network->started, 4);
    EXPECT_EQ(network->stopped, 4);
}

TEST_F(DBRequestTest, ALargeBodyIsWholeInPlaceWhenTheRequestEnds)
{
    // 24 MiB arriving faster than anything is written: the connection is
    // held back while the writer catches up, and the completion comes only
    // once every byte is in place, in order.
    std::string destination = makeFile("Documents/big.bin", "old");
    std::string body;
    for (int i = 0; i < 24; ++i)
        body += std::string(1 << 20, char('A' + i));
    uint64_t sizeAtCompletion = 0;
    auto request = start("/big", true, destination);
    auto load = server->lastLoad();
    load->respond(200, { { "Content-Length", std::to_string(body.size()) } });
    for (int i = 0; i < 24; ++i)
        load->send(body.substr(size_t(i) << 20, 1 << 20));
    load->finish();
    target->onLoaded = [&] { sizeAtCompletion = std::filesystem::file_size(destination); };
    ASSERT_TRUE(waitForEvent("loaded 200"));
    EXPECT_EQ(sizeAtCompletion, body.size());
    EXPECT_TRUE(readFile(destination) == body);
    EXPECT_EQ(target->events.size(), 25u);
    EXPECT_TRUE(temporaryFiles().empty());

    // Cancelled with most of it still queued: nothing more is sent, the
    // temporary file goes and the old file stays.
    target->events.clear();
    auto cancelled = start("/big", true, destination + ".2");
    makeFile("Documents/big.bin.2", "older");
    auto second = server->lastLoad();
    second->respond(200, { { "Content-Length", std::to_string(body.size()) } });
    for (int i = 0; i < 24; ++i)
        second->send(body.substr(size_t(i) << 20, 1 << 20));
    pump();
    cancelled->cancel();
    second->finish();
    EXPECT_TRUE(core::Thread::waitForAll(10));
    pump();
    EXPECT_TRUE(target->events.empty() || target->events.back().starts_with("down"));
    EXPECT_TRUE(temporaryFiles().empty());
    EXPECT_EQ(readFile(destination + ".2"), "older");
}

TEST_F(DBRequestTest, ProgressAndTheNetworkDelegate)
{
    // A 5 GiB answer counts in 64 bits.
    auto big = start("/big");
    auto load = server->lastLoad();
    load->sendBodyProgress(100, 100, 400);
    load->sendBodyProgress(300, 400, 400);
    load->respond(200, { { "Content-Length", "5368709120" } });
    load->send(std::string(1 << 20, 'x'));
    pump();
    EXPECT_EQ(target->events, (Events { "up 0.250000", "up 1.000000", "down 0.000195" }));
    EXPECT_FLOAT_EQ(big->downloadProgress(), 1.0f / 5120);
    EXPECT_FLOAT_EQ(big->uploadProgress(), 1.0f);
    EXPECT_EQ(network->started, 1);
    EXPECT_EQ(network->stopped, 0);

    // Cancel, then letting go: one stop.
    big->cancel();
    big->cancel();
    big.reset();
    EXPECT_EQ(network->stopped, 1);
    // Letting go of a running request cancels it and stops once.
    auto dropped = start("/dropped");
    auto droppedLoad = server->lastLoad();
    dropped.reset();
    EXPECT_TRUE(droppedLoad->isCancelled());
    EXPECT_EQ(network->stopped, 2);
    // A target that went away hears nothing, and the request still ends.
    auto orphan = start("/orphan");
    target.reset();
    server->lastLoad()->respond(200);
    server->lastLoad()->finish();
    pump();
    EXPECT_EQ(network->stopped, 3);
    orphan.reset();
    EXPECT_EQ(network->started, 3);
    EXPECT_EQ(network->stopped, 3);

    // No length: the progress stays where it was.
    target = std::make_shared<Target>();
    auto unsized = start("/unsized");
    server->lastLoad()->respond(200);
    server->lastLoad()->send("abc");
    pump();
    EXPECT_EQ(unsized->downloadProgress(), 0);
}

TEST_F(DBRequestTest, BodiesInMemoryStopAtTheirBound)
{
    auto request = start("/huge");
    auto load = server->lastLoad();
    load->respond(500);
    std::string chunk(1 << 20, 'e');
    for (int i = 0; i < 64; ++i)
        load->send(chunk);
    pump();
    EXPECT_TRUE(target->events.back().starts_with("down"));
    load->send("!");
    pump();
    EXPECT_EQ(target->events.back(), "failed -1103");
    EXPECT_EQ(request->error().domain(), net::URLErrorDomain);
    EXPECT_TRUE(load->isCancelled());
    EXPECT_EQ(request->resultData().size(), DBRequest::MaximumResultDataLength);
}

TEST_F(DBRequestTest, ACutBodyOnRealSocketsLeavesTheDestination)
{
    test::TestWebServer web(makeFolder("web"));
    ASSERT_TRUE(web.isRunning());
    std::string destination = makeFile("Documents/a.bin", "old");
    auto request = DBRequest::initWithURLRequest(core::URLRequest(core::URL::parse(web.url("/bytes/100000?drop_after=50000")).value()),
        target, DBRequest::selector(&Target::loaded));
    request->setFailureSelector(DBRequest::selector(&Target::failed));
    request->setResultFilename(destination);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !target->events.empty(); }, 20));
    EXPECT_EQ(target->events, (Events { "failed -1005" }));
    EXPECT_EQ(readFile(destination), "old");
    EXPECT_TRUE(temporaryFiles().empty());

    // A whole one replaces it, byte for byte.
    target->events.clear();
    auto whole = DBRequest::initWithURLRequest(core::URLRequest(core::URL::parse(web.url("/bytes/300000")).value()),
        target, DBRequest::selector(&Target::loaded));
    whole->setResultFilename(destination);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !target->events.empty(); }, 20));
    EXPECT_EQ(target->events, (Events { "loaded 200" }));
    EXPECT_EQ(readFile(destination), test::TestWebServer::expectedBytes(0, 300000));
    EXPECT_FLOAT_EQ(whole->downloadProgress(), 1.0f);
}

} // namespace

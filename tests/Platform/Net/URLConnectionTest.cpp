#include "Platform/Core/PercentEscape.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Net/CookieStorage.h"
#include "Platform/Net/CredentialStorage.h"
#include "Platform/Net/URLConnection.h"
#include "Platform/Net/URLError.h"
#include "Platform/Security/Digest.h"

#include "Platform/Net/LoadRecorder.h"
#include "Support/Command.h"
#include "Support/RefusingPort.h"
#include "Support/TestCase.h"
#include "Support/TestWebServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using core::URL;
using core::URLRequest;
using net::URLConnection;
using net::URLError;
using test::LoadRecorder;
using test::TestWebServer;

namespace {

using Events = std::vector<std::string>;

std::string hex(const core::Data& data)
{
    std::string text;
    for (uint8_t byte : data.view())
        text += fmt::format("{:02x}", byte);
    return text;
}

class URLConnectionTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        server.emplace(pathInHome("web-server"));
        ASSERT_TRUE(server->isRunning());
    }

    void TearDown() override
    {
        server.reset();
        TestCase::TearDown();
    }

    URLRequest request(std::string_view pathAndQuery) const
    {
        return URLRequest(URL::parse(server->url(pathAndQuery)).value());
    }

    static URLRequest requestFor(const std::string& url) { return URLRequest(URL::parse(url).value()); }

    // Loads the request to its end on this thread's loop.
    static std::shared_ptr<LoadRecorder> load(const URLRequest& request)
    {
        auto recorder = std::make_shared<LoadRecorder>();
        auto connection = URLConnection::create(request, recorder);
        EXPECT_TRUE(test::waitForEnd(*recorder)) << request.url().absoluteString();
        return recorder;
    }

    // Lets the loop run until a later load has ended, so that whatever was
    // still due for earlier connections would have been delivered.
    void drain() const { load(request("/bytes/1?drain")); }

    // The requests the server received for paths beginning with `prefix`.
    std::vector<TestWebServer::Request> received(std::string_view prefix) const
    {
        std::vector<TestWebServer::Request> matching;
        for (auto& entry : server->requests()) {
            if (entry.path.starts_with(prefix))
                matching.push_back(std::move(entry));
        }
        return matching;
    }

    std::optional<TestWebServer> server;
};

TEST_F(URLConnectionTest, BodiesArriveWholeAfterOneResponse)
{
    auto plain = load(request("/bytes/1000?type=text/plain;%20charset=UTF-8"));
    ASSERT_TRUE(plain->response);
    EXPECT_EQ(plain->summary(), (Events { "response 200", "data", "finish" }));
    EXPECT_EQ(plain->response->url().absoluteString(), server->url("/bytes/1000?type=text/plain;%20charset=UTF-8"));
    EXPECT_EQ(plain->response->header("content-type"), "text/plain; charset=UTF-8");
    EXPECT_EQ(plain->response->expectedContentLength(), 1000);
    EXPECT_EQ(plain->response->mimeType(), "text/plain");
    EXPECT_EQ(plain->response->textEncodingName(), "utf-8");
    EXPECT_EQ(plain->body, TestWebServer::expectedBytes(0, 1000));

    // Nothing comes after the end.
    const size_t count = plain->events.size();
    drain();
    EXPECT_EQ(plain->events.size(), count);

    for (const char* variant : { "chunked", "nolength" }) {
        SCOPED_TRACE(variant);
        auto loaded = load(request(fmt::format("/bytes/300000?{}", variant)));
        ASSERT_TRUE(loaded->response);
        EXPECT_EQ(loaded->summary(), (Events { "response 200", "data", "finish" }));
        EXPECT_EQ(loaded->response->expectedContentLength(), -1);
        EXPECT_EQ(loaded->response->mimeType(), "application/octet-stream");
        EXPECT_EQ(loaded->body, TestWebServer::expectedBytes(0, 300000));
    }

    // A body-less answer still reports its head before the end.
    URLRequest head = request("/bytes/77");
    head.setMethod("HEAD");
    auto headOnly = load(head);
    EXPECT_EQ(headOnly->summary(), (Events { "response 200", "finish" }));
    EXPECT_EQ(headOnly->response->expectedContentLength(), 77);
}

TEST_F(URLConnectionTest, CallbacksComeOnTheCreatingThread)
{
    auto onMain = load(request("/bytes/10"));
    for (auto id : onMain->threads)
        EXPECT_EQ(id, std::this_thread::get_id());

    std::atomic<bool> done { false };
    std::vector<std::thread::id> seen;
    std::thread::id workerId;
    Events workerEvents;
    const URLRequest workerRequest = request("/bytes/200000");
    core::Thread::detach("url worker", [&] {
        workerId = std::this_thread::get_id();
        auto recorder = std::make_shared<LoadRecorder>();
        auto connection = URLConnection::create(workerRequest, recorder);
        test::waitForEnd(*recorder);
        seen = recorder->threads;
        workerEvents = recorder->summary();
        done = true;
    });
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return done.load(); }, 30));
    EXPECT_EQ(workerEvents, (Events { "response 200", "data", "finish" }));
    for (auto id : seen)
        EXPECT_EQ(id, workerId);

    // Without a delegate or a reference the load still reaches the server,
    // and the connection is let go at its end.
    std::weak_ptr<URLConnection> forgotten = URLConnection::create(request("/bytes/5?fire=forget"));
    EXPECT_TRUE(core::RunLoop::main().runUntil(
        [&] { return forgotten.expired() && !received("/bytes/5?fire=forget").empty(); }, 30));
}

TEST_F(URLConnectionTest, TwentyConcurrentDownloadsEndByteExact)
{
    constexpr size_t Size = 1 << 20;
    std::vector<std::shared_ptr<LoadRecorder>> recorders;
    for (int i = 0; i < 20; ++i) {
        recorders.push_back(std::make_shared<LoadRecorder>());
        URLConnection::create(request(fmt::format("/bytes/{}?n={}", Size, i)), recorders.back());
    }
    ASSERT_TRUE(core::RunLoop::main().runUntil(
        [&] { return std::all_of(recorders.begin(), recorders.end(), [](auto& r) { return r->ended; }); }, 60));
    const std::string expected = TestWebServer::expectedBytes(0, Size);
    for (auto& recorder : recorders) {
        EXPECT_EQ(recorder->summary(), (Events { "response 200", "data", "finish" }));
        EXPECT_TRUE(recorder->body == expected);
    }
}

TEST_F(URLConnectionTest, LargeBodiesComeInBoundedPiecesInOrder)
{
    // More than a transfer may queue before it pauses for its delegate.
    constexpr size_t Size = 48 << 20;
    auto recorder = std::make_shared<LoadRecorder>();
    size_t largest = 0;
    size_t seen = 0;
    recorder->hook = [&](URLConnection&, const std::string&) {
        largest = std::max(largest, recorder->body.size() - seen);
        seen = recorder->body.size();
    };
    URLConnection::create(request(fmt::format("/bytes/{}", Size)), recorder);
    ASSERT_TRUE(test::waitForEnd(*recorder, 120));
    EXPECT_EQ(recorder->summary(), (Events { "response 200", "data", "finish" }));
    EXPECT_TRUE(recorder->body == TestWebServer::expectedBytes(0, Size));
    EXPECT_LE(largest, size_t(1) << 20);
}

TEST_F(URLConnectionTest, ASuspendedConnectionHoldsItsBodyAndEachPassGetsABoundedShare)
{
    constexpr size_t Size = 24 << 20;
    auto recorder = std::make_shared<LoadRecorder>();
    // Bytes handed on since the last pass began: a block posted from a
    // callback runs at the start of the next pass.
    size_t thisPass = 0;
    size_t largestPass = 0;
    size_t seen = 0;
    bool markerPosted = false;
    bool suspended = false;
    recorder->hook = [&](URLConnection& connection, const std::string& event) {
        if (event != "data")
            return;
        if (!markerPosted) {
            markerPosted = true;
            core::RunLoop::main().post([&] {
                markerPosted = false;
                thisPass = 0;
            });
        }
        thisPass += recorder->body.size() - seen;
        seen = recorder->body.size();
        largestPass = std::max(largestPass, thisPass);
        if (!suspended && seen >= (4 << 20)) {
            suspended = true;
            connection.suspendDelivery();
        }
    };
    auto connection = URLConnection::create(request(fmt::format("/bytes/{}", Size)), recorder);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return suspended; }, 30));
    // Held: nothing more arrives while the transfer waits.
    const size_t held = recorder->body.size();
    core::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(recorder->body.size(), held);
    EXPECT_FALSE(recorder->ended);
    connection->resumeDelivery();
    ASSERT_TRUE(test::waitForEnd(*recorder, 60));
    EXPECT_EQ(recorder->summary(), (Events { "response 200", "data", "finish" }));
    EXPECT_TRUE(recorder->body == TestWebServer::expectedBytes(0, Size));
    // A pass hands on about a mebibyte at most. The marker can run one
    // delivery late on a loaded machine, so two shares may count as one;
    // handing on all that waits would show as many more.
    EXPECT_LE(largestPass, size_t(3) << 20);
    core::RunLoop::main().runUntilIdle();
}

TEST_F(URLConnectionTest, CancelInsideACallbackStopsEverythingAfterIt)
{
    // Head, body and end arrive in one read: cancelling at the response
    // drops the data and end already queued.
    {
        auto recorder = std::make_shared<LoadRecorder>();
        recorder->hook = [](URLConnection& connection, const std::string& event) {
            if (event.starts_with("response"))
                connection.cancel();
        };
        auto connection = URLConnection::create(request("/bytes/100?together"), recorder);
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !recorder->events.empty(); }, 30));
        drain();
        EXPECT_EQ(recorder->events, (Events { "response 200" }));
        EXPECT_TRUE(connection->isCancelled());
    }
    // From the first data, twice over.
    {
        auto recorder = std::make_shared<LoadRecorder>();
        recorder->hook = [](URLConnection& connection, const std::string& event) {
            if (event == "data") {
                connection.cancel();
                connection.cancel();
            }
        };
        URLConnection::create(request("/bytes/2000000"), recorder);
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return recorder->events.size() == 2; }, 30));
        drain();
        EXPECT_EQ(recorder->events, (Events { "response 200", "data" }));
    }
    // Right after creation: not a single callback.
    {
        auto recorder = std::make_shared<LoadRecorder>();
        auto connection = URLConnection::create(request("/bytes/100"), recorder);
        connection->cancel();
        connection->cancel();
        // A request that fails at once stays silent too.
        auto refused = URLConnection::create(requestFor("ftp://127.0.0.1/x"), recorder);
        refused->cancel();
        drain();
        EXPECT_TRUE(recorder->events.empty());
    }
    // The delegate drops its only reference and cancels inside the callback.
    {
        auto recorder = std::make_shared<LoadRecorder>();
        std::shared_ptr<URLConnection> held;
        std::weak_ptr<URLConnection> watch;
        recorder->hook = [&](URLConnection& connection, const std::string& event) {
            if (event.starts_with("response")) {
                held.reset();
                EXPECT_FALSE(watch.expired()); // alive for the rest of the callback
                connection.cancel();
            }
        };
        held = URLConnection::create(request("/bytes/50000"), recorder);
        watch = held;
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !recorder->events.empty(); }, 30));
        drain();
        EXPECT_EQ(recorder->events, (Events { "response 200" }));
        EXPECT_TRUE(watch.expired());
    }
    // A delegate that goes away cancels the load.
    {
        auto recorder = std::make_shared<LoadRecorder>();
        std::weak_ptr<URLConnection> watch = URLConnection::create(request("/bytes/3000000"), recorder);
        recorder.reset();
        EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return watch.expired(); }, 10));
    }
}

TEST_F(URLConnectionTest, RedirectsAreFollowedBelowTheDelegate)
{
    auto followed = load(request("/redirect?code=302,301&to=%2Fbytes%2F10"));
    EXPECT_EQ(followed->summary(), (Events { "response 200", "data", "finish" }));
    EXPECT_EQ(followed->response->url().absoluteString(), server->url("/bytes/10"));
    EXPECT_EQ(followed->body, TestWebServer::expectedBytes(0, 10));

    // 303 after a POST becomes a GET without the body.
    URLRequest post = request("/redirect?code=303&to=%2Fecho%3Fafter%3D303");
    post.setMethod("POST");
    post.setBody(core::Data(std::string("form=1")));
    auto seeOther = load(post);
    EXPECT_EQ(seeOther->response->statusCode(), 200);
    auto echoed = received("/echo?after=303");
    ASSERT_EQ(echoed.size(), 1u);
    EXPECT_EQ(echoed[0].method, "GET");
    EXPECT_EQ(echoed[0].bodyLength, 0);

    // A 307 sends the file body again.
    const std::string contents(300000, 'q');
    const std::string path = makeFile("body.bin", contents);
    URLRequest upload = request("/redirect?code=307&to=%2Fupload%3Fafter%3D307");
    upload.setMethod("POST");
    upload.setBodyFilePath(path);
    auto resent = load(upload);
    EXPECT_EQ(resent->response->statusCode(), 200);
    auto uploads = received("/upload?after=307");
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].method, "POST");
    EXPECT_EQ(uploads[0].bodySHA256, hex(sec::Digest::sha256(contents)));

    // Sixteen hops are followed, the seventeenth fails.
    EXPECT_EQ(load(request("/redirect?code=302&n=16&to=%2Fbytes%2F1"))->summary(),
        (Events { "response 200", "data", "finish" }));
    auto endless = load(request("/redirect?code=302&n=17&to=%2Fbytes%2F1"));
    EXPECT_EQ(endless->events, (Events { "fail -1007" }));
    EXPECT_EQ(endless->error.domain(), net::URLErrorDomain);

    // Never to another scheme.
    auto toFile = load(request("/redirect?code=302&to=file%3A%2F%2F%2Fetc%2Fpasswd"));
    EXPECT_EQ(toFile->events, (Events { "fail -1002" }));
}

TEST_F(URLConnectionTest, SessionCredentialsAnswerChallenges)
{
    const std::string path = "/auth/basic?user=ann&pass=secret&realm=Vault";
    auto challenged = load(request(path));
    EXPECT_EQ(challenged->summary(), (Events { "response 401", "data", "finish" }));
    EXPECT_EQ(challenged->response->header("WWW-Authenticate"), "Basic realm=\"Vault\"");
    EXPECT_EQ(challenged->body, "unauthorized\n");

    auto& credentials = net::CredentialStorage::shared();
    const net::CredentialStorage::ProtectionSpace space { "http", "127.0.0.1", server->port(), "Vault" };
    credentials.setCredential({ "ann", "wrong" }, space);
    EXPECT_EQ(load(request(path))->response->statusCode(), 401);

    credentials.setCredential({ "ann", "secret" }, space);
    auto answered = load(request(path));
    EXPECT_EQ(answered->summary(), (Events { "response 200", "data", "finish" }));
    EXPECT_EQ(answered->body, "welcome\n");

    // Another host on the same server never gets them, not even after a
    // redirect from the host they belong to.
    const std::string elsewhere
        = fmt::format("http://localhost:{}/auth/basic?user=ann&pass=secret&realm=Vault&mark=1", server->port());
    auto redirected = load(request("/redirect?code=302&to=" + core::percentEscape(elsewhere, core::EscapeSet::Component)));
    EXPECT_EQ(redirected->response->statusCode(), 401);
    const auto marked = received("/auth/basic?user=ann&pass=secret&realm=Vault&mark=1");
    ASSERT_FALSE(marked.empty());
    for (const auto& entry : marked)
        EXPECT_FALSE(entry.header("Authorization"));
}

TEST_F(URLConnectionTest, FailuresCarryTheirCodeAndFailingURL)
{
    // Cut after 5000 of 10000 announced bytes: the data so far, then the loss.
    const std::string cutURL = server->url("/bytes/10000?drop_after=5000");
    auto cut = load(requestFor(cutURL));
    EXPECT_EQ(cut->summary(), (Events { "response 200", "data", "fail -1005" }));
    EXPECT_EQ(cut->body, TestWebServer::expectedBytes(0, 5000));
    EXPECT_EQ(cut->error.domain(), "NSURLErrorDomain");
    EXPECT_EQ(cut->error.userInfo().at(URLError::FailingURLStringKey).string(), cutURL);
    EXPECT_EQ(cut->error.userInfo().at(URLError::FailingURLKey).string(), cutURL);
    EXPECT_FALSE(cut->error.localizedDescription().empty());

    EXPECT_EQ(load(requestFor("http://x.invalid/"))->events, (Events { "fail -1003" }));

    // A port nobody listens on.
    test::RefusingPort refusing;
    const std::string closedURL = fmt::format("http://127.0.0.1:{}/", refusing.port());
    auto refused = load(requestFor(closedURL));
    EXPECT_EQ(refused->events, (Events { "fail -1004" }));
    EXPECT_EQ(refused->error.userInfo().at(URLError::FailingURLStringKey).string(), closedURL);

    // A server that stops sending for longer than the time-out.
    URLRequest stalled = request("/bytes/10000?stall_after=100&token=stall1");
    stalled.setTimeoutInterval(1);
    auto timedOut = load(stalled);
    server->release("stall1");
    EXPECT_EQ(timedOut->summary(), (Events { "response 200", "data", "fail -1001" }));

    auto noHost = load(requestFor("http:///x"));
    EXPECT_EQ(noHost->events, (Events { "fail -1000" }));
    EXPECT_EQ(noHost->error.userInfo().at(URLError::FailingURLStringKey).string(), "http:///x");
    EXPECT_EQ(load(requestFor("ftp://127.0.0.1/x"))->events, (Events { "fail -1002" }));
    EXPECT_FALSE(URLConnection::canHandleRequest(requestFor("ftp://127.0.0.1/x")));
    EXPECT_TRUE(URLConnection::canHandleRequest(requestFor("HTTPS://example.com/")));

    // Hostile answers.
    EXPECT_EQ(load(request("/raw/badstatus"))->events, (Events { "fail -1011" }));
    auto huge = load(request("/raw/bigheader"));
    ASSERT_EQ(huge->events.size(), 1u);
    EXPECT_TRUE(huge->events[0].starts_with("fail ")) << huge->events[0];
    auto interim = load(request("/raw/interim"));
    EXPECT_EQ(interim->summary(), (Events { "response 200", "data", "finish" }));
    EXPECT_EQ(interim->body, "final");
    EXPECT_FALSE(interim->response->header("Link"));
}

TEST_F(URLConnectionTest, TLSTrustsOnlyKnownAuthorities)
{
    TestWebServer secure(pathInHome("tls-server"), { .tls = true, .tlsNames = { "localhost", "files.test" } });
    ASSERT_TRUE(secure.isRunning());
    const URLRequest tls = requestFor(secure.tlsURL("/bytes/64"));

    auto untrusted = load(tls);
    EXPECT_EQ(untrusted->events, (Events { "fail -1202" }));

    URLConnection::setCAFile(secure.caFile());
    auto trusted = load(tls);
    EXPECT_EQ(trusted->summary(), (Events { "response 200", "data", "finish" }));
    EXPECT_EQ(trusted->body, TestWebServer::expectedBytes(0, 64));

    // A route changes the address only: the URL, the Host field and the
    // name the certificate is checked against stay those of the host.
    URLConnection::addRoute("files.test:443", fmt::format("127.0.0.1:{}", secure.tlsPort()));
    auto routed = load(requestFor("https://files.test/bytes/3?routed=1"));
    EXPECT_EQ(routed->summary(), (Events { "response 200", "data", "finish" }));
    EXPECT_EQ(routed->response->url().absoluteString(), "https://files.test/bytes/3?routed=1");
    bool seen = false;
    for (const auto& entry : secure.requests()) {
        if (entry.path == "/bytes/3?routed=1") {
            seen = true;
            EXPECT_EQ(entry.header("Host"), "files.test");
        }
    }
    EXPECT_TRUE(seen);
}

TEST_F(URLConnectionTest, RangesAndValidators)
{
    URLRequest ranged = request("/bytes/1000?ranges=1&etag=v1");
    ranged.setHeader("Range", "bytes=100-");
    auto partial = load(ranged);
    ASSERT_TRUE(partial->response);
    EXPECT_EQ(partial->response->statusCode(), 206);
    EXPECT_EQ(partial->response->header("Content-Range"), "bytes 100-999/1000");
    EXPECT_EQ(partial->response->expectedContentLength(), 900);
    EXPECT_EQ(partial->response->header("ETag"), "\"v1\"");
    EXPECT_EQ(partial->response->header("Accept-Ranges"), "bytes");
    EXPECT_EQ(partial->body, TestWebServer::expectedBytes(100, 900));

    URLRequest ignored = request("/bytes/1000");
    ignored.setHeader("Range", "bytes=100-");
    auto whole = load(ignored);
    EXPECT_EQ(whole->response->statusCode(), 200);
    EXPECT_EQ(whole->body, TestWebServer::expectedBytes(0, 1000));
}

TEST_F(URLConnectionTest, SuggestedNamesFromTheServer)
{
    EXPECT_EQ(load(request("/bytes/4?disposition_star=r%C3%A9sum%C3%A9.pdf"))->response->suggestedFilename(),
        "r\xC3\xA9sum\xC3\xA9.pdf");
    EXPECT_EQ(load(request("/bytes/4?disposition=..%2F..%2Fx"))->response->suggestedFilename(), "x");
    // Named after the final URL, with the extension of its type.
    auto pdf = load(request("/redirect?code=302&to=%2Fbytes%2F4%3Ftype%3Dapplication%2Fpdf"));
    EXPECT_EQ(pdf->response->suggestedFilename(), "4.pdf");
}

TEST_F(URLConnectionTest, CookiesGoBackToTheirHostOnly)
{
    EXPECT_EQ(load(request("/cookies/require?a=1"))->response->statusCode(), 403);
    EXPECT_EQ(load(request("/cookies/set?a=1"))->response->statusCode(), 200);

    const auto cookies = net::CookieStorage::shared().cookies();
    ASSERT_EQ(cookies.size(), 1u);
    EXPECT_EQ(cookies[0].name, "a");
    EXPECT_EQ(cookies[0].value, "1");
    EXPECT_EQ(cookies[0].domain, "127.0.0.1");

    EXPECT_EQ(load(request("/cookies/require?a=1"))->response->statusCode(), 200);
    // With the next redirect hop to the same host...
    EXPECT_EQ(load(request("/redirect?code=302&to=%2Fcookies%2Frequire%3Fa%3D1"))->response->statusCode(), 200);
    // ...but never to another one.
    const std::string other = fmt::format("http://localhost:{}/cookies/require?a=1", server->port());
    EXPECT_EQ(load(request("/redirect?code=302&to=" + core::percentEscape(other, core::EscapeSet::Component)))
                  ->response->statusCode(),
        403);

    net::CookieStorage::shared().deleteAllCookiesForTesting();
    EXPECT_EQ(load(request("/cookies/require?a=1"))->response->statusCode(), 403);
}

TEST_F(URLConnectionTest, UploadsStreamTheExactBodyOnce)
{
    // 5 MiB from a file, with a length of the caller's that must not be sent.
    std::string contents(5 << 20, '\0');
    for (size_t i = 0; i < contents.size(); ++i)
        contents[i] = char((i * 7 + i / 4099) & 0xFF);
    const std::string path = makeFile("upload.bin", contents);
    URLRequest upload = request("/upload?kind=file");
    upload.setMethod("POST");
    upload.setBodyFilePath(path);
    upload.setHeader("X-First", "1");
    upload.setHeader("Content-Length", "12");
    upload.setHeader("X-Second", "2");
    upload.setProperty("secret-property", core::Value("never-sent"));
    // A field that could split the head cannot even be set.
    EXPECT_FALSE(upload.setHeader("X-Split", "a\r\nInjected: never-sent"));
    EXPECT_FALSE(upload.setHeader("X-Nul", std::string("a\0b", 3)));
    auto sent = load(upload);
    ASSERT_TRUE(sent->response);
    EXPECT_EQ(sent->summary(), (Events { "sent", "response 200", "data", "finish" }));
    ASSERT_FALSE(sent->sentTotals.empty());
    EXPECT_TRUE(std::is_sorted(sent->sentTotals.begin(), sent->sentTotals.end()));
    EXPECT_EQ(sent->sentTotals.back(), int64_t(contents.size()));
    EXPECT_EQ(sent->sentExpected, int64_t(contents.size()));

    const auto uploads = received("/upload?kind=file");
    ASSERT_EQ(uploads.size(), 1u);
    const auto& wire = uploads[0];
    EXPECT_EQ(wire.bodyLength, int64_t(contents.size()));
    EXPECT_EQ(wire.bodySHA256, hex(sec::Digest::sha256(contents)));
    EXPECT_EQ(wire.count("Content-Length"), 1u);
    EXPECT_EQ(wire.header("Content-Length"), std::to_string(contents.size()));
    EXPECT_FALSE(wire.header("Expect"));
    size_t first = 0, second = 0;
    for (size_t i = 0; i < wire.headerLines.size(); ++i) {
        if (wire.headerLines[i].starts_with("X-First"))
            first = i;
        if (wire.headerLines[i].starts_with("X-Second"))
            second = i;
    }
    EXPECT_LT(first, second);
    for (const auto& line : wire.headerLines)
        EXPECT_EQ(line.find("never-sent"), std::string::npos) << line;

    // The same from memory, with PUT.
    URLRequest put = request("/upload?kind=memory");
    put.setMethod("PUT");
    put.setBody(core::Data(contents.substr(0, 1 << 20)));
    auto memory = load(put);
    EXPECT_EQ(memory->summary(), (Events { "sent", "response 200", "data", "finish" }));
    EXPECT_EQ(memory->sentTotals.back(), 1 << 20);
    const auto puts = received("/upload?kind=memory");
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].method, "PUT");
    EXPECT_EQ(puts[0].bodySHA256, hex(sec::Digest::sha256(contents.substr(0, 1 << 20))));

    // A body file that is gone fails the load instead of sending nothing.
    URLRequest missing = request("/upload?kind=missing");
    missing.setMethod("POST");
    missing.setBodyFilePath(pathInHome("gone.bin"));
    EXPECT_EQ(load(missing)->events, (Events { "fail -1100" }));
    EXPECT_TRUE(received("/upload?kind=missing").empty());
}

TEST_F(URLConnectionTest, ThePeerSeesWhatTheServerSends)
{
    // The server checked with curl itself, so that its faults are not
    // blamed on the loader.
    auto ranged = test::runCommand({ "curl", "-s", "-r", "100-", "-D", "-", "-o", "/dev/null",
        server->url("/bytes/1000?ranges=1") });
    EXPECT_NE(ranged.output.find("206"), std::string::npos);
    EXPECT_NE(ranged.output.find("Content-Range: bytes 100-999/1000"), std::string::npos);
    auto followed = test::runCommand({ "curl", "-s", "-L", "-D", "-", "-o", "/dev/null",
        server->url("/redirect?code=302,301&to=%2Fbytes%2F10") });
    EXPECT_NE(followed.output.find("302 Found"), std::string::npos);
    EXPECT_NE(followed.output.find("301 Moved"), std::string::npos);
    EXPECT_NE(followed.output.find("200 OK"), std::string::npos);
}

} // namespace

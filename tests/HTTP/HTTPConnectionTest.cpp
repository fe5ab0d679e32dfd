#include "HTTPTestSupport.h"

#include "HTTP/HTTPAuthenticationRequest.h"
#include "HTTP/HTTPDigestCheck.h"
#include "HTTP/HTTPRequestBodyReader.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/BackgroundTask.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Security/Pkcs12Identity.h"
#include "Support/Python.h"
#include "Support/TlsCertificates.h"

#include <fmt/format.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <thread>

using test::ChildProcess;
using test::PeerSocket;

namespace {

// The Digest switch as a subclass turns it on: user "user", password "pw".
class DigestConnection : public HTTPConnection {
public:
    static std::shared_ptr<HTTPConnection> create(const std::shared_ptr<AsyncSocket>& socket,
        const std::shared_ptr<HTTPServer>& server)
    {
        return make<DigestConnection>(socket, server);
    }
    bool isPasswordProtected(const core::URL&) const override { return true; }
    std::optional<std::string> passwordForUser(const std::string& user) const override
    {
        if (user == "user")
            return std::string("pw");
        return std::nullopt;
    }
    std::string realm() const override { return "Kestrova WebDAVServer"; }
    void replaceRequest(std::shared_ptr<HTTPMessageRequest> request) { m_request = std::move(request); }
};

// Takes every request's body a piece at a time, asking for the next one
// only while `eager`.
class BodyReadingConnection : public HTTPConnection, public HTTPRequestBodyReader {
public:
    static std::shared_ptr<HTTPConnection> create(const std::shared_ptr<AsyncSocket>& socket,
        const std::shared_ptr<HTTPServer>& server)
    {
        return make<BodyReadingConnection>(socket, server);
    }
    void performMethod(const std::string&, const core::URL&, long) override { askForMore(); }
    void requestBodyDidRead(std::string_view bytes) override
    {
        received += bytes.size();
        if (eager)
            askForMore();
    }
    void requestBodyDidEnd() override { sendResponseWithStatusCode(204); }
    void requestBodyDidFail() override { sendResponseWithStatusCode(400, std::nullopt, FinalResponseCloseTag); }
    void askForMore() { readRequestBody(sharedAs<BodyReadingConnection>()); }

    uint64_t received = 0;
    bool eager = false;
};

std::shared_ptr<const sec::Pkcs12Identity> secureIdentity;

class SecureConnection : public HTTPConnection {
public:
    static std::shared_ptr<HTTPConnection> create(const std::shared_ptr<AsyncSocket>& socket,
        const std::shared_ptr<HTTPServer>& server)
    {
        return make<SecureConnection>(socket, server);
    }
    bool isSecureServer() const override { return true; }
    std::shared_ptr<const sec::Pkcs12Identity> sslIdentityAndCertificates() const override { return secureIdentity; }
};

class HTTPConnectionTest : public test::HTTPServerTestCase {
protected:
    void SetUp() override
    {
        HTTPServerTestCase::SetUp();
        makeFile("root/hello.txt", "hello world");
        makeFile("root/folder/index.html", "<p>index</p>");
        ASSERT_TRUE(server->startListening());
    }
    std::unique_ptr<PeerSocket> connect()
    {
        auto peer = std::make_unique<PeerSocket>(server->port());
        pumpUntil([&] { return server->numberOfHTTPConnections() > 0; });
        return peer;
    }
    static std::string body(const std::string& response)
    {
        const auto at = response.find("\r\n\r\n");
        return at == std::string::npos ? std::string() : response.substr(at + 4);
    }
};

TEST_F(HTTPConnectionTest, KeepsTheConnectionAliveAndAnswersPipelinedRequestsInOrder)
{
    auto peer = connect();
    auto first = exchange(*peer, "GET /hello.txt HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_TRUE(first.starts_with("HTTP/1.1 200 OK\r\n")) << first;
    EXPECT_NE(first.find("Content-Length: 11\r\n"), std::string::npos);
    EXPECT_TRUE(first.ends_with("hello world"));
    auto second = exchange(*peer, "GET /folder/ HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_TRUE(second.ends_with("<p>index</p>")) << second;
    EXPECT_FALSE(peer->sawEnd());

    // Two requests in one segment, the first with a body: two answers, in order.
    auto both = exchange(*peer,
        "POST /x HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\n\r\nabcGET /hello.txt HTTP/1.1\r\nHost: h\r\n\r\n", 2);
    ASSERT_EQ(count(both, "HTTP/1.1 "), 2u) << both;
    EXPECT_LT(both.find("404"), both.find("200 OK"));
    EXPECT_TRUE(both.ends_with("hello world"));

    // "Connection: close" closes after the answer.
    auto last = exchange(*peer, "HEAD /hello.txt HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n");
    EXPECT_NE(last.find("Content-Length: 11\r\n"), std::string::npos);
    EXPECT_NE(last.find("Connection: close\r\n"), std::string::npos);
    EXPECT_TRUE(last.ends_with("\r\n\r\n")) << last;
    EXPECT_TRUE(pumpUntil([&] { return peer->sawEnd(); }));
    EXPECT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 0; }));
}

TEST_F(HTTPConnectionTest, ChecksVersionHostAndMethod)
{
    auto peer = connect();
    auto old = exchange(*peer, "GET / HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(old.starts_with("HTTP/1.1 505 HTTP Version Not Supported (HTTP/1.0)\r\n")) << old;
    EXPECT_TRUE(pumpUntil([&] { return peer->sawEnd(); }));

    peer = connect();
    auto noHost = exchange(*peer, "GET / HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(noHost.starts_with("HTTP/1.1 400 Bad Request - No Host header\r\n")) << noHost;
    auto brew = exchange(*peer, "BREW /pot HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_TRUE(brew.starts_with("HTTP/1.1 405 Method Not Allowed\r\n")) << brew;
    for (const auto& answer : { noHost, brew }) {
        EXPECT_NE(answer.find("\r\nServer: VKDAV/1.0\r\n"), std::string::npos);
        EXPECT_NE(answer.find("\r\nAccept-Ranges: none\r\n"), std::string::npos);
        EXPECT_NE(answer.find(" GMT\r\n"), std::string::npos);
        EXPECT_NE(answer.find("\r\nDate: "), std::string::npos);
    }
    EXPECT_FALSE(peer->sawEnd());

    auto missing = exchange(*peer, "GET /nothing HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_TRUE(missing.starts_with("HTTP/1.1 404 Not Found\r\n")) << missing;
    auto post = exchange(*peer, "POST /hello.txt HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_TRUE(post.starts_with("HTTP/1.1 404")) << post;
    auto emptyTrace = exchange(*peer, "TRACE / HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_TRUE(emptyTrace.starts_with("HTTP/1.1 400")) << emptyTrace;
    // The body comes in a later segment: it is read before the echo.
    peer->send("TRACE / HTTP/1.1\r\nHost: h\r\nContent-Length: 10\r\n\r\n01234");
    auto trace = exchange(*peer, "56789");
    EXPECT_TRUE(trace.starts_with("HTTP/1.1 200 OK\r\n")) << trace;
    EXPECT_NE(trace.find("Content-Type: message/http\r\n"), std::string::npos);
    EXPECT_EQ(body(trace), "0123456789");
    EXPECT_FALSE(peer->sawEnd());
}

TEST_F(HTTPConnectionTest, RefusesUnsafePathsAndUnboundedHeads)
{
    makeFile("secret/x", "secret");
    server->addVirtualRootURI(*core::URL::parse("/Public/"), makeFolder("root/Public"));
    server->addVirtualRootURI(*core::URL::parse("/Library/"), home() + "/secret");
    for (const std::string path : { "/Public/%2e%2e/Library/x", "/Public/..%2fLibrary/x" }) {
        auto peer = connect();
        auto answer = exchange(*peer, "GET " + path + " HTTP/1.1\r\nHost: h\r\n\r\n");
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 400 Bad Request\r\n")) << path << answer;
        EXPECT_TRUE(pumpUntil([&] { return peer->sawEnd(); }));
    }

    // A 1 MB line, and 10,000 headers: 431 and closed.
    for (const auto& head : { "GET /" + std::string(1 << 20, 'a') + " HTTP/1.1\r\nHost: h\r\n\r\n",
             [] {
                 std::string many = "GET / HTTP/1.1\r\nHost: h\r\n";
                 for (int i = 0; i < 10000; ++i)
                     many += fmt::format("X-{}: v\r\n", i);
                 return many + "\r\n";
             }() }) {
        auto peer = connect();
        peer->send(head.substr(0, 200000));
        std::string answer;
        EXPECT_TRUE(pumpUntil([&] { return (answer = peer->receive()), peer->sawEnd(); }));
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 431 ")) << answer.substr(0, 100);
    }
    // Garbage and TLS bytes on a plain port.
    for (const auto& garbage : { std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n", 13), std::string("hello there\r\n\r\n") }) {
        auto peer = connect();
        peer->send(garbage);
        std::string answer;
        EXPECT_TRUE(pumpUntil([&] { return (answer = peer->receive()), peer->sawEnd(); }));
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 400")) << answer;
    }
    EXPECT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 0; }));
}

// What a plain blocking client sees: it sends all its bytes, then reads to
// the end (or the failure, in brackets after what it read).
std::string sendAllThenRead(uint16_t port, const std::string& bytes)
{
    PeerSocket peer(port);
    fcntl(peer.fd(), F_SETFL, fcntl(peer.fd(), F_GETFL) & ~O_NONBLOCK);
    const timeval limit { 30, 0 };
    setsockopt(peer.fd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(peer.fd(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t sent = ::send(peer.fd(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0)
            return fmt::format("[send: {}]", std::strerror(errno));
        done += static_cast<size_t>(sent);
    }
    std::string answer;
    char buffer[4096];
    for (ssize_t got; (got = ::recv(peer.fd(), buffer, sizeof buffer, 0)) != 0;) {
        if (got < 0)
            return answer + fmt::format("[recv: {}]", std::strerror(errno));
        answer.append(buffer, static_cast<size_t>(got));
    }
    return answer;
}

TEST_F(HTTPConnectionTest, ClientsStillSendingReadTheEarlyAnswer)
{
    // The 431 leaves after 64 KiB of the 2 MiB head; the rest is read and
    // dropped before the close, so that no reset overtakes the answer.
    const std::string head = "GET / HTTP/1.1\r\nHost: h\r\nX-Big: " + std::string(2 << 20, 'a') + "\r\n\r\n";
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::string answer;
        std::atomic<bool> done = false;
        std::thread client([&, port = server->port()] {
            answer = sendAllThenRead(port, head);
            done = true;
        });
        EXPECT_TRUE(pumpUntil([&] { return done.load(); }, 40));
        client.join();
        // Read whole, and then the end of the stream, not a reset.
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 431 ") && answer.ends_with("\r\n\r\n")) << attempt << ": " << answer;
    }
    EXPECT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 0; }));

    // One that never stops is cut off after the linger time.
    auto peer = connect();
    peer->send("GET / HTTP/1.1\r\nHost: h\r\nX-Big: " + std::string(70000, 'a'));
    ASSERT_TRUE(pumpUntil([&] { return peer->sawEnd(); }));
    EXPECT_TRUE(peer->receive().starts_with("HTTP/1.1 431 "));
    for (int second = 0; second < 20 && server->numberOfHTTPConnections() > 0; ++second) {
        peer->send("more");
        core::RunLoop::main().advance(1);
        settle();
    }
    EXPECT_EQ(server->numberOfHTTPConnections(), 0u);
}

TEST_F(HTTPConnectionTest, ClosesWhenAnAnswerLeavesBodyBytesUnread)
{
    auto peer = connect();
    // The body is announced but only part of it came: the 404 closes, so the
    // rest is never taken for a request.
    auto answer = exchange(*peer, "POST /x HTTP/1.1\r\nHost: h\r\nContent-Length: 100\r\n\r\nGET /hello.txt");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 404")) << answer;
    EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos);
    EXPECT_TRUE(pumpUntil([&] { return peer->sawEnd(); }));
    EXPECT_EQ(count(answer, "HTTP/1.1 "), 1u);
}

TEST_F(HTTPConnectionTest, ABodyReaderThatWaitsStopsTheSocketReads)
{
    server->setConnectionClass<BodyReadingConnection>();
    auto peer = connect();
    const uint64_t length = 128 * HTTPConnection::BodyPieceLength;
    peer->send(fmt::format("POST /x HTTP/1.1\r\nHost: h\r\nContent-Length: {}\r\n\r\n", length));
    const std::string block(65536, 'x');
    uint64_t sent = 0;
    // Sends what the socket takes; true once it takes nothing more.
    auto sendUntilFull = [&] {
        while (sent < length) {
            const ssize_t count = ::send(peer->fd(), block.data(), std::min<uint64_t>(block.size(), length - sent),
                MSG_DONTWAIT | MSG_NOSIGNAL);
            if (count <= 0)
                return errno == EAGAIN;
            sent += static_cast<uint64_t>(count);
        }
        return false;
    };
    ASSERT_TRUE(pumpUntil([&] { return !server->connections().empty(); }));
    auto connection = std::dynamic_pointer_cast<BodyReadingConnection>(server->connections().back());
    ASSERT_TRUE(connection);
    // The reader keeps its first piece: the client fills the buffers between
    // them, and no more of the body leaves the socket.
    ASSERT_TRUE(pumpUntil([&] {
        const bool full = sendUntilFull();
        return full && connection->received > 0;
    }));
    ASSERT_LT(sent, length);
    EXPECT_EQ(connection->received, HTTPConnection::BodyPieceLength);
    EXPECT_EQ(connection->requestBodyBytesReceived(), HTTPConnection::BodyPieceLength);
    // Asked again, it takes the rest.
    connection->eager = true;
    connection->askForMore();
    EXPECT_TRUE(pumpUntil([&] {
        sendUntilFull();
        return connection->received == length;
    }));
    EXPECT_TRUE(pumpUntil([&] { return peer->receive().starts_with("HTTP/1.1 204"); })) << peer->receive();
}

TEST_F(HTTPConnectionTest, BackgroundGrantIsHeldUntilTheEnd)
{
    EXPECT_EQ(core::activeBackgroundTaskCount(), 0u);
    auto peer = connect();
    EXPECT_EQ(core::activeBackgroundTaskCount(), 1u);
    int deaths = 0;
    auto observation = core::NotificationCenter::defaultCenter().observe(HTTPConnection::DidDieNotification, nullptr,
        [&](const core::Notification&) { ++deaths; });
    core::expireBackgroundTasksForTesting();
    EXPECT_TRUE(pumpUntil([&] { return peer->sawEnd(); }));
    settle();
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(server->numberOfHTTPConnections(), 0u);
    EXPECT_EQ(core::activeBackgroundTaskCount(), 0u);
    EXPECT_FALSE(application->isIdleTimerDisabled());
}

TEST_F(HTTPConnectionTest, MutableURIs)
{
    auto peer = connect();
    auto connection = server->connections().at(0);
    const auto uri = [](std::string_view text) { return *core::URL::parse(text); };
    EXPECT_FALSE(connection->isMutableURI(uri("/")));
    EXPECT_TRUE(connection->isMutableURI(uri("/x")));
    server->addVirtualRootURI(uri("/Documents/"), makeFolder("root/D"));
    EXPECT_FALSE(connection->isMutableURI(uri("/Documents/")));
    EXPECT_FALSE(connection->isMutableURI(uri("/Documents")));
    EXPECT_TRUE(connection->isMutableURI(uri("/Documents/x")));
}

class DigestTest : public HTTPConnectionTest {
protected:
    void SetUp() override
    {
        HTTPConnectionTest::SetUp();
        server->setConnectionClass<DigestConnection>();
    }
    // The nonce of a 401.
    static std::string nonceOf(const std::string& answer)
    {
        const auto at = answer.find("nonce=\"");
        return at == std::string::npos ? std::string() : answer.substr(at + 7, 36);
    }
    static std::string authorization(const std::string& nonce, std::string_view nc, std::string_view uri,
        std::string_view user = "user", std::string_view password = "pw", std::string_view method = "GET")
    {
        const auto ha1 = vkMD5String(fmt::format("{}:Kestrova WebDAVServer:{}", user, password));
        const auto ha2 = vkMD5String(fmt::format("{}:{}", method, uri));
        const auto response = vkMD5String(fmt::format("{}:{}:{}:c0ffee:auth:{}", ha1, nonce, nc, ha2));
        return fmt::format(R"(Authorization: Digest username="{}", realm="Kestrova WebDAVServer", nonce="{}", uri="{}", )"
                           R"(qop=auth, nc={}, cnonce="c0ffee", response="{}")"
                           "\r\n",
            user, nonce, uri, nc, response);
    }
    std::string challenge(PeerSocket& peer)
    {
        auto answer = exchange(peer, "GET /hello.txt HTTP/1.1\r\nHost: h\r\n\r\n");
        return nonceOf(answer);
    }
};

TEST_F(DigestTest, ChallengesAndAcceptsRealClients)
{
    auto peer = connect();
    auto answer = exchange(*peer, "GET /hello.txt HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 401 Unauthorized\r\n")) << answer;
    const auto nonce = nonceOf(answer);
    EXPECT_NE(answer.find(fmt::format("\r\nWWW-Authenticate: Digest realm=\"Kestrova WebDAVServer\", nonce=\"{}\", "
                                      "algorithm=MD5, qop=\"auth\"\r\n",
                  nonce)),
        std::string::npos)
        << answer;
    EXPECT_NE(answer.find("Content-Length: 0\r\n"), std::string::npos);
    EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos);
    // Nothing to drain: closed after the answer.
    EXPECT_TRUE(pumpUntil([&] { return peer->sawEnd(); }));

    int status = -1;
    auto output = runClient({ "curl", "-sS", "--digest", "-u", "user:pw", url("/hello.txt"), url("/folder/") }, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output, "hello world<p>index</p>");
    output = runClient({ "curl", "-sS", "--digest", "-u", "user:wrong", "-o", "/dev/null", "-w", "%{http_code}",
        url("/hello.txt") });
    EXPECT_EQ(output, "401");

    const auto script = R"(
import sys, requests
from requests.auth import HTTPDigestAuth
s = requests.Session()
s.auth = HTTPDigestAuth('user', 'pw')
print(s.get(sys.argv[1]).text, s.get(sys.argv[1]).text, s.get(sys.argv[1]).status_code)
)";
    ChildProcess python({ "python3", "-c", script, url("/hello.txt") });
    ASSERT_TRUE(pumpUntil([&] { return !python.isRunning(); }, 30)) << python.errors();
    EXPECT_EQ(python.output(), "hello world hello world 200\n") << python.errors();
}

TEST_F(DigestTest, RefusesForgedReplayedAndStaleCredentials)
{
    auto peer = connect();
    const auto nonce = challenge(*peer);
    ASSERT_EQ(nonce.size(), 36u);
    const auto request = [](const std::string& auth, std::string_view uri = "/hello.txt",
                             std::string_view extra = "") {
        return fmt::format("GET {} HTTP/1.1\r\nHost: h\r\n{}{}\r\n", uri, auth, extra);
    };
    const auto answerTo = [&](const std::string& bytes) {
        auto client = connect();
        return exchange(*client, bytes);
    };
    EXPECT_TRUE(answerTo(request(authorization(nonce, "00000001", "/hello.txt", "user", "bad"))).starts_with("HTTP/1.1 401"));
    EXPECT_TRUE(answerTo(request(authorization(nonce, "00000001", "/other"))).starts_with("HTTP/1.1 401"));
    auto upper = authorization(nonce, "00000001", "/hello.txt");
    const auto at = upper.find("response=\"") + 10;
    std::transform(upper.begin() + at, upper.begin() + at + 32, upper.begin() + at, ::toupper);
    EXPECT_TRUE(answerTo(request(upper)).starts_with("HTTP/1.1 401"));
    EXPECT_TRUE(answerTo(request("Authorization: Basic dXNlcjpwdw==\r\n")).starts_with("HTTP/1.1 401"));

    // On one connection: nc must grow.
    auto client = connect();
    EXPECT_TRUE(exchange(*client, request(authorization(nonce, "00000001", "/hello.txt"))).starts_with("HTTP/1.1 200"));
    EXPECT_TRUE(exchange(*client, request(authorization(nonce, "0000000a", "/hello.txt"))).starts_with("HTTP/1.1 200"));
    EXPECT_TRUE(exchange(*client, request(authorization(nonce, "0000000a", "/hello.txt"))).starts_with("HTTP/1.1 401"));

    // A nonce the server never issued: refused, and called stale when only it is wrong.
    const std::string unknown = "11111111-2222-3333-4444-555555555555";
    auto stale = answerTo(request(authorization(unknown, "00000001", "/hello.txt")));
    EXPECT_TRUE(stale.starts_with("HTTP/1.1 401")) << stale;
    EXPECT_NE(stale.find("qop=\"auth\", stale=true\r\n"), std::string::npos) << stale;
    auto wrongToo = answerTo(request(authorization(unknown, "00000001", "/hello.txt", "user", "bad")));
    EXPECT_EQ(wrongToo.find("stale=true"), std::string::npos);

    // Nonces expire after 600 s: the old one is refused while newer ones exist...
    core::RunLoop::main().advance(300);
    const auto newer = challenge(*connect());
    core::RunLoop::main().advance(301);
    EXPECT_EQ(HTTPDigestCheck::recentNonceCountForTesting(), 1u + 0u) << "only the newer nonce is left";
    EXPECT_TRUE(answerTo(request(authorization(nonce, "00000001", "/hello.txt"))).starts_with("HTTP/1.1 401"));
    EXPECT_TRUE(answerTo(request(authorization(newer, "00000001", "/hello.txt"))).starts_with("HTTP/1.1 200"));
    // ...and also once none is left.
    core::RunLoop::main().advance(600);
    EXPECT_EQ(HTTPDigestCheck::recentNonceCountForTesting(), 0u);
    EXPECT_TRUE(answerTo(request(authorization(newer, "00000002", "/hello.txt"))).starts_with("HTTP/1.1 401"));
}

TEST_F(DigestTest, WindowsClientsAndReplayedCounts)
{
    auto peer = connect();
    const auto nonce = challenge(*peer);
    // Looked up as "user", hashed with the name as sent, doubled backslashes collapsed.
    auto client = connect();
    auto auth = authorization(nonce, "00000001", "/hello.txt", "DOM\\user");
    const auto at = auth.find("DOM\\user");
    auth.replace(at, 8, "DOM\\\\user");
    auto answer = exchange(*client,
        "GET /hello.txt HTTP/1.1\r\nHost: h\r\nUser-Agent: Microsoft-WebDAV-MiniRedir/6.1\r\n" + auth + "\r\n");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200")) << answer;

    // No request is handled twice for its body: a head that comes again
    // with the nc it used is refused, whatever read it came with.
    client = connect();
    EXPECT_TRUE(exchange(*client, "GET /hello.txt HTTP/1.1\r\nHost: h\r\n" + authorization(nonce, "00000002", "/hello.txt") + "\r\n").starts_with("HTTP/1.1 200"));
    auto connection = std::dynamic_pointer_cast<DigestConnection>(server->connections().back());
    ASSERT_TRUE(connection);
    auto replay = HTTPMessageRequest::create();
    replay->appendBytes("GET /hello.txt HTTP/1.1\r\nHost: h\r\n" + authorization(nonce, "00000002", "/hello.txt") + "\r\n");
    connection->replaceRequest(replay);
    EXPECT_FALSE(connection->isAuthenticated(HTTPConnection::BodyTag));
    EXPECT_FALSE(connection->isAuthenticated(HTTPConnection::HeadTag));

    // A count past 2^31 is a count like any other: a lower one after it is
    // a replay.
    for (const auto& [nc, taken] : { std::pair { "80000000", true }, std::pair { "00000003", false } }) {
        auto next = HTTPMessageRequest::create();
        next->appendBytes("GET /hello.txt HTTP/1.1\r\nHost: h\r\n" + authorization(nonce, nc, "/hello.txt") + "\r\n");
        connection->replaceRequest(next);
        EXPECT_EQ(connection->isAuthenticated(HTTPConnection::HeadTag), taken) << nc;
    }
}

TEST_F(DigestTest, DrainsUntilTheClientStopsSending)
{
    // POST is a supported method, so it is challenged.
    auto peer = connect();
    peer->send("POST /up HTTP/1.1\r\nHost: h\r\nContent-Length: 3145728\r\n\r\n");
    std::string answer;
    ASSERT_TRUE(pumpUntil([&] { return (answer = peer->receive()).find("\r\n\r\n") != std::string::npos; }));
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 401")) << answer;
    const std::string chunk(1 << 20, 'x');
    for (int i = 0; i < 3; ++i) {
        peer->send(chunk);
        settle();
    }
    settle();
    EXPECT_FALSE(peer->sawEnd());
    auto socket = server->connections().at(0)->asyncSocket();
    long tag = 0;
    uint64_t done = 0, total = 0;
    socket->progressOfReadReturningTag(&tag, &done, &total);
    EXPECT_EQ(tag, HTTPConnection::UnauthorizedTag);
    EXPECT_EQ(total, HTTPConnection::DrainChunkLength);
    // 15 s without bytes close it.
    int seconds = 0;
    for (; seconds < 60 && !peer->sawEnd(); ++seconds) {
        core::RunLoop::main().advance(1);
        settle();
    }
    EXPECT_TRUE(peer->sawEnd());
    EXPECT_GE(seconds, 15);
    EXPECT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 0; }));
}

class SecureTest : public HTTPConnectionTest {
protected:
    void SetUp() override
    {
        HTTPConnectionTest::SetUp();
        const auto path = test::makeTlsIdentity(makeFolder("tls"), "secret");
        secureIdentity = sec::Pkcs12Identity::load(core::Data(readFile(path)), "secret");
        ASSERT_TRUE(secureIdentity);
        server->setConnectionClass<SecureConnection>();
    }
    void TearDown() override
    {
        HTTPConnectionTest::TearDown();
        secureIdentity.reset();
    }
};

TEST_F(SecureTest, ServesTLSAndRefusesAfterRepeatedPlainRequests)
{
    int status = -1;
    const auto https = fmt::format("https://127.0.0.1:{}/hello.txt", server->port());
    auto output = runClient({ "curl", "-sSk", https, https }, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output, "hello worldhello world");

    // Seven plain requests in a row, each within 2 s: the eighth is refused.
    for (int i = 0; i < 7; ++i) {
        auto peer = connect();
        peer->send("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
        ASSERT_TRUE(pumpUntil([&] { return peer->sawEnd(); }));
        core::RunLoop::main().advance(1.5);
    }
    EXPECT_FALSE(logContains("Rejecting non-SSL connection"));
    {
        PeerSocket peer(server->port());
        ASSERT_TRUE(pumpUntil([&] { return logContains("Rejecting non-SSL connection"); }));
        EXPECT_TRUE(pumpUntil([&] { return peer.sawEnd(); }));
    }
    EXPECT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 0; }));
    EXPECT_FALSE(application->isIdleTimerDisabled());
    // The count started again; a 2 s gap resets it as well.
    output = runClient({ "curl", "-sSk", https }, &status);
    EXPECT_EQ(output, "hello world");

    secureIdentity.reset();
    output = runClient({ "curl", "-sSk", https }, &status);
    EXPECT_NE(status, 0);
    EXPECT_TRUE(logContains("Warning: no SSL certificates found for secure server"));
    EXPECT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 0; }));
}

} // namespace

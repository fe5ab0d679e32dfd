#include "HTTP/AsyncSocket.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/SocketStream.h"
#include "Platform/Net/SocketTestHooks.h"
#include "Platform/Net/TlsServerContext.h"
#include "Platform/Security/Pkcs12Identity.h"
#include "SocketTestSupport.h"
#include "Support/ChildProcess.h"
#include "Support/TlsCertificates.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

using test::ChildProcess;
using test::PeerSocket;

namespace {

// A TLS echo server: each line read is answered "echo: <line>".
class AsyncSocketTLSTest : public test::SocketTestCase {
protected:
    void SetUp() override
    {
        SocketTestCase::SetUp();
        const auto path = test::makeTlsIdentity(makeFolder("tls"), "secret");
        core::Error error;
        auto identity = sec::Pkcs12Identity::load(core::Data(readFile(path)), "secret", &error);
        ASSERT_TRUE(identity) << error.description();
        context = net::TlsServerContext::create(identity, &error);
        ASSERT_TRUE(context) << error.description();
        delegate->onWillConnect = [this](AsyncSocket& socket) {
            EXPECT_TRUE(socket.getCFReadStream()->setTLSServer(context));
            EXPECT_TRUE(socket.getCFWriteStream()->isSecure());
            return true;
        };
        delegate->onConnect = [](AsyncSocket& socket) { socket.readDataToData(AsyncSocket::CRLFData(), 10, 1); };
        delegate->onRead = [](AsyncSocket& socket, const core::Data& data, long tag) {
            if (tag != 1)
                return;
            socket.writeData(core::Data("echo: " + data.toString()), 10, 2);
            socket.readDataToData(AsyncSocket::CRLFData(), 10, 1);
        };
    }

    std::string url(std::string_view path) const { return fmt::format("https://127.0.0.1:{}{}", port, path); }

    std::shared_ptr<net::TlsServerContext> context;
};

TEST_F(AsyncSocketTLSTest, OpenSSLClientExchangesLines)
{
    ChildProcess client({ "openssl", "s_client", "-connect", fmt::format("127.0.0.1:{}", port), "-quiet", "-no_ign_eof" });
    client.write("hello\r\n");
    ASSERT_TRUE(pumpUntil([&] { return client.output().find("echo: hello\r\n") != std::string::npos; }))
        << client.errors();
    // Lines that arrive together are read together (up to the last line end).
    const std::string lines = std::string(5000, 'L') + "\r\nsecond\r\n";
    client.write(lines);
    ASSERT_TRUE(pumpUntil([&] { return client.output().find("second\r\n") != std::string::npos; })) << client.errors();
    EXPECT_NE(client.output().find("echo: " + lines), std::string::npos);
    EXPECT_EQ(lastAccepted()->connectedHost(), "127.0.0.1");
    // TLS is set before a stream opens, never after.
    EXPECT_FALSE(lastAccepted()->getCFReadStream()->setTLSServer(context));
    EXPECT_FALSE(net::TlsServerContext::create(nullptr));

    // The client leaves (with its close_notify): a clean end.
    client.closeInput();
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 1; })) << client.errors();
    ASSERT_EQ(delegate->disconnectErrors.size(), 1u);
    EXPECT_TRUE(delegate->disconnectErrors[0].isEmpty()) << delegate->disconnectErrors[0].description();
    EXPECT_EQ(client.wait(10), 0);
}

TEST_F(AsyncSocketTLSTest, CurlUploadsAndDownloads)
{
    // Head, then body of the announced length; the answer is the body's
    // length followed by a large body, written a few bytes at a time.
    std::string answerBody(1 << 20, '\0');
    for (size_t i = 0; i < answerBody.size(); ++i)
        answerBody[i] = static_cast<char>('a' + i % 26);
    delegate->onConnect = [](AsyncSocket& socket) { socket.readDataToData(AsyncSocket::CRLFCRLFData(), 10, 1); };
    delegate->onRead = [&](AsyncSocket& socket, const core::Data& data, long tag) {
        if (tag == 1) {
            const std::string head = data.toString();
            const size_t at = head.find("Content-Length: ");
            const uint64_t length = at == std::string::npos ? 0 : std::stoull(head.substr(at + 16));
            if (length) {
                socket.readDataToLength(length, 10, 2);
                return;
            }
        }
        const std::string body = std::to_string(tag == 2 ? data.size() : 0) + "\n" + answerBody;
        socket.writeData(core::Data(fmt::format("HTTP/1.1 200 OK\r\nContent-Length: {}\r\nConnection: close\r\n\r\n", body.size())), 10, 3);
        socket.writeData(core::Data(body), 10, 4);
        socket.disconnectAfterWriting();
    };
    const std::string upload = makeFile("upload.bin", std::string(3 << 20, 'u'));
    const std::string download = pathInHome("download.bin");
    net::SocketTestHooks::setByteCap(7000);
    ChildProcess curl({ "curl", "-sS", "-k", "-H", "Expect:", "--data-binary", "@" + upload, "-o", download, url("/up") });
    ASSERT_TRUE(pumpUntil([&] { return !curl.isRunning(); }, 60)) << curl.errors();
    EXPECT_EQ(curl.wait(1), 0) << curl.errors();
    EXPECT_EQ(readFile(download), std::to_string(3 << 20) + "\n" + answerBody);
    EXPECT_GT(delegate->partialWrites.size(), 10u);

    ChildProcess get({ "curl", "-sS", "-k", url("/") });
    ASSERT_TRUE(pumpUntil([&] { return !get.isRunning(); }, 60)) << get.errors();
    EXPECT_EQ(get.output(), "0\n" + answerBody);
}

TEST_F(AsyncSocketTLSTest, PlainTextOnTheTLSPortIsAProtocolError)
{
    for (const char* request : { "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
             "PROPFIND /Documents/ HTTP/1.1\r\nHost: 127.0.0.1\r\nDepth: 1\r\n\r\n" }) {
        const int before = delegate->didDisconnects;
        PeerSocket peer(port);
        peer.send(request);
        ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == before + 1; })) << request;
        EXPECT_TRUE(delegate->disconnectErrors.back().is("kCFStreamErrorDomainSSL", -9800))
            << delegate->disconnectErrors.back().description();
        EXPECT_TRUE(delegate->reads.empty());
    }
}

TEST_F(AsyncSocketTLSTest, LeavingDuringTheHandshakeAborts)
{
    PeerSocket silent(port);
    ASSERT_TRUE(pumpUntil([&] { return delegate->accepted.size() == 1; }));
    silent.close();
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 1; }));
    EXPECT_TRUE(delegate->disconnectErrors.back().is("kCFStreamErrorDomainSSL", -9806))
        << delegate->disconnectErrors.back().description();

    // Half a client hello, then gone.
    PeerSocket halfway(port);
    halfway.send(std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11));
    ASSERT_TRUE(pumpUntil([&] { return delegate->accepted.size() == 2; }));
    settle();
    halfway.close();
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 2; }));
    EXPECT_TRUE(delegate->disconnectErrors.back().is("kCFStreamErrorDomainSSL", -9806))
        << delegate->disconnectErrors.back().description();
}

TEST_F(AsyncSocketTLSTest, ClosingWithoutCloseNotifyEndsCleanlyAndGarbageFails)
{
    const std::string script = R"(
import os, socket, ssl, sys
context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
context.check_hostname = False
context.verify_mode = ssl.CERT_NONE
tls = context.wrap_socket(socket.create_connection(("127.0.0.1", int(sys.argv[1]))))
tls.sendall(b"hi\r\n")
answer = b""
while not answer.endswith(b"\r\n"):
    answer += tls.recv(100)
print(answer.decode().strip(), flush=True)
fd = tls.detach()
if sys.argv[2] == "garbage":
    # A record that is not from the session: the server must fail it.
    os.write(fd, b"\x17\x03\x03\x00\x20" + b"x" * 32)
    while os.read(fd, 4096):
        pass
# No close_notify: the descriptor just closes.
os.close(fd)
)";
    const std::string scriptPath = makeFile("client.py", script);
    ChildProcess quiet({ "python3", scriptPath, std::to_string(port), "quiet" });
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 1; })) << quiet.errors();
    EXPECT_EQ(quiet.output(), "echo: hi\n");
    EXPECT_TRUE(delegate->disconnectErrors.back().isEmpty()) << delegate->disconnectErrors.back().description();

    ChildProcess garbage({ "python3", scriptPath, std::to_string(port), "garbage" });
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 2; })) << garbage.errors();
    EXPECT_TRUE(delegate->disconnectErrors.back().is("kCFStreamErrorDomainSSL", -9800))
        << delegate->disconnectErrors.back().description();
    EXPECT_EQ(garbage.wait(10), 0) << garbage.errors();
}

} // namespace

TEST_F(AsyncSocketTLSTest, FileRangesGoThroughTheBufferUnderTLS)
{
    std::string contents(307200, '\0');
    for (size_t i = 0; i < contents.size(); ++i)
        contents[i] = static_cast<char>('A' + (i * 13 + i / 509) % 26);
    const std::string path = makeFile("served.txt", contents);
    delegate->onRead = [&](AsyncSocket& socket, const core::Data&, long tag) {
        if (tag != 1)
            return;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        socket.writeFile(fd, 100, 307000, 10, 2);
        socket.writeData(core::Data(std::string_view("\nend\n")), 10, 3);
        ::close(fd);
    };
    net::SocketTestHooks::setByteCap(10000);
    ChildProcess client({ "openssl", "s_client", "-connect", fmt::format("127.0.0.1:{}", port), "-quiet", "-no_ign_eof" });
    client.write("file\r\n");
    ASSERT_TRUE(pumpUntil([&] { return client.output().find("\nend\n") != std::string::npos; })) << client.errors();
    EXPECT_TRUE(client.output() == contents.substr(100, 307000) + "\nend\n");
    EXPECT_EQ(delegate->writes, (std::vector<long> { 2, 3 }));
    client.closeInput();
    EXPECT_EQ(client.wait(10), 0);
}

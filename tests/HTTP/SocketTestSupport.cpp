#include "SocketTestSupport.h"

#include "Platform/Core/RunLoop.h"

#include <arpa/inet.h>
#include <cstring>
#include <fmt/format.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace test {

PeerSocket::PeerSocket(uint16_t port)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // The listen backlog takes the connection even before the loop accepts it.
    EXPECT_EQ(::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);
}

PeerSocket::~PeerSocket()
{
    close();
}

uint16_t PeerSocket::localPort() const
{
    sockaddr_in address {};
    socklen_t length = sizeof address;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

void PeerSocket::send(const std::string& bytes)
{
    size_t done = 0;
    while (m_fd >= 0 && done < bytes.size()) {
        const ssize_t count = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (count > 0) {
            done += static_cast<size_t>(count);
        } else if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd fd { m_fd, POLLOUT, 0 };
            poll(&fd, 1, 100);
        } else {
            ADD_FAILURE() << "peer send failed: " << std::strerror(errno);
            return;
        }
    }
}

std::string PeerSocket::receive()
{
    char buffer[65536];
    while (m_fd >= 0) {
        const ssize_t count = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (count > 0) {
            m_pending.append(buffer, static_cast<size_t>(count));
            continue;
        }
        if (count == 0)
            m_end = true;
        break;
    }
    return m_pending;
}

bool PeerSocket::sawEnd()
{
    receive();
    return m_end;
}

void PeerSocket::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void PeerSocket::reset()
{
    linger option { 1, 0 };
    setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
    close();
}

void PeerSocket::shutdownWrite()
{
    ::shutdown(m_fd, SHUT_WR);
}

std::string RecordingDelegate::readText() const
{
    std::string text;
    for (const auto& data : reads)
        text += data.toString();
    return text;
}

void RecordingDelegate::onSocketDidAcceptNewSocket(AsyncSocket&, const std::shared_ptr<AsyncSocket>& newSocket)
{
    events.push_back("accept");
    accepted.push_back(newSocket);
    if (handOver)
        newSocket->setDelegate(handOver);
}

core::RunLoop* RecordingDelegate::onSocketWantsRunLoopForNewSocket(AsyncSocket&, const std::shared_ptr<AsyncSocket>&)
{
    events.push_back("runloop");
    return nullptr;
}

bool RecordingDelegate::onSocketWillConnect(AsyncSocket& socket)
{
    events.push_back("willConnect");
    if (onWillConnect)
        return onWillConnect(socket);
    return willConnectAnswer;
}

void RecordingDelegate::onSocketDidConnectToHost(AsyncSocket& socket, const std::string& host, uint16_t port)
{
    events.push_back(fmt::format("connect {} {}", host, port));
    if (onConnect)
        onConnect(socket);
}

void RecordingDelegate::onSocketDidReadData(AsyncSocket& socket, const core::Data& data, long tag)
{
    events.push_back(fmt::format("read {}: {}", tag, data.size() <= 64 ? data.toString() : fmt::format("{} bytes", data.size())));
    reads.push_back(data);
    readTags.push_back(tag);
    if (onRead)
        onRead(socket, data, tag);
}

void RecordingDelegate::onSocketDidReadPartialDataOfLength(AsyncSocket&, uint64_t partialLength, long)
{
    partialReads.push_back(partialLength);
}

void RecordingDelegate::onSocketDidWriteDataWithTag(AsyncSocket& socket, long tag)
{
    events.push_back(fmt::format("wrote {}", tag));
    writes.push_back(tag);
    if (onWrite)
        onWrite(socket, tag);
}

void RecordingDelegate::onSocketDidWritePartialDataOfLength(AsyncSocket&, uint64_t partialLength, long)
{
    partialWrites.push_back(partialLength);
}

bool RecordingDelegate::onSocketShouldTimeout(AsyncSocket&)
{
    events.push_back("shouldTimeout");
    return shouldTimeoutAnswer;
}

void RecordingDelegate::onSocketWillDisconnectWithError(AsyncSocket& socket, const core::Error* error)
{
    events.push_back(error ? fmt::format("willDisconnect {} {}", error->domain(), error->code()) : "willDisconnect");
    disconnectErrors.push_back(error ? *error : core::Error());
    ++willDisconnects;
    willDisconnectPass = core::RunLoop::current().passCountForTesting();
    if (onWillDisconnect)
        onWillDisconnect(socket, error);
}

void RecordingDelegate::onSocketDidDisconnect(AsyncSocket& socket)
{
    events.push_back("didDisconnect");
    ++didDisconnects;
    didDisconnectPass = core::RunLoop::current().passCountForTesting();
    if (onDidDisconnect)
        onDidDisconnect(socket);
}

void SocketTestCase::SetUp()
{
    TestCase::SetUp();
    delegate = std::make_shared<RecordingDelegate>();
    listener = AsyncSocket::create(delegate);
    core::Error error;
    ASSERT_TRUE(listener->acceptOnPort(0, &error)) << error.description();
    port = listener->localPort();
    ASSERT_NE(port, 0);
}

void SocketTestCase::TearDown()
{
    if (listener)
        listener->disconnect();
    if (delegate) {
        for (auto& socket : delegate->accepted)
            socket->disconnect();
        delegate->accepted.clear();
    }
    listener.reset();
    delegate.reset();
    TestCase::TearDown();
}

bool SocketTestCase::pumpUntil(const std::function<bool()>& predicate, double seconds)
{
    return core::RunLoop::current().runUntil(predicate, seconds);
}

void SocketTestCase::settle()
{
    for (int i = 0; i < 5; ++i)
        core::RunLoop::current().runOnce(core::RunLoop::DefaultMode, 0.01);
}

std::unique_ptr<PeerSocket> SocketTestCase::connectPeer()
{
    const size_t before = delegate->accepted.size();
    auto peer = std::make_unique<PeerSocket>(port);
    EXPECT_TRUE(pumpUntil([&] { return delegate->accepted.size() > before && delegate->accepted.back()->isConnected(); }));
    return peer;
}

std::shared_ptr<AsyncSocket> SocketTestCase::lastAccepted() const
{
    return delegate->accepted.empty() ? nullptr : delegate->accepted.back();
}

} // namespace test

#pragma once

#include "HTTP/AsyncSocket.h"
#include "Support/TestCase.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace test {

// A plain TCP client on 127.0.0.1, non-blocking once connected, for the
// far side of a socket under test.
class PeerSocket {
public:
    explicit PeerSocket(uint16_t port);
    ~PeerSocket();
    PeerSocket(const PeerSocket&) = delete;
    PeerSocket& operator=(const PeerSocket&) = delete;

    int fd() const { return m_fd; }
    uint16_t localPort() const;
    // Sends all bytes (waiting for room when needed).
    void send(const std::string& bytes);
    // What has arrived so far.
    std::string receive();
    // Whether the far side closed (after everything sent was received).
    bool sawEnd();
    void close();
    // Closes with a reset instead of a FIN.
    void reset();
    void shutdownWrite();

private:
    int m_fd = -1;
    bool m_end = false;
    std::string m_pending;
};

// A delegate that writes down what it hears, as short lines ("read 7: abc"),
// and runs optional hooks for re-entrant tests.
class RecordingDelegate : public AsyncSocketDelegate, public std::enable_shared_from_this<RecordingDelegate> {
public:
    std::vector<std::string> events;
    std::vector<std::shared_ptr<AsyncSocket>> accepted;
    std::vector<core::Data> reads;
    std::vector<long> readTags;
    std::vector<uint64_t> partialReads;
    std::vector<uint64_t> partialWrites;
    std::vector<long> writes;
    std::vector<core::Error> disconnectErrors;
    int willDisconnects = 0;
    int didDisconnects = 0;
    uint64_t didDisconnectPass = 0;
    uint64_t willDisconnectPass = 0;
    bool willConnectAnswer = true;
    bool shouldTimeoutAnswer = true;
    // Installed as the delegate of accepted sockets when set.
    std::shared_ptr<AsyncSocketDelegate> handOver;
    std::function<void(AsyncSocket&)> onConnect;
    std::function<void(AsyncSocket&, const core::Data&, long)> onRead;
    std::function<void(AsyncSocket&, long)> onWrite;
    std::function<bool(AsyncSocket&)> onWillConnect;
    std::function<void(AsyncSocket&, const core::Error*)> onWillDisconnect;
    std::function<void(AsyncSocket&)> onDidDisconnect;

    std::string readText() const;

    void onSocketDidAcceptNewSocket(AsyncSocket& socket, const std::shared_ptr<AsyncSocket>& newSocket) override;
    core::RunLoop* onSocketWantsRunLoopForNewSocket(AsyncSocket& socket, const std::shared_ptr<AsyncSocket>& newSocket) override;
    bool onSocketWillConnect(AsyncSocket& socket) override;
    void onSocketDidConnectToHost(AsyncSocket& socket, const std::string& host, uint16_t port) override;
    void onSocketDidReadData(AsyncSocket& socket, const core::Data& data, long tag) override;
    void onSocketDidReadPartialDataOfLength(AsyncSocket& socket, uint64_t partialLength, long tag) override;
    void onSocketDidWriteDataWithTag(AsyncSocket& socket, long tag) override;
    void onSocketDidWritePartialDataOfLength(AsyncSocket& socket, uint64_t partialLength, long tag) override;
    bool onSocketShouldTimeout(AsyncSocket& socket) override;
    void onSocketWillDisconnectWithError(AsyncSocket& socket, const core::Error* error) override;
    void onSocketDidDisconnect(AsyncSocket& socket) override;
};

// Base of the socket tests: a listening socket on a port the system chose,
// with a recording delegate, and a pump over the main run loop.
class SocketTestCase : public TestCase {
protected:
    void SetUp() override;
    void TearDown() override;

    // Passes (waiting for real events) until `predicate` holds; false after
    // `seconds` of real time.
    bool pumpUntil(const std::function<bool()>& predicate, double seconds = 30);
    // A few passes that take what is ready now.
    void settle();
    // Connects a peer and pumps until the listener accepted it and the new
    // socket is connected.
    std::unique_ptr<PeerSocket> connectPeer();
    std::shared_ptr<AsyncSocket> lastAccepted() const;

    std::shared_ptr<RecordingDelegate> delegate;
    std::shared_ptr<AsyncSocket> listener;
    uint16_t port = 0;
};

} // namespace test

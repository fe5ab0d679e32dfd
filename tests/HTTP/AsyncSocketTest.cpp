#include "HTTP/AsyncSocket.h"
#include "HTTP/HTTPMessageRequest.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/ManualClock.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/SocketTestHooks.h"
#include "SocketTestSupport.h"
#include "Support/RefusingPort.h"
#include "Support/TestEnvironment.h"

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/resource.h>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

using test::PeerSocket;
using test::RecordingDelegate;

namespace {

core::Data bytes(std::string_view text)
{
    return core::Data(text);
}

class AsyncSocketTest : public test::SocketTestCase {
protected:
    core::RunLoop& loop() { return core::RunLoop::current(); }
};

TEST_F(AsyncSocketTest, ListensAndRefusesMisuse)
{
    EXPECT_TRUE(listener->isConnected() == false);
    EXPECT_EQ(listener->localHost(), "0.0.0.0");
    EXPECT_GE(listener->getCFSocket(), 0);

    try {
        listener->acceptOnPort(0);
        ADD_FAILURE() << "accepting twice did not raise";
    } catch (const core::Exception& exception) {
        EXPECT_EQ(exception.name(), "AsyncSocketException");
        EXPECT_EQ(exception.reason(), "Attempting to accept while connected or accepting connections. Disconnect first.");
    }
    auto orphan = AsyncSocket::create();
    try {
        orphan->acceptOnPort(0);
        ADD_FAILURE() << "accepting without a delegate did not raise";
    } catch (const core::Exception& exception) {
        EXPECT_EQ(exception.reason(), "Attempting to accept without a delegate. Set a delegate first.");
    }
    try {
        orphan->connectToHost("127.0.0.1", port);
        ADD_FAILURE() << "connecting without a delegate did not raise";
    } catch (const core::Exception& exception) {
        EXPECT_EQ(exception.reason(), "Attempting to connect without a delegate. Set a delegate first.");
    }

    // A port in use: NO with the socket layer's general error, and nothing
    // heard by the delegate.
    auto other = std::make_shared<RecordingDelegate>();
    auto second = AsyncSocket::create(other);
    core::Error error;
    EXPECT_FALSE(second->acceptOnPort(port, &error));
    EXPECT_EQ(error.domain(), "AsyncSocketErrorDomain");
    EXPECT_EQ(error.code(), -1);
    EXPECT_EQ(error.localizedDescription(), "General CFSocket error");
    ASSERT_TRUE(error.underlyingError());
    EXPECT_EQ(error.underlyingError()->code(), EADDRINUSE);
    EXPECT_EQ(second->flags(), 0);
    second->disconnect();
    settle();
    EXPECT_TRUE(other->events.empty());

    EXPECT_EQ(AsyncSocket::errorWithCode(2).localizedDescription(), "Read operation timed out");
    EXPECT_EQ(AsyncSocket::errorWithCode(3).localizedDescription(), "Write operation timed out");
    EXPECT_EQ(AsyncSocket::errorWithCode(1).localizedDescription(), "Connection canceled");
}

TEST_F(AsyncSocketTest, AcceptsInOrderAndAsksTheInstalledDelegate)
{
    auto owner = std::make_shared<RecordingDelegate>();
    delegate->handOver = owner;
    auto peer = connectPeer();
    EXPECT_EQ(delegate->events, (std::vector<std::string> { "accept", "runloop" }));
    EXPECT_EQ(owner->events,
        (std::vector<std::string> { "willConnect", fmt::format("connect 127.0.0.1 {}", peer->localPort()) }));
    auto socket = lastAccepted();
    EXPECT_EQ(socket->connectedHost(), "127.0.0.1");
    EXPECT_EQ(socket->localPort(), port);
    EXPECT_NE(socket->description().find("read stream open"), std::string::npos) << socket->description();

    // Refused by will-connect: the owner hears the cancel error and, a pass
    // later, the disconnect; no byte is read, the peer sees the close.
    owner->willConnectAnswer = false;
    owner->events.clear();
    auto refused = std::make_unique<PeerSocket>(port);
    refused->send("GET / HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(pumpUntil([&] { return owner->didDisconnects == 1; }));
    EXPECT_EQ(owner->events, (std::vector<std::string> { "willConnect", "willDisconnect AsyncSocketErrorDomain 1", "didDisconnect" }));
    EXPECT_EQ(owner->didDisconnectPass, owner->willDisconnectPass + 1);
    EXPECT_TRUE(pumpUntil([&] { return refused->sawEnd(); }));
    EXPECT_FALSE(lastAccepted()->isConnected());
}

TEST_F(AsyncSocketTest, ReadsAllLinesAndLengths)
{
    auto peer = connectPeer();
    auto socket = lastAccepted();

    // Read-all gives what one stream read brings, at most 2048 bytes.
    peer->send(std::string(5000, 'x'));
    socket->readDataWithTimeout(30, 1);
    ASSERT_TRUE(pumpUntil([&] { return delegate->reads.size() == 1; }));
    EXPECT_GT(delegate->reads[0].size(), 0u);
    EXPECT_LE(delegate->reads[0].size(), 2048u);
    socket->readDataToLength(5000 - delegate->reads[0].size(), 30, 2);
    ASSERT_TRUE(pumpUntil([&] { return delegate->reads.size() == 2; }));
    delegate->reads.clear();
    delegate->events.clear();

    // Two lines in one segment come back together; the partial third line
    // starts the next read.
    peer->send("A\r\nB\r\nC");
    socket->readDataToData(AsyncSocket::CRLFData(), 30, 3);
    ASSERT_TRUE(pumpUntil([&] { return delegate->reads.size() == 1; }));
    EXPECT_EQ(delegate->reads[0].toString(), "A\r\nB\r\n");
    socket->readDataToData(AsyncSocket::CRLFData(), 30, 4);
    settle();
    EXPECT_EQ(delegate->reads.size(), 1u);
    // A terminator split between two segments is found.
    peer->send("D\r");
    ASSERT_TRUE(pumpUntil([&] { return !delegate->partialReads.empty(); }));
    EXPECT_EQ(delegate->partialReads.back(), 2u);
    long tag = 0;
    uint64_t done = 0, total = 7;
    EXPECT_EQ(socket->progressOfReadReturningTag(&tag, &done, &total), 0.0);
    EXPECT_EQ(tag, 4);
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(total, 0u);
    peer->send("\nEFG");
    ASSERT_TRUE(pumpUntil([&] { return delegate->reads.size() == 2; }));
    EXPECT_EQ(delegate->reads[1].toString(), "CD\r\n");

    // "EFG" is left over: a length read it satisfies completes in the call.
    settle();
    socket->readDataToLength(2, 30, 5);
    ASSERT_EQ(delegate->reads.size(), 3u);
    EXPECT_EQ(delegate->reads[2].toString(), "EF");
    // A length read that needs more starts from the leftover; partial
    // callbacks carry each pass's total.
    delegate->partialReads.clear();
    socket->readDataToLength(6, 30, 6);
    peer->send("HI");
    ASSERT_TRUE(pumpUntil([&] { return !delegate->partialReads.empty(); }));
    EXPECT_EQ(delegate->partialReads, std::vector<uint64_t> { 2 });
    EXPECT_EQ(socket->progressOfReadReturningTag(&tag, &done, &total), 0.5);
    EXPECT_EQ(total, 6u);
    peer->send("JKL");
    ASSERT_TRUE(pumpUntil([&] { return delegate->reads.size() == 4; }));
    EXPECT_EQ(delegate->reads[3].toString(), "GHIJKL");
    EXPECT_TRUE(std::isnan(socket->progressOfReadReturningTag(nullptr, nullptr, nullptr)));

    // Reads that cannot be served are ignored.
    socket->readDataToData(core::Data(), 30, 7);
    socket->readDataToLength(0, 30, 8);
    EXPECT_TRUE(socket->canSafelySetDelegate());
}

TEST_F(AsyncSocketTest, HugeLengthsGrowWithArrivalsAndTerminatorsHaveALimit)
{
    auto peer = connectPeer();
    auto socket = lastAccepted();

    // A peer announcing 100 GB gets no 100 GB buffer: the read grows with
    // what arrives.
    const uint64_t announced = 100000000000ull;
    socket->readDataToLength(announced, 30, 1);
    const std::string mebibyte(1 << 20, 'm');
    peer->send(mebibyte);
    uint64_t done = 0;
    // Bytes held below the long read's low-water mark are taken when its
    // flush comes round.
    ASSERT_TRUE(pumpUntil([&] {
        loop().advance(0.05);
        socket->progressOfReadReturningTag(nullptr, &done, nullptr);
        return done == mebibyte.size();
    }));
    uint64_t sum = 0;
    for (uint64_t each : delegate->partialReads)
        sum += each;
    EXPECT_EQ(sum, mebibyte.size());
    socket->disconnect();
    settle();

    // A terminator read with a limit ends after that many bytes without the
    // terminator, delivering them; the rest waits for the next read.
    auto second = connectPeer();
    auto lines = lastAccepted();
    second->send(std::string(10000, 'a') + "\r\nb");
    lines->readDataToData(AsyncSocket::CRLFData(), 30, 4096, 2);
    ASSERT_TRUE(pumpUntil([&] { return delegate->readTags.size() == 1; }));
    EXPECT_EQ(delegate->reads.back().size(), 4096u);
    lines->readDataToData(AsyncSocket::CRLFData(), 30, 8192, 3);
    ASSERT_TRUE(pumpUntil([&] { return delegate->readTags.size() == 2; }));
    EXPECT_EQ(delegate->reads.back().toString(), std::string(10000 - 4096, 'a') + "\r\n");
    lines->readDataWithTimeout(30, 4);
    EXPECT_EQ(delegate->reads.back().toString(), "b");
}

TEST_F(AsyncSocketTest, LongReadsWakeForBatchesYetMissNoBytes)
{
    auto peer = connectPeer();
    auto socket = lastAccepted();
    const uint64_t length = 1 << 20;
    socket->readDataToLength(length, 30, 1);
    auto received = [&] {
        uint64_t sum = 0;
        for (uint64_t each : delegate->partialReads)
            sum += each;
        return sum;
    };
    // A sender slower than the batches: its bytes are still reported, and
    // they keep the read from timing out.
    std::string sent;
    for (int piece = 0; piece < 5; ++piece) {
        const std::string bytes(10000, static_cast<char>('a' + piece));
        peer->send(bytes);
        sent += bytes;
        ASSERT_TRUE(pumpUntil([&] {
            loop().advance(0.05);
            return received() == sent.size();
        }));
        for (int second = 0; second < 20; ++second)
            loop().advance(1);
    }
    EXPECT_EQ(delegate->willDisconnects, 0);
    const std::string rest(length - sent.size(), 'z');
    peer->send(rest + "NEXT\r\n");
    ASSERT_TRUE(pumpUntil([&] { return delegate->reads.size() == 1; }));
    EXPECT_EQ(delegate->reads[0].toString(), sent + rest);
    // The reads after it wake for every arrival again.
    socket->readDataToData(AsyncSocket::CRLFData(), 30, 2);
    peer->send("MORE\r\n");
    socket->readDataToData(AsyncSocket::CRLFData(), 30, 3);
    ASSERT_TRUE(pumpUntil([&] { return delegate->reads.size() == 3; }));
    EXPECT_EQ(delegate->reads[2].toString(), "MORE\r\n");

    // The peer's end wakes a long read short of its mark at once.
    auto closing = connectPeer();
    auto reader = lastAccepted();
    reader->readDataToLength(length, 30, 4);
    closing->send(std::string(1000, 'c'));
    closing->shutdownWrite();
    ASSERT_TRUE(pumpUntil([&] { return delegate->willDisconnects == 1; }));
}

TEST_F(AsyncSocketTest, PipelinedRequestIsPutBackAndReadNext)
{
    auto peer = connectPeer();
    auto socket = lastAccepted();
    std::vector<std::string> targets;
    auto request = HTTPMessageRequest::create();
    delegate->onRead = [&](AsyncSocket& socket, const core::Data& data, long) {
        ASSERT_TRUE(request->appendBytes(data));
        if (!request->isHeaderComplete()) {
            socket.readDataToData(AsyncSocket::CRLFData(), 30, 15);
            return;
        }
        targets.push_back(request->requestURL()->relativeString());
        // The head's reader took the next request as body: it goes back.
        socket.unreadData(request->body());
        request = HTTPMessageRequest::create();
        socket.readDataToData(AsyncSocket::CRLFData(), 30, 15);
    };
    peer->send("GET /a HTTP/1.1\r\nHost: h\r\n\r\nGET /b HTTP/1.1\r\nHost: h\r\n\r\nGET /c HTTP/1.1\r\n");
    socket->readDataToData(AsyncSocket::CRLFData(), 30, 15);
    ASSERT_TRUE(pumpUntil([&] { return targets.size() == 2; }));
    // The second request completed from the put-back bytes, a pass later, at
    // their last terminator; the third waits for its end.
    EXPECT_EQ(delegate->reads[1].toString(), "GET /b HTTP/1.1\r\nHost: h\r\n\r\nGET /c HTTP/1.1\r\n");
    EXPECT_EQ(targets, (std::vector<std::string> { "/a", "/b" }));
    peer->send("\r\n");
    ASSERT_TRUE(pumpUntil([&] { return targets.size() == 3; }));
    EXPECT_EQ(targets[2], "/c");
}

TEST_F(AsyncSocketTest, RequestsQueuedInCallbacksRunAfterThemNotInside)
{
    // One-byte reads of a large arrival, each queued in the callback of the
    // one before, and small writes queued the same way: they run one after
    // the other, never nested (a nested chain would grow the stack by one
    // frame set per byte).
    auto peer = connectPeer();
    auto socket = lastAccepted();
    const std::string arrival(20000, 'r');
    int depth = 0, deepest = 0;
    size_t received = 0;
    delegate->onRead = [&](AsyncSocket& socket, const core::Data& data, long) {
        deepest = std::max(deepest, ++depth);
        received += data.size();
        if (received < arrival.size())
            socket.readDataToLength(1, 30, 1);
        --depth;
    };
    peer->send(arrival);
    settle();
    socket->readDataToLength(1, 30, 1);
    ASSERT_TRUE(pumpUntil([&] { return received == arrival.size(); }));
    EXPECT_EQ(deepest, 1);

    int writes = 0;
    depth = deepest = 0;
    delegate->onWrite = [&](AsyncSocket& socket, long) {
        deepest = std::max(deepest, ++depth);
        if (++writes < 20000)
            socket.writeData(core::Data(std::string_view("w")), 30, 2);
        --depth;
    };
    socket->writeData(core::Data(std::string_view("w")), 30, 2);
    ASSERT_TRUE(pumpUntil([&] { return writes == 20000 && peer->receive().size() == 20000; }));
    EXPECT_EQ(deepest, 1);
}

TEST_F(AsyncSocketTest, WritesInPartsAndDisconnectsAfterWriting)
{
    auto peer = connectPeer();
    auto socket = lastAccepted();
    net::SocketTestHooks::setByteCap(1000);
    std::string payload(1 << 20, '\0');
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>(i * 7);
    socket->writeData(core::Data(payload), 30, 9);
    std::string received;
    ASSERT_TRUE(pumpUntil([&] {
        received = peer->receive();
        return received.size() == payload.size() && !delegate->writes.empty();
    }));
    EXPECT_EQ(received, payload);
    EXPECT_EQ(delegate->writes, std::vector<long> { 9 });
    ASSERT_GT(delegate->partialWrites.size(), 100u);
    EXPECT_TRUE(std::is_sorted(delegate->partialWrites.begin(), delegate->partialWrites.end()));
    EXPECT_EQ(delegate->partialWrites.front(), 1000u);
    EXPECT_LT(delegate->partialWrites.back(), payload.size());
    net::SocketTestHooks::setByteCap(0);

    // After disconnectAfterWriting, new reads and writes are ignored and the
    // socket closes the pass after its last write.
    uint64_t wrotePass = 0;
    delegate->onWrite = [&](AsyncSocket&, long) { wrotePass = loop().passCountForTesting(); };
    socket->writeData(bytes("last"), 30, 10);
    socket->disconnectAfterWriting();
    socket->writeData(bytes("ignored"), 30, 11);
    socket->readDataWithTimeout(30, 12);
    EXPECT_NE(socket->description().find("will disconnect soon"), std::string::npos);
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 1; }));
    EXPECT_EQ(delegate->writes, (std::vector<long> { 9, 10 }));
    EXPECT_EQ(delegate->willDisconnects, 0);
    EXPECT_EQ(delegate->didDisconnectPass, wrotePass + 2);
    ASSERT_TRUE(pumpUntil([&] { return peer->sawEnd(); }));
    EXPECT_EQ(peer->receive().substr(payload.size()), "last");
    EXPECT_TRUE(delegate->reads.empty());
}

TEST_F(AsyncSocketTest, RequestsTimeOutWithoutProgress)
{
    auto& clock = test::TestEnvironment::clock();
    auto peer = connectPeer();
    auto socket = lastAccepted();
    socket->readDataToData(AsyncSocket::CRLFData(), 30, 15);
    const double start = clock.now().timeIntervalSince1970();
    double closedAfter = 0;
    delegate->onWillDisconnect = [&](AsyncSocket&, const core::Error*) {
        closedAfter = clock.now().timeIntervalSince1970() - start;
    };
    // Progress at 20 s restarts the period.
    for (int second = 1; second <= 20; ++second)
        loop().advance(1);
    peer->send("GE");
    ASSERT_TRUE(pumpUntil([&] { return !delegate->partialReads.empty(); }));
    const double progressAt = clock.now().timeIntervalSince1970() - start;
    for (int second = 1; second <= 45 && delegate->willDisconnects == 0; ++second)
        loop().advance(1);
    ASSERT_EQ(delegate->willDisconnects, 1);
    EXPECT_GE(closedAfter - progressAt, 30);
    EXPECT_LE(closedAfter - progressAt, 36);
    ASSERT_EQ(delegate->disconnectErrors.size(), 1u);
    EXPECT_TRUE(delegate->disconnectErrors[0].is("AsyncSocketErrorDomain", 2));
    EXPECT_EQ(delegate->disconnectErrors[0].localizedDescription(), "Read operation timed out");
    loop().runUntilIdle();
    EXPECT_EQ(delegate->didDisconnects, 1);
    EXPECT_TRUE(pumpUntil([&] { return peer->sawEnd(); }));
}

TEST_F(AsyncSocketTest, DelegateMayPostponeATimeOut)
{
    auto peer = connectPeer();
    auto socket = lastAccepted();
    delegate->shouldTimeoutAnswer = false;
    socket->readDataWithTimeout(10, 1);
    for (int second = 1; second <= 17; ++second)
        loop().advance(1);
    EXPECT_TRUE(logContains("Postponing read timeout"));
    EXPECT_EQ(delegate->willDisconnects, 0);
    // The postponement grants a whole period: still alive 9 s later.
    delegate->shouldTimeoutAnswer = true;
    for (int second = 1; second <= 8; ++second)
        loop().advance(1);
    EXPECT_EQ(delegate->willDisconnects, 0);
    for (int second = 1; second <= 10 && delegate->willDisconnects == 0; ++second)
        loop().advance(1);
    EXPECT_EQ(delegate->willDisconnects, 1);

    // A write the peer does not take times out with code 3.
    auto second = connectPeer();
    auto writer = lastAccepted();
    writer->writeData(core::Data(std::string(32 << 20, 'w')), 5, 2);
    settle();
    for (int step = 1; step <= 12 && delegate->willDisconnects == 1; ++step)
        loop().advance(1);
    ASSERT_EQ(delegate->disconnectErrors.size(), 2u);
    EXPECT_TRUE(delegate->disconnectErrors[1].is("AsyncSocketErrorDomain", 3));
}

TEST_F(AsyncSocketTest, PeerCloseAndResetAreReported)
{
    // A clean close with no read queued: will-disconnect without an error,
    // did-disconnect one pass later; what was received is still readable.
    auto peer = connectPeer();
    auto socket = lastAccepted();
    peer->send("leftover");
    socket->readDataToData(AsyncSocket::CRLFData(), 30, 1);
    ASSERT_TRUE(pumpUntil([&] { return !delegate->partialReads.empty(); }));
    std::string recovered;
    delegate->onWillDisconnect = [&](AsyncSocket& socket, const core::Error*) {
        socket.readDataWithTimeout(30, 2);
        recovered = delegate->reads.empty() ? "" : delegate->reads.back().toString();
    };
    peer->close();
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 1; }));
    EXPECT_EQ(delegate->events.back(), "didDisconnect");
    EXPECT_EQ(delegate->events[delegate->events.size() - 3], "willDisconnect");
    EXPECT_EQ(delegate->didDisconnectPass, delegate->willDisconnectPass + 1);
    EXPECT_EQ(recovered, "leftover");
    EXPECT_FALSE(socket->isConnected());

    // With nothing queued at all, the close is still seen.
    delegate->onWillDisconnect = nullptr;
    auto idle = connectPeer();
    idle->close();
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 2; }));

    // A reset closes with the POSIX error; writing to it raises no signal.
    auto rude = connectPeer();
    auto victim = lastAccepted();
    victim->readDataWithTimeout(30, 3);
    rude->reset();
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 3; }));
    EXPECT_EQ(delegate->disconnectErrors.back().domain(), core::Error::POSIXDomain);
    EXPECT_EQ(delegate->disconnectErrors.back().code(), ECONNRESET);

    auto gone = connectPeer();
    auto writer = lastAccepted();
    gone->reset();
    settle();
    writer->writeData(core::Data(std::string(1 << 20, 'z')), 30, 4);
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 4; }));
    EXPECT_EQ(delegate->disconnectErrors.back().domain(), core::Error::POSIXDomain);

    // A socket that never connected closes without a word.
    auto quiet = std::make_shared<RecordingDelegate>();
    auto unused = AsyncSocket::create(quiet);
    unused->readDataWithTimeout(5, 1);
    unused->disconnect();
    settle();
    EXPECT_TRUE(quiet->events.empty());
}

TEST_F(AsyncSocketTest, SystemCallErrorsCloseWithTheirErrno)
{
    auto reader = connectPeer();
    auto readSocket = lastAccepted();
    net::SocketTestHooks::failNextRead(EIO);
    reader->send("x");
    readSocket->readDataWithTimeout(30, 1);
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 1; }));
    EXPECT_TRUE(delegate->disconnectErrors.back().is(core::Error::POSIXDomain, EIO));
    EXPECT_TRUE(delegate->reads.empty());

    auto writer = connectPeer();
    auto writeSocket = lastAccepted();
    net::SocketTestHooks::failNextWrite(ENOBUFS);
    writeSocket->writeData(bytes("y"), 30, 2);
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 2; }));
    EXPECT_TRUE(delegate->disconnectErrors.back().is(core::Error::POSIXDomain, ENOBUFS));
    EXPECT_TRUE(delegate->writes.empty());
    EXPECT_TRUE(pumpUntil([&] { return writer->sawEnd(); }));
}

// Owners that let go of themselves and their socket inside a callback.
struct SelfReleasingOwner : RecordingDelegate {
    std::vector<std::shared_ptr<SelfReleasingOwner>>* owners = nullptr;
    std::shared_ptr<AsyncSocket> socket;
    std::string releaseIn;
    void release(const char* where)
    {
        if (releaseIn != where || !owners)
            return;
        auto* list = owners;
        owners = nullptr;
        socket.reset();
        std::erase_if(*list, [this](const auto& owner) { return owner.get() == this; });
    }
    void onSocketDidConnectToHost(AsyncSocket& s, const std::string& h, uint16_t p) override
    {
        RecordingDelegate::onSocketDidConnectToHost(s, h, p);
        s.writeData(core::Data(std::string_view("hello\r\n")), 5, 1);
        s.readDataToData(AsyncSocket::CRLFData(), 5, 2);
        release("connect");
    }
    void onSocketDidReadData(AsyncSocket& s, const core::Data& d, long t) override
    {
        RecordingDelegate::onSocketDidReadData(s, d, t);
        s.readDataToData(AsyncSocket::CRLFData(), 5, 3);
        release("read");
    }
    void onSocketDidWriteDataWithTag(AsyncSocket& s, long t) override
    {
        RecordingDelegate::onSocketDidWriteDataWithTag(s, t);
        release("write");
    }
    void onSocketWillDisconnectWithError(AsyncSocket& s, const core::Error* e) override
    {
        RecordingDelegate::onSocketWillDisconnectWithError(s, e);
        release("willDisconnect");
    }
    void onSocketDidDisconnect(AsyncSocket& s) override
    {
        RecordingDelegate::onSocketDidDisconnect(s);
        release("didDisconnect");
    }
};

TEST_F(AsyncSocketTest, OwnersMayReleaseEverythingInsideCallbacks)
{
    std::vector<std::shared_ptr<SelfReleasingOwner>> owners;
    for (const char* where : { "connect", "read", "write", "willDisconnect", "didDisconnect" }) {
        auto owner = std::make_shared<SelfReleasingOwner>();
        owner->owners = &owners;
        owner->releaseIn = where;
        owners.push_back(owner);
        owner->socket = AsyncSocket::create(owner);
        core::Error error;
        ASSERT_TRUE(owner->socket->connectToHost("127.0.0.1", port, &error)) << error.description();
    }
    std::vector<std::unique_ptr<PeerSocket>> unused;
    ASSERT_TRUE(pumpUntil([&] { return delegate->accepted.size() == 5; }));
    for (auto& accepted : delegate->accepted)
        accepted->writeData(core::Data(std::string_view("welcome\r\n")), 5, 1);
    ASSERT_TRUE(pumpUntil([&] { return owners.size() <= 2; }));
    for (auto& accepted : delegate->accepted)
        accepted->disconnect();
    ASSERT_TRUE(pumpUntil([&] { return owners.empty(); }));
    settle();
}

TEST_F(AsyncSocketTest, LastOwnerMayLetGoOnAnotherThread)
{
    auto peer = connectPeer();
    auto socket = lastAccepted();
    delegate->accepted.clear();
    socket->readDataWithTimeout(30, 1);
    // The socket dies on another thread; its loop's thread closes the
    // descriptor.
    std::thread([socket = std::move(socket)]() mutable { socket.reset(); }).join();
    EXPECT_TRUE(pumpUntil([&] { return peer->sawEnd(); }));
    EXPECT_EQ(delegate->didDisconnects, 0);
}

TEST_F(AsyncSocketTest, QuietSocketsCostNoPasses)
{
    // An idle peer, a write its peer does not read, and unread bytes with no
    // read queued: the loop sleeps through all three.
    auto idle = connectPeer();
    auto stuck = connectPeer();
    auto writer = lastAccepted();
    writer->writeData(core::Data(std::string(64 << 20, 's')), 300, 1);
    auto talker = connectPeer();
    talker->send("unread bytes");
    ASSERT_TRUE(pumpUntil([&] {
        uint64_t done = 0;
        writer->progressOfWriteReturningTag(nullptr, &done, nullptr);
        return done > 0;
    }));
    settle();
    const size_t events = delegate->events.size() + delegate->partialWrites.size();
    const uint64_t before = loop().passCountForTesting();
    EXPECT_FALSE(loop().runOnce(core::RunLoop::DefaultMode, 0.2));
    EXPECT_EQ(loop().passCountForTesting(), before + 1);
    EXPECT_EQ(delegate->events.size() + delegate->partialWrites.size(), events);
}

TEST_F(AsyncSocketTest, DescriptorShortagePausesAcceptingAndResumes)
{
    net::SocketTestHooks::failNextAccept(EMFILE);
    auto peer = std::make_unique<PeerSocket>(port);
    settle();
    EXPECT_TRUE(delegate->accepted.empty());
    EXPECT_TRUE(logContains("cannot accept connections"));
    // The waiting connection does not keep the loop busy while paused.
    EXPECT_FALSE(loop().runOnce(core::RunLoop::DefaultMode, 0.05));
    loop().advance(0.1);
    ASSERT_TRUE(pumpUntil([&] { return delegate->accepted.size() == 1 && lastAccepted()->isConnected(); }));
}

TEST_F(AsyncSocketTest, RunningOutOfDescriptorsNeitherSpinsNorCrashes)
{
    // In a child, with a small descriptor limit filled up: a connection
    // waits, the listener pauses instead of spinning, and once descriptors
    // are freed it accepts.
    auto& loop = core::RunLoop::current();
    auto* recorder = delegate.get();
    const auto connectedCount = [recorder] {
        size_t count = 0;
        for (const auto& socket : recorder->accepted)
            count += socket->isConnected() ? 1 : 0;
        return count;
    };
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A first connection takes the same paths with descriptors to spare
        // (an injected shortage included): the sanitizers' type checks need
        // descriptors of their own the first time they meet a type.
        net::SocketTestHooks::failNextAccept(EMFILE);
        for (int i = 0; i < 20; ++i)
            loop.runOnce(core::RunLoop::DefaultMode, 0.02);
        loop.advance(0.1);
        for (int i = 0; i < 200 && connectedCount() < 1; ++i)
            loop.runOnce(core::RunLoop::DefaultMode, 0.01);
        int status = connectedCount() == 1 ? 0 : 16;

        rlimit limit {};
        getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = 64;
        setrlimit(RLIMIT_NOFILE, &limit);
        std::vector<int> filler;
        for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            filler.push_back(fd);
        if (filler.empty())
            status |= 8;
        (void)!write(ready[1], "r", 1);
        // The second peer connects now; trying to accept it is the only
        // work until descriptors free up.
        int busyPasses = 0;
        for (int i = 0; i < 20; ++i)
            busyPasses += loop.runOnce(core::RunLoop::DefaultMode, 0.02) ? 1 : 0;
        if (recorder->accepted.size() != 1)
            status |= 1;
        if (busyPasses > 2)
            status |= 2;
        for (int i = 0; i < 8 && !filler.empty(); ++i) {
            close(filler.back());
            filler.pop_back();
        }
        loop.advance(0.1);
        for (int i = 0; i < 200 && connectedCount() < 2; ++i)
            loop.runOnce(core::RunLoop::DefaultMode, 0.01);
        if (connectedCount() != 2)
            status |= 4;
        _exit(status);
    }
    close(ready[1]);
    auto first = std::make_unique<PeerSocket>(port);
    char byte = 0;
    EXPECT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    auto second = std::make_unique<PeerSocket>(port);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "1: accepted while out of descriptors, 2: spun, 4: never resumed, 8: no limit, 16: no first connection";
}

TEST_F(AsyncSocketTest, ConnectsOutToNumericAddresses)
{
    auto client = std::make_shared<RecordingDelegate>();
    auto socket = AsyncSocket::create(client);
    core::Error error;
    EXPECT_FALSE(socket->connectToHost("not-an-address", port, &error));
    EXPECT_EQ(error.domain(), "kCFStreamErrorDomainNetDB");
    ASSERT_TRUE(socket->connectToHost("127.0.0.1", port, &error)) << error.description();
    try {
        socket->connectToHost("127.0.0.1", port);
        ADD_FAILURE() << "connecting twice did not raise";
    } catch (const core::Exception& exception) {
        EXPECT_EQ(exception.reason(), "Attempting to connect while connected or accepting connections. Disconnect first.");
    }
    ASSERT_TRUE(pumpUntil([&] { return socket->isConnected() && !delegate->accepted.empty() && lastAccepted()->isConnected(); }));
    EXPECT_EQ(client->events, (std::vector<std::string> { "willConnect", fmt::format("connect 127.0.0.1 {}", port) }));
    socket->writeData(bytes("ping\r\n"), 5, 1);
    lastAccepted()->readDataToData(AsyncSocket::CRLFData(), 5, 2);
    ASSERT_TRUE(pumpUntil([&] { return !delegate->reads.empty(); }));
    EXPECT_EQ(delegate->reads[0].toString(), "ping\r\n");

    // A refused connection reports its error through will-disconnect.
    auto closedPort = AsyncSocket::create(client);
    test::RefusingPort refusing;
    listener->disconnect();
    ASSERT_TRUE(closedPort->connectToHost("127.0.0.1", refusing.port(), &error));
    ASSERT_TRUE(pumpUntil([&] { return client->didDisconnects == 1; }));
    EXPECT_EQ(client->disconnectErrors.back().code(), ECONNREFUSED);
}

} // namespace

namespace {

std::string patterned(size_t length)
{
    std::string text(length, '\0');
    for (size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return text;
}

} // namespace

TEST_F(AsyncSocketTest, WritesFileRangesInOrderWithTheOtherWrites)
{
    auto peer = connectPeer();
    auto socket = lastAccepted();
    const std::string contents = patterned(307200);
    const std::string path = makeFile("served.bin", contents);
    net::SocketTestHooks::setByteCap(4096);

    // The caller's descriptor may close at once: the queued write keeps its own.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    socket->writeData(bytes("head\r\n"), 30, 1);
    socket->writeFile(fd, 1000, 300000, 30, 2);
    socket->writeFile(fd, 0, 0, 30, 9); // nothing to send: ignored
    socket->writeData(bytes("tail"), 30, 3);
    ::close(fd);
    std::string received;
    ASSERT_TRUE(pumpUntil([&] {
        received = peer->receive();
        return delegate->writes.size() == 3 && received.size() == 6 + 300000 + 4;
    }));
    EXPECT_EQ(delegate->writes, (std::vector<long> { 1, 2, 3 }));
    EXPECT_TRUE(received == "head\r\n" + contents.substr(1000, 300000) + "tail");
    EXPECT_GT(delegate->partialWrites.size(), 50u);
    net::SocketTestHooks::setByteCap(0);

    // A file that ends before the promised length closes the socket (EIO)
    // rather than leaving the peer waiting for bytes that never come.
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    socket->writeFile(fd, 307000, 1000, 30, 4);
    ::close(fd);
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 1; }));
    EXPECT_TRUE(delegate->disconnectErrors.back().is(core::Error::POSIXDomain, EIO));
    EXPECT_EQ(delegate->writes.size(), 3u);

    // Runs of a megabyte and more go through a pipe of their own, which
    // holds bytes the full socket did not take until the next round.
    auto third = connectPeer();
    auto longRuns = lastAccepted();
    const std::string large = patterned(3 * 1024 * 1024 + 777);
    const std::string largePath = makeFile("large.bin", large);
    fd = ::open(largePath.c_str(), O_RDONLY | O_CLOEXEC);
    longRuns->writeFile(fd, 5, large.size() - 5, 30, 6);
    longRuns->writeData(bytes("|"), 30, 7);
    longRuns->writeFile(fd, 0, 2 * 1024 * 1024, 30, 8);
    ::close(fd);
    std::string arrived;
    ASSERT_TRUE(pumpUntil([&] {
        arrived = third->receive();
        return arrived.size() >= large.size() - 5 + 1 + 2 * 1024 * 1024;
    }));
    EXPECT_TRUE(arrived == large.substr(5) + "|" + large.substr(0, 2 * 1024 * 1024));
    fd = ::open(largePath.c_str(), O_RDONLY | O_CLOEXEC);
    longRuns->writeFile(fd, large.size() - 1000, 2 * 1024 * 1024, 30, 9);
    ::close(fd);
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 2; }));
    EXPECT_TRUE(delegate->disconnectErrors.back().is(core::Error::POSIXDomain, EIO));

    // A failing send closes with its errno.
    auto other = connectPeer();
    auto second = lastAccepted();
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    net::SocketTestHooks::failNextWrite(ENOBUFS);
    second->writeFile(fd, 0, 10, 30, 5);
    ::close(fd);
    ASSERT_TRUE(pumpUntil([&] { return delegate->didDisconnects == 3; }));
    EXPECT_TRUE(delegate->disconnectErrors.back().is(core::Error::POSIXDomain, ENOBUFS));
}

#pragma once

#include "HTTP/AsyncSocketDelegate.h"
#include "HTTP/AsyncSocketReader.h"
#include "HTTP/AsyncSocketWriter.h"
#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/SocketStream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace net {
class ListeningSocket;
}

// The server's run-loop socket: a listener that accepts TCP connections, or
// one accepted (or connected) connection with queues of read and write
// requests that complete through the delegate with the caller's tag. No
// call blocks; everything happens on the run loop of the thread that made
// the socket listen. Requests time out after their period without progress;
// errors close the socket.
//
// Work that follows a completion (the next request, a disconnect after
// writing, the did-disconnect callback) runs one pass later, so that a
// delegate may queue more work or let go of the socket from inside any
// callback. The delegate is held weakly.
//
// The socket owns its parts, which act on its stream and delegate: the
// reading side (AsyncSocketReader) and the writing side (AsyncSocketWriter).
// AsyncSocketTimeouts sweeps the live sockets for time-outs and
// AsyncSocketErrors makes their errors. The socket itself listens, accepts,
// connects, opens its stream, routes the stream's events and closes.
class AsyncSocket : public core::Object, private net::SocketStream::Client {
public:
    static constexpr const char* ErrorDomain = "AsyncSocketErrorDomain";
    static constexpr const char* ExceptionName = "AsyncSocketException";
    static constexpr const char* TimeoutNotification = "AsyncSocketTimeoutNotification";
    // The sweep that looks for expired requests.
    static constexpr double TimeoutSweepInterval = 5.0;

    enum ErrorCode : int64_t { CFSocketError = -1, NoError = 0, CanceledError = 1, ReadTimeoutError = 2, WriteTimeoutError = 3 };
    enum Flags : uint8_t {
        StreamsOpened = 0x01,   // streams open and the native socket known
        DidConnect = 0x02,      // an accept or connect succeeded: the delegate hears of the close
        ForbidReadsWrites = 0x04,
        DisconnectAfterWrites = 0x08,
    };

    static std::shared_ptr<AsyncSocket> create(std::weak_ptr<AsyncSocketDelegate> delegate = {}, long userData = 0);
    struct Private;
    AsyncSocket(const Private&, std::weak_ptr<AsyncSocketDelegate> delegate, long userData);
    ~AsyncSocket() override;

    std::shared_ptr<AsyncSocketDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<AsyncSocketDelegate> delegate) { m_delegate = std::move(delegate); }
    // True when no request is queued or being served.
    bool canSafelySetDelegate() const;
    long userData() const { return m_userData; }
    void setUserData(long userData) { m_userData = userData; }

    // The native descriptor (-1 without one) and the stream pair: one object
    // answers for both sides, as both share the descriptor (and TLS).
    int getCFSocket() const;
    std::shared_ptr<net::SocketStream> getCFReadStream() const { return m_stream; }
    std::shared_ptr<net::SocketStream> getCFWriteStream() const { return m_stream; }

    // Listens on the IPv4 wildcard address (or `address`) and `port`; port
    // 0 lets the system choose. Throws "AsyncSocketException" without a
    // delegate or when already listening or connected.
    bool acceptOnPort(uint16_t port, core::Error* error = nullptr);
    bool acceptOnAddress(std::string_view address, uint16_t port, core::Error* error = nullptr);
    // A listener that does not accept leaves new connections waiting in the
    // system's queue (its backlog), costing no descriptor.
    void setAcceptsConnections(bool accepts);
    // Connects to a numeric IPv4 address.
    bool connectToHost(std::string_view host, uint16_t port, core::Error* error = nullptr);
    // Hands a descriptor connected elsewhere (one end of a socket pair) to
    // the delegate as if this socket had accepted it, so that tests and fuzz
    // targets drive a connection exactly as one from the network, without a
    // port. The new socket owns the descriptor.
    void acceptConnectedDescriptorForTesting(int fd);

    // Reads whatever one stream read delivers (up to 2048 bytes).
    void readDataWithTimeout(double timeout, long tag);
    void readDataWithCustomChunkSize(size_t chunkSize, double timeout, long tag);
    // Reads up to and including the terminator; with `maxLength`, gives up
    // looking after that many bytes and delivers them.
    void readDataToData(const core::Data& term, double timeout, long tag);
    void readDataToData(const core::Data& term, double timeout, uint64_t maxLength, long tag);
    // Reads exactly `length` bytes.
    void readDataToLength(uint64_t length, double timeout, long tag);
    // Puts bytes back in front of the received ones, for the next read
    // (meant for a reader that took more than its message, such as a
    // request's body followed by a pipelined request).
    void unreadData(const core::Data& bytes);
    // Every read, the current one and those to come, fails `seconds` from
    // now (to the next time-out sweep) however its bytes trickle in; 0
    // lifts the deadline. A per-read time-out only bounds the silence
    // between arrivals.
    void setReadDeadline(double seconds);

    void writeData(const core::Data& data, double timeout, long tag);
    void writeData(const core::Data& data, size_t chunkSize, double timeout, long tag);
    // Writes bytes that the next write continues (a response head before
    // its body): a plain connection holds them back to leave in one packet
    // with what follows, if that follows at once.
    void writeHead(const core::Data& data, double timeout, long tag);

    // Writes `length` bytes of an open file from `offset`, completing like
    // writeData: on a plain connection straight from the file (sendfile, as
    // much as the socket takes each time it has room), under TLS through one
    // buffer of FileBufferSize bytes that the socket reuses. The descriptor
    // is duplicated (the caller may close its own), or with TakeDescriptor
    // kept and closed by the socket. A file that fails or ends before
    // `length` bytes closes the socket with the error (EIO for an early end).
    enum DescriptorUse { DuplicateDescriptor, TakeDescriptor };
    void writeFile(int fd, uint64_t offset, uint64_t length, double timeout, long tag,
        DescriptorUse use = DuplicateDescriptor);
    static constexpr size_t FileBufferSize = 131072;

    void disconnect();
    // Sends the peer the end of the stream (a plain socket's sending side
    // shuts; under TLS the close sends it) while reads go on.
    void shutdownWriting();
    // Takes no further requests and closes once the queued writes are done.
    void disconnectAfterWriting();

    bool isConnected() const;
    std::string localHost() const;
    uint16_t localPort() const;
    std::string connectedHost() const;
    uint16_t connectedPort() const;

    // The fraction done of the current request (NaN when there is none);
    // the total is 0 for reads of unknown length.
    double progressOfReadReturningTag(long* tag, uint64_t* bytesDone, uint64_t* total) const;
    double progressOfWriteReturningTag(long* tag, uint64_t* bytesDone, uint64_t* total) const;

    uint8_t flags() const { return m_flags; }
    std::string description() const override;

    static const core::Data& CRLFData();
    static const core::Data& CRLFCRLFData();

    // The socket layer's errors, in "AsyncSocketErrorDomain" with their
    // texts from the "AsyncSocket" string table.
    static core::Error errorWithCode(int64_t code);

private:
    friend class AsyncSocketReader;
    friend class AsyncSocketWriter;
    friend class AsyncSocketTimeouts;

    std::shared_ptr<AsyncSocket> self();

    void doAcceptWithSocket(int fd);
    bool attachStream(std::shared_ptr<net::SocketStream> stream, core::RunLoop& loop);
    bool configureAndOpen(core::Error* error);
    void streamEvent(net::SocketStream::Side side, net::SocketStream::Event event) override;
    void doStreamOpen();

    void maybeScheduleDisconnect();
    // Runs `step` on the next pass unless the socket went or closed first.
    void scheduleNextPass(const char* tag, void (*step)(AsyncSocket&));
    core::PerformKey performKey(const char* step) const;

    void closeWithError(const core::Error* error);
    void close(bool tellDelegate = true);
    core::Error streamError() const;
    core::RunLoop& runLoop() const;

    std::weak_ptr<AsyncSocketDelegate> m_delegate;
    long m_userData;
    uint8_t m_flags = 0;
    std::shared_ptr<net::ListeningSocket> m_listener;
    std::shared_ptr<net::SocketStream> m_stream;
    core::RunLoop* m_runLoop = nullptr;

    AsyncSocketReader m_reader { *this };
    AsyncSocketWriter m_writer { *this };

    // The live sockets, for the time-out sweep (AsyncSocketTimeouts).
    AsyncSocket* m_previousLive = nullptr;
    AsyncSocket* m_nextLive = nullptr;
};

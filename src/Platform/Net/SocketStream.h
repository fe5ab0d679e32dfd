#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

struct ssl_st;

namespace core {
class DescriptorSource;
class RunLoop;
} // namespace core

namespace net {

class FileSplicer;
class TlsServerContext;

// The read and write streams of one connected TCP socket, with TLS when a
// server context is set: a non-blocking pair on a run loop.
//
// Events reach the client from the run loop only, never from inside read()
// or write(): what such a call finds out (the end of the stream, an error)
// is reported on a later pass. The descriptor is watched for reading only
// while the client wants bytes, or while it is not known whether unread
// bytes wait (so that a peer's close is seen even with no read queued, once
// every byte before it was read); for writing only while the client has
// bytes to write, or while TLS needs either direction for its own records.
// A quiet connection thus costs the loop nothing. A plain socket whose peer
// shuts only its sending side ends its read side alone (EndEncountered for
// the read side, status AtEnd) and goes on writing; under TLS the end of the
// peer's stream ends both sides.
class SocketStream : public std::enable_shared_from_this<SocketStream> {
public:
    enum class Side { Read, Write };
    enum class Status { NotOpen, Opening, Open, Reading, Writing, AtEnd, Closed, Error };
    enum class Event { OpenCompleted, HasBytesAvailable, CanAcceptBytes, ErrorOccurred, EndEncountered };
    enum class ErrorDomain { None, POSIX, NetDB, SSL };
    struct Error {
        ErrorDomain domain = ErrorDomain::None;
        int64_t code = 0;
        explicit operator bool() const { return domain != ErrorDomain::None; }
    };
    // Who hears the events; held weakly.
    class Client {
    public:
        virtual ~Client() = default;
        virtual void streamEvent(Side side, Event event) = 0;
    };

    // Takes a connected descriptor (made non-blocking and close-on-exec); it
    // is closed with the stream.
    static std::shared_ptr<SocketStream> create(int fd);
    // Starts connecting to a numeric IPv4 address; open() completes once the
    // connection is made. Null, with the error, when it cannot start.
    static std::shared_ptr<SocketStream> connect(std::string_view host, uint16_t port, Error* error = nullptr);

    struct Private;
    SocketStream(const Private&, int fd);
    ~SocketStream();
    SocketStream(const SocketStream&) = delete;
    SocketStream& operator=(const SocketStream&) = delete;

    void setClient(std::weak_ptr<Client> client);
    // Makes this a TLS server stream; before open() only.
    bool setTLSServer(std::shared_ptr<TlsServerContext> context);
    bool isSecure() const { return m_tls != nullptr; }
    // The loop whose passes report events; the current one unless set.
    // Before open() only.
    void schedule(core::RunLoop& loop);
    // Opens both sides; OpenCompleted follows on a later pass (for TLS after
    // the handshake). False when the stream was opened or closed before.
    bool open();
    void close();
    // Shuts a plain socket's sending side (the peer reads the end of the
    // stream) and leaves reading open; under TLS it does nothing, the
    // close sends the session's end.
    void shutdownWrite();

    Status status(Side side) const { return side == Side::Read ? m_readStatus : m_writeStatus; }
    Error error() const { return m_error; }

    // Moves received bytes into `buffer`: the count, 0 when none wait now
    // (or the stream is at its end), -1 on an error.
    ssize_t read(void* buffer, size_t length);
    // Sends bytes: the count taken (0 when the socket takes none now), -1 on
    // an error. `moreFollows` lets a plain socket hold a short piece (a
    // response head) back to share a packet with what is written next.
    ssize_t write(const void* bytes, size_t length, bool moreFollows = false);
    // Sends up to `length` bytes of an open file from `offset` without
    // passing them through memory (sendfile(2)); plain streams only. A file
    // that ends before `length` is an error (EIO), as is any failure of the
    // file itself.
    ssize_t sendFile(int fileDescriptor, uint64_t offset, size_t length);
    // Whether a read may give bytes (it may still give none).
    bool hasBytesAvailable() const;
    // Whether a write may take bytes.
    bool canAcceptBytes() const;
    // On a plain socket, the loop reports bytes only once this many wait
    // (or the peer ends its stream, or the receive window is full), so a
    // reader that needs many bytes wakes for large batches instead of each
    // arrival; 1, the default, reports every arrival. TLS streams keep 1
    // (records decide what can be read). The call is skipped when the
    // mark is already set.
    void setReadLowWater(size_t bytes);
    size_t readLowWater() const { return m_readLowWater; }
    // Bytes the kernel holds unread on a plain socket (0 under TLS).
    size_t queuedBytes() const;
    // The client's interest: bytes wanted (a read is being served), room
    // wanted (a write is being served).
    void setWantsBytes(bool wants);
    void setWantsSpace(bool wants);

    int fd() const { return m_fd; }
    // Numeric addresses ("127.0.0.1", "::1") and ports in host order; empty
    // and 0 when the socket has none.
    std::string localHost() const;
    uint16_t localPort() const;
    std::string peerHost() const;
    uint16_t peerPort() const;

    // The SSL layer reads and writes the socket through these.
    struct Io;

private:
    enum class State { Idle, Connecting, Handshaking, Open, Ended };

    void onReady(unsigned events);
    void continueHandshake();
    void finishOpen();
    // Looks at the socket without taking bytes: unread bytes wait, nothing
    // does, the peer closed, or the socket failed.
    void probe();
    void fail(Side side, ErrorDomain domain, int64_t code);
    void reachEnd();
    void deliverSoon(Side side, Event event);
    void deliverPending();
    void updateInterest();
    ssize_t readTLS(void* buffer, size_t length);
    ssize_t writeTLS(const void* bytes, size_t length);
    // Holds back part-filled segments (TCP_CORK) for a long file run.
    void setCorked(bool corked);
    static constexpr size_t CorkedFileLength = 64 * 1024;
    static constexpr size_t SplicedFileLength = 1024 * 1024;
    // A send on a plain socket: the tests' injected errno first, then the
    // call with the capped length, retried when interrupted.
    ssize_t sendPlain(size_t length, const std::function<ssize_t(size_t length)>& send);
    bool tlsHasPending() const;

    int m_fd;
    State m_state = State::Idle;
    Status m_readStatus = Status::NotOpen;
    Status m_writeStatus = Status::NotOpen;
    Error m_error;
    std::weak_ptr<Client> m_client;
    core::RunLoop* m_loop = nullptr;
    std::shared_ptr<core::DescriptorSource> m_source;
    std::shared_ptr<TlsServerContext> m_tls;
    ssl_st* m_ssl = nullptr;

    // What is known of the socket: unread bytes may wait (a read has not yet
    // come back empty), room may be left (a write has not yet been refused).
    bool m_readable = false;
    bool m_writable = false;
    bool m_wantsBytes = false;
    bool m_wantsSpace = false;
    size_t m_readLowWater = 1;
    // TLS records the other direction has to move first.
    bool m_readNeedsWritable = false;
    bool m_writeNeedsReadable = false;
    unsigned m_handshakeInterest = 0;
    // The socket said end of stream, or failed with this errno, under TLS.
    bool m_sawEndOfStream = false;
    int m_socketErrno = 0;

    std::vector<std::pair<Side, Event>> m_pending;
    bool m_deliveryScheduled = false;
    // The pipe of the long file run being sent, if any.
    std::unique_ptr<FileSplicer> m_splicer;
};

} // namespace net

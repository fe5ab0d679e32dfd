#include "Platform/Net/SocketStream.h"

#include "Platform/Core/DescriptorSource.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/FileSplicer.h"
#include "Platform/Net/SocketTestHooks.h"
#include "Platform/Net/TlsServerContext.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <linux/sockios.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

namespace {

using Source = core::DescriptorSource;

bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// Writes to a peer that has gone must be errors, not a signal that ends
// the process (sends use MSG_NOSIGNAL as well).
void ignoreBrokenPipes()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

std::string numericHost(const sockaddr_storage& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof text);
    else if (address.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text, sizeof text);
    return text;
}

uint16_t portOf(const sockaddr_storage& address)
{
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return 0;
}

template<typename Get> sockaddr_storage addressOf(int fd, Get get)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    if (fd < 0 || get(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        address.ss_family = AF_UNSPEC;
    return address;
}

} // namespace

// OpenSSL moves the socket's bytes through this BIO rather than its own, so
// that sends never raise SIGPIPE, the tests' byte cap and errors apply to TLS
// too, and an end of stream or socket error during a handshake is known
// exactly.
struct SocketStream::Io {
    static BIO_METHOD* method()
    {
        static BIO_METHOD* method = [] {
            BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tandry socket");
            BIO_meth_set_read(made, read);
            BIO_meth_set_write(made, write);
            BIO_meth_set_ctrl(made, control);
            BIO_meth_set_create(made, [](BIO* bio) {
                BIO_set_init(bio, 1);
                return 1;
            });
            return made;
        }();
        return method;
    }

    static int read(BIO* bio, char* buffer, int length)
    {
        auto* stream = static_cast<SocketStream*>(BIO_get_data(bio));
        BIO_clear_retry_flags(bio);
        if (length <= 0)
            return 0;
        const int injected = SocketTestHooks::takeReadError();
        ssize_t count = -1;
        if (injected)
            errno = injected;
        else
            count = ::recv(stream->m_fd, buffer, SocketTestHooks::capped(static_cast<size_t>(length)), 0);
        if (count > 0)
            return static_cast<int>(count);
        if (count == 0) {
            stream->m_sawEndOfStream = true;
            return 0;
        }
        if (wouldBlock(errno)) {
            BIO_set_retry_read(bio);
            return -1;
        }
        stream->m_socketErrno = errno;
        return -1;
    }

    static int write(BIO* bio, const char* bytes, int length)
    {
        auto* stream = static_cast<SocketStream*>(BIO_get_data(bio));
        BIO_clear_retry_flags(bio);
        if (length <= 0)
            return 0;
        const int injected = SocketTestHooks::takeWriteError();
        ssize_t count = -1;
        if (injected)
            errno = injected;
        else
            count = ::send(stream->m_fd, bytes, SocketTestHooks::capped(static_cast<size_t>(length)), MSG_NOSIGNAL);
        if (count >= 0)
            return static_cast<int>(count);
        if (wouldBlock(errno)) {
            BIO_set_retry_write(bio);
            return -1;
        }
        stream->m_socketErrno = errno;
        return -1;
    }

    static long control(BIO* bio, int command, long, void*)
    {
        if (command == BIO_CTRL_FLUSH)
            return 1;
        if (command == BIO_CTRL_EOF)
            return static_cast<SocketStream*>(BIO_get_data(bio))->m_sawEndOfStream ? 1 : 0;
        return 0;
    }
};

struct SocketStream::Private { };

SocketStream::SocketStream(const Private&, int fd)
    : m_fd(fd)
{
    ignoreBrokenPipes();
}

std::shared_ptr<SocketStream> SocketStream::create(int fd)
{
    if (fd < 0)
        return nullptr;
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    return std::make_shared<SocketStream>(Private(), fd);
}

std::shared_ptr<SocketStream> SocketStream::connect(std::string_view host, uint16_t port, Error* error)
{
    const auto refuse = [error](ErrorDomain domain, int64_t code) -> std::shared_ptr<SocketStream> {
        if (error)
            *error = Error { domain, code };
        return nullptr;
    };
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    const std::string text(host);
    if (inet_pton(AF_INET, text.c_str(), &address.sin_addr) != 1)
        return refuse(ErrorDomain::NetDB, EAI_NONAME);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return refuse(ErrorDomain::POSIX, errno);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        const int code = errno;
        ::close(fd);
        return refuse(ErrorDomain::POSIX, code);
    }
    auto stream = std::make_shared<SocketStream>(Private(), fd);
    stream->m_state = State::Connecting;
    return stream;
}

SocketStream::~SocketStream()
{
    close();
}

void SocketStream::setClient(std::weak_ptr<Client> client)
{
    m_client = std::move(client);
}

bool SocketStream::setTLSServer(std::shared_ptr<TlsServerContext> context)
{
    if (m_readStatus != Status::NotOpen || !context)
        return false;
    m_tls = std::move(context);
    return true;
}

void SocketStream::schedule(core::RunLoop& loop)
{
    if (m_readStatus == Status::NotOpen)
        m_loop = &loop;
}

bool SocketStream::open()
{
    if (m_readStatus != Status::NotOpen || m_fd < 0)
        return false;
    if (!m_loop)
        m_loop = &core::RunLoop::current();
    std::weak_ptr<SocketStream> weak = shared_from_this();
    m_source = m_loop->addSource(m_fd, 0, [weak](Source&, unsigned events) {
        if (auto stream = weak.lock())
            stream->onReady(events);
    });
    m_readStatus = m_writeStatus = Status::Opening;
    if (m_state == State::Connecting) {
        updateInterest();
        return true;
    }
    if (m_tls) {
        m_ssl = SSL_new(m_tls->native());
        BIO* bio = m_ssl ? BIO_new(Io::method()) : nullptr;
        if (!bio) {
            fail(Side::Read, ErrorDomain::SSL, TlsServerContext::ProtocolError);
            return true;
        }
        BIO_set_data(bio, this);
        SSL_set_bio(m_ssl, bio, bio);
        SSL_set_accept_state(m_ssl);
        m_state = State::Handshaking;
        // The client speaks first.
        m_handshakeInterest = Source::Read;
        updateInterest();
        return true;
    }
    finishOpen();
    return true;
}

void SocketStream::finishOpen()
{
    m_state = State::Open;
    m_readStatus = m_writeStatus = Status::Open;
    m_writable = true;
    m_readable = false;
    deliverSoon(Side::Read, Event::OpenCompleted);
    deliverSoon(Side::Write, Event::OpenCompleted);
    // Application data may have come with the end of the handshake.
    if (m_ssl)
        probe();
    updateInterest();
}

void SocketStream::continueHandshake()
{
    ERR_clear_error();
    m_socketErrno = 0;
    const int result = SSL_accept(m_ssl);
    if (result == 1) {
        finishOpen();
        return;
    }
    const int reason = SSL_get_error(m_ssl, result);
    if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) {
        m_handshakeInterest = reason == SSL_ERROR_WANT_READ ? Source::Read : Source::Write;
        updateInterest();
        return;
    }
    // A peer that leaves in the middle aborts the handshake; anything else
    // (plain HTTP on the TLS port, a bad record) breaks the protocol.
    const bool aborted = m_sawEndOfStream || reason == SSL_ERROR_ZERO_RETURN || m_socketErrno == ECONNRESET
        || m_socketErrno == EPIPE;
    ERR_clear_error();
    fail(Side::Read, ErrorDomain::SSL, aborted ? TlsServerContext::ClosedAbortError : TlsServerContext::ProtocolError);
}

void SocketStream::onReady(unsigned events)
{
    auto self = shared_from_this();
    const auto tell = [this](Side side, Event event) {
        if (auto client = m_client.lock())
            client->streamEvent(side, event);
    };
    switch (m_state) {
    case State::Connecting: {
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error)
            fail(Side::Write, ErrorDomain::POSIX, error);
        else if (events & (Source::Write | Source::HangUp | Source::Error))
            finishOpen();
        break;
    }
    case State::Handshaking:
        continueHandshake();
        break;
    case State::Open:
        if (events & Source::Error) {
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error) {
                fail(Side::Read, ErrorDomain::POSIX, error);
                break;
            }
        }
        if ((events & (Source::Read | Source::HangUp | Source::Error)) && m_readStatus == Status::Open) {
            if (m_writeNeedsReadable) {
                m_writeNeedsReadable = false;
                m_writable = true;
                if (m_wantsSpace)
                    tell(Side::Write, Event::CanAcceptBytes);
            }
            if (m_state != State::Open)
                break;
            if (m_wantsBytes && !m_readNeedsWritable) {
                m_readable = true;
                tell(Side::Read, Event::HasBytesAvailable);
            } else if (!m_readable && !m_readNeedsWritable) {
                probe();
            }
        }
        if (m_state != State::Open)
            break;
        // A hang-up with a write waiting: the write will say what happened.
        if ((events & Source::Write) || ((events & (Source::HangUp | Source::Error)) && m_wantsSpace)) {
            if (m_readNeedsWritable) {
                m_readNeedsWritable = false;
                m_readable = true;
                if (m_wantsBytes)
                    tell(Side::Read, Event::HasBytesAvailable);
            }
            if (m_state == State::Open && !m_writeNeedsReadable) {
                m_writable = true;
                if (m_wantsSpace)
                    tell(Side::Write, Event::CanAcceptBytes);
            }
        }
        break;
    case State::Idle:
    case State::Ended:
        break;
    }
    updateInterest();
}

void SocketStream::probe()
{
    if (m_ssl) {
        if (SSL_pending(m_ssl) > 0) {
            m_readable = true;
            return;
        }
        ERR_clear_error();
        m_socketErrno = 0;
        char byte;
        const int count = SSL_peek(m_ssl, &byte, 1);
        if (count > 0) {
            m_readable = true;
            return;
        }
        switch (SSL_get_error(m_ssl, count)) {
        case SSL_ERROR_WANT_READ:
            m_readable = false;
            return;
        case SSL_ERROR_WANT_WRITE:
            m_readable = false;
            m_readNeedsWritable = true;
            return;
        case SSL_ERROR_ZERO_RETURN:
            reachEnd();
            return;
        case SSL_ERROR_SYSCALL:
            if (m_socketErrno)
                fail(Side::Read, ErrorDomain::POSIX, m_socketErrno);
            else
                reachEnd();
            return;
        default:
            ERR_clear_error();
            fail(Side::Read, ErrorDomain::SSL, TlsServerContext::ProtocolError);
            return;
        }
    }
    char byte;
    const ssize_t count = ::recv(m_fd, &byte, 1, MSG_PEEK);
    if (count > 0)
        m_readable = true;
    else if (count == 0)
        reachEnd();
    else if (wouldBlock(errno))
        m_readable = false;
    else
        fail(Side::Read, ErrorDomain::POSIX, errno);
}

void SocketStream::fail(Side side, ErrorDomain domain, int64_t code)
{
    if (m_state == State::Ended || m_readStatus == Status::Closed)
        return;
    m_error = Error { domain, code };
    m_state = State::Ended;
    m_readStatus = m_writeStatus = Status::Error;
    m_readable = m_writable = false;
    deliverSoon(side, Event::ErrorOccurred);
    updateInterest();
}

void SocketStream::reachEnd()
{
    if (m_state == State::Ended || m_readStatus == Status::Closed || m_readStatus == Status::AtEnd)
        return;
    // A plain socket's peer may have shut only its sending side and still
    // wait for an answer: the write side stays open. TLS ends as a whole.
    if (m_ssl)
        m_state = State::Ended;
    m_readStatus = Status::AtEnd;
    m_readable = false;
    deliverSoon(Side::Read, Event::EndEncountered);
    updateInterest();
}

void SocketStream::deliverSoon(Side side, Event event)
{
    m_pending.emplace_back(side, event);
    if (m_deliveryScheduled || !m_loop)
        return;
    m_deliveryScheduled = true;
    std::weak_ptr<SocketStream> weak = shared_from_this();
    m_loop->performAfter(0, [weak] {
        if (auto stream = weak.lock())
            stream->deliverPending();
    });
}

void SocketStream::deliverPending()
{
    m_deliveryScheduled = false;
    auto pending = std::move(m_pending);
    m_pending = {};
    for (const auto& [side, event] : pending) {
        if (m_readStatus == Status::Closed)
            return;
        if (auto client = m_client.lock())
            client->streamEvent(side, event);
    }
}

void SocketStream::updateInterest()
{
    if (!m_source)
        return;
    unsigned interest = 0;
    switch (m_state) {
    case State::Connecting:
        interest = Source::Write;
        break;
    case State::Handshaking:
        interest = m_handshakeInterest;
        break;
    case State::Open:
        // Room is watched for only once a write found none: a writable
        // socket takes writes at once, and watching it would cost two
        // interest changes per answer.
        if (m_readNeedsWritable || (m_wantsSpace && !m_writable && !m_writeNeedsReadable))
            interest |= Source::Write;
        if (m_readStatus == Status::Open
            && (m_writeNeedsReadable || (!m_readNeedsWritable && (m_wantsBytes || !m_readable))))
            interest |= Source::Read;
        break;
    case State::Idle:
    case State::Ended:
        break;
    }
    m_source->setInterest(interest);
}

ssize_t SocketStream::read(void* buffer, size_t length)
{
    if (m_state != State::Open || m_readStatus != Status::Open)
        return m_readStatus == Status::Error ? -1 : 0;
    if (length == 0)
        return 0;
    if (m_ssl)
        return readTLS(buffer, length);
    for (;;) {
        const int injected = SocketTestHooks::takeReadError();
        ssize_t count = -1;
        if (injected)
            errno = injected;
        else
            count = ::recv(m_fd, buffer, SocketTestHooks::capped(length), 0);
        if (count > 0) {
            // Less than asked for: the socket holds nothing more now (the
            // loop says when it does), which spares a read that would find
            // nothing.
            if (static_cast<size_t>(count) < length) {
                m_readable = false;
                updateInterest();
            }
            return count;
        }
        if (count == 0) {
            reachEnd();
            return 0;
        }
        if (errno == EINTR)
            continue;
        if (wouldBlock(errno)) {
            m_readable = false;
            updateInterest();
            return 0;
        }
        fail(Side::Read, ErrorDomain::POSIX, errno);
        return -1;
    }
}

ssize_t SocketStream::readTLS(void* buffer, size_t length)
{
    ERR_clear_error();
    m_socketErrno = 0;
    const int count = SSL_read(m_ssl, buffer, static_cast<int>(std::min<size_t>(length, INT_MAX)));
    if (count > 0)
        return count;
    switch (SSL_get_error(m_ssl, count)) {
    case SSL_ERROR_WANT_READ:
        m_readable = false;
        updateInterest();
        return 0;
    case SSL_ERROR_WANT_WRITE:
        m_readable = false;
        m_readNeedsWritable = true;
        updateInterest();
        return 0;
    case SSL_ERROR_ZERO_RETURN:
        // A close_notify, or (as the context asks) a close without one.
        reachEnd();
        return 0;
    case SSL_ERROR_SYSCALL:
        if (!m_socketErrno) {
            reachEnd();
            return 0;
        }
        fail(Side::Read, ErrorDomain::POSIX, m_socketErrno);
        return -1;
    default:
        ERR_clear_error();
        fail(Side::Read, ErrorDomain::SSL, TlsServerContext::ProtocolError);
        return -1;
    }
}

ssize_t SocketStream::write(const void* bytes, size_t length, bool moreFollows)
{
    if (m_state != State::Open || m_writeStatus != Status::Open)
        return m_writeStatus == Status::Error ? -1 : 0;
    if (length == 0)
        return 0;
    if (m_ssl)
        return writeTLS(bytes, length);
    const int flags = MSG_NOSIGNAL | (moreFollows ? MSG_MORE : 0);
    return sendPlain(length, [&](size_t count) { return ::send(m_fd, bytes, count, flags); });
}

ssize_t SocketStream::sendPlain(size_t length, const std::function<ssize_t(size_t length)>& send)
{
    for (;;) {
        const int injected = SocketTestHooks::takeWriteError();
        ssize_t count = -1;
        if (injected)
            errno = injected;
        else
            count = send(SocketTestHooks::capped(length));
        if (count >= 0) {
            // Less than offered: the socket is full (the loop says when it
            // has room), which spares a send that would take nothing.
            if (static_cast<size_t>(count) < length) {
                m_writable = false;
                updateInterest();
            }
            return count;
        }
        if (errno == EINTR)
            continue;
        if (wouldBlock(errno)) {
            m_writable = false;
            updateInterest();
            return 0;
        }
        fail(Side::Write, ErrorDomain::POSIX, errno);
        return -1;
    }
}

ssize_t SocketStream::sendFile(int fileDescriptor, uint64_t offset, size_t length)
{
    if (m_state != State::Open || m_writeStatus != Status::Open)
        return m_writeStatus == Status::Error ? -1 : 0;
    if (length == 0)
        return 0;
    if (m_ssl || offset > static_cast<uint64_t>(INT64_MAX)) {
        fail(Side::Write, ErrorDomain::POSIX, EINVAL);
        return -1;
    }
    // A long run of the file leaves in full segments only: without the
    // cork the socket (TCP_NODELAY) also sends a short one at every
    // boundary of the kernel's copying, and a 256 MiB answer on loopback
    // takes nearly twice the segments and a third longer. Lifting the cork
    // after the call sends the run's last, part-filled segment at once.
    const bool corked = length >= CorkedFileLength;
    if (corked)
        setCorked(true);
    // A run of a megabyte or more goes through a pipe of the stream's own
    // until its last byte has left (FileSplicer.h).
    if (!m_splicer && length >= SplicedFileLength) {
        m_splicer = std::make_unique<FileSplicer>();
        if (!m_splicer->open())
            m_splicer.reset();
    }
    ssize_t result;
    if (m_splicer) {
        result = sendPlain(length, [&](size_t count) { return m_splicer->send(m_fd, fileDescriptor, offset, count); });
        if (result < 0 || (static_cast<size_t>(result) == length && m_splicer->isEmpty()))
            m_splicer.reset();
    } else {
        result = sendPlain(length, [&](size_t count) {
            off_t position = static_cast<off_t>(offset);
            const ssize_t sent = ::sendfile(m_fd, fileDescriptor, &position, count);
            if (sent == 0)
                errno = EIO; // the file ended before the bytes asked for
            return sent == 0 ? -1 : sent;
        });
    }
    if (corked)
        setCorked(false);
    return result;
}

void SocketStream::setCorked(bool corked)
{
    const int value = corked ? 1 : 0;
    setsockopt(m_fd, IPPROTO_TCP, TCP_CORK, &value, sizeof value);
}

ssize_t SocketStream::writeTLS(const void* bytes, size_t length)
{
    ERR_clear_error();
    m_socketErrno = 0;
    const int count = SSL_write(m_ssl, bytes, static_cast<int>(std::min<size_t>(length, INT_MAX)));
    if (count > 0)
        return count;
    switch (SSL_get_error(m_ssl, count)) {
    case SSL_ERROR_WANT_WRITE:
        m_writable = false;
        updateInterest();
        return 0;
    case SSL_ERROR_WANT_READ:
        m_writable = false;
        m_writeNeedsReadable = true;
        updateInterest();
        return 0;
    case SSL_ERROR_SYSCALL:
        fail(Side::Write, ErrorDomain::POSIX, m_socketErrno ? m_socketErrno : EPIPE);
        return -1;
    default:
        ERR_clear_error();
        fail(Side::Write, ErrorDomain::SSL, TlsServerContext::ProtocolError);
        return -1;
    }
}

bool SocketStream::tlsHasPending() const
{
    return m_ssl && SSL_pending(m_ssl) > 0;
}

bool SocketStream::hasBytesAvailable() const
{
    return m_state == State::Open && m_readStatus == Status::Open && (m_readable || tlsHasPending());
}

void SocketStream::setReadLowWater(size_t bytes)
{
    bytes = std::clamp<size_t>(bytes, 1, INT_MAX);
    if (bytes == m_readLowWater || m_tls || m_fd < 0)
        return;
    const int value = static_cast<int>(bytes);
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVLOWAT, &value, sizeof value) == 0)
        m_readLowWater = bytes;
}

size_t SocketStream::queuedBytes() const
{
    int count = 0;
    if (m_tls || m_fd < 0 || ::ioctl(m_fd, SIOCINQ, &count) != 0 || count < 0)
        return 0;
    return static_cast<size_t>(count);
}

bool SocketStream::canAcceptBytes() const
{
    return m_state == State::Open && m_writeStatus == Status::Open && m_writable;
}

void SocketStream::setWantsBytes(bool wants)
{
    if (wants == m_wantsBytes)
        return;
    m_wantsBytes = wants;
    if (m_state != State::Open)
        return;
    if (!wants && m_readable && !m_readNeedsWritable) {
        // Whether bytes still wait decides whether the socket is watched for
        // the peer's close while nobody reads.
        probe();
    } else if (wants && tlsHasPending()) {
        // Decrypted bytes wait inside TLS; the descriptor will not say so.
        deliverSoon(Side::Read, Event::HasBytesAvailable);
    }
    updateInterest();
}

void SocketStream::setWantsSpace(bool wants)
{
    if (wants == m_wantsSpace)
        return;
    m_wantsSpace = wants;
    updateInterest();
}

void SocketStream::close()
{
    if (m_readStatus == Status::Closed && m_fd < 0)
        return;
    if (m_source && m_loop && !m_loop->isCurrent()) {
        // Let go of on another thread: the loop's own thread stops watching
        // the descriptor before it closes. No TLS goodbye from here.
        if (m_ssl)
            SSL_free(m_ssl);
        m_ssl = nullptr;
        m_loop->post([source = std::move(m_source), fd = m_fd] {
            source->remove();
            if (fd >= 0)
                ::close(fd);
        });
        m_fd = -1;
    }
    if (m_source) {
        m_source->remove();
        m_source.reset();
    }
    if (m_ssl) {
        // A close_notify on the way out when the session is sound; no wait
        // for the peer's.
        if (!m_error && (m_state == State::Open || (m_state == State::Ended && m_readStatus == Status::AtEnd))) {
            ERR_clear_error();
            SSL_shutdown(m_ssl);
        }
        ERR_clear_error();
        SSL_free(m_ssl);
        m_ssl = nullptr;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_splicer.reset();
    m_state = State::Ended;
    m_readStatus = m_writeStatus = Status::Closed;
    m_pending.clear();
    m_client.reset();
}

void SocketStream::shutdownWrite()
{
    if (!m_tls && m_fd >= 0)
        ::shutdown(m_fd, SHUT_WR);
}

std::string SocketStream::localHost() const
{
    return numericHost(addressOf(m_fd, ::getsockname));
}

uint16_t SocketStream::localPort() const
{
    return portOf(addressOf(m_fd, ::getsockname));
}

std::string SocketStream::peerHost() const
{
    return numericHost(addressOf(m_fd, ::getpeername));
}

uint16_t SocketStream::peerPort() const
{
    return portOf(addressOf(m_fd, ::getpeername));
}

} // namespace net

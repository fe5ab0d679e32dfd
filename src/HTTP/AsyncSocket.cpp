#include "HTTP/AsyncSocket.h"

#include "HTTP/AsyncSocketErrors.h"
#include "HTTP/AsyncSocketTimeouts.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/ListeningSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <limits>
#include <mutex>
#include <netdb.h>
#include <unistd.h>
#include <utility>

namespace {

using Stream = net::SocketStream;

constexpr const char* DisconnectStep = "disconnect";
constexpr const char* DidDisconnectStep = "onSocketDidDisconnect";

// What the deferred steps are keyed by: a pointer unique to the socket that
// keeps nothing alive (the steps hold the socket weakly).
const std::shared_ptr<const void>& performAnchor()
{
    static const std::shared_ptr<const void> anchor = std::make_shared<int>(0);
    return anchor;
}


const char* statusName(Stream::Status status)
{
    switch (status) {
    case Stream::Status::NotOpen: return "not open";
    case Stream::Status::Opening: return "opening";
    case Stream::Status::Open: return "open";
    case Stream::Status::Reading: return "reading";
    case Stream::Status::Writing: return "writing";
    case Stream::Status::AtEnd: return "at end";
    case Stream::Status::Closed: return "closed";
    case Stream::Status::Error: return "has error";
    }
    return "unknown";
}

bool countsAsConnected(Stream::Status status, Stream::Status busy)
{
    return status == Stream::Status::Open || status == busy || status == Stream::Status::Error;
}

} // namespace

core::Error AsyncSocket::errorWithCode(int64_t code)
{
    return AsyncSocketErrors::withCode(code);
}

struct AsyncSocket::Private { };

std::shared_ptr<AsyncSocket> AsyncSocket::create(std::weak_ptr<AsyncSocketDelegate> delegate, long userData)
{
    // One timer and one observer sweep all sockets for time-outs.
    AsyncSocketTimeouts::startSweeping();
    return std::make_shared<AsyncSocket>(Private(), std::move(delegate), userData);
}

AsyncSocket::AsyncSocket(const Private&, std::weak_ptr<AsyncSocketDelegate> delegate, long userData)
    : m_delegate(std::move(delegate))
    , m_userData(userData)
{
    AsyncSocketTimeouts::enter(*this);
}

AsyncSocket::~AsyncSocket()
{
    AsyncSocketTimeouts::leave(*this);
    close(false);
    m_delegate.reset();
}

core::PerformKey AsyncSocket::performKey(const char* step) const
{
    return core::PerformKey { std::shared_ptr<const void>(performAnchor(), this), step, {} };
}

std::shared_ptr<AsyncSocket> AsyncSocket::self()
{
    return std::static_pointer_cast<AsyncSocket>(shared_from_this());
}

core::RunLoop& AsyncSocket::runLoop() const
{
    return m_runLoop ? *m_runLoop : core::RunLoop::current();
}

bool AsyncSocket::canSafelySetDelegate() const
{
    return m_reader.isIdle() && m_writer.isIdle();
}

int AsyncSocket::getCFSocket() const
{
    if (m_listener)
        return m_listener->fd();
    return m_stream && (m_flags & StreamsOpened) ? m_stream->fd() : -1;
}

// Listening

bool AsyncSocket::acceptOnPort(uint16_t port, core::Error* error)
{
    return acceptOnAddress({}, port, error);
}

bool AsyncSocket::acceptOnAddress(std::string_view address, uint16_t port, core::Error* error)
{
    if (!m_delegate.lock())
        throw core::Exception(ExceptionName, "Attempting to accept without a delegate. Set a delegate first.");
    if (m_listener || m_stream)
        throw core::Exception(ExceptionName,
            "Attempting to accept while connected or accepting connections. Disconnect first.");

    sockaddr_in ipv4 {};
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(port);
    ipv4.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!address.empty()) {
        static std::mutex resolverMutex;
        std::lock_guard lock(resolverMutex);
        addrinfo hints {};
        hints.ai_flags = AI_PASSIVE;
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const std::string host(address);
        const int failure = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
        if (failure != 0) {
            core::setError(error, AsyncSocketErrors::fromResolver(failure));
            return false;
        }
        bool usable = false;
        for (addrinfo* each = found; each && !usable; each = each->ai_next) {
            if (each->ai_family == AF_INET) {
                ipv4 = *reinterpret_cast<const sockaddr_in*>(each->ai_addr);
                usable = true;
            }
        }
        freeaddrinfo(found);
        if (!usable) {
            core::setError(error, errorWithCode(CFSocketError));
            return false;
        }
    }

    std::weak_ptr<AsyncSocket> weak = self();
    auto listener = net::ListeningSocket::create([weak](int fd) {
        if (auto socket = weak.lock())
            socket->doAcceptWithSocket(fd);
        else
            ::close(fd);
    });
    core::Error failure;
    if (!listener->listen(ipv4, &failure)) {
        core::Error socketError = errorWithCode(CFSocketError);
        socketError.setUnderlyingError(failure);
        core::setError(error, socketError);
        m_flags = 0;
        return false;
    }
    m_listener = std::move(listener);
    m_runLoop = &core::RunLoop::current();
    m_flags |= DidConnect;
    return true;
}

void AsyncSocket::setAcceptsConnections(bool accepts)
{
    if (m_listener)
        m_listener->setAccepting(accepts);
}

void AsyncSocket::acceptConnectedDescriptorForTesting(int fd)
{
    doAcceptWithSocket(fd);
}

void AsyncSocket::doAcceptWithSocket(int fd)
{
    auto keep = self();
    auto delegate = m_delegate.lock();
    auto newSocket = create(m_delegate);
    if (delegate)
        delegate->onSocketDidAcceptNewSocket(*this, newSocket);
    core::RunLoop* loop = delegate ? delegate->onSocketWantsRunLoopForNewSocket(*this, newSocket) : nullptr;
    // Handed to the delegate: from here on its owner hears of its end,
    // whether or not it ever connects.
    newSocket->m_flags |= DidConnect;
    auto stream = Stream::create(fd);
    if (!stream) {
        core::log("AsyncSocket {} couldn't create streams from accepted socket, {}", static_cast<const void*>(this),
            core::Error::posix(EBADF).description());
        ::close(fd);
        auto error = errorWithCode(CFSocketError);
        newSocket->closeWithError(&error);
        return;
    }
    newSocket->attachStream(std::move(stream), loop ? *loop : core::RunLoop::current());
    core::Error error;
    if (!newSocket->configureAndOpen(&error))
        newSocket->closeWithError(&error);
}

bool AsyncSocket::connectToHost(std::string_view host, uint16_t port, core::Error* error)
{
    if (!m_delegate.lock())
        throw core::Exception(ExceptionName, "Attempting to connect without a delegate. Set a delegate first.");
    if (m_listener || m_stream)
        throw core::Exception(ExceptionName,
            "Attempting to connect while connected or accepting connections. Disconnect first.");
    Stream::Error failure;
    auto stream = Stream::connect(host, port, &failure);
    if (!stream) {
        if (failure.domain == Stream::ErrorDomain::NetDB)
            core::setError(error, AsyncSocketErrors::fromResolver(failure.code));
        else
            core::setError(error, core::Error::posix(static_cast<int>(failure.code)));
        return false;
    }
    attachStream(std::move(stream), core::RunLoop::current());
    if (!configureAndOpen(error)) {
        close();
        return false;
    }
    m_flags |= DidConnect;
    return true;
}

bool AsyncSocket::attachStream(std::shared_ptr<Stream> stream, core::RunLoop& loop)
{
    m_stream = std::move(stream);
    m_runLoop = &loop;
    m_stream->schedule(loop);
    net::SocketStream::Client* client = this;
    m_stream->setClient(std::shared_ptr<net::SocketStream::Client>(self(), client));
    return true;
}

bool AsyncSocket::configureAndOpen(core::Error* error)
{
    auto keep = self();
    // Asked of the delegate installed by now: the listener's delegate may
    // have handed the socket to an owner of its own.
    if (auto delegate = m_delegate.lock(); delegate && !delegate->onSocketWillConnect(*this)) {
        core::setError(error, errorWithCode(CanceledError));
        return false;
    }
    if (!m_stream || !m_stream->open()) {
        core::log("AsyncSocket {} couldn't open read stream,", static_cast<const void*>(this));
        core::setError(error, errorWithCode(CFSocketError));
        return false;
    }
    return true;
}

// Stream events

void AsyncSocket::streamEvent(Stream::Side side, Stream::Event event)
{
    auto keep = self();
    switch (event) {
    case Stream::Event::OpenCompleted:
        if (!(m_flags & StreamsOpened) && m_stream
            && countsAsConnected(m_stream->status(Stream::Side::Read), Stream::Status::Reading)
            && countsAsConnected(m_stream->status(Stream::Side::Write), Stream::Status::Writing))
            doStreamOpen();
        break;
    case Stream::Event::HasBytesAvailable:
        m_reader.bytesAvailable();
        break;
    case Stream::Event::CanAcceptBytes:
        m_writer.sendBytes();
        break;
    case Stream::Event::ErrorOccurred: {
        const core::Error error = streamError();
        closeWithError(error ? &error : nullptr);
        break;
    }
    case Stream::Event::EndEncountered:
        // A peer that shut only its sending side may still wait for an
        // answer: while nobody reads, the owner may keep writing, and the
        // next read that needs bytes finds the end.
        if (side == Stream::Side::Read && m_reader.isIdle()
            && m_stream->status(Stream::Side::Write) == Stream::Status::Open) {
            auto delegate = m_delegate.lock();
            if (delegate && delegate->onSocketShouldKeepWritingAfterReadEnd(*this)) {
                m_reader.setReadEnded();
                break;
            }
        }
        closeWithError(nullptr);
        break;
    }
}

void AsyncSocket::doStreamOpen()
{
    if (m_stream->fd() < 0) {
        const core::Error error = errorWithCode(CFSocketError);
        core::log("AsyncSocket {} couldn't get socket from streams, {}. Disconnecting.", static_cast<const void*>(this),
            error.description());
        closeWithError(&error);
        return;
    }
    m_flags |= StreamsOpened;
    if (auto delegate = m_delegate.lock())
        delegate->onSocketDidConnectToHost(*this, connectedHost(), connectedPort());
    m_reader.maybeDequeue();
    m_writer.maybeDequeue();
}

core::Error AsyncSocket::streamError() const
{
    return m_stream ? AsyncSocketErrors::fromStream(m_stream->error()) : core::Error();
}

// Reading and writing

void AsyncSocket::readDataWithTimeout(double timeout, long tag)
{
    readDataWithCustomChunkSize(AsyncReadPacket::DefaultChunkSize, timeout, tag);
}

void AsyncSocket::readDataWithCustomChunkSize(size_t chunkSize, double timeout, long tag)
{
    if (!(m_flags & ForbidReadsWrites))
        m_reader.readAllAvailable(chunkSize, timeout, tag);
}

void AsyncSocket::readDataToData(const core::Data& term, double timeout, long tag)
{
    readDataToData(term, timeout, 0, tag);
}

void AsyncSocket::readDataToData(const core::Data& term, double timeout, uint64_t maxLength, long tag)
{
    if (!term.empty() && !(m_flags & ForbidReadsWrites))
        m_reader.readToData(term, timeout, maxLength, tag);
}

void AsyncSocket::readDataToLength(uint64_t length, double timeout, long tag)
{
    if (length != 0 && !(m_flags & ForbidReadsWrites))
        m_reader.readToLength(length, timeout, tag);
}

void AsyncSocket::unreadData(const core::Data& bytes)
{
    m_reader.unread(bytes);
}

void AsyncSocket::setReadDeadline(double seconds)
{
    m_reader.setDeadline(seconds > 0 ? AsyncPacket::secondsFromNow(seconds) : 0);
}

void AsyncSocket::writeData(const core::Data& data, double timeout, long tag)
{
    writeData(data, 0, timeout, tag);
}

void AsyncSocket::writeData(const core::Data& data, size_t chunkSize, double timeout, long tag)
{
    if (!data.empty() && !(m_flags & ForbidReadsWrites))
        m_writer.enqueue(std::make_unique<AsyncWritePacket>(data, chunkSize, timeout, tag));
}

void AsyncSocket::writeHead(const core::Data& data, double timeout, long tag)
{
    if (data.empty() || (m_flags & ForbidReadsWrites))
        return;
    auto packet = std::make_unique<AsyncWritePacket>(data, 0, timeout, tag);
    packet->moreFollows = true;
    m_writer.enqueue(std::move(packet));
}

void AsyncSocket::writeFile(int fd, uint64_t offset, uint64_t length, double timeout, long tag, DescriptorUse use)
{
    if (fd < 0 || length == 0 || (m_flags & ForbidReadsWrites)) {
        if (fd >= 0 && use == TakeDescriptor)
            ::close(fd);
        return;
    }
    m_writer.enqueue(std::make_unique<AsyncWritePacket>(fd, offset, length, timeout, tag, use == TakeDescriptor));
}

// Closing

void AsyncSocket::disconnect()
{
    close();
}

void AsyncSocket::shutdownWriting()
{
    if (m_stream)
        m_stream->shutdownWrite();
}

void AsyncSocket::disconnectAfterWriting()
{
    m_flags |= ForbidReadsWrites | DisconnectAfterWrites;
    maybeScheduleDisconnect();
}

void AsyncSocket::maybeScheduleDisconnect()
{
    if ((m_flags & DisconnectAfterWrites) && m_writer.isIdle())
        scheduleNextPass(DisconnectStep, [](AsyncSocket& socket) { socket.disconnect(); });
}

void AsyncSocket::scheduleNextPass(const char* tag, void (*step)(AsyncSocket&))
{
    std::weak_ptr<AsyncSocket> weak = self();
    runLoop().performAfter(0, [weak, step] {
        if (auto socket = weak.lock())
            step(*socket);
    },
        performKey(tag));
}

void AsyncSocket::closeWithError(const core::Error* error)
{
    auto keep = self();
    if (m_flags & DidConnect) {
        m_reader.recoverUnreadData();
        if (auto delegate = m_delegate.lock())
            delegate->onSocketWillDisconnectWithError(*this, error);
    }
    close();
}

void AsyncSocket::close(bool tellDelegate)
{
    m_reader.clear();
    m_writer.clear();
    core::RunLoop* loop = m_runLoop;
    core::RunLoop& performLoop = loop ? *loop : core::RunLoop::current();
    // (Pending steps hold the socket weakly: from another thread, where the
    // last owner may let go of it, there is nothing to cancel.)
    if (performLoop.isCurrent()) {
        for (const char* step : { AsyncSocketReader::DequeueStep, AsyncSocketReader::CompleteFromLeftoverStep,
                 AsyncSocketWriter::DequeueStep, DisconnectStep, AsyncSocketReader::ReadEndStep })
            performLoop.cancelPerforms(performKey(step));
    }
    if (m_stream) {
        m_stream->setClient({});
        m_stream->close();
        m_stream.reset();
    }
    if (m_listener) {
        m_listener->close();
        m_listener.reset();
    }
    m_runLoop = nullptr;
    if ((m_flags & DidConnect) && tellDelegate) {
        std::weak_ptr<AsyncSocket> weak = self();
        std::weak_ptr<AsyncSocketDelegate> delegate = m_delegate;
        performLoop.performAfter(0, [weak, delegate] {
            auto socket = weak.lock();
            auto owner = delegate.lock();
            if (socket && owner)
                owner->onSocketDidDisconnect(*socket);
        },
            performKey(DidDisconnectStep));
    }
    m_flags = 0;
}

// Queries

bool AsyncSocket::isConnected() const
{
    if (getCFSocket() < 0 || !m_stream)
        return false;
    // A read side at its end still lets answers out (a peer that shut only
    // its sending side).
    const auto readStatus = m_stream->status(Stream::Side::Read);
    return (readStatus == Stream::Status::AtEnd || countsAsConnected(readStatus, Stream::Status::Reading))
        && countsAsConnected(m_stream->status(Stream::Side::Write), Stream::Status::Writing);
}

std::string AsyncSocket::localHost() const
{
    if (m_listener)
        return m_listener->host();
    return m_stream ? m_stream->localHost() : std::string();
}

uint16_t AsyncSocket::localPort() const
{
    if (m_listener)
        return m_listener->port();
    return m_stream ? m_stream->localPort() : 0;
}

std::string AsyncSocket::connectedHost() const
{
    return m_stream ? m_stream->peerHost() : std::string();
}

uint16_t AsyncSocket::connectedPort() const
{
    return m_stream ? m_stream->peerPort() : 0;
}

double AsyncSocket::progressOfReadReturningTag(long* tag, uint64_t* bytesDone, uint64_t* total) const
{
    const AsyncReadPacket* read = m_reader.current();
    if (!read)
        return std::numeric_limits<double>::quiet_NaN();
    const uint64_t length = read->total();
    if (tag)
        *tag = read->tag;
    if (bytesDone)
        *bytesDone = read->bytesDone;
    if (total)
        *total = length;
    return length ? static_cast<double>(read->bytesDone) / static_cast<double>(length) : 0.0;
}

double AsyncSocket::progressOfWriteReturningTag(long* tag, uint64_t* bytesDone, uint64_t* total) const
{
    const AsyncWritePacket* write = m_writer.current();
    if (!write)
        return std::numeric_limits<double>::quiet_NaN();
    const uint64_t length = write->length();
    if (tag)
        *tag = write->tag;
    if (bytesDone)
        *bytesDone = write->bytesDone;
    if (total)
        *total = length;
    return length ? static_cast<double>(write->bytesDone) / static_cast<double>(length) : 1.0;
}

std::string AsyncSocket::description() const
{
    const auto place = [](const std::string& host, uint16_t port) {
        return host.empty() ? std::string("nowhere") : fmt::format("{} {}", host, port);
    };
    std::string text = fmt::format("<AsyncSocket {} #{}: Socket {}", static_cast<const void*>(this), getCFSocket(),
        static_cast<const void*>(m_listener ? static_cast<const void*>(m_listener.get()) : m_stream.get()));
    text += fmt::format(" local {} remote {}", place(localHost(), localPort()), place(connectedHost(), connectedPort()));
    text += fmt::format(" has queued {} reads {} writes", m_reader.queuedCount(), m_writer.queuedCount());
    const auto progress = [](const AsyncPacket* packet, uint64_t total) {
        if (!packet)
            return std::string("no current");
        if (!total)
            return fmt::format("{} bytes", packet->bytesDone);
        return fmt::format("{} of {} bytes ({}%)", packet->bytesDone, total,
            static_cast<int>(100.0 * static_cast<double>(packet->bytesDone) / static_cast<double>(total)));
    };
    const AsyncReadPacket* read = m_reader.current();
    const AsyncWritePacket* write = m_writer.current();
    text += fmt::format(", read {}", progress(read, read ? read->total() : 0));
    text += fmt::format(", write {}", progress(write, write ? write->length() : 0));
    if (m_stream) {
        text += fmt::format(", read stream {}, write stream {}", statusName(m_stream->status(Stream::Side::Read)),
            statusName(m_stream->status(Stream::Side::Write)));
    }
    if (m_flags & DisconnectAfterWrites)
        text += ", will disconnect soon";
    if (!isConnected())
        text += ", not connected";
    return text + ">";
}

const core::Data& AsyncSocket::CRLFData()
{
    static const core::Data data(std::string_view("\r\n"));
    return data;
}

const core::Data& AsyncSocket::CRLFCRLFData()
{
    static const core::Data data(std::string_view("\r\n\r\n"));
    return data;
}

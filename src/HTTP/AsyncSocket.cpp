#include "HTTP/AsyncSocket.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Net/ListeningSocket.h"

#include <algorithm>
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

constexpr const char* DequeueReadStep = "maybeDequeueRead";
constexpr const char* ReadEndStep = "closeAtReadEnd";
constexpr const char* CompleteFromLeftoverStep = "completeFromLeftover";
constexpr const char* DequeueWriteStep = "maybeDequeueWrite";
constexpr const char* DisconnectStep = "disconnect";
constexpr const char* DidDisconnectStep = "onSocketDidDisconnect";

std::mutex liveMutex;
AsyncSocket* firstLive = nullptr;

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
    const char* key = "AsyncSocketCFSocketError";
    const char* text = "General CFSocket error";
    switch (code) {
    case CanceledError:
        key = "AsyncSocketCanceledError";
        text = "Connection canceled";
        break;
    case ReadTimeoutError:
        key = "AsyncSocketReadTimeoutError";
        text = "Read operation timed out";
        break;
    case WriteTimeoutError:
        key = "AsyncSocketWriteTimeoutError";
        text = "Write operation timed out";
        break;
    default:
        break;
    }
    std::string description = core::localized(key, "AsyncSocket");
    if (description == key)
        description = text;
    return core::Error(ErrorDomain, code, description);
}

struct AsyncSocket::Private { };

// Counts a delegate callback in progress, also when it throws.
struct AsyncSocket::CallbackScope {
    explicit CallbackScope(unsigned& depth) : depth(depth) { ++depth; }
    ~CallbackScope() { --depth; }
    unsigned& depth;
};

std::shared_ptr<AsyncSocket> AsyncSocket::create(std::weak_ptr<AsyncSocketDelegate> delegate, long userData)
{
    // One repeating timer posts the time-out notification for all sockets,
    // and one observer has every live socket check its requests. Both
    // belong to the loop (and centre) of the thread that first needed them
    // and are made again should that loop drop its timer.
    static std::weak_ptr<core::Timer> timer;
    // Never destroyed: the notification centre may go first at exit.
    static auto* observation = new core::Observation();
    {
        std::lock_guard lock(liveMutex);
        if (auto existing = timer.lock(); !existing || !existing->isValid()) {
            timer = core::RunLoop::current().schedule(TimeoutSweepInterval, true, [](core::Timer&) {
                core::NotificationCenter::defaultCenter().post(TimeoutNotification);
            });
            *observation = core::NotificationCenter::defaultCenter().observe(TimeoutNotification, nullptr,
                [](const core::Notification&) { sweepTimeouts(); });
        }
    }
    return std::make_shared<AsyncSocket>(Private(), std::move(delegate), userData);
}

AsyncSocket::AsyncSocket(const Private&, std::weak_ptr<AsyncSocketDelegate> delegate, long userData)
    : m_delegate(std::move(delegate))
    , m_userData(userData)
{
    std::lock_guard lock(liveMutex);
    m_nextLive = firstLive;
    if (firstLive)
        firstLive->m_previousLive = this;
    firstLive = this;
}

AsyncSocket::~AsyncSocket()
{
    {
        std::lock_guard lock(liveMutex);
        if (m_previousLive)
            m_previousLive->m_nextLive = m_nextLive;
        else
            firstLive = m_nextLive;
        if (m_nextLive)
            m_nextLive->m_previousLive = m_previousLive;
    }
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
    return m_readQueue.empty() && m_writeQueue.empty() && !m_currentRead && !m_currentWrite;
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
            core::setError(error, core::Error("kCFStreamErrorDomainNetDB", failure, gai_strerror(failure)));
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

void AsyncSocket::acceptConnectedDescriptor(int fd)
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
            core::setError(error, core::Error("kCFStreamErrorDomainNetDB", failure.code, gai_strerror(static_cast<int>(failure.code))));
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
        doBytesAvailable();
        break;
    case Stream::Event::CanAcceptBytes:
        doSendBytes();
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
        if (side == Stream::Side::Read && !m_currentRead && m_readQueue.empty()
            && m_stream->status(Stream::Side::Write) == Stream::Status::Open) {
            auto delegate = m_delegate.lock();
            if (delegate && delegate->onSocketShouldKeepWritingAfterReadEnd(*this)) {
                m_readEnded = true;
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
    maybeDequeueRead();
    maybeDequeueWrite();
}

core::Error AsyncSocket::streamError() const
{
    if (!m_stream)
        return {};
    const auto error = m_stream->error();
    switch (error.domain) {
    case Stream::ErrorDomain::None:
        return {};
    case Stream::ErrorDomain::POSIX:
        return core::Error::posix(static_cast<int>(error.code));
    case Stream::ErrorDomain::NetDB:
        return core::Error("kCFStreamErrorDomainNetDB", error.code, gai_strerror(static_cast<int>(error.code)));
    case Stream::ErrorDomain::SSL:
        return core::Error("kCFStreamErrorDomainSSL", error.code);
    }
    return core::Error("CFStreamError (unlisted domain)", error.code);
}

// Reading

void AsyncSocket::readDataWithTimeout(double timeout, long tag)
{
    readDataWithCustomChunkSize(AsyncReadPacket::DefaultChunkSize, timeout, tag);
}

void AsyncSocket::readDataWithCustomChunkSize(size_t chunkSize, double timeout, long tag)
{
    if (m_flags & ForbidReadsWrites)
        return;
    if (!m_partialReadBuffer.empty() && m_readCallbackDepth == 0) {
        // Leftover bytes are the answer, at once.
        auto keep = self();
        deliverRead(core::Data(std::exchange(m_partialReadBuffer, std::string())), tag);
        scheduleNextPass(DequeueReadStep, &AsyncSocket::maybeDequeueRead);
        return;
    }
    queueRead(std::make_unique<AsyncReadPacket>(AsyncReadPacket::Kind::AllAvailable, timeout, tag, chunkSize));
}

void AsyncSocket::readDataToData(const core::Data& term, double timeout, long tag)
{
    readDataToData(term, timeout, 0, tag);
}

void AsyncSocket::readDataToData(const core::Data& term, double timeout, uint64_t maxLength, long tag)
{
    if (term.empty() || (m_flags & ForbidReadsWrites))
        return;
    auto packet = std::make_unique<AsyncReadPacket>(AsyncReadPacket::Kind::ToTerminator, timeout, tag);
    packet->term = term.toString();
    packet->maxLength = maxLength;
    queueRead(std::move(packet));
}

void AsyncSocket::readDataToLength(uint64_t length, double timeout, long tag)
{
    if (length == 0 || (m_flags & ForbidReadsWrites))
        return;
    if (m_partialReadBuffer.size() >= length && m_readCallbackDepth == 0) {
        auto keep = self();
        core::Data data(m_partialReadBuffer.substr(0, static_cast<size_t>(length)));
        m_partialReadBuffer.erase(0, static_cast<size_t>(length));
        deliverRead(std::move(data), tag);
        scheduleNextPass(DequeueReadStep, &AsyncSocket::maybeDequeueRead);
        return;
    }
    auto packet = std::make_unique<AsyncReadPacket>(AsyncReadPacket::Kind::ToLength, timeout, tag);
    packet->length = length;
    queueRead(std::move(packet));
}

void AsyncSocket::unreadData(const core::Data& bytes)
{
    if (bytes.empty())
        return;
    if (m_currentRead) {
        // In front of what the current read holds; it may be complete now.
        m_currentRead->buffer.insert(0, bytes.view());
        m_currentRead->bytesDone += bytes.size();
        scheduleNextPass(CompleteFromLeftoverStep, &AsyncSocket::completeFromLeftover);
        return;
    }
    m_partialReadBuffer.insert(0, bytes.view());
}

void AsyncSocket::queueRead(std::unique_ptr<AsyncReadPacket> packet)
{
    m_readQueue.push_back(std::move(packet));
    maybeDequeueRead();
}

void AsyncSocket::maybeDequeueRead()
{
    if (m_currentRead || m_readQueue.empty() || !m_stream)
        return;
    auto keep = self();
    m_currentRead = std::move(m_readQueue.front());
    m_readQueue.erase(m_readQueue.begin());
    m_currentRead->restartTimeout();
    m_stream->setWantsBytes(true);
    // Queued from inside a read callback: it starts when that returns.
    if (m_readCallbackDepth > 0) {
        m_readWaiting = true;
        return;
    }
    startCurrentRead();
}

void AsyncSocket::startCurrentRead()
{
    auto keep = self();
    AsyncReadPacket& packet = *m_currentRead;
    // Bytes left over from the reads before are this read's first bytes.
    if (!m_partialReadBuffer.empty()) {
        size_t take = m_partialReadBuffer.size();
        if (packet.kind() == AsyncReadPacket::Kind::ToTerminator && packet.maxLength)
            take = static_cast<size_t>(std::min<uint64_t>(take, packet.maxLength));
        packet.buffer.assign(m_partialReadBuffer, 0, take);
        m_partialReadBuffer.erase(0, take);
        packet.bytesDone = take;
        switch (packet.kind()) {
        case AsyncReadPacket::Kind::AllAvailable:
            finishCurrentRead();
            return;
        case AsyncReadPacket::Kind::ToLength:
            if (packet.isFull()) {
                completeFromLeftover();
                return;
            }
            break;
        case AsyncReadPacket::Kind::ToTerminator:
            // A terminator among the leftover (put back by unreadData, or
            // behind a length read's bytes) completes the read next pass.
            if (packet.isFull() || packet.lastTerminatorEnd(0) != std::string::npos) {
                scheduleNextPass(CompleteFromLeftoverStep, &AsyncSocket::completeFromLeftover);
                return;
            }
            break;
        }
    }
    doBytesAvailable();
}

void AsyncSocket::completeFromLeftover()
{
    if (!m_currentRead)
        return;
    auto keep = self();
    AsyncReadPacket& packet = *m_currentRead;
    size_t end = std::string::npos;
    switch (packet.kind()) {
    case AsyncReadPacket::Kind::AllAvailable:
        if (packet.bytesDone > 0)
            end = static_cast<size_t>(packet.bytesDone);
        break;
    case AsyncReadPacket::Kind::ToLength:
        if (packet.isFull())
            end = static_cast<size_t>(packet.length);
        break;
    case AsyncReadPacket::Kind::ToTerminator:
        end = packet.lastTerminatorEnd(0);
        if (end == std::string::npos && packet.isFull())
            end = static_cast<size_t>(packet.maxLength);
        break;
    }
    if (end == std::string::npos) {
        doBytesAvailable();
        return;
    }
    if (end < packet.bytesDone)
        m_partialReadBuffer.insert(0, packet.buffer, end, static_cast<size_t>(packet.bytesDone) - end);
    packet.bytesDone = end;
    finishCurrentRead();
}

void AsyncSocket::doBytesAvailable()
{
    if (!m_currentRead || !m_stream)
        return;
    auto keep = self();
    AsyncReadPacket* packet = m_currentRead.get();
    packet->restartTimeout();
    uint64_t passTotal = 0;
    bool done = false;
    bool error = false;
    while (!done && !error && m_stream->hasBytesAvailable()) {
        const size_t room = packet->prepareRoom();
        if (room == 0) {
            done = packet->isFull();
            break;
        }
        const size_t before = static_cast<size_t>(packet->bytesDone);
        const ssize_t count = m_stream->read(packet->buffer.data() + before, room);
        packet->restartTimeout();
        if (count < 0) {
            error = true;
            break;
        }
        if (count == 0)
            break;
        packet->bytesDone += static_cast<uint64_t>(count);
        passTotal += static_cast<uint64_t>(count);
        switch (packet->kind()) {
        case AsyncReadPacket::Kind::AllAvailable:
            done = true;
            break;
        case AsyncReadPacket::Kind::ToLength:
            done = packet->isFull();
            break;
        case AsyncReadPacket::Kind::ToTerminator: {
            // The window reaches back so that a terminator split between two
            // stream reads is found.
            const size_t reach = packet->term.size() - 1;
            const size_t end = packet->lastTerminatorEnd(before > reach ? before - reach : 0);
            if (end != std::string::npos) {
                m_partialReadBuffer.insert(0, packet->buffer, end, static_cast<size_t>(packet->bytesDone) - end);
                packet->bytesDone = end;
                done = true;
            } else {
                done = packet->isFull();
            }
            break;
        }
        }
    }
    if (done) {
        finishCurrentRead();
    } else if (!packet->readAllAvailableData() && passTotal > 0) {
        if (auto delegate = m_delegate.lock())
            delegate->onSocketDidReadPartialDataOfLength(*this, passTotal, packet->tag);
    }
    if (error) {
        const core::Error failure = streamError();
        closeWithError(failure ? &failure : nullptr);
    } else if (!done && m_readEnded && m_currentRead.get() == packet) {
        scheduleNextPass(ReadEndStep, &AsyncSocket::closeAtReadEnd);
    }
}

void AsyncSocket::closeAtReadEnd()
{
    if (m_currentRead)
        closeWithError(nullptr);
}

void AsyncSocket::finishCurrentRead()
{
    auto keep = self();
    std::unique_ptr<AsyncReadPacket> packet = std::move(m_currentRead);
    packet->buffer.resize(static_cast<size_t>(packet->bytesDone));
    const long tag = packet->tag;
    core::Data data(std::move(packet->buffer));
    packet.reset();
    deliverRead(std::move(data), tag);
    if (!m_stream)
        return;
    if (m_currentRead)
        return;
    // The next queued read starts on the next pass (one queued inside the
    // callback has started already).
    if (m_readQueue.empty())
        m_stream->setWantsBytes(false);
    else
        scheduleNextPass(DequeueReadStep, &AsyncSocket::maybeDequeueRead);
}

void AsyncSocket::deliverRead(core::Data data, long tag)
{
    auto keep = self();
    {
        CallbackScope scope(m_readCallbackDepth);
        if (auto delegate = m_delegate.lock())
            delegate->onSocketDidReadData(*this, data, tag);
    }
    // The bytes go before the next read takes a buffer (which can then be
    // the same memory).
    data = core::Data();
    // Reads queued inside callbacks run here, one after the other, rather
    // than inside each other: a delegate reading small pieces of a large
    // arrival never deepens the stack.
    if (m_readCallbackDepth > 0 || m_runningWaitingReads)
        return;
    m_runningWaitingReads = true;
    while (m_readWaiting && m_currentRead && m_stream) {
        m_readWaiting = false;
        startCurrentRead();
    }
    m_readWaiting = false;
    m_runningWaitingReads = false;
}

// Writing

void AsyncSocket::writeData(const core::Data& data, double timeout, long tag)
{
    writeData(data, 0, timeout, tag);
}

void AsyncSocket::writeData(const core::Data& data, size_t chunkSize, double timeout, long tag)
{
    if (data.empty() || (m_flags & ForbidReadsWrites))
        return;
    m_writeQueue.push_back(std::make_unique<AsyncWritePacket>(data, chunkSize, timeout, tag));
    maybeDequeueWrite();
}

void AsyncSocket::writeHead(const core::Data& data, double timeout, long tag)
{
    if (data.empty() || (m_flags & ForbidReadsWrites))
        return;
    auto packet = std::make_unique<AsyncWritePacket>(data, 0, timeout, tag);
    packet->moreFollows = true;
    m_writeQueue.push_back(std::move(packet));
    maybeDequeueWrite();
}

void AsyncSocket::writeFile(int fd, uint64_t offset, uint64_t length, double timeout, long tag, DescriptorUse use)
{
    if (fd < 0 || length == 0 || (m_flags & ForbidReadsWrites)) {
        if (fd >= 0 && use == TakeDescriptor)
            ::close(fd);
        return;
    }
    m_writeQueue.push_back(std::make_unique<AsyncWritePacket>(fd, offset, length, timeout, tag, use == TakeDescriptor));
    maybeDequeueWrite();
}

ssize_t AsyncSocket::sendFilePiece(AsyncWritePacket& packet)
{
    if (packet.fileDescriptor < 0) {
        m_fileError = packet.fileError;
        return -1;
    }
    if (!m_stream->isSecure())
        return m_stream->sendFile(packet.fileDescriptor, packet.fileOffset + packet.bytesDone, packet.nextLength());
    // TLS has to see the bytes: one buffer per socket, refilled once the
    // stream has taken all of it (a refused record is offered again as is).
    if (m_fileBufferStart == m_fileBufferEnd) {
        if (!m_fileBuffer)
            m_fileBuffer.reset(new char[FileBufferSize]);
        const size_t want = static_cast<size_t>(std::min<uint64_t>(FileBufferSize, packet.length() - packet.bytesDone));
        ssize_t count;
        do
            count = ::pread(packet.fileDescriptor, m_fileBuffer.get(), want,
                static_cast<off_t>(packet.fileOffset + packet.bytesDone));
        while (count < 0 && errno == EINTR);
        if (count <= 0) {
            // A file that ended early is a failure: the peer was promised more.
            m_fileError = count < 0 ? errno : EIO;
            return -1;
        }
        m_fileBufferStart = 0;
        m_fileBufferEnd = static_cast<size_t>(count);
    }
    const ssize_t count = m_stream->write(m_fileBuffer.get() + m_fileBufferStart, m_fileBufferEnd - m_fileBufferStart);
    if (count > 0)
        m_fileBufferStart += static_cast<size_t>(count);
    return count;
}

void AsyncSocket::maybeDequeueWrite()
{
    if (m_currentWrite || m_writeQueue.empty() || !m_stream)
        return;
    auto keep = self();
    m_currentWrite = std::move(m_writeQueue.front());
    m_writeQueue.erase(m_writeQueue.begin());
    m_currentWrite->restartTimeout();
    m_fileBufferStart = m_fileBufferEnd = 0;
    m_stream->setWantsSpace(true);
    if (m_writeCallbackDepth > 0) {
        m_writeWaiting = true;
        return;
    }
    doSendBytes();
}

void AsyncSocket::doSendBytes()
{
    if (!m_currentWrite || !m_stream)
        return;
    auto keep = self();
    AsyncWritePacket* packet = m_currentWrite.get();
    bool done = packet->isDone();
    bool error = false;
    while (!done && !error && m_stream->canAcceptBytes()) {
        const ssize_t count = packet->isFile()
            ? sendFilePiece(*packet)
            : m_stream->write(packet->buffer.bytes() + packet->bytesDone, packet->nextLength(),
                packet->moreFollows || !m_writeQueue.empty());
        packet->restartTimeout();
        if (count < 0) {
            error = true;
            break;
        }
        packet->bytesDone += static_cast<uint64_t>(count);
        done = packet->isDone();
        if (count == 0)
            break;
        if (!done) {
            if (auto delegate = m_delegate.lock())
                delegate->onSocketDidWritePartialDataOfLength(*this, packet->bytesDone, packet->tag);
            // The delegate may have closed the socket.
            if (m_currentWrite.get() != packet || !m_stream)
                return;
        }
    }
    if (done) {
        const long tag = packet->tag;
        m_currentWrite.reset();
        if (m_writeQueue.empty())
            m_stream->setWantsSpace(false);
        maybeScheduleDisconnect();
        {
            CallbackScope scope(m_writeCallbackDepth);
            if (auto delegate = m_delegate.lock())
                delegate->onSocketDidWriteDataWithTag(*this, tag);
        }
        if (m_stream && !m_currentWrite && !m_writeQueue.empty())
            scheduleNextPass(DequeueWriteStep, &AsyncSocket::maybeDequeueWrite);
        // Writes queued inside the callback run here, not inside it.
        if (m_writeCallbackDepth == 0 && !m_runningWaitingWrites) {
            m_runningWaitingWrites = true;
            while (m_writeWaiting && m_currentWrite && m_stream) {
                m_writeWaiting = false;
                doSendBytes();
            }
            m_writeWaiting = false;
            m_runningWaitingWrites = false;
        }
    }
    if (error) {
        const core::Error failure = m_fileError ? core::Error::posix(std::exchange(m_fileError, 0)) : streamError();
        closeWithError(failure ? &failure : nullptr);
    }
}

// Closing

void AsyncSocket::disconnect()
{
    close();
}

void AsyncSocket::disconnectAfterWriting()
{
    m_flags |= ForbidReadsWrites | DisconnectAfterWrites;
    maybeScheduleDisconnect();
}

void AsyncSocket::maybeScheduleDisconnect()
{
    if ((m_flags & DisconnectAfterWrites) && m_writeQueue.empty() && !m_currentWrite)
        scheduleNextPass(DisconnectStep, &AsyncSocket::disconnect);
}

void AsyncSocket::scheduleNextPass(const char* tag, void (AsyncSocket::*step)())
{
    std::weak_ptr<AsyncSocket> weak = self();
    runLoop().performAfter(0, [weak, step] {
        if (auto socket = weak.lock())
            (socket.get()->*step)();
    },
        performKey(tag));
}

void AsyncSocket::closeWithError(const core::Error* error)
{
    auto keep = self();
    if (m_flags & DidConnect) {
        recoverUnreadData();
        if (auto delegate = m_delegate.lock())
            delegate->onSocketWillDisconnectWithError(*this, error);
    }
    close();
}

void AsyncSocket::recoverUnreadData()
{
    if (!m_currentRead || m_currentRead->bytesDone == 0)
        return;
    m_currentRead->buffer.resize(static_cast<size_t>(m_currentRead->bytesDone));
    m_partialReadBuffer.insert(0, m_currentRead->buffer);
    m_currentRead->buffer = std::string();
    m_currentRead->bytesDone = 0;
}

void AsyncSocket::close(bool tellDelegate)
{
    m_readQueue.clear();
    m_currentRead.reset();
    m_writeQueue.clear();
    m_currentWrite.reset();
    m_readWaiting = m_writeWaiting = false;
    m_readEnded = false;
    m_partialReadBuffer = std::string();
    core::RunLoop* loop = m_runLoop;
    core::RunLoop& performLoop = loop ? *loop : core::RunLoop::current();
    // (Pending steps hold the socket weakly: from another thread, where the
    // last owner may let go of it, there is nothing to cancel.)
    if (performLoop.isCurrent()) {
        for (const char* step : { DequeueReadStep, CompleteFromLeftoverStep, DequeueWriteStep, DisconnectStep, ReadEndStep })
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

// Time-outs

void AsyncSocket::sweepTimeouts()
{
    // The expired first, then their checks: a check may close sockets and
    // so change the list.
    std::vector<std::weak_ptr<AsyncSocket>> expired;
    {
        std::lock_guard lock(liveMutex);
        for (AsyncSocket* socket = firstLive; socket; socket = socket->m_nextLive) {
            if ((socket->m_currentRead && socket->m_currentRead->hasExpired())
                || (socket->m_currentWrite && socket->m_currentWrite->hasExpired()))
                expired.push_back(std::static_pointer_cast<AsyncSocket>(socket->weak_from_this().lock()));
        }
    }
    for (auto& weak : expired) {
        if (auto socket = weak.lock())
            socket->checkTimeouts();
    }
}

void AsyncSocket::checkTimeouts()
{
    auto keep = self();
    if (m_currentRead && m_currentRead->hasExpired()) {
        auto delegate = m_delegate.lock();
        if (delegate && !delegate->onSocketShouldTimeout(*this)) {
            core::log("Postponing read timeout");
            if (m_currentRead)
                m_currentRead->restartTimeout();
        } else {
            m_currentRead.reset();
            const core::Error error = errorWithCode(ReadTimeoutError);
            closeWithError(&error);
            return;
        }
    }
    if (m_currentWrite && m_currentWrite->hasExpired()) {
        auto delegate = m_delegate.lock();
        if (delegate && !delegate->onSocketShouldTimeout(*this)) {
            core::log("Postponing write timeout");
            if (m_currentWrite)
                m_currentWrite->restartTimeout();
        } else {
            m_currentWrite.reset();
            const core::Error error = errorWithCode(WriteTimeoutError);
            closeWithError(&error);
        }
    }
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
    if (!m_currentRead)
        return std::numeric_limits<double>::quiet_NaN();
    const uint64_t length = m_currentRead->total();
    if (tag)
        *tag = m_currentRead->tag;
    if (bytesDone)
        *bytesDone = m_currentRead->bytesDone;
    if (total)
        *total = length;
    return length ? static_cast<double>(m_currentRead->bytesDone) / static_cast<double>(length) : 0.0;
}

double AsyncSocket::progressOfWriteReturningTag(long* tag, uint64_t* bytesDone, uint64_t* total) const
{
    if (!m_currentWrite)
        return std::numeric_limits<double>::quiet_NaN();
    const uint64_t length = m_currentWrite->length();
    if (tag)
        *tag = m_currentWrite->tag;
    if (bytesDone)
        *bytesDone = m_currentWrite->bytesDone;
    if (total)
        *total = length;
    return length ? static_cast<double>(m_currentWrite->bytesDone) / static_cast<double>(length) : 1.0;
}

std::string AsyncSocket::description() const
{
    const auto place = [](const std::string& host, uint16_t port) {
        return host.empty() ? std::string("nowhere") : fmt::format("{} {}", host, port);
    };
    std::string text = fmt::format("<AsyncSocket {} #{}: Socket {}", static_cast<const void*>(this), getCFSocket(),
        static_cast<const void*>(m_listener ? static_cast<const void*>(m_listener.get()) : m_stream.get()));
    text += fmt::format(" local {} remote {}", place(localHost(), localPort()), place(connectedHost(), connectedPort()));
    text += fmt::format(" has queued {} reads {} writes", m_readQueue.size(), m_writeQueue.size());
    const auto progress = [](const AsyncPacket* packet, uint64_t total) {
        if (!packet)
            return std::string("no current");
        if (!total)
            return fmt::format("{} bytes", packet->bytesDone);
        return fmt::format("{} of {} bytes ({}%)", packet->bytesDone, total,
            static_cast<int>(100.0 * static_cast<double>(packet->bytesDone) / static_cast<double>(total)));
    };
    text += fmt::format(", read {}", progress(m_currentRead.get(), m_currentRead ? m_currentRead->total() : 0));
    text += fmt::format(", write {}", progress(m_currentWrite.get(), m_currentWrite ? m_currentWrite->length() : 0));
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

const core::Data& AsyncSocket::CRData()
{
    static const core::Data data(std::string_view("\r"));
    return data;
}

const core::Data& AsyncSocket::LFData()
{
    static const core::Data data(std::string_view("\n"));
    return data;
}

const core::Data& AsyncSocket::ZeroData()
{
    static const core::Data data(std::string_view("\0", 1));
    return data;
}

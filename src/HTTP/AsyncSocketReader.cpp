#include "HTTP/AsyncSocketReader.h"

#include "HTTP/AsyncSocket.h"
#include "Platform/Core/Timer.h"

#include <algorithm>
#include <utility>

AsyncSocketReader::~AsyncSocketReader()
{
    if (m_flushTimer)
        m_flushTimer->invalidate();
}

void AsyncSocketReader::readAllAvailable(size_t chunkSize, double timeout, long tag)
{
    if (!m_leftover.empty() && m_callbackDepth == 0) {
        // Leftover bytes are the answer, at once.
        auto keep = m_socket.self();
        deliver(core::Data(std::exchange(m_leftover, std::string())), tag);
        scheduleDequeue();
        return;
    }
    queue(std::make_unique<AsyncReadPacket>(AsyncReadPacket::Kind::AllAvailable, timeout, tag, chunkSize));
}

void AsyncSocketReader::readToData(const core::Data& term, double timeout, uint64_t maxLength, long tag)
{
    auto packet = std::make_unique<AsyncReadPacket>(AsyncReadPacket::Kind::ToTerminator, timeout, tag);
    packet->term = term.toString();
    packet->maxLength = maxLength;
    queue(std::move(packet));
}

void AsyncSocketReader::readToLength(uint64_t length, double timeout, long tag)
{
    if (m_leftover.size() >= length && m_callbackDepth == 0) {
        auto keep = m_socket.self();
        core::Data data(m_leftover.substr(0, static_cast<size_t>(length)));
        m_leftover.erase(0, static_cast<size_t>(length));
        deliver(std::move(data), tag);
        scheduleDequeue();
        return;
    }
    auto packet = std::make_unique<AsyncReadPacket>(AsyncReadPacket::Kind::ToLength, timeout, tag);
    packet->length = length;
    queue(std::move(packet));
}

void AsyncSocketReader::unread(const core::Data& bytes)
{
    if (bytes.empty())
        return;
    if (m_current) {
        // In front of what the current read holds; it may be complete now.
        m_current->buffer.insert(0, bytes.view());
        m_current->bytesDone += bytes.size();
        m_socket.scheduleNextPass(CompleteFromLeftoverStep, [](AsyncSocket& socket) {
            socket.m_reader.completeFromLeftover();
        });
        return;
    }
    m_leftover.insert(0, bytes.view());
}

void AsyncSocketReader::setDeadline(int64_t deadline)
{
    m_deadline = deadline;
    if (m_current)
        m_current->deadline = deadline;
}

void AsyncSocketReader::scheduleDequeue()
{
    m_socket.scheduleNextPass(DequeueStep, [](AsyncSocket& socket) { socket.m_reader.maybeDequeue(); });
}

void AsyncSocketReader::queue(std::unique_ptr<AsyncReadPacket> packet)
{
    m_queue.push_back(std::move(packet));
    maybeDequeue();
}

void AsyncSocketReader::maybeDequeue()
{
    if (!m_socket.m_stream || !takeNext())
        return;
    m_current->deadline = m_deadline;
    auto keep = m_socket.self();
    m_socket.m_stream->setWantsBytes(true);
    // Queued from inside a read callback: it starts when that returns.
    if (waitsForCallback())
        return;
    startCurrent();
}

void AsyncSocketReader::startCurrent()
{
    auto keep = m_socket.self();
    AsyncReadPacket& packet = *m_current;
    // Bytes left over from the reads before are this read's first bytes.
    if (!m_leftover.empty()) {
        size_t take = m_leftover.size();
        if (packet.kind() == AsyncReadPacket::Kind::ToTerminator && packet.maxLength)
            take = static_cast<size_t>(std::min<uint64_t>(take, packet.maxLength));
        packet.buffer.assign(m_leftover, 0, take);
        m_leftover.erase(0, take);
        packet.bytesDone = take;
        switch (packet.kind()) {
        case AsyncReadPacket::Kind::AllAvailable:
            finishCurrent();
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
                m_socket.scheduleNextPass(CompleteFromLeftoverStep, [](AsyncSocket& socket) {
                    socket.m_reader.completeFromLeftover();
                });
                return;
            }
            break;
        }
    }
    bytesAvailable();
}

void AsyncSocketReader::completeFromLeftover()
{
    if (!m_current)
        return;
    auto keep = m_socket.self();
    AsyncReadPacket& packet = *m_current;
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
        bytesAvailable();
        return;
    }
    if (end < packet.bytesDone)
        m_leftover.insert(0, packet.buffer, end, static_cast<size_t>(packet.bytesDone) - end);
    packet.bytesDone = end;
    finishCurrent();
}

void AsyncSocketReader::bytesAvailable()
{
    if (!m_current || !m_socket.m_stream)
        return;
    auto keep = m_socket.self();
    AsyncReadPacket* packet = m_current.get();
    packet->restartTimeout();
    uint64_t passTotal = 0;
    bool done = false;
    bool error = false;
    while (!done && !error && m_socket.m_stream->hasBytesAvailable()) {
        const size_t room = packet->prepareRoom();
        if (room == 0) {
            done = packet->isFull();
            break;
        }
        const size_t before = static_cast<size_t>(packet->bytesDone);
        const ssize_t count = m_socket.m_stream->read(packet->buffer.data() + before, room);
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
                m_leftover.insert(0, packet->buffer, end, static_cast<size_t>(packet->bytesDone) - end);
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
        finishCurrent();
    } else if (!packet->readAllAvailableData() && passTotal > 0) {
        if (auto delegate = m_socket.delegate())
            delegate->onSocketDidReadPartialDataOfLength(m_socket, passTotal, packet->tag);
    }
    if (error) {
        const core::Error failure = m_socket.streamError();
        m_socket.closeWithError(failure ? &failure : nullptr);
    } else if (!done && m_readEnded && m_current.get() == packet) {
        m_socket.scheduleNextPass(ReadEndStep, [](AsyncSocket& socket) { socket.m_reader.closeAtReadEnd(); });
    }
    followLowWater();
}

void AsyncSocketReader::followLowWater()
{
    if (!m_socket.m_stream)
        return;
    size_t mark = 1;
    if (m_current && m_current->kind() == AsyncReadPacket::Kind::ToLength && m_current->length >= LowWaterFrom
        && m_current->bytesDone < m_current->length)
        mark = static_cast<size_t>(std::min<uint64_t>(m_current->length - m_current->bytesDone, LowWaterCap));
    m_socket.m_stream->setReadLowWater(mark);
    const bool held = m_socket.m_stream->readLowWater() > 1;
    if (held && !m_flushTimer) {
        m_flushTimer = m_socket.runLoop().schedule(m_socket.self(), LowWaterFlush, true, [](AsyncSocket& socket, core::Timer&) {
            socket.m_reader.flushHeldBytes();
        });
    } else if (!held && m_flushTimer) {
        std::exchange(m_flushTimer, nullptr)->invalidate();
    }
}

void AsyncSocketReader::flushHeldBytes()
{
    // Dropping the mark has the loop report the held bytes on its next
    // pass; the read sets it again.
    if (m_socket.m_stream && m_socket.m_stream->queuedBytes() > 0)
        m_socket.m_stream->setReadLowWater(1);
}

void AsyncSocketReader::closeAtReadEnd()
{
    if (m_current)
        m_socket.closeWithError(nullptr);
}

void AsyncSocketReader::finishCurrent()
{
    auto keep = m_socket.self();
    std::unique_ptr<AsyncReadPacket> packet = std::move(m_current);
    packet->buffer.resize(static_cast<size_t>(packet->bytesDone));
    const long tag = packet->tag;
    core::Data data(std::move(packet->buffer));
    packet.reset();
    deliver(std::move(data), tag);
    if (!m_socket.m_stream)
        return;
    if (m_current)
        return;
    // The next queued read starts on the next pass (one queued inside the
    // callback has started already).
    if (m_queue.empty())
        m_socket.m_stream->setWantsBytes(false);
    else
        scheduleDequeue();
}

void AsyncSocketReader::deliver(core::Data data, long tag)
{
    auto keep = m_socket.self();
    {
        CallbackScope scope(m_callbackDepth);
        if (auto delegate = m_socket.delegate())
            delegate->onSocketDidReadData(m_socket, data, tag);
    }
    // The bytes go before the next read takes a buffer (which can then be
    // the same memory).
    data = core::Data();
    // Reads queued inside callbacks run here, one after the other, rather
    // than inside each other: a delegate reading small pieces of a large
    // arrival never deepens the stack.
    serveWaiting([this] { return m_socket.m_stream != nullptr; }, [this] { startCurrent(); });
}

void AsyncSocketReader::recoverUnreadData()
{
    if (!m_current || m_current->bytesDone == 0)
        return;
    m_current->buffer.resize(static_cast<size_t>(m_current->bytesDone));
    m_leftover.insert(0, m_current->buffer);
    m_current->buffer = std::string();
    m_current->bytesDone = 0;
}

void AsyncSocketReader::clear()
{
    clearRequests();
    m_readEnded = false;
    m_deadline = 0;
    if (m_flushTimer)
        std::exchange(m_flushTimer, nullptr)->invalidate();
    m_leftover = std::string();
}

#include "HTTP/AsyncSocketWriter.h"

#include "HTTP/AsyncSocket.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <utility>

void AsyncSocketWriter::enqueue(std::unique_ptr<AsyncWritePacket> packet)
{
    m_queue.push_back(std::move(packet));
    maybeDequeue();
}

ssize_t AsyncSocketWriter::sendFilePiece(AsyncWritePacket& packet)
{
    if (packet.fileDescriptor < 0) {
        m_fileError = packet.fileError;
        return -1;
    }
    if (!m_socket.m_stream->isSecure())
        return m_socket.m_stream->sendFile(packet.fileDescriptor, packet.fileOffset + packet.bytesDone, packet.nextLength());
    // TLS has to see the bytes: one buffer per socket, refilled once the
    // stream has taken all of it (a refused record is offered again as is).
    if (m_fileBufferStart == m_fileBufferEnd) {
        if (!m_fileBuffer)
            m_fileBuffer.reset(new char[AsyncSocket::FileBufferSize]);
        const size_t want = static_cast<size_t>(std::min<uint64_t>(AsyncSocket::FileBufferSize, packet.length() - packet.bytesDone));
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
    const ssize_t count = m_socket.m_stream->write(m_fileBuffer.get() + m_fileBufferStart, m_fileBufferEnd - m_fileBufferStart);
    if (count > 0)
        m_fileBufferStart += static_cast<size_t>(count);
    return count;
}

void AsyncSocketWriter::maybeDequeue()
{
    if (!m_socket.m_stream || !takeNext())
        return;
    auto keep = m_socket.self();
    m_fileBufferStart = m_fileBufferEnd = 0;
    m_socket.m_stream->setWantsSpace(true);
    if (waitsForCallback())
        return;
    sendBytes();
}

void AsyncSocketWriter::sendBytes()
{
    if (!m_current || !m_socket.m_stream)
        return;
    auto keep = m_socket.self();
    AsyncWritePacket* packet = m_current.get();
    bool done = packet->isDone();
    bool error = false;
    while (!done && !error && m_socket.m_stream->canAcceptBytes()) {
        const ssize_t count = packet->isFile()
            ? sendFilePiece(*packet)
            : m_socket.m_stream->write(packet->buffer.bytes() + packet->bytesDone, packet->nextLength(),
                packet->moreFollows || !m_queue.empty());
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
            if (auto delegate = m_socket.delegate())
                delegate->onSocketDidWritePartialDataOfLength(m_socket, packet->bytesDone, packet->tag);
            // The delegate may have closed the socket.
            if (m_current.get() != packet || !m_socket.m_stream)
                return;
        }
    }
    if (done) {
        const long tag = packet->tag;
        m_current.reset();
        if (m_queue.empty())
            m_socket.m_stream->setWantsSpace(false);
        m_socket.maybeScheduleDisconnect();
        {
            CallbackScope scope(m_callbackDepth);
            if (auto delegate = m_socket.delegate())
                delegate->onSocketDidWriteDataWithTag(m_socket, tag);
        }
        if (m_socket.m_stream && !m_current && !m_queue.empty())
            m_socket.scheduleNextPass(DequeueStep, [](AsyncSocket& socket) { socket.m_writer.maybeDequeue(); });
        // Writes queued inside the callback run here, not inside it.
        serveWaiting([this] { return m_socket.m_stream != nullptr; }, [this] { sendBytes(); });
    }
    if (error) {
        const core::Error failure = m_fileError ? core::Error::posix(std::exchange(m_fileError, 0)) : m_socket.streamError();
        m_socket.closeWithError(failure ? &failure : nullptr);
    }
}

void AsyncSocketWriter::clear()
{
    clearRequests();
}

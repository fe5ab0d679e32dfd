#include "Platform/Net/FileSplicer.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace net {

namespace {

constexpr int PipeSize = 1 << 20;

} // namespace

FileSplicer::~FileSplicer()
{
    if (m_read >= 0)
        ::close(m_read);
    if (m_write >= 0)
        ::close(m_write);
}

bool FileSplicer::open()
{
    if (m_read >= 0)
        return true;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    const int size = fcntl(ends[1], F_SETPIPE_SZ, PipeSize);
    if (size < PipeSize) {
        ::close(ends[0]);
        ::close(ends[1]);
        return false;
    }
    m_read = ends[0];
    m_write = ends[1];
    m_capacity = static_cast<size_t>(size);
    return true;
}

void FileSplicer::dropHeld()
{
    // A pipe cannot be emptied without reading it: a new one stands in.
    ::close(m_read);
    ::close(m_write);
    m_read = m_write = -1;
    m_held = 0;
}

ssize_t FileSplicer::send(int socket, int file, uint64_t offset, size_t count)
{
    if (m_held > 0 && (file != m_heldFile || offset != m_heldOffset))
        dropHeld();
    if (m_read < 0 && !open()) {
        errno = ENOMEM;
        return -1;
    }
    size_t total = 0;
    while (total < count) {
        if (m_held == 0) {
            // Bytes already in the pipe count toward `count`: only the
            // rest is read.
            loff_t position = static_cast<loff_t>(offset + total);
            const size_t want = count - total < m_capacity ? count - total : m_capacity;
            const ssize_t read = ::splice(file, &position, m_write, nullptr, want, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
            if (read <= 0) {
                if (total > 0)
                    return static_cast<ssize_t>(total);
                if (read == 0)
                    errno = EIO; // the file ended before the bytes asked for
                return -1;
            }
            m_held = static_cast<size_t>(read);
            m_heldFile = file;
            m_heldOffset = offset + total;
        }
        const size_t give = m_held < count - total ? m_held : count - total;
        const ssize_t taken = ::splice(m_read, nullptr, socket, nullptr, give, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (taken <= 0)
            return total > 0 ? static_cast<ssize_t>(total) : (taken == 0 ? (errno = EAGAIN, -1) : -1);
        m_held -= static_cast<size_t>(taken);
        m_heldOffset += static_cast<uint64_t>(taken);
        total += static_cast<size_t>(taken);
        if (m_held > 0)
            return static_cast<ssize_t>(total); // the socket is full
    }
    return static_cast<ssize_t>(total);
}

} // namespace net

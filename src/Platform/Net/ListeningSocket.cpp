#include "Platform/Net/ListeningSocket.h"

#include "Platform/Core/DescriptorSource.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Net/SocketTestHooks.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

std::shared_ptr<ListeningSocket> ListeningSocket::create(AcceptHandler handler)
{
    return std::shared_ptr<ListeningSocket>(new ListeningSocket(std::move(handler)));
}

ListeningSocket::~ListeningSocket()
{
    close();
}

bool ListeningSocket::listen(const sockaddr_in& address, core::Error* error)
{
    if (m_fd >= 0) {
        core::setError(error, core::Error::posix(EISCONN));
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        core::setError(error, core::Error::posix(errno));
        return false;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, Backlog) != 0) {
        const int code = errno;
        ::close(fd);
        core::setError(error, core::Error::posix(code));
        return false;
    }
    m_fd = fd;
    m_loop = &core::RunLoop::current();
    std::weak_ptr<ListeningSocket> weak = shared_from_this();
    m_source = m_loop->addSource(fd, core::DescriptorSource::Read, [weak](core::DescriptorSource&, unsigned) {
        if (auto listener = weak.lock())
            listener->acceptWaiting();
    });
    return true;
}

void ListeningSocket::acceptWaiting()
{
    auto self = shared_from_this();
    while (m_fd >= 0 && m_accepting) {
        int fd = -1;
        if (const int injected = SocketTestHooks::takeAcceptError())
            errno = injected;
        else
            fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            m_shortageLogged = false;
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            if (m_handler)
                m_handler(fd);
            else
                ::close(fd);
            continue;
        }
        switch (errno) {
        case EAGAIN:
#if EAGAIN != EWOULDBLOCK
        case EWOULDBLOCK:
#endif
            return;
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
            continue;
        default:
            // Out of descriptors (or buffers): the waiting connection stays
            // readable, so watching on would spin. Wait for some to free up.
            if (!m_shortageLogged)
                core::log("Warning, cannot accept connections on port {}: {}; retrying in {} s", port(),
                    std::strerror(errno), ShortagePause);
            m_shortageLogged = true;
            pause();
            return;
        }
    }
}

void ListeningSocket::pause()
{
    if (!m_source || !m_loop)
        return;
    m_source->setInterest(0);
    std::weak_ptr<ListeningSocket> weak = shared_from_this();
    if (m_resume)
        m_resume->invalidate();
    m_resume = m_loop->schedule(ShortagePause, false, [weak](core::Timer&) {
        auto listener = weak.lock();
        if (!listener || !listener->m_source)
            return;
        listener->m_resume.reset();
        if (listener->m_accepting)
            listener->m_source->setInterest(core::DescriptorSource::Read);
    });
}

void ListeningSocket::setAccepting(bool accepting)
{
    if (accepting == m_accepting)
        return;
    m_accepting = accepting;
    // While a shortage pause runs, its timer resumes watching.
    if (m_source && !m_resume)
        m_source->setInterest(accepting ? static_cast<unsigned>(core::DescriptorSource::Read) : 0u);
}

void ListeningSocket::close()
{
    if (m_source && m_loop && !m_loop->isCurrent()) {
        // Let go of on another thread: the loop's own thread stops watching
        // (and its timer) before the descriptor closes.
        m_loop->post([source = std::move(m_source), resume = std::move(m_resume), fd = m_fd] {
            if (resume)
                resume->invalidate();
            source->remove();
            ::close(fd);
        });
        m_fd = -1;
    }
    if (m_resume) {
        m_resume->invalidate();
        m_resume.reset();
    }
    if (m_source) {
        m_source->remove();
        m_source.reset();
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_loop = nullptr;
}

uint16_t ListeningSocket::port() const
{
    sockaddr_in address {};
    socklen_t length = sizeof address;
    if (m_fd < 0 || getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

std::string ListeningSocket::host() const
{
    sockaddr_in address {};
    socklen_t length = sizeof address;
    if (m_fd < 0 || getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

} // namespace net

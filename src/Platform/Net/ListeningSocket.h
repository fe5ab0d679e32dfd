#pragma once

#include "Platform/Core/Error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <string>

namespace core {
class DescriptorSource;
class RunLoop;
class Timer;
} // namespace core

namespace net {

// A listening IPv4 TCP socket on the current run loop. Every connection
// waiting when it becomes readable is accepted (non-blocking,
// close-on-exec, TCP_NODELAY, so that a response's head and body leave at
// once) and handed to the handler, which owns the descriptor from then on.
// When the process runs out of descriptors, the listener logs it once and
// stops watching for 100 ms instead of spinning on the waiting connection.
class ListeningSocket : public std::enable_shared_from_this<ListeningSocket> {
public:
    using AcceptHandler = std::function<void(int fd)>;
    static constexpr int Backlog = 511;
    static constexpr double ShortagePause = 0.1;

    static std::shared_ptr<ListeningSocket> create(AcceptHandler handler);
    ~ListeningSocket();
    ListeningSocket(const ListeningSocket&) = delete;
    ListeningSocket& operator=(const ListeningSocket&) = delete;

    // Binds (with address reuse) and listens on `address`; port 0 lets the
    // system choose. False with a POSIX error when it cannot.
    bool listen(const sockaddr_in& address, core::Error* error = nullptr);
    void close();
    // Stops or resumes accepting: connections meanwhile wait in the
    // system's queue (up to the backlog), costing no descriptor.
    void setAccepting(bool accepting);

    bool isListening() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    uint16_t port() const;
    std::string host() const;

private:
    explicit ListeningSocket(AcceptHandler handler) : m_handler(std::move(handler)) { }
    void acceptWaiting();
    void pause();

    AcceptHandler m_handler;
    int m_fd = -1;
    core::RunLoop* m_loop = nullptr;
    std::shared_ptr<core::DescriptorSource> m_source;
    std::shared_ptr<core::Timer> m_resume;
    bool m_shortageLogged = false;
    bool m_accepting = true;
};

} // namespace net

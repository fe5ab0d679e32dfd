#pragma once

// A plain client socket on the loopback, for talking to a server that lives
// on the main loop byte by byte (kept-alive connections, half-sent
// requests); reading pumps the main loop.

#include "Platform/Core/RunLoop.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace test {

class RawClient {
public:
    explicit RawClient(uint16_t port)
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        fcntl(m_fd, F_SETFL, O_NONBLOCK);
    }
    ~RawClient() { close(m_fd); }

    void send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent > 0)
                bytes.remove_prefix(static_cast<size_t>(sent));
            else
                core::RunLoop::main().runOnce(core::RunLoop::DefaultMode, 0.01);
        }
    }
    // Pumps until the text holds `needle` (or the server closed).
    const std::string& readUntil(std::string_view needle, size_t count = 1, double seconds = 20)
    {
        core::RunLoop::main().runUntil([&] {
            pull();
            return m_closed || occurrences(needle) >= count;
        }, seconds);
        return m_received;
    }
    // Pumps until `total` bytes arrived in all (or the server closed).
    const std::string& readBytes(size_t total, double seconds = 20)
    {
        core::RunLoop::main().runUntil([&] {
            pull();
            return m_closed || m_received.size() >= total;
        }, seconds);
        return m_received;
    }
    bool waitForClose()
    {
        core::RunLoop::main().runUntil([&] {
            pull();
            return m_closed;
        }, 20);
        return m_closed;
    }
    size_t occurrences(std::string_view needle) const
    {
        size_t found = 0;
        for (size_t at = m_received.find(needle); at != std::string::npos; at = m_received.find(needle, at + 1))
            ++found;
        return found;
    }
    const std::string& received() const { return m_received; }
    // Says the request is all there is (the server may still answer).
    void shutdownSending() { shutdown(m_fd, SHUT_WR); }

private:
    void pull()
    {
        char buffer[65536];
        for (;;) {
            ssize_t got = recv(m_fd, buffer, sizeof buffer, 0);
            if (got > 0) {
                m_received.append(buffer, static_cast<size_t>(got));
                continue;
            }
            if (got == 0)
                m_closed = true;
            return;
        }
    }

    int m_fd = -1;
    bool m_closed = false;
    std::string m_received;
};

} // namespace test

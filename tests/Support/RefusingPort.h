#pragma once

#include <cstdint>

namespace test {

// A loopback port the system chose, bound by a socket that never listens:
// a connection to it is refused, and no other socket of the machine (a
// listener of another test, an outgoing connection's own end) takes it
// while this object lives. A port bound and let go at once could be any
// socket's by the time the test connects to it.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    uint16_t port() const { return m_port; }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

} // namespace test

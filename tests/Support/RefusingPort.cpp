#include "Support/RefusingPort.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace test {

RefusingPort::RefusingPort()
    : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ADD_FAILURE() << "no port to refuse on: " << std::strerror(errno);
        return;
    }
    m_port = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace test

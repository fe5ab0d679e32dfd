#pragma once

// Ports held by listeners of the test's own, so that the server finds them
// taken. Header-only: the listeners are the server library's sockets, which
// the support library does not link.

#include "HTTP/AsyncSocket.h"
#include "HTTP/AsyncSocketDelegate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace test {

class HeldPorts {
public:
    ~HeldPorts()
    {
        for (auto& listener : m_listeners)
            listener->disconnect();
    }
    // A new port the system chose, held until this object goes.
    uint16_t hold()
    {
        m_delegates.push_back(std::make_shared<AsyncSocketDelegate>());
        auto socket = AsyncSocket::create(m_delegates.back());
        EXPECT_TRUE(socket->acceptOnPort(0));
        m_listeners.push_back(socket);
        return socket->localPort();
    }

private:
    std::vector<std::shared_ptr<AsyncSocketDelegate>> m_delegates;
    std::vector<std::shared_ptr<AsyncSocket>> m_listeners;
};

} // namespace test

#pragma once

#include "HTTP/NetServicePublisher.h"

#include <memory>

namespace net {
class AvahiServicePublisher;
}

// The program's announcement backend: the server's services go out through
// the Avahi daemon (net::AvahiServicePublisher). Made on the main thread.
class AvahiNetServicePublisher : public NetServicePublisher {
public:
    static std::shared_ptr<AvahiNetServicePublisher> create();

    std::shared_ptr<NetService> publish(const std::string& domain, const std::string& type, const std::string& name,
        uint16_t port, Completion completion) override;

private:
    std::shared_ptr<net::AvahiServicePublisher> m_publisher;
};

#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Object.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// One announcement of the server on the local network.
class NetService : public core::Object {
public:
    virtual const std::string& domain() const = 0;
    virtual const std::string& type() const = 0;
    // The name the service was published under (the device's name when it was
    // published with an empty one); empty until published.
    virtual const std::string& name() const = 0;
    virtual const std::string& hostName() const = 0;
    virtual uint16_t port() const = 0;
    // The TXT record in its standard encoding.
    virtual void setTXTRecordData(const core::Data& data) = 0;
    // Withdraws the announcement; nothing is reported after it.
    virtual void stop() = 0;
};

// Where the server's announcements go. The program wires in the real backend;
// the default announces nothing (and reports nothing), so a server without one
// simply has no Bonjour address.
class NetServicePublisher {
public:
    // Told on the main loop whether the service went out; `published` false
    // when it could not be announced.
    using Completion = std::function<void(NetService& service, bool published)>;

    virtual ~NetServicePublisher() = default;

    // Starts publishing; an empty name asks for the device's name. Null when
    // nothing will be announced.
    virtual std::shared_ptr<NetService> publish(const std::string& domain, const std::string& type,
        const std::string& name, uint16_t port, Completion completion);

    static std::shared_ptr<NetServicePublisher> shared();
    // Null puts the do-nothing default back.
    static void setShared(std::shared_ptr<NetServicePublisher> publisher);
};

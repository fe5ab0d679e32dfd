#pragma once

// A stand-in for the server's announcements: every service is published on
// the next loop pass under one fixed name, and kept so that a test can
// report a withdrawal (its completion with false) or read what was
// announced. Header-only: the test programs that use it link the server.

#include "HTTP/NetServicePublisher.h"
#include "Platform/Core/RunLoop.h"

#include <memory>
#include <string>
#include <vector>

namespace test {

class FakeService : public NetService {
public:
    std::string m_domain, m_type, m_name, m_host = "tablet.local";
    uint16_t m_port = 0;
    core::Data txt;
    NetServicePublisher::Completion completion;
    bool stopped = false;
    const std::string& domain() const override { return m_domain; }
    const std::string& type() const override { return m_type; }
    const std::string& name() const override { return m_name; }
    const std::string& hostName() const override { return m_host; }
    uint16_t port() const override { return m_port; }
    void setTXTRecordData(const core::Data& data) override { txt = data; }
    void stop() override { stopped = true; }
};

class FakePublisher : public NetServicePublisher {
public:
    explicit FakePublisher(std::string name = "My Tablet") : deviceName(std::move(name)) { }

    std::string deviceName;
    std::vector<std::shared_ptr<FakeService>> services;

    std::shared_ptr<NetService> publish(const std::string& domain, const std::string& type, const std::string&,
        uint16_t port, Completion completion) override
    {
        auto service = std::make_shared<FakeService>();
        service->m_domain = domain;
        service->m_type = type;
        service->m_name = deviceName;
        service->m_port = port;
        service->completion = completion;
        services.push_back(service);
        core::RunLoop::main().performAfter(0, [service, completion] { completion(*service, true); });
        return service;
    }
};

} // namespace test

#include "HTTP/AvahiNetServicePublisher.h"

#include "Platform/Net/AvahiServicePublisher.h"

namespace {

// One announcement as the server sees it, over the Avahi service.
class AvahiNetService : public NetService {
public:
    std::shared_ptr<net::AvahiServicePublisher::Service> service;

    const std::string& domain() const override { return service->domain(); }
    const std::string& type() const override { return service->type(); }
    const std::string& name() const override { return service->name(); }
    const std::string& hostName() const override { return service->hostName(); }
    uint16_t port() const override { return service->port(); }
    void setTXTRecordData(const core::Data& data) override { service->setTXTRecordData(data.toString()); }
    void stop() override { service->stop(); }
};

} // namespace

std::shared_ptr<AvahiNetServicePublisher> AvahiNetServicePublisher::create()
{
    auto publisher = std::make_shared<AvahiNetServicePublisher>();
    publisher->m_publisher = net::AvahiServicePublisher::create();
    return publisher;
}

std::shared_ptr<NetService> AvahiNetServicePublisher::publish(const std::string& domain, const std::string& type,
    const std::string& name, uint16_t port, Completion completion)
{
    auto wrapper = std::make_shared<AvahiNetService>();
    std::weak_ptr<AvahiNetService> weak = wrapper;
    wrapper->service = m_publisher->publish(domain, type, name, port,
        [weak, completion = std::move(completion)](net::AvahiServicePublisher::Service&, bool published) {
            if (auto self = weak.lock())
                completion(*self, published);
        });
    return wrapper;
}

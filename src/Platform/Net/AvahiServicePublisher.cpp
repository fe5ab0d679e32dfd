#include "Platform/Net/AvahiServicePublisher.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/AvahiRunLoopPoll.h"

#include <fmt/format.h>

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>

namespace net {

namespace {

// After the bus went away, a new client is tried this often, so that a
// missing bus costs nothing between tries.
constexpr double ReconnectInterval = 10.0;
// Attempts at an alternative name when the chosen one is held locally.
constexpr int NameAttempts = 32;

const char* domainOrDefault(const std::string& domain)
{
    return domain.empty() || domain == "local." || domain == "local" ? nullptr : domain.c_str();
}

std::string typeWithoutDot(std::string type)
{
    while (!type.empty() && type.back() == '.')
        type.pop_back();
    return type;
}

std::string cutName(std::string name)
{
    if (name.size() <= AvahiServicePublisher::MaximumNameLength)
        return name;
    size_t cut = AvahiServicePublisher::MaximumNameLength;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    name.resize(cut);
    return name;
}

std::string alternativeName(const std::string& name)
{
    char* alternative = avahi_alternative_service_name(name.c_str());
    std::string result = alternative ? cutName(alternative) : name + " #2";
    avahi_free(alternative);
    return result;
}

// The standard TXT encoding as Avahi's list; null for none or for bytes that
// are not the encoding.
AvahiStringList* txtList(const std::string& bytes)
{
    AvahiStringList* list = nullptr;
    if (bytes.empty() || avahi_string_list_parse(bytes.data(), bytes.size(), &list) < 0)
        return nullptr;
    return list;
}

} // namespace

struct AvahiServicePublisher::Callbacks {
    static void client(AvahiClient* client, AvahiClientState state, void* userdata)
    {
        static_cast<AvahiServicePublisher*>(userdata)->clientChanged(client, state);
    }
    static void group(AvahiEntryGroup* group, AvahiEntryGroupState state, void* userdata)
    {
        auto* service = static_cast<Service*>(userdata);
        if (service->m_publisher)
            service->m_publisher->groupChanged(*service, group, state);
    }
};

std::shared_ptr<AvahiServicePublisher> AvahiServicePublisher::create()
{
    std::shared_ptr<AvahiServicePublisher> publisher(new AvahiServicePublisher());
    publisher->connect();
    return publisher;
}

AvahiServicePublisher::AvahiServicePublisher()
    : m_poll(std::make_unique<AvahiRunLoopPoll>(core::RunLoop::current()))
{
}

AvahiServicePublisher::~AvahiServicePublisher()
{
    withdrawAll(false);
    if (m_client)
        avahi_client_free(m_client);
    m_client = nullptr;
}

void AvahiServicePublisher::connect()
{
    int error = 0;
    // The callback may run before this returns; it takes the client from
    // its argument.
    AvahiClient* client = avahi_client_new(m_poll->api(), AVAHI_CLIENT_NO_FAIL, &Callbacks::client, this, &error);
    if (!client) {
        noteUnavailable(fmt::format("Avahi client not available: {}", avahi_strerror(error)));
        scheduleReconnect(ReconnectInterval);
        return;
    }
    m_client = client;
}

bool AvahiServicePublisher::isRunning() const
{
    return m_client && m_state == AVAHI_CLIENT_S_RUNNING;
}

std::shared_ptr<AvahiServicePublisher::Service> AvahiServicePublisher::publish(const std::string& domain,
    const std::string& type, const std::string& name, uint16_t port, Callback callback)
{
    std::shared_ptr<Service> service(new Service());
    service->m_publisher = shared_from_this();
    service->m_domain = domain;
    service->m_type = type;
    service->m_requestedName = cutName(name);
    service->m_port = port;
    service->m_callback = std::move(callback);
    std::erase_if(m_services, [](const std::weak_ptr<Service>& weak) { return weak.expired(); });
    m_services.push_back(service);
    if (!m_client && !m_reconnectPending)
        connect();
    if (isRunning())
        add(*service);
    else if (!m_client || m_state == AVAHI_CLIENT_CONNECTING || m_state == AVAHI_CLIENT_FAILURE)
        report(*service, false);
    return service;
}

void AvahiServicePublisher::clientChanged(AvahiClient* client, int state)
{
    m_client = client;
    m_state = state;
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        if (m_loggedUnavailable) {
            m_loggedUnavailable = false;
            core::log("Avahi daemon is running");
        }
        for (auto& weak : std::vector(m_services))
            if (auto service = weak.lock(); service && !service->m_stopped && !service->m_group)
                add(*service);
        break;
    case AVAHI_CLIENT_S_REGISTERING:
    case AVAHI_CLIENT_S_COLLISION:
        // The host is (re)naming itself; the services go out again once it
        // runs.
        withdrawAll(false);
        break;
    case AVAHI_CLIENT_CONNECTING:
        withdrawAll(true);
        break;
    case AVAHI_CLIENT_FAILURE:
        noteUnavailable(fmt::format("Avahi client failed: {}", avahi_strerror(avahi_client_errno(client))));
        withdrawAll(true);
        // A daemon that went away is waited for by a new client at once;
        // a bus that went away is tried again now and then.
        scheduleReconnect(avahi_client_errno(client) == AVAHI_ERR_DISCONNECTED ? 0 : ReconnectInterval);
        break;
    }
}

void AvahiServicePublisher::noteUnavailable(const std::string& why)
{
    // Retries find the same state again and again: only the change is news.
    if (m_loggedUnavailable)
        return;
    m_loggedUnavailable = true;
    core::log("{}", why);
}

void AvahiServicePublisher::scheduleReconnect(double delay)
{
    if (m_reconnectPending)
        return;
    m_reconnectPending = true;
    std::weak_ptr<AvahiServicePublisher> weak = weak_from_this();
    // Never inside the client's own callback.
    core::RunLoop::current().performAfter(delay, [weak] {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_reconnectPending = false;
        if (self->m_client)
            avahi_client_free(self->m_client);
        self->m_client = nullptr;
        self->m_state = -1;
        self->connect();
    }, {}, core::RunLoop::CommonModes);
}

void AvahiServicePublisher::add(Service& service)
{
    if (!service.m_group) {
        service.m_group = avahi_entry_group_new(m_client, &Callbacks::group, &service);
        if (!service.m_group) {
            core::log("Avahi could not make an entry group: {}", avahi_strerror(avahi_client_errno(m_client)));
            report(service, false);
            return;
        }
    }
    if (service.m_tryName.empty()) {
        const char* hostName = avahi_client_get_host_name(m_client);
        service.m_tryName = !service.m_requestedName.empty() ? service.m_requestedName
            : hostName                                        ? cutName(hostName)
                                                              : std::string("Tandry");
    }
    std::string type = typeWithoutDot(service.m_type);
    AvahiStringList* txt = txtList(service.m_txt);
    int status = AVAHI_ERR_COLLISION;
    for (int attempt = 0; attempt < NameAttempts && status == AVAHI_ERR_COLLISION; ++attempt) {
        status = avahi_entry_group_add_service_strlst(service.m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
            AvahiPublishFlags(0), service.m_tryName.c_str(), type.c_str(), domainOrDefault(service.m_domain), nullptr,
            service.m_port, txt);
        if (status == AVAHI_ERR_COLLISION)
            service.m_tryName = alternativeName(service.m_tryName);
    }
    avahi_string_list_free(txt);
    if (status >= 0)
        status = avahi_entry_group_commit(service.m_group);
    if (status < 0) {
        core::log("Avahi could not announce '{}' ({}): {}", service.m_tryName, type, avahi_strerror(status));
        avahi_entry_group_reset(service.m_group);
        report(service, false);
    }
}

void AvahiServicePublisher::groupChanged(Service& service, AvahiEntryGroup* group, int state)
{
    if (service.m_stopped)
        return;
    switch (state) {
    case AVAHI_ENTRY_GROUP_ESTABLISHED: {
        service.m_name = service.m_tryName;
        const char* hostName = avahi_client_get_host_name_fqdn(m_client);
        service.m_hostName = hostName ? hostName : "";
        report(service, true);
        break;
    }
    case AVAHI_ENTRY_GROUP_COLLISION:
        // Someone else on the network holds the name.
        service.m_tryName = alternativeName(service.m_tryName);
        avahi_entry_group_reset(group);
        service.m_group = group;
        add(service);
        break;
    case AVAHI_ENTRY_GROUP_FAILURE:
        core::log("Avahi could not announce '{}': {}", service.m_tryName,
            avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(group))));
        report(service, false);
        break;
    default:
        break;
    }
}

void AvahiServicePublisher::withdrawAll(bool reportThem)
{
    for (auto& weak : std::vector(m_services)) {
        auto service = weak.lock();
        if (!service)
            continue;
        if (service->m_group)
            avahi_entry_group_free(service->m_group);
        service->m_group = nullptr;
        service->m_tryName.clear();
        if (reportThem && !service->m_stopped)
            report(*service, false);
    }
}

void AvahiServicePublisher::report(Service& service, bool published)
{
    if (!published) {
        service.m_name.clear();
        if (service.m_reported == Service::Reported::NotPublished)
            return;
    }
    service.m_reported = published ? Service::Reported::Published : Service::Reported::NotPublished;
    std::weak_ptr<Service> weak = service.weak_from_this();
    // Told in a later pass, so that whoever is told may stop the service or
    // publish another without re-entering Avahi.
    core::RunLoop::current().performAfter(0, [weak, published] {
        auto service = weak.lock();
        if (!service || service->m_stopped || !service->m_callback)
            return;
        auto callback = service->m_callback;
        callback(*service, published);
    }, {}, core::RunLoop::CommonModes);
}

AvahiServicePublisher::Service::~Service()
{
    stop();
}

void AvahiServicePublisher::Service::setTXTRecordData(const std::string& bytes)
{
    if (bytes == m_txt)
        return;
    m_txt = bytes;
    if (!m_group || m_reported != Reported::Published)
        return;
    AvahiStringList* txt = txtList(m_txt);
    int status = avahi_entry_group_update_service_txt_strlst(m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
        AvahiPublishFlags(0), m_name.c_str(), typeWithoutDot(m_type).c_str(), domainOrDefault(m_domain), txt);
    avahi_string_list_free(txt);
    if (status < 0)
        core::log("Avahi could not update the TXT record of '{}': {}", m_name, avahi_strerror(status));
}

void AvahiServicePublisher::Service::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_callback = nullptr;
    if (m_group)
        avahi_entry_group_free(m_group);
    m_group = nullptr;
    m_name.clear();
    auto publisher = std::move(m_publisher);
    if (publisher)
        std::erase_if(publisher->m_services, [this](const std::weak_ptr<Service>& weak) {
            auto service = weak.lock();
            return !service || service.get() == this;
        });
}

} // namespace net

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct AvahiClient;
struct AvahiEntryGroup;

namespace net {

class AvahiRunLoopPoll;

// Announces services through the Avahi daemon, on the run loop it was made
// on (the main one). Where there is no system bus the client cannot be made
// and every service is reported as not published at once; where the bus has
// no daemon the services are reported as not published and go out when the
// daemon appears. When the daemon goes away, every published service is
// reported as not published, and published again when it returns. The log
// hears of the daemon's absence once, and of its return, however often the
// publisher tries again meanwhile.
class AvahiServicePublisher : public std::enable_shared_from_this<AvahiServicePublisher> {
public:
    class Service;
    struct Callbacks;
    // Told on the loop, in a later pass than the event: true with the name
    // the service got, false when it is not (or no longer) announced.
    using Callback = std::function<void(Service& service, bool published)>;

    static std::shared_ptr<AvahiServicePublisher> create();
    ~AvahiServicePublisher();

    // `type` as "_http._tcp." (the trailing dot is dropped), `domain`
    // "local." for the default one; an empty name asks for the host's name.
    std::shared_ptr<Service> publish(const std::string& domain, const std::string& type, const std::string& name,
        uint16_t port, Callback callback);

    // Whether the daemon answers now.
    bool isRunning() const;
    // Longer names are cut there, at a character boundary.
    static constexpr size_t MaximumNameLength = 63;

    class Service : public std::enable_shared_from_this<Service> {
    public:
        ~Service();
        const std::string& domain() const { return m_domain; }
        const std::string& type() const { return m_type; }
        // The name it went out under; empty until then.
        const std::string& name() const { return m_name; }
        // The host's name in the domain ("tablet.local"), once published.
        const std::string& hostName() const { return m_hostName; }
        uint16_t port() const { return m_port; }
        // The TXT record in its standard encoding (length-prefixed strings).
        void setTXTRecordData(const std::string& bytes);
        // Withdraws the announcement; nothing is reported after it.
        void stop();

    private:
        friend class AvahiServicePublisher;
        friend struct AvahiServicePublisher::Callbacks;
        enum class Reported { Nothing, Published, NotPublished };
        Service() = default;

        std::shared_ptr<AvahiServicePublisher> m_publisher;
        std::string m_domain;
        std::string m_type;
        std::string m_requestedName;
        std::string m_tryName;
        std::string m_name;
        std::string m_hostName;
        uint16_t m_port = 0;
        std::string m_txt;
        Callback m_callback;
        AvahiEntryGroup* m_group = nullptr;
        Reported m_reported = Reported::Nothing;
        bool m_stopped = false;
    };

private:
    friend struct Callbacks;
    AvahiServicePublisher();
    void connect();
    void clientChanged(AvahiClient* client, int state);
    void add(Service& service);
    void groupChanged(Service& service, AvahiEntryGroup* group, int state);
    void withdrawAll(bool report);
    void report(Service& service, bool published);
    void scheduleReconnect(double delay);
    // Logs why the daemon cannot be reached, once until it is reached again.
    void noteUnavailable(const std::string& why);

    std::unique_ptr<AvahiRunLoopPoll> m_poll;
    AvahiClient* m_client = nullptr;
    int m_state = -1;
    bool m_reconnectPending = false;
    bool m_loggedUnavailable = false;
    std::vector<std::weak_ptr<Service>> m_services;
};

} // namespace net

#pragma once

#include "Kit/NetReachabilityDelegate.h"
#include "Platform/Core/Object.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sockaddr;

namespace core {
class RunLoop;
}
namespace net {
class Reachability;
}

// Watches whether an address, a host name or the default route can be
// reached, and over which kind of link. While a delegate is set, changes are
// told to it and then posted as DidUpdateNotification (object: the watcher),
// on the run loop of the thread that made the watcher. Also answers the
// device's Wi-Fi address, for showing where the server is.
class NetReachability : public core::Object {
public:
    static constexpr const char* DidUpdateNotification = "NetReachabilityDidUpdateNotification";

    // YES watches the default route (0.0.0.0), NO the link-local network
    // (169.254.0.0).
    static std::shared_ptr<NetReachability> initWithDefaultRoute(bool defaultRoute);
    // Network byte order.
    static std::shared_ptr<NetReachability> initWithIPv4Address(uint32_t address);
    // Null for a null address or one that is not IPv4.
    static std::shared_ptr<NetReachability> initWithAddress(const sockaddr* address);
    ~NetReachability() override;

    std::shared_ptr<NetReachabilityDelegate> delegate() const { return m_delegate.lock(); }
    // Setting the first delegate starts watching (a failure is logged and
    // leaves no delegate); another only replaces it; null stops watching.
    // On the creating thread.
    void setDelegate(const std::shared_ptr<NetReachabilityDelegate>& delegate);

    bool isReachable() const;
    bool isUsingCell() const;
    bool isReachableUsingWifi() const { return isReachable() && !isUsingCell(); }

    // The IPv4 address of the first wireless or wired interface in the
    // system's list ("en…", "eth…", "wl…"), nothing when there is none.
    static std::optional<std::string> getWifiIPAddress();

    std::string description() const override;

private:
    NetReachability(std::shared_ptr<net::Reachability> reachability);
    static std::shared_ptr<NetReachability> make(std::shared_ptr<net::Reachability> reachability);
    void reachabilityChanged(uint32_t flags);

    std::shared_ptr<net::Reachability> m_netReachability;
    std::shared_ptr<core::RunLoop> m_runLoop;
    std::weak_ptr<NetReachabilityDelegate> m_delegate;
    bool m_scheduled = false;
};

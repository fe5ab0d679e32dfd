#include "Kit/NetReachability.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/InterfaceAddresses.h"
#include "Platform/Net/Reachability.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

constexpr uint32_t ReachableMask = net::Reachability::Reachable | net::Reachability::ConnectionRequired;
constexpr uint32_t CellMask = ReachableMask | net::Reachability::IsWWAN;

bool reachableFrom(uint32_t flags)
{
    return (flags & ReachableMask) == net::Reachability::Reachable;
}

bool usingCellFrom(uint32_t flags)
{
    return (flags & CellMask) == (net::Reachability::Reachable | net::Reachability::IsWWAN);
}

// Linux names its Wi-Fi and Ethernet links wlan0, wlp2s0, eth0, enp3s0.
bool isWifiOrWiredName(std::string_view name)
{
    return name.starts_with("en") || name.starts_with("eth") || name.starts_with("wl");
}

} // namespace

std::shared_ptr<NetReachability> NetReachability::make(std::shared_ptr<net::Reachability> reachability)
{
    if (!reachability)
        return nullptr;
    return std::shared_ptr<NetReachability>(new NetReachability(std::move(reachability)));
}

NetReachability::NetReachability(std::shared_ptr<net::Reachability> reachability)
    : m_netReachability(std::move(reachability))
    , m_runLoop(core::RunLoop::current().shared_from_this())
{
}

std::shared_ptr<NetReachability> NetReachability::initWithDefaultRoute(bool defaultRoute)
{
    return initWithIPv4Address(defaultRoute ? htonl(INADDR_ANY) : htonl(0xA9FE0000)); // 169.254.0.0
}

std::shared_ptr<NetReachability> NetReachability::initWithIPv4Address(uint32_t address)
{
    sockaddr_in socketAddress {};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr.s_addr = address;
    return initWithAddress(reinterpret_cast<const sockaddr*>(&socketAddress));
}

std::shared_ptr<NetReachability> NetReachability::initWithAddress(const sockaddr* address)
{
    if (!address || address->sa_family != AF_INET)
        return nullptr;
    net::ReachabilityTarget target;
    target.address = reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr;
    return make(net::Reachability::create(target));
}

NetReachability::~NetReachability()
{
    if (m_scheduled)
        m_netReachability->unschedule();
}

void NetReachability::setDelegate(const std::shared_ptr<NetReachabilityDelegate>& delegate)
{
    if (delegate && m_scheduled) {
        m_delegate = delegate;
        return;
    }
    if (delegate) {
        std::weak_ptr<NetReachability> weak = sharedAs<NetReachability>();
        bool scheduled = m_netReachability->schedule(*m_runLoop, [weak](uint32_t flags) {
            if (auto self = weak.lock())
                self->reachabilityChanged(flags);
        });
        if (!scheduled) {
            core::log("Failed installing SCNetworkReachability callback on runloop {}",
                static_cast<const void*>(m_runLoop.get()));
            return;
        }
        m_scheduled = true;
        m_delegate = delegate;
        return;
    }
    if (m_scheduled) {
        m_netReachability->unschedule();
        m_scheduled = false;
    }
    m_delegate.reset();
}

void NetReachability::reachabilityChanged(uint32_t flags)
{
    auto delegate = m_delegate.lock();
    if (!delegate)
        return;
    auto self = shared_from_this();
    delegate->reachabilityDidUpdate(*this, reachableFrom(flags), usingCellFrom(flags));
    core::NotificationCenter::defaultCenter().post(DidUpdateNotification, self);
}

bool NetReachability::isReachable() const
{
    auto flags = m_netReachability->flags();
    return flags && reachableFrom(*flags);
}

bool NetReachability::isUsingCell() const
{
    auto flags = m_netReachability->flags();
    return flags && usingCellFrom(*flags);
}

std::optional<std::string> NetReachability::getWifiIPAddress()
{
    auto list = net::interfaceAddresses();
    if (!list)
        return std::nullopt;
    for (const auto& entry : *list)
        if (entry.family == net::InterfaceAddress::Family::IPv4 && !entry.address.empty()
            && isWifiOrWiredName(entry.name))
            return entry.address;
    return std::nullopt;
}

std::string NetReachability::description() const
{
    return fmt::format("<{} = 0x{:08X} | reachable = {}>", className(), reinterpret_cast<uintptr_t>(this),
        int(isReachable()));
}

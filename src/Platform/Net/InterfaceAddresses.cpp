#include "Platform/Net/InterfaceAddresses.h"

#include "Platform/Core/Log.h"

#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <mutex>
#include <netdb.h>
#include <sys/socket.h>

namespace net {

namespace {

std::mutex sourceMutex;
InterfaceAddressesSource testSource;

std::optional<std::vector<InterfaceAddress>> systemInterfaceAddresses()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        core::log("getifaddrs: {}", std::strerror(errno));
        return std::nullopt;
    }
    std::vector<InterfaceAddress> result;
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        InterfaceAddress item;
        item.name = entry->ifa_name ? entry->ifa_name : "";
        if (entry->ifa_addr) {
            int family = entry->ifa_addr->sa_family;
            item.family = family == AF_INET ? InterfaceAddress::Family::IPv4
                : family == AF_INET6      ? InterfaceAddress::Family::IPv6
                                          : InterfaceAddress::Family::Other;
            if (family == AF_INET || family == AF_INET6) {
                char host[100];
                socklen_t length = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
                int status = getnameinfo(entry->ifa_addr, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST);
                if (status != 0) {
                    core::log("getnameinfo: {}", gai_strerror(status));
                    continue;
                }
                item.address = host;
            }
        }
        result.push_back(std::move(item));
    }
    freeifaddrs(list);
    return result;
}

} // namespace

std::optional<std::vector<InterfaceAddress>> interfaceAddresses()
{
    InterfaceAddressesSource source;
    {
        std::lock_guard lock(sourceMutex);
        source = testSource;
    }
    return source ? source() : systemInterfaceAddresses();
}

void setInterfaceAddressesForTesting(InterfaceAddressesSource source)
{
    std::lock_guard lock(sourceMutex);
    testSource = std::move(source);
}

} // namespace net

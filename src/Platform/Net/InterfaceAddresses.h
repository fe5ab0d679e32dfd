#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace net {

// One entry of the system's interface list: a link's name with one of its
// addresses in numeric form ("10.9.0.2", "fe80::1"). Entries without an
// address (or with a link-layer one) have the family None or Other and no
// address text.
struct InterfaceAddress {
    enum class Family { None, IPv4, IPv6, Other };
    std::string name;
    Family family = Family::None;
    std::string address;
};

// The interfaces and their addresses in the system's order, or nothing when
// the list cannot be had (logged). An address that cannot be converted is
// logged and left out.
std::optional<std::vector<InterfaceAddress>> interfaceAddresses();

// Tests answer a list of their own; an empty function restores the system's.
using InterfaceAddressesSource = std::function<std::optional<std::vector<InterfaceAddress>>()>;
void setInterfaceAddressesForTesting(InterfaceAddressesSource source);

} // namespace net

// fuzz: tandry_platform_net
// Link and route messages are read off a netlink socket. The first byte
// splits the input into a link dump and a route answer; the reader must stay
// within both whatever lengths the messages claim.

#include "Platform/Net/NetlinkReachability.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    size_t split = std::min<size_t>(size - 1, size_t(data[0]) * 4);
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    for (bool defaultRoute : { true, false })
        net::NetlinkReachability::flagsFromMessagesForTesting(rest.substr(0, split), rest.substr(split), defaultRoute);
    return 0;
}

#include "Platform/Net/NetlinkReachability.h"

#include "Platform/Core/RunLoop.h"
#include "Support/NetworkNamespace.h"
#include "Support/TestCase.h"

#include <arpa/inet.h>
#include <fmt/format.h>
#include <cstring>
#include <linux/rtnetlink.h>
#include <net/if.h>

namespace {

class NetlinkReachabilityTest : public test::TestCase {
protected:
    bool waitForCalls(size_t count)
    {
        return core::RunLoop::main().runUntil([&] { return calls.size() >= count; }, 2.0);
    }
    // A short real while of the loop, for "nothing more came".
    void settle() { core::RunLoop::main().runUntil([] { return false; }, 0.3); }

    std::vector<uint32_t> calls;
};

net::ReachabilityTarget address(const char* text)
{
    net::ReachabilityTarget target;
    inet_pton(AF_INET, text, &target.address);
    return target;
}

TEST_F(NetlinkReachabilityTest, DefaultRouteFollowsLinksAndRoutes)
{
    TANDRY_IN_NETWORK_NAMESPACE();
    ASSERT_TRUE(test::shell("ip link del wlan0"));
    auto reachability = net::NetlinkReachability::create({});
    EXPECT_EQ(reachability->flags(), 0u);
    ASSERT_TRUE(reachability->schedule(core::RunLoop::main(), [&](uint32_t flags) { calls.push_back(flags); }));

    ASSERT_TRUE(test::shell("ip link add wlan0 type veth peer name wlan0-peer && ip link set wlan0-peer up"
                            " && ip addr add 10.9.0.2/24 dev wlan0 && ip link set wlan0 up"
                            " && ip route add default via 10.9.0.1"));
    ASSERT_TRUE(waitForCalls(1));
    settle();
    EXPECT_EQ(calls, std::vector<uint32_t> { net::Reachability::Reachable });
    EXPECT_EQ(reachability->flags(), net::Reachability::Reachable);

    // The kernel drops the route with the link.
    ASSERT_TRUE(test::shell("ip link set wlan0 down"));
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_EQ(calls.back(), 0u);
    ASSERT_TRUE(test::shell("ip link set wlan0 up && ip route add default via 10.9.0.1"));
    ASSERT_TRUE(waitForCalls(3));
    EXPECT_EQ(calls.back(), net::Reachability::Reachable);

    // Carrier lost: the route stays ("linkdown") but leads nowhere.
    ASSERT_TRUE(test::shell("ip link set wlan0-peer down"));
    ASSERT_TRUE(waitForCalls(4));
    EXPECT_EQ(calls.back(), 0u);
    ASSERT_TRUE(test::shell("ip link set wlan0-peer up"));
    ASSERT_TRUE(waitForCalls(5));
    EXPECT_EQ(calls.back(), net::Reachability::Reachable);

    // A burst of changes that leave the flags as they were tells nothing.
    std::string burst;
    for (int i = 1; i <= 10; ++i)
        burst += fmt::format("ip addr add 10.9.1.{}/24 dev wlan0 && ip addr del 10.9.1.{}/24 dev wlan0 && ", i, i);
    ASSERT_TRUE(test::shell(burst + "true"));
    settle();
    EXPECT_EQ(calls.size(), 5u);

    reachability->unschedule();
    ASSERT_TRUE(test::shell("ip route del default"));
    settle();
    EXPECT_EQ(calls.size(), 5u);
    EXPECT_EQ(reachability->flags(), 0u);
}

TEST_F(NetlinkReachabilityTest, AddressesAndHostNamesByRouteLookup)
{
    TANDRY_IN_NETWORK_NAMESPACE();
    EXPECT_EQ(net::NetlinkReachability::create(address("10.9.0.1"))->flags(), net::Reachability::Reachable);
    EXPECT_EQ(net::NetlinkReachability::create(address("127.0.0.1"))->flags(), net::Reachability::Reachable);
    EXPECT_EQ(net::NetlinkReachability::create(address("192.0.2.7"))->flags(), net::Reachability::Reachable);

    auto far = net::NetlinkReachability::create(address("192.0.2.7"));
    ASSERT_TRUE(far->schedule(core::RunLoop::main(), [&](uint32_t flags) { calls.push_back(flags); }));
    ASSERT_TRUE(test::shell("ip route del default"));
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(calls.back(), 0u);
    EXPECT_EQ(far->flags(), 0u);
    EXPECT_EQ(net::NetlinkReachability::create(address("10.9.0.1"))->flags(), net::Reachability::Reachable);

    // Host names resolve off the loop; a name that does not resolve is
    // unreachable.
    net::ReachabilityTarget local;
    local.hostName = "localhost";
    auto byName = net::NetlinkReachability::create(local);
    std::vector<uint32_t> named;
    ASSERT_TRUE(byName->schedule(core::RunLoop::main(), [&](uint32_t flags) { named.push_back(flags); }));
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !named.empty(); }, 5.0));
    EXPECT_EQ(named, std::vector<uint32_t> { net::Reachability::Reachable });
    EXPECT_EQ(byName->flags(), net::Reachability::Reachable);
}

// Kernel messages made by hand: what is cut short or foreign is skipped.
std::string message(uint16_t type, const void* body, size_t size, const std::string& attributes = {})
{
    std::string bytes(NLMSG_LENGTH(size), '\0');
    auto* header = reinterpret_cast<nlmsghdr*>(bytes.data());
    header->nlmsg_type = type;
    std::memcpy(NLMSG_DATA(header), body, size);
    bytes.resize(NLMSG_ALIGN(bytes.size()));
    bytes += attributes;
    reinterpret_cast<nlmsghdr*>(bytes.data())->nlmsg_len = uint32_t(bytes.size());
    return bytes;
}

std::string attribute(uint16_t type, uint32_t value)
{
    std::string bytes(RTA_SPACE(sizeof value), '\0');
    auto* header = reinterpret_cast<rtattr*>(bytes.data());
    header->rta_type = type;
    header->rta_len = RTA_LENGTH(sizeof value);
    std::memcpy(RTA_DATA(header), &value, sizeof value);
    return bytes;
}

TEST_F(NetlinkReachabilityTest, MessagesAreReadWithinTheirBounds)
{
    ifinfomsg link {};
    link.ifi_index = 3;
    link.ifi_flags = IFF_UP | IFF_RUNNING;
    std::string links = message(RTM_NEWLINK, &link, sizeof link);
    ifinfomsg down = link;
    down.ifi_index = 4;
    down.ifi_flags = IFF_UP;
    links += message(RTM_NEWLINK, &down, sizeof down);

    rtmsg route {};
    route.rtm_family = AF_INET;
    route.rtm_table = RT_TABLE_MAIN;
    route.rtm_type = RTN_UNICAST;
    std::string viaRunning = message(RTM_NEWROUTE, &route, sizeof route, attribute(RTA_OIF, 3));
    std::string viaDown = message(RTM_NEWROUTE, &route, sizeof route, attribute(RTA_OIF, 4));
    auto flags = [&](const std::string& routes, bool defaultRoute = true) {
        return net::NetlinkReachability::flagsFromMessagesForTesting(links, routes, defaultRoute);
    };
    EXPECT_EQ(flags(viaRunning), net::Reachability::Reachable);
    EXPECT_EQ(flags(viaDown), 0u);
    EXPECT_EQ(flags(viaDown + viaRunning), net::Reachability::Reachable);

    // Another table, a prefix, a link marked down: not the default route.
    rtmsg other = route;
    other.rtm_table = RT_TABLE_LOCAL;
    EXPECT_EQ(flags(message(RTM_NEWROUTE, &other, sizeof other, attribute(RTA_OIF, 3))), 0u);
    EXPECT_EQ(flags(message(RTM_NEWROUTE, &other, sizeof other, attribute(RTA_TABLE, RT_TABLE_MAIN) + attribute(RTA_OIF, 3))),
        net::Reachability::Reachable);
    rtmsg prefix = route;
    prefix.rtm_dst_len = 24;
    EXPECT_EQ(flags(message(RTM_NEWROUTE, &prefix, sizeof prefix, attribute(RTA_OIF, 3))), 0u);
    EXPECT_EQ(flags(message(RTM_NEWROUTE, &prefix, sizeof prefix, attribute(RTA_OIF, 3)), false),
        net::Reachability::Reachable);
    rtmsg linkDown = route;
    linkDown.rtm_flags = RTNH_F_LINKDOWN;
    EXPECT_EQ(flags(message(RTM_NEWROUTE, &linkDown, sizeof linkDown, attribute(RTA_OIF, 3))), 0u);

    // Cut short anywhere: never read past the end, never reachable by accident.
    for (size_t length = 0; length < viaRunning.size(); ++length)
        EXPECT_EQ(flags(viaRunning.substr(0, length)), 0u) << length;
    std::string lying = viaRunning;
    reinterpret_cast<nlmsghdr*>(lying.data())->nlmsg_len = 4096;
    EXPECT_EQ(flags(lying), 0u);
    std::string badAttribute = viaRunning;
    reinterpret_cast<rtattr*>(badAttribute.data() + NLMSG_LENGTH(sizeof(rtmsg)))->rta_len = 200;
    EXPECT_EQ(flags(badAttribute), 0u);
}

} // namespace

#pragma once

#include "Platform/Net/Reachability.h"

#include <memory>
#include <optional>
#include <string_view>

namespace net {

// Reachability from the kernel's routing tables. A NETLINK_ROUTE socket on
// the link, IPv4 address and IPv4 route groups wakes the loop; a wake-up
// drains every message and schedules one recomputation for the next pass,
// so that a burst of changes costs one look at the tables.
//
// - The default route (0.0.0.0) is reachable while the main table holds an
//   IPv4 default route over a link that is up and running.
// - Another address is reachable when the kernel's route lookup for it
//   (as `ip route get` does) gives a unicast or local route over a running
//   link.
// - A host name is resolved on a thread of its own, never on the loop,
//   again after each change; a name that does not resolve is unreachable.
class NetlinkReachability : public Reachability {
public:
    static std::shared_ptr<NetlinkReachability> create(const ReachabilityTarget& target);
    ~NetlinkReachability() override;

    std::optional<uint32_t> flags() override;
    bool schedule(core::RunLoop& loop, Callback callback) override;
    void unschedule() override;

    // The flags that the kernel's messages give: `links`, a link dump;
    // `routes`, the route dump (default route) or the lookup's answer.
    // Messages that are cut short or not understood are skipped.
    static uint32_t flagsFromMessagesForTesting(std::string_view links, std::string_view routes, bool defaultRoute);

    struct State;

private:
    explicit NetlinkReachability(std::shared_ptr<State> state);
    std::shared_ptr<State> m_state;
};

} // namespace net

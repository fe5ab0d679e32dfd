#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace core {
class RunLoop;
}

namespace net {

// What a reachability watches: an IPv4 address (0.0.0.0 stands for the
// default route) or a host name.
struct ReachabilityTarget {
    // Network byte order.
    uint32_t address = 0;
    std::string hostName;

    bool isHostName() const { return !hostName.empty(); }
    bool isDefaultRoute() const { return !isHostName() && address == 0; }
};

// Whether a target can be reached, as the device's flag bits: Reachable
// (0x2); ConnectionRequired (0x4) and IsWWAN (0x40000) exist for the
// callers' arithmetic but are never set on Linux. A scheduled reachability
// calls back on its loop whenever the flags differ from the last ones it
// delivered; scheduling itself delivers nothing.
class Reachability {
public:
    static constexpr uint32_t Reachable = 0x2;
    static constexpr uint32_t ConnectionRequired = 0x4;
    static constexpr uint32_t IsWWAN = 0x40000;

    using Callback = std::function<void(uint32_t flags)>;
    using Factory = std::function<std::shared_ptr<Reachability>(const ReachabilityTarget&)>;

    // The netlink backend, or what a test installed.
    static std::shared_ptr<Reachability> create(const ReachabilityTarget& target);
    // An empty factory puts the netlink backend back.
    static void setFactoryForTesting(Factory factory);

    virtual ~Reachability() = default;

    // Nothing when the flags cannot be read.
    virtual std::optional<uint32_t> flags() = 0;
    // On the loop's own thread. False when the changes cannot be watched.
    virtual bool schedule(core::RunLoop& loop, Callback callback) = 0;
    virtual void unschedule() = 0;
};

} // namespace net

#pragma once

#include "Platform/Net/InterfaceAddresses.h"
#include "Platform/Net/Reachability.h"

#include <memory>
#include <vector>

namespace test {

// A reachability whose flags the test sets. install() makes every
// net::Reachability::create() answer a new fake and keeps them in made();
// the test environment uninstalls it after each test.
class FakeReachability : public net::Reachability {
public:
    static void install();
    static void uninstall();
    static const std::vector<std::shared_ptr<FakeReachability>>& made();
    // The next schedule() fails.
    static void failNextSchedule();

    explicit FakeReachability(net::ReachabilityTarget target) : m_target(std::move(target)) { }

    const net::ReachabilityTarget& target() const { return m_target; }
    void setFlags(uint32_t flags) { m_flags = flags; }
    // Sets the flags and, while scheduled, posts the callback to the loop it
    // was scheduled on (from any thread).
    void fire(uint32_t flags);
    bool isScheduled() const { return m_scheduled; }
    int scheduleCount() const { return m_scheduleCount; }

    std::optional<uint32_t> flags() override { return m_flags; }
    bool schedule(core::RunLoop& loop, Callback callback) override;
    void unschedule() override;

private:
    net::ReachabilityTarget m_target;
    uint32_t m_flags = 0;
    bool m_scheduled = false;
    int m_scheduleCount = 0;
    std::weak_ptr<core::RunLoop> m_loop;
    std::shared_ptr<Callback> m_callback;
};

// Makes net::interfaceAddresses() answer `list` (nothing: as when the
// system's list cannot be had) until the end of the test.
void setFixedInterfaceAddresses(std::optional<std::vector<net::InterfaceAddress>> list);

} // namespace test

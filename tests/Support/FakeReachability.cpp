#include "Support/FakeReachability.h"

#include "Platform/Core/RunLoop.h"

#include <mutex>
#include <utility>

namespace test {

namespace {

std::mutex fakesMutex;
std::vector<std::shared_ptr<FakeReachability>> fakes;
bool scheduleFails = false;

} // namespace

void FakeReachability::install()
{
    net::Reachability::setFactoryForTesting([](const net::ReachabilityTarget& target) {
        auto fake = std::make_shared<FakeReachability>(target);
        std::lock_guard lock(fakesMutex);
        fakes.push_back(fake);
        return fake;
    });
}

void FakeReachability::uninstall()
{
    net::Reachability::setFactoryForTesting(nullptr);
    std::lock_guard lock(fakesMutex);
    fakes.clear();
    scheduleFails = false;
}

const std::vector<std::shared_ptr<FakeReachability>>& FakeReachability::made()
{
    return fakes;
}

void FakeReachability::failNextSchedule()
{
    scheduleFails = true;
}

void FakeReachability::fire(uint32_t flags)
{
    m_flags = flags;
    auto loop = m_loop.lock();
    if (!m_scheduled || !loop)
        return;
    std::weak_ptr<Callback> callback = m_callback;
    loop->post([callback, flags] {
        if (auto call = callback.lock())
            (*call)(flags);
    });
}

bool FakeReachability::schedule(core::RunLoop& loop, Callback callback)
{
    if (std::exchange(scheduleFails, false))
        return false;
    ++m_scheduleCount;
    m_scheduled = true;
    m_loop = loop.shared_from_this();
    m_callback = std::make_shared<Callback>(std::move(callback));
    return true;
}

void FakeReachability::unschedule()
{
    m_scheduled = false;
    m_callback.reset();
}

void setFixedInterfaceAddresses(std::optional<std::vector<net::InterfaceAddress>> list)
{
    net::setInterfaceAddressesForTesting([list] { return list; });
}

} // namespace test

#include "Kit/NetReachability.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Support/FakeReachability.h"
#include "Support/NetworkNamespace.h"
#include "Support/TestCase.h"

#include <arpa/inet.h>
#include <fmt/format.h>
#include <atomic>
#include <netinet/in.h>
#include <thread>
#include <utility>

namespace {

using test::FakeReachability;

// Records what it is told, and the notification that follows.
class Listener : public NetReachabilityDelegate {
public:
    void reachabilityDidUpdate(NetReachability& reachability, bool reachable, bool usingCell) override
    {
        events.push_back(fmt::format("delegate {} {}", reachable, usingCell));
        last = &reachability;
        lastTold = this;
    }
    std::vector<std::string> events;
    NetReachability* last = nullptr;
    static inline Listener* lastTold = nullptr;
};

class NetReachabilityTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        FakeReachability::install();
        m_observation = core::NotificationCenter::defaultCenter().observe(NetReachability::DidUpdateNotification,
            nullptr, [](const core::Notification& note) {
                if (auto* told = std::exchange(Listener::lastTold, nullptr)) {
                    told->events.push_back("notification");
                    EXPECT_EQ(note.object().get(), told->last);
                }
            });
    }
    FakeReachability& fake() { return *FakeReachability::made().back(); }
    void pump() { core::RunLoop::main().runUntilIdle(); }

    void TearDown() override
    {
        Listener::lastTold = nullptr;
        TestCase::TearDown();
    }

    std::shared_ptr<Listener> listener = std::make_shared<Listener>();
    core::Observation m_observation;
};

TEST_F(NetReachabilityTest, FlagsGiveReachableAndCellDelegateFirst)
{
    auto watcher = NetReachability::initWithDefaultRoute(true);
    ASSERT_TRUE(watcher);
    EXPECT_TRUE(fake().target().isDefaultRoute());
    watcher->setDelegate(listener);

    struct Case {
        uint32_t flags;
        const char* told;
        bool wifi;
    };
    for (auto [flags, told, wifi] : { Case { 0x2, "delegate true false", true },
             Case { 0x40002, "delegate true true", false }, Case { 0x6, "delegate false false", false },
             Case { 0x40006, "delegate false false", false } }) {
        listener->events.clear();
        fake().fire(flags);
        pump();
        EXPECT_EQ(listener->events, (std::vector<std::string> { told, "notification" })) << flags;
        EXPECT_EQ(watcher->isReachableUsingWifi(), wifi) << flags;
    }
    fake().setFlags(0x2);
    EXPECT_EQ(watcher->description(),
        fmt::format("<NetReachability = 0x{:08X} | reachable = 1>", reinterpret_cast<uintptr_t>(watcher.get())));
}

TEST_F(NetReachabilityTest, TargetsAndNilInitialisers)
{
    EXPECT_FALSE(NetReachability::initWithAddress(nullptr));
    sockaddr_in6 six {};
    six.sin6_family = AF_INET6;
    EXPECT_FALSE(NetReachability::initWithAddress(reinterpret_cast<sockaddr*>(&six)));
    EXPECT_TRUE(FakeReachability::made().empty());

    ASSERT_TRUE(NetReachability::initWithDefaultRoute(false));
    EXPECT_EQ(fake().target().address, htonl(0xA9FE0000));
}

TEST_F(NetReachabilityTest, DelegateLifecycle)
{
    auto watcher = NetReachability::initWithDefaultRoute(true);
    auto& backend = fake();

    // Nothing is told without a delegate.
    backend.fire(0x2);
    pump();
    EXPECT_TRUE(listener->events.empty());

    watcher->setDelegate(listener);
    watcher->setDelegate(listener);
    EXPECT_EQ(backend.scheduleCount(), 1);
    auto other = std::make_shared<Listener>();
    watcher->setDelegate(other);
    EXPECT_EQ(backend.scheduleCount(), 1);
    EXPECT_EQ(watcher->delegate(), other);
    backend.fire(0x2);
    pump();
    EXPECT_EQ(other->events, (std::vector<std::string> { "delegate true false", "notification" }));
    EXPECT_TRUE(listener->events.empty());

    watcher->setDelegate(nullptr);
    EXPECT_FALSE(backend.isScheduled());
    watcher->setDelegate(nullptr);
    EXPECT_FALSE(watcher->delegate());

    // Destroyed with a delegate set: nothing more arrives.
    watcher->setDelegate(listener);
    EXPECT_EQ(backend.scheduleCount(), 2);
    backend.fire(0x40002);
    watcher.reset();
    pump();
    EXPECT_TRUE(listener->events.empty());
    EXPECT_FALSE(backend.isScheduled());

    // A schedule that fails leaves the delegate unset.
    auto failing = NetReachability::initWithDefaultRoute(true);
    FakeReachability::failNextSchedule();
    failing->setDelegate(listener);
    EXPECT_FALSE(failing->delegate());
    EXPECT_TRUE(logContains("Failed installing SCNetworkReachability callback on runloop 0x"));
}

TEST_F(NetReachabilityTest, CallbacksArriveOnTheCreatingThread)
{
    std::atomic<bool> ready { false };
    std::atomic<bool> heard { false };
    std::atomic<bool> onWorker { false };
    std::shared_ptr<FakeReachability> backend;
    class WorkerListener : public NetReachabilityDelegate {
    public:
        std::function<void()> told;
        void reachabilityDidUpdate(NetReachability&, bool, bool) override { told(); }
    };
    core::Thread::detach("reachability worker", [&] {
        auto worker = std::this_thread::get_id();
        auto watcher = NetReachability::initWithDefaultRoute(true);
        auto delegate = std::make_shared<WorkerListener>();
        delegate->told = [&] {
            onWorker = std::this_thread::get_id() == worker;
            heard = true;
        };
        watcher->setDelegate(delegate);
        backend = FakeReachability::made().back();
        ready = true;
        core::RunLoop::current().runUntil([&] { return heard.load(); }, 5.0);
    });
    core::RunLoop::main().runUntil([&] { return ready.load(); }, 5.0);
    ASSERT_TRUE(ready);
    backend->fire(0x2);
    ASSERT_TRUE(core::Thread::waitForAll(5.0));
    EXPECT_TRUE(heard);
    EXPECT_TRUE(onWorker);
}

TEST_F(NetReachabilityTest, WifiAddressFromTheFirstWirelessOrWiredLink)
{
    using Family = net::InterfaceAddress::Family;
    test::setFixedInterfaceAddresses(std::vector<net::InterfaceAddress> {
        { "lo", Family::IPv4, "127.0.0.1" },
        { "docker0", Family::IPv4, "172.17.0.1" },
        { "veth1", Family::IPv4, "10.1.1.1" },
        { "wlan0", Family::IPv6, "fe80::1" },
        { "wlan0", Family::None, "" },
        { "eth0", Family::Other, "" },
    });
    EXPECT_FALSE(NetReachability::getWifiIPAddress());

    for (auto [name, expected] : { std::pair { "en0", "192.168.1.5" }, std::pair { "enp3s0", "192.168.1.5" },
             std::pair { "eth0", "192.168.1.5" }, std::pair { "wlp2s0", "192.168.1.5" } }) {
        test::setFixedInterfaceAddresses(std::vector<net::InterfaceAddress> {
            { "lo", Family::IPv4, "127.0.0.1" },
            { name, Family::IPv6, "fe80::2" },
            { name, Family::IPv4, "192.168.1.5" },
            { "wlan1", Family::IPv4, "10.0.0.9" },
        });
        EXPECT_EQ(NetReachability::getWifiIPAddress(), expected) << name;
    }

    test::setFixedInterfaceAddresses(std::nullopt);
    EXPECT_FALSE(NetReachability::getWifiIPAddress());
}

} // namespace

namespace {

TEST_F(NetReachabilityTest, RealLinksOfANamespace)
{
    TANDRY_IN_NETWORK_NAMESPACE();
    FakeReachability::uninstall();
    EXPECT_EQ(NetReachability::getWifiIPAddress(), "10.9.0.2");
    auto watcher = NetReachability::initWithDefaultRoute(true);
    ASSERT_TRUE(watcher);
    EXPECT_TRUE(watcher->isReachableUsingWifi());
    watcher->setDelegate(listener);
    ASSERT_TRUE(test::shell("ip link set wlan0 down"));
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return listener->events.size() >= 2; }, 2.0));
    EXPECT_EQ(listener->events, (std::vector<std::string> { "delegate false false", "notification" }));
}

} // namespace

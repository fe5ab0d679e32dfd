#include "Platform/Net/AvahiServicePublisher.h"

#include "Platform/Core/RunLoop.h"
#include "Support/ChildProcess.h"
#include "Support/Command.h"
#include "Support/NetworkNamespace.h"
#include "Support/TestCase.h"

#include <chrono>
#include <cstdlib>

namespace {

using Service = net::AvahiServicePublisher::Service;

class AvahiServicePublisherTest : public test::TestCase {
protected:
    void TearDown() override
    {
        stopDaemon();
        TestCase::TearDown();
    }

    void startDaemon()
    {
        test::shell("rm -f /run/avahi-daemon/pid");
        m_daemon = std::make_unique<test::ChildProcess>(std::vector<std::string> { "avahi-daemon", "-f",
            sourcePath("tests/Support/avahi-daemon.conf"), "--no-drop-root", "--no-chroot", "--no-rlimits",
            "--no-proc-title" });
    }
    void stopDaemon()
    {
        if (m_daemon)
            m_daemon->kill();
        m_daemon.reset();
    }

    // What the network hears of a service type, as `avahi-browse -rtp` lists it.
    static std::string browse(const std::string& type)
    {
        return test::runCommand({ "avahi-browse", "-rtp", type }).output;
    }

    net::AvahiServicePublisher::Callback recorder()
    {
        return [this](Service& service, bool published) {
            events.push_back(published ? "published " + service.name() : "not published");
        };
    }
    bool waitForEvents(size_t count, double seconds = 5.0)
    {
        return core::RunLoop::main().runUntil([&] { return events.size() >= count; }, seconds);
    }

    std::vector<std::string> events;
    std::unique_ptr<test::ChildProcess> m_daemon;
};

// Restores an environment variable when it goes.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST_F(AvahiServicePublisherTest, NoSystemBusReportsAtOnce)
{
    ScopedVariable bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + pathInHome("no-bus"));
    auto start = std::chrono::steady_clock::now();
    auto publisher = net::AvahiServicePublisher::create();
    auto web = publisher->publish("local.", "_http._tcp.", "", 8080, recorder());
    auto dav = publisher->publish("local.", "_webdav._tcp.", "", 8080, recorder());
    core::RunLoop::main().runUntilIdle();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(events, (std::vector<std::string> { "not published", "not published" }));
    EXPECT_FALSE(publisher->isRunning());
    EXPECT_EQ(web->name(), "");
    web->stop();
    dav.reset();
    EXPECT_TRUE(logContains("Avahi client not available"));
}

TEST_F(AvahiServicePublisherTest, PublishesWithTheDaemonAndFollowsIt)
{
    TANDRY_IN_NETWORK_NAMESPACE();
    ASSERT_TRUE(test::hasProgram("avahi-daemon") && test::hasProgram("avahi-browse"));

    // A bus without a daemon: not published, once, and no busy loop.
    auto publisher = net::AvahiServicePublisher::create();
    auto dav = publisher->publish("local.", "_webdav._tcp.", "My Tablet", 8080, recorder());
    ASSERT_TRUE(waitForEvents(1));
    uint64_t passes = core::RunLoop::main().passCount();
    core::RunLoop::main().runUntil([] { return false; }, 0.5);
    EXPECT_LT(core::RunLoop::main().passCount() - passes, 20u);
    EXPECT_EQ(events, std::vector<std::string> { "not published" });

    // The daemon appears: published, and the network hears it.
    startDaemon();
    ASSERT_TRUE(waitForEvents(2, 10.0));
    EXPECT_EQ(events.back(), "published My Tablet");
    EXPECT_EQ(dav->hostName(), "tandry-test.local");
    EXPECT_NE(browse("_webdav._tcp").find("My\\032Tablet;WebDAV File Share;local;tandry-test.local;10.9.0.2;8080;"),
        std::string::npos);

    // An empty name is the host's; a name held by another gets another.
    test::ChildProcess holder({ "avahi-publish", "-s", "Taken", "_webdav._tcp", "1" });
    ASSERT_TRUE(core::RunLoop::main().runUntil([] { return browse("_webdav._tcp").find("Taken;") != std::string::npos; }, 5.0));
    auto hosted = publisher->publish("local.", "_http._tcp.", "", 8081, recorder());
    auto taken = publisher->publish("local.", "_webdav._tcp.", "Taken", 8082, recorder());
    ASSERT_TRUE(waitForEvents(4));
    EXPECT_EQ(hosted->name(), "tandry-test");
    EXPECT_EQ(taken->name(), "Taken #2");

    // Gone with the daemon, back with it.
    events.clear();
    stopDaemon();
    ASSERT_TRUE(waitForEvents(3));
    EXPECT_EQ(events, std::vector<std::string>(3, "not published"));
    EXPECT_EQ(dav->name(), "");
    passes = core::RunLoop::main().passCount();
    core::RunLoop::main().runUntil([] { return false; }, 0.5);
    EXPECT_LT(core::RunLoop::main().passCount() - passes, 20u);
    startDaemon();
    ASSERT_TRUE(waitForEvents(6, 10.0));
    EXPECT_EQ(dav->name(), "My Tablet");

    // A stop takes it off the network.
    taken->stop();
    hosted.reset();
    dav->stop();
    ASSERT_TRUE(core::RunLoop::main().runUntil([] {
        return browse("_webdav._tcp").find("My\\032Tablet") == std::string::npos;
    }, 5.0));
    EXPECT_EQ(events.size(), 6u);
}

TEST_F(AvahiServicePublisherTest, LongNamesAndTXTRecords)
{
    TANDRY_IN_NETWORK_NAMESPACE();
    startDaemon();
    auto publisher = net::AvahiServicePublisher::create();
    // 62 ASCII bytes and a two-byte character: cut before the character.
    std::string name = std::string(62, 'a') + "\xC3\xA9" + "tail";
    auto service = publisher->publish("local.", "_http._tcp.", name, 8080, recorder());
    // The daemon may still be starting: not published first, then published.
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !events.empty() && events.back() != "not published"; }, 10.0));
    EXPECT_EQ(service->name(), std::string(62, 'a'));
    service->setTXTRecordData(std::string("\x05path=\x03" "a=b", 10));
    ASSERT_TRUE(core::RunLoop::main().runUntil([] {
        return browse("_http._tcp").find("\"a=b\" \"path=\"") != std::string::npos;
    }, 5.0)) << browse("_http._tcp");
}

} // namespace

#include "Platform/Net/AvahiServicePublisher.h"

#include "Platform/Core/RunLoop.h"
#include "Support/AvahiDaemon.h"
#include "Support/ChildProcess.h"
#include "Support/Command.h"
#include "Support/NetworkNamespace.h"
#include "Support/TestCase.h"

#include <algorithm>
#include <chrono>

namespace {

using Service = net::AvahiServicePublisher::Service;

class AvahiServicePublisherTest : public test::TestCase {
protected:
    void TearDown() override
    {
        stopDaemon();
        TestCase::TearDown();
    }

    void startDaemon() { m_daemon.start(); }
    void stopDaemon() { m_daemon.stop(); }
    static std::string browse(const std::string& type) { return test::AvahiDaemon::browse(type); }

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
    test::AvahiDaemon m_daemon;
};

TEST_F(AvahiServicePublisherTest, NoSystemBusReportsAtOnce)
{
    test::ScopedEnvironmentVariable bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + pathInHome("no-bus"));
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

TEST_F(AvahiServicePublisherTest, RetriesQuietlyWhileNothingChanges)
{
    test::ScopedEnvironmentVariable bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + pathInHome("no-bus"));
    auto publisher = net::AvahiServicePublisher::create();
    auto web = publisher->publish("local.", "_http._tcp.", "", 8080, recorder());
    // Five minutes of retries, every ten seconds.
    for (int i = 0; i < 30; ++i)
        core::RunLoop::main().advance(10.0);
    auto lines = logLines();
    auto mentions = std::count_if(lines.begin(), lines.end(),
        [](const std::string& line) { return line.find("Avahi") != std::string::npos; });
    EXPECT_EQ(mentions, 1);
    EXPECT_FALSE(publisher->isRunning());
}

TEST_F(AvahiServicePublisherTest, PublishesWithTheDaemonAndFollowsIt)
{
    TANDRY_IN_NETWORK_NAMESPACE();
    ASSERT_TRUE(test::hasProgram("avahi-daemon") && test::hasProgram("avahi-browse"));

    // A bus without a daemon: not published, once, and no busy loop.
    auto publisher = net::AvahiServicePublisher::create();
    auto dav = publisher->publish("local.", "_webdav._tcp.", "My Tablet", 8080, recorder());
    ASSERT_TRUE(waitForEvents(1));
    uint64_t passes = core::RunLoop::main().passCountForTesting();
    core::RunLoop::main().runUntil([] { return false; }, 0.5);
    EXPECT_LT(core::RunLoop::main().passCountForTesting() - passes, 20u);
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
    passes = core::RunLoop::main().passCountForTesting();
    core::RunLoop::main().runUntil([] { return false; }, 0.5);
    EXPECT_LT(core::RunLoop::main().passCountForTesting() - passes, 20u);
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

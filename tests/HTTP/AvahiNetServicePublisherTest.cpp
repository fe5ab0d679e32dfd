#include "HTTPTestSupport.h"

#include "HTTP/AvahiNetServicePublisher.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Support/AvahiDaemon.h"
#include "Support/NetworkNamespace.h"

#include <chrono>

using test::PeerSocket;

namespace {

class AvahiNetServicePublisherTest : public test::HTTPServerTestCase {
protected:
    void SetUp() override
    {
        HTTPServerTestCase::SetUp();
        m_updates = core::NotificationCenter::defaultCenter().observe(HTTPServer::NetServiceDidUpdateNotification,
            nullptr, [this](const core::Notification&) { ++updates; });
        server->setTypes({ "_http._tcp.", "_webdav._tcp." });
        server->setPort(0);
    }
    void TearDown() override
    {
        HTTPServerTestCase::TearDown();
        daemon.stop();
    }

    int updates = 0;
    core::Observation m_updates;
    test::AvahiDaemon daemon;
};

TEST_F(AvahiNetServicePublisherTest, WithoutASystemBusTheServerServesUnannounced)
{
    test::ScopedEnvironmentVariable bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + pathInHome("no-bus"));
    auto start = std::chrono::steady_clock::now();
    NetServicePublisher::setShared(AvahiNetServicePublisher::create());
    ASSERT_TRUE(server->startListening());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    ASSERT_TRUE(pumpUntil([&] { return updates == 2; }));
    EXPECT_EQ(server->bonjourName(), "");
    PeerSocket peer(server->port());
    auto answer = exchange(peer, "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.1 ", 0), 0u) << answer;
}

TEST_F(AvahiNetServicePublisherTest, TheNetworkHearsTheServer)
{
    TANDRY_IN_NETWORK_NAMESPACE();
    daemon.start();
    NetServicePublisher::setShared(AvahiNetServicePublisher::create());
    ASSERT_TRUE(server->startListening());
    // Until the daemon runs the services are not out; then they are, under
    // the host's name.
    ASSERT_TRUE(pumpUntil([&] {
        return logContains("Bonjour Service Published: domain(local.) type(_webdav._tcp.) name(tandry-test) "
                           "hostName(tandry-test.local)");
    }, 10));
    EXPECT_EQ(server->bonjourName(), "tandry-test");
    EXPECT_EQ(server->bonjourURL()->absoluteString(), "http://tandry-test.local:" + std::to_string(server->port()));
    auto listed = test::AvahiDaemon::browse("_webdav._tcp");
    EXPECT_NE(listed.find(";tandry-test.local;10.9.0.2;" + std::to_string(server->port()) + ";"), std::string::npos)
        << listed;

    // The daemon goes: no name, told; it comes back: published again.
    int before = updates;
    daemon.stop();
    ASSERT_TRUE(pumpUntil([&] { return server->bonjourName().empty(); }, 5));
    EXPECT_GT(updates, before);
    daemon.start();
    ASSERT_TRUE(pumpUntil([&] { return server->bonjourName() == "tandry-test"; }, 10));

    server->stopListeningAndDisconnectActiveConnections(true);
    ASSERT_TRUE(pumpUntil([&] { return test::AvahiDaemon::browse("_webdav._tcp").find("tandry-test") == std::string::npos; }, 5));
}

} // namespace

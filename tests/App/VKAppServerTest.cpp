#include "App/VKAppServer.h"

#include "Shell/VKApplication.h"
#include "FileModel/VKServerLockHooks.h"
#include "HTTP/HTTPServer.h"
#include "Kit/NetReachability.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/FakeReachability.h"
#include "Support/HeldPorts.h"
#include "Support/TestCase.h"
#include "WebDAV/WebDAVLockManager.h"

#include <optional>

namespace {

class VKAppServerTest : public test::TestCase {
protected:
    void TearDown() override
    {
        if (server.httpServer())
            server.httpServer()->stopListeningAndDisconnectActiveConnections(true);
        VKServerLockHooks::setCurrent(nullptr);
        held.reset();
        TestCase::TearDown();
    }
    // A port held by another listener.
    uint16_t takenPort() { return held->hold(); }
    VKAppServer server;
    std::optional<test::HeldPorts> held { std::in_place };
};

TEST_F(VKAppServerTest, FallsBackOnOtherPortsWhenTheConfiguredOneIsTaken)
{
    auto defaults = core::UserDefaults::standard();
    EXPECT_EQ(server.start(true), VKAppServer::Start::Failed) << "nothing set up";
    const auto configured = takenPort();
    const auto firstFallback = takenPort();
    defaults->set("VKPortNumber", core::Value(int64_t(configured)));
    server.setFallbackPorts({ firstFallback, 0 });
    server.setup(false);
    ASSERT_EQ(server.start(true), VKAppServer::Start::MovedPort);
    auto http = server.httpServer();
    EXPECT_TRUE(http->isStarted());
    EXPECT_NE(http->port(), configured);
    EXPECT_TRUE(logContains("Warning, port changed: " + std::to_string(configured) + " -> " + std::to_string(http->port())));
    EXPECT_EQ(server.start(true), VKAppServer::Start::Done);

    // Stop keeps the connections; start again is a no-op when started.
    EXPECT_EQ(server.start(false), VKAppServer::Start::Done);
    EXPECT_FALSE(http->isStarted());
    EXPECT_FALSE(defaults->boolForKey("VKServerEnabled"));

    // Every port taken: the error, and no start.
    server.setup(false);
    server.setFallbackPorts({ firstFallback });
    EXPECT_EQ(server.start(true), VKAppServer::Start::Failed);
    EXPECT_TRUE(logContains("Error starting HTTP Server: "));
    EXPECT_FALSE(server.httpServer()->isStarted());

    // A free configured port is no move.
    defaults->set("VKPortNumber", core::Value(int64_t(0)));
    server.setup(false);
    EXPECT_EQ(server.start(true), VKAppServer::Start::Started);
}

TEST_F(VKAppServerTest, ServerSetUpPortValidationAndLockHooks)
{
    auto defaults = core::UserDefaults::standard();
    defaults->set("VKPortNumber", core::Value(int64_t(70000)));
    EXPECT_EQ(VKAppServer::configuredPort(), 80);
    EXPECT_TRUE(logContains("Warning, VKPortNumber 70000"));
    defaults->set("VKPortNumber", core::Value("8080"));
    EXPECT_EQ(VKAppServer::configuredPort(), 8080);

    using Family = net::InterfaceAddress::Family;
    test::setFixedInterfaceAddresses(std::vector<net::InterfaceAddress> { { "lo", Family::IPv4, "127.0.0.1" },
        { "eth0", Family::IPv4, "192.168.1.5" } });
    server.setup(false);
    auto http = server.httpServer();
    auto application = VKApplication::sharedApplication();
    EXPECT_EQ(http->localPathForURI(*core::URL::parse("/Documents/a.txt")), application->documentsDirectory() + "/a.txt");
    EXPECT_EQ(http->localPathForURI(*core::URL::parse("/Public/")), application->publicDirectory());
    EXPECT_FALSE(http->localPathForURI(*core::URL::parse("/Library/Preferences/x.plist")));
    EXPECT_TRUE(http->serverName().starts_with("VKDAV/"));
    EXPECT_EQ(http->types(), (std::vector<std::string> { "_http._tcp.", "_webdav._tcp." }));
    EXPECT_EQ(http->hostName(), "192.168.1.5");
    EXPECT_EQ(VKServerLockHooks::current()->URIForLocalPath(application->publicDirectory() + "/a b.txt"), "/Public/a%20b.txt");
    EXPECT_FALSE(VKServerLockHooks::current()->URIForLocalPath("/elsewhere"));

    // The file model sees the WebDAV locks.
    auto lock = WebDAVLockManager::sharedManager()->acquireWriteLockForURI(*core::URL::parse("/Public/"),
        application->publicDirectory(), "exclusive", "me", "infinity", "Infinite");
    ASSERT_TRUE(lock);
    EXPECT_EQ(VKServerLockHooks::current()->locksForURI("/Public/a%20b.txt").size(), 1u);
    EXPECT_TRUE(VKServerLockHooks::current()->locksForURI("/Documents/a.txt").empty());
    WebDAVLockManager::sharedManager()->removeAllLocks();

    // A guest's server has the public folder as its root, with no virtual
    // roots beside it.
    server.setup(true);
    http = server.httpServer();
    EXPECT_EQ(http->localPathForURI(*core::URL::parse("/a.txt")), application->publicDirectory() + "/a.txt");
    EXPECT_EQ(http->localPathForURI(*core::URL::parse("/Documents/a.txt")),
        application->publicDirectory() + "/Documents/a.txt");
}

TEST_F(VKAppServerTest, TheAlertsTextsFollowTheServer)
{
    EXPECT_FALSE(server.isPortNoteDue()) << "no server";
    EXPECT_FALSE(server.startupMessage());
    auto defaults = core::UserDefaults::standard();
    defaults->set("VKPortNumber", core::Value(int64_t(80)));
    test::setFixedInterfaceAddresses(std::vector<net::InterfaceAddress> {});
    server.setup(false);
    EXPECT_TRUE(server.isPortNoteDue());
    defaults->set("VKDidShowPortNumberMigrationUpdateNote", core::Value(true));
    EXPECT_FALSE(server.isPortNoteDue());
    // No address to give: no start-up alert.
    EXPECT_FALSE(server.startupMessage());

    defaults->set("VKPortNumber", core::Value(int64_t(0)));
    server.setup(false);
    EXPECT_FALSE(server.isPortNoteDue());
    // Without an address on the network a port change names the address
    // this computer reaches the server at, not an empty one.
    ASSERT_EQ(server.start(true), VKAppServer::Start::Started);
    const auto serving = server.servingURL();
    ASSERT_TRUE(serving);
    EXPECT_TRUE(serving->absoluteString().ends_with(":" + std::to_string(server.httpServer()->port())))
        << serving->absoluteString();
    EXPECT_EQ(server.portChangedMessage(), "The Tandry connection URL has changed to:\n\n" + serving->absoluteString());
    server.start(false);
    server.httpServer()->setHostName("10.9.0.2");
    ASSERT_EQ(server.start(true), VKAppServer::Start::Started);
    const auto url = server.httpServer()->hostURL()->absoluteString();
    EXPECT_TRUE(url.starts_with("http://10.9.0.2:")) << url;
    ASSERT_TRUE(server.startupMessage());
    EXPECT_TRUE(server.startupMessage()->starts_with("Connect to Tandry using the following WebDAV URL:\n\n" + url))
        << *server.startupMessage();
    EXPECT_EQ(server.portChangedMessage(), "The Tandry connection URL has changed to:\n\n" + url);
}

} // namespace

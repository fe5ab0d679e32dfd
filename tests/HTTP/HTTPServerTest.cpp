#include "HTTPTestSupport.h"

#include "HTTP/NetServicePublisher.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/FakePublisher.h"

#include <atomic>
#include <sys/resource.h>
#include <thread>

using test::FakePublisher;
using test::PeerSocket;

namespace {

class HTTPServerTest : public test::HTTPServerTestCase {
protected:
    int statusChanges = 0;
    core::Observation statusObservation;

    void SetUp() override
    {
        HTTPServerTestCase::SetUp();
        statusObservation = core::NotificationCenter::defaultCenter().observe(HTTPServer::StatusDidChangeNotification,
            nullptr, [this](const core::Notification&) { ++statusChanges; });
    }
};

TEST_F(HTTPServerTest, StartsOnAnAssignedPortAndReportsFailures)
{
    core::Error error;
    ASSERT_TRUE(server->startListening(&error)) << error.description();
    EXPECT_TRUE(server->isStarted());
    EXPECT_NE(server->port(), 0);
    EXPECT_TRUE(logContains("Started HTTP server on port " + std::to_string(server->port())));
    EXPECT_EQ(statusChanges, 1);

    // A second server on the same port fails, changes nothing, says nothing.
    auto other = HTTPServer::create(core::URL::fileURL(root, true));
    other->setPort(server->port());
    core::Error failure;
    EXPECT_FALSE(other->startListening(&failure));
    EXPECT_FALSE(failure.isEmpty());
    EXPECT_FALSE(other->isStarted());
    EXPECT_EQ(statusChanges, 1);

    const auto port = server->port();
    EXPECT_TRUE(server->stopListeningAndDisconnectActiveConnections(true));
    EXPECT_FALSE(server->isStarted());
    EXPECT_EQ(statusChanges, 2);
    EXPECT_TRUE(logContains("Stopped HTTP server on port " + std::to_string(port)));
    // It can start again.
    server->setPort(0);
    EXPECT_TRUE(server->startListening());
    EXPECT_EQ(statusChanges, 3);
}

TEST_F(HTTPServerTest, ConnectionsKeepTheDeviceAwakeUntilTheLastEnds)
{
    ASSERT_TRUE(server->startListening());
    auto first = std::make_unique<PeerSocket>(server->port());
    auto second = std::make_unique<PeerSocket>(server->port());
    ASSERT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 2; }));
    EXPECT_TRUE(application->isIdleTimerDisabled());
    int deaths = 0;
    auto observation = core::NotificationCenter::defaultCenter().observe(HTTPConnection::DidDieNotification, nullptr,
        [&](const core::Notification&) { ++deaths; });
    first->close();
    ASSERT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 1; }));
    EXPECT_TRUE(application->isIdleTimerDisabled());
    second->close();
    ASSERT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 0; }));
    EXPECT_FALSE(application->isIdleTimerDisabled());
    EXPECT_EQ(deaths, 2);

    // A stop without disconnecting leaves the connection running...
    auto third = std::make_unique<PeerSocket>(server->port());
    ASSERT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 1; }));
    server->stopListeningAndDisconnectActiveConnections(false);
    settle();
    EXPECT_EQ(server->numberOfHTTPConnections(), 1u);
    third->send("GET /x HTTP/1.1\r\nHost: h\r\n\r\n");
    std::string answer;
    ASSERT_TRUE(pumpUntil([&] { return (answer = third->receive()).find("404") != std::string::npos; }));
    // ...and one with it closes them at once.
    server->stopListeningAndDisconnectActiveConnections(true);
    EXPECT_EQ(server->numberOfHTTPConnections(), 0u);
    EXPECT_FALSE(application->isIdleTimerDisabled());
    ASSERT_TRUE(pumpUntil([&] { return third->sawEnd(); }));
}

TEST_F(HTTPServerTest, HoldsItsLimitAndHeadDeadlineUnderSlowClients)
{
    rlimit limit {};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    makeFile("root/hello.txt", "hello");
    server->setConnectionLimitForTesting(500);
    ASSERT_TRUE(server->startListening());

    // 3,000 clients each start a head and never finish it.
    constexpr int slowCount = 3000;
    std::vector<std::unique_ptr<PeerSocket>> slow;
    std::atomic<int> opened = 0;
    std::thread slowClients([&, port = server->port()] {
        for (int i = 0; i < slowCount; ++i) {
            slow.push_back(std::make_unique<PeerSocket>(port));
            slow.back()->send("GET /hello.txt HTTP/1.1\r\n");
            ++opened;
        }
    });
    size_t most = 0;
    const auto mostSoFar = [&] {
        most = std::max(most, server->numberOfHTTPConnections());
        return most;
    };
    EXPECT_TRUE(pumpUntil([&] { return mostSoFar(), opened == slowCount; }, 120));
    slowClients.join();
    // A client with a whole request is answered meanwhile: the oldest
    // waiting connection makes room for it.
    PeerSocket client(server->port());
    client.send("GET /hello.txt HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_TRUE(pumpUntil([&] { return mostSoFar(), client.receive().ends_with("\r\n\r\nhello"); }));
    EXPECT_LE(most, 500u);
    EXPECT_GE(most, 400u);

    // A head that trickles in, a byte before each line's time-out, is cut
    // off at the deadline all the same, as are the others.
    PeerSocket trickle(server->port());
    trickle.send("GET /hello.txt HTTP/1.1\r\n");
    EXPECT_TRUE(pumpUntil([&] {
        const auto& connections = server->connections();
        return !connections.empty() && connections.back()->asyncSocket()->connectedPort() == trickle.localPort();
    }));
    int seconds = 0;
    for (; seconds < 60 && !trickle.sawEnd(); ++seconds) {
        if (seconds % 5 == 0)
            trickle.send("X");
        core::RunLoop::main().advance(1);
        settle();
    }
    EXPECT_TRUE(trickle.sawEnd());
    EXPECT_GE(seconds, 30);
    EXPECT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 0; }));
    EXPECT_LE(most, 500u);
}

TEST_F(HTTPServerTest, QueuesNewClientsAtAcceptWhileEveryConnectionIsBusy)
{
    server->setConnectionLimitForTesting(2);
    ASSERT_TRUE(server->startListening());
    // Two requests whose bodies are still on their way.
    const std::string head = "TRACE / HTTP/1.1\r\nHost: h\r\nContent-Length: 4\r\n\r\n";
    PeerSocket first(server->port());
    first.send(head);
    ASSERT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 1; }));
    settle();
    PeerSocket second(server->port());
    second.send(head);
    ASSERT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 2; }));
    PeerSocket third(server->port());
    third.send("GET /x HTTP/1.1\r\nHost: h\r\n\r\n");
    settle();
    EXPECT_EQ(server->numberOfHTTPConnections(), 2u);
    EXPECT_EQ(third.receive(), "");

    // The first is answered and waits for its next request: within a
    // second it makes room for the one queued.
    first.send("ping");
    ASSERT_TRUE(pumpUntil([&] { return first.receive().ends_with("ping"); }));
    core::RunLoop::main().advance(HTTPServer::LimitRetryInterval);
    std::string answer;
    EXPECT_TRUE(pumpUntil([&] { return (answer = third.receive()).find("\r\n\r\n") != std::string::npos; }));
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 404")) << answer;
    EXPECT_TRUE(pumpUntil([&] { return first.sawEnd(); }));
    EXPECT_LE(server->numberOfHTTPConnections(), 2u);
}

TEST_F(HTTPServerTest, DelayedStopIsCancelledByActivity)
{
    auto& loop = core::RunLoop::main();
    ASSERT_TRUE(server->startListening());
    server->stopListeningAfterDelay(1.0);
    loop.advance(0.9);
    EXPECT_TRUE(server->isStarted());
    loop.advance(0.2);
    EXPECT_FALSE(server->isStarted());

    server->setPort(0);
    ASSERT_TRUE(server->startListening());
    server->stopListeningAfterDelay(1.0);
    PeerSocket peer(server->port());
    ASSERT_TRUE(pumpUntil([&] { return server->numberOfHTTPConnections() == 1; }));
    loop.advance(2);
    EXPECT_TRUE(server->isStarted());

    // A start cancels it too.
    server->stopListeningAfterDelay(1.0);
    server->stopListeningAndDisconnectActiveConnections(true);
    server->setPort(0);
    ASSERT_TRUE(server->startListening());
    loop.advance(2);
    EXPECT_TRUE(server->isStarted());
}

TEST_F(HTTPServerTest, BuildsURLsAndAnnouncesThroughThePublisher)
{
    auto defaults = core::UserDefaults::standard();
    EXPECT_FALSE(server->hostURL());
    server->setHostName("192.168.1.5");
    server->setPort(8080);
    EXPECT_EQ(server->hostURL()->absoluteString(), "http://192.168.1.5:8080");
    server->setPort(80);
    EXPECT_TRUE(server->usingDefaultPort());
    EXPECT_EQ(server->hostURL()->absoluteString(), "http://192.168.1.5");
    defaults->set("VKSSLEnabled", core::Value(true));
    EXPECT_FALSE(server->usingDefaultPort());
    EXPECT_EQ(server->hostURL()->absoluteString(), "https://192.168.1.5:80");
    server->setPort(443);
    EXPECT_EQ(server->hostURL()->absoluteString(), "https://192.168.1.5");
    defaults->remove("VKSSLEnabled");

    // Without a backend nothing is announced.
    server->setTypes({ "_http._tcp.", "_webdav._tcp." });
    server->setPort(0);
    ASSERT_TRUE(server->startListening());
    settle();
    EXPECT_FALSE(server->bonjourURL());
    server->stopListeningAndDisconnectActiveConnections(true);

    auto publisher = std::make_shared<FakePublisher>();
    NetServicePublisher::setShared(publisher);
    int updates = 0;
    auto observation = core::NotificationCenter::defaultCenter().observe(HTTPServer::NetServiceDidUpdateNotification,
        nullptr, [&](const core::Notification&) { ++updates; });
    server->setTXTRecordDictionary(core::Value::makeDictionary({ { "path", core::Value("/") } }));
    server->setPort(8080);
    ASSERT_TRUE(server->startListening());
    core::RunLoop::main().runUntilIdle();
    ASSERT_EQ(publisher->services.size(), 2u);
    EXPECT_EQ(publisher->services[0]->port(), 8080);
    EXPECT_EQ(publisher->services[1]->type(), "_webdav._tcp.");
    EXPECT_EQ(publisher->services[0]->domain(), "local.");
    EXPECT_EQ(publisher->services[0]->txt.toString(), std::string("\x06path=/", 7));
    EXPECT_EQ(updates, 2);
    EXPECT_EQ(server->bonjourName(), "My-Tablet");
    EXPECT_EQ(server->bonjourURL()->absoluteString(), "http://My-Tablet.local:8080");
    server->stopListeningAndDisconnectActiveConnections(true);
    EXPECT_TRUE(publisher->services[0]->stopped);

    for (const std::string name : { "", "localhost" }) {
        publisher->deviceName = name;
        server->setPort(0);
        ASSERT_TRUE(server->startListening());
        core::RunLoop::main().runUntilIdle();
        EXPECT_FALSE(server->bonjourURL()) << name;
        server->stopListeningAndDisconnectActiveConnections(true);
    }
}

TEST_F(HTTPServerTest, AWithdrawnAnnouncementClearsTheBonjourName)
{
    auto publisher = std::make_shared<FakePublisher>();
    NetServicePublisher::setShared(publisher);
    std::vector<NetService*> updates;
    auto observation = core::NotificationCenter::defaultCenter().observe(HTTPServer::NetServiceDidUpdateNotification,
        nullptr, [&](const core::Notification& note) { updates.push_back(dynamic_cast<NetService*>(note.object().get())); });
    server->setTypes({ "_http._tcp.", "_webdav._tcp." });
    server->setPort(0);
    ASSERT_TRUE(server->startListening());
    core::RunLoop::main().runUntilIdle();
    ASSERT_EQ(publisher->services.size(), 2u);
    EXPECT_EQ(publisher->services[0]->port(), server->port());
    EXPECT_EQ(server->bonjourName(), "My-Tablet");
    ASSERT_TRUE(logContains("Bonjour Service Published: domain(local.) type(_http._tcp.) name(My Tablet) hostName(tablet.local)"));

    // The daemon went away: the name leads nowhere until it is back.
    updates.clear();
    auto& webdav = *publisher->services[1];
    webdav.completion(webdav, false);
    EXPECT_EQ(server->bonjourName(), "");
    EXPECT_FALSE(server->bonjourURL());
    EXPECT_EQ(updates, std::vector<NetService*> { &webdav });
    webdav.completion(webdav, true);
    EXPECT_EQ(server->bonjourName(), "My-Tablet");

    // Entries the TXT encoding cannot hold are left out and said so.
    server->setTXTRecordDictionary(core::Value::makeDictionary(
        { { "long", core::Value(std::string(300, 'x')) }, { "a", core::Value("b") } }));
    EXPECT_EQ(webdav.txt.toString(), std::string("\x03" "a=b", 4));
    EXPECT_TRUE(logContains("TXT record entry 'long' is longer than 255 bytes"));
}

TEST_F(HTTPServerTest, MapsURIsToLocalPathsAndBack)
{
    const auto uri = [](std::string_view text) { return *core::URL::parse(text); };
    // Without virtual roots: below the document root.
    EXPECT_EQ(server->localPathForURI(uri("/")), root);
    EXPECT_EQ(server->localPathForURI(uri("/a/b%20c.txt")), root + "/a/b c.txt");
    EXPECT_EQ(server->URIForLocalPath(root + "/a/b c.txt")->relativeString(), "/a/b%20c.txt");
    EXPECT_FALSE(server->localPathForURI(uri("/a/%2e%2e/%2e%2e/etc")));

    const auto privateFolder = makeFolder("root/Library/Documents");
    const auto publicFolder = makeFolder("root/Documents");
    server->addVirtualRootURI(uri("/Documents/"), privateFolder);
    server->addVirtualRootURI(uri("/Public/"), publicFolder);
    EXPECT_TRUE(server->hasVirtualRoots());
    EXPECT_EQ(server->virtualRootURIs().size(), 2u);
    EXPECT_EQ(server->localPathForURI(uri("/Documents")), privateFolder);
    EXPECT_EQ(server->localPathForURI(uri("/Documents/")), privateFolder);
    EXPECT_EQ(server->localPathForURI(uri("/Documents/a/b.txt")), privateFolder + "/a/b.txt");
    EXPECT_EQ(server->localPathForURI(uri("/Public/a%20b")), publicFolder + "/a b");
    EXPECT_FALSE(server->localPathForURI(uri("/Other/x")));
    EXPECT_FALSE(server->localPathForURI(uri("/DocumentsX/x")));
    EXPECT_EQ(server->localPathForURI(uri("/")), root);
    // Encoded dot segments never leave a root.
    EXPECT_FALSE(server->localPathForURI(uri("/Public/%2e%2e/Library/Documents/x")));
    EXPECT_FALSE(server->localPathForURI(uri("/Public/..%2fLibrary/x")));

    EXPECT_EQ(server->URIForLocalPath(publicFolder + "/a b;c.txt")->relativeString(), "/Public/a%20b%3Bc.txt");
    EXPECT_EQ(server->URIForLocalPath(privateFolder)->relativeString(), "/Documents/");
    EXPECT_EQ(server->URIForLocalPath(root)->relativeString(), "/");
    EXPECT_FALSE(server->URIForLocalPath(home() + "/elsewhere/x"));
    EXPECT_FALSE(server->URIForLocalPath(publicFolder + "2/x"));
}

} // namespace

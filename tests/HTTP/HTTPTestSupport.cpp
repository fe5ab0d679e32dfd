#include "HTTPTestSupport.h"

#include "HTTP/NetServicePublisher.h"
#include "Platform/Core/RunLoop.h"
#include "Support/TestEnvironment.h"

#include <fmt/format.h>

namespace test {

namespace {

// The server's class-wide state goes with each test.
const bool resetsRegistered = (TestEnvironment::addReset([] {
    HTTPConnection::resetForTesting();
    NetServicePublisher::setShared(nullptr);
}),
    true);

} // namespace

void HTTPServerTestCase::SetUp()
{
    TestCase::SetUp();
    (void)resetsRegistered;
    ui::Application::setShared(application);
    root = makeFolder("root");
    server = HTTPServer::create(core::URL::fileURL(root, true));
    server->setServerName("VKDAV/1.0");
}

void HTTPServerTestCase::TearDown()
{
    if (server)
        server->stopListeningAndDisconnectActiveConnections(true);
    server.reset();
    settle();
    ui::Application::setShared(nullptr);
    TestCase::TearDown();
}

bool HTTPServerTestCase::pumpUntil(const std::function<bool()>& predicate, double seconds)
{
    return core::RunLoop::current().runUntil(predicate, seconds);
}

void HTTPServerTestCase::settle()
{
    for (int i = 0; i < 5; ++i)
        core::RunLoop::current().runOnce(core::RunLoop::DefaultMode, 0.01);
}

std::string HTTPServerTestCase::runClient(const std::vector<std::string>& arguments, int* status)
{
    ChildProcess client(arguments);
    EXPECT_TRUE(pumpUntil([&] { return !client.isRunning(); }, 30)) << client.errors();
    const int result = client.wait(1);
    if (status)
        *status = result;
    return client.output();
}

std::string HTTPServerTestCase::url(std::string_view path) const
{
    return fmt::format("http://127.0.0.1:{}{}", server->port(), path);
}

std::string HTTPServerTestCase::exchange(PeerSocket& peer, const std::string& bytes, size_t responses)
{
    const auto before = peer.receive().size();
    peer.send(bytes);
    pumpUntil([&] { return count(peer.receive().substr(before), "HTTP/1.1 ") >= responses || peer.sawEnd(); });
    settle();
    return peer.receive().substr(before);
}

size_t HTTPServerTestCase::count(const std::string& text, std::string_view what)
{
    size_t found = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++found;
    return found;
}

} // namespace test

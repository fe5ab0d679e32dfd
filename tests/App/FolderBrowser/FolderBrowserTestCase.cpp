#include "FolderBrowserTestCase.h"

#include "App/FolderBrowser/VKFolderCountWatch.h"
#include "Kit/NetReachability.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/InterfaceAddresses.h"

#include <fmt/format.h>

namespace test {

namespace {

void awaitFolderCounts()
{
    auto& loop = core::RunLoop::main();
    // An answer may show rows that count in turn.
    for (int rounds = 0; rounds < 10 && VKFolderCountWatch::countsInFlightForTesting() > 0; ++rounds) {
        loop.runUntil([] { return VKFolderCountWatch::countsInFlightForTesting() == 0; }, 10);
        loop.runUntilIdle();
    }
}

} // namespace

void FolderBrowserTestCase::runLoop()
{
    UITestCase::runLoop();
    awaitFolderCounts();
}

void FolderBrowserTestCase::advance(double seconds)
{
    UITestCase::advance(seconds);
    awaitFolderCounts();
}

void FolderBrowserTestCase::SetUp()
{
    UITestCase::SetUp();
    FakeReachability::install();
    setFixedInterfaceAddresses(std::vector<net::InterfaceAddress> { { "wlan0", net::InterfaceAddress::Family::IPv4, "10.9.0.2" } });
    publisher = std::make_shared<FakePublisher>("Tandry-Test");
    NetServicePublisher::setShared(publisher);
    delegate = VKAppDelegate::create();
    delegate->setupHTTPServer();
    server = delegate->httpServer();
    server->setPort(0);
    ASSERT_TRUE(server->startListening());
    delegate->netReachability()->setDelegate(delegate);
    wifi().fire(WiFi);
    runLoop();
}

void FolderBrowserTestCase::TearDown()
{
    if (delegate)
        delegate->applicationWillTerminate();
    delegate.reset();
    server.reset();
    NetServicePublisher::setShared(nullptr);
    UITestCase::TearDown();
}

FakeReachability& FolderBrowserTestCase::wifi() const
{
    return *FakeReachability::made().back();
}

std::string FolderBrowserTestCase::hostAddress() const
{
    return fmt::format("10.9.0.2:{}", server->port());
}

std::string FolderBrowserTestCase::announcedAddress() const
{
    return fmt::format("Tandry-Test.local:{}", server->port());
}

void FolderBrowserTestCase::withdrawAnnouncement()
{
    auto& service = *publisher->services.back();
    service.completion(service, false);
}

} // namespace test

#pragma once

// The folder browser's tests: the toolkit's fixture plus the application
// delegate with a real server listening on a port the system assigns,
// announced as "Tandry-Test" through the fake publisher, and a fake Wi-Fi
// link whose address is 10.9.0.2 (reachable at the start).

#include "App/VKAppDelegate.h"
#include "HTTP/HTTPServer.h"
#include "Support/FakePublisher.h"
#include "Support/FakeReachability.h"
#include "Support/UITestCase.h"

#include <cstdint>
#include <memory>
#include <string>

namespace test {

class FolderBrowserTestCase : public UITestCase {
protected:
    static constexpr uint32_t WiFi = 0x2;

    void SetUp() override;
    void TearDown() override;
    // The loop's helpers, waiting also for the folder rows' counts read on
    // workers, so that the rows show them.
    static void runLoop();
    static void advance(double seconds);

    FakeReachability& wifi() const;
    // "10.9.0.2:P" and "Tandry-Test.local:P" for the port in use.
    std::string hostAddress() const;
    std::string announcedAddress() const;
    // Withdraws the last announcement, as when the daemon goes away.
    void withdrawAnnouncement();

    std::shared_ptr<FakePublisher> publisher;
    std::shared_ptr<VKAppDelegate> delegate;
    std::shared_ptr<HTTPServer> server;
};

} // namespace test

#pragma once

#include "HTTP/HTTPConnection.h"
#include "HTTP/HTTPServer.h"
#include "Platform/UI/Application.h"
#include "SocketTestSupport.h"
#include "Support/ChildProcess.h"
#include "Support/TestCase.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace test {

// A server on a port the system chose, serving a folder of the test home.
class HTTPServerTestCase : public TestCase {
protected:
    void SetUp() override;
    void TearDown() override;

    bool pumpUntil(const std::function<bool()>& predicate, double seconds = 20);
    void settle();
    // Runs a client program to its end, pumping meanwhile; its output.
    std::string runClient(const std::vector<std::string>& arguments, int* status = nullptr);
    std::string url(std::string_view path) const;
    // Sends the bytes on a new connection and reads until the server closes
    // or `responses` status lines arrived.
    std::string exchange(PeerSocket& peer, const std::string& bytes, size_t responses = 1);
    static size_t count(const std::string& text, std::string_view what);

    std::string root;
    std::shared_ptr<HTTPServer> server;
    // The program's application, which the server keeps awake.
    std::shared_ptr<ui::Application> application = std::make_shared<ui::Application>();
};

} // namespace test

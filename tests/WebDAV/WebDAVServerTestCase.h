#pragma once

#include "WebDAVTestCase.h"

#include "HTTP/HTTPServer.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/ChildProcess.h"
#include "WebDAV/WebDAVConnection.h"
#include "WebDAV/WebDAVCredentials.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fmt/format.h>

#include <mutex>
#include <string>
#include <vector>

namespace test {

class FakeCredentials : public WebDAVCredentials {
public:
    std::optional<std::string> passwordForUser(std::string_view user) override
    {
        std::lock_guard lock(mutex);
        if (user != WebDAVConnection::PasswordService)
            return std::nullopt;
        return password;
    }
    std::shared_ptr<const sec::Pkcs12Identity> sslIdentityAndCertificates() override { return nullptr; }

    std::mutex mutex;
    std::string password = "secret";
};

// A plain client socket; reading pumps the main loop, where the server lives.
class RawClient {
public:
    explicit RawClient(uint16_t port)
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        fcntl(m_fd, F_SETFL, O_NONBLOCK);
    }
    ~RawClient() { close(m_fd); }

    void send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent > 0)
                bytes.remove_prefix(static_cast<size_t>(sent));
            else
                core::RunLoop::main().runOnce(core::RunLoop::DefaultMode, 0.01);
        }
    }
    // Pumps until the text holds `needle` (or the server closed).
    const std::string& readUntil(std::string_view needle, size_t count = 1, double seconds = 20)
    {
        core::RunLoop::main().runUntil([&] {
            pull();
            return m_closed || occurrences(needle) >= count;
        }, seconds);
        return m_received;
    }
    // Pumps until `total` bytes arrived in all (or the server closed).
    const std::string& readBytes(size_t total, double seconds = 20)
    {
        core::RunLoop::main().runUntil([&] {
            pull();
            return m_closed || m_received.size() >= total;
        }, seconds);
        return m_received;
    }
    bool waitForClose()
    {
        core::RunLoop::main().runUntil([&] {
            pull();
            return m_closed;
        }, 20);
        return m_closed;
    }
    size_t occurrences(std::string_view needle) const
    {
        size_t found = 0;
        for (size_t at = m_received.find(needle); at != std::string::npos; at = m_received.find(needle, at + 1))
            ++found;
        return found;
    }
    const std::string& received() const { return m_received; }

private:
    void pull()
    {
        char buffer[65536];
        for (;;) {
            ssize_t got = recv(m_fd, buffer, sizeof buffer, 0);
            if (got > 0) {
                m_received.append(buffer, static_cast<size_t>(got));
                continue;
            }
            if (got == 0)
                m_closed = true;
            return;
        }
    }

    int m_fd = -1;
    bool m_closed = false;
    std::string m_received;
};

// A WebDAV server on a port the system chose: the home's "site" folder with
// "/Documents/" and "/Public/" as virtual roots, credentials a test can set,
// and curl and raw clients to talk to it.
class WebDAVServerTestCase : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        site = makeFolder("site");
        documents = makeFolder("site/Library/Documents");
        publicFolder = makeFolder("site/Documents");
        VKQuotaManager::setDefaultManager(VKQuotaManager::create(site, home() + "/Servers"));
        VKQuotaManager::setFreeSpaceFunction([](const std::string&) { return std::optional<uint64_t>(uint64_t(1) << 30); });
        credentials = std::make_shared<FakeCredentials>();
        WebDAVCredentials::setCurrent(credentials);
        server = HTTPServer::create(core::URL::fileURL(site, true));
        server->addVirtualRootURI(*core::URL::parse("/Documents/"), documents);
        server->addVirtualRootURI(*core::URL::parse("/Public/"), publicFolder);
        server->setServerName("VKDAV/1.0");
        server->setHostName("127.0.0.1");
        server->setConnectionClass<WebDAVConnection>();
        core::Error error;
        ASSERT_TRUE(server->startListening(&error)) << error.description();
    }
    void TearDown() override
    {
        server->stopListeningAndDisconnectActiveConnections(true);
        server.reset();
        for (int i = 0; i < 5; ++i)
            core::RunLoop::main().runOnce(core::RunLoop::DefaultMode, 0.01);
        TestCase::TearDown();
    }

    void protect(bool guest = false)
    {
        core::UserDefaults::standard()->set("VKLoginUsername", core::Value("alice"));
        core::UserDefaults::standard()->set("VKRemoteGuestAccess", core::Value(guest));
        core::RunLoop::main().runUntilIdle();
    }
    std::string url(std::string_view path) const { return fmt::format("http://127.0.0.1:{}{}", server->port(), path); }
    // Runs curl (pumping meanwhile) and answers "<status>\n<body>".
    std::string curl(std::vector<std::string> arguments, int* status = nullptr)
    {
        arguments.insert(arguments.begin(), { "curl", "-s", "-o", "-", "-w", "\n%{http_code}" });
        test::ChildProcess client(arguments);
        EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return !client.isRunning(); }, 30)) << client.errors();
        int result = client.wait(1);
        if (status)
            *status = result;
        return client.output();
    }
    static std::string code(const std::string& curlOutput) { return curlOutput.substr(curlOutput.rfind('\n') + 1); }
    std::shared_ptr<WebDAVConnection> onlyConnection() const
    {
        return server->connections().size() == 1 ? std::dynamic_pointer_cast<WebDAVConnection>(server->connections().front())
                                                  : nullptr;
    }

    std::string site;
    std::string documents;
    std::string publicFolder;
    std::shared_ptr<FakeCredentials> credentials;
    std::shared_ptr<HTTPServer> server;
};

} // namespace test

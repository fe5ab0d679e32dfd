#pragma once

#include "WebDAVTestCase.h"

#include "HTTP/HTTPServer.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/ChildProcess.h"
#include "Support/RawClient.h"
#include "WebDAV/WebDAVConnection.h"
#include "WebDAV/WebDAVCredentials.h"

#include <fmt/format.h>

#include <filesystem>
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
        VKQuotaManager::setDefaultManagerForTesting(VKQuotaManager::create(site, home() + "/Servers"));
        VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(uint64_t(1) << 30); });
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
    // Descriptors of this process that lead to the path.
    static int openDescriptorsFor(const std::string& path)
    {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            if (std::filesystem::read_symlink(entry.path(), error) == path)
                ++count;
        }
        return count;
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

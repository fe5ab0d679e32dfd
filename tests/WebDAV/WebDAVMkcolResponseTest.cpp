#include "WebDAVServerTestCase.h"

#include "Platform/Core/NotificationCenter.h"
#include "WebDAV/WebDAVLockManager.h"

#include <unistd.h>

namespace {

using test::RawClient;

class WebDAVMkcolResponseTest : public test::WebDAVServerTestCase {
protected:
    std::string mkcol(std::string_view path, std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments { "-X", "MKCOL", "-D", "-" };
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(url(path));
        return curl(arguments);
    }
};

TEST_F(WebDAVMkcolResponseTest, MakesTheFolderAndTellsItsParentAndTheQuota)
{
    std::vector<std::string> updated;
    auto observation = core::NotificationCenter::defaultCenter().observe(WebDAVCollectionDidUpdateNotification, nullptr,
        [&](const WebDAVItemNews& item) { updated.push_back(item.path); });
    std::vector<std::string> quotaPaths;
    auto quotaObservation = core::NotificationCenter::defaultCenter().observe(VKQuotaManagerDidUpdateQuotaNotification,
        nullptr, [&](const VKQuotaUpdate& update) { quotaPaths.push_back(update.path); });

    std::string answer = mkcol("/Documents/new%20folder");
    EXPECT_EQ(code(answer), "201");
    EXPECT_NE(answer.find(fmt::format("Location: http://127.0.0.1:{}/Documents/new%20folder/\r\n", server->port())),
        std::string::npos) << answer;
    EXPECT_TRUE(core::fs::isDirectory(documents + "/new folder"));
    core::RunLoop::main().runUntil([&] { return updated.size() >= 2 && !quotaPaths.empty(); }, 5);
    EXPECT_EQ(updated, (std::vector<std::string> { documents, documents + "/new folder" }));
    EXPECT_EQ(quotaPaths, (std::vector<std::string> { documents + "/new folder" }));

    // Quota unknown: nothing stops the folder.
    VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(); });
    EXPECT_EQ(code(mkcol("/Documents/unknown/")), "201");
}

TEST_F(WebDAVMkcolResponseTest, RefusesWhatCannotBecomeAFolder)
{
    makeFolder("site/Library/Documents/there");
    std::string answer = mkcol("/Documents/there/");
    EXPECT_EQ(code(answer), "405");
    EXPECT_NE(answer.find("HTTP/1.1 405 Method Not Allowed - resource exists"), std::string::npos) << answer;
    // A link leading nowhere is something too.
    ASSERT_EQ(symlink("/nonexistent/target", (documents + "/dangling").c_str()), 0);
    EXPECT_EQ(code(mkcol("/Documents/dangling")), "405");

    answer = mkcol("/Documents/missing/child/");
    EXPECT_EQ(code(answer), "409");
    EXPECT_NE(answer.find("HTTP/1.1 409 Conflict - Parent(s) do not exist"), std::string::npos) << answer;
    makeFile("site/Library/Documents/file.txt", "x");
    EXPECT_EQ(code(mkcol("/Documents/file.txt/child/")), "409");

    // Not through a link to a place beyond the roots.
    std::string outside = makeFolder("outside/inner");
    ASSERT_EQ(symlink(core::path::deletingLastPathComponent(outside).c_str(), (documents + "/through").c_str()), 0);
    EXPECT_EQ(code(mkcol("/Documents/through/inner/new/")), "409");
    EXPECT_FALSE(core::fs::exists(outside + "/new"));

    // Beside the server's roots.
    EXPECT_EQ(code(mkcol("/x/")), "403");
    EXPECT_EQ(code(mkcol("/x/", { "-A", "WebDAVFS/3.0 (03008000) Darwin/9.8.0" })), "401");
    EXPECT_FALSE(core::fs::exists(site + "/x"));

    // A parent locked at depth 0 needs its token to gain a member.
    auto lock = WebDAVLockManager::sharedManager()->acquireWriteLockForURI(*core::URL::parse("/Documents/there/"),
        documents + "/there", "exclusive", "someone", "0", "Infinite");
    ASSERT_TRUE(lock);
    EXPECT_EQ(code(mkcol("/Documents/there/inner/")), "423");
    EXPECT_EQ(code(mkcol("/Documents/there/inner/", { "-H", "If: (<opaquelocktoken:" + lock->lockToken() + ">)" })), "201");
    WebDAVLockManager::sharedManager()->removeAllLocks();

    int warnings = 0;
    auto observation = core::NotificationCenter::defaultCenter().observe(WebDAVInsufficientStorageNotification, nullptr,
        [&](const core::Notification&) { ++warnings; });
    VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(0); });
    answer = mkcol("/Documents/full/");
    EXPECT_EQ(code(answer), "507");
    EXPECT_NE(answer.find("Insufficient Storage"), std::string::npos);
    EXPECT_EQ(warnings, 1);
    EXPECT_FALSE(core::fs::exists(documents + "/full"));
}

TEST_F(WebDAVMkcolResponseTest, ABodyIsRefusedAndClosesTheConnection)
{
    RawClient client(server->port());
    client.send("MKCOL /Documents/chunked HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n");
    EXPECT_TRUE(client.readUntil("\r\n\r\n").starts_with("HTTP/1.1 415 Unsupported Media Type\r\n")) << client.received();
    EXPECT_TRUE(client.waitForClose());
    EXPECT_FALSE(core::fs::exists(documents + "/chunked"));
}

} // namespace

#include "WebDAVServerTestCase.h"

#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Thread.h"
#include "WebDAV/WebDAVCopyResponse.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVPropertyName.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

using test::RawClient;

const char* const ColorProperty = "com.kestrova.DAV.{http://ex/ns}color";

class WebDAVCopyResponseTest : public test::WebDAVServerTestCase {
protected:
    void TearDown() override
    {
        // A held copy never outlives the test, even one that failed early.
        copyReleased = true;
        core::Thread::waitForAll(10);
        core::FileTestHooks::reset();
        WebDAVLockManager::sharedManager()->removeAllLocks();
        WebDAVServerTestCase::TearDown();
    }

    // COPY or MOVE through curl; answers the head and body, then the status.
    std::string send(const std::string& method, const std::string& from, const std::string& to,
        std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments { "-X", method, "-D", "-" };
        if (!to.empty())
            arguments.insert(arguments.end(), { "-H", "Destination: " + (to.starts_with("/") && !to.starts_with("//") ? url(to) : to) });
        for (const auto& header : extra)
            arguments.insert(arguments.end(), { "-H", header });
        arguments.push_back(url(from));
        return curl(arguments);
    }
    // A leftover hidden copy shows here.
    static std::vector<std::string> namesIn(const std::string& folder)
    {
        return core::fs::sortedContentsOfDirectory(folder).value_or(std::vector<std::string> { "<unreadable>" });
    }
    static void setColor(const std::string& path, const std::string& color)
    {
        auto item = WebDAVResource::resourceWithURI(URLWithPath("/x"), path);
        ASSERT_TRUE(item);
        ASSERT_TRUE(item->setProperty(core::Value("<A:color xmlns:A=\"http://ex/ns\">" + color + "</A:color>"),
            *WebDAVPropertyName::propertyNameWithName(ColorProperty)));
    }
    // Sends a COPY of "slow.txt" to "done.txt" whose worker waits inside the
    // copy until `copyReleased`; answers the connection once it waits.
    std::shared_ptr<WebDAVConnection> startHeldCopy(RawClient& client, const std::string& headers = {})
    {
        core::FileTestHooks::setCopyItemHook([this](const std::string&) {
            copyEntered = true;
            while (!copyReleased)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return 0;
        });
        client.send("COPY /Documents/slow.txt HTTP/1.1\r\nHost: h\r\nDestination: /Documents/done.txt\r\n" + headers + "\r\n");
        if (!core::RunLoop::main().runUntil([&] { return copyEntered.load(); }, 20))
            return nullptr;
        return onlyConnection();
    }
    std::atomic<bool> copyEntered { false };
    std::atomic<bool> copyReleased { false };
    static std::string run(std::vector<std::string> arguments)
    {
        test::ChildProcess process(std::move(arguments));
        process.wait(30);
        return process.output();
    }
};

TEST_F(WebDAVCopyResponseTest, CopiesFilesAndAnswersEachRefusal)
{
    makeFile("site/Library/Documents/a.txt", "alpha");
    std::string answer = send("COPY", "/Documents/a.txt", "/Documents/b.txt");
    EXPECT_EQ(code(answer), "201");
    EXPECT_NE(answer.find(fmt::format("Location: http://127.0.0.1:{}/Documents/b.txt", server->port())), std::string::npos)
        << answer;
    EXPECT_EQ(readFile(documents + "/b.txt"), "alpha");

    makeFile("site/Library/Documents/a.txt", "changed");
    EXPECT_EQ(code(send("COPY", "/Documents/a.txt", "/Documents/b.txt")), "204");
    EXPECT_EQ(readFile(documents + "/b.txt"), "changed");
    answer = send("COPY", "/Documents/a.txt", "/Documents/b.txt", { "Overwrite: F" });
    EXPECT_EQ(code(answer), "412");
    EXPECT_NE(answer.find("412 Precondition Failed"), std::string::npos);
    answer = send("COPY", "/Documents/a.txt", "/Documents/b.txt", { "Overwrite: f" });
    EXPECT_EQ(code(answer), "400");
    EXPECT_NE(answer.find("Bad Request - Invalid Overwrite header"), std::string::npos);

    // Another server is refused whole, whichever part of its name differs;
    // this one's name in another case is the same server.
    for (std::string elsewhere : { std::string("http://elsewhere.example/Documents/c.txt"),
             fmt::format("http://127.0.0.1:{}/Documents/c.txt", server->port() + 1),
             fmt::format("https://127.0.0.1:{}/Documents/c.txt", server->port()), std::string("//elsewhere.example/Documents/c.txt") }) {
        answer = send("MOVE", "/Documents/a.txt", elsewhere);
        EXPECT_EQ(code(answer), "502") << elsewhere;
        EXPECT_NE(answer.find("502 Bad Gateway"), std::string::npos) << elsewhere;
    }
    EXPECT_EQ(code(send("COPY", "/Documents/a.txt", fmt::format("HTTP://127.0.0.1:{}/Documents/c.txt", server->port()))), "201");
    EXPECT_EQ(readFile(documents + "/c.txt"), "changed");

    makeFile("site/Library/Documents/folder/inner.txt", "inner");
    EXPECT_EQ(code(send("COPY", "/Documents/a.txt", "/")), "403");
    EXPECT_TRUE(logContains("Warning, attempt to overwrite root resource!"));
    answer = send("COPY", "/Documents/folder/", "/Documents/folder/sub/");
    EXPECT_EQ(code(answer), "403");
    EXPECT_NE(answer.find("403 Forbidden"), std::string::npos);
    EXPECT_EQ(code(send("COPY", "/Documents/a.txt", "/Documents/a.txt")), "403");
    answer = send("COPY", "/Documents/a.txt", "/Documents/missing/a.txt");
    EXPECT_EQ(code(answer), "409");
    answer = send("COPY", "/Documents/a.txt", "");
    EXPECT_EQ(code(answer), "400");
    EXPECT_NE(answer.find("Bad Request - No Destination header specified"), std::string::npos);
    EXPECT_EQ(code(send("COPY", "/Documents/nothing.txt", "/Documents/z.txt")), "404");

    for (std::string bad : { "/Documents/%2e%2e/%2e%2e/escape.txt", "/Documents/../Public/x.txt",
             "/Documents/x%00y.txt", "/Elsewhere/x.txt", "not a url" }) {
        answer = send("COPY", "/Documents/a.txt", bad.starts_with("/") ? url(bad) : bad);
        EXPECT_EQ(code(answer), "400") << bad;
        EXPECT_NE(answer.find("Bad Request - Invalid Destination header"), std::string::npos) << bad;
    }
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "a.txt", "b.txt", "c.txt", "folder" }));
    EXPECT_EQ(namesIn(publicFolder), std::vector<std::string> {});
}

TEST_F(WebDAVCopyResponseTest, RefusalsKeepTheConnectionButAReadOnlyURIClosesIt)
{
    makeFile("site/Library/Documents/a.txt", "alpha");
    RawClient client(server->port());
    client.send("COPY /Documents/a.txt HTTP/1.1\r\nHost: h\r\nDestination: /Documents/b.txt\r\nOverwrite: x\r\n\r\n");
    client.readUntil("\r\n\r\n");
    client.send("COPY /Documents/a.txt HTTP/1.1\r\nHost: h\r\nDestination: /Documents/b.txt\r\n\r\n");
    client.readUntil("\r\n\r\n", 2);
    EXPECT_NE(client.received().find("HTTP/1.1 400 Bad Request - Invalid Overwrite header\r\n"), std::string::npos);
    EXPECT_NE(client.received().find("HTTP/1.1 201 Created\r\n"), std::string::npos) << client.received();
    client.send("MOVE /Documents/a.txt HTTP/1.1\r\nHost: h\r\nDestination: /Public\r\n\r\n");
    EXPECT_TRUE(client.waitForClose());
    EXPECT_NE(client.received().find("HTTP/1.1 403 Forbidden\r\n"), std::string::npos) << client.received();
    EXPECT_EQ(readFile(documents + "/a.txt"), "alpha");
}

TEST_F(WebDAVCopyResponseTest, FolderTreesCopyWholeAndShallowCopiesKeepOnlyProperties)
{
    std::string tree = makeFolder("site/Library/Documents/tree");
    makeFile("site/Library/Documents/tree/one.txt", "1");
    makeFile("site/Library/Documents/tree/level2/two.txt", "22");
    makeFile("site/Library/Documents/tree/level2/level3/three.txt", "333");
    setColor(tree, "red");
    setColor(tree + "/level2/level3/three.txt", "blue");
    setColor(tree + "/level2", "green");
    run({ "chmod", "0600", tree + "/one.txt" });
    run({ "chmod", "0777", tree + "/level2/two.txt" });
    run({ "chmod", "0750", tree + "/level2/level3" });
    // Times set last: the attributes above would otherwise move them.
    run({ "touch", "-d", "2011-01-05 08:30:00", tree + "/one.txt", tree + "/level2/level3", tree + "/level2", tree });

    EXPECT_EQ(code(send("COPY", "/Documents/tree/", "/Documents/copy/")), "201");
    std::string copy = documents + "/copy";
    EXPECT_EQ(run({ "diff", "-r", tree, copy }), "");
    auto attributesOf = [&](const std::string& folder) {
        return run({ "sh", "-c", "cd '" + folder + "' && getfattr -R -d -m user. . 2>/dev/null" });
    };
    EXPECT_NE(attributesOf(tree).find("blue"), std::string::npos);
    EXPECT_EQ(attributesOf(copy), attributesOf(tree));
    auto timesAndModes = [&](const std::string& folder) {
        return run({ "sh", "-c", "cd '" + folder + "' && find . -exec stat -c '%n %Y %a' {} + | sort" });
    };
    for (const char* mode : { " 600\n", " 777\n", " 750\n" })
        EXPECT_NE(timesAndModes(tree).find(mode), std::string::npos) << timesAndModes(tree);
    EXPECT_EQ(timesAndModes(copy), timesAndModes(tree));

    EXPECT_EQ(code(send("COPY", "/Documents/tree/", "/Documents/shallow", { "Depth: 0" })), "201");
    EXPECT_EQ(namesIn(documents + "/shallow"), std::vector<std::string> {});
    auto shallow = WebDAVResource::resourceWithURI(URLWithPath("/Documents/shallow/"), documents + "/shallow");
    auto color = shallow->propertyForName(*WebDAVPropertyName::propertyNameWithName(ColorProperty));
    EXPECT_NE(color.toString().find("red"), std::string::npos);

    std::string answer = send("MOVE", "/Documents/tree/", "/Documents/moved/", { "Depth: 0" });
    EXPECT_EQ(code(answer), "400");
    EXPECT_NE(answer.find("Bad Request - Invalid Depth header"), std::string::npos);
    EXPECT_EQ(code(send("COPY", "/Documents/tree/", "/Documents/moved/", { "Depth: 1" })), "400");
    EXPECT_TRUE(core::fs::isDirectory(tree + "/level2/level3"));

    // A folder over a file: the file gives way only once the copy is whole.
    makeFile("site/Library/Documents/file.txt", "plain");
    EXPECT_EQ(code(send("COPY", "/Documents/tree/", "/Documents/file.txt")), "204");
    EXPECT_EQ(readFile(documents + "/file.txt/level2/two.txt"), "22");
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "copy", "file.txt", "shallow", "tree" }));
}

TEST_F(WebDAVCopyResponseTest, CopiesAsLargeAsTheFreeSpaceAreRefused)
{
    makeFile("site/Library/Documents/big.bin", std::string(100, 'b'));
    makeFolder("site/Library/Documents/folder");
    makeFile("site/Library/Documents/folder/inside.bin", std::string(100, 'i'));
    VKQuotaManager::defaultManager()->updateQuotaForPath(site);
    VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(100); });
    int refusals = 0;
    auto observation = core::NotificationCenter::defaultCenter().observe(WebDAVInsufficientStorageNotification, nullptr,
        [&](const core::Notification&) { ++refusals; });
    std::string answer = send("COPY", "/Documents/big.bin", "/Documents/again.bin");
    EXPECT_EQ(code(answer), "507");
    EXPECT_NE(answer.find("Insufficient Storage"), std::string::npos);
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(code(send("COPY", "/Documents/folder/", "/Documents/f2/")), "507");
    EXPECT_EQ(code(send("COPY", "/Documents/folder/", "/Documents/f3/", { "Depth: 0" })), "201");
    EXPECT_EQ(code(send("MOVE", "/Documents/big.bin", "/Documents/moved.bin")), "201");
    EXPECT_EQ(refusals, 2);
}

TEST_F(WebDAVCopyResponseTest, MovesAnnounceThemselvesLaterAndDropTheSourcesLocks)
{
    std::string source = makeFile("site/Library/Documents/from.txt", "moving");
    makeFile("site/Library/Documents/to.txt", "old");
    auto locks = WebDAVLockManager::sharedManager();
    ASSERT_TRUE(locks->acquireWriteLockForURI(*core::URL::parse("/Documents/from.txt"), source, "shared", "me", "0", "Infinite"));
    std::vector<VKResourceMove> moves;
    auto observation = core::NotificationCenter::defaultCenter().observe(WebDAVDidMoveResourceNotification, nullptr,
        [&](const VKResourceMove& move) { moves.push_back(move); });

    // Locked without the token: nothing moves, nothing is announced.
    EXPECT_EQ(code(send("MOVE", "/Documents/from.txt", "/Documents/to.txt")), "423");
    core::RunLoop::main().runUntilIdle();
    EXPECT_TRUE(moves.empty());
    auto lock = locks->locksForURI(*core::URL::parse("/Documents/from.txt"));
    ASSERT_EQ(lock.size(), 1u);

    std::string ifHeader = "If: (<opaquelocktoken:" + lock.front()->lockToken() + ">)";
    EXPECT_EQ(code(send("MOVE", "/Documents/from.txt", "/Documents/to.txt", { ifHeader })), "204");
    core::RunLoop::main().runUntilIdle();
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].oldPath, source);
    EXPECT_EQ(moves[0].newPath, documents + "/to.txt");
    EXPECT_EQ(readFile(documents + "/to.txt"), "moving");
    EXPECT_FALSE(core::fs::exists(source));
    EXPECT_TRUE(locks->locksForURI(*core::URL::parse("/Documents/from.txt")).empty());
    EXPECT_EQ(namesIn(documents), std::vector<std::string> { "to.txt" });
}

TEST_F(WebDAVCopyResponseTest, ItemFailuresAreListedAndNeverCostTheReplacedItem)
{
    std::string tree = makeFolder("site/Library/Documents/tree");
    makeFile("site/Library/Documents/tree/good.txt", "good");
    makeFile("site/Library/Documents/tree/bad1.txt", "bad");
    makeFile("site/Library/Documents/tree/sub/bad2.txt", "bad");
    core::FileTestHooks::setCopyItemHook([](const std::string& from) { return from.find("/bad") != std::string::npos ? EACCES : 0; });

    std::string answer = send("COPY", "/Documents/tree/", "/Documents/copy/");
    EXPECT_EQ(code(answer), "207");
    EXPECT_NE(answer.find("<D:href>/Documents/tree/bad1.txt</D:href>"), std::string::npos) << answer;
    EXPECT_NE(answer.find("<D:href>/Documents/tree/sub/bad2.txt</D:href>"), std::string::npos) << answer;
    EXPECT_NE(answer.find("HTTP/1.1 403 Forbidden"), std::string::npos);
    EXPECT_EQ(readFile(documents + "/copy/good.txt"), "good");

    // The same failures over an existing folder leave that folder as it was.
    makeFile("site/Library/Documents/old/keep.txt", "keep");
    EXPECT_EQ(code(send("COPY", "/Documents/tree/", "/Documents/old/")), "207");
    EXPECT_EQ(namesIn(documents + "/old"), std::vector<std::string> { "keep.txt" });
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "copy", "old", "tree" }));

    // The request's own item failing alone is a plain refusal.
    makeFile("site/Library/Documents/bad.txt", "bad");
    makeFile("site/Library/Documents/target.txt", "target");
    answer = send("COPY", "/Documents/bad.txt", "/Documents/target.txt");
    EXPECT_EQ(code(answer), "403");
    EXPECT_NE(answer.find("403 Forbidden"), std::string::npos);
    EXPECT_EQ(readFile(documents + "/target.txt"), "target");
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "bad.txt", "copy", "old", "target.txt", "tree" }));
}

TEST_F(WebDAVCopyResponseTest, ALongCopyIsKeptAliveWithInterimAnswers)
{
    makeFile("site/Library/Documents/slow.txt", "slow");
    RawClient client(server->port());
    auto& loop = core::RunLoop::main();
    auto connection = startHeldCopy(client);
    ASSERT_TRUE(connection);
    auto response = std::dynamic_pointer_cast<WebDAVCopyResponse>(connection->currentResponse());
    ASSERT_TRUE(response);
    EXPECT_TRUE(response->isCopyInProgress());
    EXPECT_EQ(response->onSocketShouldTimeout(), std::optional<bool>(false));

    loop.advance(60);
    client.readUntil("102 Processing", 1);
    loop.advance(60);
    client.readUntil("102 Processing", 2);
    loop.advance(30);
    EXPECT_EQ(client.occurrences("HTTP/1.1 102 Processing\r\n"), 2u) << client.received();
    EXPECT_TRUE(response->isCopyInProgress());
    copyReleased = true;
    client.readUntil("201 Created");
    EXPECT_NE(client.received().find("HTTP/1.1 201 Created\r\n"), std::string::npos) << client.received();
    EXPECT_FALSE(response->isCopyInProgress());
    EXPECT_EQ(response->onSocketShouldTimeout(), std::optional<bool>(true));
    EXPECT_EQ(readFile(documents + "/done.txt"), "slow");
    EXPECT_TRUE(core::Thread::waitForAll(10));
}

TEST_F(WebDAVCopyResponseTest, ADestinationMadeWhileTheCopyRanIsKept)
{
    makeFile("site/Library/Documents/slow.txt", "slow");
    RawClient client(server->port());
    ASSERT_TRUE(startHeldCopy(client, "If-None-Match: *\r\n"));
    makeFile("site/Library/Documents/done.txt", "someone else's");
    copyReleased = true;
    client.readUntil("\r\n\r\n");
    EXPECT_NE(client.received().find("HTTP/1.1 412 Precondition Failed\r\n"), std::string::npos) << client.received();
    EXPECT_EQ(readFile(documents + "/done.txt"), "someone else's");
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "done.txt", "slow.txt" }));
}

TEST_F(WebDAVCopyResponseTest, ACopyWhoseConnectionEndsFinishesAndAnswersNobody)
{
    makeFile("site/Library/Documents/slow.txt", "slow");
    RawClient client(server->port());
    auto& loop = core::RunLoop::main();
    auto connection = startHeldCopy(client);
    ASSERT_TRUE(connection);
    std::weak_ptr<WebDAVResponse> response = connection->currentResponse();
    ASSERT_TRUE(response.lock());

    // The grants run out mid-copy: the connection ends at once and lets go
    // of its answer while the worker still copies.
    core::expireBackgroundTasksForTesting();
    EXPECT_TRUE(loop.runUntil([&] { return server->connections().empty(); }, 5));
    EXPECT_FALSE(connection->currentResponse());
    EXPECT_TRUE(client.waitForClose());

    // The worker's end comes back to nobody; the copy it made is whole and
    // nothing hidden is left beside it.
    copyReleased = true;
    EXPECT_TRUE(core::Thread::waitForAll(10));
    loop.runUntil([] { return false; }, 0.2);
    EXPECT_EQ(client.received().find("201"), std::string::npos) << client.received();
    EXPECT_EQ(readFile(documents + "/done.txt"), "slow");
    EXPECT_EQ(namesIn(documents), (std::vector<std::string> { "done.txt", "slow.txt" }));
}

TEST_F(WebDAVCopyResponseTest, AClientThatShutsItsSendingSideStillGetsItsAnswer)
{
    makeFile("site/Library/Documents/slow.txt", "slow");
    RawClient client(server->port());
    auto connection = startHeldCopy(client);
    ASSERT_TRUE(connection);
    client.shutdownSending();
    core::RunLoop::main().runUntil([] { return false; }, 0.2);
    EXPECT_EQ(server->connections().size(), 1u);

    // The answer goes out, then the connection ends, the next request's
    // read finding nothing more to come.
    copyReleased = true;
    EXPECT_TRUE(client.waitForClose());
    EXPECT_NE(client.received().find("HTTP/1.1 201 Created\r\n"), std::string::npos) << client.received();
    EXPECT_EQ(readFile(documents + "/done.txt"), "slow");
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return server->connections().empty(); }, 5));
}

TEST_F(WebDAVCopyResponseTest, GuestsNeedCredentialsToWriteIntoProtectedFolders)
{
    protect(true);
    makeFile("site/Documents/shared.txt", "from a guest");
    makeFile("site/Library/Documents/private.txt", "private");
    std::string answer = send("COPY", "/Public/shared.txt", "/Documents/private.txt");
    EXPECT_EQ(code(answer), "401");
    EXPECT_NE(answer.find("WWW-Authenticate: Digest"), std::string::npos) << answer;
    EXPECT_EQ(code(send("MOVE", "/Public/shared.txt", "/Documents/private.txt")), "401");
    EXPECT_EQ(readFile(documents + "/private.txt"), "private");
    EXPECT_EQ(readFile(publicFolder + "/shared.txt"), "from a guest");

    EXPECT_EQ(code(send("COPY", "/Public/shared.txt", "/Public/again.txt")), "201");
    EXPECT_EQ(code(send("COPY", "/Public/shared.txt", "/Documents/private.txt", { "Overwrite: T" })), "401");
    std::vector<std::string> arguments { "-X", "COPY", "--digest", "-u", "alice:secret", "-H",
        "Destination: " + url("/Documents/private.txt"), url("/Public/shared.txt") };
    EXPECT_EQ(code(curl(arguments)), "204");
    EXPECT_EQ(readFile(documents + "/private.txt"), "from a guest");
}

TEST_F(WebDAVCopyResponseTest, LinksAreCopiedAsLinksAndNeverLeadOut)
{
    std::string outside = makeFile("outside/secret.txt", "secret");
    ASSERT_EQ(symlink(outside.c_str(), (documents + "/link").c_str()), 0);
    // A link that leads out is not there to copy or move.
    EXPECT_EQ(code(send("COPY", "/Documents/link", "/Documents/copied")), "404");
    EXPECT_EQ(code(send("MOVE", "/Documents/link", "/Documents/moved")), "404");
    EXPECT_FALSE(core::fs::exists(documents + "/copied"));

    // One that stays inside is copied as a link.
    makeFile("site/Library/Documents/plain.txt", "plain");
    ASSERT_EQ(symlink("plain.txt", (documents + "/inner").c_str()), 0);
    EXPECT_EQ(code(send("COPY", "/Documents/inner", "/Documents/copied")), "201");
    char target[4096];
    ssize_t length = readlink((documents + "/copied").c_str(), target, sizeof target);
    ASSERT_GT(length, 0);
    EXPECT_EQ(std::string(target, static_cast<size_t>(length)), "plain.txt");

    // Over the outward link: it is no item here (Overwrite "F" does not
    // hold it), so the link gives way; its target stays.
    EXPECT_EQ(code(send("COPY", "/Documents/plain.txt", "/Documents/link", { "Overwrite: F" })), "204");
    EXPECT_EQ(readFile(documents + "/link"), "plain");
    EXPECT_EQ(readFile(outside), "secret");

    // A folder link that leads out is no way in or out.
    ASSERT_EQ(symlink((home() + "/outside").c_str(), (documents + "/door").c_str()), 0);
    EXPECT_EQ(code(send("COPY", "/Documents/plain.txt", "/Documents/door/planted.txt")), "409");
    EXPECT_EQ(code(send("MOVE", "/Documents/plain.txt", "/Documents/door/planted.txt")), "409");
    EXPECT_EQ(code(send("COPY", "/Documents/door/secret.txt", "/Documents/stolen.txt")), "404");
    EXPECT_FALSE(core::fs::exists(home() + "/outside/planted.txt"));
    EXPECT_FALSE(core::fs::exists(documents + "/stolen.txt"));
    EXPECT_EQ(readFile(documents + "/plain.txt"), "plain");
}

// The response on its own, with a stand-in connection, where a test can see
// what happens within start() and what only on a later pass.
class WebDAVCopyResponseUnitTest : public test::FakeDelegateTestCase {
protected:
    std::shared_ptr<WebDAVCopyResponse> move(const std::string& from, const std::string& to)
    {
        auto response = WebDAVCopyResponse::create(
            test::makeRequest("MOVE", from, "Destination: http://dav.test:8080" + to + "\r\n"), delegate.get());
        response->setDeleteOriginal(true);
        response->start();
        return response;
    }
};

TEST_F(WebDAVCopyResponseUnitTest, TheMoveNoticeComesAPassLaterAndOnlyForAnItemThatArrived)
{
    std::string source = makeFile("root/from.txt", "moving");
    std::vector<VKResourceMove> moves;
    auto observation = core::NotificationCenter::defaultCenter().observe(WebDAVDidMoveResourceNotification, nullptr,
        [&](const VKResourceMove& move) { moves.push_back(move); });
    auto response = move("/from.txt", "/to.txt");
    EXPECT_EQ(delegate->ends, 1);
    EXPECT_EQ(delegate->lastEnd, WebDAVResponseEnd::KeepOpen);
    EXPECT_EQ(response->statusCode(), 201);
    EXPECT_TRUE(moves.empty());
    core::RunLoop::main().runUntilIdle();
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].oldPath, source);
    EXPECT_EQ(moves[0].newPath, root + "/to.txt");

    // A move the file system refuses announces nothing.
    std::string sealed = makeFolder("root/sealed");
    makeFile("root/sealed/item.txt", "stays");
    test::ChildProcess seal({ "chattr", "+i", sealed });
    if (seal.wait(10) != 0)
        GTEST_SKIP() << "no immutable folders here";
    response = move("/sealed/item.txt", "/out.txt");
    test::ChildProcess({ "chattr", "-i", sealed }).wait(10);
    EXPECT_EQ(response->statusCode(), 403);
    EXPECT_EQ(delegate->lastEnd, WebDAVResponseEnd::Close);
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(moves.size(), 1u);
    EXPECT_EQ(readFile(sealed + "/item.txt"), "stays");
    EXPECT_FALSE(core::fs::exists(root + "/out.txt"));
}

} // namespace

#include "App/FolderBrowser/VKFolderItemTransfer.h"

#include "Shell/VKApplication.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/VKFileManagerDelegate.h"
#include "Platform/Core/DesktopTrash.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Support/FileModel/RecordingServerLockHooks.h"
#include "Support/TestCase.h"

#include <fmt/format.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = core::fs;
using Strings = std::vector<std::string>;

namespace {

class VKFolderItemTransferTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        documents = VKApplication::sharedApplication()->documentsDirectory();
        hooks.isCancelled = [this] { return cancelled; };
        hooks.moved = [this](const std::shared_ptr<VKFileResource>& resource, const std::string& to, bool replaced) {
            const std::string shown = to.rfind(documents + "/", 0) == 0 ? to.substr(documents.size() + 1) : to;
            moves.push_back(resource->name() + " -> " + shown + (replaced ? " (replaced)" : ""));
        };
    }
    void TearDown() override
    {
        core::FileTestHooks::reset();
        if (!elsewhere.empty())
            fs::removeItem(elsewhere);
        test::TestCase::TearDown();
    }

    std::string doc(const std::string& relative) { return documents + "/" + relative; }
    std::string makeDoc(const std::string& relative, std::string_view contents = "data")
    {
        return makeFile("Library/Documents/" + relative, contents);
    }
    // What the desktop's trash holds under a name, and where it came from.
    std::string trashed(const std::string& name)
    {
        return readFile(core::desktopTrash::location() + "/files/" + name);
    }
    std::string trashedFrom(const std::string& name)
    {
        std::string info = readFile(core::desktopTrash::location() + "/info/" + name + ".trashinfo");
        size_t at = info.find("Path=");
        return at == std::string::npos ? info : info.substr(at + 5, info.find('\n', at) - at - 5);
    }
    // Every name in the folder, hidden ones too.
    Strings names(const std::string& relative)
    {
        auto found = fs::sortedContentsOfDirectory(doc(relative));
        return found ? *found : Strings { "<unreadable>" };
    }
    VKFolderItemTransfer::Request request(const Strings& items, const std::string& destination)
    {
        VKFolderItemTransfer::Request made;
        for (const auto& item : items)
            made.resources.push_back(VKFileResource::resourceWithPath(doc(item)));
        made.destination = doc(destination);
        return made;
    }

    std::string documents;
    std::string elsewhere;
    bool cancelled = false;
    Strings moves;
    VKFolderItemTransfer::Hooks hooks;
};

TEST_F(VKFolderItemTransferTest, CopiesBesideThemselvesTakeTheCopySuffixAndUniqueNamesNone)
{
    makeDoc("F/a.txt", "a");
    auto result = VKFolderItemTransfer::copyItems(request({ "F/a.txt" }, "F"), hooks);
    result = VKFolderItemTransfer::copyItems(request({ "F/a.txt" }, "F"), hooks);
    EXPECT_EQ(result.failureCount, 0u);
    EXPECT_EQ(result.paths, Strings { doc("F/a copy 1.txt") });
    EXPECT_EQ(names("F"), (Strings { "a copy 1.txt", "a copy.txt", "a.txt" }));

    makeDoc("G/a.txt", "other");
    auto unique = request({ "F/a.txt" }, "G");
    unique.ensureUnique = true;
    result = VKFolderItemTransfer::copyItems(unique, hooks);
    EXPECT_EQ(names("G"), (Strings { "a 1.txt", "a.txt" }));
    EXPECT_EQ(readFile(doc("G/a.txt")), "other");
}

TEST_F(VKFolderItemTransferTest, CopyReplacesOnlyOnceTheWholeCopyStands)
{
    makeDoc("S/a", std::string(100, 'a'));
    makeDoc("S/b", std::string(50, 'b'));
    makeDoc("D/b", std::string(30, 'o'));
    makeDoc("D/keep", "k");

    // Cancelled once both are in: the copy of a goes, the old b comes back.
    hooks.isCancelled = [this] { return fs::exists(doc("D/a")) && fs::exists(doc("D/b")) && readFile(doc("D/b")).size() == 50; };
    auto result = VKFolderItemTransfer::copyItems(request({ "S/a", "S/b" }, "D"), hooks);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.failureCount, 0u);
    EXPECT_EQ(names("D"), (Strings { "b", "keep" }));
    EXPECT_EQ(readFile(doc("D/b")), std::string(30, 'o'));

    hooks.isCancelled = [] { return false; };
    result = VKFolderItemTransfer::copyItems(request({ "S/a", "S/b" }, "D"), hooks);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.paths, (Strings { doc("D/a"), doc("D/b") }));
    EXPECT_EQ(result.replacedPaths, Strings { doc("D/b") });
    EXPECT_EQ(names("D"), (Strings { "a", "b", "keep" }));
    EXPECT_EQ(readFile(doc("D/b")), std::string(50, 'b'));
    EXPECT_EQ(trashed("b"), std::string(30, 'o')) << "the replaced b waits in the trash";
    EXPECT_EQ(trashedFrom("b"), doc("D/b"));
    EXPECT_EQ(names("S"), (Strings { "a", "b" }));
}

TEST_F(VKFolderItemTransferTest, CancelHalfwayThroughAFolderLeavesNothingCopied)
{
    for (int i = 0; i < 200; ++i)
        makeDoc(fmt::format("S/tree/f{:03}", i), "x");
    makeDoc("S/later", "l");
    makeDoc("D/tree/old", "old");
    int seen = 0;
    core::FileTestHooks::setCopyItemHook([&](const std::string& from) {
        if (from.find("/tree/f") != std::string::npos && ++seen == 100)
            cancelled = true;
        return 0;
    });
    // The operation's observer stops the copy once it is cancelled.
    struct Observer : VKFileManagerDelegate {
        bool* flag;
        bool copyingItemAtPath(const std::string&, const std::string&, uint64_t) override { return !*flag; }
    } observer;
    observer.flag = &cancelled;
    hooks.delegate = &observer;
    auto result = VKFolderItemTransfer::copyItems(request({ "S/tree", "S/later" }, "D"), hooks);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.failureCount, 0u);
    EXPECT_EQ(seen, 100);
    EXPECT_EQ(names("D"), Strings { "tree" });
    EXPECT_EQ(names("D/tree"), Strings { "old" });
}

TEST_F(VKFolderItemTransferTest, AFailedItemLeavesNothingAtItsNameAndTheOthersLand)
{
    makeDoc("S/folder/good", "g");
    makeDoc("S/folder/unreadable", "u");
    makeDoc("S/big", std::string(10000, 'b'));
    makeDoc("S/fine", "f");
    makeDoc("D/big", "old big");
    const std::string socketPath = doc("S/sock");
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    const bool haveSocket = socketPath.size() < sizeof address.sun_path
        && bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    core::FileTestHooks::setCopyItemHook([&](const std::string& from) { return from == doc("S/folder/unreadable") ? EACCES : 0; });
    core::FileTestHooks::setCopyDataHook([](const std::string& to, uint64_t) { return to.find(".big.copy-") != std::string::npos ? ENOSPC : 0; });

    Strings items { "S/big", "S/folder", "S/fine" };
    if (haveSocket)
        items.push_back("S/sock");
    auto result = VKFolderItemTransfer::copyItems(request(items, "D"), hooks);
    close(sock);
    EXPECT_EQ(result.failureCount, haveSocket ? 3u : 2u);
    EXPECT_TRUE(result.error.is(core::Error::POSIXDomain, ENOSPC)) << result.error.description();
    EXPECT_EQ(names("D"), (Strings { "big", "fine" }));
    EXPECT_EQ(readFile(doc("D/big")), "old big");
    EXPECT_TRUE(result.replacedPaths.empty());
}

TEST_F(VKFolderItemTransferTest, ADestinationRemovedMeanwhileLosesNothing)
{
    makeDoc("S/a", "a");
    makeDoc("S/b", "b");
    makeDoc("D/keep", "k");
    // Another program removes the folder as the first item is about to go.
    hooks.isCancelled = [this] {
        if (fs::exists(doc("D")))
            fs::removeItem(doc("D"));
        return false;
    };
    auto moved = VKFolderItemTransfer::moveItems(request({ "S/a", "S/b" }, "D"), hooks);
    EXPECT_EQ(moved.failureCount, 2u);
    EXPECT_TRUE(moved.paths.empty());
    EXPECT_EQ(names("S"), (Strings { "a", "b" }));
    auto copied = VKFolderItemTransfer::copyItems(request({ "S/a", "S/b" }, "D"), hooks);
    EXPECT_EQ(copied.failureCount, 2u);
    EXPECT_FALSE(fs::exists(doc("D")));
    EXPECT_EQ(readFile(doc("S/a")), "a");
}

TEST_F(VKFolderItemTransferTest, NeitherOperationReplacesATargetHoldingAnItemOrCopiesIntoAnItem)
{
    // F/A/A marked and sent to F, which holds A: A is the source's own parent.
    makeDoc("F/A/A/inner", "precious");
    for (bool move : { false, true }) {
        auto work = request({ "F/A/A" }, "F");
        auto result = move ? VKFolderItemTransfer::moveItems(work, hooks) : VKFolderItemTransfer::copyItems(work, hooks);
        EXPECT_EQ(result.failureCount, 1u);
        EXPECT_EQ(readFile(doc("F/A/A/inner")), "precious");
        EXPECT_EQ(names("F"), Strings { "A" });
    }
    // A destination inside a marked folder, reached around the picker.
    for (bool move : { false, true }) {
        auto work = request({ "F/A" }, "F/A/A");
        auto result = move ? VKFolderItemTransfer::moveItems(work, hooks) : VKFolderItemTransfer::copyItems(work, hooks);
        EXPECT_EQ(result.failureCount, 1u);
        EXPECT_EQ(names("F/A/A"), Strings { "inner" });
    }
    // A vanished destination fails every item and touches no source.
    makeDoc("S/one", "1");
    makeDoc("S/two", "2");
    auto result = VKFolderItemTransfer::moveItems(request({ "S/one", "S/two" }, "Gone"), hooks);
    EXPECT_EQ(result.failureCount, 2u);
    EXPECT_EQ(names("S"), (Strings { "one", "two" }));
}

TEST_F(VKFolderItemTransferTest, MoveSetsTheOldItemAsideAndPutsItBackOnFailure)
{
    makeDoc("S/a", "new a");
    makeDoc("S/b", "new b");
    makeDoc("D/a", "old a");
    makeDoc("D/b", "old b");
    auto quota = VKQuotaManager::defaultManager();
    quota->updateQuotaForPath(documents);
    const uint64_t before = quota->sizeForPath(documents);

    // b is locked by a client: it cannot move, and the old D/b comes back.
    auto locks = test::RecordingServerLockHooks::install();
    locks->serve(doc("S/b"), "/S/b");
    locks->lock("/S/b");
    std::vector<double> fractions;
    hooks.progress = [&](double fraction) { fractions.push_back(fraction); };
    auto result = VKFolderItemTransfer::moveItems(request({ "S/a", "S/b" }, "D"), hooks);
    EXPECT_EQ(result.failureCount, 1u);
    EXPECT_EQ(moves, Strings { "a -> D/a (replaced)" });
    EXPECT_EQ(result.replacedPaths, Strings { doc("D/a") });
    EXPECT_EQ(names("D"), (Strings { "a", "b" }));
    EXPECT_EQ(readFile(doc("D/a")), "new a");
    EXPECT_EQ(readFile(doc("D/b")), "old b");
    EXPECT_EQ(trashed("a"), "old a");
    EXPECT_EQ(names("S"), Strings { "b" });
    EXPECT_EQ(fractions, std::vector<double> { 0.5 });
    EXPECT_EQ(quota->sizeForPath(documents), before - 5);

    // Across file systems the old item stands in its place until the whole
    // copy is swapped in: a disk that fills keeps it there.
    makeDoc("S/c", "new c");
    makeDoc("D/c", "old c");
    core::FileTestHooks::setRenameItemHook([&](const std::string& from) { return from == doc("S/c") ? EXDEV : 0; });
    std::string seenWhileCopying;
    core::FileTestHooks::setCopyDataHook([&](const std::string&, uint64_t) {
        seenWhileCopying = readFile(doc("D/c"));
        return ENOSPC;
    });
    moves.clear();
    result = VKFolderItemTransfer::moveItems(request({ "S/c" }, "D"), hooks);
    EXPECT_EQ(result.failureCount, 1u);
    EXPECT_TRUE(result.error.is(core::Error::POSIXDomain, ENOSPC)) << result.error.description();
    EXPECT_EQ(seenWhileCopying, "old c");
    EXPECT_EQ(names("D"), (Strings { "a", "b", "c" }));
    EXPECT_EQ(readFile(doc("D/c")), "old c");
    core::FileTestHooks::setCopyDataHook({});
    result = VKFolderItemTransfer::moveItems(request({ "S/c" }, "D"), hooks);
    EXPECT_EQ(moves, Strings { "c -> D/c (replaced)" });
    EXPECT_EQ(readFile(doc("D/c")), "new c");
    EXPECT_EQ(trashed("c"), "old c");
    EXPECT_EQ(names("S"), Strings { "b" });
    EXPECT_EQ(names("D"), (Strings { "a", "b", "c" }));
}

TEST_F(VKFolderItemTransferTest, MoveCancelStopsBeforeTheNextItem)
{
    makeDoc("S/one", "1");
    makeDoc("S/two", "2");
    makeDoc("S/three", "3");
    makeFolder("Library/Documents/D");
    hooks.moved = [&](const std::shared_ptr<VKFileResource>& resource, const std::string&, bool) {
        moves.push_back(resource->name());
        cancelled = true;
    };
    auto result = VKFolderItemTransfer::moveItems(request({ "S/one", "S/two", "S/three" }, "D"), hooks);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.failureCount, 0u);
    EXPECT_EQ(moves, Strings { "one" });
    EXPECT_EQ(names("S"), (Strings { "three", "two" }));
    EXPECT_EQ(names("D"), Strings { "one" });
}

TEST_F(VKFolderItemTransferTest, MoveAcrossFileSystemsLeavesTheSourceWholeWhenCancelled)
{
    struct stat shm, ours;
    if (stat("/dev/shm", &shm) != 0 || stat(home().c_str(), &ours) != 0 || shm.st_dev == ours.st_dev
        || access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no second writable file system";
    elsewhere = "/dev/shm/tandry-item-transfer-" + std::to_string(getpid());
    fs::createDirectory(elsewhere, false);
    makeDoc("S/tree/a", std::string(1000, 'a'));
    makeDoc("S/tree/b", std::string(1000, 'b'));
    core::FileTestHooks::setCopyItemHook([&](const std::string& from) {
        cancelled = from == doc("S/tree/b");
        return 0;
    });
    VKFolderItemTransfer::Request work = request({ "S/tree" }, "S");
    work.destination = elsewhere;
    auto result = VKFolderItemTransfer::moveItems(work, hooks);
    EXPECT_TRUE(result.cancelled);
    EXPECT_TRUE(fs::sortedContentsOfDirectory(elsewhere)->empty());
    EXPECT_EQ(names("S/tree"), (Strings { "a", "b" }));

    core::FileTestHooks::reset();
    cancelled = false;
    result = VKFolderItemTransfer::moveItems(work, hooks);
    EXPECT_EQ(result.failureCount, 0u);
    EXPECT_EQ(*fs::sortedContentsOfDirectory(elsewhere), Strings { "tree" });
    EXPECT_EQ(readFile(elsewhere + "/tree/b"), std::string(1000, 'b'));
    EXPECT_EQ(names("S"), Strings {});
}

} // namespace

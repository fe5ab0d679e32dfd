#include "Kit/FileManagerAdditions.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include "Support/TestCase.h"
#include "Support/TestEnvironment.h"

#include "Platform/Core/ManualClock.h"

#include <atomic>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using Strings = std::vector<std::string>;

namespace {

class FileManagerTrashTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        m_trash = makeFolder("Trash");
        setTrashPathProvider([trash = m_trash] { return trash; });
    }

    void TearDown() override
    {
        core::Thread::waitForAll(5);
        setTrashPathProvider(nullptr);
        setTrashItemRemovalHook(nullptr);
        TestCase::TearDown();
    }

    Strings holders() const
    {
        auto names = core::fs::sortedContentsOfDirectory(m_trash);
        return names ? *names : Strings { "<unreadable>" };
    }

    Strings holderContents(const std::string& holder) const
    {
        auto names = core::fs::sortedContentsOfDirectory(m_trash + "/" + holder);
        return names ? *names : Strings {};
    }

    bool waitUntilGone(const std::string& holder)
    {
        std::string path = m_trash + "/" + holder;
        return core::RunLoop::main().runUntil([&] { return !core::fs::exists(path); }, 5.0);
    }

    static bool isUUID(std::string_view text)
    {
        if (text.size() != 36)
            return false;
        for (char c : text) {
            if (!(c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
                return false;
        }
        return true;
    }

    std::string m_trash;
};

TEST_F(FileManagerTrashTest, GroupsShareOneHolderAndKeepSameNamedItems)
{
    std::string first = makeFile("a/note.txt", "first");
    std::string second = makeFile("b/note.txt", "second");
    std::mutex hookMutex;
    Strings removed;
    setTrashItemRemovalHook([&](const std::string& path) {
        std::lock_guard lock(hookMutex);
        removed.push_back(path);
    });

    beginTrashGroup();
    EXPECT_TRUE(isInTrashGroup());
    ASSERT_TRUE(moveItemAtPathToTrash(first));
    ASSERT_TRUE(moveItemAtPathToTrash(second));
    endTrashGroup();
    EXPECT_FALSE(isInTrashGroup());

    Strings folders = holders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_TRUE(isUUID(folders[0])) << folders[0];
    Strings items = holderContents(folders[0]);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], "note.txt");
    EXPECT_TRUE(items[1].starts_with("note.txt.") && isUUID(items[1].substr(9))) << items[1];
    EXPECT_EQ(readFile(m_trash + "/" + folders[0] + "/note.txt"), "first");
    EXPECT_FALSE(core::fs::exists(first));

    emptyTrashInBackground();
    EXPECT_TRUE(waitUntilGone(folders[0]));
    ASSERT_TRUE(core::Thread::waitForAll(5));
    EXPECT_EQ(removed, Strings { m_trash + "/" + folders[0] });

    // Nothing open any more: emptying only says so.
    emptyTrashInBackground();
    EXPECT_TRUE(logContains("Warning, emptyTrashInBackground called when trash already empty"));
    EXPECT_TRUE(core::Thread::runningThreadNames().empty());
}

TEST_F(FileManagerTrashTest, EachMoveOutsideAGroupGetsAFreshHolder)
{
    ASSERT_TRUE(moveItemAtPathToTrash(makeFile("one.txt", "1")));
    Strings firstHolders = holders();
    ASSERT_EQ(firstHolders.size(), 1u);

    ASSERT_TRUE(moveItemAtPathToTrash(makeFolder("two")));
    EXPECT_TRUE(waitUntilGone(firstHolders[0]));
    Strings secondHolders = holders();
    ASSERT_EQ(secondHolders.size(), 1u);
    EXPECT_NE(secondHolders[0], firstHolders[0]);
    EXPECT_EQ(holderContents(secondHolders[0]), Strings { "two" });

    // Opening a group empties a holder still open.
    beginTrashGroup();
    EXPECT_TRUE(waitUntilGone(secondHolders[0]));
    endTrashGroup();

    // A failed move is logged and leaves nothing behind but the empty holder.
    core::Error error;
    EXPECT_FALSE(moveItemAtPathToTrash(pathInHome("missing"), &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENOENT));
    EXPECT_TRUE(logContains("Warning, moveItemAtPathToTrash:error: failed for: " + pathInHome("missing")));
}

TEST_F(FileManagerTrashTest, ClosedHoldersLeaveTheDiskSoonAfterUnlessAGroupIsOpen)
{
    // The last move and the last group's holder are not kept for the next
    // launch.
    ASSERT_TRUE(moveItemAtPathToTrash(makeFile("alone.txt", "1")));
    beginTrashGroup();
    ASSERT_TRUE(moveItemAtPathToTrash(makeFile("grouped.txt", "2")));
    endTrashGroup();
    core::RunLoop::main().runUntilIdle();
    // The group's start emptied the first holder.
    ASSERT_TRUE(core::Thread::waitForAll(5));
    ASSERT_EQ(holders().size(), 1u);
    test::TestEnvironment::clock().advance(TrashEmptyingDelay - 0.5);
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(holders().size(), 1u);
    test::TestEnvironment::clock().advance(0.5);
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return holders().empty(); }, 5.0));

    // A group open when the time comes keeps its holder until it ends.
    ASSERT_TRUE(moveItemAtPathToTrash(makeFile("late.txt", "3")));
    core::RunLoop::main().runUntilIdle();
    beginTrashGroup();
    ASSERT_TRUE(moveItemAtPathToTrash(makeFile("open.txt", "4")));
    test::TestEnvironment::clock().advance(TrashEmptyingDelay);
    core::RunLoop::main().runUntilIdle();
    ASSERT_TRUE(core::Thread::waitForAll(5));
    Strings open = holders();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(holderContents(open[0]), Strings { "open.txt" });
    endTrashGroup();
    core::RunLoop::main().runUntilIdle();
    test::TestEnvironment::clock().advance(TrashEmptyingDelay);
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return holders().empty(); }, 5.0));
}

TEST_F(FileManagerTrashTest, NoTrashFolderIsAnError)
{
    setTrashPathProvider(nullptr);
    std::string file = makeFile("keep.txt", "k");
    core::Error error;
    EXPECT_FALSE(moveItemAtPathToTrash(file, &error));
    EXPECT_TRUE(error.is(core::Error::CocoaDomain, 4));
    EXPECT_EQ(error.localizedDescription(), "No Trash directory");
    EXPECT_EQ(readFile(file), "k");
    EXPECT_EQ(trashPath(), "");
}

TEST_F(FileManagerTrashTest, LaunchCleanUpRemovesLeftovers)
{
    // Nothing left: no thread at all.
    initializeTrash();
    EXPECT_TRUE(core::Thread::runningThreadNames().empty());

    makeFile("Trash/OLD-HOLDER/deep/file", "x");
    makeFile("Trash/OTHER/file", "y");
    initializeTrash();
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return holders().empty(); }, 5.0));
}

TEST_F(FileManagerTrashTest, RemovalNeverFollowsLinks)
{
    std::string outside = makeFile("outside/precious.txt", "keep");
    std::string tree = makeFolder("tree");
    ASSERT_EQ(symlink(pathInHome("outside").c_str(), (tree + "/link").c_str()), 0);
    ASSERT_EQ(symlink(pathInHome("outside").c_str(), pathInHome("toplink").c_str()), 0);
    EXPECT_TRUE(VKRemoveItemAtPath(tree));
    EXPECT_TRUE(VKRemoveItemAtPath(pathInHome("toplink")));
    EXPECT_FALSE(core::fs::exists(tree));
    EXPECT_EQ(readFile(outside), "keep");
    EXPECT_TRUE(VKRemoveItemAtPath(pathInHome("missing")));

    // A folder that cannot be emptied is a failure with errno set.
    if (geteuid() != 0) {
        std::string locked = makeFile("locked/inner/file", "x");
        chmod(pathInHome("locked/inner").c_str(), 0500);
        errno = 0;
        EXPECT_FALSE(VKRemoveItemAtPath(pathInHome("locked")));
        EXPECT_EQ(errno, EACCES);
        chmod(pathInHome("locked/inner").c_str(), 0700);
    }
}

TEST_F(FileManagerTrashTest, ConcurrentMovesLoseNothing)
{
    constexpr int Threads = 8;
    constexpr int MovesPerThread = 50;
    for (int t = 0; t < Threads; ++t) {
        for (int i = 0; i < MovesPerThread; ++i)
            makeFile("items/" + std::to_string(t) + "/" + std::to_string(i % 5) + "/item", "x");
    }
    // Each thread moves its own items; names repeat across threads and in
    // groups, so taken names are met too.
    std::atomic<int> moved { 0 };
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < MovesPerThread; ++i) {
                std::string folder = pathInHome("items/" + std::to_string(t) + "/" + std::to_string(i % 5));
                std::string item = folder + "/item";
                if (!core::fs::exists(item))
                    core::fs::writeFileAtomically(item, "x");
                bool grouped = (i / 10) % 2 == 1;
                if (grouped)
                    beginTrashGroup();
                if (moveItemAtPathToTrash(item))
                    ++moved;
                if (grouped)
                    endTrashGroup();
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(moved.load(), Threads * MovesPerThread);

    // Whatever is still open goes too; afterwards the trash is empty.
    if (holders().size() > 0)
        emptyTrashInBackground();
    ASSERT_TRUE(core::Thread::waitForAll(10));
    EXPECT_EQ(holders(), Strings {});
}

} // namespace

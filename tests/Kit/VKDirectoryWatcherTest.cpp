#include "Kit/VKDirectoryWatcher.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Support/TestCase.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class VKDirectoryWatcherTest : public test::TestCase {
protected:
    // Counts the watcher's notifications.
    void listen(const std::shared_ptr<VKDirectoryWatcher>& watcher)
    {
        m_observation = core::NotificationCenter::defaultCenter().observe(
            VKDirectoryWatcher::DirectoryDidChangeNotification, watcher, [this, watcher = watcher.get()](const core::Notification& note) {
                EXPECT_EQ(note.object().get(), watcher);
                ++posts;
            });
    }
    // Runs the loop until a notification came (or a real second passed),
    // then once more so that stray ones would show.
    void pump()
    {
        int before = posts;
        core::RunLoop::main().runUntil([&] { return posts > before; }, 1.0);
        core::RunLoop::main().runOnce(core::RunLoop::DefaultMode, 0.05);
    }
    // Runs the loop for a short real while, for "nothing is posted".
    void settle() { core::RunLoop::main().runOnce(core::RunLoop::DefaultMode, 0.1); }

    int posts = 0;
    core::Observation m_observation;
};

TEST_F(VKDirectoryWatcherTest, EntriesAddedRemovedAndRenamedPostOncePerPass)
{
    auto folder = makeFolder("watched");
    auto existing = makeFile("watched/existing.txt", "one");
    makeFolder("watched/sub");
    auto watcher = VKDirectoryWatcher::initWithPath(folder);
    ASSERT_TRUE(watcher);
    EXPECT_EQ(watcher->path(), folder);
    listen(watcher);

    makeFile("watched/new.txt");
    pump();
    EXPECT_EQ(posts, 1);
    ASSERT_EQ(std::rename((folder + "/new.txt").c_str(), (folder + "/renamed.txt").c_str()), 0);
    pump();
    EXPECT_EQ(posts, 2);
    ASSERT_EQ(unlink((folder + "/renamed.txt").c_str()), 0);
    pump();
    EXPECT_EQ(posts, 3);

    for (int i = 0; i < 100; ++i)
        makeFile("watched/many-" + std::to_string(i));
    pump();
    EXPECT_EQ(posts, 4);

    // Contents, times and modes of entries are not the folder's news, nor is
    // what happens inside a subfolder.
    int fd = open(existing.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "two", 3), 3);
    close(fd);
    ASSERT_EQ(utimensat(AT_FDCWD, existing.c_str(), nullptr, 0), 0);
    ASSERT_EQ(chmod(existing.c_str(), 0600), 0);
    makeFile("watched/sub/inner.txt");
    settle();
    EXPECT_EQ(posts, 4);

    // Gone: nothing more.
    watcher.reset();
    makeFile("watched/after.txt");
    settle();
    EXPECT_EQ(posts, 4);
}

TEST_F(VKDirectoryWatcherTest, FolderRemovedOrMovedEndsWithOneNotice)
{
    auto moved = makeFolder("moved");
    auto removed = makeFolder("removed");
    auto movedWatcher = VKDirectoryWatcher::initWithPath(moved);
    auto removedWatcher = VKDirectoryWatcher::initWithPath(removed);
    ASSERT_TRUE(movedWatcher && removedWatcher);
    int count = 0;
    std::vector<const core::Object*> ended;
    auto& center = core::NotificationCenter::defaultCenter();
    auto observation = center.observe(
        VKDirectoryWatcher::DirectoryDidChangeNotification, nullptr, [&](const core::Notification&) { ++count; });
    auto endings = center.observe(VKDirectoryWatcher::DirectoryDidEndNotification, nullptr,
        [&](const core::Notification& note) { ended.push_back(note.object().get()); });

    ASSERT_EQ(std::rename(moved.c_str(), pathInHome("elsewhere").c_str()), 0);
    ASSERT_EQ(rmdir(removed.c_str()), 0);
    core::RunLoop::main().runUntil([&] { return ended.size() == 2; }, 2.0);
    settle();
    makeFile("elsewhere/inside.txt");
    settle();
    EXPECT_EQ(count, 0);
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_NE(std::find(ended.begin(), ended.end(), movedWatcher.get()), ended.end());
    EXPECT_NE(std::find(ended.begin(), ended.end(), removedWatcher.get()), ended.end());
}

TEST_F(VKDirectoryWatcherTest, UnwatchableFoldersAnswerNil)
{
    EXPECT_FALSE(VKDirectoryWatcher::initWithPath(pathInHome("missing")));
    EXPECT_TRUE(logContains("ENOENT"));
    EXPECT_FALSE(VKDirectoryWatcher::initWithPath(makeFile("plain.txt")));
    EXPECT_TRUE(logContains("ENOTDIR"));

    // Unreadable: checked as an unprivileged user, root reads everything.
    auto closed = makeFolder("closed");
    ASSERT_EQ(chmod(closed.c_str(), 0700), 0);
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(closed.c_str(), 0), 0);
        EXPECT_FALSE(VKDirectoryWatcher::initWithPath(closed));
        EXPECT_TRUE(logContains("EACCES"));
        chmod(closed.c_str(), 0700);
        return;
    }
    std::fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        _exit(VKDirectoryWatcher::initWithPath(closed) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(VKDirectoryWatcherTest, PostsOnTheCreatingThreadsLoop)
{
    auto folder = makeFolder("worker");
    std::atomic<bool> ready { false };
    std::atomic<bool> heard { false };
    std::atomic<bool> onWorker { false };
    core::Thread::detach("watcher", [&] {
        auto watcher = VKDirectoryWatcher::initWithPath(folder);
        auto worker = std::this_thread::get_id();
        auto observation = core::NotificationCenter::defaultCenter().observe(
            VKDirectoryWatcher::DirectoryDidChangeNotification, watcher, [&](const core::Notification&) {
                onWorker = std::this_thread::get_id() == worker;
                heard = true;
            });
        ready = true;
        core::RunLoop::current().runUntil([&] { return heard.load(); }, 5.0);
    });
    core::RunLoop::main().runUntil([&] { return ready.load(); }, 5.0);
    ASSERT_TRUE(ready);
    makeFile("worker/file");
    ASSERT_TRUE(core::Thread::waitForAll(5.0));
    EXPECT_TRUE(heard);
    EXPECT_TRUE(onWorker);
}

} // namespace

#include "Platform/Core/DirectoryWatch.h"

#include "Platform/Core/RunLoop.h"
#include "Support/TestCase.h"

#include <dirent.h>
#include <vector>

namespace {

class DirectoryWatchTest : public test::TestCase { };

size_t openDescriptors()
{
    size_t count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (dirent* entry = readdir(dir))
        count += entry->d_name[0] != '.';
    closedir(dir);
    return count;
}

TEST_F(DirectoryWatchTest, WatchesShareOneQueueAndGiveItBack)
{
    auto folder = makeFolder("a");
    auto other = makeFolder("b");
    size_t before = openDescriptors();

    // The same folder twice shares one kernel watch: ending one leaves the
    // other working.
    int first = 0;
    int second = 0;
    int third = 0;
    auto one = core::DirectoryWatch::create(folder, [&] { ++first; });
    auto two = core::DirectoryWatch::create(folder, [&] { ++second; });
    auto three = core::DirectoryWatch::create(other, [&] { ++third; });
    ASSERT_TRUE(one && two && three);
    EXPECT_EQ(openDescriptors(), before + 1);
    one.reset();
    makeFile("a/x");
    core::RunLoop::main().runUntil([&] { return second > 0; }, 2.0);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(third, 0);
    two.reset();
    three.reset();
    EXPECT_EQ(openDescriptors(), before);

    for (int i = 0; i < 100; ++i) {
        auto watch = core::DirectoryWatch::create(folder, [] { });
        ASSERT_TRUE(watch);
    }
    std::vector<std::unique_ptr<core::DirectoryWatch>> many;
    for (int i = 0; i < 1000; ++i)
        many.push_back(core::DirectoryWatch::create(i % 2 ? folder : other, [] { }));
    many.clear();
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(DirectoryWatchTest, ACallbackMayEndOtherWatches)
{
    auto folder = makeFolder("a");
    std::unique_ptr<core::DirectoryWatch> later;
    int calls = 0;
    auto first = core::DirectoryWatch::create(folder, [&] {
        ++calls;
        later.reset();
    });
    later = core::DirectoryWatch::create(folder, [&] { ++calls; });
    makeFile("a/x");
    core::RunLoop::main().runUntil([&] { return calls > 0; }, 2.0);
    core::RunLoop::main().runOnce(core::RunLoop::DefaultMode, 0.05);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(later);
}

} // namespace

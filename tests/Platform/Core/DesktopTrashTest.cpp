#include "Platform/Core/DesktopTrash.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"

#include "Support/TestCase.h"

#include <cstdlib>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class DesktopTrashTest : public test::TestCase { };

TEST_F(DesktopTrashTest, AnItemOnAnotherMountGoesToThatMountsOwnTrash)
{
    struct stat home {}, shm {};
    ASSERT_EQ(stat(pathInHome("").c_str(), &home), 0);
    if (stat("/dev/shm", &shm) != 0 || shm.st_dev == home.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    char pattern[] = "/dev/shm/tandry-trash-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    const std::string folder = pattern;
    const std::string name = core::path::lastPathComponent(folder) + ".txt";
    const std::string item = folder + "/" + name;
    ASSERT_TRUE(core::fs::writeFileAtomically(item, "far"));

    core::Error error;
    auto landed = core::desktopTrash::moveItem(item, item, &error);
    const std::string trash = fmt::format("/dev/shm/.Trash-{}", getuid());
    const std::string info = readFile(trash + "/info/" + name + ".trashinfo");
    struct stat trashInfo {};
    stat(trash.c_str(), &trashInfo);
    core::fs::removeItem(trash + "/info/" + name + ".trashinfo");
    core::fs::removeItem(trash + "/files/" + name);
    core::fs::removeItem(folder);
    // The mount's trash goes too when no one else uses it.
    for (const char* part : { "/files", "/info", "" })
        rmdir((trash + part).c_str());

    ASSERT_TRUE(landed) << error.description();
    EXPECT_EQ(*landed, trash + "/files/" + name);
    EXPECT_EQ(trashInfo.st_mode & 0777, 0700u);
    // Named from the mount's top; the home's trash was never made.
    EXPECT_TRUE(info.starts_with("[Trash Info]\nPath=" + core::path::lastPathComponent(folder) + "/" + name + "\n"))
        << info;
    EXPECT_FALSE(core::fs::exists(core::desktopTrash::location()));
}

} // namespace

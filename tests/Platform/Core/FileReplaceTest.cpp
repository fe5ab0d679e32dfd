#include "Platform/Core/FileSystem.h"

#include "Support/TestCase.h"

#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileReplaceTest : public test::TestCase { };

TEST_F(FileReplaceTest, ReplacingPutsTheNewFileInPlaceOrLeavesBothAlone)
{
    std::string target = makeFile("target.txt", "old");
    std::string source = makeFile("source.txt", "new");
    ASSERT_TRUE(core::fs::replaceItem(source, target));
    EXPECT_EQ(readFile(target), "new");
    EXPECT_FALSE(core::fs::exists(source));

    // A folder at the target is refused and kept, the source stays.
    std::string folder = makeFolder("folder");
    makeFile("folder/inside", "x");
    source = makeFile("source.txt", "new");
    core::Error error;
    EXPECT_FALSE(core::fs::replaceItem(source, folder, &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, EISDIR));
    EXPECT_EQ(readFile(folder + "/inside"), "x");
    EXPECT_EQ(readFile(source), "new");
    // No source: the target is untouched.
    EXPECT_FALSE(core::fs::replaceItem(pathInHome("missing"), target, &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENOENT));
    EXPECT_EQ(readFile(target), "new");

    // Across file systems the copy is made beside the target, with the
    // source's mode, and renamed over it.
    std::string shm = "/dev/shm/tandry-replace-" + std::to_string(getpid());
    ASSERT_TRUE(core::fs::createDirectory(shm, false));
    std::string far = shm + "/far.txt";
    ASSERT_TRUE(core::fs::writeFileAtomically(far, "far old"));
    chmod(source.c_str(), 0640);
    EXPECT_TRUE(core::fs::replaceItem(source, far, &error)) << error.description();
    EXPECT_EQ(readFile(far), "new");
    EXPECT_EQ(core::fs::attributes(far)->mode, 0640u);
    EXPECT_EQ(core::fs::contentsOfDirectory(shm)->size(), 1u);
    EXPECT_FALSE(core::fs::exists(source));
    core::fs::removeItem(shm);
}

TEST_F(FileReplaceTest, UniqueFilesNeverShareAName)
{
    std::string folder = makeFolder("tmp");
    std::set<std::string> names;
    for (int i = 0; i < 50; ++i) {
        auto path = core::fs::createUniqueFile(folder, "part-");
        ASSERT_TRUE(path);
        EXPECT_TRUE(path->starts_with(folder + "/part-"));
        EXPECT_EQ(core::fs::attributes(*path)->size, 0u);
        EXPECT_EQ(core::fs::attributes(*path)->mode, 0600u);
        names.insert(*path);
    }
    EXPECT_EQ(names.size(), 50u);
    core::Error error;
    EXPECT_FALSE(core::fs::createUniqueFile(makeFile("file"), "x", &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENOTDIR));
    EXPECT_FALSE(core::fs::createUniqueFile(folder, "a/b", &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, EINVAL));
}

} // namespace

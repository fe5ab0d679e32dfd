#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"

#include "Support/TestCase.h"

#include <cstdlib>

namespace path = core::path;
using Strings = std::vector<std::string>;

namespace {

class PathTest : public test::TestCase { };

TEST_F(PathTest, ComponentsAndExtensions)
{
    EXPECT_EQ(path::lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(path::lastPathComponent("/a//b//"), "b");
    EXPECT_EQ(path::pathExtension("/a//b.TXT//"), "TXT");
    EXPECT_EQ(path::appendingPathComponent("/a", "b//c/"), "/a/b/c");
    EXPECT_EQ(path::lastPathComponent("/"), "/");
    EXPECT_EQ(path::lastPathComponent("b"), "b");
    EXPECT_EQ(path::lastPathComponent(""), "");

    EXPECT_EQ(path::pathExtension("a.tar.gz"), "gz");
    EXPECT_EQ(path::pathExtension(".profile"), "");
    EXPECT_EQ(path::pathExtension("/x.d/file"), "");
    EXPECT_EQ(path::pathExtension("a."), "");
    EXPECT_EQ(path::deletingPathExtension("/x/a.tar.gz"), "/x/a.tar");
    EXPECT_EQ(path::deletingPathExtension("/x/.profile"), "/x/.profile");
    EXPECT_EQ(path::deletingPathExtension("/x.d/file/"), "/x.d/file");

    EXPECT_EQ(path::deletingLastPathComponent("/a/b/"), "/a");
    EXPECT_EQ(path::deletingLastPathComponent("/a"), "/");
    EXPECT_EQ(path::deletingLastPathComponent("/"), "/");
    EXPECT_EQ(path::deletingLastPathComponent("a"), "");

    EXPECT_EQ(path::appendingPathComponent("/a/", "b"), "/a/b");
    EXPECT_EQ(path::appendingPathComponent("/", "b"), "/b");
    EXPECT_EQ(path::appendingPathComponent("", "b"), "b");
    EXPECT_EQ(path::appendingPathComponent("/a", "b//c/"), "/a/b/c");
    EXPECT_EQ(path::appendingPathExtension("/a/b/", "txt"), "/a/b.txt");
    EXPECT_EQ(path::appendingPathExtension("/", "txt"), "/");
    EXPECT_EQ(path::appendingPathExtension("a", "x/y"), "a");

    EXPECT_EQ(path::pathComponents("/a//b/"), (Strings { "/", "a", "b" }));
    EXPECT_EQ(path::pathComponents("a/b"), (Strings { "a", "b" }));
    EXPECT_EQ(path::pathComponents(""), Strings {});
    EXPECT_EQ(path::pathWithComponents({ "/", "a", "b" }), "/a/b");
    EXPECT_EQ(path::pathWithComponents({ "a", "", "b" }), "a/b");
    EXPECT_EQ(path::pathWithComponents({ "/" }), "/");
}

TEST_F(PathTest, StandardizingAndContainment)
{
    EXPECT_EQ(path::standardizingPath("/a/./b/../c"), "/a/c");
    EXPECT_EQ(path::standardizingPath("//a//b/"), "/a/b");
    EXPECT_EQ(path::standardizingPath("/../a/.."), "/");
    EXPECT_EQ(path::standardizingPath("../a/../../b"), "../../b");
    EXPECT_EQ(path::standardizingPath("~/x/../y"), home() + "/y");

    EXPECT_TRUE(path::isWithin("/a/b", "/a"));
    EXPECT_TRUE(path::isWithin("/a/", "/a"));
    EXPECT_TRUE(path::isWithin("/a/b", "/"));
    EXPECT_FALSE(path::isWithin("/ab", "/a"));
    EXPECT_FALSE(path::isWithin("/a/../etc", "/a"));
    EXPECT_FALSE(path::isWithin("/a", "/a/b"));
    EXPECT_FALSE(path::isWithin("a/b", "/a"));
    EXPECT_TRUE(path::isAbsolute("/a"));
    EXPECT_FALSE(path::isAbsolute("~/a"));
}

TEST_F(PathTest, TildeStandsForTheApplicationHome)
{
    core::paths::setHome("/h");
    EXPECT_EQ(path::abbreviatingWithTildeInPath("/h/x"), "~/x");
    EXPECT_EQ(path::abbreviatingWithTildeInPath("/h"), "~");
    EXPECT_EQ(path::abbreviatingWithTildeInPath("/h-old/x"), "/h-old/x");
    EXPECT_EQ(path::expandingTildeInPath("~/x"), "/h/x");
    EXPECT_EQ(path::expandingTildeInPath("~"), "/h");
    EXPECT_EQ(path::expandingTildeInPath("~root/x"), "~root/x");
    EXPECT_EQ(path::expandingTildeInPath("/a/~"), "/a/~");
}

TEST_F(PathTest, TemporaryDirectoryIsAlwaysInTheHome)
{
    std::string tmpdir = makeFolder("elsewhere");
    setenv("TMPDIR", tmpdir.c_str(), 1);
    std::string temporary = core::paths::temporaryDirectory();
    unsetenv("TMPDIR");
    EXPECT_EQ(temporary, home() + "/tmp/");
    auto attributes = core::fs::attributes(home() + "/tmp");
    ASSERT_TRUE(attributes);
    EXPECT_TRUE(attributes->isDirectory());
    EXPECT_EQ(attributes->mode, 0700u);
    EXPECT_EQ(core::paths::documents(), home() + "/Documents");
    EXPECT_EQ(core::paths::preferences(), home() + "/Library/Preferences");
}

} // namespace

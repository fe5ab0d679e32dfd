#include "Platform/Core/ExtendedAttributes.h"
#include "Platform/Core/FileSystem.h"

#include "Support/Command.h"
#include "Support/TestCase.h"
#include "Support/UserAttributes.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using core::ExtendedAttributes;
using Strings = std::vector<std::string>;

namespace {

class ExtendedAttributesTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        ASSERT_TRUE(test::takesUserAttributes(home()));
    }

    static Strings sorted(Strings names)
    {
        std::sort(names.begin(), names.end());
        return names;
    }

    static bool isPosix(const core::Error& error, int code) { return error.is(core::Error::POSIXDomain, code); }
};

TEST_F(ExtendedAttributesTest, RoundTripAndPeerTools)
{
    std::string file = makeFile("doc.txt", "x");
    auto none = ExtendedAttributes::names(file);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());

    ASSERT_TRUE(ExtendedAttributes::setValue(file, "com.kestrova.tandry.UUID", "ABC"));
    ASSERT_TRUE(ExtendedAttributes::setValue(file, "empty", ""));
    EXPECT_EQ(ExtendedAttributes::value(file, "com.kestrova.tandry.UUID")->toString(), "ABC");
    EXPECT_TRUE(ExtendedAttributes::value(file, "empty")->empty());
    EXPECT_EQ(sorted(*ExtendedAttributes::names(file)), (Strings { "com.kestrova.tandry.UUID", "empty" }));

    auto dump = test::runCommand({ "getfattr", "--absolute-names", "-d", file });
    EXPECT_NE(dump.output.find("user.com.kestrova.tandry.UUID=\"ABC\""), std::string::npos) << dump.output;
    ASSERT_EQ(test::runCommand({ "setfattr", "-n", "user.x", "-v", "y", file }).status, 0);
    EXPECT_EQ(ExtendedAttributes::value(file, "x")->toString(), "y");

    // Create-only and replace-only keep their meaning.
    core::Error error;
    EXPECT_FALSE(ExtendedAttributes::setValue(file, "x", "z", ExtendedAttributes::CreateOnly, &error));
    EXPECT_TRUE(isPosix(error, EEXIST));
    EXPECT_FALSE(ExtendedAttributes::setValue(file, "new", "z", ExtendedAttributes::ReplaceOnly, &error));
    EXPECT_TRUE(isPosix(error, ENODATA));
    EXPECT_TRUE(ExtendedAttributes::setValue(file, "x", "w", ExtendedAttributes::ReplaceOnly));
    EXPECT_EQ(ExtendedAttributes::value(file, "x")->toString(), "w");

    EXPECT_TRUE(ExtendedAttributes::remove(file, "x"));
    EXPECT_FALSE(ExtendedAttributes::remove(file, "x", 0, &error));
    EXPECT_TRUE(isPosix(error, ENODATA));
    EXPECT_FALSE(ExtendedAttributes::value(file, "x", 0, &error));
    EXPECT_TRUE(isPosix(error, ENODATA));
    EXPECT_FALSE(ExtendedAttributes::names(pathInHome("missing"), 0, &error));
    EXPECT_TRUE(isPosix(error, ENOENT));

    // The same through an open descriptor, as a copy reads and writes them.
    const int descriptor = open(file.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(descriptor, 0);
    EXPECT_TRUE(ExtendedAttributes::setValue(descriptor, file, "by.descriptor", "d"));
    EXPECT_EQ(ExtendedAttributes::value(descriptor, file, "by.descriptor")->toString(), "d");
    EXPECT_EQ(sorted(*ExtendedAttributes::names(descriptor, file)),
        (Strings { "by.descriptor", "com.kestrova.tandry.UUID", "empty" }));
    EXPECT_FALSE(ExtendedAttributes::value(descriptor, file, "x", &error));
    EXPECT_TRUE(isPosix(error, ENODATA));
    EXPECT_EQ(core::fs::failedPath(error), file);
    close(descriptor);
}

TEST_F(ExtendedAttributesTest, ValuesLargerThanTheFirstReadComeWhole)
{
    // ext4 keeps no value past a block; tmpfs does.
    char pattern[] = "/dev/shm/tandry-xattr-XXXXXX";
    const int descriptor = mkstemp(pattern);
    if (descriptor < 0)
        GTEST_SKIP() << "no /dev/shm";
    const std::string file = pattern;
    const std::string large(6000, 'v');
    if (!ExtendedAttributes::setValue(file, "large", large)) {
        close(descriptor);
        unlink(pattern);
        GTEST_SKIP() << "no large values on /dev/shm";
    }
    EXPECT_TRUE(ExtendedAttributes::setValue(file, "small", "s"));
    EXPECT_EQ(ExtendedAttributes::value(file, "large")->toString(), large);
    EXPECT_EQ(ExtendedAttributes::value(descriptor, file, "large")->toString(), large);
    EXPECT_EQ(sorted(*ExtendedAttributes::names(descriptor, file)), (Strings { "large", "small" }));
    close(descriptor);
    unlink(pattern);
}

TEST_F(ExtendedAttributesTest, BadNamesAndValuesChangeNothing)
{
    std::string file = makeFile("doc.txt", "x");
    core::Error error;
    std::string longest(ExtendedAttributes::MaximumNameLength - ExtendedAttributes::NamespacePrefix.size(), 'n');
    EXPECT_TRUE(ExtendedAttributes::setValue(file, longest, "v"));
    EXPECT_FALSE(ExtendedAttributes::setValue(file, longest + "n", "v", 0, &error));
    EXPECT_TRUE(isPosix(error, ERANGE));
    EXPECT_FALSE(ExtendedAttributes::setValue(file, "", "v", 0, &error));
    EXPECT_FALSE(ExtendedAttributes::setValue(file, std::string("a\0b", 3), "v", 0, &error));
    EXPECT_TRUE(isPosix(error, EINVAL));
    // Past what the file system holds for one value.
    EXPECT_FALSE(ExtendedAttributes::setValue(file, "big", std::string(1 << 20, 'v'), 0, &error));
    EXPECT_EQ(*ExtendedAttributes::names(file), Strings { longest });

    // Other namespaces (root may write "trusted.") are not ours to list.
    test::runCommand({ "setfattr", "-n", "trusted.t", "-v", "1", file });
    EXPECT_EQ(*ExtendedAttributes::names(file), Strings { longest });
}

TEST_F(ExtendedAttributesTest, NoFollowActsOnTheLinkItself)
{
    std::string target = makeFile("target.txt", "x");
    std::string link = pathInHome("link");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(ExtendedAttributes::setValue(target, "tag", "on target"));

    // Linux keeps no user attributes on links: reading finds nothing, writing fails.
    constexpr int noFollow = ExtendedAttributes::NoFollow;
    core::Error error;
    EXPECT_FALSE(ExtendedAttributes::value(link, "tag", noFollow));
    EXPECT_TRUE(ExtendedAttributes::names(link, noFollow)->empty());
    EXPECT_FALSE(ExtendedAttributes::setValue(link, "tag", "on link", noFollow, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(ExtendedAttributes::remove(link, "tag", noFollow));
    EXPECT_EQ(ExtendedAttributes::value(target, "tag")->toString(), "on target");

    // Without the flag the target is meant.
    EXPECT_EQ(ExtendedAttributes::value(link, "tag")->toString(), "on target");
    EXPECT_TRUE(ExtendedAttributes::setValue(link, "tag", "through link"));
    EXPECT_EQ(ExtendedAttributes::value(target, "tag")->toString(), "through link");

    // Looked up by name in an open folder, a link is still itself.
    int folder = open(home().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    EXPECT_TRUE(ExtendedAttributes::names(folder, "link", link)->empty());
    EXPECT_EQ(*ExtendedAttributes::names(folder, "target.txt", target), Strings { "tag" });
    EXPECT_EQ(core::fs::attributesInFolder(folder, "link", link)->type, core::fs::FileType::SymbolicLink);
    core::Error missing;
    EXPECT_FALSE(ExtendedAttributes::names(folder, "gone", pathInHome("gone"), &missing));
    EXPECT_TRUE(isPosix(missing, ENOENT));
    EXPECT_FALSE(core::fs::attributesInFolder(folder, "gone", pathInHome("gone"), &missing));
    EXPECT_EQ(missing.userInfo().at(core::Error::FilePathKey).string(), pathInHome("gone"));
    close(folder);

    // A FIFO's attributes are reached without opening it (which would block).
    std::string fifo = pathInHome("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(ExtendedAttributes::names(fifo)->empty());
}

TEST_F(ExtendedAttributesTest, CopyKeepsModesTimesAndFilteredAttributes)
{
    std::string tree = makeFolder("tree");
    std::string file = makeFile("tree/a.txt", "alpha");
    makeFile("tree/sub/b.txt", "beta");
    ASSERT_EQ(symlink("a.txt", pathInHome("tree/link").c_str()), 0);
    ASSERT_TRUE(ExtendedAttributes::setValue(file, "com.kestrova.tandry.UUID", "U1"));
    ASSERT_TRUE(ExtendedAttributes::setValue(file, "com.kestrova.DAV.x", "dead property"));
    ASSERT_TRUE(ExtendedAttributes::setValue(pathInHome("tree/sub"), "folder", "f"));
    chmod(file.c_str(), 0444);
    ASSERT_TRUE(core::fs::setModificationTime(file, 1'000'000'000'000'000'000));

    core::fs::CopyOptions options;
    options.attributeFilter = [](std::string_view name) { return name != "com.kestrova.tandry.UUID"; };
    std::string copy = pathInHome("copy");
    core::Error error;
    ASSERT_TRUE(core::fs::copyItem(tree, copy, options, &error)) << error.description();

    struct stat original, copied;
    ASSERT_EQ(stat(file.c_str(), &original), 0);
    ASSERT_EQ(stat((copy + "/a.txt").c_str(), &copied), 0);
    EXPECT_EQ(copied.st_mode, original.st_mode);
    EXPECT_EQ(copied.st_mtim.tv_sec, original.st_mtim.tv_sec);
    EXPECT_EQ(readFile(copy + "/a.txt"), "alpha");
    EXPECT_EQ(readFile(copy + "/sub/b.txt"), "beta");
    auto dump = test::runCommand({ "getfattr", "--absolute-names", "-d", copy + "/a.txt" });
    EXPECT_NE(dump.output.find("user.com.kestrova.DAV.x=\"dead property\""), std::string::npos) << dump.output;
    EXPECT_EQ(dump.output.find("UUID"), std::string::npos) << dump.output;
    EXPECT_EQ(ExtendedAttributes::value(copy + "/sub", "folder")->toString(), "f");
    EXPECT_TRUE(core::fs::attributes(copy + "/link")->type == core::fs::FileType::SymbolicLink);

    // Without a filter everything goes along.
    ASSERT_TRUE(core::fs::copyItem(file, pathInHome("plain.txt")));
    EXPECT_EQ(ExtendedAttributes::value(pathInHome("plain.txt"), "com.kestrova.tandry.UUID")->toString(), "U1");
}

TEST_F(ExtendedAttributesTest, CopyFailuresAreSkippedOrStopAsTheCallerSays)
{
    std::string tree = makeFolder("tree");
    makeFile("tree/a.txt", "a");
    makeFile("tree/b.txt", "b");
    std::string socketPath = pathInHome("tree/socket");
    // A socket cannot be copied.
    // (Bound by a relative name: socket addresses are short.)
    ASSERT_EQ(test::runCommand({ "python3", "-c",
                                   "import os,socket,sys; os.chdir(sys.argv[1]); socket.socket(socket.AF_UNIX).bind('socket')",
                                   tree })
                  .status,
        0);

    Strings failed;
    core::fs::CopyOptions skip;
    skip.itemFailed = [&](const std::string& path, const core::Error& error) {
        failed.push_back(path + " " + std::to_string(error.code()));
        return true;
    };
    ASSERT_TRUE(core::fs::copyItem(tree, pathInHome("skipped"), skip));
    EXPECT_EQ(failed, Strings { socketPath + " " + std::to_string(ENOTSUP) });
    EXPECT_EQ(readFile(pathInHome("skipped/a.txt")), "a");
    EXPECT_EQ(readFile(pathInHome("skipped/b.txt")), "b");

    core::fs::CopyOptions stop;
    int calls = 0;
    stop.itemFailed = [&](const std::string&, const core::Error&) { return ++calls, false; };
    core::Error error;
    EXPECT_FALSE(core::fs::copyItem(tree, pathInHome("stopped"), stop, &error));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENOTSUP));
}

TEST_F(ExtendedAttributesTest, DeepTreesCopy)
{
    std::string relative = "deep";
    for (int level = 0; level < 1000; ++level)
        relative += "/d";
    ASSERT_TRUE(core::fs::createDirectory(pathInHome(relative), true));
    ASSERT_TRUE(core::fs::writeFileAtomically(pathInHome(relative + "/leaf"), "leaf"));
    core::Error error;
    ASSERT_TRUE(core::fs::copyItem(pathInHome("deep"), pathInHome("copy"), &error)) << error.description();
    EXPECT_EQ(readFile(pathInHome("copy" + relative.substr(4) + "/leaf")), "leaf");
    EXPECT_TRUE(core::fs::removeItem(pathInHome("copy")));
}

} // namespace

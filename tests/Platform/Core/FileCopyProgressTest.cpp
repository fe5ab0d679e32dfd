#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"

#include "Support/TestCase.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = core::fs;
using Strings = std::vector<std::string>;

namespace {

class FileCopyProgressTest : public test::TestCase {
protected:
    void TearDown() override
    {
        core::FileTestHooks::reset();
        if (!m_elsewhere.empty())
            fs::removeItem(m_elsewhere);
        test::TestCase::TearDown();
    }

    Strings names(const std::string& folder)
    {
        auto found = fs::sortedContentsOfDirectory(folder);
        return found ? *found : Strings { "<unreadable>" };
    }

    // A folder on another file system, or "" when there is none.
    std::string elsewhere()
    {
        struct stat shm, ours;
        if (stat("/dev/shm", &shm) != 0 || stat(home().c_str(), &ours) != 0 || shm.st_dev == ours.st_dev
            || access("/dev/shm", W_OK) != 0)
            return {};
        m_elsewhere = "/dev/shm/tandry-copy-progress-" + std::to_string(getpid());
        fs::removeItem(m_elsewhere);
        fs::createDirectory(m_elsewhere, false);
        return m_elsewhere;
    }

    static bool isPosix(const core::Error& error, int code) { return error.is(core::Error::POSIXDomain, code); }

    std::string m_elsewhere;
};

TEST_F(FileCopyProgressTest, ProgressCountsEveryByteInBoundedSteps)
{
    const std::string big(fs::MaximumCopyStep * 2 + 12345, 'x');
    makeFile("tree/big", big);
    makeFile("tree/sub/small", "hello");
    makeFile("tree/empty", "");
    uint64_t total = 0, largest = 0;
    size_t calls = 0;
    fs::CopyOptions options;
    options.progress = [&](uint64_t bytes) {
        total += bytes;
        largest = std::max(largest, bytes);
        ++calls;
        return true;
    };
    core::Error error;
    ASSERT_TRUE(fs::copyItem(pathInHome("tree"), pathInHome("copy"), options, &error)) << error.description();
    EXPECT_EQ(total, big.size() + 5);
    EXPECT_LE(largest, fs::MaximumCopyStep);
    EXPECT_GE(calls, 4u);
    EXPECT_EQ(readFile(pathInHome("copy/big")), big);
}

TEST_F(FileCopyProgressTest, AFalseFromProgressCancelsPastTheItemCallback)
{
    makeFile("tree/a", std::string(1000, 'a'));
    makeFile("tree/b", std::string(1000, 'b'));
    bool heardFailure = false;
    fs::CopyOptions options;
    options.progress = [](uint64_t) { return false; };
    // Skipping failed items must not swallow a cancel.
    options.itemFailed = [&](const std::string&, const core::Error&) {
        heardFailure = true;
        return true;
    };
    core::Error error;
    EXPECT_FALSE(fs::copyItem(pathInHome("tree"), pathInHome("copy"), options, &error));
    EXPECT_TRUE(isPosix(error, ECANCELED)) << error.description();
    EXPECT_FALSE(heardFailure);
}

TEST_F(FileCopyProgressTest, ACancelledCopyRemovesWhatItMadeAndOnlyThat)
{
    // Cancelled inside the second large file: neither the finished one nor
    // the partial one stays, and the source is whole.
    const std::string big(5 * 1024 * 1024, 'b');
    makeFile("tree/a big", big);
    makeFile("tree/b big", big);
    uint64_t copied = 0;
    fs::CopyOptions options;
    options.progress = [&](uint64_t bytes) { return (copied += bytes) < big.size() + 1024 * 1024; };
    core::Error error;
    EXPECT_FALSE(fs::copyItem(pathInHome("tree"), pathInHome("copy"), options, &error));
    EXPECT_TRUE(isPosix(error, ECANCELED)) << error.description();
    EXPECT_FALSE(fs::exists(pathInHome("copy")));
    EXPECT_EQ(readFile(pathInHome("tree/a big")), big);
    EXPECT_EQ(readFile(pathInHome("tree/b big")), big);

    // Cancelled before anything was made: what stood at the target stays.
    makeFile("copy", "someone else's");
    options.progress = [](uint64_t) { return false; };
    EXPECT_FALSE(fs::copyItem(pathInHome("tree"), pathInHome("copy"), options, &error));
    EXPECT_EQ(readFile(pathInHome("copy")), "someone else's");
}

TEST_F(FileCopyProgressTest, InjectedDataFailureStopsMidFile)
{
    makeFile("file", std::string(4096, 'z'));
    core::FileTestHooks::setCopyDataHook([](const std::string&, uint64_t written) { return written > 0 ? ENOSPC : 0; });
    core::Error error;
    EXPECT_FALSE(fs::copyItem(pathInHome("file"), pathInHome("copy"), &error));
    EXPECT_TRUE(isPosix(error, ENOSPC));
}

TEST_F(FileCopyProgressTest, HiddenSiblingsAreFreshHiddenAndBounded)
{
    const std::string a = fs::hiddenSiblingPath(pathInHome("Report.pdf"), "copy");
    const std::string b = fs::hiddenSiblingPath(pathInHome("Report.pdf/"), "copy");
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(pathInHome(".Report.pdf.copy-"), 0), 0u) << a;
    EXPECT_EQ(a.size(), pathInHome(".Report.pdf.copy-").size() + 6);

    // A long name with a multibyte character at the cut stays within a
    // name's length and whole characters.
    std::string longName(240, 'n');
    longName += "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9";
    const std::string sibling = fs::hiddenSiblingPath(pathInHome(longName), "move");
    const std::string name = sibling.substr(sibling.rfind('/') + 1);
    EXPECT_LE(name.size(), 255u);
    ASSERT_EQ(fs::writeFileAtomically(sibling, "fits"), true);
}

TEST_F(FileCopyProgressTest, MoveAcrossFileSystemsStagesBesideTheTarget)
{
    const std::string other = elsewhere();
    if (other.empty())
        GTEST_SKIP() << "no second writable file system";
    makeFile("tree/one", std::string(3000, '1'));
    makeFile("tree/two", std::string(3000, '2'));

    // Cancelled during the second file: no sibling, no target, source whole.
    int steps = 0;
    fs::CopyOptions options;
    options.progress = [&](uint64_t) { return ++steps < 2; };
    core::Error error;
    EXPECT_FALSE(fs::moveItem(pathInHome("tree"), other + "/tree", options, &error));
    EXPECT_TRUE(isPosix(error, ECANCELED)) << error.description();
    EXPECT_EQ(names(other), Strings {});
    EXPECT_EQ(names(pathInHome("tree")), (Strings { "one", "two" }));

    // A full disk mid-file does the same.
    core::FileTestHooks::setCopyDataHook([](const std::string&, uint64_t) { return ENOSPC; });
    EXPECT_FALSE(fs::moveItem(pathInHome("tree"), other + "/tree", &error));
    EXPECT_TRUE(isPosix(error, ENOSPC));
    EXPECT_EQ(names(other), Strings {});
    core::FileTestHooks::reset();

    // While copying, only the hidden sibling exists at the destination.
    Strings seen;
    options.progress = [&](uint64_t) {
        seen = names(other);
        return true;
    };
    ASSERT_TRUE(fs::moveItem(pathInHome("tree"), other + "/tree", options, &error)) << error.description();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].rfind(".tree.move-", 0), 0u) << seen[0];
    EXPECT_EQ(names(other), Strings { "tree" });
    EXPECT_EQ(readFile(other + "/tree/two"), std::string(3000, '2'));
    EXPECT_FALSE(fs::exists(pathInHome("tree")));
}

} // namespace

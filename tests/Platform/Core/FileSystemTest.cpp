#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"

#include "Support/TestCase.h"

#include <map>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = core::fs;
using Strings = std::vector<std::string>;

namespace {

constexpr int64_t SomeTime = 1'294'216'200'123'456'789; // 2011-01-05 08:30:00.123456789 UTC

class FileSystemTest : public test::TestCase {
protected:
    Strings sortedNames(const std::string& folder)
    {
        auto names = fs::sortedContentsOfDirectory(folder);
        return names ? *names : Strings { "<unreadable>" };
    }

    std::string linkTarget(const std::string& link)
    {
        char target[4096];
        ssize_t length = readlink(link.c_str(), target, sizeof target);
        return length < 0 ? std::string() : std::string(target, static_cast<size_t>(length));
    }

    static bool isPosix(const core::Error& error, int code) { return error.is(core::Error::POSIXDomain, code); }
};

TEST_F(FileSystemTest, AtomicWriteFailureKeepsTheOldFileAndLeavesNoTemporary)
{
    std::string folder = makeFolder("docs");
    std::string file = makeFile("docs/note.txt", "old");
    chmod(file.c_str(), 0640);
    core::Error error;
    ASSERT_TRUE(fs::writeFileAtomically(file, "new", &error));
    EXPECT_EQ(readFile(file), "new");
    EXPECT_EQ(fs::attributes(file)->mode, 0640u);

    // A folder in the way cannot be replaced.
    std::string busy = makeFile("docs/busy/inside", "kept");
    EXPECT_FALSE(fs::writeFileAtomically(pathInHome("docs/busy"), "x", &error));
    EXPECT_TRUE(isPosix(error, EISDIR)) << error.description();
    EXPECT_EQ(readFile(busy), "kept");

    EXPECT_FALSE(fs::writeFileAtomically(pathInHome("missing/file"), "x", &error));
    EXPECT_TRUE(isPosix(error, ENOENT));

    // A write that fails part-way (a file-size limit holds even for root).
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4;
    setrlimit(RLIMIT_FSIZE, &small);
    bool written = fs::writeFileAtomically(file, "far more than four bytes", &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    EXPECT_TRUE(isPosix(error, EFBIG)) << error.description();
    EXPECT_EQ(readFile(file), "new");

    if (geteuid() != 0) {
        chmod(folder.c_str(), 0555);
        EXPECT_FALSE(fs::writeFileAtomically(file, "denied", &error));
        EXPECT_TRUE(isPosix(error, EACCES));
        chmod(folder.c_str(), 0755);
        EXPECT_EQ(readFile(file), "new");
    }
    EXPECT_EQ(sortedNames(folder), (Strings { "busy", "note.txt" }));
}

TEST_F(FileSystemTest, RemoveNeverFollowsLinks)
{
    std::string sentinel = makeFile("outside/sentinel", "safe");
    std::string tree = makeFolder("tree/a/b");
    makeFile("tree/a/file", "x");
    ASSERT_EQ(symlink(pathInHome("outside").c_str(), (tree + "/outside-link").c_str()), 0);
    ASSERT_EQ(symlink(sentinel.c_str(), pathInHome("tree/a/file-link").c_str()), 0);
    ASSERT_EQ(symlink(pathInHome("outside").c_str(), pathInHome("top-link").c_str()), 0);

    core::Error error;
    EXPECT_TRUE(fs::removeItem(pathInHome("tree"), &error)) << error.description();
    EXPECT_FALSE(fs::exists(pathInHome("tree")));
    // "link/" names the link, not the folder it leads to.
    EXPECT_TRUE(fs::removeItem(pathInHome("top-link/"), &error)) << error.description();
    EXPECT_FALSE(fs::attributes(pathInHome("top-link")));
    EXPECT_EQ(readFile(sentinel), "safe");

    EXPECT_FALSE(fs::removeItem(pathInHome("tree"), &error));
    EXPECT_TRUE(isPosix(error, ENOENT));
}

TEST_F(FileSystemTest, ListingsTellFoldersAndLinksApart)
{
    makeFile("typed/file", "x");
    makeFolder("typed/folder");
    ASSERT_EQ(symlink(pathInHome("typed/folder").c_str(), pathInHome("typed/folder-link").c_str()), 0);
    auto entries = fs::contentsOfDirectoryWithTypes(pathInHome("typed"));
    ASSERT_TRUE(entries);
    std::map<std::string, std::pair<bool, bool>> kinds;
    for (auto& entry : *entries)
        kinds[entry.name] = { entry.isDirectory, entry.isLink };
    EXPECT_EQ(kinds, (std::map<std::string, std::pair<bool, bool>> {
                         { "file", { false, false } }, { "folder", { true, false } }, { "folder-link", { false, true } } }));
    core::Error error;
    EXPECT_FALSE(fs::contentsOfDirectoryWithTypes(pathInHome("typed/file"), &error));
    EXPECT_TRUE(isPosix(error, ENOTDIR));
}

TEST_F(FileSystemTest, CopyAndMoveNeverReplace)
{
    std::string source = makeFile("source.txt", "source");
    std::string target = makeFile("target.txt", "target");
    std::string folder = makeFile("folder/inside", "inside");
    ASSERT_EQ(symlink("nowhere", pathInHome("dangling").c_str()), 0);
    core::Error error;

    for (const auto& destination : { target, pathInHome("folder"), pathInHome("dangling") }) {
        EXPECT_FALSE(fs::copyItem(source, destination, &error)) << destination;
        EXPECT_TRUE(isPosix(error, EEXIST)) << destination;
        EXPECT_FALSE(fs::moveItem(source, destination, &error)) << destination;
        EXPECT_TRUE(isPosix(error, EEXIST)) << destination;
    }
    EXPECT_FALSE(fs::copyItem(pathInHome("folder"), target, &error));
    EXPECT_TRUE(isPosix(error, EEXIST));
    EXPECT_EQ(readFile(source), "source");
    EXPECT_EQ(readFile(target), "target");
    EXPECT_EQ(readFile(folder), "inside");
    EXPECT_EQ(linkTarget(pathInHome("dangling")), "nowhere");

    // Into itself, named directly or through a link.
    EXPECT_FALSE(fs::copyItem(pathInHome("folder"), pathInHome("folder/copy"), &error));
    EXPECT_TRUE(isPosix(error, EINVAL));
    ASSERT_EQ(symlink(pathInHome("folder").c_str(), pathInHome("via").c_str()), 0);
    EXPECT_FALSE(fs::copyItem(pathInHome("folder"), pathInHome("via/copy"), &error));
    EXPECT_TRUE(isPosix(error, EINVAL));

    EXPECT_TRUE(fs::moveItem(source, pathInHome("moved.txt"), &error));
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(readFile(pathInHome("moved.txt")), "source");
}

TEST_F(FileSystemTest, ExchangeSwapsAFileAndAFolderInOneStep)
{
    std::string file = makeFile("file.txt", "file");
    makeFile("folder/inside", "inside");
    core::Error error;
    ASSERT_TRUE(fs::exchangeItems(file, pathInHome("folder"), &error)) << error.description();
    EXPECT_EQ(readFile(pathInHome("file.txt/inside")), "inside");
    EXPECT_EQ(readFile(pathInHome("folder")), "file");

    // Both must exist: a missing one swaps nothing.
    EXPECT_FALSE(fs::exchangeItems(pathInHome("folder"), pathInHome("missing"), &error));
    EXPECT_TRUE(isPosix(error, ENOENT));
    EXPECT_EQ(readFile(pathInHome("folder")), "file");
    EXPECT_FALSE(fs::exchangeItems(pathInHome("folder"), std::string("x\0y", 3), &error));
    EXPECT_TRUE(isPosix(error, EINVAL));
}

TEST_F(FileSystemTest, CopiedTreeKeepsModesTimesAndLinks)
{
    std::string tree = makeFolder("tree");
    makeFile("tree/plain", "plain data");
    makeFile("tree/readonly", "read only");
    makeFile("tree/empty");
    makeFile("tree/sub/deep", std::string(300'000, 'z'));
    ASSERT_EQ(symlink("plain", pathInHome("tree/link").c_str()), 0);
    ASSERT_EQ(symlink("/nowhere/at/all", pathInHome("tree/dangling").c_str()), 0);
    ASSERT_EQ(mkfifo(pathInHome("tree/fifo").c_str(), 0600), 0);
    // Modes the creation mask would cut and special bits, beside those it
    // leaves whole.
    makeFile("tree/shared", "shared");
    makeFile("tree/tool", "tool");
    chmod(pathInHome("tree/shared").c_str(), 0666);
    chmod(pathInHome("tree/tool").c_str(), 04755);
    chmod(pathInHome("tree/plain").c_str(), 0640);
    chmod(pathInHome("tree/readonly").c_str(), 0444);
    chmod(pathInHome("tree/sub").c_str(), 0555);
    chmod(tree.c_str(), 0750);
    auto all = fs::subpaths(tree);
    ASSERT_TRUE(all);
    int64_t time = SomeTime;
    for (const auto& relative : *all)
        ASSERT_TRUE(fs::setModificationTime(tree + "/" + relative, time += 1'000'000'007));
    ASSERT_TRUE(fs::setModificationTime(tree, SomeTime));

    core::Error error;
    std::string copy = pathInHome("copy");
    const mode_t mask = umask(022);
    const bool copiedTree = fs::copyItem(tree, copy, &error);
    umask(mask);
    ASSERT_TRUE(copiedTree) << error.description();
    auto copied = fs::subpaths(copy);
    ASSERT_TRUE(copied);
    std::sort(all->begin(), all->end());
    std::sort(copied->begin(), copied->end());
    EXPECT_EQ(*copied, *all);
    all->push_back("");
    for (const auto& relative : *all) {
        auto original = fs::attributes(tree + "/" + relative);
        auto duplicate = fs::attributes(copy + "/" + relative);
        ASSERT_TRUE(original && duplicate) << relative;
        EXPECT_EQ(duplicate->type, original->type) << relative;
        EXPECT_EQ(duplicate->modificationTime, original->modificationTime) << relative;
        if (!original->isDirectory()) {
            EXPECT_EQ(duplicate->size, original->size) << relative;
        }
        if (original->type != fs::FileType::SymbolicLink) {
            EXPECT_EQ(duplicate->mode, original->mode) << relative;
        }
    }
    EXPECT_EQ(readFile(copy + "/sub/deep"), std::string(300'000, 'z'));
    EXPECT_EQ(linkTarget(copy + "/link"), "plain");
    EXPECT_EQ(linkTarget(copy + "/dangling"), "/nowhere/at/all");
    EXPECT_EQ(fs::attributes(copy + "/fifo")->type, fs::FileType::FIFO);
}

TEST_F(FileSystemTest, InjectedItemFailuresReachTheCopysCallback)
{
    const std::string from = makeFolder("tree");
    makeFile("tree/a.txt", "a");
    makeFile("tree/sub/b.txt", "b");
    makeFile("tree/sub/c.txt", "c");
    makeFile("tree/d.txt", "d");
    core::FileTestHooks::setCopyItemHook([&](const std::string& path) {
        return path == from + "/sub/b.txt" || path == from + "/d.txt" ? EACCES : 0;
    });
    Strings failed;
    fs::CopyOptions options;
    options.itemFailed = [&](const std::string& path, const core::Error& error) {
        EXPECT_TRUE(isPosix(error, EACCES));
        failed.push_back(path);
        return true;
    };
    ASSERT_TRUE(fs::copyItem(from, pathInHome("copy"), options));
    std::sort(failed.begin(), failed.end());
    EXPECT_EQ(failed, (Strings { from + "/d.txt", from + "/sub/b.txt" }));
    EXPECT_EQ(sortedNames(pathInHome("copy")), (Strings { "a.txt", "sub" }));
    EXPECT_EQ(sortedNames(pathInHome("copy/sub")), (Strings { "c.txt" }));

    // Without a callback the first injected failure stops the copy.
    core::Error error;
    EXPECT_FALSE(fs::copyItem(from, pathInHome("again"), &error));
    EXPECT_TRUE(isPosix(error, EACCES));
}

TEST_F(FileSystemTest, InjectedRenameFailuresLeaveTheItemInPlace)
{
    const std::string kept = makeFile("kept.txt", "k");
    const std::string moved = makeFile("moved.txt", "m");
    core::FileTestHooks::setRenameItemHook([&](const std::string& path) { return path == kept ? EACCES : 0; });
    core::Error error;
    EXPECT_FALSE(fs::moveItem(kept, pathInHome("kept-2.txt"), &error));
    EXPECT_TRUE(isPosix(error, EACCES));
    EXPECT_EQ(readFile(kept), "k");
    EXPECT_FALSE(fs::exists(pathInHome("kept-2.txt")));
    EXPECT_TRUE(fs::moveItem(moved, pathInHome("moved-2.txt"), &error)) << error.description();

    core::FileTestHooks::reset();
    EXPECT_TRUE(fs::moveItem(kept, pathInHome("kept-2.txt"), &error)) << error.description();
}

TEST_F(FileSystemTest, MoveAcrossFileSystemsCopiesAndRemoves)
{
    struct stat shm, ours;
    if (stat("/dev/shm", &shm) != 0 || stat(home().c_str(), &ours) != 0 || shm.st_dev == ours.st_dev
        || access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no second writable file system";
    std::string source = makeFile("tree/sub/file", "moved");
    ASSERT_EQ(symlink("sub/file", pathInHome("tree/link").c_str()), 0);
    std::string elsewhere = "/dev/shm/tandry-move-" + std::to_string(getpid());
    core::Error error;
    bool moved = fs::moveItem(pathInHome("tree"), elsewhere, &error);
    std::string contents = readFile(elsewhere + "/sub/file");
    std::string link = linkTarget(elsewhere + "/link");
    fs::removeItem(elsewhere);
    ASSERT_TRUE(moved) << error.description();
    EXPECT_EQ(contents, "moved");
    EXPECT_EQ(link, "sub/file");
    EXPECT_FALSE(fs::exists(pathInHome("tree")));
}

TEST_F(FileSystemTest, AttributesDescribeTheItemItself)
{
    std::string file = makeFile("file.txt", "12345");
    std::string link = pathInHome("link");
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    ASSERT_EQ(mkfifo(pathInHome("fifo").c_str(), 0600), 0);

    auto target = fs::attributes(file);
    auto own = fs::attributes(link);
    ASSERT_TRUE(target && own);
    EXPECT_EQ(target->type, fs::FileType::Regular);
    EXPECT_EQ(target->size, 5u);
    EXPECT_EQ(own->type, fs::FileType::SymbolicLink);
    EXPECT_EQ(own->size, file.size());
    EXPECT_NE(own->inode, target->inode);
    EXPECT_EQ(target->linkCount, 1u);
    EXPECT_EQ(target->uid, geteuid());
    EXPECT_GT(target->creationTime, 0);
    EXPECT_EQ(fs::attributes(pathInHome("fifo"))->type, fs::FileType::FIFO);
    EXPECT_EQ(fs::attributes(home())->type, fs::FileType::Directory);

    // Setting a link's time leaves its target alone.
    ASSERT_TRUE(fs::setModificationTime(link, SomeTime));
    EXPECT_EQ(fs::attributes(link)->modificationTime, SomeTime);
    EXPECT_NEAR(fs::attributes(link)->modificationDate().timeIntervalSince1970(), 1'294'216'200.123456789, 1e-6);
    EXPECT_EQ(fs::attributes(file)->modificationTime, target->modificationTime);
    ASSERT_TRUE(fs::setModificationTime(file, -1'500'000'000));
    EXPECT_EQ(fs::attributes(file)->modificationTime, -1'500'000'000);

    core::Error error;
    EXPECT_FALSE(fs::attributes(pathInHome("missing"), &error));
    EXPECT_TRUE(isPosix(error, ENOENT));
    EXPECT_EQ(error.userInfo().at(core::Error::FilePathKey).string(), pathInHome("missing"));
}

// Opening without links: the path is then where the item really is, so a
// caller can judge it without resolving anything.
TEST_F(FileSystemTest, OpensOnlyWhereNoLinkLiesOnThePath)
{
    std::string file = makeFile("real/file.txt", "12345");
    ASSERT_EQ(symlink(pathInHome("real").c_str(), pathInHome("folder-link").c_str()), 0);
    ASSERT_EQ(symlink(file.c_str(), pathInHome("file-link").c_str()), 0);
    ASSERT_EQ(mkfifo(pathInHome("fifo").c_str(), 0600), 0);

    int fd = fs::openForReadingWithoutLinks(file);
    ASSERT_GE(fd, 0);
    auto opened = fs::attributesOfDescriptor(fd);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->type, fs::FileType::Regular);
    EXPECT_EQ(opened->size, 5u);
    EXPECT_EQ(opened->inode, fs::attributes(file)->inode);
    EXPECT_EQ(opened->modificationTime, fs::attributes(file)->modificationTime);
    char bytes[8] = {};
    EXPECT_EQ(read(fd, bytes, sizeof bytes), 5);
    close(fd);

    for (const std::string& path : { pathInHome("folder-link/file.txt"), pathInHome("file-link") }) {
        errno = 0;
        EXPECT_EQ(fs::openForReadingWithoutLinks(path), -1) << path;
        EXPECT_EQ(errno, ELOOP) << path;
    }
    errno = 0;
    EXPECT_EQ(fs::openForReadingWithoutLinks(pathInHome("missing")), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(fs::openForReadingWithoutLinks(std::string("/tmp\0x", 7)), -1);

    // A FIFO opens at once (nobody writes to it), and tells what it is.
    fd = fs::openForReadingWithoutLinks(pathInHome("fifo"));
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fs::attributesOfDescriptor(fd)->type, fs::FileType::FIFO);
    close(fd);
    fd = fs::openWithoutLinks(home(), O_PATH);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(fs::attributesOfDescriptor(fd)->isDirectory());
    close(fd);
    EXPECT_FALSE(fs::attributesOfDescriptor(-1));
}

TEST_F(FileSystemTest, FoldersListingsAndAccess)
{
    core::Error error;
    EXPECT_FALSE(fs::createDirectory(pathInHome("a/b"), false, &error));
    EXPECT_TRUE(isPosix(error, ENOENT));
    EXPECT_TRUE(fs::createDirectory(pathInHome("a/b/c/"), true, &error));
    EXPECT_TRUE(fs::createDirectory(pathInHome("a/b"), true, &error));
    EXPECT_FALSE(fs::createDirectory(pathInHome("a/b"), false, &error));
    EXPECT_TRUE(isPosix(error, EEXIST));
    EXPECT_TRUE(fs::createDirectory(pathInHome("private"), false, &error, 0700));
    EXPECT_EQ(fs::attributes(pathInHome("private"))->mode, 0700u);
    makeFile("a/file", "x");
    EXPECT_FALSE(fs::createDirectory(pathInHome("a/file"), true, &error));
    EXPECT_TRUE(isPosix(error, EEXIST));
    EXPECT_FALSE(fs::createDirectory(pathInHome("a/file/sub"), true, &error));
    EXPECT_TRUE(isPosix(error, ENOTDIR));

    std::string outside = makeFile("outside/hidden", "x");
    ASSERT_EQ(symlink(pathInHome("outside").c_str(), pathInHome("a/link").c_str()), 0);
    EXPECT_EQ(sortedNames(pathInHome("a")), (Strings { "b", "file", "link" }));
    auto all = fs::subpaths(pathInHome("a"));
    ASSERT_TRUE(all);
    std::sort(all->begin(), all->end());
    EXPECT_EQ(*all, (Strings { "b", "b/c", "file", "link" }));
    EXPECT_FALSE(fs::contentsOfDirectory(pathInHome("a/file"), &error));
    EXPECT_TRUE(isPosix(error, ENOTDIR));

    bool folder = false;
    EXPECT_TRUE(fs::exists(pathInHome("a/link"), &folder));
    EXPECT_TRUE(folder);
    EXPECT_TRUE(fs::isDirectory(pathInHome("a/link")));
    EXPECT_FALSE(fs::isDirectory(pathInHome("a/file")));
    EXPECT_TRUE(fs::isReadable(outside));
    EXPECT_TRUE(fs::isWritable(outside));
    EXPECT_FALSE(fs::isExecutable(outside));
    EXPECT_TRUE(fs::isDeletable(outside));
    EXPECT_FALSE(fs::isDeletable(pathInHome("nothing")));
    EXPECT_FALSE(fs::isDeletable("/"));
    if (geteuid() != 0) {
        chmod(pathInHome("outside").c_str(), 0555);
        EXPECT_FALSE(fs::isDeletable(outside));
        chmod(pathInHome("outside").c_str(), 0755);
    }
}

TEST_F(FileSystemTest, PathsWithNulAreRefused)
{
    std::string victim = makeFile("victim", "intact");
    std::string nul = victim + std::string("\0/../other", 10);
    core::Data data;
    std::vector<std::function<bool(core::Error*)>> calls = {
        [&](core::Error* e) { return fs::removeItem(nul, e); },
        [&](core::Error* e) { return fs::copyItem(victim, nul, e); },
        [&](core::Error* e) { return fs::copyItem(nul, pathInHome("copy"), e); },
        [&](core::Error* e) { return fs::moveItem(nul, pathInHome("moved"), e); },
        [&](core::Error* e) { return fs::writeFileAtomically(nul, "lost", e); },
        [&](core::Error* e) { return fs::readFile(nul, data, e); },
        [&](core::Error* e) { return fs::createDirectory(nul, true, e); },
        [&](core::Error* e) { return fs::setModificationTime(nul, 0, e); },
        [&](core::Error* e) { return fs::attributes(nul, e).has_value(); },
        [&](core::Error* e) { return fs::contentsOfDirectory(nul, e).has_value(); },
        [&](core::Error* e) { return fs::subpaths(nul, e).has_value(); },
    };
    for (size_t i = 0; i < calls.size(); ++i) {
        core::Error error;
        EXPECT_FALSE(calls[i](&error)) << i;
        EXPECT_TRUE(isPosix(error, EINVAL)) << i;
    }
    EXPECT_FALSE(fs::exists(nul));
    EXPECT_FALSE(fs::isDeletable(nul));
    EXPECT_EQ(readFile(victim), "intact");
    EXPECT_EQ(sortedNames(home()), (Strings { "victim" }));
}

} // namespace

namespace {

TEST(FileSystemReadTest, KernelFilesAndEmptyFilesReadWhole)
{
    core::Data contents;
    ASSERT_TRUE(core::fs::readFile("/proc/self/status", contents));
    EXPECT_NE(contents.view().find("Name:"), std::string_view::npos);
    char pattern[] = "/tmp/tandry-empty-XXXXXX";
    int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_TRUE(core::fs::readFile(pattern, contents));
    EXPECT_TRUE(contents.empty());
    unlink(pattern);
}

} // namespace

// The folder browser's zip and unzip work on its worker, with the real
// archiver and unarchiver and `zip`/`unzip` as peers: names, the hidden
// siblings, the moves up beside the archive, and what failures and cancels
// leave (nothing).

#include "OperationTestSupport.h"

#include "App/FolderBrowser/VKFolderZipWork.h"
#include "FileModel/VKZipArchiver.h"
#include "FileModel/VKZipUnarchiver.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/Command.h"
#include "Support/Python.h"
#include "Support/TestCase.h"

#include <cerrno>
#include <set>

namespace {

using BrowserOperation = VKBrowserOperation;
using Work = VKFolderZipWork;

class VKFolderZipWorkTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        BrowserOperation::resetOperationForTesting();
        m_folder = makeFolder("Docs");
    }
    void TearDown() override
    {
        core::FileTestHooks::reset();
        BrowserOperation::resetOperationForTesting();
        core::RunLoop::main().runUntilIdle();
        TestCase::TearDown();
    }

    const std::string& folder() const { return m_folder; }
    std::string inFolder(const std::string& name) const { return m_folder + "/" + name; }
    // The names in the listed folder.
    std::set<std::string> names() const
    {
        auto names = core::fs::contentsOfDirectory(m_folder).value_or(std::vector<std::string>());
        return { names.begin(), names.end() };
    }
    static std::set<std::string> tree(const std::string& path)
    {
        auto paths = core::fs::subpaths(path).value_or(std::vector<std::string>());
        return { paths.begin(), paths.end() };
    }
    static test::CommandResult run(std::vector<std::string> arguments, const std::string& directory)
    {
        std::vector<std::string> command { "sh", "-c", "cd \"$0\" && exec env TZ=UTC \"$@\"", directory };
        command.insert(command.end(), arguments.begin(), arguments.end());
        return test::runCommand(command);
    }
    // An archive written by Python with the names and data as given.
    std::string pythonArchive(const std::string& name, const std::string& entries)
    {
        const std::string path = inFolder(name);
        test::runPython(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    for name, data in )" + entries + R"(:
        z.writestr(name, data)
)",
            { path });
        return path;
    }

    Work::Expansion expand(const std::string& archive, const std::optional<std::string>& password = {})
    {
        auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
        EXPECT_NE(unarchiver, nullptr);
        if (!unarchiver)
            return {};
        unarchiver->setPassword(password);
        auto workFolder = Work::makeExpansionFolder(archive);
        EXPECT_TRUE(workFolder);
        BrowserOperation::Run run = BrowserOperation::startOperationWithLabel("Expanding", false);
        auto result = Work::expandArchive(*unarchiver, *workFolder, run);
        BrowserOperation::endOperation(run);
        return result;
    }
    std::optional<std::string> zip(const std::vector<std::string>& items, BrowserOperation::Run run = BrowserOperation::NoRun)
    {
        auto archiver = VKZipArchiver::archiverWithPath(
            uniquePath(inFolder(Work::archiveNameForItems(items))));
        EXPECT_NE(archiver, nullptr);
        if (run == BrowserOperation::NoRun)
            run = BrowserOperation::startOperationWithLabel("Compressing", false);
        auto result = Work::archiveItems(*archiver, items, 0, run);
        BrowserOperation::endOperation(run);
        return result;
    }
    static std::string uniquePath(const std::string& path)
    {
        std::string candidate = path;
        for (int i = 1; core::fs::attributes(candidate); ++i)
            candidate = path.substr(0, path.size() - 4) + " " + std::to_string(i) + ".zip";
        return candidate;
    }

private:
    std::string m_folder;
};

TEST_F(VKFolderZipWorkTest, NamesOfArchivesAndDestinations)
{
    EXPECT_EQ(Work::archiveNameForItems({ "/d/Notes.txt" }), "Notes.zip");
    EXPECT_EQ(Work::archiveNameForItems({ "/d/Photos" }), "Photos.zip");
    EXPECT_EQ(Work::archiveNameForItems({ "/d/a.tar.gz" }), "a.tar.zip");
    EXPECT_EQ(Work::archiveNameForItems({ "/d/a", "/d/b" }), "Archive.zip");

    EXPECT_EQ(Work::destinationNameForArchive("/d/a.zip"), "a");
    EXPECT_EQ(Work::destinationNameForArchive("/d/A.ZIP"), "A");
    EXPECT_EQ(Work::destinationNameForArchive("/d/Essay.pages.zip"), "Essay");
    EXPECT_EQ(Work::destinationNameForArchive("/d/x.tar.zip"), "x.tar");
    // Never hidden, never empty.
    EXPECT_EQ(Work::destinationNameForArchive("/d/.zip"), "zip");
    EXPECT_EQ(Work::destinationNameForArchive("/d/.notes.zip"), "notes");
    EXPECT_EQ(Work::destinationNameForArchive("/d/...zip"), "Archive");
}

TEST_F(VKFolderZipWorkTest, ZipsUnderAHiddenNameThenTakesAFreeOne)
{
    makeFile("Docs/Photos/a.jpg", std::string(30000, 'a'));
    makeFile("Docs/Photos/sub/b.txt", "bee");
    makeFile("Docs/Notes.txt", "notes");
    test::OperationNotifications notifications;

    auto archive = zip({ inFolder("Photos") });
    ASSERT_TRUE(archive);
    EXPECT_EQ(*archive, inFolder("Photos.zip"));
    EXPECT_EQ(run({ "unzip", "-tq", *archive }, folder()).status, 0);
    auto listing = run({ "zipinfo", "-1", *archive }, folder()).output;
    EXPECT_EQ(listing, "Photos/\nPhotos/a.jpg\nPhotos/sub/\nPhotos/sub/b.txt\n");
    auto verbose = run({ "zipinfo", "-v", *archive }, folder()).output;
    EXPECT_NE(verbose.find("compression method:                             deflated"), std::string::npos);
    EXPECT_NE(verbose.find("compression sub-type (deflation):               maximum"), std::string::npos);
    // Progress ends at 1.0.
    ASSERT_FALSE(notifications.progressValues().empty());
    EXPECT_EQ(notifications.progressValues().back(), 1.0);

    // Someone takes the name while the archive is written: the next free one.
    auto archiver = VKZipArchiver::archiverWithPath(inFolder("Notes.zip"));
    ASSERT_NE(archiver, nullptr);
    makeFile("Docs/Notes.zip", "theirs");
    BrowserOperation::Run run = BrowserOperation::startOperationWithLabel("Compressing", false);
    auto second = Work::archiveItems(*archiver, { inFolder("Notes.txt") }, 5, run);
    BrowserOperation::endOperation(run);
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, inFolder("Notes 1.zip"));
    EXPECT_EQ(readFile(inFolder("Notes.zip")), "theirs");
    EXPECT_EQ(names(), (std::set<std::string> { "Notes 1.zip", "Notes.txt", "Notes.zip", "Photos", "Photos.zip" }));
}

TEST_F(VKFolderZipWorkTest, FailedOrCancelledZipsLeaveNothing)
{
    makeFile("Docs/a.txt", "a");
    makeFolder("Docs/b");
    const auto before = names();

    // An item gone since it was marked.
    EXPECT_FALSE(zip({ inFolder("a.txt"), inFolder("gone") }));
    EXPECT_EQ(names(), before);

    // A cancelled run, and a run that a newer one replaced.
    BrowserOperation::Run cancelled = BrowserOperation::startOperationWithLabel("Compressing", false);
    BrowserOperation::cancelOperation();
    EXPECT_FALSE(zip({ inFolder("a.txt"), inFolder("b") }, cancelled));
    EXPECT_EQ(names(), before);
    BrowserOperation::Run stale = BrowserOperation::startOperationWithLabel("Compressing", false);
    BrowserOperation::endOperation(stale);
    BrowserOperation::startOperationWithLabel("Another", false);
    EXPECT_FALSE(zip({ inFolder("a.txt") }, stale));
    EXPECT_EQ(names(), before);
    EXPECT_TRUE(BrowserOperation::isOperationInProgress());
}

TEST_F(VKFolderZipWorkTest, OneTopLevelItemLandsBesideTheArchive)
{
    makeFile("src/Photos/a.jpg", "jpeg");
    makeFile("src/Photos/sub/b.txt", "bee");
    makeFile("src/__MACOSX/Photos/._a.jpg", "fork");
    makeFile("src/one.txt", "one");
    ASSERT_EQ(run({ "zip", "-qr", inFolder("p.zip"), "Photos", "__MACOSX" }, pathInHome("src")).status, 0);
    ASSERT_EQ(run({ "zip", "-q", inFolder("f.zip"), "one.txt" }, pathInHome("src")).status, 0);
    makeFolder("Docs/Photos");

    auto photos = expand(inFolder("p.zip"));
    EXPECT_TRUE(photos.success);
    EXPECT_EQ(photos.path, inFolder("Photos 1"));
    EXPECT_EQ(tree(photos.path), (std::set<std::string> { "a.jpg", "sub", "sub/b.txt" }));
    EXPECT_EQ(readFile(photos.path + "/sub/b.txt"), "bee");

    auto file = expand(inFolder("f.zip"));
    EXPECT_TRUE(file.success);
    EXPECT_EQ(file.path, inFolder("one.txt"));
    EXPECT_EQ(readFile(file.path), "one");
    // No hidden folder stays behind.
    EXPECT_EQ(names(), (std::set<std::string> { "Photos", "Photos 1", "f.zip", "one.txt", "p.zip" }));
}

TEST_F(VKFolderZipWorkTest, SeveralTopLevelItemsLandInAFolderNamedAfterTheArchive)
{
    auto archive = pythonArchive("a.zip", "[('x.txt', 'x'), ('y/z.txt', 'z')]");
    makeFile("Docs/a", "a file took the name");
    test::OperationNotifications notifications;
    auto result = expand(archive);
    EXPECT_TRUE(result.success);
    EXPECT_EQ(result.path, inFolder("a 1"));
    EXPECT_EQ(tree(result.path), (std::set<std::string> { "x.txt", "y", "y/z.txt" }));
    EXPECT_EQ(notifications.progressValues().back(), 1.0);
    EXPECT_EQ(names(), (std::set<std::string> { "a", "a 1", "a.zip" }));

    // A package's extension goes with ".zip"; ten thousand entries, and a
    // name in a DOS code page (0x82 is "é"), expand as any other.
    auto many = pythonArchive("Essay.pages.zip",
        "[('Index.xml', 'i'), ('cafQ.txt', 'c')] + [('d/%05d' % i, '') for i in range(10000)]");
    test::runPython("import sys\ndata = open(sys.argv[1], 'rb').read().replace(b'cafQ', b'caf\\x82')\n"
                    "open(sys.argv[1], 'wb').write(data)\n",
        { many });
    auto essay = expand(many);
    EXPECT_TRUE(essay.success);
    EXPECT_EQ(essay.path, inFolder("Essay"));
    EXPECT_EQ(tree(essay.path).size(), 10003u);
    EXPECT_EQ(readFile(essay.path + "/caf\xc3\xa9.txt"), "c");
}

TEST_F(VKFolderZipWorkTest, AnItemThatCannotMoveUpStaysInTheDestinationFolder)
{
    // The item's name is as long as a name may be and taken beside the
    // archive: the free name with " 1" is too long, so the move fails.
    const std::string name(255, 'x');
    auto archive = pythonArchive("long.zip", "[('" + name + "', 'kept')]");
    makeFile("Docs/" + name, "theirs");
    auto result = expand(archive);
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.path, inFolder("long"));
    EXPECT_EQ(readFile(inFolder("long/" + name)), "kept");
    EXPECT_EQ(readFile(inFolder(name)), "theirs");
    EXPECT_EQ(names(), (std::set<std::string> { "long", "long.zip", name }));
}

TEST_F(VKFolderZipWorkTest, EncryptedArchivesNeedTheirPassword)
{
    makeFile("src/s1.txt", "secret one");
    makeFile("src/s2.txt", "secret two");
    ASSERT_EQ(run({ "zip", "-q", "-P", "pass word", inFolder("s.zip"), "s1.txt", "s2.txt" }, pathInHome("src")).status,
        0);
    const auto before = names();
    for (std::optional<std::string> wrong : { std::optional<std::string>(), std::optional<std::string>(""),
             std::optional<std::string>("nope") }) {
        auto result = expand(inFolder("s.zip"), wrong);
        EXPECT_FALSE(result.success);
        EXPECT_TRUE(result.path.empty());
        EXPECT_EQ(names(), before);
    }
    auto result = expand(inFolder("s.zip"), "pass word");
    EXPECT_TRUE(result.success);
    EXPECT_EQ(readFile(result.path + "/s2.txt"), "secret two");
}

TEST_F(VKFolderZipWorkTest, HostileOrBrokenArchivesLeaveNothing)
{
    makeFolder("outside");
    const std::string climbing = pythonArchive("climb.zip", "[('ok.txt', 'ok'), ('../../outside/evil', 'x')]");
    const std::string absolute = pythonArchive("abs.zip", "[('ok.txt', 'ok'), ('" + pathInHome("outside/abs") + "', 'x')]");
    const std::string duplicate = pythonArchive("dup.zip", "[('d.txt', 'one'), ('d.txt', 'two')]");
    // A stored entry whose data no longer matches its CRC.
    const std::string corrupt = inFolder("crc.zip");
    test::runPython(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_STORED) as z:
    z.writestr('a.txt', 'A' * 100)
    z.writestr('b.txt', 'B' * 100)
data = bytearray(open(sys.argv[1], 'rb').read())
data[data.index(b'B' * 100) + 50] = ord('C')
open(sys.argv[1], 'wb').write(bytes(data))
)",
        { corrupt });
    const std::string big = pythonArchive("big.zip", "[('x.bin', 'x' * 100000), ('y.bin', 'y')]");
    const auto before = names();

    for (const std::string& archive : { climbing, absolute, duplicate, corrupt }) {
        SCOPED_TRACE(archive);
        auto result = expand(archive);
        EXPECT_FALSE(result.success);
        EXPECT_TRUE(result.path.empty());
        EXPECT_EQ(names(), before);
    }
    EXPECT_TRUE(tree(pathInHome("outside")).empty());

    // The quota leaves less than the archive needs: nothing is written.
    core::UserDefaults::standard()->set("VKQuotaEnabled", true);
    core::UserDefaults::standard()->set("VKQuotaLimit", "0");
    EXPECT_FALSE(expand(big).success);
    EXPECT_EQ(names(), before);
    EXPECT_TRUE(logContains("Warning, not enough space to unarchive 100001 bytes to: "));
    core::UserDefaults::standard()->set("VKQuotaEnabled", false);

    // The disk fills in the middle of an entry.
    core::FileTestHooks::failNextWrite(ENOSPC);
    auto full = expand(big);
    EXPECT_FALSE(full.success);
    EXPECT_EQ(names(), before);

    // A cancelled run expands nothing.
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(big);
    ASSERT_NE(unarchiver, nullptr);
    auto workFolder = Work::makeExpansionFolder(big);
    ASSERT_TRUE(workFolder);
    BrowserOperation::Run run = BrowserOperation::startOperationWithLabel("Expanding", false);
    BrowserOperation::cancelOperation();
    EXPECT_FALSE(Work::expandArchive(*unarchiver, *workFolder, run).success);
    EXPECT_EQ(names(), before);
}

TEST_F(VKFolderZipWorkTest, NoExpansionFolderInAFolderThatCannotTakeOne)
{
    core::Error error;
    EXPECT_FALSE(Work::makeExpansionFolder(pathInHome("missing/a.zip"), &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENOENT));
    auto made = Work::makeExpansionFolder(inFolder("a.zip"));
    ASSERT_TRUE(made);
    EXPECT_EQ(core::path::lastPathComponent(*made).rfind(".a.zip.", 0), 0u);
    EXPECT_TRUE(core::fs::isDirectory(*made));
}

} // namespace

#include "App/FolderBrowser/VKFolderItemTransfer.h"
#include "App/FolderBrowser/VKFolderZipWork.h"

#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKZipArchiver.h"
#include "FileModel/VKZipUnarchiver.h"
#include "Kit/VKFileManagerDelegate.h"
#include "Kit/VKStagingFolder.h"
#include "Platform/Core/DesktopTrash.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Path.h"
#include "Shell/VKApplication.h"
#include "Support/KillDuring.h"
#include "Support/TestCase.h"

#include <csignal>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = core::fs;

namespace {

// A process killed in the middle of the folder browser's long work: the
// work runs in a forked child, which reports through a pipe once its first
// bytes are out and waits there to be killed with SIGKILL. The next launch's
// sweep then leaves the store as it was before the work began.
class VKInterruptedWorkTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        documents = VKApplication::sharedApplication()->documentsDirectory();
    }
    void TearDown() override
    {
        core::FileTestHooks::reset();
        test::TestCase::TearDown();
    }

    // Every item under the documents, hidden ones too, with its size, and
    // the quota's total after a full recount.
    std::map<std::string, uint64_t> store()
    {
        auto quota = VKQuotaManager::defaultManager();
        quota->updateQuotaForPath(documents);
        std::map<std::string, uint64_t> items { { "<quota>", quota->quotaUsedBytes() } };
        for (const auto& relative : fs::subpaths(documents).value_or(std::vector<std::string> {}))
            items[relative] = fs::attributes(documents + "/" + relative)->size;
        return items;
    }

    // Every item below a folder, hidden ones too, with its contents.
    static std::map<std::string, std::string> contentsBelow(const std::string& folder)
    {
        std::map<std::string, std::string> items;
        for (const auto& relative : fs::subpaths(folder).value_or(std::vector<std::string> {}))
            items[relative] = fs::isDirectory(folder + "/" + relative) ? "/" : readFile(folder + "/" + relative);
        return items;
    }

    std::string documents;
};

// Tells the stall after the first bytes of a copy.
class StallingCopy : public VKFileManagerDelegate {
public:
    explicit StallingCopy(const std::function<void()>& stall) : m_stall(stall) { }
    bool copyingItemAtPath(const std::string&, const std::string&, uint64_t bytes) override
    {
        if (bytes > 0)
            m_stall();
        return true;
    }

private:
    const std::function<void()>& m_stall;
};

// The same for an archive's entries, written or expanded.
class StallingZip : public VKZipArchiverDelegate, public VKZipUnarchiverDelegate {
public:
    explicit StallingZip(const std::function<void()>& stall) : m_stall(stall) { }
    bool zipArchiver(VKZipArchiver&, const std::string&) override { return true; }
    bool zipArchiver(VKZipArchiver&, uint64_t, const std::string&) override { return stall(); }
    bool zipUnarchiver(VKZipUnarchiver&, const std::string&) override { return true; }
    bool zipUnarchiver(VKZipUnarchiver&, uint64_t, const std::string&) override { return stall(); }

private:
    bool stall()
    {
        m_stall();
        return true;
    }
    const std::function<void()>& m_stall;
};

TEST_F(VKInterruptedWorkTest, AKilledCopyMoveZipOrUnzipLeavesTheStoreAsItWas)
{
    const std::string contents(300'000, 'x');
    const std::string file = makeFile("Library/Documents/Report.txt", contents);
    makeFile("Library/Documents/Folder/.profile", "a dot-file of the user's own");
    makeFile("Library/Documents/Folder/.Report.txt.copy-Ab12Cd", "named like a part, but the user's");
    const std::string archive = documents + "/Packed.zip";
    ASSERT_TRUE(VKZipArchiver::archiveItemAtPath(file, archive, 0));
    VKFolderItemTransfer::Request request;
    request.resources = { VKFileResource::resourceWithPath(file) };
    request.destination = documents + "/Folder";
    const auto before = store();

    // A copy into another folder, then a move to another file system (the
    // source stays whole).
    for (const auto transfer : { &VKFolderItemTransfer::copyItems, &VKFolderItemTransfer::moveItems }) {
        test::killDuring([&](const std::function<void()>& stall) {
            StallingCopy delegate(stall);
            VKFolderItemTransfer::Hooks hooks;
            hooks.delegate = &delegate;
            transfer(request, hooks);
        });
        VKStagingFolder::removeAbandonedItems();
        EXPECT_EQ(store(), before);
        core::FileTestHooks::setRenameItemHook([&](const std::string& from) { return from == file ? EXDEV : 0; });
    }
    EXPECT_EQ(readFile(file), contents);

    // An archive of the file.
    test::killDuring([&](const std::function<void()>& stall) {
        auto delegate = std::make_shared<StallingZip>(stall);
        auto archiver = VKZipArchiver::archiverWithPath(documents + "/Folder/Report.zip");
        archiver->setRootPath(documents);
        archiver->setDelegate(delegate);
        archiver->addItemAtPath(file, false, 9);
    });
    VKStagingFolder::removeAbandonedItems();
    EXPECT_EQ(store(), before);

    // The archive expanded.
    test::killDuring([&](const std::function<void()>& stall) {
        auto delegate = std::make_shared<StallingZip>(stall);
        auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
        unarchiver->setDelegate(delegate);
        if (auto folder = VKFolderZipWork::makeExpansionFolder(archive))
            unarchiver->unarchiveToPath(*folder);
    });
    VKStagingFolder::removeAbandonedItems();
    EXPECT_EQ(store(), before);

    // This run's own staging stays while it works.
    const std::string working = VKStagingFolder::pathForItem(file, "copy");
    makeFile(working.substr(home().size() + 1), "under way");
    VKStagingFolder::removeAbandonedItems();
    EXPECT_TRUE(fs::exists(working));

    // A sweep that ends after the temporary folder was emptied makes
    // nothing there.
    const std::string root = core::path::deletingLastPathComponent(VKStagingFolder::path());
    ASSERT_TRUE(fs::removeItem(root));
    VKStagingFolder::removeAbandonedItems();
    EXPECT_FALSE(fs::exists(root));
}

TEST_F(VKInterruptedWorkTest, AKilledReplacementPutsBackOrTrashesWhatItReplaced)
{
    const std::string contents(300'000, 'n');
    const std::string file = makeFile("Library/Documents/Report.txt", contents);
    makeFile("Library/Documents/Folder/Report.txt", "the old report");
    // A folder on another file system, reached through a link.
    std::string elsewhere = "/dev/shm/tandry-elsewhere-XXXXXX";
    ASSERT_NE(mkdtemp(elsewhere.data()), nullptr);
    ASSERT_TRUE(core::fs::writeFileAtomically(elsewhere + "/Report.txt", "the old report elsewhere"));
    ASSERT_EQ(symlink(elsewhere.c_str(), (documents + "/Elsewhere").c_str()), 0);
    const auto before = store();
    const auto elsewhereBefore = contentsBelow(elsewhere);
    auto moveInto = [&](const std::string& folder, const std::function<void()>& stall) {
        StallingCopy delegate(stall);
        VKFolderItemTransfer::Request request;
        request.resources = { VKFileResource::resourceWithPath(file) };
        request.destination = folder;
        VKFolderItemTransfer::Hooks hooks;
        hooks.delegate = &delegate;
        VKFolderItemTransfer::moveItems(request, hooks);
    };

    // Killed on one file system between setting the old item aside and the
    // rename: the old item comes back.
    test::killDuring([&](const std::function<void()>& stall) {
        int renames = 0;
        core::FileTestHooks::setRenameItemHook([&](const std::string& from) {
            if (from == file && ++renames == 2)
                stall();
            return 0;
        });
        moveInto(documents + "/Folder", stall);
    });
    // A damaged journal settles nothing and keeps its run's folder; whole
    // again, it puts the old item back.
    std::string journal;
    const std::string root = core::path::deletingLastPathComponent(VKStagingFolder::path());
    for (const auto& name : fs::contentsOfDirectory(root).value_or(std::vector<std::string> {}))
        if (fs::exists(root + "/" + name + "/journal") && root + "/" + name != VKStagingFolder::path())
            journal = root + "/" + name + "/journal";
    ASSERT_FALSE(journal.empty());
    const std::string noted = readFile(journal);
    ASSERT_TRUE(fs::writeFileAtomically(journal, noted + "torn"));
    EXPECT_TRUE(VKStagingFolder::removeAbandonedItems().empty());
    EXPECT_NE(store(), before);
    ASSERT_TRUE(fs::writeFileAtomically(journal, noted));
    EXPECT_FALSE(VKStagingFolder::removeAbandonedItems().empty());
    EXPECT_EQ(store(), before);

    // Killed while copying across file systems, as told and for real: the
    // old item never left, and no part stays on either side.
    for (const std::string& folder : { documents + "/Folder", documents + "/Elsewhere" }) {
        core::FileTestHooks::setRenameItemHook([&](const std::string& from) { return from == file ? EXDEV : 0; });
        test::killDuring([&](const std::function<void()>& stall) { moveInto(folder, stall); });
        core::FileTestHooks::reset();
        VKStagingFolder::removeAbandonedItems();
        EXPECT_EQ(store(), before);
        EXPECT_EQ(contentsBelow(elsewhere), elsewhereBefore);
    }
    EXPECT_EQ(readFile(file), contents);

    // A copy over two items killed in the second: the first copy goes to
    // the trash and what it replaced comes back, as if the copy never began.
    const std::string second = makeFile("Library/Documents/Second.txt", contents);
    makeFile("Library/Documents/Folder/Second.txt", "the old second");
    const auto beforeCopy = store();
    test::killDuring([&](const std::function<void()>& stall) {
        VKFolderItemTransfer::Request request;
        request.resources = { VKFileResource::resourceWithPath(file), VKFileResource::resourceWithPath(second) };
        request.destination = documents + "/Folder";
        const std::function<void()> secondStall = [&] {
            if (fs::attributes(documents + "/Folder/Report.txt")->size == contents.size())
                stall();
        };
        StallingCopy delegate(secondStall);
        VKFolderItemTransfer::Hooks hooks;
        hooks.delegate = &delegate;
        VKFolderItemTransfer::copyItems(request, hooks);
    });
    VKStagingFolder::removeAbandonedItems();
    EXPECT_EQ(store(), beforeCopy);
    EXPECT_EQ(readFile(documents + "/Folder/Report.txt"), "the old report");
    EXPECT_EQ(readFile(documents + "/Folder/Second.txt"), "the old second");
    EXPECT_EQ(readFile(core::desktopTrash::location() + "/files/Report.txt"), contents);

    // A copy that stood whole in a run stays at the next launch.
    VKFolderItemTransfer::Request whole;
    whole.resources = { VKFileResource::resourceWithPath(file), VKFileResource::resourceWithPath(second) };
    whole.destination = makeFolder("Library/Documents/Copies");
    const pid_t run = fork();
    if (run == 0)
        _exit(VKFolderItemTransfer::copyItems(whole, {}).paths.size() == 2 ? 0 : 1);
    int status = -1;
    ASSERT_EQ(waitpid(run, &status, 0), run);
    EXPECT_EQ(status, 0);
    const auto copied = store();
    VKStagingFolder::removeAbandonedItems();
    EXPECT_EQ(store(), copied);
    EXPECT_EQ(readFile(whole.destination + "/Second.txt"), contents);
    EXPECT_TRUE(fs::removeItem(elsewhere));
}

} // namespace

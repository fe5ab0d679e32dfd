#include "FileModel/FileManagerResourceAdditions.h"

#include "FileModel/VKContentIndexManager.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/FileManagerExtendedAttributes.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Path.h"
#include "Kit/VKFileManagerDelegate.h"
#include "Kit/VKHomeLayout.h"
#include "Kit/VKStagingFolder.h"
#include "Support/FileModel/RecordingCloudHooks.h"
#include "Support/FileModel/RecordingDownloadHooks.h"
#include "Support/FileModel/RecordingServerLockHooks.h"
#include "Support/TestCase.h"

#include <set>
#include <sys/stat.h>

namespace {

// A download item as the download manager makes one.
class DownloadResource : public VKFileResource {
public:
    static std::shared_ptr<DownloadResource> create(std::string path)
    {
        return std::shared_ptr<DownloadResource>(new DownloadResource(std::move(path)));
    }
    bool isDownloadResource() const override { return true; }

private:
    explicit DownloadResource(std::string path) : VKFileResource(std::move(path)) { }
};

class FileManagerResourceAdditionsTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        documents = VKHomeLayout::current()->documentsDirectory();
        setThumbnailCacheRemovalHook([this](const VKFileResource& resource) { thumbnailDrops.push_back(resource.path()); });
    }
    void TearDown() override
    {
        setThumbnailCacheRemovalHook(nullptr);
        test::TestCase::TearDown();
    }

    std::string doc(const std::string& relative) { return documents + "/" + relative; }
    std::string makeDoc(const std::string& relative, std::string_view contents = "data")
    {
        return makeFile("Library/Documents/" + relative, contents);
    }
    static std::shared_ptr<VKFileResource> resource(const std::string& path)
    {
        return VKFileResource::resourceWithPath(path);
    }
    // The item's content-index file, made so that its removal shows.
    std::string makeIndex(const VKFileResource& item)
    {
        auto path = *VKContentIndexManager::sharedManager()->contentIndexPathForResource(item);
        core::fs::writeFileAtomically(path, "index");
        return path;
    }
    static bool exists(const std::string& path) { return core::fs::attributes(path).has_value(); }
    size_t trashHolders()
    {
        return core::fs::contentsOfDirectory(trashPath()).value_or(std::vector<std::string>()).size();
    }

    std::string documents;
    std::vector<std::string> thumbnailDrops;
};

TEST_F(FileManagerResourceAdditionsTest, LockedItemsAreRefusedAndLeftAlone)
{
    auto item = resource(makeDoc("locked.txt"));
    std::string index = makeIndex(*item);
    auto locks = test::RecordingServerLockHooks::install();
    locks->serve(item->path(), "/locked.txt");
    locks->lock("/locked.txt");

    EXPECT_EQ(removeFileResource(item), VKRemoveResultLocked);
    EXPECT_EQ(moveFileResourceToTrash(item), VKRemoveResultLocked);
    EXPECT_EQ(moveFileResource(item, doc("moved.txt")), VKRemoveResultLocked);
    EXPECT_EQ(copyFileResource(item, doc("copy.txt")), VKRemoveResultLocked);
    EXPECT_TRUE(exists(item->path()));
    EXPECT_TRUE(exists(index));
    EXPECT_FALSE(exists(doc("moved.txt")));
    EXPECT_FALSE(exists(doc("copy.txt")));
    EXPECT_TRUE(thumbnailDrops.empty());

    // The move tests the destination first, the copy the lock first.
    makeDoc("taken.txt", "other");
    size_t lines = logLines().size();
    EXPECT_EQ(moveFileResource(item, doc("taken.txt")), VKRemoveResultFailed);
    EXPECT_EQ(copyFileResource(item, doc("taken.txt")), VKRemoveResultLocked);
    EXPECT_EQ(logLines().size(), lines);
    EXPECT_EQ(readFile(doc("taken.txt")), "other");

    locks->unlock("/locked.txt");
    EXPECT_EQ(moveFileResource(item, doc("taken.txt")), VKRemoveResultFailed);
    EXPECT_EQ(copyFileResource(item, doc("taken.txt")), VKRemoveResultFailed);
}

TEST_F(FileManagerResourceAdditionsTest, AppleDoubleCompanionsTravelWithTheirItem)
{
    auto item = resource(makeDoc("Folder/x", "x"));
    makeDoc("Folder/._x", "companion");
    EXPECT_EQ(moveFileResource(item, doc("Folder/y")), VKRemoveResultDone);
    EXPECT_TRUE(exists(doc("Folder/y")));
    EXPECT_EQ(readFile(doc("Folder/._y")), "companion");
    EXPECT_FALSE(exists(doc("Folder/._x")));

    // A copy carries its companion too, over a stale one at the target.
    makeDoc("Other/._z", "stale");
    EXPECT_EQ(copyFileResource(resource(doc("Folder/y")), doc("Other/z")), VKRemoveResultDone);
    EXPECT_EQ(readFile(doc("Other/._z")), "companion");

    // The companion itself has none to carry.
    makeDoc("Folder/._._y", "not a companion of ._y");
    EXPECT_EQ(moveFileResourceToTrash(resource(doc("Folder/._y"))), VKRemoveResultDone);
    EXPECT_TRUE(exists(doc("Folder/y")));
    EXPECT_TRUE(exists(doc("Folder/._._y")));

    // Removing the item takes its companion.
    EXPECT_EQ(removeFileResource(resource(doc("Other/z"))), VKRemoveResultDone);
    EXPECT_FALSE(exists(doc("Other/z")));
    EXPECT_FALSE(exists(doc("Other/._z")));
}

TEST_F(FileManagerResourceAdditionsTest, TrashGroupsShareOneHolder)
{
    auto a = resource(makeDoc("a.txt"));
    auto b = resource(makeDoc("b.txt"));
    beginTrashGroup();
    EXPECT_EQ(moveFileResourceToTrash(a), VKRemoveResultDone);
    EXPECT_EQ(moveFileResourceToTrash(b), VKRemoveResultDone);
    EXPECT_TRUE(isInTrashGroup());
    auto holders = core::fs::contentsOfDirectory(trashPath()).value();
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(core::fs::contentsOfDirectory(trashPath() + "/" + holders[0])->size(), 2u);
    endTrashGroup();

    // A lone call opens and closes a group of its own.
    EXPECT_EQ(moveFileResourceToTrash(resource(makeDoc("c.txt"))), VKRemoveResultDone);
    EXPECT_FALSE(isInTrashGroup());
    EXPECT_FALSE(exists(doc("c.txt")));
}

TEST_F(FileManagerResourceAdditionsTest, FailedRemovalStillDropsTheCaches)
{
    auto item = resource(makeDoc("keep.txt"));
    std::string index = makeIndex(*item);
    setTrashPathProvider(nullptr);
    EXPECT_EQ(moveFileResourceToTrash(item), VKRemoveResultFailed);
    EXPECT_TRUE(exists(item->path()));
    EXPECT_FALSE(exists(index));
    EXPECT_EQ(thumbnailDrops, std::vector<std::string> { item->path() });
    EXPECT_TRUE(logContains("Warning moveItemAtPathToTrash:error: (keep.txt) error: "));
}

TEST_F(FileManagerResourceAdditionsTest, QuotaFollowsEveryChange)
{
    auto quota = VKQuotaManager::defaultManager();
    makeDoc("A/one", std::string(100, 'a'));
    makeDoc("B/keep", "");
    quota->updateQuotaForPath(doc("A"));
    quota->updateQuotaForPath(doc("B"));
    const uint64_t folderA = quota->sizeForPath(doc("A"));
    const uint64_t folderB = quota->sizeForPath(doc("B"));

    EXPECT_EQ(copyFileResource(resource(doc("A/one")), doc("B/copy")), VKRemoveResultDone);
    EXPECT_EQ(quota->sizeForPath(doc("B")), folderB + 100);
    EXPECT_EQ(moveFileResource(resource(doc("A/one")), doc("B/one")), VKRemoveResultDone);
    EXPECT_EQ(quota->sizeForPath(doc("A")), folderA - 100);
    EXPECT_EQ(quota->sizeForPath(doc("B")), folderB + 200);
    EXPECT_EQ(removeFileResource(resource(doc("B/one"))), VKRemoveResultDone);
    EXPECT_EQ(quota->sizeForPath(doc("B")), folderB + 100);

    // Inside a batch the removals reach the tree together at its end.
    makeDoc("B/x", std::string(10, 'x'));
    makeDoc("B/y", std::string(20, 'y'));
    quota->updateQuotaForPath(doc("B"));
    const uint64_t withBoth = quota->sizeForPath(doc("B"));
    beginQuotaBatch();
    EXPECT_EQ(removeFileResource(resource(doc("B/x"))), VKRemoveResultDone);
    EXPECT_EQ(moveFileResourceToTrash(resource(doc("B/y"))), VKRemoveResultDone);
    EXPECT_EQ(quota->sizeForPath(doc("B")), withBoth);
    endQuotaBatch();
    EXPECT_EQ(quota->sizeForPath(doc("B")), withBoth - 30);
}

TEST_F(FileManagerResourceAdditionsTest, CloudAndDownloadItemsGoToTheirStores)
{
    auto cloud = test::RecordingCloudHooks::install();
    std::string servers = VKHomeLayout::current()->serversDirectory();
    std::string local = makeFile("Library/Servers/Box/a.txt", "cached");
    auto item = cloud->addResource("Box", local, "/a.txt");
    cloud->clear();
    EXPECT_EQ(removeFileResource(item), VKRemoveResultDone);
    EXPECT_FALSE(exists(local));
    EXPECT_EQ(cloud->calls(), std::vector<std::string> { "deleteMirrorObjectAndSave " + local });

    // Without a local copy the mirror object goes all the same.
    cloud->clear();
    EXPECT_EQ(moveFileResourceToTrash(cloud->addResource("Box", servers + "/Box/gone.txt", "/gone.txt")),
        VKRemoveResultDone);
    EXPECT_EQ(cloud->calls().back(), "deleteMirrorObjectAndSave " + servers + "/Box/gone.txt");

    auto downloads = test::RecordingDownloadHooks::install();
    auto download = DownloadResource::create(makeDoc("partial.bin"));
    EXPECT_EQ(removeFileResource(download), VKRemoveResultDone);
    EXPECT_EQ(downloads->calls(), std::vector<std::string> { "deleteDownloadResource " + download->path() });
}

TEST_F(FileManagerResourceAdditionsTest, CopyGetsItsOwnIdentity)
{
    makeDoc("Src/inner/file.txt", "content");
    auto source = resource(doc("Src"));
    auto inner = resource(doc("Src/inner/file.txt"));
    const std::string sourceUUID = source->UUID();
    const std::string innerUUID = inner->UUID();
    std::string index = makeIndex(*inner);

    EXPECT_EQ(copyFileResource(source, doc("Dst")), VKRemoveResultDone);
    auto copied = resource(doc("Dst/inner/file.txt"));
    EXPECT_FALSE(xattrStringForItemAtPath(doc("Dst"), VKFileResourceUUIDAttribute).has_value());
    EXPECT_FALSE(xattrStringForItemAtPath(copied->path(), VKFileResourceUUIDAttribute).has_value());
    EXPECT_NE(copied->UUID(), innerUUID);
    EXPECT_EQ(removeFileResource(resource(doc("Dst"))), VKRemoveResultDone);
    EXPECT_TRUE(exists(index));
    EXPECT_EQ(resource(doc("Src"))->UUID(), sourceUUID);
}

// A delegate that counts bytes and stops after a number of steps.
class StoppingDelegate : public VKFileManagerDelegate {
public:
    explicit StoppingDelegate(int steps) : m_steps(steps) { }
    bool copyingItemAtPath(const std::string&, const std::string&, uint64_t bytes) override
    {
        this->bytes += bytes;
        return --m_steps > 0;
    }
    uint64_t bytes = 0;

private:
    int m_steps;
};

TEST_F(FileManagerResourceAdditionsTest, StagedCopyTakesTheTargetsPlaceOnlyWhenWhole)
{
    makeDoc("Src/a.txt", "new");
    makeDoc("Src/b.txt", std::string(5000, 'b'));
    makeDoc("Dst/a.txt", "old");
    auto names = [&] { return *core::fs::sortedContentsOfDirectory(doc("Dst")); };

    // The copy keeps the mode and the user attributes, not the identity.
    const std::string sourceUUID = resource(doc("Src/a.txt"))->UUID();
    ASSERT_TRUE(xattrSetString("kept", doc("Src/a.txt"), "com.example.tag"));
    ::chmod(doc("Src/a.txt").c_str(), 0640);

    // An existing target is refused unless the caller takes the replaced item.
    StoppingDelegate counting(1000);
    EXPECT_EQ(copyFileResource(resource(doc("Src/a.txt")), doc("Dst/a.txt"), &counting), VKRemoveResultFailed);
    std::string replaced;
    ASSERT_EQ(copyFileResource(resource(doc("Src/a.txt")), doc("Dst/a.txt"), &counting, &replaced), VKRemoveResultDone);
    EXPECT_EQ(readFile(doc("Dst/a.txt")), "new");
    EXPECT_EQ(readFile(replaced), "old");
    EXPECT_TRUE(core::path::isWithin(replaced, VKStagingFolder::path())) << replaced << ": out of the store";
    EXPECT_EQ(counting.bytes, 3u);
    EXPECT_FALSE(xattrStringForItemAtPath(doc("Dst/a.txt"), VKFileResourceUUIDAttribute).has_value());
    EXPECT_EQ(xattrStringForItemAtPath(doc("Dst/a.txt"), "com.example.tag").value_or(""), "kept");
    EXPECT_EQ(core::fs::attributes(doc("Dst/a.txt"))->mode & 0777, 0640u);
    EXPECT_EQ(resource(doc("Src/a.txt"))->UUID(), sourceUUID);
    // Put back, the old item is where it was and the copy is gone.
    EXPECT_TRUE(putBackReplacedItem(replaced, doc("Dst/a.txt")));
    EXPECT_EQ(readFile(doc("Dst/a.txt")), "old");
    EXPECT_EQ(names(), std::vector<std::string> { "a.txt" });

    // A cancel or a full disk part-way leaves nothing, hidden or not.
    StoppingDelegate stopping(1);
    EXPECT_EQ(copyFileResource(resource(doc("Src")), doc("Dst/Src"), &stopping), VKRemoveResultFailed);
    core::FileTestHooks::setCopyDataHook([](const std::string&, uint64_t) { return ENOSPC; });
    EXPECT_EQ(copyFileResource(resource(doc("Src/b.txt")), doc("Dst/a.txt"), nullptr, &replaced), VKRemoveResultFailed);
    EXPECT_TRUE(lastFileResourceError().is(core::Error::POSIXDomain, ENOSPC)) << "the failure says why";
    core::FileTestHooks::reset();
    EXPECT_EQ(names(), std::vector<std::string> { "a.txt" });
    EXPECT_EQ(readFile(doc("Dst/a.txt")), "old");
}

TEST_F(FileManagerResourceAdditionsTest, MoveCarriesTheQuotaEntriesWithoutARescan)
{
    auto quota = VKQuotaManager::defaultManager();
    makeDoc("A/tree/one", std::string(100, 'a'));
    makeDoc("A/tree/deep/two", std::string(50, 'b'));
    makeDoc("B/keep", "");
    quota->updateQuotaForPath(documents);
    const uint64_t total = quota->sizeForPath(documents);
    const uint64_t tree = quota->sizeForPath(doc("A/tree"));
    // Grown behind the tree's back: a rescan at the new place would see it.
    makeDoc("A/tree/deep/two", std::string(80, 'b'));

    StoppingDelegate delegate(1000);
    ASSERT_EQ(moveFileResource(resource(doc("A/tree")), doc("B/tree"), &delegate), VKRemoveResultDone);
    EXPECT_EQ(quota->sizeForPath(doc("B/tree")), tree);
    EXPECT_EQ(quota->sizeForPath(doc("A/tree")), 0u);
    EXPECT_EQ(quota->sizeForPath(documents), total);
    EXPECT_EQ(quota->childCountForPath(doc("B/tree")), 3u);

    // A source the tree never knew is scanned at its new place.
    makeDoc("A/fresh", std::string(7, 'f'));
    ASSERT_TRUE(core::fs::moveItem(doc("A/fresh"), doc("B/fresh")));
    quota->moveStructure(doc("A/fresh"), doc("B/fresh"));
    EXPECT_EQ(quota->sizeForPath(doc("B/fresh")), 7u);
}

} // namespace

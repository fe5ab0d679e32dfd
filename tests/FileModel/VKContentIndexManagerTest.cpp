#include "FileModel/VKContentIndexManager.h"

#include "FileModel/VKFileResource.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Support/FileModel/FakeCloudFileResource.h"
#include "Support/TestCase.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

class VKContentIndexManagerTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        manager = VKContentIndexManager::sharedManager();
    }

    // A file of that length that takes no room on the disk.
    void makeSparse(const std::string& path, off_t length)
    {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, length), 0);
        close(fd);
    }

    // Prunes on the manager's thread and lets the main loop run what it sends.
    void prune()
    {
        manager->pruneContextIndexes();
        ASSERT_TRUE(core::Thread::waitForAll(5));
        core::RunLoop::main().runUntilIdle();
    }

    std::shared_ptr<VKContentIndexManager> manager;
};

TEST_F(VKContentIndexManagerTest, IndexIsNamedByTheItemsUUID)
{
    EXPECT_EQ(manager->cacheDirectory(), pathInHome("Library/Preferences/Metadata/ContentIndexCache"));
    EXPECT_TRUE(core::fs::isDirectory(manager->cacheDirectory()));

    auto document = VKFileResource::resourceWithPath(makeFile("Documents/a.pdf", "%PDF"));
    auto path = manager->contentIndexPathForResource(*document);
    EXPECT_EQ(path, manager->cacheDirectory() + "/" + document->UUID());
    makeFile("Library/Preferences/Metadata/ContentIndexCache/" + document->UUID(), "index");
    manager->removeCacheForResource(*document);
    EXPECT_FALSE(core::fs::exists(*path));

    // Without a UUID there is no index to find or remove.
    auto cloud = test::FakeCloudFileResource::create(pathInHome("Library/Servers/Svc/x.pdf"), "/x.pdf");
    cloud->setUUID("");
    EXPECT_EQ(manager->contentIndexPathForResource(*cloud), std::nullopt);
    EXPECT_TRUE(logContains("Warning, invalid UUID for: <FakeCloudFileResource"));
    std::string other = manager->cacheDirectory() + "/other";
    makeFile("Library/Preferences/Metadata/ContentIndexCache/other", "kept");
    manager->removeCacheForResource(*cloud);
    EXPECT_TRUE(core::fs::exists(other));

    // Nor with one kept only in memory: its index would be orphaned when
    // the resource goes.
    ASSERT_EQ(symlink(pathInHome("Documents/a.pdf").c_str(), pathInHome("Documents/link.pdf").c_str()), 0);
    auto link = VKFileResource::resourceWithPath(pathInHome("Documents/link.pdf"));
    EXPECT_EQ(manager->contentIndexPathForResource(*link), std::nullopt);
    EXPECT_FALSE(link->UUID().empty());
}

TEST_F(VKContentIndexManagerTest, PruningKeepsExactlyTheLimitAndClearsOneByteMore)
{
    std::string index = manager->cacheDirectory() + "/index";
    makeSparse(index, static_cast<off_t>(VKContentIndexManager::MaximumCacheSize));
    prune();
    EXPECT_TRUE(core::fs::exists(index));

    makeSparse(index, static_cast<off_t>(VKContentIndexManager::MaximumCacheSize + 1));
    prune();
    EXPECT_FALSE(core::fs::exists(index));
    EXPECT_TRUE(core::fs::isDirectory(manager->cacheDirectory()));
    auto emptied = core::fs::contentsOfDirectory(manager->cacheDirectory());
    EXPECT_TRUE(emptied && emptied->empty());
    // The old folder went to the trash.
    auto holders = core::fs::contentsOfDirectory(trashPath());
    ASSERT_TRUE(holders);
    EXPECT_EQ(holders->size(), 1u);
}

TEST_F(VKContentIndexManagerTest, ResetWithoutTrashKeepsTheFolder)
{
    makeFile("Library/Preferences/Metadata/ContentIndexCache/index", "x");
    setTrashPathProvider(nullptr);
    manager->resetContextIndexes();
    EXPECT_TRUE(logContains("Warning, failed to delete cache path: " + manager->cacheDirectory()));
    EXPECT_TRUE(core::fs::exists(manager->cacheDirectory() + "/index"));
}

} // namespace

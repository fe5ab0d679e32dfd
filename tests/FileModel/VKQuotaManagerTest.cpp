#include "FileModel/VKQuotaManager.h"

#include "Kit/VKHomeLayout.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/TestCase.h"

#include <atomic>
#include <fcntl.h>
#include <latch>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr uint64_t MiB = uint64_t(1) << 20;

class VKQuotaManagerTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        layout = VKHomeLayout::current();
        quota = VKQuotaManager::defaultManager();
    }

    std::string documents() const { return layout->documentsDirectory(); }
    std::string documents(std::string_view relative) const { return documents() + "/" + std::string(relative); }
    std::string makeDocument(std::string_view relative, size_t size)
    {
        return makeFile("Library/Documents/" + std::string(relative), std::string(size, 'x'));
    }
    static uint64_t ownSize(const std::string& path)
    {
        struct stat info;
        return lstat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
    }
    // Moves an item's modification time, so that whole-second stamps differ.
    static void touch(const std::string& path, int64_t secondsAhead)
    {
        struct stat info;
        ASSERT_EQ(lstat(path.c_str(), &info), 0);
        int64_t nanoseconds = (static_cast<int64_t>(info.st_mtim.tv_sec) + secondsAhead) * 1000000000;
        ASSERT_TRUE(core::fs::setModificationTime(path, nanoseconds));
    }
    static void setDefault(std::string_view key, const core::Value& value)
    {
        core::UserDefaults::standard()->set(key, value);
    }
    static std::vector<std::string> sorted(std::vector<std::string> items)
    {
        std::sort(items.begin(), items.end());
        return items;
    }

    std::shared_ptr<const VKHomeLayout> layout;
    std::shared_ptr<VKQuotaManager> quota;
};

TEST_F(VKQuotaManagerTest, UpdatesCorrectEveryTotalOnTheWayUp)
{
    makeDocument("A/B/old.bin", 500);
    makeDocument("A/other.bin", 10);
    quota->updateQuotaForPath(documents());
    const std::string a = documents("A"), b = documents("A/B");
    EXPECT_EQ(quota->sizeForPath(b), ownSize(b) + 500);
    EXPECT_EQ(quota->sizeForPath(a), ownSize(a) + ownSize(b) + 510);
    const uint64_t root = quota->quotaUsedBytes();
    const uint64_t sizeA = quota->sizeForPath(a), sizeB = quota->sizeForPath(b);

    makeDocument("A/B/copy.bin", 1000);
    quota->updateQuotaForPath(documents("A/B/copy.bin"));
    EXPECT_EQ(quota->sizeForPath(b), sizeB + 1000);
    EXPECT_EQ(quota->sizeForPath(a), sizeA + 1000);
    EXPECT_EQ(quota->quotaUsedBytes(), root + 1000);
    EXPECT_EQ(quota->sizeForPath(documents("A/B/copy.bin")), 1000u);

    // A vanished item leaves the tree and every total above shrinks.
    ASSERT_EQ(unlink(documents("A/B/old.bin").c_str()), 0);
    quota->updateQuotaForPath(documents("A/B/old.bin"));
    EXPECT_TRUE(quota->structureForPath(documents("A/B/old.bin")).isNull());
    EXPECT_EQ(quota->sizeForPath(b), sizeB + 500);
    EXPECT_EQ(quota->quotaUsedBytes(), root + 500);

    // Without recursion a folder counts its files and its subfolders' own entries.
    EXPECT_EQ(quota->sizeForPath(a, false), 10 + ownSize(b));
    EXPECT_EQ(VKQuotaManager::sizeForStructure(quota->structureForPath(a)), quota->sizeForPath(a));
    EXPECT_EQ(VKQuotaManager::sizeForStructure(core::Value()), 0u);

    // Removing what the tree never held makes no folders up on the way.
    quota->updateQuotaForPath(documents("Nowhere/x"));
    EXPECT_TRUE(quota->structureForPath(documents("Nowhere")).isNull());
}

TEST_F(VKQuotaManagerTest, UpdateOfManyPathsAgreesWithARescan)
{
    for (int i = 0; i < 6; ++i)
        makeDocument("A/f" + std::to_string(i), 100);
    makeDocument("B/gone", 50);
    makeDocument("keep", 10);
    quota->updateQuotaForPath(documents());
    for (const char* gone : { "A/f1", "A/f3", "A/f4", "B/gone" })
        ASSERT_TRUE(core::fs::removeItem(documents(gone)));
    makeDocument("keep", 30);
    makeDocument("A/new", 7);

    // Gone and present items, one named twice, one outside the home.
    quota->updateQuotaForPaths({ documents("A/f1"), documents("A/f3"), documents("A/f4"), documents("A/f3"),
        documents("B/gone"), documents("keep"), documents("A/new"), "/elsewhere/x" });
    const uint64_t total = quota->sizeForPath(documents()), sizeA = quota->sizeForPath(documents("A"));
    EXPECT_EQ(sizeA, ownSize(documents("A")) + 307);
    EXPECT_EQ(quota->childCountForPath(documents("A")), 4u);
    EXPECT_EQ(quota->childCountForPath(documents("B")), 0u);
    quota->updateQuotaForPath(documents());
    EXPECT_EQ(quota->sizeForPath(documents()), total);
    EXPECT_EQ(quota->sizeForPath(documents("A")), sizeA);
}

TEST_F(VKQuotaManagerTest, InsertMakesMissingFoldersAndRewritesAncestorsOnlyOnChange)
{
    makeFolder("Library/Documents/New/Deeper");
    quota->insertStructure(core::Value(300), documents("New/Deeper/file"));
    const std::string deeper = documents("New/Deeper");
    // A missing folder starts at its own size plus the new size.
    EXPECT_EQ(quota->sizeForPath(deeper), ownSize(deeper) + 300);
    EXPECT_EQ(quota->quotaUsedBytes(), 300u);
    core::Value node = quota->structureForPath(deeper);
    ASSERT_TRUE(node["."].isString());
    EXPECT_TRUE(node["."].string().starts_with(std::to_string(ownSize(deeper) + 300) + ":" + std::to_string(ownSize(deeper)) + ":"));

    // The same size again changes no total.
    std::string before = quota->structureForPath(documents("New"))["."].string();
    touch(documents("New"), 100);
    quota->insertStructure(core::Value(300), documents("New/Deeper/file"));
    EXPECT_EQ(quota->structureForPath(documents("New"))["."].string(), before);
    EXPECT_FALSE(quota->isQuotaValidForPath(documents("New")));

    // A changed size rewrites the totals and refreshes the stamps.
    quota->insertStructure(core::Value(301), documents("New/Deeper/file"));
    EXPECT_TRUE(quota->isQuotaValidForPath(documents("New")));
    EXPECT_EQ(quota->quotaUsedBytes(), 301u);

    auto components = quota->pathComponentsRelativeToRootForPath(documents("New/x"));
    ASSERT_TRUE(components);
    EXPECT_EQ(*components, (std::vector<std::string> { "Library", "Documents", "New", "x" }));
    EXPECT_FALSE(quota->pathComponentsRelativeToRootForPath("/etc/passwd"));
    EXPECT_FALSE(quota->pathComponentsRelativeToRootForPath(home() + "-old/x"));
    EXPECT_FALSE(quota->pathComponentsRelativeToRootForPath("relative/path"));
    EXPECT_TRUE(quota->structureForPath("/etc").isNull());
    EXPECT_TRUE(logContains("structureForPath failed for: /etc"));
}

TEST_F(VKQuotaManagerTest, SingleItemUpdateTakesOnlyTheOwnSize)
{
    makeDocument("F/a.bin", 100);
    quota->updateQuotaForPath(documents());
    const uint64_t ownBefore = ownSize(documents("F"));

    makeDocument("F/unseen.bin", 5000);
    makeDocument("F/a.bin", 150);
    quota->updateQuotaForSingleItemAtPath(documents("F"));
    // The folder's own entry is re-read; its children are not.
    const uint64_t folderSize = ownSize(documents("F")) + 100;
    EXPECT_EQ(quota->sizeForPath(documents("F")), folderSize);
    EXPECT_GT(ownBefore, 0u);
    EXPECT_TRUE(quota->structureForPath(documents("F/unseen.bin")).isNull());

    quota->updateQuotaForSingleItemAtPath(documents("F/a.bin"));
    EXPECT_EQ(quota->sizeForPath(documents("F")), folderSize + 50);
    // An item the tree does not know is scanned in full.
    quota->updateQuotaForSingleItemAtPath(documents("F/unseen.bin"));
    EXPECT_EQ(quota->sizeForPath(documents("F")), folderSize + 5050);

    ASSERT_EQ(unlink(documents("F/a.bin").c_str()), 0);
    quota->updateQuotaForSingleItemAtPath(documents("F/a.bin"));
    EXPECT_EQ(quota->sizeForPath(documents("F")), folderSize + 4900);
}

TEST_F(VKQuotaManagerTest, SmartRescanKeepsUnchangedFoldersAndRescansChangedOnes)
{
    makeDocument("Keep/deep/x.bin", 10);
    makeDocument("Change/y.bin", 20);
    makeDocument("top.bin", 30);
    quota->updateQuotaForPath(documents());
    EXPECT_TRUE(quota->isQuotaValidForPath(documents()));
    EXPECT_TRUE(quota->isQuotaValidForPath(documents("top.bin")));
    const uint64_t keep = quota->sizeForPath(documents("Keep"));

    // Below Keep only its subfolder changes; Change and the documents folder
    // itself get new entries.
    makeDocument("Keep/deep/unseen.bin", 1000);
    touch(documents("Keep/deep"), 10);
    makeDocument("Change/z.bin", 2000);
    touch(documents("Change"), 10);
    makeDocument("new.bin", 3000);
    touch(documents(), 10);
    EXPECT_FALSE(quota->isQuotaValidForPath(documents()));
    EXPECT_FALSE(quota->isQuotaValidForPath(documents("Change")));
    EXPECT_TRUE(quota->isQuotaValidForPath(documents("Keep")));

    quota->smartUpdateQuotaForDirectory(documents());
    EXPECT_EQ(quota->sizeForPath(documents("Keep")), keep);
    EXPECT_TRUE(quota->structureForPath(documents("Keep/deep/unseen.bin")).isNull());
    const uint64_t change = ownSize(documents("Change")) + 2020;
    EXPECT_EQ(quota->sizeForPath(documents("Change")), change);
    EXPECT_EQ(quota->sizeForPath(documents("new.bin")), 3000u);
    // The rescanned folder's total counts its entries only.
    EXPECT_EQ(quota->sizeForPath(documents()), keep + change + 30 + 3000);
    EXPECT_TRUE(quota->isQuotaValidForPath(documents()));
    EXPECT_TRUE(quota->isQuotaValidForPath(documents("Change")));
}

TEST_F(VKQuotaManagerTest, CloudMirrorIsNeverScannedOrUpdated)
{
    const std::string servers = layout->serversDirectory();
    makeFile("Library/Servers/Svc/cloud.bin", std::string(100, 'c'));
    makeDocument("local.bin", 7);
    quota->updateQuotaForPath(home());
    EXPECT_TRUE(quota->structureForPath(servers).isNull());
    EXPECT_FALSE(quota->structureForPath(home() + "/Library")["Documents"].isNull());

    quota->updateQuotaForPath(servers + "/Svc/cloud.bin");
    quota->updateQuotaForSingleItemAtPath(servers + "/Svc/cloud.bin");
    quota->smartUpdateQuotaForDirectory(servers + "/Svc");
    quota->insertStructure(core::Value(5), servers + "/Svc/cloud.bin");
    EXPECT_TRUE(quota->structureForPath(servers + "/Svc").isNull());
    EXPECT_TRUE(quota->createStructureForPath(servers).isNull());

    // Only whole components count as the mirror.
    makeFile("Library/Servers2/x.bin", "12345");
    quota->updateQuotaForPath(home() + "/Library/Servers2/x.bin");
    EXPECT_EQ(quota->sizeForPath(home() + "/Library/Servers2/x.bin"), 5u);
}

TEST_F(VKQuotaManagerTest, ScansNeverFollowLinks)
{
    makeDocument("Real/file.bin", 50);
    ASSERT_EQ(symlink("..", documents("Real/loop").c_str()), 0);
    ASSERT_EQ(symlink("/", documents("root").c_str()), 0);
    quota->updateQuotaForPath(documents());
    core::Value real = quota->structureForPath(documents("Real"));
    EXPECT_TRUE(real["loop"].isInteger());
    EXPECT_EQ(real["loop"].integer(), 2);
    EXPECT_EQ(quota->structureForPath(documents("root")).integer(), 1);
}

TEST_F(VKQuotaManagerTest, QuotaTotalsAndAvailableSpace)
{
    EXPECT_EQ(quota->quotaTotalBytes(), UINT64_MAX);
    quota->insertStructure(core::Value(30 * MiB), documents("big.bin"));
    ASSERT_EQ(quota->quotaUsedBytes(), 30 * MiB);

    std::optional<uint64_t> free = 1024 * MiB;
    VKQuotaManager::setFreeSpaceFunctionForTesting([&](const std::string& path) {
        EXPECT_EQ(path, home());
        return free;
    });
    EXPECT_EQ(quota->quotaAvailableBytes(), 1024 * MiB);
    free = std::nullopt;
    EXPECT_EQ(quota->quotaAvailableBytes(), std::nullopt);

    setDefault("VKQuotaEnabled", true);
    setDefault("VKQuotaLimit", "100");
    EXPECT_EQ(quota->quotaTotalBytes(), 100 * MiB);
    EXPECT_EQ(quota->quotaAvailableBytes(), 70 * MiB);
    free = 1024 * MiB;
    EXPECT_EQ(quota->quotaAvailableBytes(), 70 * MiB);
    free = 50 * MiB;
    EXPECT_EQ(quota->quotaAvailableBytes(), 50 * MiB);

    quota->insertStructure(core::Value(70 * MiB), documents("more.bin"));
    EXPECT_EQ(quota->quotaAvailableBytes(), 0u);
    setDefault("VKQuotaLimit", "0");
    EXPECT_EQ(quota->quotaTotalBytes(), 0u);
    EXPECT_EQ(quota->quotaAvailableBytes(), 0u);
    setDefault("VKQuotaLimit", -5);
    EXPECT_EQ(quota->quotaTotalBytes(), 0u);
    // A limit past 64 bits of bytes is no limit rather than a wrapped one.
    setDefault("VKQuotaLimit", "99999999999999999");
    EXPECT_EQ(quota->quotaTotalBytes(), UINT64_MAX);

    // The real volume answers something.
    VKQuotaManager::setFreeSpaceFunctionForTesting(nullptr);
    setDefault("VKQuotaEnabled", false);
    EXPECT_TRUE(quota->quotaAvailableBytes().has_value());
}

TEST_F(VKQuotaManagerTest, BusyLockAnswersAtOnceInsteadOfWaiting)
{
    makeDocument("a.bin", 10);
    quota->updateQuotaForPath(documents());
    const uint64_t used = quota->quotaUsedBytes();
    ASSERT_GE(used, 10u);
    // Another thread holds the tree: `reset` first empties it, as a full
    // recount begins.
    auto whileHeld = [&](bool reset, const std::function<void()>& check) {
        std::latch held(1), done(1);
        std::thread holder([&] {
            quota->performWithUpdateLockForTesting([&] {
                if (reset)
                    quota->resetQuota();
                held.count_down();
                done.wait();
            });
        });
        held.wait();
        check();
        done.count_down();
        holder.join();
    };
    whileHeld(false, [&] {
        // The total the last change left, never "nothing used".
        EXPECT_EQ(quota->quotaUsedBytes(), used);
        EXPECT_TRUE(quota->structureForPath(documents("a.bin")).isNull());
        EXPECT_TRUE(logContains("Warning: structureForPath failed to acquire lock!"));
    });

    // The holding thread itself always gets in.
    quota->performWithUpdateLockForTesting([&] { EXPECT_EQ(quota->structureForPath(documents("a.bin")).integer(), 10); });

    // A recount's walk answers the total from before it.
    whileHeld(true, [&] { EXPECT_EQ(quota->quotaUsedBytes(), used); });
}

TEST_F(VKQuotaManagerTest, FolderListsAndCounts)
{
    makeDocument("A/B10/x.txt", 1);
    makeDocument("A/B2/y.txt", 1);
    makeDocument("C/z.txt", 1);
    makeDocument("D.pages/Data/inner.bin", 1);
    makeDocument("file.txt", 1);
    quota->updateQuotaForPath(documents());

    EXPECT_EQ(quota->collectionPathsRelativeToPath(documents(), true),
        (std::vector<std::string> { "/", "/A", "/A/B2", "/A/B10", "/C" }));
    EXPECT_EQ(quota->collectionPathsRelativeToPath(documents(), false),
        (std::vector<std::string> { "/", "/A", "/A/B2", "/A/B10", "/C", "/D.pages", "/D.pages/Data" }));
    EXPECT_EQ(quota->collectionPathsRelativeToPath(documents("D.pages"), true), (std::vector<std::string> { "/" }));
    EXPECT_EQ(quota->collectionPathsRelativeToPath(documents("Missing"), false), (std::vector<std::string> { "/" }));

    EXPECT_EQ(sorted(quota->collectionNamesForPath(documents(), true)), (std::vector<std::string> { "A", "C" }));
    EXPECT_EQ(sorted(quota->collectionNamesForPath(documents(), false)), (std::vector<std::string> { "A", "C", "D.pages" }));
    EXPECT_EQ(quota->childCountForPath(documents()), 11u);
    EXPECT_EQ(quota->childCountForPath(documents("file.txt")), 0u);
    EXPECT_EQ(quota->collectionChildCountForPath(documents(), true), 4u);
    EXPECT_EQ(quota->collectionChildCountForPath(documents(), false), 6u);
}

TEST_F(VKQuotaManagerTest, SearchFoldsCaseAccentsAndWidthAndSkipsHiddenItems)
{
    makeDocument("Report.pdf", 1);
    makeDocument("r\xC3\xA8port.txt", 2);
    makeDocument("\xEF\xBC\xB2\xEF\xBC\xA5\xEF\xBC\xB0\xEF\xBC\xAF\xEF\xBC\xB2\xEF\xBC\xB4.txt", 4);
    makeDocument(".report", 8);
    makeDocument(".hidden/report.txt", 16);
    makeDocument("Sub/Deep/reply.txt", 32);
    makeDocument("Sub/Pack.key/rep.txt", 64);
    makeDocument("other.txt", 128);
    quota->updateQuotaForPath(documents());

    auto top = quota->itemsMatchingQuery("rep", documents(), false, false);
    ASSERT_TRUE(top);
    EXPECT_EQ(sorted(*top), sorted({ "Report.pdf", "r\xC3\xA8port.txt",
        "\xEF\xBC\xB2\xEF\xBC\xA5\xEF\xBC\xB0\xEF\xBC\xAF\xEF\xBC\xB2\xEF\xBC\xB4.txt" }));
    auto all = quota->itemsMatchingQuery("REP", documents(), true, false);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), 5u);
    EXPECT_NE(std::find(all->begin(), all->end(), "Sub/Deep/reply.txt"), all->end());
    EXPECT_NE(std::find(all->begin(), all->end(), "Sub/Pack.key/rep.txt"), all->end());
    auto outsidePackages = quota->itemsMatchingQuery("rep", documents(), true, true);
    EXPECT_EQ(outsidePackages->size(), 4u);
    EXPECT_FALSE(quota->itemsMatchingQuery("rep", documents("Report.pdf"), true, false));
    EXPECT_FALSE(quota->itemsMatchingQuery("rep", documents("Missing"), true, false));
    EXPECT_TRUE(quota->itemsMatchingQuery("", documents(), true, false)->empty());

    // The size variant skips only the "." entry: the hidden file counts.
    EXPECT_EQ(quota->sizeForPath(documents(), "rep", false, false), 1u + 2 + 4 + 8);
    EXPECT_EQ(quota->sizeForPath(documents("other.txt"), "rep", false, false), 128u);
    EXPECT_EQ(quota->sizeForPath(documents(), "", false, false), quota->sizeForPath(documents(), false));
}

TEST_F(VKQuotaManagerTest, ContentSizesCountFilesOnlyThroughEveryUpdateAndTheSavedTree)
{
    makeDocument("Docs/a.txt", 100);
    makeDocument("Docs/Report/b.txt", 50);
    makeDocument("Docs/Report/Deep/report.txt", 25);
    makeDocument("Docs/.report", 8);
    makeDocument("Docs/x/report2.txt", 20);
    ASSERT_TRUE(core::fs::createDirectory(documents("Docs/Empty"), true));
    quota->updateQuotaForPath(documents());
    auto expectSizes = [&](uint64_t docs, uint64_t report, uint64_t empty) {
        EXPECT_EQ(quota->contentSizeForPath(documents("Docs")), docs);
        EXPECT_EQ(quota->contentSizeForPath(documents("Docs/Report")), report);
        EXPECT_EQ(quota->contentSizeForPath(documents("Docs/Empty")), empty);
        EXPECT_EQ(quota->contentSizeForPath(layout->homeDirectory()), docs);
    };
    expectSizes(203, 75, 0);
    EXPECT_EQ(quota->contentSizeForPath(documents("Docs/a.txt")), 100u);
    EXPECT_EQ(quota->contentSizeForPath(documents("Missing")), 0u);
    EXPECT_GT(quota->sizeForPath(documents("Docs/Empty")), 0u) << "the total counts the folder's own entry";

    // Each byte of what the search lists, once: the matching folder holds
    // the matching file; hidden names are no results.
    EXPECT_EQ(quota->contentSizeOfItemsMatchingQuery("rep", documents("Docs"), true, false), 75u + 20);
    EXPECT_EQ(quota->contentSizeOfItemsMatchingQuery("rep", documents("Docs"), false, false), 75u);
    EXPECT_EQ(quota->contentSizeOfItemsMatchingQuery("nothing", documents("Docs"), true, false), 0u);

    ASSERT_TRUE(core::fs::removeItem(documents("Docs/Report/Deep/report.txt")));
    quota->updateQuotaForPath(documents("Docs/Report/Deep/report.txt"));
    expectSizes(178, 50, 0);
    ASSERT_TRUE(core::fs::moveItem(documents("Docs/Report"), documents("Docs/Empty/Report")));
    quota->moveStructure(documents("Docs/Report"), documents("Docs/Empty/Report"));
    EXPECT_EQ(quota->contentSizeForPath(documents("Docs/Empty")), 50u);
    makeFile("Library/Documents/Docs/a.txt", std::string(10, 'a'));
    quota->updateQuotaForSingleItemAtPath(documents("Docs/a.txt"));
    EXPECT_EQ(quota->contentSizeForPath(documents("Docs")), 88u);
    makeDocument("Docs/Empty/c.txt", 1);
    quota->smartUpdateQuotaForDirectory(documents("Docs/Empty"));
    EXPECT_EQ(quota->contentSizeForPath(documents("Docs")), 89u);

    auto fresh = VKQuotaManager::create(layout->homeDirectory(), layout->serversDirectory());
    fresh->setQuotaStore(quota->quotaStore());
    EXPECT_EQ(fresh->contentSizeForPath(documents("Docs")), 89u);
    EXPECT_EQ(fresh->contentSizeForPath(documents("Docs/Empty")), 51u);
}

TEST_F(VKQuotaManagerTest, NotificationArrivesOnMainInALaterPassAndRebuildingIsObservable)
{
    makeDocument("a.bin", 1);
    std::vector<std::string> paths;
    auto observation = core::NotificationCenter::defaultCenter().observe(VKQuotaManagerDidUpdateQuotaNotification,
        quota, [&](const VKQuotaUpdate& update) { paths.push_back(update.path); });
    quota->updateQuotaForPath(documents("a.bin"));
    EXPECT_TRUE(paths.empty());
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(paths, (std::vector<std::string> { documents("a.bin") }));

    std::vector<bool> changes;
    auto rebuilding = quota->observeRebuildingIndex([&](bool, bool now) { changes.push_back(now); });
    quota->setRebuildingIndex(true);
    quota->setRebuildingIndex(true);
    quota->setRebuildingIndex(false);
    EXPECT_EQ(changes, (std::vector<bool> { true, false }));
}

TEST_F(VKQuotaManagerTest, SavedTreeReadsBackTheSameInAFreshStore)
{
    makeDocument("A/a.bin", 100);
    makeDocument("B/b.txt", 200);
    makeDocument("bad\xFF.bin", 5);
    quota->updateQuotaForPath(documents());
    const uint64_t used = quota->quotaUsedBytes();

    core::Value saved = quota->quotaStore();
    EXPECT_TRUE(logContains("Warning, quota store left out 1 names that are not UTF-8"));
    core::UserDefaults::standard()->set("VKQuotaStore", saved);
    ASSERT_TRUE(core::UserDefaults::standard()->synchronize());
    core::UserDefaults::resetStandardForTesting();

    auto restored = VKQuotaManager::create(home(), layout->serversDirectory());
    restored->setQuotaStore(core::UserDefaults::standard()->object("VKQuotaStore"));
    EXPECT_EQ(restored->quotaUsedBytes(), used);
    EXPECT_EQ(restored->sizeForPath(documents("A")), quota->sizeForPath(documents("A")));
    EXPECT_EQ(restored->itemsMatchingQuery("b.txt", documents(), true, false),
        (std::vector<std::string> { "B/b.txt" }));
    EXPECT_TRUE(restored->isQuotaValidForPath(documents("A")));
    // The folder that lost its unstorable name reads back as invalid.
    EXPECT_FALSE(restored->isQuotaValidForPath(documents()));
    restored->smartUpdateQuotaForDirectory(documents());
    EXPECT_EQ(restored->sizeForPath(documents("bad\xFF.bin")), 5u);
}

TEST_F(VKQuotaManagerTest, MalformedSavedTreeIsDroppedNodeByNode)
{
    makeDocument("Good/g.bin", 10);
    makeDocument("Bad/b.bin", 20);
    makeDocument("Sub/Inner/i.bin", 30);
    quota->updateQuotaForPath(documents());
    core::Value saved = quota->quotaStore();
    auto& library = saved.mutableDictionary()["Library"].mutableDictionary();
    auto& documentsNode = library["Documents"].mutableDictionary();
    documentsNode["Bad"].mutableDictionary()["."] = "not a stamp";
    documentsNode["Sub"].mutableDictionary()["Inner"].mutableDictionary()["i.bin"] = "text";
    documentsNode["../../escape"] = 5;
    documentsNode["negative"] = -1;

    auto restored = VKQuotaManager::create(home(), layout->serversDirectory());
    restored->setQuotaStore(saved);
    EXPECT_TRUE(logContains("Warning, quota store dropped 4 malformed entries"));
    EXPECT_EQ(restored->sizeForPath(documents("Good")), quota->sizeForPath(documents("Good")));
    EXPECT_TRUE(restored->isQuotaValidForPath(documents("Good")));
    EXPECT_TRUE(restored->structureForPath(documents("Bad")).isNull());
    EXPECT_FALSE(restored->isQuotaValidForPath(documents("Sub/Inner")));
    EXPECT_FALSE(restored->isQuotaValidForPath(documents("Sub")));
    EXPECT_FALSE(restored->isQuotaValidForPath(documents()));

    restored->smartUpdateQuotaForDirectory(documents());
    EXPECT_EQ(restored->sizeForPath(documents("Bad")), quota->sizeForPath(documents("Bad")));
    EXPECT_EQ(restored->sizeForPath(documents("Sub")), quota->sizeForPath(documents("Sub")));
    EXPECT_TRUE(restored->isQuotaValidForPath(documents("Sub/Inner")));

    restored->setQuotaStore(core::Value("not a tree"));
    EXPECT_EQ(restored->quotaUsedBytes(), 0u);
}

TEST_F(VKQuotaManagerTest, SearchesAndSavesWhileFourThreadsInsert)
{
    for (int i = 0; i < 20; ++i)
        makeDocument("Seed/report" + std::to_string(i) + ".txt", 10);
    quota->updateQuotaForPath(documents());
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                std::string path = documents("T" + std::to_string(t) + "/F" + std::to_string(i % 7) + "/report" + std::to_string(i));
                quota->insertStructure(core::Value(i + 1), path);
                if (i % 5 == 0)
                    quota->insertStructure(core::Value(), path);
            }
        });
    }
    size_t rounds = 0;
    while (rounds < 50) {
        auto found = quota->itemsMatchingQuery("report", documents(), true, false);
        ASSERT_TRUE(found);
        EXPECT_GE(found->size(), 20u);
        core::Value saved = quota->quotaStore();
        EXPECT_TRUE(saved.isDictionary());
        quota->sizeForPath(documents(), "rep", true, false);
        quota->collectionPathsRelativeToPath(documents(), true);
        ++rounds;
    }
    for (auto& writer : writers)
        writer.join();

    // The totals add up once everyone is done.
    uint64_t expected = quota->sizeForPath(documents("Seed"));
    for (int t = 0; t < 4; ++t)
        expected += quota->sizeForPath(documents("T" + std::to_string(t)));
    EXPECT_EQ(quota->sizeForPath(documents()), expected + ownSize(documents()));
}

} // namespace

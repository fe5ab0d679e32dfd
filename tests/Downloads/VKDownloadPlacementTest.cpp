#include "Downloads/VKDownloadConnection.h"

#include "FileModel/VKQuotaManager.h"
#include "Kit/VKHomeLayout.h"
#include "Kit/VKStagingFolder.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Support/KillDuring.h"
#include "Support/TestCase.h"

#include <csignal>
#include <map>
#include <unistd.h>

namespace fs = core::fs;

namespace {

// A finished download put in its place by a process killed in the middle of
// the copy across file systems: after the next launch's sweep the documents
// (hidden items too), the quota and a folder on another file system are as
// they were, and the download's own data is whole for the next try.
class VKDownloadPlacementTest : public test::TestCase {
protected:
    void TearDown() override
    {
        core::FileTestHooks::reset();
        test::TestCase::TearDown();
    }

    static std::map<std::string, std::string> itemsBelow(const std::string& folder)
    {
        std::map<std::string, std::string> items;
        for (const auto& relative : fs::subpaths(folder).value_or(std::vector<std::string> {}))
            items[relative] = fs::isDirectory(folder + "/" + relative) ? "/" : std::to_string(readFile(folder + "/" + relative).size());
        return items;
    }

    static std::map<std::string, std::string> store(const std::string& documents)
    {
        auto quota = VKQuotaManager::defaultManager();
        quota->updateQuotaForPath(documents);
        auto items = itemsBelow(documents);
        items["<quota>"] = std::to_string(quota->quotaUsedBytes());
        return items;
    }

    // Runs `place` in a child killed once the copy has written its first bytes.
    static void killMidCopy(const std::function<void()>& place)
    {
        test::killDuring([&](const std::function<void()>& stall) {
            core::FileTestHooks::setCopyDataHook([&](const std::string&, uint64_t written) {
                if (written > 0)
                    stall();
                return 0;
            });
            place();
        });
    }
};

TEST_F(VKDownloadPlacementTest, APlacementKilledMidCopyLeavesNothingAfterTheSweep)
{
    const std::string documents = VKHomeLayout::current()->documentsDirectory();
    const std::string downloads = VKHomeLayout::current()->downloadsDirectory();
    const std::string contents(300'000, 'd');
    const std::string file = downloads + "/0123456789ABCDEF0123456789ABCDEF0123";
    const std::string folder = downloads + "/FEDCBA9876543210FEDCBA9876543210FEDC";
    ASSERT_TRUE(fs::createDirectory(folder + "/Inner", true));
    ASSERT_TRUE(fs::writeFileAtomically(file, contents));
    ASSERT_TRUE(fs::writeFileAtomically(folder + "/Inner/a.bin", contents));
    ASSERT_TRUE(fs::writeFileAtomically(documents + "/Kept.txt", "the user's"));
    std::string elsewhere = "/dev/shm/tandry-placement-XXXXXX";
    ASSERT_NE(mkdtemp(elsewhere.data()), nullptr);
    ASSERT_EQ(symlink(elsewhere.c_str(), (documents + "/Elsewhere").c_str()), 0);
    const auto before = store(documents);
    const auto downloadsBefore = itemsBelow(downloads);

    // Across file systems as told (the staging folder holds the part) and
    // for real (a sibling noted in the journal): a web download's file or
    // folder moved into place, and a cloud item's stored file copied there.
    core::FileTestHooks::setRenameItemHook([&](const std::string& from) { return from.starts_with(downloads) ? EXDEV : 0; });
    for (const std::string& target : { documents + "/Got", documents + "/Elsewhere/Got" }) {
        killMidCopy([&] { VKMoveDownloadIntoPlace(file, target, nullptr); });
        killMidCopy([&] { VKMoveDownloadIntoPlace(folder, target, nullptr); });
        killMidCopy([&] { VKCopyDownloadIntoPlace(file, target, nullptr); });
    }
    VKStagingFolder::removeAbandonedItems();
    EXPECT_EQ(store(documents), before);
    EXPECT_TRUE(itemsBelow(elsewhere).empty());
    EXPECT_EQ(itemsBelow(downloads), downloadsBefore);

    // Not cut off, each lands whole.
    core::Error error;
    EXPECT_TRUE(VKCopyDownloadIntoPlace(file, documents + "/Elsewhere/Copied", &error)) << error.description();
    EXPECT_TRUE(VKMoveDownloadIntoPlace(file, documents + "/Elsewhere/Moved", &error)) << error.description();
    EXPECT_TRUE(readFile(elsewhere + "/Moved") == contents);
    EXPECT_TRUE(readFile(elsewhere + "/Copied") == contents);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(fs::removeItem(elsewhere));
}

} // namespace

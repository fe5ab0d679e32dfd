// The quota tree following other programs' changes to the document folders,
// made here with plain file calls as a desktop program or a shell would.

#include "FileModel/VKQuotaWatcher.h"

#include "FileModel/VKQuotaManager.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Support/TestCase.h"

#include <chrono>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>

namespace {

class VKQuotaWatcherTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        layout = VKHomeLayout::current();
        quota = VKQuotaManager::defaultManager();
        write("old.txt", 10);
        quota->updateQuotaForPath(docs());
        watcher = VKQuotaWatcher::start(quota, { layout->documentsDirectory() });
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return watcher->isReadyForTesting(); }, 10));
    }
    void TearDown() override
    {
        watcher.reset();
        test::TestCase::TearDown();
    }

    std::string docs(std::string_view relative = {}) const
    {
        std::string path = layout->documentsDirectory() + "/Docs";
        return relative.empty() ? path : path + "/" + std::string(relative);
    }
    void write(std::string_view relative, size_t size)
    {
        std::filesystem::create_directories(std::filesystem::path(docs(relative)).parent_path());
        std::ofstream(docs(relative), std::ios::binary) << std::string(size, 'x');
    }
    // Waits (real time) until the tree holds `bytes` under Docs.
    ::testing::AssertionResult holds(uint64_t bytes)
    {
        if (core::RunLoop::main().runUntil([&] { return quota->contentSizeForPath(docs()) == bytes; }, 10))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the tree holds " << quota->contentSizeForPath(docs()) << " bytes";
    }

    std::shared_ptr<const VKHomeLayout> layout;
    std::shared_ptr<VKQuotaManager> quota;
    std::unique_ptr<VKQuotaWatcher> watcher;
};

TEST_F(VKQuotaWatcherTest, FilesAndTreesMadeChangedAndRemovedOutsideCount)
{
    std::vector<std::string> told;
    auto observation = core::NotificationCenter::defaultCenter().observe(VKQuotaManagerDidUpdateQuotaNotification,
        nullptr, [&](const VKQuotaUpdate& update) { told.push_back(update.path); });

    write("new.txt", 5);
    ASSERT_TRUE(holds(15));
    // The screens hear of it on the main loop, where it is posted after the
    // count.
    EXPECT_TRUE(core::RunLoop::main().runUntil(
        [&] { return std::find(told.begin(), told.end(), docs()) != told.end(); }, 10));

    // A tree copied in at once, then written into below its new folders.
    write("Tree/a.txt", 100);
    write("Tree/Sub/b.txt", 50);
    ASSERT_TRUE(holds(165));
    write("Tree/Sub/Deeper/c.txt", 7);
    ASSERT_TRUE(holds(172));
    auto found = quota->itemsMatchingQuery("c.txt", layout->documentsDirectory(), true, true);
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, std::vector<std::string> { "Docs/Tree/Sub/Deeper/c.txt" });

    // A file rewritten in place, a folder renamed and one removed.
    write("old.txt", 1000);
    ASSERT_TRUE(holds(1162));
    std::filesystem::rename(docs("Tree"), docs("Moved"));
    write("Moved/Sub/d.txt", 1);
    ASSERT_TRUE(holds(1163));
    EXPECT_EQ(quota->contentSizeForPath(docs("Moved/Sub")), 58u);
    std::filesystem::remove_all(docs("Moved"));
    ASSERT_TRUE(holds(1005));
}

TEST_F(VKQuotaWatcherTest, ABurstOfTenThousandFilesCostsAFewRescans)
{
    std::filesystem::create_directories(docs("Burst"));
    ASSERT_TRUE(holds(10));
    const uint64_t before = watcher->rescanCountForTesting();
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 10000; ++i)
        std::ofstream(docs(fmt::format("Burst/f{}.txt", i))) << "ab";
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_TRUE(holds(20010));
    // About one rescan a second while the burst lasts, and one after it.
    EXPECT_LE(double(watcher->rescanCountForTesting() - before), seconds / VKQuotaWatcher::LongestDelay + 3) << seconds << " s";
    for (int i = 0; i < 10000; ++i)
        std::filesystem::remove(docs(fmt::format("Burst/f{}.txt", i)));
    ASSERT_TRUE(holds(10));
}

} // namespace

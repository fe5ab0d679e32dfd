// The byte-counting delegate of the browser's zips, unzips and copies, fed
// by hand and by the real archiver and copy on worker threads.

#include "OperationTestSupport.h"

#include "App/FolderBrowser/VKFolderControllerOperationObserver.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/RunLoop.h"
#include "Support/TestCase.h"

#include <atomic>
#include <fmt/format.h>
#include <functional>

namespace {

using BrowserOperation = VKBrowserOperation;
using Observer = VKFolderControllerOperationObserver;

class VKFolderControllerOperationObserverTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        BrowserOperation::resetOperationForTesting();
    }
    void TearDown() override
    {
        BrowserOperation::resetOperationForTesting();
        core::RunLoop::main().runUntilIdle();
        TestCase::TearDown();
    }
    // `count` files of `size` bytes in a new folder.
    std::string makeTree(const std::string& name, int count, size_t size)
    {
        std::string folder = makeFolder(name);
        std::string contents(size, 'x');
        for (int i = 0; i < count; ++i) {
            contents[0] = char('a' + i % 26);
            makeFile(fmt::format("{}/file{:06}.bin", name, i), contents);
        }
        return folder;
    }
    // Runs `work` on a worker and waits for it on the main loop.
    static bool onWorker(const std::function<bool()>& work)
    {
        std::atomic<bool> done = false;
        std::atomic<bool> result = false;
        core::Thread::detach("operation worker", [&] {
            result = work();
            done = true;
        });
        EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return done.load(); }, 300));
        core::Thread::waitForAll(10);
        return result;
    }
    // Zips the tree into a new archive, observed.
    bool zip(const std::string& tree, const std::string& target, const std::shared_ptr<Observer>& observer) const
    {
        auto archiver = VKZipArchiver::archiverWithPath(target);
        archiver->setRootPath(home());
        archiver->setDelegate(observer);
        bool added = archiver->addItemAtPath(tree, true, 6);
        return archiver->close() && added;
    }
    // Cancels the operation, from the main thread, once the progress
    // reaches a half.
    static core::Observation cancelAtHalf()
    {
        return core::NotificationCenter::defaultCenter().observe(VKFolderControllerOperationProgressNotification,
            nullptr, [](const VKOperationProgress& news) {
                if (news.progress >= 0.5 && !BrowserOperation::isOperationCancelled())
                    core::performOnMainThreadAndWait([] { BrowserOperation::cancelOperation(); });
            });
    }
};

TEST_F(VKFolderControllerOperationObserverTest, ReportsStepsOfTwoPercentFromTheLastReport)
{
    BrowserOperation::startOperationWithLabel("Copying", false);
    test::OperationNotifications notes;
    Observer observer(100);
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(observer.updateProgressBytes(1));
    auto values = notes.progressValues();
    ASSERT_EQ(values.size(), 5u);
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_NEAR(values[i], 0.02 * double(i + 1), 1e-6);
    EXPECT_NEAR(observer.progress(), 0.1, 1e-9);

    // Steps of 1.5 % are each too small, but they add up from the last report.
    notes.clear();
    Observer slow(1000);
    for (int i = 0; i < 4; ++i)
        slow.updateProgressBytes(15);
    values = notes.progressValues();
    ASSERT_EQ(values.size(), 2u);
    EXPECT_NEAR(values[0], 0.03, 1e-6);
    EXPECT_NEAR(values[1], 0.06, 1e-6);

    // Once cancelled, every callback says stop.
    BrowserOperation::cancelOperation();
    auto archiver = VKZipArchiver::archiverWithPath(pathInHome("unused.zip"));
    ASSERT_TRUE(archiver);
    EXPECT_FALSE(observer.updateProgressBytes(1));
    EXPECT_FALSE(observer.shouldCopyItemAtPath("a", "b"));
    EXPECT_FALSE(observer.copyingItemAtPath("a", "b", 1));
    EXPECT_FALSE(observer.zipArchiver(*archiver, "a"));
    EXPECT_FALSE(observer.zipArchiver(*archiver, 1, "a"));
}

TEST_F(VKFolderControllerOperationObserverTest, NothingToCountReportsNothingButStillStops)
{
    BrowserOperation::startOperationWithLabel("Copying", false);
    test::OperationNotifications notes;
    Observer empty(0);
    EXPECT_TRUE(empty.updateProgressBytes(4096));
    EXPECT_TRUE(empty.shouldContinue());
    EXPECT_TRUE(notes.entries().empty());
    EXPECT_EQ(empty.progressBytes(), 4096u);
    BrowserOperation::cancelOperation();
    EXPECT_FALSE(empty.updateProgressBytes(1));
    // The next operation does not revive it: its run is over.
    BrowserOperation::startOperationWithLabel("Zipping", false);
    EXPECT_FALSE(empty.shouldContinue());
    EXPECT_TRUE(Observer(10).shouldContinue());
}

TEST_F(VKFolderControllerOperationObserverTest, TheRealArchiverAndCopyReportRisingProgress)
{
    constexpr int Files = 40;
    constexpr size_t Size = 64 * 1024;
    std::string tree = makeTree("tree", Files, Size);

    for (int pass = 0; pass < 2; ++pass) {
        BrowserOperation::startOperationWithLabel(pass ? "Copying" : "Zipping", false);
        test::OperationNotifications notes;
        auto observer = std::make_shared<Observer>(uint64_t(Files) * Size);
        std::string target = pathInHome(pass ? "copy" : "tree.zip");
        EXPECT_TRUE(onWorker([&] {
            return pass ? copyWithUpdatesItemAtPath(tree, target, nullptr, observer.get())
                        : zip(tree, target, observer);
        }));
        auto values = notes.progressValues();
        ASSERT_FALSE(values.empty());
        EXPECT_LE(values.size(), 51u);
        EXPECT_GE(values.back(), 0.98);
        EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
        EXPECT_TRUE(core::fs::exists(target));
        BrowserOperation::endOperation();
    }
}

TEST_F(VKFolderControllerOperationObserverTest, CancellingHalfwayStopsTheArchiverAndTheCopy)
{
    constexpr int Files = 40;
    constexpr size_t Size = 64 * 1024;
    std::string tree = makeTree("tree", Files, Size);
    auto cancelling = cancelAtHalf();

    for (int pass = 0; pass < 2; ++pass) {
        BrowserOperation::startOperationWithLabel("Working", false);
        test::OperationNotifications notes;
        auto observer = std::make_shared<Observer>(uint64_t(Files) * Size);
        std::string target = pathInHome(pass ? "copy" : "tree.zip");
        EXPECT_FALSE(onWorker([&] {
            return pass ? copyWithUpdatesItemAtPath(tree, target, nullptr, observer.get())
                        : zip(tree, target, observer);
        }));
        EXPECT_TRUE(BrowserOperation::isOperationCancelled());
        EXPECT_FALSE(BrowserOperation::isOperationInProgress());
        EXPECT_LT(observer->progressBytes(), uint64_t(Files) * Size * 3 / 4);
        auto values = notes.progressValues();
        ASSERT_FALSE(values.empty());
        EXPECT_LT(values.back(), 0.6);
        if (!pass) {
            EXPECT_FALSE(core::fs::exists(target));
        }
    }
}

TEST_F(VKFolderControllerOperationObserverTest, ManySmallPiecesPostFewUpdates)
{
    // A copy of 100,000 files of 1 KiB as the observer hears it, then a real
    // copy of small files.
    BrowserOperation::startOperationWithLabel("Copying", false);
    test::OperationNotifications notes;
    Observer counted(uint64_t(100000) * 1024);
    for (int i = 0; i < 100000; ++i)
        ASSERT_TRUE(counted.updateProgressBytes(1024));
    EXPECT_LE(notes.progressValues().size(), 51u);
    EXPECT_GE(notes.progressValues().back(), 0.98);

    constexpr int Files = 500;
    std::string tree = makeTree("many", Files, 1024);
    notes.clear();
    Observer observer(uint64_t(Files) * 1024);
    EXPECT_TRUE(onWorker([&] { return copyWithUpdatesItemAtPath(tree, pathInHome("many copy"), nullptr, &observer); }));
    EXPECT_LE(notes.progressValues().size(), 51u);
    EXPECT_GE(notes.progressValues().back(), 0.98);
}

} // namespace

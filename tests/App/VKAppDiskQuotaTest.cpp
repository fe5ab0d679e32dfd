#include "App/VKAppDiskQuota.h"

#include "App/VKAppDiskQuotaHost.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Shell/VKApplication.h"
#include "Support/NotificationRecorder.h"
#include "Support/TestCase.h"

#include <atomic>
#include <fmt/format.h>
#include <latch>
#include <unistd.h>

namespace {

class RecordingQuotaHost : public VKAppDiskQuotaHost {
public:
    void diskQuotaRecountWillStart() override { ++started; }
    void diskQuotaRecountDidEnd() override { ++ended; }
    std::shared_ptr<VKWindow> diskQuotaIndicatorWindow() const override { return nullptr; }
    bool diskQuotaWarningMayShow() const override { return false; }
    bool diskQuotaHelpMayShow() const override { return helpMayShow; }
    void diskQuotaShowHelp() override { ++helpShown; }
    int started = 0;
    int ended = 0;
    int helpShown = 0;
    bool helpMayShow = true;
};

class VKAppDiskQuotaTest : public test::TestCase {
protected:
    void TearDown() override
    {
        VKAppDiskQuota::setWorkerHoldForTesting(nullptr);
        TestCase::TearDown();
    }
    RecordingQuotaHost host;
    std::shared_ptr<VKAppDiskQuota> quota = VKAppDiskQuota::create(host);
};

TEST_F(VKAppDiskQuotaTest, TheWarningWaitsForItsHostAndItsButtonsAnswerIt)
{
    // Without a quota a full store is a full disk.
    quota->showWarning();
    ASSERT_TRUE(quota->warningAlert());
    EXPECT_EQ(quota->warningAlert()->message(), "The disk is full.");
    quota->clickedButton(*quota->warningAlert(), quota->warningAlert()->cancelButtonIndex());
    core::UserDefaults::standard()->set("VKQuotaEnabled", core::Value(true));
    core::UserDefaults::standard()->set("VKQuotaLimit", core::Value(1));

    quota->showWarning();
    auto alert = quota->warningAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->message(), "Disk quota limit exceeded.\nCurrent limit: 1 MB");
    EXPECT_FALSE(alert->isVisible());
    EXPECT_EQ(alert->numberOfButtons(), 2);
    EXPECT_EQ(alert->buttonTitle(0), "More Info");
    // One warning at a time.
    quota->showWarning();
    EXPECT_EQ(quota->warningAlert(), alert);
    quota->clickedButton(*alert, 0);
    EXPECT_EQ(host.helpShown, 1);
    EXPECT_FALSE(quota->warningAlert());

    // No help over another modal screen; OK only lets it go.
    host.helpMayShow = false;
    quota->showWarning();
    alert = quota->warningAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->numberOfButtons(), 1);
    quota->clickedButton(*alert, alert->cancelButtonIndex());
    EXPECT_EQ(host.helpShown, 1);
    EXPECT_FALSE(quota->warningAlert());
}

TEST_F(VKAppDiskQuotaTest, TheEndOfTheApplicationStopsARecountsWalk)
{
    const std::string documents = VKApplication::sharedApplication()->documentsDirectory();
    for (int i = 0; i < 20; ++i)
        makeFile(fmt::format("Library/Documents/F{}/a.bin", i), std::string(10'000, 'x'));
    std::latch holding(1), ended(1);
    VKAppDiskQuota::setWorkerHoldForTesting([&] {
        holding.count_down();
        ended.wait();
    });
    quota->startRecount(false, { documents }, false);
    holding.wait();
    quota.reset();
    ended.count_down();
    ASSERT_TRUE(core::Thread::waitForAll(30));
    EXPECT_LT(VKQuotaManager::defaultManager()->quotaUsedBytes(), 10'000u);
    EXPECT_FALSE(VKQuotaManager::defaultManager()->isQuotaValidForPath(documents));
}

TEST_F(VKAppDiskQuotaTest, OneRecountAtATimeAndTheTreeKeptOnlyWhenWhole)
{
    auto application = VKApplication::sharedApplication();
    ASSERT_TRUE(core::fs::writeFileAtomically(application->documentsDirectory() + "/counted.txt", "twelve bytes"));
    auto manager = VKQuotaManager::defaultManager();
    auto defaults = core::UserDefaults::standard();
    std::atomic<bool> release = false;
    VKAppDiskQuota::setWorkerHoldForTesting([&release] {
        while (!release)
            usleep(1000);
    });
    test::NoticeRecorder updates(VKFolderControllerCollectionDidUpdateNotification);
    quota->rebuild();
    EXPECT_EQ(host.started, 1);
    EXPECT_TRUE(quota->isRecounting());
    quota->recountIfNeeded();
    quota->startRecount(true, { application->publicDirectory() }, false);
    EXPECT_TRUE(logContains("quota recount already running"));
    EXPECT_EQ(host.started, 1);
    quota->saveTree();
    EXPECT_TRUE(defaults->object("VKQuotaStore").isNull());

    release = true;
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return host.ended == 1; }, 30));
    EXPECT_FALSE(quota->isRecounting());
    EXPECT_FALSE(quota->indicator()) << "no window, no indicator";
    EXPECT_EQ(updates.received.size(), 2u);
    EXPECT_GE(manager->quotaUsedBytes(), 12u);

    // Kept for the next run, given back once.
    quota->saveTree();
    const auto kept = defaults->object("VKQuotaStore");
    ASSERT_TRUE(kept.isDictionary());
    manager->resetQuota();
    quota->restoreSavedTree();
    EXPECT_GE(manager->quotaUsedBytes(), 12u);
    EXPECT_TRUE(defaults->object("VKQuotaStore").isNull());
    EXPECT_TRUE(defaults->object("VKQuotaAvailableBytes").isNull());

    // Counted and valid: nothing to count again.
    quota->recountIfNeeded();
    EXPECT_EQ(host.started, 1);
}

} // namespace

// The browser-wide long operation: its state, its notifications, file
// operations under the shared delegate, cancelling and the runs that keep a
// cancelled worker away from the next operation.

#include "OperationTestSupport.h"

#include "Platform/Core/Error.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Window.h"
#include "Support/FileModel/RecordingCloudHooks.h"
#include "Support/UITestCase.h"

#include <atomic>
#include <cmath>
#include <thread>

namespace {

using BrowserOperation = VKBrowserOperation;
using test::ManualFileOperation;

class VKFolderControllerOperationTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        BrowserOperation::resetOperationForTesting();
        cloud = test::RecordingCloudHooks::install();
    }
    void TearDown() override
    {
        BrowserOperation::resetOperationForTesting();
        VKCloudHooks::setCurrent(nullptr);
        cloud.reset();
        runLoop();
        ui::AlertView::resetForTesting();
        UITestCase::TearDown();
    }
    // The alerts showing now.
    static std::vector<std::shared_ptr<ui::AlertView>> alerts()
    {
        std::vector<std::shared_ptr<ui::AlertView>> shown;
        if (auto window = ui::AlertView::alertWindowForTesting())
            for (const auto& view : window->subviews())
                if (auto alert = std::dynamic_pointer_cast<ui::AlertView>(view))
                    shown.push_back(alert);
        return shown;
    }

    std::shared_ptr<test::RecordingCloudHooks> cloud;
};

TEST_F(VKFolderControllerOperationTest, StartAndEndFollowTheStateAndTheClock)
{
    test::OperationNotifications notes;
    std::string label = "Copying 3 Items";
    auto run = BrowserOperation::startOperationWithLabel(label, false);
    label = "changed";
    ASSERT_NE(run, BrowserOperation::NoRun);
    EXPECT_EQ(BrowserOperation::currentRun(), run);
    EXPECT_TRUE(BrowserOperation::isOperationInProgress());
    EXPECT_FALSE(BrowserOperation::isOperationCancelled());
    EXPECT_FALSE(BrowserOperation::isOperationIndeterminate());
    EXPECT_EQ(BrowserOperation::operationLabel(), "Copying 3 Items");
    EXPECT_EQ(BrowserOperation::operationProgress(), 0);
    EXPECT_FALSE(BrowserOperation::fileOperation());
    ASSERT_EQ(notes.entries().size(), 1u);
    EXPECT_EQ(notes.entries()[0].name, VKFolderControllerOperationDidStartNotification);
    EXPECT_EQ(notes.entries()[0].progress, -1);

    // A second start is refused; the first stays whole.
    EXPECT_EQ(BrowserOperation::startOperationWithLabel("Zipping", true), BrowserOperation::NoRun);
    EXPECT_TRUE(logContains("Warning, an operation is already in progress: Copying 3 Items"));
    EXPECT_EQ(BrowserOperation::operationLabel(), "Copying 3 Items");
    EXPECT_FALSE(BrowserOperation::isOperationIndeterminate());
    EXPECT_EQ(notes.count(VKFolderControllerOperationDidStartNotification), 1u);

    // The label changes quietly.
    BrowserOperation::setOperationLabel("Copying 2 Items");
    EXPECT_EQ(BrowserOperation::operationLabel(), "Copying 2 Items");
    EXPECT_EQ(notes.entries().size(), 1u);

    BrowserOperation::endOperation();
    EXPECT_FALSE(BrowserOperation::isOperationInProgress());
    EXPECT_EQ(BrowserOperation::operationLabel(), "");
    EXPECT_FALSE(BrowserOperation::isOperationIndeterminate());
    advance(0.09);
    EXPECT_EQ(notes.count(VKFolderControllerOperationDidEndNotification), 0u);
    advance(0.01);
    EXPECT_EQ(notes.count(VKFolderControllerOperationDidEndNotification), 1u);

    // Ending or cancelling while idle changes nothing.
    BrowserOperation::endOperation();
    BrowserOperation::cancelOperation();
    advance(1);
    EXPECT_EQ(notes.count(VKFolderControllerOperationDidEndNotification), 1u);
    EXPECT_FALSE(BrowserOperation::isOperationCancelled());
}

TEST_F(VKFolderControllerOperationTest, ProgressIsPostedOnTheSettingThreadAndClamped)
{
    BrowserOperation::startOperationWithLabel("Copying", false);
    test::OperationNotifications notes;
    std::thread worker([] { BrowserOperation::setOperationProgress(0.25f); });
    worker.join();
    auto entries = notes.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, VKFolderControllerOperationProgressNotification.name);
    EXPECT_DOUBLE_EQ(entries[0].progress, 0.25);
    EXPECT_FALSE(entries[0].onMainThread);
    EXPECT_FLOAT_EQ(BrowserOperation::operationProgress(), 0.25f);

    // Files that grew during a copy, and worse.
    BrowserOperation::setOperationProgress(1.7f);
    EXPECT_EQ(BrowserOperation::operationProgress(), 1);
    BrowserOperation::setOperationProgress(-0.5f);
    EXPECT_EQ(BrowserOperation::operationProgress(), 0);
    BrowserOperation::setOperationProgress(NAN);
    EXPECT_EQ(BrowserOperation::operationProgress(), 0);
    EXPECT_EQ(notes.progressValues(), (std::vector<double> { 0.25, 1, 0, 0 }));

    // The indeterminate flag posts the current progress, and only on a change.
    BrowserOperation::setOperationProgress(0.5f);
    notes.clear();
    BrowserOperation::setIsOperationIndeterminate(false);
    EXPECT_TRUE(notes.entries().empty());
    BrowserOperation::setIsOperationIndeterminate(true);
    BrowserOperation::setIsOperationIndeterminate(true);
    EXPECT_TRUE(BrowserOperation::isOperationIndeterminate());
    EXPECT_EQ(notes.progressValues(), (std::vector<double> { 0.5 }));
}

TEST_F(VKFolderControllerOperationTest, AFileOperationRunsUnderTheSharedDelegate)
{
    test::OperationNotifications notes;
    auto copy = std::make_shared<ManualFileOperation>("Copying 2 Items", false, true);
    auto run = BrowserOperation::startFileOperation(copy);
    ASSERT_NE(run, BrowserOperation::NoRun);
    EXPECT_EQ(BrowserOperation::fileOperation(), copy);
    EXPECT_EQ(copy->delegate(), BrowserOperation::fileOperationDelegate());
    EXPECT_EQ(BrowserOperation::operationLabel(), "Copying 2 Items");
    EXPECT_FALSE(BrowserOperation::isOperationIndeterminate());
    EXPECT_EQ(copy->runs, 1);
    EXPECT_EQ(notes.count(VKFolderControllerOperationDidStartNotification), 1u);

    // Another one meanwhile is refused and never runs.
    auto other = std::make_shared<ManualFileOperation>("Zipping", true, true);
    EXPECT_EQ(BrowserOperation::startFileOperation(other), BrowserOperation::NoRun);
    EXPECT_EQ(other->runs, 0);
    EXPECT_FALSE(other->delegate());
    EXPECT_EQ(BrowserOperation::fileOperation(), copy);
    EXPECT_EQ(copy->delegate(), BrowserOperation::fileOperationDelegate());

    copy->report(0.5f);
    EXPECT_EQ(notes.progressValues(), (std::vector<double> { 0.5 }));

    // A failure ends the operation and says why.
    copy->finish(core::Error(VKFileOperationErrorDomain, -1, "Failed to copy 2 items"));
    EXPECT_FALSE(BrowserOperation::isOperationInProgress());
    EXPECT_FALSE(BrowserOperation::fileOperation());
    EXPECT_FALSE(copy->delegate());
    auto shown = alerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->title(), "Warning");
    EXPECT_EQ(shown[0]->message(), "Failed to copy 2 items");
    EXPECT_EQ(shown[0]->numberOfButtons(), 1);
    EXPECT_EQ(shown[0]->buttonTitle(0), "OK");
    advance(0.1);
    EXPECT_EQ(notes.count(VKFolderControllerOperationDidEndNotification), 1u);
    ui::AlertView::resetForTesting();

    // Running out of background time ends it without a word.
    auto timedOut = std::make_shared<ManualFileOperation>("Uploading", true, false);
    BrowserOperation::startFileOperation(timedOut);
    EXPECT_TRUE(BrowserOperation::isOperationIndeterminate());
    timedOut->finish(core::Error(VKFileOperationErrorDomain, VKFileOperationErrorCodeBackgroundTimeout, "late"));
    EXPECT_FALSE(BrowserOperation::isOperationInProgress());
    EXPECT_TRUE(alerts().empty());
}

TEST_F(VKFolderControllerOperationTest, TheEndOfAnOperationOnAWorkerIsAnnouncedOnTheMainLoop)
{
    test::OperationNotifications notes;
    auto upload = std::make_shared<ManualFileOperation>("Uploading", false, true);
    BrowserOperation::startFileOperation(upload);
    std::atomic<bool> done = false;
    core::Thread::detach("worker", [&] {
        upload->report(0.75f);
        upload->finish(std::nullopt);
        done = true;
    });
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return done.load(); }, 10));
    runLoop();
    EXPECT_FALSE(BrowserOperation::isOperationInProgress());
    advance(0.1);
    auto entries = notes.entries();
    ASSERT_EQ(notes.count(VKFolderControllerOperationDidEndNotification), 1u);
    EXPECT_TRUE(entries.back().onMainThread);
    EXPECT_TRUE(alerts().empty());

    // A plain operation ended from a thread whose loop never runs again.
    BrowserOperation::startOperationWithLabel("Unzipping", true);
    std::thread([] { BrowserOperation::endOperation(); }).join();
    runLoop();
    advance(0.1);
    EXPECT_EQ(notes.count(VKFolderControllerOperationDidEndNotification), 2u);
    EXPECT_TRUE(notes.entries().back().onMainThread);
}

TEST_F(VKFolderControllerOperationTest, CancellingDetachesTheFileOperationFirst)
{
    auto copy = std::make_shared<ManualFileOperation>("Copying", false, true);
    BrowserOperation::startFileOperation(copy);
    EXPECT_TRUE(BrowserOperation::canCancelCurrentOperation());
    BrowserOperation::cancelOperation();
    EXPECT_TRUE(copy->isCancelled());
    EXPECT_FALSE(copy->delegate());
    EXPECT_FALSE(BrowserOperation::isOperationInProgress());
    EXPECT_TRUE(BrowserOperation::isOperationCancelled());
    // Its failure afterwards is heard by nobody.
    copy->finish(core::Error(VKFileOperationErrorDomain, -1, "Failed to copy 1 item"));
    EXPECT_TRUE(alerts().empty());
    advance(1);
    EXPECT_TRUE(BrowserOperation::isOperationCancelled());

    BrowserOperation::startOperationWithLabel("Zipping", false);
    EXPECT_FALSE(BrowserOperation::isOperationCancelled());

    // Only some file operations may be cancelled.
    BrowserOperation::endOperation();
    auto fixed = std::make_shared<ManualFileOperation>("Importing", true, false);
    BrowserOperation::startFileOperation(fixed);
    EXPECT_FALSE(BrowserOperation::canCancelCurrentOperation());
}

TEST_F(VKFolderControllerOperationTest, APlainTaskCannotBeCancelledWhileUploadsRun)
{
    BrowserOperation::startOperationWithLabel("Copying", false);
    EXPECT_TRUE(BrowserOperation::canCancelCurrentOperation());
    cloud->setActiveUploads(2, 0.3f);
    EXPECT_FALSE(BrowserOperation::canCancelCurrentOperation());
    cloud->setActiveUploads(0, 0);
    EXPECT_TRUE(BrowserOperation::canCancelCurrentOperation());
    VKCloudHooks::setCurrent(nullptr);
    EXPECT_TRUE(BrowserOperation::canCancelCurrentOperation());
}

TEST_F(VKFolderControllerOperationTest, ACancelledRunsWorkerCannotTouchTheNextRun)
{
    test::OperationNotifications notes;
    auto first = BrowserOperation::startOperationWithLabel("Copying", false);
    BrowserOperation::cancelOperation();
    auto second = BrowserOperation::startOperationWithLabel("Zipping", false);
    ASSERT_NE(first, second);
    // The new run cleared the flag, yet the first run's worker still stops.
    EXPECT_FALSE(BrowserOperation::isOperationCancelled());
    EXPECT_TRUE(BrowserOperation::isOperationCancelled(first));
    EXPECT_FALSE(BrowserOperation::isOperationCancelled(second));
    notes.clear();
    BrowserOperation::setOperationProgress(0.9f, first);
    EXPECT_TRUE(notes.entries().empty());
    BrowserOperation::endOperation(first);
    EXPECT_TRUE(BrowserOperation::isOperationInProgress());
    EXPECT_EQ(BrowserOperation::operationLabel(), "Zipping");
    BrowserOperation::setOperationProgress(0.5f, second);
    EXPECT_EQ(notes.progressValues(), (std::vector<double> { 0.5 }));
    BrowserOperation::endOperation(second);
    EXPECT_FALSE(BrowserOperation::isOperationInProgress());
    // An ended run that was not cancelled does not count as cancelled.
    EXPECT_FALSE(BrowserOperation::isOperationCancelled(second));
}

TEST_F(VKFolderControllerOperationTest, WorkersAndTheMainThreadShareTheStateSafely)
{
    std::atomic<bool> stop = false;
    std::atomic<int> cancelledSeen = 0;
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i)
        workers.emplace_back([&, i] {
            float progress = 0;
            while (!stop) {
                BrowserOperation::setOperationProgress(progress);
                BrowserOperation::setOperationProgress(progress, BrowserOperation::currentRun());
                progress = std::fmod(progress + 0.01f * float(i + 1), 1.0f);
                cancelledSeen += BrowserOperation::isOperationCancelled() ? 1 : 0;
                (void)BrowserOperation::operationProgress();
            }
        });
    for (int i = 0; i < 1000; ++i) {
        ASSERT_NE(BrowserOperation::startOperationWithLabel("Copying", i % 2), BrowserOperation::NoRun);
        if (i % 3 == 0)
            BrowserOperation::cancelOperation();
        else
            BrowserOperation::endOperation();
    }
    stop = true;
    for (auto& worker : workers)
        worker.join();
    EXPECT_FALSE(BrowserOperation::isOperationInProgress());
    advance(0.1);
}

} // namespace

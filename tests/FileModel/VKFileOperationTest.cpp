#include "FileModel/VKFileOperation.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Support/FileModel/RecordingCloudHooks.h"
#include "Support/TestCase.h"

namespace {

class Recorder : public VKFileOperationDelegate {
public:
    void fileOperation(VKFileOperation&, float) override { }
    void fileOperationDidEnd(VKFileOperation& operation, const std::optional<core::Error>& error) override
    {
        ends.push_back(error);
        heldTaskAtEnd = operation.holdsBackgroundTask();
        tasksAtEnd = core::activeBackgroundTaskCount();
    }
    std::vector<std::optional<core::Error>> ends;
    bool heldTaskAtEnd = false;
    size_t tasksAtEnd = 0;
};

// An operation whose items fail as the test says.
class CountingOperation : public VKFileOperation {
public:
    CountingOperation(uint32_t errors, bool describes) : VKFileOperation({}), m_describes(describes)
    {
        m_errorCount = errors;
    }
    using VKFileOperation::beginBackgroundTask;
    using VKFileOperation::endBackgroundTask;
    using VKFileOperation::sendDidEndDelegateMessage;
    void run() override { }

protected:
    std::string localizedErrorDescription() override
    {
        return m_describes ? "2 items failed" : "";
    }

private:
    bool m_describes;
};

class VKFileOperationTest : public test::TestCase { };

TEST_F(VKFileOperationTest, EndsOnceWithTheRightError)
{
    auto cloud = test::RecordingCloudHooks::install();
    auto recorder = std::make_shared<Recorder>();

    auto failing = std::make_shared<CountingOperation>(2, true);
    EXPECT_TRUE(failing->isIndeterminate());
    EXPECT_FALSE(failing->mayBeCancelled());
    failing->setDelegate(recorder);
    failing->beginBackgroundTask();
    failing->beginBackgroundTask();
    EXPECT_EQ(core::activeBackgroundTaskCount(), 1u);
    failing->sendDidEndDelegateMessage();
    ASSERT_EQ(recorder->ends.size(), 1u);
    ASSERT_TRUE(recorder->ends[0]);
    EXPECT_EQ(recorder->ends[0]->domain(), "VKFileOperationErrorDomain");
    EXPECT_EQ(recorder->ends[0]->code(), -1);
    EXPECT_EQ(recorder->ends[0]->localizedDescription(), "2 items failed");
    EXPECT_TRUE(recorder->heldTaskAtEnd);
    EXPECT_EQ(core::activeBackgroundTaskCount(), 0u);
    EXPECT_EQ(cloud->calls(), std::vector<std::string> { "saveContext" });

    // Cancelled, or nothing failed: no error.
    auto cancelled = std::make_shared<CountingOperation>(3, true);
    cancelled->setDelegate(recorder);
    cancelled->cancel();
    cancelled->sendDidEndDelegateMessage();
    auto clean = std::make_shared<CountingOperation>(0, false);
    clean->setDelegate(recorder);
    clean->sendDidEndDelegateMessage();
    ASSERT_EQ(recorder->ends.size(), 3u);
    EXPECT_FALSE(recorder->ends[1]);
    EXPECT_FALSE(recorder->ends[2]);
    clean->endBackgroundTask();
}

TEST_F(VKFileOperationTest, ExpiredBackgroundTimeIsReportedAndTheTaskKept)
{
    auto recorder = std::make_shared<Recorder>();
    auto operation = std::make_shared<CountingOperation>(0, false);
    operation->setDelegate(recorder);
    operation->beginBackgroundTask();
    core::expireBackgroundTasksForTesting();
    core::RunLoop::main().runUntilIdle();
    ASSERT_EQ(recorder->ends.size(), 1u);
    EXPECT_EQ(recorder->ends[0]->code(), 15201);
    EXPECT_EQ(recorder->ends[0]->localizedDescription(), "Background task timeout");
    EXPECT_TRUE(operation->holdsBackgroundTask());
    operation.reset();
    EXPECT_EQ(core::activeBackgroundTaskCount(), 0u);
}

} // namespace

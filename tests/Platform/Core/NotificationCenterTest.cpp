#include "Platform/Core/BackgroundTask.h"
#include "Platform/Core/MemoryWarning.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/ObservationBag.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include "Support/TestCase.h"

#include <atomic>
#include <latch>
#include <thread>

using core::Notification;
using core::NotificationCenter;
using core::Observation;

namespace {

class NotificationCenterTest : public test::TestCase {
protected:
    NotificationCenter& center = NotificationCenter::defaultCenter();
    core::RunLoop& loop = core::RunLoop::main();
};

class Sender : public core::Object { };

TEST_F(NotificationCenterTest, ObserversAreChosenByNameAndSender)
{
    auto a = std::make_shared<Sender>();
    auto b = std::make_shared<Sender>();
    std::vector<std::string> calls;
    auto fromA = center.observe("Changed", a, [&](const Notification& n) { calls.push_back("fromA " + n.userInfo()["Path"].toString()); });
    auto fromAnyone = center.observe("Changed", nullptr, [&](const Notification&) { calls.push_back("anyone"); });
    auto everything = center.observe("", nullptr, [&](const Notification& n) { calls.push_back("all " + n.name()); });

    center.post("Changed", a, core::Value::makeDictionary({ { "Path", "/x" } }));
    center.post("Changed", b);
    center.post("Other");
    EXPECT_EQ(calls, (std::vector<std::string> { "fromA /x", "anyone", "all Changed", "anyone", "all Changed", "all Other" }));

    // The sender is held weakly: a gone sender matches nothing.
    calls.clear();
    a.reset();
    center.post("Changed", std::make_shared<Sender>());
    EXPECT_EQ(calls, (std::vector<std::string> { "anyone", "all Changed" }));

    // Dropping a token ends its observation.
    calls.clear();
    fromAnyone.reset();
    everything = Observation();
    center.post("Changed", b);
    EXPECT_TRUE(calls.empty());
}

TEST_F(NotificationCenterTest, APostWorksOnASnapshotOfTheObservers)
{
    std::vector<std::string> calls;
    Observation second;
    Observation added;
    auto first = center.observe("Tick", nullptr, [&](const Notification&) {
        calls.push_back("first");
        second.reset();
        if (!added.isActive())
            added = center.observe("Tick", nullptr, [&](const Notification&) { calls.push_back("added"); });
    });
    second = center.observe("Tick", nullptr, [&](const Notification&) { calls.push_back("second"); });
    Observation self;
    self = center.observe("Tick", nullptr, [&](const Notification&) {
        calls.push_back("self");
        self.reset(); // ending one's own observation inside its call
    });
    center.post("Tick");
    EXPECT_EQ(calls, (std::vector<std::string> { "first", "self" }));
    calls.clear();
    center.post("Tick");
    EXPECT_EQ(calls, (std::vector<std::string> { "first", "added" }));

    core::ObservationBag bag;
    bag += std::move(first);
    bag += std::move(added);
    EXPECT_EQ(bag.size(), 2u);
    bag.clear();
    calls.clear();
    center.post("Tick");
    EXPECT_TRUE(calls.empty());
}

TEST_F(NotificationCenterTest, EndingAnObservationWaitsForItsCallOnAnotherThread)
{
    std::latch entered(1), release(1), resetting(1);
    std::atomic<bool> callbackDone { false }, doneBeforeReset { false };
    auto token = std::make_shared<Observation>(center.observe("Slow", nullptr, [&](const Notification&) {
        entered.count_down();
        release.wait();
        callbackDone = true;
    }));
    core::Thread::detach("poster", [&] { center.post("Slow"); });
    entered.wait();
    core::Thread::detach("resetter", [&] {
        resetting.count_down();
        token->reset();
        doneBeforeReset = callbackDone.load();
    });
    resetting.wait();
    release.count_down();
    ASSERT_TRUE(core::Thread::waitForAll(5));
    EXPECT_TRUE(doneBeforeReset);
    int late = 0;
    center.post("Slow");
    EXPECT_EQ(late, 0);
}

TEST_F(NotificationCenterTest, PostOnMainThreadDeliversInTheNextMainPass)
{
    std::weak_ptr<Sender> weakSender;
    std::thread::id deliveredOn;
    bool senderAlive = false;
    auto observation = center.observe("Finished", nullptr, [&](const Notification& n) {
        deliveredOn = std::this_thread::get_id();
        senderAlive = n.object() != nullptr;
    });
    core::Thread::detach("worker", [&] {
        auto sender = std::make_shared<Sender>();
        weakSender = sender;
        center.postOnMainThread("Finished", sender);
    });
    ASSERT_TRUE(core::Thread::waitForAll(5));
    EXPECT_FALSE(weakSender.expired());
    loop.runOnce();
    EXPECT_EQ(deliveredOn, std::this_thread::get_id());
    EXPECT_TRUE(senderAlive);
    EXPECT_TRUE(weakSender.expired());

    // The memory warning takes the same road.
    bool warned = false;
    auto warning = center.observe(core::DidReceiveMemoryWarningNotification, nullptr, [&](const Notification&) {
        warned = core::Thread::isMainThread();
    });
    core::Thread::detach("warner", [] { core::postMemoryWarning(); });
    EXPECT_TRUE(loop.runUntil([&] { return warned; }, 5));
}

struct Moved {
    std::string path;
    int count = 0;
};
constexpr core::NoticeName<Moved> MovedNotification { "Moved" };

TEST_F(NotificationCenterTest, ANamedNoticeCarriesItsPayloadToItsObservers)
{
    auto sender = std::make_shared<Sender>();
    std::vector<std::string> calls;
    auto typed = center.observe(MovedNotification, nullptr, [&](const Moved& moved, const Notification& n) {
        calls.push_back(moved.path + " " + std::to_string(moved.count) + (n.object() == sender ? " sender" : ""));
    });
    auto bare = center.observe(MovedNotification, nullptr, [&](const Moved& moved) { calls.push_back("bare " + moved.path); });
    auto untyped = center.observe(MovedNotification.name, nullptr, [&](const Notification& n) {
        calls.push_back(std::string("untyped ") + (n.payload<Moved>() ? n.payload<Moved>()->path : "none"));
    });

    center.post(MovedNotification, sender, { "/a", 2 });
    // A post by the plain name reaches the typed observers with an empty payload.
    center.post(MovedNotification.name);
    EXPECT_EQ(calls, (std::vector<std::string> { "/a 2 sender", "bare /a", "untyped /a", " 0", "bare ", "untyped none" }));

    calls.clear();
    core::Thread::detach("mover", [&] { center.postOnMainThread(MovedNotification, nullptr, { "/b", 3 }); });
    ASSERT_TRUE(core::Thread::waitForAll(5));
    EXPECT_TRUE(calls.empty());
    loop.runOnce();
    EXPECT_EQ(calls, (std::vector<std::string> { "/b 3", "bare /b", "untyped /b" }));
}

TEST_F(NotificationCenterTest, BackgroundTasksExpireOnlyOnPurpose)
{
    std::vector<std::string> expired;
    auto first = core::beginBackgroundTask([&] { expired.push_back("first"); });
    auto ended = core::beginBackgroundTask([&] { expired.push_back("ended"); });
    core::BackgroundTaskId third = 0;
    third = core::beginBackgroundTask([&] {
        expired.push_back(core::Thread::isMainThread() ? "third on main" : "third elsewhere");
        core::endBackgroundTask(third);
    });
    EXPECT_NE(first, core::InvalidBackgroundTask);
    EXPECT_NE(first, ended);
    EXPECT_NE(ended, third);
    core::endBackgroundTask(ended);
    core::endBackgroundTask(987654);
    EXPECT_EQ(core::activeBackgroundTaskCount(), 2u);

    loop.advance(3600);
    EXPECT_TRUE(expired.empty());
    core::Thread::detach("expirer", [] { core::expireBackgroundTasksForTesting(); });
    ASSERT_TRUE(core::Thread::waitForAll(5));
    loop.runOnce();
    EXPECT_EQ(expired, (std::vector<std::string> { "first", "third on main" }));
    core::expireBackgroundTasksForTesting();
    EXPECT_EQ(expired.size(), 2u);
    EXPECT_EQ(core::activeBackgroundTaskCount(), 1u);
}

} // namespace

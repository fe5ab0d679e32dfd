// What every folder screen hears, on its own: news posted on a worker
// reaches the handlers on the main thread, an owner not yet shared hears
// nothing, and news on its way when the screen goes finds nothing.

#include "App/FolderBrowser/VKFolderScreenNews.h"

#include "App/FolderBrowser/VKBrowserOperation.h"
#include "HTTP/HTTPServer.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Thread.h"
#include "Support/UITestCase.h"

#include <thread>

namespace {

struct NewsTally {
    std::vector<std::string> heard;
    bool offMain = false;
};

std::unique_ptr<VKFolderScreenNews> listen(const core::Object& owner, const std::shared_ptr<NewsTally>& tally)
{
    auto note = [tally](std::string what) {
        tally->offMain |= !core::Thread::isMainThread();
        tally->heard.push_back(std::move(what));
    };
    return std::make_unique<VKFolderScreenNews>(owner, VKFolderScreenNews::Handlers {
        .operationStarted = [note] { note("started"); },
        .operationEnded = [note] { note("ended"); },
        .operationProgressed = [note](float progress) { note("progress " + std::to_string(int(progress * 100))); },
        .statusChanged = [note](const core::Notification* notification) { note(notification ? "status" : "index"); },
    });
}

using VKFolderScreenNewsTest = test::UITestCase;

TEST_F(VKFolderScreenNewsTest, NewsReachesAnOwnedScreenOnTheMainThreadWhileItLives)
{
    auto tally = std::make_shared<NewsTally>();
    auto owner = std::make_shared<core::Object>();
    auto& center = core::NotificationCenter::defaultCenter();
    {
        core::Object unowned;
        auto news = listen(unowned, tally);
        center.post(HTTPServer::StatusDidChangeNotification);
        EXPECT_TRUE(tally->heard.empty()) << "not yet owned";
    }
    auto news = listen(*owner, tally);
    center.post(HTTPServer::StatusDidChangeNotification);
    std::thread([] {
        core::NotificationCenter::defaultCenter().post(VKFolderControllerOperationProgressNotification, nullptr, { 0.25f });
    }).join();
    EXPECT_EQ(tally->heard, (std::vector<std::string> { "status" }));
    runLoop();
    EXPECT_EQ(tally->heard, (std::vector<std::string> { "status", "progress 25" }));
    EXPECT_FALSE(tally->offMain);

    bool ran = false;
    news->deliver([&ran] { ran = true; }, true);
    EXPECT_FALSE(ran) << "later: on a later pass";
    runLoop();
    EXPECT_TRUE(ran);

    // On its way when the screen goes: it finds nothing.
    std::thread([] { core::NotificationCenter::defaultCenter().post(VKFolderControllerOperationDidStartNotification); }).join();
    news->deliver([&tally] { tally->heard.push_back("late"); }, true);
    news.reset();
    runLoop();
    EXPECT_EQ(tally->heard.size(), 2u);
}

} // namespace

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"

#include "Support/TestCase.h"

#include <atomic>
#include <thread>

using core::UserDefaults;
using core::Value;

namespace {

class UserDefaultsAutosaveTest : public test::TestCase {
protected:
    Value saved(const std::shared_ptr<UserDefaults>& defaults, std::string_view key)
    {
        return core::PropertyList::readFile(defaults->path())[key];
    }

    core::RunLoop& loop = core::RunLoop::main();
};

TEST_F(UserDefaultsAutosaveTest, AChangeIsAnnouncedAndWrittenASecondLater)
{
    auto defaults = UserDefaults::standard();
    std::vector<std::thread::id> posts;
    auto observation = core::NotificationCenter::defaultCenter().observe(UserDefaults::didChangeNotification, nullptr,
        [&](const core::Notification&) { posts.push_back(std::this_thread::get_id()); });

    defaults->set("VKPortNumber", 8080);
    EXPECT_EQ(posts, (std::vector<std::thread::id> { std::this_thread::get_id() }));
    defaults->set("VKServerEnabled", true); // the same pending save takes it
    loop.advance(0.99);
    EXPECT_TRUE(saved(defaults, "VKPortNumber").isNull());
    loop.advance(0.01);
    EXPECT_EQ(saved(defaults, "VKPortNumber"), Value(8080));
    EXPECT_EQ(saved(defaults, "VKServerEnabled"), Value(true));

    // After a save the next change schedules again, also from a worker, which
    // hears the notification on its own thread.
    std::thread::id worker;
    core::Thread::detach("settings writer", [&] {
        worker = std::this_thread::get_id();
        defaults->set("VKPortNumber", 8081);
    });
    ASSERT_TRUE(core::Thread::waitForAll(5));
    EXPECT_EQ(posts.size(), 3u);
    EXPECT_EQ(posts.back(), worker);
    loop.advance(1.0);
    EXPECT_EQ(saved(defaults, "VKPortNumber"), Value(8081));
}

} // namespace

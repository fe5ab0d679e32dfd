#include "Platform/Core/Observable.h"
#include "Platform/Core/Thread.h"

#include "Support/TestCase.h"

#include <memory>
#include <string>
#include <thread>

namespace {

class ObservableTest : public test::TestCase { };

TEST_F(ObservableTest, ObserversHearChangesOnly)
{
    core::Observable<std::string> title("Documents");
    std::vector<std::pair<std::string, std::string>> changes;
    auto observation = title.observe([&](const std::string& old, const std::string& now) { changes.emplace_back(old, now); });
    EXPECT_FALSE(title.set("Documents"));
    EXPECT_TRUE(changes.empty());
    EXPECT_TRUE(title.set("Public"));
    EXPECT_EQ(title.get(), "Public");
    EXPECT_EQ(changes, (std::vector<std::pair<std::string, std::string>> { { "Documents", "Public" } }));

    // Observers are called on the setting thread.
    std::thread::id setter, calledOn;
    auto where = title.observe([&](const std::string&, const std::string&) { calledOn = std::this_thread::get_id(); });
    core::Thread::detach("setter", [&] {
        setter = std::this_thread::get_id();
        title.set("Inbox");
    });
    ASSERT_TRUE(core::Thread::waitForAll(5));
    EXPECT_EQ(calledOn, setter);
    EXPECT_EQ(changes.size(), 2u);

    observation.reset();
    title.set("Trash");
    EXPECT_EQ(changes.size(), 2u);
}

TEST_F(ObservableTest, ATokenOutlivingItsObservableIsHarmless)
{
    core::Observation token;
    int calls = 0;
    {
        auto progress = std::make_unique<core::Observable<double>>(0.0);
        token = progress->observe([&](const double&, const double&) { ++calls; });
        progress->set(0.5);
    }
    EXPECT_EQ(calls, 1);
    token.reset();
    EXPECT_FALSE(token.isActive());
}

} // namespace

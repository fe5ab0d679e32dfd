// The one-shot GLib timeouts of a GTK page and its parts: each fires once
// (and may be started again from its own firing), a new start replaces a
// running one, and neither a cancelled one nor one whose owner went fires.

#include "Platform/Core/GLibMainContextBridge.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Web/GtkTimeout.h"

#include "Support/TestCase.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

class GtkTimeoutTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        core::GLibMainContextBridge::install();
    }
    core::RunLoop& loop = core::RunLoop::main();
};

TEST_F(GtkTimeoutTest, FiresOnceReplacesAndNeverOutlivesItsCancelOrOwner)
{
    std::vector<std::string> fired;
    web::GtkTimeout again;
    int rounds = 0;
    std::function<void()> round = [&] {
        fired.push_back("again");
        EXPECT_FALSE(again.isRunning());
        if (++rounds < 3)
            again.start(0, round);
    };
    again.start(0, round);

    web::GtkTimeout replaced;
    replaced.start(0, [&] { fired.push_back("first"); });
    replaced.start(1, [&] { fired.push_back("second"); });

    web::GtkTimeout cancelled;
    cancelled.start(0, [&] { fired.push_back("cancelled"); });
    cancelled.cancel();
    EXPECT_FALSE(cancelled.isRunning());
    {
        web::GtkTimeout gone;
        gone.start(0, [&] { fired.push_back("gone"); });
    }

    EXPECT_TRUE(loop.runUntil([&] { return rounds == 3 && !replaced.isRunning(); }, 5));
    loop.runUntil([] { return false; }, 0.05);
    std::sort(fired.begin(), fired.end());
    EXPECT_EQ(fired, (std::vector<std::string> { "again", "again", "again", "second" }));
}

} // namespace

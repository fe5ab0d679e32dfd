#include "Platform/Core/RunLoop.h"
#include "Platform/Core/SingleInstance.h"

#include "Support/TestCase.h"

#include <future>
#include <unistd.h>

using core::SingleInstance;

namespace {

class SingleInstanceTest : public test::TestCase {
protected:
    // Forwards from another thread while the main loop answers.
    std::optional<int> forward(const std::string& socket, const SingleInstance::Request& request, double timeout = 5)
    {
        auto sent = std::async(std::launch::async, [=] { return SingleInstance::forward(socket, request, timeout); });
        core::RunLoop::main().runUntil(
            [&] { return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, timeout + 5);
        return sent.get();
    }
};

// The lock decides: a second taker learns the holder and hands its request
// to the owner's socket, whose answer it gets back; once the owner goes the
// home is free again and nobody answers.
TEST_F(SingleInstanceTest, OneOwnerHearsTheLaterLaunches)
{
    std::string lock = pathInHome("tandry.lock"), socket = pathInHome("tandry.socket");
    auto first = SingleInstance::acquire(lock, socket);
    ASSERT_TRUE(first.owner);
    auto second = SingleInstance::acquire(lock, socket);
    EXPECT_FALSE(second.owner);
    EXPECT_EQ(second.holder, std::to_string(getpid()));

    std::vector<SingleInstance::Request> heard;
    ASSERT_TRUE(first.owner->listen([&](SingleInstance::Request request, SingleInstance::Reply reply) {
        heard.push_back(request);
        reply(request.size() == 2 ? 0 : 2);
    }));
    EXPECT_EQ(forward(socket, { "open", "/tmp/a file.pdf" }), 0);
    EXPECT_EQ(forward(socket, { "show" }), 2);
    EXPECT_EQ(heard, (std::vector<SingleInstance::Request> { { "open", "/tmp/a file.pdf" }, { "show" } }));
    // Too long a request is dropped unanswered.
    EXPECT_EQ(forward(socket, { std::string(SingleInstance::MaximumRequestBytes, 'x') }), std::nullopt);
    EXPECT_EQ(heard.size(), 2u);

    first.owner.reset();
    EXPECT_EQ(forward(socket, { "show" }, 0.2), std::nullopt);
    EXPECT_TRUE(SingleInstance::acquire(lock, socket).owner);
}

// A home too deep for a socket's address is reached by a name of its own.
TEST_F(SingleInstanceTest, ADeepHomeIsReachedToo)
{
    std::string folder = pathInHome(std::string(60, 'd') + "/" + std::string(60, 'e'));
    ASSERT_EQ(system(("mkdir -p '" + folder + "'").c_str()), 0);
    std::string socket = folder + "/tandry.socket";
    auto owner = SingleInstance::acquire(folder + "/tandry.lock", socket).owner;
    ASSERT_TRUE(owner);
    ASSERT_TRUE(owner->listen([](SingleInstance::Request, SingleInstance::Reply reply) { reply(7); }));
    EXPECT_EQ(forward(socket, { "show" }), 7);
}

} // namespace

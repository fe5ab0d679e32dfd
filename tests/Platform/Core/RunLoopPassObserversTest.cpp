#include "Platform/Core/RunLoopPassObservers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

using core::RunLoop;
using core::RunLoopPassObservers;

// The GLib bridge counts on running after every other observer: observers
// run by order, equal orders as added; each may only shorten the wait (a
// negative or NaN answer means none); one may end another's observation
// mid-pass, and a throwing one stops nobody.
TEST(RunLoopPassObserversTest, ObserversRunInOrderAndOnlyShortenTheWait)
{
    RunLoopPassObservers observers;
    std::vector<std::string> calls;
    auto observe = [&](std::string name, int order, double allowed) {
        RunLoop::PassObserver observer;
        observer.order = order;
        observer.beforeWaiting = [&calls, name, allowed](double) {
            calls.push_back(name);
            if (name == "throws")
                throw std::runtime_error("observer failed");
            return allowed;
        };
        observer.afterWaiting = [&calls, name] { calls.push_back(name + " after"); };
        return observers.add(std::move(observer));
    };
    auto late = observe("late", 10, RunLoop::Forever);
    auto first = observe("first", -1, 2.0);
    auto second = observe("second", -1, 3.0);
    auto throws = observe("throws", 0, 0.5);

    EXPECT_EQ(observers.beforeWaiting(RunLoop::Forever), 2.0);
    EXPECT_EQ(calls, (std::vector<std::string> { "first", "second", "throws", "late" }));
    calls.clear();
    observers.afterWaiting();
    EXPECT_EQ(calls, (std::vector<std::string> { "first after", "second after", "throws after", "late after" }));

    observers.remove(*throws);
    auto negative = observe("negative", 5, -1.0);
    EXPECT_EQ(observers.beforeWaiting(1.0), 0.0);
    observers.remove(*negative);
    auto nan = observe("nan", 5, std::nan(""));
    EXPECT_EQ(observers.beforeWaiting(1.0), 0.0);
    observers.remove(*nan);

    // Ending "late" from inside "first" keeps it from being called.
    calls.clear();
    first->observer.beforeWaiting = [&](double wait) {
        calls.push_back("first");
        late->gate->close();
        observers.remove(*late);
        return wait;
    };
    EXPECT_EQ(observers.beforeWaiting(5.0), 3.0);
    EXPECT_EQ(calls, (std::vector<std::string> { "first", "second" }));
    observers.remove(*first);
    observers.remove(*second);
    EXPECT_TRUE(observers.empty());
}

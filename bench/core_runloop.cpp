// bench: tandry_platform_core
// The run loop's costs: cross-thread posting, timer scheduling and
// cancelling at scale, and what an idle loop burns.

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/Timer.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using core::RunLoop;

// Four threads post blocks to one loop that runs them.
void BM_CrossThreadPost(benchmark::State& state)
{
    constexpr int Senders = 4;
    const int perSender = static_cast<int>(state.range(0));
    auto& loop = RunLoop::current();
    for (auto _ : state) {
        int received = 0;
        std::vector<std::thread> senders;
        for (int s = 0; s < Senders; ++s) {
            senders.emplace_back([&loop, &received, perSender] {
                for (int i = 0; i < perSender; ++i)
                    loop.post([&received] { ++received; });
            });
        }
        while (received < Senders * perSender)
            loop.runOnce(RunLoop::DefaultMode, 0.01);
        for (auto& sender : senders)
            sender.join();
    }
    state.SetItemsProcessed(state.iterations() * Senders * perSender);
}
BENCHMARK(BM_CrossThreadPost)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

// n timers scheduled and then cancelled: each step is O(log n).
void BM_ScheduleAndCancelTimers(benchmark::State& state)
{
    const auto count = static_cast<size_t>(state.range(0));
    auto& loop = RunLoop::current();
    std::vector<std::shared_ptr<core::Timer>> timers;
    timers.reserve(count);
    for (auto _ : state) {
        for (size_t i = 0; i < count; ++i)
            timers.push_back(loop.schedule(1000.0 + static_cast<double>(i % 977), false, [](core::Timer&) { }));
        for (auto& timer : timers)
            timer->invalidate();
        timers.clear();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ScheduleAndCancelTimers)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oNLogN)
    ->Unit(benchmark::kMillisecond);

double threadCpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// An idle run() with a far timer sleeps: the CPU it uses over 2 s (target:
// under 10 ms) is reported as cpu_ms.
void BM_IdleRunCpu(benchmark::State& state)
{
    for (auto _ : state) {
        double cpu = 0;
        core::Thread::detach("idle loop", [&cpu] {
            auto& loop = RunLoop::current();
            auto far = loop.schedule(3600, false, [](core::Timer&) { });
            auto stop = loop.schedule(2.0, false, [&loop](core::Timer&) { loop.stop(); });
            double before = threadCpuSeconds();
            loop.run();
            cpu = threadCpuSeconds() - before;
            far->invalidate();
        });
        core::Thread::waitForAll(10);
        state.counters["cpu_ms"] = cpu * 1000;
        bench::atMost("CPU of an idle loop over 2 s", cpu * 1000, 10, "ms");
    }
}
BENCHMARK(BM_IdleRunCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The scale of the others, printed beside it.
[[maybe_unused]] const bool figures = bench::atEnd([] {
    bench::figure("a cross-thread post", bench::runSeconds("BM_CrossThreadPost/100000") / 400'000 * 1e9, "ns");
    bench::figure("a timer scheduled and cancelled, per timer of 100,000 / of 1,000",
        bench::runSeconds("BM_ScheduleAndCancelTimers/100000") / 100 / bench::runSeconds("BM_ScheduleAndCancelTimers/1000"),
        "x", "O(log n) steps");
});

} // namespace

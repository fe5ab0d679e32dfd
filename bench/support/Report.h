#pragma once

// What a benchmark program reports besides Google Benchmark's table: each
// figure beside its target (and a peer's figure from the same run), and a
// last line that says whether every target was met. The program's main
// (BenchMain.cpp) prints them when the benchmarks are done and ends with
// status 1 when a target was missed or a side answered wrongly.
//
// A figure reported again under the same name replaces the earlier one, so
// a benchmark function that Google Benchmark calls several times reports
// its last, full run.

#include <functional>
#include <map>
#include <string>

namespace bench {

// Set by `make bench-quick` (TANDRY_BENCH_QUICK=1): benchmarks run at a
// reduced size.
bool quick();

template <class T>
T sized(T full, T reduced)
{
    return quick() ? reduced : full;
}

// `value` must be at most (or at least) `limit`. `beside` is printed after
// it: the peer's own figure, the sizes, whatever tells the figure apart.
void atMost(const std::string& name, double value, double limit, const std::string& unit = {},
    const std::string& beside = {});
void atLeast(const std::string& name, double value, double limit, const std::string& unit = {},
    const std::string& beside = {});

// A figure printed with the others but judged against nothing.
void figure(const std::string& name, double value, const std::string& unit = {}, const std::string& beside = {});

// A side (ours or the peer's) gave the wrong answer, so no figure of this
// run counts: the benchmark fails.
void wrongAnswer(const std::string& what);

// Targets across benchmark runs (a microbenchmark against its baseline
// registered beside it): `check` runs once all runs are done and reads
// their times and counters by name. A run's name is the one Google
// Benchmark prints without its "iterations:", "repeats:", "min_time:",
// "manual_time", "real_time" and "process_time" parts ("JsonRead/10"). Answers true, for use as
//   [[maybe_unused]] const bool targets = bench::atEnd([] { ... });
bool atEnd(std::function<void()> check);
// Seconds per iteration of the run, or NaN when it did not run (filtered
// out, or failed): a target with a NaN figure is printed as not run.
double runSeconds(const std::string& run);
double runCounter(const std::string& run, const std::string& counter);

// Called by the main for each run Google Benchmark reports.
void recordRun(const std::string& name, double secondsPerIteration, const std::map<std::string, double>& counters);

// Prints the figures and the last line for `program`; answers the exit
// status.
int finish(const std::string& program);

} // namespace bench

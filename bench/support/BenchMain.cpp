// The main of every benchmark program: Google Benchmark's runs, then the
// figures beside their targets and the last line (Report.h). A run that
// stopped with SkipWithError fails the program.

#include "Report.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace {

class ErrorCountingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (auto& run : runs) {
            if (run.error_occurred) {
                bench::wrongAnswer(run.benchmark_name() + ": " + run.error_message);
                continue;
            }
            if (run.run_type != Run::RT_Iteration || run.iterations == 0)
                continue;
            std::map<std::string, double> counters;
            for (auto& [name, counter] : run.counters)
                counters[name] = counter.value;
            bench::recordRun(run.benchmark_name(), run.real_accumulated_time / double(run.iterations), counters);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    ErrorCountingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return bench::finish(argv[0]);
}

// bench: tandry_rtf
// Parses generated documents of 1.25, 2.5 and 5 MB into word trees: time and
// the tree's heap size should both grow linearly with the input.

#include "GeneratedDocument.h"
#include "RTF/Parser.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sstream>
#include <string>

namespace {

void ParseDocument(benchmark::State& state)
{
    double megabytes = static_cast<double>(state.range(0)) / 4;
    std::string document = generated(megabytes);
    rtf::Parser parser;
    size_t treeBytes = 0;
    for (auto _ : state) {
        std::istringstream in(document);
        size_t before = mallinfo2().uordblks;
        rtf::Word* tree = parser.ParseStream(in);
        treeBytes = mallinfo2().uordblks - before;
        benchmark::DoNotOptimize(tree);
        state.PauseTiming();
        rtf::Word::Clean(tree);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
    state.counters["tree_bytes_per_input_byte"] = static_cast<double>(treeBytes) / static_cast<double>(document.size());
}

} // namespace

BENCHMARK(ParseDocument)->Arg(5)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// Linear: four times the input in at most five times the time, and the
// same tree bytes per input byte within a tenth.
[[maybe_unused]] static const bool targets = bench::atEnd([] {
    bench::atMost("parse of 5 MB / 1.25 MB", bench::runSeconds("ParseDocument/20") / bench::runSeconds("ParseDocument/5"), 5, "x");
    bench::atMost("tree bytes per input byte, 5 MB / 1.25 MB",
        bench::runCounter("ParseDocument/20", "tree_bytes_per_input_byte") / bench::runCounter("ParseDocument/5", "tree_bytes_per_input_byte"), 1.1, "x");
});

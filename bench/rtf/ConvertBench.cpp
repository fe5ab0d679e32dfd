// bench: tandry_rtf
// Converts generated documents of 1.25, 2.5 and 5 MB to HTML: time per input
// byte and output bytes per input byte should stay the same at every size.

#include "GeneratedDocument.h"
#include "RTF/Converter2HTML.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

namespace {

void ConvertDocument(benchmark::State& state)
{
    double megabytes = static_cast<double>(state.range(0)) / 4;
    std::string document = generated(megabytes);
    size_t outputBytes = 0;
    for (auto _ : state) {
        std::istringstream in(document);
        rtf::Converter2HTML converter;
        rtf::Params params;
        outputBytes = converter.Convert(in, params).size();
        benchmark::DoNotOptimize(outputBytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
    state.counters["output_bytes_per_input_byte"] = static_cast<double>(outputBytes) / static_cast<double>(document.size());
}

} // namespace

BENCHMARK(ConvertDocument)->Arg(5)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// Linear: four times the input in at most five times the time, and the
// same output bytes per input byte within a tenth.
[[maybe_unused]] static const bool targets = bench::atEnd([] {
    bench::atMost("conversion of 5 MB / 1.25 MB", bench::runSeconds("ConvertDocument/20") / bench::runSeconds("ConvertDocument/5"), 5, "x");
    bench::atMost("output bytes per input byte, 5 MB / 1.25 MB",
        bench::runCounter("ConvertDocument/20", "output_bytes_per_input_byte") / bench::runCounter("ConvertDocument/5", "output_bytes_per_input_byte"), 1.1, "x");
});

// bench: tandry_pdf tandry_test_support_pdf
// The outline index built at every open: 5,000 outline items (1,000
// chapters of four sections, a third of them sharing a page) over 1,000
// pages under one Pages node, indexed by the outline scanner and listed for
// the outline table. Target: indexing under 100 ms. Also: opening the
// 1,000-page bench document through the engine (target under 50 ms).
#include "BenchDocuments.h"

#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFOutlineScanner.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fmt/format.h>

namespace {

void OutlineScanner(benchmark::State& state)
{
    auto document = pdf::Document::open(bench::outlineDocument());
    if (!VKPDFOutlineScanner::initWithDocumentRef(document)->outlinesForPageNumber(500))
        bench::wrongAnswer("no outline item found for page 500");
    for (auto _ : state) {
        auto scanner = VKPDFOutlineScanner::initWithDocumentRef(document);
        benchmark::DoNotOptimize(scanner->outlinesForPageNumber(500));
    }
}
BENCHMARK(OutlineScanner)->Unit(benchmark::kMillisecond);

void OutlineList(benchmark::State& state)
{
    core::Data bytes = bench::outlineDocument();
    for (auto _ : state) {
        auto document = VKPDFDocument::initWithData(bytes);
        auto list = document->outlineList();
        // The table shows every entry's page.
        for (const VKPDFOutlineEntry& entry : *list)
            benchmark::DoNotOptimize(entry->at("Target").objectAs<VKPDFDestination>()->pageNumber());
    }
}
BENCHMARK(OutlineList)->Unit(benchmark::kMillisecond);

void OpenBenchDocument(benchmark::State& state)
{
    std::string folder = (std::filesystem::temp_directory_path() / "tandry-bench-pdfs").string();
    std::string path = bench::benchDocumentPath(folder, 1000);
    for (auto _ : state) {
        auto document = VKPDFDocument::initWithPath(path);
        benchmark::DoNotOptimize(document->numPages());
    }
}
BENCHMARK(OpenBenchDocument)->Unit(benchmark::kMillisecond);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    bench::atMost("outline of 5,000 items indexed", bench::runSeconds("OutlineScanner") * 1000, 100, "ms");
    bench::atMost("1,000-page document opened", bench::runSeconds("OpenBenchDocument") * 1000, 50, "ms");
    bench::figure("outline listed for the table", bench::runSeconds("OutlineList") * 1000, "ms");
});

} // namespace

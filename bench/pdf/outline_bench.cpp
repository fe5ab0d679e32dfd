// bench: tandry_pdf tandry_test_support_pdf
// The outline index built at every open: 5,000 outline items (1,000
// chapters of four sections, a third of them sharing a page) over 1,000
// pages under one Pages node, indexed by the outline scanner and listed for
// the outline table. Target: indexing under 100 ms. Also: opening the
// 1,000-page bench document through the engine (target under 50 ms).
#include "BenchDocuments.h"

#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFOutlineScanner.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fmt/format.h>

namespace {

core::Data outlineDocument()
{
    test::PdfBuilder builder;
    std::vector<int> pages;
    for (int i = 0; i < 1000; ++i)
        pages.push_back(builder.addPage(""));
    std::vector<test::PdfBuilder::OutlineItem> chapters;
    for (int chapter = 0; chapter < 1000; ++chapter) {
        test::PdfBuilder::OutlineItem item { fmt::format("Chapter {}", chapter + 1),
            fmt::format("[{} 0 R /XYZ 0 792 0]", pages[size_t(chapter)]), {}, {} };
        for (int section = 0; section < 4; ++section) {
            size_t page = std::min<size_t>(999, size_t(chapter + section / 2));
            item.children.push_back({ fmt::format("Section {}.{}", chapter + 1, section + 1),
                fmt::format("[{} 0 R /FitH {}]", pages[page], 700 - section * 150), {}, {} });
        }
        chapters.push_back(std::move(item));
    }
    builder.setOutline(chapters);
    return builder.build();
}

void OutlineScanner(benchmark::State& state)
{
    auto document = pdf::Document::open(outlineDocument());
    for (auto _ : state) {
        auto scanner = VKPDFOutlineScanner::initWithDocumentRef(document);
        benchmark::DoNotOptimize(scanner->outlinesForPageNumber(500));
    }
}
BENCHMARK(OutlineScanner)->Unit(benchmark::kMillisecond);

void OutlineList(benchmark::State& state)
{
    core::Data bytes = outlineDocument();
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

} // namespace

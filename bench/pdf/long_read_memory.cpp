// bench: tandry_platform_pdf tandry_test_support_pdf
// Memory of a long read through one open document: every page's text, and
// every page drawn (at a quarter) with its text, as the viewer reads pages,
// by the child pdf_read_pages (built beside this bench) in a process of its
// own, which prints the memory it has allocated (RssAnon) after page 1, 10
// and every 200th, and the most after any page. Documents: the 2,500-page bench document and, when
// Debian's valgrind documentation is here, its 397-page manual (Apache FOP)
// seven times over (2,779 pages, joined by qpdf at bench time). Target: the
// memory after the last page, and after any page, at most twice that after
// the first.
#include "BenchDocuments.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

const std::string& folder()
{
    static const std::string path = (std::filesystem::temp_directory_path() / "tandry-bench-pdfs").string();
    return path;
}

// The valgrind manual seven times over; empty when it is not here.
std::string manualSevenTimes()
{
    const std::string source = "/usr/share/doc/valgrind/valgrind_manual.pdf.gz";
    std::string path = folder() + "/valgrind-manual-x7.pdf";
    if (std::filesystem::exists(path))
        return path;
    if (!std::filesystem::exists(source))
        return {};
    std::string manual = folder() + "/valgrind-manual.pdf";
    std::string command = fmt::format("zcat {0} > {1} && qpdf --empty --pages {1} {1} {1} {1} {1} {1} {1} -- {2}.part "
                                      "2>/dev/null; test -s {2}.part && mv {2}.part {2}",
        source, manual, path);
    if (std::system(command.c_str()) != 0 || !std::filesystem::exists(path))
        return {};
    return path;
}

// The child's figures: page number → KiB, the most after any page last.
std::vector<std::pair<int, double>> readPages(const std::string& mode, const std::string& path)
{
    std::vector<std::pair<int, double>> figures;
    std::string command = fmt::format("{}/pdf_read_pages {} {} 2>/dev/null", TANDRY_BENCH_BINARY_DIR, mode, path);
    FILE* output = popen(command.c_str(), "r");
    if (!output)
        return figures;
    int page = 0;
    double kib = 0, peak = 0;
    int peakPage = 0;
    char line[256];
    while (std::fgets(line, sizeof line, output)) {
        if (std::sscanf(line, "page %d %lf KiB", &page, &kib) == 2)
            figures.emplace_back(page, kib);
        else
            std::sscanf(line, "peak %lf KiB at page %d", &peak, &peakPage);
    }
    if (peak > 0)
        figures.emplace_back(peakPage, peak);
    else
        figures.clear();
    if (pclose(output) != 0)
        figures.clear();
    return figures;
}

void LongRead(benchmark::State& state, std::string name, bool manual)
{
    std::string path = manual ? manualSevenTimes() : bench::benchDocumentPath(folder(), bench::sized(2500, 500));
    if (path.empty()) {
        for (auto _ : state)
            state.SetIterationTime(0);
        bench::figure(name + ": not here", 0);
        return;
    }
    for (auto _ : state) {
        for (std::string mode : { "text", "draw" }) {
            auto figures = readPages(mode, path);
            if (figures.size() < 3) {
                bench::wrongAnswer(fmt::format("{}: pdf_read_pages {} failed", name, mode));
                continue;
            }
            auto [peakPage, peak] = figures.back();
            figures.pop_back();
            double first = figures.front().second, last = figures.back().second;
            std::ostringstream steps;
            for (const auto& [page, kib] : figures)
                steps << (steps.tellp() > 0 ? ", " : "") << page << ": " << int(kib / 1024 + 0.5);
            bench::atMost(fmt::format("{}, {}: memory after every page / after the first", name, mode), last / first, 2,
                "x", fmt::format("MiB after page {}", steps.str()));
            bench::atMost(fmt::format("{}, {}: most memory after any page / after the first", name, mode), peak / first,
                2, "x", fmt::format("{} MiB after page {}", int(peak / 1024 + 0.5), peakPage));
        }
        state.SetIterationTime(1);
    }
}

const bool registered = [] {
    benchmark::RegisterBenchmark("LongRead/generated", LongRead, "generated, 2500 pages", false)
        ->UseManualTime()->Iterations(1);
    benchmark::RegisterBenchmark("LongRead/manual", LongRead, "valgrind manual x7, 2779 pages", true)
        ->UseManualTime()->Iterations(1);
    return true;
}();

} // namespace

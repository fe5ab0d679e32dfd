// bench: tandry_pdf tandry_test_support_pdf
// Text extraction of every page of the 500-page bench document and of the
// real-world fixtures, one page's text in memory at a time on one thread,
// against `pdftotext -raw` on the same files in the same run. Target: at most
// 1.5 × pdftotext's time (counter "vs_pdftotext"). Also counted: decoders
// made (one per font object) and glyph-list opens (one).
#include "../PeerTiming.h"
#include "BenchDocuments.h"

#include "PDF/VKPDFFontInfo.h"
#include "PDF/VKPDFPageTextScanner.h"
#include "PDF/VKPDFSimpleFontInfo.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/PDF/Document.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>

namespace {

using bench::peer;
using bench::seconds;

const std::string& folder()
{
    static const std::string path = (std::filesystem::temp_directory_path() / "tandry-bench-pdfs").string();
    return path;
}

std::vector<std::string> documents()
{
    std::vector<std::string> paths { bench::benchDocumentPath(folder(), 500) };
    for (const char* name : { "writer.pdf", "writer-cairo.pdf", "reportlab.pdf", "ghostscript.pdf" })
        paths.push_back(std::string(TANDRY_SOURCE_DIR) + "/tests/fixtures/pdf/" + name);
    return paths;
}

size_t extractAll(const std::string& path)
{
    core::Data bytes;
    core::fs::readFile(path, bytes);
    auto document = pdf::Document::open(bytes);
    size_t units = 0;
    for (int n = 1; document && n <= document->pageCount(); ++n) {
        auto scanner = VKPDFPageTextScanner::create(document->page(n));
        units += scanner->text().size();
        benchmark::DoNotOptimize(scanner->glyphRects().size());
    }
    if (document)
        VKPDFFontInfo::removeFontInfosForDocument(document->serial());
    return units;
}

void ExtractVsPdftotext(benchmark::State& state)
{
    std::vector<std::string> paths = documents();
    std::string out = folder() + "/peer.txt";
    double ours = 0, peerTime = 0;
    int64_t rounds = 0;
    size_t units = 0;
    uint64_t madeBefore = VKPDFFontInfo::fontInfoCreationCount();
    for (auto _ : state) {
        double elapsed = seconds([&] {
            for (const std::string& path : paths)
                units = extractAll(path);
        });
        state.SetIterationTime(elapsed);
        ours += elapsed;
        for (const std::string& path : paths)
            peerTime += peer(fmt::format("pdftotext -raw {} {} 2>/dev/null", path, out));
        ++rounds;
    }
    state.counters["pdftotext_s"] = peerTime / double(rounds);
    state.counters["vs_pdftotext"] = ours / peerTime;
    state.counters["decoders_per_round"] = double(VKPDFFontInfo::fontInfoCreationCount() - madeBefore) / double(rounds);
    state.counters["glyphlist_opens"] = double(VKPDFSimpleFontInfo::glyphListOpenCount());
    state.counters["last_units"] = double(units);
}
BENCHMARK(ExtractVsPdftotext)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

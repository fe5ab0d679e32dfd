// bench: tandry_pdf tandry_test_support_pdf
// Text extraction of every page of the 500-page bench document and of the
// real-world fixtures, one page's text in memory at a time on one thread,
// against `pdftotext -raw` on the same files in the same run. Target: at most
// 1.5 × pdftotext's time (counter "vs_pdftotext"). Also counted: decoders
// made (one per font object) and glyph-list opens (one).
//
// Agreement/<document> does the same for each real document (those made at
// bench time by pdflatex, groff with Ghostscript and LibreOffice, see
// RealDocuments.h, and the committed fixtures) and reads both texts: "f1" is
// the word agreement with pdftotext's text, page by page (words as the
// search index cuts them, after compatibility composition and lower-casing,
// counted with their repetitions). AgreementSummary gives the median and the
// lowest F1 and the slowest ratio on documents of 100 pages or more. Targets:
// median F1 at least 0.98, none below 0.95; at most 0.6 × pdftotext's time on
// the long documents. "page_median_f1", "page_lowest_f1" and "worst_page"
// tell the pages apart.
//
// TANDRY_BENCH_PDFS names more documents to hold to the same measure
// (files, or folders whose .pdf files are taken, separated by ':'): each is
// reported as Agreement/more-<name>, as figures against no target, and in
// MoreSummary, as people's documents of any kind are not the bench's to
// hold to its targets.
#include "../PeerTiming.h"
#include "BenchDocuments.h"
#include "RealDocuments.h"

#include "Kit/StringRegexAdditions.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/Core/UTF8.h"

#include <unicode/unistr.h>

#include "PDF/VKPDFFontInfo.h"
#include "PDF/VKPDFPageTextScanner.h"
#include "PDF/VKPDFSimpleFontInfo.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/PDF/Document.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

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
    uint64_t madeBefore = VKPDFFontInfo::fontInfoCreationCountForTesting();
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
    state.counters["decoders_per_round"] = double(VKPDFFontInfo::fontInfoCreationCountForTesting() - madeBefore) / double(rounds);
    state.counters["glyphlist_opens"] = double(VKPDFSimpleFontInfo::glyphListOpenCountForTesting());
    state.counters["last_units"] = double(units);
    if (units == 0)
        bench::wrongAnswer("no text extracted from the last fixture");
    bench::atMost("every page of the bench document and fixtures / pdftotext -raw", ours / peerTime, 1.5, "x",
        fmt::format("{:.0f} ms, pdftotext {:.0f} ms", ours / double(rounds) * 1000, peerTime / double(rounds) * 1000));
}
BENCHMARK(ExtractVsPdftotext)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// ---- agreement with pdftotext on real documents ----

using WordCounts = std::map<std::u16string, size_t>;

struct Agreement {
    double f1 = 0;
    size_t pages = 0;
    double ratio = 0;
};

std::map<std::string, Agreement>& agreements(bool more = false)
{
    static std::map<std::string, Agreement> results, moreResults;
    return more ? moreResults : results;
}

// The F1 of two word counts.
double f1(size_t common, size_t mine, size_t their)
{
    double precision = mine ? double(common) / double(mine) : 1;
    double recall = their ? double(common) / double(their) : 1;
    return precision + recall > 0 ? 2 * precision * recall / (precision + recall) : 0;
}

// Lower-cased words of a text after compatibility composition, with their
// counts, without the embedding controls pdftotext wraps right-to-left
// words in (they are no part of any word).
WordCounts foldedWords(std::u16string_view text)
{
    std::u16string plain;
    for (char16_t c : text) {
        if (!(c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)))
            plain += c;
    }
    std::u16string composed = core::compatibilityPrecomposed(plain);
    icu::UnicodeString lower(false, composed.data(), int32_t(composed.size()));
    lower.toLower();
    WordCounts counts;
    for (const auto& word : vkWordBoundaryTokens(std::u16string(lower.getBuffer(), size_t(lower.length()))))
        ++counts[word];
    return counts;
}

void Agreement_(benchmark::State& state, const std::string& path, bool more)
{
    std::string out = folder() + "/agreement.txt";
    double ours = 0, peerTime = 0;
    int64_t rounds = 0;
    std::vector<std::u16string> ourPages;
    for (auto _ : state) {
        ourPages.clear();
        double elapsed = seconds([&] {
            core::Data bytes;
            core::fs::readFile(path, bytes);
            auto document = pdf::Document::open(bytes);
            for (int n = 1; document && n <= document->pageCount(); ++n)
                ourPages.push_back(VKPDFPageTextScanner::create(document->page(n))->text());
            if (document)
                VKPDFFontInfo::removeFontInfosForDocument(document->serial());
        });
        state.SetIterationTime(elapsed);
        ours += elapsed;
        peerTime += peer(fmt::format("pdftotext -raw {} {} 2>/dev/null", path, out));
        ++rounds;
    }
    // pdftotext ends each page with a form feed.
    std::ifstream file(out, std::ios::binary);
    std::string theirs((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> theirPages;
    std::istringstream stream(theirs);
    for (std::string page; std::getline(stream, page, '\f');)
        theirPages.push_back(page);
    size_t common = 0, mine = 0, their = 0;
    std::vector<std::pair<double, size_t>> pageScores;
    for (size_t i = 0; i < ourPages.size(); ++i) {
        WordCounts a = foldedWords(ourPages[i]);
        WordCounts b = i < theirPages.size() ? foldedWords(core::toUTF16(theirPages[i])) : WordCounts();
        size_t pageCommon = 0, pageMine = 0, pageTheir = 0;
        for (const auto& [word, count] : a) {
            pageMine += count;
            if (auto found = b.find(word); found != b.end())
                pageCommon += std::min(count, found->second);
        }
        for (const auto& [word, count] : b)
            pageTheir += count;
        pageScores.emplace_back(f1(pageCommon, pageMine, pageTheir), i + 1);
        common += pageCommon;
        mine += pageMine;
        their += pageTheir;
    }
    Agreement agreement;
    agreement.f1 = f1(common, mine, their);
    agreement.pages = ourPages.size();
    agreement.ratio = ours / peerTime;
    agreements(more)[std::filesystem::path(path).filename().string()] = agreement;
    std::sort(pageScores.begin(), pageScores.end());
    if (!pageScores.empty()) {
        state.counters["page_median_f1"] = pageScores[pageScores.size() / 2].first;
        state.counters["page_lowest_f1"] = pageScores.front().first;
        state.counters["worst_page"] = double(pageScores.front().second);
    }
    state.counters["f1"] = agreement.f1;
    state.counters["pages"] = double(agreement.pages);
    state.counters["vs_pdftotext"] = agreement.ratio;
    state.counters["pdftotext_s"] = peerTime / double(rounds);
    const std::string name = std::filesystem::path(path).filename().string();
    if (ourPages.empty() || theirPages.empty())
        bench::wrongAnswer(fmt::format("{}: {} pages read, pdftotext wrote {}", name, ourPages.size(), theirPages.size()));
    if (more) {
        if (!pageScores.empty())
            bench::figure(fmt::format("{} ({} pages): F1; page median, lowest", name, agreement.pages), agreement.f1,
                "", fmt::format("{:.3f}, {:.3f} (page {}); {:.2f}x pdftotext's time", pageScores[pageScores.size() / 2].first,
                    pageScores.front().first, pageScores.front().second, agreement.ratio));
        return;
    }
    if (agreement.pages >= 100)
        bench::atMost(fmt::format("extraction of {} ({} pages) / pdftotext -raw", name, agreement.pages), agreement.ratio,
            0.6, "x",
            fmt::format("{:.0f} ms, pdftotext {:.0f} ms", ours / double(rounds) * 1000, peerTime / double(rounds) * 1000));
}

void AgreementSummary(benchmark::State& state, bool more)
{
    for (auto _ : state) { }
    std::vector<double> scores;
    double slowest = 0;
    for (const auto& [name, agreement] : agreements(more)) {
        scores.push_back(agreement.f1);
        if (agreement.pages >= 100)
            slowest = std::max(slowest, agreement.ratio);
    }
    std::sort(scores.begin(), scores.end());
    if (scores.empty())
        return;
    size_t middle = scores.size() / 2;
    state.counters["median_f1"] = scores.size() % 2 ? scores[middle] : (scores[middle - 1] + scores[middle]) / 2;
    state.counters["lowest_f1"] = scores.front();
    state.counters["documents"] = double(scores.size());
    state.counters["slowest_vs_pdftotext_100_pages"] = slowest;
    if (more) {
        bench::figure("more documents: median F1", state.counters["median_f1"], "",
            fmt::format("lowest {:.3f}, {} documents", scores.front(), scores.size()));
        return;
    }
    bench::atLeast("median word agreement with pdftotext -raw (F1)", state.counters["median_f1"], 0.98, "",
        fmt::format("{} documents", scores.size()));
    std::string lowest;
    for (const auto& [name, agreement] : agreements())
        if (agreement.f1 == scores.front())
            lowest = name;
    bench::atLeast("lowest word agreement (F1)", scores.front(), 0.95, "", lowest);
}

[[maybe_unused]] const bool registered = [] {
    std::vector<std::string> paths = bench::realDocumentPaths(folder());
    for (const char* name : { "tex-builtin.pdf", "groff.pdf", "writer.pdf", "writer-cairo.pdf", "reportlab.pdf", "ghostscript.pdf" })
        paths.push_back(std::string(TANDRY_SOURCE_DIR) + "/tests/fixtures/pdf/" + name);
    paths.push_back(bench::benchDocumentPath(folder(), 500));
    auto add = [](const std::string& path, bool more) {
        std::string name = (more ? "Agreement/more-" : "Agreement/") + std::filesystem::path(path).stem().string();
        benchmark::RegisterBenchmark(name.c_str(), [path, more](benchmark::State& state) { Agreement_(state, path, more); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    };
    for (const std::string& path : paths)
        add(path, false);
    benchmark::RegisterBenchmark("AgreementSummary", AgreementSummary, false)->Iterations(1);
    std::vector<std::string> more;
    std::istringstream named(std::getenv("TANDRY_BENCH_PDFS") ? std::getenv("TANDRY_BENCH_PDFS") : "");
    for (std::string entry; std::getline(named, entry, ':');) {
        std::error_code error;
        if (std::filesystem::is_directory(entry, error)) {
            for (const auto& file : std::filesystem::directory_iterator(entry, error))
                if (file.path().extension() == ".pdf")
                    more.push_back(file.path().string());
        } else if (!entry.empty())
            more.push_back(entry);
    }
    std::sort(more.begin(), more.end());
    for (const std::string& path : more)
        add(path, true);
    if (!more.empty())
        benchmark::RegisterBenchmark("MoreSummary", AgreementSummary, true)->Iterations(1);
    return true;
}();

} // namespace

// bench: tandry_pdf tandry_test_support_pdf
// Opening a long document and reading its first page's text, beside
// `pdftotext -f 1 -l 1` in the same run: a generated 2,500-page document
// written with object streams and an xref stream (qpdf), and any file named
// by TANDRY_BENCH_LARGE_PDF (a real manual). Each side runs as its own
// process (ours: pdf_first_page, built beside this bench), timed by the
// wall clock; peak RSS is what ours reads of itself and what GNU time
// reports of pdftotext (a child's rusage would count this bench's pages,
// which it shares until it runs its program). Targets: at most 3 × the peer's
// time and 3 × its memory ("time_ratio", "rss_ratio"); memory after every
// page's text at most twice that after the first ("all_pages_rss_ratio")
// and twice pdftotext's for the whole document ("all_pages_rss_vs_pdftotext"),
// at no less than twice its pages per second ("all_pages_speed_vs_pdftotext",
// the best of three turns each).
// For the whole document both sides' memory is what they allocate: the
// peak less the file-backed pages (support/OwnMemory.h; pdftotext's read
// by libmemory_at_exit preloaded). Ours loads some 85 libraries, pdftotext
// some 30, and ours maps the document where pdftotext reads it: those
// clean pages, shared with the page cache, would otherwise make most of
// either figure.
// "Manual" does the same for a manual page of about 2,400 pages set by groff
// and Ghostscript (made once, when both are here). Both sides are checked
// first: they end well, ours reads page 1's text and as many pages as
// pdfinfo counts.
#include "BenchDocuments.h"
#include "Report.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string& folder()
{
    static const std::string path = (std::filesystem::temp_directory_path() / "tandry-bench-pdfs").string();
    return path;
}

// The 2,500-page bench document rewritten with object streams.
std::string largeDocument()
{
    const int pages = bench::sized(2500, 500);
    std::string path = folder() + fmt::format("/bench-{}-objstm.pdf", pages);
    if (!std::filesystem::exists(path)) {
        std::string plain = bench::benchDocumentPath(folder(), pages);
        std::string command = fmt::format("qpdf --object-streams=generate {} {}.part && mv {}.part {}", plain, path, path, path);
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "failed: %s\n", command.c_str());
    }
    return path;
}

// A long manual page set by groff, through Ghostscript: Type 1C subsets
// shared by every page.
std::string manualDocument()
{
    std::string path = folder() + "/manual-2400.pdf";
    if (std::filesystem::exists(path) || std::system("command -v groff >/dev/null && command -v ps2pdf >/dev/null") != 0)
        return path;
    std::filesystem::create_directories(folder());
    std::string source = folder() + "/manual-2400.man";
    {
        std::ofstream man(source);
        man << ".TH MANUAL 1 \"2024\" \"Tandry\" \"Bench\"\n.SH NAME\nmanual \\- a long manual\n";
        std::mt19937 random(79);
        const char* words[] = { "the", "first", "field", "of", "a", "file", "office", "staff", "fill", "fine", "form",
            "affine", "function", "integer", "value", "return", "manual", "page", "section", "index", "table", "search" };
        for (int p = 0; p < 28000; ++p) {
            if (p % 40 == 0)
                man << ".SH SECTION " << p / 40 + 1 << "\n";
            man << (p % 4 == 3 ? ".TP 12\n.B Function\n" : ".PP\n");
            for (int w = 0, length = 40 + int(random() % 50); w < length; ++w)
                man << (w ? " " : "") << words[random() % std::size(words)];
            man << ".\n";
        }
    }
    std::string command = fmt::format("groff -man -Tps {0} > {0}.ps && ps2pdf {0}.ps {1}.part && mv {1}.part {1}", source, path);
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "failed: %s\n", command.c_str());
    return path;
}

std::string ourTool()
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "pdf_first_page").string();
}

struct Run {
    double seconds = 0;
    std::string output;
};

// Runs a program to its end with its output captured, timed by the wall
// clock.
Run run(const std::vector<std::string>& arguments)
{
    Run result;
    int pipe[2];
    if (::pipe(pipe) != 0)
        return result;
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        dup2(pipe[1], STDOUT_FILENO);
        close(pipe[0]);
        close(pipe[1]);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipe[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(pipe[0], buffer, sizeof buffer)) > 0;)
        result.output.append(buffer, size_t(n));
    close(pipe[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        bench::wrongAnswer(fmt::format("{} failed", fmt::join(arguments, " ")));
    return result;
}

double field(const std::string& output, const std::string& line, int index)
{
    size_t at = output.find(line + " ");
    if (at == std::string::npos)
        return 0;
    double values[3] = {};
    std::sscanf(output.c_str() + at + line.size(), "%lf %lf %lf", &values[0], &values[1], &values[2]);
    return values[index];
}

// The number of pages pdfinfo counts; 0 when it cannot.
int pdfinfoPages(const std::string& path)
{
    Run info = run({ "pdfinfo", path });
    size_t at = info.output.find("\nPages:");
    return at == std::string::npos ? 0 : std::atoi(info.output.c_str() + at + 7);
}

void OpenLarge(benchmark::State& state, const std::string& path, const std::string& name)
{
    double ours = 0, peer = 0, ourPeak = 0, peerPeak = 0, first = 0, all = 0;
    int64_t rounds = 0;
    for (auto _ : state) {
        Run mine = run({ ourTool(), path });
        Run theirs = run({ "/usr/bin/time", "-f", "time %M", "-o", "/dev/stdout", "pdftotext", "-f", "1", "-l", "1", path,
            "/dev/null" });
        state.SetIterationTime(mine.seconds);
        ours += mine.seconds;
        peer += theirs.seconds;
        ourPeak = std::max(ourPeak, field(mine.output, "first", 1) / 1024);
        peerPeak = std::max(peerPeak, field(theirs.output, "time", 0) / 1024);
        ++rounds;
    }
    // Every page, for the memory it leaves, beside pdftotext's whole
    // document: three turns each, the best time of each side.
    Run every, peerEvery;
    double allSeconds = INFINITY, peerAllSeconds = INFINITY;
    for (int turn = 0; turn < 3; ++turn) {
        every = run({ ourTool(), "--all", path });
        peerEvery = run({ "env", "LD_PRELOAD=" TANDRY_BENCH_BINARY_DIR "/libmemory_at_exit.so", "pdftotext", "-raw", path,
            "/dev/null" });
        allSeconds = std::min(allSeconds, field(every.output, "all", 0));
        peerAllSeconds = std::min(peerAllSeconds, peerEvery.seconds);
    }
    first = field(every.output, "first", 1);
    all = field(every.output, "all", 1);
    double own = field(every.output, "own", 0);
    double peerOwn = field(peerEvery.output, "own", 0);
    double peerAll = field(peerEvery.output, "own", 1);
    if (own <= 0 || peerOwn <= 0)
        bench::wrongAnswer(name + ": a side's allocated memory was not read");
    state.counters["all_pages_rss_vs_pdftotext"] = peerOwn > 0 ? own / peerOwn : 0;
    state.counters["all_pages_speed_vs_pdftotext"] = allSeconds > 0 ? peerAllSeconds / allSeconds : 0;
    state.counters["pdftotext_s"] = peer / double(rounds);
    state.counters["time_ratio"] = ours / peer;
    state.counters["rss_MiB"] = ourPeak;
    state.counters["pdftotext_rss_MiB"] = peerPeak;
    state.counters["rss_ratio"] = ourPeak / peerPeak;
    state.counters["all_pages_rss_ratio"] = first > 0 ? all / first : 0;
    state.counters["all_pages_s"] = allSeconds;
    state.counters["pages"] = field(every.output, "all", 2);

    const int pages = pdfinfoPages(path);
    if (field(every.output, "first", 2) <= 0)
        bench::wrongAnswer(name + ": no text read on page 1");
    if (pages == 0 || int(field(every.output, "all", 2)) != pages)
        bench::wrongAnswer(fmt::format("{}: {} pages read, pdfinfo counts {}", name, field(every.output, "all", 2), pages));
    const std::string of = fmt::format("{}, {} pages", name, pages);
    bench::atMost(of + ": first page's text / pdftotext -f 1 -l 1", ours / peer, 3, "x",
        fmt::format("{:.0f} ms, pdftotext {:.0f} ms", ours / double(rounds) * 1000, peer / double(rounds) * 1000));
    bench::atMost(of + ": its peak memory / pdftotext's", ourPeak / peerPeak, 3, "x",
        fmt::format("{:.1f} MiB, pdftotext {:.1f} MiB", ourPeak, peerPeak));
    bench::atMost(of + ": memory after every page / after the first", first > 0 ? all / first : 0, 2, "x",
        fmt::format("{:.1f} MiB and {:.1f} MiB", all / 1024, first / 1024));
    bench::atMost(of + ": memory allocated after every page / pdftotext's", peerOwn > 0 ? own / peerOwn : 0, 2, "x",
        fmt::format("{:.1f} MiB, pdftotext -raw {:.1f} MiB; with file-backed pages {:.1f} MiB and {:.1f} MiB", own / 1024,
            peerOwn / 1024, all / 1024, peerAll / 1024));
    bench::atLeast(of + ": pages a second / pdftotext's", allSeconds > 0 ? peerAllSeconds / allSeconds : 0, 2, "x",
        fmt::format("{:.2f} s, pdftotext -raw {:.2f} s (best of 3)", allSeconds, peerAllSeconds));
}

void Generated(benchmark::State& state)
{
    OpenLarge(state, largeDocument(), "generated");
}
BENCHMARK(Generated)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void Manual(benchmark::State& state)
{
    std::string path = manualDocument();
    if (!std::filesystem::exists(path)) {
        bench::wrongAnswer("groff or ps2pdf is missing (scripts/install-deps --bench installs them)");
        return;
    }
    OpenLarge(state, path, "groff manual");
}
BENCHMARK(Manual)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

[[maybe_unused]] const bool registered = [] {
    if (const char* path = std::getenv("TANDRY_BENCH_LARGE_PDF"))
        benchmark::RegisterBenchmark("Given", [path = std::string(path)](benchmark::State& state) { OpenLarge(state, path, "given"); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5);
    return true;
}();

} // namespace

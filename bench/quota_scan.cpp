// bench: tandry_filemodel
// The quota tree on 100,000 files in 10,000 folders, in the current folder
// (a disk, not tmpfs):
// - a full scan beside `du -sb` on the same tree in the same run (target:
//   within 2x);
// - a smart rescan of an unchanged tree (target: at least 10x faster than
//   the full scan);
// - name searches over half and all of the tree (target: linear), and the
//   tree's memory per entry (counter "bytesPerEntry"; target: at most 200
//   bytes besides the names).

#include "FileModel/VKQuotaManager.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace {

constexpr int TopFolders = 100;
constexpr int SubFolders = 100;
constexpr int FilesPerFolder = 10;

// The tree, made once per run under the current folder.
const std::string& tree()
{
    static std::string root = [] {
        // The program's setting: a main thread, and a home for the log's "~".
        core::RunLoop::setMainThread();
        core::paths::setHome(std::filesystem::current_path().string());
        auto path = std::filesystem::current_path() / fmt::format("quota-bench-{}", getpid());
        for (int top = 0; top < TopFolders; ++top) {
            for (int sub = 0; sub < SubFolders; ++sub) {
                auto folder = path / fmt::format("Folder {:03}", top) / fmt::format("Report set {:03}", sub);
                std::filesystem::create_directories(folder);
                for (int file = 0; file < FilesPerFolder; ++file) {
                    std::ofstream out(folder / fmt::format("report{:02}.txt", file), std::ios::binary);
                    out << std::string(static_cast<size_t>(file * 37 + sub), 'x');
                }
            }
        }
        std::atexit([] { std::filesystem::remove_all(std::filesystem::current_path() / fmt::format("quota-bench-{}", getpid())); });
        return path.string();
    }();
    return root;
}

// The updates post their notification to the main loop; it is drained
// outside the timed part.
void drainMainLoop()
{
    core::RunLoop::main().runUntilIdle();
}

std::shared_ptr<VKQuotaManager> scannedManager()
{
    auto manager = VKQuotaManager::create(tree(), tree() + "/no-mirror");
    manager->updateQuotaForPath(tree());
    drainMainLoop();
    return manager;
}

void QuotaFullScan(benchmark::State& state)
{
    const std::string& root = tree();
    auto manager = VKQuotaManager::create(root, root + "/no-mirror");
    for (auto _ : state) {
        benchmark::DoNotOptimize(manager->createStructureForPath(root));
    }
    state.counters["files"] = TopFolders * SubFolders * FilesPerFolder;
}
BENCHMARK(QuotaFullScan)->Unit(benchmark::kMillisecond);

void DuSummary(benchmark::State& state)
{
    std::string command = fmt::format("du -sb '{}' > /dev/null", tree());
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("du failed");
    }
}
BENCHMARK(DuSummary)->Unit(benchmark::kMillisecond);

void QuotaSmartRescanUnchanged(benchmark::State& state)
{
    core::LogCapture quiet(true);
    auto manager = scannedManager();
    for (auto _ : state) {
        manager->smartUpdateQuotaForDirectory(tree());
        state.PauseTiming();
        drainMainLoop();
        state.ResumeTiming();
    }
}
BENCHMARK(QuotaSmartRescanUnchanged)->Unit(benchmark::kMillisecond);

void QuotaSearch(benchmark::State& state)
{
    auto manager = scannedManager();
    // Half the tree, or all of it.
    std::vector<std::string> roots;
    if (state.range(0) == 50) {
        for (int top = 0; top < TopFolders / 2; ++top)
            roots.push_back(fmt::format("{}/Folder {:03}", tree(), top));
    } else {
        roots.push_back(tree());
    }
    size_t found = 0;
    for (auto _ : state) {
        found = 0;
        for (const auto& folder : roots)
            found += manager->itemsMatchingQuery("report0", folder, true, false)->size();
    }
    state.counters["results"] = static_cast<double>(found);
    // "report0" names report00–09 in every folder searched.
    if (found != size_t(TopFolders * SubFolders * FilesPerFolder * state.range(0) / 100))
        bench::wrongAnswer(fmt::format("the search found {} items", found));
}
BENCHMARK(QuotaSearch)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

void QuotaTreeMemory(benchmark::State& state)
{
    const size_t entries = TopFolders + TopFolders * SubFolders * (1 + FilesPerFolder);
    double bytes = 0;
    for (auto _ : state) {
        size_t before = mallinfo2().uordblks;
        auto manager = scannedManager();
        size_t after = mallinfo2().uordblks;
        bytes = static_cast<double>(after - before);
        benchmark::DoNotOptimize(manager);
    }
    state.counters["bytesPerEntry"] = bytes / static_cast<double>(entries);
    // "Folder 000", "Report set 000", "report00.txt", each with its end.
    const double names = double(TopFolders * 11 + TopFolders * SubFolders * (15 + FilesPerFolder * 13));
    bench::atMost("quota tree memory per entry beyond its name", (bytes - names) / static_cast<double>(entries), 200, "bytes");
}
BENCHMARK(QuotaTreeMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    using bench::runSeconds;
    bench::atMost("full scan of 100,000 files / du -sb", runSeconds("QuotaFullScan") / runSeconds("DuSummary"), 2, "x");
    bench::atMost("smart rescan of the unchanged tree / full scan",
        runSeconds("QuotaSmartRescanUnchanged") / runSeconds("QuotaFullScan"), 0.1, "x");
    bench::atMost("name search, all / half the tree", runSeconds("QuotaSearch/100") / runSeconds("QuotaSearch/50"), 2.5, "x",
        "linear: 2x");
});

} // namespace

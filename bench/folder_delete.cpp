// bench: tandry_app
// Deleting 10,000 marked files through the folder list (into the trash, the
// rows gone, the trash emptied behind it) against `mv` of the same number
// of files into one folder, in one run:
// - the whole delete ≤ 1 s, reported as a ratio to `mv` ("xMv");
// - no main-loop pass of the delete over 50 ms ("maxPassMs");
// - the heap after the delete no larger than before it by more than 1 MiB
//   ("heapGrowthKB"): the marks, the slices and the trash holder go.
// Run in a folder on a disk (the current one).

#include "PeerTiming.h"
#include "Report.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKFolderOperations.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/UI/Window.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <malloc.h>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

const int Items = bench::sized(10'000, 1'000);

std::string benchHome()
{
    return (std::filesystem::current_path() / fmt::format("delete-bench-{}", getpid())).string();
}

void fillFolder(const std::string& folder)
{
    std::filesystem::create_directories(folder);
    for (int i = 0; i < Items; ++i)
        std::ofstream(fmt::format("{}/item {:05}.txt", folder, i)) << "x";
}

const std::string& documents()
{
    static const std::string made = [] {
        core::RunLoop::setMainThread();
        std::string home = benchHome();
        std::filesystem::create_directories(home);
        core::paths::setHome(home);
        ui::testing::Environment::begin();
        std::atexit([] { std::filesystem::remove_all(benchHome()); });
        // The trash where the program keeps it.
        setTrashPathProvider([] { return VKApplication::sharedApplication()->metadataSubdirectory("Trash"); });
        return VKApplication::sharedApplication()->documentsDirectory();
    }();
    return made;
}

size_t heapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks;
}

void DeleteMarked(benchmark::State& state)
{
    const std::string folder = documents() + "/Delete";
    const std::string source = documents() + "/MoveFrom";
    const std::string target = documents() + "/MoveTo";
    double ours = 0, theirs = 0, worstPass = 0, runs = 0;
    long growth = 0;
    std::string failure;
    for (auto _ : state) {
        state.PauseTiming();
        fillFolder(folder);
        fillFolder(source);
        std::filesystem::create_directories(target);
        VKQuotaManager::defaultManager()->updateQuotaForPath(documents());
        core::RunLoop::main().runUntilIdle();
        auto controller = VKFolderController::folderControllerWithResource(VKFileResource::resourceWithPath(folder), {});
        auto navigation = VKNavigationController::create(controller);
        auto& window = ui::testing::Environment::keyWindow();
        window->setRootViewController(navigation);
        window->layoutIfNeeded();
        controller->setEditing(true, false);
        controller->markAllItems();
        if (controller->editing().markedResources().size() != size_t(Items))
            failure = fmt::format("{} of {} items were marked", controller->editing().markedResources().size(), Items);
        size_t before = heapInUse();
        state.ResumeTiming();

        std::vector<double> passes;
        ours += bench::seconds([&] {
            passes.push_back(bench::seconds([&] { controller->commands().deleteMarkedItemsNoConfirmation(); }));
            while (controller->commands().operations().isDeleting())
                passes.push_back(bench::seconds([] { core::RunLoop::main().runOnce(); }));
        });
        worstPass = std::max(worstPass, *std::max_element(passes.begin(), passes.end()));
        if (std::getenv("TANDRY_BENCH_PASSES"))
            for (size_t i = 0; i < passes.size(); ++i)
                std::fprintf(stderr, "pass %zu: %.1f ms\n", i, passes[i] * 1000);

        state.PauseTiming();
        if (controller->listing().count() != 0 || !std::filesystem::is_empty(folder))
            failure = fmt::format("{} rows and {} files were left behind", controller->listing().count(),
                std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
        theirs += bench::peer(fmt::format("find '{}' -maxdepth 1 -type f -exec mv -t '{}' {{}} +", source, target));
        core::Thread::waitForAll(30);
        core::RunLoop::main().runUntilIdle();
        growth = std::max(growth, long(heapInUse()) - long(before));
        window->setRootViewController(nullptr);
        navigation.reset();
        controller.reset();
        core::RunLoop::main().runUntilIdle();
        std::filesystem::remove_all(folder);
        std::filesystem::remove_all(source);
        std::filesystem::remove_all(target);
        runs += 1;
        state.ResumeTiming();
    }
    state.counters["s"] = ours / runs;
    state.counters["xMv"] = ours / theirs;
    state.counters["maxPassMs"] = worstPass * 1000;
    state.counters["heapGrowthKB"] = double(growth) / 1024;
    if (!failure.empty())
        bench::wrongAnswer(failure);
    // The target is for 10,000 files; fewer in a quick run.
    bench::atMost(fmt::format("delete {} files", Items), ours / runs, double(Items) / 10'000, "s",
        fmt::format("mv of as many {:.3f} s ({:.1f}x)", theirs / runs, ours / theirs));
    bench::atMost("longest main-loop pass", worstPass * 1000, 50, "ms");
    bench::atMost("heap growth", double(growth) / 1024, 1024, "KiB");
}
BENCHMARK(DeleteMarked)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace


// bench: tandry_app
// The folder picker over Documents/Many: 10,000 subfolders (digits, mixed
// case), the quota tree scanned. Open (the screen pushed, the quota tree
// read, hidden names filtered, the names sorted, the first layout) must
// take at most 50 ms ("ms"); the cells alive afterwards stay at the visible
// rows ("liveCells").
// Run in a folder on a disk (the current one).

#include "App/FolderBrowser/VKFolderPickerController.h"
#include "App/FolderBrowser/VKFolderPickerViewController.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/UI/Window.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <string>
#include <unistd.h>

namespace {

constexpr int Folders = 10'000;

std::string benchHome()
{
    return (std::filesystem::current_path() / fmt::format("picker-bench-{}", getpid())).string();
}

const std::string& many()
{
    static std::string made = [] {
        core::RunLoop::setMainThread();
        std::string home = benchHome();
        std::filesystem::create_directories(home);
        core::paths::setHome(home);
        ui::testing::Environment::begin();
        std::string public_ = VKApplication::sharedApplication()->publicDirectory();
        std::string folder = public_ + "/Many";
        static const char* stems[] = { "Album", "scans", "Invoices", "notes", "Zeta", "IMG" };
        for (int i = 0; i < Folders; ++i)
            std::filesystem::create_directories(fmt::format("{}/{} {}", folder, stems[i % 6], i * 7919 % 100'003));
        VKQuotaManager::defaultManager()->updateQuotaForPath(public_);
        core::RunLoop::main().runUntilIdle();
        std::atexit([] { std::filesystem::remove_all(benchHome()); });
        return folder;
    }();
    return made;
}

void Open(benchmark::State& state)
{
    many();
    auto picker = VKFolderPickerController::folderPickerWithLocalDirectories();
    auto& window = ui::testing::Environment::keyWindow();
    window->setRootViewController(picker);
    core::RunLoop::main().runUntilIdle();
    double total = 0, runs = 0;
    size_t cells = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        auto screen = VKFolderPickerViewController::create(VKFileResource::resourceWithPath(many()));
        picker->pushViewController(screen, false);
        window->layoutIfNeeded();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        runs += 1;
        state.PauseTiming();
        if (screen->folders().size() != size_t(Folders))
            bench::wrongAnswer("not every folder listed");
        cells = screen->tableView().visibleCells().size();
        picker->popViewController(false);
        core::RunLoop::main().runUntilIdle();
        state.ResumeTiming();
    }
    state.counters["ms"] = total / runs * 1000;
    state.counters["liveCells"] = double(cells);
    bench::atMost("picker over 10,000 subfolders opened", total / runs * 1000, 50, "ms", fmt::format("{} cells visible", cells));
    window->setRootViewController(nullptr);
    core::RunLoop::main().runUntilIdle();
}
BENCHMARK(Open)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

// bench: tandry_app
// The folder list over Documents/Big: 100,000 entries (2 % folders; digits,
// mixed case, accents, several extensions), the quota tree scanned and the
// directory cache warm. `ls -f Documents/Big > /dev/null` is timed in the
// same run and each result is reported as a ratio to it ("xLs"):
// - Open (made, pushed, rows sorted, strip, summary, screen laid out):
//   order 1 ≤ 5x, order 4 ≤ 8x;
// - a change of order on the open folder (no directory read) ≤ 1x;
// - the first jump (the section map over every row) ≤ 1x, later jumps
//   ≤ 1 ms;
// - one item added, removed or renamed by the browser ≤ 0.05x;
// - a notification naming a child (a reload) ≤ 1 ms;
// - a WebDAV-style rebuild after one new file ≤ 1.5x in orders 0-2, ≤ 4x
//   in orders 3-4 (which read the attributes again);
// - a "Local Files" search for "rep" (1,000 hits) ≤ 3x
//   `find <root> -iname '*rep*'`;
// - memory per listed item beyond its path ≤ 512 bytes, alike at 10,000
//   and 100,000 items ("bytesPerItem").
// Run in a folder on a disk (the current one).

#include "../PeerTiming.h"
#include "Report.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/UI/Window.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace {

const int Items = bench::sized(100'000, 10'000);
const int SmallItems = bench::sized(10'000, 1'000);

std::string benchHome()
{
    return (std::filesystem::current_path() / fmt::format("listing-bench-{}", getpid())).string();
}

// Names with digits, mixed case, accents and several extensions; every
// 100th holds "rep"; 2 % are folders.
void fillFolder(const std::string& folder, int count)
{
    static const char* stems[] = { "Invoice", "photo", "Été", "notes", "Übersicht", "draft", "Zeta", "année", "IMG" };
    static const char* extensions[] = { "pdf", "txt", "JPG", "docx", "mp3", "zip" };
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        std::string stem = i % 100 == 0 ? fmt::format("Report {}", i) : fmt::format("{} {}", stems[i % 9], i * 7919 % 100'003);
        auto path = std::filesystem::path(folder) / stem;
        if (i % 50 == 1) {
            std::filesystem::create_directory(path);
            continue;
        }
        std::ofstream out(path.string() + "." + extensions[i % 6], std::ios::binary);
        out << std::string(size_t(i % 300), 'x');
    }
}

struct Setting {
    std::string big;
    std::string small;
    std::string documents;
};

const Setting& setting()
{
    static Setting made = [] {
        core::RunLoop::setMainThread();
        std::string home = benchHome();
        std::filesystem::create_directories(home);
        core::paths::setHome(home);
        ui::testing::Environment::begin();
        Setting s;
        s.documents = VKApplication::sharedApplication()->documentsDirectory();
        s.big = s.documents + "/Big";
        s.small = s.documents + "/Small";
        fillFolder(s.big, Items);
        fillFolder(s.small, SmallItems);
        VKQuotaManager::defaultManager()->updateQuotaForPath(s.documents);
        core::RunLoop::main().runUntilIdle();
        // ls lists every entry with "." and "..".
        if (FILE* ls = popen(("ls -f '" + s.big + "' | wc -l").c_str(), "r")) {
            int lines = 0;
            if (std::fscanf(ls, "%d", &lines) != 1 || lines != Items + 2)
                bench::wrongAnswer(fmt::format("ls -f lists {} entries of {}", lines - 2, Items));
            pclose(ls);
        }
        std::atexit([] { std::filesystem::remove_all(benchHome()); });
        return s;
    }();
    return made;
}

double lsSeconds()
{
    return bench::peer("ls -f '" + setting().big + "' > /dev/null");
}

void setOrder(int order)
{
    setting(); // the home first, whichever benchmark runs first
    core::UserDefaults::standard()->set("VKFileSortOrder", core::Value(order));
    core::RunLoop::main().runUntilIdle();
}

struct Shown {
    std::shared_ptr<VKFolderController> controller;
    std::shared_ptr<VKNavigationController> navigation;
    ~Shown()
    {
        ui::testing::Environment::keyWindow()->setRootViewController(nullptr);
        navigation.reset();
        controller.reset();
        core::RunLoop::main().runUntilIdle();
    }
};

std::unique_ptr<Shown> open(const std::string& path)
{
    auto shown = std::make_unique<Shown>();
    shown->controller = VKFolderController::folderControllerWithResource(VKFileResource::resourceWithPath(path), {});
    shown->navigation = VKNavigationController::create(shown->controller);
    auto& window = ui::testing::Environment::keyWindow();
    window->setRootViewController(shown->navigation);
    window->layoutIfNeeded();
    return shown;
}

// Our mean time against `ls -f`'s, which must be at most `limit` times it.
void report(benchmark::State& state, const std::string& name, double seconds, double iterations,
    double peerSeconds, double limit)
{
    state.counters["xLs"] = seconds / iterations / peerSeconds;
    state.counters["ms"] = seconds / iterations * 1000;
    bench::atMost(name + " / ls -f", seconds / iterations / peerSeconds, limit, "x",
        fmt::format("{:.1f} ms, ls -f {:.1f} ms, {} items", seconds / iterations * 1000, peerSeconds * 1000, Items));
}

// Every entry of the folder is a row, as `ls -f` lists them.
void checkRows(benchmark::State& state, VKFolderController& controller, int expected)
{
    if (controller.listing().count() != size_t(expected)) {
        std::string what = fmt::format("the folder list shows {} rows of {} entries", controller.listing().count(), expected);
        bench::wrongAnswer(what);
        state.SkipWithError(what.c_str());
    }
}

void Open(benchmark::State& state)
{
    setting();
    setOrder(int(state.range(0)));
    double total = 0, peers = 0, runs = 0;
    for (auto _ : state) {
        std::unique_ptr<Shown> shown;
        total += bench::seconds([&] { shown = open(setting().big); });
        state.PauseTiming();
        checkRows(state, *shown->controller, Items);
        peers += lsSeconds();
        runs += 1;
        shown.reset();
        state.ResumeTiming();
    }
    report(state, fmt::format("open, order {}", state.range(0)), total, runs, peers / runs, state.range(0) == 4 ? 8 : 5);
}
BENCHMARK(Open)->Arg(1)->Arg(4)->Iterations(3)->Unit(benchmark::kMillisecond);

void SortChange(benchmark::State& state)
{
    setOrder(1);
    auto shown = open(setting().big);
    size_t reads = shown->controller->listing().directoryReadCount();
    double total = 0, runs = 0;
    for (auto _ : state) {
        for (int order : { 0, 2, 1 }) {
            core::UserDefaults::standard()->set("VKFileSortOrder", core::Value(order));
            total += bench::seconds([] { core::RunLoop::main().runUntilIdle(); });
            runs += 1;
        }
    }
    if (shown->controller->listing().directoryReadCount() != reads)
        state.SkipWithError("a change of order read the folder");
    checkRows(state, *shown->controller, Items);
    report(state, "change of order", total, runs, lsSeconds(), 1);
}
BENCHMARK(SortChange)->Iterations(3)->Unit(benchmark::kMillisecond);

void Jumps(benchmark::State& state)
{
    setOrder(0);
    auto shown = open(setting().big);
    double first = 0, later = 0, runs = 0;
    for (auto _ : state) {
        shown->controller->listing().rebuild(false);
        first += bench::seconds([&] { shown->controller->letterStrip().jump(shown->controller->tableView(), "M"); });
        later += bench::seconds([&] {
            for (auto label : { "A", "N", "Z", "E", "#" })
                shown->controller->letterStrip().jump(shown->controller->tableView(), label);
        }) / 5;
        runs += 1;
    }
    report(state, "first jump", first, runs, lsSeconds(), 1);
    state.counters["laterJumpMs"] = later / runs * 1000;
    bench::atMost("later jumps", later / runs * 1000, 1, "ms");
}
BENCHMARK(Jumps)->Iterations(3)->Unit(benchmark::kMillisecond);

void BrowserEdit(benchmark::State& state)
{
    setOrder(int(state.range(0)));
    auto shown = open(setting().big);
    auto& controller = *shown->controller;
    size_t reads = controller.listing().directoryReadCount();
    std::string path = setting().big + "/Added by the browser.txt";
    std::string renamed = setting().big + "/Renamed by the browser.txt";
    double total = 0, runs = 0;
    for (auto _ : state) {
        std::ofstream(path) << "new";
        std::shared_ptr<VKFileResource> added;
        total += bench::seconds([&] {
            added = VKFileResource::resourceWithPath(path);
            controller.listing().add(added);
        });
        // As the browser renames: the row's resource, made before the move.
        std::filesystem::rename(path, renamed);
        total += bench::seconds([&] { controller.listing().replace(added, VKFileResource::resourceWithPath(renamed)); });
        auto gone = VKFileResource::resourceWithPath(renamed);
        std::filesystem::remove(renamed);
        total += bench::seconds([&] { controller.listing().remove(gone); });
        runs += 3;
    }
    if (controller.listing().directoryReadCount() != reads)
        state.SkipWithError("an edit read the folder");
    checkRows(state, controller, Items);
    report(state, fmt::format("browser edit, order {}", state.range(0)), total, runs, lsSeconds(), 0.05);
}
BENCHMARK(BrowserEdit)->Arg(0)->Arg(4)->Iterations(5)->Unit(benchmark::kMillisecond);

void ChildChanged(benchmark::State& state)
{
    setOrder(0);
    auto shown = open(setting().big);
    const VKFolderUpdate update { setting().big + "/Report 500.pdf" };
    double total = 0, runs = 0;
    for (auto _ : state) {
        total += bench::seconds([&] {
            core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, nullptr, update);
        });
        runs += 1;
    }
    state.counters["ms"] = total / runs * 1000;
    bench::atMost("child notification", total / runs * 1000, 1, "ms");
}
BENCHMARK(ChildChanged)->Iterations(20)->Unit(benchmark::kMillisecond);

void FolderChanged(benchmark::State& state)
{
    setOrder(int(state.range(0)));
    auto shown = open(setting().big);
    const VKFolderUpdate update { setting().big };
    double total = 0, runs = 0;
    int added = 0;
    for (auto _ : state) {
        std::ofstream(setting().big + fmt::format("/Uploaded {}.txt", added++)) << "new";
        total += bench::seconds([&] {
            core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, nullptr, update);
        });
        runs += 1;
    }
    checkRows(state, *shown->controller, Items + added);
    for (int i = 0; i < added; ++i)
        std::filesystem::remove(setting().big + fmt::format("/Uploaded {}.txt", i));
    report(state, fmt::format("rebuild after an upload, order {}", state.range(0)), total, runs, lsSeconds(),
        state.range(0) <= 2 ? 1.5 : 4);
}
BENCHMARK(FolderChanged)->DenseRange(0, 4)->Iterations(3)->Unit(benchmark::kMillisecond);

void LocalFilesSearch(benchmark::State& state)
{
    setOrder(0);
    auto shown = open(setting().big);
    auto& controller = *shown->controller;
    controller.searchDisplayController()->setActive(true);
    controller.searchBar()->setSelectedScopeButtonIndex(1);
    controller.searchBar()->setText("rep");
    double total = 0, peers = 0, runs = 0;
    for (auto _ : state) {
        total += bench::seconds([&] { controller.updateModelAndView(); });
        peers += bench::peer("find '" + setting().documents + "' -iname '*rep*' > /dev/null");
        runs += 1;
    }
    // Every name holding "rep" in any case, as find finds them.
    int found = 0;
    for (auto& entry : std::filesystem::recursive_directory_iterator(setting().documents)) {
        std::string name = entry.path().filename().string();
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        found += name.find("rep") != std::string::npos;
    }
    if (controller.listing().count() != size_t(found)) {
        std::string what = fmt::format("the search found {} items, find {}", controller.listing().count(), found);
        bench::wrongAnswer(what);
        state.SkipWithError(what.c_str());
    }
    state.counters["hits"] = double(controller.listing().count());
    state.counters["xFind"] = total / peers;
    state.counters["ms"] = total / runs * 1000;
    bench::atMost("search \"rep\" / find -iname", total / peers, 3, "x",
        fmt::format("{:.1f} ms, find {:.1f} ms, {} hits", total / runs * 1000, peers / runs * 1000, found));
    controller.searchDisplayController()->setActive(false);
}
BENCHMARK(LocalFilesSearch)->Iterations(3)->Unit(benchmark::kMillisecond);

void MemoryPerItem(benchmark::State& state)
{
    setOrder(0);
    const std::string& folder = state.range(0) == Items ? setting().big : setting().small;
    for (auto _ : state) {
        malloc_trim(0);
        size_t before = mallinfo2().uordblks;
        auto shown = open(folder);
        size_t after = mallinfo2().uordblks;
        double paths = 0;
        for (auto& resource : shown->controller->listing().resources())
            paths += double(resource->path().size() + 1);
        double items = double(shown->controller->listing().count());
        state.counters["bytesPerItem"] = (double(after - before) - paths) / items;
        state.counters["items"] = items;
        bench::atMost(fmt::format("memory per item, {} items", items), (double(after - before) - paths) / items, 512,
            "bytes");
    }
}
BENCHMARK(MemoryPerItem)->Arg(SmallItems)->Arg(Items)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

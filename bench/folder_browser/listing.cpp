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

#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace {

constexpr int Items = 100'000;
constexpr int SmallItems = 10'000;

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
        bench::peer("ls -f '" + s.big + "' > /dev/null");
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
    shown->controller = VKFolderController::folderControllerWithResource(VKFileResource::resourceWithPath(path));
    shown->navigation = VKNavigationController::create(shown->controller);
    auto& window = ui::testing::Environment::keyWindow();
    window->setRootViewController(shown->navigation);
    window->layoutIfNeeded();
    return shown;
}

void report(benchmark::State& state, double seconds, double iterations, double peerSeconds)
{
    state.counters["xLs"] = seconds / iterations / peerSeconds;
    state.counters["ms"] = seconds / iterations * 1000;
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
        peers += lsSeconds();
        runs += 1;
        shown.reset();
        state.ResumeTiming();
    }
    report(state, total, runs, peers / runs);
}
BENCHMARK(Open)->Arg(1)->Arg(4)->Iterations(3)->Unit(benchmark::kMillisecond);

void SortChange(benchmark::State& state)
{
    setOrder(1);
    auto shown = open(setting().big);
    size_t reads = shown->controller->directoryReadCount();
    double total = 0, runs = 0;
    for (auto _ : state) {
        for (int order : { 0, 2, 1 }) {
            core::UserDefaults::standard()->set("VKFileSortOrder", core::Value(order));
            total += bench::seconds([] { core::RunLoop::main().runUntilIdle(); });
            runs += 1;
        }
    }
    if (shown->controller->directoryReadCount() != reads)
        state.SkipWithError("a change of order read the folder");
    report(state, total, runs, lsSeconds());
}
BENCHMARK(SortChange)->Iterations(3)->Unit(benchmark::kMillisecond);

void Jumps(benchmark::State& state)
{
    setOrder(0);
    auto shown = open(setting().big);
    double first = 0, later = 0, runs = 0;
    for (auto _ : state) {
        shown->controller->updateModelFlushingCache(false);
        first += bench::seconds([&] { shown->controller->jumpToIndexLabel("M"); });
        later += bench::seconds([&] {
            for (auto label : { "A", "N", "Z", "E", "#" })
                shown->controller->jumpToIndexLabel(label);
        }) / 5;
        runs += 1;
    }
    report(state, first, runs, lsSeconds());
    state.counters["laterJumpMs"] = later / runs * 1000;
}
BENCHMARK(Jumps)->Iterations(3)->Unit(benchmark::kMillisecond);

void BrowserEdit(benchmark::State& state)
{
    setOrder(int(state.range(0)));
    auto shown = open(setting().big);
    auto& controller = *shown->controller;
    size_t reads = controller.directoryReadCount();
    std::string path = setting().big + "/Added by the browser.txt";
    std::string renamed = setting().big + "/Renamed by the browser.txt";
    double total = 0, runs = 0;
    for (auto _ : state) {
        std::ofstream(path) << "new";
        total += bench::seconds([&] { controller.addResourceToModel(VKFileResource::resourceWithPath(path)); });
        std::filesystem::rename(path, renamed);
        total += bench::seconds([&] {
            controller.replaceResourceInModel(VKFileResource::resourceWithPath(path),
                VKFileResource::resourceWithPath(renamed));
        });
        auto gone = VKFileResource::resourceWithPath(renamed);
        std::filesystem::remove(renamed);
        total += bench::seconds([&] { controller.removeResourceFromModel(gone); });
        runs += 3;
    }
    if (controller.directoryReadCount() != reads)
        state.SkipWithError("an edit read the folder");
    report(state, total, runs, lsSeconds());
}
BENCHMARK(BrowserEdit)->Arg(0)->Arg(4)->Iterations(5)->Unit(benchmark::kMillisecond);

void ChildChanged(benchmark::State& state)
{
    setOrder(0);
    auto shown = open(setting().big);
    core::Value::Dictionary info;
    info["Path"] = core::Value(setting().big + "/Report 500.pdf");
    core::Value userInfo(std::move(info));
    double total = 0, runs = 0;
    for (auto _ : state) {
        total += bench::seconds([&] {
            core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, nullptr,
                userInfo);
        });
        runs += 1;
    }
    report(state, total, runs, lsSeconds());
}
BENCHMARK(ChildChanged)->Iterations(20)->Unit(benchmark::kMillisecond);

void FolderChanged(benchmark::State& state)
{
    setOrder(int(state.range(0)));
    auto shown = open(setting().big);
    core::Value::Dictionary info;
    info["Path"] = core::Value(setting().big);
    core::Value userInfo(std::move(info));
    double total = 0, runs = 0;
    int added = 0;
    for (auto _ : state) {
        std::ofstream(setting().big + fmt::format("/Uploaded {}.txt", added++)) << "new";
        total += bench::seconds([&] {
            core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, nullptr,
                userInfo);
        });
        runs += 1;
    }
    for (int i = 0; i < added; ++i)
        std::filesystem::remove(setting().big + fmt::format("/Uploaded {}.txt", i));
    report(state, total, runs, lsSeconds());
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
    state.counters["hits"] = double(controller.rowCount());
    state.counters["xFind"] = total / peers;
    state.counters["ms"] = total / runs * 1000;
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
        for (auto& resource : shown->controller->filteredResources())
            paths += double(resource->path().size() + 1);
        double items = double(shown->controller->rowCount());
        state.counters["bytesPerItem"] = (double(after - before) - paths) / items;
        state.counters["items"] = items;
    }
}
BENCHMARK(MemoryPerItem)->Arg(SmallItems)->Arg(Items)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

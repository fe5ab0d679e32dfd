// bench: tandry_webbrowser
// The browser's history and bookmarks at scale, on the main thread:
// - addURL with 5,000 entries in one long run: ≤ 0.2 ms a visit ("usPerAdd");
// - a keystroke in the type-ahead list (filter, sort, table reload and
//   layout) over 5,000 entries: ≤ 2 ms ("msPerKeystroke");
// - loading a 5,000-entry file (limits applied) and saving 5,000 entries,
//   each within 1× of Python's plistlib load and dump of the same file,
//   taking turns in the same run;
// - the bookmarks screen with 2,000 bookmarks: opened and a move committed
//   in ≤ 20 ms ("msOpenAndMove"), with live cells at the visible count
//   ("liveCells").

#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/URL.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/UI/Window.h"
#include "WebBrowser/VKWebBookmarks.h"
#include "WebBrowser/VKWebBookmarksViewController.h"
#include "WebBrowser/VKWebHistory.h"
#include "WebBrowser/VKWebHistorySearchController.h"

#include "../PeerTiming.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <unistd.h>

namespace {

constexpr int Entries = 5000;

std::string benchHome()
{
    return (std::filesystem::current_path() / fmt::format("webbrowser-history-bench-{}", getpid())).string();
}

// One application for the whole run.
void begin()
{
    static bool begun = false;
    if (begun)
        return;
    begun = true;
    core::RunLoop::setMainThread();
    std::string home = benchHome();
    std::filesystem::create_directories(home);
    std::atexit([] { std::filesystem::remove_all(benchHome()); });
    core::paths::setHome(home);
    ui::testing::Environment::begin(VKApplication::create());
    // The screens and the application go before the toolkit's statics do.
    std::atexit([] {
        ui::testing::Environment::keyWindow()->setRootViewController(nullptr);
        core::RunLoop::main().runUntilIdle();
        ui::testing::Environment::end();
    });
}

core::URL address(int i)
{
    return *core::URL::parse(fmt::format("https://site{}.example.org/articles/{}/page.html", i % 700, i));
}

// A fresh history of `count` visits, not yet saved.
std::shared_ptr<VKWebHistory> historyOf(int count)
{
    VKWebHistory::resetSharedWebHistoryForTesting();
    std::filesystem::remove(VKWebHistory::sharedWebHistory()->historyItemsPath());
    auto history = VKWebHistory::sharedWebHistory();
    for (int i = 0; i < count; ++i)
        history->addURL(address(i), fmt::format("Article {}", i));
    return history;
}

double elapsed(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void AddURL(benchmark::State& state)
{
    begin();
    auto history = historyOf(Entries);
    long adds = 0;
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        // Half revisit today's addresses, half are new.
        for (int i = 0; i < 1000; ++i)
            history->addURL(address(i % 2 ? i * 7 : Entries + int(adds) + i), "Again");
        seconds += elapsed(start);
        adds += 1000;
    }
    state.counters["usPerAdd"] = seconds / double(adds) * 1e6;
    bench::atMost("addURL with 5,000 entries", seconds / double(adds) * 1e3, 0.2, "ms");
}
BENCHMARK(AddURL)->Iterations(3)->Unit(benchmark::kMillisecond);

void Keystroke(benchmark::State& state)
{
    begin();
    historyOf(Entries);
    auto list = VKWebHistorySearchController::create();
    list->setFullscreen(true);
    auto& window = ui::testing::Environment::keyWindow();
    auto page = ui::ViewController::create();
    window->setRootViewController(page);
    list->view()->setFrame(page->view()->bounds());
    page->view()->addSubview(list->view());
    const std::string typed = "site12.example";
    long keystrokes = 0;
    double seconds = 0;
    for (auto _ : state) {
        for (size_t length = 1; length <= typed.size(); ++length) {
            auto start = std::chrono::steady_clock::now();
            list->setItemFilter(typed.substr(0, length));
            list->view()->layoutIfNeeded();
            list->tableView()->layoutIfNeeded();
            seconds += elapsed(start);
            ++keystrokes;
        }
    }
    state.counters["msPerKeystroke"] = seconds / double(keystrokes) * 1e3;
    if (list->tableView()->numberOfSections() == 0 || list->tableView()->numberOfRows(0) == 0)
        bench::wrongAnswer("the type-ahead list found nothing for \"site12.example\"");
    bench::atMost("type-ahead keystroke over 5,000 entries", seconds / double(keystrokes) * 1e3, 2, "ms");
    window->setRootViewController(nullptr);
}
BENCHMARK(Keystroke)->Iterations(3)->Unit(benchmark::kMillisecond);

// Python's plistlib loading the saved file or dumping what it loaded; the
// time is what Python measured of that call alone, -1 when it failed.
double plistlibSeconds(const char* operation)
{
    std::string command = std::string("python3 -c '"
        "import plistlib, sys, time\n"
        "data = open(sys.argv[1], \"rb\").read()\n"
        "value = plistlib.loads(data)\n"
        "start = time.perf_counter()\n"
        "if sys.argv[2] == \"load\": plistlib.loads(data)\n"
        "else: plistlib.dumps(value, fmt=plistlib.FMT_BINARY)\n"
        "print(time.perf_counter() - start)' ")
        + VKWebHistory::sharedWebHistory()->historyItemsPath() + " " + operation;
    return bench::reportedSeconds(command);
}

// Ours and plistlib's take turns on the same 5,000-entry file, ten times;
// the medians compare. Range 0: load; 1: save.
void LoadAndSaveBesidePlistlib(benchmark::State& state)
{
    begin();
    const bool load = state.range(0) == 0;
    auto history = historyOf(Entries);
    history->serializeHistoryItems();
    std::vector<double> ours, theirs;
    for (auto _ : state)
        for (int round = 0; round < 10; ++round) {
            if (load) {
                size_t loaded = 0;
                ours.push_back(bench::seconds([&] {
                    VKWebHistory::resetSharedWebHistoryForTesting();
                    loaded = VKWebHistory::sharedWebHistory()->allItems().size();
                }));
                if (loaded != VKWebHistory::MaximumLoadedItems)
                    bench::wrongAnswer(fmt::format("the load kept {} entries of {}", loaded, Entries));
            } else {
                bool saved = false;
                ours.push_back(bench::seconds([&] { saved = history->serializeHistoryItems(); }));
                if (!saved)
                    bench::wrongAnswer("the history was not saved");
            }
            // plistlib reads the file we wrote: it fails on a damaged one.
            theirs.push_back(plistlibSeconds(load ? "load" : "dump"));
            if (theirs.back() < 0)
                bench::wrongAnswer("plistlib could not read the saved history");
        }
    bench::atMost(fmt::format("{} of {} entries / plistlib", load ? "load" : "save", Entries),
        bench::median(ours) / bench::median(theirs), 1, "x",
        fmt::format("{:.2f} ms, plistlib {} {:.2f} ms", bench::median(ours) * 1000, load ? "load" : "dump",
            bench::median(theirs) * 1000));
}
BENCHMARK(LoadAndSaveBesidePlistlib)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

void BookmarksScreen(benchmark::State& state)
{
    begin();
    VKWebBookmarks::resetSharedWebBookmarksForTesting();
    auto store = VKWebBookmarks::sharedWebBookmarks();
    for (const auto& bookmark : store->bookmarks())
        store->removeBookmark(bookmark);
    for (int i = 0; i < 2000; ++i)
        store->addURL(address(i), fmt::format("Bookmark {}", i));
    auto& window = ui::testing::Environment::keyWindow();
    double seconds = 0;
    long runs = 0;
    size_t live = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        auto screen = VKWebBookmarksViewController::initWithBookmarksDelegate({});
        auto navigation = VKNavigationController::create(screen);
        window->setRootViewController(navigation);
        core::RunLoop::main().runUntilIdle();
        screen->setEditing(true, false);
        screen->tableView().moveRow({ 0, 1990 }, { 0, 3 });
        screen->tableView().layoutIfNeeded();
        seconds += elapsed(start);
        ++runs;
        live = screen->tableView().visibleCells().size();
        window->setRootViewController(nullptr);
        core::RunLoop::main().runUntilIdle();
    }
    state.counters["msOpenAndMove"] = seconds / double(runs) * 1e3;
    state.counters["liveCells"] = double(live);
    bench::atMost("bookmarks screen of 2,000 opened and a move committed", seconds / double(runs) * 1e3, 20, "ms",
        fmt::format("{} cells visible", live));
}
BENCHMARK(BookmarksScreen)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

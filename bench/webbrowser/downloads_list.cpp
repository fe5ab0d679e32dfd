// bench: tandry_webbrowser tandry_app tandry_shell
// The Downloads list on a 768 × 1024 tablet at scale 1 with real text:
// 1,000 paused downloads restored by the download manager from state files
// written beforehand (as a new launch finds them) and 200 downloads finished
// from a loopback server:
// - "openMs": the list made, pushed and laid out (rows, sort, first
//   layout; target ≤ 30), "restoreMs" the manager's launch scan beside it;
// - "scrollP95Ms": 200 scroll steps, each laid out and the screen drawn
//   (target ≤ 8), "scrollMedianMs" beside it;
// - "liveCells": cells still alive after the scroll (held by the table,
//   shown or waiting for reuse) against "visibleCells" (target: about the
//   visible count);
// - "listHeapMB": the heap the shown and scrolled list holds beyond the
//   items, the renderer's caches warmed on another list first (target ≤ 4);
// - "refreshesPerSecond": two rows' transfers ("cellsFed") sent 100 progress
//   events a second for four seconds: text refreshes a second of the
//   busier row after its first (target ≤ 4).

#include "WebBrowser/VKDownloadHistoryController.h"

#include "../LoopbackServer.h"
#include "../PeerTiming.h"
#include "../ScreenBench.h"
#include "App/FolderBrowser/VKDownloadFileResourceCell.h"
#include "Shell/VKNavigationController.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Downloads/VKDownloadFileResource.h"
#include "Downloads/VKDownloadManager.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <fmt/format.h>
#include <fstream>
#include <malloc.h>
#include <map>

namespace {

using Clock = std::chrono::steady_clock;

const std::string& folder()
{
    static const std::string path = TANDRY_SOURCE_DIR "/build/bench/downloads-list";
    return path;
}

double heapMB()
{
    return double(mallinfo2().uordblks) / (1 << 20);
}

void DownloadsList(benchmark::State& state)
{
    std::string site = folder() + "/site";
    std::filesystem::create_directories(site);
    for (int n = 0; n < 200; ++n)
        std::ofstream(fmt::format("{}/file-{:03}.bin", site, n)) << std::string(2048 + n, 'x');
    bench::beginScreenBench(folder() + "/home", "tablet", { 768, 1024 }, 1);
    std::string documents = VKApplication::sharedApplication()->publicDirectory();

    // A launch before this one left 1,000 paused downloads.
    for (int n = 0; n < 1000; ++n) {
        auto item = VKDownloadFileResource::createWithRequest(
            core::URLRequest(*core::URL::parse(fmt::format("http://127.0.0.1:9/paused/report-{:04}.pdf", n))),
            documents);
        if (item)
            item->saveState();
    }
    VKDownloadManager::resetSharedManagerForTesting();
    auto restoreStart = Clock::now();
    auto manager = VKDownloadManager::sharedManager();
    manager->initializeDownloads();
    double restore = bench::msSince(restoreStart);
    size_t paused = manager->webDownloads().size();

    bench::LoopbackServer server(site, folder());
    for (int n = 0; n < 200; ++n)
        manager->startWebDownloadWithRequest(
            core::URLRequest(*core::URL::parse(server.url(fmt::format("/file-{:03}.bin", n)))), documents);
    bool finished = core::RunLoop::main().runUntil([&] { return manager->completedWebDownloads().size() >= 200; }, 120);
    core::RunLoop::main().runUntil([] { return false; }, 0.3);

    double open = 0, heap = 0, refreshes = 0;
    size_t fed = 0;
    std::vector<double> steps;
    size_t live = 0, visible = 0;
    // The renderer's own caches (fonts, glyphs) warmed on another list.
    {
        auto warm = VKNavigationController::create(VKDownloadHistoryController::create());
        ui::testing::Environment::keyWindow()->setRootViewController(warm);
        ui::testing::Environment::keyWindow()->layoutIfNeeded();
        ui::Renderer::renderScreenImage(bench::realText());
        ui::testing::Environment::keyWindow()->setRootViewController(nullptr);
        core::RunLoop::main().runUntilIdle();
    }
    for (auto _ : state) {
        double heapBefore = heapMB();
        auto start = Clock::now();
        auto list = VKDownloadHistoryController::create();
        auto navigation = VKNavigationController::create(list);
        navigation->setToolbarHidden(false);
        ui::testing::Environment::keyWindow()->setRootViewController(navigation);
        ui::testing::Environment::keyWindow()->layoutIfNeeded();
        open = bench::msSince(start);
        ui::Renderer::renderScreenImage(bench::realText());

        auto& table = list->tableView();
        std::map<ui::TableViewCell*, std::weak_ptr<ui::TableViewCell>> seen;
        for (int step = 0; step < 200; ++step) {
            auto begun = Clock::now();
            table.setContentOffset({ 0, float(step) * 97 });
            ui::testing::Environment::keyWindow()->layoutIfNeeded();
            ui::Renderer::renderScreenImage(bench::realText());
            steps.push_back(bench::msSince(begun));
            for (auto* cell : table.visibleCells())
                seen.emplace(cell, std::static_pointer_cast<ui::TableViewCell>(cell->shared_from_this()));
        }
        visible = table.visibleCells().size();
        live = 0;
        for (auto& [cell, weak] : seen)
            live += weak.expired() ? 0 : 1;
        heap = heapMB() - heapBefore;

        // The first two unfinished rows fed 100 progress events a second.
        int first = 0;
        const auto& rows = list->downloads();
        while (first < int(rows.size()) && !std::dynamic_pointer_cast<VKDownloadFileResource>(rows[size_t(first)]))
            ++first;
        table.setContentOffset({ 0, float(first) * table.rowHeight() });
        ui::testing::Environment::keyWindow()->layoutIfNeeded();
        std::vector<VKDownloadFileResourceCell*> cells;
        for (int row = first; row < first + 2; ++row)
            if (auto* cell = dynamic_cast<VKDownloadFileResourceCell*>(table.cellForRow({ 0, row }));
                cell && cell->downloadFileResource())
                cells.push_back(cell);
        fed = cells.size();
        std::vector<int> counts(cells.size(), 0);
        // Counted from the texts the rows show now: a row shown before the
        // feed already has a time of its own.
        std::vector<double> last;
        for (auto* cell : cells)
            last.push_back(cell->lastUpdateTime());
        auto feed = Clock::now();
        for (int event = 0; event < 400; ++event) {
            for (size_t n = 0; n < cells.size(); ++n) {
                cells[n]->downloadFileResource()->setDownloadProgress(float(event) / 400);
                if (cells[n]->lastUpdateTime() != last[n]) {
                    last[n] = cells[n]->lastUpdateTime();
                    ++counts[n];
                }
            }
            core::RunLoop::main().runUntil([] { return false; }, 0.01);
        }
        double seconds = bench::msSince(feed) / 1e3;
        // The first refresh comes with the first event; the gate paces the
        // ones after it.
        for (int count : counts)
            refreshes = std::max(refreshes, double(std::max(0, count - 1)) / seconds);
        ui::testing::Environment::keyWindow()->setRootViewController(nullptr);
    }
    state.counters["paused"] = double(paused);
    state.counters["completed"] = double(manager->completedWebDownloads().size());
    state.counters["failed"] = !finished || paused != 1000;
    state.counters["restoreMs"] = restore;
    state.counters["openMs"] = open;
    std::vector<double> sorted = steps;
    std::sort(sorted.begin(), sorted.end());
    state.counters["scrollMedianMs"] = bench::median(steps);
    state.counters["scrollP95Ms"] = sorted.empty() ? -1 : sorted[sorted.size() * 95 / 100];
    state.counters["liveCells"] = double(live);
    state.counters["visibleCells"] = double(visible);
    state.counters["listHeapMB"] = heap;
    state.counters["refreshesPerSecond"] = refreshes;
    state.counters["cellsFed"] = double(fed);
    if (!finished || paused != 1000)
        bench::wrongAnswer(fmt::format("{} of 1,000 downloads restored paused{}", paused,
            finished ? "" : ", and the 200 did not finish"));
    bench::atMost("Downloads list of 1,200 opened", open, 30, "ms", fmt::format("restored in {:.0f} ms", restore));
    bench::atMost("scroll step laid out and drawn, p95", sorted.empty() ? -1 : sorted[sorted.size() * 95 / 100], 8, "ms",
        fmt::format("median {:.1f} ms", bench::median(steps)));
    bench::atMost("cells alive beyond those visible", double(live) - double(visible), 2, "",
        fmt::format("{} alive, {} visible", live, visible));
    bench::atMost("heap the list holds", heap, 4, "MB");
    bench::atMost("text refreshes a second of a busy row", refreshes, 4, "", fmt::format("{} rows fed", fed));
}
BENCHMARK(DownloadsList)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

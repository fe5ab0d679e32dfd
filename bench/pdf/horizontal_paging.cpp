// bench: tandry_viewers tandry_test_support_pdf
// The sideways layouts over the 1,000-page bench document on a 768 × 1024
// screen at scale 2 with two tile workers, pages 1-200 turned by edge taps
// (single pages, then spreads with the first page alone):
// - per turn, from the tap until the new cell's visible tiles are drawn,
//   p50 and p95 ("p50_ms", "p95_ms"), against pdftoppm and pdf::drawPage
//   drawing the same pages at the same pixel width in the same run, per
//   page shown (targets: p95 ≤ 1.5 × and ≤ 1.2 ×, the counters
//   "vs_pdftoppm" and "vs_drawPage"). The direct drawing of the pages a
//   turn shows follows each turn, each after a short rest, so both meet
//   the same load on a busy machine and start alike (second argument 1),
//   or all of it follows the last turn, the turns coming back to back (0);
//   either way from the viewer's document.
//   Beside them, the 95th percentile of each turn against the drawing of
//   the very pages it shows ("vs_drawPage_same_pages_p95");
// - the longest main-thread pass of a turn without the tile drawing
//   ("longest_pass_ms", target ≤ 16);
// - the resident size after 200 turns less that after 20
//   ("rss_growth_mb", target ≤ 20), with the most cells alive, the page
//   views cached and the tiles drawn per turn ("tiles_per_turn").
#include "BenchDocuments.h"
#include "LayoutBench.h"

#include "PDF/VKPDFDocument.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/Window.h"
#include "Viewers/PDF/VKDocumentViewHorizontal.h"
#include "Viewers/PDF/VKDocumentViewHorizontalDouble.h"
#include "Viewers/PDF/VKPagingView.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {

constexpr float Width = 768, Height = 1024;

void setUp()
{
    bench::beginLayoutBench("horizontal-paging", { Width, Height });
}

void TurnPages(benchmark::State& state)
{
    setUp();
    bool spreads = state.range(0) != 0;
    bool interleaved = state.range(1) != 0;
    std::string path = bench::benchDocumentPath(bench::benchFolder(), 1000);
    auto document = VKPDFDocument::initWithPath(path);
    document->pageGeometry(0);
    auto window = ui::Window::create({ 0, 0, Width, Height });
    window->setHidden(false);
    auto pages = std::make_shared<bench::LayoutPages>(document);
    std::shared_ptr<VKDocumentViewHorizontal> layout;
    if (spreads)
        layout = VKDocumentViewHorizontalDouble::create({ 0, 0, Width, Height });
    else
        layout = VKDocumentViewHorizontal::create({ 0, 0, Width, Height });
    window->addSubview(layout);
    layout->setDataSource(pages.get());
    layout->setPagingEnabled(true);
    auto show = [&] {
        layout->layoutIfNeeded();
        layout->pagingView().layoutIfNeeded();
    };
    show();
    ui::TiledLayer::renderAllVisibleTilesSynchronously();

    // The same pages at the width a page shows at: the screen's width at
    // scale 2, or half of it in a spread.
    float pixels = spreads ? Width : 2 * Width;
    // Drawn from the viewer's own document, as its tiles are: from another
    // document the two drawings would evict each other's fonts and glyphs
    // from the renderer's shared caches between turns.
    bench::DirectPageDrawing reference(document);
    std::vector<double> turns, direct;
    std::vector<std::pair<size_t, size_t>> shownByTurn; // first page (0-based) and count
    double longestPass = 0;
    size_t rssAfter20 = 0, mostCells = 0, mostViews = 0;
    int turnsMade = 0;
    uint64_t tilesBefore = ui::TiledLayer::tilesDrawnForTesting();
    // Interleaved, a turn and the direct drawing of its pages each start
    // from a short rest, as a reader's turns do: on a machine whose cores
    // are shared, work that starts right after other work runs slower than
    // work that starts from rest, and neither side should have the other's
    // start.
    auto rest = [&] {
        if (interleaved)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    for (auto _ : state) {
        double elapsed = bench::seconds([&] {
            while (layout->currentIndexRange().end() < 200) {
                rest();
                double pass = 0;
                double turn = bench::seconds([&] {
                    pass = bench::seconds([&] {
                        layout->handleSingleTapAtPoint({ Width - 10, Height / 2 });
                        show();
                    });
                    ui::TiledLayer::renderAllVisibleTilesSynchronously();
                });
                core::RunLoop::main().runUntil([] { return false; }, 0.0);
                turns.push_back(turn);
                shownByTurn.emplace_back(layout->currentIndexRange().location, layout->currentIndexRange().length);
                if (interleaved) {
                    rest();
                    for (size_t page = layout->currentIndexRange().location; page < layout->currentIndexRange().end(); ++page)
                        direct.push_back(reference.draw(int(page) + 1, pixels));
                }
                longestPass = std::max(longestPass, pass);
                mostCells = std::max(mostCells, layout->pagingView().currentCells().size());
                mostViews = std::max(mostViews, layout->cachedPageViews().size());
                if (++turnsMade == 20)
                    rssAfter20 = bench::statusKilobytes("VmRSS:");
            }
        });
        state.SetIterationTime(elapsed);
    }
    size_t rssAfter200 = bench::statusKilobytes("VmRSS:");
    state.counters["tiles_per_turn"] = double(ui::TiledLayer::tilesDrawnForTesting() - tilesBefore) / std::max(turnsMade, 1);
    int shown = int(layout->currentIndexRange().end());
    double splash = bench::peer(fmt::format("pdftoppm -scale-to-x {} -scale-to-y -1 -f 1 -l {} {} {}/turn 2>/dev/null",
                        int(pixels), shown, path, bench::benchFolder()))
        / shown;
    if (!interleaved)
        for (int page = 1; page <= shown; ++page)
            direct.push_back(reference.draw(page, pixels));
    // A turn shows one page, or two in a spread.
    double pagesPerTurn = spreads ? 2 : 1;
    state.counters["p50_ms"] = bench::quantile(turns, 0.5) * 1000;
    state.counters["p95_ms"] = bench::quantile(turns, 0.95) * 1000;
    state.counters["vs_pdftoppm"] = bench::quantile(turns, 0.95) / pagesPerTurn / splash;
    // The turns' 95th percentile per page against the direct drawing's
    // mean, and against its own 95th percentile (the same pages vary as
    // much in both, and so does a busy machine's scheduling).
    state.counters["vs_drawPage"] = bench::quantile(turns, 0.95) / pagesPerTurn / (bench::total(direct) / double(direct.size()));
    state.counters["vs_drawPage_p95"] = bench::quantile(turns, 0.95) / pagesPerTurn / bench::quantile(direct, 0.95);
    state.counters["vs_drawPage_p50"] = bench::quantile(turns, 0.5) / pagesPerTurn / bench::quantile(direct, 0.5);
    // Each turn against the direct drawing of the very pages it shows (a
    // page that takes longer to draw takes longer to turn to): the 95th
    // percentile of the quotients.
    std::vector<double> samePages;
    for (size_t turn = 0, drawn = 0; turn < turns.size(); ++turn) {
        auto [first, count] = shownByTurn[turn];
        double pages = 0;
        for (size_t page = first; page < first + count; ++page) {
            size_t at = interleaved ? drawn++ : page;
            pages += at < direct.size() ? direct[at] : 0;
        }
        if (pages > 0)
            samePages.push_back(turns[turn] / pages);
    }
    state.counters["vs_drawPage_same_pages_p95"] = bench::quantile(samePages, 0.95);
    state.counters["drawPage_mean_ms"] = bench::total(direct) / double(direct.size()) * 1000;

    state.counters["longest_pass_ms"] = longestPass * 1000;
    state.counters["rss_growth_mb"] = (double(rssAfter200) - double(rssAfter20)) / 1024;
    state.counters["most_cells"] = double(mostCells);
    state.counters["most_cached_views"] = double(mostViews);
    // Judged on the runs where each turn's pages are drawn directly right
    // after it, so that both meet the same load; the 95th percentile of
    // the turns against that of the direct drawing (a mean would hold
    // drawPage's own spread against the turns: its p95 is 1.2x its mean).
    const std::string kind = spreads ? "spreads" : "single pages";
    if (interleaved) {
        bench::atMost(fmt::format("{}: p95 turn per page / pdftoppm", kind), double(state.counters["vs_pdftoppm"]), 1.5, "x",
            fmt::format("p50 {:.1f} ms, p95 {:.1f} ms a turn", double(state.counters["p50_ms"]), double(state.counters["p95_ms"])));
        bench::atMost(fmt::format("{}: p95 turn per page / p95 drawPage", kind), double(state.counters["vs_drawPage_p95"]),
            1.2, "x",
            fmt::format("against drawPage's mean {:.2f}x, against the same pages' drawing {:.2f}x",
                double(state.counters["vs_drawPage"]), double(state.counters["vs_drawPage_same_pages_p95"])));
        bench::atMost(fmt::format("{}: longest main-thread pass of a turn", kind), longestPass * 1000, 16, "ms");
        bench::atMost(fmt::format("{}: resident size grown from turn 20 to 200", kind),
            (double(rssAfter200) - double(rssAfter20)) / 1024, 20, "MB");
    }
    layout->removeFromSuperview();
    layout.reset();
    window.reset();
    core::RunLoop::main().runUntil([] { return false; }, 0.2);
}
BENCHMARK(TurnPages)->Args({ 0, 1 })->Args({ 1, 1 })->Args({ 0, 0 })->Args({ 1, 0 })->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

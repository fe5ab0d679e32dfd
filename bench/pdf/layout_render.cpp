// bench: tandry_viewers tandry_test_support_pdf
// The vertical layout over the 1,000-page bench document on a 320 × 480
// screen at scale 2 with two tile workers:
// - jumps to pages 1-50, each until its visible tiles are drawn, against
//   pdftoppm drawing pages 1-51 628 pixels wide and pdf::drawPage drawing
//   them at that size in the same run (targets ≤ 1.5 × and ≤ 1.2 ×: the
//   counters "vs_pdftoppm" and "vs_drawPage");
// - zoom 4 × on page 10 until sharp, with the pixels drawn per visible
//   pixel ("drawn_per_visible");
// - scrolling end to end at 3,000 points a second, a frame each 1/60 s:
//   main-thread time per frame ("p99_ms", target ≤ 16), the most live page
//   views (target ≤ 12) and the peak resident size ("peak_rss_mb", target
//   ≤ 150), for 1,000 pages against 100 (target within 1.1 ×).
#include "BenchDocuments.h"
#include "LayoutBench.h"

#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFPage.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/PDF/PageDrawing.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/Window.h"
#include "Viewers/PDF/VKDocumentViewDataSource.h"
#include "Viewers/PDF/VKDocumentViewVertical.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKScrollView.h"
#include "Viewers/PDF/VKTiledPageLayer.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <time.h>

namespace {

void setUp()
{
    bench::beginLayoutBench("layout-render", { 320, 480 });
}

struct Opened {
    std::shared_ptr<ui::Window> window;
    std::shared_ptr<bench::LayoutPages> pages;
    std::shared_ptr<VKDocumentViewVertical> layout;

    explicit Opened(int pageCount)
    {
        setUp();
        auto document = VKPDFDocument::initWithPath(bench::benchDocumentPath(bench::benchFolder(), pageCount));
        document->pageGeometry(0);
        window = ui::Window::create({ 0, 0, 320, 480 });
        window->setHidden(false);
        pages = std::make_shared<bench::LayoutPages>(document);
        layout = VKDocumentViewVertical::create({ 0, 0, 320, 480 });
        window->addSubview(layout);
        layout->setDataSource(pages.get());
        layout->layoutIfNeeded();
    }
    ~Opened()
    {
        layout->removeFromSuperview();
        layout.reset();
        window.reset();
        core::RunLoop::main().runUntil([] { return false; }, 0.2);
    }
    void showAll()
    {
        layout->layoutIfNeeded();
        ui::TiledLayer::renderAllVisibleTilesSynchronously();
    }
};

void JumpToPages(benchmark::State& state)
{
    Opened opened(1000);
    std::string path = bench::benchDocumentPath(bench::benchFolder(), 1000);
    double ours = 0, splash = 0, direct = 0;
    int64_t rounds = 0;
    for (auto _ : state) {
        double elapsed = bench::seconds([&] {
            for (size_t i = 0; i < 50; ++i) {
                opened.layout->scrollToPageAtIndex(i, gfx::Rect(0, 0, 0, 0), false);
                opened.showAll();
            }
        });
        state.SetIterationTime(elapsed);
        ours += elapsed;
        splash += bench::peer(fmt::format("pdftoppm -scale-to-x 628 -scale-to-y -1 -f 1 -l 51 {} {}/jump 2>/dev/null",
            path, bench::benchFolder()));
        direct += bench::total(bench::drawPagesDirectly(path, 1, 51, 628));
        ++rounds;
        // Each round starts with no tiles.
        opened.layout->scrollToPageAtIndex(900, gfx::Rect(0, 0, 0, 0), false);
        opened.showAll();
    }
    state.counters["vs_pdftoppm"] = ours / splash;
    state.counters["vs_drawPage"] = ours / direct;
    bench::atMost("jumps to pages 1-50 / pdftoppm", ours / splash, 1.5, "x",
        fmt::format("{:.0f} ms, pdftoppm {:.0f} ms", ours / double(rounds) * 1000, splash / double(rounds) * 1000));
    bench::atMost("jumps to pages 1-50 / drawPage", ours / direct, 1.2, "x",
        fmt::format("drawPage {:.0f} ms", direct / double(rounds) * 1000));
}
BENCHMARK(JumpToPages)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void ZoomOnPage10(benchmark::State& state)
{
    Opened opened(1000);
    double drawnPerVisible = 0;
    for (auto _ : state) {
        opened.layout->setContentZoom(1);
        opened.layout->scrollToPageAtIndex(9, gfx::Rect(0, 0, 0, 0), false);
        opened.showAll();
        uint64_t before = ui::TiledLayer::tilesDrawnForTesting();
        double elapsed = bench::seconds([&] {
            opened.layout->setContentZoom(4);
            opened.layout->scrollToPageAtIndex(9, gfx::Rect(0.1f, 0.2f, 0, 0), false);
            opened.showAll();
        });
        state.SetIterationTime(elapsed);
        double tile = double(VKTiledPageLayer::tileSize().width) * VKTiledPageLayer::tileSize().height;
        drawnPerVisible = double(ui::TiledLayer::tilesDrawnForTesting() - before) * tile / (640.0 * 960.0);
    }
    state.counters["drawn_per_visible"] = drawnPerVisible;
    bench::figure("pixels drawn per visible pixel zooming 4x", drawnPerVisible);
}
BENCHMARK(ZoomOnPage10)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

double threadSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void ScrollEndToEnd(benchmark::State& state)
{
    Opened opened(int(state.range(0)));
    auto& scroll = opened.layout->documentScrollView();
    std::vector<double> frames;
    size_t mostViews = 0;
    auto context = gfx::BitmapContext::create(640, 960);
    core::RunLoop::main().runUntilIdle();
    bench::resetPeakResident();
    size_t openedKilobytes = bench::statusKilobytes("VmRSS:");
    uint64_t drawnBefore = ui::TiledLayer::tilesDrawnForTesting();
    for (auto _ : state) {
        float end = scroll.contentSize().height - 480;
        auto start = std::chrono::steady_clock::now();
        int frame = 0;
        for (float y = 0; y <= end; y += 50) {
            // A frame each 1/60 s as the window host makes it: layout and
            // drawing, then the main loop until the next frame is due
            // (finished tiles come in). Its cost is the main thread's CPU
            // time over the whole period.
            double before = threadSeconds();
            scroll.setContentOffset({ 0, y });
            opened.layout->layoutIfNeeded();
            ui::Renderer::render(*opened.window, *context);
            auto due = start + std::chrono::microseconds(int64_t(++frame) * 1000000 / 60);
            double wait = std::chrono::duration<double>(due - std::chrono::steady_clock::now()).count();
            core::RunLoop::main().runUntil([] { return false; }, wait);
            core::RunLoop::main().runOnce();
            frames.push_back(threadSeconds() - before);
            mostViews = std::max(mostViews, opened.layout->cachedPageViews().size());
        }
    }
    std::sort(frames.begin(), frames.end());
    state.counters["p99_ms"] = frames.empty() ? 0 : frames[size_t(double(frames.size() - 1) * 0.99)] * 1000;
    state.counters["live_page_views"] = double(mostViews);
    state.counters["tiles_drawn"] = double(ui::TiledLayer::tilesDrawnForTesting() - drawnBefore);
    size_t peak = bench::statusKilobytes("VmHWM:");
    state.counters["peak_rss_mb"] = double(peak) / 1024;
    state.counters["peak_over_opened_mb"] = double(peak - std::min(openedKilobytes, peak)) / 1024;
    // The larger document's peak against the smaller one's (target 1.1 ×).
    static double peak100Pages = 0;
    if (state.range(0) == 100)
        peak100Pages = double(peak);
    else if (peak100Pages > 0) {
        state.counters["vs_100_pages"] = double(peak) / peak100Pages;
        bench::atMost("peak resident, 1,000 / 100 pages", double(peak) / peak100Pages, 1.1, "x");
    }
    const std::string of = fmt::format("scroll of {} pages", state.range(0));
    bench::atMost(of + ": p99 main-thread time a frame", double(state.counters["p99_ms"]), 16, "ms");
    bench::atMost(of + ": most live page views", double(mostViews), 12);
    bench::atMost(of + ": peak resident", double(peak) / 1024, 150, "MB");
}
BENCHMARK(ScrollEndToEnd)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

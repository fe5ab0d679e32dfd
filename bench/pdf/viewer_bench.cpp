// bench: tandry_viewers tandry_shell tandry_test_support_pdf
// The PDF viewer over the bench documents on a 320 × 480 screen at scale 2:
// - from the viewer's view loading to page 1 drawn sharp, against pdftoppm
//   drawing page 1 628 pixels wide in the same run (target ≤ 1.5 ×:
//   "vs_pdftoppm"), with the opening, outline scan and page geometry
//   timed on their own ("open_ms", "scanner_ms", "geometry_ms");
// - thumbnails of pages 1-50 at 192 and at 384 pixels, PNG files written,
//   against pdftoppm -png -scale-to of the same pages (target ≤ 1.2 ×:
//   "vs_pdftoppm_192", "vs_pdftoppm_384");
// - scrubbing all pages in 2 s at 60 Hz: the renders started and the
//   requests replaced before they started ("renders", "replaced"), and
//   whether every render started was the newest request then, or the one
//   before it, taken from the queue just before the newest came in
//   ("stale_renders", target 0); then an end-to-end scroll; the peak
//   resident size over the opened viewer ("peak_over_opened_mb", target
//   ≤ 150) and the peak for 1,000 pages against 100 (target within
//   1.25 ×: "vs_100_pages").
#include "BenchDocuments.h"
#include "LayoutBench.h"

#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "Kit/VKImageOperationQueue.h"
#include "PDF/VKPDFOutlineScanner.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/Window.h"
#include "Viewers/PDF/VKDocumentView.h"
#include "Viewers/PDF/VKPDFPageThumbnailManager.h"
#include "Viewers/PDF/VKPDFPageThumbnailRenderOperation.h"
#include "Viewers/PDF/VKPDFViewController.h"
#include "Platform/UI/ScrollView.h"
#include "Viewers/VKRegisterViewers.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>

namespace {

void setUp()
{
    if (!bench::beginLayoutBench("viewer", { 320, 480 }))
        return;
    std::filesystem::remove_all(core::paths::home());
    std::filesystem::create_directories(core::paths::home());
    ui::testing::Environment::begin(VKApplication::create());
    gfx::Screen::main().setBounds({ 0, 0, 320, 480 });
    gfx::Screen::main().setScale(2);
    VKRegisterViewers();
    auto defaults = core::UserDefaults::standard();
    defaults->set(VKPDFViewController::DocumentViewLayoutKey, core::Value(int64_t(VKPDFViewController::Vertical)));
    defaults->set("VKPagingGestureInfoShown", core::Value(true));
}

// Runs the main loop (work handed back from other threads comes in) until
// `done`, or for `seconds`.
bool runUntil(const std::function<bool()>& done, double seconds = 60)
{
    return core::RunLoop::main().runUntil(done, seconds);
}

// The viewer pushed over a plain root, in the test window.
struct Viewer {
    std::shared_ptr<VKNavigationController> navigation;
    std::shared_ptr<VKPDFViewController> viewer;

    explicit Viewer(const std::string& path)
    {
        navigation = VKNavigationController::create(std::make_shared<ui::TableViewController>());
        ui::testing::Environment::keyWindow()->setRootViewController(navigation);
        core::RunLoop::main().runUntilIdle();
        viewer = VKPDFViewController::create(VKFileResource::resourceWithPath(path), nullptr);
    }
    void push()
    {
        navigation->pushViewController(viewer, false);
        viewer->view();
    }
    void waitForLoad()
    {
        runUntil([&] { return !viewer->isLoadingDocument() && viewer->documentView(); });
        ui::testing::Environment::keyWindow()->layoutIfNeeded();
    }
    ~Viewer()
    {
        ui::testing::Environment::keyWindow()->setRootViewController(nullptr);
        navigation.reset();
        viewer.reset();
        runUntil([] { return false; }, 0.2);
    }
};

void FirstPageSharp(benchmark::State& state)
{
    setUp();
    std::string path = bench::benchDocumentPath(bench::benchFolder(), 1000);
    double ours = 0, splash = 0, open = 0, scanner = 0, geometry = 0;
    for (auto _ : state) {
        {
            Viewer shown(path);
            ours += bench::seconds([&] {
                shown.push();
                shown.waitForLoad();
                ui::TiledLayer::renderAllVisibleTilesSynchronously();
            });
        }
        splash += bench::peer(fmt::format("pdftoppm -f 1 -l 1 -scale-to-x 628 -scale-to-y -1 {} {}/first 2>/dev/null",
            path, bench::benchFolder()));
        std::shared_ptr<VKPDFDocument> document;
        open += bench::seconds([&] { document = VKPDFDocument::initWithPath(path); });
        scanner += bench::seconds([&] { VKPDFOutlineScanner::initWithDocumentRef(document->documentRef()); });
        geometry += bench::seconds([&] { document->pageGeometry(0); });
    }
    double rounds = double(state.iterations());
    state.counters["first_page_ms"] = ours / rounds * 1000;
    state.counters["vs_pdftoppm"] = ours / splash;
    state.counters["open_ms"] = open / rounds * 1000;
    state.counters["scanner_ms"] = scanner / rounds * 1000;
    state.counters["geometry_ms"] = geometry / rounds * 1000;
    bench::atMost("page 1 sharp / pdftoppm", ours / splash, 1.5, "x",
        fmt::format("{:.0f} ms, pdftoppm {:.0f} ms (open {:.1f}, scanner {:.1f}, geometry {:.1f} ms)", ours / rounds * 1000,
            splash / rounds * 1000, open / rounds * 1000, scanner / rounds * 1000, geometry / rounds * 1000));
}
BENCHMARK(FirstPageSharp)->Iterations(3)->Unit(benchmark::kMillisecond);

void ThumbnailsOfFiftyPages(benchmark::State& state)
{
    setUp();
    float length = float(state.range(0));
    std::string path = bench::benchDocumentPath(bench::benchFolder(), 1000);
    auto document = VKPDFDocument::initWithPath(path);
    document->pageGeometry(0);
    auto& manager = VKPDFPageThumbnailManager::sharedManager();
    double ours = 0, splash = 0;
    int round = 0;
    for (auto _ : state) {
        // A new identifier each round: nothing cached.
        std::string identifier = fmt::format("bench-{}-{}", int(length), ++round);
        ours += bench::seconds([&] {
            for (uint32_t page = 1; page <= 50; ++page)
                VKPDFPageThumbnailRenderOperation::initWithDocument(document, page, identifier, length)->run();
        });
        if (!std::filesystem::exists(manager.thumbnailPathForDocument(50, identifier)))
            bench::wrongAnswer("no thumbnail written for page 50");
        splash += bench::peer(fmt::format("pdftoppm -png -scale-to {} -f 1 -l 50 {} {}/thumb 2>/dev/null",
            int(length), path, bench::benchFolder()));
        runUntil([] { return false; }, 0.05);
    }
    manager.zapThumbnails();
    state.counters["ms_per_page"] = ours / double(state.iterations()) / 50 * 1000;
    state.counters[fmt::format("vs_pdftoppm_{}", int(length))] = ours / splash;
    bench::atMost(fmt::format("thumbnails of 50 pages at {} px / pdftoppm", int(length)), ours / splash, 1.2, "x",
        fmt::format("{:.1f} ms a page, pdftoppm {:.1f}", ours / double(state.iterations()) / 50 * 1000,
            splash / double(state.iterations()) / 50 * 1000));
}
BENCHMARK(ThumbnailsOfFiftyPages)->Arg(192)->Arg(384)->Iterations(2)->Unit(benchmark::kMillisecond);

void ScrubAndScroll(benchmark::State& state)
{
    setUp();
    int pages = int(state.range(0));
    std::string path = bench::benchDocumentPath(bench::benchFolder(), pages);
    // A render the queue took just before a newer request came in starts
    // after it: the page requested before the newest is not stale yet.
    std::atomic<uint32_t> newest { 0 }, before { 0 };
    std::atomic<int> renders { 0 }, stale { 0 };
    VKPDFPageThumbnailRenderOperation::setRunHookForTesting([&](const VKPDFPageThumbnailRenderOperation& render) {
        ++renders;
        if (render.pageNumber() != newest.load() && render.pageNumber() != before.load())
            ++stale;
    });
    int requests = 0;
    double peakOver = 0;
    size_t peak = 0;
    for (auto _ : state) {
        Viewer shown(path);
        shown.push();
        shown.waitForLoad();
        ui::TiledLayer::renderAllVisibleTilesSynchronously();
        core::RunLoop::main().runUntilIdle();
        VKPDFPageThumbnailManager::sharedManager().zapThumbnails();
        bench::resetPeakResident();
        size_t opened = bench::statusKilobytes("VmRSS:");
        VKDocumentView& layout = *shown.viewer->documentView();

        // Scrubbing: the overlay asks for the page under the finger each
        // frame, 1/60 s apart, over all pages in two seconds.
        auto start = std::chrono::steady_clock::now();
        for (int frame = 0; frame < 120; ++frame) {
            size_t index = std::min(size_t(pages - 1), size_t(frame) * size_t(pages) / 120);
            if (newest.load() != uint32_t(index) + 1) {
                before = newest.load();
                newest = uint32_t(index) + 1;
            }
            if (!shown.viewer->documentViewThumbnailImageForIndex(layout, index, 384))
                ++requests;
            auto due = start + std::chrono::microseconds(int64_t(frame + 1) * 1000000 / 60);
            runUntil([] { return false; }, std::chrono::duration<double>(due - std::chrono::steady_clock::now()).count());
        }
        // The last request is drawn.
        std::string last = VKPDFPageThumbnailManager::sharedManager().thumbnailPathForDocument(
            newest.load(), shown.viewer->resource()->UUID());
        runUntil([&] { return std::filesystem::exists(last); }, 10);

        // End to end, a screen at a time, each until it is sharp.
        auto& scroll = *layout.scrollView();
        for (float y = 0, end = scroll.contentSize().height - 480; y <= end; y += 480 * 4) {
            scroll.setContentOffset({ 0, y });
            layout.layoutIfNeeded();
            ui::TiledLayer::renderAllVisibleTilesSynchronously();
        }
        peak = bench::statusKilobytes("VmHWM:");
        peakOver = double(peak - std::min(opened, peak)) / 1024;
    }
    VKPDFPageThumbnailRenderOperation::setRunHookForTesting({});
    state.counters["requests"] = requests;
    state.counters["renders"] = renders.load();
    state.counters["replaced"] = requests - renders.load();
    state.counters["stale_renders"] = stale.load();
    state.counters["peak_over_opened_mb"] = peakOver;
    state.counters["peak_rss_mb"] = double(peak) / 1024;
    if (renders.load() == 0)
        bench::wrongAnswer("scrubbing drew no thumbnail");
    bench::atMost(fmt::format("stale renders while scrubbing {} pages", pages), stale.load(), 0, "",
        fmt::format("{} requests, {} renders", requests, renders.load()));
    bench::atMost(fmt::format("peak over the opened viewer, {} pages", pages), peakOver, 150, "MB",
        fmt::format("peak resident {:.0f} MB", double(peak) / 1024));
    // The larger document's peak against the smaller one's.
    static double peak100Pages = 0;
    if (pages == 100)
        peak100Pages = double(peak);
    else if (peak100Pages > 0) {
        state.counters["vs_100_pages"] = double(peak) / peak100Pages;
        bench::atMost("peak resident, 1,000 / 100 pages", double(peak) / peak100Pages, 1.25, "x");
    }
}
BENCHMARK(ScrubAndScroll)->Arg(100)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

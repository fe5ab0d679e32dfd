// bench: tandry_viewers tandry_test_support_pdf
// The sideways layouts over the 1,000-page bench document on a 768 × 1024
// screen at scale 2 with two tile workers, pages 1-200 turned by edge taps
// (single pages, then spreads with the first page alone):
// - per turn, from the tap until the new cell's visible tiles are drawn,
//   p50 and p95 ("p50_ms", "p95_ms"), against pdftoppm and pdf::drawPage
//   drawing the same pages at the same pixel width in the same run, per
//   page shown (targets: p95 ≤ 1.5 × and ≤ 1.2 ×, the counters
//   "vs_pdftoppm" and "vs_drawPage");
// - the longest main-thread pass of a turn without the tile drawing
//   ("longest_pass_ms", target ≤ 16);
// - the resident size after 200 turns less that after 20
//   ("rss_growth_mb", target ≤ 20), with the most cells alive and the
//   page views cached.
#include "../PeerTiming.h"
#include "BenchDocuments.h"

#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFPage.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/PDF/PageDrawing.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/Window.h"
#include "Viewers/PDF/VKDocumentViewDataSource.h"
#include "Viewers/PDF/VKDocumentViewHorizontal.h"
#include "Viewers/PDF/VKDocumentViewHorizontalDouble.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKPagingView.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

constexpr float Width = 768, Height = 1024;

const std::string& folder()
{
    static const std::string path = (std::filesystem::temp_directory_path() / "tandry-bench-pdfs").string();
    return path;
}

void setUp()
{
    if (core::RunLoop::hasMainThread())
        return;
    core::RunLoop::setMainThread();
    std::string home = TANDRY_SOURCE_DIR "/build/bench/horizontal-paging";
    std::filesystem::create_directories(home);
    core::paths::setHome(home);
    gfx::Screen::main().setBounds({ 0, 0, Width, Height });
    gfx::Screen::main().setScale(2);
    ui::TiledLayer::setWorkerCount(2);
}

class Pages : public core::Object, public VKDocumentViewDataSource {
public:
    explicit Pages(std::shared_ptr<VKPDFDocument> document) : document(std::move(document)) { }
    size_t numberOfPagesInDocumentView(VKDocumentView&) override { return document->numPages(); }
    gfx::Size documentViewSizeForPageAtIndex(VKDocumentView&, size_t index) override
    {
        return document->pageGeometry(uint32_t(index)).rotatedBox.size;
    }
    std::shared_ptr<ui::View> documentViewViewForPageAtIndex(VKDocumentView&, size_t index) override
    {
        return VKPDFPageView::pageViewWithPage(VKPDFPage::pageWithDocument(document, int(index) + 1));
    }
    std::optional<std::string> documentViewTitleForPageAtIndex(VKDocumentView&, size_t) override { return {}; }
    unsigned maxDepthForDocumentView(VKDocumentView&) override { return 0; }
    gfx::Size documentViewThumbnailSizeForIndex(VKDocumentView&, size_t) override { return {}; }
    std::shared_ptr<gfx::Image> documentViewThumbnailImageForIndex(VKDocumentView&, size_t, float) override
    {
        return nullptr;
    }
    std::shared_ptr<VKPDFDocument> document;
};

size_t residentKilobytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return size_t(std::stoul(line.substr(6)));
    return 0;
}

double drawPages(const std::shared_ptr<VKPDFDocument>& document, int first, int last, float width)
{
    return bench::seconds([&] {
        for (int n = first; n <= last; ++n) {
            pdf::Page page = document->documentRef()->page(n);
            gfx::Rect box = VKPDFPageGetRotatedBoxRect(page);
            float height = std::ceil(box.height() * width / box.width());
            auto bitmap = gfx::BitmapContext::create(int(width), int(height));
            bitmap->setFillColor(1, 1, 1, 1);
            bitmap->fillRect(gfx::Rect(0, 0, width, height));
            bitmap->concatCTM(VKPDFPageGetDrawingTransform(page, pdf::Box::Crop, gfx::Rect(0, 0, width, height), 0, true));
            pdf::drawPage(page, *bitmap);
            benchmark::DoNotOptimize(bitmap->pixelAt(0, 0));
        }
    });
}

void TurnPages(benchmark::State& state)
{
    setUp();
    bool spreads = state.range(0) != 0;
    std::string path = bench::benchDocumentPath(folder(), 1000);
    auto document = VKPDFDocument::initWithPath(path);
    document->pageGeometry(0);
    auto window = ui::Window::create({ 0, 0, Width, Height });
    window->setHidden(false);
    auto pages = std::make_shared<Pages>(document);
    std::shared_ptr<VKDocumentViewHorizontal> layout;
    if (spreads)
        layout = VKDocumentViewHorizontalDouble::create({ 0, 0, Width, Height });
    else
        layout = VKDocumentViewHorizontal::create({ 0, 0, Width, Height });
    window->addSubview(layout);
    layout->setDataSource(pages);
    layout->setPagingEnabled(true);
    auto show = [&] {
        layout->layoutIfNeeded();
        layout->pagingView().layoutIfNeeded();
    };
    show();
    ui::TiledLayer::renderAllVisibleTilesSynchronously();

    std::vector<double> turns;
    double longestPass = 0;
    size_t rssAfter20 = 0, mostCells = 0, mostViews = 0;
    int turnsMade = 0;
    for (auto _ : state) {
        double elapsed = bench::seconds([&] {
            while (layout->currentIndexRange().end() < 200) {
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
                longestPass = std::max(longestPass, pass);
                mostCells = std::max(mostCells, layout->pagingView().currentCells().size());
                mostViews = std::max(mostViews, layout->cachedPageViews().size());
                if (++turnsMade == 20)
                    rssAfter20 = residentKilobytes();
            }
        });
        state.SetIterationTime(elapsed);
    }
    size_t rssAfter200 = residentKilobytes();
    // The same pages at the width a page shows at: the screen's width at
    // scale 2, or half of it in a spread.
    float pixels = spreads ? Width : 2 * Width;
    int shown = int(layout->currentIndexRange().end());
    double splash = bench::peer(fmt::format("pdftoppm -scale-to-x {} -scale-to-y -1 -f 1 -l {} {} {}/turn 2>/dev/null",
                        int(pixels), shown, path, folder()))
        / shown;
    double direct = drawPages(document, 1, shown, pixels) / shown;
    std::sort(turns.begin(), turns.end());
    auto at = [&](double q) { return turns.empty() ? 0 : turns[size_t(double(turns.size() - 1) * q)]; };
    // A turn shows one page, or two in a spread.
    double perPage = at(0.95) / (spreads ? 2 : 1);
    state.counters["p50_ms"] = at(0.5) * 1000;
    state.counters["p95_ms"] = at(0.95) * 1000;
    state.counters["vs_pdftoppm"] = perPage / splash;
    state.counters["vs_drawPage"] = perPage / direct;
    state.counters["longest_pass_ms"] = longestPass * 1000;
    state.counters["rss_growth_mb"] = (double(rssAfter200) - double(rssAfter20)) / 1024;
    state.counters["most_cells"] = double(mostCells);
    state.counters["most_cached_views"] = double(mostViews);
    layout->removeFromSuperview();
    layout.reset();
    window.reset();
    core::RunLoop::main().runUntil([] { return false; }, 0.2);
}
BENCHMARK(TurnPages)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

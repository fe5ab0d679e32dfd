// bench: tandry_platform_pdf tandry_test_support_pdf
// The tiles of a zoomed page drawn by 1, 2 and 4 workers at once, as the
// viewer's tile workers draw them: 256-pixel tiles of a page at 4 × its
// size (130 tiles), each worker taking the next tile and drawing it with
// drawPage on a renderer document of its own. Pages: the first of the
// pdflatex fixture (embedded Type 1 fonts) and of the bench document
// (standard fonts, an image). Each tile is checked against the same tile
// drawn by one worker (no pixel may differ). Targets: N workers at least
// 0.7 × N times as fast as one ("speedup_N"), the best of three turns each,
// taken in turn; meaningful on a machine with 4 cores left free for it
// (taskset -c 4-7).
#include "BenchDocuments.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/PDF/Document.h"
#include "Platform/PDF/PageDrawing.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

constexpr int kTile = 256;
constexpr float kZoom = 4;

struct Tiles {
    int columns = 0, rows = 0;
    std::vector<std::vector<uint8_t>> pixels;
};

// Every tile of the page at kZoom, drawn by `workers` threads; the time in
// seconds.
double drawTiles(const pdf::Document& document, int workers, Tiles& out)
{
    pdf::Page page = document.page(1);
    gfx::Rect box = page.boxRect(pdf::Box::Crop);
    int width = int(std::ceil(box.width() * kZoom)), height = int(std::ceil(box.height() * kZoom));
    out.columns = (width + kTile - 1) / kTile;
    out.rows = (height + kTile - 1) / kTile;
    out.pixels.assign(size_t(out.columns * out.rows), {});
    std::atomic<int> next { 0 };
    auto work = [&] {
        for (int tile = next++; tile < out.columns * out.rows; tile = next++) {
            int column = tile % out.columns, row = tile / out.columns;
            auto bitmap = gfx::BitmapContext::create(kTile, kTile);
            // Rows count from the top; the context's y axis goes up.
            bitmap->translateCTM(float(-column * kTile), float(-(height - (row + 1) * kTile)));
            bitmap->scaleCTM(kZoom, kZoom);
            bitmap->concatCTM(page.drawingTransform(pdf::Box::Crop, gfx::Rect(0, 0, box.width(), box.height()), 0, true));
            pdf::drawPage(page, *bitmap);
            std::vector<uint8_t>& pixels = out.pixels[size_t(tile)];
            for (int y = 0; y < kTile; y += 3) {
                for (int x = 0; x < kTile; x += 3) {
                    gfx::Pixel p = bitmap->pixelAtForTesting(x, y);
                    pixels.insert(pixels.end(), { p.red, p.green, p.blue, p.alpha });
                }
            }
        }
    };
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w)
        threads.emplace_back(work);
    work();
    for (auto& thread : threads)
        thread.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void TileWorkers(benchmark::State& state, std::string name, bool tex)
{
    std::string path = tex ? std::string(TANDRY_SOURCE_DIR) + "/tests/fixtures/pdf/tex-builtin.pdf"
                           : bench::benchDocumentPath((std::filesystem::temp_directory_path() / "tandry-bench-pdfs").string(),
                                 bench::sized(1000, 100));
    core::Data bytes;
    if (!core::fs::readFile(path, bytes)) {
        bench::wrongAnswer("cannot read " + path);
        return;
    }
    auto document = pdf::Document::open(bytes);
    if (!document) {
        bench::wrongAnswer("cannot open " + path);
        return;
    }
    const int counts[] = { 1, 2, 4 };
    double best[3] = { INFINITY, INFINITY, INFINITY };
    Tiles alone;
    // Each renderer document loads the page's fonts once: a first turn
    // with four workers opens them all.
    drawTiles(*document, 4, alone);
    drawTiles(*document, 1, alone);
    for (auto _ : state) {
        double total = 0;
        for (int i = 0; i < 3; ++i) {
            Tiles tiles;
            double elapsed = drawTiles(*document, counts[i], tiles);
            total += elapsed;
            best[i] = std::min(best[i], elapsed);
            if (tiles.pixels != alone.pixels)
                bench::wrongAnswer(fmt::format("{}: tiles drawn by {} workers differ from one's", name, counts[i]));
        }
        state.SetIterationTime(total);
    }
    for (int i = 1; i < 3; ++i) {
        double speedup = best[0] / best[i];
        state.counters[fmt::format("speedup_{}", counts[i])] = speedup;
        bench::atLeast(fmt::format("{}: {} workers' tiles, speed-up over one", name, counts[i]), speedup,
            0.7 * counts[i], "x", fmt::format("{:.0f} ms, one worker {:.0f} ms", best[i] * 1000, best[0] * 1000));
    }
}

const bool registered = [] {
    benchmark::RegisterBenchmark("TileWorkers/tex", TileWorkers, "pdflatex page", true)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
    benchmark::RegisterBenchmark("TileWorkers/bench", TileWorkers, "bench document page", false)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
    return true;
}();

} // namespace

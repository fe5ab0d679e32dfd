// bench: tandry_platform_pdf tandry_test_support_pdf
// Pages 1-50 of the 1,000-page bench document drawn at 72 and 144 dpi into
// white bitmaps, against pdftoppm (splash, PPM out) and pdftocairo (cairo,
// PNG out) drawing the same pages in the same run. Targets: at most 1.5 ×
// pdftoppm's time and 1.1 × pdftocairo's; the ratios are the counters
// "vs_pdftoppm" and "vs_pdftocairo". Also: opening the 1,000-page document
// (target under 50 ms; the file is mapped, never copied).
#include "../PeerTiming.h"
#include "BenchDocuments.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/PDF/Document.h"
#include "Platform/PDF/PageDrawing.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace {

const std::string& folder()
{
    static const std::string path = (std::filesystem::temp_directory_path() / "tandry-bench-pdfs").string();
    return path;
}

const std::string& document1000()
{
    static const std::string path = bench::benchDocumentPath(folder(), 1000);
    return path;
}

using bench::peer;
using bench::seconds;

void renderPages(const pdf::Document& document, int dpi)
{
    float scale = float(dpi) / 72;
    for (int n = 1; n <= 50; ++n) {
        pdf::Page page = document.page(n);
        gfx::Rect box = page.boxRect(pdf::Box::Crop);
        auto bitmap = gfx::BitmapContext::create(int(std::ceil(box.width() * scale)), int(std::ceil(box.height() * scale)));
        bitmap->setFillColor(1, 1, 1, 1);
        bitmap->fillRect(gfx::Rect(0, 0, float(bitmap->width()), float(bitmap->height())));
        bitmap->scaleCTM(scale, scale);
        bitmap->concatCTM(page.drawingTransform(pdf::Box::Crop, gfx::Rect(0, 0, box.width(), box.height()), 0, true));
        pdf::drawPage(page, *bitmap);
        benchmark::DoNotOptimize(bitmap->pixelAtForTesting(0, 0));
    }
}

void RenderVsPeers(benchmark::State& state)
{
    int dpi = int(state.range(0));
    const std::string& path = document1000();
    std::string out = folder() + "/peer";
    double ours = 0, splash = 0, cairo = 0;
    int64_t rounds = 0;
    for (auto _ : state) {
        double elapsed = seconds([&] {
            core::Data bytes;
            core::fs::readFile(path, bytes);
            renderPages(*pdf::Document::open(bytes), dpi);
        });
        state.SetIterationTime(elapsed);
        ours += elapsed;
        splash += peer(fmt::format("pdftoppm -r {} -f 1 -l 50 {} {} 2>/dev/null", dpi, path, out));
        cairo += peer(fmt::format("pdftocairo -png -r {} -f 1 -l 50 {} {} 2>/dev/null", dpi, path, out));
        ++rounds;
    }
    state.counters["pdftoppm_s"] = splash / double(rounds);
    state.counters["pdftocairo_s"] = cairo / double(rounds);
    state.counters["vs_pdftoppm"] = ours / splash;
    state.counters["vs_pdftocairo"] = ours / cairo;
    bench::atMost(fmt::format("pages 1-50 at {} dpi / pdftoppm", dpi), ours / splash, 1.5, "x",
        fmt::format("{:.2f} s, pdftoppm {:.2f} s", ours / double(rounds), splash / double(rounds)));
    bench::atMost(fmt::format("pages 1-50 at {} dpi / pdftocairo", dpi), ours / cairo, 1.1, "x",
        fmt::format("pdftocairo {:.2f} s", cairo / double(rounds)));
}
BENCHMARK(RenderVsPeers)->Arg(72)->Arg(144)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void OpenDocument(benchmark::State& state)
{
    core::Data bytes;
    core::fs::readFile(document1000(), bytes);
    for (auto _ : state) {
        auto document = pdf::Document::open(bytes);
        benchmark::DoNotOptimize(document->pageCount());
    }
    state.counters["bytes"] = double(bytes.size());
}
BENCHMARK(OpenDocument)->Unit(benchmark::kMillisecond);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    bench::atMost("1,000-page document opened", bench::runSeconds("OpenDocument") * 1000, 50, "ms");
});

} // namespace

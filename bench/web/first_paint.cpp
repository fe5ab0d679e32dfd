// bench: tandry_platform_web tandry_test_support
// A generated 1 MB HTML file in a fresh web view (320 × 480 points at scale
// 2): milliseconds from the load call to didFinishLoad and to the first
// snapshot drawn by the renderer, median of 5, and the web process's resident
// memory then; against the bare WebKit path in the same run (first_paint_bare,
// an offscreen WebKitWebView with the same settings and no toolkit). Targets:
// both times within 1.2 × the bare path's + 50 ms, memory within 1.2 ×
// (counters "finish_ok", "paint_ok", "memory_ok": 1 when met). Needs Xvfb.

#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebDocumentView.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebView.h"
#include "Platform/Web/WebViewDelegate.h"

#include "BenchPage.h"
#include "WebBench.h"
#include "Support/XvfbDisplay.h"
#include "WebProcessMemory.h"

#include <algorithm>
#include "Report.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

constexpr int Runs = 5;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}


void FirstPaint(benchmark::State& state)
{
    if (!test::XvfbDisplay::start()) {
        state.SkipWithError("Xvfb cannot run");
        return;
    }
    std::string folder = (std::filesystem::temp_directory_path() / "tandry-bench-web").string();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder + "/home");
    core::paths::setHome(folder + "/home");
    std::string page = bench::makeBenchPage(folder + "/home");
    core::RunLoop::setMainThread();
    ui::testing::Environment::begin();
    auto engine = web::GtkWebEngine::shared();
    if (!engine) {
        state.SkipWithError("GTK did not start");
        return;
    }
    web::WebEngine::setCurrent(engine);
    auto& loop = core::RunLoop::main();

    std::vector<double> finish, paint, memory;
    std::vector<double> bareFinish, barePaint, bareMemory;
    for (auto _ : state) {
        for (int run = 0; run < Runs; ++run) {
            auto ends = std::make_shared<bench::LoadEnds>();
            auto view = web::WebView::create({ 0, 0, 320, 480 });
            view->setDelegate(ends);
            ui::testing::Environment::keyWindow()->addSubview(view);
            auto& document = static_cast<web::WebDocumentView&>(view->documentView());
            auto start = Clock::now();
            view->loadRequest(core::URLRequest(core::URL::fileURL(page)));
            loop.runUntil([&] { return ends->finished || ends->failed; }, 60);
            finish.push_back(since(start));
            loop.runUntil([&] { return document.snapshot() != nullptr; }, 60);
            auto picture = ui::Renderer::renderImage(*view, ui::RenderOptions { 2, std::nullopt, false, {} });
            benchmark::DoNotOptimize(picture.get());
            paint.push_back(since(start));
            memory.push_back(double(bench::webProcessKilobytes()));
            view->removeFromSuperview();
            view.reset();
            loop.runUntil([] { return false; }, 0.5);
        }
        // The bare path, in this run, as a program of its own.
        std::string command = (std::filesystem::path(TANDRY_BENCH_BINARY_DIR) / "first_paint_bare").string() + " "
            + page + " " + std::to_string(Runs) + " > " + folder + "/bare.txt";
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("first_paint_bare failed");
            return;
        }
        std::ifstream lines(folder + "/bare.txt");
        double f, p, m;
        while (lines >> f >> p >> m) {
            bareFinish.push_back(f);
            barePaint.push_back(p);
            bareMemory.push_back(m);
        }
    }
    double ourFinish = median(finish), ourPaint = median(paint), ourMemory = median(memory);
    double theirFinish = median(bareFinish), theirPaint = median(barePaint), theirMemory = median(bareMemory);
    state.counters["finish_ms"] = ourFinish;
    state.counters["paint_ms"] = ourPaint;
    state.counters["web_process_kB"] = ourMemory;
    state.counters["bare_finish_ms"] = theirFinish;
    state.counters["bare_paint_ms"] = theirPaint;
    state.counters["bare_web_process_kB"] = theirMemory;
    state.counters["finish_ok"] = ourFinish <= 1.2 * theirFinish + 50;
    state.counters["paint_ok"] = ourPaint <= 1.2 * theirPaint + 50;
    state.counters["memory_ok"] = ourMemory <= 1.2 * theirMemory;
    bench::atMost("load to didFinishLoad", ourFinish, 1.2 * theirFinish + 50, "ms",
        fmt::format("bare WebKit {:.0f} ms (target 1.2x it + 50 ms)", theirFinish));
    bench::atMost("load to the first picture drawn", ourPaint, 1.2 * theirPaint + 50, "ms",
        fmt::format("bare WebKit {:.0f} ms", theirPaint));
    bench::atMost("web process memory / bare WebKit's", ourMemory / theirMemory, 1.2, "x",
        fmt::format("{:.0f} MB, bare {:.0f} MB", ourMemory / 1024, theirMemory / 1024));
    ui::testing::Environment::end();
}
BENCHMARK(FirstPaint)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

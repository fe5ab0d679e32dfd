// bench: tandry_platform_web tandry_test_support
// How long WebKit's processes outlive the last web view: a view (320 × 480
// points) loads the 1 MB bench page, checked first (loaded, its title
// read back, a web process running), then goes; the seconds until this
// program has no web content process left, and none of the network's.
// Target: both within a minute (the engine lets its context go 45 s after
// the last page). Needs Xvfb; takes about a minute a run.

#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/Web/WebView.h"

#include "BenchPage.h"
#include "WebBench.h"
#include "WebProcessMemory.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <fmt/format.h>

namespace {

using Clock = std::chrono::steady_clock;

void ProcessLife(benchmark::State& state)
{
    std::string folder = (std::filesystem::temp_directory_path() / "tandry-bench-web-life").string();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder + "/home");
    if (!bench::beginWebBench(folder + "/home")) {
        state.SkipWithError("no display or GTK did not start");
        return;
    }
    std::string page = bench::makeBenchPage(folder + "/home");
    auto& loop = core::RunLoop::main();
    double web = 0, network = 0, memory = 0;
    for (auto _ : state) {
        auto ends = std::make_shared<bench::LoadEnds>();
        auto view = web::WebView::create({ 0, 0, 320, 480 });
        view->setDelegate(ends);
        ui::testing::Environment::keyWindow()->addSubview(view);
        view->loadRequest(core::URLRequest(core::URL::fileURL(page)));
        loop.runUntil([&] { return ends->finished || ends->failed; }, 60);
        loop.runUntil([&] { return view->title() == "Bench"; }, 10);
        if (!ends->finished || view->title() != "Bench" || bench::childProcesses("WebKitWebProces").count == 0)
            bench::wrongAnswer(fmt::format("the page did not load in a web process (title \"{}\")", view->title()));
        memory = double(bench::webProcessKilobytes()) / 1024;
        view->removeFromSuperview();
        view.reset();
        auto gone = Clock::now();
        auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - gone).count(); };
        double webEnded = -1, networkEnded = -1;
        loop.runUntil([&] {
            if (webEnded < 0 && bench::childProcesses("WebKitWebProces").count == 0)
                webEnded = seconds();
            if (networkEnded < 0 && bench::childProcesses("WebKitNetworkPr").count == 0)
                networkEnded = seconds();
            return webEnded >= 0 && networkEnded >= 0;
        }, 90);
        web = std::max(web, webEnded < 0 ? 90 : webEnded);
        network = std::max(network, networkEnded < 0 ? 90 : networkEnded);
    }
    state.counters["web_process_s"] = web;
    state.counters["network_process_s"] = network;
    bench::atMost("web process ended after the last view went", web, 60, "s",
        fmt::format("{:.0f} MB while the page showed", memory));
    bench::atMost("network process ended after the last view went", network, 60, "s");
}
BENCHMARK(ProcessLife)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

// bench: tandry_viewers
// Opening a large log in the text viewer at 768 × 1024 with real text
// (Pango), warm cache, for seeded logs of 1, 16 and 64 MB (ASCII lines of
// 40–200 characters, every tenth with UTF-8):
// - "firstScreenMs": from the viewer's push (loadContentView) until its text
//   view holds text and the Renderer has drawn the window, against
//   "lessMs", `less` in a pty with the viewer's rows until its first screen
//   and prompt are out (bench/viewers/text_open.sh runs it);
// - "completeMs": until the load ended (the whole text decoded and its
//   lines counted: the page count known, the end reachable), against
//   "iconvMs", `iconv -f UTF-8 -t UTF-8` of the file to /dev/null;
// - "longestPassMs": the longest main-loop pass during the load;
// - "peakRssMB" and "rssGrowthMB": the process's peak resident size after
//   the open, and how much the open added to the resident size.

#include "Viewers/Text/VKTextViewController.h"
#include "Viewers/Text/VKTextView.h"

#include "../PeerTiming.h"
#include "App/Shell/VKApplication.h"
#include "App/Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/UI/Window.h"
#include "Viewers/Document/VKDocumentViewController.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::string benchHome()
{
    return (std::filesystem::current_path() / fmt::format("text-open-bench-{}", getpid())).string();
}

std::string makeLog(const std::string& directory, size_t megabytes)
{
    std::string path = fmt::format("{}/log-{}.log", directory, megabytes);
    if (std::filesystem::exists(path))
        return path;
    std::mt19937 random { unsigned(megabytes) };
    const char* words[] = { "GET", "/index.html", "200", "connection", "accepted", "worker", "finished", "job", "in",
        "ms", "cache", "miss", "for", "origin", "server", "request", "body", "parsed" };
    const char* utf8[] = { "Привет", "naïve", "東京", "Größe", "ελληνικά" };
    std::ofstream out(path, std::ios::binary);
    std::string line;
    size_t written = 0;
    for (size_t number = 0; written < megabytes * 1000 * 1000; ++number) {
        size_t length = 40 + random() % 161;
        line = fmt::format("2026-12-08 {:08} ", number);
        while (line.size() < length) {
            line += number % 10 == 0 && random() % 4 == 0 ? utf8[random() % std::size(utf8)] : words[random() % std::size(words)];
            line += ' ';
        }
        line += '\n';
        out << line;
        written += line.size();
    }
    return path;
}

double peakMB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1e3;
}

void OpenLargeText(benchmark::State& state)
{
    size_t megabytes = size_t(state.range(0));
    core::RunLoop::setMainThread();
    std::string home = benchHome();
    std::filesystem::create_directories(home);
    std::atexit([] { std::filesystem::remove_all(benchHome()); });
    core::paths::setHome(home);
    gfx::setTextEngine(gfx::makePangoTextEngine());
    core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
    gfx::Screen::main().setBounds({ 0, 0, 768, 1024 });
    ui::testing::Environment::begin(VKApplication::create());
    core::UserDefaults::standard()->set(VKDocumentViewController::PagingGestureInfoShownKey, core::Value(true));
    auto& window = ui::testing::Environment::keyWindow();
    window->setFrame({ 0, 0, 768, 1024 });
    // text_open.sh keeps the logs for its peer.
    const char* kept = std::getenv("TEXT_OPEN_LOGS");
    std::string path = makeLog(kept && *kept ? kept : home, megabytes);
    // Warm cache, fontconfig warmed.
    bench::peer(fmt::format("cat '{}' > /dev/null", path));
    ui::RenderOptions real;
    real.realText = true;
    ui::Renderer::renderScreenImage(real);

    double firstScreen = 0, complete = 0, longest = 0, growth = 0, iconv = 0;
    int runs = 0;
    for (auto _ : state) {
        auto navigation = VKNavigationController::create(std::make_shared<ui::TableViewController>());
        window->setRootViewController(navigation);
        core::RunLoop::main().runUntilIdle();
        double before = bench::residentMB();
        auto viewer = VKTextViewController::create(VKFileResource::resourceWithPath(path), nullptr);
        auto start = Clock::now();
        navigation->pushViewController(viewer, false);
        bool drawn = false;
        auto last = Clock::now();
        while (viewer->contentIsLoading() || !drawn) {
            core::RunLoop::main().runOnce(core::RunLoop::DefaultMode, 0.001);
            auto now = Clock::now();
            longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
            if (!drawn && viewer->textView() && viewer->textView()->textLength() > 0) {
                ui::Renderer::renderScreenImage(real);
                drawn = true;
                firstScreen += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            }
            last = Clock::now();
        }
        complete += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        growth = std::max(growth, bench::residentMB() - before);
        iconv += bench::peer(fmt::format("iconv -f UTF-8 -t UTF-8 '{}' > /dev/null", path)) * 1e3;
        ++runs;
        window->setRootViewController(nullptr);
        navigation.reset();
        viewer.reset();
        core::RunLoop::main().runUntilIdle();
    }
    state.counters["firstScreenMs"] = firstScreen / runs;
    state.counters["completeMs"] = complete / runs;
    state.counters["iconvMs"] = iconv / runs;
    state.counters["longestPassMs"] = longest;
    state.counters["rssGrowthMB"] = growth;
    state.counters["peakRssMB"] = peakMB();
    ui::testing::Environment::end();
}
BENCHMARK(OpenLargeText)->Arg(1)->Arg(16)->Arg(64)->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace

// bench: tandry_webbrowser tandry_shell tandry_test_support
// The in-app browser on WebKit under Xvfb (320 × 480 points at scale 2)
// loading a 300 KB page with 40 images and a style sheet from a loopback
// HTTP server (Python's, one for both), from `loadRequest` until the
// browser reports the load's end, against the bare WebKit program
// (page_load_bare, one process for the run as the browser keeps one) on the
// same page, alternating in one run, median of 20 each ("vsBare", target
// ≤ 1.1). Every load asks for its own copy of the page, whose style sheet
// and images carry the run's number, so neither side finds anything in a
// cache.

#include "WebBrowser/VKWebBrowserController.h"
#include "WebBrowser/VKWebBrowserView.h"

#include "../LoopbackServer.h"
#include "../PeerTiming.h"
#include "../web/WebBench.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebEngine.h"

#include "Support/XvfbDisplay.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int Runs = 20;
using Clock = std::chrono::steady_clock;

const std::string& folder()
{
    static const std::string path = TANDRY_SOURCE_DIR "/build/bench/page-load";
    return path;
}

// The site: style.css, img-0.png … img-39.png and page-N.html for each
// load, N in [0, count).
void makeSite(const std::string& site, int count)
{
    std::filesystem::create_directories(site);
    {
        std::ofstream css(site + "/style.css");
        for (int n = 0; n < 400; ++n)
            css << fmt::format(".c{0} {{ color: #{1:06x}; margin: {2}px; padding: {3}px; font: {4}px serif; }}\n", n,
                n * 40503 % 0xffffff, n % 9, n % 7, 10 + n % 8);
    }
    for (int n = 0; n < 40; ++n) {
        std::string path = fmt::format("{}/img-{}.png", site, n);
        if (!std::filesystem::exists(path))
            bench::peer(fmt::format("/usr/bin/convert -size 96x64 plasma:fractal -seed {} '{}' 2>/dev/null || "
                                    "/usr/bin/convert -size 96x64 xc:'rgb({},{},200)' '{}'",
                n, path, n * 6, 255 - n * 6, path));
    }
    std::string body;
    for (int n = 0; body.size() < 300'000; ++n) {
        body += fmt::format("<h2 class='c{0}'>Part {0}</h2><p class='c{1}'>The quick brown fox jumps over the lazy dog "
                            "{2} times; lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor "
                            "incididunt ut labore et dolore magna aliqua.</p>\n",
            n, (n * 7) % 400, n * 7919);
        if (n % 25 == 0 && n / 25 < 40)
            body += fmt::format("<img src='img-{}.png?run=@RUN@' width='96' height='64'>\n", n / 25);
    }
    for (int run = 0; run < count; ++run) {
        std::string page = fmt::format("<!DOCTYPE html><html><head><meta charset='utf-8'><title>Load {}</title>"
                                       "<link rel='stylesheet' href='style.css?run={}'></head><body>",
            run, run);
        std::string copy = body;
        for (size_t at; (at = copy.find("@RUN@")) != std::string::npos;)
            copy.replace(at, 5, std::to_string(run));
        std::ofstream(fmt::format("{}/page-{}.html", site, run)) << page << copy << "</body></html>";
    }
    // All 40 images on every page.
    for (int n = 0; n < 40; ++n)
        if (body.find(fmt::format("img-{}.png", n)) == std::string::npos)
            throw std::runtime_error("the page lacks an image");
}

// The bare program, fed one URL at a time.
struct Bare {
    FILE* in = nullptr;
    FILE* out = nullptr;
    pid_t pid = -1;

    Bare()
    {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            close(toChild[1]);
            close(fromChild[0]);
            std::string tool = std::string(TANDRY_BENCH_BINARY_DIR) + "/page_load_bare";
            execl(tool.c_str(), tool.c_str(), nullptr);
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        in = fdopen(toChild[1], "w");
        out = fdopen(fromChild[0], "r");
    }
    double load(const std::string& url)
    {
        if (!in || !out)
            return -1;
        std::fprintf(in, "%s\n", url.c_str());
        std::fflush(in);
        double ms = -1;
        if (std::fscanf(out, "%lf", &ms) != 1)
            return -1;
        return ms;
    }
    ~Bare()
    {
        if (in)
            std::fclose(in);
        if (out)
            std::fclose(out);
        if (pid > 0)
            waitpid(pid, nullptr, 0);
    }
};

class Ends : public VKWebBrowserControllerUIDelegate {
public:
    void webBrowserControllerDidFinishLoad(VKWebBrowserController&) override { ++finished; }
    int finished = 0;
};

struct Browser {
    std::shared_ptr<Ends> ends = std::make_shared<Ends>();
    std::shared_ptr<VKWebBrowserController> browser;
    std::shared_ptr<VKNavigationController> navigation;

    Browser()
    {
        browser = VKWebBrowserController::webBrowserController();
        browser->setUIDelegate(ends);
        navigation = VKNavigationController::create(browser);
        navigation->setNavigationBarHidden(true, false);
        ui::testing::Environment::keyWindow()->setRootViewController(navigation);
        core::RunLoop::main().runUntilIdle();
    }
    ~Browser()
    {
        if (browser->webView())
            browser->webView()->stopLoading();
        ui::testing::Environment::keyWindow()->setRootViewController(nullptr);
        navigation.reset();
        browser.reset();
        core::RunLoop::main().runUntilIdle();
    }
    double load(const std::string& url)
    {
        int before = ends->finished;
        auto start = Clock::now();
        browser->loadRequest(core::URLRequest(*core::URL::parse(url)));
        if (!core::RunLoop::main().runUntil([&] { return ends->finished > before; }, 60))
            return -1;
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        // What the load's end set going (the loaded page's picture) is done
        // before the bare program's turn, while this loop still runs: left,
        // it would wait for the next load and be timed with it.
        core::RunLoop::main().runUntil([] { return false; }, 0.05);
        return ms;
    }
};

bool setUp()
{
    return bench::beginWebBench(folder() + "/home");
}

void PageLoad(benchmark::State& state)
{
    if (!setUp()) {
        state.SkipWithError("no display or no GTK");
        return;
    }
    std::string site = folder() + "/site";
    // Two copies a run, one for each side, and one for each warm-up.
    makeSite(site, 2 * Runs + 2);
    bench::LoopbackServer server(site, folder());
    if (!server.port) {
        state.SkipWithError("the HTTP server did not start");
        return;
    }
    auto url = [&](int n) { return fmt::format("http://127.0.0.1:{}/page-{}.html", server.port, n); };
    Browser browser;
    Bare bare;
    // Both web processes started.
    browser.load(url(2 * Runs));
    bare.load(url(2 * Runs + 1));
    std::vector<double> ours, theirs;
    int failed = 0;
    for (auto _ : state) {
        for (int run = 0; run < Runs; ++run) {
            // Who goes first alternates too.
            double mine = -1, bares = -1;
            if (run % 2 == 0) {
                mine = browser.load(url(2 * run));
                bares = bare.load(url(2 * run + 1));
            } else {
                bares = bare.load(url(2 * run + 1));
                mine = browser.load(url(2 * run));
            }
            if (mine < 0 || bares < 0) {
                ++failed;
                continue;
            }
            ours.push_back(mine);
            theirs.push_back(bares);
        }
    }
    double mine = bench::median(ours), bares = bench::median(theirs);
    state.counters["oursMs"] = mine;
    state.counters["bareMs"] = bares;
    state.counters["vsBare"] = mine > 0 && bares > 0 ? mine / bares : -1;
    state.counters["failed"] = failed;
    if (failed)
        bench::wrongAnswer(fmt::format("{} loads failed", failed));
    bench::atMost("page with 40 images loaded / bare WebKit", mine / bares, 1.1, "x",
        fmt::format("{:.0f} ms, bare {:.0f} ms (medians of 20)", mine, bares));
}
BENCHMARK(PageLoad)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

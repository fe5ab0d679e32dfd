// bench: tandry_viewers tandry_shell tandry_test_support
// The web-document viewer on WebKit under Xvfb (320 × 480 points at scale 2,
// as first_paint_bare draws), from the viewer's push until its document is
// loaded and the renderer's first picture of it is drawn, median of 5,
// against the bare WebKit program (first_paint_bare: load call to first
// picture) in the same run:
// - "Html2MB": a 2 MB HTML file, against the bare program on it
//   ("vsBare", target ≤ 1.3);
// - "Rtf1MB": a 1 MB RTF file, against `unrtf --html` of it plus the bare
//   program on its output ("vsPeer", target ≤ 1.3);
// - "Docx": a .docx of about 60 pages, against `soffice --convert-to html`
//   (a profile of its own, warmed by one conversion first, as the viewer's
//   is) plus the bare program on its output ("vsPeer", target ≤ 1.2).
// "peerMs" is the peer's whole time; "oursMs" ours.

#include "Viewers/Web/VKWebView.h"
#include "Viewers/Web/VKWebViewController.h"

#include "../PeerTiming.h"
#include "../web/WebBench.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebDocumentView.h"
#include "Platform/Web/WebEngine.h"

#include "Support/XvfbDisplay.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>

namespace {

constexpr int Runs = 5;
using Clock = std::chrono::steady_clock;

const std::string& folder()
{
    static const std::string path = TANDRY_SOURCE_DIR "/build/bench/web-open";
    return path;
}

bool setUp()
{
    return bench::beginWebBench(folder() + "/home");
}

// Paragraphs of prose, about `bytes` of them, as HTML or as RTF.
std::string prose(size_t n)
{
    return fmt::format("Section {} tells how the quick brown fox jumps over the lazy dog, {} times, while lorem "
                       "ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt.",
        n, n * 7919);
}

std::string makeHTML(size_t bytes)
{
    std::string path = folder() + "/home/Documents/page.html";
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream page(path);
    page << "<!DOCTYPE html><html><head><meta charset='utf-8'><title>Bench</title></head><body>";
    for (size_t size = 0, n = 0; size < bytes; ++n) {
        std::string block = fmt::format("<h2>Section {}</h2><p>{}</p>\n", n, prose(n));
        page << block;
        size += block.size();
    }
    page << "</body></html>";
    return path;
}

std::string makeRTF(size_t bytes)
{
    std::string path = folder() + "/home/Documents/letter.rtf";
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream page(path);
    page << "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}{\\f1 Helvetica;}}\n";
    for (size_t size = 0, n = 0; size < bytes; ++n) {
        std::string block = fmt::format("{{\\pard\\f1\\fs32\\b Section {}\\b0\\par}}\n{{\\pard\\f0\\fs24 {} "
                                        "{{\\i emphasis}} and {{\\b strength}}.\\par}}\n",
            n, prose(n));
        page << block;
        size += block.size();
    }
    page << "}";
    return path;
}

// A .docx made by the office suite from HTML of about 60 pages.
std::string makeDocx()
{
    std::string path = folder() + "/home/Documents/report.docx";
    if (std::filesystem::exists(path))
        return path;
    std::string source = folder() + "/report.html";
    {
        std::ofstream page(source);
        page << "<!DOCTYPE html><html><head><meta charset='utf-8'><title>Report</title></head><body>";
        for (size_t n = 0; n < 600; ++n)
            page << fmt::format("<h2>Section {}</h2><p>{}</p><p>{}</p>\n", n, prose(n), prose(n + 1));
        page << "</body></html>";
    }
    bench::peer(fmt::format("cd '{0}' && soffice --headless -env:UserInstallation=file://{0}/peer-profile "
                            "--convert-to 'docx:MS Word 2007 XML' report.html > /dev/null 2>&1 && mv report.docx '{1}'",
        folder(), path));
    return path;
}

// The bare program's milliseconds from the load call to its first
// picture, median of `runs`.
double barePaint(const std::string& file, int runs)
{
    std::string out = folder() + "/bare.txt";
    std::string command = fmt::format("{}/first_paint_bare '{}' {} > '{}'", TANDRY_BENCH_BINARY_DIR, file, runs, out);
    if (std::system(command.c_str()) != 0)
        return -1;
    std::ifstream lines(out);
    std::vector<double> paints;
    double finished, painted, memory;
    while (lines >> finished >> painted >> memory)
        paints.push_back(painted);
    return bench::median(paints);
}

// The viewer pushed on `path` until its document is loaded and drawn:
// milliseconds, or -1 when it did not come.
double openViewer(const std::string& path)
{
    auto navigation = VKNavigationController::create(std::make_shared<ui::TableViewController>());
    ui::testing::Environment::keyWindow()->setRootViewController(navigation);
    core::RunLoop::main().runUntilIdle();
    auto viewer = VKWebViewController::create(VKFileResource::resourceWithPath(path), nullptr);
    auto start = Clock::now();
    navigation->pushViewController(viewer, false);
    bool shown = core::RunLoop::main().runUntil([&] {
        if (!viewer->contentDidLoad() || viewer->contentIsLoading() || !viewer->webView())
            return false;
        auto& document = static_cast<web::WebDocumentView&>(viewer->webView()->documentView());
        return document.snapshot() != nullptr;
    }, 180);
    if (shown) {
        ui::RenderOptions options;
        options.scale = 2;
        auto picture = ui::Renderer::renderImage(*viewer->webView(), options);
        benchmark::DoNotOptimize(picture.get());
    }
    double ms = shown ? bench::msSince(start) : -1;
    navigation->popToRootViewController(false);
    ui::testing::Environment::keyWindow()->setRootViewController(nullptr);
    navigation.reset();
    viewer.reset();
    core::RunLoop::main().runUntil([] { return false; }, 0.5);
    return ms;
}

void report(benchmark::State& state, const std::string& name, std::vector<double> ours, double peer, double limit)
{
    if (std::find(ours.begin(), ours.end(), -1) != ours.end() || peer <= 0)
        bench::wrongAnswer(name + ": the viewer or its peer showed nothing");
    double mine = bench::median(std::move(ours));
    state.counters["oursMs"] = mine;
    state.counters["peerMs"] = peer;
    state.counters["vsPeer"] = mine > 0 && peer > 0 ? mine / peer : -1;
    bench::atMost(name + " / its peer", mine / peer, limit, "x", fmt::format("{:.0f} ms, peer {:.0f} ms", mine, peer));
}

void Html2MB(benchmark::State& state)
{
    if (!setUp()) {
        state.SkipWithError("no display or no GTK");
        return;
    }
    std::string page = makeHTML(2'000'000);
    // The web process started and the file cached for both.
    openViewer(page);
    std::vector<double> ours;
    double bare = 0;
    for (auto _ : state) {
        for (int run = 0; run < Runs; ++run)
            ours.push_back(openViewer(page));
        bare = barePaint(page, Runs);
    }
    report(state, "2 MB HTML shown", ours, bare, 1.3);
}
BENCHMARK(Html2MB)->Iterations(1)->Unit(benchmark::kMillisecond);

void Rtf1MB(benchmark::State& state)
{
    if (!setUp()) {
        state.SkipWithError("no display or no GTK");
        return;
    }
    std::string rtf = makeRTF(1'000'000);
    std::string html = folder() + "/unrtf.html";
    openViewer(rtf);
    std::vector<double> ours, converts;
    double bare = 0;
    for (auto _ : state) {
        for (int run = 0; run < Runs; ++run) {
            ours.push_back(openViewer(rtf));
            converts.push_back(1e3 * bench::peer(fmt::format("unrtf --html '{}' > '{}' 2>/dev/null", rtf, html)));
        }
        bare = barePaint(html, Runs);
    }
    state.counters["unrtfMs"] = bench::median(converts);
    report(state, "1 MB RTF shown (unrtf and bare WebKit)", ours, bench::median(converts) + bare, 1.3);
}
BENCHMARK(Rtf1MB)->Iterations(1)->Unit(benchmark::kMillisecond);

void Docx(benchmark::State& state)
{
    if (!setUp()) {
        state.SkipWithError("no display or no GTK");
        return;
    }
    std::string docx = makeDocx();
    std::string convert = fmt::format("cd '{0}' && soffice --headless -env:UserInstallation=file://{0}/peer-profile "
                                      "--convert-to html '{1}' > /dev/null 2>&1",
        folder(), docx);
    // Both profiles set up by a first conversion.
    openViewer(docx);
    bench::peer(convert);
    std::vector<double> ours, converts;
    double bare = 0;
    for (auto _ : state) {
        for (int run = 0; run < 3; ++run) {
            ours.push_back(openViewer(docx));
            converts.push_back(1e3 * bench::peer(convert));
        }
        bare = barePaint(folder() + "/report.html", 3);
    }
    state.counters["sofficeMs"] = bench::median(converts);
    report(state, "60-page .docx shown (soffice and bare WebKit)", ours, bench::median(converts) + bare, 1.2);
}
BENCHMARK(Docx)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

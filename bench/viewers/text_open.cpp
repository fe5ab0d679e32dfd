// bench: tandry_viewers
// Opening a large log in the text viewer at 768 × 1024 with real text
// (Pango), warm cache, for seeded logs of 10 MB, 200 MB and 1 GB (ASCII
// lines of 40–200 characters, every tenth with UTF-8; the 1 GB one is made
// for the run and deleted after it), a 100 MB Cyrillic log in KOI8-R
// with that encoding stored, and 4 GB of lines of 2 to 10 bytes (made as it
// is written, deleted after; full size only). Each open first checks the text the viewer
// holds, every byte, against the file's (against iconv's output for
// KOI8-R):
// - "firstScreenMs": from the viewer's push (loadContentView) until its text
//   view holds text and the Renderer has drawn the window, against
//   "lessMs", `less` in a pty until its first screen and prompt are out
//   (less_first_screen.py), after each open: at most 3x at 100 MB, and
//   1 GB within a quarter of 10 MB;
// - "completeMs": until the load ended (the whole text decoded and its
//   lines counted: the page count known, the end reachable), against
//   "iconvMs", `iconv -f <encoding> -t UTF-8` of the file to /dev/null
//   (at most 1.5x; 2x for KOI8-R);
// - "longestPassMs": the longest main-loop pass during the load (≤ 16);
// - "flingP95Ms": a fling through the loaded text (a decelerating scroll
//   of 120 frames from the top), the 95th percentile of a frame's layout
//   and drawing (≤ 8);
// - "shownMB": the resident size over the rest before the push (the text
//   engine's caches of the process warmed by a 1 MB log opened first),
//   the most of it at the end of the load and after the fling, at most
//   64 MB whatever the size: the text stays in files, not in memory;
// - "leftMB": the resident size over that rest once the viewer was left,
//   its work ended and malloc_trim gave the allocator's free pages back,
//   at most 20 MB;
// - "heapMB": the heap the open added once loaded (a figure);
// - "peakRssMB": the process's peak resident size after the open.

#include "Viewers/Text/VKTextViewController.h"
#include "Viewers/Text/VKTextView.h"

#include "../PeerTiming.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Graphics/BitmapContext.h"
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

#include "Report.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <malloc.h>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::string benchHome()
{
    return (std::filesystem::current_path() / fmt::format("text-open-bench-{}", getpid())).string();
}

// What a log holds: lines of words, ASCII with some UTF-8; Russian words
// written in KOI8-R; or lines of 1 to 9 letters (2 to 10 bytes a line).
enum class Kind { Words, Cyrillic, ShortLines };

// A seeded log of `kind`, written as it is made.
std::string makeLog(const std::string& directory, size_t megabytes, Kind kind = Kind::Words)
{
    const bool cyrillic = kind == Kind::Cyrillic;
    const char* suffix = cyrillic ? "-koi8r" : kind == Kind::ShortLines ? "-short" : "";
    std::string path = fmt::format("{}/log-{}{}.log", directory, megabytes, suffix);
    if (std::filesystem::exists(path))
        return path;
    std::mt19937 random { unsigned(megabytes) };
    const char* words[] = { "GET", "/index.html", "200", "connection", "accepted", "worker", "finished", "job", "in",
        "ms", "cache", "miss", "for", "origin", "server", "request", "body", "parsed" };
    const char* utf8[] = { "Привет", "naïve", "東京", "Größe", "ελληνικά" };
    const char* russian[] = { "запрос", "принят", "соединение", "кэш", "промах", "сервер", "готово", "за", "мс",
        "тело", "разобрано", "задача" };
    std::string written = cyrillic ? path + ".utf8" : path;
    std::ofstream out(written, std::ios::binary);
    std::string line;
    std::string block;
    size_t bytes = 0;
    for (size_t number = 0; bytes < megabytes * 1000 * 1000; ++number) {
        if (kind == Kind::ShortLines) {
            line.assign(1 + random() % 9, char('a' + number % 26));
        } else {
            size_t length = 40 + random() % 161;
            line = fmt::format("2026-12-08 {:08} ", number);
            while (line.size() < length) {
                if (cyrillic)
                    line += russian[random() % std::size(russian)];
                else
                    line += number % 10 == 0 && random() % 4 == 0 ? utf8[random() % std::size(utf8)] : words[random() % std::size(words)];
                line += ' ';
            }
        }
        line += '\n';
        block += line;
        bytes += line.size();
        if (block.size() >= (size_t(1) << 20)) {
            out << block;
            block.clear();
        }
    }
    out << block;
    out.close();
    if (cyrillic) {
        bench::peer(fmt::format("iconv -f UTF-8 -t KOI8-R '{}' > '{}'", written, path));
        std::filesystem::remove(written);
    }
    return path;
}

double heapMB()
{
    struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / 1e6;
}

// Whether `text` holds, byte for byte, what `command` writes (the file
// itself, or iconv's conversion of it).
bool sameText(const ui::TextStorage::Snapshot& text, const std::string& command)
{
    FILE* out = popen(command.c_str(), "r");
    if (!out)
        return false;
    std::vector<char> buffer(size_t(1) << 20);
    std::string scratch;
    size_t at = 0;
    bool same = text.isComplete();
    while (size_t got = fread(buffer.data(), 1, buffer.size(), out)) {
        if (same && text.view(at, got, scratch) != std::string_view(buffer.data(), got))
            same = false;
        at += got;
    }
    return pclose(out) == 0 && same && at == text.size();
}

double peakMB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1e3;
}

// Opens the log `megabytes` large of `kind` (KOI8-R stored as the file's
// encoding) `state`'s iterations times.
void openLog(benchmark::State& state, size_t megabytes, Kind kind)
{
    const bool cyrillic = kind == Kind::Cyrillic;
    core::RunLoop::setMainThread();
    std::string home = benchHome();
    std::filesystem::create_directories(home);
    std::atexit([] { std::filesystem::remove_all(benchHome()); });
    core::paths::setHome(home);
    gfx::setTextEngine(gfx::makePangoTextEngine());
    core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
    ui::testing::Environment::begin(VKApplication::create());
    // After the environment's start, which sets up the phone's screen.
    gfx::Screen::main().setBounds({ 0, 0, 768, 1024 });
    core::UserDefaults::standard()->set(VKDocumentViewController::PagingGestureInfoShownKey, core::Value(true));
    auto& window = ui::testing::Environment::keyWindow();
    window->setFrame({ 0, 0, 768, 1024 });
    std::string path = makeLog(home, megabytes, kind);
    const char* encoding = cyrillic ? "KOI8-R" : "UTF-8";
    if (cyrillic)
        VKFileSettingsManager::defaultManager()->setTextEncoding(encoding, path);
    // Warm cache, fontconfig warmed.
    bench::peer(fmt::format("cat '{}' > /dev/null", path));
    ui::RenderOptions real;
    real.realText = true;
    ui::Renderer::renderScreenImage(real);
    // The text engine's own caches of the process (the viewer's font found
    // and loaded, its glyphs) warmed on another log first, as a second
    // opening finds them: they are not the open's.
    {
        auto navigation = VKNavigationController::create(std::make_shared<ui::TableViewController>());
        window->setRootViewController(navigation);
        auto other = VKTextViewController::create(VKFileResource::resourceWithPath(makeLog(home, 1, kind)), nullptr);
        navigation->pushViewController(other, false);
        core::RunLoop::main().runUntil([&] { return !other->contentIsLoading(); }, 30);
        ui::Renderer::renderScreenImage(real);
        window->setRootViewController(nullptr);
        navigation.reset();
        other.reset();
        core::RunLoop::main().runUntilIdle();
    }

    double firstScreen = 0, complete = 0, longest = 0, shown = 0, left = 0, iconv = 0, less = 0, heap = 0, fling = 0;
    size_t lineCount = 0;
    int runs = 0;
    for (auto _ : state) {
        auto navigation = VKNavigationController::create(std::make_shared<ui::TableViewController>());
        window->setRootViewController(navigation);
        core::RunLoop::main().runUntilIdle();
        double before = bench::residentMB();
        double heapBefore = heapMB();
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
        shown = std::max(shown, bench::residentMB() - before);
        core::RunLoop::main().runUntilIdle();
        auto* text = viewer->textView();
        heap = std::max(heap, heapMB() - heapBefore);
        size_t lines = 0;
        if (auto storage = text->textStorage()) {
            auto snapshot = storage->snapshot();
            lines = snapshot.lineEndCount() + 1;
            std::string source = cyrillic ? fmt::format("iconv -f KOI8-R -t UTF-8 '{}'", path) : fmt::format("cat '{}'", path);
            if (!sameText(snapshot, source))
                bench::wrongAnswer(fmt::format("the viewer's text of {} differs from `{}`", path, source));
        }

        // A fling: 120 frames of a decelerating scroll from the top.
        std::vector<double> frames;
        if (text->bounds().width() != 768)
            state.SkipWithError("the viewer is not as wide as the screen");
        // Drawn as the screen is: into a picture whose space runs down.
        auto context = gfx::makeImageContext(text->bounds().size, 1);
        double y = 0, velocity = 30000; // points per second
        for (int frame = 0; frame < 120; ++frame) {
            y += velocity / 60;
            velocity *= 0.96;
            auto frameStart = Clock::now();
            text->setContentOffset({ 0, float(y) });
            core::RunLoop::main().runUntilIdle();
            ui::Renderer::render(*text, *context, real);
            frames.push_back(std::chrono::duration<double, std::milli>(Clock::now() - frameStart).count());
        }
        // Back at the top as a reader scrolls there (below the top bar, where
        // the text view's own offset 0 is not), so no reading place is
        // stored and the next open shows its first screen too.
        viewer->setContentOffset({ 0, 0 });
        shown = std::max(shown, bench::residentMB() - before);
        std::sort(frames.begin(), frames.end());
        fling = std::max(fling, frames[frames.size() * 95 / 100]);

        iconv += bench::peer(fmt::format("iconv -f {} -t UTF-8 '{}' > /dev/null", encoding, path)) * 1e3;
        double lessSeconds = bench::reportedSeconds(
            fmt::format("python3 '{}/bench/viewers/less_first_screen.py' '{}'", TANDRY_SOURCE_DIR, path));
        if (lessSeconds < 0)
            bench::wrongAnswer("less did not show the file's first screen");
        less += lessSeconds * 1e3;
        if (lines < 2)
            bench::wrongAnswer(fmt::format("the viewer counted {} lines", lines));
        lineCount = lines;
        ++runs;
        window->setRootViewController(nullptr);
        navigation.reset();
        viewer.reset();
        core::RunLoop::main().runUntilIdle();
        malloc_trim(0);
        left = std::max(left, bench::residentMB() - before);
    }
    state.counters["firstScreenMs"] = firstScreen / runs;
    state.counters["completeMs"] = complete / runs;
    state.counters["iconvMs"] = iconv / runs;
    state.counters["longestPassMs"] = longest;
    state.counters["flingP95Ms"] = fling;
    state.counters["heapMB"] = heap;
    state.counters["shownMB"] = shown;
    state.counters["leftMB"] = left;
    state.counters["peakRssMB"] = peakMB();
    state.counters["lessMs"] = less / runs;
    const std::string of = fmt::format("{} MB{}", megabytes, cyrillic ? " KOI8-R" : kind == Kind::ShortLines ? " of short lines" : "");
    bench::figure(of + ": first screen", firstScreen / runs, "ms", fmt::format("less {:.1f} ms", less / runs));
    if (megabytes == 200 && !cyrillic)
        bench::atMost(of + ": first screen / less", firstScreen / less, 3, "x");
    bench::atMost(of + ": complete load / iconv", complete / iconv, cyrillic ? 2 : 1.5, "x",
        fmt::format("{:.0f} ms, iconv {:.0f} ms", complete / runs, iconv / runs));
    bench::atMost(of + ": longest main-loop pass", longest, 16, "ms");
    bench::atMost(of + ": fling, p95 frame", fling, 8, "ms");
    bench::atMost(of + ": memory over rest while shown", shown, 64, "MB",
        fmt::format("{} lines; heap added {:.1f} MB", lineCount, heap));
    bench::atMost(of + ": memory over rest once left, after malloc_trim", left, 20, "MB");
    ui::testing::Environment::end();
    std::filesystem::remove(path);
}

void OpenLargeText(benchmark::State& state)
{
    openLog(state, size_t(state.range(0)), Kind::Words);
}
// The 1 GB log only at full size.
[[maybe_unused]] const bool registered = [] {
    auto* open = benchmark::RegisterBenchmark("OpenLargeText", OpenLargeText)->Arg(10)->Arg(200);
    if (!bench::quick())
        open->Arg(1000);
    open->Iterations(2)->Unit(benchmark::kMillisecond);
    return true;
}();

void OpenKOI8RText(benchmark::State& state)
{
    openLog(state, size_t(state.range(0)), Kind::Cyrillic);
}
BENCHMARK(OpenKOI8RText)->Arg(100)->Iterations(2)->Unit(benchmark::kMillisecond);

// Four gigabytes of lines of 2 to 10 bytes (some 700 million), once, only at
// full size: the memory stays within the same 64 MB whatever the line count.
void OpenShortLines(benchmark::State& state)
{
    openLog(state, size_t(state.range(0)), Kind::ShortLines);
}
[[maybe_unused]] const bool registeredShort = [] {
    if (!bench::quick())
        benchmark::RegisterBenchmark("OpenShortLines", OpenShortLines)->Arg(4000)->Iterations(1)->Unit(benchmark::kMillisecond);
    return true;
}();

[[maybe_unused]] const bool targets = bench::atEnd([] {
    bench::atMost("first screen, 1 GB / 10 MB",
        bench::runCounter("OpenLargeText/1000", "firstScreenMs") / bench::runCounter("OpenLargeText/10", "firstScreenMs"), 1.25,
        "x");
});

} // namespace

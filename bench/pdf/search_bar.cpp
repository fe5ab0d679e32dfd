// bench: tandry_viewers tandry_shell tandry_test_support_pdf
// The PDF viewer's search bar and outline on a 768 × 1024 tablet at scale 2,
// with real text (Pango), over the 1,000-page bench document:
// - "NextHit": the document indexed, a word on 40 to 100 of its pages typed,
//   then 50 presses of Return, each timed until the hit is highlighted, its
//   page scrolled to (the offset is set at once; the glide is drawn over
//   it) and every visible tile drawn ("p95Ms", target ≤ 100; "medianMs";
//   "pagesVisited", the presses that moved to another page);
// - "TwentyPagesAhead": from page k, a word whose next page is k + 20, timed
//   as above, against `pdfgrep -m 1 --page-range k-1000` finding it from
//   the same page in the same run ("vsPdfgrep", target ≤ 0.5);
// - "TypingWhileIndexing": a fresh copy opened, the bar opened, and a word
//   typed a letter at a time while the copy indexes: the longest main-loop
//   pass meanwhile, from the end of its wait to the next wait
//   ("longestPassMs", target ≤ 16), its main-thread CPU time
//   ("longestPassCpuMs": the rest is waiting for a CPU), the passes over
//   16 ms ("passesOver16Ms") and the slowest keystroke ("keystrokeMs",
//   target ≤ 2);
// - "Outline": a document with 5,000 outline entries (1,000 chapters of
//   four sections, as outline_bench's): the outline tab's first opening
//   until it is drawn ("firstMs", target ≤ 250), a later one ("nextMs",
//   target ≤ 30), each also until laid out only, before the whole screen is
//   drawn at the screen's scale as the window draws it ("firstLaidOutMs",
//   "nextLaidOutMs"), and a filter keystroke until
//   the results are laid out ("filterKeystrokeMs", slowest, target ≤ 30).
#include "BenchDocuments.h"
#include "LayoutBench.h"

#include "../MainLoopPasses.h"
#include "../PeerTiming.h"
#include "../ScreenBench.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "PDF/VKDocumentRange.h"
#include "PDF/VKPDFSearchController.h"
#include "PDF/VKPageIndexStore.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/SearchBar.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/Window.h"
#include "Viewers/PDF/VKBookmarksNavigationController.h"
#include "Viewers/PDF/VKPDFOutlineTableViewController.h"
#include "Viewers/PDF/VKPDFViewController.h"
#include "Viewers/PDF/VKSearchField.h"
#include "Viewers/VKRegisterViewers.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace {

using Clock = std::chrono::steady_clock;

// The screen drawn as the window host draws it: real text, at the screen's
// scale, where the viewer's page tiles are drawn one to one (drawn at
// another scale, every frame would first shrink them).
ui::RenderOptions screenDrawing()
{
    ui::RenderOptions options = bench::realText();
    options.scale = gfx::Screen::main().scale();
    return options;
}

void setUp()
{
    if (!bench::beginLayoutBench("search-bar", { 768, 1024 }))
        return;
    std::filesystem::remove_all(core::paths::home());
    std::filesystem::create_directories(core::paths::home());
    gfx::setTextEngine(gfx::makePangoTextEngine());
    core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
    ui::testing::Environment::begin(VKApplication::create());
    gfx::Screen::main().setBounds({ 0, 0, 768, 1024 });
    gfx::Screen::main().setScale(2);
    ui::testing::Environment::keyWindow()->setFrame({ 0, 0, 768, 1024 });
    VKRegisterViewers();
    auto defaults = core::UserDefaults::standard();
    defaults->set(VKPDFViewController::DocumentViewLayoutKey, core::Value(int64_t(VKPDFViewController::Vertical)));
    defaults->set("VKPagingGestureInfoShown", core::Value(true));
    ui::Renderer::renderScreenImage(screenDrawing());
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
        navigation->pushViewController(viewer, false);
        core::RunLoop::main().runUntil([&] { return !viewer->isLoadingDocument() && viewer->documentView(); }, 60);
        ui::testing::Environment::keyWindow()->layoutIfNeeded();
    }
    ~Viewer()
    {
        if (navigation->modalViewController())
            navigation->dismissModalViewController(false);
        ui::testing::Environment::keyWindow()->setRootViewController(nullptr);
        navigation.reset();
        viewer.reset();
        core::RunLoop::main().runUntil([] { return false; }, 0.2);
    }
    void openSearch()
    {
        viewer->searchButtonWasPressed();
        core::RunLoop::main().runUntilIdle();
    }
    bool waitForIndex()
    {
        return core::RunLoop::main().runUntil([&] { return viewer->searchController()->fullyIndexed(); }, 600);
    }
    void setQuery(const std::string& text)
    {
        viewer->searchField()->setText(text);
        core::RunLoop::main().runUntilIdle();
    }
    // Return pressed, until the next hit is drawn: ms, or -1 when none came.
    double returnToHitDrawn()
    {
        auto before = viewer->currentResult();
        auto start = Clock::now();
        viewer->searchField()->returnKeyPressed();
        if (!core::RunLoop::main().runUntil([&] { return viewer->currentResult() && viewer->currentResult() != before; }, 30))
            return -1;
        ui::testing::Environment::keyWindow()->layoutIfNeeded();
        ui::TiledLayer::renderAllVisibleTilesSynchronously();
        return bench::msSince(start);
    }
};

std::string benchPath()
{
    return bench::benchDocumentPath(bench::benchFolder(), 1000);
}

// A word on 40 to 100 pages, so that most presses move to another page.
std::string spreadWord(Viewer& shown)
{
    auto store = shown.viewer->searchController()->pageIndexStore();
    for (const std::string& candidate : bench::benchVocabulary()) {
        size_t pages = store->identifiersForToken(candidate + " ").size();
        if (pages >= 40 && pages <= 100)
            return candidate;
    }
    return bench::benchVocabulary()[0];
}

void NextHit(benchmark::State& state)
{
    setUp();
    std::vector<double> times;
    int missed = 0, pagesVisited = 0;
    for (auto _ : state) {
        Viewer shown(benchPath());
        shown.openSearch();
        shown.waitForIndex();
        shown.setQuery(spreadWord(shown));
        shown.returnToHitDrawn();
        size_t page = 0;
        for (int press = 0; press < 50; ++press) {
            double ms = shown.returnToHitDrawn();
            if (shown.viewer->currentResult() && shown.viewer->currentResult()->page() != page) {
                page = shown.viewer->currentResult()->page();
                ++pagesVisited;
            }
            if (ms < 0)
                ++missed;
            else
                times.push_back(ms);
        }
    }
    std::sort(times.begin(), times.end());
    state.counters["medianMs"] = times.empty() ? -1 : times[times.size() / 2];
    state.counters["p95Ms"] = times.empty() ? -1 : times[times.size() * 95 / 100];
    state.counters["missed"] = missed;
    state.counters["pagesVisited"] = pagesVisited;
    if (missed || times.empty())
        bench::wrongAnswer(fmt::format("{} presses of Return found no hit", missed));
    bench::atMost("Return to the next hit drawn, p95", times.empty() ? -1 : times[times.size() * 95 / 100], 100, "ms",
        fmt::format("median {:.1f} ms, {} of 50 to another page", times.empty() ? -1 : times[times.size() / 2], pagesVisited));
}
BENCHMARK(NextHit)->Iterations(1)->Unit(benchmark::kMillisecond);

void TwentyPagesAhead(benchmark::State& state)
{
    setUp();
    std::string path = benchPath();
    Viewer shown(path);
    shown.openSearch();
    shown.waitForIndex();
    // A word whose pages leave a gap of exactly 20 from a start page past
    // the first hundred.
    auto store = shown.viewer->searchController()->pageIndexStore();
    std::string word;
    unsigned from = 0, to = 0;
    for (const std::string& candidate : bench::benchVocabulary()) {
        auto pages = store->identifiersForToken(candidate + " ");
        std::vector<unsigned> sorted(pages.begin(), pages.end());
        std::sort(sorted.begin(), sorted.end());
        for (size_t i = 0; i + 1 < sorted.size(); ++i) {
            if (sorted[i] > 100 && sorted[i + 1] - sorted[i] == 21) {
                word = candidate;
                from = sorted[i] + 1;
                to = sorted[i + 1];
                break;
            }
        }
        if (!word.empty())
            break;
    }
    double ours = 0, pdfgrep = 0;
    int wrongPage = 0;
    unsigned found = 0;
    for (auto _ : state) {
        // As a reader does: the bar closed, page k shown, the bar opened
        // there (the search starts from the page shown when it opens).
        shown.viewer->searchBarDidCancel(true);
        core::RunLoop::main().runUntil([] { return false; }, 0.3);
        shown.viewer->gotoPageNumber(from);
        core::RunLoop::main().runUntil([] { return false; }, 0.3);
        shown.openSearch();
        shown.setQuery(word);
        ours += shown.returnToHitDrawn();
        found = shown.viewer->currentResult() ? unsigned(shown.viewer->currentResult()->page()) : 0;
        if (found != to)
            ++wrongPage;
        pdfgrep += 1e3 * bench::peer(fmt::format("pdfgrep -m 1 --page-range {}-1000 '{}' '{}' > /dev/null", from, word, path));
    }
    double runs = double(state.iterations());
    state.SetLabel(fmt::format("'{}' from page {} to {}", word, from, to));
    state.counters["oursMs"] = ours / runs;
    state.counters["pdfgrepMs"] = pdfgrep / runs;
    state.counters["vsPdfgrep"] = ours / pdfgrep;
    state.counters["wrongPage"] = wrongPage;
    state.counters["foundPage"] = found;
    if (wrongPage)
        bench::wrongAnswer(fmt::format("the search found page {}, not {}", found, to));
    bench::atMost("hit twenty pages ahead / pdfgrep -m 1", ours / pdfgrep, 0.5, "x",
        fmt::format("{:.1f} ms, pdfgrep {:.1f} ms", ours / runs, pdfgrep / runs));
}
BENCHMARK(TwentyPagesAhead)->Iterations(5)->Unit(benchmark::kMillisecond);

void TypingWhileIndexing(benchmark::State& state)
{
    setUp();
    double keystroke = 0;
    int typed = 0;
    bool indexedBeforeTheEnd = false;
    for (auto _ : state) {
        std::string copy = fmt::format("{}/fresh-{}.pdf", core::paths::home(), typed);
        std::filesystem::copy_file(benchPath(), copy, std::filesystem::copy_options::overwrite_existing);
        Viewer shown(copy);
        shown.openSearch();
        std::string word = bench::benchVocabulary()[7] + " " + bench::benchVocabulary()[3];
        // Only the passes while typing count.
        bench::MainLoopPasses typing;
        for (char letter : word) {
            // A person's pace: about eight letters a second.
            auto until = Clock::now() + std::chrono::milliseconds(120);
            while (Clock::now() < until)
                core::RunLoop::main().runOnce(core::RunLoop::DefaultMode, 0.005);
            typing.ended();
            auto start = Clock::now();
            shown.viewer->searchField()->insertText(std::string(1, letter));
            keystroke = std::max(keystroke, bench::msSince(start));
            ++typed;
        }
        indexedBeforeTheEnd |= shown.viewer->searchController()->fullyIndexed();
        state.counters["longestPassMs"] = std::max(double(state.counters["longestPassMs"]), typing.longestMs());
        state.counters["longestPassCpuMs"] = std::max(double(state.counters["longestPassCpuMs"]), typing.longestCpuMs());
        state.counters["passesOver16Ms"] = double(state.counters["passesOver16Ms"]) + typing.passesOver16Ms();
        state.counters["passesOver16MsCpu"] = double(state.counters["passesOver16MsCpu"]) + typing.passesOver16MsCpu();
        state.counters["passes"] = double(state.counters["passes"]) + typing.passes();
        std::filesystem::remove(copy);
    }
    state.counters["keystrokeMs"] = keystroke;
    state.counters["keystrokes"] = typed;
    // 1 means the index was done before the typing ended (the figures did
    // not all come while indexing).
    state.counters["indexedBeforeEnd"] = indexedBeforeTheEnd;
    bench::atMost("longest main-loop pass typing while indexing", double(state.counters["longestPassMs"]), 16, "ms",
        fmt::format("{:.1f} ms of CPU{}", double(state.counters["longestPassCpuMs"]),
            indexedBeforeTheEnd ? "; the index was done before the typing ended" : ""));
    bench::atMost("slowest keystroke while indexing", keystroke, 2, "ms");
}
BENCHMARK(TypingWhileIndexing)->Iterations(2)->Unit(benchmark::kMillisecond);

// outline_bench's document, as a file.
std::string outlinePath()
{
    std::string path = bench::benchFolder() + "/outline-5000.pdf";
    if (std::filesystem::exists(path))
        return path;
    std::filesystem::create_directories(bench::benchFolder());
    auto document = bench::outlineDocument();
    std::ofstream(path, std::ios::binary) << document.view();
    return path;
}

void Outline(benchmark::State& state)
{
    setUp();
    std::string path = outlinePath();
    double first = 0, next = 0, filter = 0, firstLaidOut = 0, nextLaidOut = 0;
    int opened = 0;
    for (auto _ : state) {
        Viewer shown(path);
        core::RunLoop::main().runUntil([&] { return shown.viewer->outlineScanner() != nullptr; }, 30);
        for (int round = 0; round < 3; ++round) {
            VKBookmarksNavigationController::setChoice(1);
            auto start = Clock::now();
            shown.viewer->showBookmarks();
            core::RunLoop::main().runUntilIdle();
            ui::testing::Environment::keyWindow()->layoutIfNeeded();
            double laidOut = bench::msSince(start);
            ui::Renderer::renderScreenImage(screenDrawing());
            double ms = bench::msSince(start);
            (round == 0 ? first : next) += round == 0 ? ms : ms / 2;
            (round == 0 ? firstLaidOut : nextLaidOut) += round == 0 ? laidOut : laidOut / 2;
            auto* tabs = dynamic_cast<VKBookmarksNavigationController*>(shown.navigation->modalViewController());
            if (round == 2 && tabs && tabs->outlineController()) {
                auto& outline = *tabs->outlineController();
                outline.search();
                core::RunLoop::main().runUntilIdle();
                for (const char* text : { "S", "Se", "Sec", "Sect", "Section 9", "Section 99", "Section 999" }) {
                    auto typed = Clock::now();
                    outline.filter(text);
                    ui::testing::Environment::keyWindow()->layoutIfNeeded();
                    filter = std::max(filter, bench::msSince(typed));
                }
            }
            ++opened;
            shown.navigation->dismissModalViewController(false);
            core::RunLoop::main().runUntilIdle();
        }
    }
    double runs = double(state.iterations());
    state.counters["firstMs"] = first / runs;
    state.counters["nextMs"] = next / runs;
    state.counters["firstLaidOutMs"] = firstLaidOut / runs;
    state.counters["nextLaidOutMs"] = nextLaidOut / runs;
    state.counters["filterKeystrokeMs"] = filter;
    bench::atMost("outline of 5,000 entries, first opening drawn", first / runs, 250, "ms");
    bench::atMost("outline, a later opening drawn", next / runs, 30, "ms");
    bench::atMost("outline filter keystroke laid out, slowest", filter, 30, "ms");
}
BENCHMARK(Outline)->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace

// bench: tandry_platform_ui
// Typing into a long text with the Pango text engine: a key typed in the
// middle and at the end of an editable text view of 1,000 and 10,000
// paragraphs, then the selection's caret asked as the desktop window asks
// it once a pass (three times). Target: a key costs linear in the text
// (10,000 within 12x of 1,000), and the caret asked again costs nothing
// (reported as caret-ns, a key's caret questions after the first).

#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/TextView.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <string>

namespace {

void BM_TypeIntoALongText(benchmark::State& state)
{
    if (!core::RunLoop::hasMainThread())
        core::RunLoop::setMainThread();
    gfx::setTextEngine(gfx::makePangoTextEngine());
    const int paragraphs = int(state.range(0));
    const bool middle = state.range(1) != 0;
    std::string text;
    for (int i = 0; i < paragraphs; ++i)
        text += "Paragraph " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog, twice over.\n";
    auto view = ui::TextView::create({ 0, 0, 320, 480 });
    view->setText(text);
    double caretSeconds = 0;
    for (auto _ : state) {
        view->setSelectedRange({ middle ? text.size() / 2 : view->textLength(), 0 });
        view->insertText("x");
        benchmark::DoNotOptimize(view->caretRect(view->selectedRange().end()));
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 2; ++i)
            benchmark::DoNotOptimize(view->caretRect(view->selectedRange().end()));
        caretSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["caret-ns"] = caretSeconds * 1e9 / double(state.iterations()) / 2;
    gfx::setTextEngine(nullptr);
}
BENCHMARK(BM_TypeIntoALongText)->Args({ 1000, 0 })->Args({ 10000, 0 })->Args({ 1000, 1 })->Args({ 10000, 1 })
    ->Unit(benchmark::kMillisecond);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    using bench::runSeconds;
    bench::atMost("a key at the end, 10,000 / 1,000 paragraphs",
        runSeconds("BM_TypeIntoALongText/10000/0") / runSeconds("BM_TypeIntoALongText/1000/0"), 12, "x");
    bench::atMost("a key in the middle, 10,000 / 1,000 paragraphs",
        runSeconds("BM_TypeIntoALongText/10000/1") / runSeconds("BM_TypeIntoALongText/1000/1"), 12, "x");
    bench::figure("the caret asked again", bench::runCounter("BM_TypeIntoALongText/10000/1", "caret-ns"), "ns");
});

} // namespace

// bench: tandry_kit
// Line building over 10,000 to 1,000,000 glyph rectangles: random, sorted,
// reversed and all-equal input should all grow as n log n.
#include "Kit/VKLineRects.h"

#include "Report.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <random>
#include <vector>

namespace {

enum Order { Random, Sorted, Reversed, Equal };

core::Data glyphs(size_t n, Order order)
{
    std::vector<gfx::Rect> rects(n);
    std::mt19937 random(1);
    for (size_t i = 0; i < n; ++i) {
        float line = float(i / 80), column = float(i % 80);
        rects[i] = order == Equal ? gfx::Rect(1, 1, 5, 10) : gfx::Rect(column * 6, line * 12, 5, 10);
    }
    if (order == Random)
        std::shuffle(rects.begin(), rects.end(), random);
    if (order == Reversed)
        std::reverse(rects.begin(), rects.end());
    return core::Data(rects.data(), rects.size() * sizeof(gfx::Rect));
}

void lineRects(benchmark::State& state)
{
    core::Data input = glyphs(size_t(state.range(0)), Order(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(VKLineRectsFromGlyphRects(input));
    state.SetComplexityN(state.range(0));
}

BENCHMARK(lineRects)->ArgsProduct({ { 10000, 100000, 1000000 }, { Random, Sorted, Reversed, Equal } })->Unit(benchmark::kMillisecond);

// n log n: ten times the glyphs cost 10 × log 10^6 / log 10^5 = 12 times
// the time; the target leaves a quarter more for the caches.
[[maybe_unused]] const bool targets = bench::atEnd([] {
    const char* orders[] = { "random", "sorted", "reversed", "equal" };
    for (int order = 0; order < 4; ++order)
        bench::atMost(fmt::format("1,000,000 / 100,000 {} glyph rectangles", orders[order]),
            bench::runSeconds(fmt::format("lineRects/1000000/{}", order))
                / bench::runSeconds(fmt::format("lineRects/100000/{}", order)),
            15, "x");
});

} // namespace

// bench: tandry_kit
// The regex layer against ICU used bare, and the word tokenizer's growth.
//
// vkRangeOfRegex goes through the cache lock, the slot lookup and setting
// the text on each call; the bare loop only finds on an expression whose
// text is already set. The first should cost at most 1.5 times the second.
// The tokenizer should grow linearly: 4 MB at most 4.4 times 1 MB.

#include "Kit/StringRegexAdditions.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <unicode/uregex.h>

#include <random>
#include <string>

namespace {

// Page-like text: words of 2 to 9 letters, spaces, now and then a comma.
std::u16string pageText(size_t length, unsigned seed)
{
    std::mt19937 random(seed);
    std::u16string text;
    text.reserve(length + 16);
    while (text.size() < length) {
        size_t word = 2 + random() % 8;
        for (size_t i = 0; i < word; ++i)
            text += static_cast<char16_t>(u'a' + random() % 26);
        text += random() % 9 == 0 ? u", " : u" ";
    }
    text.resize(length);
    return text;
}

// The page with the searched word three quarters in.
std::u16string searchPage()
{
    std::u16string text = pageText(4096, 7);
    text.replace(3072, 8, u" Needle ");
    return text;
}

constexpr char16_t kPattern[] = u"\\bneedle\\b";
constexpr RKLRegexOptions kOptions = RKLCaseless | RKLUnicodeWordBoundaries;

void vkRangeOfRegexOnPage(benchmark::State& state)
{
    std::u16string text = searchPage();
    for (auto _ : state)
        benchmark::DoNotOptimize(vkRangeOfRegex(text, kPattern, kOptions, 0));
}
BENCHMARK(vkRangeOfRegexOnPage)->Iterations(100000);

void bareUregexOnPage(benchmark::State& state)
{
    std::u16string text = searchPage();
    UErrorCode status = U_ZERO_ERROR;
    URegularExpression* regex = uregex_open(kPattern, -1, kOptions, nullptr, &status);
    uregex_setText(regex, text.data(), static_cast<int32_t>(text.size()), &status);
    for (auto _ : state) {
        bool found = uregex_find(regex, 0, &status);
        benchmark::DoNotOptimize(found ? uregex_start(regex, 0, &status) : -1);
        benchmark::DoNotOptimize(found ? uregex_end(regex, 0, &status) : -1);
    }
    uregex_close(regex);
    if (U_FAILURE(status))
        state.SkipWithError("ICU failed");
}
BENCHMARK(bareUregexOnPage)->Iterations(100000);

void wordTokens(benchmark::State& state)
{
    std::u16string text = pageText(static_cast<size_t>(state.range(0)), 11);
    for (auto _ : state)
        benchmark::DoNotOptimize(vkWordBoundaryTokens(text));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(wordTokens)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    using bench::runSeconds;
    bench::atMost("vkRangeOfRegex / bare ICU find", runSeconds("vkRangeOfRegexOnPage") / runSeconds("bareUregexOnPage"), 1.5,
        "x");
    bench::atMost("word tokens of 4 MB / 1 MB", runSeconds("wordTokens/4194304") / runSeconds("wordTokens/1048576"), 4.4, "x");
});

} // namespace

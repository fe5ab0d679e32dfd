// bench: tandry_dropbox_sdk
// A folder listing of the cloud service, from its JSON text into records
// (DBMetadata::initWithJSONString), at 1,000 and 10,000 entries; the path
// through one tree of values (JSONValue, initWithDictionary) beside it for
// comparison. Targets,
// read against the counters of one run:
// - time linear: "ratio" of the 10,000-entry parse to ten 1,000-entry ones
//   within 1.2 (i.e. 12× the time for 10× the entries);
// - "peakHeapPerText", the most heap held at once while text becomes
//   records (the text itself not counted), under 4.

#include "DropboxSDK/DBMetadata.h"
#include "Kit/JSON/JSONAdditions.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fmt/format.h>
#include <malloc.h>
#include <new>

namespace {

// The heap this program holds, counted at every allocation.
std::atomic<size_t> liveBytes { 0 };
std::atomic<size_t> peakBytes { 0 };

void counted(void* pointer)
{
    if (!pointer)
        return;
    size_t now = liveBytes += malloc_usable_size(pointer);
    size_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) { }
}

} // namespace

void* operator new(size_t size)
{
    void* pointer = std::malloc(size ? size : 1);
    if (!pointer)
        throw std::bad_alloc();
    counted(pointer);
    return pointer;
}
// Our own new hands out malloc's memory, so free is its match.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* pointer) noexcept
{
    if (pointer)
        liveBytes -= malloc_usable_size(pointer);
    std::free(pointer);
}
void operator delete(void* pointer, size_t) noexcept { operator delete(pointer); }
#pragma GCC diagnostic pop

namespace {

// A listing as the service sends it: the folder, then one entry per file.
std::string listing(int entries)
{
    std::string text = R"({"hash":"0e5a7e8f3c","thumb_exists":false,"bytes":0,"path":"/Photos","is_dir":true,)"
                       R"("size":"0 bytes","root":"dropbox","icon":"folder","revision":1,"contents":[)";
    for (int i = 0; i < entries; ++i) {
        text += fmt::format(R"({}{{"thumb_exists":{},"bytes":{},"modified":"Sat, 21 Aug 2010 22:31:20 +0000",)"
                            R"("path":"/Photos/IMG_{:05}.jpg","is_dir":false,"size":"{} KB","root":"dropbox",)"
                            R"("icon":"page_white_picture","revision":{}}})",
            i ? "," : "", i % 2 ? "true" : "false", 1000 + i * 37, i, 1 + i % 900, 100 + i);
    }
    return text + "]}";
}

std::shared_ptr<const DBMetadata> parse(const std::string& text)
{
    return DBMetadata::initWithJSONString(text);
}

double secondsFor(const std::string& text, int repeats)
{
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < repeats; ++i)
        benchmark::DoNotOptimize(parse(text));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void MetadataParse(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    const std::string text = listing(entries);
    for (auto _ : state)
        benchmark::DoNotOptimize(parse(text));

    size_t before = liveBytes.load();
    peakBytes = before;
    auto record = parse(text);
    state.counters["peakHeapPerText"] = static_cast<double>(peakBytes.load() - before) / static_cast<double>(text.size());
    state.counters["heldPerText"] = static_cast<double>(liveBytes.load() - before) / static_cast<double>(text.size());
    state.counters["entries"] = static_cast<double>(record->contents()->size());
    state.counters["textBytes"] = static_cast<double>(text.size());
    if (record->contents()->size() != size_t(entries))
        bench::wrongAnswer(fmt::format("{} records of {} entries", record->contents()->size(), entries));
    bench::atMost(fmt::format("peak heap per byte of text, {} entries", entries),
        static_cast<double>(peakBytes.load() - before) / static_cast<double>(text.size()), 4);
}
BENCHMARK(MetadataParse)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void MetadataParseThroughValues(benchmark::State& state)
{
    const std::string text = listing(static_cast<int>(state.range(0)));
    auto throughValues = [&] { return DBMetadata::initWithDictionary(JSONValue(text).value_or(core::Value())); };
    for (auto _ : state)
        benchmark::DoNotOptimize(throughValues());
    size_t before = liveBytes.load();
    peakBytes = before;
    auto record = throughValues();
    state.counters["peakHeapPerText"] = static_cast<double>(peakBytes.load() - before) / static_cast<double>(text.size());
}
BENCHMARK(MetadataParseThroughValues)->Arg(10000)->Unit(benchmark::kMillisecond);

// The 10,000-entry listing against ten of 1,000, best of five.
void MetadataParseScaling(benchmark::State& state)
{
    const std::string small = listing(1000);
    const std::string large = listing(10000);
    double smallBest = 1e9;
    double largeBest = 1e9;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            smallBest = std::min(smallBest, secondsFor(small, 10));
            largeBest = std::min(largeBest, secondsFor(large, 1));
        }
    }
    state.counters["ratio"] = largeBest / smallBest;
    bench::atMost("10,000 entries / ten times 1,000", largeBest / smallBest, 1.2, "x");
}
BENCHMARK(MetadataParseScaling)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

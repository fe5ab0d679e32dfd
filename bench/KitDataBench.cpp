// bench: tandry_kit
// The kit's data formats against their baselines:
// - JSON reading and writing of a listing-like document (10 MB and 20 MB)
//   beside Python's json.loads/json.dumps on the same text in the same run
//   (target: within 3x; 20 MB within 2.2x the time of 10 MB, read in
//   turn); the freeing of a tree read is timed on neither side;
// - 100,000 setData/dataForKey pairs of the key-value store beside a bare
//   B+ tree put/get loop (target: within 1.5x).

#include "Kit/JSON/KWJsonParser.h"
#include "Kit/JSON/KWJsonWriter.h"
#include "Kit/VKKeyValueStore.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <malloc.h>
#include <tcbdb.h>
#include <unistd.h>

namespace {

std::string listing(size_t megabytes)
{
    // Made afresh for each benchmark, so that one size's leftovers do not
    // weigh on the next.
    core::Value::Array items;
    size_t size = 0;
    for (size_t i = 0; size < megabytes * 1000 * 1000; ++i) {
        auto item = core::Value::makeDictionary({
            { "name", fmt::format("Report {} \xe2\x80\x93 final.pdf", i) },
            { "path", fmt::format("/Documents/Projects/{}/Report {}.pdf", i % 97, i) },
            { "size", static_cast<int64_t>(i * 7919 % 100000000) },
            { "modified", 1700000000.25 + static_cast<double>(i) },
            { "isDirectory", i % 10 == 0 },
            { "mimeType", "application/pdf" },
            { "icon", "icons/pdf.png" },
            { "tags", core::Value::makeArray({ "work", static_cast<int64_t>(i % 5) }) },
        });
        size += 260;
        items.push_back(std::move(item));
    }
    KWJsonWriter writer;
    return *writer.stringWithObject(core::Value(std::move(items)));
}

std::string writeTemporary(const std::string& text)
{
    std::string path = (std::filesystem::temp_directory_path() / fmt::format("tandry-bench-{}.json", getpid())).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Hands the free memory the previous benchmark (and the making of the
// listing) left back to the system, so the 20 MB run starts from the same
// kind of heap as the 10 MB one rather than from its freed small blocks.
// From then on the heap keeps what is freed and serves large blocks too:
// otherwise whether an iteration reuses the last one's memory or faults in
// pages the kernel must zero depends on limits the allocator moves with the
// sizes freed before, a third of the time and not the same for both sizes.
void freshHeap()
{
    malloc_trim(0);
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

void JsonRead(benchmark::State& state)
{
    std::string text = listing(static_cast<size_t>(state.range(0)));
    KWJsonParser parser;
    // Written by our writer, read back whole as what it wrote.
    auto read = parser.objectWithString(text);
    if (!read || KWJsonWriter().stringWithObject(*read) != text)
        bench::wrongAnswer("the listing does not read back as it was written");
    freshHeap();
    for (auto _ : state) {
        auto value = parser.objectWithString(text);
        benchmark::DoNotOptimize(value);
        // Freeing the tree is the allocator merging a million small blocks,
        // as long as the reading itself and ruled by the heap's history:
        // not timed, as json.loads's result is freed after its clock stops.
        state.PauseTiming();
        value.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(JsonRead)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// The reads of 10 and 20 MB taken in turn, for their ratio: a spell of load
// elsewhere on the machine then weighs on both sizes alike, where the two
// runs above, one after the other, can catch it on one side only.
void JsonReadInTurn(benchmark::State& state)
{
    const std::string texts[] = { listing(10), listing(20) };
    KWJsonParser parser;
    for (const auto& text : texts) {
        auto read = parser.objectWithString(text);
        if (!read || KWJsonWriter().stringWithObject(*read) != text)
            bench::wrongAnswer("the listing does not read back as it was written");
    }
    freshHeap();
    double seconds[2] = {};
    for (auto _ : state) {
        double iteration = 0;
        for (int size = 0; size < 2; ++size) {
            auto start = std::chrono::steady_clock::now();
            auto value = parser.objectWithString(texts[size]);
            benchmark::DoNotOptimize(value);
            double taken = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            seconds[size] += taken;
            iteration += taken;
        }
        state.SetIterationTime(iteration);
    }
    state.counters["ratio"] = seconds[1] / seconds[0];
}
BENCHMARK(JsonReadInTurn)->UseManualTime()->Iterations(12)->Unit(benchmark::kMillisecond);

void JsonWrite(benchmark::State& state)
{
    KWJsonParser parser;
    auto value = *parser.objectWithString(listing(static_cast<size_t>(state.range(0))));
    KWJsonWriter writer;
    freshHeap();
    for (auto _ : state) {
        auto text = writer.stringWithObject(value);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(JsonWrite)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// Python's own timing of one call, without its start-up.
void Python(benchmark::State& state, const char* operation)
{
    std::string path = writeTemporary(listing(static_cast<size_t>(state.range(0))));
    std::string command = fmt::format(
        "python3 -c 'import json,time,sys\n"
        "t=open(sys.argv[1],encoding=\"utf-8\").read()\nv=json.loads(t)\n"
        "s=time.perf_counter()\n{}\nprint(time.perf_counter()-s)' {}",
        operation, path);
    for (auto _ : state) {
        FILE* pipe = popen(command.c_str(), "r");
        double seconds = 0;
        if (!pipe || std::fscanf(pipe, "%lf", &seconds) != 1) {
            state.SkipWithError("python3 did not run");
            if (pipe)
                pclose(pipe);
            break;
        }
        pclose(pipe);
        state.SetIterationTime(seconds);
    }
    std::filesystem::remove(path);
}
void PythonLoads(benchmark::State& state) { Python(state, "r=json.loads(t)"); }
void PythonDumps(benchmark::State& state) { Python(state, "json.dumps(v)"); }
BENCHMARK(PythonLoads)->Arg(10)->Arg(20)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(PythonDumps)->Arg(10)->Arg(20)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

constexpr int Pairs = 100000;

std::string storePath(const char* name)
{
    auto path = std::filesystem::temp_directory_path() / fmt::format("tandry-bench-{}-{}.tcb", name, getpid());
    std::filesystem::remove(path);
    return path.string();
}

void StoreSetAndGet(benchmark::State& state)
{
    std::string path = storePath("store");
    std::string value(100, 'v');
    {
        auto store = VKKeyValueStore::storeForPath(path);
        for (auto _ : state) {
            for (int i = 0; i < Pairs; ++i) {
                std::string key = fmt::format("key {}", i);
                store->setData(value, key);
                benchmark::DoNotOptimize(store->dataForKey(key));
            }
        }
    }
    std::filesystem::remove(path);
}
BENCHMARK(StoreSetAndGet)->Unit(benchmark::kMillisecond);

void BareTreePutAndGet(benchmark::State& state)
{
    std::string path = storePath("bare");
    std::string value(100, 'v');
    TCBDB* db = tcbdbnew();
    tcbdbsetmutex(db);
    tcbdbopen(db, path.c_str(), BDBOREADER | BDBOWRITER | BDBOCREAT);
    for (auto _ : state) {
        for (int i = 0; i < Pairs; ++i) {
            std::string key = fmt::format("{}key {}", '\0', i);
            tcbdbput(db, key.data(), static_cast<int>(key.size()), value.data(), static_cast<int>(value.size()));
            int size = 0;
            void* got = tcbdbget(db, key.data(), static_cast<int>(key.size()), &size);
            benchmark::DoNotOptimize(got);
            tcfree(got);
        }
    }
    tcbdbclose(db);
    tcbdbdel(db);
    std::filesystem::remove(path);
}
BENCHMARK(BareTreePutAndGet)->Unit(benchmark::kMillisecond);

// Each measured against its baseline from the same program run.
[[maybe_unused]] const bool targets = bench::atEnd([] {
    using bench::runSeconds;
    for (const char* size : { "10", "20" }) {
        bench::atMost(fmt::format("JSON read of {} MB / json.loads", size),
            runSeconds(fmt::format("JsonRead/{}", size)) / runSeconds(fmt::format("PythonLoads/{}", size)), 3, "x");
        bench::atMost(fmt::format("JSON write of {} MB / json.dumps", size),
            runSeconds(fmt::format("JsonWrite/{}", size)) / runSeconds(fmt::format("PythonDumps/{}", size)), 3, "x");
    }
    bench::atMost("JSON read, 20 MB / 10 MB", bench::runCounter("JsonReadInTurn", "ratio"), 2.2, "x");
    bench::atMost("JSON write, 20 MB / 10 MB", runSeconds("JsonWrite/20") / runSeconds("JsonWrite/10"), 2.2, "x");
    bench::atMost("key-value store set and get / bare B+ tree",
        runSeconds("StoreSetAndGet") / runSeconds("BareTreePutAndGet"), 1.5, "x");
});

} // namespace

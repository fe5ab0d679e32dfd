// bench: tandry_platform_core
// Settings and property lists at scale: a large dictionary read out of the
// settings store must cost the same as a small one (shared, copied on
// write), and a 20 MB binary property list must read and write no slower
// than Python's plistlib on the same file, measured in the same run.

#include "Platform/Core/PropertyList.h"
#include "Platform/Core/UserDefaults.h"

#include "PeerTiming.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using core::PropertyList;
using core::Value;

namespace {

std::filesystem::path scratchPath()
{
    return std::filesystem::temp_directory_path() / ("tandry-bench-" + std::to_string(getpid()));
}

std::string scratchFolder()
{
    static std::string folder = [] {
        auto path = scratchPath();
        std::filesystem::create_directories(path);
        // Its 20 MB property lists go when the run ends.
        std::atexit([] { std::filesystem::remove_all(scratchPath()); });
        return path.string();
    }();
    return folder;
}

Value largeDictionary(int64_t entries)
{
    Value::Dictionary dictionary;
    for (int64_t i = 0; i < entries; ++i) {
        dictionary.emplace("/Documents/folder " + std::to_string(i / 100) + "/file " + std::to_string(i),
            Value::makeDictionary({ { "size", i * 1000 }, { "name", "file " + std::to_string(i) }, { "modified", core::Date(double(i)) } }));
    }
    return Value(std::move(dictionary));
}

void DefaultsLargeDictionary(benchmark::State& state)
{
    auto defaults = core::UserDefaults::create(scratchFolder() + "/defaults-" + std::to_string(state.range(0)) + ".plist");
    defaults->set("VKQuotaStore", largeDictionary(state.range(0)));
    for (auto _ : state) {
        Value tree = defaults->dictionaryForKey("VKQuotaStore");
        benchmark::DoNotOptimize(tree);
    }
}
BENCHMARK(DefaultsLargeDictionary)->Arg(1000)->Arg(100000);

// About 20 MB in the binary form.
const std::string& largePlistFile()
{
    static std::string path = [] {
        std::string file = scratchFolder() + "/large.plist";
        PropertyList::writeFile(file, largeDictionary(220000), PropertyList::Format::Binary);
        return file;
    }();
    return path;
}

void BinaryPlistRead(benchmark::State& state)
{
    std::ifstream in(largePlistFile(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (auto _ : state) {
        Value value = PropertyList::read(bytes);
        if (!value.isDictionary())
            state.SkipWithError("unreadable");
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BinaryPlistRead)->Unit(benchmark::kMillisecond);

void BinaryPlistWrite(benchmark::State& state)
{
    Value value = PropertyList::readFile(largePlistFile());
    for (auto _ : state) {
        auto bytes = PropertyList::write(value, PropertyList::Format::Binary);
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BinaryPlistWrite)->Unit(benchmark::kMillisecond);

// plistlib on the same file; the time is what Python measured around the call.
void Plistlib(benchmark::State& state, const char* operation)
{
    std::string command = std::string("python3 -c '"
        "import plistlib, sys, time\n"
        "data = open(sys.argv[1], \"rb\").read()\n"
        "value = plistlib.loads(data)\n"
        "start = time.perf_counter()\n"
        "if sys.argv[2] == \"read\": plistlib.loads(data)\n"
        "else: plistlib.dumps(value, fmt=plistlib.FMT_BINARY)\n"
        "print(time.perf_counter() - start)' ")
        + largePlistFile() + " " + operation;
    for (auto _ : state) {
        double seconds = bench::reportedSeconds(command);
        if (seconds < 0) {
            state.SkipWithError("python3 plistlib did not run");
            break;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK_CAPTURE(Plistlib, Read, "read")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Plistlib, Write, "write")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    using bench::runSeconds;
    bench::atMost("settings dictionary read, 100,000 / 1,000 entries",
        runSeconds("DefaultsLargeDictionary/100000") / runSeconds("DefaultsLargeDictionary/1000"), 2, "x",
        "shared, copied on write");
    bench::atMost("20 MB binary property list read / plistlib", runSeconds("BinaryPlistRead") / runSeconds("Plistlib/Read"),
        1, "x");
    bench::atMost("20 MB binary property list write / plistlib",
        runSeconds("BinaryPlistWrite") / runSeconds("Plistlib/Write"), 1, "x");
});

} // namespace

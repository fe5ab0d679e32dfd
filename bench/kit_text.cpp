// bench: tandry_kit
// The kit's text tools on large inputs:
// - Base64 encoding (with line breaks) and decoding of 64 MB beside
//   coreutils' base64 on the same bytes in the same run (target: within 2x);
// - decoding 8 MB and 64 MB of high-byte Latin-1 and of Shift-JIS text to
//   UTF-8, whose output outgrows the input (target: 64 MB within 9x the time
//   of 8 MB, i.e. linear).

#include "Kit/Base64.h"
#include "Kit/StringIconvEncoding.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <malloc.h>
#include <random>
#include <unistd.h>

namespace {

constexpr size_t MB = size_t(1) << 20;

std::string randomBytes(size_t length)
{
    std::mt19937_64 random(42);
    std::string bytes(length, '\0');
    for (size_t i = 0; i + 8 <= length; i += 8) {
        uint64_t word = random();
        std::memcpy(bytes.data() + i, &word, 8);
    }
    return bytes;
}

std::string writeTemporary(const std::string& bytes, const char* name)
{
    auto path = std::filesystem::temp_directory_path() / fmt::format("tandry-bench-{}-{}", name, getpid());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

void Base64Encode(benchmark::State& state)
{
    std::string bytes = randomBytes(static_cast<size_t>(state.range(0)) * MB);
    if (NewBase64Decode(NewBase64Encode(bytes, true)) != bytes)
        bench::wrongAnswer("Base64 does not decode to what it encoded");
    for (auto _ : state) {
        std::string text = NewBase64Encode(bytes, true);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(Base64Encode)->Arg(64)->Unit(benchmark::kMillisecond);

void Base64Decode(benchmark::State& state)
{
    std::string text = NewBase64Encode(randomBytes(static_cast<size_t>(state.range(0)) * MB), true);
    for (auto _ : state) {
        std::string bytes = NewBase64Decode(text);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(Base64Decode)->Arg(64)->Unit(benchmark::kMillisecond);

// coreutils' base64 over a file into /dev/null, its start-up included (a
// millisecond against the seconds' share of 64 MB).
void Coreutils(benchmark::State& state, const char* options, bool encoded)
{
    std::string bytes = randomBytes(static_cast<size_t>(state.range(0)) * MB);
    std::string path = writeTemporary(encoded ? NewBase64Encode(bytes, true) : bytes, "base64");
    std::string command = fmt::format("base64 {} '{}' > /dev/null", options, path);
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("base64 did not run");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::filesystem::remove(path);
}
void CoreutilsBase64Encode(benchmark::State& state) { Coreutils(state, "", false); }
void CoreutilsBase64Decode(benchmark::State& state) { Coreutils(state, "-d -i", true); }
BENCHMARK(CoreutilsBase64Encode)->Arg(64)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(CoreutilsBase64Decode)->Arg(64)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// Large blocks come straight from the kernel for both sizes: otherwise
// malloc keeps the 8 MB buffers on its heap between runs while the 64 MB ones
// are mapped and zeroed afresh each time, and the ratio would measure that.
void sameAllocator()
{
    static const bool once = mallopt(M_MMAP_THRESHOLD, 1 << 20) == 1;
    (void)once;
}

// Every byte above 0x7F: the UTF-8 output is twice the input.
void DecodeLatin1(benchmark::State& state)
{
    sameAllocator();
    std::string bytes(static_cast<size_t>(state.range(0)) * MB, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(0xC0 + i % 64);
    core::Data data(std::move(bytes));
    for (auto _ : state) {
        auto text = stringWithData(data, "ISO-8859-1");
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(DecodeLatin1)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);

// Two-byte kana: three bytes of UTF-8 for every two of input.
void DecodeShiftJIS(benchmark::State& state)
{
    sameAllocator();
    std::string bytes(static_cast<size_t>(state.range(0)) * MB, '\0');
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        bytes[i] = '\x82';
        bytes[i + 1] = static_cast<char>(0x9F + (i / 2) % 80);
    }
    core::Data data(std::move(bytes));
    for (auto _ : state) {
        auto text = stringWithData(data, "CP932");
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(DecodeShiftJIS)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    using bench::runSeconds;
    bench::atMost("Base64 encoding of 64 MB / base64", runSeconds("Base64Encode/64") / runSeconds("CoreutilsBase64Encode/64"),
        2, "x");
    bench::atMost("Base64 decoding of 64 MB / base64 -d",
        runSeconds("Base64Decode/64") / runSeconds("CoreutilsBase64Decode/64"), 2, "x");
    bench::atMost("Latin-1 to UTF-8, 64 MB / 8 MB", runSeconds("DecodeLatin1/64") / runSeconds("DecodeLatin1/8"), 9, "x");
    bench::atMost("Shift-JIS to UTF-8, 64 MB / 8 MB", runSeconds("DecodeShiftJIS/64") / runSeconds("DecodeShiftJIS/8"), 9,
        "x");
});

} // namespace

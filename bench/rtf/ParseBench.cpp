// bench: tandry_rtf
// Parses generated documents of 1.25, 2.5 and 5 MB into word trees: time and
// the tree's heap size should both grow linearly with the input.

#include "Viewers/RTF/Parser.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <map>
#include <sstream>
#include <string>

namespace {

// The generator sits beside this file.
std::string generated(double megabytes)
{
    static std::map<double, std::string> documents;
    auto found = documents.find(megabytes);
    if (found != documents.end())
        return found->second;
    std::filesystem::path script = std::filesystem::path(TANDRY_SOURCE_DIR) / "bench/rtf/make_large_rtf.py";
    std::filesystem::path output = std::filesystem::temp_directory_path() / ("tandry-bench-" + std::to_string(megabytes) + ".rtf");
    std::string command = "python3 '" + script.string() + "' " + std::to_string(megabytes) + " '" + output.string() + "'";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "cannot run %s\n", command.c_str());
        std::exit(1);
    }
    std::ifstream in(output, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(output);
    return documents[megabytes] = bytes;
}

void ParseDocument(benchmark::State& state)
{
    double megabytes = static_cast<double>(state.range(0)) / 4;
    std::string document = generated(megabytes);
    rtf::Parser parser;
    size_t treeBytes = 0;
    for (auto _ : state) {
        std::istringstream in(document);
        size_t before = mallinfo2().uordblks;
        rtf::Word* tree = parser.ParseStream(in);
        treeBytes = mallinfo2().uordblks - before;
        benchmark::DoNotOptimize(tree);
        state.PauseTiming();
        rtf::Word::Clean(tree);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
    state.counters["tree_bytes_per_input_byte"] = static_cast<double>(treeBytes) / static_cast<double>(document.size());
}

} // namespace

BENCHMARK(ParseDocument)->Arg(5)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// bench: tandry_filemodel
// Archiving and extracting a 200 MB mixed tree (text that deflates well,
// random bytes that do not, many small files and a few large ones) in the
// current folder, beside `zip -r -9` and `unzip` on the same tree in the same
// run. Targets: at most 1.3x the peer's time each; memory flat in archive
// size (counter "peakKiB" stays the same for a tree twice as large).

#include "FileModel/VKZipArchiver.h"
#include "FileModel/VKZipUnarchiver.h"

#include "PeerTiming.h"
#include "Platform/Core/Log.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <random>
#include <sys/resource.h>

namespace {

namespace stdfs = std::filesystem;

const std::string& tree()
{
    static std::string root = [] {
        std::string base = (stdfs::current_path() / "zip-bench").string();
        stdfs::remove_all(base);
        std::mt19937_64 random(7);
        auto write = [&](const std::string& path, size_t size, bool text) {
            stdfs::create_directories(stdfs::path(path).parent_path());
            std::ofstream out(path, std::ios::binary);
            std::string chunk(65536, ' ');
            for (size_t done = 0; done < size; done += chunk.size()) {
                for (size_t i = 0; i < chunk.size(); ++i)
                    chunk[i] = text ? "the quick brown fox jumps over the lazy dog\n"[(done + i) % 44]
                                    : static_cast<char>(random());
                out.write(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), size - done)));
            }
        };
        for (int i = 0; i < 2000; ++i)
            write(fmt::format("{}/T/small/{}/{}.txt", base, i % 20, i), 20000, i % 2 == 0);
        for (int i = 0; i < 4; ++i)
            write(fmt::format("{}/T/large/{}.bin", base, i), 40000000, i % 2 == 0);
        return base;
    }();
    return root;
}

long peakKiB()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void ZipArchive(benchmark::State& state)
{
    static core::LogCapture quiet(true);
    const std::string& root = tree();
    for (auto _ : state) {
        stdfs::remove(root + "/ours.zip");
        stdfs::remove(root + "/peer.zip");
        double ours = bench::seconds([&] { VKZipArchiver::archiveItemAtPath(root + "/T", root + "/ours.zip", 9); });
        double peer = bench::peer(fmt::format("cd '{}' && zip -q -r -9 peer.zip T", root));
        state.SetIterationTime(ours);
        state.counters["ratioToZip"] = ours / peer;
    }
    state.counters["peakKiB"] = static_cast<double>(peakKiB());
}
BENCHMARK(ZipArchive)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void ZipExtract(benchmark::State& state)
{
    const std::string& root = tree();
    if (!stdfs::exists(root + "/peer.zip"))
        bench::peer(fmt::format("cd '{}' && zip -q -r -9 peer.zip T", root));
    for (auto _ : state) {
        stdfs::remove_all(root + "/ours");
        stdfs::remove_all(root + "/theirs");
        stdfs::create_directories(root + "/ours");
        double ours = bench::seconds([&] {
            VKZipUnarchiver::unarchiverWithZipAtPath(root + "/peer.zip")->unarchiveToPath(root + "/ours");
        });
        double peer = bench::peer(fmt::format("unzip -q -d '{}/theirs' '{}/peer.zip'", root, root));
        state.SetIterationTime(ours);
        state.counters["ratioToUnzip"] = ours / peer;
    }
    state.counters["peakKiB"] = static_cast<double>(peakKiB());
}
BENCHMARK(ZipExtract)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

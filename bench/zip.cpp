// bench: tandry_filemodel
// Archiving and extracting a 200 MB mixed tree (text that deflates well,
// random bytes that do not, many small files and a few large ones) in the
// current folder, beside `zip -r -9` and `unzip` on the same tree in the same
// run. Targets: at most 1.3x the peer's time each; memory flat in archive
// size (counter "peakKiB" stays the same for a tree twice as large).
//
// Then an archive of 70,000 small entries: listing every name at most 2x
// `unzip -l`'s time, extracting it at most 1.2x `unzip`'s (on the same
// memory-backed folder); and a 5 GiB
// sparse file archived and extracted again (zip64), in time and with the
// peak memory growing by no more than a few megabytes ("peakGrowthKiB"),
// the archive checked by `unzip -t` ("unzipAccepts" 1).

#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKZipArchiver.h"
#include "FileModel/VKZipUnarchiver.h"

#include "PeerTiming.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Paths.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace stdfs = std::filesystem;

// The unarchiver sizes its work against the quota of the store: the
// application's home is a folder of the bench's own.
void setUpHome()
{
    static bool done = [] {
        const std::string home = (stdfs::current_path() / "zip-bench-home").string();
        stdfs::create_directories(home);
        core::paths::setHome(home);
        VKQuotaManager::setDefaultManagerForTesting(VKQuotaManager::create(home, home + "/Servers"));
        return true;
    }();
    (void)done;
}

const std::string& tree()
{
    setUpHome();
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

// 70,000 files of a few hundred bytes in 700 folders, archived by `zip`, in
// a memory-backed folder where there is one: on a shared disk the file
// system's inode allocation after large removals swamps both programs' own
// work, by factors that change from run to run.
const std::string& manyEntries()
{
    static std::string archive = [] {
        setUpHome();
        const stdfs::path memory("/dev/shm");
        const std::string base
            = ((stdfs::is_directory(memory) ? memory : stdfs::current_path()) / fmt::format("zip-bench-{}", getpid()))
                  .string();
        stdfs::remove_all(base);
        std::string text(300, 'w');
        for (int i = 0; i < 70000; ++i) {
            const std::string folder = fmt::format("{}/M/{}", base, i % 700);
            if (i < 700)
                stdfs::create_directories(folder);
            std::ofstream(fmt::format("{}/{}.txt", folder, i)) << text << i;
        }
        bench::peer(fmt::format("cd '{}' && zip -q -r -1 many.zip M && rm -rf M", base));
        static std::string made = base;
        std::atexit([] { stdfs::remove_all(made); });
        return base + "/many.zip";
    }();
    return archive;
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
        if (std::system(fmt::format("unzip -tq '{}/ours.zip' > /dev/null", root).c_str()) != 0)
            bench::wrongAnswer("unzip -t rejects our archive");
        bench::atMost("archive of a 200 MB tree / zip -r -9", ours / peer, 1.3, "x",
            fmt::format("{:.2f} s, zip {:.2f} s", ours, peer));
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
        if (std::system(fmt::format("diff -r -q '{0}/T' '{0}/ours/T' > /dev/null", root).c_str()) != 0)
            bench::wrongAnswer("our extraction differs from the tree");
        bench::atMost("extraction of the 200 MB tree / unzip", ours / peer, 1.3, "x",
            fmt::format("{:.2f} s, unzip {:.2f} s", ours, peer));
    }
    state.counters["peakKiB"] = static_cast<double>(peakKiB());
}
BENCHMARK(ZipExtract)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void ZipListManyEntries(benchmark::State& state)
{
    const std::string& archive = manyEntries();
    bench::peer(fmt::format("unzip -l '{}' > /dev/null", archive));
    for (auto _ : state) {
        size_t names = 0;
        double ours = bench::seconds([&] {
            auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
            for (uint64_t i = 0; i < unarchiver->numberOfEntries(); ++i)
                names += unarchiver->nameOfEntryAtIndex(i).has_value();
        });
        double peer = bench::peer(fmt::format("unzip -l '{}' > /dev/null", archive));
        state.SetIterationTime(ours);
        state.counters["ratioToUnzipList"] = ours / peer;
        state.counters["entries"] = static_cast<double>(names);
        if (names < 70'000)
            bench::wrongAnswer(fmt::format("{} names listed of 70,000", names));
        bench::atMost("listing 70,000 entries / unzip -l", ours / peer, 2, "x",
            fmt::format("{:.0f} ms, unzip -l {:.0f} ms", ours * 1000, peer * 1000));
    }
}
BENCHMARK(ZipListManyEntries)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void ZipExtractManyEntries(benchmark::State& state)
{
    const std::string& archive = manyEntries();
    const std::string base = stdfs::path(archive).parent_path().string();
    int round = 0;
    for (auto _ : state) {
        // Each run into a folder of its own, the order switched every round.
        const std::string ours = fmt::format("{}/ours{}", base, round);
        const std::string theirs = fmt::format("{}/theirs{}", base, round);
        stdfs::create_directories(ours);
        double ourTime = 0;
        double peerTime = 0;
        auto runOurs = [&] {
            ourTime = bench::seconds([&] { VKZipUnarchiver::unarchiverWithZipAtPath(archive)->unarchiveToPath(ours); });
        };
        auto runPeer = [&] { peerTime = bench::peer(fmt::format("unzip -q -d '{}' '{}'", theirs, archive)); };
        if (round++ % 2 == 0) {
            runOurs();
            runPeer();
        } else {
            runPeer();
            runOurs();
        }
        state.SetIterationTime(ourTime);
        state.counters["ratioToUnzip"] = ourTime / peerTime;
        if (std::system(fmt::format("diff -r -q '{}' '{}' > /dev/null", ours, theirs).c_str()) != 0)
            bench::wrongAnswer("our extraction of 70,000 entries differs from unzip's");
        bench::atMost("extracting 70,000 entries / unzip", ourTime / peerTime, 1.2, "x",
            fmt::format("{:.2f} s, unzip {:.2f} s", ourTime, peerTime));
    }
    for (int i = 0; i < round; ++i) {
        stdfs::remove_all(fmt::format("{}/ours{}", base, i));
        stdfs::remove_all(fmt::format("{}/theirs{}", base, i));
    }
}
BENCHMARK(ZipExtractManyEntries)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void ZipSparseRoundTrip(benchmark::State& state)
{
    static core::LogCapture quiet(true);
    const std::string base = tree() + "/sparse";
    stdfs::remove_all(base);
    stdfs::create_directories(base + "/out");
    const std::string original = base + "/sparse.bin";
    {
        std::ofstream(original).close();
        stdfs::resize_file(original, uint64_t(5) << 30);
        std::fstream file(original, std::ios::in | std::ios::out | std::ios::binary);
        for (uint64_t at : { uint64_t(0), uint64_t(3) << 30, (uint64_t(5) << 30) - 4 }) {
            file.seekp(static_cast<std::streamoff>(at));
            file.write("mark", 4);
        }
    }
    const long before = peakKiB();
    for (auto _ : state) {
        double archiving = bench::seconds([&] { VKZipArchiver::archiveItemAtPath(original, base + "/sparse.zip", 9); });
        double extracting = bench::seconds([&] {
            VKZipUnarchiver::unarchiverWithZipAtPath(base + "/sparse.zip")->unarchiveToPath(base + "/out");
        });
        state.SetIterationTime(archiving + extracting);
        state.counters["archiveSeconds"] = archiving;
        state.counters["extractSeconds"] = extracting;
    }
    state.counters["peakGrowthKiB"] = static_cast<double>(peakKiB() - before);
    struct stat status {};
    stat((base + "/out/sparse.bin").c_str(), &status);
    state.counters["extractedGiB"] = static_cast<double>(status.st_size) / double(uint64_t(1) << 30);
    state.counters["unzipAccepts"] = std::system(fmt::format("unzip -tq '{}/sparse.zip' > /dev/null", base).c_str()) == 0;
    if (state.counters["unzipAccepts"] == 0 || status.st_size != off_t(uint64_t(5) << 30))
        bench::wrongAnswer("the 5 GiB sparse file did not come back whole, or unzip -t rejects its archive");
    bench::atMost("peak memory grown by a 5 GiB round trip", static_cast<double>(peakKiB() - before), 4096, "KiB",
        fmt::format("archived in {:.1f} s, extracted in {:.1f} s", double(state.counters["archiveSeconds"]),
            double(state.counters["extractSeconds"])));
    stdfs::remove_all(base);
}
BENCHMARK(ZipSparseRoundTrip)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

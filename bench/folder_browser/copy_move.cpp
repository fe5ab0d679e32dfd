// bench: tandry_app
// The browser's move and copy of marked items (the worker's file work, as
// the folder list runs it) beside coreutils on the same trees, warm cache,
// median of 3 runs, one file system (the current folder's):
// - tree A, 20,000 files of 1–64 KiB in 200 folders: the copy of A ≤ 2x
//   `cp -r` ("xCp"), resident memory grown ≤ 16 MiB ("rssGrowthMiB");
// - tree B, 4 files of 512 MiB: the copy ≤ 1.2x `cp -r`;
// - A moved as one marked folder ≤ 50 ms ("ms", `mv` beside it as "mvMs");
//   1,000 marked files moved ≤ 10x `mv` of the same ("xMv");
// - B moved to /dev/shm when that is another device ≤ 1.3x `mv`;
// - a cancel during the copy of B takes effect within 100 ms
//   ("cancelMs").
// Every copy and move is checked first (the same names and bytes where
// they should be, nothing left where they were). A quick run makes both
// trees a sixteenth of their size.

#include "../PeerTiming.h"
#include "Report.h"

#include "App/FolderBrowser/VKFolderItemTransfer.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/VKFileManagerDelegate.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Testing/Environment.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace stdfs = std::filesystem;

double scale()
{
    return bench::sized(1.0, 1.0 / 16);
}

// The same names and bytes under both folders (diff -r); a difference is
// a wrong answer.
void checkSame(const std::string& what, const std::string& expected, const std::string& made)
{
    if (std::system(("diff -r -q '" + expected + "' '" + made + "' > /dev/null").c_str()) != 0)
        bench::wrongAnswer(what + ": " + made + " differs from " + expected);
}

void checkMoved(const std::string& what, const std::string& from, const std::string& to)
{
    if (stdfs::exists(from) || !stdfs::exists(to))
        bench::wrongAnswer(what + ": " + from + " was not moved to " + to);
}

std::string benchHome()
{
    return (stdfs::current_path() / fmt::format("copy-move-bench-{}", getpid())).string();
}

void writeFile(const std::string& path, size_t size)
{
    std::ofstream out(path, std::ios::binary);
    std::string block(64 * 1024, 'x');
    for (size_t left = size; left > 0;) {
        size_t step = std::min(left, block.size());
        out.write(block.data(), std::streamsize(step));
        left -= step;
    }
}

struct Setting {
    std::string documents;
    std::string treeA;
    std::string treeB;
    std::string scratch;
};

const Setting& setting()
{
    static Setting made = [] {
        core::RunLoop::setMainThread();
        std::string home = benchHome();
        stdfs::create_directories(home);
        core::paths::setHome(home);
        ui::testing::Environment::begin();
        Setting s;
        s.documents = VKApplication::sharedApplication()->documentsDirectory();
        s.treeA = s.documents + "/A";
        s.treeB = s.documents + "/B";
        s.scratch = s.documents + "/Scratch";
        const int files = std::max(200, int(20'000 * scale()));
        for (int i = 0; i < files; ++i) {
            std::string folder = fmt::format("{}/folder {:03}", s.treeA, i % 200);
            stdfs::create_directories(folder);
            writeFile(fmt::format("{}/file {}.dat", folder, i), size_t(1024 + (i * 7919) % (63 * 1024)));
        }
        stdfs::create_directories(s.treeB);
        for (int i = 0; i < 4; ++i)
            writeFile(fmt::format("{}/big {}.bin", s.treeB, i), size_t(512.0 * 1024 * 1024 * scale()));
        stdfs::create_directories(s.scratch);
        VKQuotaManager::defaultManager()->updateQuotaForPath(s.documents);
        bench::peer("cat -- '" + s.treeB + "'/* > /dev/null");
        std::atexit([] { stdfs::remove_all(benchHome()); });
        return s;
    }();
    return made;
}

VKFolderItemTransfer::Request request(const std::vector<std::string>& paths, const std::string& destination)
{
    VKFolderItemTransfer::Request made;
    for (const auto& item : paths)
        made.resources.push_back(VKFileResource::resourceWithPath(item));
    made.destination = destination;
    return made;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

void Copy(benchmark::State& state)
{
    const auto& s = setting();
    const std::string tree = state.range(0) == 0 ? s.treeA : s.treeB;
    std::vector<double> ours, peers;
    long growth = 0;
    for (auto _ : state) {
        for (int run = 0; run < 3; ++run) {
            stdfs::remove_all(s.scratch);
            stdfs::create_directories(s.scratch);
            long before = residentKiB();
            ours.push_back(bench::seconds([&] { VKFolderItemTransfer::copyItems(request({ tree }, s.scratch), {}); }));
            growth = std::max(growth, residentKiB() - before);
            const std::string copy = s.scratch + "/" + stdfs::path(tree).filename().string();
            if (run == 0)
                checkSame("the browser's copy", tree, copy);
            stdfs::remove_all(s.scratch);
            peers.push_back(bench::peer("cp -r '" + tree + "' '" + s.scratch + "'"));
            if (run == 0)
                checkSame("cp -r", tree, s.scratch);
        }
    }
    stdfs::remove_all(s.scratch);
    stdfs::create_directories(s.scratch);
    state.counters["xCp"] = median(ours) / median(peers);
    state.counters["rssGrowthMiB"] = double(growth) / 1024;
    const bool a = state.range(0) == 0;
    bench::atMost(a ? "copy of A / cp -r" : "copy of B / cp -r", median(ours) / median(peers), a ? 2 : 1.2, "x",
        fmt::format("{:.2f} s, cp -r {:.2f} s", median(ours), median(peers)));
    if (a)
        bench::atMost("resident memory grown copying A", double(growth) / 1024, 16, "MiB");
}
BENCHMARK(Copy)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

void MoveFolder(benchmark::State& state)
{
    const auto& s = setting();
    std::vector<double> ours, peers;
    for (auto _ : state) {
        for (int run = 0; run < 3; ++run) {
            ours.push_back(bench::seconds([&] { VKFolderItemTransfer::moveItems(request({ s.treeA }, s.scratch), {}); }));
            checkMoved("the browser's move", s.treeA, s.scratch + "/A");
            // Moved back as the browser would, so that the next run finds
            // the quota tree where the folder is.
            stdfs::rename(s.scratch + "/A", s.treeA);
            VKQuotaManager::defaultManager()->moveStructure(s.scratch + "/A", s.treeA);
            peers.push_back(bench::peer("mv '" + s.treeA + "' '" + s.scratch + "/A'"));
            stdfs::rename(s.scratch + "/A", s.treeA);
        }
    }
    state.counters["ms"] = median(ours) * 1000;
    state.counters["mvMs"] = median(peers) * 1000;
    bench::atMost("move of A as one folder", median(ours) * 1000, 50, "ms", fmt::format("mv {:.1f} ms", median(peers) * 1000));
}
BENCHMARK(MoveFolder)->Iterations(1)->Unit(benchmark::kMillisecond);

void MoveFiles(benchmark::State& state)
{
    const auto& s = setting();
    const std::string source = s.documents + "/Many";
    stdfs::create_directories(source);
    std::vector<std::string> paths;
    for (int i = 0; i < 1000; ++i) {
        paths.push_back(fmt::format("{}/item {}.txt", source, i));
        writeFile(paths.back(), 100);
    }
    VKQuotaManager::defaultManager()->updateQuotaForPath(source);
    std::vector<double> ours, peers;
    for (auto _ : state) {
        for (int run = 0; run < 3; ++run) {
            ours.push_back(bench::seconds([&] { VKFolderItemTransfer::moveItems(request(paths, s.scratch), {}); }));
            checkMoved("the browser's move", paths.front(), s.scratch + "/item 0.txt");
            checkMoved("the browser's move", paths.back(), s.scratch + "/item 999.txt");
            bench::peer("mv '" + s.scratch + "'/item* '" + source + "'");
            peers.push_back(bench::peer("mv '" + source + "'/item* '" + s.scratch + "'"));
            bench::peer("mv '" + s.scratch + "'/item* '" + source + "'");
            VKQuotaManager::defaultManager()->updateQuotaForPath(s.scratch);
            VKQuotaManager::defaultManager()->updateQuotaForPath(source);
        }
    }
    state.counters["xMv"] = median(ours) / median(peers);
    bench::atMost("move of 1,000 marked files / mv", median(ours) / median(peers), 10, "x",
        fmt::format("{:.1f} ms, mv {:.1f} ms", median(ours) * 1000, median(peers) * 1000));
}
BENCHMARK(MoveFiles)->Iterations(1)->Unit(benchmark::kMillisecond);

void MoveAcrossDevices(benchmark::State& state)
{
    const auto& s = setting();
    struct stat shm, ourDevice;
    if (stat("/dev/shm", &shm) != 0 || stat(s.documents.c_str(), &ourDevice) != 0 || shm.st_dev == ourDevice.st_dev) {
        bench::figure("move of B to another device", 0, "", "not measured: /dev/shm is on the same device");
        return;
    }
    const std::string other = fmt::format("/dev/shm/copy-move-bench-{}", getpid());
    stdfs::create_directories(other);
    std::vector<double> ours, peers;
    for (auto _ : state) {
        for (int run = 0; run < 3; ++run) {
            ours.push_back(bench::seconds([&] { VKFolderItemTransfer::moveItems(request({ s.treeB }, other), {}); }));
            checkMoved("the browser's move to another device", s.treeB, other + "/B");
            bench::peer("mv '" + other + "/B' '" + s.treeB + "'");
            VKQuotaManager::defaultManager()->updateQuotaForPath(s.treeB);
            peers.push_back(bench::peer("mv '" + s.treeB + "' '" + other + "/B'"));
            bench::peer("mv '" + other + "/B' '" + s.treeB + "'");
        }
    }
    stdfs::remove_all(other);
    VKQuotaManager::defaultManager()->updateQuotaForPath(s.treeB);
    state.counters["xMv"] = median(ours) / median(peers);
    bench::atMost("move of B to another device / mv", median(ours) / median(peers), 1.3, "x",
        fmt::format("{:.2f} s, mv {:.2f} s", median(ours), median(peers)));
}
BENCHMARK(MoveAcrossDevices)->Iterations(1)->Unit(benchmark::kMillisecond);

void CancelCopy(benchmark::State& state)
{
    const auto& s = setting();
    double worst = 0;
    for (auto _ : state) {
        for (int run = 0; run < 3; ++run) {
            std::atomic<bool> cancelled { false };
            VKFolderItemTransfer::Hooks hooks;
            hooks.isCancelled = [&] { return cancelled.load(); };
            // Byte progress is where a running file copy hears the cancel.
            struct Listener : VKFileManagerDelegate {
                std::atomic<bool>* flag;
                bool copyingItemAtPath(const std::string&, const std::string&, uint64_t) override { return !*flag; }
            } listener;
            listener.flag = &cancelled;
            hooks.delegate = &listener;
            std::chrono::steady_clock::time_point asked;
            std::thread worker([&] { VKFolderItemTransfer::copyItems(request({ s.treeB }, s.scratch), hooks); });
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            asked = std::chrono::steady_clock::now();
            cancelled = true;
            worker.join();
            worst = std::max(worst, std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count());
        }
    }
    state.counters["cancelMs"] = worst * 1000;
    bench::atMost("cancel of the copy of B", worst * 1000, 100, "ms");
}
BENCHMARK(CancelCopy)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

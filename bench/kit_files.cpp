// bench: tandry_kit
// File services at scale, each beside the system tool doing the same job in
// the same run: a 1 GB copy with progress within 2x of `cp --reflink=never`;
// moving a 20,000-file folder to the trash within 2x of moving one file (a
// rename, whatever the size); removing 100,000 files within 1.5x of `rm -rf`.
// Work happens in the current folder (a disk, not tmpfs).

#include "Kit/FileManagerAdditions.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Thread.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr size_t LargeFileSize = size_t(1) << 30;

std::string scratch(const std::string& name)
{
    static const std::string folder = [] {
        // Beside the benchmark binary, inside the (ignored) build tree, on disk.
        auto path = std::filesystem::read_symlink("/proc/self/exe").parent_path() / ("kit-files-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    // Registered once the folder's name is made, so that the removal runs
    // before the name goes at exit.
    static const bool removedAtExit = std::atexit([] { std::filesystem::remove_all(folder); }) == 0;
    (void)removedAtExit;
    return folder + "/" + name;
}

const std::string& largeFile()
{
    static std::string path = [] {
        std::string file = scratch("large.bin");
        std::ofstream out(file, std::ios::binary);
        std::string block(1 << 20, 'x');
        for (size_t written = 0; written < LargeFileSize; written += block.size())
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        return file;
    }();
    return path;
}

void makeFlatFolder(const std::string& folder, int files)
{
    std::filesystem::create_directories(folder);
    for (int i = 0; i < files; ++i)
        std::ofstream(folder + "/f" + std::to_string(i)) << "x";
}

void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        std::abort();
}

class CountingDelegate : public VKFileManagerDelegate {
public:
    bool copyingItemAtPath(const std::string&, const std::string&, uint64_t bytes) override
    {
        total += bytes;
        return true;
    }
    uint64_t total = 0;
};

void CopyLargeFileWithProgress(benchmark::State& state)
{
    const std::string& source = largeFile();
    std::string destination = scratch("copy.bin");
    for (auto _ : state) {
        CountingDelegate delegate;
        if (!copyWithUpdatesItemAtPath(source, destination, nullptr, &delegate))
            state.SkipWithError("copy failed");
        state.PauseTiming();
        unlink(destination.c_str());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * LargeFileSize));
}
BENCHMARK(CopyLargeFileWithProgress)->Unit(benchmark::kMillisecond)->Iterations(3);

void CopyLargeFileWithCp(benchmark::State& state)
{
    const std::string& source = largeFile();
    std::string destination = scratch("cp.bin");
    for (auto _ : state) {
        run("cp --reflink=never '" + source + "' '" + destination + "'");
        state.PauseTiming();
        unlink(destination.c_str());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * LargeFileSize));
}
BENCHMARK(CopyLargeFileWithCp)->Unit(benchmark::kMillisecond)->Iterations(3);

// state.range(0) files in the folder moved to the trash; 0 moves one file.
// Inside one group, so that the removal of an earlier holder does not run
// beside the rename being measured. Before the one file's move as many
// files are made in a folder beside it (removed once timed): a rename
// waits while the file system's journal commits the creations before it,
// and both sides should wait alike.
void MoveToTrash(benchmark::State& state)
{
    constexpr int ballastFiles = 20'000;
    std::string trash = scratch("Trash");
    std::filesystem::create_directories(trash);
    setTrashPathProvider([trash] { return trash; });
    int files = static_cast<int>(state.range(0));
    int round = 0;
    beginTrashGroup();
    for (auto _ : state) {
        state.PauseTiming();
        std::string item = scratch("item" + std::to_string(round));
        if (files == 0) {
            makeFlatFolder(scratch("ballast" + std::to_string(round)), ballastFiles);
            std::ofstream(item) << "x";
        } else {
            makeFlatFolder(item, files);
        }
        ++round;
        state.ResumeTiming();
        if (!moveItemAtPathToTrash(item))
            state.SkipWithError("move failed");
    }
    endTrashGroup();
    for (int made = 0; files == 0 && made < round; ++made)
        std::filesystem::remove_all(scratch("ballast" + std::to_string(made)));
    emptyTrashInBackground();
    core::Thread::waitForAll(600);
}
BENCHMARK(MoveToTrash)->Arg(0)->Arg(20'000)->Unit(benchmark::kMicrosecond)->Iterations(10);

// Removing a 100,000-file tree: the removal the trash threads run, then rm -rf.
void RemoveTree(benchmark::State& state)
{
    bool withRm = state.range(0) == 1;
    for (auto _ : state) {
        state.PauseTiming();
        std::string tree = scratch("tree");
        for (int folder = 0; folder < 100; ++folder)
            makeFlatFolder(tree + "/d" + std::to_string(folder), 1000);
        state.ResumeTiming();
        if (withRm)
            run("rm -rf '" + tree + "'");
        else if (!VKRemoveItemAtPath(tree))
            state.SkipWithError("removal failed");
    }
}
BENCHMARK(RemoveTree)->Arg(0)->Arg(1)->ArgNames({ "rm" })->Unit(benchmark::kMillisecond)->Iterations(2);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    using bench::runSeconds;
    bench::atMost("1 GB copy with progress / cp", runSeconds("CopyLargeFileWithProgress") / runSeconds("CopyLargeFileWithCp"),
        2, "x");
    bench::atMost("20,000-file folder to the trash / one file", runSeconds("MoveToTrash/20000") / runSeconds("MoveToTrash/0"),
        2, "x");
    bench::atMost("removing 100,000 files / rm -rf", runSeconds("RemoveTree/rm:0") / runSeconds("RemoveTree/rm:1"), 1.5, "x");
});

} // namespace

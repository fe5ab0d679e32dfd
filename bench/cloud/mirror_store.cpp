// bench: tandry_cloud
// The cloud mirror store in a home under the current folder (a disk, not
// tmpfs), each figure against its target from the same run:
// - MirrorSaveVersusPlainLoop: saving 10,000 new nodes (100 folders × 100
//   files) against a plain prepared-statement loop writing the same rows in
//   one transaction ("ratio" within 3);
// - ChildWithNameScaling: a lookup by name in a 10,000-child folder against
//   a 100-child one ("ratio" within 2);
// - MergeScaling: merging another thread's save of 10,000 updated nodes
//   against one of 1,000 ("ratio" within 12);
// - WalkMemory: walking 100,000 nodes through their resources and dropping
//   them gives the heap back ("heapAfterWalk" within 1.1 of the heap
//   before).

#include "../PeerTiming.h"
#include "Report.h"

#include "Shell/VKApplication.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Store/Context.h"
#include "Platform/Store/Coordinator.h"
#include "Platform/Store/Predicate.h"
#include "Platform/Store/Schema.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fmt/format.h>
#include <malloc.h>
#include <map>
#include <random>
#include <time.h>
#include <sqlite3.h>
#include <unistd.h>

namespace {

using NodePointer = std::shared_ptr<VKCloudManagedObject>;

// Seconds of this thread's processor time: the scaling ratios compare work,
// which time slices lost to other programs would blur.
double cpuSeconds(const std::function<void()>& work)
{
    timespec start {};
    timespec end {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    work();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    return static_cast<double>(end.tv_sec - start.tv_sec) + static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
}

// A home of its own per run, removed at exit.
void prepareHome()
{
    static bool prepared = [] {
        core::RunLoop::setMainThread();
        auto home = std::filesystem::current_path() / fmt::format("mirror-bench-{}", getpid());
        std::filesystem::create_directories(home);
        core::paths::setHome(home.string());
        std::atexit([] {
            std::filesystem::remove_all(std::filesystem::current_path() / fmt::format("mirror-bench-{}", getpid()));
        });
        return true;
    }();
    (void)prepared;
}

std::string servers()
{
    return VKApplication::sharedApplication()->serversDirectory();
}

// A fresh shared store with the service folder "Bench".
std::shared_ptr<VKCloudFileStore> freshStore()
{
    prepareHome();
    core::LogCapture quiet(true);
    VKCloudFileStore::zapCloudFileStore();
    auto store = VKCloudFileStore::sharedStore();
    auto folder = store->insertObjectForPath(servers() + "/Bench");
    folder->setIsDirectory(true);
    store->saveContext();
    return store;
}

void insertTree(VKCloudFileStore& store, int folders, int files)
{
    auto bench = store.managedObjectForPath(servers() + "/Bench");
    for (int folder = 0; folder < folders; ++folder) {
        auto node = store.insertObjectWithName(fmt::format("Folder {:03}", folder), bench);
        node->setIsDirectory(true);
        for (int file = 0; file < files; ++file) {
            auto child = store.insertObjectWithName(fmt::format("file {:05}.txt", file), node);
            child->setSize(file);
            child->setModificationDate(core::Date(file));
        }
    }
}

// The same rows written by hand: one prepared statement in one transaction.
double plainLoopSeconds(int folders, int files)
{
    std::string path = core::paths::temporaryDirectory() + "plain.sqlite";
    for (const char* suffix : { "", "-wal", "-shm" })
        std::filesystem::remove(path + suffix);
    sqlite3* database = nullptr;
    sqlite3_open(path.c_str(), &database);
    sqlite3_exec(database, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON", nullptr,
        nullptr, nullptr);
    for (const auto& statement : VKCloudManagedObject::schema().createStatements())
        sqlite3_exec(database, statement.c_str(), nullptr, nullptr, nullptr);
    sqlite3_exec(database, "INSERT INTO VKCloudManagedObject (id, name) VALUES (1, 'Bench')", nullptr, nullptr, nullptr);
    double seconds = bench::seconds([&] {
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(database,
            "INSERT INTO VKCloudManagedObject (id, parent, name, nameFolded, UUID, size, isDirectory, modificationDate, "
            "cloudRevision, cloudHash, uploadState) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0, NULL, 0)",
            -1, &insert, nullptr);
        sqlite3_exec(database, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        int64_t id = 2;
        auto row = [&](int64_t parent, const std::string& name, int64_t size, bool folder) {
            sqlite3_bind_int64(insert, 1, id++);
            sqlite3_bind_int64(insert, 2, parent);
            sqlite3_bind_text(insert, 3, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 4, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 5, "00000000-0000-0000-0000-000000000000", -1, SQLITE_STATIC);
            sqlite3_bind_int64(insert, 6, size);
            sqlite3_bind_int(insert, 7, folder);
            sqlite3_bind_double(insert, 8, static_cast<double>(size));
            sqlite3_step(insert);
            sqlite3_reset(insert);
        };
        for (int folder = 0; folder < folders; ++folder) {
            int64_t parent = id;
            row(1, fmt::format("Folder {:03}", folder), 0, true);
            for (int file = 0; file < files; ++file)
                row(parent, fmt::format("file {:05}.txt", file), file, false);
        }
        sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_finalize(insert);
    });
    sqlite3_close(database);
    return seconds;
}

void MirrorSaveVersusPlainLoop(benchmark::State& state)
{
    double mirror = 0;
    double plain = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto store = freshStore();
        insertTree(*store, 100, 100);
        state.ResumeTiming();
        mirror = bench::seconds([&] { store->saveContext(); });
        state.PauseTiming();
        plain = plainLoopSeconds(100, 100);
        state.ResumeTiming();
    }
    state.counters["mirrorSeconds"] = mirror;
    state.counters["plainSeconds"] = plain;
    state.counters["ratio"] = mirror / plain;
    bench::atMost("save of 10,000 new nodes / plain insert loop", mirror / plain, 3, "x",
        fmt::format("{:.0f} ms, plain loop {:.0f} ms", mirror * 1000, plain * 1000));
}
BENCHMARK(MirrorSaveVersusPlainLoop)->Unit(benchmark::kMillisecond)->Iterations(3);

void ChildWithNameScaling(benchmark::State& state)
{
    auto store = freshStore();
    auto bench = store->managedObjectForPath(servers() + "/Bench");
    for (int count : { 100, 10000 }) {
        auto folder = store->insertObjectWithName(fmt::format("Children {}", count), bench);
        folder->setIsDirectory(true);
        for (int file = 0; file < count; ++file)
            store->insertObjectWithName(fmt::format("file {:05}.txt", file), folder);
    }
    store->saveContext();
    auto lookups = [&](int count) {
        auto folder = store->managedObjectForPath(servers() + fmt::format("/Bench/Children {}", count));
        std::mt19937 random(7);
        if (!folder->childWithName("file 00042.txt"))
            bench::wrongAnswer(fmt::format("no child \"file 00042.txt\" found among {}", count));
        return cpuSeconds([&] {
            for (int lookup = 0; lookup < 20000; ++lookup)
                benchmark::DoNotOptimize(folder->childWithName(fmt::format("file {:05}.txt", random() % count)));
        });
    };
    double small = 0;
    double large = 0;
    for (auto _ : state) {
        small = lookups(100);
        large = lookups(10000);
    }
    state.counters["ratio"] = large / small;
    bench::atMost("childWithName, 10,000 / 100 children", large / small, 2, "x");
}
BENCHMARK(ChildWithNameScaling)->Unit(benchmark::kMillisecond)->Iterations(3);

// The merge of another context's save of `updates` nodes into a context
// that holds all of them; the best of a few rounds, as the machine allows.
double mergeSeconds(int updates)
{
    auto store = freshStore();
    insertTree(*store, updates / 100, 100);
    store->saveContext();
    auto coordinator = store->persistentStoreCoordinator();
    auto main = store::Context::create(coordinator);
    auto held = main->fetch(store::Predicate::greaterThan("size", core::Value(-1)));
    auto other = store::Context::create(coordinator);
    auto changed = other->fetch(store::Predicate::greaterThan("size", core::Value(-1)));
    store::ContextSave saved;
    auto observation = core::NotificationCenter::defaultCenter().observe(store::ContextDidSaveNotification, other,
        [&](const store::ContextSave& save) { saved = save; });
    double best = 1e9;
    for (int round = 0; round < 15; ++round) {
        for (const auto& object : changed)
            object->setValueAt(VKCloudManagedObject::SizeAttribute, core::Value(object->integerAt(VKCloudManagedObject::SizeAttribute) + 1));
        other->save();
        best = std::min(best, cpuSeconds([&] { main->mergeChangesFromContextDidSave(saved); }));
    }
    // A merge that took nothing in is no merge: the held nodes show the sizes saved.
    std::map<int64_t, int64_t> savedSizes;
    for (const auto& object : changed)
        savedSizes[object->objectID()] = object->integerAt(VKCloudManagedObject::SizeAttribute);
    for (const auto& object : held) {
        const auto size = object->integerAt(VKCloudManagedObject::SizeAttribute);
        if (savedSizes[object->objectID()] != size)
            bench::wrongAnswer(fmt::format("the merge of {} saved nodes left node {} at size {}, not {}", updates,
                object->objectID(), size, savedSizes[object->objectID()]));
    }
    return best;
}

void MergeScaling(benchmark::State& state)
{
    double small = 0;
    double large = 0;
    for (auto _ : state) {
        small = mergeSeconds(1000);
        large = mergeSeconds(10000);
    }
    state.counters["ratio"] = large / small;
    state.counters["smallSeconds"] = small;
    state.counters["largeSeconds"] = large;
    bench::atMost("merge of a save, 10,000 / 1,000 nodes", large / small, 12, "x",
        fmt::format("{:.1f} ms and {:.1f} ms of CPU", large * 1000, small * 1000));
}
BENCHMARK(MergeScaling)->Unit(benchmark::kMillisecond)->Iterations(3);

size_t walk(VKCloudFileStore& store)
{
    size_t visited = 0;
    auto bench = VKCloudFileResource::resourceWithPath(servers() + "/Bench");
    auto folders = bench->children().value_or(std::vector<std::shared_ptr<VKFileResource>> {});
    for (const auto& folder : folders) {
        auto files = folder->children().value_or(std::vector<std::shared_ptr<VKFileResource>> {});
        for (const auto& file : files) {
            benchmark::DoNotOptimize(file->path());
            benchmark::DoNotOptimize(file->size());
            ++visited;
        }
    }
    (void)store;
    return visited;
}

void WalkMemory(benchmark::State& state)
{
    auto store = freshStore();
    insertTree(*store, 100, 1000);
    store->saveContext();
    walk(*store);
    double before = static_cast<double>(mallinfo2().uordblks);
    double after = before;
    size_t visited = 0;
    for (auto _ : state) {
        visited = walk(*store);
        after = static_cast<double>(mallinfo2().uordblks);
    }
    state.counters["nodes"] = static_cast<double>(visited);
    state.counters["heapAfterWalk"] = after / before;
    if (visited != 100'000)
        bench::wrongAnswer(fmt::format("the walk visited {} of 100,000 nodes", visited));
    bench::atMost("heap after walking 100,000 nodes / before", after / before, 1.1, "x");
}
BENCHMARK(WalkMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

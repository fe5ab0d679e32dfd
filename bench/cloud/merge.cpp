// bench: tandry_cloud tandry_dropbox_sdk tandry_filemodel tandry_shell tandry_kit
// Listings of 10,000 and 20,000 files merged into the mirror by the cloud
// service, save included: into an empty folder node, and into one that
// already holds the same listing. Target: the larger within 2.5x of the
// smaller in both cases (a merge is linear, no sibling scan per entry).
// Each merge is checked to leave every entry in the folder node.

#include "../PeerTiming.h"
#include "Report.h"

#include "Shell/VKApplication.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKDropboxCloudService.h"
#include "DropboxSDK/DBMetadata.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fmt/format.h>

namespace {

// In the build tree, on a disk: the store is a real SQLite file.
std::shared_ptr<VKDropboxCloudService> service()
{
    static const auto made = [] {
        std::string path = TANDRY_SOURCE_DIR "/build/bench/cloud-merge";
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        core::paths::setHome(path);
        core::RunLoop::setMainThread();
        setTrashPathProvider([] { return VKApplication::sharedApplication()->metadataSubdirectory("Trash"); });
        auto service = VKDropboxCloudService::create();
        auto store = VKCloudFileStore::sharedStore();
        if (auto root = store->insertObjectForPath(service->localPath()))
            root->setIsDirectory(true);
        store->saveContext();
        return service;
    }();
    return made;
}

std::shared_ptr<const DBMetadata> listing(int64_t entries)
{
    std::string json = R"({"path":"/Big","is_dir":true,"hash":"h","revision":1,"contents":[)";
    for (int64_t n = 0; n < entries; ++n) {
        json += fmt::format(R"({}{{"path":"/Big/file {:06}.txt","bytes":{},"revision":{},)"
                            R"("modified":"Mon, 07 Dec 2026 10:00:00 +0000"}})",
            n ? "," : "", n, n * 13 % 100000, n + 2);
    }
    json += "]}";
    return DBMetadata::initWithJSONString(json);
}

// The folder node, made afresh (empty) when asked.
VKCloudService::Resource folder(bool empty)
{
    // The service first: it sets up the home and the main thread.
    const std::string path = service()->localPath() + "/Big";
    auto store = VKCloudFileStore::sharedStore();
    auto node = store->managedObjectForPath(path);
    if (node && empty) {
        store->deleteObject(node);
        store->saveContext();
        node = nullptr;
    }
    if (!node) {
        node = store->insertObjectForPath(path);
        node->setIsDirectory(true);
        store->saveContext();
    }
    return VKCloudFileResource::resourceWithManagedObject(node);
}

// One merge of `record` into the folder node, emptied first or holding
// the same listing; the seconds it took, after checking that the node then
// holds every entry.
double mergeSeconds(const std::shared_ptr<const DBMetadata>& record, int64_t entries, bool empty)
{
    if (!empty)
        service()->updateCloudResource(folder(true), record);
    auto resource = folder(empty);
    bool merged = false;
    double seconds = bench::seconds([&] { merged = service()->updateCloudResource(resource, record); });
    auto node = VKCloudFileStore::sharedStore()->managedObjectForPath(service()->localPath() + "/Big");
    size_t children = node ? VKCloudFileStore::sharedStore()->childrenForManagedObject(*node).size() : 0;
    if (!merged || children != size_t(entries))
        bench::wrongAnswer(fmt::format("a merge of {} entries {} and left {} children", entries,
            merged ? "succeeded" : "failed", children));
    return seconds;
}

// Range 0: into an empty mirror; 1: into an identical one. The two sizes
// take turns, three times each.
void Merge(benchmark::State& state)
{
    const bool empty = state.range(0) == 0;
    const int64_t small = bench::sized(10'000, 1'000);
    auto smallRecord = listing(small), largeRecord = listing(2 * small);
    std::vector<double> smallSeconds, largeSeconds;
    for (auto _ : state)
        for (int round = 0; round < 3; ++round) {
            smallSeconds.push_back(mergeSeconds(smallRecord, small, empty));
            largeSeconds.push_back(mergeSeconds(largeRecord, 2 * small, empty));
        }
    const double ratio = bench::median(largeSeconds) / bench::median(smallSeconds);
    state.counters["ratio"] = ratio;
    bench::atMost(fmt::format("merge into {} mirror, {} / {} entries", empty ? "an empty" : "an identical", 2 * small, small),
        ratio, 2.5, "x",
        fmt::format("{:.0f} ms and {:.0f} ms", bench::median(largeSeconds) * 1000, bench::median(smallSeconds) * 1000));
}

} // namespace

BENCHMARK(Merge)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// bench: tandry_cloud tandry_dropbox_sdk tandry_filemodel tandry_shell tandry_kit
// Listings of 10,000 and 20,000 files merged into the mirror by the cloud
// service, save included: into an empty folder node, and into one that
// already holds the same listing. Target: the larger within 2.5x of the
// smaller in both cases (a merge is linear, no sibling scan per entry).

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

void BM_MergeIntoEmptyMirror(benchmark::State& state)
{
    auto record = listing(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto resource = folder(true);
        state.ResumeTiming();
        if (!service()->updateCloudResource(resource, record))
            state.SkipWithError("merge failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_MergeIntoIdenticalMirror(benchmark::State& state)
{
    auto record = listing(state.range(0));
    service()->updateCloudResource(folder(true), record);
    for (auto _ : state) {
        if (!service()->updateCloudResource(folder(false), record))
            state.SkipWithError("merge failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(BM_MergeIntoEmptyMirror)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MergeIntoIdenticalMirror)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3);
